#include "platform/process_table.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/spawn.h"

namespace kaldra::platform {

namespace {

// A process or thread id from a /proc entry name; false for any other name.
bool parseId(std::string_view text, std::int32_t& id) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  return error == std::errc() && end == text.data() + text.size();
}

class Directory {
 public:
  explicit Directory(const char* path) : dir_(::opendir(path)) {}
  ~Directory() {
    if (dir_) ::closedir(dir_);
  }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  bool open() const { return dir_ != nullptr; }
  // The next entry's name, or nullptr at the end.
  const char* next() {
    const dirent* entry = ::readdir(dir_);
    return entry ? entry->d_name : nullptr;
  }

 private:
  DIR* dir_;
};

// Appends the ids listed in one /proc/<pid>/task/<tid>/children file ("12 345 ").
void readChildrenFile(const char* path, std::int32_t* pids, std::size_t capacity,
                      std::size_t& count) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  std::string text = readAll(fd);
  ::close(fd);
  std::string_view rest = text;
  while (!rest.empty() && count < capacity) {
    std::size_t blank = rest.find(' ');
    std::int32_t id = 0;
    if (parseId(rest.substr(0, blank), id)) pids[count++] = id;
    rest.remove_prefix(blank == std::string_view::npos ? rest.size() : blank + 1);
  }
}

}  // namespace

std::int32_t currentProcessId() {
  return ::getpid();
}

NullSignal sendNullSignal(std::int32_t pid) {
  if (::kill(pid, 0) == 0) return NullSignal::delivered;
  return errno == EPERM ? NullSignal::notPermitted : NullSignal::failed;
}

int listAllPids(std::int32_t* pids, std::size_t capacity) {
  Directory proc("/proc");
  if (!proc.open()) return 0;
  std::size_t count = 0;
  while (count < capacity) {
    const char* name = proc.next();
    if (!name) break;
    std::int32_t id = 0;
    if (parseId(name, id)) pids[count++] = id;
  }
  return static_cast<int>(count);
}

int listChildPids(std::int32_t pid, std::int32_t* pids, std::size_t capacity) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/task", pid);
  Directory tasks(path);
  if (!tasks.open()) return 0;
  std::size_t count = 0;
  // A child belongs to the thread that started it; the process's children are those
  // of all its threads.
  while (const char* name = tasks.next()) {
    std::int32_t tid = 0;
    if (!parseId(name, tid)) continue;
    char file[96];
    std::snprintf(file, sizeof file, "/proc/%d/task/%d/children", pid, tid);
    readChildrenFile(file, pids, capacity, count);
  }
  return static_cast<int>(count);
}

int readExecutablePath(std::int32_t pid, char* buffer, std::size_t size) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/%d/exe", pid);
  return static_cast<int>(::readlink(link, buffer, size));
}

}  // namespace kaldra::platform
