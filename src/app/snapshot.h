// Photographs of windows and dialogs for automated runs, written as PNG files into the
// folder KALDRA_SNAPSHOT_DIR names. Main thread only.
#pragma once

#include <QImage>
#include <QWidget>
#include <string>

namespace kaldra {

// "mac-03-4711-dialog.png": running number (two digits at least), process id, name.
std::string snapshotFileName(int number, long pid, const std::string& name);

// What a person sees of `window`: a titled window with its title bar, a dialog as it is.
QImage pictureOf(QWidget* window);

// Writes the picture of `window` as the next numbered snapshot. Does nothing without a
// snapshot folder or a window; a failed write is ignored.
void snapshot(QWidget* window, const std::string& name);

}  // namespace kaldra
