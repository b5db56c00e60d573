// The own parser's error codes beyond the common table, the messages of
// every code, and the origin indexes of its library and I/O errors.
#pragma once

#include <cstdint>

#include <unicode/unistr.h>

namespace ObraCommon {

using icu::UnicodeString;

// A reference to an entity whose text is still being read ("&name;").
inline constexpr uint16_t kErrRecursiveEntity = 0x183A;
// Too many entities open at once, or entity texts far beyond the document.
inline constexpr uint16_t kErrEntityExpansion = 0x183B;
// Element depth, attribute count or name length past its bound; A names
// the bound.
inline constexpr uint16_t kErrParserLimit = 0x183C;

// A reference to an external entity in an attribute value, or to an
// unparsed entity anywhere ("&name;").
inline constexpr uint16_t kErrExternalReference = 0x183D;

// An external entity or subset that is not read, because the parser was
// not allowed to read it or it could not be fetched, or a reference to an
// undeclared entity where such a subset or parameter entity might have
// declared it ("&name;", "%name;" or the subset's URI). A warning: the
// reference gives an empty text.
inline constexpr uint16_t kWarnExternalNotRead = 0x1E3E;

// Origin indexes of throwLibraryError and throwIOError.
inline constexpr int kOriginCheckStream = 10;
inline constexpr int kOriginPushStream = 11;
inline constexpr int kOriginSetInput = 12;
inline constexpr int kOriginIsWhitespace = 13;
inline constexpr int kOriginIsEmptyElementTag = 14;
inline constexpr int kOriginGetAttributeNamespace = 15;
inline constexpr int kOriginGetAttributeName = 16;
inline constexpr int kOriginGetAttributePrefix = 17;
inline constexpr int kOriginGetAttributeValue = 18;

// The name of an event as position descriptions print it; empty outside
// the event range.
const char16_t* xmlEventName(int type);

// The message of a parse error; "XML parser error." for a code without one.
UnicodeString xmlErrorMessage(uint16_t code, const UnicodeString& a, const UnicodeString& b);

}  // namespace ObraCommon
