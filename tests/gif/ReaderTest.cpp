// The stream reader's block structure: what it accepts, what it warns
// about, and what ends a load.
#include <gtest/gtest.h>

#include "gif/GIFExtensions.h"
#include "tests/gif/GIFBuilder.h"

namespace velmora::test {
namespace {

using Strings = std::vector<std::string>;

// Clear, then pixels 1 1, then the end code (minimum code size 2).
GifBuilder& TwoPixels(GifBuilder& b) {
  return b.Descriptor(0, 0, 2, 1).Codes(2, {{4, 3}, {1, 3}, {1, 3}, {5, 3}});
}

Bytes Simple(const char* signature = "GIF89a") {
  GifBuilder b;
  b.Header(2, 1, 4, signature);
  return TwoPixels(b).Trailer().data;
}

// Starts of streams that load and that fail: variants of the signature, a
// prefix (only one of four bytes is skipped), blocks cut short.
TEST(GifReader, StartsThatLoadOrFail) {
  auto prefixed = [](int n) {
    return GifBuilder().Raw(Bytes(n, 0xAB)).Raw(Simple()).data;
  };
  const char* const kCut = "Premature end of data";
  const struct {
    Bytes gif;
    const char* error;
  } cases[] = {
      {Simple("GIF89a"), ""},
      {Simple("gif89a"), ""},
      {Simple("GiF87a"), ""},
      {Simple("GIF90z"), ""},
      {prefixed(4), ""},
      {prefixed(3), "Invalid GIF signature"},
      {prefixed(5), "Invalid GIF signature"},
      {{'G', 'I', 'F'}, kCut},
      // A short image descriptor, a short local table.
      {GifBuilder().Header(2, 1, 4).Raw({0x2C, 0, 0, 0}).data, kCut},
      {GifBuilder().Header(2, 1, 0).Descriptor(0, 0, 2, 1, 0x81).Raw({1, 2, 3}).data,
       kCut},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Loaded r = Load(c.gif);
    EXPECT_EQ(r.error, c.error);
    if (*c.error) continue;
    EXPECT_TRUE(r.warnings.empty());
    ASSERT_EQ(r.image->Images->GetCount(), 1);
    EXPECT_EQ(Pixels(*r.image->Images->GetImage(0)), (Bytes{1, 1}));
  }
}

// Streams that load, with what they warn about and the frames they give.
TEST(GifReader, ToleratedOddities) {
  GifBuilder b;
  b.Header(2, 1, 4);
  const Bytes start = TwoPixels(b).data;
  auto after = [&start](const Bytes& more) {
    return GifBuilder().Raw(start).Raw(more).data;
  };
  const struct {
    const char* what;
    Bytes gif;
    Strings warnings;
    int frames;
  } cases[] = {
      {"no trailer", start, {}, 1},
      {"zero bytes before the trailer", after({0, 0, 0, 0x3B}), {}, 1},
      {"an unknown block ends the frames",
       GifBuilder().Raw(start).Raw({0x99}).Raw(start).Trailer().data,
       {"Unknown GIF block type", "Invalid Image trailer"},
       1},
      // A comment after the last image becomes an empty frame.
      {"comment after the last image",
       after(GifBuilder().Comment({"bye"}).Trailer().data),
       {},
       2},
      // A frame of width 0 takes the screen's.
      {"zero-sized frame",
       GifBuilder()
           .Header(3, 2, 4)
           .Descriptor(1, 1, 0, 5)
           .Codes(2, Fixed(3, {4, 2, 5}))
           .Trailer()
           .data,
       {"Image exceeds Logical Screen size"},
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Loaded r = Load(c.gif);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.warnings, c.warnings);
    EXPECT_EQ(r.image->Images->GetCount(), c.frames);
  }
  Loaded r = Load(cases[3].gif);
  TGIFSubImage* last = r.image->Images->GetImage(1);
  EXPECT_EQ(last->GetBoundsRect(), Rect(0, 0, 0, 0));
  EXPECT_TRUE(last->GetEmpty());
  ASSERT_EQ(last->Extensions->GetCount(), 1);
  auto* comment = dynamic_cast<TGIFCommentExtension*>(last->Extensions->GetExtension(0));
  ASSERT_NE(comment, nullptr);
  EXPECT_EQ(comment->Text, Strings{"bye"});
  r = Load(cases[4].gif);
  EXPECT_EQ(r.image->Images->GetImage(0)->GetBoundsRect(), Rect(1, 1, 4, 3));
}

TEST(GifReader, TruncatedTableFailsAndTheNextLoadStartsEmpty) {
  Bytes gif = Simple();
  Bytes cut(gif.begin(), gif.begin() + 20);  // inside the global table
  TGIFImage image;
  {
    TMemoryStream good(gif);
    image.LoadFromStream(good);
  }
  TMemoryStream bad(cut);
  bad.SetPosition(3);
  EXPECT_EQ(ErrorOf([&] { image.LoadFromStream(bad); }), "Invalid GIF signature");
  EXPECT_EQ(bad.GetPosition(), 3);  // moved back to where loading started
  Loaded r = Load(cut);
  EXPECT_EQ(r.error, "Premature end of data");
  EXPECT_EQ(r.position, 0);
  EXPECT_EQ(r.image->Images->GetCount(), 0);
  EXPECT_EQ(r.image->GetColorMap()->GetCount(), 0);

  TMemoryStream again(gif);
  r.image->LoadFromStream(again);
  EXPECT_EQ(r.image->Images->GetCount(), 1);
  EXPECT_EQ(r.image->GetColorMap()->GetCount(), 4);
}

TEST(GifReader, ZeroByteBetweenExtensionAndImage) {
  GifBuilder b;
  b.Header(2, 1, 4).Gce(0x01, 7, 2).Raw({0});
  Loaded r = Load(TwoPixels(b).Trailer().data);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.warnings, Strings{"Invalid extension introducer"});
  ASSERT_EQ(r.image->Images->GetCount(), 2);
  TGIFSubImage* first = r.image->Images->GetImage(0);
  EXPECT_TRUE(first->GetEmpty());
  ASSERT_NE(first->GraphicControlExtension, nullptr);
  EXPECT_EQ(first->GraphicControlExtension->GetDelay(), 7);
  TGIFSubImage* second = r.image->Images->GetImage(1);
  EXPECT_EQ(second->Extensions->GetCount(), 0);
  EXPECT_FALSE(second->Transparent);
  EXPECT_EQ(Pixels(*second), (Bytes{1, 1}));
}

TEST(GifReader, WarningsNameTheirSender) {
  Bytes gif = GifBuilder().Header(3, 2, 4).Descriptor(0, 0, 0, 0).Codes(2, {{5, 3}}).data;
  TGIFImage image;
  void* sender = nullptr;
  image.OnWarning = [&](void* s, TGIFSeverity severity, const std::string&) {
    sender = s;
    EXPECT_EQ(severity, gsWarning);
  };
  TMemoryStream stream(gif);
  image.LoadFromStream(stream);
  ASSERT_EQ(image.Images->GetCount(), 1);
  EXPECT_EQ(sender, static_cast<TGIFItem*>(image.Images->GetImage(0)));
}

TEST(GifReader, ProgressFromStartToEnd) {
  GifBuilder b;
  b.Header(2, 1, 4);
  TwoPixels(b);
  TwoPixels(b).Trailer();
  TGIFImage image;
  std::vector<std::pair<TProgressStage, int>> seen;
  image.OnProgress = [&](void*, TProgressStage stage, std::uint8_t percent, bool,
                         const TRect&, const std::string& msg) {
    seen.emplace_back(stage, percent);
    EXPECT_EQ(msg, "Loading...");
  };
  TMemoryStream stream(b.data);
  image.LoadFromStream(stream);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen.front(), std::make_pair(TProgressStage::psStarting, 0));
  EXPECT_EQ(seen[1].first, TProgressStage::psRunning);
  EXPECT_LT(seen[1].second, seen[2].second);
  EXPECT_EQ(seen[2].second, 98);  // 55 of 56 bytes
  EXPECT_EQ(seen.back(), std::make_pair(TProgressStage::psEnding, 100));

  seen.clear();
  TMemoryStream bad(Bytes{'G', 'I', 'F'});
  EXPECT_THROW(image.LoadFromStream(bad), GIFException);
  EXPECT_EQ(seen.back(), std::make_pair(TProgressStage::psEnding, 0));
}

}  // namespace
}  // namespace velmora::test
