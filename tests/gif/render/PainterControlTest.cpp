// Painter control: drawing, pausing, restarting and stopping painters, and
// validating the canvas they draw on.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "PainterFixture.h"

using namespace velmora;
using namespace velmora::test;

TEST_F(Painter, DrawShowsTheFirstFrameAndRepaintsLeaveThePainterAlone) {
  auto image = Animation(3, {10, 10, 10});
  Recorder rec(*image);
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
  Recorder rec(*image);
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
  Recorder rec(*image);
  rec.after = [&](TGIFPainter*) {
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
  Recorder rec(*image);
  rec.after = [&](TGIFPainter*) {
    if (rec.shown.size() == 2) image->PaintRestart();
  };
  PlayAsync(*image);
  EXPECT_EQ(rec.Frames(), (std::vector<int>{0, 1, 0, 1, 2}));
  EXPECT_EQ(rec.starts, 2);
}

// An error inside the run ends the painter where it stands; it signs off as
// usual and hands the message to the image's owner.
TEST_F(Painter, AnErrorEndsTheRunAndReachesTheImagesOwner) {
  for (bool async : {true, false}) {
    SCOPED_TRACE(async ? "async" : "sync");
    auto image = Animation(3, {10, 10, 10});
    Recorder rec(*image);
    rec.after = [&](TGIFPainter*) {
      if (rec.shown.size() < 2) return;
      if (async) throw std::runtime_error("handler failed");
      throw 42;
    };
    std::vector<std::string> warnings;
    image->OnWarning = [&](void*, TGIFSeverity severity, const std::string& message) {
      EXPECT_EQ(severity, gsError);
      warnings.push_back(message);
    };
    if (async)
      PlayAsync(*image);
    else
      PlaySync(*image);
    EXPECT_EQ(rec.Frames(), (std::vector<int>{0, 1}));
    EXPECT_EQ(rec.ends, 0);  // a terminated painter fires nothing more
    EXPECT_EQ(warnings,
              std::vector<std::string>{async ? "handler failed" : "Unknown error"});
  }
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
  Recorder rec(*image);
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
    Recorder rec(*image);
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
      Recorder rec(*image);
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
