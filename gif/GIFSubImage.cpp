// The frames of the GIF model (TGIFSubImage): bounds, pixel data and its
// memory charge, and their reading, with the adapter between a frame and
// the LZW decoder.
#include <algorithm>
#include <cstring>
#include <vector>

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
  TFramePixels data = AllocateFramePixels(std::size_t(size));
  if (!data) {
    FDataCharge.Reset();
    Error(_sOutOfMemImage);
  }
  Data = std::move(data);
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

// Where row `row` of an interlaced frame of `height` rows comes in the data:
// the rows of pass 1 (0, 8, 16, ...) first, then those of pass 2 (4, 12,
// ...), pass 3 (2, 6, ...) and pass 4 (1, 3, ...).
int RowInData(int row, int height) {
  const int pass1 = (height + 7) / 8, pass2 = (height + 3) / 8, pass3 = (height + 1) / 4;
  if (row % 8 == 0) return row / 8;
  if (row % 8 == 4) return pass1 + row / 8;
  if (row % 4 == 2) return pass1 + pass2 + row / 4;
  return pass1 + pass2 + pass3 + row / 2;
}

// Moves the rows of a frame decoded in the order of the data to their
// places, in place: each cycle of the permutation is followed with one row
// held aside.
void Deinterlace(std::uint8_t* pixels, std::size_t width, int height) {
  std::vector<bool> placed(std::size_t(height), false);
  std::vector<std::uint8_t> held(width);
  auto row = [&](int r) { return pixels + std::size_t(r) * width; };
  for (int start = 0; start < height; ++start) {
    if (placed[std::size_t(start)]) continue;
    placed[std::size_t(start)] = true;
    int from = RowInData(start, height);
    if (from == start) continue;
    std::memcpy(held.data(), row(start), width);
    int to = start;
    while (from != start) {
      std::memcpy(row(to), row(from), width);
      placed[std::size_t(from)] = true;
      to = from;
      from = RowInData(to, height);
    }
    std::memcpy(row(to), held.data(), width);
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
  // Interlaced rows are decoded in the order they come and then moved to
  // their places; rows the data does not reach keep the fill value.
  const bool interlaced = GetInterlaced() && DataSize != 0;
  StreamInput input(stream);
  TLzwDecoder decoder;
  // What was decoded goes in place and the decoder's warnings are said, also
  // when the stream fails.
  auto deliver = [&] {
    const std::int64_t written = decoder.Written();
    rest.done = written;
    if (interlaced) {
      std::memset(Data.get() + written, fill, std::size_t(DataSize - written));
      rest.done = DataSize;
      Deinterlace(Data.get(), std::size_t(GetWidth()), GetHeight());
    }
    for (TLzwResult warning : decoder.Warnings())
      Warning(gsWarning, LzwResultText(warning));
  };
  TLzwResult result;
  // A catch, not a failure guard: the warnings go to the image's handler,
  // which may throw.
  try {
    result = decoder.Decode(input, minCodeSize, Data.get(), DataSize, fill);
  } catch (...) {
    deliver();
    throw;
  }
  deliver();
  if (LzwIsError(result)) Error(LzwResultText(result));
}

}  // namespace velmora
