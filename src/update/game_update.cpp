#include "update/game_update.h"

#include <fstream>
#include <optional>
#include <sstream>

#include <string>
#include <system_error>

#include "core/config.h"
#include "core/launcher_log.h"
#include "core/texts.h"
#include "core/updater_contract.h"
#include "platform/child_exit.h"
#include "platform/spawn.h"
#include "proc/run_tool.h"
#include "update/event_stream.h"

namespace kaldra {

namespace {

using updater::Event;

struct PrepareOutcome {
  platform::ChildExit exit;
  Event lastError = Event::object();
};

fs::path toolLogPath() {
  return cfg.logsDir / "updater.log";
}

// The runs before the last one stay readable beside it, the newest 512 KiB of them.
void keepPreviousRun() {
  constexpr std::streamoff kKept = 512 << 10;
  std::ifstream last(toolLogPath(), std::ios::binary);
  if (!last) return;
  fs::path previous = cfg.logsDir / "updater-previous.log";
  std::ofstream(previous, std::ios::binary | std::ios::app) << last.rdbuf();
  std::error_code ignored;
  auto size = fs::file_size(previous, ignored);
  if (ignored || static_cast<std::streamoff>(size) <= 2 * kKept) return;
  std::ifstream whole(previous, std::ios::binary);
  whole.seekg(static_cast<std::streamoff>(size) - kKept);
  std::ostringstream tail;
  tail << whole.rdbuf();
  std::ofstream(previous.string() + ".new", std::ios::binary) << tail.str();
  fs::rename(previous.string() + ".new", previous, ignored);
}

// The tool's own line on why it failed, for the launcher's log.
std::optional<std::string> toolFailureLine() {
  std::ifstream log(toolLogPath());
  std::optional<std::string> found;
  for (std::string line; std::getline(log, line);)
    if (line.find(" failed") != std::string::npos) found = line;
  return found;
}

void showProgress(UI& ui, const Event& event) {
  std::string detail;
  auto done = updater::numberMember(event, "done");
  auto total = updater::numberMember(event, "total");
  if (updater::stringMember(event, "stage") == "download" && done && total && *total > 0)
    detail = updater::byteCountText(*done, *total);
  ui.set(updater::stringMember(event, "label").value_or(""),
         updater::numberMember(event, "pct").value_or(0), detail);
}

PrepareOutcome runPrepare(UI& ui) {
  PrepareOutcome outcome;
  // Holds the last run only; when it cannot be created the tool writes where we do. Every
  // write appends, so that another launcher emptying it meanwhile leaves no hole.
  keepPreviousRun();
  platform::UniqueFd toolLog = platform::createTruncated(toolLogPath().string());
  platform::Spawned child =
      platform::spawnProcess({.program = cfg.updater.string(),
                              .args = updater::prepareCommand(cfg.clientDir.string(), cfg.lang),
                              .out = platform::Output::pipe(),
                              .err = platform::Output::to(toolLog.get())});
  toolLog.reset();
  if (child.pid < 0) {
    outcome.lastError = {{"kind", "other"}, {"user", T("err_other") + " " + child.error}};
    return outcome;
  }
  updater::readEventStream(updater::pipeSource(child.pipe.get()),
                           {{"progress", [&](const Event& event) { showProgress(ui, event); }},
                            {"error", [&](const Event& event) { outcome.lastError = event; }}});
  child.pipe.reset();
  outcome.exit = platform::waitForChildExit(child.pid);
  return outcome;
}

int ready(UI& ui) {
  ui.set(T("stage_ready"), 100.0, "");
  return kUpdateDone;
}

int askAfterFailure(UI& ui, const Event& lastError) {
  std::string message = updater::stringMember(lastError, "user").value_or(T("err_other"));
  if (lastError.empty() || updater::stringMember(lastError, "kind") == "other")
    message += "\n" + toolLogPath().string();
  auto answer = ui.ask(message, {T("btn_retry"), T("btn_logs"), T("btn_quit")});
  if (answer == 0) return kUpdateAgain;
  if (answer == 1) ui.openLogs();
  return kUpdateQuit;
}

// Why the installed files are checked offline instead (the game runs from them, or the
// channel's manifest was refused as stale), and the status text that says so. An exit code;
// a crash by a signal of the same number is neither.
struct OfflineCheck {
  std::string reason;
  const char* status;
};
std::optional<OfflineCheck> offlineCheck(const platform::ChildExit& exit) {
  if (exit.bySignal) return std::nullopt;
  if (exit.status == updater::kGameRunning)
    return OfflineCheck{"game already running", "stage_verify"};
  if (exit.status == updater::kChannelStale)
    return OfflineCheck{"channel manifest refused as stale", "stage_verify_installed"};
  return std::nullopt;
}

}  // namespace

int update(UI& ui) {
  ui.set(T("stage_manifest"), 0.0, "");
  std::error_code ignored;
  fs::create_directories(cfg.clientDir, ignored);

  PrepareOutcome prepare = runPrepare(ui);
  log("updater exit " + std::to_string(prepare.exit.status));
  if (prepare.exit.status == 0) return ready(ui);
  if (auto line = toolFailureLine()) log("updater: " + *line);
  if (auto offline = offlineCheck(prepare.exit)) {
    ui.set(T(offline->status), std::nullopt, "");
    int verify =
        runCapture(cfg.updater, updater::verifyCommand(cfg.clientDir.string(), cfg.lang)).first;
    log(offline->reason + ", offline verify exit " + std::to_string(verify));
    if (verify == 0) return ready(ui);
  }
  return askAfterFailure(ui, prepare.lastError);
}

}  // namespace kaldra
