// The floor for the launcher's start: a Qt program that shows one empty window of the
// status window's size, then notes that it is shown, the way the launcher does.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("Kaldrith");
  window.setFixedSize(520, 170);
  window.show();
  int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_APPEND, 0644);
  const char line[] = "shown\n";
  if (fd < 0 || ::write(fd, line, std::strlen(line)) < 0) return 1;
  ::close(fd);
  return app.exec();
}
