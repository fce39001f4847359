// The image model: colour tables, versions, active tables, settings.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gif/GIFExtensions.h"
#include "tests/gif/GIFBuilder.h"

namespace velmora::test {
namespace {

using Strings = std::vector<std::string>;

struct Warned {
  TGIFImage image;
  Strings warnings;
  Warned() {
    image.OnWarning = [this](void*, TGIFSeverity, const std::string& m) {
      warnings.push_back(m);
    };
  }
};

TEST(GifModel, ColorTableGrowthAndLimits) {
  Warned w;
  TGIFColorMap& map = *w.image.GetColorMap();
  EXPECT_EQ(map.GetBitsPerPixel(), 0);
  std::vector<int> capacities;
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(map.Add(RGB(std::uint8_t(i), 0, 0)), i);
    if (capacities.empty() || capacities.back() != map.GetCapacity())
      capacities.push_back(map.GetCapacity());
    const int bits[] = {1, 1, 2, 2, 3};  // for 1 to 5 colours
    if (i < 5) {
      EXPECT_EQ(map.GetBitsPerPixel(), bits[i]) << i + 1;
    }
  }
  EXPECT_EQ(capacities, (std::vector<int>{16, 32, 64, 96, 128, 160, 192, 224, 256}));
  EXPECT_EQ(map.GetBitsPerPixel(), 8);
  EXPECT_EQ(map.GetColor(255), RGB(255, 0, 0));
  EXPECT_EQ(ErrorOf([&] { map.Add(clWhite); }), "Color table overflow");
  EXPECT_THROW(map.SetColor(256, clWhite), GIFException);
}

TEST(GifModel, BadIndexWarnsOrRaises) {
  Warned w;
  TGIFColorMap& map = *w.image.GetColorMap();
  EXPECT_EQ(ErrorOf([&] { map.GetColor(0); }), "Color table is empty");
  EXPECT_EQ(w.warnings, Strings{"Invalid color index"});
  for (int i = 0; i < 4; ++i) map.Add(RGB(10, 20, std::uint8_t(30 + i)));
  w.warnings.clear();
  EXPECT_EQ(map.GetColor(300), RGB(10, 20, 30));
  EXPECT_EQ(w.warnings, Strings{"Invalid color index"});
  EXPECT_EQ(TGIFColorMap::Color2RGB({1, 2, 3}), 0x030201u);
  EXPECT_EQ(TGIFColorMap::RGB2Color(0x7F030201), (TGIFColor{1, 2, 3}));

  // The header and a graphic control extension store 0 for a bad index.
  w.warnings.clear();
  w.image.SetBackgroundColorIndex(9);
  EXPECT_EQ(w.image.GetBackgroundColorIndex(), 0);
  EXPECT_EQ(w.warnings, Strings{"Invalid color index"});
}

TEST(GifModel, IndexOfSearchDirection) {
  Warned w;
  TGIFColorMap& map = *w.image.GetColorMap();
  map.Add(clRed);
  map.Add(clBlue);
  map.Add(clRed);
  EXPECT_EQ(map.IndexOf(clRed), 2);  // from the end
  map.SetOptimized(true);
  EXPECT_EQ(map.IndexOf(clRed), 0);  // most used first
  EXPECT_EQ(map.IndexOf(clWhite), -1);
  EXPECT_EQ(map.AddUnique(clBlue), 1);
  EXPECT_TRUE(map.GetOptimized());
  EXPECT_EQ(map.AddUnique(clWhite), 3);
  EXPECT_FALSE(map.GetOptimized());
}

TEST(GifModel, VersionsAndActiveTables) {
  TGIFImage image;
  image.SetAspectRatio(49);
  EXPECT_EQ(image.GetVersion(), gvUnknown);  // the header does not count
  EXPECT_EQ(image.Header->GetVersion(), gv89a);

  auto* frame = new TGIFSubImage(&image);
  image.Images->Add(frame);
  EXPECT_EQ(image.GetVersion(), gv87a);
  EXPECT_EQ(image.GetBitsPerPixel(), 0);
  EXPECT_EQ(frame->GetActiveColorMap(), frame->ColorMap.get());  // both empty

  image.GetColorMap()->Add(clRed);
  image.GetColorMap()->Add(clBlue);
  image.GetColorMap()->Add(clWhite);
  EXPECT_EQ(frame->GetActiveColorMap(), image.GetColorMap());
  frame->ColorMap->Add(clBlack);
  EXPECT_EQ(frame->GetActiveColorMap(), frame->ColorMap.get());
  EXPECT_EQ(image.GetBitsPerPixel(), 2);
  EXPECT_EQ(image.GetColorResolution(), 1);
  EXPECT_FALSE(image.GetIsTransparent());

  auto* gce = new TGIFGraphicControlExtension(frame);
  frame->Extensions->Add(gce);
  EXPECT_EQ(image.GetVersion(), gv89a);
  gce->SetTransparent(true);
  EXPECT_TRUE(image.GetIsTransparent());
  EXPECT_TRUE(frame->Transparent);

  // Frames unlink themselves; Clear empties the image and its screen.
  image.Header->LogicalScreenDescriptor.ScreenWidth = 5;
  delete frame;
  EXPECT_EQ(image.Images->GetCount(), 0);
  image.Clear();
  EXPECT_EQ(image.GetWidth(), 0);
  EXPECT_EQ(image.GetColorMap()->GetCount(), 0);
}

TEST(GifModel, FramePixelsAndBounds) {
  TGIFImage image;
  TGIFSubImage frame(&image);
  EXPECT_TRUE(frame.GetEmpty());
  frame.SetBounds(3, 4, 5, 2);
  EXPECT_EQ(frame.GetBoundsRect(), Rect(3, 4, 8, 6));
  EXPECT_EQ(frame.GetClientRect(), Rect(0, 0, 5, 2));
  EXPECT_EQ(frame.GetBounds(4), 2);
  EXPECT_EQ(frame.GetBounds(0), 0);
  EXPECT_FALSE(frame.GetEmpty());
  frame.GetScanline(1)[4] = 9;
  EXPECT_EQ(frame.GetPixel(4, 1), 9);
  EXPECT_EQ(frame.Data[9], 9);
  EXPECT_THROW(frame.GetScanline(2), GIFException);
  EXPECT_THROW(frame.GetPixel(5, 0), GIFException);
  frame.SetBounds(0, 0, 0, 0);
  EXPECT_THROW(frame.NeedImage(), GIFException);
}

// A frame that notes, as it is freed, its number and what its image's list
// holds at that moment.
struct TNotedFrame : TGIFSubImage {
  TNotedFrame(TGIFImage* image, int number, std::vector<std::string>& notes)
      : TGIFSubImage(image), number(number), notes(notes) {}
  ~TNotedFrame() override {
    const TGIFImageList& list = *Image->Images;
    notes.push_back(std::to_string(number) +
                    (list.IndexOf(this) < 0 ? " gone" : " listed") + ", " +
                    std::to_string(list.GetCount()) + " left");
  }
  int number;
  std::vector<std::string>& notes;
};

TEST(GifModel, FreeingFramesTakesTheFirstFirstAndUnlinksEach) {
  TGIFImage image;
  std::vector<std::string> notes;
  for (int i = 0; i < 5; ++i) image.Images->Add(new TNotedFrame(&image, i, notes));
  delete image.Images->GetImage(2);  // a frame freed by itself leaves the list
  image.Images->Delete(2);           // and so does one the list frees
  EXPECT_EQ(image.Images->GetCount(), 3);
  image.Images->Clear();
  EXPECT_EQ(notes, (Strings{"2 listed, 5 left", "3 gone, 3 left", "0 gone, 2 left",
                            "1 gone, 1 left", "4 gone, 0 left"}));
}

// 20,000 one-pixel frames, each with a graphic control extension: freeing
// them looks at and moves a few items per frame, however many there are.
TEST(GifModel, FreeingManyFramesIsLinear) {
  constexpr int kFrames = 20000;
  GifBuilder b;
  b.Header(1, 1, 2);
  for (int i = 0; i < kFrames; ++i)
    b.Gce(0, 1).Descriptor(0, 0, 1, 1).Codes(2, {{4, 3}, {0, 3}, {5, 3}});
  auto image = std::make_unique<TGIFImage>();
  TMemoryStream stream(b.Trailer().data);
  image->LoadFromStream(stream);
  ASSERT_EQ(image->Images->GetCount(), kFrames);
  const std::uint64_t before = TGIFList::ItemSteps();
  image.reset();
  EXPECT_LT(TGIFList::ItemSteps() - before, 4u * kFrames);
}

TEST(GifModel, TheDefaultSpeedReachesNewImages) {
  const int saved = GIFImageDefaultAnimationSpeed;
  GIFImageDefaultAnimationSpeed = 250;
  EXPECT_EQ(TGIFImage().AnimationSpeed, 250);
  GIFImageDefaultAnimationSpeed = saved;
}

}  // namespace
}  // namespace velmora::test
