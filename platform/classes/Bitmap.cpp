#include "platform/classes/Bitmap.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace velmora {

// The canvas of a bitmap: a memory DC that holds the bitmap selected.
class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap& owner) : FOwner(owner) {}
  ~TBitmapCanvas() override {
    if (FHandle) {
      SelectObject(FHandle, FStock);
      DeleteDC(FHandle);
    }
  }
  // Moves the DC over to another bitmap (null: none) before the old goes.
  void Reselect(HBITMAP bitmap) {
    if (FHandle) SelectObject(FHandle, bitmap ? HGDIOBJ(bitmap) : FStock);
  }
  HDC Existing() const { return FHandle; }

 protected:
  void CreateHandle() override {
    HDC dc = GDICheck(CreateCompatibleDC(nullptr));
    FStock = GetCurrentObject(dc, OBJ_BITMAP);
    if (FOwner.handle_) SelectObject(dc, FOwner.handle_);
    FHandle = dc;
  }

 private:
  TBitmap& FOwner;
  HGDIOBJ FStock = nullptr;
};

namespace {

const char* kInvalidBitmap = "Bitmap image is not valid";

// A DC holding a bitmap for the length of one operation: the canvas's DC
// when the bitmap already lives there, otherwise a scratch one.
class HeldDC {
 public:
  HeldDC(HBITMAP bitmap, HDC existing) {
    if (existing) {
      dc_ = existing;
      return;
    }
    dc_ = GDICheck(CreateCompatibleDC(nullptr));
    own_ = true;
    old_ = SelectObject(dc_, bitmap);
  }
  ~HeldDC() {
    if (own_) {
      SelectObject(dc_, old_);
      DeleteDC(dc_);
    }
  }
  HeldDC(const HeldDC&) = delete;
  HeldDC& operator=(const HeldDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
  bool own_ = false;
};

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) {
  return std::uint16_t(p[0] | (p[1] << 8));
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}

HPALETTE PaletteFromQuads(const RGBQUAD* colors, std::size_t count) {
  std::vector<PALETTEENTRY> entries(count);
  for (std::size_t i = 0; i < count; ++i)
    entries[i] = PALETTEENTRY{colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue, 0};
  return GDICheck(CreatePalette(0x300, entries.data(), WORD(count)));
}

TPixelFormat PixelFormatOfBits(int bits) {
  return bits == 1    ? TPixelFormat::pf1bit
         : bits == 8  ? TPixelFormat::pf8bit
         : bits == 24 ? TPixelFormat::pf24bit
                      : TPixelFormat::pf32bit;
}

// A BMP as its headers describe it, already checked.
struct TBmpLayout {
  std::uint32_t RowsOffset = 0;  // from the file's start; 0: after the colour table
  int Width = 0;
  int Height = 0;  // the number of rows, whichever way round they are stored
  bool BottomUp = true;
  int BitCount = 0;  // as stored: 1, 4, 8, 24 or 32
  std::uint32_t ColorsUsed = 0;

