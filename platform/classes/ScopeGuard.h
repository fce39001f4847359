// Runs a clean-up when the scope that holds the guard is left, by return or
// by exception alike: the one idiom for "undo this however we leave".
#pragma once

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

}  // namespace velmora
