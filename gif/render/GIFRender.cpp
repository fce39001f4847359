// Frames to bitmaps: the direct and the dithered rendering, masks, palettes
// and the image-level bitmap.
#include "gif/render/GIFRender.h"

#include <cstring>
#include <new>

#include "gif/GIFExtensions.h"
#include "gif/render/GIFDither.h"
#include "gif/render/GIFPainter.h"
#include "platform/classes/ScopeGuard.h"

namespace velmora {

namespace {

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  std::int64_t p = std::int64_t(a) * b;
  std::int64_t half = (c < 0 ? -c : c) / 2;
  std::int64_t r = ((p < 0) != (c < 0)) ? (p - half) / c : (p + half) / c;
  return int(r);
}

HPALETTE ExportPalette(const TGIFColorMap& map) {
  std::vector<PALETTEENTRY> entries(std::size_t(map.GetCount()));
  for (int i = 0; i < map.GetCount(); ++i)
    entries[std::size_t(i)] = PALETTEENTRY{map[i].Red, map[i].Green, map[i].Blue, 0};
  return GDICheck(CreatePalette(0x300, entries.data(), WORD(entries.size())));
}

// Mask rows are whole 16-bit words, as CreateBitmap wants them.
std::size_t MaskStride(int width) {
  return std::size_t((width + 15) / 16) * 2;
}

// Mask memory, or empty when there is no room for it (then no mask is made).
// It counts against the limit of the picture being rendered, as charge.
std::vector<std::uint8_t> AllocateMask(int width, int height, TMemoryCharge& charge) {
  const std::size_t size = MaskStride(width) * std::size_t(height);
  if (!charge.Take(CurrentMemoryAccount(), std::int64_t(size)))
    Error(_sPixelMemoryExceeded);
  std::vector<std::uint8_t> mask;
  try {
    mask.assign(size, 0);
  } catch (const std::bad_alloc&) {
    mask.clear();
    charge.Reset();
  }
  return mask;
}

class PaletteGuardScope {
 public:
  explicit PaletteGuardScope(bool& guard) : guard_(guard) { guard_ = true; }
  ~PaletteGuardScope() { guard_ = false; }
  PaletteGuardScope(const PaletteGuardScope&) = delete;
  PaletteGuardScope& operator=(const PaletteGuardScope&) = delete;

 private:
  bool& guard_;
};

}  // namespace

bool IsMemoryRefusal(const std::exception& e) {
  return std::strcmp(e.what(), _sPixelMemoryExceeded) == 0;
}

std::unique_ptr<TBitmap> NewFrameBitmap(int width, int height) {
  auto bitmap = std::make_unique<TBitmap>();
  // The empty bitmap would otherwise be a screen-sized colour one first.
  if (std::int64_t(width) * height > LargeFramePixels)
    bitmap->SetPixelFormat(TPixelFormat::pf1bit);
  return bitmap;
}

std::shared_ptr<GdiPalette> OwnPalette(HPALETTE palette) {
  return std::shared_ptr<GdiPalette>(palette, [](GdiPalette* p) {
    if (p) DeleteObject(p);
  });
}

std::shared_ptr<GdiBitmap> OwnBitmap(HBITMAP bitmap) {
  return std::shared_ptr<GdiBitmap>(bitmap, [](GdiBitmap* b) {
    if (b) DeleteObject(b);
  });
}

// --- TDIBWriter --------------------------------------------------------------

TDIBWriter::TDIBWriter(TBitmap& target, TPixelFormat format, int width, int height,
                       HPALETTE palette)
    : target_(target), width_(width), height_(height), palette_(palette) {
  if (format == TPixelFormat::pf8bit)
    bits_ = 8;
  else if (format == TPixelFormat::pf24bit)
    bits_ = 24;
  else
    Error(_sInvalidPixelFormat);
  if (width <= 0 || height <= 0) Error(_sBadDimension);
}

TDIBWriter::~TDIBWriter() {
  if (dib_) DeleteObject(dib_);
}

