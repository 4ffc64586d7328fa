#include "app/dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <optional>

#include "app/snapshot.h"
#include "core/config.h"

namespace kaldra {

namespace {

constexpr int kScriptDelayMs = 800;
constexpr int kMessageWidth = 340;  // room for a path on one line, as alerts have

QPixmap styleBadge(AlertStyle style, const QPixmap& icon) {
  QPixmap picture = icon.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  if (style != AlertStyle::critical) return picture;
  // A critical alert carries the caution sign over the application's icon.
  QPixmap badge = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32);
  QPainter painter(&picture);
  painter.drawPixmap(picture.width() - 34, picture.height() - 34, badge);
  return picture;
}

}  // namespace

std::int64_t runDialog(const std::string& message, const std::vector<std::string>& buttons,
                       AlertStyle style, const QPixmap& icon) {
  QMessageBox box;
  box.setWindowTitle("Kaldrith");
  box.setTextFormat(Qt::PlainText);
  box.setText("Kaldrith");
  QFont bold = box.font();
  bold.setBold(true);
  if (auto* title = box.findChild<QLabel*>("qt_msgbox_label")) title->setFont(bold);
  box.setInformativeText(QString::fromStdString(message));
  // A message may hold paths or tool output; it is never markup.
  if (auto* text = box.findChild<QLabel*>("qt_msgbox_informativelabel")) {
    text->setTextFormat(Qt::PlainText);
    text->setMinimumWidth(kMessageWidth);
  }
  box.setIconPixmap(styleBadge(style, icon));

  std::vector<QAbstractButton*> added;
  for (const auto& title : buttons)
    added.push_back(box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole));
  if (!added.empty()) box.setDefaultButton(static_cast<QPushButton*>(added.front()));

  std::optional<std::int64_t> answer;
  QObject::connect(&box, &QMessageBox::buttonClicked, [&](QAbstractButton* clicked) {
    for (size_t i = 0; i < added.size(); ++i)
      if (added[i] == clicked) answer = static_cast<std::int64_t>(i);
  });

  if (cfg.snapDir || !cfg.testAnswers.empty()) {
    auto* timer = new QTimer(&box);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, &box, [&box, &answer] {
      snapshot(&box, "dialog");
      if (cfg.testAnswers.empty()) return;
      answer = cfg.testAnswers.front();
      cfg.testAnswers.pop_front();
      box.done(0);
    });
    timer->start(kScriptDelayMs);
  }

  box.exec();
  // A dialog closed without any button (the application is quitting) counts as the
  // last button, the way out.
  return answer.value_or(static_cast<std::int64_t>(buttons.size()) - 1);
}

}  // namespace kaldra
