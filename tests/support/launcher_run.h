// The real Kaldrith.app run headless from a private copy, with its own data folder and home,
// scripted answers, snapshots and a time limit on every run.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace kaldra::testing {

namespace fs = std::filesystem;

struct RunResult {
  int status = -1;        // exit status, or the signal number
  bool timedOut = false;  // the run was killed at its time limit
  std::string output;     // standard output and standard error
};

class LauncherRun {
 public:
  LauncherRun();

  // Variables added to the launcher's environment (after the defaults below).
  std::map<std::string, std::string> env;

  fs::path app() const { return root_ / "Kaldrith.app"; }
  fs::path resources() const { return app() / "Contents/Resources"; }
  fs::path dataDir() const { return root_ / "data"; }
  fs::path logsDir() const { return dataDir() / "logs"; }
  fs::path snapshotDir() const { return root_ / "snapshots"; }
  const fs::path& root() const { return root_.path(); }

  // Counts as installed, and looks for no newer launcher.
  void skipSelfUpdate();
  // Replaces the updater tool with a shell script (its body after "#!/bin/sh").
  void useScriptedUpdater(const std::string& body);
  // Replaces the start script "share/kaldra-wine.sh" with `body`.
  void useScriptedStartScript(const std::string& body);

  // Starts Contents/MacOS/Kaldrith headless with `args` and waits for it to end, killing
  // it after `limit`.
  RunResult start(std::chrono::seconds limit = std::chrono::seconds(60),
                  const std::vector<std::string>& args = {});
  // Runs another program in the same environment, likewise.
  RunResult startProgram(const fs::path& program, const std::vector<std::string>& args,
                         std::chrono::seconds limit = std::chrono::seconds(60));
  // Starts a program in the same environment without waiting; its pid, or -1. Its
  // output goes to output.txt in the root.
  int spawn(const fs::path& program, const std::vector<std::string>& args);

  // The launcher log's messages, without their timestamps; continuation lines of a
  // multi-line message stay separate entries.
  std::vector<std::string> logLines() const;
  // Whether the launcher log holds `message` as one of its entries.
  bool logged(const std::string& message) const;
  std::string file(const fs::path& path) const;
  // Snapshot file names, in their running order.
  std::vector<std::string> snapshots() const;
  // What the system was asked to open (folders, files), one entry per request.
  std::vector<std::string> opened() const;

 private:
  TempDir root_;
};

}  // namespace kaldra::testing
