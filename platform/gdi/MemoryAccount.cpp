#include "platform/gdi/MemoryAccount.h"

#include <utility>

namespace velmora {

namespace {
thread_local TMemoryAccountRef currentAccount;
thread_local std::string lastRefusal;
std::atomic<TBitmapMemoryObserver> bitmapObserver{nullptr};
}  // namespace

TMemoryAccount::TMemoryAccount(std::int64_t limit, std::string refusal)
    : limit_(limit), refusal_(std::move(refusal)) {}

bool TMemoryAccount::Charge(std::int64_t bytes) {
  std::int64_t used = used_.load();
  do {
    if (bytes > limit_.load() - used) {
      lastRefusal = refusal_;
      return false;
    }
  } while (!used_.compare_exchange_weak(used, used + bytes));
  const std::int64_t now = used + bytes;
  std::int64_t peak = peak_.load();
  while (now > peak && !peak_.compare_exchange_weak(peak, now)) {
  }
  return true;
}

void TMemoryAccount::Release(std::int64_t bytes) {
  used_ -= bytes;
}

TMemoryAccountScope::TMemoryAccountScope(TMemoryAccountRef account)
    : active_(account != nullptr) {
  if (!active_) return;
  previous_ = std::exchange(currentAccount, std::move(account));
}

TMemoryAccountScope::~TMemoryAccountScope() {
  if (active_) currentAccount = std::move(previous_);
}

const TMemoryAccountRef& CurrentMemoryAccount() {
  return currentAccount;
}

const std::string& LastMemoryRefusal() {
  return lastRefusal;
}

bool TMemoryCharge::Take(const TMemoryAccountRef& account, std::int64_t bytes) {
  Reset();
  if (!account) return true;
  if (!account->Charge(bytes)) return false;
  account_ = account;
  bytes_ = bytes;
  return true;
}

void TMemoryCharge::Reset() {
  if (account_) account_->Release(bytes_);
  account_.reset();
  bytes_ = 0;
}

void SetBitmapMemoryObserver(TBitmapMemoryObserver observer) {
  bitmapObserver = observer;
}

void NotifyBitmapMemory(std::int64_t delta) {
  if (TBitmapMemoryObserver observer = bitmapObserver.load()) observer(delta);
}

}  // namespace velmora
