#include "swap/staging.h"

#include "core/config.h"
#include "proc/process_queries.h"

namespace kaldra {

fs::path stagingDir(const fs::path& target) {
  fs::path parent = target.parent_path();
  std::error_code ignored;
  if (fs::create_directories(cfg.xplatDir, ignored))
    fs::permissions(cfg.xplatDir, fs::perms::owner_all, ignored);
  auto xplatDevice = deviceOf(cfg.xplatDir.string());
  auto parentDevice = deviceOf(parent.string());
  if (xplatDevice && parentDevice && *xplatDevice == *parentDevice)
    return cfg.xplatDir / "mac-swap";
  return parent / ".Kaldrith-swap";
}

fs::path stagedBundle(const fs::path& stageDir) {
  return stageDir / "Kaldrith.app";
}

void removeStage(const SwapPlan& plan) {
  // A relative target would make the expected folder relative to wherever we run.
  if (!fs::path(plan.target).is_absolute()) return;
  if (plan.stageDir != stagingDir(plan.target).string()) return;
  std::error_code ignored;
  fs::remove_all(plan.stageDir, ignored);
}

}  // namespace kaldra
