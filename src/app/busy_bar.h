// The status window's progress bar. Without a value it shows a barber pole that moves
// at a calm frame rate: the style's own busy animation repaints sixty times a second,
// which costs more than supervising the game itself.
#pragma once

#include <QProgressBar>
#include <QTimer>

namespace kaldra {

class BusyBar : public QProgressBar {
 public:
  explicit BusyBar(QWidget* parent);

  // Determinate at `percent` (0 to 100).
  void showProgress(int percent);
  // Indeterminate: the stripes move until the next showProgress.
  void showBusy();
  bool busy() const { return busy_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer frames_;
  bool busy_ = false;
  int phase_ = 0;
};

}  // namespace kaldra
