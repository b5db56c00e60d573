// The escaping pass of the number-format tests and fuzz seeds: a format
// written for a lenient spreadsheet becomes one the strict parser reads.
#pragma once

#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace xlstest {

inline bool StartsWith(const icu::UnicodeString& text, int32_t at, const char16_t* word, bool anyCase) {
  const icu::UnicodeString w(word);
  if (text.length() - at < w.length()) return false;
  const icu::UnicodeString part(text, at, w.length());
  return anyCase ? part.caseCompare(w, U_FOLD_CASE_DEFAULT) == 0 : part == w;
}

// Puts a backslash before every character outside the parser's vocabulary
// that stands outside quotes and brackets. General, the AM/PM forms, the
// exponent codes and the unit taken by a backslash, «_» or «*» stay as they
// are: escaping those would change the format.
inline icu::UnicodeString EscapeForeign(const icu::UnicodeString& format) {
  static const icu::UnicodeString kVocabulary(u";:,.%/@0123456789#?dmhsyrgeaDMHSYRGEA");
  icu::UnicodeString out;
  const int32_t n = format.length();
  for (int32_t i = 0; i < n;) {
    const char16_t c = format.charAt(i);
    int32_t take = 1;
    if (c == u'"' || c == u'[') {
      const int32_t close = format.indexOf(c == u'"' ? u'"' : u']', i + 1);
      take = (close < 0 ? n : close + 1) - i;
    } else if (c == u'\\' || c == u'_' || c == u'*') {
      take = i + 1 < n ? 2 : 1;
    } else if (StartsWith(format, i, u"General", true)) {
      take = 7;
    } else if (StartsWith(format, i, u"AM/PM", false) || StartsWith(format, i, u"am/pm", false)) {
      take = 5;
    } else if (StartsWith(format, i, u"A/P", false) || StartsWith(format, i, u"a/p", false)) {
      take = 3;
    } else if ((c == u'E' || c == u'e') && i + 1 < n && (format[i + 1] == u'+' || format[i + 1] == u'-')) {
      take = 2;
    } else if (kVocabulary.indexOf(c) < 0) {
      out.append(u'\\');
    }
    out.append(format, i, take);
    i += take;
  }
  return out;
}

}  // namespace xlstest
