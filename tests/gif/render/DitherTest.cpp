#include <gtest/gtest.h>

#include <array>

#include "gif/render/GIFDither.h"
#include "tests/gif/render/Frames.h"

namespace velmora {
namespace {

using namespace test;  // the frame helpers

using Indices = std::vector<int>;

// The first n palette indices of a row of an 8-bit bitmap.
Indices Row(TBitmap& bitmap, int y, int n) {
  Indices out;
  for (int x = 0; x < n; ++x) out.push_back(Index(bitmap, x, y));
  return out;
}

// Records what the ditherer looks up.
class RecordingLookup : public TNetscapeColorLookup {
 public:
  RecordingLookup() : TNetscapeColorLookup(nullptr) {}
  int Lookup(int& r, int& g, int& b) override {
    asked.push_back({r, g, b});
    return TNetscapeColorLookup::Lookup(r, g, b);
  }
  std::vector<std::array<int, 3>> asked;
};

TEST(CubeLookup, MapsOntoTheWebPaletteEntryOfThatColour) {
  TNetscapeColorLookup lookup(nullptr);
  int r = 51, g = 102, b = 153;
  EXPECT_EQ(lookup.Lookup(r, g, b), 51);
  EXPECT_EQ(r, 51);
  EXPECT_EQ(b, 153);
  r = g = b = 128;
  EXPECT_EQ(lookup.Lookup(r, g, b), 86);
  EXPECT_EQ(g, 102);
  r = 255, g = 0, b = 47;  // 47 + 3 reaches 50: still level 0
  EXPECT_EQ(lookup.Lookup(r, g, b), 180);
  HPALETTE web = WebPalette();
  PALETTEENTRY e[216];
  ASSERT_EQ(GetPaletteEntries(web, 0, 216, e), 216u);
  EXPECT_EQ(e[51].peRed, 51);
  EXPECT_EQ(e[51].peGreen, 102);
  EXPECT_EQ(e[51].peBlue, 153);
  EXPECT_EQ(e[215].peBlue, 255);
  DeleteObject(web);
}

TEST(FloydSteinberg, CarriesSevenSixteenthsToTheNextPixel) {
  RecordingLookup lookup;
  TFloydSteinbergDitherer d(4, lookup);
  int r = 128, g = 128, b = 128;
  EXPECT_EQ(d.Dither(r, g, b), 86);
  EXPECT_EQ(r, 102);
  r = g = b = 128;
  d.Dither(r, g, b);
  ASSERT_EQ(lookup.asked.size(), 2u);
  EXPECT_EQ(lookup.asked[1],
            (std::array<int, 3>{139, 139, 139}));  // 128 + (182 + 8) / 16
  EXPECT_EQ(d.GetColumn(), 2);
  d.NextLine();
  EXPECT_EQ(d.GetDirection(), -1);
  EXPECT_EQ(d.GetColumn(), 3);
}

TEST(DitherBitmap, CubeColoursStayCleanAndTheSecondRowRunsRightToLeft) {
  auto image = MakeImage(4, 2);
  image->DrawOptions = GIFDrawOptionBit(goDither);  // regardless of the display
  // Row 0: a cube colour; row 1: grey 140, whose carried error tips every
  // other pixel over to the next level, starting from the row's scan start.
  TGIFSubImage* frame = AddFrame(*image, 0, 0, 4, 2, {0, 0, 0, 0, 1, 1, 1, 1},
                                 {RGB(51, 51, 51), RGB(140, 140, 140)});
  TBitmap* b = frame->GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Row(*b, 0, 4), (Indices{43, 43, 43, 43}));
  EXPECT_EQ(Row(*b, 1, 4), (Indices{129, 86, 129, 86}));  // x = 3 first: no error yet
  EXPECT_EQ(b->GetCanvas().GetPixel(2, 1), RGB(153, 153, 153));
}

TEST(DitherBitmap, AnIndexBeyondTheTableTakesTheFirstEntryWithAWarning) {
  auto image = MakeImage(3, 1);
  image->DrawOptions = GIFDrawOptionBit(goDither);
  std::vector<std::string> warnings;
  image->OnWarning = [&](void*, TGIFSeverity, const std::string& m) {
    warnings.push_back(m);
  };
  TGIFSubImage* frame =
      AddFrame(*image, 0, 0, 3, 1, {1, 7, 0}, {RGB(51, 51, 51), RGB(255, 255, 255)});
  TBitmap* b = frame->GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Row(*b, 0, 3), (Indices{215, 43, 43}));  // entry 0: a cube colour, no error
  EXPECT_EQ(warnings, std::vector<std::string>{"Invalid color index"});
}

TEST(DitherBitmap, TransparentPixelsGetTheFillIndexAndTheMaskInBothDirections) {
  auto image = MakeImage(10, 2);
  image->DrawOptions = GIFDrawOptionBit(goDither);
  std::vector<std::uint8_t> px(20, 0);
  px[0] = 1;       // row 0 (left to right): pixel 0
  px[10 + 9] = 1;  // row 1 (right to left): pixel 9, its first
  px[10 + 0] = 1;  //                        and pixel 0, its last
  TGIFSubImage* frame =
      AddFrame(*image, 0, 0, 10, 2, px, {RGB(140, 140, 140), RGB(255, 255, 255)}, 1);
  TBitmap* b = frame->GetBitmap();
  ASSERT_TRUE(frame->HasMask());
  HBITMAP mask = frame->Mask.get();
  EXPECT_EQ(GetBitmapRow(mask, 1)[1], 0x40);  // pixel 9: byte 1, bit 0x40
  EXPECT_EQ(GetBitmapRow(mask, 1)[0], 0x80);
  EXPECT_EQ(GetBitmapRow(mask, 0)[0], 0x80);
  for (int x = 1; x < 9; ++x) EXPECT_FALSE(MaskBit(mask, x, 1)) << x;
  // Fill index of white: 36*5 + 6*5 + 5 + 1, past the cube's 216 entries.
  // The transparent pixel takes no part in the diffusion: the row after it
  // starts exactly like a row without it.
  EXPECT_EQ(Index(*b, 9, 1), 216);
  EXPECT_EQ(Index(*b, 0, 0), 216);
  EXPECT_EQ((Indices{Index(*b, 8, 1), Index(*b, 7, 1)}), (Indices{86, 129}));
  EXPECT_EQ((Indices{Index(*b, 1, 0), Index(*b, 2, 0)}), (Indices{86, 129}));
}

}  // namespace
}  // namespace velmora
