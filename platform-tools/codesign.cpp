// codesign --sign - [--force] BUNDLE: seals BUNDLE in Contents/_CodeSignature/CodeSeal.
// codesign --verify [--deep] [--strict] BUNDLE: fails, naming the first difference, when
//   anything in BUNDLE was added, removed or changed since sealing, or there is no seal.
//
// The seal holds one line per entry below BUNDLE (the seal's own folder left out), in
// the order of their names: "D MODE - NAME" for a folder, "F MODE SHA256 NAME" for a file,
// "L - TARGET NAME" for a symbolic link. MODE is the set-id and executable bits in octal;
// the write bits are not sealed, since attaching a disk image takes them away. An entry's
// security attributes (file capabilities and every other "security." one but the SELinux
// label, which the system gives by place) follow MODE as ",NAME=HEX" in name order, so that a
// capability granted after sealing is caught like a set-id bit. NAME and
// TARGET are percent-encoded, so that no name can pass for another, and a line feed or a
// blank in a name cannot split a line. Anything else (a FIFO, a device, a socket), and a
// link that leads out of the bundle (what it names could change unseen), cannot be sealed
// and fails both commands without being opened.
//
// Signing also writes CodeResources beside it, the seal of earlier versions of this tool
// ("F<TAB>SHA256<TAB>PATH", "L<TAB>TARGET<TAB>PATH"): launchers that carry such a version
// verify their update with it, and must still be able to.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sha256.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSealDir = "Contents/_CodeSignature";

std::string encoded(const std::string& name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '_' || c == '-' || c == '/' || c == '+';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += {'%', kHex[c >> 4], kHex[c & 0xf]};
    }
  }
  return out;
}

// The hexadecimal SHA-256 of a regular file, opened without following a link; empty when
// it cannot be read.
std::string fileDigest(const fs::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return "";
  bool failed = false;
  auto digest = kaldra::platform::sha256Hex([&](unsigned char* buffer, std::size_t size) {
    ssize_t n = ::read(fd, buffer, size);
    failed = failed || n < 0;
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  });
  ::close(fd);
  return failed ? "" : digest.value_or("");
}

// ",NAME=HEX" for each security attribute of `path` (not followed if a link), in name order;
// nullopt when they cannot be read.
std::optional<std::string> securityAttributes(const fs::path& path) {
  std::string names(4096, '\0');
  ssize_t size = ::llistxattr(path.c_str(), names.data(), names.size());
  if (size < 0) return errno == ENOTSUP ? std::optional<std::string>("") : std::nullopt;
  names.resize(static_cast<std::size_t>(size));
  std::vector<std::string> sealed;
  for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
    std::string name = names.c_str() + at;
    if (name.starts_with("security.") && name != "security.selinux") sealed.push_back(name);
  }
  std::sort(sealed.begin(), sealed.end());
  std::string out;
  for (const auto& name : sealed) {
    std::string value(65536, '\0');
    ssize_t length = ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
    if (length < 0) return std::nullopt;
    static constexpr char kHex[] = "0123456789abcdef";
    out += "," + encoded(name) + "=";
    for (unsigned char c : value.substr(0, static_cast<std::size_t>(length)))
      out += {kHex[c >> 4], kHex[c & 0xf]};
  }
  return out;
}

// Whether the link at `relative` (below the bundle) names something outside it.
bool leadsOut(const fs::path& relative, const fs::path& target) {
  if (target.is_absolute()) return true;
  auto resolved = (relative.parent_path() / target).lexically_normal();
  return resolved.empty() || *resolved.begin() == "..";
}

struct Entry {
  char type;          // 'D', 'F', 'L'
  std::string mode;   // octal set-id and executable bits, "-" for a link
  std::string value;  // digest, link target (encoded) or "-"
  std::string raw;    // the name and, for a link, the target as they are
  std::string line() const { return std::string(1, type) + " " + mode + " " + value; }
};

using Seal = std::map<std::string, Entry>;  // by encoded name

