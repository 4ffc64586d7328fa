#include "rosetta/rosetta_check.h"

#include <string>
#include <vector>

#include "core/config.h"
#include "core/launcher_log.h"
#include "core/texts.h"
#include "core/updater_contract.h"
#include "platform/machine.h"
#include "proc/run_tool.h"

namespace kaldra {

namespace {

constexpr int kWaitCycles = 600;
constexpr std::chrono::milliseconds kWaitCycle{2000};

bool worksOn(const RosettaSystem& system) {
  return !system.appleSilicon() || system.probe();
}

}  // namespace

bool isAppleSilicon() {
  return platform::isArm64Machine();
}

bool rosettaProbe() {
  std::vector<std::string> args{"-x86_64", cfg.updater.string()};
  for (auto& arg : updater::versionCommand()) args.push_back(arg);
  return runCapture(platformTool("arch"), args).first == 0;
}

bool rosettaWorks() {
  return worksOn({});
}

bool ensureRosetta(UI& ui, const RosettaSystem& system) {
  if (worksOn(system)) return true;
  log("rosetta missing");
  if (!system.installable()) {
    log("rosetta cannot be installed on this system");
    ui.ask(T("rosetta_missing"), {T("btn_quit")}, AlertStyle::warning);
    return false;
  }
  if (ui.ask(T("rosetta_needed"), {T("btn_install"), T("btn_quit")}, AlertStyle::informational) !=
      0)
    return false;
  ui.set(T("rosetta_wait"), std::nullopt, "");
  ui.openApplication(cfg.res / "RosettaCheck.app");
  for (int cycle = 0; cycle < kWaitCycles; ++cycle) {
    system.sleep(kWaitCycle);
    if (worksOn(system)) {
      log("rosetta installed");
      return true;
    }
  }
  ui.ask(T("rosetta_missing"), {T("btn_quit")}, AlertStyle::warning);
  return false;
}

}  // namespace kaldra
