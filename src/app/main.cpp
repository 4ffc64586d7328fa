// Entry point: the configuration values first, then one of the two run modes.
#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/qt_ui.h"
#include "core/config.h"
#include "core/texts.h"
#include "platform/activation_policy.h"
#include "platform/termination_signal.h"
#include "platform/user_defaults.h"
#include "swap/swap_helper.h"

int main(int argc, char** argv) {
  using namespace kaldra;
  auto facts = readPlatformFacts();
  if (!facts) {
    std::fprintf(stderr, "Kaldrith: the launcher must run from inside Kaldrith.app\n");
    return 1;
  }
  cfg = computeConfig(*facts);

  // The swap helper needs no display and creates no application object.
  if (argc == 3 && std::strcmp(argv[1], "--kaldra-swap") == 0) std::exit(runSwapHelper(argv[2]));

  // Neither restore nor keep the launcher's windows between runs.
  platform::setUserDefault("ApplePersistenceIgnoreState", true);
  platform::setUserDefault("NSQuitAlwaysKeepsWindows", false);
  // The tool's start overlaps the toolkit's; the table is still taken before the window.
  startTextTableLoad();
  // Other arguments are ignored: the toolkit must not read its own options among them.
  int toolkitArgc = 1;
  char* toolkitArgv[] = {argv[0], nullptr};
  QApplication app(toolkitArgc, toolkitArgv);
  QApplication::setApplicationName("Kaldrith");
  // The launch sequence's thread may still hold the delegate when the event loop ends,
  // so it is never destroyed; the process ends without tearing it down.
  auto* delegate = new QtUI(loadApplicationIcon());
  platform::setActivationPolicy(platform::ActivationPolicy::regular);
  // Another copy that needs this bundle free asks politely first; quit as if asked.
  if (int fd = platform::watchTerminationRequests(); fd >= 0) {
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, delegate, [fd, delegate] {
      platform::takeTerminationRequests(fd);
      delegate->quit();
    });
  }
  QMetaObject::invokeMethod(delegate, &QtUI::applicationDidFinishLaunching, Qt::QueuedConnection);
  int status = app.exec();
  std::fflush(nullptr);
  std::_Exit(status);
}
