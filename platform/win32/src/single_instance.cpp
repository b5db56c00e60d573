// One instance at a time (see single_instance.h).
#include "win32/single_instance.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "win32/temp_folder.h"

namespace win32 {

std::unique_ptr<SingleInstanceGuard> SingleInstanceGuard::Acquire(const std::string& lock_name,
                                                                  InstanceCheck* check) {
  *check = InstanceCheck::kCannotCreate;
  std::string folder = TempFolder();
  if (folder.empty() || lock_name.empty() || lock_name.find('/') != std::string::npos) return nullptr;
  std::string path = folder + lock_name;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) *check = InstanceCheck::kRunning;
    close(fd);
    return nullptr;
  }
  *check = InstanceCheck::kAlone;
  return std::unique_ptr<SingleInstanceGuard>(new SingleInstanceGuard(fd));
}

SingleInstanceGuard::~SingleInstanceGuard() {
  flock(fd_, LOCK_UN);
  close(fd_);
}

}  // namespace win32
