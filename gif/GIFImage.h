// The GIF codec: the in-memory model of a GIF file (image, header, frames,
// colour tables, extensions), its reader and LZW decoder, and the plain writer
// that saving and the tests use. Rendering (bitmaps, drawing, painters) lives
// in gif/render and fills in the members marked as rendering side below.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gif/GIFFrameMemory.h"
#include "gif/GIFMessages.h"
#include "gif/GIFSettings.h"
#include "platform/classes/Classes.h"
#include "platform/classes/Graphics.h"
#include "platform/classes/SysUtils.h"
#include "platform/classes/Threads.h"
#include "platform/gdi/MemoryAccount.h"

namespace velmora {

class TBitmap;  // picture-system bitmap, created by the rendering side
struct GdiBitmap;
struct GdiPalette;

class TGIFImage;
class TGIFSubImage;
class TGIFExtension;
class TGIFGraphicControlExtension;

// ---------------------------------------------------------------------------

class GIFException : public EInvalidGraphic {
  using EInvalidGraphic::EInvalidGraphic;
};

// Every error of the unit is raised here.
[[noreturn]] void Error(const std::string& message);

// Reads exactly count bytes or raises "Premature end of data".
void ReadCheck(TStream& stream, void* buffer, std::int64_t count);
// One byte; false when the stream is exhausted.
bool ReadByte(TStream& stream, std::uint8_t& b);
// Puts back the byte just read (the first of a block, read to see its kind).
void StepBack(TStream& stream);

using TGIFWarning =
    std::function<void(void* sender, TGIFSeverity severity, const std::string& message)>;

// Three bytes in the order of a GIF colour table entry.
struct TGIFColor {
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;
  friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};
static_assert(sizeof(TGIFColor) == 3);

// ---------------------------------------------------------------------------

class TGIFColorMap {
 public:
  TGIFColorMap() = default;
  TGIFColorMap(const TGIFColorMap&) = delete;
  TGIFColorMap& operator=(const TGIFColorMap&) = delete;
  virtual ~TGIFColorMap() = default;

  static TColor Color2RGB(const TGIFColor& c) { return RGB(c.Red, c.Green, c.Blue); }
  static TGIFColor RGB2Color(TColor c) {
    return TGIFColor{GetRValue(c), GetGValue(c), GetBValue(c)};
  }

  virtual void Warning(TGIFSeverity severity, const std::string& message) = 0;
  virtual void Changed() = 0;

  void LoadFromStream(TStream& stream, int count);
  // Writes the table padded with black to 2^BitsPerPixel entries.
  void SaveToStream(TStream& stream) const;
  void Clear();
  void SetCapacity(int size);
  TColor GetColor(int index);
  void SetColor(int index, TColor color);
  int Add(TColor color);
  int AddUnique(TColor color);
  int IndexOf(TColor color) const;
  int GetBitsPerPixel() const;
  void Assign(const TGIFColorMap& source);

  int GetCount() const { return count_; }
  int GetCapacity() const { return capacity_; }
  bool GetOptimized() const { return optimized_; }
  void SetOptimized(bool value) { optimized_ = value; }
  const TGIFColor* Data() const { return colors_.get(); }
  const TGIFColor& operator[](int index) const { return colors_[index]; }

 private:
  std::unique_ptr<TGIFColor[]> colors_;
  int count_ = 0;
  int capacity_ = 0;
  bool optimized_ = false;
};

class TGIFHeader;

class TGIFGlobalColorMap : public TGIFColorMap {
 public:
  explicit TGIFGlobalColorMap(TGIFHeader* header) : Header(header) {}
  void Warning(TGIFSeverity severity, const std::string& message) override;
  void Changed() override;
  TGIFHeader* Header;
};

class TGIFLocalColorMap : public TGIFColorMap {
 public:
  explicit TGIFLocalColorMap(TGIFSubImage* subImage) : SubImage(subImage) {}
  void Warning(TGIFSeverity severity, const std::string& message) override;
  void Changed() override;
  TGIFSubImage* SubImage;
};

// ---------------------------------------------------------------------------

class TGIFItem {
 public:
  explicit TGIFItem(TGIFImage* image) : Image(image) {}
  TGIFItem(const TGIFItem&) = delete;
  TGIFItem& operator=(const TGIFItem&) = delete;
  virtual ~TGIFItem() = default;

