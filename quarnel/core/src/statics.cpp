// Every static object of the library that other parts may use at start-up
// lives here, constructed before any static of another translation unit
// (init_priority) and in this order. No static of the library copies a
// static of another translation unit while the library loads; tables are
// constant data or built on first use.
#include "quarnel/shared_strings.h"

namespace ObraCommon {

ZelEmptyString::ZelEmptyString() = default;
ZelEmptyString::ZelEmptyString(const ZelEmptyString& other) = default;
ZelEmptyString& ZelEmptyString::operator=(const ZelEmptyString& other) = default;
ZelEmptyString::~ZelEmptyString() = default;

ZelBogusString::ZelBogusString() { setToBogus(); }
ZelBogusString::ZelBogusString(const ZelBogusString& other) = default;
ZelBogusString& ZelBogusString::operator=(const ZelBogusString& other) = default;
ZelBogusString::~ZelBogusString() = default;

__attribute__((init_priority(200))) const ZelEmptyString ZelEmptyString::EMPTY_VALUE;
__attribute__((init_priority(200))) const ZelBogusString ZelBogusString::BOGUS_VALUE;

}  // namespace ObraCommon
