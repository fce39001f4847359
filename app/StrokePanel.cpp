#include "app/StrokePanel.h"

#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <algorithm>

#include "app/Settings.h"
#include "dict/DictFolder.h"
#include "gif/GIFImage.h"
#include "platform/qt/Image.h"
#include "strokes/StrokeData.h"
#include "strokes/StrokeDrawing.h"

namespace velmora {

namespace {

constexpr int kLargest = 150;
constexpr int kSmallest = 48;
const QString kWantedKey = QStringLiteral("strokes/shown");

// The one code point of text, when it is exactly one character.
std::optional<char32_t> OneCharacter(const QString& text) {
  const QList<uint> points = text.trimmed().toUcs4();
  if (points.size() != 1) return std::nullopt;
  return char32_t(points[0]);
}

// The window works in the dictionary's folder. Without data there or
// installed, opening the file in the folder says what is missing.
std::string DefaultDataFile() {
  return StrokeDataFile(".").value_or(StrokeFileName);
}

}  // namespace

TStrokePanel::TStrokePanel(QWidget* parent)
    : QWidget(parent),
      FImage(new TImage(this)),
      FNote(new QLabel(this)),
      FClose(new QToolButton(this)) {
  FImage->SetBackground(clWhite);
  // Clicks on the picture are the panel's: they replay it.
  FImage->setAttribute(Qt::WA_TransparentForMouseEvents);
  FImage->setCursor(Qt::PointingHandCursor);
  setCursor(Qt::PointingHandCursor);
  setToolTip(QStringLiteral("笔顺：单击重放"));
  FNote->setAlignment(Qt::AlignCenter);
  FNote->setWordWrap(true);
  FNote->hide();
  FClose->setText(QStringLiteral("×"));
  FClose->setAutoRaise(true);
  // The window's tab order is the designed one; the panel takes no part in it.
  FClose->setFocusPolicy(Qt::NoFocus);
  FClose->setToolTip(QStringLiteral("关闭笔顺"));
  connect(FClose, &QToolButton::clicked, this, [this] { Close(); });
  FWanted = TSettings::Value(kWantedKey, true).toBool();
  hide();
}

TStrokePanel::~TStrokePanel() = default;

void TStrokePanel::Place(int left, int rowTop, int limitRight) {
  const int top = 4;
  const int side = std::clamp(std::min(rowTop - 8 - top, limitRight - left), 0, kLargest);
  setGeometry(left, top, side, side);
  FImage->setGeometry(0, 0, side, side);
  FNote->setGeometry(4, 4, side - 8, side - 8);
  FClose->setGeometry(side - 18, 0, 18, 18);
  FClose->raise();
}

void TStrokePanel::SetDataFile(std::string file) {
  FDataFile = std::move(file);
  FData.reset();
  FDataTried = false;
}

TStrokeData* TStrokePanel::Data() {
  if (!FDataTried) {
    FDataTried = true;
    try {
      FData = std::make_unique<TStrokeData>(
          TStrokeData::Open(FDataFile.empty() ? DefaultDataFile() : FDataFile));
    } catch (const EStrokeData&) {
      // Without the file there are no strokes to show; the rest of the
      // window does not need them.
    }
  }
  return FData.get();
}

bool TStrokePanel::Play(char32_t c) {
  TStrokeData* data = Data();
  if (!data || width() < kSmallest) return false;
  // Called from the event loop: whatever goes wrong (a damaged record, no
  // memory for the frames) leaves the panel without a picture, and the
  // window as it was.
  try {
    const std::optional<TCharacterStrokes> strokes = data->Find(c);
    if (!strokes) return false;
    TStrokeAnimationOptions options;
    options.Size = width();
    TGIFImage written;
    StrokeGIF(written, *strokes, options);
    TMemoryStream stream;
    written.SaveToStream(stream);
    FGIF = stream.Bytes();
    FCharacter = c;
    Replay();
    return true;
  } catch (const std::exception&) {
    FGIF.clear();
    FCharacter = 0;
    return false;
  }
}

void TStrokePanel::Replay() {
  if (FGIF.empty()) return;
  // Read back from what was written, so the window shows what a file would.
  TMemoryStream stream(FGIF);
  auto gif = std::make_unique<TGIFImage>();
  gif->LoadFromStream(stream);
  FImage->Picture().SetGraphic(std::move(gif));
  FNote->hide();
  FImage->show();
}

void TStrokePanel::ShowQuery(const QString& query) {
  const std::optional<char32_t> c = OneCharacter(query);
  if (FWanted && c && *c == FCharacter && !FGIF.empty()) {
    Replay();
    show();
    return;
  }
  if (FWanted && c && Play(*c)) {
    show();
    return;
  }
  hide();
}

void TStrokePanel::Choose(const QString& text) {
  FWanted = true;
  SaveWanted();
  const std::optional<char32_t> c = OneCharacter(text);
  if (!c || !Play(*c)) {
    FImage->Picture().SetGraphic(nullptr);
    FImage->hide();
    FCharacter = 0;
    FGIF.clear();
    FNote->setText(c ? QStringLiteral("没有“%1”的笔顺").arg(text.trimmed())
                     : QStringLiteral("请选择一个汉字"));
    FNote->show();
  }
  show();
  raise();
}

void TStrokePanel::Close() {
  FWanted = false;
  SaveWanted();
  hide();
}

void TStrokePanel::SaveWanted() {
  TSettings::SetValue(kWantedKey, FWanted);
}

void TStrokePanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) Replay();
  QWidget::mousePressEvent(event);
}

}  // namespace velmora
