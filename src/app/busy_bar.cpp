#include "app/busy_bar.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionProgressBar>

namespace kaldra {

namespace {

constexpr int kFrameMs = 100;
constexpr int kStripe = 12;  // width of one stripe; the pattern repeats every two

}  // namespace

BusyBar::BusyBar(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 100);
  setTextVisible(false);
  connect(&frames_, &QTimer::timeout, this, [this] {
    phase_ = (phase_ + 3) % (2 * kStripe);
    update();
  });
}

void BusyBar::showProgress(int percent) {
  busy_ = false;
  frames_.stop();
  setValue(percent);
  update();
}

void BusyBar::showBusy() {
  busy_ = true;
  if (!frames_.isActive()) frames_.start(kFrameMs);
  update();
}

void BusyBar::paintEvent(QPaintEvent* event) {
  if (!busy_) return QProgressBar::paintEvent(event);
  QStyleOptionProgressBar option;
  initStyleOption(&option);
  option.progress = option.maximum;  // a full bar, striped below
  QPainter painter(this);
  style()->drawControl(QStyle::CE_ProgressBar, &option, &painter, this);

  QRectF inner = QRectF(rect()).adjusted(2, 2, -2, -2);
  QPainterPath clip;
  clip.addRoundedRect(inner, 2, 2);
  painter.setClipPath(clip);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 70));
  for (int x = -2 * kStripe + phase_; x < width() + height(); x += 2 * kStripe) {
    QPolygonF stripe;
    stripe << QPointF(x, inner.bottom()) << QPointF(x + kStripe, inner.bottom())
           << QPointF(x + kStripe + inner.height(), inner.top())
           << QPointF(x + inner.height(), inner.top());
    painter.drawPolygon(stripe);
  }
}

}  // namespace kaldra
