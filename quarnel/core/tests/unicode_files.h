// Readers of the Unicode Character Database files (Debian's unicode-data)
// for the tests that hold ICU's answers against them. The folder comes
// from UNICODE_DATA_DIR, by default /usr/share/unicode/; a missing file
// reads as empty, and the tests then skip.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace quarnel_test {

inline std::string UnicodeDataPath(const std::string& file) {
  const char* dir = std::getenv("UNICODE_DATA_DIR");
  std::string path = dir && *dir ? dir : "/usr/share/unicode/";
  if (path.back() != '/') path += '/';
  return path + file;
}

inline std::string TrimField(std::string s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

using UnicodeRow = std::tuple<int32_t, int32_t, std::string>;

// "XXXX..YYYY ; value" rows, in file order; with missing, the "@missing"
// rows instead.
inline std::vector<UnicodeRow> ReadUnicodeFile(const std::string& file, bool missing = false) {
  std::vector<UnicodeRow> rows;
  std::ifstream in(UnicodeDataPath(file));
  std::string line;
  while (std::getline(in, line)) {
    const std::string tag = "# @missing:";
    if (missing) {
      if (line.compare(0, tag.size(), tag) != 0) continue;
      line = line.substr(tag.size());
    } else {
      line = line.substr(0, line.find('#'));
    }
    const size_t semi = line.find(';');
    if (semi == std::string::npos) continue;
    const std::string range = TrimField(line.substr(0, semi));
    std::string value = TrimField(line.substr(semi + 1));
    value = TrimField(value.substr(0, value.find(';')));
    const size_t dots = range.find("..");
    const int32_t first = static_cast<int32_t>(std::stol(range, nullptr, 16));
    const int32_t last =
        dots == std::string::npos ? first : static_cast<int32_t>(std::stol(range.substr(dots + 2), nullptr, 16));
    rows.emplace_back(first, last, value);
  }
  return rows;
}

// One value per code point, kept as an index into the distinct values.
class PropertyMap {
 public:
  bool empty() const { return m_index.empty(); }
  const std::string& at(int32_t c) const { return m_values[m_index[c]]; }
  void fill(int32_t first, int32_t last, const std::string& value) {
    if (m_index.empty()) m_index.assign(0x110000, 0);
    auto [it, added] = m_ids.emplace(value, static_cast<uint8_t>(m_values.size()));
    if (added) m_values.push_back(value);
    for (int32_t c = first; c <= last && c <= 0x10FFFF; ++c) m_index[c] = it->second;
  }

 private:
  std::vector<uint8_t> m_index;
  std::vector<std::string> m_values{""};
  std::map<std::string, uint8_t> m_ids{{"", 0}};
};

// The file's @missing defaults, then its rows (only those of the given
// value when one is given).
inline PropertyMap ReadPropertyMap(const std::string& file, const std::string& only = "") {
  PropertyMap map;
  const auto rows = ReadUnicodeFile(file);
  if (rows.empty()) return map;
  map.fill(0, 0x10FFFF, "");
  if (only.empty()) {
    for (const auto& [first, last, value] : ReadUnicodeFile(file, true)) map.fill(first, last, value);
  }
  for (const auto& [first, last, value] : rows) {
    if (only.empty() || value == only) map.fill(first, last, value);
  }
  return map;
}

// General categories of UnicodeData.txt, whose ranges are written as
// "<..., First>" and "<..., Last>" rows; unlisted code points are Cn.
inline PropertyMap ReadCategoryMap() {
  PropertyMap map;
  std::ifstream in(UnicodeDataPath("UnicodeData.txt"));
  std::string line;
  int32_t rangeStart = -1;
  while (std::getline(in, line)) {
    if (map.empty()) map.fill(0, 0x10FFFF, "Cn");
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string part; std::getline(ss, part, ';');) f.push_back(part);
    if (f.size() < 3) continue;
    const int32_t c = static_cast<int32_t>(std::stol(f[0], nullptr, 16));
    if (f[1].find(", First>") != std::string::npos) {
      rangeStart = c;
      continue;
    }
    map.fill(f[1].find(", Last>") != std::string::npos ? rangeStart : c, c, f[2]);
  }
  return map;
}

}  // namespace quarnel_test
