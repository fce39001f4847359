// Extension blocks: layouts, the loop-count block, unknown applications,
// errors, and the registries with their overrides.
#include <gtest/gtest.h>

#include "gif/GIFExtensions.h"
#include "tests/gif/GIFBuilder.h"

namespace velmora::test {
namespace {

using Strings = std::vector<std::string>;

// Extensions in front of a 2x1 image.
Loaded WithExtensions(const Bytes& extensions) {
  return Load(GifBuilder()
                  .Header(2, 1, 4)
                  .Raw(extensions)
                  .Descriptor(0, 0, 2, 1)
                  .Codes(2, {{4, 3}, {1, 3}, {1, 3}, {5, 3}})
                  .Trailer()
                  .data);
}

// The first extension of the first frame, as a T (null when it is another).
template <class T>
T* First(const Loaded& r) {
  return dynamic_cast<T*>(r.image->Images->GetImage(0)->Extensions->GetExtension(0));
}

Bytes AppBlock(const char* id11, const Bytes& subBlocks, int size = 11) {
  Bytes b = {0x21, 0xFF, std::uint8_t(size)};
  b.insert(b.end(), id11, id11 + 11);
  for (int i = 11; i < size; ++i) b.push_back(0xEE);
  b.insert(b.end(), subBlocks.begin(), subBlocks.end());
  return b;
}

TEST(GifExtensions, GraphicControlFields) {
  Loaded r = WithExtensions(GifBuilder().Gce(0x09, 300, 2).data);
  ASSERT_EQ(r.error, "");
  TGIFSubImage* frame = r.image->Images->GetImage(0);
  TGIFGraphicControlExtension* gce = frame->GraphicControlExtension;
  ASSERT_NE(gce, nullptr);
  EXPECT_TRUE(gce->GetTransparent());
  EXPECT_FALSE(gce->GetUserInput());
  EXPECT_EQ(gce->GetDisposal(), dmBackground);
  EXPECT_EQ(gce->GetDelay(), 300);
  EXPECT_EQ(gce->GetTransparentColorIndex(), 2);
  EXPECT_EQ(gce->GetTransparentColor(), RGB(2, 2, 2));
  EXPECT_TRUE(frame->Transparent);
  EXPECT_TRUE(r.image->GetIsTransparent());
  EXPECT_EQ(r.image->GetVersion(), gv89a);

  r = WithExtensions(GifBuilder().Gce(0x1C).data);
  EXPECT_EQ(r.image->Images->GetImage(0)->GraphicControlExtension->GetDisposal(), 7);
  EXPECT_FALSE(r.image->GetIsTransparent());
}

TEST(GifExtensions, SecondGraphicControlIsKeptButNotReferenced) {
  Loaded r = WithExtensions(GifBuilder().Gce(0x00, 1).Gce(0x01, 2, 3).data);
  ASSERT_EQ(r.error, "");
  TGIFSubImage* frame = r.image->Images->GetImage(0);
  ASSERT_EQ(frame->Extensions->GetCount(), 2);
  EXPECT_EQ(frame->GraphicControlExtension, frame->Extensions->GetExtension(0));
  EXPECT_EQ(frame->GraphicControlExtension->GetDelay(), 1);
  EXPECT_TRUE(frame->Transparent);
  // The fill value comes from the referenced one (index 0), not the second.
  EXPECT_FALSE(r.image->GetIsTransparent());

  // Freeing an extension unlinks it from its frame.
  delete frame->Extensions->GetExtension(1);
  EXPECT_EQ(frame->Extensions->GetCount(), 1);
  EXPECT_FALSE(frame->Transparent);
  frame->Extensions->Delete(0);
  EXPECT_EQ(frame->GraphicControlExtension, nullptr);
}

TEST(GifExtensions, ShortGraphicControlAtTheEndWarns) {
  Bytes gif = GifBuilder().Header(2, 1, 4).Raw({0x21, 0xF9, 4, 0x01}).data;
  Loaded r = Load(gif);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.warnings, Strings{"Premature end of data"});
  ASSERT_EQ(r.image->Images->GetCount(), 1);
  EXPECT_FALSE(r.image->Images->GetImage(0)->Transparent);
}

TEST(GifExtensions, LoopBlocks) {
  struct Case {
    const char* id;
    Bytes data;
    int loops;
    std::uint32_t buffer;
  };
  const std::vector<Case> cases = {
      {"NETSCAPE2.0", {3, 1, 0, 0, 0}, 0, 0},
      {"NETSCAPE2.0", {3, 1, 5, 0, 0}, 5, 0},
      {"ANIMEXTS1.0", {3, 1, 0x34, 0x12, 0}, 0x1234, 0},
      {"NETSCAPE2.0", {5, 2, 1, 2, 3, 4, 4, 3, 7, 7, 7, 0}, 0, 0x04030201},
      {"NETSCAPE2.0", {5, 1, 3, 0, 0xAA, 0xBB, 0}, 3, 0},  // surplus skipped
  };
  for (const Case& c : cases) {
    Loaded r = WithExtensions(AppBlock(c.id, c.data));
    ASSERT_EQ(r.error, "") << c.id;
    auto* loop = First<TGIFAppExtNSLoop>(r);
    ASSERT_NE(loop, nullptr) << c.id;
    EXPECT_EQ(loop->Loops, c.loops);
    EXPECT_EQ(loop->BufferSize, c.buffer);
    EXPECT_EQ(loop->GetIdentifier() + loop->GetAuthentication(), c.id);
    EXPECT_EQ(Pixels(*r.image->Images->GetImage(0)), (Bytes{1, 1}));
  }
}

TEST(GifExtensions, UnknownApplicationsAreKeptByteForByte) {
  Loaded r = WithExtensions(AppBlock("XMP DataXMP", {3, 0, 0xFF, 7, 1, 0x42, 0}));
  ASSERT_EQ(r.error, "");
  auto* app = First<TGIFUnknownAppExtension>(r);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->GetIdentifier(), "XMP Data");
  ASSERT_EQ(app->Blocks.size(), 2u);
  EXPECT_EQ(app->Blocks[0]->Data, (Bytes{0, 0xFF, 7}));
  EXPECT_EQ(app->Blocks[1]->Data, (Bytes{0x42}));

