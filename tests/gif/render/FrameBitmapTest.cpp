#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/gif/render/Frames.h"

namespace velmora {
namespace {

using namespace test;  // the frame helpers

const TColor kGreen = RGB(0, 200, 0);

TEST(FrameBitmap, HoldsTheFrameIndicesAndItsPalette) {
  auto image = MakeImage(4, 2, {clBlack, clWhite});
  TGIFSubImage* frame =
      AddFrame(*image, 0, 0, 3, 2, {0, 1, 2, 2, 1, 0}, {clRed, kGreen, clBlue});
  TBitmap* b = frame->GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->GetWidth(), 3);
  EXPECT_EQ(b->GetHeight(), 2);
  EXPECT_EQ(b->GetPixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(Index(*b, 0, 1), 2);
  EXPECT_EQ(b->GetCanvas().GetPixel(1, 0), kGreen);  // local table, not global
  EXPECT_EQ(b->GetCanvas().GetPixel(0, 1), clBlue);
  EXPECT_EQ(frame->GetBitmap(), b);  // cached
  EXPECT_FALSE(frame->HasMask());
}

TEST(FrameBitmap, MaskRowsAreWholeWordsWithTheLeftmostPixelInBitSeven) {
  auto image = MakeImage(17, 2, {clBlack, clWhite});
  std::vector<std::uint8_t> px(34, 0);
  px[0] = px[16] = 1;  // row 0: pixels 0 and 16
  px[17 + 8] = 1;      // row 1: pixel 8
  TGIFSubImage* frame = AddFrame(*image, 0, 0, 17, 2, px, {}, 1);
  ASSERT_TRUE(frame->HasMask());
  HBITMAP mask = frame->Mask.get();
  BITMAP bm;
  ASSERT_TRUE(GetObject(mask, sizeof bm, &bm));
  EXPECT_EQ(bm.bmBitsPixel, 1);
  EXPECT_EQ(bm.bmWidthBytes, 4);
  using Row = std::vector<std::uint8_t>;
  auto row = [mask](int y) {
    return Row(GetBitmapRow(mask, y), GetBitmapRow(mask, y) + 4);
  };
  EXPECT_EQ(row(0), (Row{0x80, 0, 0x80, 0}));  // pixels 0 and 16
  EXPECT_EQ(row(1), (Row{0, 0x80, 0, 0}));
}

TEST(FrameBitmap, TransparentFrameWithoutTheIndexGetsNoMaskUntilFreeMask) {
  auto image = MakeImage(3, 1, {clBlack, clWhite, clRed});
  TGIFSubImage* frame = AddFrame(*image, 0, 0, 3, 1, {0, 1, 0}, {}, 2);
  EXPECT_FALSE(frame->HasMask());
  EXPECT_FALSE(frame->NeedMask);
  TBitmap* b = frame->GetBitmap();
  EXPECT_FALSE(frame->HasMask());
  EXPECT_EQ(frame->GetBitmap(), b);  // not rendered again
  frame->Data[1] = 2;
  frame->FreeMask();
  EXPECT_TRUE(frame->NeedMask);
  EXPECT_TRUE(frame->HasMask());  // re-rendered with the mask
  EXPECT_TRUE(MaskBit(frame->Mask.get(), 1, 0));
  EXPECT_FALSE(MaskBit(frame->Mask.get(), 0, 0));
}

TEST(FrameBitmap, LargeFramesStartAsOneBitBitmapsAndStillRenderInFull) {
  EXPECT_EQ(NewFrameBitmap(1000, 600)->GetPixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(NewFrameBitmap(700, 700)->GetPixelFormat(), TPixelFormat::pfDevice);
  EXPECT_EQ(NewFrameBitmap(500000, 1)->GetPixelFormat(), TPixelFormat::pfDevice);
  auto image = MakeImage(1000, 600, {clBlack, clWhite, clRed, kGreen});
  TGIFSubImage* frame = AddFrame(*image, 0, 0, 1000, 600);
  frame->Data[599 * 1000 + 999] = 3;
  TBitmap* b = frame->GetBitmap();
  EXPECT_EQ(b->GetPixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(b->GetCanvas().GetPixel(999, 599), kGreen);
}

TEST(FrameBitmap, ReportsProgressEvery32RowsAndOnFailureEndsAtZero) {
  auto image = MakeImage(2, 33, {clBlack, clWhite});
  TGIFSubImage* frame = AddFrame(*image, 0, 0, 2, 33);
  std::vector<std::tuple<TProgressStage, int, std::string>> seen;
  image->OnProgress = [&](void*, TProgressStage stage, std::uint8_t pct, bool,
                          const TRect&,
                          const std::string& msg) { seen.emplace_back(stage, pct, msg); };
  frame->GetBitmap();
  using S = TProgressStage;
  const std::vector<std::tuple<TProgressStage, int, std::string>> expected = {
      {S::psStarting, 0, "Rendering..."},
      {S::psRunning, 0, "Rendering..."},
      {S::psRunning, 97, "Rendering..."},
      {S::psEnding, 100, "Rendering..."}};
  EXPECT_EQ(seen, expected);

  // No colour table anywhere: rendering fails, nothing is kept.
  auto bare = MakeImage(2, 2);
  TGIFSubImage* lonely = AddFrame(*bare, 0, 0, 2, 2);
  seen.clear();
  bare->OnProgress = image->OnProgress;
  EXPECT_THROW(lonely->GetBitmap(), GIFException);
  EXPECT_EQ(lonely->Bitmap, nullptr);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(std::get<0>(seen[1]), S::psEnding);
  EXPECT_EQ(std::get<1>(seen[1]), 0);
}

TEST(FramePalette, LocalThenImageThenCircularRequestFails) {
  auto image = MakeImage(2, 2, {clBlack, clWhite, clRed});
  TGIFSubImage* global = AddFrame(*image, 0, 0, 1, 1);
  TGIFSubImage* local = AddFrame(*image, 0, 0, 1, 1, {}, {kGreen});
  EXPECT_EQ(GetPaletteEntries(global->GetPalette(), 0, 0, nullptr), 3u);
  EXPECT_EQ(global->GetPalette(), image->GetPalette());
  EXPECT_EQ(global->Palette, nullptr);  // the image's, not kept by the frame
  HPALETTE p = local->GetPalette();
  PALETTEENTRY e{};
  ASSERT_EQ(GetPaletteEntries(p, 0, 1, &e), 1u);
  EXPECT_EQ(e.peGreen, 200);
  EXPECT_EQ(local->Palette.get(), p);

  // Neither a global table nor frame 0's own: the request comes back.
  auto bare = MakeImage(2, 2);
  AddFrame(*bare, 0, 0, 1, 1);
  try {
    bare->GetPalette();
    ADD_FAILURE() << "no exception";
  } catch (const GIFException& ex) {
    EXPECT_EQ(ex.Message, "No global or local color table defined");
  }
  EXPECT_FALSE(bare->PaletteGuard);
}

TEST(FramePalette, DitheringUsesTheCubeAndFollowsTheOptions) {
  auto image = MakeImage(2, 2, {clBlack, clWhite});
  TGIFSubImage* frame = AddFrame(*image, 0, 0, 2, 2);
  const TGIFDrawOptions dither = GIFDrawOptionBit(goDither);
  const TGIFDrawOptions autoDither = GIFDrawOptionBit(goAutoDither);
  const bool saved = DoAutoDither;
  DoAutoDither = false;
  image->DrawOptions = dither | autoDither;
  EXPECT_FALSE(image->GetDoDither());
  image->DrawOptions = dither;
  EXPECT_TRUE(image->GetDoDither());
  DoAutoDither = true;
  image->DrawOptions = dither | autoDither;
  EXPECT_TRUE(image->GetDoDither());
  image->DrawOptions = autoDither;
  EXPECT_FALSE(image->GetDoDither());
  image->DrawOptions = dither;
  EXPECT_EQ(GetPaletteEntries(frame->GetPalette(), 0, 0, nullptr), 216u);
  EXPECT_EQ(GetPaletteEntries(image->GetPalette(), 0, 0, nullptr), 216u);
  DoAutoDither = saved;
}

TEST(ImageBitmap, FullScreenFrameIsCopiedSmallerFrameDrawnAtItsPlace) {
  auto image = MakeImage(3, 2, {clBlack, clWhite, clRed});
  AddFrame(*image, 0, 0, 3, 2, {2, 2, 2, 2, 2, 1});
  TBitmap* b = image->GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->GetCanvas().GetPixel(0, 0), clRed);
  EXPECT_EQ(b->GetCanvas().GetPixel(2, 1), clWhite);
  EXPECT_EQ(image->GetBitmap(), b);

  auto small = MakeImage(4, 4, {clBlack, clWhite, clRed});
  AddFrame(*small, 2, 1, 1, 2, {2, 0});
  TBitmap* c = small->GetBitmap();
  EXPECT_EQ(c->GetWidth(), 4);
  EXPECT_EQ(c->GetHeight(), 4);
  EXPECT_EQ(c->GetCanvas().GetPixel(2, 1), clRed);
  EXPECT_EQ(c->GetCanvas().GetPixel(2, 2), clBlack);
  int changes = 0;
  small->OnChange = [&](void*) { ++changes; };
  c->GetCanvas().SetPixel(0, 0, clRed);
  EXPECT_EQ(changes, 1);  // the bitmap's changes are the image's
  EXPECT_EQ(MakeImage(2, 2)->GetBitmap(), nullptr);
}

TEST(ImageBitmap, ANewGlobalColourMapDropsTheImageBitmap) {
  // Frame 0 has a table of its own, so the image bitmap is made without
  // the image palette ever being cached.
  auto image = MakeImage(2, 1, {clBlack, clWhite});
  AddFrame(*image, 0, 0, 2, 1, {0, 1}, {clRed, clBlue});
  ASSERT_NE(image->GetBitmap(), nullptr);
  ASSERT_EQ(image->PaletteCache, nullptr);
  int changes = 0;
  image->OnChange = [&](void*) { ++changes; };
  image->Header->ColorMap->SetColor(1, clRed);
  EXPECT_EQ(image->Bitmap, nullptr);
  EXPECT_EQ(changes, 1);
}

TEST(FrameBitmap, APaletteChangeIsAnnouncedOnce) {
  auto image = MakeImage(2, 1, {clBlack, clWhite});
  TGIFSubImage* a = AddFrame(*image, 0, 0, 2, 1, {0, 1}, {clRed, clBlue});
  TGIFSubImage* b = AddFrame(*image, 0, 0, 2, 1, {1, 0});
  ASSERT_NE(a->GetBitmap(), nullptr);
  int changes = 0;
  image->OnChange = [&](void*) { ++changes; };
  a->ColorMap->SetColor(0, RGB(0, 255, 0));  // frees a's bitmap: palette modified
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(image->PaletteModified);
  ASSERT_NE(a->GetBitmap(), nullptr);  // the rendering that announces it
  EXPECT_EQ(changes, 2);
  EXPECT_FALSE(image->PaletteModified);
  ASSERT_NE(b->GetBitmap(), nullptr);
  a->FreeBitmap();
  ASSERT_NE(a->GetBitmap(), nullptr);
  EXPECT_EQ(changes, 2);
}

TEST(FrameBitmap, ALocalColourMapGivenLaterDropsTheFrameBitmap) {
  // Rendered with the image's table, before the frame has one of its own.
  auto image = MakeImage(2, 1, {clBlack, clWhite});
  TGIFSubImage* frame = AddFrame(*image, 0, 0, 2, 1, {1, 0});
  ASSERT_NE(frame->GetBitmap(), nullptr);
  ASSERT_EQ(frame->GetBitmap()->GetCanvas().GetPixel(0, 0), clWhite);
  frame->ColorMap->Add(clRed);
  frame->ColorMap->Add(clBlue);
  EXPECT_EQ(frame->Bitmap, nullptr);
  ASSERT_NE(frame->GetBitmap(), nullptr);
  EXPECT_EQ(frame->GetBitmap()->GetCanvas().GetPixel(0, 0), clBlue);
}

TEST(DIBWriter, RejectsBadFormatsSizesAndRows) {
  TBitmap b;
  EXPECT_THROW(TDIBWriter(b, TPixelFormat::pf32bit, 1, 1, nullptr), GIFException);
  EXPECT_THROW(TDIBWriter(b, TPixelFormat::pf8bit, 0, 1, nullptr), GIFException);
  TDIBWriter w(b, TPixelFormat::pf24bit, 2, 2, nullptr);
  EXPECT_THROW(w.RowPointer(2), EInvalidGraphicOperation);
  std::uint8_t* top = w.RowPointer(0);
  top[3] = 0x11;  // pixel 1: blue 0x11
  top[4] = 0x22;
  top[5] = 0x33;
  w.Commit();
  EXPECT_EQ(b.GetPixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(b.GetCanvas().GetPixel(1, 0), RGB(0x33, 0x22, 0x11));
  EXPECT_EQ(b.GetCanvas().GetPixel(1, 1), clBlack);
}

}  // namespace
}  // namespace velmora
