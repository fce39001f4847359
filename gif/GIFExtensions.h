// The GIF extension blocks: graphic control, plain text, comment and
// application extensions, with the class registry that reads them. Part of
// the model: gif/GIFImage.h only declares these classes, so code that uses
// them includes this header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gif/GIFImage.h"

namespace velmora {

// ---------------------------------------------------------------------------
// Extensions

// The class-level part of an extension class: its virtual constructor and
// the lookup of a more specific class from the bytes after the label.
class TGIFExtensionClass {
 public:
  virtual ~TGIFExtensionClass() = default;
  virtual TGIFExtension* Create(TGIFSubImage* subImage) const = 0;
  // The stream stands after the label; its position need not be kept.
  virtual const TGIFExtensionClass* FindSubExtension(TStream& stream) const;
  virtual const char* ClassName() const = 0;
};

template <class T, class Base = TGIFExtensionClass>
class TGIFExtensionClassOf : public Base {
 public:
  TGIFExtension* Create(TGIFSubImage* subImage) const override { return new T(subImage); }
  const char* ClassName() const override { return T::Name; }
};

class TGIFExtension : public TGIFItem {
 public:
  explicit TGIFExtension(TGIFSubImage* subImage);
  ~TGIFExtension() override;

  TGIFVersion GetVersion() const override { return gv89a; }
  virtual std::uint8_t GetExtensionType() const = 0;
  virtual const TGIFExtensionClass& GetClass() const = 0;

  static void RegisterExtension(std::uint8_t label, const TGIFExtensionClass* cls);
  // Removes every registration of cls (for whoever registered it).
  static void UnregisterExtension(const TGIFExtensionClass* cls);
  static const TGIFExtensionClass* FindExtension(TStream& stream);

  TGIFSubImage* SubImage;  // not owned

 protected:
  // Reads introducer and label and checks them.
  void LoadHeader(TStream& stream);
  void SaveHeader(TStream& stream) const;
};

// Reads data sub-blocks, one string each, cut at a zero byte.
void ReadSubBlockStrings(TStream& stream, std::vector<std::string>& text);
void WriteSubBlockStrings(TStream& stream, const std::vector<std::string>& text);

#pragma pack(push, 1)
struct TGraphicControlBlock {
  std::uint8_t BlockSize;
  std::uint8_t PackedFields;
  std::uint16_t DelayTime;
  std::uint8_t TransparentColorIndex;
  std::uint8_t Terminator;
};
struct TPlainTextBlock {
  std::uint8_t BlockSize;
  std::uint16_t Left;
  std::uint16_t Top;
  std::uint16_t Width;
  std::uint16_t Height;
  std::uint8_t CellWidth;
  std::uint8_t CellHeight;
  std::uint8_t TextFGColorIndex;
  std::uint8_t TextBGColorIndex;
};
#pragma pack(pop)
static_assert(sizeof(TGraphicControlBlock) == 6);
static_assert(sizeof(TPlainTextBlock) == 13);

class TGIFGraphicControlExtension : public TGIFExtension {
 public:
  static constexpr const char* Name = "TGIFGraphicControlExtension";
  static const TGIFExtensionClass& ClassType();
  explicit TGIFGraphicControlExtension(TGIFSubImage* subImage);
  ~TGIFGraphicControlExtension() override;

  std::uint8_t GetExtensionType() const override { return 0xF9; }
  const TGIFExtensionClass& GetClass() const override { return ClassType(); }
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;

  bool GetTransparent() const { return GCData.PackedFields & 0x01; }
  void SetTransparent(bool value);
  bool GetUserInput() const { return GCData.PackedFields & 0x02; }
  void SetUserInput(bool value);
  // 0..3 are TDisposalMethod; 4..7 come back unchanged.
  int GetDisposal() const { return (GCData.PackedFields >> 2) & 7; }
  void SetDisposal(int value);
  int GetDelay() const { return GCData.DelayTime; }
  void SetDelay(int value) { GCData.DelayTime = std::uint16_t(value); }
  int GetTransparentColorIndex() const { return GCData.TransparentColorIndex; }
  void SetTransparentColorIndex(int index);
  TColor GetTransparentColor();
  void SetTransparentColor(TColor color);

