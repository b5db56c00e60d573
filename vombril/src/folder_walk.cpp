// The two walkers that clean up after a run: RemoveDirTree removes a folder
// with everything in it, PruneEmptyOutputs removes the empty files and then
// the folders left empty. Both look at entries with lstat and never follow a
// symbolic link: a link is removed as a link, or kept as it is.
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rar_job.h"

namespace vombril {

namespace {

constexpr int kDepthLimit = 256;

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

// Calls `visit` with the path of each entry of the folder other than "."
// and ".."; stops at the first non-zero answer, which it returns.
template <typename Visit>
int EachEntry(const std::string& folder, Visit visit) {
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return 0;
  while (dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (int rc = visit(folder + "/" + name)) return rc;
  }
  return 0;
}

int RemoveTree(const std::string& path, int depth) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return 0;
  if (S_ISDIR(st.st_mode)) {
    if (depth > kDepthLimit) return FileCantDelete;
    if (int rc = EachEntry(path, [depth](const std::string& child) { return RemoveTree(child, depth + 1); }))
      return rc;
    return rmdir(path.c_str()) == 0 ? 0 : FileCantDelete;
  }
  // A file or a link: the entry itself goes.
  return unlink(path.c_str()) == 0 ? 0 : FileCantDelete;
}

int Prune(const std::string& path, bool* kept, int depth) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return 0;
  if (S_ISLNK(st.st_mode)) {
    *kept = true;
    return 0;
  }
  if (S_ISDIR(st.st_mode)) {
    if (depth > kDepthLimit) {
      *kept = true;
      return 0;
    }
    bool any = false;
    int rc = EachEntry(path, [&any, depth](const std::string& child) {
      bool child_kept = false;
      int r = Prune(child, &child_kept, depth + 1);
      any = any || child_kept;
      return r;
    });
    if (rc != 0) return rc;
    if (any) {
      *kept = true;
      return 0;
    }
    return rmdir(path.c_str()) == 0 ? 0 : FileCantDelete;
  }
  // A file that cannot be opened has no size we know: it is kept.
  KVB_FileHandle file = S_ISREG(st.st_mode) ? KVB_FileOpen(path.c_str(), "rb") : nullptr;
  if (file == nullptr) {
    *kept = true;
    return 0;
  }
  int32_t size = KVB_FileTellSize(file);
  KVB_FileClose(file);
  if (size != 0) {
    *kept = true;
    return 0;
  }
  return unlink(path.c_str()) == 0 ? 0 : FileCantDelete;
}

}  // namespace

int RemoveDirTree(const std::string& path) { return RemoveTree(path, 0); }

int PruneEmptyOutputs(const std::string& path, bool* kept) {
  bool local = false;
  return Prune(path, kept != nullptr ? kept : &local, 0);
}

}  // namespace vombril
