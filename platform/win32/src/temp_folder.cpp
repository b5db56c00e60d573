// The user's temporary folder and unique temporary files (see temp_folder.h).
#include "win32/temp_folder.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace win32 {

bool EnsurePrivateFolder(const std::string& path) {
  if (path.empty()) return false;
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  // Open without following a link, then judge the folder by its descriptor,
  // so that a link swapped in between the checks cannot be trusted.
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
  if (ok && (st.st_mode & 077) != 0) ok = fchmod(fd, 0700) == 0;
  close(fd);
  return ok;
}

std::string TempFolder() {
  const char* env = std::getenv("TMPDIR");
  std::string folder;
  if (env != nullptr && *env != '\0') {
    folder = env;
  } else {
    folder = "/tmp/shapeglean-" + std::to_string(geteuid());
    if (!EnsurePrivateFolder(folder)) return std::string();
  }
  if (folder.back() != '/') folder.push_back('/');
  return folder;
}

std::string CreateUniqueFile(const std::string& folder, const std::string& prefix,
                             const std::string& suffix) {
  std::string path = folder + prefix + "XXXXXX" + suffix;
  int fd = mkstemps(path.data(), static_cast<int>(suffix.size()));
  if (fd < 0) return std::string();
  close(fd);
  return path;
}

}  // namespace win32
