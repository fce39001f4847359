#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/classes/Threads.h"

using namespace velmora;

namespace {

// Runs a function as its Execute.
class TFuncThread : public TThread {
 public:
  explicit TFuncThread(std::function<void(TFuncThread&)> body, bool suspended = true)
      : TThread(true), body_(std::move(body)) {
    if (!suspended) Resume();
  }
  ~TFuncThread() override { EndThread(); }
  using TThread::CheckSuspended;
  using TThread::ReturnValue;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(TFuncThread&)> body_;
};

// Waits on the GUI thread for cond, running queued requests meanwhile.
template <class Cond>
bool PumpUntil(Cond cond, int ms = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    CheckSynchronize(5);
  }
  return true;
}

}  // namespace

TEST(Thread, RunsOnlyAfterResumeAndReturnsItsValue) {
  std::atomic<bool> ran{false};
  TFuncThread t([&](TFuncThread& self) {
    ran = true;
    self.ReturnValue = 42;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(ran);
  EXPECT_TRUE(t.Suspended());
  t.Resume();
  EXPECT_EQ(t.WaitFor(), 42);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(t.Finished());
}

// Terminate is a flag that Execute polls; destroying a running thread sets it
// and joins the thread; destroying one never started runs nothing.
TEST(Thread, TerminateAndDestructionStopARunningThread) {
  std::atomic<int> rounds{0};
  TFuncThread t(
      [&](TFuncThread& self) {
        while (!self.Terminated()) {
          ++rounds;
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      },
      false);
  ASSERT_TRUE(PumpUntil([&] { return rounds > 3; }));
  t.Terminate();
  t.WaitFor();
  EXPECT_TRUE(t.Terminated());

  std::atomic<bool> ended{false};
  {
    TFuncThread t(
        [&](TFuncThread& self) {
          while (!self.Terminated()) std::this_thread::yield();
          ended = true;
        },
        false);
  }
  EXPECT_TRUE(ended);
  std::atomic<bool> ran{false};
  {
    TFuncThread t([&](TFuncThread&) { ran = true; });
  }
  EXPECT_FALSE(ran);
}

TEST(Thread, OnTerminateRunsOnTheGuiThreadThenFreeOnTerminateDeletes) {
  static std::atomic<int> destroyed{0};
  struct TCounted : TFuncThread {
    using TFuncThread::TFuncThread;
    ~TCounted() override { ++destroyed; }
  };
  destroyed = 0;
  std::thread::id notifiedOn;
  bool notified = false;
  auto* t = new TCounted([](TFuncThread&) {});
  t->FreeOnTerminate = true;
  t->OnTerminate = [&](void* sender) {
    notified = true;
    notifiedOn = std::this_thread::get_id();
    EXPECT_EQ(sender, static_cast<void*>(t));
  };
  t->Resume();
  ASSERT_TRUE(PumpUntil([&] { return destroyed.load() == 1; }));
  EXPECT_TRUE(notified);
  EXPECT_EQ(notifiedOn, std::this_thread::get_id());
}

TEST(Thread, SynchronizeRunsOnTheGuiThreadAndWaits) {
  std::atomic<int> wakes{0};
  SetWakeMainThread([&] { ++wakes; });
  std::thread::id ranOn;
  std::atomic<bool> afterSync{false};
  TFuncThread t(
      [&](TFuncThread&) {
        TThread::Synchronize([&] { ranOn = std::this_thread::get_id(); });
        afterSync = true;
      },
      false);
  // Nothing runs the request until the GUI thread checks the queue.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(afterSync);
  EXPECT_GE(wakes.load(), 1);
  ASSERT_TRUE(PumpUntil([&] { return afterSync.load(); }));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  t.WaitFor();
  SetWakeMainThread(nullptr);
  // On the GUI thread itself the step runs directly.
  bool direct = false;
  TThread::Synchronize([&] { direct = true; });
  EXPECT_TRUE(direct);
  EXPECT_FALSE(CheckSynchronize());
}

TEST(Thread, SynchronizeRaisesTheStepsErrorInTheWorker) {
  std::string caught;
  TFuncThread t(
      [&](TFuncThread&) {
        try {
          TThread::Synchronize([] { throw Exception("boom"); });
        } catch (const Exception& e) {
          caught = e.Message;
        }
        throw std::runtime_error("escaped");
      },
      false);
  t.WaitFor();
  EXPECT_EQ(caught, "boom");
  ASSERT_TRUE(t.FatalException);
  EXPECT_THROW(std::rethrow_exception(t.FatalException), std::runtime_error);
}

TEST(Thread, SuspendStopsTheThreadAtItsNextCheckpoint) {
  std::atomic<int> steps{0};
  TFuncThread t(
      [&](TFuncThread& self) {
        while (!self.Terminated()) {
          self.CheckSuspended();
          ++steps;
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      },
      false);
  ASSERT_TRUE(PumpUntil([&] { return steps > 2; }));
  t.Suspend();
  EXPECT_TRUE(t.Suspended());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  int frozen = steps;
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_LE(steps - frozen, 1);
  t.Resume();
  ASSERT_TRUE(PumpUntil([&] { return steps > frozen + 2; }));
  t.Terminate();
  t.WaitFor();
}

TEST(Event, AutoResetReleasesOneWaitAndTimesOut) {
  TEvent e;
  EXPECT_EQ(e.WaitFor(10), TWaitResult::wrTimeout);
  e.SetEvent();
  EXPECT_EQ(e.WaitFor(0), TWaitResult::wrSignaled);
  EXPECT_EQ(e.WaitFor(0), TWaitResult::wrTimeout);  // cleared by the wait

  // A wait without limit ends when another thread signals.
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    e.SetEvent();
  });
  EXPECT_EQ(e.WaitFor(INFINITE), TWaitResult::wrSignaled);
  setter.join();
}

TEST(CriticalSection, IsReEntrantAndExcludesOtherThreads) {
  TCriticalSection cs;
  cs.Enter();
  cs.Enter();
  std::atomic<bool> otherGotIt{false};
  std::thread other([&] {
    cs.Enter();
    otherGotIt = true;
    cs.Leave();
  });
  cs.Leave();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(otherGotIt);  // still held once
  cs.Leave();
  other.join();
  EXPECT_TRUE(otherGotIt);
}

// Starts and stops threads the way painters do: created suspended, free on
// terminate, synchronizing and signing off on the GUI thread, stopped through
// a wake event.
TEST(Thread, StressStartAndStopAThousandThreads) {
  std::atomic<int> live{0};
  std::atomic<int> signedOff{0};
  struct TWorker : TThread {
    TWorker(std::atomic<int>& live) : TThread(true), live_(live) { ++live_; }
    ~TWorker() override {
      EndThread();
      --live_;
    }
    TEvent wake;
    int painted = 0;

   protected:
    void Execute() override {
      while (!Terminated()) {
        Synchronize([this] { ++painted; });
        wake.WaitFor(50);
      }
    }

   private:
    std::atomic<int>& live_;
  };
  for (int i = 0; i < 1000; ++i) {
    auto* t = new TWorker(live);
    t->FreeOnTerminate = true;
    t->OnTerminate = [&](void*) { ++signedOff; };
    t->Resume();
    if (i % 2) CheckSynchronize(1);
    t->Terminate();
    t->wake.SetEvent();
    if (i % 10 == 0) PumpUntil([&] { return live.load() == 0; });
  }
  ASSERT_TRUE(PumpUntil([&] { return live.load() == 0; }, 20000));
  EXPECT_EQ(signedOff.load(), 1000);
}