// Every entry of the bundle. Files are hashed on every processor at once. An entry that
// cannot be sealed ends the walk with its name in `problem`.
std::optional<Seal> walk(const fs::path& bundle, std::string& problem) {
  Seal seal;
  std::vector<std::pair<std::string, fs::path>> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(bundle, error), end; !error && it != end;
       it.increment(error)) {
    fs::path relative = it->path().lexically_relative(bundle);
    if (relative == kSealDir) {
      it.disable_recursion_pending();
      continue;
    }
    struct stat info {};
    if (::lstat(it->path().c_str(), &info) != 0) {
      problem = "could not read " + relative.string();
      return std::nullopt;
    }
    std::string name = encoded(relative.string());
    char bits[8];
    std::snprintf(bits, sizeof bits, "%04o", static_cast<unsigned>(info.st_mode & 07111));
    auto attributes = securityAttributes(it->path());
    if (!attributes) {
      problem = "could not read the attributes of " + relative.string();
      return std::nullopt;
    }
    std::string mode = (S_ISLNK(info.st_mode) ? "-" : bits) + *attributes;
    if (S_ISDIR(info.st_mode)) {
      seal[name] = {'D', mode, "-", relative.string()};
    } else if (S_ISLNK(info.st_mode)) {
      auto target = fs::read_symlink(it->path(), error);
      if (leadsOut(relative, target)) {
        problem = "link leads out of the bundle: " + relative.string();
        return std::nullopt;
      }
      seal[name] = {'L', mode, encoded(target.string()),
                    target.string() + "\t" + relative.string()};
    } else if (S_ISREG(info.st_mode)) {
      seal[name] = {'F', mode, "", relative.string()};
      files.emplace_back(name, it->path());
    } else {
      problem = "unsupported entry: " + relative.string();
      return std::nullopt;
    }
  }
  if (error) {
    problem = "could not read the bundle";
    return std::nullopt;
  }
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i) {
    workers.emplace_back([&] {
      for (std::size_t n; (n = next++) < files.size();)
        seal.find(files[n].first)->second.value = fileDigest(files[n].second);
    });
  }
  for (auto& worker : workers) worker.join();
  for (const auto& [name, entry] : seal) {
    if (entry.type == 'F' && entry.value.empty()) {
      problem = "could not read " + name;
      return std::nullopt;
    }
  }
  return seal;
}

std::string text(const Seal& seal) {
  std::string out;
  for (const auto& [name, entry] : seal) out += entry.line() + " " + name + "\n";
  return out;
}

std::string legacyText(const Seal& seal) {
  std::string out;
  for (const auto& [name, entry] : seal) {
    if (entry.type == 'F') out += "F\t" + entry.value + "\t" + entry.raw + "\n";
    if (entry.type == 'L') out += "L\t" + entry.raw + "\n";
  }
  return out;
}

bool writeFile(const fs::path& path, const std::string& bytes) {
  fs::path temporary = path.string() + ".new";
  std::ofstream(temporary, std::ios::binary | std::ios::trunc) << bytes;
  std::error_code error;
  fs::rename(temporary, path, error);
  return !error;
}

std::optional<Seal> parse(const std::string& bytes) {
  Seal seal;
  std::istringstream lines(bytes);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string type, mode, value, name, extra;
    if (!(fields >> type >> mode >> value >> name) || (fields >> extra) || type.size() != 1)
      return std::nullopt;
    seal[name] = {type[0], mode, value};
  }
  return seal;
}

// The first difference between the sealed and the current entries, in name order.
std::string difference(const Seal& sealed, const Seal& now) {
  auto a = sealed.begin(), b = now.begin();
  while (a != sealed.end() || b != now.end()) {
    if (b == now.end() || (a != sealed.end() && a->first < b->first))
      return "file removed: " + a->first;
    if (a == sealed.end() || b->first < a->first) return "file added: " + b->first;
    const Entry &was = a->second, &is = b->second;
    if (was.type != is.type) return "type changed: " + a->first;
    if (was.mode != is.mode) return "mode changed: " + a->first;
    if (was.value != is.value)
      return (was.type == 'L' ? "link changed: " : "file modified: ") + a->first;
    ++a;
    ++b;
  }
  return "";
}

int fail(const std::string& bundle, const std::string& why) {
  std::printf("%s: %s\n", bundle.c_str(), why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode, bundle;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--sign" && i + 1 < argc && std::string(argv[i + 1]) == "-") {
      mode = "sign";
      ++i;
    } else if (arg == "--sign") {
      std::fprintf(stderr, "codesign: only ad-hoc signing (--sign -) is supported\n");
      return 2;
    } else if (arg == "--verify") {
      mode = "verify";
    } else if (arg == "--force" || arg == "--deep" || arg == "--strict") {
    } else if (arg.starts_with("-")) {
      std::fprintf(stderr, "codesign: unknown option %s\n", arg.c_str());
      return 2;
    } else {
      bundle = arg;
    }
  }
  if (mode.empty() || bundle.empty()) {
    std::fprintf(stderr,
                 "codesign: usage: codesign --sign - [--force] bundle | codesign --verify "
                 "--deep --strict bundle\n");
    return 2;
  }
  struct stat info {};
  if (::stat((fs::path(bundle) / "Contents").c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    return fail(bundle, "bundle format unrecognized");

  fs::path sealFile = fs::path(bundle) / kSealDir / "CodeSeal";
  std::string problem;
  auto now = walk(bundle, problem);
  if (!now) return fail(bundle, problem);
  if (mode == "sign") {
    std::error_code error;
    fs::create_directories(fs::path(bundle) / kSealDir, error);
    bool written = writeFile(fs::path(bundle) / kSealDir / "CodeResources", legacyText(*now)) &&
                   writeFile(sealFile, text(*now));
    return written ? 0 : fail(bundle, "cannot write the seal");
  }
  if (::lstat(sealFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    return fail(bundle, "code object is not signed at all");
  std::ifstream in(sealFile, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  auto sealed = parse(bytes.str());
  if (!sealed) return fail(bundle, "the seal is damaged");
  std::string first = difference(*sealed, *now);
  return first.empty() ? 0 : fail(bundle, first);
}
