// A software raster GDI: device-independent and monochrome bitmaps, logical
// palettes, memory device contexts and the block transfers the picture code
// uses. Plain C++, no display: the "screen" is a device whose colour depth
// tests may set.
//
// Calls follow the Windows conventions the picture code was written against:
// creation returns a null handle on failure and leaves the reason in
// GetLastError(); SelectObject hands back the object it replaced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {

using DWORD = std::uint32_t;
using UINT = unsigned int;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
// Red in the low byte, then green, then blue (same packing as TColor).
using COLORREF = std::uint32_t;

// Handles point at objects the GDI owns; only the GDI looks inside them.
struct GdiObject {
  GdiObject() = default;
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  virtual ~GdiObject() = default;
  DWORD type = 0;
  bool stock = false;
};
struct GdiBitmap : GdiObject {};
struct GdiPalette : GdiObject {};
struct GdiBrush : GdiObject {};
struct GdiDC : GdiObject {};
using HGDIOBJ = GdiObject*;
using HBITMAP = GdiBitmap*;
using HPALETTE = GdiPalette*;
using HBRUSH = GdiBrush*;
using HDC = GdiDC*;

struct RECT {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct PALETTEENTRY {
  BYTE peRed = 0;
  BYTE peGreen = 0;
  BYTE peBlue = 0;
  BYTE peFlags = 0;
};

struct RGBQUAD {
  BYTE rgbBlue = 0;
  BYTE rgbGreen = 0;
  BYTE rgbRed = 0;
  BYTE rgbReserved = 0;
};

struct BITMAPINFOHEADER {
  DWORD biSize = 40;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;  // positive: bottom row first
  WORD biPlanes = 1;
  WORD biBitCount = 0;
  DWORD biCompression = 0;
  DWORD biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  DWORD biClrUsed = 0;
  DWORD biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[256];
};

// What GetObject tells about a bitmap.
struct BITMAP {
  int bmType = 0;
  int bmWidth = 0;
  int bmHeight = 0;
  int bmWidthBytes = 0;  // bytes per row
  WORD bmPlanes = 1;
  WORD bmBitsPixel = 0;
  void* bmBits = nullptr;  // DIB sections only
};

constexpr COLORREF RGBColor(BYTE r, BYTE g, BYTE b) {
  return COLORREF(r) | (COLORREF(g) << 8) | (COLORREF(b) << 16);
}

// Raster operations (ternary: pattern, source, destination).
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
constexpr DWORD DSTCOPY = 0x00AA0029;
// MaskBlt's four-operand code: background operation in the high byte.
constexpr DWORD MAKEROP4(DWORD fore, DWORD back) {
  return ((back << 8) & 0xFF000000u) | fore;
}

// GetObjectType results.
constexpr DWORD OBJ_BRUSH = 2;
constexpr DWORD OBJ_DC = 3;
constexpr DWORD OBJ_PAL = 5;
constexpr DWORD OBJ_BITMAP = 7;
constexpr DWORD OBJ_MEMDC = 10;

// GetStockObject indices.
constexpr int WHITE_BRUSH = 0;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int DEFAULT_PALETTE = 15;

// GetDeviceCaps indices.
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int SIZEPALETTE = 104;

constexpr UINT DIB_RGB_COLORS = 0;
constexpr DWORD BI_RGB = 0;
constexpr UINT GDI_ERROR = 0xFFFFFFFFu;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;

// Error codes left by failing calls.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BUSY = 170;
// A memory account (platform/gdi/MemoryAccount.h) refused the bitmap.
constexpr DWORD ERROR_NOT_ENOUGH_QUOTA = 1816;

DWORD GetLastError();
void SetLastError(DWORD code);
// The system's text for an error code (empty for unknown codes).
std::string SysErrorMessage(DWORD code);

// --- objects ---------------------------------------------------------------

HPALETTE CreatePalette(WORD version, const PALETTEENTRY* entries, WORD count);
// With entries null, returns the palette's entry count.
UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries);
UINT SetPaletteEntries(HPALETTE palette, UINT start, UINT count,
                       const PALETTEENTRY* entries);

