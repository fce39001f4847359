// Painter timing: delays, speed, loops and the frame order events choose.
#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <thread>
#include <utility>
#include <vector>

#include "PainterFixture.h"

using namespace velmora;
using namespace velmora::test;

// The waits an asynchronous painter takes before each frame.
TEST_F(Painter, WaitsFollowTheDelaySpeedAndClock) {
  const struct {
    const char* what;
    std::vector<int> delays;  // -1: no graphic control extension
    std::vector<std::uint32_t> waits;
    int speed = 100;
    std::uint32_t clock = 1000;
    std::uint32_t paint = 0;  // ms each frame takes to paint
  } cases[] = {
      // The first frame shows at once; then 3 x 12, 10 x 12 twice, 5000 x 12.
      {"minimum, default, maximum", {1, 0, -1, 5000, 10}, {0, 36, 120, 120, 60000}},
      {"double speed", {10, 10}, {0, 60}, 200},
      {"half speed", {10, 10}, {0, 240}, 50},
      {"a clock that wraps gives the longest wait",
       {10, 10, 10},
       {0, 120, 12000},
       100,
       0xFFFFFFFFu - 50},
      // Half the time spent outside the wait is taken off the next wait:
      // 120 less half of the 40 ms after each frame.
      {"slow paint", {10, 10, 10}, {0, 100, 100}, 100, 1000, 40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    InstallVirtualClock(c.clock);
    auto image = Animation(int(c.delays.size()), c.delays);
    image->SetAnimationSpeed(c.speed);
    Recorder rec(*image);
    rec.after = [&](TGIFPainter*) { virtualNow += c.paint; };
    PlayAsync(*image);
    EXPECT_EQ(rec.Waits(), c.waits);
    std::vector<int> frames(c.delays.size());
    std::iota(frames.begin(), frames.end(), 0);
    EXPECT_EQ(rec.Frames(), frames);
    EXPECT_EQ(rec.starts, 1);
    EXPECT_EQ(rec.ends, 1);
  }
}

TEST_F(Painter, ASynchronousPainterWaitsBeforeItsFirstFrameAndCapsTheLongest) {
  // 5000 is capped at 1000.
  auto image = Animation(5, {1, 0, -1, 5000, 10});
  Recorder rec(*image);
  PlaySync(*image);
  EXPECT_EQ(rec.Waits(), (std::vector<std::uint32_t>{12, 36, 120, 120, 12000}));
}

TEST_F(Painter, SpeedZeroHoldsTheFrameUntilTheSpeedChanges) {
  auto image = Animation(3, {10, 10, 10});
  image->SetAnimationSpeed(0);
  Recorder rec(*image);
  canvas = Canvas(4, 4);
  TGIFPainter* painter = image->Paint(canvas->GetCanvas(), Rect(0, 0, 4, 4), kAsyncLoop);
  ASSERT_TRUE(PumpUntil([&] { return rec.shown.size() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  CheckSynchronize(5);
  EXPECT_EQ(rec.shown.size(), 1u);  // held on frame 0
  {
    std::lock_guard lock(image->PaintersLock);
    painter->SetAnimationSpeed(100);
  }
  ASSERT_TRUE(PumpUntil([&] { return image->Painters.empty(); }));
  EXPECT_EQ(rec.Frames(), (std::vector<int>{0, 1, 2}));
  // The speed change cut the held wait short; the next one is nominal.
  EXPECT_EQ(rec.shown[1].wait, INFINITE);
  EXPECT_EQ(rec.shown[2].wait, 120u);
}

TEST_F(Painter, LoopCountsWithAndWithoutAsync) {
  using Frames = std::vector<int>;
  const Frames twice = {0, 1, 0, 1, 0, 1};
  const struct {
    int loops;  // -1: no loop extension
    TGIFDrawOptions options;
    Frames frames;
    int at = 0, count = 2;  // the frame with the loop extension, of so many
  } cases[] = {{-1, kAsyncLoop, {0, 1}},
               {1, kAsyncLoop, {0, 1}},
               {3, kAsyncLoop, twice},
               {3, kSyncLoop, twice},
               {0, kSyncLoop, {0, 1}},
               {3, Opt({goAsync, goAnimate}), {0, 1}},
               // Repeat passes start at the frame with the loop extension.
               {2, kAsyncLoop, {0, 1, 2, 3, 2, 3}, 2, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.loops << " loops at frame " << c.at);
    auto image = Animation(c.count, std::vector<int>(std::size_t(c.count), 10));
    if (c.loops >= 0) AddLoop(image->Images->GetImage(c.at), c.loops);
    Recorder rec(*image);
    if (c.options & GIFDrawOptionBit(goAsync))
      PlayAsync(*image, c.options);
    else
      PlaySync(*image, c.options);
    EXPECT_EQ(rec.Frames(), c.frames);
    // Once for each pass after the first.
    EXPECT_EQ(rec.nextLoops, (int(c.frames.size()) - c.count) / (c.count - c.at));
  }
}

TEST_F(Painter, LoopCountZeroRepeatsWithoutEndWhenAsync) {
  auto image = Animation(2, {10, 10});
  AddLoop(image->Images->GetImage(0), 0);
  Recorder rec(*image);
  image->OnNextLoop = [&](void* sender) {
    if (++rec.nextLoops == 5) static_cast<TGIFPainter*>(sender)->Stop();
  };
  PlayAsync(*image);
  EXPECT_EQ(rec.shown.size(), 10u);
}

TEST_F(Painter, AfterFrameHandlerChoosesTheNextFrame) {
  auto image = Animation(3, {10, 10, 10});
  Recorder rec(*image);
  rec.after = [&](TGIFPainter* p) {
    p->SetActiveImage(99);  // out of range: ignored
    if (rec.shown.size() == 6)
      p->Stop();
    else
      p->SetActiveImage(0);
  };
  PlayAsync(*image);
  EXPECT_EQ(rec.Frames(), (std::vector<int>(6, 0)));
}

TEST_F(Painter, AnEmptyFrameAtTheLoopStartDoesNotSpin) {
  auto image = Animation(2, {10, 10});
  AddLoop(image->Images->GetImage(0), 0);
  image->Images->GetImage(0)->FreeImage();  // no pixels: empty
  Recorder rec(*image);
  PlayAsync(*image);
  EXPECT_TRUE(rec.shown.empty());
  EXPECT_EQ(rec.ends, 1);
}
