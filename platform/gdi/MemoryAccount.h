// Memory accounts: a limit on the memory that belongs to one thing (one
// picture, say), counted allocation by allocation where the memory is taken.
// The GDI charges the pixels of every bitmap it creates to the account
// current on the creating thread; other owners charge what they allocate
// through a TMemoryCharge.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace velmora {

class TMemoryAccount {
 public:
  // refusal is the text an allocation refused by this account reports.
  TMemoryAccount(std::int64_t limit, std::string refusal);
  TMemoryAccount(const TMemoryAccount&) = delete;
  TMemoryAccount& operator=(const TMemoryAccount&) = delete;

  // Adds bytes unless that would pass the limit; false then, with nothing
  // added and this thread's LastMemoryRefusal() set. Thread-safe.
  bool Charge(std::int64_t bytes);
  void Release(std::int64_t bytes);

  std::int64_t GetUsed() const { return used_.load(); }
  // The most GetUsed() has been since the account was made or ResetPeak ran.
  std::int64_t GetPeak() const { return peak_.load(); }
  void ResetPeak() { peak_ = used_.load(); }
  std::int64_t GetLimit() const { return limit_.load(); }
  // A lower limit refuses only what is charged from then on.
  void SetLimit(std::int64_t limit) { limit_ = limit; }
  const std::string& GetRefusal() const { return refusal_; }

 private:
  std::atomic<std::int64_t> used_{0};
  std::atomic<std::int64_t> peak_{0};
  std::atomic<std::int64_t> limit_;
  const std::string refusal_;
};

using TMemoryAccountRef = std::shared_ptr<TMemoryAccount>;

// Makes account current on the calling thread while the scope lives. Scopes
// nest; one made with no account leaves the current one in place.
class TMemoryAccountScope {
 public:
  explicit TMemoryAccountScope(TMemoryAccountRef account);
  ~TMemoryAccountScope();
  TMemoryAccountScope(const TMemoryAccountScope&) = delete;
  TMemoryAccountScope& operator=(const TMemoryAccountScope&) = delete;

 private:
  bool active_;
  TMemoryAccountRef previous_;
};

// The account of the innermost scope on this thread, or none.
const TMemoryAccountRef& CurrentMemoryAccount();

// The refusal text of the last charge refused on this thread (empty: none).
const std::string& LastMemoryRefusal();

// Memory allocated outside the GDI, charged to an account for as long as the
// charge lives.
class TMemoryCharge {
 public:
  TMemoryCharge() = default;
  ~TMemoryCharge() { Reset(); }
  TMemoryCharge(const TMemoryCharge&) = delete;
  TMemoryCharge& operator=(const TMemoryCharge&) = delete;

  // Gives back what was held, then charges bytes to account (none: nothing
  // is counted and this succeeds). False when the account refuses.
  bool Take(const TMemoryAccountRef& account, std::int64_t bytes);
  void Reset();

 private:
  TMemoryAccountRef account_;
  std::int64_t bytes_ = 0;
};

// Sees the pixel memory of every bitmap the GDI allocates (positive) and
// frees (negative), whatever account it is charged to; for measurements.
// Called on the allocating thread, so it must be thread-safe.
using TBitmapMemoryObserver = void (*)(std::int64_t delta);
void SetBitmapMemoryObserver(TBitmapMemoryObserver observer);
void NotifyBitmapMemory(std::int64_t delta);

}  // namespace velmora
