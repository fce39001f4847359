// Painter composition: the disposal methods, the buffers they need, the
// background colour, and tiling.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "PainterFixture.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// A square canvas filled with fill, the picture painted over all of it, and
// what the canvas showed after each frame: row by row, a letter a pixel (Red,
// Green, Blue, blacK, Yellow, ? for any other colour).
struct Composition {
  explicit Composition(TColor fill, int size = 4)
      : size(size), canvas(Canvas(size, size)) {
    canvas->GetCanvas().SetBrushColor(fill);
    canvas->GetCanvas().FillRect(Rect(0, 0, size, size));
  }
  void Play(TGIFImage& image, TGIFDrawOptions options) {
    image.OnAfterFrame = [this](void*) {
      const TColor colours[] = {kRed, kGreen, kBlue, kBlack, kYellow};
      std::string rows;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
          if (x == 0 && y > 0) rows += ' ';
          const TColor* c =
              std::find(colours, colours + 5, canvas->GetCanvas().GetPixel(x, y));
          rows += "RGBKY?"[c - colours];
        }
      shown.push_back(rows);
    };
    image.Paint(canvas->GetCanvas(), Rect(0, 0, size, size), options);
  }

  int size;
  std::unique_ptr<TBitmap> canvas;
  std::vector<std::string> shown;
};

using Pictures = std::vector<std::string>;

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
  // Back to what lay under the picture.
  EXPECT_EQ(c.shown, (Pictures{"GGYY GGYY YYYY YYYY", "YYYY YYYY YYBB YYBB"}));

  // Drawn opaque, the area is filled with the GIF's background colour.
  Composition opaque(kYellow);
  image->SetBackgroundColorIndex(3);
  opaque.Play(*image, kSyncOpaque);
  EXPECT_EQ(opaque.shown, (Pictures{"GGYY GGYY YYYY YYYY", "KKYY KKYY YYBB YYBB"}));
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
    Pictures shown;
  };
  for (const Case& k :
       {Case{"after none",
             dmNone,
             kYellow,
             kSyncOnce,
             {"GGGG GGGG GGGG GGGG", "BBGG BBGG GGGG GGGG", "GGGG GGGG GGGG GGGK"}},
        Case{"after background",
             dmBackground,
             kRed,
             kSyncOpaque,
             {"GGGG GGGG GGGG GGGG", "BBYY BBYY YYYY YYYY", "YYYY YYYY YYYY YYYK"}}}) {
    SCOPED_TRACE(k.name);
    auto image = Disposing({{0, 0, 4, 4, 1, k.firstDisposal},
                            {0, 0, 2, 2, 2, dmPrevious},
                            {3, 3, 1, 1, 3, dmNone}});
    image->PaintBackgroundColor = kYellow;  // the fill of opaque disposal
    Composition c(k.fill);
    c.Play(*image, k.options);
    EXPECT_EQ(c.shown, k.shown);
  }
}

TEST_F(Painter, UndefinedDisposalValuesAreSkipped) {
  // The first dmPrevious frame goes straight on the canvas; after an
  // undefined value (5), a second dmPrevious frame is not drawn either.
  auto image = Disposing(
      {{0, 0, 4, 4, 1, dmPrevious}, {0, 0, 4, 4, 2, 5}, {0, 0, 4, 4, 3, dmPrevious}});
  Composition c(kYellow);
  c.Play(*image, kSyncOnce);
  EXPECT_EQ(c.shown, Pictures(3, "GGGG GGGG GGGG GGGG"));
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
  // Without, the first pass's frame 1 shows through frame 0's transparent
  // pixel on the second pass; with, that pixel is cleared to the snapshot.
  for (bool clear : {false, true}) {
    auto image = build();
    Composition c(kYellow);
    c.Play(*image, kSyncLoop | (clear ? GIFDrawOptionBit(goClearOnLoop) : 0));
    EXPECT_EQ(c.shown, (Pictures{"YGYY GGYY YYYY YYYY", "BGYY GGYY YYYY YYYY",
                                 clear ? "YGYY GGYY YYYY YYYY" : "BGYY GGYY YYYY YYYY",
                                 "BGYY GGYY YYYY YYYY"}))
        << clear;
  }
}

// Tiling repeats the picture at its natural size over an 8 x 8 rectangle,
// so a disposed frame has to leave every cell it was drawn into, and only
// those.
TEST_F(Painter, TiledBackgroundDisposalClearsEveryCell) {
  // A 4 x 4 cell repeated over 8 x 8.
  auto tiled = [](const std::string& cell) {
    std::string rows;
    for (std::size_t y = 0; y < 8; ++y) {
      const std::string row = cell.substr(y % 4 * 5, 4);
      rows += (y ? " " : "") + row + row;
    }
    return rows;
  };
  struct Case {
    const char* name;
    TGIFDrawOptions options;
    TRect frame;  // frame 0, disposed to the background
    Pictures shown;
  };
  // Frame 0 in each cell over the red canvas; then its cells cleared back to
  // the snapshot (red) or filled with the background (yellow), with frame 1
  // in the corner of each cell.
  const TGIFDrawOptions tile = GIFDrawOptionBit(goTile);
  const std::string square = tiled("RRRR RGGR RGGR RRRR");
  for (const Case& c :
       {Case{"transparent",
             kSyncOnce | tile,
             Rect(1, 1, 3, 3),
             {square, tiled("RRRR RRRR RRRR RRRB")}},
        Case{"opaque",
             kSyncOpaque | tile,
             Rect(1, 1, 3, 3),
             {square, tiled("RRRR RYYR RYYR RRRB")}},
        // As wide as the picture but not as high: still one cell per tile,
        // not the frame's area stretched over the rectangle.
        Case{"opaque strip",
             kSyncOpaque | tile,
             Rect(0, 0, 4, 2),
             {tiled("GGGG GGGG RRRR RRRR"), tiled("YYYY YYYY RRRR RRRB")}}}) {
    SCOPED_TRACE(c.name);
    auto image = Disposing(
        {{c.frame.Left, c.frame.Top, c.frame.Width(), c.frame.Height(), 1, dmBackground},
         {3, 3, 1, 1, 2, dmNone}});
    image->PaintBackgroundColor = kYellow;  // the fill of opaque disposal
    Composition composed(kRed, 8);
    composed.Play(*image, c.options);
    EXPECT_EQ(composed.shown, c.shown);
  }
}
