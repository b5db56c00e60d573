// Temporary names of the portability layer.
//
// Every name lies in the user's private temporary folder (see the platform
// layer), so nobody else can plant a file or link on it. KVB_ASC_tmpnam
// reserves a random name by creating the file exclusively and removing it
// again; KVB_ASC_tmpnam1 hands out the process's numbered names "s<pid>.<n>"
// in a caller's folder, guarded by one lock so that threads never share one.
#include <cstring>
#include <mutex>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "dalvex/portability.h"
#include "temp_name_format.h"
#include "win32/temp_folder.h"
#include "win32/utf16.h"

namespace {

constexpr size_t kMaxPath = 260;

// A fresh name in the temporary folder, free at the time of the return.
std::string ReserveTempName() {
  std::string folder = win32::TempFolder();
  if (folder.empty()) return std::string();
  std::string path = win32::CreateUniqueFile(folder, "kvb", ".tmp");
  if (!path.empty()) unlink(path.c_str());
  return path;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;  // a dangling link counts as taken
}

}  // namespace

extern "C" {

char16_t* KVB_tmpnam(char16_t* buffer) {
  if (buffer == nullptr) return nullptr;
  buffer[0] = 0;
  std::string path = ReserveTempName();
  auto wide = win32::Utf8ToUtf16(path);
  if (path.empty() || !wide || wide->size() >= kMaxPath) return nullptr;
  std::memcpy(buffer, wide->c_str(), (wide->size() + 1) * sizeof(char16_t));
  return buffer;
}

char* KVB_ASC_tmpnam(char* out) {
  if (out == nullptr) return nullptr;
  out[0] = '\0';
  std::string path = ReserveTempName();
  if (path.empty() || path.size() >= kMaxPath) return nullptr;
  std::memcpy(out, path.c_str(), path.size() + 1);
  return out;
}

char* KVB_ASC_tmpnam1(const char* path, char* out) {
  if (out == nullptr || path == nullptr || *path == '\0') return nullptr;
  static std::mutex guard;
  static uint64_t counter = 0;
  static bool started = false;

  std::string caller(path);
  size_t slash = caller.find_last_of("/\\");
  std::string folder = slash == std::string::npos ? std::string() : caller.substr(0, slash + 1);
  if (!folder.empty() && folder.back() == '\\') folder.back() = '/';
  for (;;) {
    std::string name;
    {
      std::lock_guard<std::mutex> lock(guard);
      if (started) ++counter;
      started = true;
      name = dalvex::TempNameText(static_cast<uint32_t>(getpid()), counter);
    }
    std::string full = folder + name;
    if (full.size() >= kMaxPath) {
      out[0] = '\0';
      return nullptr;
    }
    if (!Exists(full)) {
      std::memcpy(out, full.c_str(), full.size() + 1);
      return out;
    }
  }
}

int KVB_ASC_remove(const char* path) { return (path && std::remove(path) == 0) ? 0 : -1; }

}  // extern "C"