  // A 12-byte application block loads as unknown; its last byte is skipped,
  // even with a registered identifier.
  r = WithExtensions(AppBlock("NETSCAPE2.0", {3, 1, 5, 0, 0}, 12));
  ASSERT_EQ(r.error, "");
  auto* twelve = First<TGIFUnknownAppExtension>(r);
  ASSERT_NE(twelve, nullptr);
  ASSERT_EQ(twelve->Blocks.size(), 1u);
  EXPECT_EQ(twelve->Blocks[0]->Data, (Bytes{1, 5, 0}));

  // A 10-byte one too, with the last byte of its record 0.
  Bytes ten = {0x21, 0xFF, 10, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', 1, 9, 0};
  r = WithExtensions(ten);
  ASSERT_EQ(r.error, "");
  auto* short10 = First<TGIFUnknownAppExtension>(r);
  ASSERT_NE(short10, nullptr);
  EXPECT_EQ(short10->GetAuthentication(), "2.");
}

TEST(GifExtensions, TextBlocks) {
  Bytes plain = {0x21, 0x01, 12, 1, 0,   2,   0,   30, 0,   40,  0, 8,
                 16,   1,    0,  3, 'a', 'b', 'c', 2,  'd', 'e', 0};
  Loaded r = WithExtensions(plain);
  ASSERT_EQ(r.error, "");
  auto* text = First<TGIFTextExtension>(r);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->GetBounds(1), 1);
  EXPECT_EQ(text->GetBounds(4), 40);
  EXPECT_EQ(text->GetBounds(5), 0);
  EXPECT_EQ(text->GetCharWidthHeight(2), 16);
  EXPECT_EQ(text->GetColorIndex(1), 1);
  EXPECT_EQ(text->Text, (Strings{"abc", "de"}));
  // Colours set on a frame without its own table read back the same.
  text->SetForegroundColor(RGB(9, 8, 7));
  text->SetBackgroundColor(RGB(1, 1, 1));
  EXPECT_EQ(text->GetForegroundColor(), RGB(9, 8, 7));
  EXPECT_EQ(text->GetBackgroundColor(), RGB(1, 1, 1));
  EXPECT_EQ(text->GetColorIndex(2), 1);
  EXPECT_EQ(r.image->GetColorMap()->GetCount(), 5);

  // Comments: one string per sub-block, cut at a zero byte; line breaks stay.
  r = WithExtensions(
      GifBuilder().Comment({"one\r\ntwo", std::string("th\0ree", 6)}).data);
  ASSERT_EQ(r.error, "");
  auto* comment = First<TGIFCommentExtension>(r);
  ASSERT_NE(comment, nullptr);
  EXPECT_EQ(comment->Text, (Strings{"one\r\ntwo", "th"}));
}

