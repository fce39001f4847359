// Runs a clean-up when the scope that holds the guard is left, by return or
// by exception alike: the one idiom for "undo this however we leave".
#pragma once

#include <exception>
#include <utility>

namespace velmora {

template <typename F>
class TScopeGuard {
 public:
  explicit TScopeGuard(F cleanUp) : cleanUp_(std::move(cleanUp)) {}
  ~TScopeGuard() { cleanUp_(); }
  TScopeGuard(const TScopeGuard&) = delete;
  TScopeGuard& operator=(const TScopeGuard&) = delete;

 private:
  F cleanUp_;
};

// Runs an undo only when the scope is left by an exception: for a step whose
// effect stays when it succeeds (a counter raised, a buffer made) and must go
// when what follows it fails.
template <typename F>
class TFailureGuard {
 public:
  explicit TFailureGuard(F undo)
      : undo_(std::move(undo)), exceptions_(std::uncaught_exceptions()) {}
  ~TFailureGuard() {
    if (std::uncaught_exceptions() > exceptions_) undo_();
  }
  TFailureGuard(const TFailureGuard&) = delete;
  TFailureGuard& operator=(const TFailureGuard&) = delete;

 private:
  F undo_;
  int exceptions_;
};

}  // namespace velmora
