// The GIF image model: settings, texts, colour maps, lists, header and the
// image, with the stream reader's block structure. The frames are in
// GIFSubImage.cpp.
#include "gif/GIFImage.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "gif/GIFExtensions.h"
#include "gif/GIFFromBitmap.h"
#include "platform/classes/Bitmap.h"

namespace velmora {

// --- Settings ---------------------------------------------------------------

TGIFDrawOptions GIFImageDefaultDrawOptions =
    GIFDrawOptionBit(goAsync) | GIFDrawOptionBit(goTransparent) |
    GIFDrawOptionBit(goAnimate) | GIFDrawOptionBit(goLoop) | GIFDrawOptionBit(goDither) |
    GIFDrawOptionBit(goAutoDither);
int GIFImageDefaultAnimationSpeed = 100;
TThreadPriority GIFImageDefaultThreadPriority = tpNormal;
int GIFDefaultDelay = 10;
int GIFMinimumDelay = 3;
int GIFMaximumDelay = 1000;
int GIFDelayExp = 12;
bool DoAutoDither = false;
bool PaletteDevice = false;
bool GIFImageRenderOnLoad = false;
bool GIFImageOptimizeOnStream = false;
TColorReduction GIFImageDefaultColorReduction = rmNetscape;
int GIFImageDefaultColorReductionBits = 8;
TDitherMode GIFImageDefaultDitherMode = dmNearest;
TGIFCompression GIFImageDefaultCompression = gcLZW;
const char* const GIFVersions[3] = {"", "87a", "89a"};
std::uint16_t CF_GIF = 0;
std::int64_t GIFImageMaxPixelMemory = std::int64_t(512) << 20;

int ThreadPriorityValue(TThreadPriority p) {
  static const int values[] = {-15, -2, -1, 0, 1, 2, 15};
  return values[p];
}

// --- Texts ------------------------------------------------------------------

const char* const _sOutOfData = "Premature end of data";
const char* const _sTooManyColors = "Color table overflow";
const char* const _sBadColorIndex = "Invalid color index";
const char* const _sBadVersion = "Unsupported GIF version";
const char* const _sBadSignature = "Invalid GIF signature";
const char* const _sScreenBadColorSize =
    "Invalid number of colors specified in Screen Descriptor";
const char* const _sImageBadColorSize =
    "Invalid number of colors specified in Image Descriptor";
const char* const _sUnknownExtension = "Unknown extension type";
const char* const _sBadExtensionLabel = "Invalid extension introducer";
const char* const _sOutOfMemDIB = "Failed to allocate memory for GIF DIB";
const char* const _sDIBCreate = "Failed to create DIB from Bitmap";
const char* const _sDecodeTooFewBits = "Decoder bit buffer under-run";
const char* const _sDecodeCircular = "Circular decoder table entry";
const char* const _sBadTrailer = "Invalid Image trailer";
const char* const _sBadExtensionInstance =
    "Internal error: Extension Instance does not match Extension Label";
const char* const _sBadBlockSize = "Unsupported Application Extension block size";
const char* const _sBadBlock = "Unknown GIF block type";
const char* const _sUnsupportedClass = "Object type not supported for operation";
const char* const _sInvalidData = "Invalid GIF data";
const char* const _sBadHeight = "Image height too small for contained frames";
const char* const _sBadWidth = "Image width too small for contained frames";
const char* const _sFailedPaste = "Failed to store GIF on clipboard";
const char* const _sScreenSizeExceeded = "Image exceeds Logical Screen size";
const char* const _sNoColorTable = "No global or local color table defined";
const char* const _sBadPixelCoordinates = "Invalid pixel coordinates";
const char* const _sUnsupportedBitmap = "Unsupported bitmap format";
const char* const _sInvalidPixelFormat = "Unsupported PixelFormat";
const char* const _sBadDimension = "Invalid image dimensions";
const char* const _sNoDIB = "Image has no DIB";
const char* const _sInvalidStream = "Invalid stream operation";
const char* const _sInvalidColor = "Color not in color table";
const char* const _sInvalidBitSize = "Invalid Bits Per Pixel value";
const char* const _sEmptyColorMap = "Color table is empty";
const char* const _sEmptyImage = "Image is empty";
const char* const _sInvalidBitmapList = "Invalid bitmap list";
const char* const _sInvalidReduction = "Invalid reduction method";
const char* const _sGIFImageFile = "GIF Image";
const char* const _sProgressLoading = "Loading...";
const char* const _sProgressSaving = "Saving...";
const char* const _sProgressConverting = "Converting...";
const char* const _sProgressRendering = "Rendering...";
const char* const _sProgressCopying = "Copying...";
const char* const _sProgressOptimizing = "Optimizing...";
const char* const _sClearCodeTooLarge = "ClearCode too large";
const char* const _sCodeTooLarge = "Code too large";
const char* const _sPixelMemoryExceeded =
    "Image exceeds the memory limit for one picture";
const char* const _sOutOfMemImage = "Failed to allocate memory for image data";

// --- Helpers ----------------------------------------------------------------

void Error(const std::string& message) {
  throw GIFException(message);
}

void ReadCheck(TStream& stream, void* buffer, std::int64_t count) {
  if (count > 0 && stream.Read(buffer, count) != count) Error(_sOutOfData);
}

bool ReadByte(TStream& stream, std::uint8_t& b) {
  return stream.Read(&b, 1) == 1;
}

void StepBack(TStream& stream) {
  stream.Seek(-1, TSeekOrigin::soCurrent);
}

// --- Colour maps ------------------------------------------------------------

void TGIFColorMap::LoadFromStream(TStream& stream, int count) {
  Clear();
  SetCapacity(count);
  ReadCheck(stream, colors_.get(), std::int64_t(count) * 3);
  count_ = count;
}

void TGIFColorMap::Clear() {
  colors_.reset();
  count_ = 0;
  capacity_ = 0;
  optimized_ = false;
}

void TGIFColorMap::SetCapacity(int size) {
  if (size < capacity_) return;
  int capacity = size <= 16 ? 16 : (size + 31) / 32 * 32;
  capacity = std::min(capacity, 256);
  std::unique_ptr<TGIFColor[]> colors(new TGIFColor[std::size_t(capacity)]);
  if (count_ > 0) std::memcpy(colors.get(), colors_.get(), std::size_t(count_) * 3);
  colors_ = std::move(colors);
  capacity_ = capacity;
}

TColor TGIFColorMap::GetColor(int index) {
  if (index < 0 || index >= count_) {
    Warning(gsWarning, _sBadColorIndex);
    if (count_ == 0) Error(_sEmptyColorMap);
    index = 0;
  }
  return Color2RGB(colors_[index]);
}

void TGIFColorMap::SetColor(int index, TColor color) {
  if (index < 0 || index >= count_) Error(_sBadColorIndex);
  colors_[index] = RGB2Color(color);
  Changed();
}

int TGIFColorMap::Add(TColor color) {
  if (count_ >= 256) Error(_sTooManyColors);
  if (count_ >= capacity_) SetCapacity(count_ + 1);
  colors_[count_] = RGB2Color(color);
  optimized_ = false;
  Changed();
  return count_++;
}

int TGIFColorMap::AddUnique(TColor color) {
  int index = IndexOf(color);
  return index >= 0 ? index : Add(color);
}

int TGIFColorMap::IndexOf(TColor color) const {
  TGIFColor c = RGB2Color(color);
  // An optimised table has its most used colours first.
  if (optimized_) {
    for (int i = 0; i < count_; ++i)
      if (colors_[i] == c) return i;
  } else {
    for (int i = count_ - 1; i >= 0; --i)
      if (colors_[i] == c) return i;
  }
  return -1;
}

int TGIFColorMap::GetBitsPerPixel() const {
  if (count_ == 0) return 0;
  int bits = 1;
  while ((1 << bits) < count_) ++bits;
  return bits;
}

void TGIFColorMap::Assign(const TGIFColorMap& source) {
  Clear();
  if (source.count_ > 0) {
    SetCapacity(source.count_);
    std::memcpy(colors_.get(), source.colors_.get(), std::size_t(source.count_) * 3);
  }
  count_ = source.count_;
  optimized_ = source.optimized_;
  Changed();
}

void TGIFGlobalColorMap::Warning(TGIFSeverity severity, const std::string& message) {
  if (Header && Header->Image) Header->Image->Warning(this, severity, message);
}

void TGIFGlobalColorMap::Changed() {
  if (Header && Header->Image) Header->Image->SetPalette(nullptr);
}

void TGIFLocalColorMap::Warning(TGIFSeverity severity, const std::string& message) {
  if (SubImage && SubImage->Image) SubImage->Image->Warning(this, severity, message);
}

void TGIFLocalColorMap::Changed() {
  if (SubImage) SubImage->SetPalette(nullptr);
}

// --- Items and lists --------------------------------------------------------

void TGIFItem::Warning(TGIFSeverity severity, const std::string& message) {
  if (Image) Image->Warning(this, severity, message);
}

void TGIFItem::SaveToFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::fmCreate);
  SaveToStream(file);
  file.Close();
}

