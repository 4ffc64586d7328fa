#include "updater/base/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "updater/base/failure.h"

namespace kaldra::update {

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool readAt(int fd, std::uint64_t offset, std::size_t size, std::string& bytes) {
  bytes.resize(size);
  std::size_t got = 0;
  while (got < size) {
    ssize_t n = ::pread(fd, bytes.data() + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return true;
}

void writeFileDurably(const std::filesystem::path& path, std::string_view bytes) {
  std::string temp = path.string() + ".tmp-XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) throwDiskError("cannot create a temporary file for " + path.string(), errno);
  int error = 0;
  if (!writeAll(fd, bytes) || ::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    throwDiskError("cannot write " + path.string(), error);
  }
  syncDirectory(path.parent_path());
}

void syncDirectory(const std::filesystem::path& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throwDiskError("cannot open folder " + folder.string(), errno);
  int result = ::fsync(fd);
  int error = errno;
  ::close(fd);
  if (result != 0) throwDiskError("cannot flush folder " + folder.string(), error);
}

void makeDirectories(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throwDiskError("cannot create folder " + folder.string(), error.value());
}

std::optional<std::string> readFile(const std::filesystem::path& path, std::string* error) {
  auto fail = [error](int number) -> std::optional<std::string> {
    if (error) *error = std::strerror(number);
    return std::nullopt;
  };
  // Not blocking in the opening, and only a regular file: a FIFO or a device where a
  // setting or a saved manifest belongs would otherwise hang the tool, and the launcher
  // waiting for it, before the game.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return fail(EINVAL);
  }
  std::string bytes;
  char buffer[1 << 16];
  while (true) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int number = errno;
      ::close(fd);
      return fail(number);
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

std::optional<std::uint64_t> freeBytes(const std::filesystem::path& path) {
  struct statvfs disk {};
  if (::statvfs(path.c_str(), &disk) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
}

}  // namespace kaldra::update
