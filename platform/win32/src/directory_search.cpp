// Directory search over a folder and a wildcard name (see
// directory_search.h). The whole listing is taken at the open and sorted,
// so a search sees one consistent, repeatable order.
#include "win32/directory_search.h"

#include <algorithm>

#include <dirent.h>
#include <sys/stat.h>

namespace win32 {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  // Iterative match with one back-tracking point for the last '*'.
  size_t p = 0, n = 0, star = std::string::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::unique_ptr<DirectorySearch> DirectorySearch::Open(const std::string& pattern) {
  size_t slash = pattern.find_last_of("/\\");
  std::string folder = slash == std::string::npos ? std::string(".") : pattern.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (name.empty()) return nullptr;
  if (folder.size() > 1 && folder.back() == '\\') folder.back() = '/';

  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return nullptr;
  auto search = std::unique_ptr<DirectorySearch>(new DirectorySearch());
  while (const dirent* entry = readdir(dir)) {
    std::string entry_name = entry->d_name;
    if (!WildcardMatch(name, entry_name)) continue;
    FoundEntry found;
    found.name = entry_name;
    struct stat st {};
    std::string full = folder + (folder.back() == '/' ? "" : "/") + entry_name;
    if (stat(full.c_str(), &st) == 0) {
      found.is_directory = S_ISDIR(st.st_mode);
      found.size = static_cast<uint64_t>(st.st_size);
      found.modified = st.st_mtime;
    }
    search->entries_.push_back(std::move(found));
  }
  closedir(dir);
  if (search->entries_.empty()) return nullptr;
  std::sort(search->entries_.begin(), search->entries_.end(),
            [](const FoundEntry& a, const FoundEntry& b) { return a.name < b.name; });
  return search;
}

const FoundEntry* DirectorySearch::Next() {
  if (next_ >= entries_.size()) return nullptr;
  return &entries_[next_++];
}

}  // namespace win32
