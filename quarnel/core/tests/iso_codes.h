// A reader of the iso-codes JSON files (Debian's iso-codes) for the tests
// that compare the library's codes with ISO's. The folder comes from
// ISO_CODES_DIR, by default /usr/share/iso-codes/json/; a missing file
// reads as no entries, and the tests then skip.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace quarnel_test {

using IsoEntry = std::map<std::string, std::string>;

// The string fields of each object of the file's one list; the files are
// flat, so an entry is the text between a "{" and the next "}".
inline std::vector<IsoEntry> ReadIsoCodes(const std::string& file) {
  const char* dir = std::getenv("ISO_CODES_DIR");
  std::string path = dir && *dir ? dir : "/usr/share/iso-codes/json/";
  if (path.back() != '/') path += '/';
  std::ifstream in(path + file);
  std::stringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  std::vector<IsoEntry> entries;
  for (size_t open = text.find('{', 1); open != std::string::npos; open = text.find('{', open + 1)) {
    const size_t close = text.find('}', open);
    if (close == std::string::npos) break;
    IsoEntry entry;
    std::istringstream body(text.substr(open + 1, close - open - 1));
    for (std::string line; std::getline(body, line);) {
      const size_t k1 = line.find('"'), k2 = line.find('"', k1 + 1);
      const size_t v1 = line.find('"', k2 + 1), v2 = line.rfind('"');
      if (k1 == std::string::npos || v1 == std::string::npos || v2 <= v1) continue;
      entry[line.substr(k1 + 1, k2 - k1 - 1)] = line.substr(v1 + 1, v2 - v1 - 1);
    }
    entries.push_back(entry);
  }
  return entries;
}

}  // namespace quarnel_test
