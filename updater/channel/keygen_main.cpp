// kaldra-keygen [--existing] PRIVATE_PEM PUBLIC_INC: the build's publisher key. Keeps an
// existing private key, so that channels published with it stay valid across rebuilds, and
// writes its public half as C initialiser bytes for built_in_key.cpp. With --existing (the
// publisher's own key) a missing key is an error, never made anew.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "updater/base/failure.h"
#include "updater/channel/key_file.h"
#include "updater/channel/signature.h"

namespace {

std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kaldra::update;
  bool existing = argc == 4 && std::string(argv[1]) == "--existing";
  if (argc != 3 + existing) {
    std::cerr << "usage: kaldra-keygen [--existing] PRIVATE_PEM PUBLIC_INC\n";
    return 2;
  }
  std::filesystem::path privatePath = argv[1 + existing], includePath = argv[2 + existing];
  try {
    if (!std::filesystem::exists(privatePath)) {
      if (existing) throw std::runtime_error("no publisher key at " + privatePath.string());
      writeNewPrivateKey(privatePath, generatePrivateKeyPem());
    }
    std::ostringstream include;
    for (unsigned char byte : publicKeyOf(readAll(privatePath))) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02x,", byte);
      include << hex;
    }
    include << "\n";
    // An unchanged file keeps its time stamp, so the tool is not rebuilt for nothing.
    if (readAll(includePath) != include.str())
      std::ofstream(includePath, std::ios::binary | std::ios::trunc) << include.str();
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "kaldra-keygen: " << error.what() << "\n";
    return 1;
  }
}
