// The swap's unit tests' world: a temporary folder, the real tool stand-ins, the log.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/config.h"
#include "tests/support/log_file.h"
#include "tests/support/sealed_bundle.h"
#include "tests/support/temp_dir.h"

namespace kaldra::testing {

class SwapSandbox : public ::testing::Test {
 protected:
  // Also starts a test afresh when a table-driven test calls it again for a new row.
  void SetUp() override {
    for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
    cfg = Config{};
    useSourceStandIns(dir / "running.app/Contents/Resources");
    cfg.dataDir = dir / "data";
    cfg.logsDir = cfg.dataDir / "logs";
    cfg.xplatDir = cfg.dataDir / "xplat";
    cfg.swapPlanURL = cfg.xplatDir / "mac-swap.json";
    cfg.bundleID = std::string(kBundleID);
  }

  TempDir dir;
};

}  // namespace kaldra::testing
