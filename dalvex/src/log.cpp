// Log files of the extractors (see log.h).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "dalvex/log.h"

namespace {

constexpr int kLogBit = 0x10000;
constexpr size_t kMaxPath = 260;
constexpr size_t kMaxName = 256;

}  // namespace

extern "C" {

KVB_FileHandle kvb_logfopen(int flags, const char* path) {
  if (!(flags & kLogBit)) return nullptr;
  return KVB_FileOpen(path, "wb+");
}

int kvb_logfclose(int flags, KVB_FileHandle file) {
  if (!(flags & kLogBit) || file == nullptr) return 0;
  return KVB_FileClose(file);
}

int kvb_logfprintf(int flags, KVB_FileHandle file, const char* format, int value) {
  if ((flags & kLogBit) && file != nullptr && format != nullptr) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::fprintf(file, format, value);
#pragma GCC diagnostic pop
  }
  return 0;
}

int GetLogFileName(const char* path, const char* suffix, char* out) {
  if (out == nullptr) return -1;
  out[0] = '\0';
  // Every limit is checked on the lengths before anything is copied.
  std::string_view whole = path ? std::string_view(path) : std::string_view();
  std::string_view extra = suffix ? std::string_view(suffix) : std::string_view();
  if (whole.size() >= kMaxPath) return -1;
  size_t folder_end = whole.find_last_of("/\\");
  folder_end = folder_end == whole.npos ? 0 : folder_end + 1;
  std::string_view folder = whole.substr(0, folder_end);
  std::string_view name = whole.substr(folder_end);
  std::string_view base = name.substr(0, std::min(name.rfind('.'), name.size()));
  if (base.size() + extra.size() >= kMaxName) return -1;
  if (folder.size() + base.size() + extra.size() + 4 >= kMaxPath) return -1;
  std::string log;
  log.append(folder).append(base).append(extra).append(".log");
  std::memcpy(out, log.c_str(), log.size() + 1);
  return 0;
}

}  // extern "C"
