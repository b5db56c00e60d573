// Directory search with the semantics of the system's find-first/find-next:
// a pattern is a folder plus a name that may hold '*' and '?' (ASCII letters
// match without regard to case); the open finds the first entry; "." and
// ".." are listed when the pattern matches them. Entries come in byte order
// of their names, never in the file system's order, so results repeat.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace win32 {

struct FoundEntry {
  std::string name;  // UTF-8
  bool is_directory = false;
  uint64_t size = 0;
  int64_t modified = 0;  // seconds since the epoch
};

class DirectorySearch {
 public:
  // Lists the entries matching `pattern`; null when the folder cannot be
  // read or no entry matches.
  static std::unique_ptr<DirectorySearch> Open(const std::string& pattern);

  // The next entry, or null at the end. The first call gives the first entry.
  const FoundEntry* Next();

 private:
  std::vector<FoundEntry> entries_;
  size_t next_ = 0;
};

// True when `name` matches the wildcard `pattern` ('*', '?', ASCII case
// folded).
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace win32
