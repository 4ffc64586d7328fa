#include "core/updater_contract.h"

namespace kaldra::updater {

std::vector<std::string> textsCommand(const std::string& lang) {
  return {"texts", lang};
}

std::vector<std::string> prepareCommand(const std::string& root, const std::string& lang) {
  return {"prepare", "--root", root, "--json", "--lang", lang};
}

std::vector<std::string> verifyCommand(const std::string& root, const std::string& lang) {
  return {"verify", "--root", root, "--lang", lang};
}

std::vector<std::string> versionCommand() {
  return {"version"};
}

static void addFeed(std::vector<std::string>& args, const std::optional<std::string>& feed) {
  if (!feed) return;
  args.push_back("--feed");
  args.push_back(*feed);
}

std::vector<std::string> xplatCheckCommand(const std::string& stateDir, const std::string& lang,
                                           const std::optional<std::string>& feed) {
  std::vector<std::string> args{"xplat-check", "--state", stateDir, "--platform",
                                "macos",       "--lang",  lang,     "--json"};
  addFeed(args, feed);
  return args;
}

std::vector<std::string> xplatFetchCommand(const std::string& stateDir, const std::string& lang,
                                           const std::string& outDir,
                                           const std::optional<std::string>& feed) {
  std::vector<std::string> args{"xplat-fetch", "--state", stateDir, "--platform", "macos",
                                "--lang",      lang,      "--json", "--out",      outDir};
  addFeed(args, feed);
  return args;
}

}  // namespace kaldra::updater
