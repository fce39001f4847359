#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/classes/Bitmap.h"

namespace velmora {
namespace {

TColor Px(TBitmap& b, int x, int y) {
  return b.GetCanvas().GetPixel(x, y);
}

TEST(TBitmapTest, NewAreaIsWhiteAndResizingKeepsPixels) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf32bit);
  b.SetSize(3, 2);
  EXPECT_EQ(Px(b, 2, 1), clWhite);
  b.GetCanvas().SetPixel(1, 1, clRed);
  b.SetSize(5, 4);
  EXPECT_EQ(Px(b, 1, 1), clRed);
  EXPECT_EQ(Px(b, 4, 3), clWhite);
  // The 32-bit rows the window reads: blue, green, red, 0.
  const auto* row = static_cast<const std::uint8_t*>(b.ScanLine(1));
  EXPECT_EQ(row[4], 0);
  EXPECT_EQ(row[6], 255);
  std::uint32_t px;
  std::memcpy(&px, row + 4, 4);
  EXPECT_EQ(px, 0x00FF0000u);
  EXPECT_THROW(b.ScanLine(4), EInvalidGraphicOperation);
}

TEST(TBitmapTest, ChangeNotificationFollowsCanvasDrawing) {
  TBitmap b;
  b.SetSize(4, 4);
  int changes = 0;
  b.OnChange = [&](void*) { ++changes; };
  b.GetCanvas().SetBrushColor(clBlue);
  b.GetCanvas().FillRect(Rect(0, 0, 2, 2));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(Px(b, 1, 1), clBlue);
  EXPECT_EQ(Px(b, 2, 2), clWhite);
  b.GetCanvas().SetBrushStyle(TBrushStyle::bsClear);
  b.GetCanvas().FillRect(Rect(0, 0, 4, 4));
  EXPECT_EQ(Px(b, 3, 3), clWhite);
}

// What the frames are drawn into: the whole bitmap.
TEST(TCanvasTest, ClipRectangleIsTheWholeBitmap) {
  TBitmap b;
  b.SetSize(10, 7);
  EXPECT_EQ(b.GetCanvas().GetClipRect(), Rect(0, 0, 10, 7));
}

