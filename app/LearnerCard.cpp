#include "app/LearnerCard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/WordList.h"
#include "dict/DictFile.h"
#include "dict/ExtendedDisplay.h"
#include "dict/LearnerTables.h"
#include "dict/Pronunciation.h"
#include "platform/classes/Programs.h"
#include "platform/richedit/GbkQt.h"
#include "platform/richedit/RichEdit.h"

namespace velmora {

namespace {

QString BandText(int band) {
  // Filled dots for the more frequent bands: band 1 has five.
  QString dots;
  for (int i = 0; i < kBands; ++i)
    dots += i < kBands + 1 - band ? QChar(0x25CF) : QChar(0x25CB);
  return dots;
}

}  // namespace

TLearnerCard::TLearnerCard(QWidget* parent, TWordList& words)
    : QFrame(parent),
      FWords(words),
      FTitle(new QLabel(this)),
      FFacts(new QLabel(this)),
      FSpeaker(new QToolButton(this)),
      FStar(new QToolButton(this)) {
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
  QFont big = font();
  big.setPixelSize(20);
  FTitle->setFont(big);
  FTitle->setWordWrap(true);
  FFacts->setWordWrap(true);
  FFacts->setTextFormat(Qt::PlainText);
  FSpeaker->setIcon(style()->standardIcon(QStyle::SP_MediaVolume));
  FSpeaker->setText(QStringLiteral("朗读"));
  FSpeaker->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  FStar->setCheckable(true);
  FStar->setText(QStringLiteral("☆"));
  // Out of the window's designed tab order; the menu says the entry too.
  FSpeaker->setFocusPolicy(Qt::ClickFocus);
  FStar->setFocusPolicy(Qt::ClickFocus);
  connect(FSpeaker, &QToolButton::clicked, this, [this] { Speak(); });
  connect(FStar, &QToolButton::clicked, this, [this] { ToggleStar(); });

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(FSpeaker);
  buttons->addStretch();
  buttons->addWidget(FStar);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(2);
  layout->addWidget(FTitle);
  layout->addWidget(FFacts, 1, Qt::AlignTop);
  layout->addLayout(buttons);
  hide();
}

TLearnerCard::~TLearnerCard() {
  // A saying outlives no window.
  if (FSpeech) FSpeech->kill();
}

void TLearnerCard::Place(const TPartRoom& room) {
  Place(QRect(QPoint(room.Left, room.RowBottom + 8),
              QPoint(room.Right - 1, room.ViewTop - 7)));
}

void TLearnerCard::SearchShown(const QString& /*box*/, IRichEdit& view) {
  ShowEntry(FirstEntry(view.Text(), SharedDictImages()));
}

void TLearnerCard::ViewClicked(IRichEdit& view) {
  if (auto entry = EntryAt(view.Text(), view.SelStart(), SharedDictImages()))
    ShowEntry(entry);
}

void TLearnerCard::Place(const QRect& room) {
  FFits = room.width() >= 120 && room.height() >= kMinimumHeight;
  setGeometry(room);
  setVisible(FFits && FEntry.has_value());
}

void TLearnerCard::ShowEntry(const std::optional<TViewEntry>& entry) {
  FEntry = entry;
  if (!FEntry) {
    hide();
    return;
  }
  QString title = QStringFromGbk(FEntry->Key);
  if (!FEntry->Reading.empty())
    title += QStringLiteral("  ") + QStringFromGbk(ToneMarked(FEntry->Reading));
  FTitle->setText(title);
  const TCardFacts facts = LearnerTables(SharedDictImages())->Facts(FEntry->Key);
  QStringList lines;
  if (facts.Level) lines << QStringLiteral("HSK %1 级").arg(facts.Level);
  if (facts.Band) lines << QStringLiteral("词频 ") + BandText(facts.Band);
  if (!facts.Radical.empty())
    lines << QStringLiteral("部首 %1　笔画 %2")
                 .arg(QStringFromGbk(facts.Radical))
                 .arg(facts.Strokes);
  FFacts->setText(lines.join(QLatin1Char('\n')));
  UpdateButtons();
  setVisible(FFits);
}

bool TLearnerCard::CanSpeak() const {
  return FEntry && !SpokenReading(FEntry->Reading).empty() &&
         !FindProgram(kSpeechProgram).empty();
}

void TLearnerCard::UpdateButtons() {
  const bool reading = FEntry && !SpokenReading(FEntry->Reading).empty();
  const bool program = !FindProgram(kSpeechProgram).empty();
  FSpeaker->setEnabled(reading && program);
  FSpeaker->setToolTip(
      !program ? QStringLiteral("朗读需要 espeak-ng（Debian 软件包 espeak-ng）")
      : !reading ? QStringLiteral("这个条目没有拼音")
                 : QStringLiteral("朗读拼音"));
  const bool kept = FEntry && FWords.Contains(FEntry->Key);
  FStar->setChecked(kept);
  FStar->setText(kept ? QStringLiteral("★") : QStringLiteral("☆"));
  FStar->setToolTip(kept ? QStringLiteral("从单词本删除") : QStringLiteral("加入单词本"));
  FStar->setEnabled(FEntry.has_value());
}

bool TLearnerCard::Speak() {
  if (!FEntry) return false;
  const std::string spoken = SpokenReading(FEntry->Reading);
  const std::string program = FindProgram(kSpeechProgram);
  if (spoken.empty() || program.empty()) {
    UpdateButtons();
    return false;
  }
  if (FSpeech) {
    // Only the process this card started, by its own handle.
    FSpeech->kill();
    FSpeech->waitForFinished(1000);
    FSpeech->deleteLater();
  }
  FSpeech = new QProcess(this);
  FSpeech->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  FSpeech->setStandardInputFile(QProcess::nullDevice());
  FSpeech->setStandardOutputFile(QProcess::nullDevice());
  QStringList args;
  const std::vector<std::string> argv = SpeechArguments(program, spoken);
  for (std::size_t i = 1; i < argv.size(); ++i) args << QString::fromStdString(argv[i]);
  // An argument vector: no shell reads the reading.
  FSpeech->start(QString::fromStdString(program), args);
  return true;
}

void TLearnerCard::ToggleStar() {
  if (!FEntry) return;
  const bool ok =
      FWords.Contains(FEntry->Key) ? FWords.Remove(FEntry->Key) : FWords.Add(FEntry->Key);
  UpdateButtons();
  if (!ok) FStar->setToolTip(QStringLiteral("单词本无法保存（原因见标准错误输出）"));
}

}  // namespace velmora
