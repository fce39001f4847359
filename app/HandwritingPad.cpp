#include "app/HandwritingPad.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <optional>

#include "strokes/StrokeData.h"

namespace velmora {

namespace {

constexpr int CanvasSide = 300;
constexpr int CandidateCount = 10;
constexpr int CandidateSide = 40;
constexpr int Gap = 8;  // between the window and the pad

const QString NoteLoading = QStringLiteral("正在读取笔画数据…");
const QString NoteDraw = QStringLiteral("在此写一个字");

}  // namespace

// Where the strokes are drawn. Pen and touch reach it as mouse events,
// which Qt makes of them when a widget does not take them itself.
class THandwritingCanvas : public QWidget {
 public:
  explicit THandwritingCanvas(THandwritingPad* pad) : QWidget(pad), FPad(pad) {
    setFixedSize(CanvasSide, CanvasSide);
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton) return;
    FStroke = {Point(e)};
    update();
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (!(e->buttons() & Qt::LeftButton) || FStroke.empty()) return;
    // A hand gives a few hundred points a stroke; beyond the recognizer's
    // limit the rest of the stroke adds nothing.
    if (FStroke.size() < HandMostPoints / HandMostStrokes) FStroke.push_back(Point(e));
    update();
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton || FStroke.empty()) return;
    FStroke.push_back(Point(e));
    THandStroke done;
    done.swap(FStroke);
    FPad->StrokeDone(std::move(done));
    update();
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    // A cross of faint lines to write the character around.
    p.setPen(QPen(QColor(225, 225, 225), 1, Qt::DashLine));
    p.drawLine(width() / 2, 0, width() / 2, height());
    p.drawLine(0, height() / 2, width(), height() / 2);
    p.setPen(QPen(QColor(200, 200, 200), 1));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    auto draw = [&p](const THandStroke& s) {
      if (s.empty()) return;
      QPainterPath path(QPointF(s[0].X, s[0].Y));
      for (const THandPoint& q : s) path.lineTo(q.X, q.Y);
      if (s.size() == 1) path.lineTo(s[0].X + 0.1, s[0].Y);
      p.drawPath(path);
    };
    for (const THandStroke& s : FPad->Drawing()) draw(s);
    draw(FStroke);
  }

 private:
  static THandPoint Point(QMouseEvent* e) {
    return {e->position().x(), e->position().y()};
  }
  THandwritingPad* FPad;
  THandStroke FStroke;
};

THandwritingPad::THandwritingPad(QWidget* owner, std::string dataFile)
    : QWidget(owner, Qt::Tool), FDataFile(std::move(dataFile)) {
  setWindowTitle(QStringLiteral("手写"));
  FCanvas = new THandwritingCanvas(this);
  FNote = new QLabel(NoteDraw, this);
  FUndo = new QPushButton(QStringLiteral("撤销"), this);
  FClear = new QPushButton(QStringLiteral("清除"), this);
  FUndo->setShortcut(QKeySequence::Undo);
  connect(FUndo, &QPushButton::clicked, this, [this] { Undo(); });
  connect(FClear, &QPushButton::clicked, this, [this] { Clear(); });

  // The candidates' strip keeps its height when it is empty, so that the
  // pad does not change size under the pen.
  auto* strip = new QWidget(this);
  strip->setFixedHeight(CandidateSide + 4);
  auto* row = new QHBoxLayout(strip);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  QFont large = font();
  large.setPixelSize(CandidateSide * 3 / 4);
  for (int i = 0; i < CandidateCount; ++i) {
    auto* b = new QToolButton(this);
    b->setFixedSize(CandidateSide, CandidateSide + 4);
    b->setFont(large);
    b->setAutoRaise(true);
    b->setVisible(false);
    connect(b, &QToolButton::clicked, this, [this, b] {
      if (OnChoose && !b->text().isEmpty()) OnChoose(b->text());
    });
    row->addWidget(b);
    FButtons.push_back(b);
  }
  row->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(FNote, 1);
  buttons->addWidget(FUndo);
  buttons->addWidget(FClear);
  auto* column = new QVBoxLayout(this);
  column->addWidget(FCanvas, 0, Qt::AlignHCenter);
  column->addWidget(strip);
  column->addLayout(buttons);
  column->setSizeConstraint(QLayout::SetFixedSize);
  strip->setFixedWidth(std::max(CanvasSide, CandidateCount * CandidateSide));
}

THandwritingPad::~THandwritingPad() {
  {
    std::lock_guard lock(FMutex);
    FStop = true;
  }
  FWake.notify_all();
  if (FWorker.joinable()) FWorker.join();
}

