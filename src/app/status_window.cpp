#include "app/status_window.h"

#include <QCloseEvent>
#include <QFontMetrics>

#include <algorithm>
#include <cmath>

namespace kaldra {

namespace {

constexpr int kWidth = 520, kHeight = 170;

// Frames are given with the origin at the lower left, as the layout was drawn; Qt
// counts from the top.
QRect frame(int x, int y, int width, int height) {
  return QRect(x, kHeight - y - height, width, height);
}

bool fits(const QString& text, const QFontMetrics& metrics, int width, int lines) {
  QRect box = metrics.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, text);
  return box.width() <= width && box.height() < (lines + 1) * metrics.lineSpacing();
}

// A text that does not fit in `lines` lines gives way to an ellipsis: at its end, or in
// its middle where both ends matter (a path, a file name).
QString fitToLines(const QString& text, const QFont& font, int width, int lines,
                   Qt::TextElideMode mode) {
  QFontMetrics metrics(font);
  if (fits(text, metrics, width, lines)) return text;
  auto shortened = [&](int keep) {
    if (mode == Qt::ElideRight) return text.left(keep) + QChar(0x2026);
    return text.left((keep + 1) / 2) + QChar(0x2026) + text.right(keep / 2);
  };
  int low = 0, high = static_cast<int>(text.size());  // the longest that fits lies in [low, high)
  while (high - low > 1) {
    int middle = (low + high) / 2;
    (fits(shortened(middle), metrics, width, lines) ? low : high) = middle;
  }
  return shortened(low);
}

}  // namespace

StatusWindow::StatusWindow(const QPixmap& icon)
    : icon_(new QLabel(this)),
      label_(new QLabel(this)),
      bar_(new BusyBar(this)),
      detail_(new QLabel(this)) {
  setWindowTitle("Kaldrith");
  setFixedSize(kWidth, kHeight);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::WindowMinimizeButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setWindowIcon(icon);

  icon_->setGeometry(frame(20, 50, 96, 96));
  icon_->setPixmap(icon.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation));

  label_->setGeometry(frame(130, 110, 370, 36));
  QFont labelFont = label_->font();
  labelFont.setPixelSize(14);
  labelFont.setWeight(QFont::DemiBold);
  label_->setFont(labelFont);
  label_->setWordWrap(true);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignBottom);

  bar_->setGeometry(frame(130, 80, 370, 20));
  bar_->showProgress(0);

  detail_->setGeometry(frame(130, 30, 370, 44));
  QFont detailFont = detail_->font();
  detailFont.setPixelSize(11);
  detail_->setFont(detailFont);
  detail_->setWordWrap(true);
  detail_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPalette secondary = detail_->palette();
  secondary.setColor(QPalette::WindowText, secondary.color(QPalette::PlaceholderText));
  detail_->setPalette(secondary);
}

void StatusWindow::showStatus(const StatusUpdate& update) {
  label_->setText(
      fitToLines(QString::fromStdString(update.text), label_->font(), 370, 2, Qt::ElideRight));
  detail_->setText(
      fitToLines(QString::fromStdString(update.detail), detail_->font(), 370, 2, Qt::ElideMiddle));
  if (update.progress) {
    double percent =
        std::isfinite(*update.progress) ? std::clamp(*update.progress, 0.0, 100.0) : 0.0;
    bar_->showProgress(static_cast<int>(std::lround(percent)));
  } else {
    bar_->showBusy();
  }
}

void StatusWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  emit closedByUser();
}

}  // namespace kaldra
