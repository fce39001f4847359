// The animation painter under a virtual clock: delays, speed, loops, events,
// composition of the disposal methods, and stopping.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Frames.h"
#include "gif/render/GIFPainter.h"

using namespace velmora;
using namespace velmora::test;

namespace {

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
std::atomic<std::uint32_t> virtualNow{1000};

void InstallVirtualClock(std::uint32_t start = 1000) {
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
void SetControl(TGIFSubImage* frame, int delay, int disposal = dmNone) {
  if (!frame->GraphicControlExtension) {
    auto* gce = new TGIFGraphicControlExtension(frame);
    frame->Extensions->Add(gce);
    frame->GraphicControlExtension = gce;
  }
  frame->GraphicControlExtension->SetDelay(delay);
  frame->GraphicControlExtension->SetDisposal(disposal);
}

void AddLoop(TGIFSubImage* frame, int loops) {
  auto* loop = new TGIFAppExtNSLoop(frame);
  loop->Loops = std::uint16_t(loops);
  frame->Extensions->Add(loop);
}

// n full-screen 4 x 4 frames, frame i filled with colour index i % 4.
std::unique_ptr<TGIFImage> Animation(int n, std::vector<int> delays = {}) {
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

// Records what the painters of an image show, on the GUI thread.
struct Recorder {
  std::vector<Shown> shown;
  int starts = 0, nextLoops = 0, ends = 0;
  void Attach(TGIFImage& image) {
    image.OnAnimationStart = [this](void*) { ++starts; };
    image.OnAfterFrame = [this](void* sender) {
      auto* p = static_cast<TGIFPainter*>(sender);
      shown.push_back({p->GetActiveImage(), p->LastWait.load()});
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

}  // namespace

TEST_F(Painter, DelaysFollowTheMinimumDefaultAndMaximumRules) {
  // delay 1, 0, none, 5000, then a last frame
  auto image = Animation(5, {1, 0, -1, 5000, 10});
  Recorder rec;
  rec.Attach(*image);
  PlayAsync(*image);
  EXPECT_EQ(rec.Frames(), (std::vector<int>{0, 1, 2, 3, 4}));
  // The first frame shows at once; then 3 x 12, 10 x 12 twice, 5000 x 12.
  EXPECT_EQ(rec.Waits(), (std::vector<std::uint32_t>{0, 36, 120, 120, 60000}));
  EXPECT_EQ(rec.starts, 1);
  EXPECT_EQ(rec.ends, 1);

  // A synchronous painter waits before its first frame too and caps 5000
  // at 1000.
  Recorder sync;
  sync.Attach(*image);
  PlaySync(*image);
  EXPECT_EQ(sync.Waits(), (std::vector<std::uint32_t>{12, 36, 120, 120, 12000}));
}

TEST_F(Painter, SpeedScalesTheWaits) {
  for (auto [speed, expected] : {std::pair{200, 60u}, std::pair{50, 240u}}) {
    auto image = Animation(2, {10, 10});
    image->SetAnimationSpeed(speed);
    Recorder rec;
    rec.Attach(*image);
    PlayAsync(*image);
    EXPECT_EQ(rec.Waits(), (std::vector<std::uint32_t>{0, expected})) << speed;
  }
}

TEST_F(Painter, SpeedZeroHoldsTheFrameUntilTheSpeedChanges) {
  auto image = Animation(3, {10, 10, 10});
  image->SetAnimationSpeed(0);
  Recorder rec;
  rec.Attach(*image);
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

TEST_F(Painter, HalfTheTimeSpentOutsideTheWaitIsTakenOffTheNextWait) {
  auto image = Animation(3, {10, 10, 10});
  Recorder rec;
  rec.Attach(*image);
  image->OnAfterFrame = [&, record = image->OnAfterFrame](void* sender) {
    record(sender);
    virtualNow += 40;  // a slow paint
  };
  PlayAsync(*image);
  // Frame 1: 120 less half of the 40 ms after frame 0; frame 2 likewise.
  EXPECT_EQ(rec.Waits(), (std::vector<std::uint32_t>{0, 100, 100}));
}

TEST_F(Painter, AClockThatWrapsGivesTheLongestWait) {
  InstallVirtualClock(0xFFFFFFFFu - 50);
  auto image = Animation(3, {10, 10, 10});
  Recorder rec;
  rec.Attach(*image);
  PlayAsync(*image);
  EXPECT_EQ(rec.Waits(), (std::vector<std::uint32_t>{0, 120, 12000}));
}

TEST_F(Painter, LoopCountsWithAndWithoutAsync) {
  struct Case {
    int loops;  // -1: no loop extension
    TGIFDrawOptions options;
    int passes;
  };
  for (Case c : {Case{-1, kAsyncLoop, 1}, Case{1, kAsyncLoop, 1}, Case{3, kAsyncLoop, 3},
                 Case{3, kSyncLoop, 3}, Case{0, kSyncLoop, 1},
                 Case{3, Opt({goAsync, goAnimate}), 1}}) {
    auto image = Animation(2, {10, 10});
    if (c.loops >= 0) AddLoop(image->Images->GetImage(0), c.loops);
    Recorder rec;
    rec.Attach(*image);
    if (c.options & GIFDrawOptionBit(goAsync))
      PlayAsync(*image, c.options);
    else
      PlaySync(*image, c.options);
    EXPECT_EQ(int(rec.shown.size()), 2 * c.passes) << c.loops;
    EXPECT_EQ(rec.nextLoops, c.passes - 1) << c.loops;  // from the second pass on
  }
}

TEST_F(Painter, LoopCountZeroRepeatsWithoutEndWhenAsync) {
  auto image = Animation(2, {10, 10});
  AddLoop(image->Images->GetImage(0), 0);
  Recorder rec;
  rec.Attach(*image);
  image->OnNextLoop = [&](void* sender) {
    if (++rec.nextLoops == 5) static_cast<TGIFPainter*>(sender)->Stop();
  };
  PlayAsync(*image);
  EXPECT_EQ(rec.shown.size(), 10u);
}

TEST_F(Painter, RepeatPassesStartAtTheFrameWithTheLoopExtension) {
  auto image = Animation(4, {10, 10, 10, 10});
  AddLoop(image->Images->GetImage(2), 2);
  Recorder rec;
  rec.Attach(*image);
  PlayAsync(*image);
  EXPECT_EQ(rec.Frames(), (std::vector<int>{0, 1, 2, 3, 2, 3}));
}

TEST_F(Painter, AfterFrameHandlerChoosesTheNextFrame) {
  auto image = Animation(3, {10, 10, 10});
  Recorder rec;
  rec.Attach(*image);
  image->OnAfterFrame = [&](void* sender) {
    auto* p = static_cast<TGIFPainter*>(sender);
    rec.shown.push_back({p->GetActiveImage(), 0});
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
  Recorder rec;
  rec.Attach(*image);
  PlayAsync(*image);
  EXPECT_TRUE(rec.shown.empty());
  EXPECT_EQ(rec.ends, 1);
}

// --- Composition -------------------------------------------------------------------

namespace {

// A 4 x 4 canvas filled with fill, and what it showed after each frame.
struct Composition {
  std::unique_ptr<TBitmap> canvas = Canvas(4, 4);
  std::vector<std::vector<TColor>> after;  // per frame, 16 pixels
  explicit Composition(TColor fill) {
    canvas->GetCanvas().SetBrushColor(fill);
    canvas->GetCanvas().FillRect(Rect(0, 0, 4, 4));
  }
  void Play(TGIFImage& image, TGIFDrawOptions options) {
    image.OnAfterFrame = [this](void*) {
      std::vector<TColor> px;
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) px.push_back(canvas->GetCanvas().GetPixel(x, y));
      after.push_back(px);
    };
    image.Paint(canvas->GetCanvas(), Rect(0, 0, 4, 4), options);
  }
  TColor At(int frame, int x, int y) const { return after.at(frame).at(y * 4 + x); }
};

const TGIFDrawOptions kSyncOnce = Opt({goTransparent, goAnimate});
const TGIFDrawOptions kSyncOpaque = Opt({goAnimate});

}  // namespace

TEST_F(Painter, BackgroundDisposalRestoresTheSnapshot) {
  auto image = MakeImage(4, 4, {kRed, kGreen, kBlue, kBlack});
  SetControl(AddFrame(*image, 0, 0, 2, 2, std::vector<std::uint8_t>(4, 1)), 10,
             dmBackground);
  SetControl(AddFrame(*image, 2, 2, 2, 2, std::vector<std::uint8_t>(4, 2)), 10, dmNone);
  Composition c(kYellow);
  c.Play(*image, kSyncOnce);
  ASSERT_EQ(c.after.size(), 2u);
  EXPECT_EQ(c.At(0, 0, 0), kGreen);
  EXPECT_EQ(c.At(1, 0, 0), kYellow);  // back to what lay under the picture
  EXPECT_EQ(c.At(1, 3, 3), kBlue);

  // Drawn opaque, the area is filled with the GIF's background colour.
  Composition opaque(kYellow);
  image->SetBackgroundColorIndex(3);
  opaque.Play(*image, kSyncOpaque);
  EXPECT_EQ(opaque.At(1, 0, 0), kBlack);
}

TEST_F(Painter, PreviousDisposalAfterNone) {
  auto image = MakeImage(4, 4, {kRed, kGreen, kBlue, kBlack});
  SetControl(AddFrame(*image, 0, 0, 4, 4, std::vector<std::uint8_t>(16, 1)), 10, dmNone);
  SetControl(AddFrame(*image, 0, 0, 2, 2, std::vector<std::uint8_t>(4, 2)), 10,
             dmPrevious);
  SetControl(AddFrame(*image, 3, 3, 1, 1, std::vector<std::uint8_t>(1, 3)), 10, dmNone);
  Composition c(kYellow);
  c.Play(*image, kSyncOnce);
  ASSERT_EQ(c.after.size(), 3u);
  EXPECT_EQ(c.At(1, 0, 0), kBlue);   // shown on the canvas
  EXPECT_EQ(c.At(2, 0, 0), kGreen);  // and gone with the next frame
  EXPECT_EQ(c.At(2, 3, 3), kBlack);
}

TEST_F(Painter, PreviousDisposalAfterBackground) {
  auto image = MakeImage(4, 4, {kRed, kGreen, kBlue, kBlack});
  SetControl(AddFrame(*image, 0, 0, 4, 4, std::vector<std::uint8_t>(16, 1)), 10,
             dmBackground);
  SetControl(AddFrame(*image, 0, 0, 2, 2, std::vector<std::uint8_t>(4, 2)), 10,
             dmPrevious);
  SetControl(AddFrame(*image, 3, 3, 1, 1, std::vector<std::uint8_t>(1, 3)), 10, dmNone);
  image->PaintBackgroundColor = kYellow;
  Composition c(kRed);
  c.Play(*image, kSyncOpaque);
  ASSERT_EQ(c.after.size(), 3u);
  EXPECT_EQ(c.At(0, 2, 2), kGreen);
  EXPECT_EQ(c.At(1, 0, 0), kBlue);
  EXPECT_EQ(c.At(1, 3, 3), kYellow);  // frame 0 was cleared to the background
  EXPECT_EQ(c.At(2, 0, 0), kYellow);
  EXPECT_EQ(c.At(2, 3, 3), kBlack);
}

TEST_F(Painter, UndefinedDisposalValuesAreSkipped) {
  auto image = MakeImage(4, 4, {kRed, kGreen, kBlue, kBlack});
  SetControl(AddFrame(*image, 0, 0, 4, 4, std::vector<std::uint8_t>(16, 1)), 10,
             dmPrevious);
  SetControl(AddFrame(*image, 0, 0, 4, 4, std::vector<std::uint8_t>(16, 2)), 10, 5);
  SetControl(AddFrame(*image, 0, 0, 4, 4, std::vector<std::uint8_t>(16, 3)), 10,
             dmPrevious);  // after an undefined one: not drawn either
  Composition c(kYellow);
  c.Play(*image, kSyncOnce);
  ASSERT_EQ(c.after.size(), 3u);
  EXPECT_EQ(c.At(0, 1, 1), kGreen);  // first dmPrevious goes straight on the canvas
  EXPECT_EQ(c.At(1, 1, 1), kGreen);
  EXPECT_EQ(c.At(2, 1, 1), kGreen);
}

TEST_F(Painter, BuffersAreMadeOnlyWhenNeeded) {
  auto canvas = Canvas(4, 4);
  auto make = [&](TGIFImage& image, TGIFDrawOptions options) {
    return std::unique_ptr<TGIFPainter>(
        new TGIFPainter(&image, canvas->GetCanvas(), Rect(0, 0, 4, 4), options));
  };
  auto plain = Animation(2, {10, 10});
  SetControl(plain->Images->GetImage(1), 10, dmNoDisposal);
  auto p = make(*plain, kSyncOnce);
  EXPECT_FALSE(p->WorkBuffer || p->ScratchBuffer || p->BackgroundSnapshot);
  p = make(*plain, kSyncOnce | GIFDrawOptionBit(goClearOnLoop));
  EXPECT_TRUE(p->WorkBuffer && p->ScratchBuffer && p->BackgroundSnapshot);

  SetControl(plain->Images->GetImage(1), 10, dmPrevious);
  p = make(*plain, kSyncOnce);
  EXPECT_TRUE(p->WorkBuffer && p->ScratchBuffer);
  EXPECT_FALSE(p->BackgroundSnapshot);

  SetControl(plain->Images->GetImage(1), 10, dmBackground);
  p = make(*plain, kSyncOpaque);
  EXPECT_TRUE(p->WorkBuffer);
  EXPECT_FALSE(p->BackgroundSnapshot);  // only a transparent picture needs it
  EXPECT_EQ(p->WorkBuffer->GetWidth(), 4);
}

TEST_F(Painter, BackgroundColourRule) {
  auto canvas = Canvas(4, 4);
  auto noMap = MakeImage(4, 4);
  AddFrame(*noMap, 0, 0, 4, 4, std::vector<std::uint8_t>(16, 0), {kRed});
  AddFrame(*noMap, 0, 0, 4, 4, std::vector<std::uint8_t>(16, 0), {kRed});
  TGIFPainter p1(noMap.get(), canvas->GetCanvas(), Rect(0, 0, 4, 4), kSyncOnce);
  EXPECT_EQ(p1.BackgroundColor, clWhite);  // the window colour
  auto withMap = Animation(2);
  withMap->SetBackgroundColorIndex(2);
  TGIFPainter p2(withMap.get(), canvas->GetCanvas(), Rect(0, 0, 4, 4), kSyncOnce);
  EXPECT_EQ(p2.BackgroundColor, kBlue);
  withMap->PaintBackgroundColor = kYellow;
  TGIFPainter p3(withMap.get(), canvas->GetCanvas(), Rect(0, 0, 4, 4), kSyncOnce);
  EXPECT_EQ(p3.BackgroundColor, kYellow);
}

TEST_F(Painter, ClearOnLoopErasesFrameZerosAreaEachPass) {
  auto build = [] {
    auto image = MakeImage(4, 4, {kRed, kGreen, kBlue, kBlack});
    // Frame 0 has a transparent pixel at (0, 0); frame 1 paints it blue.
    TGIFSubImage* f0 = AddFrame(*image, 0, 0, 2, 2, {0, 1, 1, 1}, {}, 0);
    SetControl(f0, 10, dmNone);
    SetControl(AddFrame(*image, 0, 0, 1, 1, {2}), 10, dmNone);
    AddLoop(f0, 2);
    return image;
  };
  auto image = build();
  Composition without(kYellow);
  without.Play(*image, kSyncLoop);
  ASSERT_EQ(without.after.size(), 4u);
  EXPECT_EQ(without.At(2, 0, 0), kBlue);  // the first pass's frame 1 shows through

  image = build();
  Composition with(kYellow);
  with.Play(*image, kSyncLoop | GIFDrawOptionBit(goClearOnLoop));
  ASSERT_EQ(with.after.size(), 4u);
  EXPECT_EQ(with.At(1, 0, 0), kBlue);
  EXPECT_EQ(with.At(2, 0, 0), kYellow);  // cleared back to the snapshot
}

// Tiling repeats the picture at its natural size over an 8 x 8 rectangle,
// so a disposed frame has to leave every cell it was drawn into, and only
// those.
TEST_F(Painter, TiledBackgroundDisposalClearsEveryCell) {
  struct Case {
    const char* name;
    TGIFDrawOptions options;
    TRect frame;  // frame 0, disposed to the background
  };
  const TGIFDrawOptions tile = GIFDrawOptionBit(goTile);
  for (Case c : {Case{"transparent", kSyncOnce | tile, Rect(1, 1, 3, 3)},
                 Case{"opaque", kSyncOpaque | tile, Rect(1, 1, 3, 3)},
                 // As wide as the picture but not as high: still one cell per
                 // tile, not the frame's area stretched over the rectangle.
                 Case{"opaque strip", kSyncOpaque | tile, Rect(0, 0, 4, 2)}}) {
    SCOPED_TRACE(c.name);
    auto image = MakeImage(4, 4, {kRed, kGreen, kBlue, kBlack});
    const int fw = c.frame.Width(), fh = c.frame.Height();
    SetControl(AddFrame(*image, c.frame.Left, c.frame.Top, fw, fh,
                        std::vector<std::uint8_t>(fw * fh, 1)),
               10, dmBackground);
    SetControl(AddFrame(*image, 3, 3, 1, 1, {2}), 10, dmNone);
    image->PaintBackgroundColor = kYellow;  // the fill of opaque disposal

    auto canvas = Canvas(8, 8);
    canvas->GetCanvas().SetBrushColor(kRed);
    canvas->GetCanvas().FillRect(Rect(0, 0, 8, 8));
    std::vector<std::vector<TColor>> after;
    image->OnAfterFrame = [&](void*) {
      std::vector<TColor> px;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) px.push_back(canvas->GetCanvas().GetPixel(x, y));
      after.push_back(px);
    };
    image->Paint(canvas->GetCanvas(), Rect(0, 0, 8, 8), c.options);
    ASSERT_EQ(after.size(), 2u);

    // Frame 0 in each cell over the red canvas; then its cells cleared back
    // to the snapshot (red) or filled with the background (yellow), with
    // frame 1 in the corner of each cell.
    const bool transparent = c.options & GIFDrawOptionBit(goTransparent);
    std::vector<TColor> shown0, shown1;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const bool inCell = c.frame.Left <= x % 4 && x % 4 < c.frame.Right &&
                            c.frame.Top <= y % 4 && y % 4 < c.frame.Bottom;
        shown0.push_back(inCell ? kGreen : kRed);
        shown1.push_back(x % 4 == 3 && y % 4 == 3 ? kBlue
                         : inCell && !transparent ? kYellow
                                                  : kRed);
      }
    EXPECT_EQ(after[0], shown0);
    EXPECT_EQ(after[1], shown1);
  }
}

// --- Drawing and stopping --------------------------------------------------------------

TEST_F(Painter, DrawShowsTheFirstFrameAndRepaintsLeaveThePainterAlone) {
  auto image = Animation(3, {10, 10, 10});
  Recorder rec;
  rec.Attach(*image);
  InstallVirtualClock();
  // Hold after frame 0 so the test sees one state.
  image->SetAnimationSpeed(0);
  auto canvas = Canvas(8, 8);
  image->Draw(canvas->GetCanvas(), Rect(0, 0, 8, 8));
  EXPECT_EQ(canvas->GetCanvas().GetPixel(7, 7), kRed);  // frame 0, scaled
  TGIFPainter* first = image->Painter;
  ASSERT_NE(first, nullptr);
  image->Draw(canvas->GetCanvas(), Rect(0, 0, 8, 8));
  image->Draw(canvas->GetCanvas(), Rect(0, 0, 4, 4));  // copies the composed bitmap
  EXPECT_EQ(image->Painter, first);
  EXPECT_EQ(rec.starts, 1);

  // Painting straight onto the canvas: a new rectangle restarts the animation.
  image->SetDrawOptions(image->DrawOptions | GIFDrawOptionBit(goDirectDraw));
  EXPECT_EQ(image->Painter, nullptr);  // the option change stopped it
  image->Draw(canvas->GetCanvas(), Rect(0, 0, 8, 8));
  image->Draw(canvas->GetCanvas(), Rect(0, 0, 8, 8));
  ASSERT_TRUE(PumpUntil([&] { return rec.starts == 2; }));
  image->Draw(canvas->GetCanvas(), Rect(0, 0, 4, 4));
  ASSERT_TRUE(PumpUntil([&] { return rec.starts == 3; }));
  image->StopDraw();
  EXPECT_EQ(image->Painter, nullptr);
  EXPECT_TRUE(image->Painters.empty());
}

TEST_F(Painter, StopReturnsPromptlyFromALongDelay) {
  ResetGIFPainterClock();  // real time: a 10 s delay
  auto image = Animation(2, {1000, 1000});
  Recorder rec;
  rec.Attach(*image);
  auto canvas = Canvas(4, 4);
  image->Paint(canvas->GetCanvas(), Rect(0, 0, 4, 4), kAsyncLoop);
  ASSERT_TRUE(PumpUntil([&] { return rec.shown.size() == 1; }));
  auto t0 = std::chrono::steady_clock::now();
  image->PaintStop();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  EXPECT_TRUE(image->Painters.empty());
  // Destroying an image stops its painters the same way.
  image->Paint(canvas->GetCanvas(), Rect(0, 0, 4, 4), kAsyncLoop);
  ASSERT_TRUE(PumpUntil([&] { return rec.shown.size() == 2; }));
  image.reset();
}

TEST_F(Painter, PauseHoldsAndResumeContinues) {
  auto image = Animation(3, {10, 10, 10});
  Recorder rec;
  rec.Attach(*image);
  image->OnAfterFrame = [&, record = image->OnAfterFrame](void* sender) {
    record(sender);
    if (rec.shown.size() == 1) image->PaintPause();
  };
  auto canvas = Canvas(4, 4);
  image->Paint(canvas->GetCanvas(), Rect(0, 0, 4, 4), kAsyncLoop);
  ASSERT_TRUE(PumpUntil([&] { return rec.shown.size() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  CheckSynchronize(5);
  EXPECT_EQ(rec.shown.size(), 1u);
  image->PaintResume();
  ASSERT_TRUE(PumpUntil([&] { return image->Painters.empty(); }));
  EXPECT_EQ(rec.shown.size(), 3u);
}

TEST_F(Painter, RestartBeginsAgainAtFrameZero) {
  auto image = Animation(3, {10, 10, 10});
  Recorder rec;
  rec.Attach(*image);
  image->OnAfterFrame = [&, record = image->OnAfterFrame](void* sender) {
    record(sender);
    if (rec.shown.size() == 2) image->PaintRestart();
  };
  PlayAsync(*image);
  EXPECT_EQ(rec.Frames(), (std::vector<int>{0, 1, 0, 1, 2}));
  EXPECT_EQ(rec.starts, 2);
}

// A painter that has to go while it can't be waited for is detached: it
// ends by itself and never touches the image again, even one already gone.
TEST_F(Painter, StoppingFromInsideItsOwnStepDetachesInsteadOfWaiting) {
  auto image = Animation(3, {10, 10, 10});
  auto canvas = Canvas(4, 4);
  bool stopped = false;
  image->OnAfterFrame = [&](void*) {
    image->PaintStop();  // would wait for ourselves
    stopped = true;
  };
  image->Paint(canvas->GetCanvas(), Rect(0, 0, 4, 4), kAsyncLoop);
  ASSERT_TRUE(PumpUntil([&] { return stopped; }));
  EXPECT_TRUE(image->Painters.empty());
  image.reset();
  ASSERT_TRUE(PumpUntil([] { return TGIFPainter::LiveCount.load() == 0; }));
}

TEST_F(Painter, StoppingOffTheGuiThreadDetaches) {
  auto image = Animation(2, {10, 10});
  image->SetAnimationSpeed(0);  // waits without limit after frame 0
  Recorder rec;
  rec.Attach(*image);
  auto canvas = Canvas(4, 4);
  image->Paint(canvas->GetCanvas(), Rect(0, 0, 4, 4), kAsyncLoop);
  ASSERT_TRUE(PumpUntil([&] { return rec.shown.size() == 1; }));
  std::thread other([&] { image->PaintStop(); });
  other.join();
  EXPECT_TRUE(image->Painters.empty());
  image.reset();
  ASSERT_TRUE(PumpUntil([] { return TGIFPainter::LiveCount.load() == 0; }));
  EXPECT_EQ(rec.shown.size(), 1u);
}

TEST_F(Painter, StressStartAndStopAThousandPainters) {
  auto image = Animation(3, {3, 3, 3});
  auto canvas = Canvas(8, 8);
  for (int i = 0; i < 1000; ++i) {
    if (i % 2) {
      image->Paint(canvas->GetCanvas(), Rect(0, 0, 8, 8), kAsyncLoop);
      if (i % 3) CheckSynchronize(1);
      image->PaintStop();
    } else {
      image->Draw(canvas->GetCanvas(), Rect(0, 0, 8, 8));
      image->StopDraw();
    }
    ASSERT_TRUE(image->Painters.empty());
  }
}

// --- Validating the canvas ---------------------------------------------------------

namespace {

// A canvas drawing on a device context it does not own, as a window lends
// its DC; the test can take the DC away while the canvas lives on.
struct LentCanvas {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(nullptr, 4, 4);
  TCanvas canvas;
  LentCanvas() {
    SelectObject(dc, bitmap);
    canvas.SetHandle(dc);
  }
  void Release() {
    if (dc) DeleteDC(dc);
    dc = nullptr;
  }
  ~LentCanvas() {
    Release();
    DeleteObject(bitmap);
  }
};

// Two animations: one that paints each frame straight onto the canvas and
// one that composes in buffers.
std::unique_ptr<TGIFImage> ValidationImage(bool buffered) {
  auto image = Animation(3, {10, 10, 10});
  if (buffered) SetControl(image->Images->GetImage(1), 10, dmBackground);
  // Frame bitmaps exist before the run, so that no device context is made
  // between the test taking the canvas's DC away and the painter looking at it.
  std::lock_guard render(GIFRenderMutex());
  for (int i = 0; i < 3; ++i) image->Images->GetImage(i)->GetBitmap();
  return image;
}

const TGIFDrawOptions kValidate = GIFDrawOptionBit(goValidateCanvas);

}  // namespace

TEST_F(Painter, ValidatedCanvasThatStaysPlaysEveryFrame) {
  for (bool buffered : {false, true}) {
    SCOPED_TRACE(buffered ? "buffered" : "direct");
    auto image = ValidationImage(buffered);
    Recorder rec;
    rec.Attach(*image);
    // A bitmap's canvas draws on a memory DC; that is a live DC too.
    PlayAsync(*image, kAsyncLoop | kValidate);
    EXPECT_EQ(rec.Frames(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(canvas->GetCanvas().GetPixel(1, 1), kBlue);

    LentCanvas lent;
    image->Paint(lent.canvas, Rect(0, 0, 4, 4), kSyncOnce | kValidate);
    EXPECT_EQ(lent.canvas.GetPixel(1, 1), kBlue);
  }

  // The image's own animation composes in a bitmap of its own.
  auto image = ValidationImage(true);
  image->SetAnimationSpeed(0);  // hold on frame 0
  image->SetDrawOptions(image->DrawOptions | kValidate);
  auto shown = Canvas(4, 4);
  image->Draw(shown->GetCanvas(), Rect(0, 0, 4, 4));
  ASSERT_NE(image->Painter, nullptr);
  EXPECT_FALSE(image->Painter->Terminated());
  EXPECT_EQ(shown->GetCanvas().GetPixel(0, 0), kRed);
  image->StopDraw();
}

TEST_F(Painter, ValidatedCanvasWhoseDeviceContextGoesEndsThePainter) {
  for (bool async : {true, false})
    for (bool buffered : {false, true}) {
      SCOPED_TRACE(std::string(async ? "async " : "sync ") +
                   (buffered ? "buffered" : "direct"));
      auto image = ValidationImage(buffered);
      Recorder rec;
      rec.Attach(*image);
      LentCanvas lent;
      // The DC goes just before frame 1 would be painted.
      image->OnBeforeFrame = [&](void* sender) {
        if (static_cast<TGIFPainter*>(sender)->GetActiveImage() == 1) lent.Release();
      };
      image->Paint(lent.canvas, Rect(0, 0, 4, 4),
                   (async ? kAsyncLoop : kSyncLoop) | kValidate);
      ASSERT_TRUE(PumpUntil([&] { return image->Painters.empty(); }));
      EXPECT_EQ(rec.Frames(), (std::vector<int>{0}));
      EXPECT_EQ(rec.ends, 0);  // ended where it stood, with no further steps
    }
}
