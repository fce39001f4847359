// Extension blocks: the two class registries, the run of extensions in front
// of an image, and each extension's layout.
#include "gif/GIFExtensions.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

struct ExtensionEntry {
  std::uint8_t label;
  const TGIFExtensionClass* cls;
};

struct AppExtensionEntry {
  TGIFApplicationRec rec;
  const TGIFExtensionClass* cls;
};

// Filled on first use with the unit's own classes, in this order; later
// registrations take precedence.
std::vector<ExtensionEntry>& ExtensionRegistry() {
  static std::vector<ExtensionEntry> list{
      {0x01, &TGIFTextExtension::ClassType()},
      {0xF9, &TGIFGraphicControlExtension::ClassType()},
      {0xFE, &TGIFCommentExtension::ClassType()},
      {0xFF, &TGIFApplicationExtension::ClassType()},
  };
  return list;
}

std::vector<AppExtensionEntry>& AppExtensionRegistry() {
  static std::vector<AppExtensionEntry> list{
      {TGIFApplicationRec::Make("NETSCAPE2.0"), &TGIFAppExtNSLoop::ClassType()},
      {TGIFApplicationRec::Make("ANIMEXTS1.0"), &TGIFAppExtNSLoop::ClassType()},
  };
  return list;
}

// Skips count bytes forward.
void Skip(TStream& stream, std::int64_t count) {
  if (count > 0) stream.Seek(count, TSeekOrigin::soCurrent);
}

}  // namespace

const TGIFExtensionClass* TGIFExtensionClass::FindSubExtension(TStream&) const {
  return this;
}

// --- Base -------------------------------------------------------------------

TGIFExtension::TGIFExtension(TGIFSubImage* subImage)
    : TGIFItem(subImage ? subImage->Image : nullptr), SubImage(subImage) {}

TGIFExtension::~TGIFExtension() {
  if (SubImage) SubImage->Extensions->Remove(this);
}

void TGIFExtension::RegisterExtension(std::uint8_t label, const TGIFExtensionClass* cls) {
  ExtensionRegistry().push_back({label, cls});
}

void TGIFExtension::UnregisterExtension(const TGIFExtensionClass* cls) {
  auto& list = ExtensionRegistry();
  std::erase_if(list, [cls](const ExtensionEntry& e) { return e.cls == cls; });
}

const TGIFExtensionClass* TGIFExtension::FindExtension(TStream& stream) {
  const std::int64_t pos = stream.GetPosition();
  std::uint8_t label;
  if (!ReadByte(stream, label)) return nullptr;
  const TGIFExtensionClass* cls = nullptr;
  const auto& list = ExtensionRegistry();
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if (it->label == label) {
      cls = it->cls;
      break;
    }
  }
  while (cls) {
    const TGIFExtensionClass* sub = cls->FindSubExtension(stream);
    if (sub == cls) break;
    cls = sub;
    // Each lookup starts right after the label.
    stream.SetPosition(pos + 1);
  }
  stream.SetPosition(pos);
  return cls;
}

void TGIFExtension::LoadHeader(TStream& stream) {
  std::uint8_t head[2];
  ReadCheck(stream, head, 2);
  if (head[0] != 0x21) Error(_sBadExtensionLabel);
  if (head[1] != GetExtensionType()) Error(_sBadExtensionInstance);
}

void TGIFExtension::SaveHeader(TStream& stream) const {
  const std::uint8_t head[2] = {0x21, GetExtensionType()};
  stream.WriteBuffer(head, 2);
}

void TGIFExtensionList::LoadFromStream(TStream& stream, void* parent) {
  auto* frame = static_cast<TGIFSubImage*>(parent);
  std::uint8_t b;
  if (!ReadByte(stream, b)) return;
  while (b != 0x2C && b != 0x3B) {
    if (b == 0x21) {
      const TGIFExtensionClass* cls = TGIFExtension::FindExtension(stream);
      if (!cls) Error(_sUnknownExtension);
      StepBack(stream);
      std::unique_ptr<TGIFExtension> extension(cls->Create(frame));
      extension->LoadFromStream(stream);
      Add(extension.release());
    } else {
      Warning(gsWarning, _sBadExtensionLabel);
      break;
    }
    if (!ReadByte(stream, b)) return;
  }
  StepBack(stream);
}

