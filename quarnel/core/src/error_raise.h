// The library's internal raising functions. Each builds a ZelError from a
// code, an origin index (which names the class and operation that raise it)
// and the raiser's text arguments, and throws it. They are not exported.
#pragma once

#include <cstdint>

#include <unicode/unistr.h>

#include "quarnel/shared_strings.h"

namespace ObraCommon {

using icu::UnicodeString;

// Library errors (category 0x0800): the message begins "SYSTEM ERROR: ";
// an empty `a` reads "arg".
[[noreturn]] void throwLibraryError(uint16_t code, int origin, const UnicodeString& a = ZelEmptyString::EMPTY_VALUE,
                                    const UnicodeString& b = ZelEmptyString::EMPTY_VALUE);
// Input and output errors (category 0x1000); `a` is a file name.
[[noreturn]] void throwIOError(uint16_t code, int origin, const UnicodeString& a = ZelEmptyString::EMPTY_VALUE);
// "ObraCommon::" and the origin's name, or the empty text for an index
// without a name.
UnicodeString getErrorOriginName(int origin);

}  // namespace ObraCommon
