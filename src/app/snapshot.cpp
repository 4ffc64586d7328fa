#include "app/snapshot.h"

#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QPainter>

#include "core/config.h"

namespace kaldra {

namespace {

constexpr int kTitleBarHeight = 28;

// Headless platforms draw no window decorations, so the title bar is drawn here the
// way the platform would: the title centred, the window buttons at the left.
QImage withTitleBar(const QImage& content, const QString& title) {
  QImage framed(content.width(), content.height() + kTitleBarHeight, QImage::Format_ARGB32);
  framed.fill(Qt::white);
  QPainter painter(&framed);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient gradient(0, 0, 0, kTitleBarHeight);
  gradient.setColorAt(0, QColor(0xEC, 0xEC, 0xEC));
  gradient.setColorAt(1, QColor(0xD6, 0xD6, 0xD6));
  painter.fillRect(0, 0, framed.width(), kTitleBarHeight, gradient);
  painter.setPen(QColor(0xB0, 0xB0, 0xB0));
  painter.drawLine(0, kTitleBarHeight - 1, framed.width(), kTitleBarHeight - 1);
  const QColor buttons[] = {QColor(0xFF, 0x5F, 0x57), QColor(0xFE, 0xBC, 0x2E),
                            QColor(0xC8, 0xC8, 0xC8)};  // close, minimise, zoom (disabled)
  for (int i = 0; i < 3; ++i) {
    painter.setPen(buttons[i].darker(120));
    painter.setBrush(buttons[i]);
    painter.drawEllipse(QPointF(14 + i * 20, kTitleBarHeight / 2.0), 6, 6);
  }
  QFont font = painter.font();
  font.setPixelSize(13);
  font.setWeight(QFont::DemiBold);
  painter.setFont(font);
  painter.setPen(QColor(0x30, 0x30, 0x30));
  painter.drawText(QRect(0, 0, framed.width(), kTitleBarHeight), Qt::AlignCenter, title);
  painter.drawImage(0, kTitleBarHeight, content);
  return framed;
}

}  // namespace

std::string snapshotFileName(int number, long pid, const std::string& name) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "mac-%02d-%ld-", number, pid);
  return buffer + name + ".png";
}

QImage pictureOf(QWidget* window) {
  QImage content = window->grab().toImage();
  if (content.isNull()) return content;
  bool titled = window->windowFlags().testFlag(Qt::WindowTitleHint) && !window->inherits("QDialog");
  return titled ? withTitleBar(content, window->windowTitle()) : content;
}

void snapshot(QWidget* window, const std::string& name) {
  if (!cfg.snapDir || !window) return;
  QImage picture = pictureOf(window);
  if (picture.isNull()) return;
  ++cfg.snapCount;
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!picture.save(&buffer, "PNG")) return;
  std::string path = *cfg.snapDir + "/" + snapshotFileName(cfg.snapCount, getpid(), name);
  QFile file(QString::fromStdString(path));
  if (file.open(QIODevice::WriteOnly)) file.write(png);
}

}  // namespace kaldra
