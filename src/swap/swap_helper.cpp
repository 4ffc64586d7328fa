#include "swap/swap_helper.h"

#include <cstdio>
#include <ctime>

#include "core/config.h"
#include "core/launcher_log.h"
#include "platform/bundle_location.h"
#include "platform/file_io.h"
#include "platform/launch_services.h"
#include "platform/rename_exchange.h"
#include "platform/spawn.h"
#include "proc/process_queries.h"
#include "proc/run_tool.h"
#include "swap/bundle_identity.h"
#include "swap/staging.h"
#include "swap/swap_error.h"

namespace kaldra {

namespace {

void say(const std::string& message) {
  std::string line = logTimestamp(std::time(nullptr)) + " " + message + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  log("swap helper: " + message);
}

bool exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::string pidList(const std::vector<Pid>& pids) {
  std::string text = "[";
  for (std::size_t i = 0; i < pids.size(); ++i) text += (i ? ", " : "") + std::to_string(pids[i]);
  return text + "]";
}

// Refuses a plan whose paths do not belong together, so that a damaged or foreign plan
// can never make the helper move a folder that is not an application bundle. What the
// target holds is not asked: an installation may replace another maker's bundle, or a
// damaged one, at the install target.
void checkPlanPaths(const SwapPlan& plan) {
  fs::path target = plan.target;
  if (!target.is_absolute() || target.extension() != ".app" ||
      plan.stageDir != stagingDir(target).string() ||
      plan.staged != stagedBundle(plan.stageDir).string())
    throw SwapError("plan names unexpected paths");
  // A link's own status is never a folder's.
  std::error_code ec;
  auto status = fs::symlink_status(target, ec);
  if (fs::exists(status) && !fs::is_directory(status))
    throw SwapError("no app bundle at " + target.string());
}

class Helper {
 public:
  Helper(SwapPlan plan, fs::path planFile, const WatchClock& clock)
      : plan_(std::move(plan)), planFile_(std::move(planFile)), clock_(clock) {}

  int run();

 private:
  int fail(const std::string& message);
  bool launcherQuit();
  std::vector<Pid> waitUntilFree();
  int waitForAnswer();
  int rollBack(bool existed);

  void write(std::string_view state, std::string note = "") {
    if (moveTo(plan_, state, std::move(note))) writePlan(plan_, planFile_);
  }

