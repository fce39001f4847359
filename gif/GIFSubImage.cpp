// The frames of the GIF model (TGIFSubImage): bounds, pixel data and its
// memory charge, and their reading, with the adapter between a frame and
// the LZW decoder.
#include <algorithm>
#include <cstring>
#include <new>

#include "gif/GIFDecoder.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"

namespace velmora {

TGIFSubImage::TGIFSubImage(TGIFImage* image)
    : TGIFItem(image),
      ColorMap(std::make_unique<TGIFLocalColorMap>(this)),
      Extensions(std::make_unique<TGIFExtensionList>(image)) {
  ImageDescriptor.Separator = 0x2C;
}

TGIFSubImage::~TGIFSubImage() {
  if (Image) Image->Images->Remove(this);
  Extensions->Clear();
  FreeImage();
  FreeRenderCaches();
}

void TGIFSubImage::Clear() {
  Extensions->Clear();
  ColorMap->Clear();
  FreeImage();
  ImageDescriptor.Width = 0;
  ImageDescriptor.Height = 0;
  Transparent = false;
  GraphicControlExtension = nullptr;
  FreeRenderCaches();
}

void TGIFSubImage::FreeRenderCaches() {
  Bitmap.reset();
  Mask.reset();
  NeedMask = true;
  Palette.reset();
}

TGIFVersion TGIFSubImage::GetVersion() const {
  return ColorMap->GetOptimized() || Extensions->GetCount() > 0 ? gv89a : gv87a;
}

int TGIFSubImage::GetBounds(int index) const {
  switch (index) {
    case 1:
      return ImageDescriptor.Left;
    case 2:
      return ImageDescriptor.Top;
    case 3:
      return ImageDescriptor.Width;
    case 4:
      return ImageDescriptor.Height;
    default:
      return 0;
  }
}

TRect TGIFSubImage::GetBoundsRect() const {
  return Rect(GetLeft(), GetTop(), GetLeft() + GetWidth(), GetTop() + GetHeight());
}

TRect TGIFSubImage::GetClientRect() const {
  return Rect(0, 0, GetWidth(), GetHeight());
}

TGIFColorMap* TGIFSubImage::GetActiveColorMap() const {
  if (ColorMap->GetCount() == 0 && Image && Image->Header->ColorMap->GetCount() > 0)
    return Image->Header->ColorMap.get();
  return ColorMap.get();
}

bool TGIFSubImage::GetEmpty() const {
  return !Data || DataSize == 0 || GetWidth() == 0 || GetHeight() == 0;
}

void TGIFSubImage::SetBounds(int left, int top, int width, int height) {
  bool resized = width != GetWidth() || height != GetHeight();
  ImageDescriptor.Left = std::uint16_t(left);
  ImageDescriptor.Top = std::uint16_t(top);
  ImageDescriptor.Width = std::uint16_t(width);
  ImageDescriptor.Height = std::uint16_t(height);
  if (resized) NewImage();
}

void TGIFSubImage::SetInterlaced(bool value) {
  if (value)
    ImageDescriptor.PackedFields |= idInterlaced;
  else
    ImageDescriptor.PackedFields &= std::uint8_t(~idInterlaced);
}

void TGIFSubImage::NewImage(std::uint8_t fill) {
  AllocateImage();
  if (Data) std::memset(Data.get(), fill, std::size_t(DataSize));
}

void TGIFSubImage::AllocateImage() {
  FreeImage();
  const std::int64_t size = std::int64_t(GetWidth()) * GetHeight();
  if (size == 0) return;
  if (!FDataCharge.Take(Image ? Image->Memory : nullptr, size))
    Error(_sPixelMemoryExceeded);
  std::uint8_t* data = new (std::nothrow) std::uint8_t[std::size_t(size)];
  if (!data) {
    FDataCharge.Reset();
    Error(_sOutOfMemImage);
  }
  Data.reset(data);
  DataSize = size;
}

void TGIFSubImage::FreeImage() {
  FDataCharge.Reset();
  Data.reset();
  DataSize = 0;
}

void TGIFSubImage::NeedImage() {
  if (!Data) NewImage();
  if (DataSize == 0) Error(_sEmptyImage);
}

std::uint8_t* TGIFSubImage::GetScanline(int row) {
  if (row < 0 || row >= GetHeight()) Error(_sBadPixelCoordinates);
  NeedImage();
  return Data.get() + std::int64_t(GetWidth()) * row;
}

std::uint8_t TGIFSubImage::GetPixel(int x, int y) {
  if (x < 0 || x >= GetWidth()) Error(_sBadPixelCoordinates);
  return GetScanline(y)[x];
}

void TGIFSubImage::Assign(const TGIFSubImage& source) {
  TMemoryStream buffer;
  const_cast<TGIFSubImage&>(source).SaveToStream(buffer);
  buffer.SetPosition(0);
  LoadFromStream(buffer);
}

void TGIFSubImage::SetPalette(std::shared_ptr<GdiPalette> palette) {
  // Setting none is how a changed local colour map is announced: the bitmap
  // goes even when it was made without a palette cached on the frame.
  if (palette && palette == Palette) return;
  Palette = std::move(palette);
  if (Bitmap) {
    // The cached rendering was made with the old palette.
    Bitmap.reset();
    if (Image) {
      Image->PaletteModified = true;
      Image->OnChange ? Image->OnChange(Image) : void();
    }
  }
}

void TGIFSubImage::LoadFromStream(TStream& stream) {
  Clear();
  Extensions->LoadFromStream(stream, this);
  std::uint8_t b;
  if (!ReadByte(stream, b)) return;
  StepBack(stream);
  // Extensions after the last image make a frame without an image.
  if (b == 0x3B || b == 0x00) return;

  ReadCheck(stream, &ImageDescriptor, 10);
  if (ImageDescriptor.Width == 0 || ImageDescriptor.Height == 0) {
    if (Image) {
      ImageDescriptor.Width = Image->Header->LogicalScreenDescriptor.ScreenWidth;
      ImageDescriptor.Height = Image->Header->LogicalScreenDescriptor.ScreenHeight;
    } else {
      ImageDescriptor.Width = ImageDescriptor.Height = 0;
    }
    Warning(gsWarning, _sScreenSizeExceeded);
  }
  if (ImageDescriptor.PackedFields & idLocalColorTable) {
    int count = 2 << (ImageDescriptor.PackedFields & idColorTableSize);
    if (count < 2 || count > 256) Error(_sImageBadColorSize);
    ColorMap->LoadFromStream(stream, count);
  }
  Decompress(stream);
  if (GIFImageRenderOnLoad) GetBitmap();
}

// --- Decoding ---------------------------------------------------------------

namespace {

// The frame's data in the stream, as the decoder reads it.
class StreamInput : public TLzwInput {
 public:
  explicit StreamInput(TStream& stream) : stream_(stream) {}
  std::int64_t Read(std::uint8_t* to, std::int64_t count) override {
    return stream_.Read(to, count);
  }
  void Skip(std::int64_t count) override { stream_.Seek(count, TSeekOrigin::soCurrent); }

