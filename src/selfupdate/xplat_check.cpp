#include "selfupdate/xplat_check.h"

#include <unistd.h>

#include <cstdio>

#include "core/config.h"
#include "core/launcher_log.h"
#include "core/texts.h"
#include "core/updater_contract.h"
#include "platform/child_exit.h"
#include "platform/open_with_system.h"
#include "platform/spawn.h"
#include "platform/writable.h"
#include "proc/process_queries.h"
#include "proc/run_tool.h"
#include "selfupdate/disk_image_install.h"
#include "selfupdate/download_location.h"
#include "selfupdate/step_failure.h"
#include "selfupdate/xplat_answers.h"

namespace kaldra {

namespace {

fs::path downloadDir() {
  return cfg.xplatDir / "download";
}

fs::path fetchLogPath() {
  return cfg.logsDir / "updater-xplat.log";
}

// The button and result of a dialog that ends the step: a required update leaves
// nothing to go on with, so its one button quits.
bool endWith(UI& ui, const std::string& message, bool required,
             const char* goOnButton = "btn_later") {
  ui.ask(message, {T(required ? "btn_quit" : goOnButton)});
  return !required;
}

bool inPlaceRoute() {
  return platform::isWritable(cfg.appBundle.parent_path()) &&
         cfg.getenv("KALDRA_NO_SELF_UPDATE") != "1";
}

std::string offerMessage(const CheckResult& result, bool inPlace) {
  std::string offer = fillPlaceholders(
      T(inPlace ? "xplat_update_available" : "xplat_update_available_mac"), result);
  if (!result.required) return offer;
  return fillPlaceholders(T("xplat_update_required"), result) + "\n\n" + offer;
}

struct Fetch {
  int status = -1;
  FetchReport report;
};

Fetch runFetch(UI& ui, const CheckResult& result) {
  Fetch fetch;
  std::string status = T("xplat_downloading") + " " + result.offered;
  // Holds the last fetch only; when it cannot be created the tool writes where we do.
  platform::UniqueFd fetchLog = platform::createTruncated(fetchLogPath().string());
  platform::Spawned child = platform::spawnProcess(
      {.program = cfg.updater.string(),
       .args = updater::xplatFetchCommand(cfg.dataDir.string(), cfg.lang, downloadDir().string(),
                                          cfg.getenv("KALDRA_XPLAT_FEED")),
       .out = platform::Output::pipe(),
       .err = platform::Output::to(fetchLog.get())});
  fetchLog.reset();
  if (child.pid < 0) {
    fetch.report.error = child.error;
    return fetch;
  }
  updater::readEventStream(updater::pipeSource(child.pipe.get()),
                           fetch.report.handlers([&](const updater::Event& event) {
                             auto done = updater::numberMember(event, "done").value_or(0);
                             auto total = updater::numberMember(event, "total").value_or(0);
                             ui.set(status, updater::numberMember(event, "pct").value_or(0),
                                    total > 0 ? updater::byteCountText(done, total) : "");
                           }));
  child.pipe.reset();
  fetch.status = platform::waitForChildExit(child.pid).status;
  return fetch;
}

bool install(UI& ui, const fs::path& image, const Fetch& fetch, const CheckResult& result) {
  ui.set(T("xplat_installing"), std::nullopt, "");
  auto failure = failureOf([&] {
    installFromDMG(image, fetch.report.sha256,
                   fetch.report.version.empty() ? result.offered : fetch.report.version);
  });
  if (!failure) {
    ui.set(T("xplat_done"), 100.0, "");
    return false;
  }
  log("self-update failed before the exchange: " + *failure);
  return endWith(
      ui, T("xplat_failed") + " " + *failure + "\n" + (cfg.logsDir / "launcher.log").string(),
      result.required);
}

bool openForThePlayer(UI& ui, const fs::path& image) {
  if (cfg.getenv("KALDRA_TEST_NO_OPEN") == "1") {
    log("test: would open " + image.string());
  } else {
    platform::openWithSystem(image);
  }
  ui.ask(T("xplat_mac_opened"), {T("btn_quit")}, AlertStyle::informational);
  return false;
}

bool offer(UI& ui, const CheckResult& result) {
  bool inPlace = inPlaceRoute();
  std::vector<std::string> buttons{T(inPlace ? "btn_update_restart" : "btn_download"),
                                   T(result.required ? "btn_quit" : "btn_later")};
  if (ui.ask(offerMessage(result, inPlace), buttons, AlertStyle::informational) != 0)
    return !result.required;

  if (inPlace && !processesInside(cfg.appBundle, {static_cast<Pid>(::getpid())}).empty()) {
    log("self-update postponed: Kaldrith is running from " + cfg.appBundle.string());
    return endWith(ui, T("err_game_running"), result.required, "btn_continue");
  }

  ui.set(T("xplat_downloading") + " " + result.offered, 0.0, "");
  Fetch fetch = runFetch(ui, result);
  log("xplat-fetch exit " + std::to_string(fetch.status) + " file=" + fetch.report.path);
  auto image =
      fetch.status == 0 ? imageInDownloadFolder(fetch.report.path, downloadDir()) : std::nullopt;
  if (!image) {
    return endWith(ui,
                   T("xplat_failed") + " " + fetch.report.error + "\n" + fetchLogPath().string(),
                   result.required);
  }
  ui.set(T("xplat_downloaded"), 100.0, "");
  if (!inPlace) return openForThePlayer(ui, *image);
  return install(ui, *image, fetch, result);
}

}  // namespace

bool xplatCheck(UI& ui) {
  auto [status, output] = runCapture(
      cfg.updater,
      updater::xplatCheckCommand(cfg.dataDir.string(), cfg.lang, cfg.getenv("KALDRA_XPLAT_FEED")));
  auto result = status == 0 ? parseCheckResult(output) : std::nullopt;
  if (!result) {
    log("xplat-check exit " + std::to_string(status) + " (ignored)");
    return true;
  }
  log("xplat: " + trimWhitespace(decodeUtf8Lossy(output)));

  if (result->required && !result->update) {
    ui.ask(fillPlaceholders(T("xplat_required_manual"), *result), {T("btn_quit")});
    return false;
  }
  if (!result->update) return true;
  if (!result->systemOk) {
    return endWith(ui, fillPlaceholders(T("xplat_system_too_old"), *result), result->required);
  }
  return offer(ui, *result);
}

}  // namespace kaldra
