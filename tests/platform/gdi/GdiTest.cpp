#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/MemoryAccount.h"

namespace velmora {
namespace {

// A memory DC holding a fresh DIB section; cleans up after itself.
struct Surface {
  Surface(int w, int h, int bits, std::vector<COLORREF> colors = {}) {
    BITMAPINFO info{};
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biBitCount = WORD(bits);
    for (std::size_t i = 0; i < colors.size(); ++i)
      info.bmiColors[i] =
          RGBQUAD{BYTE(colors[i] >> 16), BYTE(colors[i] >> 8), BYTE(colors[i]), 0};
    info.bmiHeader.biClrUsed = DWORD(colors.size());
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bitmap);
  }
  ~Surface() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  void Fill(COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    RECT r{0, 0, 1000, 1000};
    FillRect(dc, &r, b);
    DeleteObject(b);
  }
  BYTE* Row(int y) { return GetBitmapRow(bitmap, y); }
  HBITMAP bitmap;
  HDC dc;
  HGDIOBJ old;
};

// A device-dependent monochrome bitmap selected into a memory DC.
struct MonoSurface {
  MonoSurface(int w, int h, const void* bits = nullptr)
      : bitmap(CreateBitmap(w, h, 1, 1, bits)), dc(CreateCompatibleDC(nullptr)) {
    old = SelectObject(dc, bitmap);
  }
  ~MonoSurface() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  HBITMAP bitmap;
  HDC dc;
  HGDIOBJ old;
};

const COLORREF kA = RGBColor(0x12, 0xF0, 0x3C);
const COLORREF kB = RGBColor(0x81, 0x0F, 0xC3);

TEST(GdiRasterOps, EachOperationCombinesSourceAndDestinationBitwise) {
  struct Case {
    DWORD rop;
    COLORREF expected;
  } cases[] = {
      {SRCCOPY, kA}, {SRCAND, kA & kB}, {SRCPAINT, kA | kB}, {NOTSRCCOPY, ~kA & 0xFFFFFF},
      {DSTCOPY, kB},
  };
  for (const Case& c : cases) {
    Surface src(3, 2, 32), dst(3, 2, 32);
    src.Fill(kA);
    dst.Fill(kB);
    ASSERT_TRUE(BitBlt(dst.dc, 1, 0, 2, 2, src.dc, 0, 0, c.rop));
    EXPECT_EQ(GetPixel(dst.dc, 0, 0), kB) << std::hex << c.rop;  // outside the blit
    EXPECT_EQ(GetPixel(dst.dc, 1, 1), c.expected) << std::hex << c.rop;
    EXPECT_EQ(GetPixel(dst.dc, 2, 0), c.expected) << std::hex << c.rop;
  }
}

TEST(GdiRasterOps, OperationsOnEightBitsActOnIndices) {
  Surface src(2, 1, 8, {0, 0xFFFFFF, RGBColor(1, 2, 3), RGBColor(4, 5, 6)});
  Surface dst(2, 1, 8, {0, 0xFFFFFF, RGBColor(1, 2, 3), RGBColor(4, 5, 6)});
  src.Row(0)[0] = 2;
  src.Row(0)[1] = 1;
  dst.Row(0)[0] = 1;
  dst.Row(0)[1] = 3;
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, SRCPAINT));
  EXPECT_EQ(dst.Row(0)[0], 3);  // 2 | 1
  EXPECT_EQ(dst.Row(0)[1], 3);  // 1 | 3
}

TEST(GdiConversion, MonochromeBecomesTextAndBackgroundColourOfDestination) {
  const BYTE bits[2] = {0xA0, 0x00};  // 1 0 1 0 in a 16-bit row
  MonoSurface mono(4, 1, bits);
  Surface dst(4, 1, 32);
  SetTextColor(dst.dc, kA);
  SetBkColor(dst.dc, kB);
  SetTextColor(mono.dc, 0x0000FF);  // the source's colours play no part
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 4, 1, mono.dc, 0, 0, SRCCOPY));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(GetPixel(dst.dc, x, 0), x % 2 ? kA : kB) << x;
}