TEST(GifExtensions, Errors) {
  struct Case {
    Bytes extensions;
    const char* error;
  };
  const std::vector<Case> cases = {
      {{0x21, 0x02, 0}, "Unknown extension type"},
      {{0x21, 0xFF}, "Unknown extension type"},  // the block size is missing
      {{0x21, 0xFF, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0},
       "Unsupported Application Extension block size"},
      {AppBlock("NETSCAPE2.0", {1, 1, 0}), "Invalid GIF data"},
      {AppBlock("NETSCAPE2.0", {3, 2, 0, 0, 0}), "Invalid GIF data"},
      {{0x21, 0xFE, 5, 'a'}, "Premature end of data"},
      {{0x21, 0x01, 12, 1, 2}, "Premature end of data"},
      {{0x21, 0xFF, 11, 'N', 'E', 'T'}, "Premature end of data"},
  };
  for (const Case& c : cases) {
    // Each ends the file, so that short reads really are short.
    Loaded r = Load(GifBuilder().Header(2, 1, 4).Raw(c.extensions).data);
    EXPECT_EQ(r.error, c.error) << int(c.extensions[1]) << " " << c.extensions.size();
    EXPECT_EQ(r.image->Images->GetCount(), 0);
  }
  // A stray byte in the run only warns; the frame reader goes on from it.
  Loaded r = WithExtensions({0x21, 0xFE, 0, 0x07});
  EXPECT_EQ(r.error, "");
  ASSERT_FALSE(r.warnings.empty());
  EXPECT_EQ(r.warnings[0], "Invalid extension introducer");
}

// A comment class of our own, to see registrations take over.
class TLoudComment : public TGIFCommentExtension {
 public:
  static constexpr const char* Name = "TLoudComment";
  static const TGIFExtensionClass& ClassType() {
    static const TGIFExtensionClassOf<TLoudComment> cls;
    return cls;
  }
  using TGIFCommentExtension::TGIFCommentExtension;
  const TGIFExtensionClass& GetClass() const override { return ClassType(); }
};

class TVelmoraApp : public TGIFUnknownAppExtension {
 public:
  static constexpr const char* Name = "TVelmoraApp";
  static const TGIFExtensionClass& ClassType() {
    static const TGIFExtensionClassOf<TVelmoraApp, TGIFApplicationExtensionClass> cls;
    return cls;
  }
  using TGIFUnknownAppExtension::TGIFUnknownAppExtension;
  const TGIFExtensionClass& GetClass() const override { return ClassType(); }
};

TEST(GifExtensions, LaterRegistrationsTakeOver) {
  auto loadedAs = [](const Bytes& extension) {
    Loaded r = WithExtensions(extension);
    EXPECT_EQ(r.error, "");
    return std::string(First<TGIFExtension>(r)->GetClass().ClassName());
  };
  const Bytes comment = GifBuilder().Comment({"x"}).data;
  TGIFExtension::RegisterExtension(0xFE, &TLoudComment::ClassType());
  EXPECT_EQ(loadedAs(comment), "TLoudComment");
  TGIFExtension::UnregisterExtension(&TLoudComment::ClassType());
  EXPECT_EQ(loadedAs(comment), "TGIFCommentExtension");

  // Application identifiers, including one that overrides a default.
  TGIFApplicationExtension::RegisterExtension(TGIFApplicationRec::Make("VELMORA!1.0"),
                                              &TVelmoraApp::ClassType());
  TGIFApplicationExtension::RegisterExtension(TGIFApplicationRec::Make("ANIMEXTS1.0"),
                                              &TVelmoraApp::ClassType());
  for (const char* id : {"VELMORA!1.0", "ANIMEXTS1.0"})
    EXPECT_EQ(loadedAs(AppBlock(id, {1, 9, 0})), "TVelmoraApp") << id;
  EXPECT_EQ(loadedAs(AppBlock("NETSCAPE2.0", {3, 1, 2, 0, 0})), "TGIFAppExtNSLoop");
  TGIFApplicationExtension::UnregisterExtension(&TVelmoraApp::ClassType());

  // The lookup leaves the stream on the introducer's label.
  TMemoryStream stream(AppBlock("NETSCAPE2.0", {0}));
  stream.SetPosition(1);
  EXPECT_EQ(TGIFExtension::FindExtension(stream), &TGIFAppExtNSLoop::ClassType());
  EXPECT_EQ(stream.GetPosition(), 1);
}

}  // namespace
}  // namespace velmora::test
