// The animation painter under a virtual clock: the fixture, the clock, and
// helpers that build animations and record what the painters show.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Frames.h"
#include "gif/GIFExtensions.h"
#include "gif/render/GIFPainter.h"

namespace velmora::test {

constexpr TColor kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255),
                 kBlack = RGB(0, 0, 0), kYellow = RGB(255, 255, 0);
constexpr TGIFDrawOptions Opt(std::initializer_list<TGIFDrawOption> options) {
  TGIFDrawOptions set = 0;
  for (auto o : options) set |= GIFDrawOptionBit(o);
  return set;
}
const TGIFDrawOptions kAsyncLoop = Opt({goAsync, goTransparent, goAnimate, goLoop});
const TGIFDrawOptions kSyncLoop = Opt({goTransparent, goAnimate, goLoop});

// Time only moves when a painter sleeps or waits, by exactly that much.
inline std::atomic<std::uint32_t> virtualNow{1000};

inline void InstallVirtualClock(std::uint32_t start = 1000) {
  virtualNow = start;
  TGIFPainterClock& clock = GIFPainterClock();
  clock.Now = [] { return virtualNow.load(); };
  clock.Sleep = [](std::uint32_t ms) { virtualNow += ms; };
  clock.Wait = [](TEvent& wake, std::uint32_t ms) {
    if (ms == INFINITE) return wake.WaitFor(INFINITE);
    if (wake.WaitFor(0) == TWaitResult::wrSignaled) return TWaitResult::wrSignaled;
    virtualNow += ms;
    return TWaitResult::wrTimeout;
  };
}

template <class Cond>
bool PumpUntil(Cond cond, int ms = 10000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    CheckSynchronize(5);
  }
  return true;
}

// Sets a frame's delay and disposal, making its graphic control extension
// when it has none.
inline void SetControl(TGIFSubImage* frame, int delay, int disposal = dmNone) {
  if (!frame->GraphicControlExtension) {
    auto* gce = new TGIFGraphicControlExtension(frame);
    frame->Extensions->Add(gce);
    frame->GraphicControlExtension = gce;
  }
  frame->GraphicControlExtension->SetDelay(delay);
  frame->GraphicControlExtension->SetDisposal(disposal);
}

inline void AddLoop(TGIFSubImage* frame, int loops) {
  auto* loop = new TGIFAppExtNSLoop(frame);
  loop->Loops = std::uint16_t(loops);
  frame->Extensions->Add(loop);
}

// n full-screen 4 x 4 frames, frame i filled with colour index i % 4.
inline std::unique_ptr<TGIFImage> Animation(int n, std::vector<int> delays = {}) {
  auto image = MakeImage(4, 4, {kRed, kGreen, kBlue, kBlack});
  for (int i = 0; i < n; ++i) {
    TGIFSubImage* f = AddFrame(*image, 0, 0, 4, 4, std::vector<std::uint8_t>(16, i % 4));
    if (i < int(delays.size()) && delays[i] >= 0) SetControl(f, delays[i]);
  }
  return image;
}

struct Shown {
  int frame;
  std::uint32_t wait;
};

// Records what the painters of an image show, on the GUI thread; then does
// what `after` says, if anything.
struct Recorder {
  Recorder() = default;
  explicit Recorder(TGIFImage& image) { Attach(image); }
  std::vector<Shown> shown;
  int starts = 0, nextLoops = 0, ends = 0;
  std::function<void(TGIFPainter*)> after;
  void Attach(TGIFImage& image) {
    image.OnAnimationStart = [this](void*) { ++starts; };
    image.OnAfterFrame = [this](void* sender) {
      auto* p = static_cast<TGIFPainter*>(sender);
      shown.push_back({p->GetActiveImage(), p->LastWait.load()});
      if (after) after(p);
    };
    image.OnNextLoop = [this](void*) { ++nextLoops; };
    image.OnAnimationEnd = [this](void*) { ++ends; };
  }
  std::vector<int> Frames() const {
    std::vector<int> f;
    for (auto& s : shown) f.push_back(s.frame);
    return f;
  }
  std::vector<std::uint32_t> Waits() const {
    std::vector<std::uint32_t> w;
    for (auto& s : shown) w.push_back(s.wait);
    return w;
  }
};

class Painter : public ::testing::Test {
 protected:
  void SetUp() override { InstallVirtualClock(); }
  void TearDown() override {
    EXPECT_TRUE(PumpUntil([] { return TGIFPainter::LiveCount.load() == 0; }));
    ResetGIFPainterClock();
  }
  // Plays image asynchronously onto a fresh canvas until its painters end.
  void PlayAsync(TGIFImage& image, TGIFDrawOptions options = kAsyncLoop) {
    canvas = Canvas(4, 4);
    ASSERT_NE(image.Paint(canvas->GetCanvas(), Rect(0, 0, 4, 4), options), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return image.Painters.empty(); }));
  }
  void PlaySync(TGIFImage& image, TGIFDrawOptions options = kSyncLoop) {
    canvas = Canvas(4, 4);
    EXPECT_EQ(image.Paint(canvas->GetCanvas(), Rect(0, 0, 4, 4), options), nullptr);
    EXPECT_TRUE(image.Painters.empty());
  }
  std::unique_ptr<TBitmap> canvas;
};
const TGIFDrawOptions kSyncOnce = Opt({goTransparent, goAnimate});
const TGIFDrawOptions kSyncOpaque = Opt({goAnimate});

}  // namespace velmora::test