TEST(GdiConversion, ColourBecomesMonochromeThroughSourceBackground) {
  Surface src(3, 1, 8, {kA, kB, 0xFFFFFF});
  src.Row(0)[0] = 0;
  src.Row(0)[1] = 1;
  src.Row(0)[2] = 2;
  SetBkColor(src.dc, kB);
  MonoSurface mono(3, 1);
  ASSERT_TRUE(BitBlt(mono.dc, 0, 0, 3, 1, src.dc, 0, 0, SRCCOPY));
  // Only the background colour is white; white itself is not.
  EXPECT_EQ(GetBitmapRow(mono.bitmap, 0)[0], 0x40);

  Surface true32(2, 1, 32), monoDib(2, 1, 1, {0, 0xFFFFFF});
  SetPixel(true32.dc, 0, 0, kA);
  SetPixel(true32.dc, 1, 0, kB);
  SetBkColor(true32.dc, kA);
  ASSERT_TRUE(BitBlt(monoDib.dc, 0, 0, 2, 1, true32.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(monoDib.Row(0)[0] & 0xC0, 0x80);
}

TEST(GdiConversion, EightBitSourceOntoTrueColourAndOntoAnotherColourTable) {
  Surface src(2, 1, 8, {kA, kB});
  src.Row(0)[0] = 1;
  src.Row(0)[1] = 0;
  Surface rgb(2, 1, 24);
  ASSERT_TRUE(BitBlt(rgb.dc, 0, 0, 2, 1, src.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(rgb.dc, 0, 0), kB);
  EXPECT_EQ(GetPixel(rgb.dc, 1, 0), kA);
  // Another table: nearest entry.
  Surface other(2, 1, 8, {0, RGBColor(0x80, 0x10, 0xC0), RGBColor(0x10, 0xF0, 0x40)});
  ASSERT_TRUE(BitBlt(other.dc, 0, 0, 2, 1, src.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(other.Row(0)[0], 1);
  EXPECT_EQ(other.Row(0)[1], 2);
}

TEST(GdiStretch, NearestPixelUpAndDown) {
  Surface src(4, 2, 32);
  for (int x = 0; x < 4; ++x) {
    SetPixel(src.dc, x, 0, RGBColor(BYTE(x), 0, 0));
    SetPixel(src.dc, x, 1, RGBColor(BYTE(x), 1, 0));
  }
  Surface big(8, 4, 32);
  ASSERT_TRUE(StretchBlt(big.dc, 0, 0, 8, 4, src.dc, 0, 0, 4, 2, SRCCOPY));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(GetPixel(big.dc, x, y), RGBColor(BYTE(x / 2), BYTE(y / 2), 0));
  Surface small(2, 1, 32);
  ASSERT_TRUE(StretchBlt(small.dc, 0, 0, 2, 1, src.dc, 0, 0, 4, 2, SRCCOPY));
  EXPECT_EQ(GetPixel(small.dc, 0, 0), RGBColor(0, 0, 0));
  EXPECT_EQ(GetPixel(small.dc, 1, 0), RGBColor(2, 0, 0));
}

TEST(GdiStretch, ClipsToBothBitmaps) {
  Surface src(2, 2, 32), dst(4, 4, 32);
  src.Fill(kA);
  dst.Fill(kB);
  ASSERT_TRUE(BitBlt(dst.dc, -1, 3, 4, 4, src.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(dst.dc, 0, 3), kA);  // source column 1
  EXPECT_EQ(GetPixel(dst.dc, 1, 3), kB);  // beyond the source: untouched
}

TEST(GdiStretch, OverlappingCopyWithinOneBitmapReadsBeforeItWrites) {
  Surface b(3, 4, 32);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 3; ++x) SetPixel(b.dc, x, y, RGBColor(BYTE(x), BYTE(y), 0));
  ASSERT_TRUE(BitBlt(b.dc, 1, 1, 2, 3, b.dc, 0, 0, SRCCOPY));  // down and right
  for (int y = 1; y < 4; ++y)
    for (int x = 1; x < 3; ++x)
      EXPECT_EQ(GetPixel(b.dc, x, y), RGBColor(BYTE(x - 1), BYTE(y - 1), 0))
          << x << "," << y;
  ASSERT_TRUE(BitBlt(b.dc, 0, 0, 2, 3, b.dc, 1, 1, SRCCOPY));  // and back up
  EXPECT_EQ(GetPixel(b.dc, 0, 0), RGBColor(0, 0, 0));
  EXPECT_EQ(GetPixel(b.dc, 1, 2), RGBColor(1, 2, 0));
}

TEST(GdiMaskBlt, MaskOneKeepsDestinationMaskZeroCopiesSource) {
  for (int bits : {24, 32}) {  // the general case and the 32-bit shortcut
    Surface src(17, 3, 8, {kA});
    Surface dst(17, 3, bits);
    dst.Fill(kB);
    // 17 pixels: rows of two 16-bit words; pixel 16 is bit 7 of byte 2.
    BYTE maskBits[8] = {0x80, 0x01, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00};
    HBITMAP mask = CreateBitmap(17, 2, 1, 1, maskBits);
    ASSERT_TRUE(MaskBlt(dst.dc, 0, 0, 17, 3, src.dc, 0, 0, mask, 0, 0, 0xCCAA0029));
    for (int x = 0; x < 17; ++x) {
      bool keep = x == 0 || x == 15 || x == 16;
      EXPECT_EQ(GetPixel(dst.dc, x, 0), keep ? kB : kA) << bits << ":" << x;
      EXPECT_EQ(GetPixel(dst.dc, x, 1), kA) << bits << ":" << x;
      EXPECT_EQ(GetPixel(dst.dc, x, 2), kA) << bits << ":" << x;  // below the mask: 0
    }
    DeleteObject(mask);
  }
  EXPECT_EQ(MAKEROP4(DSTCOPY, SRCCOPY), 0xCCAA0029u);
}

TEST(GdiObjects, SelectionDeletionAndTypes) {
  int before = GdiLiveObjectCount();
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(GetObjectType(dc), OBJ_MEMDC);
  EXPECT_EQ(GetObjectType(GetDC(nullptr)), OBJ_DC);
  // A fresh memory DC makes monochrome compatible bitmaps.
  HBITMAP mono = CreateCompatibleBitmap(dc, 5, 5);
  BITMAP bm;
  ASSERT_EQ(GetObject(mono, sizeof bm, &bm), int(sizeof bm));
  EXPECT_EQ(bm.bmBitsPixel, 1);
  EXPECT_EQ(bm.bmWidthBytes, 2);
  HBITMAP colour = CreateCompatibleBitmap(nullptr, 5, 5);
  ASSERT_TRUE(GetObject(colour, sizeof bm, &bm));
  EXPECT_EQ(bm.bmBitsPixel, 32);
  EXPECT_EQ(GetObjectType(colour), OBJ_BITMAP);

  HGDIOBJ stock = SelectObject(dc, colour);
  ASSERT_NE(stock, nullptr);
  EXPECT_EQ(SelectObject(dc, mono), colour);
  HDC other = CreateCompatibleDC(dc);
  EXPECT_EQ(SelectObject(other, mono), nullptr);  // one DC at a time
  EXPECT_FALSE(DeleteObject(mono));               // still selected
  EXPECT_EQ(SelectObject(dc, stock), mono);
  EXPECT_TRUE(DeleteObject(mono));
  EXPECT_EQ(GetObjectType(mono), 0u);
  DeleteObject(colour);
  DeleteDC(other);
  DeleteDC(dc);
  EXPECT_EQ(GdiLiveObjectCount(), before);
}

TEST(GdiObjects, PalettesAndTheirRealisation) {
  PALETTEENTRY e[3] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
  HPALETTE pal = CreatePalette(0x300, e, 3);
  ASSERT_NE(pal, nullptr);
  EXPECT_EQ(GetObjectType(pal), OBJ_PAL);
  EXPECT_EQ(GetPaletteEntries(pal, 0, 0, nullptr), 3u);
  WORD count = 0;
  EXPECT_EQ(GetObject(pal, sizeof count, &count), 2);
  EXPECT_EQ(count, 3);
  PALETTEENTRY out[4] = {};
  EXPECT_EQ(GetPaletteEntries(pal, 1, 4, out), 2u);
  EXPECT_EQ(out[1].peBlue, 9);

  HDC dc = CreateCompatibleDC(nullptr);
  HPALETTE old = SelectPalette(dc, pal, true);
  EXPECT_EQ(old, GetStockObject(DEFAULT_PALETTE));
  EXPECT_EQ(RealizePalette(dc), 3u);
  EXPECT_EQ(SelectPalette(dc, old, true), pal);
  DeleteDC(dc);
  DeleteObject(pal);
}

TEST(GdiObjects, TextAndBackgroundColoursOfADC) {
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(GetTextColor(dc), 0u);
  EXPECT_EQ(GetBkColor(dc), 0xFFFFFFu);
  // Setting returns the colour before; only the 24 colour bits are kept.
  EXPECT_EQ(SetTextColor(dc, 0xAB123456), 0u);
  EXPECT_EQ(SetBkColor(dc, 0x00654321), 0xFFFFFFu);
  EXPECT_EQ(GetTextColor(dc), 0x123456u);
  EXPECT_EQ(GetBkColor(dc), 0x654321u);
  DeleteDC(dc);
}

TEST(GdiScreen, DepthIsThirtyTwoUnlessSetAndBitmapsFollowIt) {
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES), 32);
  SetScreenBitsPerPixel(8);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 8);
  HBITMAP b = CreateCompatibleBitmap(screen, 2, 2);
  BITMAP bm;
  GetObject(b, sizeof bm, &bm);
  EXPECT_EQ(bm.bmBitsPixel, 8);
  DeleteObject(b);
  SetScreenBitsPerPixel(32);
  ReleaseDC(nullptr, screen);
}

TEST(GdiFailure, CreationFailureIsReportedWithAnErrorCode) {
  GdiFailCreationAfter(2);
  HDC first = CreateCompatibleDC(nullptr);
  EXPECT_NE(first, nullptr);
  SetLastError(0);
  EXPECT_EQ(CreateBitmap(4, 4, 1, 1, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(SysErrorMessage(GetLastError()).empty());
  HBITMAP later = CreateBitmap(4, 4, 1, 1, nullptr);
  EXPECT_NE(later, nullptr);
  DeleteObject(later);
  DeleteDC(first);
  EXPECT_EQ(CreateBitmap(0, 4, 1, 1, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(BitBlt(reinterpret_cast<HDC>(&first), 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
}

TEST(GdiMemoryAccount, BitmapsMadeUnderAnAccountCountUntilDeletedAndTheLimitRefuses) {
  auto account = std::make_shared<TMemoryAccount>(10000, "picture too big");
  HBITMAP outside = CreateBitmap(100, 100, 1, 32, nullptr);  // no account current
  HBITMAP first, second, refused;
  {
    TMemoryAccountScope scope(account);
    first = CreateBitmap(40, 40, 1, 32, nullptr);  // 6400 bytes
    {
      // An empty scope leaves the account current; another thread has none.
      TMemoryAccountScope none(nullptr);
      second = CreateCompatibleBitmap(nullptr, 10, 10);  // 400 bytes
      std::thread([] { DeleteObject(CreateBitmap(100, 100, 1, 32, nullptr)); }).join();
    }
    EXPECT_EQ(account->GetUsed(), 6800);
    refused = CreateBitmap(30, 30, 1, 32, nullptr);  // 3600 more: over
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_QUOTA);
    EXPECT_EQ(LastMemoryRefusal(), "picture too big");
  }
  EXPECT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(account->GetUsed(), 6800);
  DeleteObject(first);
  DeleteObject(second);
  DeleteObject(outside);
  EXPECT_EQ(account->GetUsed(), 0);
  EXPECT_EQ(account->GetPeak(), 6800);

  // Memory of other kinds is charged by hand, and given back with its charge.
  {
    TMemoryCharge rows;
    EXPECT_TRUE(rows.Take(account, 9000));
    TMemoryCharge more;
    EXPECT_FALSE(more.Take(account, 1001));
    EXPECT_EQ(account->GetUsed(), 9000);
  }
  EXPECT_EQ(account->GetUsed(), 0);
}

}  // namespace
}  // namespace velmora
