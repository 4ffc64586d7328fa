#include "swap/prepare_swap.h"

#include "core/launcher_log.h"
#include "proc/process_queries.h"
#include "proc/run_tool.h"
#include "swap/bundle_identity.h"
#include "swap/close_other_instances.h"
#include "swap/swap_error.h"
#include "swap/swap_helper.h"

namespace kaldra {

namespace {

void removeQuietly(const fs::path& path) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

}  // namespace

std::map<std::string, std::string> handedOnEnv(const Env& env) {
  std::map<std::string, std::string> handed;
  for (const auto& [key, value] : env)
    if (key.starts_with("KALDRA_") && key != "KALDRA_TEST_ANSWERS" &&
        key != "KALDRA_TEST_ANSWERS_AFTER_SWAP")
      handed[key] = value;
  if (auto it = env.find("KALDRA_TEST_ANSWERS_AFTER_SWAP"); it != env.end())
    handed["KALDRA_TEST_ANSWERS"] = it->second;
  return handed;
}

void prepareSwap(const std::string& op, const fs::path& source, const fs::path& target,
                 const std::string& from, const std::string& to) {
  if (auto plan = readPlan(cfg.swapPlanURL);
      plan && (plan->state == "staged" || plan->state == "swapped") && isAlive(plan->helper))
    throw SwapError("another update is still running (helper " + std::to_string(plan->helper) +
                    ")");

  // Exchanging a link would replace the link, not the bundle the player starts.
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(target, ec)))
    throw SwapError("no app bundle at " + target.string());

  if (auto message = closeOtherInstances(target)) throw SwapError(*message);

  fs::path stage = stagingDir(target);
  fs::path staged = stagedBundle(stage);
  removeQuietly(stage);
  fs::create_directories(stage, ec);
  if (!ec) fs::permissions(stage, fs::perms::owner_all, ec);
  // Reported like every other failure here, so a caller that handles SwapError never
  // meets another kind of error.
  if (ec) throw SwapError(stage.string() + ": " + ec.message());

  auto [copied, copyOutput] =
      runTool(platformTool("ditto").string(), {"--noqtn", source.string(), staged.string()});
  if (copied != 0) {
    removeQuietly(stage);
    throw SwapError("copy failed: " + copyOutput);
  }
  runTool(platformTool("xattr").string(), {"-dr", "com.apple.quarantine", staged.string()});
  try {
    verifyBundle(staged, to);
  } catch (const SwapError&) {
    removeQuietly(stage);
    throw;
  }

  SwapPlan plan{.op = op,
                .from = from,
                .to = to,
                .source = source.string(),
                .target = target.string(),
                .staged = staged.string(),
                .stageDir = stage.string(),
                .pid = ownPid(),
                .helper = 0,
                .state = "staged",
                .note = "",
                .utc = "",
                .env = handedOnEnv(cfg.env)};
  writePlan(plan, cfg.swapPlanURL);
  if (!spawnSwapHelper(cfg.swapPlanURL)) {
    removeQuietly(stage);
    std::error_code ignored;
    fs::remove(cfg.swapPlanURL, ignored);
    throw SwapError("helper could not be started");
  }
  log("self-" + op + ": " + (from.empty() ? "-" : from) + " -> " + to + " staged in " +
      stage.string() + ", helper started");
}

}  // namespace kaldra
