// Directories, directory search and path helpers of the portability layer.
//
// Searches follow the system's find-first/find-next: the open finds the
// first entry, the first read returns it. Split parts have the runtime's
// sizes (drive 3 bytes, the other parts 256); a path whose parts do not fit
// gives every part empty. Joined paths hold 260 bytes; one that does not
// fit gives "". Both separators are accepted on input and '/' is written;
// drive parts are always empty on this platform.
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

#include "dalvex/portability.h"
#include "win32/directory_search.h"
#include "win32/utf16.h"

namespace {

constexpr size_t kMaxPath = 260;
constexpr size_t kMaxPart = 256;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Fills the record's find data from a found entry; false when the name does
// not fit (it is then passed over).
bool Fill(KVB_DirHandle* dir, const win32::FoundEntry& found) {
  auto wide = win32::Utf8ToUtf16(found.name);
  if (!wide || wide->size() >= kMaxPath || found.name.size() >= kMaxPath) return false;
  uint32_t attributes = found.is_directory ? 0x10 : 0x80;
  dir->wide.attributes = dir->narrow.attributes = attributes;
  dir->wide.size = dir->narrow.size = found.size;
  dir->wide.modified = dir->narrow.modified = found.modified;
  std::memcpy(dir->wide.name, wide->c_str(), (wide->size() + 1) * sizeof(char16_t));
  std::memcpy(dir->narrow.name, found.name.c_str(), found.name.size() + 1);
  return true;
}

bool Advance(KVB_DirHandle* dir) {
  auto* search = static_cast<win32::DirectorySearch*>(dir->search);
  while (const win32::FoundEntry* found = search->Next())
    if (Fill(dir, *found)) return true;
  return false;
}

int Open(const std::string& pattern, KVB_DirHandle* dir) {
  dir->search = nullptr;
  dir->first_pending = 0;
  auto search = win32::DirectorySearch::Open(pattern);
  if (!search) return 0;
  dir->search = search.release();
  if (!Advance(dir)) {
    KVB_closedir(dir);
    return 0;
  }
  dir->first_pending = 1;
  return 1;
}

// Moves to the next entry unless the open's entry is still pending.
bool Read(KVB_DirHandle* dir) {
  if (dir == nullptr || dir->search == nullptr) return false;
  if (dir->first_pending) {
    dir->first_pending = 0;
    return true;
  }
  return Advance(dir);
}

// The parts of a path as views into it.
template <typename Char>
struct Parts {
  std::basic_string_view<Char> folder, base, extension;
};

template <typename Char>
Parts<Char> Split(std::basic_string_view<Char> path) {
  Parts<Char> parts;
  size_t folder_end = 0;
  for (size_t i = 0; i < path.size(); ++i)
    if (path[i] == Char('/') || path[i] == Char('\\')) folder_end = i + 1;
  parts.folder = path.substr(0, folder_end);
  std::basic_string_view<Char> name = path.substr(folder_end);
  size_t dot = name.rfind(Char('.'));
  parts.base = dot == name.npos ? name : name.substr(0, dot);
  parts.extension = dot == name.npos ? name.substr(name.size()) : name.substr(dot);
  return parts;
}

template <typename Char>
void Store(Char* out, std::basic_string_view<Char> part) {
  if (out == nullptr) return;
  std::copy(part.begin(), part.end(), out);
  out[part.size()] = Char(0);
}

template <typename Char>
void SplitPath(const Char* path, Char* drive, Char* folder, Char* base, Char* extension) {
  std::basic_string_view<Char> whole = path ? std::basic_string_view<Char>(path) : std::basic_string_view<Char>();
  Parts<Char> parts = Split(whole);
  if (parts.folder.size() >= kMaxPart || parts.base.size() >= kMaxPart || parts.extension.size() >= kMaxPart)
    parts = Parts<Char>();
  Store(drive, std::basic_string_view<Char>());
  Store(folder, parts.folder);
  Store(base, parts.base);
  Store(extension, parts.extension);
}

template <typename Char>
void MakePath(Char* out, const Char* drive, const Char* folder, const Char* base, const Char* extension) {
  if (out == nullptr) return;
  std::basic_string<Char> path;
  auto view = [](const Char* s) { return s ? std::basic_string_view<Char>(s) : std::basic_string_view<Char>(); };
  path += view(drive);
  std::basic_string_view<Char> f = view(folder);
  if (!f.empty()) {
    path += f;
    if (f.back() != Char('/') && f.back() != Char('\\')) path += Char('/');
  }
  path += view(base);
  std::basic_string_view<Char> e = view(extension);
  if (!e.empty()) {
    if (e.front() != Char('.')) path += Char('.');
    path += e;
  }
  if (path.size() >= kMaxPath) path.clear();
  Store(out, std::basic_string_view<Char>(path));
}

}  // namespace

