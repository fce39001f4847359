// The picture system: the registry of file formats that units fill at
// start-up, the picture that picks a graphic class by extension, and the
// change notices that reach whoever shows the picture.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/classes/Graphics.h"
#include "tests/TempFolder.h"

namespace velmora {
namespace {

// A graphic whose content is the bytes of its stream; "bad" fails to load.
class TextGraphic : public TGraphic {
 public:
  explicit TextGraphic(std::string tag = "") : Tag(std::move(tag)) {}
  int GetWidth() const override { return int(Text.size()); }
  int GetHeight() const override { return Text.empty() ? 0 : 1; }
  bool GetEmpty() const override { return Text.empty(); }
  void Draw(TCanvas&, const TRect&) override {}
  void LoadFromStream(TStream& stream) override {
    std::string text(std::size_t(stream.GetSize() - stream.GetPosition()), '\0');
    stream.ReadBuffer(text.data(), std::int64_t(text.size()));
    if (text == "bad") throw EInvalidGraphic("bad text");
    Text = text;
    Changed(this);
  }
  void SaveToStream(TStream& stream) override {
    stream.WriteBuffer(Text.data(), std::int64_t(Text.size()));
  }
  std::unique_ptr<TGraphic> NewOfSameClass() const override {
    return std::make_unique<TextGraphic>(Tag);
  }

  std::string Tag;
  std::string Text;
};

TGraphicFactory Factory(const std::string& tag) {
  return [tag] { return std::make_unique<TextGraphic>(tag); };
}

std::string TagOf(const TGraphicFactory& factory) {
  if (!factory) return "(none)";
  std::unique_ptr<TGraphic> g = factory();
  return static_cast<TextGraphic&>(*g).Tag;
}

const TextGraphic* Text(const TPicture& p) {
  return dynamic_cast<const TextGraphic*>(p.GetGraphic());
}

// Registrations made by a test, taken back when it ends whatever happens.
class Registry : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* id : {"test-a", "test-b", "test-c"})
      TPicture::UnregisterGraphicClass(id);
  }
};

// Extensions match without regard to case; the latest registration wins.
TEST_F(Registry, FormatsAreFoundByExtensionLatestFirst) {
  TPicture::RegisterFileFormat("tXt", "Text", "test-a", Factory("a"));
  for (const char* extension : {"txt", "TXT", "Txt"})
    EXPECT_EQ(TagOf(TPicture::FindFileFormat(extension)), "a") << extension;
  for (const char* extension : {"tx", "txt2", ""})
    EXPECT_FALSE(TPicture::FindFileFormat(extension)) << extension;
  TPicture::RegisterFileFormat("TXT", "Other text", "test-b", Factory("b"));
  EXPECT_EQ(TagOf(TPicture::FindFileFormat("txt")), "b");
  // Taking the later class back uncovers the earlier one.
  TPicture::UnregisterGraphicClass("test-b");
  EXPECT_EQ(TagOf(TPicture::FindFileFormat("txt")), "a");
  TPicture::UnregisterGraphicClass("test-a");
  EXPECT_FALSE(TPicture::FindFileFormat("txt"));
}

TEST_F(Registry, UnregisteringRemovesEveryFormatOfThatClassOnly) {
  TPicture::RegisterFileFormat("txt", "Text", "test-a", Factory("a"));
  TPicture::RegisterFileFormat("text", "Text", "test-a", Factory("a"));
  TPicture::RegisterClipboardFormat(0xC123, "test-a", Factory("a"));
  TPicture::RegisterFileFormat("doc", "Doc", "test-b", Factory("b"));
  TPicture::RegisterClipboardFormat(0xC124, "test-b", Factory("b"));
  EXPECT_EQ(TagOf(TPicture::FindClipboardFormat(0xC123)), "a");
  TPicture::UnregisterGraphicClass("test-a");
  EXPECT_FALSE(TPicture::FindFileFormat("txt"));
  EXPECT_FALSE(TPicture::FindFileFormat("text"));
  EXPECT_FALSE(TPicture::FindClipboardFormat(0xC123));
  EXPECT_EQ(TagOf(TPicture::FindFileFormat("doc")), "b");
  EXPECT_EQ(TagOf(TPicture::FindClipboardFormat(0xC124)), "b");
  TPicture::UnregisterGraphicClass("no-such-class");  // harmless
  EXPECT_EQ(TagOf(TPicture::FindFileFormat("doc")), "b");
}

TEST_F(Registry, PictureLoadsWithTheClassOfTheExtension) {
  test::TTempFolder dir("velmora-picture");
  TPicture::RegisterFileFormat("txt", "Text", "test-a", Factory("a"));
  TPicture::RegisterFileFormat("doc", "Doc", "test-b", Factory("b"));
  TPicture picture;
  int changes = 0;
  picture.OnChange = [&](void* sender) {
    EXPECT_EQ(sender, &picture);
    ++changes;
  };
  picture.LoadFromFile(dir.Write("one.TXT", "hello"));
  ASSERT_NE(Text(picture), nullptr);
  EXPECT_EQ(Text(picture)->Tag, "a");
  EXPECT_EQ(Text(picture)->Text, "hello");
  EXPECT_EQ(picture.GetWidth(), 5);
  EXPECT_EQ(picture.GetHeight(), 1);
  EXPECT_EQ(changes, 1);
  // The last dot names the format.
  picture.LoadFromFile(dir.Write("two.txt.doc", "hi"));
  EXPECT_EQ(Text(picture)->Tag, "b");
  EXPECT_EQ(changes, 2);
}

