// The launcher's only window: icon, status line, progress bar and detail line on a
// fixed 520 × 170 panel titled "Kaldrith".
#pragma once

#include <QLabel>
#include <QWidget>

#include "app/busy_bar.h"
#include "core/status_queue.h"

namespace kaldra {

class StatusWindow : public QWidget {
  Q_OBJECT
 public:
  explicit StatusWindow(const QPixmap& icon);

  void showStatus(const StatusUpdate& update);
  QString statusText() const { return label_->text(); }
  QString detailText() const { return detail_->text(); }
  const BusyBar& bar() const { return *bar_; }

 signals:
  // The person closed the window (not emitted when the launcher hides it).
  void closedByUser();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* icon_;
  QLabel* label_;
  BusyBar* bar_;
  QLabel* detail_;
};

}  // namespace kaldra
