#include "swap/settle_swap.h"

#include <cstdlib>

#include "core/config.h"
#include "core/launcher_log.h"
#include "core/texts.h"
#include "proc/process_queries.h"
#include "swap/staging.h"
#include "swap/swap_plan.h"

namespace kaldra {

namespace {

std::string replaceAll(std::string text, std::string_view what, const std::string& with) {
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

void removeLeftoverStages() {
  for (const fs::path& bundle : {cfg.installTarget, cfg.appBundle}) {
    fs::path stage = stagingDir(bundle);
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(stage, ec))) continue;
    log("removing leftover staging folder " + stage.string());
    fs::remove_all(stage, ec);
  }
}

// Removes the plan's staging folder and then the plan itself.
void finish(const SwapPlan& plan) {
  removeStage(plan);
  std::error_code ignored;
  fs::remove(cfg.swapPlanURL, ignored);
}

std::string restoredNotice(const SwapPlan& plan) {
  log("self-update to " + plan.to + " rolled back to " + plan.from);
  return replaceAll(replaceAll(T("xplat_start_failed_restored"), "{new}", plan.to), "{old}",
                    plan.from);
}

std::optional<std::string> settleExchanged(SwapPlan plan, const std::string& here) {
  if (plan.target != here) return std::nullopt;
  if (plan.to != cfg.appVersion) {
    // The previous bundle is back at the target, but its helper died before it could
    // say so: nobody else will ever settle this plan.
    if (plan.state == "swapped" && plan.from == cfg.appVersion && plan.from != plan.to &&
        !isAlive(plan.helper)) {
      finish(plan);
      return restoredNotice(plan);
    }
    return std::nullopt;
  }
  if (cfg.getenv("KALDRA_TEST_FAIL_START") == cfg.appVersion) {
    log("test: start of " + cfg.appVersion + " fails before confirming");
    std::_Exit(kTestFailStartStatus);
  }
  if (moveTo(plan, "confirmed")) writePlan(plan, cfg.swapPlanURL);
  finish(plan);
  log("self-" + plan.op + " " + (plan.from.empty() ? "-" : plan.from) + " -> " + plan.to +
      " confirmed; previous bundle removed");
  return std::nullopt;
}

}  // namespace

std::optional<std::string> settleSwap() {
  auto plan = readPlan(cfg.swapPlanURL);
  if (!plan) {
    removeLeftoverStages();
    return std::nullopt;
  }
  const std::string here = cfg.appBundle.string();
  const std::string& state = plan->state;
  if (state == "swapped" || state == "confirmed") return settleExchanged(*plan, here);
  if (state == "rolled-back") {
    if (plan->target != here || plan->from != cfg.appVersion) return std::nullopt;
    finish(*plan);
    return restoredNotice(*plan);
  }
  if (state == "failed") {
    if (plan->target != here && plan->source != here) return std::nullopt;
    finish(*plan);
    log("self-" + plan->op + " failed earlier: " + plan->note);
    return T(plan->op == "install" ? "mac_install_failed" : "xplat_failed") + " " + plan->note;
  }
  if (state == "staged") {
    if (isAlive(plan->helper) || isAlive(plan->pid)) return std::nullopt;
    finish(*plan);
    log("removed an interrupted self-" + plan->op + " (never exchanged)");
  }
  return std::nullopt;
}

}  // namespace kaldra
