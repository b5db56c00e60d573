// Property-value parsing from arbitrary input: the first byte chooses
// whether the rest is UTF-8 (so the dictionary's words apply) or raw UTF-16
// units (lone surrogates and NULs included). The text goes through parse,
// parseNonNumeric, parseColor in both notations, the six link parsers, and
// token walks that must each reach the end within length + 1 reads.
//
// Parsing interns every name it reads into the shared name table, which
// keeps them until the library's clean-up; the harness empties it whenever
// it holds a million names, so a long run stays within its memory limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "quarnel/color.h"
#include "quarnel/name.h"
#include "quarnel/tokenizer.h"
#include "quarnel/value.h"

using namespace ObraCommon;

namespace {

constexpr ZelNameEnum kNamesBeforeCleanup = 1000000;

UnicodeString Text(const uint8_t* data, size_t size, bool utf16) {
  if (!utf16) return UnicodeString::fromUTF8(icu::StringPiece(reinterpret_cast<const char*>(data), static_cast<int32_t>(size)));
  UnicodeString text;
  for (size_t i = 0; i + 1 < size; i += 2) text.append(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  return text;
}

template <typename Read>
void Walk(const UnicodeString& text, Read read) {
  ZelTokenizer tokens(text);
  for (int32_t calls = 0; calls <= text.length(); ++calls)
    if (read(tokens)) return;
  std::abort();  // more reads than the text has units
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  UnicodeString text = Text(data + 1, size - 1, (data[0] & 1) != 0);

  ZelValue::parse(text);
  ZelValue::parseNonNumeric(text);
  for (bool svg : {false, true}) {
    ZelValue colour = ZelValue::parseColor(text, svg);
    colour.getColorValue().toString(svg);
  }
  ZelValue(text).getColorValue();
  ZelValue::parsePDFOpenParameters(text);
  ZelValue::parseXlinkHref(text);
  ZelValue::parseInternalDestination(text, static_cast<int8_t>(data[0]) >> 1);
  ZelValue::parseDestinationType(text);
  ZelValue::parseUriFragmentParameters(text, (data[0] & 2) != 0);
  ZelValue::parseExcelOpenParameters(text);

  Walk(text, [](ZelTokenizer& t) { return t.nextToken() == ZelTokenizer::TOKEN_END; });
  Walk(text, [](ZelTokenizer& t) {
    ZelValue value = t.nextTokenValueFunc();
    return value.isNull() && t.getTokenType() == ZelTokenizer::TOKEN_END;
  });
  for (char16_t separator : {u',', u'&', u' '})
    Walk(text, [separator](ZelTokenizer& t) {
      t.nextSeparatedValue(separator);
      return t.getTokenType() == ZelTokenizer::TOKEN_END;
    });

  if (ZelNameTable::getSharedNameTable()->getNameLast() - ZEL_NAME_LAST_BUILTIN > kNamesBeforeCleanup)
    ZelNameTable::cleanup();
  return 0;
}