void TDIBWriter::CreateDIB() {
  auto info = std::make_unique<BITMAPINFO>();
  BITMAPINFOHEADER& h = info->bmiHeader;
  h.biWidth = width_;
  h.biHeight = height_;  // bottom row first
  h.biBitCount = WORD(bits_);
  if (bits_ == 8) {
    PALETTEENTRY entries[256];
    UINT count = 0;
    WORD n = 0;
    if (palette_ && GetObject(palette_, sizeof n, &n)) count = std::min<UINT>(n, 256);
    if (count) count = GetPaletteEntries(palette_, 0, count, entries);
    // All 256 entries go into the table; those past the palette stay zero.
    h.biClrUsed = 256;
    h.biClrImportant = count;
    for (UINT i = 0; i < count; ++i)
      info->bmiColors[i] =
          RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
  }
  dib_ = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, nullptr);
  if (!dib_ && GetLastError() == ERROR_NOT_ENOUGH_QUOTA) Error(_sPixelMemoryExceeded);
  if (!dib_) throw EOutOfMemory(_sOutOfMemDIB);
}

std::uint8_t* TDIBWriter::RowPointer(int row) {
  GdiFlush();
  if (!dib_) CreateDIB();
  if (row < 0 || row >= height_)
    throw EInvalidGraphicOperation("Scan line index out of range");
  return GetBitmapRow(dib_, row);
}

void TDIBWriter::Commit() {
  if (!dib_) return;
  target_.SetHandle(dib_);
  dib_ = nullptr;
}

// --- Frames --------------------------------------------------------------------

TBitmap* TGIFSubImage::GetBitmap() {
  if (Bitmap || GetEmpty()) return Bitmap.get();
  TGIFImage* image = Image;
  TGIFMemoryScope memory(image);
  if (image)
    image->Progress(this, TProgressStage::psStarting, 0, false, TRect{},
                    _sProgressRendering);
  // A palette change is announced once, by the first rendering after it.
  auto ending = [this, image](std::uint8_t percent) {
    if (!image) return;
    image->Progress(this, TProgressStage::psEnding, percent, image->PaletteModified,
                    TRect{}, _sProgressRendering);
    if (image->PaletteModified) {
      image->Changed(this);
      image->PaletteModified = false;
    }
  };
  auto render = [this, image] {
    return (image && image->GetDoDither()) ? DoGetDitherBitmap() : DoGetBitmap();
  };
  const bool needMask = NeedMask;
  TBitmap* made = nullptr;
  // A catch, not a failure guard: ending runs the progress handler, which
  // may throw.
  try {
    try {
      made = render();
    } catch (const std::exception& e) {
      if (!image || !IsMemoryRefusal(e) || !image->DropFrameBitmaps(this)) throw;
      NeedMask = needMask;
      made = render();
    }
  } catch (...) {
    ending(0);
    throw;
  }
  Bitmap.reset(made);
  ending(100);
  return Bitmap.get();
}

void TGIFSubImage::ReportRenderedRow(int row, int height) {
  if (row % 32 == 0 && Image)
    Image->Progress(this, TProgressStage::psRunning,
                    std::uint8_t(MulDiv(row, 100, height)), false, TRect{},
                    _sProgressRendering);
}

TBitmap* TGIFSubImage::DoGetBitmap() {
  const int width = GetWidth(), height = GetHeight();
  std::unique_ptr<TBitmap> bitmap = NewFrameBitmap(width, height);
  TDIBWriter writer(*bitmap, TPixelFormat::pf8bit, width, height, GetPalette());

  bool buildMask = NeedMask && Transparent && GraphicControlExtension;
  NeedMask = false;
  int transparentIndex = -1;
  std::vector<std::uint8_t> mask;
  TMemoryCharge maskCharge;
  if (buildMask) {
    // Read whenever a mask is built, so a rebuilt mask never uses a stale index.
    transparentIndex = GraphicControlExtension->GetTransparentColorIndex();
    mask = AllocateMask(width, height, maskCharge);
    buildMask = !mask.empty();
  }
  bool anyTransparent = false;
  const std::size_t maskStride = MaskStride(width);
  const std::uint8_t* source = Data.get();

  for (int row = 0; row < height; ++row) {
    std::uint8_t* dest = writer.RowPointer(row);
    ReportRenderedRow(row, height);
    const std::uint8_t* pixels = source + std::size_t(row) * std::size_t(width);
    std::memcpy(dest, pixels, std::size_t(width));
    if (!buildMask) continue;
    std::uint8_t* out = mask.data() + std::size_t(row) * maskStride;
    std::uint8_t bit = 0x80, acc = 0;
    for (int x = 0; x < width; ++x) {
      if (pixels[x] == transparentIndex) acc |= bit;
      bit >>= 1;
      if (bit == 0) {
        *out++ = acc;
        if (acc) anyTransparent = true;
        acc = 0;
        bit = 0x80;
      }
    }
    if (acc) {
      *out = acc;
      anyTransparent = true;
    }
  }
  if (buildMask && anyTransparent)
    Mask = OwnBitmap(GDICheck(CreateBitmap(width, height, 1, 1, mask.data())));
  writer.Commit();
  return bitmap.release();
}

