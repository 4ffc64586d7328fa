// The exchange in one process: closing other copies, the helper, settling, and their plan.
#include "swap/swap_helper.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "platform/spawn.h"
#include "proc/process_queries.h"
#include "swap/bundle_identity.h"
#include "swap/close_other_instances.h"
#include "swap/prepare_swap.h"
#include "swap/settle_swap.h"
#include "swap/staging.h"
#include "swap/swap_error.h"
#include "swap/swap_plan.h"
#include "tests/support/running_program.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

class Exchange : public testing::SwapSandbox {
 protected:
  // An update from 1.0 to 2.0 of the bundle at `target`, staged in `stage`.
  static SwapPlan plan(const fs::path& target, const fs::path& stage, Pid pid, Pid helper,
                       const std::string& state) {
    return {
        "update", "1.0",  "2.0", "", target.string(), stagedBundle(stage).string(), stage.string(),
        pid,      helper, state, "n"};
  }
};

// A copy played by a shell in the bundle, deaf to polite requests, with or without a game.
TEST_F(Exchange, CloseOthersForcesADeafCopyButNeverOneRunningTheGame) {
  for (bool withGame : {false, true}) {
    SCOPED_TRACE(withGame);
    SetUp();
    fs::path target = dir / "Applications/Kaldrith.app";
    testing::writeSealedBundle(target, "1.0");
    fs::path exe = target / "Contents/MacOS/Kaldrith";
    fs::copy_file("/bin/sh", exe, fs::copy_options::overwrite_existing);
    ::mkfifo((dir / "fifo").c_str(), 0600);  // never written: blocks without a child
    std::string script =
        "trap '' TERM; : > '" + (dir / "ready").string() + "'; " +
        (withGame ? "/bin/sleep 30 & wait" : "read x < '" + (dir / "fifo").string() + "'");
    testing::RunningProgram copy(exe.string(), {"-c", script});
    platform::reapInBackground(copy.pid());
    // Ready, and alone in the bundle: a child has left the bundle's executable behind.
    ASSERT_TRUE(testing::eventually(
        [&] { return fs::exists(dir / "ready") && processesInside(target).size() == 1; }));
    WatchClock::Duration slept{0};
    WatchClock clock{.sleep = [&](WatchClock::Duration d) {
      slept += d;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }};
    EXPECT_EQ(closeOtherInstances(target, clock),
              withGame ? std::optional<std::string>("err_game_running") : std::nullopt);
    EXPECT_GE(slept, kPoliteWait);
    EXPECT_TRUE(testing::eventually([&] { return isAlive(copy.pid()) == withGame; }));
  }
}

