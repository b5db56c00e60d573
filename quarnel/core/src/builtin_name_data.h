// The built-in name table as constant data, generated at build time from
// quarnel/core/data/builtin_names.txt (tools/gen_names.cpp). Being constant,
// it is complete before any call can arrive, so built-in names are looked up
// without a lock and without depending on the order in which statics start.
#pragma once

#include <cstdint>

#include "quarnel/name_enum.h"

namespace ObraCommon::builtin_names {

inline constexpr int32_t kCount = ZEL_NAME_LAST_BUILTIN + 1;

struct BuiltinText {
  const char16_t* text;
  int32_t length;
};

// Entry n is the text of name n; entry 0 is empty.
extern const BuiltinText kTexts[kCount];
// Every number 0 to 1,597, ordered by its text in UTF-16 code units.
extern const uint16_t kSortedNumbers[kCount];

}  // namespace ObraCommon::builtin_names