  virtual TGIFVersion GetVersion() const { return gv87a; }
  virtual void Warning(TGIFSeverity severity, const std::string& message);
  virtual void SaveToStream(TStream& stream) = 0;
  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToFile(const std::string& fileName);
  virtual void LoadFromFile(const std::string& fileName);

  TGIFImage* Image;  // owner; null for a detached item
};

// An ordered list that owns its items.
class TGIFList {
 public:
  explicit TGIFList(TGIFImage* image) : Image(image) {}
  TGIFList(const TGIFList&) = delete;
  TGIFList& operator=(const TGIFList&) = delete;
  virtual ~TGIFList();

  virtual void Warning(TGIFSeverity severity, const std::string& message);
  virtual void SaveToStream(TStream& stream);
  virtual void LoadFromStream(TStream& stream, void* parent) = 0;

  int Add(TGIFItem* item);
  TGIFItem* GetItem(int index) const;
  void SetItem(int index, TGIFItem* item);
  int GetCount() const { return int(FItems.size()); }
  void Clear();
  void Delete(int index);
  void Exchange(int index1, int index2);
  TGIFItem* First() const { return GetItem(0); }
  TGIFItem* Last() const { return GetItem(GetCount() - 1); }
  int IndexOf(const TGIFItem* item) const;
  void Insert(int index, TGIFItem* item);
  void Move(int curIndex, int newIndex);
  int Remove(TGIFItem* item);

  // Items looked at by lookups and moved by insertions and deletions, in
  // all lists since the start: how the work of editing and freeing grows
  // with a list's length, counted rather than timed.
  static std::uint64_t ItemSteps();

  TGIFImage* Image;

 private:
  // A deque, so that Clear, which deletes the first item until none is
  // left, moves nothing.
  std::deque<TGIFItem*> FItems;
  // The item Delete is freeing: already unlinked, so that its destructor's
  // Remove needn't search the rest of the list for it.
  TGIFItem* FFreeing = nullptr;
};

class TGIFImageList : public TGIFList {
 public:
  using TGIFList::TGIFList;
  void LoadFromStream(TStream& stream, void* parent) override;
  TGIFSubImage* GetImage(int index) const;
  void SetImage(int index, TGIFSubImage* image) { SetItem(index, (TGIFItem*)image); }
  TGIFSubImage* operator[](int index) const { return GetImage(index); }
};

class TGIFExtensionList : public TGIFList {
 public:
  using TGIFList::TGIFList;
  void LoadFromStream(TStream& stream, void* parent) override;
  TGIFExtension* GetExtension(int index) const;
  void SetExtension(int index, TGIFExtension* extension);
  TGIFExtension* operator[](int index) const { return GetExtension(index); }
};

// ---------------------------------------------------------------------------

#pragma pack(push, 1)
struct TLogicalScreenDescriptor {
  std::uint16_t ScreenWidth;
  std::uint16_t ScreenHeight;
  std::uint8_t PackedFields;
  std::uint8_t BackgroundColorIndex;
  std::uint8_t AspectRatio;
};
struct TImageDescriptor {
  std::uint8_t Separator;
  std::uint16_t Left;
  std::uint16_t Top;
  std::uint16_t Width;
  std::uint16_t Height;
  std::uint8_t PackedFields;
};
#pragma pack(pop)
static_assert(sizeof(TLogicalScreenDescriptor) == 7);
static_assert(sizeof(TImageDescriptor) == 10);

// Packed-field bits.
constexpr std::uint8_t idLocalColorTable = 0x80;
constexpr std::uint8_t idInterlaced = 0x40;
constexpr std::uint8_t idSort = 0x20;
constexpr std::uint8_t idColorTableSize = 0x07;
constexpr std::uint8_t lsdGlobalColorTable = 0x80;
constexpr std::uint8_t lsdColorResolution = 0x70;
constexpr std::uint8_t lsdSort = 0x08;
constexpr std::uint8_t lsdColorTableSize = 0x07;

class TGIFHeader : public TGIFItem {
 public:
  explicit TGIFHeader(TGIFImage* image);
  ~TGIFHeader() override;

