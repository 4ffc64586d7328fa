#include "platform/activation_policy.h"

#include <QApplication>
#include <QWidget>

namespace kaldra::platform {

// A Linux desktop lists an application by its windows: there is no policy to set.
void setActivationPolicy(ActivationPolicy) {}

void activateIgnoringOtherApps() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible()) continue;
    window->raise();
    window->activateWindow();
  }
}

}  // namespace kaldra::platform
