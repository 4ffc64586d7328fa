#include "swap/close_other_instances.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include "platform/spawn.h"
#include "proc/process_queries.h"
#include "tests/support/running_program.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

// A launcher copy played by a shell copied into a bundle's Contents/MacOS: `script` says
// how it takes a polite request.
class Copy {
 public:
  Copy(const fs::path& bundle, const std::string& script) {
    fs::path exe = bundle / "Contents/MacOS/Kaldrith";
    if (!fs::exists(exe)) fs::copy_file("/bin/sh", exe);
    pid_ = platform::spawnProcess({.program = exe.string(),
                                   .args = {"-c", script},
                                   .out = platform::Output::null(),
                                   .nullInput = true,
                                   .newSession = true})
               .pid;
    // Reaped at once when it ends, so that an ended copy is no longer alive.
    platform::reapInBackground(pid_);
  }
  ~Copy() { ::kill(-pid_, SIGKILL); }
  Pid pid() const { return pid_; }

 private:
  Pid pid_ = -1;
};

class CloseOthers : public testing::SwapSandbox {
 protected:
  void SetUp() override {
    SwapSandbox::SetUp();
    target = makeBundle(dir / "Applications/Kaldrith.app", "1.0");
    fs::remove(target / "Contents/MacOS/Kaldrith");
    fifo = dir / "never-written";
    slept = {};
    ::mkfifo(fifo.c_str(), 0600);
    clock.sleep = [this](WatchClock::Duration d) {
      slept += d;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
  }
  // Says it is ready, then blocks without a child and without using the processor.
  std::string ready() const { return ": > '" + (dir / "ready").string() + "'; "; }
  std::string waiting() const { return ready() + "read x < '" + fifo.string() + "'"; }
  // The same, deaf to polite requests.
  std::string deaf() const { return "trap '' TERM; " + waiting(); }
  // Keeps a child, as a launcher running the game does.
  std::string withGame() const { return "trap '' TERM; /bin/sleep 30 & " + ready() + "wait"; }
  // The copy has said it is ready and runs alone from the bundle (a child it started
  // has left the bundle's executable behind).
  bool settled() const { return fs::exists(dir / "ready") && processesInside(target).size() == 1; }

  fs::path target, fifo;
  WatchClock clock;
  WatchClock::Duration slept{0};
};

TEST_F(CloseOthers, PoliteThenForcedButNeverAGame) {
  using std::chrono::milliseconds;
  struct Case {
    const char* what;
    std::function<std::string()> script;  // empty: no copy runs
    bool forced;
    std::optional<std::string> result;
    WatchClock::Duration atLeast, atMost;
  } cases[] = {
      {"no copy", nullptr, false, std::nullopt, {}, {}},
      {"quits when asked",
       [this] { return waiting(); },
       false,
       std::nullopt,
       {},
       milliseconds(2000)},
      {"deaf without a child", [this] { return deaf(); }, true, std::nullopt, kPoliteWait,
       kPoliteWait + milliseconds(2000)},
      {"running the game", [this] { return withGame(); }, false, "err_game_running", kPoliteWait,
       kPoliteWait},
      // Wine and the game run from the bundle without being launcher copies.
      {"only the game inside", [this] { return waiting(); }, false, "err_game_running", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    std::unique_ptr<Copy> copy;
    if (c.script) {
      fs::path bundle = target;
      if (std::string_view(c.what) == "only the game inside") {
        bundle = target / "Contents/Resources/wine";
        fs::create_directories(bundle / "Contents/MacOS");
      }
      copy = std::make_unique<Copy>(bundle, c.script());
      ASSERT_TRUE(testing::eventually([&] { return settled(); }));
    }
    EXPECT_EQ(closeOtherInstances(target, clock), c.result);
    EXPECT_GE(slept, c.atLeast);
    EXPECT_LE(slept, c.atMost);
    std::vector<std::string> lines;
    if (copy && std::string_view(c.what) != "only the game inside")
      lines.push_back("closing running copy pid " + std::to_string(copy->pid()) + " of " +
                      target.string());
    if (c.forced)
      lines.push_back("forcing running copy pid " + std::to_string(copy->pid()) +
                      " (no child process)");
    EXPECT_EQ(logLines(), lines);
    if (c.result) {
      EXPECT_TRUE(isAlive(copy->pid()));  // a game is never forced
    }
  }
}

}  // namespace
}  // namespace kaldra
