// The program's string table: every user-visible text by id in English
// (1033), Japanese (1041) and Simplified Chinese (2052), generated at build
// time from resources/strings.tsv.
#include <algorithm>
#include <cstdint>
#include <iterator>

#include "app.h"

namespace shapeglean {
namespace {

struct Entry {
  int id;
  uint16_t lang;
  const char16_t* text;
};

constexpr Entry kStrings[] = {
#include "string_table_data.inc"
};

}  // namespace

const char16_t* FindString(uint16_t lang, int id) {
  auto it = std::find_if(std::begin(kStrings), std::end(kStrings),
                         [&](const Entry& e) { return e.id == id && e.lang == lang; });
  return it == std::end(kStrings) ? nullptr : it->text;
}

}  // namespace shapeglean
