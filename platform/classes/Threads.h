// Threads of the class library stand-in: TThread with Synchronize through a
// GUI-request queue, events, a re-entrant critical section and a locked list.
//
// The GUI thread is the thread that started the process. Work that must run
// there (painting, event handlers, a thread's on-terminate notification) is
// queued by Synchronize and carried out by CheckSynchronize, which the GUI
// event loop calls when woken and which waiting loops on the GUI thread call
// to let exactly those requests run.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/classes/Classes.h"

namespace velmora {

constexpr std::uint32_t INFINITE = 0xFFFFFFFF;

// Milliseconds since an arbitrary start, as a 32-bit count that wraps.
std::uint32_t GetTickCount();
// Gives up the processor for ms milliseconds; 0 only yields.
void Sleep(std::uint32_t ms);

// The process's GUI thread, recorded at start-up. Tests that run the GUI side
// on another thread may move it.
bool IsMainThread();
void SetMainThread(std::thread::id id);

// Called from a worker after it queued a request, so that an idle GUI event
// loop wakes up and runs CheckSynchronize. May be called from any thread.
void SetWakeMainThread(std::function<void()> wake);

// Runs the queued Synchronize requests on the GUI thread. With a timeout,
// waits up to that many milliseconds for a request when none is queued.
// Returns whether it ran any. Does nothing on other threads.
bool CheckSynchronize(std::uint32_t timeoutMs = 0);

enum TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

// A thread object. Derived classes override Execute. The thread is never
// killed from outside: Terminate only sets a flag that Execute polls.
//
// Suspend is cooperative: a running thread stops at its next Synchronize or
// CheckSuspended call, never in the middle of its work, so it can't be
// frozen while holding a lock.
class TThread {
 public:
  explicit TThread(bool createSuspended);
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  // Terminates, resumes and waits for a running thread (not for one that is
  // freeing itself). A derived class whose Execute uses its own members must
  // call EndThread in its destructor, before those members go.
  virtual ~TThread();

  void Resume();
  void Suspend();
  void Start() { Resume(); }
  void Terminate() { FTerminated.store(true); }
  bool Terminated() const { return FTerminated.load(); }
  bool Suspended() const;
  bool Finished() const { return FFinished.load(); }

  TThreadPriority GetPriority() const { return FPriority.load(); }
  void SetPriority(TThreadPriority value);

  // Waits until Execute has returned and the on-terminate notification has
  // been delivered; on the GUI thread it keeps running queued requests
  // meanwhile. Returns ReturnValue. Not for free-on-terminate threads.
  int WaitFor();

  // Read when Execute returns: the thread object then deletes itself.
  std::atomic<bool> FreeOnTerminate{false};
  // Delivered on the GUI thread after Execute returned.
  TNotifyEvent OnTerminate;

  // An exception that escaped Execute, kept for whoever asks.
  std::exception_ptr FatalException;

  // Runs method on the GUI thread and waits for it; on the GUI thread itself
  // it runs method directly. An exception from method is raised again here.
  static void Synchronize(const std::function<void()>& method);

 protected:
  virtual void Execute() = 0;
  // Blocks while the thread is suspended. Called by Synchronize; a long
  // running Execute may call it between steps.
  void CheckSuspended();
  // Terminates, resumes and waits for the thread if it was started and has
  // not ended yet.
  void EndThread();

  std::atomic<int> ReturnValue{0};

 private:
  static void ThreadProc(TThread* self);
  void StartThread();
  void ApplyPriority();

  std::thread FThread;
  mutable std::mutex FMutex;
  std::condition_variable FResumed;
  bool FStarted = false;
  bool FSuspended = false;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FDone{false};  // notification delivered, nothing left to run
  std::atomic<TThreadPriority> FPriority{TThreadPriority::tpNormal};
  std::atomic<int> FTid{0};
};

enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// An event; auto-reset unless made manual-reset: a successful wait of an
// auto-reset event clears it again, so each SetEvent releases one waiter.
class TEvent {
 public:
  explicit TEvent(bool manualReset = false, bool initialState = false)
      : manual_(manualReset), signalled_(initialState) {}
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void SetEvent();
  void ResetEvent();
  // Waits up to timeoutMs (INFINITE for no limit).
  TWaitResult WaitFor(std::uint32_t timeoutMs);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool manual_;
  bool signalled_;
};

// The class library's simple event is manual-reset.
class TSimpleEvent : public TEvent {
 public:
  TSimpleEvent() : TEvent(true, false) {}
};

// A critical section; the owner may enter it again.
class TCriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Acquire() { Enter(); }
  void Release() { Leave(); }
  // For std::lock_guard and friends.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

// A list with its own re-entrant lock. LockList gives the list to the caller
// until UnlockList; Add ignores items that are already listed.
template <class T>
class TThreadList {
 public:
  std::vector<T>& LockList() {
    lock_.Enter();
    return list_;
  }
  void UnlockList() { lock_.Leave(); }

  void Add(const T& item) {
    std::lock_guard guard(lock_);
    if (std::find(list_.begin(), list_.end(), item) == list_.end()) list_.push_back(item);
  }
  void Remove(const T& item) {
    std::lock_guard guard(lock_);
    auto it = std::find(list_.begin(), list_.end(), item);
    if (it != list_.end()) list_.erase(it);
  }
  void Clear() {
    std::lock_guard guard(lock_);
    list_.clear();
  }
  std::size_t Count() {
    std::lock_guard guard(lock_);
    return list_.size();
  }
  TCriticalSection& Lock() { return lock_; }

 private:
  TCriticalSection lock_;
  std::vector<T> list_;
};

}  // namespace velmora