 private:
  TStream& stream_;
};

// Puts count pixels of rows in pass order (rows 0, 8, 16, ...; 4, 12, ...;
// 2, 6, ...; 1, 3, ...) in place; rows they do not reach keep what they had.
void Deinterlace(const std::uint8_t* from, std::size_t count, std::uint8_t* to,
                 std::size_t width, int height) {
  static const int kStep[4] = {8, 8, 4, 2};
  static const int kStart[4] = {0, 4, 2, 1};
  for (int pass = 0; pass < 4 && count > 0; ++pass) {
    for (int row = kStart[pass]; row < height && count > 0; row += kStep[pass]) {
      const std::size_t n = std::min(width, count);
      std::memcpy(to + std::size_t(row) * width, from, n);
      from += n;
      count -= n;
    }
  }
}

}  // namespace

void TGIFSubImage::Decompress(TStream& stream) {
  std::uint8_t fill = 0;
  if (Transparent && GraphicControlExtension)
    fill = std::uint8_t(GraphicControlExtension->GetTransparentColorIndex());
  // The data normally reaches every pixel, so the frame is not filled
  // beforehand: whichever way decoding ends, what the data left out gets the
  // fill value here.
  AllocateImage();
  struct FillRest {
    TGIFSubImage& frame;
    std::uint8_t fill;
    std::int64_t done = 0;  // pixels from the first that are in place
    ~FillRest() {
      if (frame.Data && done < frame.DataSize)
        std::memset(frame.Data.get() + done, fill, std::size_t(frame.DataSize - done));
    }
  } rest{*this, fill};
  std::uint8_t minCodeSize;
  if (!ReadByte(stream, minCodeSize)) return;
  // Interlaced rows are decoded in the order they come into a scratch frame
  // and then put in place.
  const bool interlaced = GetInterlaced() && DataSize != 0;
  TMemoryCharge scratchCharge;  // counts with the frame while it lives
  std::unique_ptr<std::uint8_t[]> scratch;
  if (interlaced) {
    if (!scratchCharge.Take(Image ? Image->Memory : nullptr, DataSize))
      Error(_sPixelMemoryExceeded);
    scratch.reset(new (std::nothrow) std::uint8_t[std::size_t(DataSize)]);
    if (!scratch) Error(_sOutOfMemImage);
  }
  StreamInput input(stream);
  TLzwDecoder decoder;
  // What was decoded goes in place and the decoder's warnings are said, also
  // when the stream fails.
  auto deliver = [&] {
    const std::int64_t written = decoder.Written();
    if (interlaced) {
      // Rows the data did not reach are spread over the frame.
      if (written < DataSize) std::memset(Data.get(), fill, std::size_t(DataSize));
      Deinterlace(scratch.get(), std::size_t(written), Data.get(),
                  std::size_t(GetWidth()), GetHeight());
      rest.done = DataSize;
    } else {
      rest.done = written;
    }
    for (TLzwResult warning : decoder.Warnings())
      Warning(gsWarning, LzwResultText(warning));
  };
  TLzwResult result;
  try {
    result = decoder.Decode(input, minCodeSize, interlaced ? scratch.get() : Data.get(),
                            DataSize, fill);
  } catch (...) {
    deliver();
    throw;
  }
  deliver();
  if (LzwIsError(result)) Error(LzwResultText(result));
}

}  // namespace velmora
