#include "platform/classes/Threads.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <deque>

namespace velmora {

namespace {

std::atomic<std::thread::id> mainThread{std::this_thread::get_id()};

struct SyncRequest {
  const std::function<void()>* method = nullptr;
  bool done = false;
  std::exception_ptr error;
};

// The GUI-request queue. Never destroyed: a worker may still be finishing
// while static objects go away at exit.
struct SyncQueue {
  std::mutex mutex;
  std::condition_variable queued;  // a request arrived, or a thread finished
  std::condition_variable done;    // a request was carried out
  std::deque<SyncRequest*> requests;
  std::function<void()> wake;
};

SyncQueue& Queue() {
  static SyncQueue* queue = new SyncQueue;
  return *queue;
}

thread_local TThread* currentThread = nullptr;

// Nice values for the seven levels. Raising a thread above normal needs
// privileges that a desktop program rarely has; then it stays where it is.
int NiceValue(TThreadPriority p) {
  switch (p) {
    case TThreadPriority::tpIdle:
      return 19;
    case TThreadPriority::tpLowest:
      return 10;
    case TThreadPriority::tpLower:
      return 5;
    case TThreadPriority::tpNormal:
      return 0;
    case TThreadPriority::tpHigher:
      return -5;
    case TThreadPriority::tpHighest:
      return -10;
    case TThreadPriority::tpTimeCritical:
      return -20;
  }
  return 0;
}

void NudgeMainThread() {
  SyncQueue& q = Queue();
  std::lock_guard lock(q.mutex);
  q.queued.notify_all();
}

}  // namespace

std::uint32_t GetTickCount() {
  using namespace std::chrono;
  return std::uint32_t(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Sleep(std::uint32_t ms) {
  if (ms == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool IsMainThread() {
  return std::this_thread::get_id() == mainThread.load();
}
void SetMainThread(std::thread::id id) {
  mainThread.store(id);
}

void SetWakeMainThread(std::function<void()> wake) {
  SyncQueue& q = Queue();
  std::lock_guard lock(q.mutex);
  q.wake = std::move(wake);
}

bool CheckSynchronize(std::uint32_t timeoutMs) {
  if (!IsMainThread()) return false;
  SyncQueue& q = Queue();
  std::unique_lock lock(q.mutex);
  if (q.requests.empty() && timeoutMs > 0) {
    q.queued.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return !q.requests.empty(); });
  }
  // Only the requests present now: workers that queue again at once must not
  // keep the GUI thread in here for ever.
  std::size_t pending = q.requests.size();
  bool ranAny = false;
  while (pending-- > 0 && !q.requests.empty()) {
    SyncRequest* request = q.requests.front();
    q.requests.pop_front();
    lock.unlock();
    try {
      (*request->method)();
    } catch (...) {
      request->error = std::current_exception();
    }
    lock.lock();
    request->done = true;
    q.done.notify_all();
    ranAny = true;
  }
  return ranAny;
}

void TThread::Synchronize(const std::function<void()>& method) {
  if (IsMainThread()) {
    method();
    return;
  }
  if (currentThread) currentThread->CheckSuspended();
  SyncQueue& q = Queue();
  SyncRequest request;
  request.method = &method;
  std::function<void()> wake;
  {
    std::lock_guard lock(q.mutex);
    q.requests.push_back(&request);
    wake = q.wake;
    q.queued.notify_all();
  }
  if (wake) wake();
  {
    std::unique_lock lock(q.mutex);
    q.done.wait(lock, [&] { return request.done; });
  }
  if (request.error) std::rethrow_exception(request.error);
}

TThread::TThread(bool createSuspended) {
  if (!createSuspended) Resume();
}

TThread::~TThread() {
  if (FThread.joinable() && FThread.get_id() == std::this_thread::get_id()) {
    // Freeing itself at the end of its run.
    FThread.detach();
    return;
  }
  EndThread();
  if (FThread.joinable()) FThread.join();
}

void TThread::EndThread() {
  // Freeing itself at the end of its run: nothing to wait for.
  if (FThread.get_id() == std::this_thread::get_id()) return;
  bool started;
  {
    std::lock_guard lock(FMutex);
    started = FStarted;
  }
  if (started && !FDone.load()) {
    Terminate();
    Resume();
    WaitFor();
  }
}

void TThread::StartThread() {
  // Called with FMutex held; the new thread takes it before it starts, so
  // FThread is assigned before the thread can end and free itself.
  FThread = std::thread(&TThread::ThreadProc, this);
}

void TThread::ThreadProc(TThread* self) {
  { std::lock_guard lock(self->FMutex); }
  currentThread = self;
  self->FTid.store(int(::syscall(SYS_gettid)));
  if (self->FPriority.load() != TThreadPriority::tpNormal) self->ApplyPriority();
  try {
    self->Execute();
  } catch (...) {
    self->FatalException = std::current_exception();
  }
  bool freeThread = self->FreeOnTerminate.load();
  self->FFinished.store(true);
  if (self->OnTerminate) {
    try {
      Synchronize([self] { self->OnTerminate(self); });
    } catch (...) {
      if (!self->FatalException) self->FatalException = std::current_exception();
    }
  }
  currentThread = nullptr;
  if (freeThread) {
    delete self;
  } else {
    std::lock_guard lock(self->FMutex);
    self->FDone.store(true);
    self->FResumed.notify_all();
  }
  NudgeMainThread();
}

void TThread::Resume() {
  std::lock_guard lock(FMutex);
  if (!FStarted) {
    FStarted = true;
    StartThread();
  } else if (FSuspended) {
    FSuspended = false;
    FResumed.notify_all();
  }
}

void TThread::Suspend() {
  std::lock_guard lock(FMutex);
  if (FStarted) FSuspended = true;
}

bool TThread::Suspended() const {
  std::lock_guard lock(FMutex);
  return !FStarted || FSuspended;
}

void TThread::CheckSuspended() {
  std::unique_lock lock(FMutex);
  FResumed.wait(lock, [&] { return !FSuspended; });
}

void TThread::SetPriority(TThreadPriority value) {
  FPriority.store(value);
  ApplyPriority();
}

void TThread::ApplyPriority() {
  int tid = FTid.load();
  if (tid != 0) ::setpriority(PRIO_PROCESS, id_t(tid), NiceValue(FPriority.load()));
}

int TThread::WaitFor() {
  if (IsMainThread()) {
    while (!FDone.load()) CheckSynchronize(10);
  } else {
    std::unique_lock lock(FMutex);
    FResumed.wait(lock, [&] { return FDone.load(); });
  }
  return ReturnValue.load();
}

void TEvent::SetEvent() {
  std::lock_guard lock(mutex_);
  signalled_ = true;
  if (manual_)
    cv_.notify_all();
  else
    cv_.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

TWaitResult TEvent::WaitFor(std::uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  auto ready = [&] { return signalled_; };
  if (timeoutMs == INFINITE)
    cv_.wait(lock, ready);
  else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
    return TWaitResult::wrTimeout;
  if (!manual_) signalled_ = false;
  return TWaitResult::wrSignaled;
}

}  // namespace velmora