void ReadSubBlockStrings(TStream& stream, std::vector<std::string>& text) {
  text.clear();
  std::uint8_t length;
  char buffer[255];
  while (ReadByte(stream, length) && length != 0) {
    ReadCheck(stream, buffer, length);
    text.emplace_back(buffer, strnlen(buffer, length));
  }
}

void WriteSubBlockStrings(TStream& stream, const std::vector<std::string>& text) {
  for (const std::string& s : text) {
    // A string longer than a sub-block goes out in several.
    for (std::size_t at = 0; at < s.size(); at += 255) {
      std::uint8_t length = std::uint8_t(std::min<std::size_t>(255, s.size() - at));
      stream.WriteBuffer(&length, 1);
      stream.WriteBuffer(s.data() + at, length);
    }
  }
  const std::uint8_t terminator = 0;
  stream.WriteBuffer(&terminator, 1);
}

// --- Graphic control --------------------------------------------------------

const TGIFExtensionClass& TGIFGraphicControlExtension::ClassType() {
  static const TGIFExtensionClassOf<TGIFGraphicControlExtension> cls;
  return cls;
}

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* subImage)
    : TGIFExtension(subImage) {
  if (SubImage && !SubImage->GraphicControlExtension)
    SubImage->GraphicControlExtension = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
  if (!SubImage) return;
  if (GetTransparent()) SubImage->Transparent = false;
  if (SubImage->GraphicControlExtension == this)
    SubImage->GraphicControlExtension = nullptr;
}

void TGIFGraphicControlExtension::LoadFromStream(TStream& stream) {
  LoadHeader(stream);
  // The terminator is read as part of the block; its size byte is not checked.
  if (stream.Read(&GCData, 6) != 6) {
    Warning(gsWarning, _sOutOfData);
    return;
  }
  if (GetTransparent() && SubImage) SubImage->Transparent = true;
}

void TGIFGraphicControlExtension::SetTransparent(bool value) {
  if (value)
    GCData.PackedFields |= 0x01;
  else
    GCData.PackedFields &= std::uint8_t(~0x01);
  if (SubImage) SubImage->Transparent = value;
}

void TGIFGraphicControlExtension::SetUserInput(bool value) {
  if (value)
    GCData.PackedFields |= 0x02;
  else
    GCData.PackedFields &= std::uint8_t(~0x02);
}

void TGIFGraphicControlExtension::SetDisposal(int value) {
  GCData.PackedFields =
      std::uint8_t((GCData.PackedFields & ~0x1C) | ((unsigned(value) & 7) << 2));
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int index) {
  TGIFColorMap* map = SubImage ? SubImage->GetActiveColorMap() : nullptr;
  if (index < 0 || (map && index >= map->GetCount() && map->GetCount() > 0)) {
    Warning(gsWarning, _sBadColorIndex);
    index = 0;
  }
  GCData.TransparentColorIndex = std::uint8_t(index);
}

TColor TGIFGraphicControlExtension::GetTransparentColor() {
  if (!SubImage) Error(_sEmptyColorMap);
  return SubImage->GetActiveColorMap()->GetColor(GetTransparentColorIndex());
}

void TGIFGraphicControlExtension::SetTransparentColor(TColor color) {
  if (!SubImage) Error(_sEmptyColorMap);
  SetTransparentColorIndex(SubImage->GetActiveColorMap()->AddUnique(color));
}

// --- Plain text -------------------------------------------------------------

const TGIFExtensionClass& TGIFTextExtension::ClassType() {
  static const TGIFExtensionClassOf<TGIFTextExtension> cls;
  return cls;
}

void TGIFTextExtension::LoadFromStream(TStream& stream) {
  LoadHeader(stream);
  ReadCheck(stream, &PlainTextBlock, 13);
  ReadSubBlockStrings(stream, Text);
}

int TGIFTextExtension::GetBounds(int index) const {
  switch (index) {
    case 1:
      return PlainTextBlock.Left;
    case 2:
      return PlainTextBlock.Top;
    case 3:
      return PlainTextBlock.Width;
    case 4:
      return PlainTextBlock.Height;
    default:
      return 0;
  }
}

void TGIFTextExtension::SetBounds(int index, int value) {
  auto v = std::uint16_t(value);
  switch (index) {
    case 1:
      PlainTextBlock.Left = v;
      break;
    case 2:
      PlainTextBlock.Top = v;
      break;
    case 3:
      PlainTextBlock.Width = v;
      break;
    case 4:
      PlainTextBlock.Height = v;
      break;
    default:
      break;
  }
}

