// The game's process as the launcher sees it: "Kaldrith LOADER ARGS..." runs the Wine
// loader (or, without Wine, the native stand-in) on the game and lives exactly as long as
// the game does. The launcher recognises the game by this program's path, which no system
// Wine's loader has, and the start script takes this program's status as the game's.
//
// Status: the game's own; 128 + the signal's number when the game was killed.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

pid_t game = 0;

// The game decides what a signal means; closing the launcher's terminal must not orphan it.
void passOn(int signal) {
  if (game > 0) kill(game, signal);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "Kaldrith: usage: Kaldrith PROGRAM [ARGUMENT...]\n");
    return 64;
  }
  struct sigaction action {};
  action.sa_handler = passOn;
  action.sa_flags = SA_RESTART;
  for (int passed : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) sigaction(passed, &action, nullptr);

  game = fork();
  if (game < 0) {
    std::fprintf(stderr, "Kaldrith: cannot start %s: %s\n", argv[1], std::strerror(errno));
    return 71;
  }
  if (game == 0) {
    execv(argv[1], argv + 1);
    std::fprintf(stderr, "Kaldrith: cannot run %s: %s\n", argv[1], std::strerror(errno));
    _exit(127);
  }
  int status = 0;
  while (waitpid(game, &status, 0) < 0)
    if (errno != EINTR) return 71;
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}
