#include <gtest/gtest.h>

#include "platform/gdi/Clipboard.h"
#include "tests/gif/render/Frames.h"

namespace velmora {
namespace {

using test::AddFrame;
using test::MakeImage;

TEST(Registration, GifFilesOfAnyCaseReachTheGifGraphic) {
  // The unit registered itself before main.
  TGraphicFactory factory = TPicture::FindFileFormat("gif");
  ASSERT_TRUE(factory);
  EXPECT_NE(dynamic_cast<TGIFImage*>(factory().get()), nullptr);
  TPicture picture;
  picture.LoadFromFile(std::string(VELMORA_DATA_DIR) + "/t1.gif");
  auto* gif = dynamic_cast<TGIFImage*>(picture.GetGraphic());
  ASSERT_NE(gif, nullptr);
  EXPECT_GT(gif->Images->GetCount(), 0);

  EXPECT_NE(CF_GIF, 0);
  EXPECT_EQ(GetClipboardFormatName(CF_GIF), "GIF Image");
  EXPECT_TRUE(TPicture::FindClipboardFormat(CF_GIF));

  GIFUnitFinalize();
  EXPECT_FALSE(TPicture::FindFileFormat("GIF"));
  EXPECT_FALSE(TPicture::FindClipboardFormat(CF_GIF));
  GIFUnitInitialize();
  EXPECT_TRUE(TPicture::FindFileFormat("Gif"));
}

TEST(Registration, DisplayDepthDecidesAutomaticDithering) {
  SetScreenBitsPerPixel(8);
  MeasureDisplay();
  EXPECT_TRUE(PaletteDevice);
  EXPECT_TRUE(DoAutoDither);
  SetScreenBitsPerPixel(32);
  MeasureDisplay();
  EXPECT_FALSE(PaletteDevice);
  EXPECT_FALSE(DoAutoDither);
  auto image = MakeImage(1, 1, {clRed});
  EXPECT_FALSE(image->GetDoDither());  // default options on a colour display
}

TEST(Registration, RegisterDropsLoopFromTheDefaults) {
  const TGIFDrawOptions saved = GIFImageDefaultDrawOptions;
  EXPECT_EQ(saved, 0x060F);
  Register();
  EXPECT_EQ(GIFImageDefaultDrawOptions, 0x0607);
  GIFImageDefaultDrawOptions = saved;
}

TEST(Clipboard, GifTravelsAsGifDataAndAsABitmap) {
  auto image = MakeImage(2, 1, {clRed, clBlue});
  AddFrame(*image, 0, 0, 2, 1, {1, 0});
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  WORD format = 0;
  HANDLE data = nullptr;
  HPALETTE palette = nullptr;
  image->SaveToClipboardFormat(format, data, palette);
  EXPECT_EQ(format, CF_BITMAP);
  ASSERT_NE(data, nullptr);
  ASSERT_NE(GetClipboardData(CF_GIF), nullptr);

  TGIFImage back;
  back.LoadFromClipboardFormat(CF_GIF, nullptr, nullptr);
  ASSERT_EQ(back.Images->GetCount(), 1);
  EXPECT_EQ(back.Images->GetImage(0)->Data[0], 1);
  TBitmap bitmap;
  bitmap.LoadFromClipboardFormat(WORD(format), data, palette);
  EXPECT_EQ(bitmap.GetCanvas().GetPixel(0, 0), clBlue);
  DeleteObject(static_cast<HBITMAP>(data));
  DeleteObject(palette);
  EXPECT_THROW(back.LoadFromClipboardFormat(7, nullptr, nullptr), GIFException);

  // A clipboard that refuses the data: an error, and nothing handed out.
  int before = GdiLiveObjectCount();
  SetClipboardRefusesData(true);
  try {
    image->SaveToClipboardFormat(format, data, palette);
    ADD_FAILURE() << "no exception";
  } catch (const GIFException& e) {
    EXPECT_EQ(e.Message, "Failed to store GIF on clipboard");
  }
  SetClipboardRefusesData(false);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(GdiLiveObjectCount(), before);
  EmptyClipboard();
  CloseClipboard();
}

// Pasting a bitmap into a GIF image converts its pixels; a bitmap used to
// be fed to the GIF reader as BMP data and failed on the signature.
TEST(Clipboard, ABitmapPastesIntoAGifImage) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(TPixelFormat::pf24bit);
  bitmap.SetSize(3, 2);
  const TColor colors[] = {clRed, clWhite, RGB(1, 2, 3)};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) bitmap.GetCanvas().SetPixel(x, y, colors[(x + y) % 3]);
  WORD format = 0;
  HANDLE data = nullptr;
  HPALETTE palette = nullptr;
  bitmap.SaveToClipboardFormat(format, data, palette);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  ASSERT_TRUE(SetClipboardData(CF_BITMAP, data));

  TGIFImage image;
  image.LoadFromClipboardFormat(CF_BITMAP, nullptr, nullptr);
  ASSERT_EQ(image.Images->GetCount(), 1);
  EXPECT_EQ(image.GetWidth(), 3);
  EXPECT_EQ(image.GetHeight(), 2);
  auto canvas = test::Canvas(3, 2);
  image.Draw(canvas->GetCanvas(), Rect(0, 0, 3, 2));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(canvas->GetCanvas().GetPixel(x, y), colors[(x + y) % 3]) << x << "," << y;
  EmptyClipboard();
  CloseClipboard();
}

}  // namespace
}  // namespace velmora
