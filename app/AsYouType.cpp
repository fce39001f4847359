#include "app/AsYouType.h"

#include <QAction>
#include <QFont>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <utility>

#include "platform/richedit/GbkQt.h"

namespace velmora {

namespace {

class TQtOneShot : public IOneShot {
 public:
  explicit TQtOneShot(QObject* owner) : timer_(new QTimer(owner)) {
    timer_->setSingleShot(true);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] {
      // The step may start the timer again.
      if (auto step = std::exchange(step_, nullptr)) step();
    });
  }
  ~TQtOneShot() override { delete timer_.data(); }
  void Start(std::chrono::milliseconds after, std::function<void()> step) override {
    step_ = std::move(step);
    if (timer_) timer_->start(after);
  }
  void Stop() override {
    if (timer_) timer_->stop();
    step_ = nullptr;
  }

 private:
  QPointer<QTimer> timer_;  // goes with this or with the owner, whichever first
  std::function<void()> step_;
};

// Light blue, apart from the window's pale green, so that the box tells the
// search that is on from across the room.
const QColor kExtendedTint(218, 234, 255);
const QColor kBadgeColor(40, 100, 200);

// 拼音、English、汉字，或 * ? 通配符
const char* const kExtendedHint =
    "\xE6\x8B\xBC\xE9\x9F\xB3\xE3\x80\x81"
    "English\xE3\x80\x81\xE6\xB1\x89\xE5\xAD\x97\xEF\xBC\x8C\xE6\x88\x96 * ? "
    "\xE9\x80\x9A\xE9\x85\x8D\xE7\xAC\xA6";
// 扩展搜寻已开启（Ctrl+E 关闭）
const char* const kBadgeTip =
    "\xE6\x89\xA9\xE5\xB1\x95\xE6\x90\x9C\xE5\xAF\xBB\xE5\xB7\xB2\xE5\xBC\x80\xE5\x90"
    "\xAF\xEF\xBC\x88"
    "Ctrl+E \xE5\x85\xB3\xE9\x97\xAD\xEF\xBC\x89";

QIcon BadgeIcon() {
  constexpr int kSize = 16;
  constexpr qreal kScale = 2;
  QPixmap pixmap(int(kSize * kScale), int(kSize * kScale));
  pixmap.setDevicePixelRatio(kScale);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(kBadgeColor);
  p.drawRoundedRect(QRectF(0.5, 0.5, kSize - 1, kSize - 1), 3, 3);
  QFont font;
  font.setPixelSize(12);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter,
             QString::fromUtf8("\xE6\x89\xA9"));  // 扩
  return QIcon(pixmap);
}

}  // namespace

std::unique_ptr<IOneShot> MakeQtOneShot(QObject* owner) {
  return std::make_unique<TQtOneShot>(owner);
}

std::string TypedQuery(const std::string& boxText) {
  std::size_t first = boxText.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  std::size_t last = boxText.find_last_not_of(' ');
  std::string query = boxText.substr(first, last - first + 1);
  return IsTypedQuery(query) ? query : std::string();
}

bool IsTypedQuery(const std::string& line) {
  if (line.size() < 2 || line.front() == ' ' || line.back() == ' ') return false;
  for (unsigned char c : line)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

TAsYouType::TAsYouType(IQueryWindow& window,
                       std::function<void(const std::string&)> record, QObject* parent)
    : QObject(parent),
      window_(window),
      record_(std::move(record)),
      soon_(new QTimer(this)),
      stand_(MakeQtOneShot(this)) {
  // The search starts from the loop, not from inside the box's key
  // handling, and keys that came in one batch make one search.
  soon_->setSingleShot(true);
  soon_->setInterval(0);
  connect(soon_, &QTimer::timeout, this, [this] { window_.SearchAsTyped(); });
}

TAsYouType::~TAsYouType() = default;

void TAsYouType::SetStandTimer(std::unique_ptr<IOneShot> timer) {
  stand_->Stop();
  stand_ = std::move(timer);
}

void TAsYouType::Edited() {
  soon_->start();
  std::string typed = BoxText();
  // Kept only if the box still holds it when the time is up: a text put in
  // by Up, Down or the menu meanwhile is not one the user stood on.
  stand_->Start(kStandTime, [this, typed] {
    if (BoxText() == typed) record_(typed);
  });
}

std::string TAsYouType::BoxText() const {
  return GbkFromQString(window_.QueryText());
}

void TAsYouType::QueryEdited() {
  if (window_.ExtendedSearch()) Edited();
}

void TAsYouType::SearchKindChanged(bool extended) {
  if (!extended) Cancel();
}

void TAsYouType::CancelSearch() {
  soon_->stop();
}

void TAsYouType::Cancel() {
  soon_->stop();
  stand_->Stop();
}

QAction* MakeSearchKindBadge(QLineEdit& box) {
  QAction* badge = box.addAction(BadgeIcon(), QLineEdit::TrailingPosition);
  badge->setToolTip(QString::fromUtf8(kBadgeTip));
  badge->setVisible(false);
  return badge;
}

void ShowSearchKind(QLineEdit& box, QAction& badge, bool extended) {
  badge.setVisible(extended);
  if (!extended) {
    // Back to what the box inherits, as with no extended search at all.
    box.setPalette(QPalette());
    box.setPlaceholderText(QString());
    return;
  }
  QPalette tinted = box.palette();
  tinted.setColor(QPalette::Base, kExtendedTint);
  box.setPalette(tinted);
  box.setPlaceholderText(QString::fromUtf8(kExtendedHint));
}

}  // namespace velmora