void TGIFItem::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::fmOpenRead);
  LoadFromStream(file);
}

TGIFList::~TGIFList() {
  Clear();
}

void TGIFList::Warning(TGIFSeverity severity, const std::string& message) {
  if (Image) Image->Warning(this, severity, message);
}

void TGIFList::SaveToStream(TStream& stream) {
  for (TGIFItem* item : FItems) item->SaveToStream(stream);
}

int TGIFList::Add(TGIFItem* item) {
  FItems.push_back(item);
  return GetCount() - 1;
}

TGIFItem* TGIFList::GetItem(int index) const {
  if (index < 0 || index >= GetCount()) throw EListError("List index out of bounds");
  return FItems[std::size_t(index)];
}

void TGIFList::SetItem(int index, TGIFItem* item) {
  GetItem(index);
  FItems[std::size_t(index)] = item;
}

namespace {
std::atomic<std::uint64_t> itemSteps{0};

void CountSteps(std::size_t steps) {
  itemSteps.fetch_add(steps, std::memory_order_relaxed);
}

// What a deque moves to open or close a gap at index.
std::size_t Shifted(std::size_t index, std::size_t count) {
  return std::min(index, count - index);
}
}  // namespace

std::uint64_t TGIFList::ItemSteps() {
  return itemSteps.load(std::memory_order_relaxed);
}