// The helper's waits run on a clock that moves only when the helper sleeps.
TEST_F(Exchange, HelperKeepsTheInstalledBundleUnlessTheNewOneAnswers) {
  const WatchClock::Duration late = kGiveUpAfter + std::chrono::milliseconds(1),
                             giveUp = kGiveUpAfter + kAnswerStep, none{0};
  enum Twist {
    asIs,
    firstInstall,
    foreignTarget,
    linkTarget,
    stagedElsewhere,
    stagedChanged,
    busyTarget,
    mountPoint,
    diesAfterNineSeconds
  };
  struct Case {
    const char* what;
    Twist twist;
    Pid pid;
    int status;
    std::string state, note;
    WatchClock::Duration atLeast, atMost;
  } cases[] = {
      // It gives up once nothing has run from the target for more than 8 s.
      {"never answers", asIs, 0, kHelperRestored, "rolled-back", "", late, giveUp},
      {"runs 9 s, ends, never answers", diesAfterNineSeconds, 0, kHelperRestored, "rolled-back", "",
       9s + late, 9s + giveUp},
      {"first install never answers", firstInstall, 0, kHelperNothingToRestore, "failed",
       "new app did not start, no previous bundle", late, giveUp},
      {"launcher stays", asIs, ownPid(), kHelperUnchanged, "failed",
       "launcher " + std::to_string(ownPid()) + " did not quit", kLauncherQuitLimit,
       kLauncherQuitLimit},
      // Another maker's bundle at the install target is exchanged like ours.
      {"another identifier at the target", foreignTarget, 0, kHelperRestored, "rolled-back", "",
       late, giveUp},
      {"staged copy elsewhere", stagedElsewhere, 0, kHelperUnchanged, "failed",
       "staged copy: plan names unexpected paths", none, none},
      // A copy changed after staging never replaces the working launcher.
      {"staged copy changed", stagedChanged, 0, kHelperUnchanged, "failed",
       "staged copy: signature check failed: " + (dir / "data/xplat/mac-swap").string() +
           "/Kaldrith.app: file modified: Contents/MacOS/Kaldrith",
       none, none},
      // Something that keeps running from the target is waited for 20 s, no longer.
      {"a process stays in the target", busyTarget, 0, kHelperUnchanged, "failed", "", kBusyLimit,
       kBusyLimit},
      {"target is a link", linkTarget, 0, kHelperUnchanged, "failed",
       "staged copy: no app bundle at " + (dir / "Applications/Kaldrith.app").string(), none, none},
      // A mount point cannot be exchanged: the helper stops before anything moved.
      {"bundle is a mount point", mountPoint, 0, kHelperUnchanged, "failed",
       std::string("exchange failed: ") + std::strerror(EBUSY), none, none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    fs::path target = dir / "Applications/Kaldrith.app";
    fs::create_directories(target);
    if (c.twist == mountPoint) {
      ASSERT_EQ(::mount("tmpfs", target.c_str(), "tmpfs", 0, "size=1m"), 0) << std::strerror(errno);
    }
    if (c.twist == linkTarget) {
      testing::writeSealedBundle(dir / "Elsewhere.app", "1.0");
      fs::remove(target);
      fs::create_directory_symlink(dir / "Elsewhere.app", target);
    } else {
      testing::writeSealedBundle(target, "1.0",
                                 c.twist == foreignTarget ? "org.other" : std::string(kBundleID));
    }
    fs::path stage = c.twist == stagedElsewhere ? dir / "elsewhere" : stagingDir(target);
    testing::writeSealedBundle(stagedBundle(stage), "2.0");
    if (c.twist == firstInstall) fs::remove_all(target);
    std::unique_ptr<testing::RunningProgram> busy;
    if (c.twist == busyTarget) {
      fs::copy_file("/bin/sleep", target / "Contents/MacOS/sleep");
      busy = std::make_unique<testing::RunningProgram>((target / "Contents/MacOS/sleep").string(),
                                                       std::vector<std::string>{"30"});
    }
    if (c.twist == stagedChanged)
      std::ofstream(stagedBundle(stage) / "Contents/MacOS/Kaldrith", std::ios::app) << "x";
    writePlan(plan(target, stage, c.pid, 0, "staged"), cfg.swapPlanURL);
    WatchClock::Duration elapsed{0};
    std::unique_ptr<testing::RunningProgram> started;  // the new launcher, for 9 s
    WatchClock clock{
        .now = [&] { return WatchClock::TimePoint{} + elapsed; },
        .sleep =
            [&](WatchClock::Duration d) {
              elapsed += d;
              if (c.twist != diesAfterNineSeconds || elapsed > 9s) return started.reset();
              auto info = bundleInfo(target);
              if (started || !info || info->version != "2.0") return;
              fs::copy_file("/bin/sleep", target / "Contents/MacOS/sleep");
              started = std::make_unique<testing::RunningProgram>(
                  (target / "Contents/MacOS/sleep").string(), std::vector<std::string>{"30"});
              ASSERT_TRUE(testing::eventually([&] { return !processesInside(target).empty(); }));
            }};

    int status = runSwapHelper(cfg.swapPlanURL.string(), clock);
    auto written = readPlan(cfg.swapPlanURL);
    std::string note =
        busy ? "still running from " + target.string() + ": [" + std::to_string(busy->pid()) + "]"
             : c.note;
    auto info = bundleInfo(target);
    EXPECT_EQ(std::tuple(status, written->state, written->note, info ? info->version : "-",
                         fs::exists(cfg.xplatDir / "skip-version")),
              std::tuple(c.status, c.state, note, c.twist == firstInstall ? "2.0" : "1.0",
                         c.status == kHelperRestored));
    EXPECT_TRUE(elapsed >= c.atLeast && elapsed <= c.atMost) << elapsed.count();
    if (c.twist == mountPoint) {
      EXPECT_TRUE(fs::exists(stagedBundle(stage)));
      ::umount2(target.c_str(), MNT_DETACH);
    }
  }
}

// A copy is used only as sealed, with our identifier and the version on offer.
TEST_F(Exchange, VerifyRefusesEveryChangeSinceSealingAndAnotherIdentity) {
  const fs::path bundle = dir / "Kaldrith.app";
  const std::pair<std::string, std::function<void()>> changes[] = {
      {"", [] {}},
      {"file added: Contents/extra", [&] { std::ofstream(bundle / "Contents/extra"); }},
      {"file removed: Contents/MacOS/Kaldrith",
       [&] { fs::remove(bundle / "Contents/MacOS/Kaldrith"); }},
      {"link changed: Contents/link",
       [&] {
         fs::remove(bundle / "Contents/link");
         fs::create_symlink("Info.plist", bundle / "Contents/link");
       }},
      // The bytes it had, moved to a name that an older seal read as the file's own.
      {"file modified: Contents/MacOS/Kaldrith",
       [&] {
         fs::rename(bundle / "Contents/MacOS/Kaldrith", bundle / "Contents/MacOS/Kaldrith\tF");
         std::ofstream(bundle / "Contents/MacOS/Kaldrith") << "changed";
       }},
      {"unsupported entry: Contents/fifo",
       [&] { ::mkfifo((bundle / "Contents/fifo").c_str(), 0600); }},
      {"file added: Contents/empty", [&] { fs::create_directory(bundle / "Contents/empty"); }},
      {"mode changed: Contents/Info.plist",
       [&] {
         fs::permissions(bundle / "Contents/Info.plist", fs::perms::owner_exec,
                         fs::perm_options::add);
       }},
      {"mode changed: Contents/MacOS/Kaldrith",
       [&] {
         fs::permissions(bundle / "Contents/MacOS/Kaldrith", fs::perms::set_uid,
                         fs::perm_options::add);
       }},
      // A capability granted after sealing, like a set-id bit.
      {"mode changed: Contents/MacOS/Kaldrith",
       [&] {
         auto file = (bundle / "Contents/MacOS/Kaldrith").string();
         ASSERT_EQ(std::system(("setcap cap_net_raw+ep '" + file + "'").c_str()), 0);
       }},
      // A name that reads as another's encoding is another name.
      {"file removed: Contents/x%20y",
       [&] { fs::rename(bundle / "Contents/x y", bundle / "Contents/x%20y"); }},
      // What a link outside names could change unseen, however it is written.
      {"link leads out of the bundle: Contents/out",
       [&] { fs::create_symlink("/etc/hostname", bundle / "Contents/out"); }},
      {"link leads out of the bundle: Contents/MacOS/up",
       [&] { fs::create_symlink("../../../elsewhere", bundle / "Contents/MacOS/up"); }},
      {"unexpected bundle org.other 2.0",
       [&] { testing::writeSealedBundle(bundle, "2.0", "org.other"); }},
      {"unexpected bundle com.kaldrith.client 2.1",
       [&] { testing::writeSealedBundle(bundle, "2.1"); }},
  };
  for (const auto& [refusal, change] : changes) {
    SCOPED_TRACE(refusal);
    SetUp();
    fs::create_directories(bundle / "Contents");
    fs::create_symlink("MacOS/Kaldrith", bundle / "Contents/link");
    std::ofstream(bundle / "Contents/a name\twith 100% blanks");  // sealed as it is
    std::ofstream(bundle / "Contents/x y");
    testing::writeSealedBundle(bundle, "2.0");
    change();
    std::string failure;
    try {
      verifyBundle(bundle, "2.0");
    } catch (const SwapError& error) {
      failure = error.text;
    }
    EXPECT_EQ(failure.empty(), refusal.empty()) << failure;
    EXPECT_NE(failure.find(refusal), std::string::npos) << failure;
  }
}

TEST_F(Exchange, SettleAtStartTouchesOnlyTheCopyEachStateIsAbout) {
  const Pid me = ownPid();
  const std::string restored = "self-update to 2.0 rolled back to 1.0";
  // A plan is settled, and logged, or left alone; a stage that is not the plan's own stays.
  struct Case {
    std::string state;
    Pid pid, helper;
    std::string appVersion, notice, logLine;
    bool foreignStage = false;
  } cases[] = {
      {"swapped", 0, 0, "2.0", "", "self-update 1.0 -> 2.0 confirmed; previous bundle removed"},
      {"swapped", 0, 0, "1.0", "xplat_start_failed_restored", restored},  // died swapping back
      {"rolled-back", 0, 0, "2.0", "", ""},
      {"rolled-back", 0, 0, "1.0", "xplat_start_failed_restored", restored, true},
      {"failed", 0, 0, "1.0", "xplat_failed n", "self-update failed earlier: n"},
      {"staged", 0, 0, "9", "", "removed an interrupted self-update (never exchanged)"},
      {"staged", 0, me, "9", "", ""},
      {"staged", me, 0, "9", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state + " in " + c.appVersion);
    SetUp();
    cfg.appBundle = cfg.installTarget = dir / "Applications/Kaldrith.app";
    cfg.appVersion = c.appVersion;
    fs::create_directories(cfg.appBundle);
    fs::path stage = stagingDir(cfg.appBundle), foreign = dir / "precious";
    fs::create_directories(stagedBundle(stage));
    fs::create_directories(foreign / "keep");
    SwapPlan written = plan(cfg.appBundle, stage, c.pid, c.helper, c.state);
    if (c.foreignStage) written.stageDir = foreign.string();
    writePlan(written, cfg.swapPlanURL);

    const bool settled = !c.logLine.empty();
    EXPECT_EQ(settleSwap().value_or(""), c.notice);
    EXPECT_EQ(fs::exists(cfg.swapPlanURL), !settled);
    EXPECT_EQ(fs::exists(stage), !settled || c.foreignStage);
    EXPECT_TRUE(fs::exists(foreign / "keep"));
    EXPECT_EQ(testing::launcherLogLines(cfg.logsDir),
              settled ? std::vector{c.logLine} : std::vector<std::string>{});
  }
}

TEST_F(Exchange, PlanIsPrivateDecodedStrictlyAndMovesOnlyForward) {
  // It hands on the launcher's settings, but not the answers meant for before the swap.
  auto env = handedOnEnv({{"HOME", "/p"}, {"KALDRA_LANG", "de"}, {"KALDRA_TEST_ANSWERS", "1"}});
  const SwapPlan plan{.op = "update", .to = "2.0", .pid = 812, .state = "staged", .env = env};
  EXPECT_EQ(plan.env, (std::map<std::string, std::string>{{"KALDRA_LANG", "de"}}));
  mode_t previous = umask(0);
  writePlan(plan, cfg.swapPlanURL);
  umask(previous);
  EXPECT_EQ(fs::status(cfg.swapPlanURL).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  SwapPlan read = readPlan(cfg.swapPlanURL).value_or(SwapPlan{});
  read.utc = "";
  EXPECT_EQ(read, plan);

  // Process ids must fit 32 bits.
  for (const auto& [patch, readable] :
       {std::pair{R"({"pid":2147483647,"helper":-2147483648})", true},
        {R"({"pid":2147483648})", false},
        {R"({"helper":-2147483649})", false},
        {R"({"pid":"812"})", false},
        {R"({"note":null})", false}}) {
    nlohmann::json changed = nlohmann::json::parse(encodePlan(plan));
    changed.update(nlohmann::json::parse(patch));
    EXPECT_EQ(decodePlan(changed.dump()).has_value(), readable) << patch;
  }

  // Its state moves only forward.
  const std::string states[] = {"staged", "swapped", "confirmed", "rolled-back", "failed"};
  const std::set<std::string> legal = {
      "staged>staged",       "staged>swapped", "staged>failed",      "swapped>confirmed",
      "swapped>rolled-back", "swapped>failed", "confirmed>confirmed"};
  for (const auto& from : states)
    for (const auto& to : states)
      EXPECT_EQ(legalMove(from, to), legal.contains(from + ">" + to)) << from << ">" << to;
}

}  // namespace
}  // namespace kaldra
