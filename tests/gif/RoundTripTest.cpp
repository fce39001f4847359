// Images built in code, written by our writer and read back.
#include <gtest/gtest.h>

#include <random>

#include "gif/GIFExtensions.h"
#include "tests/gif/GIFBuilder.h"

namespace velmora::test {
namespace {

// Smooth gradient plus noise: long and short LZW strings, and a table that
// fills and is cleared many times over.
void Paint(TGIFSubImage& frame, int colors, std::uint32_t seed) {
  std::mt19937 rng(seed);
  const int w = frame.GetWidth(), h = frame.GetHeight();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int v = (x * 3 + y * 2) / 7 + int(rng() % 3);
      frame.Data[std::size_t(y * w + x)] = std::uint8_t(v % colors);
    }
}

TGIFSubImage* AddFrame(TGIFImage& image, int left, int top, int w, int h, bool interlaced,
                       int colors, std::uint32_t seed) {
  auto* frame = new TGIFSubImage(&image);
  image.Images->Add(frame);
  frame->SetBounds(left, top, w, h);
  frame->SetInterlaced(interlaced);
  Paint(*frame, colors, seed);
  return frame;
}

void AddGrey(TGIFColorMap& map, int n) {
  for (int i = 0; i < n; ++i) map.Add(RGB(std::uint8_t(i), std::uint8_t(i), 7));
}

TEST(GifRoundTrip, FramesTablesAndExtensionsSurvive) {
  TGIFImage image;
  image.Header->LogicalScreenDescriptor.ScreenWidth = 120;
  image.Header->LogicalScreenDescriptor.ScreenHeight = 90;
  AddGrey(*image.Header->ColorMap, 200);
  image.SetBackgroundColorIndex(5);

  TGIFSubImage* first = AddFrame(image, 0, 0, 120, 90, false, 200, 1);
  auto* loop = new TGIFAppExtNSLoop(first);
  loop->Loops = 7;
  first->Extensions->Add(loop);
  auto* comment = new TGIFCommentExtension(first);
  comment->Text = {"made in a test", std::string(300, 'x')};
  first->Extensions->Add(comment);

  TGIFSubImage* second = AddFrame(image, 10, 20, 33, 17, true, 5, 2);
  AddGrey(*second->ColorMap, 5);
  auto* gce = new TGIFGraphicControlExtension(second);
  second->Extensions->Add(gce);
  gce->SetDelay(25);
  gce->SetDisposal(dmPrevious);
  gce->SetUserInput(true);
  gce->SetTransparentColorIndex(4);
  gce->SetTransparent(true);
  auto* text = new TGIFTextExtension(second);
  second->Extensions->Add(text);
  text->SetBounds(1, 3);
  text->SetCharWidthHeight(2, 9);
  text->Text = {"hello"};
  auto* unknown = new TGIFUnknownAppExtension(second);
  unknown->SetIdentifier("VELMORA!");
  unknown->SetAuthentication("1.0");
  unknown->Blocks.push_back(std::make_unique<TGIFBlock>(3));
  unknown->Blocks.back()->Data = {0, 1, 2};
  second->Extensions->Add(unknown);

  const Bytes bytes = Save(image);
  Loaded r = Load(bytes);
  ASSERT_EQ(r.error, "");
  EXPECT_TRUE(r.warnings.empty());
  TGIFImage& back = *r.image;
  EXPECT_EQ(back.GetWidth(), 120);
  EXPECT_EQ(back.GetHeight(), 90);
  EXPECT_EQ(back.GetBackgroundColorIndex(), 5);
  ASSERT_EQ(back.Images->GetCount(), 2);
  EXPECT_EQ(back.GetColorMap()->GetCount(), 256);  // padded to a power of two
  EXPECT_EQ(back.GetColorMap()->GetColor(199), RGB(199, 199, 7));
  EXPECT_EQ(back.GetVersion(), gv89a);

  TGIFSubImage* f0 = back.Images->GetImage(0);
  EXPECT_EQ(Pixels(*f0), Pixels(*first));
  ASSERT_EQ(f0->Extensions->GetCount(), 2);
  auto* loopBack = dynamic_cast<TGIFAppExtNSLoop*>(f0->Extensions->GetExtension(0));
  ASSERT_NE(loopBack, nullptr);
  EXPECT_EQ(loopBack->Loops, 7);
  auto* commentBack =
      dynamic_cast<TGIFCommentExtension*>(f0->Extensions->GetExtension(1));
  ASSERT_NE(commentBack, nullptr);
  EXPECT_EQ(commentBack->Text,
            (std::vector<std::string>{"made in a test", std::string(255, 'x'),
                                      std::string(45, 'x')}));

  TGIFSubImage* f1 = back.Images->GetImage(1);
  EXPECT_EQ(f1->GetBoundsRect(), Rect(10, 20, 43, 37));
  EXPECT_TRUE(f1->GetInterlaced());
  EXPECT_EQ(Pixels(*f1), Pixels(*second));
  EXPECT_EQ(f1->ColorMap->GetCount(), 8);
  EXPECT_EQ(f1->GetActiveColorMap(), f1->ColorMap.get());
  ASSERT_NE(f1->GraphicControlExtension, nullptr);
  EXPECT_TRUE(f1->Transparent);
  EXPECT_EQ(f1->GraphicControlExtension->GetDelay(), 25);
  EXPECT_EQ(f1->GraphicControlExtension->GetDisposal(), dmPrevious);
  EXPECT_TRUE(f1->GraphicControlExtension->GetUserInput());
  EXPECT_EQ(f1->GraphicControlExtension->GetTransparentColorIndex(), 4);
  auto* textBack = dynamic_cast<TGIFTextExtension*>(f1->Extensions->GetExtension(1));
  ASSERT_NE(textBack, nullptr);
  EXPECT_EQ(textBack->GetBounds(1), 3);
  EXPECT_EQ(textBack->GetCharWidthHeight(2), 9);
  EXPECT_EQ(textBack->Text, std::vector<std::string>{"hello"});
  auto* unknownBack =
      dynamic_cast<TGIFUnknownAppExtension*>(f1->Extensions->GetExtension(2));
  ASSERT_NE(unknownBack, nullptr);
  EXPECT_EQ(unknownBack->GetIdentifier(), "VELMORA!");
  EXPECT_EQ(unknownBack->GetAuthentication(), "1.0");
  ASSERT_EQ(unknownBack->Blocks.size(), 1u);
  EXPECT_EQ(unknownBack->Blocks[0]->Data, (std::vector<std::uint8_t>{0, 1, 2}));

  // Writing what was read gives the same bytes again.
  EXPECT_EQ(Save(back), bytes);
}

TEST(GifRoundTrip, EveryCodeSizeAndShape) {
  // Sizes around the interlace passes and around sub-block boundaries;
  // colour counts from 2 to 256 give minimum code sizes 2 to 8.
  const int sizes[][2] = {{1, 1},   {1, 9},   {3, 5},    {17, 8},
                          {255, 1}, {256, 3}, {640, 480}};
  const int colors[] = {2, 4, 16, 128, 256};
  std::uint32_t seed = 10;
  for (auto [w, h] : sizes) {
    for (int c : colors) {
      for (bool interlaced : {false, true}) {
        TGIFImage image;
        image.Header->LogicalScreenDescriptor.ScreenWidth = std::uint16_t(w);
        image.Header->LogicalScreenDescriptor.ScreenHeight = std::uint16_t(h);
        AddGrey(*image.Header->ColorMap, c);
        TGIFSubImage* frame = AddFrame(image, 0, 0, w, h, interlaced, c, ++seed);
        const Bytes bytes = Save(image);
        Loaded r = Load(bytes);
        ASSERT_EQ(r.error, "") << w << "x" << h << " colors " << c;
        ASSERT_EQ(r.image->Images->GetCount(), 1);
        EXPECT_EQ(Pixels(*r.image->Images->GetImage(0)), Pixels(*frame))
            << w << "x" << h << " colors " << c << " interlaced " << interlaced;
        EXPECT_TRUE(r.warnings.empty());
        EXPECT_EQ(r.position, std::int64_t(bytes.size()));
      }
    }
  }
}

TEST(GifRoundTrip, UniformFrameMakesLongStrings) {
  // One colour over a large frame: strings grow to thousands of pixels and
  // cross the end of the frame.
  TGIFImage image;
  image.Header->LogicalScreenDescriptor.ScreenWidth = 1000;
  image.Header->LogicalScreenDescriptor.ScreenHeight = 1000;
  AddGrey(*image.Header->ColorMap, 4);
  for (bool interlaced : {false, true}) {
    TGIFSubImage* frame = AddFrame(image, 0, 0, 1000, 1000, interlaced, 4, 0);
    std::fill(frame->Data.get(), frame->Data.get() + frame->DataSize, 3);
  }
  Loaded r = Load(Save(image));
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.image->Images->GetCount(), 2);
  for (int i = 0; i < 2; ++i) {
    const Bytes px = Pixels(*r.image->Images->GetImage(i));
    EXPECT_EQ(std::count(px.begin(), px.end(), 3), 1000000);
  }
}

TEST(GifRoundTrip, AssignCopiesThroughAStream) {
  Loaded r = Load(GifBuilder()
                      .Header(2, 1, 4)
                      .Descriptor(0, 0, 2, 1)
                      .Codes(2, {{4, 3}, {3, 3}, {1, 3}, {5, 3}})
                      .Trailer()
                      .data);
  TGIFImage copy;
  copy.Assign(*r.image);
  ASSERT_EQ(copy.Images->GetCount(), 1);
  EXPECT_EQ(Pixels(*copy.Images->GetImage(0)), (Bytes{3, 1}));
  copy.Assign(TGIFImage());
  EXPECT_TRUE(copy.GetEmpty());
}

TEST(GifRoundTrip, EmptyImageIsNotWritten) {
  // An image without frames has no version.
  TGIFImage image;
  EXPECT_EQ(ErrorOf([&] { Save(image); }), "Unsupported GIF version");
}

}  // namespace
}  // namespace velmora::test
