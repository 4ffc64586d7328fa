// Draws the application icon at build time, so no binary image lives in the sources.
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  QGuiApplication app(argc, argv);
  constexpr int kSize = 256;
  QImage icon(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  QPainter painter(&icon);
  painter.setRenderHint(QPainter::Antialiasing);

  QPainterPath tile;
  tile.addRoundedRect(QRectF(12, 12, kSize - 24, kSize - 24), 52, 52);
  QLinearGradient sky(0, 12, 0, kSize - 12);
  sky.setColorAt(0, QColor(0x2B, 0x3A, 0x67));
  sky.setColorAt(1, QColor(0x0E, 0x12, 0x1F));
  painter.fillPath(tile, sky);

  // A mountain range under a rising moon.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xF2, 0xC1, 0x4E));
  painter.drawEllipse(QPointF(168, 92), 34, 34);
  QPainterPath ridge;
  ridge.moveTo(12, 200);
  ridge.lineTo(80, 110);
  ridge.lineTo(116, 150);
  ridge.lineTo(150, 120);
  ridge.lineTo(kSize - 12, 204);
  ridge.lineTo(kSize - 12, kSize - 12);
  ridge.lineTo(12, kSize - 12);
  ridge.closeSubpath();
  painter.fillPath(ridge.intersected(tile), QColor(0x5B, 0x6E, 0x9E));

  QFont font("DejaVu Sans");
  font.setPixelSize(92);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(QColor(0xF5, 0xF1, 0xE6));
  painter.drawText(QRectF(12, 120, kSize - 24, 120), Qt::AlignCenter, "K");
  painter.end();
  // Drawn large for clean edges, kept at the largest size the launcher shows: each start
  // decodes it before the window appears, and a larger one only costs time there.
  return icon.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation).save(argv[1], "PNG")
             ? 0
             : 1;
}