void TGIFList::Clear() {
  while (!FItems.empty()) Delete(0);
}

void TGIFList::Delete(int index) {
  TGIFItem* item = GetItem(index);
  CountSteps(Shifted(std::size_t(index), FItems.size() - 1));
  FItems.erase(FItems.begin() + index);
  TGIFItem* const outer = FFreeing;
  FFreeing = item;
  delete item;  // destructors don't throw
  FFreeing = outer;
}

void TGIFList::Exchange(int index1, int index2) {
  GetItem(index1);
  GetItem(index2);
  std::swap(FItems[std::size_t(index1)], FItems[std::size_t(index2)]);
}

int TGIFList::IndexOf(const TGIFItem* item) const {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  CountSteps(std::size_t(it - FItems.begin()) + (it == FItems.end() ? 0 : 1));
  return it == FItems.end() ? -1 : int(it - FItems.begin());
}

void TGIFList::Insert(int index, TGIFItem* item) {
  if (index < 0 || index > GetCount()) throw EListError("List index out of bounds");
  CountSteps(Shifted(std::size_t(index), FItems.size()));
  FItems.insert(FItems.begin() + index, item);
}

void TGIFList::Move(int curIndex, int newIndex) {
  TGIFItem* item = GetItem(curIndex);
  CountSteps(Shifted(std::size_t(curIndex), FItems.size() - 1));
  FItems.erase(FItems.begin() + curIndex);
  Insert(newIndex, item);
}

int TGIFList::Remove(TGIFItem* item) {
  if (item == FFreeing) return -1;  // unlinked by Delete, which frees it
  int index = IndexOf(item);
  if (index >= 0) {
    CountSteps(Shifted(std::size_t(index), FItems.size() - 1));
    FItems.erase(FItems.begin() + index);
  }
  return index;
}

TGIFSubImage* TGIFImageList::GetImage(int index) const {
  return static_cast<TGIFSubImage*>(GetItem(index));
}

TGIFExtension* TGIFExtensionList::GetExtension(int index) const {
  return static_cast<TGIFExtension*>(GetItem(index));
}

void TGIFExtensionList::SetExtension(int index, TGIFExtension* extension) {
  SetItem(index, extension);
}

