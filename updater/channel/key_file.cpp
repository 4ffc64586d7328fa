#include "updater/channel/key_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/spawn.h"
#include "updater/base/failure.h"
#include "updater/base/file_io.h"

namespace kaldra::update {

namespace {

// mkdir's mode is narrowed by the umask, never widened: 0700 at most from the start.
void makePrivateFolders(const std::filesystem::path& folder) {
  if (folder.empty() || std::filesystem::is_directory(folder)) return;
  makePrivateFolders(folder.parent_path());
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    throwDiskError("cannot create " + folder.string(), errno);
}

}  // namespace

void writeNewPrivateKey(const std::filesystem::path& path, const std::string& pem) {
  std::error_code ignored;
  if (std::filesystem::symlink_status(path, ignored).type() !=
      std::filesystem::file_type::not_found)
    throw UpdateError(FailureKind::other,
                      path.string() + " exists; a key is never written over it");
  auto folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
  makePrivateFolders(folder);
  auto temporary = folder / (".key-" + std::to_string(::getpid()) + ".tmp");
  {
    platform::UniqueFd out{
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600)};
    if (out.get() < 0) throwDiskError("cannot create " + temporary.string(), errno);
    if (!writeAll(out.get(), pem) || ::fsync(out.get()) != 0) {
      int error = errno;
      ::unlink(temporary.c_str());
      throwDiskError("cannot write " + temporary.string(), error);
    }
  }
  // A link, unlike a rename, never replaces what appeared at the path meanwhile.
  int linked = ::link(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
  ::unlink(temporary.c_str());
  if (linked == EEXIST)
    throw UpdateError(FailureKind::other,
                      path.string() + " exists; a key is never written over it");
  if (linked != 0) throwDiskError("cannot write " + path.string(), linked);
  syncDirectory(folder);
}

}  // namespace kaldra::update
