// The GIF unit's start-up and shutdown: registration with the picture system
// and the clipboard, the display measurement, and the clipboard transfer.
#include <cstring>
#include <stdexcept>

#include "gif/render/GIFRender.h"
#include "platform/classes/ScopeGuard.h"
#include "platform/classes/Threads.h"
#include "platform/gdi/Clipboard.h"

namespace velmora {

namespace {

const char* const kClassId = "TGIFImage";

// Held from start-up to shutdown, created suspended and never started: a
// thread object whose work is nothing.
class TDummyThread : public TThread {
 public:
  TDummyThread() : TThread(true) {}

 protected:
  void Execute() override {}
};

std::unique_ptr<TDummyThread>& DummyThread() {
  static std::unique_ptr<TDummyThread> thread;
  return thread;
}

}  // namespace

void Register() {
  GIFImageDefaultDrawOptions =
      TGIFDrawOptions(GIFImageDefaultDrawOptions & ~GIFDrawOptionBit(goLoop));
}

void MeasureDisplay() {
  HDC dc = GetDC(nullptr);
  int bits = 0;
  {
    TScopeGuard release([dc] { ReleaseDC(nullptr, dc); });
    bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
  }
  PaletteDevice = bits <= 8;
  DoAutoDither = PaletteDevice;
}

void GIFUnitInitialize() {
  TPicture::RegisterFileFormat("GIF", _sGIFImageFile, kClassId,
                               [] { return std::make_unique<TGIFImage>(); });
  UINT format = RegisterClipboardFormat(_sGIFImageFile);
  if (format > 0xFFFF) throw std::range_error("Range check error");
  CF_GIF = std::uint16_t(format);
  TPicture::RegisterClipboardFormat(CF_GIF, kClassId,
                                    [] { return std::make_unique<TGIFImage>(); });
  MeasureDisplay();
  DummyThread() = std::make_unique<TDummyThread>();
}

void GIFUnitFinalize() {
  TPicture::UnregisterGraphicClass(kClassId);
  DummyThread().reset();
}

void TGIFImage::SaveToClipboardFormat(WORD& format, HANDLE& data, HPALETTE& palette) {
  format = 0;
  data = nullptr;
  palette = nullptr;
  if (GetEmpty()) return;
  GetBitmap()->SaveToClipboardFormat(format, data, palette);
  // What the caller would receive is freed again when the GIF form can't be
  // stored, so nothing is lost with the error.
  TFailureGuard dropBitmapForm([&] {
    if (data) DeleteObject(static_cast<HBITMAP>(data));
    if (palette) DeleteObject(palette);
    data = nullptr;
    palette = nullptr;
  });
  TMemoryStream stream;
  SaveToStream(stream);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, std::size_t(stream.GetSize()));
  if (!block) throw EOutOfMemory(_sFailedPaste);
  std::memcpy(GlobalLock(block), stream.Memory(), std::size_t(stream.GetSize()));
  GlobalUnlock(block);
  if (!SetClipboardData(CF_GIF, block)) {
    GlobalFree(block);
    Error(_sFailedPaste);
  }
}

void TGIFImage::LoadFromClipboardFormat(WORD format, HANDLE data, HPALETTE palette) {
  if (!data) data = GetClipboardData(format);
  if (format == CF_GIF && data) {
    auto* block = static_cast<HGLOBAL>(data);
    TMemoryStream stream;
    std::size_t size = GlobalSize(block);
    stream.WriteBuffer(GlobalLock(block), std::int64_t(size));
    GlobalUnlock(block);
    stream.SetPosition(0);
    LoadFromStream(stream);
  } else if (format == CF_BITMAP && data) {
    TBitmap bitmap;
    bitmap.LoadFromClipboardFormat(format, data, palette);
    Assign(bitmap);
  } else {
    Error("Unsupported clipboard format");
  }
}

}  // namespace velmora