int TGIFTextExtension::GetCharWidthHeight(int index) const {
  return index == 1   ? PlainTextBlock.CellWidth
         : index == 2 ? PlainTextBlock.CellHeight
                      : 0;
}

void TGIFTextExtension::SetCharWidthHeight(int index, int value) {
  if (index == 1) PlainTextBlock.CellWidth = std::uint8_t(value);
  if (index == 2) PlainTextBlock.CellHeight = std::uint8_t(value);
}

int TGIFTextExtension::GetColorIndex(int index) const {
  return index == 1   ? PlainTextBlock.TextFGColorIndex
         : index == 2 ? PlainTextBlock.TextBGColorIndex
                      : 0;
}

void TGIFTextExtension::SetColorIndex(int index, int value) {
  if (index == 1) PlainTextBlock.TextFGColorIndex = std::uint8_t(value);
  if (index == 2) PlainTextBlock.TextBGColorIndex = std::uint8_t(value);
}

// Both text colours are indices into the table the frame draws with; the
// getter and setter of each use the same table, so a colour set reads back.
TColor TGIFTextExtension::GetForegroundColor() {
  if (!SubImage) Error(_sEmptyColorMap);
  return SubImage->GetActiveColorMap()->GetColor(PlainTextBlock.TextFGColorIndex);
}

TColor TGIFTextExtension::GetBackgroundColor() {
  if (!SubImage) Error(_sEmptyColorMap);
  return SubImage->GetActiveColorMap()->GetColor(PlainTextBlock.TextBGColorIndex);
}

void TGIFTextExtension::SetForegroundColor(TColor color) {
  if (!SubImage) Error(_sEmptyColorMap);
  PlainTextBlock.TextFGColorIndex =
      std::uint8_t(SubImage->GetActiveColorMap()->AddUnique(color));
}

void TGIFTextExtension::SetBackgroundColor(TColor color) {
  if (!SubImage) Error(_sEmptyColorMap);
  PlainTextBlock.TextBGColorIndex =
      std::uint8_t(SubImage->GetActiveColorMap()->AddUnique(color));
}

// --- Comment ----------------------------------------------------------------

const TGIFExtensionClass& TGIFCommentExtension::ClassType() {
  static const TGIFExtensionClassOf<TGIFCommentExtension> cls;
  return cls;
}

void TGIFCommentExtension::LoadFromStream(TStream& stream) {
  LoadHeader(stream);
  ReadSubBlockStrings(stream, Text);
}

// --- Application ------------------------------------------------------------

TGIFApplicationRec TGIFApplicationRec::Make(const char* identifier11) {
  TGIFApplicationRec rec;
  std::memcpy(rec.Identifier.data(), identifier11, 8);
  std::memcpy(rec.Authentication.data(), identifier11 + 8, 3);
  return rec;
}

const TGIFExtensionClass& TGIFApplicationExtension::ClassType() {
  static const TGIFExtensionClassOf<TGIFApplicationExtension,
                                    TGIFApplicationExtensionClass>
      cls;
  return cls;
}

const TGIFExtensionClass* TGIFApplicationExtensionClass::FindSubExtension(
    TStream& stream) const {
  std::uint8_t size;
  if (!ReadByte(stream, size)) return nullptr;
  if (size == 10) {
    std::uint8_t rec[10];
    if (stream.Read(rec, 10) != 10) return nullptr;
    return &TGIFUnknownAppExtension::ClassType();
  }
  if (size == 11) {
    std::uint8_t raw[11];
    if (stream.Read(raw, 11) != 11) return this;
    TGIFApplicationRec rec = TGIFApplicationRec::Make(reinterpret_cast<const char*>(raw));
    const auto& list = AppExtensionRegistry();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
      if (it->rec == rec) return it->cls;
    return &TGIFUnknownAppExtension::ClassType();
  }
  if (size > 11) return &TGIFUnknownAppExtension::ClassType();
  return this;
}

TGIFApplicationExtension::TGIFApplicationExtension(TGIFSubImage* subImage)
    : TGIFExtension(subImage) {}

void TGIFApplicationExtension::RegisterExtension(const TGIFApplicationRec& rec,
                                                 const TGIFExtensionClass* cls) {
  AppExtensionRegistry().push_back({rec, cls});
}