namespace {

// The web palette's entry of a colour table entry: what a dithered frame
// shows under its transparent pixels.
std::uint8_t WebIndexOf(const TGIFColorMap* map, int index) {
  TGIFColor c{};
  if (map && index < map->GetCount()) c = (*map)[index];
  return std::uint8_t(MulDiv(36, c.Red, 51) + MulDiv(6, c.Green, 51) + c.Blue / 51 + 1);
}

// The bit of a mask row under the ditherer's column, which runs left to
// right on one row and right to left on the next.
class MaskCursor {
 public:
  MaskCursor(std::uint8_t* row, int width, int direction)
      : row_(row), forward_(direction == 1) {
    if (!forward_) {
      byte_ = (width + 7) / 8 - 1;
      bit_ = std::uint8_t(1u << ((8 - width % 8) % 8));
    }
  }
  void Set() { row_[byte_] |= bit_; }
  void Next() {
    if (forward_) {
      bit_ >>= 1;
      if (bit_ == 0) {
        bit_ = 0x80;
        ++byte_;
      }
    } else {
      bit_ = std::uint8_t(bit_ << 1);
      if (bit_ == 0) {
        bit_ = 1;
        --byte_;
      }
    }
  }

 private:
  std::uint8_t* row_;
  const bool forward_;
  int byte_ = 0;
  std::uint8_t bit_ = 0x80;
};

// Dithers one row of indices into dest in the ditherer's direction. With a
// mask row, pixels of transparentIndex set their bit instead and dest keeps
// fill under them; true when one did.
bool DitherRow(TFloydSteinbergDitherer& ditherer, TGIFColorMap* map,
               const std::uint8_t* pixels, int width, std::uint8_t* dest,
               std::uint8_t* maskRow, int transparentIndex, std::uint8_t fill) {
  const int mapCount = map ? map->GetCount() : 0;
  bool anyTransparent = false;
  if (maskRow) std::memset(dest, fill, std::size_t(width));
  MaskCursor mask(maskRow, width, ditherer.GetDirection());
  while (ditherer.GetColumn() >= 0 && ditherer.GetColumn() < width) {
    const int x = ditherer.GetColumn();
    const int index = pixels[x];
    if (maskRow && index == transparentIndex) {
      mask.Set();
      anyTransparent = true;
      ditherer.NextColumn();
    } else {
      int r = 0, g = 0, b = 0;
      if (index < mapCount) {
        const TGIFColor& c = (*map)[index];
        r = c.Red, g = c.Green, b = c.Blue;
      } else if (map) {
        // Beyond the table: the map warns and gives its first entry.
        const TColor c = map->GetColor(index);
        r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
      }
      dest[x] = std::uint8_t(ditherer.Dither(r, g, b));
    }
    if (maskRow) mask.Next();
  }
  ditherer.NextLine();
  return anyTransparent;
}

}  // namespace

TBitmap* TGIFSubImage::DoGetDitherBitmap() {
  const int width = GetWidth(), height = GetHeight();
  std::unique_ptr<TBitmap> bitmap = NewFrameBitmap(width, height);
  TNetscapeColorLookup lookup(nullptr);
  TFloydSteinbergDitherer ditherer(width, lookup);
  TDIBWriter writer(*bitmap, TPixelFormat::pf8bit, width, height, GetPalette());
  TGIFColorMap* map = GetActiveColorMap();

  bool buildMask = NeedMask && Transparent && GraphicControlExtension;
  NeedMask = false;
  int transparentIndex = -1;
  std::uint8_t fill = 0;
  std::vector<std::uint8_t> mask;
  TMemoryCharge maskCharge;
  if (buildMask) {
    transparentIndex = GraphicControlExtension->GetTransparentColorIndex();
    fill = WebIndexOf(map, transparentIndex);
    mask = AllocateMask(width, height, maskCharge);
    buildMask = !mask.empty();
  }
  bool anyTransparent = false;
  const std::size_t maskStride = MaskStride(width);
  for (int row = 0; row < height; ++row) {
    ReportRenderedRow(row, height);
    std::uint8_t* maskRow =
        buildMask ? mask.data() + std::size_t(row) * maskStride : nullptr;
    if (DitherRow(ditherer, map, Data.get() + std::size_t(row) * std::size_t(width),
                  width, writer.RowPointer(row), maskRow, transparentIndex, fill))
      anyTransparent = true;
  }
  if (buildMask && anyTransparent)
    Mask = OwnBitmap(GDICheck(CreateBitmap(width, height, 1, 1, mask.data())));
  writer.Commit();
  return bitmap.release();
}

