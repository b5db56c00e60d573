// The format-text parser: one pass, left to right, no recursion. Quotes and
// brackets do not nest, and every read is bounded by the end of the text (its
// length or its first U+0000), so a hostile text from a file costs time linear
// in its length and never reads past it.
#include <array>
#include <string_view>

#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"

namespace ObraCommon {
namespace {

// Classes of the last token read, besides 1 (the text has ended).
enum : uint8_t { LAST_OTHER = 0, LAST_LITERAL = 2, LAST_PLACEHOLDER = 3, LAST_COMMA = 4 };

constexpr std::array<std::u16string_view, 22> kBracketKeywords = {
    u"Black", u"White", u"Red",  u"Green", u"Blue", u"Yellow", u"Magenta", u"Cyan",   u"Color",  u">=",     u"<=",
    u"<>",    u"<",     u">",    u"=",     u"h",    u"m",      u"s",       u"DBNum1", u"DBNum2", u"DBNum3", u"$"};
// Places in kBracketKeywords.
enum { KW_COLOR = 8, KW_COND_FIRST = 9, KW_COND_LAST = 14, KW_H = 15, KW_M = 16, KW_S = 17, KW_DBNUM1 = 18,
       KW_DOLLAR = 21 };

constexpr char16_t lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }
constexpr bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

class Parser {
 public:
  Parser(const icu::UnicodeString& text, FMT2* out, bool japanese)
      : s_(text.getBuffer()), out_(out), japanese_(japanese) {
    const int32_t length = text.length();
    n_ = 0;
    if (s_ != nullptr)
      while (n_ < length && s_[n_] != 0) ++n_;
  }

  bool run() {
    *out_ = FMT2();
    out_->sectionCount = 1;
    f_ = &out_->sections[0];
    while (p_ < n_)
      if (!step()) return false;
    f_->lastToken = 1;
    return true;
  }

 private:
  char16_t at(int32_t i) const { return i < n_ ? s_[i] : 0; }
  // True when the text at p_ starts with the keyword (compared against what
  // is left only).
  bool startsWith(int32_t i, std::u16string_view word, bool anyCase) const {
    if (n_ - i < static_cast<int32_t>(word.size())) return false;
    for (size_t k = 0; k < word.size(); ++k) {
      const char16_t c = s_[i + static_cast<int32_t>(k)];
      if (anyCase ? lower(c) != lower(word[k]) : c != word[k]) return false;
    }
    return true;
  }
  // Length of the run of one letter (any case) at p_, at most max.
  int32_t runOf(char16_t letter, int32_t max) const {
    int32_t r = 0;
    while (r < max && lower(at(p_ + r)) == letter) ++r;
    return r;
  }
  static bool bump(uint8_t& counter) {
    if (counter == 255) return false;
    ++counter;
    return true;
  }
  void setKind(uint8_t kind) {
    if (f_->kind != 3) f_->kind = kind;
  }
  void append(std::u16string_view units) {
    f_->tokens.append(units.data(), static_cast<int32_t>(units.size()));
    f_->tokenCount = static_cast<uint32_t>(f_->tokens.length());
  }
  void appendLiteral(const char16_t* chars, int32_t count, bool mergeable) {
    if (f_->lastToken != LAST_LITERAL) literalsFrom_ = f_->tokens.length();
    if (mergeable && f_->lastToken == LAST_LITERAL) f_->tokens.truncate(f_->tokens.length() - 1);
    else f_->tokens.append(u'"');
    f_->tokens.append(chars, count).append(u'"');
    f_->tokenCount = static_cast<uint32_t>(f_->tokens.length());
    f_->lastToken = LAST_LITERAL;
  }
  void appendCode(std::u16string_view code, uint8_t kind) {
    append(code);
    setKind(kind);
    f_->lastToken = LAST_OTHER;
  }

  bool step();
  bool placeholder(char16_t c);
  bool denominatorDigit(char16_t c);
  bool letter(char16_t c);
  bool bracket();
  bool condition(int32_t& q);