extern "C" {

int KVB_opendir(const char16_t* pattern, KVB_DirHandle* dir) {
  if (dir == nullptr) return 0;
  dir->search = nullptr;
  dir->first_pending = 0;
  if (pattern == nullptr) return 0;
  auto narrow = win32::Utf16ToUtf8(std::u16string_view(pattern, win32::Utf16Length(pattern)));
  return narrow ? Open(*narrow, dir) : 0;
}

int KVB_ASC_opendir(const char* pattern, KVB_DirHandle* dir) {
  if (dir == nullptr) return 0;
  dir->search = nullptr;
  dir->first_pending = 0;
  return pattern ? Open(pattern, dir) : 0;
}

int KVB_readdir(KVB_DirHandle* dir, KVB_DirEntry* entry) {
  if (entry == nullptr || !Read(dir)) return 0;
  std::memcpy(entry->wide_name, dir->wide.name, sizeof(entry->wide_name));
  return 1;
}

int KVB_ASC_readdir(KVB_DirHandle* dir, KVB_DirEntry* entry) {
  if (entry == nullptr || !Read(dir)) return 0;
  std::memcpy(entry->name, dir->narrow.name, sizeof(entry->name));
  return 1;
}

int KVB_closedir(KVB_DirHandle* dir) {
  if (dir == nullptr || dir->search == nullptr) return -1;
  delete static_cast<win32::DirectorySearch*>(dir->search);
  dir->search = nullptr;
  dir->first_pending = 0;
  return 0;
}

int KVB_ASC_closedir(KVB_DirHandle* dir) { return KVB_closedir(dir); }

void KVB_WIN_splitpath(const char16_t* path, char16_t* drive, char16_t* folder, char16_t* base,
                       char16_t* extension) {
  SplitPath(path, drive, folder, base, extension);
}

void KVB_WIN_makepath(char16_t* out, const char16_t* drive, const char16_t* folder, const char16_t* base,
                      const char16_t* extension) {
  MakePath(out, drive, folder, base, extension);
}

void KVB_WIN_ASC_splitpath(const char* path, char* drive, char* folder, char* base, char* extension) {
  SplitPath(path, drive, folder, base, extension);
}

void KVB_splitpath(const char* path, char* drive, char* folder, char* base, char* extension) {
  SplitPath(path, drive, folder, base, extension);
}

void KVB_WIN_ASC_makepath(char* out, const char* drive, const char* folder, const char* base,
                          const char* extension) {
  MakePath(out, drive, folder, base, extension);
}

void KVB_makepath(char* out, const char* drive, const char* folder, const char* base, const char* extension) {
  MakePath(out, drive, folder, base, extension);
}

int KVB_STAT(const char* path, struct stat* record) {
  return (path && record && stat(path, record) == 0) ? 0 : -1;
}

int KVB_MkDir(const char* path) { return (path && mkdir(path, 0777) == 0) ? 0 : -1; }
int KVB_RmDir(const char* path) { return (path && rmdir(path) == 0) ? 0 : -1; }
int KVB_ChDir(const char* path) { return (path && chdir(path) == 0) ? 0 : -1; }

char* KVB_GetCwd(char* buffer, int size) {
  return (buffer && size > 0) ? getcwd(buffer, static_cast<size_t>(size)) : nullptr;
}

int KVB_FindFile(const char* pattern) {
  return (pattern && win32::DirectorySearch::Open(pattern)) ? 0 : -1;
}

int KVB_nextPathDelimiter(const char* path) {
  if (path == nullptr) return 0;
  int i = 0;
  while (path[i] != '\0' && !IsSeparator(path[i])) ++i;
  return i;
}

int KVB_nextDrivePathDelimiter(const char* path) {
  if (path == nullptr) return 0;
  int i = 0;
  while (path[i] != '\0' && !IsSeparator(path[i]) && path[i] != ':') ++i;
  return i;
}

int KVB_getPathBreak(const char* path) {
  if (path == nullptr) return 0;
  int last = 0;
  int at = 0;
  while (path[at] != '\0') {
    int next = at + KVB_nextPathDelimiter(path + at);
    if (path[next] == '\0') break;
    last = next;
    at = next + 1;
  }
  return last;
}

}  // extern "C"