  TGIFVersion GetVersion() const override;
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;
  void Assign(const TGIFHeader& source);

  void Clear();
  TColor GetBackgroundColor();
  void SetBackgroundColor(TColor color);
  void SetBackgroundColorIndex(int index);
  int GetBitsPerPixel() const { return ColorMap->GetBitsPerPixel(); }
  int GetColorResolution() const { return GetBitsPerPixel() - 1; }
  // Sets the packed fields from the global table, as written.
  void Prepare();

  TLogicalScreenDescriptor LogicalScreenDescriptor{};
  std::unique_ptr<TGIFGlobalColorMap> ColorMap;
};

class TGIFSubImage : public TGIFItem {
 public:
  explicit TGIFSubImage(TGIFImage* image);
  ~TGIFSubImage() override;

  TGIFVersion GetVersion() const override;
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;
  void Assign(const TGIFSubImage& source);

  void Clear();
  int GetBounds(int index) const;
  TRect GetBoundsRect() const;
  TRect GetClientRect() const;
  bool GetInterlaced() const { return ImageDescriptor.PackedFields & idInterlaced; }
  int GetLeft() const { return ImageDescriptor.Left; }
  int GetTop() const { return ImageDescriptor.Top; }
  int GetWidth() const { return ImageDescriptor.Width; }
  int GetHeight() const { return ImageDescriptor.Height; }
  TGIFColorMap* GetActiveColorMap() const;
  int GetBitsPerPixel() const { return ColorMap->GetBitsPerPixel(); }
  int GetColorResolution() const { return GetBitsPerPixel() - 1; }
  bool GetEmpty() const;

  // Editing: a new size gets a new zero-filled pixel buffer.
  void SetBounds(int left, int top, int width, int height);
  void SetInterlaced(bool value);

  // Allocates Width x Height bytes set to fill. Raises GIFException when the
  // image's memory limit would be passed or memory runs out.
  void NewImage(std::uint8_t fill = 0);
  void FreeImage();
  void NeedImage();
  std::uint8_t* GetScanline(int row);
  std::uint8_t GetPixel(int x, int y);

  // Decodes the LZW image data at the stream's position into Data.
  void Decompress(TStream& stream);
  // Writes the minimum code size and the LZW sub-blocks of Data.
  void Compress(TStream& stream) const;

 private:
  // NewImage without setting the bytes: for a decoder that writes them all.
  void AllocateImage();

 public:
  // Allocated by AllocateImage alone (AllocateFramePixels), which gives it
  // the deleter that knows where the bytes came from.
  TFramePixels Data;
  std::int64_t DataSize = 0;
  std::unique_ptr<TGIFLocalColorMap> ColorMap;
  TImageDescriptor ImageDescriptor{};
  std::unique_ptr<TGIFExtensionList> Extensions;
  bool Transparent = false;
  TGIFGraphicControlExtension* GraphicControlExtension = nullptr;  // not owned

  // --- Rendering side (gif/render defines the operations) -----------------
  // The caches are held by shared_ptr with the deleter of whoever made them,
  // so that clearing a frame here frees them without knowing their types.
  std::shared_ptr<TBitmap> Bitmap;
  std::shared_ptr<GdiBitmap> Mask;
  bool NeedMask = true;
  std::shared_ptr<GdiPalette> Palette;  // frame palette cache