  const char16_t* s_;
  int32_t n_;
  int32_t p_ = 0;
  FMT2* out_;
  FMT* f_ = nullptr;
  bool japanese_;
  int32_t literalsFrom_ = 0;  // where the section's last run of literals starts
};

bool Parser::step() {
  const char16_t c = s_[p_];
  switch (c) {
    case u';': {
      if (out_->sectionCount == 4) return false;
      f_ = &out_->sections[out_->sectionCount];
      *f_ = FMT();
      f_->sectionIndex = out_->sectionCount++;
      if (f_->sectionIndex == 3) f_->kind = 3;
      ++p_;
      return true;
    }
    case u'"': {
      int32_t q = p_ + 1;
      while (q < n_ && s_[q] != u'"') ++q;
      if (q >= n_) return false;
      appendLiteral(s_ + p_ + 1, q - p_ - 1, true);
      p_ = q + 1;
      return true;
    }
    case u'\\':
    case u'_':
    case u'*': {
      if (p_ + 1 >= n_) return false;  // the unit it takes is missing
      const char16_t next = s_[p_ + 1];
      if (c == u'_') {
        appendLiteral(u" ", 1, true);
      } else if (c == u'*') {
        const char16_t units[2] = {u'*', next};
        append({units, 2});
        f_->lastToken = LAST_OTHER;
      } else if (next == u'"') {
        append(u"\\\"");
        f_->lastToken = LAST_OTHER;
      } else {
        appendLiteral(&next, 1, true);
      }
      p_ += 2;
      return true;
    }
    case u':':
      appendLiteral(u":", 1, true);
      ++p_;
      return true;
    case u',':
      if (f_->lastToken == LAST_PLACEHOLDER) {
        if (!bump(f_->scaleCommas)) return false;
        append(u",");
        f_->lastToken = LAST_COMMA;
      } else {
        appendLiteral(u",", 1, true);
      }
      ++p_;
      return true;
    case u'0':
    case u'#':
    case u'?':
      return placeholder(c);
    case u'.':
      append(u".");
      f_->hasPoint = 1;
      f_->lastToken = LAST_OTHER;
      ++p_;
      return true;
    case u'%':
      if (!bump(f_->percentCount)) return false;
      append(u"%");
      f_->lastToken = LAST_OTHER;
      ++p_;
      return true;
    case u'/': {
      if (f_->intDigits != 0) {
        // The placeholders right before the slash are the numerator's, also
        // when literals stand between them and the slash.
        int32_t k = f_->lastToken == LAST_LITERAL ? literalsFrom_ : f_->tokens.length();
        uint8_t run = 0;
        while (k > 0 && run < f_->intDigits) {
          const char16_t t = f_->tokens.charAt(k - 1);
          if (t != u'0' && t != u'#' && t != u'?') break;
          ++run;
          --k;
        }
        f_->numerDigits = run;
        f_->intDigits = static_cast<uint8_t>(f_->intDigits - run);
      }
      append(u"/");
      f_->hasFraction = 1;
      f_->lastToken = LAST_OTHER;
      ++p_;
      return true;
    }
    case u'@':
      appendCode(u"@", 3);
      ++p_;
      return true;
    case u'[':
      return bracket();
    default:
      if (c >= u'1' && c <= u'9') return denominatorDigit(c);
      return letter(c);
  }
}

bool Parser::placeholder(char16_t c) {
  if (f_->lastToken == LAST_COMMA) {
    // A comma between two placeholders asks for thousands separators.
    f_->tokens.truncate(f_->tokens.length() - 1);
    f_->tokenCount = static_cast<uint32_t>(f_->tokens.length());  // the parse may stop here
    --f_->scaleCommas;
    f_->grouping = 1;
  }
  if (!(c == u'0' && f_->kind == 2 && f_->hasPoint)) setKind(1);
  bool ok = true;
  if (f_->hasFraction) {
    if (c != u'0' && f_->fixedDenom != 0) return false;
    ok = bump(f_->denomDigits);
    if (c == u'0') {
      if (f_->fixedDenom >= 100000000000000000ULL) return false;  // a 19th digit
      f_->fixedDenom *= 10;
    }
  } else if (f_->hasExponent) {
    ok = bump(f_->expDigits) && (c != u'0' || bump(f_->expZeros));
  } else if (f_->hasPoint) {
    ok = bump(f_->decDigits) && (c == u'#' || bump(f_->decForced));
  } else {
    ok = bump(f_->intDigits) && (c != u'0' || bump(f_->intZeros));
  }
  if (!ok) return false;
  f_->tokens.append(c);
  f_->tokenCount = static_cast<uint32_t>(f_->tokens.length());
  f_->lastToken = LAST_PLACEHOLDER;
  ++p_;
  return true;
}

bool Parser::denominatorDigit(char16_t c) {
  if (!f_->hasFraction) return false;
  if (f_->fixedDenom >= 100000000000000000ULL) return false;  // a 19th digit
  if (!bump(f_->denomDigits)) return false;
  f_->fixedDenom = f_->fixedDenom * 10 + static_cast<uint64_t>(c - u'0');
  f_->tokens.append(c);
  f_->tokenCount = static_cast<uint32_t>(f_->tokens.length());
  f_->lastToken = LAST_OTHER;
  ++p_;
  return true;
}

bool Parser::letter(char16_t c) {
  // AM/PM forms keep their exact case and their meaning in every version.
  for (std::u16string_view form : {std::u16string_view(u"AM/PM"), std::u16string_view(u"am/pm"),
                                   std::u16string_view(u"A/P"), std::u16string_view(u"a/p")}) {
    if (startsWith(p_, form, false)) {
      appendCode(form, 2);
      f_->hasAmPm = 1;
      p_ += static_cast<int32_t>(form.size());
      return true;
    }
  }
  if (startsWith(p_, u"general", true)) {
    append(u"G");
    f_->lastToken = LAST_OTHER;
    p_ += 7;
    return true;
  }
  const char16_t l = lower(c);
  if (l == u'e' && (at(p_ + 1) == u'+' || at(p_ + 1) == u'-')) {
    const char16_t units[2] = {c, s_[p_ + 1]};
    appendCode({units, 2}, 1);
    f_->hasExponent = 1;
    p_ += 2;
    return true;
  }
  int32_t r = 0;
  switch (l) {
    case u'd':
      r = runOf(u'd', 4);
      appendCode(std::u16string_view(u"D1D2D3D4").substr(2 * (r - 1), 2), 2);
      break;
    case u'h':
      r = runOf(u'h', 2);
      appendCode(r == 1 ? u"h1" : u"h2", 2);
      f_->hasHour = 1;
      break;
    case u's':
      r = runOf(u's', 2);
      appendCode(r == 1 ? u"s1" : u"s2", 2);
      break;
    case u'r':
      r = runOf(u'r', 2);
      appendCode(r == 1 ? u"R1" : u"R2", 2);
      break;
    case u'y':
      r = runOf(u'y', 4);
      if (r == 1) return false;
      if (r == 3) r = 2;
      appendCode(r == 2 ? u"Y2" : u"Y4", 2);
      break;
    case u'm':
      if (f_->hasHour) {
        r = runOf(u'm', 2);
        appendCode(r == 1 ? u"m1" : u"m2", 2);
      } else {
        r = runOf(u'm', 5);
        if (r <= 2 && at(p_ + r) == u':' && lower(at(p_ + r + 1)) == u's')
          appendCode(r == 1 ? u"m1" : u"m2", 2);
        else
          appendCode(std::u16string_view(u"M1M2M3M4M5").substr(2 * (r - 1), 2), 2);
      }
      break;
    case u'g':
    case u'a':
    case u'e':
      if (!japanese_) {
        if (l == u'e') return false;
        appendLiteral(&s_[p_], 1, true);  // a plain letter outside the Japanese vocabulary
        r = 1;
        break;
      }
      if (l == u'g') {
        r = runOf(u'g', 3);
        appendCode(std::u16string_view(u"R3R4R5").substr(2 * (r - 1), 2), 2);
      } else if (l == u'e') {
        r = runOf(u'e', 2);
        if (r == 2 && (at(p_ + 2) == u'+' || at(p_ + 2) == u'-')) r = 1;  // the second starts an exponent
        appendCode(r == 1 ? u"R6" : u"R7", 2);
      } else {
        r = runOf(u'a', 4);
        if (r < 3) return false;
        appendCode(r == 3 ? u"D5" : u"D6", 2);
      }
      break;
    default:
      return false;
  }
  p_ += r;
  return true;
}

// The limit of a condition: the run of number characters after the
// operator, checked here and read as a value by the core's parser.
bool Parser::condition(int32_t& q) {
  const int32_t start = q;
  int digits = 0, points = 0;
  for (; q < n_; ++q) {
    const char16_t c = s_[q];
    if (isDigit(c)) ++digits;
    else if (c == u'.') { if (++points > 1) return false; }
    else if (c == u'-' || c == u'+') { if (q != start) return false; }
    else break;
  }
  if (digits == 0) return false;
  const ZelValue limit = ZelValue::parse(icu::UnicodeString(s_ + start, q - start));
  f_->condValue = static_cast<double>(limit.getRealValue(UNIT_NONE));
  return true;
}

bool Parser::bracket() {
  int32_t q = p_ + 1;
  int kw = -1;
  for (size_t k = 0; k < kBracketKeywords.size(); ++k) {
    if (startsWith(q, kBracketKeywords[k], false)) {
      kw = static_cast<int>(k);
      break;
    }
  }
  if (kw < 0) return false;
  q += static_cast<int32_t>(kBracketKeywords[kw].size());
  if (kw < KW_COLOR) {
    f_->colorCode = static_cast<uint8_t>(120 + kw);
  } else if (kw == KW_COLOR) {
    // Compared as a value: leading zeros aside, more than two digits is out
    // of range whatever their count.
    const int32_t start = q;
    while (q < n_ && isDigit(s_[q])) ++q;
    if (q == start) return false;
    int32_t first = start;
    while (first < q - 1 && s_[first] == u'0') ++first;
    if (q - first > 2) return false;
    int value = 0;
    for (int32_t i = first; i < q; ++i) value = value * 10 + (s_[i] - u'0');
    if (value < 1 || value > 56) return false;
    f_->colorCode = static_cast<uint8_t>(value + 7);
  } else if (kw <= KW_COND_LAST) {
    if (f_->sectionIndex > 1 || f_->kind == 3) return false;
    f_->condOp = static_cast<uint8_t>(kw - KW_COND_FIRST + 1);
    if (!condition(q)) return false;
  } else if (kw <= KW_S) {
    const char16_t letter = kBracketKeywords[kw][0];
    const bool doubled = at(q) == letter;
    if (doubled) ++q;
    const char16_t code[2] = {letter, static_cast<char16_t>(doubled ? u'4' : u'3')};
    appendCode({code, 2}, 2);
    if (kw == KW_H) f_->hasHour = 1;
  } else if (kw < KW_DOLLAR) {
    setKind(1);
    f_->dbNum = static_cast<uint8_t>(kw - KW_DBNUM1 + 1);
  } else {
    const int32_t start = q;
    while (q < n_ && s_[q] != u'-' && s_[q] != u']') {
      // A quote would end the literal run early in the token string.
      if (s_[q] == u'"') return false;
      ++q;
    }
    if (q > start) appendLiteral(s_ + start, q - start, false);
    while (q < n_ && s_[q] != u']') ++q;
  }
  if (at(q) != u']' || q >= n_) return false;
  p_ = q + 1;
  return true;
}

}  // namespace

short XlsFormatString::fmtget(const icu::UnicodeString& format, FMT2* parsed) const {
  if (parsed == nullptr) return 0;
  Parser parser(format, parsed, GetBookVersion() == 0x0800);
  return parser.run() ? 1 : 0;
}

}  // namespace ObraCommon
