// Small launcher bundles sealed and packed with the real platform-tools stand-ins.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/config.h"

namespace kaldra::testing {

// Points cfg.res at `resources`, whose "platform" folder is the stand-ins' source folder.
inline void useSourceStandIns(const std::filesystem::path& resources) {
  std::filesystem::create_directories(resources);
  std::filesystem::create_symlink(KALDRA_PLATFORM_TOOLS, resources / "platform");
  cfg.res = resources;
}

// Writes a bundle of identifier `id` and version `version` at `bundle`, sealed.
inline void writeSealedBundle(const std::filesystem::path& bundle, const std::string& version,
                              const std::string& id = "com.kaldrith.client") {
  std::filesystem::create_directories(bundle / "Contents/MacOS");
  std::ofstream(bundle / "Contents/Info.plist")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      << "<key>CFBundleIdentifier</key><string>" << id << "</string>"
      << "<key>CFBundleShortVersionString</key><string>" << version << "</string>"
      << "</dict></plist>\n";
  std::ofstream(bundle / "Contents/MacOS/Kaldrith") << "#!/bin/sh\n";
  std::string seal =
      platformTool("codesign").string() + " --sign - --force '" + bundle.string() + "' >/dev/null";
  if (std::system(seal.c_str()) != 0) throw std::runtime_error("cannot seal " + bundle.string());
}

// Packs `folder` into the disk image `image` with the hdiutil stand-in.
inline void makeImage(const std::filesystem::path& folder, const std::filesystem::path& image) {
  std::string command = platformTool("hdiutil").string() + " create -srcfolder '" +
                        folder.string() + "' '" + image.string() + "' >/dev/null";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot pack " + image.string());
}

}  // namespace kaldra::testing