// A picture that holds "kept" from a file of a registered format, for the
// loads that fail.
class FailedLoad : public Registry {
 protected:
  void SetUp() override {
    TPicture::RegisterFileFormat("txt", "Text", "test-a", Factory("a"));
    picture.LoadFromFile(dir.Write("keep.txt", "kept"));
  }
  test::TTempFolder dir{"velmora-picture"};
  TPicture picture;
};

TEST_F(FailedLoad, UnknownOrMissingExtensionIsAnInvalidGraphic) {
  int changes = 0;
  picture.OnChange = [&](void*) { ++changes; };
  try {
    picture.LoadFromFile(dir.Write("a.xyz", "x"));
    FAIL() << "loaded an unknown format";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(e.Message.find(".xyz"), std::string::npos) << e.Message;
  }
  EXPECT_THROW(picture.LoadFromFile(dir.Write("noextension", "x")), EInvalidGraphic);
  // A dot in a folder name is not an extension.
  EXPECT_THROW(picture.LoadFromFile(dir.Write("d.txt/plain", "x")), EInvalidGraphic);
  EXPECT_THROW(picture.LoadFromFile(dir.Write("trailing.", "x")), EInvalidGraphic);
  ASSERT_NE(Text(picture), nullptr);
  EXPECT_EQ(Text(picture)->Text, "kept");
  EXPECT_EQ(changes, 0);
}

TEST_F(FailedLoad, WhatTheGraphicRaisesPassesThroughAndThePictureStays) {
  const TGraphic* before = picture.GetGraphic();
  EXPECT_THROW(picture.LoadFromFile(dir.Write("bad.txt", "bad")), EInvalidGraphic);
  EXPECT_THROW(picture.LoadFromFile(dir.Write("x", "") + "/missing.txt"), EFOpenError);
  EXPECT_EQ(picture.GetGraphic(), before);
  EXPECT_EQ(Text(picture)->Text, "kept");
}

TEST(TPictureTest, GraphicChangesReachThePicture) {
  TPicture picture;
  int changes = 0;
  picture.OnChange = [&](void*) { ++changes; };
  auto owned = std::make_unique<TextGraphic>();
  TextGraphic* graphic = owned.get();
  picture.SetGraphic(std::move(owned));
  EXPECT_EQ(changes, 1);
  graphic->SetTransparent(true);
  EXPECT_EQ(changes, 2);
  picture.SetGraphic(nullptr);
  EXPECT_EQ(picture.GetGraphic(), nullptr);
  EXPECT_EQ(picture.GetWidth(), 0);
  EXPECT_EQ(changes, 3);
}

TEST(TPictureTest, AssignCopiesTheGraphicIntoANewOneOfTheSameClass) {
  TPicture source;
  auto graphic = std::make_unique<TextGraphic>("a");
  graphic->Text = "copy me";
  source.SetGraphic(std::move(graphic));
  TPicture copy;
  copy.Assign(source);
  ASSERT_NE(Text(copy), nullptr);
  EXPECT_NE(copy.GetGraphic(), source.GetGraphic());
  EXPECT_EQ(Text(copy)->Tag, "a");
  EXPECT_EQ(Text(copy)->Text, "copy me");  // saved and loaded again
  copy.Assign(copy);
  EXPECT_EQ(Text(copy)->Text, "copy me");
  TPicture empty;
  copy.Assign(empty);
  EXPECT_EQ(copy.GetGraphic(), nullptr);
}

TEST(TGraphicTest, ChangeNoticesOnlyForRealChanges) {
  TextGraphic g;
  int changes = 0;
  g.OnChange = [&](void* sender) {
    EXPECT_EQ(sender, &g);
    ++changes;
  };
  EXPECT_FALSE(g.GetModified());
  g.SetTransparent(false);
  EXPECT_EQ(changes, 0);
  g.SetTransparent(true);
  g.SetTransparent(true);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(g.GetModified());
  g.SetModified(false);  // quietly
  EXPECT_FALSE(g.GetModified());
  EXPECT_EQ(changes, 1);
  g.SetModified(true);
  EXPECT_TRUE(g.GetModified());
  EXPECT_EQ(changes, 2);
}

TEST(TGraphicTest, FilesRoundTripThroughTheStreams) {
  test::TTempFolder dir("velmora-picture");
  std::string name = dir.Write("g.txt", "");
  TextGraphic g;
  g.Text = "saved";
  g.SaveToFile(name);
  TextGraphic back;
  back.LoadFromFile(name);
  EXPECT_EQ(back.Text, "saved");
  EXPECT_THROW(back.LoadFromFile(name + ".missing"), EFOpenError);
  EXPECT_EQ(back.Text, "saved");
}

}  // namespace
}  // namespace velmora
