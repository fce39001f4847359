#include "app/Screenshot.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/Dict.h"

namespace velmora {

void ScheduleScreenshot(TForm4& form) {
  const char* file = std::getenv("VELMORA_SCREENSHOT_FILE");
  if (!file || !*file) return;
  QString target = QString::fromLocal8Bit(file);
  const char* query = std::getenv("VELMORA_SCREENSHOT_QUERY");
  QString text = QString::fromUtf8(query ? query : "");
  TForm4* f = &form;
  // Let the window appear and the pictures start before typing.
  QTimer::singleShot(800, f, [f, target, text] {
    if (!text.isEmpty()) {
      f->edSearch->setText(text);
      f->btnSearchClick(f->btnSearch);
    }
    QTimer::singleShot(800, f, [f, target] {
      // The heading and the first entries make the better picture.
      f->ResultEdit().ScrollToTop();
      if (!f->grab().save(target, "PNG")) {
        std::fprintf(stderr, "velmora: cannot write %s\n",
                     target.toLocal8Bit().constData());
      }
      QApplication::quit();
    });
  });
}

}  // namespace velmora