// A device-dependent bitmap. bits (may be null: zero-filled) holds rows padded
// to 16-bit words, top row first.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel,
                     const void* bits);
// A bitmap in the format of the bitmap selected into dc (the screen's format
// for a screen or null dc). A fresh memory DC holds a 1 x 1 monochrome bitmap,
// so its compatible bitmaps are monochrome, as on Windows.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// A device-independent bitmap whose rows the caller writes through *bits
// (rows padded to 32 bits, bottom row first for a positive height).
// 1, 8, 24 and 32 bits per pixel; the colour table is taken from info.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                         void* section = nullptr, DWORD offset = 0);
HBRUSH CreateSolidBrush(COLORREF color);
HGDIOBJ GetStockObject(int index);
// Fails (false) for an object still selected into a DC; stock objects stay.
bool DeleteObject(HGDIOBJ object);
DWORD GetObjectType(HGDIOBJ object);
// For a bitmap fills a BITMAP; for a palette a WORD entry count. Returns the
// bytes written, 0 on failure.
int GetObject(HGDIOBJ object, int size, void* out);
// Colour table of a 1- or 8-bit bitmap. Returns the number of entries copied.
UINT GetDIBColorTable(HBITMAP bitmap, UINT start, UINT count, RGBQUAD* colors);
UINT SetDIBColorTable(HBITMAP bitmap, UINT start, UINT count, const RGBQUAD* colors);

// Direct access to a bitmap's pixels, row 0 at the top: the row's address and
// the distance in bytes between successive rows (negative for a bottom-up
// DIB). Null for an invalid handle.
BYTE* GetBitmapRow(HBITMAP bitmap, int row);
// Rows of a 1-bit bitmap (and of a mask) hold eight pixels a byte, the
// leftmost in the high bit: the bit of pixel x within its byte, row[x / 8].
inline BYTE MonoPixelBit(int x) {
  return BYTE(0x80 >> (x & 7));
}
inline bool MonoPixel(const BYTE* row, int x) {
  return (row[x >> 3] & MonoPixelBit(x)) != 0;
}

// --- device contexts -------------------------------------------------------

// The screen's DC. Its depth is 32 bits per pixel unless a test says otherwise.
HDC GetDC(void* window);
int ReleaseDC(void* window, HDC dc);
int GetDeviceCaps(HDC dc, int index);
void SetScreenBitsPerPixel(int bits);  // 32 (default), 24 or 8
int GetScreenBitsPerPixel();

HDC CreateCompatibleDC(HDC dc);
bool DeleteDC(HDC dc);
// Selects a bitmap or a brush; returns the object replaced, null on failure
// (a bitmap can live in one DC at a time).
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
HGDIOBJ GetCurrentObject(HDC dc, DWORD type);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground);
// Realisation is recorded: returns the entry count of the selected palette.
UINT RealizePalette(HDC dc);
// How often RealizePalette ran on dc and which palette it realised last.
int GetRealizeCount(HDC dc);
HPALETTE GetRealizedPalette(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
// Drawing is clipped to this rectangle (device coordinates) and the bitmap;
// a null rect removes the clip.
bool SetClipRect(HDC dc, const RECT* rect);
// The visible area: the selected bitmap's bounds within the clip rectangle.
int GetClipBox(HDC dc, RECT* rect);

// --- drawing ---------------------------------------------------------------

bool GdiFlush();
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
bool PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
bool BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
            DWORD rop);
// Nearest-pixel stretching: destination column i takes source column
// srcX + i * srcWidth / width (rows likewise).
bool StretchBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX,
                int srcY, int srcWidth, int srcHeight, DWORD rop);
// Where the mask bit is 1 the foreground operation (low three bytes of rop)
// applies, where it is 0 the background operation (high byte).
bool MaskBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
             HBITMAP mask, int maskX, int maskY, DWORD rop);

// Objects alive now (stock objects excluded); for leak checks in tests.
int GdiLiveObjectCount();
// Makes the n-th next object creation (1 = the next) fail as if the system
// were out of resources; 0 switches it off. For testing clean-up paths.
void GdiFailCreationAfter(int n);

}  // namespace velmora
