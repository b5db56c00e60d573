// libFuzzer harness of list numbering and Japanese numerals, whose format
// texts come from documents. The first bytes give the number (4 bytes), the
// grouping size and a separator choice and a language from a short list;
// the rest, read as UTF-8, is the format of both formatNumber forms and the
// text of convertKansuji in its three styles, with kanji, full-width or
// fixed digits and the input as units. Digit names are built-in or one
// fixed text, so no name is added per run. No result may hold a lone
// surrogate, since the input, read as UTF-8, holds none.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quarnel/name.h"
#include "quarnel/util.h"
#include "quarnel/zel_lang.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelLang;
using ObraCommon::ZelName;
using ObraCommon::ZelUtil;

void CheckWhole(const UnicodeString& text) {
  for (int32_t i = 0; i < text.length(); ++i) {
    const char16_t c = text[i];
    if (U16_IS_LEAD(c) && i + 1 < text.length() && U16_IS_TRAIL(text[i + 1])) {
      ++i;
    } else if (U16_IS_SURROGATE(c)) {
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 7) return 0;
  static const char* const kLanguages[] = {"", "it", "de", "es", "cs", "ru", "uk", "el", "de-DE", "ja"};
  static const char16_t* const kSeparators[] = {u"", u",", u"\u3001", u"\U00020000", u"--"};
  int32_t number;
  std::memcpy(&number, data, sizeof number);
  const int groupSize = static_cast<int8_t>(data[4]);
  const UnicodeString separator(kSeparators[data[5] % 5]);
  const ZelLang language(kLanguages[data[6] % 10]);
  const UnicodeString text = UnicodeString::fromUTF8(
      icu::StringPiece(reinterpret_cast<const char*>(data + 7), static_cast<int32_t>(size - 7)));

  CheckWhole(ZelUtil::formatNumber(number, text, separator, groupSize, language, ObraCommon::NAME_AUTO));
  CheckWhole(ZelUtil::formatNumber(number, text, language));

  static const ZelName kStyles[] = {ZelName(ObraCommon::NAME_GROUPING), ZelName(ObraCommon::NAME_READABLE),
                                    ZelName(ObraCommon::NAME_AUTO)};
  static const ZelName kDigits[] = {ZelName(ObraCommon::NAME_KANJI), ZelName(ObraCommon::NAME_LATIN),
                                    ZelName(UnicodeString(u"\u96F6\U0001D7D9\u8CB3"))};
  for (const ZelName& style : kStyles) {
    for (const ZelName& digits : kDigits) {
      CheckWhole(ZelUtil::convertKansuji(text, style, digits, text, text));
      CheckWhole(ZelUtil::convertKansuji(number, style, digits, text, UnicodeString()));
    }
  }
  return 0;
}
