#include <gtest/gtest.h>

#include "tests/gif/render/Frames.h"
#include "tests/gif/render/PainterFixture.h"

namespace velmora {
namespace {

using test::AddFrame;
using test::Canvas;
using test::MakeImage;

const TColor kGreen = RGB(0, 200, 0);
const TGIFDrawOptions kStill = GIFDrawOptionBit(goTransparent);

TColor Px(TBitmap& b, int x, int y) {
  return b.GetCanvas().GetPixel(x, y);
}

TEST(ScaleRect, MapsFrameBoundsIntoTheTargetRectangle) {
  auto image = MakeImage(20, 20, {clBlack});
  TGIFSubImage* inner = AddFrame(*image, 5, 5, 10, 10);
  EXPECT_EQ(inner->ScaleRect(Rect(0, 0, 40, 40)), Rect(10, 10, 30, 30));
  EXPECT_EQ(inner->ScaleRect(Rect(100, 50, 120, 70)), Rect(105, 55, 115, 65));
  TGIFSubImage* whole = AddFrame(*image, 0, 0, 20, 20);
  EXPECT_EQ(whole->ScaleRect(Rect(0, 0, 40, 40)), Rect(0, 0, 40, 40));
  auto odd = MakeImage(3, 3, {clBlack});
  EXPECT_EQ(AddFrame(*odd, 1, 1, 1, 1)->ScaleRect(Rect(0, 0, 4, 4)), Rect(1, 1, 3, 3));
}

TEST(StillDraw, FrameIsScaledIntoPlaceOnTheCanvas) {
  auto image = MakeImage(20, 20, {clBlack, clRed});
  image->DrawOptions = kStill;
  AddFrame(*image, 5, 5, 10, 10, std::vector<std::uint8_t>(100, 1));
  auto canvas = Canvas(40, 40);
  image->Draw(canvas->GetCanvas(), Rect(0, 0, 40, 40));
  EXPECT_EQ(Px(*canvas, 10, 10), clRed);
  EXPECT_EQ(Px(*canvas, 29, 29), clRed);
  EXPECT_EQ(Px(*canvas, 9, 10), clWhite);
  EXPECT_EQ(Px(*canvas, 30, 29), clWhite);
  EXPECT_FALSE(image->Drawing);
}

TEST(StillDraw, TilingRepeatsAtNaturalSizeAndMayOverhang) {
  auto image = MakeImage(16, 16, {clBlack, clRed});
  image->DrawOptions = kStill | GIFDrawOptionBit(goTile);
  std::vector<std::uint8_t> px(256, 0);
  px[0] = 1;  // top-left pixel of each tile is red
  AddFrame(*image, 0, 0, 16, 16, px);
  auto canvas = Canvas(64, 48);
  image->Draw(canvas->GetCanvas(), Rect(0, 0, 40, 20));
  for (int x : {0, 16, 32})
    for (int y : {0, 16}) EXPECT_EQ(Px(*canvas, x, y), clRed) << x << "," << y;
  EXPECT_EQ(Px(*canvas, 47, 31), clBlack);  // the tile at (32, 16) overhangs
  EXPECT_EQ(Px(*canvas, 48, 0), clWhite);   // no tile at x = 48
  EXPECT_EQ(Px(*canvas, 0, 32), clWhite);   // nor at y = 32
}

TEST(StillDraw, TransparentFrameKeepsTheBackgroundOnlyWhenAskedTo) {
  auto image = MakeImage(2, 1, {clRed, kGreen});
  AddFrame(*image, 0, 0, 2, 1, {0, 1}, {}, 1);
  auto canvas = Canvas(2, 1);
  canvas->GetCanvas().SetBrushColor(clBlue);
  canvas->GetCanvas().FillRect(Rect(0, 0, 2, 1));
  image->DrawOptions = kStill;
  image->Draw(canvas->GetCanvas(), Rect(0, 0, 2, 1));
  EXPECT_EQ(Px(*canvas, 0, 0), clRed);
  EXPECT_EQ(Px(*canvas, 1, 0), clBlue);
  image->DrawOptions = 0;  // no goTransparent: drawn opaque, mask or not
  image->Draw(canvas->GetCanvas(), Rect(0, 0, 2, 1));
  EXPECT_EQ(Px(*canvas, 1, 0), kGreen);
}

// Draws a 3 x 2 transparent frame onto a blue canvas through both routes.
std::unique_ptr<TBitmap> DrawMasked(bool maskBlt, const TRect& rect, int w, int h) {
  auto image = MakeImage(3, 2, {clRed, kGreen, clWhite});
  TGIFSubImage* frame = AddFrame(*image, 0, 0, 3, 2, {0, 2, 1, 2, 0, 2}, {}, 2);
  auto canvas = Canvas(w, h);
  canvas->GetCanvas().SetBrushColor(clBlue);
  canvas->GetCanvas().FillRect(Rect(0, 0, w, h));
  HDC dc = canvas->GetCanvas().GetHandle();
  SetTextColor(dc, RGB(1, 2, 3));
  SetBkColor(dc, RGB(4, 5, 6));
  MaskBltAvailable = maskBlt;
  // What the frame keeps (bitmap, mask, palette) is made before counting.
  EXPECT_TRUE(frame->HasMask());
  frame->GetBitmap()->GetCanvas().GetHandle();
  SystemPalette16();
  int before = GdiLiveObjectCount();
  frame->StretchDraw(canvas->GetCanvas(), rect, true, false);
  EXPECT_EQ(GdiLiveObjectCount(), before);
  MaskBltAvailable = true;
  EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
  EXPECT_EQ(GetBkColor(dc), RGB(4, 5, 6));
  return canvas;
}

// At its natural size the picture goes through MaskBlt where there is one;
// stretched, or without MaskBlt, through the general route. Both give the
// same pixels.
TEST(MaskedStretchBlit, BothRoutesGiveTheSamePixels) {
  const TColor picture[2][3] = {{clRed, clBlue, kGreen}, {clBlue, clRed, clBlue}};
  for (int scale : {1, 2})
    for (bool maskBlt : {true, false}) {
      SCOPED_TRACE(testing::Message() << "scale " << scale << ", MaskBlt " << maskBlt);
      const int w = 3 * scale, h = 2 * scale;
      auto c = DrawMasked(maskBlt, Rect(1, 1, 1 + w, 1 + h), w + 2, h + 2);
      for (int y = 0; y < h + 2; ++y)
        for (int x = 0; x < w + 2; ++x) {
          const bool inside = x >= 1 && x <= w && y >= 1 && y <= h;
          EXPECT_EQ(Px(*c, x, y),
                    inside ? picture[(y - 1) / scale][(x - 1) / scale] : clBlue)
              << x << "," << y;
        }
    }
}

TEST(MaskedStretchBlit, RefusedObjectsRaiseAndLeakNothing) {
  auto image = MakeImage(3, 2, {clRed, kGreen, clWhite});
  TGIFSubImage* frame = AddFrame(*image, 0, 0, 3, 2, {0, 2, 1, 2, 0, 2}, {}, 2);
  ASSERT_TRUE(frame->HasMask());
  auto canvas = Canvas(6, 4);
  canvas->GetCanvas().GetHandle();
  frame->GetBitmap()->GetCanvas().GetHandle();
  SystemPalette16();  // made once, on first use
  for (int n = 1; n <= 6; ++n) {
    int before = GdiLiveObjectCount();
    GdiFailCreationAfter(n);
    try {
      frame->StretchDraw(canvas->GetCanvas(), Rect(0, 0, 6, 4), true, false);
      GdiFailCreationAfter(0);
      EXPECT_EQ(n, 6);  // mask DC and the general route's four objects
    } catch (const EOutOfResources& e) {
      EXPECT_FALSE(std::string(e.what()).empty());
    }
    GdiFailCreationAfter(0);
    EXPECT_EQ(GdiLiveObjectCount(), before) << n;
  }
}

TEST(ImageDraw, OnlyAnAnimationStartsAPainterWhichShowsItsFirstFrameAtOnce) {
  auto canvas = Canvas(2, 2);
  auto still = MakeImage(2, 2, {clRed});
  AddFrame(*still, 0, 0, 2, 2);
  still->Draw(canvas->GetCanvas(), Rect(0, 0, 2, 2));  // default options
  EXPECT_FALSE(still->HasPainters());
  EXPECT_EQ(Px(*canvas, 1, 1), clRed);

  // Frame 0 is held for 5 s, so the picture can't have moved on meanwhile.
  auto animated = MakeImage(2, 2, {kGreen, clRed});
  test::SetControl(AddFrame(*animated, 0, 0, 2, 2), 500);
  AddFrame(*animated, 0, 0, 2, 2, {1, 1, 1, 1});
  animated->DrawOptions &= TGIFDrawOptions(~GIFDrawOptionBit(goAnimate));
  animated->Draw(canvas->GetCanvas(), Rect(0, 0, 2, 2));
  EXPECT_FALSE(animated->HasPainters());
  EXPECT_EQ(Px(*canvas, 1, 1), kGreen);

  canvas = Canvas(2, 2);
  animated->DrawOptions |= GIFDrawOptionBit(goAnimate);
  animated->Draw(canvas->GetCanvas(), Rect(0, 0, 2, 2));
  ASSERT_TRUE(animated->HasPainters());
  ASSERT_NE(animated->Painter, nullptr);
  EXPECT_TRUE(animated->Painter->FirstFramePainted);
  EXPECT_EQ(Px(*canvas, 0, 0), kGreen);
  EXPECT_EQ(Px(*canvas, 1, 1), kGreen);
  animated->StopDraw();
}

TEST(ImageSettings, DrawOptionsPackTheImageAndSpeedIsClamped) {
  auto image = MakeImage(2, 1);
  TGIFSubImage* frame = AddFrame(*image, 0, 0, 2, 1, {0, 1}, {clRed, kGreen});
  frame->GetBitmap();
  int changes = 0;
  image->OnChange = [&](void*) { ++changes; };
  image->SetDrawOptions(image->DrawOptions);
  EXPECT_EQ(changes, 0);
  EXPECT_NE(frame->Bitmap, nullptr);
  image->SetDrawOptions(TGIFDrawOptions(image->DrawOptions | GIFDrawOptionBit(goTile)));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(frame->Bitmap, nullptr);
  EXPECT_EQ(frame->Palette, nullptr);
  // A lone frame's local table became the global one.
  EXPECT_EQ(image->Header->ColorMap->GetCount(), 2);
  EXPECT_EQ(frame->ColorMap->GetCount(), 0);
  EXPECT_EQ(frame->GetBitmap()->GetCanvas().GetPixel(1, 0), kGreen);

  image->SetAnimationSpeed(2000);
  EXPECT_EQ(image->AnimationSpeed, 1000);
  image->SetAnimationSpeed(-5);
  EXPECT_EQ(image->AnimationSpeed, 0);
}

}  // namespace
}  // namespace velmora