  TGraphicControlBlock GCData{4, 0, 0, 0, 0};
};

class TGIFTextExtension : public TGIFExtension {
 public:
  static constexpr const char* Name = "TGIFTextExtension";
  static const TGIFExtensionClass& ClassType();
  using TGIFExtension::TGIFExtension;

  std::uint8_t GetExtensionType() const override { return 0x01; }
  const TGIFExtensionClass& GetClass() const override { return ClassType(); }
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;

  int GetBounds(int index) const;
  void SetBounds(int index, int value);
  int GetCharWidthHeight(int index) const;
  void SetCharWidthHeight(int index, int value);
  int GetColorIndex(int index) const;
  void SetColorIndex(int index, int value);
  TColor GetForegroundColor();
  void SetForegroundColor(TColor color);
  TColor GetBackgroundColor();
  void SetBackgroundColor(TColor color);

  TPlainTextBlock PlainTextBlock{12, 0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<std::string> Text;
};

class TGIFCommentExtension : public TGIFExtension {
 public:
  static constexpr const char* Name = "TGIFCommentExtension";
  static const TGIFExtensionClass& ClassType();
  using TGIFExtension::TGIFExtension;

  std::uint8_t GetExtensionType() const override { return 0xFE; }
  const TGIFExtensionClass& GetClass() const override { return ClassType(); }
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;

  std::vector<std::string> Text;
};

// 8 bytes of application identifier, 3 of authentication code.
struct TGIFApplicationRec {
  std::array<std::uint8_t, 8> Identifier{};
  std::array<std::uint8_t, 3> Authentication{};
  static TGIFApplicationRec Make(const char* identifier11);
  friend bool operator==(const TGIFApplicationRec&, const TGIFApplicationRec&) = default;
};

class TGIFApplicationExtensionClass : public TGIFExtensionClass {
 public:
  const TGIFExtensionClass* FindSubExtension(TStream& stream) const override;
};

class TGIFApplicationExtension : public TGIFExtension {
 public:
  static constexpr const char* Name = "TGIFApplicationExtension";
  static const TGIFExtensionClass& ClassType();
  explicit TGIFApplicationExtension(TGIFSubImage* subImage);

  std::uint8_t GetExtensionType() const override { return 0xFF; }
  const TGIFExtensionClass& GetClass() const override { return ClassType(); }
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;
  // The data sub-blocks after the application block. The base class has
  // none to read: a block it was chosen for ends the load with an error.
  virtual void SaveData(TStream& stream);
  virtual void LoadData(TStream& stream);

  static void RegisterExtension(const TGIFApplicationRec& rec,
                                const TGIFExtensionClass* cls);
  static void UnregisterExtension(const TGIFExtensionClass* cls);

  std::string GetIdentifier() const;
  std::string GetAuthentication() const;
  void SetIdentifier(const std::string& value);
  void SetAuthentication(const std::string& value);

  TGIFApplicationRec ApplicationData;
};

// Loop count (and buffer size) of an animation.
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
 public:
  static constexpr const char* Name = "TGIFAppExtNSLoop";
  static const TGIFExtensionClass& ClassType();
  explicit TGIFAppExtNSLoop(TGIFSubImage* subImage);

  const TGIFExtensionClass& GetClass() const override { return ClassType(); }
  void SaveData(TStream& stream) override;
  void LoadData(TStream& stream) override;

  std::uint16_t Loops = 0;
  std::uint32_t BufferSize = 0;
};

// One data sub-block, kept as read.
struct TGIFBlock {
  explicit TGIFBlock(int size) : Data(std::size_t(size), 0) {}
  std::vector<std::uint8_t> Data;  // 1 to 255 bytes
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
 public:
  static constexpr const char* Name = "TGIFUnknownAppExtension";
  static const TGIFExtensionClass& ClassType();
  using TGIFApplicationExtension::TGIFApplicationExtension;

  const TGIFExtensionClass& GetClass() const override { return ClassType(); }
  void SaveData(TStream& stream) override;
  void LoadData(TStream& stream) override;

  std::vector<std::unique_ptr<TGIFBlock>> Blocks;
};

// ---------------------------------------------------------------------------

}  // namespace velmora
