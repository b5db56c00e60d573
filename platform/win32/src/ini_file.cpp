// INI settings files (see ini_file.h). A file is read whole into lines; a
// write rewrites the file through a temporary sibling that is renamed over
// it, so a crash never leaves half a settings file behind.
#include "win32/ini_file.h"

#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include <unistd.h>

namespace win32 {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

struct IniText {
  bool bom = false;
  std::vector<std::string> lines;  // without their line ends
};

std::optional<IniText> Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  IniText text;
  if (std::string_view(data).substr(0, 3) == kBom) {
    text.bom = true;
    data.erase(0, 3);
  }
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text.lines.push_back(std::move(line));
    start = end + 1;
  }
  return text;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string_view> SectionOf(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

bool IsComment(std::string_view line) {
  std::string_view t = Trim(line);
  return !t.empty() && t.front() == ';';
}

// Splits "key = value"; false for lines that are not assignments.
bool SplitEntry(std::string_view line, std::string_view* key, std::string_view* value) {
  if (IsComment(line)) return false;
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  *key = Trim(line.substr(0, eq));
  *value = Trim(line.substr(eq + 1));
  return !key->empty();
}

// Index of the line holding `key` in `section`, and of the section header
// and the section's last non-blank line.
struct Place {
  std::optional<size_t> header, entry;
  size_t last = 0;
};

Place Find(const IniText& text, std::string_view section, std::string_view key) {
  Place place;
  bool inside = false;
  for (size_t i = 0; i < text.lines.size(); ++i) {
    if (auto name = SectionOf(text.lines[i])) {
      inside = EqualNoCase(*name, section) && !place.header;
      if (inside) {
        place.header = i;
        place.last = i;
      }
      continue;
    }
    if (!inside) continue;
    if (!Trim(text.lines[i]).empty()) place.last = i;
    std::string_view k, v;
    if (!place.entry && SplitEntry(text.lines[i], &k, &v) && EqualNoCase(k, key)) place.entry = i;
  }
  return place;
}

std::optional<std::string> Lookup(const std::string& path, std::string_view section, std::string_view key) {
  auto text = Load(path);
  if (!text) return std::nullopt;
  Place place = Find(*text, section, key);
  if (!place.entry) return std::nullopt;
  std::string_view k, v;
  SplitEntry(text->lines[*place.entry], &k, &v);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

}  // namespace

std::string IniReadString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view fallback) {
  auto value = Lookup(path, section, key);
  return value ? *value : std::string(fallback);
}

int IniReadInt(const std::string& path, std::string_view section, std::string_view key, int fallback) {
  auto value = Lookup(path, section, key);
  if (!value) return fallback;
  std::string_view v = *value;
  bool negative = false;
  size_t i = 0;
  if (i < v.size() && (v[i] == '-' || v[i] == '+')) negative = v[i++] == '-';
  long long number = 0;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
    number = number * 10 + (v[i] - '0');
    if (number > INT_MAX) number = static_cast<long long>(INT_MAX) + 1;  // saturate
  }
  if (negative) number = -number;
  if (number > INT_MAX) return INT_MAX;
  if (number < INT_MIN) return INT_MIN;
  return static_cast<int>(number);
}

bool IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value) {
  IniText text = Load(path).value_or(IniText{});
  std::string line = std::string(key) + "=" + std::string(value);
  Place place = Find(text, section, key);
  if (place.entry) {
    text.lines[*place.entry] = line;
  } else if (place.header) {
    text.lines.insert(text.lines.begin() + static_cast<std::ptrdiff_t>(place.last + 1), line);
  } else {
    if (!text.lines.empty() && !Trim(text.lines.back()).empty()) text.lines.emplace_back();
    text.lines.push_back("[" + std::string(section) + "]");
    text.lines.push_back(line);
  }

  std::string out;
  if (text.bom) out += kBom;
  for (const std::string& l : text.lines) out += l + "\n";

  std::string temp = path + ".new";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    if (!file.flush()) {
      file.close();
      unlink(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace win32