// The block loop: frames until the trailer, the end of the data or a byte
// that can't start a block.
void TGIFImageList::LoadFromStream(TStream& stream, void* parent) {
  auto* image = static_cast<TGIFImage*>(parent);
  const std::int64_t size = stream.GetSize();
  std::uint8_t b;
  for (;;) {
    if (!ReadByte(stream, b)) return;
    if (b == 0) continue;  // stray padding between blocks
    StepBack(stream);
    if (b == 0x3B) return;
    if (b != 0x21 && b != 0x2C) {
      Warning(gsWarning, _sBadBlock);
      return;
    }
    auto frame = std::make_unique<TGIFSubImage>(image);
    frame->LoadFromStream(stream);
    Add(frame.release());
    std::int64_t pos = stream.GetPosition();
    int percent = size > 0 ? int((pos * 100 + size / 2) / size) : 100;
    image->ReportProgress(TProgressStage::psRunning,
                          std::uint8_t(std::clamp(percent, 0, 100)),
                          GIFImageRenderOnLoad);
  }
}

// --- Header -----------------------------------------------------------------

TGIFHeader::TGIFHeader(TGIFImage* image)
    : TGIFItem(image), ColorMap(std::make_unique<TGIFGlobalColorMap>(this)) {}

TGIFHeader::~TGIFHeader() = default;

void TGIFHeader::Clear() {
  ColorMap->Clear();
  LogicalScreenDescriptor = TLogicalScreenDescriptor{};
}

TGIFVersion TGIFHeader::GetVersion() const {
  return ColorMap->GetOptimized() || LogicalScreenDescriptor.AspectRatio != 0 ? gv89a
                                                                              : gv87a;
}

void TGIFHeader::Assign(const TGIFHeader& source) {
  LogicalScreenDescriptor = source.LogicalScreenDescriptor;
  ColorMap->Assign(*source.ColorMap);
}

TColor TGIFHeader::GetBackgroundColor() {
  return ColorMap->GetColor(LogicalScreenDescriptor.BackgroundColorIndex);
}

void TGIFHeader::SetBackgroundColor(TColor color) {
  SetBackgroundColorIndex(ColorMap->AddUnique(color));
}

void TGIFHeader::SetBackgroundColorIndex(int index) {
  if (index < 0 || (index >= ColorMap->GetCount() && ColorMap->GetCount() > 0)) {
    Warning(gsWarning, _sBadColorIndex);
    index = 0;
  }
  LogicalScreenDescriptor.BackgroundColorIndex = std::uint8_t(index);
}

void TGIFHeader::LoadFromStream(TStream& stream) {
  auto signatureOk = [](const char* s) {
    char upper[3];
    for (int i = 0; i < 3; ++i) {
      char c = s[i];
      upper[i] = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    }
    // Taken as a string, so a zero byte ends it early.
    return std::memcmp(upper, "GIF", 3) == 0;
  };
  const std::int64_t start = stream.GetPosition();
  char signature[6];
  ReadCheck(stream, signature, 6);
  if (!signatureOk(signature)) {
    // Some containers put a 4-byte length in front of the GIF.
    stream.SetPosition(start + 4);
    ReadCheck(stream, signature, 6);
    if (!signatureOk(signature)) Error(_sBadSignature);
  }
  ReadCheck(stream, &LogicalScreenDescriptor, 7);
  if (LogicalScreenDescriptor.PackedFields & lsdGlobalColorTable) {
    int count = 2 << (LogicalScreenDescriptor.PackedFields & lsdColorTableSize);
    if (count < 2 || count > 256) Error(_sScreenBadColorSize);
    ColorMap->LoadFromStream(stream, count);
  } else {
    ColorMap->Clear();
  }
}

void TGIFTrailer::LoadFromStream(TStream& stream) {
  std::uint8_t b;
  if (!ReadByte(stream, b)) return;
  if (b != 0x3B) Warning(gsWarning, _sBadTrailer);
}

// --- Image ------------------------------------------------------------------

