#include "platform/user_folders.h"

#include <gtest/gtest.h>

namespace kaldra::platform {
namespace {

// Language list before locale variables (C names none); data folder: XDG, then HOME.
TEST(UserFolders, LanguageListThenLocaleVariablesAndDataFolderFromTheXdgSettings) {
  EXPECT_EQ(preferredLanguages({{"LANGUAGE", "pt_BR:it::de"},
                                {"LC_ALL", ""},
                                {"LC_MESSAGES", "fr_FR.UTF-8"},
                                {"LANG", "C.UTF-8"}}),
            (std::vector<std::string>{"pt_BR", "it", "de", "fr_FR.UTF-8"}));
  EXPECT_TRUE(preferredLanguages({{"LANG", "C"}, {"LC_ALL", "POSIX"}}).empty());
  EXPECT_EQ(defaultDataDir({{"XDG_DATA_HOME", "/x/data"}, {"HOME", "/h"}}), "/x/data/Kaldrith");
  EXPECT_EQ(defaultDataDir({{"XDG_DATA_HOME", ""}, {"HOME", "/h"}}), "/h/.local/share/Kaldrith");
  EXPECT_EQ(personalApplicationsDir({{"HOME", "/h"}}), "/h/Applications");
}

}  // namespace
}  // namespace kaldra::platform
