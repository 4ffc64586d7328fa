// The stand-in game: plays the game's part in the bundle where no Wine is installed. It
// shows a small window until that is closed, or ends by itself after
// KALDRA_STANDIN_SECONDS seconds; either way it exits with KALDRA_STANDIN_EXIT (0 when
// unset). Standard error is the launch log, standard output the game log.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

std::optional<double> secondsToRun() {
  const char* text = std::getenv("KALDRA_STANDIN_SECONDS");
  if (!text || !*text) return std::nullopt;
  char* end = nullptr;
  double seconds = std::strtod(text, &end);
  if (*end != '\0' || !std::isfinite(seconds) || seconds < 0) return std::nullopt;
  return seconds;
}

int exitStatus() {
  const char* text = std::getenv("KALDRA_STANDIN_EXIT");
  if (!text || !*text) return 0;
  return std::atoi(text) & 0xFF;
}

}  // namespace

int main(int argc, char** argv) {
  // Without a display the game still runs, unseen.
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  int status = exitStatus();
  std::error_code ec;
  std::string folder = std::filesystem::current_path(ec).string();
  std::fprintf(stderr, "Kaldrith stand-in game: running %s in %s\n", argc > 1 ? argv[1] : "",
               folder.c_str());
  std::printf("Kaldrith stand-in game started in %s\n", folder.c_str());
  std::fflush(nullptr);

  QWidget window;
  window.setWindowTitle("Kaldrith");
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(
      new QLabel("The Kaldrith stand-in game is running.\n"
                 "Close this window to end the game."));
  window.resize(360, 120);
  window.show();
  if (auto seconds = secondsToRun())
    QTimer::singleShot(static_cast<int>(std::lround(*seconds * 1000)), &app, &QApplication::quit);
  app.exec();

  std::printf("Kaldrith stand-in game ended\n");
  std::fprintf(stderr, "Kaldrith stand-in game: ending with status %d\n", status);
  return status;
}