  // 4-bit rows are widened to one index a byte.
  int StorageBits() const { return BitCount == 4 ? 8 : BitCount; }
  std::size_t StoredStride() const {
    return (std::size_t(Width) * BitCount + 31) / 32 * 4;
  }
};

struct TColorTable {
  RGBQUAD Colors[256] = {};
  std::size_t Count = 0;
};

// A bitmap under construction, deleted unless it is handed over.
struct TBitmapDeleter {
  void operator()(GdiBitmap* bitmap) const { DeleteObject(bitmap); }
};
using TNewBitmap = std::unique_ptr<GdiBitmap, TBitmapDeleter>;

// Rows are stored plainly, or as 32-bit bit fields in the ordinary 8-8-8
// layout. The masks are in the longer info headers and follow the 40-byte one.
void CheckCompression(TStream& stream, const TBmpLayout& bmp, std::uint32_t compression,
                      const std::uint8_t* head, std::uint32_t headerSize) {
  if (compression == 3 && bmp.BitCount == 32) {
    std::uint8_t masks[12];
    if (headerSize >= 52)
      std::memcpy(masks, head + 40, 12);
    else
      stream.ReadBuffer(masks, 12);
    if (Le32(masks) != 0xFF0000 || Le32(masks + 4) != 0xFF00 || Le32(masks + 8) != 0xFF)
      throw EInvalidGraphic(kInvalidBitmap);
  } else if (compression != 0) {
    throw EInvalidGraphic(kInvalidBitmap);
  }
}

// The file header and an info header of 40 to 124 bytes, of which the first
// 40 and the bit field masks matter. Short reads raise EReadError.
TBmpLayout ReadHeaders(TStream& stream) {
  std::uint8_t file[14];
  std::uint8_t head[124] = {};
  stream.ReadBuffer(file, 14);
  stream.ReadBuffer(head, 4);
  const std::uint32_t headerSize = Le32(head);
  if (file[0] != 'B' || file[1] != 'M' || headerSize < 40 || headerSize > 124)
    throw EInvalidGraphic(kInvalidBitmap);
  stream.ReadBuffer(head + 4, headerSize - 4);
  const std::int32_t width = std::int32_t(Le32(head + 4));
  const std::int32_t rawHeight = std::int32_t(Le32(head + 8));
  const std::uint16_t bitCount = Le16(head + 14);
  if (width <= 0 || width > 65535 || rawHeight == 0 || rawHeight < -65535 ||
      rawHeight > 65535)
    throw EInvalidGraphic(kInvalidBitmap);
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
    throw EInvalidGraphic(kInvalidBitmap);
  TBmpLayout bmp;
  bmp.RowsOffset = Le32(file + 10);
  bmp.Width = width;
  bmp.Height = rawHeight < 0 ? -rawHeight : rawHeight;
  bmp.BottomUp = rawHeight > 0;
  bmp.BitCount = bitCount;
  bmp.ColorsUsed = Le32(head + 32);
  CheckCompression(stream, bmp, Le32(head + 16), head, headerSize);
  return bmp;
}

// Up to 2^BitCount entries for the indexed depths; none for the others.
TColorTable ReadColorTable(TStream& stream, const TBmpLayout& bmp) {
  TColorTable table;
  if (bmp.BitCount > 8) return table;
  const std::size_t most = std::size_t(1) << bmp.BitCount;
  table.Count = bmp.ColorsUsed ? bmp.ColorsUsed : most;
  if (table.Count > most) throw EInvalidGraphic(kInvalidBitmap);
  stream.ReadBuffer(table.Colors, std::int64_t(table.Count * 4));
  return table;
}

// Damaged sizes are refused here, before any memory is taken for them.
void SeekToRows(TStream& stream, std::int64_t start, const TBmpLayout& bmp) {
  if (bmp.RowsOffset) stream.SetPosition(start + bmp.RowsOffset);
  if (stream.GetSize() - stream.GetPosition() <
      std::int64_t(bmp.StoredStride()) * bmp.Height)
    throw EInvalidGraphic(kInvalidBitmap);
}

TNewBitmap CreateBitmapFor(const TBmpLayout& bmp, const TColorTable& colors) {
  auto info = std::make_unique<BITMAPINFO>();
  info->bmiHeader.biWidth = bmp.Width;
  info->bmiHeader.biHeight = bmp.Height;
  info->bmiHeader.biBitCount = WORD(bmp.StorageBits());
  std::copy_n(colors.Colors, colors.Count, info->bmiColors);
  info->bmiHeader.biClrUsed = DWORD(colors.Count);
  return TNewBitmap(
      GDICheck(CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, nullptr)));
}

// Rows go straight from the stream into the bitmap, in the stream's order.
void ReadRows(TStream& stream, const TBmpLayout& bmp, HBITMAP bitmap) {
  const std::size_t stride = bmp.StoredStride();
  try {
    std::vector<std::uint8_t> packed(bmp.BitCount == 4 ? stride : 0);
    for (int i = 0; i < bmp.Height; ++i) {
      BYTE* dst = GetBitmapRow(bitmap, bmp.BottomUp ? bmp.Height - 1 - i : i);
      if (bmp.BitCount != 4) {
        stream.ReadBuffer(dst, std::int64_t(stride));
        continue;
      }
      stream.ReadBuffer(packed.data(), std::int64_t(stride));
      for (int x = 0; x < bmp.Width; ++x)
        dst[x] = (packed[std::size_t(x >> 1)] >> ((x & 1) ? 0 : 4)) & 0x0F;
    }
  } catch (const EReadError&) {
    throw EInvalidGraphic(kInvalidBitmap);
  }
}

}  // namespace

