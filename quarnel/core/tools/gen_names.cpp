// Build-time generator of Quarnel's built-in name table. It reads the table
// (one text a line, line n being name n) and the list of names that the
// library's code compares against, and writes:
//   - a C++ source that defines the constant data declared in
//     quarnel/core/src/builtin_name_data.h: the 1,598 texts as char16_t
//     literals with their lengths (entry 0 empty) and the numbers sorted by
//     their texts in UTF-16 code-unit order, for a lock-free binary search;
//   - a public header of named constexpr ZelNameEnum constants.
//
//   gen_names <builtin_names.txt> <named_names.txt> <output .cpp> <output .h>
//
// Anything unexpected stops the build: a table that is not exactly 1,597
// distinct printable ASCII texts, a listed text that is not built in, or two
// constants of one name (plain mangling folds case and punctuation, so
// "SHIFT-JIS" and "SHIFT_JIS" would collide unless one is named in the list).
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr size_t kBuiltinCount = 1597;

[[noreturn]] void Fail(const std::string& message) {
  std::cerr << "gen_names: " << message << "\n";
  std::exit(1);
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

bool PrintableAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// NAME_ and the text in upper case, every run of other characters one "_".
std::string Mangle(const std::string& text) {
  std::string out;
  for (char c : text) {
    bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (alnum) {
      out.push_back(c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c);
    } else if (!out.empty() && out.back() != '_') {
      out.push_back('_');
    }
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  if (out.empty()) Fail("no constant name can be made of \"" + text + "\"");
  return "NAME_" + out;
}

bool ValidConstantName(const std::string& name) {
  if (name.rfind("NAME_", 0) != 0 || name.find("__") != std::string::npos || name.back() == '_') return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; });
}

std::string Literal(const std::string& text) {
  std::string out = "u\"";
  for (char c : text) {
    if (c == '"' || c == '\\' || c == '?') out.push_back('\\');  // '?' keeps trigraph-like runs apart
    out.push_back(c);
  }
  return out + "\"";
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out.flush()) Fail("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) Fail("usage: gen_names <builtin_names.txt> <named_names.txt> <output .cpp> <output .h>");

  // Entry 0 is the empty name; line n of the table is entry n.
  std::vector<std::string> texts{""};
  for (const std::string& line : ReadLines(argv[1])) {
    if (line.empty() || !PrintableAscii(line) || line.front() == ' ' || line.back() == ' ')
      Fail(std::string(argv[1]) + ": line " + std::to_string(texts.size()) + " is not a plain ASCII text");
    texts.push_back(line);
  }
  if (texts.size() != kBuiltinCount + 1)
    Fail(std::string(argv[1]) + ": " + std::to_string(texts.size() - 1) + " names, not " +
         std::to_string(kBuiltinCount));
  std::map<std::string, size_t> numbers;
  for (size_t n = 0; n < texts.size(); ++n)
    if (!numbers.emplace(texts[n], n).second) Fail("\"" + texts[n] + "\" stands twice in the table");

  // ASCII texts: byte order is UTF-16 code-unit order.
  std::vector<size_t> sorted(texts.size());
  std::iota(sorted.begin(), sorted.end(), size_t{0});
  std::sort(sorted.begin(), sorted.end(), [&](size_t a, size_t b) { return texts[a] < texts[b]; });

  std::vector<std::pair<std::string, size_t>> constants;
  std::set<std::string> constantNames;
  std::set<std::string> listed;
  for (const std::string& line : ReadLines(argv[2])) {
    if (line.empty() || line.rfind("//", 0) == 0) continue;
    size_t tab = line.find('\t');
    std::string text = line.substr(0, tab);
    std::string name = tab == std::string::npos ? Mangle(text) : line.substr(tab + 1);
    auto found = numbers.find(text);
    if (text.empty() || found == numbers.end()) Fail("\"" + text + "\" is not a built-in name");
    if (!listed.insert(text).second) Fail("\"" + text + "\" is listed twice");
    if (!ValidConstantName(name)) Fail("\"" + name + "\" is no constant name of the form NAME_X");
    if (!constantNames.insert(name).second) Fail("two constants are named " + name + " (the second for \"" + text + "\")");
    constants.emplace_back(name, found->second);
  }

  std::string source =
      "// Generated by gen_names from quarnel/core/data/builtin_names.txt; do not edit.\n"
      "#include \"builtin_name_data.h\"\n\n"
      "namespace ObraCommon::builtin_names {\n\n"
      "const BuiltinText kTexts[kCount] = {\n";
  for (const std::string& text : texts)
    source += "    {" + Literal(text) + ", " + std::to_string(text.size()) + "},\n";
  source += "};\n\nconst uint16_t kSortedNumbers[kCount] = {\n";
  for (size_t i = 0; i < sorted.size(); ++i)
    source += (i % 16 == 0 ? "    " : " ") + std::to_string(sorted[i]) + "," + (i % 16 == 15 ? "\n" : "");
  source += "\n};\n\n}  // namespace ObraCommon::builtin_names\n";

  std::string header =
      "// Generated by gen_names from quarnel/core/data/named_names.txt; do not edit.\n"
      "// The built-in names that the library compares against, by their fixed\n"
      "// numbers (part of the library's interface).\n"
      "#pragma once\n\n"
      "#include \"quarnel/name_enum.h\"\n\n"
      "namespace ObraCommon {\n\n";
  for (const auto& [name, number] : constants)
    // A text ending in a backslash would continue its comment line.
    header += "inline constexpr ZelNameEnum " + name + " = " + std::to_string(number) + ";" +
              (texts[number].back() == '\\' ? "" : "  // " + texts[number]) + "\n";
  header += "\n}  // namespace ObraCommon\n";

  WriteFile(argv[3], source);
  WriteFile(argv[4], header);
  return 0;
}