void TGIFSubImage::NewBitmap() {
  Bitmap = std::make_shared<TBitmap>();
}

void TGIFSubImage::FreeBitmap() {
  Bitmap.reset();
}

void TGIFSubImage::FreeMask() {
  Mask.reset();
  NeedMask = true;
}

bool TGIFSubImage::HasMask() {
  if (NeedMask && Transparent) {
    FreeBitmap();
    GetBitmap();
  }
  return Mask != nullptr;
}

GdiPalette* TGIFSubImage::GetPalette() {
  if (Bitmap && Bitmap->GetPalette()) return Bitmap->GetPalette();
  if (Palette) return Palette.get();
  if (Image && Image->GetDoDither()) {
    Palette = OwnPalette(GDICheck(WebPalette()));
    return Palette.get();
  }
  if (ColorMap->GetCount() == 0) return Image ? Image->GetPalette() : nullptr;
  Palette = OwnPalette(ExportPalette(*ColorMap));
  return Palette.get();
}

// --- Image ---------------------------------------------------------------------

bool TGIFImage::DropFrameBitmaps(const TGIFSubImage* keep) {
  if (!IsMainThread()) return false;
  std::lock_guard render(GIFRenderMutex());
  bool dropped = false;
  for (int i = 0; i < Images->GetCount(); ++i) {
    TGIFSubImage* frame = Images->GetImage(i);
    if (frame == keep || !(frame->Bitmap || frame->Mask)) continue;
    frame->FreeBitmap();
    frame->FreeMask();
    dropped = true;
  }
  return dropped;
}

bool TGIFImage::GetDoDither() const {
  return (DrawOptions & GIFDrawOptionBit(goDither)) &&
         (!(DrawOptions & GIFDrawOptionBit(goAutoDither)) || DoAutoDither);
}

GdiPalette* TGIFImage::GetPalette() {
  // A request that comes back here means no colour table anywhere.
  if (PaletteGuard) Error(_sNoColorTable);
  PaletteGuardScope guard(PaletteGuard);
  if (Bitmap && Bitmap->GetPalette()) return Bitmap->GetPalette();
  if (PaletteCache) return PaletteCache.get();
  if (GetDoDither()) {
    PaletteCache = OwnPalette(GDICheck(WebPalette()));
    return PaletteCache.get();
  }
  if (Header->ColorMap->GetCount() > 0) {
    PaletteCache = OwnPalette(ExportPalette(*Header->ColorMap));
    return PaletteCache.get();
  }
  if (Images->GetCount() > 0) return Images->GetImage(0)->GetPalette();
  return nullptr;
}

void TGIFImage::NewBitmap() {
  if (Bitmap) return;
  TGIFMemoryScope memory(this);
  auto bitmap = std::make_shared<TBitmap>();
  bitmap->SetPalette(GetPalette());
  bitmap->SetSize(GetWidth(), GetHeight());
  bitmap->OnChange = [this](void*) { Changed(this); };
  Bitmap = std::move(bitmap);
}

void TGIFImage::FreeBitmap() {
  StopImagePainter(*this);
  Bitmap.reset();
}

TBitmap* TGIFImage::GetBitmap() {
  if (GetEmpty()) return nullptr;
  if (Bitmap) return Bitmap.get();
  TGIFMemoryScope memory(this);
  auto bitmap = std::make_shared<TBitmap>();
  bitmap->OnChange = [this](void*) { Changed(this); };
  Bitmap = bitmap;
  TGIFSubImage* first = Images->GetImage(0);
  TFailureGuard dropBitmap([this] { Bitmap.reset(); });
  if (first->GetWidth() == GetWidth() && first->GetHeight() == GetHeight()) {
    if (TBitmap* frame = first->GetBitmap()) bitmap->Assign(*frame);
  } else {
    bitmap->SetPalette(GetPalette());
    bitmap->SetHeight(GetHeight());
    bitmap->SetWidth(GetWidth());
    TCanvas& canvas = bitmap->GetCanvas();
    first->Draw(canvas, canvas.GetClipRect(), false, false);
  }
  return Bitmap.get();
}

}  // namespace velmora
