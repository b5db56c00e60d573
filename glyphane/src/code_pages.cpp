// Code-page choice, charset names and the fixed conversion between two code
// pages (see code_pages.h).
#include "code_pages.h"

#include <cstring>

#include "conversion.h"
#include "dalvex/extract_records.h"

namespace glyphane {

namespace {

bool Is(const char* text, const char* name) { return text != nullptr && std::strcmp(text, name) == 0; }

}  // namespace

uint32_t TextCodePageOfLanguage(const char* language) {
  if (Is(language, "English")) return kCodePageLatin1;
  if (Is(language, "Simplified Chinese")) return kCodePageGbk;
  if (Is(language, "Traditional Chinese")) return kCodePageBig5;
  if (Is(language, "Korean")) return kCodePageKorean;
  return kCodePageShiftJis;
}

uint32_t OutputCodePageOfCharset(const char* charset) {
  if (Is(charset, "ISO-8859-1")) return kCodePageLatin1;
  if (Is(charset, "ChineseGBK")) return kCodePageGbk;
  if (Is(charset, "ChineseBIG5")) return kCodePageBig5;
  if (Is(charset, "KoreanKSC")) return kCodePageKorean;
  return kCodePageShiftJis;
}

const char* CharsetOfCodePage(uint32_t code_page) {
  switch (code_page) {
    case kCodePageShiftJis: return "WINDOWS31J";
    case kCodePageGbk: return "ChineseGBK";
    case kCodePageKorean: return "KoreanKSC";
    case kCodePageBig5: return "ChineseBIG5";
    case kCodePageUcs2: return kCharsetUcs2;
    case kCodePageUtf8: return "UTF-8";
    default: return "ISO-8859-1";  // 1252 and every code page without a charset
  }
}

const char* CharsetOfPropertySetCodePage(uint32_t code_page) {
  switch (code_page) {
    case 2000: return CharsetOfCodePage(kCodePageShiftJis);
    case 3000: return CharsetOfCodePage(kCodePageGbk);
    case 4000: return CharsetOfCodePage(kCodePageBig5);
    case 5000: return CharsetOfCodePage(kCodePageKorean);
    default: return CharsetOfCodePage(code_page);
  }
}

uint16_t SubstituteForCharset(std::string_view charset) {
  for (std::string_view name : {"ISO-8859-1", "ChineseGBK", "ChineseBIG5", "KoreanKSC"})
    if (charset == name) return '?';
  return 0;
}

int32_t InputBigEndianFor(std::string_view charset) { return charset == kCharsetUcs2 ? 0 : 1; }

int32_t ConvertBetweenCodePages(uint32_t from, uint32_t to, std::string_view input, std::string* output) {
  output->clear();
  const char* target = CharsetOfCodePage(to);
  CconvOptions options{};
  options.big_endian = to == kCodePageUcs2 ? 0 : 1;
  options.substitute = 1;
  options.substitute_low = options.substitute_high = SubstituteForCharset(target);
  options.line_end_flag = 1;
  options.line_end_form = 1;
  ConversionSession session;
  if (session.SetUp(options, target, CharsetOfCodePage(from)) != 0) return OtherError;
  std::string stripped = StripControlCodes(input, from);
  if (stripped.empty()) return 0;
  // Eight output bytes for each input byte, plus room for a byte-order
  // mark, hold any conversion the engine makes; the session still grows
  // the output should a charset ever need more.
  auto outcome = session.Convert(stripped, 8 * stripped.size() + 4, [&](std::string_view produced) {
    output->append(produced);
    return 0;
  });
  return outcome.status == kConvDone ? 0 : OtherError;
}

}  // namespace glyphane