// Through a BMP stream, the clipboard form and the handle, every format
// keeps its size, depth, pixels and (at 8 bits) its palette.
TEST(TBitmapTest, StreamClipboardAndHandleKeepEveryFormat) {
  for (TPixelFormat f : {TPixelFormat::pf1bit, TPixelFormat::pf8bit,
                         TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    TBitmap a;
    if (f == TPixelFormat::pf8bit) {
      PALETTEENTRY e[3] = {{0, 0, 0, 0}, {255, 255, 255, 0}, {200, 10, 20, 0}};
      HPALETTE p = CreatePalette(0x300, e, 3);
      a.SetPalette(p);
      DeleteObject(p);
    }
    a.SetPixelFormat(f);
    a.SetSize(13, 3);
    a.GetCanvas().SetPixel(12, 0, clBlack);
    if (f != TPixelFormat::pf1bit) a.GetCanvas().SetPixel(0, 2, RGB(200, 10, 20));
    TMemoryStream s;
    a.SaveToStream(s);
    s.SetPosition(0);
    TBitmap loaded;
    loaded.LoadFromStream(s);
    WORD format = 0;
    HANDLE data = nullptr;
    HPALETTE palette = nullptr;
    a.SaveToClipboardFormat(format, data, palette);
    TBitmap pasted;
    pasted.LoadFromClipboardFormat(format, data, palette);
    if (palette) DeleteObject(palette);
    TBitmap adopted;
    adopted.SetHandle(static_cast<HBITMAP>(data));
    for (TBitmap* b : {&loaded, &pasted, &adopted}) {
      SCOPED_TRACE(b == &loaded ? "stream" : b == &pasted ? "clipboard" : "handle");
      EXPECT_EQ(b->GetPixelFormat(), f);
      EXPECT_EQ(b->GetWidth(), 13);
      EXPECT_EQ(b->GetHeight(), 3);
      EXPECT_EQ(Px(*b, 12, 0), clBlack);
      EXPECT_EQ(Px(*b, 11, 0), clWhite);
      if (f != TPixelFormat::pf1bit) {
        EXPECT_EQ(Px(*b, 0, 2), RGB(200, 10, 20));
      }
      if (f == TPixelFormat::pf8bit) {
        EXPECT_NE(b->GetPalette(), nullptr);
      }
    }
    // Only an 8-bit handle brings a palette of its colour table.
    EXPECT_EQ(adopted.GetPalette() != nullptr, f == TPixelFormat::pf8bit);
  }
  TBitmap b;
  EXPECT_THROW(b.LoadFromClipboardFormat(WORD(CF_BITMAP), nullptr, nullptr),
               EInvalidGraphic);
}

TEST(TBitmapTest, DamagedBmpIsRejectedAndLeavesBitmapAlone) {
  TBitmap b;
  b.SetSize(2, 2);
  TMemoryStream good;
  b.SaveToStream(good);
  const auto& bytes = good.Bytes();
  for (std::size_t cut : {std::size_t(5), std::size_t(20), bytes.size() - 1}) {
    TMemoryStream s(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
    TBitmap c;
    EXPECT_THROW(c.LoadFromStream(s), EInvalidGraphic) << cut;
    EXPECT_TRUE(c.GetEmpty());
  }
  std::vector<std::uint8_t> huge(bytes);
  huge[18] = 0xFF;  // width far beyond the data
  huge[19] = 0xFF;
  huge[20] = 0xFF;
  TMemoryStream s(huge);
  EXPECT_THROW(b.LoadFromStream(s), EInvalidGraphic);
  EXPECT_EQ(b.GetWidth(), 2);
}

TEST(TBitmapTest, AssignCopiesAndPixelFormatConverts) {
  TBitmap a;
  a.SetPixelFormat(TPixelFormat::pf24bit);
  a.SetSize(4, 4);
  a.GetCanvas().SetPixel(3, 3, clBlue);
  TBitmap b;
  b.Assign(a);
  a.GetCanvas().SetPixel(3, 3, clRed);
  EXPECT_EQ(Px(b, 3, 3), clBlue);
  EXPECT_EQ(b.GetPixelFormat(), TPixelFormat::pf24bit);
  b.SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_EQ(b.GetBitsPerPixel(), 32);
  EXPECT_EQ(Px(b, 3, 3), clBlue);
  EXPECT_EQ(Px(b, 0, 0), clWhite);
}

TEST(TCanvasTest, DrawStretchDrawAndCopyRect) {
  TBitmap src;
  src.SetSize(2, 1);
  src.GetCanvas().SetPixel(0, 0, clRed);
  src.GetCanvas().SetPixel(1, 0, clBlue);
  TBitmap dst;
  dst.SetSize(6, 4);
  dst.GetCanvas().StretchDraw(Rect(0, 0, 4, 2), src);
  EXPECT_EQ(Px(dst, 1, 1), clRed);
  EXPECT_EQ(Px(dst, 2, 0), clBlue);
  EXPECT_EQ(Px(dst, 4, 0), clWhite);
  dst.GetCanvas().Draw(4, 3, src);
  EXPECT_EQ(Px(dst, 4, 3), clRed);
  EXPECT_EQ(Px(dst, 5, 3), clBlue);
  dst.GetCanvas().SetCopyMode(SRCAND);
  dst.GetCanvas().CopyRect(Rect(0, 2, 2, 3), src.GetCanvas(), Rect(0, 0, 2, 1));
  EXPECT_EQ(Px(dst, 0, 2), clRed);  // red AND white
  EXPECT_EQ(Px(dst, 0, 1), clRed);  // untouched
}

}  // namespace
}  // namespace velmora
