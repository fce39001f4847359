// Painter composition: the disposal methods, the buffers they need, the
// background colour, and tiling.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "PainterFixture.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// A square canvas filled with fill, the picture painted over all of it, and
// what it showed after each frame.
struct Composition {
  explicit Composition(TColor fill, int size = 4)
      : size(size), canvas(Canvas(size, size)) {
    canvas->GetCanvas().SetBrushColor(fill);
    canvas->GetCanvas().FillRect(Rect(0, 0, size, size));
  }
  void Play(TGIFImage& image, TGIFDrawOptions options) {
    image.OnAfterFrame = [this](void*) {
      std::vector<TColor> px;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) px.push_back(canvas->GetCanvas().GetPixel(x, y));
      after.push_back(px);
    };
    image.Paint(canvas->GetCanvas(), Rect(0, 0, size, size), options);
  }
  TColor At(int frame, int x, int y) const { return after.at(frame).at(y * size + x); }

  int size;
  std::unique_ptr<TBitmap> canvas;
  std::vector<std::vector<TColor>> after;  // per frame, row by row
};

// A frame of one colour index, shown 10 ms and then disposed of so.
struct Solid {
  int left, top, width, height;
  std::uint8_t index;
  int disposal;
};

// A 4 x 4 picture of red, green, blue and black with the frames given.
std::unique_ptr<TGIFImage> Disposing(const std::vector<Solid>& frames) {
  auto image = MakeImage(4, 4, {kRed, kGreen, kBlue, kBlack});
  for (const Solid& f : frames)
    SetControl(
        AddFrame(*image, f.left, f.top, f.width, f.height,
                 std::vector<std::uint8_t>(std::size_t(f.width * f.height), f.index)),
        10, f.disposal);
  return image;
}

}  // namespace

TEST_F(Painter, BackgroundDisposalRestoresTheSnapshot) {
  auto image = Disposing({{0, 0, 2, 2, 1, dmBackground}, {2, 2, 2, 2, 2, dmNone}});
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

// A frame disposed of to the previous state is shown on the canvas and gone
// with the next frame, whatever the frame before it left: itself, or the
// background it was cleared to.
TEST_F(Painter, PreviousDisposalRestoresWhatTheFrameBeforeLeft) {
  struct Case {
    const char* name;
    int firstDisposal;
    TColor fill;
    TGIFDrawOptions options;
    TColor left;  // what the first frame leaves
  };
  for (Case k : {Case{"after none", dmNone, kYellow, kSyncOnce, kGreen},
                 Case{"after background", dmBackground, kRed, kSyncOpaque, kYellow}}) {
    SCOPED_TRACE(k.name);
    auto image = Disposing({{0, 0, 4, 4, 1, k.firstDisposal},
                            {0, 0, 2, 2, 2, dmPrevious},
                            {3, 3, 1, 1, 3, dmNone}});
    image->PaintBackgroundColor = kYellow;  // the fill of opaque disposal
    Composition c(k.fill);
    c.Play(*image, k.options);
    ASSERT_EQ(c.after.size(), 3u);
    EXPECT_EQ(c.At(0, 2, 2), kGreen);
    EXPECT_EQ(c.At(1, 0, 0), kBlue);  // shown on the canvas
    EXPECT_EQ(c.At(1, 3, 3), k.left);
    EXPECT_EQ(c.At(2, 0, 0), k.left);  // and gone with the next frame
    EXPECT_EQ(c.At(2, 3, 3), kBlack);
  }
}

TEST_F(Painter, UndefinedDisposalValuesAreSkipped) {
  // After an undefined value (5), a second dmPrevious frame is not drawn either.
  auto image = Disposing(
      {{0, 0, 4, 4, 1, dmPrevious}, {0, 0, 4, 4, 2, 5}, {0, 0, 4, 4, 3, dmPrevious}});
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
    auto image = Disposing(
        {{c.frame.Left, c.frame.Top, c.frame.Width(), c.frame.Height(), 1, dmBackground},
         {3, 3, 1, 1, 2, dmNone}});
    image->PaintBackgroundColor = kYellow;  // the fill of opaque disposal
    Composition tiled(kRed, 8);
    tiled.Play(*image, c.options);
    ASSERT_EQ(tiled.after.size(), 2u);

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
    EXPECT_EQ(tiled.after[0], shown0);
    EXPECT_EQ(tiled.after[1], shown1);
  }
}