void THandwritingPad::ShowBeside(const QRect& frame) {
  if (!FWorker.joinable()) {
    FNote->setText(NoteLoading);
    FWorker = std::thread([this] { Work(); });
  }
  adjustSize();
  const QSize size = frameGeometry().size().expandedTo(sizeHint());
  QRect room = QGuiApplication::primaryScreen()->availableGeometry();
  if (QScreen* s = QGuiApplication::screenAt(frame.center()))
    room = s->availableGeometry();
  // Right of the window, else left of it, else wherever the screen has room
  // (a screen too small for both cannot help covering something).
  QPoint at(frame.right() + 8, frame.top());
  if (at.x() + size.width() > room.right()) at.setX(frame.left() - 8 - size.width());
  if (at.x() < room.left()) at.setX(room.right() - size.width());
  at.setY(std::clamp(at.y(), room.top(),
                     std::max(room.top(), room.bottom() - size.height())));
  move(at);
  show();
  raise();
  activateWindow();
}

QPoint THandwritingPad::PlaceBeside(const QRect& frame, QSize size, const QRect& room) {
  // Right of the window, else left of it, else at the screen's right edge (a
  // screen too small for both cannot help covering something).
  QPoint at(frame.right() + 1 + Gap, frame.top());
  if (at.x() + size.width() - 1 > room.right())
    at.setX(frame.left() - Gap - size.width());
  if (at.x() < room.left())
    at.setX(std::max(room.left(), room.right() + 1 - size.width()));
  at.setY(std::clamp(at.y(), room.top(),
                     std::max(room.top(), room.bottom() + 1 - size.height())));
  return at;
}

QWidget* THandwritingPad::Canvas() const {
  return FCanvas;
}

QString THandwritingPad::Candidates() const {
  QString text;
  for (QToolButton* b : FButtons)
    if (b->isVisibleTo(this)) text += b->text();
  return text;
}

void THandwritingPad::StrokeDone(THandStroke stroke) {
  if (FDrawing.size() >= HandMostStrokes) return;
  FDrawing.push_back(std::move(stroke));
  Ask();
}

void THandwritingPad::Undo() {
  if (FDrawing.empty()) return;
  FDrawing.pop_back();
  FCanvas->update();
  Ask();
}

void THandwritingPad::Clear() {
  FDrawing.clear();
  FCanvas->update();
  Ask();
}

void THandwritingPad::Ask() {
  FAsked = std::chrono::steady_clock::now();
  {
    std::lock_guard lock(FMutex);
    FRequest = FDrawing;
    ++FGeneration;
    FPending = true;
  }
  FWake.notify_all();
}

void THandwritingPad::Show(unsigned generation, std::vector<THandCandidate> found,
                           QString note) {
  {
    std::lock_guard lock(FMutex);
    if (generation != FGeneration) return;  // the drawing has changed since
  }
  for (int i = 0; i < FButtons.size(); ++i) {
    const bool there = i < int(found.size());
    FButtons[i]->setText(there ? QString::fromUcs4(&found[i].CodePoint, 1) : QString());
    FButtons[i]->setVisible(there);
  }
  FNote->setText(note);
  FLatencyMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - FAsked)
          .count();
  emit CandidatesShown();
}

// The worker: reads the stroke data once, then answers the latest drawing
// whenever there is one, handing the candidates to the GUI thread.
void THandwritingPad::Work() {
  std::optional<THandRecognizer> recognizer;
  QString failure;
  try {
    recognizer.emplace(TStrokeData::Open(FDataFile));
  } catch (const std::exception& e) {
    failure = QStringLiteral("没有笔画数据：") + QString::fromLocal8Bit(e.what());
  }
  QMetaObject::invokeMethod(
      this, [this, failure] { FNote->setText(failure.isEmpty() ? NoteDraw : failure); },
      Qt::QueuedConnection);
  for (;;) {
    THandDrawing drawing;
    unsigned generation;
    {
      std::unique_lock lock(FMutex);
      FWake.wait(lock, [this] { return FStop || FPending; });
      if (FStop) return;
      drawing.swap(FRequest);
      generation = FGeneration;
      FPending = false;
    }
    std::vector<THandCandidate> found;
    QString note = drawing.empty() ? NoteDraw : QString();
    if (!recognizer) {
      note = failure;
    } else {
      try {
        found = recognizer->Recognize(drawing, CandidateCount);
      } catch (const EHandDrawing& e) {
        note = QString::fromLocal8Bit(e.what());
      }
    }
    QMetaObject::invokeMethod(
        this,
        [this, generation, found = std::move(found), note] {
          Show(generation, found, note);
        },
        Qt::QueuedConnection);
  }
}

}  // namespace velmora