  TBitmap* GetBitmap();
  TBitmap* DoGetBitmap();
  TBitmap* DoGetDitherBitmap();
  // Rendering's progress report, every 32 rows.
  void ReportRenderedRow(int row, int height);
  void NewBitmap();
  void FreeBitmap();
  void FreeMask();
  bool HasMask();
  bool GetHasBitmap() const { return Bitmap != nullptr; }
  GdiPalette* GetPalette();
  // Replaces the frame palette; a rendered bitmap made with another palette
  // is dropped.
  void SetPalette(std::shared_ptr<GdiPalette> palette);
  // Drops every rendering cache (bitmap, mask, palette).
  void FreeRenderCaches();
  // Draws the frame at its place in rect, which stands for the whole
  // logical screen; tiled at natural size with tile.
  void Draw(TCanvas& canvas, const TRect& rect, bool transparent, bool tile);
  // Draws the frame bitmap into rect (through the mask when transparent).
  void StretchDraw(TCanvas& canvas, const TRect& rect, bool transparent, bool tile);
  void DoStretchDraw(TCanvas& canvas, const TRect& rect, bool transparent, bool tile);
  // The frame's bounds mapped into rect.
  TRect ScaleRect(const TRect& rect) const;

 private:
  TMemoryCharge FDataCharge;  // Data, counted against the image's memory limit
};

class TGIFTrailer : public TGIFItem {
 public:
  using TGIFItem::TGIFItem;
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;
};

class TGIFPainter;  // animation painter, rendering side

class TGIFImage : public TGraphic {
 public:
  TGIFImage();
  ~TGIFImage() override;

  // TGraphic
  int GetWidth() const override { return Header->LogicalScreenDescriptor.ScreenWidth; }
  int GetHeight() const override { return Header->LogicalScreenDescriptor.ScreenHeight; }
  bool GetEmpty() const override { return Images->GetCount() == 0; }
  void Draw(TCanvas& canvas, const TRect& rect) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;
  std::unique_ptr<TGraphic> NewOfSameClass() const override;
  // Copies through a GIF stream; an empty source (which has no version to
  // write) just empties this image. A bitmap becomes a still, reduced to
  // 256 colours when it has more (dithered unless DitherMode is dmNearest).
  void Assign(const TGraphic& source) override;

  virtual void Warning(void* sender, TGIFSeverity severity, const std::string& message);

  void Clear();
  void NewImage() { Clear(); }
  TGIFVersion GetVersion() const;
  int GetBackgroundColorIndex() const {
    return Header->LogicalScreenDescriptor.BackgroundColorIndex;
  }
  void SetBackgroundColorIndex(int index) { Header->SetBackgroundColorIndex(index); }
  TColor GetBackgroundColor() { return Header->GetBackgroundColor(); }
  void SetBackgroundColor(TColor color) { Header->SetBackgroundColor(color); }
  int GetAspectRatio() const { return Header->LogicalScreenDescriptor.AspectRatio; }
  void SetAspectRatio(int value) {
    Header->LogicalScreenDescriptor.AspectRatio = std::uint8_t(value);
  }
  TGIFColorMap* GetColorMap() const { return Header->ColorMap.get(); }
  bool GetIsTransparent() const;
  int GetBitsPerPixel() const;
  int GetColorResolution() const;

  // Lets the frame loader report progress through the graphic's event.
  void ReportProgress(TProgressStage stage, std::uint8_t percent, bool redraw) {
    Progress(this, stage, percent, redraw, TRect{}, _sProgressLoading);
  }

  std::unique_ptr<TGIFHeader> Header;
  std::unique_ptr<TGIFImageList> Images;
  TGIFWarning OnWarning;

  TGIFDrawOptions DrawOptions;
  TColorReduction ColorReduction;
  int ReductionBits;
  TDitherMode DitherMode;
  TGIFCompression Compression;
  TThreadPriority ThreadPriority;
  int AnimationSpeed;

