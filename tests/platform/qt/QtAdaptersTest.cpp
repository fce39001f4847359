#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <sstream>

#include "platform/classes/Application.h"
#include "platform/classes/Canvas.h"
#include "platform/classes/Gbk.h"
#include "platform/qt/Image.h"
#include "platform/qt/QtApplication.h"

namespace velmora {
namespace {

// Draws a 10 x 6 block of one colour.
class TBlock : public TGraphic {
 public:
  int GetWidth() const override { return 10; }
  int GetHeight() const override { return 6; }
  bool GetEmpty() const override { return false; }
  void Draw(TCanvas& canvas, const TRect& rect) override {
    drawn = rect;
    canvas.SetBrushColor(color);
    canvas.FillRect(rect);
  }
  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) override {}
  std::unique_ptr<TGraphic> NewOfSameClass() const override {
    return std::make_unique<TBlock>();
  }
  void Recolour(TColor c) {
    color = c;
    Changed(this);
  }
  TColor color = RGB(200, 10, 20);
  TRect drawn;
};

TEST(Image, DrawsThePictureAtNaturalSizeOverTheBackground) {
  TImage image;
  image.resize(30, 20);
  image.SetBackground(RGB(233, 254, 221));
  QImage empty = image.Render();
  EXPECT_EQ(empty.pixelColor(5, 5), QColor(233, 254, 221));

  auto block = std::make_unique<TBlock>();
  TBlock* raw = block.get();
  image.Picture().SetGraphic(std::move(block));
  QImage shown = image.Render();
  EXPECT_EQ(raw->drawn, Rect(0, 0, 10, 6));
  EXPECT_EQ(shown.pixelColor(0, 0), QColor(200, 10, 20));
  EXPECT_EQ(shown.pixelColor(9, 5), QColor(200, 10, 20));
  EXPECT_EQ(shown.pixelColor(10, 5), QColor(233, 254, 221));
  EXPECT_EQ(shown.pixelColor(9, 6), QColor(233, 254, 221));

  // A change reported by the graphic brings a paint.
  image.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&image));
  QCoreApplication::processEvents();
  raw->drawn = TRect{};
  raw->Recolour(RGB(1, 2, 3));
  QCoreApplication::processEvents();
  EXPECT_EQ(raw->drawn, Rect(0, 0, 10, 6));
  EXPECT_EQ(image.Render().pixelColor(3, 3), QColor(1, 2, 3));
}

// The box is modal; read it and close it from the event loop it runs.
struct BoxSeen {
  QString title;
  QString text;
};
BoxSeen ShowAndRead(const std::exception& e) {
  BoxSeen seen;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen = {box->windowTitle(), box->text()};
    box->close();
  });
  ShowExceptionMessageBox(e);
  return seen;
}

TEST(ExceptionReport, MessageBoxCarriesTheMessageUnderTheApplicationTitle) {
  Application().Title = gbk::FromUtf8("Velmora辞典查询系统");
  BoxSeen own = ShowAndRead(EInvalidGraphic(gbk::FromUtf8("图片坏了")));
  EXPECT_EQ(own.title, QStringLiteral("Velmora辞典查询系统"));
  EXPECT_EQ(own.text, QStringLiteral("图片坏了"));
  // Not one of ours: its text has no known encoding and is left out.
  BoxSeen foreign = ShowAndRead(std::runtime_error("\xff\xfe"));
  EXPECT_EQ(foreign.title, QStringLiteral("Velmora辞典查询系统"));
  EXPECT_TRUE(foreign.text.isEmpty());
}

}  // namespace
}  // namespace velmora
