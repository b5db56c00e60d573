// The fixed CJK texts of field values (era names, date pictures, weekday
// names, the morning and afternoon markers, the words for "no background"
// and "shape"), written as UTF-8 in cjk_texts.tsv. The build makes their
// code page 932 and GBK bytes with iconv; lookups take them by name and
// code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace glyphane {

struct CjkTextEntry {
  const char* name;
  const char* utf8;
  const char* cp932;
  const char* gbk;
};

extern const CjkTextEntry kCjkTextEntries[];
extern const size_t kCjkTextEntryCount;

// The text called `name` in code page 932 or 936 (GBK); any other code page
// gives the UTF-8 form. Unknown names give the empty text.
std::string_view CjkText(std::string_view name, uint32_t code_page);

}  // namespace glyphane
