// Stand-in for the platform's screencapture: "screencapture [-x] FILE.png" writes a
// picture of the whole main screen (-x, no sound, is the only option and always holds).
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  std::string file;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-x") continue;
    if (arg.starts_with("-") || !file.empty()) {
      std::fprintf(stderr, "screencapture: usage: screencapture [-x] file\n");
      return 64;
    }
    file = arg;
  }
  if (file.empty()) {
    std::fprintf(stderr, "screencapture: usage: screencapture [-x] file\n");
    return 64;
  }
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    std::fprintf(stderr, "screencapture: no display to capture\n");
    return 1;
  }
  // The screen is the display's, never an offscreen one inherited from a headless caller.
  qputenv("QT_QPA_PLATFORM", "xcb");
  QGuiApplication app(argc, argv);
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen || !screen->grabWindow(0).save(QString::fromStdString(file), "PNG")) {
    std::fprintf(stderr, "screencapture: cannot capture the screen into %s\n", file.c_str());
    return 1;
  }
  return 0;
}