  // --- Rendering side (gif/render defines the operations) -----------------
  std::shared_ptr<TBitmap> Bitmap;  // logical-screen-sized
  std::shared_ptr<GdiPalette> PaletteCache;
  bool PaletteGuard = false;
  bool PaletteModified = false;
  std::vector<TGIFPainter*> Painters;  // guarded by the rendering side's lock

  TBitmap* GetBitmap();
  void NewBitmap();
  void FreeBitmap();
  GdiPalette* GetPalette();
  void SetPalette(std::shared_ptr<GdiPalette> palette);
  bool GetDoDither() const;
  void DrawCachedBitmap(TCanvas& canvas, const TRect& rect, TBitmap& bitmap);
  void SetDrawOptions(TGIFDrawOptions options);
  // Clamped to 0..1000 percent.
  void SetAnimationSpeed(int percent);
  // Frees the composed bitmap and every frame's bitmap and palette.
  void Pack();
  // The frames' bitmaps and masks are caches: when the picture reaches its
  // memory limit, those of every frame but keep go to make room. Only on the
  // GUI thread, under the render lock, so that no painter is using one;
  // false elsewhere or when there was nothing to drop.
  bool DropFrameBitmaps(const TGIFSubImage* keep = nullptr);
  // Clipboard form (format number, data handle, palette handle).
  void SaveToClipboardFormat(std::uint16_t& format, void*& data, GdiPalette*& palette);
  void LoadFromClipboardFormat(std::uint16_t format, void* data, GdiPalette* palette);
  bool Drawing = false;  // set while Draw runs
  // Stops and detaches every painter, before the image is cleared or goes.
  void StopPainters() { PaintStop(); }

  // --- Animation (gif/render/GIFPainter.cpp defines the operations) -------
  TGIFPainter* Painter = nullptr;  // the painter Draw started, or none
  // Guards Painters, Painter and the speed hand-over; re-entrant.
  TCriticalSection PaintersLock;
  TColor PaintBackgroundColor = clNone;  // clNone: the GIF's own background
  TNotifyEvent OnAnimationStart;         // each with the painter as sender
  TNotifyEvent OnBeforeFrame;
  TNotifyEvent OnAfterFrame;
  TNotifyEvent OnNextLoop;
  TNotifyEvent OnAnimationEnd;
  // Creates a painter for canvas and rect; painterRef (may be null) follows
  // it. A synchronous painter has played to its end when this returns.
  TGIFPainter* InternalPaint(TGIFPainter** painterRef, TCanvas& canvas, const TRect& rect,
                             TGIFDrawOptions options);
  // A started painter that only Painters and the Paint* controls reach.
  TGIFPainter* Paint(TCanvas& canvas, const TRect& rect, TGIFDrawOptions options);
  // Stops the painter Draw started, waits for it, frees the composed bitmap.
  void StopDraw();
  // Stops every painter and waits until they are gone.
  void PaintStop();
  void PaintStart();
  void PaintPause();
  void PaintResume();
  void PaintRestart();
  // True until every painter of the image has ended or been detached.
  bool HasPainters();

  // Everything allocated for the picture counts here, against one limit
  // (GIFImageMaxPixelMemory): the frames' pixel data, the frame bitmaps and
  // masks, the composed bitmap, the painters' buffers and what the tools
  // make from them. Bitmaps count while a TGIFMemoryScope of the image is
  // open on the thread that makes them.
  TMemoryAccountRef Memory;

 private:
  friend class TGIFSubImage;
};

// Makes the image's memory account current on this thread while it lives.
class TGIFMemoryScope : public TMemoryAccountScope {
 public:
  explicit TGIFMemoryScope(const TGIFImage* image)
      : TMemoryAccountScope(image ? image->Memory : nullptr) {}
};

}  // namespace velmora
