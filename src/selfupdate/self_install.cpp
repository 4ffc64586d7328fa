#include "selfupdate/self_install.h"

#include <algorithm>
#include <system_error>

#include "core/config.h"
#include "core/launcher_log.h"
#include "core/texts.h"
#include "platform/user_folders.h"
#include "platform/writable.h"
#include "selfupdate/declined_marker.h"
#include "selfupdate/step_failure.h"
#include "swap/bundle_identity.h"
#include "swap/prepare_swap.h"

namespace kaldra {

namespace {

// A copy in the user's own Applications folder counts as installed. The separator
// keeps a sibling such as ~/Applications2 from passing.
bool inPersonalApplications(const fs::path& bundle) {
  std::string folder = platform::personalApplicationsDir(cfg.env).string() + "/";
  return bundle.string().starts_with(folder);
}

bool declineNow(const std::vector<std::string>& declined, const std::string& key) {
  std::error_code ignored;
  if (fs::create_directories(cfg.xplatDir, ignored))
    fs::permissions(cfg.xplatDir, fs::perms::owner_all, ignored);
  writeDeclined(cfg.xplatDir / "self-install-declined.txt", withDeclined(declined, key));
  log("self-install declined for " + key);
  return true;
}

bool install(UI& ui, const std::string& oldVersion) {
  ui.set(T("mac_installing"), std::nullopt, "");
  auto failure = failureOf([&] {
    prepareSwap("install", cfg.appBundle, cfg.installTarget, oldVersion, cfg.appVersion);
  });
  if (!failure) {
    ui.set(T("xplat_done"), 100.0, "");
    return false;
  }
  log("self-install failed: " + *failure);
  ui.ask(T("mac_install_failed") + " " + *failure, {T("btn_continue")});
  return true;
}

}  // namespace

bool selfInstallCheck(UI& ui) {
  if (cfg.appBundle.string() == cfg.installTarget.string()) return true;
  if (inPersonalApplications(cfg.appBundle)) return true;

  std::string oldVersion;
  if (auto installed = bundleInfo(cfg.installTarget)) {
    if (installed->id == cfg.bundleID && cmpVersion(installed->version, cfg.appVersion) >= 0) {
      log("self-install: " + cfg.installTarget.string() + " already has " + installed->version +
          " (this copy " + cfg.appVersion + " at " + cfg.appBundle.string() +
          "); running from here");
      return true;
    }
    oldVersion = installed->version;
  }
  if (!platform::isWritable(cfg.installDir)) {
    log("self-install: " + cfg.installDir.string() + " not writable; running from here");
    return true;
  }
  std::string key = cfg.appBundle.string() + "|" + cfg.appVersion;
  auto declined = readDeclined(cfg.xplatDir / "self-install-declined.txt");
  if (std::find(declined.begin(), declined.end(), key) != declined.end()) return true;

  if (ui.ask(T("mac_install_offer"), {T("btn_install"), T("btn_not_now")},
             AlertStyle::informational) != 0)
    return declineNow(declined, key);
  return install(ui, oldVersion);
}

}  // namespace kaldra
