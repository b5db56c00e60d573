// Seeds of the number-format harness: every format of the number-format
// workbooks (as written and escaped for the strict parser), with its row's
// value, in the harness's input layout. Usage: numfmt_seeds <corpus> <tsv>...
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "format_escape.h"
#include "numfmt_corpus.h"

namespace {

void Write(const std::string& path, double value, uint8_t flags, uint16_t width, const icu::UnicodeString& format) {
  std::ofstream out(path, std::ios::binary);
  char head[11];
  std::memcpy(head, &value, sizeof value);
  head[8] = static_cast<char>(flags);
  head[9] = static_cast<char>(width & 0xFF);
  head[10] = static_cast<char>(width >> 8);
  out.write(head, sizeof head);
  for (int32_t i = 0; i < format.length(); ++i) {
    const char16_t c = format.charAt(i);
    const char units[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    out.write(units, 2);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: numfmt_seeds <corpus> <tsv>...\n";
    return 2;
  }
  int n = 0;
  for (int a = 2; a < argc; ++a) {
    for (const auto& row : xlstest::ReadTsv(argv[a])) {
      const double value = std::strtod(row.at("value_as_stored").c_str(), nullptr);
      const icu::UnicodeString format = icu::UnicodeString::fromUTF8(row.at("effective_format"));
      const auto flags = static_cast<uint8_t>(1 + (n % 3) * 2);
      Write(std::string(argv[1]) + "/format-" + std::to_string(n++), value, flags, 11, format);
      Write(std::string(argv[1]) + "/format-" + std::to_string(n++), value, 1, 20, xlstest::EscapeForeign(format));
    }
  }
  std::cout << n << " seeds\n";
  return 0;
}
