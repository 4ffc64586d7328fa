#include "tests/support/launcher_run.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>

#include "platform/spawn.h"
#include "platform/user_folders.h"
#include "tests/support/log_file.h"
#include "tests/support/running_program.h"

namespace kaldra::testing {

// An executable shell script at `path` (its body after "#!/bin/sh").
static void writeScript(const fs::path& path, const std::string& body) {
  fs::create_directories(path.parent_path());
  fs::remove(path);
  std::ofstream(path) << "#!/bin/sh\n" << body;
  fs::permissions(path, fs::perms(0755));
}

LauncherRun::LauncherRun() {
  fs::copy(KALDRA_APP_PATH, app(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  fs::create_directories(snapshotDir());
  fs::create_directories(root_ / "home");
  // Opening a folder goes through xdg-open; this one notes the request instead.
  writeScript(root_ / "bin/xdg-open",
              "printf '%s\\n' \"$*\" >> '" + (root_ / "opened.txt").string() + "'\n");
}

void LauncherRun::skipSelfUpdate() {
  env["KALDRA_TEST_INSTALL_DIR"] = root().string();
  env["KALDRA_NO_SELF_UPDATE"] = "1";
}

void LauncherRun::useScriptedUpdater(const std::string& body) {
  writeScript(resources() / "bin/kaldra-update", body);
}

void LauncherRun::useScriptedStartScript(const std::string& body) {
  writeScript(resources() / "share/kaldra-wine.sh", body);
}

RunResult LauncherRun::start(std::chrono::seconds limit, const std::vector<std::string>& args) {
  return startProgram(app() / "Contents/MacOS/Kaldrith", args, limit);
}

int LauncherRun::spawn(const fs::path& program, const std::vector<std::string>& args) {
  auto variables = platform::readEnvironment();
  for (const char* name : {"KALDRA_DATA_DIR", "KALDRA_LANG", "KALDRA_SNAPSHOT_DIR",
                           "KALDRA_TEST_ANSWERS", "KALDRA_TEST_STOP_BEFORE_GAME", "LANGUAGE",
                           "LC_ALL", "LC_MESSAGES", "LANG", "XDG_DATA_HOME", "DISPLAY"})
    variables.erase(name);
  variables["HOME"] = root_ / "home";
  variables["XDG_RUNTIME_DIR"] = root_ / "run";
  variables["QT_QPA_PLATFORM"] = "offscreen";
  variables["KALDRA_DATA_DIR"] = dataDir();
  variables["KALDRA_SNAPSHOT_DIR"] = snapshotDir();
  variables["PATH"] = (root_ / "bin").string() + ":" + variables["PATH"];
  for (const auto& [key, value] : env) variables[key] = value;
  fs::create_directories(root_ / "run");
  fs::permissions(root_ / "run", fs::perms::owner_all);

  std::vector<std::string> entries;
  for (const auto& [key, value] : variables) entries.push_back(key + "=" + value);
  auto output = platform::createTruncated(root_ / "output.txt");
  platform::Spawned spawned = platform::spawnProcess({.program = program,
                                                      .args = args,
                                                      .environment = entries,
                                                      .out = platform::Output::to(output.get()),
                                                      .err = platform::Output::to(output.get()),
                                                      .nullInput = true});
  return spawned.pid;
}

RunResult LauncherRun::startProgram(const fs::path& program, const std::vector<std::string>& args,
                                    std::chrono::seconds limit) {
  int pid = spawn(program, args);
  RunResult result;
  if (pid < 0) {
    result.output = "cannot start " + program.string();
    return result;
  }
  std::optional<int> status;
  result.timedOut =
      !eventually([&] { return (status = platform::exitStatusIfEnded(pid)).has_value(); }, limit);
  if (result.timedOut) ::kill(pid, SIGKILL);
  result.status = result.timedOut ? platform::waitForExit(pid) : *status;
  result.output = file(root_ / "output.txt");
  return result;
}

std::string LauncherRun::file(const fs::path& path) const {
  return readFile(path);
}

std::vector<std::string> LauncherRun::logLines() const {
  return launcherLogLines(logsDir());
}

bool LauncherRun::logged(const std::string& message) const {
  auto lines = logLines();
  return std::find(lines.begin(), lines.end(), message) != lines.end();
}

std::vector<std::string> LauncherRun::snapshots() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(snapshotDir()))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> LauncherRun::opened() const {
  return linesOf(file(root_ / "opened.txt"));
}

}  // namespace kaldra::testing
