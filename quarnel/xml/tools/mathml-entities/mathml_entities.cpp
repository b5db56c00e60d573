// Writes the MathML 2 entity table from the DTD and its entity sets: the
// sets in the order the DTD includes them, the first declaration of each
// general entity binding, each replacement text built as an XML processor
// builds it (parameter-entity texts included, character references
// replaced once), then references to characters other than "<" and "&"
// resolved, so that "Afr" holds U+1D504 while "lt" keeps "&#60;".
//
//   mathml_entities <mathml2.dtd> <output.inc>
//
// The output is the body of a char16_t array: name, 0, text, 0, ... and a
// closing empty name. The tool stops unless it finds the entity set's
// 2,086 names and 133 values beyond the basic plane.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr size_t kExpectedNames = 2086;
constexpr size_t kExpectedBeyondBmp = 133;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "mathml_entities: cannot read %s\n", path.c_str());
    std::exit(1);
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string WithoutComments(std::string text) {
  for (size_t at; (at = text.find("<!--")) != std::string::npos;) {
    size_t end = text.find("-->", at + 4);
    text.erase(at, end == std::string::npos ? std::string::npos : end + 3 - at);
  }
  return text;
}

// Code points of UTF-8 text (the entity sets are ASCII).
std::u32string Decode(const std::string& text) { return std::u32string(text.begin(), text.end()); }

int DigitValue(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// Character references replaced once: "&#38;#60;" becomes "&#60;".
std::u32string ReplaceCharacterReferences(const std::u32string& text, bool markupToo) {
  std::u32string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 2 < text.size() && text[i + 1] == '#') {
      bool hex = text[i + 2] == 'x';
      size_t j = i + (hex ? 3 : 2);
      char32_t value = 0;
      size_t digits = 0;
      for (; j < text.size(); ++j, ++digits) {
        int digit = DigitValue(text[j]);
        if (digit < 0 || digit >= (hex ? 16 : 10)) break;
        value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
      }
      if (digits > 0 && j < text.size() && text[j] == ';' && (markupToo || (value != '<' && value != '&'))) {
        out.push_back(value);
        i = j;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mathml_entities <mathml2.dtd> <output.inc>\n");
    return 2;
  }
  const std::filesystem::path dtd = argv[1];
  const std::string main = WithoutComments(ReadFile(dtd));
  const std::regex set(R"re(<!ENTITY\s+%\s+(ent-[\w.-]+)\s+PUBLIC\s+"[^"]*"\s+"([^"]*)"\s*>)re");
  const std::regex parameter(R"re(<!ENTITY\s+%\s+([\w.-]+)\s+"([^"]*)"\s*>)re");
  const std::regex general(R"re(<!ENTITY\s+([A-Za-z_][\w.-]*)\s+"([^"]*)"\s*>)re");

  std::vector<std::string> files;
  for (std::sregex_iterator it(main.begin(), main.end(), set), end; it != end; ++it)
    files.push_back((*it)[2].str());

  std::map<std::string, std::u32string> parameters;
  std::set<std::string> seen;
  std::vector<std::pair<std::string, std::u32string>> entries;
  size_t declarations = 0, beyondBmp = 0;
  for (const std::string& file : files) {
    const std::string text = WithoutComments(ReadFile(dtd.parent_path() / file));
    for (std::sregex_iterator it(text.begin(), text.end(), parameter), end; it != end; ++it)
      parameters.emplace((*it)[1].str(), ReplaceCharacterReferences(Decode((*it)[2].str()), true));
    for (std::sregex_iterator it(text.begin(), text.end(), general), end; it != end; ++it) {
      ++declarations;
      const std::string name = (*it)[1].str();
      if (!seen.insert(name).second) continue;
      // Parameter-entity texts go in first, then references are replaced.
      std::u32string value = Decode((*it)[2].str()), included;
      for (size_t i = 0; i < value.size(); ++i) {
        size_t semicolon = value.find(';', i);
        if (value[i] == '%' && semicolon != std::u32string::npos) {
          std::string pe(value.begin() + static_cast<long>(i) + 1, value.begin() + static_cast<long>(semicolon));
          auto found = parameters.find(pe);
          if (found != parameters.end()) {
            included += found->second;
            i = semicolon;
            continue;
          }
        }
        included.push_back(value[i]);
      }
      std::u32string replacement = ReplaceCharacterReferences(ReplaceCharacterReferences(included, true), false);
      for (char32_t c : replacement) beyondBmp += c > 0xFFFF ? 1 : 0;
      entries.emplace_back(name, replacement);
    }
  }
  std::fprintf(stderr, "mathml_entities: %zu sets, %zu declarations, %zu names, %zu values beyond U+FFFF\n",
               files.size(), declarations, entries.size(), beyondBmp);
  if (entries.size() != kExpectedNames || beyondBmp != kExpectedBeyondBmp) {
    std::fprintf(stderr, "mathml_entities: expected %zu names and %zu values beyond U+FFFF\n", kExpectedNames,
                 kExpectedBeyondBmp);
    return 1;
  }

  std::ofstream out(argv[2], std::ios::binary);
  auto units = [&](const std::u32string& text) {
    for (char32_t c : text) {
      if (c > 0xFFFF) {
        out << "0x" << std::hex << (0xD800 + ((c - 0x10000) >> 10)) << ",0x" << (0xDC00 + ((c - 0x10000) & 0x3FF))
            << std::dec << ",";
      } else {
        out << "0x" << std::hex << static_cast<unsigned>(c) << std::dec << ",";
      }
    }
    out << "0,\n";
  };
  out << "// Generated by quarnel/xml/tools/mathml-entities from " << dtd.filename().string() << ".\n";
  for (const auto& [name, text] : entries) {
    units(std::u32string(name.begin(), name.end()));
    units(text);
  }
  out << "0\n";
  return out ? 0 : 1;
}
