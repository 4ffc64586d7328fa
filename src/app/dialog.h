// The one kind of dialog the launcher shows: bold "Kaldrith", the caller's message and
// the caller's buttons, the first being the default. Main thread only.
#pragma once

#include <QPixmap>
#include <string>
#include <vector>

#include "core/ui.h"

namespace kaldra {

// Runs the dialog modally and returns the chosen button's index. When snapshots or
// scripted answers are active, a timer photographs the dialog after 0.8 s and answers
// it with the next scripted answer, taken unchanged. The timer dies with the dialog,
// so a person's earlier answer leaves it nothing to fire into.
std::int64_t runDialog(const std::string& message, const std::vector<std::string>& buttons,
                       AlertStyle style, const QPixmap& icon);

}  // namespace kaldra