TGIFImage::TGIFImage()
    : Header(std::make_unique<TGIFHeader>(this)),
      Images(std::make_unique<TGIFImageList>(this)),
      DrawOptions(GIFImageDefaultDrawOptions),
      ColorReduction(GIFImageDefaultColorReduction),
      ReductionBits(GIFImageDefaultColorReductionBits),
      DitherMode(GIFImageDefaultDitherMode),
      Compression(GIFImageDefaultCompression),
      ThreadPriority(GIFImageDefaultThreadPriority),
      AnimationSpeed(GIFImageDefaultAnimationSpeed),
      Memory(std::make_shared<TMemoryAccount>(GIFImageMaxPixelMemory,
                                              _sPixelMemoryExceeded)) {
  NewImage();
}

TGIFImage::~TGIFImage() {
  StopPainters();
  OnChange = nullptr;  // nobody listens while the image is torn down
  Clear();
}

std::unique_ptr<TGraphic> TGIFImage::NewOfSameClass() const {
  return std::make_unique<TGIFImage>();
}

void TGIFImage::Assign(const TGraphic& source) {
  if (&source == this) return;
  if (source.GetEmpty()) {
    Clear();
    return;
  }
  // A bitmap is converted; any other graphic goes through its stream, which
  // must then be GIF.
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(&source)) {
    GIFFromBitmap(*this, *bitmap, DitherMode != dmNearest);
    return;
  }
  TGraphic::Assign(source);
}

void TGIFImage::Warning(void* sender, TGIFSeverity severity, const std::string& message) {
  if (OnWarning) OnWarning(sender, severity, message);
}

void TGIFImage::Clear() {
  StopPainters();
  Bitmap.reset();
  Images->Clear();
  Header->ColorMap->Clear();
  Header->LogicalScreenDescriptor.ScreenWidth = 0;
  Header->LogicalScreenDescriptor.ScreenHeight = 0;
  Header->Prepare();
  SetPalette(nullptr);
}

void TGIFImage::SetPalette(std::shared_ptr<GdiPalette> palette) {
  // Setting none is how a changed global colour map is announced: the
  // image-level bitmap goes even when no palette was cached yet.
  if (palette && palette == PaletteCache) return;
  PaletteCache = std::move(palette);
  if (Bitmap) {
    Bitmap.reset();
    PaletteModified = true;
    Changed(this);
  }
}

TGIFVersion TGIFImage::GetVersion() const {
  TGIFVersion version = gvUnknown;
  for (int i = 0; i < Images->GetCount() && version != gv89a; ++i)
    version = std::max(version, Images->GetImage(i)->GetVersion());
  return version;
}

bool TGIFImage::GetIsTransparent() const {
  for (int i = 0; i < Images->GetCount(); ++i) {
    const TGIFGraphicControlExtension* gce = Images->GetImage(i)->GraphicControlExtension;
    if (gce && gce->GetTransparent()) return true;
  }
  return false;
}

int TGIFImage::GetBitsPerPixel() const {
  int bits = Header->GetBitsPerPixel();
  for (int i = 0; i < Images->GetCount(); ++i)
    bits = std::max(bits, Images->GetImage(i)->GetBitsPerPixel());
  return bits;
}

int TGIFImage::GetColorResolution() const {
  int resolution = Header->GetColorResolution();
  for (int i = 0; i < Images->GetCount(); ++i)
    resolution = std::max(resolution, Images->GetImage(i)->GetColorResolution());
  return resolution;
}

void TGIFImage::LoadFromStream(TStream& stream) {
  ReportProgress(TProgressStage::psStarting, 0, false);
  // Catches, not failure guards: the progress handler and the stream's seek
  // may throw themselves, which a guard's destructor must not do while an
  // exception unwinds.
  try {
    Clear();
    const std::int64_t start = stream.GetPosition();
    try {
      Memory->SetLimit(GIFImageMaxPixelMemory);
      Header->LoadFromStream(stream);
      // Showing the picture takes a canvas of its logical screen, whatever
      // its frames: a screen the limit can't hold is refused before any
      // frame is read.
      if (std::int64_t(GetWidth()) * GetHeight() * 4 > Memory->GetLimit())
        Error(_sPixelMemoryExceeded);
      Images->LoadFromStream(stream, this);
      TGIFTrailer trailer(this);
      trailer.LoadFromStream(stream);
    } catch (...) {
      stream.SetPosition(start);
      throw;
    }
  } catch (...) {
    ReportProgress(TProgressStage::psEnding, 0, true);
    throw;
  }
  ReportProgress(TProgressStage::psEnding, 100, true);
}

}  // namespace velmora