HPALETTE SystemPalette16() {
  static HPALETTE palette = [] {
    const BYTE c[16][3] = {
        {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
        {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
        {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
        {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    PALETTEENTRY e[16];
    for (int i = 0; i < 16; ++i) e[i] = PALETTEENTRY{c[i][0], c[i][1], c[i][2], 0};
    return CreatePalette(0x300, e, 16);
  }();
  return palette;
}

HPALETTE CopyPalette(HPALETTE palette) {
  if (!palette) return nullptr;
  UINT n = GetPaletteEntries(palette, 0, 0, nullptr);
  if (n == 0) return nullptr;
  std::vector<PALETTEENTRY> entries(n);
  GetPaletteEntries(palette, 0, n, entries.data());
  return CreatePalette(0x300, entries.data(), WORD(n));
}

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
  canvas_.reset();
  if (handle_) DeleteObject(handle_);
  if (palette_) DeleteObject(palette_);
}

int TBitmap::StorageBits(TPixelFormat format) const {
  switch (format) {
    case TPixelFormat::pfDevice:
      return GetScreenBitsPerPixel() <= 8 ? 8 : 32;
    case TPixelFormat::pf1bit:
      return 1;
    case TPixelFormat::pf8bit:
      return 8;
    case TPixelFormat::pf24bit:
      return 24;
    case TPixelFormat::pf32bit:
      return 32;
    default:
      throw EInvalidGraphicOperation("Unsupported pixel format");
  }
}

HBITMAP TBitmap::MakeDIB(int width, int height, int bits, bool fillWhite) const {
  auto info = std::make_unique<BITMAPINFO>();
  info->bmiHeader.biWidth = width;
  info->bmiHeader.biHeight = height;
  info->bmiHeader.biBitCount = WORD(bits);
  if (bits == 1) {
    info->bmiColors[1] = RGBQUAD{255, 255, 255, 0};
  } else if (bits == 8) {
    std::vector<PALETTEENTRY> entries(256);
    HPALETTE source = palette_ ? palette_ : HPALETTE(GetStockObject(DEFAULT_PALETTE));
    UINT n = GetPaletteEntries(source, 0, 256, entries.data());
    for (UINT i = 0; i < n; ++i)
      info->bmiColors[i] =
          RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    info->bmiHeader.biClrUsed = 256;
  }
  void* pixels = nullptr;
  HBITMAP bitmap =
      GDICheck(CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, &pixels));
  if (fillWhite) {
    HeldDC dc(bitmap, nullptr);
    RECT all{0, 0, width, height};
    ::velmora::FillRect(dc.Get(), &all, HBRUSH(GetStockObject(WHITE_BRUSH)));
  }
  return bitmap;
}

void TBitmap::Replace(HBITMAP bitmap, int width, int height, int bits) {
  if (canvas_) canvas_->Reselect(bitmap);
  if (handle_) DeleteObject(handle_);
  handle_ = bitmap;
  width_ = bitmap ? width : 0;
  height_ = bitmap ? height : 0;
  bitsPerPixel_ = bitmap ? bits : 0;
}

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  if (width == 0 || height == 0) {
    Replace(nullptr, 0, 0, 0);
    width_ = width;
    height_ = height;
    Changed(this);
    return;
  }
  int bits = handle_ ? bitsPerPixel_ : StorageBits(pixelFormat_);
  HBITMAP fresh = MakeDIB(width, height, bits, true);
  if (handle_) {
    HeldDC to(fresh, nullptr);
    HeldDC from(handle_, canvas_ ? canvas_->Existing() : nullptr);
    BitBlt(to.Get(), 0, 0, std::min(width, width_), std::min(height, height_), from.Get(),
           0, 0, SRCCOPY);
  }
  Replace(fresh, width, height, bits);
  Changed(this);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  int bits = StorageBits(format);
  if (format == pixelFormat_) return;
  pixelFormat_ = format;
  if (handle_ && bits != bitsPerPixel_) {
    HBITMAP fresh = MakeDIB(width_, height_, bits, false);
    {
      HeldDC to(fresh, nullptr);
      HeldDC from(handle_, canvas_ ? canvas_->Existing() : nullptr);
      BitBlt(to.Get(), 0, 0, width_, height_, from.Get(), 0, 0, SRCCOPY);
    }
    Replace(fresh, width_, height_, bits);
  }
  Changed(this);
}

void TBitmap::SetPalette(HPALETTE palette) {
  if (palette == palette_) return;
  HPALETTE copy = palette ? GDICheck(CopyPalette(palette)) : nullptr;
  if (palette_) DeleteObject(palette_);
  palette_ = copy;
  if (handle_ && bitsPerPixel_ == 8 && palette_) {
    PALETTEENTRY entries[256];
    UINT n = GetPaletteEntries(palette_, 0, 256, entries);
    RGBQUAD colors[256];
    for (UINT i = 0; i < n; ++i)
      colors[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    SetDIBColorTable(handle_, 0, n, colors);
  }
  Changed(this);
}

TCanvas& TBitmap::GetCanvas() {
  if (!canvas_) {
    canvas_ = std::make_unique<TBitmapCanvas>(*this);
    canvas_->OnChange = [this](void*) { CanvasChanged(); };
  }
  return *canvas_;
}

void TBitmap::CanvasChanged() {
  Changed(this);
}

void* TBitmap::ScanLine(int row) {
  return const_cast<void*>(static_cast<const TBitmap*>(this)->ScanLine(row));
}

const void* TBitmap::ScanLine(int row) const {
  if (!handle_ || row < 0 || row >= height_)
    throw EInvalidGraphicOperation("Scan line index out of range");
  GdiFlush();
  return GetBitmapRow(handle_, row);
}

void TBitmap::LoadFromStream(TStream& stream) {
  const std::int64_t start = stream.GetPosition();
  TBmpLayout bmp;
  TColorTable colors;
  try {
    bmp = ReadHeaders(stream);
    colors = ReadColorTable(stream, bmp);
  } catch (const EReadError&) {
    throw EInvalidGraphic(kInvalidBitmap);
  }
  SeekToRows(stream, start, bmp);
  TNewBitmap bitmap(CreateBitmapFor(bmp, colors));
  ReadRows(stream, bmp, bitmap.get());
  const int bits = bmp.StorageBits();
  HPALETTE palette =
      bits == 8 && colors.Count ? PaletteFromQuads(colors.Colors, colors.Count) : nullptr;
  if (palette_) DeleteObject(palette_);
  palette_ = palette;
  Replace(bitmap.release(), bmp.Width, bmp.Height, bits);
  pixelFormat_ = PixelFormatOfBits(bits);
  Changed(this);
}

void TBitmap::SetHandle(HBITMAP bitmap) {
  if (bitmap == handle_) return;
  BITMAP bm;
  if (bitmap && !GetObject(bitmap, sizeof bm, &bm))
    throw EInvalidGraphicOperation("Invalid bitmap handle");
  HPALETTE palette = nullptr;
  if (bitmap && bm.bmBitsPixel == 8) {
    RGBQUAD colors[256];
    UINT n = GetDIBColorTable(bitmap, 0, 256, colors);
    if (n) palette = PaletteFromQuads(colors, n);
  }
  if (palette_) DeleteObject(palette_);
  palette_ = palette;
  if (!bitmap) {
    Replace(nullptr, 0, 0, 0);
  } else {
    int bits = bm.bmBitsPixel;
    Replace(bitmap, bm.bmWidth, bm.bmHeight, bits);
    pixelFormat_ = PixelFormatOfBits(bits);
  }
  Changed(this);
}

void TBitmap::SaveToStream(TStream& stream) {
  if (GetEmpty()) return;
  int bits = bitsPerPixel_;
  std::uint32_t stride = std::uint32_t((std::size_t(width_) * bits + 31) / 32 * 4);
  std::uint32_t colorCount = bits <= 8 ? (1u << bits) : 0;
  std::uint32_t infoSize = 40 + colorCount * 4;
  std::uint32_t imageSize = stride * std::uint32_t(height_);
  std::vector<std::uint8_t> head(14 + infoSize, 0);
  head[0] = 'B';
  head[1] = 'M';
  Put32(&head[2], 14 + infoSize + imageSize);
  Put32(&head[10], 14 + infoSize);
  Put32(&head[14], 40);
  Put32(&head[18], std::uint32_t(width_));
  Put32(&head[22], std::uint32_t(height_));
  Put16(&head[26], 1);
  Put16(&head[28], std::uint16_t(bits));
  Put32(&head[34], imageSize);
  Put32(&head[46], colorCount);
  if (colorCount) {
    std::vector<RGBQUAD> colors(colorCount);
    if (GetDIBColorTable(handle_, 0, colorCount, colors.data()) == 0 && bits == 1)
      colors[1] = RGBQUAD{255, 255, 255, 0};
    std::memcpy(&head[54], colors.data(), colorCount * 4);
  }
  stream.WriteBuffer(head.data(), std::int64_t(head.size()));
  GdiFlush();
  for (int y = height_ - 1; y >= 0; --y)
    stream.WriteBuffer(GetBitmapRow(handle_, y), stride);
}

void TBitmap::Assign(const TGraphic& source) {
  if (&source == this) return;
  const auto* other = dynamic_cast<const TBitmap*>(&source);
  if (!other) {
    // Any other graphic is drawn onto a bitmap of its size.
    SetSize(source.GetWidth(), source.GetHeight());
    if (!GetEmpty())
      const_cast<TGraphic&>(source).Draw(GetCanvas(), Rect(0, 0, width_, height_));
    return;
  }
  HPALETTE palette = other->palette_ ? GDICheck(CopyPalette(other->palette_)) : nullptr;
  HBITMAP bitmap = nullptr;
  if (other->handle_) {
    bitmap = CopyBitmap(other->handle_);
    if (!bitmap) {
      if (palette) DeleteObject(palette);
      RaiseLastGdiError();
    }
  }
  if (palette_) DeleteObject(palette_);
  palette_ = palette;
  pixelFormat_ = other->pixelFormat_;
  Replace(bitmap, other->width_, other->height_, other->bitsPerPixel_);
  width_ = other->width_;
  height_ = other->height_;
  Changed(this);
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) {
  if (GetEmpty()) return;
  HDC dest = canvas.GetHandle();
  HeldDC from(handle_, canvas_ ? canvas_->Existing() : nullptr);
  HPALETTE oldPalette = nullptr;
  if (palette_) {
    oldPalette = SelectPalette(dest, palette_, true);
    RealizePalette(dest);
  }
  canvas.Changing();
  StretchBlt(dest, rect.Left, rect.Top, rect.Width(), rect.Height(), from.Get(), 0, 0,
             width_, height_, canvas.GetCopyMode());
  if (oldPalette) SelectPalette(dest, oldPalette, true);
  canvas.Changed();
}

HBITMAP TBitmap::CopyBitmap(HBITMAP bitmap) {
  BITMAP bm;
  if (!GetObject(bitmap, sizeof bm, &bm)) return nullptr;
  auto info = std::make_unique<BITMAPINFO>();
  info->bmiHeader.biWidth = bm.bmWidth;
  info->bmiHeader.biHeight = bm.bmHeight;
  info->bmiHeader.biBitCount = bm.bmBitsPixel;
  info->bmiHeader.biClrUsed = GetDIBColorTable(bitmap, 0, 256, info->bmiColors);
  if (bm.bmBitsPixel == 1 && info->bmiHeader.biClrUsed == 0) {
    info->bmiColors[1] = RGBQUAD{255, 255, 255, 0};
    info->bmiHeader.biClrUsed = 2;
  }
  HBITMAP copy = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, nullptr);
  if (!copy) return nullptr;
  GdiFlush();
  std::size_t rowBytes = (std::size_t(bm.bmWidth) * bm.bmBitsPixel + 7) / 8;
  for (int y = 0; y < bm.bmHeight; ++y)
    std::memcpy(GetBitmapRow(copy, y), GetBitmapRow(bitmap, y), rowBytes);
  return copy;
}

void TBitmap::SaveToClipboardFormat(WORD& format, HANDLE& data, HPALETTE& palette) {
  format = WORD(CF_BITMAP);
  data = nullptr;
  palette = nullptr;
  if (GetEmpty()) return;
  HBITMAP copy = GDICheck(CopyBitmap(handle_));
  if (palette_) {
    palette = CopyPalette(palette_);
    if (!palette) {
      DeleteObject(copy);
      RaiseLastGdiError();
    }
  }
  data = copy;
}

void TBitmap::LoadFromClipboardFormat(WORD format, HANDLE data, HPALETTE palette) {
  if (format != CF_BITMAP || !data) throw EInvalidGraphic("Unsupported clipboard format");
  auto* source = static_cast<HBITMAP>(data);
  BITMAP bm;
  if (!GetObject(source, sizeof bm, &bm)) throw EInvalidGraphic(kInvalidBitmap);
  HBITMAP copy = GDICheck(CopyBitmap(source));
  HPALETTE ownPalette = palette ? CopyPalette(palette) : nullptr;
  if (palette_) DeleteObject(palette_);
  palette_ = ownPalette;
  int bits = bm.bmBitsPixel;
  Replace(copy, bm.bmWidth, bm.bmHeight, bits);
  pixelFormat_ = PixelFormatOfBits(bits);
  Changed(this);
}

std::unique_ptr<TGraphic> TBitmap::NewOfSameClass() const {
  return std::make_unique<TBitmap>();
}

}  // namespace velmora
