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

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
}

// A 2 x 2 32-bit BMP, red and green over blue and white. Bit fields keep
// their masks in an info header long enough for them, otherwise after it.
std::vector<std::uint8_t> Bmp32(std::uint32_t headerSize, std::uint32_t compression,
                                bool topDown, std::uint32_t redMask = 0xFF0000) {
  std::vector<std::uint8_t> bmp(14 + headerSize, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  Put32(bmp, 14, headerSize);
  Put32(bmp, 18, 2);
  Put32(bmp, 22, topDown ? std::uint32_t(-2) : 2u);
  bmp[26] = 1;
  bmp[28] = 32;
  Put32(bmp, 30, compression);
  if (compression == 3) {
    if (headerSize < 52) bmp.resize(bmp.size() + 12);
    Put32(bmp, 54, redMask);
    Put32(bmp, 58, 0xFF00);
    Put32(bmp, 62, 0xFF);
  }
  Put32(bmp, 10, std::uint32_t(bmp.size()));
  const std::vector<std::uint8_t> top = {0, 0, 255, 0, 0, 255, 0, 0};
  const std::vector<std::uint8_t> bottom = {255, 0, 0, 0, 255, 255, 255, 0};
  for (const auto* row :
       topDown ? std::vector{&top, &bottom} : std::vector{&bottom, &top})
    bmp.insert(bmp.end(), row->begin(), row->end());
  return bmp;
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

TEST(TBitmapTest, FourBitBmpBecomesEightBit) {
  // 3 x 1 pixels, indices 1 2 3, colour table of 16.
  std::vector<std::uint8_t> bmp(14 + 40 + 64 + 4, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  bmp[10] = 14 + 40 + 64;
  bmp[14] = 40;
  bmp[18] = 3;
  bmp[22] = 1;
  bmp[26] = 1;
  bmp[28] = 4;
  bmp[54 + 4 * 3 + 2] = 0xEE;  // entry 3 is red 0xEE
  bmp[118] = 0x12;
  bmp[119] = 0x30;
  TMemoryStream s(bmp);
  TBitmap b;
  b.LoadFromStream(s);
  EXPECT_EQ(b.GetPixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(static_cast<const std::uint8_t*>(b.ScanLine(0))[2], 3);
  EXPECT_EQ(Px(b, 2, 0), RGB(0xEE, 0, 0));
}

TEST(TBitmapTest, HeaderVariantsGiveTheSamePixels) {
  struct TVariant {
    std::vector<std::uint8_t> Bytes;
    std::int64_t Start = 0;
  };
  std::vector<TVariant> variants = {{Bmp32(40, 0, false)},
                                    {Bmp32(40, 0, true)},
                                    {Bmp32(40, 3, false)},
                                    {Bmp32(108, 3, true)},
                                    {Bmp32(124, 0, false)}};
  // No offset: the rows follow the headers.
  variants.push_back({Bmp32(40, 0, true)});
  Put32(variants.back().Bytes, 10, 0);
  // Rows after a gap, and the file further into the stream: the offset to
  // the rows counts from the file's start.
  std::vector<std::uint8_t> gap = Bmp32(40, 0, false);
  gap.insert(gap.begin() + 54, {9, 9, 9});
  Put32(gap, 10, 57);
  gap.insert(gap.begin(), {7, 7, 7, 7, 7});
  variants.push_back({gap, 5});
  for (const TVariant& variant : variants) {
    TMemoryStream s(variant.Bytes);
    s.SetPosition(variant.Start);
    TBitmap b;
    b.LoadFromStream(s);
    EXPECT_EQ(b.GetPixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(Px(b, 0, 0), clRed) << &variant - variants.data();
    EXPECT_EQ(Px(b, 1, 0), RGB(0, 255, 0));
    EXPECT_EQ(Px(b, 0, 1), clBlue);
    EXPECT_EQ(Px(b, 1, 1), clWhite);
  }

  // Other bit field layouts, compressed rows, a colour table longer than the
  // depth allows.
  TBitmap mono;
  mono.SetPixelFormat(TPixelFormat::pf1bit);
  mono.SetSize(2, 2);
  TMemoryStream saved;
  mono.SaveToStream(saved);
  std::vector<std::uint8_t> threeColours = saved.Bytes();
  Put32(threeColours, 46, 3);
  for (const auto& bytes : {Bmp32(40, 3, false, 0xFF), Bmp32(108, 3, false, 0xFF000000),
                            Bmp32(40, 1, false), threeColours}) {
    TMemoryStream s(bytes);
    TBitmap b;
    EXPECT_THROW(b.LoadFromStream(s), EInvalidGraphic);
  }
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
