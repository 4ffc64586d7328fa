#include "game/game_start.h"

#include <memory>

#include "core/config.h"
#include "core/texts.h"
#include "game/child_process.h"
#include "game/exit_watch.h"
#include "game/script_environment.h"
#include "game/window_watch.h"
#include "platform/spawn.h"
#include "platform/termination_policy.h"

namespace kaldra {

namespace {

// The launch log, emptied: it holds the latest start only. An invalid descriptor when
// it cannot be created; the script's errors then go where the launcher's go.
platform::UniqueFd createLaunchLog() {
  std::error_code ignored;
  fs::create_directories(cfg.logsDir, ignored);
  return platform::createTruncated((cfg.logsDir / "wine-launch.log").string());
}

// Why `script` cannot be run, when it exists but is no regular file: the shell would
// read a folder or a device as an empty script and end "successfully" at once.
std::optional<std::string> notAScript(const fs::path& script) {
  std::error_code ec;
  fs::file_status status = fs::status(script, ec);
  if (!fs::exists(status) || fs::is_regular_file(status)) return std::nullopt;
  auto why =
      fs::is_directory(status) ? std::errc::is_a_directory : std::errc::executable_format_error;
  return std::make_error_code(why).message();
}

// Runs the start script under the shell with "run", its output discarded and its errors in
// the launch log.
platform::Spawned runStartScript(const fs::path& script, const Env& env) {
  if (auto why = notAScript(script)) return {.error = *why};
  platform::UniqueFd launchLog = createLaunchLog();
  return platform::spawnProcess({.program = "/bin/sh",
                                 .args = {script.string(), "run"},
                                 .environment = environmentEntries(env),
                                 .out = platform::Output::null(),
                                 .err = platform::Output::to(launchLog.get())});
}

}  // namespace

void startGame(UI& ui, const GameStartOptions& options) {
  fs::path runtimeMarker = cfg.dataDir / "prefix/.kaldra-runtime";
  ui.set(T(prefixIsReady(runtimeMarker) ? "starting" : "prefix_setup"), std::nullopt, "");

  Env env = scriptEnvironment(cfg.env, cfg.dataDir, cfg.res, ui.pickupScanCode());
  platform::Spawned started = runStartScript(cfg.res / "share/kaldra-wine.sh", env);
  if (started.pid < 0) {
    ui.ask(T("err_other") + " " + started.error, {T("btn_quit")}, AlertStyle::warning);
    return ui.quit();
  }

  ui.gameDidStart();
  platform::disableAutomaticAndSuddenTermination("Kaldrith is running");
  auto script = std::make_shared<ChildProcess>(started.pid);
  options.runBeside([&ui, script, runtimeMarker, clock = options.clock] {
    watchGameWindow(ui, *script, runtimeMarker, clock);
  });
  watchGameExit(ui, *script, options.clock);
}

}  // namespace kaldra
