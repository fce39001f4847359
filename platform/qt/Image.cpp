#include "platform/qt/Image.h"

#include <QMetaObject>
#include <QPainter>
#include <QThread>
#include <cstring>

#include "platform/classes/Application.h"
#include "platform/classes/ScopeGuard.h"

namespace velmora {

TImage::TImage(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  buffer_.SetPixelFormat(TPixelFormat::pf32bit);
  picture_.OnChange = [this](void*) { PictureChanged(); };
}

TImage::~TImage() {
  picture_.OnChange = nullptr;
}

void TImage::SetBackground(TColor color) {
  background_ = color;
  update();
}

void TImage::PictureChanged() {
  // A graphic may report a change while it draws; that paint is under way.
  if (painting_) return;
  auto refresh = [this] {
    failed_ = false;
    update();
  };
  if (QThread::currentThread() == thread()) {
    refresh();
  } else {
    QMetaObject::invokeMethod(this, refresh, Qt::QueuedConnection);
  }
}

QImage TImage::Render() {
  int w = width();
  int h = height();
  if (w <= 0 || h <= 0) return QImage();
  if (buffer_.GetWidth() != w || buffer_.GetHeight() != h) buffer_.SetSize(w, h);
  TCanvas& canvas = buffer_.GetCanvas();
  painting_ = true;
  canvas.Lock();
  {
    TScopeGuard unlock([&] {
      canvas.Unlock();
      painting_ = false;
    });
    canvas.SetBrushStyle(TBrushStyle::bsSolid);
    canvas.SetBrushColor(background_);
    canvas.FillRect(Rect(0, 0, w, h));
    TGraphic* graphic = picture_.GetGraphic();
    if (graphic && !graphic->GetEmpty()) {
      graphic->Draw(canvas, Rect(0, 0, graphic->GetWidth(), graphic->GetHeight()));
    }
  }

  QImage image(w, h, QImage::Format_RGB32);
  // Both are rows of little-endian 0x00RRGGBB pixels, top row first.
  for (int y = 0; y < h; ++y) {
    std::memcpy(image.scanLine(y), buffer_.ScanLine(y), std::size_t(w) * 4);
  }
  return image;
}

void TImage::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  if (!failed_) {
    try {
      painter.drawImage(0, 0, Render());
      return;
    } catch (const std::exception& e) {
      // Reported once; drawing it again would only fail again, on every paint.
      failed_ = true;
      Application().ShowException(e);
    }
  }
  painter.fillRect(rect(), QColor(GetRValue(background_), GetGValue(background_),
                                  GetBValue(background_)));
}

}  // namespace velmora