  SwapPlan plan_;
  fs::path planFile_;
  const WatchClock& clock_;
  Pid self_ = ownPid();
};

int Helper::fail(const std::string& message) {
  say("FAILED before the exchange: " + message + "; installed app unchanged");
  write("failed", message);
  openApp(exists(plan_.target) ? fs::path(plan_.target) : fs::path(plan_.source), plan_.env);
  return kHelperUnchanged;
}

bool Helper::launcherQuit() {
  if (plan_.pid < 1) return true;
  for (WatchClock::Duration slept{0}; isAlive(plan_.pid) && slept < kLauncherQuitLimit;
       slept += kLauncherQuitStep)
    clock_.sleep(kLauncherQuitStep);
  return !isAlive(plan_.pid);
}

std::vector<Pid> Helper::waitUntilFree() {
  auto others = processesInside(plan_.target, {self_});
  for (WatchClock::Duration slept{0}; !others.empty() && slept < kBusyLimit; slept += kBusyStep) {
    clock_.sleep(kBusyStep);
    others = processesInside(plan_.target, {self_});
  }
  return others;
}

int Helper::run() {
  plan_.helper = self_;
  write("staged");
  if (!launcherQuit()) return fail("launcher " + std::to_string(plan_.pid) + " did not quit");
  if (auto others = waitUntilFree(); !others.empty())
    return fail("still running from " + plan_.target + ": " + pidList(others));
  try {
    checkPlanPaths(plan_);
    verifyBundle(plan_.staged, plan_.to);
  } catch (const SwapError& e) {
    return fail("staged copy: " + e.text);
  }

  bool existed = exists(plan_.target);
  int error = existed ? platform::exchangeEntries(plan_.staged, plan_.target)
                      : platform::moveToFreePath(plan_.staged, plan_.target);
  if (error != 0) return fail("exchange failed: " + platform::describeError(error));
  write("swapped");
  platform::registerApplication(plan_.target);
  say("exchanged " + (plan_.from.empty() ? "-" : plan_.from) + " -> " + plan_.to + " at " +
      plan_.target + (existed ? ", previous bundle kept until the new one has started" : ""));
  openApp(plan_.target, plan_.env);

  if (int answered = waitForAnswer(); answered >= 0) return answered;
  say("new app " + plan_.to + " did not start");
  return rollBack(existed);
}

// The helper's status once the new launcher answered or still runs; -1 when it did not
// start.
int Helper::waitForAnswer() {
  auto start = clock_.now();
  auto lastSeen = start;
  while (clock_.now() - start < kAnswerLimit) {
    clock_.sleep(kAnswerStep);
    if (auto current = readPlan(planFile_); current && current->state != "swapped") {
      say("new app reported: " + current->state);
      return kHelperDone;
    }
    if (!readPlanExists(planFile_)) {
      say("plan settled by the new app");
      return kHelperDone;
    }
    auto now = clock_.now();
    if (!processesInside(plan_.target, {self_}).empty())
      lastSeen = now;
    else if (now - start > kGiveUpAfter && now - lastSeen > kGiveUpAfter)
      break;
  }
  if (!processesInside(plan_.target, {self_}).empty()) {
    say("new app still running without confirmation after 180 s; left in place");
    return kHelperDone;
  }
  return -1;
}

int Helper::rollBack(bool existed) {
  if (!existed || !exists(plan_.staged)) {
    write("failed", "new app did not start, no previous bundle");
    return kHelperNothingToRestore;
  }
  if (int error = platform::exchangeEntries(plan_.staged, plan_.target); error != 0) {
    write("failed", "swap back failed: " + platform::describeError(error));
    say(plan_.note);
    return kHelperSwapBackFailed;
  }
  write("rolled-back");
  platform::writeFileAtomically((planFile_.parent_path() / "skip-version").string(),
                                plan_.to + "\n");
  platform::registerApplication(plan_.target);
  say("previous bundle " + plan_.from + " restored");
  openApp(plan_.target, plan_.env);
  return kHelperRestored;
}

}  // namespace

bool spawnSwapHelper(const fs::path& planFile) {
  fs::path exe = platform::executablePath();
  if (exe.empty()) return false;
  std::error_code ignored;
  fs::create_directories(cfg.logsDir, ignored);
  platform::UniqueFd output =
      platform::openForAppending((cfg.logsDir / "swap-helper.log").string());
  platform::SpawnRequest request{.program = exe.string(),
                                 .args = {"--kaldra-swap", planFile.string()},
                                 .out = platform::Output::to(output.get()),
                                 .err = platform::Output::to(output.get()),
                                 .nullInput = true,
                                 .newSession = true};
  platform::Spawned child = platform::spawnProcess(request);
  log("swap helper spawn rc=" + std::to_string(child.code) +
      " pid=" + std::to_string(child.pid < 0 ? 0 : child.pid));
  if (child.pid < 0) return false;
  // Until this launcher ends, a zombie helper would still count as alive.
  platform::reapInBackground(child.pid);
  return true;
}

int runSwapHelper(const std::string& planPath, const WatchClock& clock) {
  auto plan = readPlan(planPath);
  if (!plan || plan->state != "staged") {
    say("no staged plan in " + planPath);
    return kHelperNoPlan;
  }
  return Helper(*plan, planPath, clock).run();
}

bool openApp(const fs::path& app, const std::map<std::string, std::string>& env) {
  std::vector<std::string> args{"-n"};
  for (const auto& [key, value] : env) {
    args.push_back("--env");
    args.push_back(key + "=" + value);
  }
  args.push_back(app.string());
  auto [status, output] = runTool(platformTool("open").string(), args);
  if (status != 0) log("open " + app.string() + " failed: " + output);
  return status == 0;
}

}  // namespace kaldra