void TGIFApplicationExtension::UnregisterExtension(const TGIFExtensionClass* cls) {
  std::erase_if(AppExtensionRegistry(),
                [cls](const AppExtensionEntry& e) { return e.cls == cls; });
}

void TGIFApplicationExtension::LoadFromStream(TStream& stream) {
  LoadHeader(stream);
  std::uint8_t size;
  ReadCheck(stream, &size, 1);
  std::uint8_t raw[11] = {};
  if (size < 10) Error(_sBadBlockSize);
  if (size == 10) {
    ReadCheck(stream, raw, 10);
  } else {
    ReadCheck(stream, raw, 11);
    Skip(stream, size - 11);
  }
  ApplicationData = TGIFApplicationRec::Make(reinterpret_cast<const char*>(raw));
  LoadData(stream);
}

void TGIFApplicationExtension::LoadData(TStream&) {
  // Only reached when the application block itself was cut short, which the
  // read above has already reported; nothing is known about the data.
}

void TGIFApplicationExtension::SaveData(TStream& stream) {
  const std::uint8_t terminator = 0;
  stream.WriteBuffer(&terminator, 1);
}

namespace {
std::string UpToZero(const std::uint8_t* bytes, std::size_t n) {
  const char* s = reinterpret_cast<const char*>(bytes);
  return std::string(s, strnlen(s, n));
}
}  // namespace

std::string TGIFApplicationExtension::GetIdentifier() const {
  return UpToZero(ApplicationData.Identifier.data(), 8);
}

std::string TGIFApplicationExtension::GetAuthentication() const {
  return UpToZero(ApplicationData.Authentication.data(), 3);
}

void TGIFApplicationExtension::SetIdentifier(const std::string& value) {
  ApplicationData.Identifier.fill(0);
  std::memcpy(ApplicationData.Identifier.data(), value.data(),
              std::min<std::size_t>(8, value.size()));
}

void TGIFApplicationExtension::SetAuthentication(const std::string& value) {
  ApplicationData.Authentication.fill(0);
  std::memcpy(ApplicationData.Authentication.data(), value.data(),
              std::min<std::size_t>(3, value.size()));
}

// --- Loop count -------------------------------------------------------------

const TGIFExtensionClass& TGIFAppExtNSLoop::ClassType() {
  static const TGIFExtensionClassOf<TGIFAppExtNSLoop, TGIFApplicationExtensionClass> cls;
  return cls;
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* subImage)
    : TGIFApplicationExtension(subImage) {
  ApplicationData = TGIFApplicationRec::Make("NETSCAPE2.0");
}

void TGIFAppExtNSLoop::LoadData(TStream& stream) {
  std::uint8_t length = 0;
  if (!ReadByte(stream, length)) length = 0;
  while (length != 0) {
    std::uint8_t id;
    ReadCheck(stream, &id, 1);
    int remaining = length - 1;
    if ((id & 7) == 1) {
      if (remaining < 2) Error(_sInvalidData);
      std::uint8_t v[2];
      ReadCheck(stream, v, 2);
      Loops = std::uint16_t(v[0] | (v[1] << 8));
      remaining -= 2;
    } else if ((id & 7) == 2) {
      if (remaining < 4) Error(_sInvalidData);
      std::uint8_t v[4];
      ReadCheck(stream, v, 4);
      BufferSize = std::uint32_t(v[0]) | (std::uint32_t(v[1]) << 8) |
                   (std::uint32_t(v[2]) << 16) | (std::uint32_t(v[3]) << 24);
      remaining -= 4;
    }
    Skip(stream, remaining);
    if (!ReadByte(stream, length)) length = 0;
  }
}

// --- Unknown application ----------------------------------------------------

const TGIFExtensionClass& TGIFUnknownAppExtension::ClassType() {
  static const TGIFExtensionClassOf<TGIFUnknownAppExtension,
                                    TGIFApplicationExtensionClass>
      cls;
  return cls;
}

void TGIFUnknownAppExtension::LoadData(TStream& stream) {
  Blocks.clear();
  std::uint8_t length;
  while (ReadByte(stream, length) && length != 0) {
    auto block = std::make_unique<TGIFBlock>(length);
    ReadCheck(stream, block->Data.data(), length);
    Blocks.push_back(std::move(block));
  }
}

}  // namespace velmora
