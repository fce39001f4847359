#include "app/StrokePanel.h"

#include <QLabel>
#include <QMouseEvent>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <algorithm>

#include "app/Settings.h"
#include "dict/DictFolder.h"
#include "gif/GIFImage.h"
#include "gif/render/GIFPainter.h"
#include "platform/qt/Image.h"
#include "strokes/StrokeData.h"
#include "strokes/StrokeDrawing.h"

namespace velmora {

namespace {

constexpr int kLargest = 150;
constexpr int kSmallest = 48;
constexpr int kBar = 20;  // the row of controls under the picture
const QString kWantedKey = QStringLiteral("strokes/shown");

// The one code point of text, when it is exactly one character.
std::optional<char32_t> OneCharacter(const QString& text) {
  const QList<uint> points = text.trimmed().toUcs4();
  if (points.size() != 1) return std::nullopt;
  return char32_t(points[0]);
}

bool IsHan(char32_t c) {
  return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3FFFF);
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
      FGlyph(new QLabel(this)),
      FClose(new QToolButton(this)),
      FBack(new QToolButton(this)),
      FPlay(new QToolButton(this)),
      FForward(new QToolButton(this)),
      FCount(new QLabel(this)) {
  FImage->SetBackground(clWhite);
  // Clicks on the picture are the panel's: they replay it.
  FImage->setAttribute(Qt::WA_TransparentForMouseEvents);
  FImage->setCursor(Qt::PointingHandCursor);
  setCursor(Qt::PointingHandCursor);
  setToolTip(QStringLiteral("笔顺：单击重放"));
  FNote->setAlignment(Qt::AlignCenter);
  FNote->setWordWrap(true);
  FNote->hide();
  FGlyph->setAlignment(Qt::AlignCenter);
  FGlyph->setAttribute(Qt::WA_TransparentForMouseEvents);
  FGlyph->setStyleSheet(QStringLiteral("background: white; color: #202020"));
  FGlyph->hide();
  FClose->setText(QStringLiteral("×"));
  FClose->setAutoRaise(true);
  FClose->setToolTip(QStringLiteral("关闭笔顺"));
  connect(FClose, &QToolButton::clicked, this, [this] { Close(); });
  FCount->setAlignment(Qt::AlignCenter);
  FCount->setCursor(Qt::ArrowCursor);
  // The window's tab order is the designed one; the panel takes no part in
  // it, and has keys of its own instead.
  struct TControl {
    QToolButton* Button;
    QStyle::StandardPixmap Icon;
    const char* Tip;
    QKeySequence Keys;
    std::function<void()> Action;
  };
  const TControl controls[] = {
      {FBack, QStyle::SP_MediaSeekBackward, "上一笔 (Ctrl+,)",
       QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] { Step(false); }},
      {FPlay, QStyle::SP_MediaPause, "暂停/播放 (Ctrl+P)",
       QKeySequence(Qt::CTRL | Qt::Key_P), [this] { TogglePlay(); }},
      {FForward, QStyle::SP_MediaSeekForward, "下一笔 (Ctrl+.)",
       QKeySequence(Qt::CTRL | Qt::Key_Period), [this] { Step(true); }},
  };
  for (const TControl& c : controls) {
    c.Button->setIcon(style()->standardIcon(c.Icon));
    c.Button->setAutoRaise(true);
    c.Button->setToolTip(QString::fromUtf8(c.Tip));
    c.Button->setCursor(Qt::ArrowCursor);
    connect(c.Button, &QToolButton::clicked, this, c.Action);
    auto* shortcut = new QShortcut(c.Keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, c.Action);
  }
  for (QToolButton* b : {FClose, FBack, FPlay, FForward}) b->setFocusPolicy(Qt::NoFocus);
  FWanted = TSettings::Value(kWantedKey, true).toBool();
  hide();
}

TStrokePanel::~TStrokePanel() = default;

void TStrokePanel::Place(const TPartRoom& room) {
  Place(room.Left, room.RowTop, room.Right);
}

void TStrokePanel::SearchShown(const QString& box, IRichEdit& /*view*/) {
  ShowQuery(box);
}

void TStrokePanel::Place(int left, int rowTop, int limitRight) {
  const int top = 4;
  const int side = std::clamp(std::min(rowTop - 8 - top, limitRight - left), 0, kLargest);
  setGeometry(left, top, side, side);
  // The picture square above the row of controls, centred.
  const int picture = std::max(side - kBar, 0);
  const int inset = (side - picture) / 2;
  FImage->setGeometry(inset, 0, picture, picture);
  FGlyph->setGeometry(inset, 0, picture, picture);
  QFont font(QStringLiteral("Noto Sans CJK SC"));
  font.setPixelSize(std::max(picture * 3 / 4, 1));
  FGlyph->setFont(font);
  FNote->setGeometry(4, 4, side - 8, side - 8);
  FClose->setGeometry(side - 18, 0, 18, 18);
  FClose->raise();
  const int button = kBar, row = side - kBar;
  FBack->setGeometry(0, row, button, button);
  FPlay->setGeometry(button, row, button, button);
  FForward->setGeometry(2 * button, row, button, button);
  FCount->setGeometry(3 * button, row, std::max(side - 3 * button, 0), button);
}

void TStrokePanel::SetDataFile(std::string file) {
  FDataFile = std::move(file);
  FData.reset();
  FDataTried = false;
}

std::string TStrokePanel::DataFile() const {
  return FDataFile.empty() ? DefaultDataFile() : FDataFile;
}

TStrokeData* TStrokePanel::Data() {
  if (!FDataTried) {
    FDataTried = true;
    try {
      FData = std::make_unique<TStrokeData>(TStrokeData::Open(DataFile()));
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
    std::optional<TCharacterStrokes> strokes = data->Find(c);
    if (!strokes || strokes->Strokes.empty()) return false;
    FStrokes = std::move(strokes);
    FCharacter = c;
    Animate(0);
    return true;
  } catch (const std::exception&) {
    FStrokes.reset();
    FGIF.clear();
    FCharacter = 0;
    return false;
  }
}

void TStrokePanel::Animate(int first) {
  TStrokeAnimationOptions options;
  options.Size = FImage->width();
  options.FirstStroke = first;
  TGIFImage written;
  FFrameStrokes = StrokeGIF(written, *FStrokes, options);
  TMemoryStream stream;
  written.SaveToStream(stream);
  FGIF = stream.Bytes();
  FFirst = first;
  Load();
}

int TStrokePanel::StrokeCount() const {
  return FStrokes ? int(FStrokes->Strokes.size()) : 0;
}

void TStrokePanel::Replay() {
  if (FFirst != 0 && FStrokes) {
    try {
      Animate(0);
    } catch (const std::exception&) {
    }
    return;
  }
  Load();
}

void TStrokePanel::Load() {
  if (FGIF.empty()) return;
  // Read back from what was written, so the window shows what a file would.
  TMemoryStream stream(FGIF);
  auto gif = std::make_unique<TGIFImage>();
  gif->LoadFromStream(stream);
  gif->OnAfterFrame = [this](void* painter) {
    FrameShown(static_cast<TGIFPainter*>(painter)->GetActiveImage());
  };
  FPaused = false;
  FStill = false;
  FrameShown(0);
  ShowPicture(std::move(gif));
}

void TStrokePanel::ShowPicture(std::unique_ptr<TGIFImage> gif) {
  FImage->Picture().SetGraphic(std::move(gif));
  FNote->hide();
  FGlyph->hide();
  FImage->show();
  UpdateControls();
}

// The painter tells each frame it shows; a paused panel keeps its count.
void TStrokePanel::FrameShown(int frame) {
  if (FPaused || FStill || frame < 0 || std::size_t(frame) >= FFrameStrokes.size())
    return;
  const int done = FFrameStrokes[std::size_t(frame)];
  FWriting = done < StrokeCount();
  FShown = FWriting ? done + 1 : done;
  UpdateControls();
}

void TStrokePanel::UpdateControls() {
  const bool strokes = FStrokes && !FImage->isHidden();
  for (QWidget* w : std::initializer_list<QWidget*>{FBack, FPlay, FForward, FCount})
    w->setVisible(strokes);
  if (!strokes) return;
  FPlay->setIcon(
      style()->standardIcon(FPaused ? QStyle::SP_MediaPlay : QStyle::SP_MediaPause));
  FCount->setText(QStringLiteral("%1 / %2").arg(FShown).arg(StrokeCount()));
}

void TStrokePanel::TogglePlay() {
  if (!FStrokes || FGIF.empty() || !isVisible()) return;
  auto* gif = dynamic_cast<TGIFImage*>(FImage->Picture().GetGraphic());
  if (!FPaused) {
    if (gif) gif->PaintPause();
    FPaused = true;
  } else if (!FStill && gif) {
    FPaused = false;
    gif->PaintResume();
  } else {
    // From a still: the loop entered at the next stroke to write, or at the
    // start once all are done.
    try {
      Animate(FShown < StrokeCount() ? FShown : 0);
    } catch (const std::exception&) {
      return;
    }
  }
  UpdateControls();
}

void TStrokePanel::Step(bool forward) {
  if (!FStrokes || !isVisible()) return;
  if (!FPaused) TogglePlay();
  // Half-written, the stroke being written is the next step forward and
  // the one before it the step back.
  const int done = FWriting ? FShown - 1 : FShown;
  const int shown = std::clamp(forward    ? done + 1
                               : FWriting ? done
                                          : done - 1,
                               0, StrokeCount());
  auto gif = std::make_unique<TGIFImage>();
  try {
    StrokeStill(*gif, *FStrokes, FImage->width(), std::size_t(shown));
  } catch (const std::exception&) {
    return;
  }
  FShown = shown;
  FWriting = false;
  FStill = true;
  ShowPicture(std::move(gif));
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
  if (FWanted && c && IsHan(*c) && width() >= kSmallest) {
    ShowGlyph(*c);
    show();
    return;
  }
  hide();
}

void TStrokePanel::Choose(const QString& text) {
  FWanted = true;
  SaveWanted();
  const std::optional<char32_t> c = OneCharacter(text);
  const bool played = c && Play(*c);
  if (!played && c && IsHan(*c)) {
    ShowGlyph(*c);
  } else if (!played) {
    Forget();
    FNote->setText(c ? QStringLiteral("没有“%1”的笔顺").arg(text.trimmed())
                     : QStringLiteral("请选择一个汉字"));
    FNote->show();
  }
  show();
  raise();
}

// Nothing to play: no picture, no character, no controls.
void TStrokePanel::Forget() {
  FImage->Picture().SetGraphic(nullptr);
  FImage->hide();
  FNote->hide();
  FGlyph->hide();
  FCharacter = 0;
  FGIF.clear();
  FStrokes.reset();
  UpdateControls();
}

// No strokes to play: the character as the font draws it, so the panel is
// not empty beside its entry.
void TStrokePanel::ShowGlyph(char32_t c) {
  Forget();
  FGlyph->setText(QString::fromUcs4(&c, 1));
  FGlyph->setToolTip(QStringLiteral("没有笔顺数据"));
  FGlyph->show();
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
