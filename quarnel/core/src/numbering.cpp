// List and page numbers in the styles of XSL numbering formats. The format
// is read as code points throughout, so a token of supplementary
// characters is its own alphabet and never split into surrogates.
//
// The alphabets of the letter styles by language are kept in six maps that
// the first call needing them builds under the library-wide lock; an
// atomic flag tells the later readers, which take no lock, that they are
// complete.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <string>

#include <unicode/uchar.h>

#include "library_lock.h"
#include "numbering_tables.h"
#include "quarnel/lock.h"
#include "quarnel/util.h"
#include "quarnel/zel_char.h"
#include "quarnel/zel_lang.h"

namespace ObraCommon {

namespace {

using namespace numbering;

using CodePoints = std::u32string;
using Digits = std::array<char32_t, 10>;

CodePoints ToCodePoints(const UnicodeString& text) {
  CodePoints out;
  out.reserve(static_cast<size_t>(text.length()));
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1))
    out.push_back(static_cast<char32_t>(text.char32At(i)));
  return out;
}

void Append(UnicodeString& out, const CodePoints& text) {
  for (char32_t c : text) out.append(static_cast<UChar32>(c));
}

Digits DigitsFrom(char32_t zero) {
  Digits digits{};
  for (int i = 0; i < 10; ++i) digits[static_cast<size_t>(i)] = zero + static_cast<char32_t>(i);
  return digits;
}

Digits DigitsOf(const char16_t* set) {
  const CodePoints chars = ToCodePoints(UnicodeString(set));
  Digits digits{};
  std::copy_n(chars.begin(), 10, digits.begin());
  return digits;
}

// The digits of the number (its absolute value, taken in 64 bits so that
// INT_MIN has one) padded with zeros to width, grouped from the right; a
// minus sign goes in front, never next to a separator.
UnicodeString DigitStyle(int number, size_t width, const Digits& digits, const UnicodeString& separator,
                         int groupSize) {
  uint64_t magnitude = static_cast<uint64_t>(number < 0 ? -static_cast<int64_t>(number) : static_cast<int64_t>(number));
  CodePoints text;
  do {
    text.push_back(digits[magnitude % 10]);
    magnitude /= 10;
  } while (magnitude != 0);
  if (text.size() < width) text.append(width - text.size(), digits[0]);
  std::reverse(text.begin(), text.end());

  UnicodeString out;
  if (number < 0) out.append(u'-');
  const bool group = !separator.isEmpty() && groupSize > 0;
  const size_t size = group ? static_cast<size_t>(groupSize) : 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (group && i > 0 && (text.size() - i) % size == 0) out.append(separator);
    out.append(static_cast<UChar32>(text[i]));
  }
  return out;
}

// 1 is the first letter, k + 1 the first letter twice, and so on.
void AppendBijective(UnicodeString& out, int number, const CodePoints& alphabet) {
  const size_t k = alphabet.size();
  CodePoints letters;
  for (size_t n = static_cast<size_t>(number); n > 0; n = (n - 1) / k) letters.push_back(alphabet[(n - 1) % k]);
  std::reverse(letters.begin(), letters.end());
  Append(out, letters);
}

CodePoints Consecutive(char32_t start, size_t count) {
  CodePoints letters;
  for (size_t i = 0; i < count; ++i) letters.push_back(start + static_cast<char32_t>(i));
  return letters;
}

void AppendRoman(UnicodeString& out, int number, const RomanSet& set) {
  const CodePoints letters = ToCodePoints(UnicodeString(set.letters));
  const char32_t single = set.token == 0x2160 || set.token == 0x2170 ? set.token : 0;
  auto letter = [&](size_t index) -> char32_t { return index < letters.size() ? letters[index] : 0; };
  int rest = number;
  int place = 10000;
  for (size_t index = 8; rest > 0; index -= 2, place /= 10) {
    if (single != 0 && rest < 13) {
      out.append(static_cast<UChar32>(single + static_cast<char32_t>(rest - 1)));
      return;
    }
    int q = rest / place;
    rest %= place;
    const char32_t one = letter(index), five = letter(index + 1), ten = letter(index + 2);
    if (q == 4 && five != 0) {
      out.append(static_cast<UChar32>(one)).append(static_cast<UChar32>(five));
    } else if (q == 9 && ten != 0) {
      out.append(static_cast<UChar32>(one)).append(static_cast<UChar32>(ten));
    } else {
      if (five != 0 && q >= 5) {
        out.append(static_cast<UChar32>(five));
        q -= 5;
      }
      for (; q > 0; --q) out.append(static_cast<UChar32>(one));
    }
    if (index == 0) break;
  }
}

void AppendHebrewLetters(UnicodeString& out, int n) {
  if (n / 100 != 0) out.append(UnicodeString(kHebrewHundreds[n / 100 - 1]));
  const int below = n % 100;
  if (below == 15 || below == 16) {
    out.append(kHebrewOnes[8]).append(kHebrewOnes[below - 10]);
    return;
  }
  if (below / 10 != 0) out.append(kHebrewTens[below / 10 - 1]);
  if (below % 10 != 0) out.append(kHebrewOnes[below % 10 - 1]);
}

// n >= 1; thousands is how many thousands the caller's place already implies.
void AppendHebrew(UnicodeString& out, int n, int thousands) {
  int trailing = 0;
  while (n % 1000 == 0) {
    n /= 1000;
    ++trailing;
  }
  if (n >= 1000) {
    AppendHebrew(out, n / 1000, trailing + thousands + 1);
    out.append(u' ');
    n %= 1000;
  }
  int words = 0;
  if (trailing > 0) {
    words = trailing + thousands;
    if (n % 1000 == 1) {
      out.append(kHebrewThousand);
      --words;
    } else {
      AppendHebrewLetters(out, n % 1000);
    }
  } else {
    AppendHebrewLetters(out, n % 1000);
  }
  // Without a thousands word the ending would stand alone (1000 is just
  // the word for a thousand).
  for (int i = 0; i < words; ++i) out.append(kHebrewThousandsWord);
  if (words > 0) out.append(kHebrewThousandsEnd);
}

// The six alphabet maps by language: Latin, Greek and Cyrillic, each upper
// then lower case.
using AlphabetMap = std::map<ZelLang, UnicodeString>;
std::array<AlphabetMap*, 6> g_alphabets{};
std::atomic<bool> g_alphabetsBuilt{false};

size_t MapIndex(AlphabetScript script, bool lower) { return static_cast<size_t>(script) * 2 + (lower ? 1 : 0); }

void BuildAlphabets() {
  if (g_alphabetsBuilt.load(std::memory_order_acquire)) return;
  ZelMutex lock;
  if (g_alphabetsBuilt.load(std::memory_order_relaxed)) return;
  for (AlphabetMap*& map : g_alphabets) map = new AlphabetMap;
  for (const AlphabetRow& row : kAlphabetRows) {
    const ZelLang language(row.language);
    if (row.upper != nullptr) g_alphabets[MapIndex(row.script, false)]->emplace(language, UnicodeString(row.upper));
    g_alphabets[MapIndex(row.script, true)]->emplace(language, UnicodeString(row.lower));
  }
  g_alphabetsBuilt.store(true, std::memory_order_release);
}

const UnicodeString* FindAlphabet(const ZelLang& language, AlphabetScript script, bool lower) {
  if (language.isNullLang()) return nullptr;
  const AlphabetMap& map = *g_alphabets[MapIndex(script, lower)];
  auto found = map.find(language);
  return found == map.end() ? nullptr : &found->second;
}

const char16_t* DefaultRow(const char* language, bool lower) {
  for (const AlphabetRow& row : kAlphabetRows)
    if (std::char_traits<char>::compare(row.language, language, 3) == 0) return lower ? row.lower : row.upper;
  return nullptr;
}

bool IsTokenChar(char32_t c) {
  // U+3007 is a number letter to ICU, not alphanumeric, yet it is the
  // kanji zero that begins a padded kanji token.
  return u_isalnum(static_cast<UChar32>(c)) || (c >= 0x2160 && c <= 0x2183) || c == 0x3007;
}

bool IsWide(char32_t c) {
  const UEastAsianWidth width = ZelChar::getEastAsianWidth(static_cast<int32_t>(c));
  return width == U_EA_FULLWIDTH || width == U_EA_WIDE;
}

constexpr char32_t kStem = 0x7532;    // 甲
constexpr char32_t kBranch = 0x5B50;  // 子

const char16_t* SequenceOf(char32_t token) {
  for (const Sequence& sequence : kSequences)
    if (sequence.token == token) return sequence.letters;
  return nullptr;
}

// A one-character token of a letter or roman style: false when the number
// is out of the style's range or the character names no such style.
bool FormatSingle(UnicodeString& out, int number, char32_t token, const ZelLang& language) {
  for (const RomanSet& set : kRomanSets) {
    if (set.token != token) continue;
    if (number < 1 || number > set.largest) return false;
    AppendRoman(out, number, set);
    return true;
  }
  switch (token) {
    case U'A':
    case U'a': {
      if (number < 1) return false;
      const bool lower = token == U'a';
      const UnicodeString* row = nullptr;
      for (AlphabetScript script : {AlphabetScript::kLatin, AlphabetScript::kGreek, AlphabetScript::kCyrillic})
        if (row == nullptr) row = FindAlphabet(language, script, lower);
      AppendBijective(out, number, row != nullptr ? ToCodePoints(*row) : Consecutive(token, 26));
      return true;
    }
    case 0xFF21:
    case 0xFF41:
      if (number < 1) return false;
      AppendBijective(out, number, Consecutive(token, 26));
      return true;
    case 0x0391:
    case 0x03B1:
    case 0x0410:
    case 0x0430: {
      if (number < 1) return false;
      const bool lower = token == 0x03B1 || token == 0x0430;
      const bool greek = token == 0x0391 || token == 0x03B1;
      const AlphabetScript script = greek ? AlphabetScript::kGreek : AlphabetScript::kCyrillic;
      const UnicodeString* row = FindAlphabet(language, script, lower);
      const UnicodeString fallback(DefaultRow(greek ? "el" : "ru", lower));
      AppendBijective(out, number, ToCodePoints(row != nullptr ? *row : fallback));
      return true;
    }
    case 0x05D0:
      if (number < 0) return false;
      if (number == 0) {
        out.append(kHebrewZero);
      } else if (number % 1000000 == 2000) {
        if (number >= 1000000) {
          AppendHebrew(out, number / 1000000, 2);
          out.append(u' ');
        }
        out.append(kHebrewTwoThousand);
      } else {
        AppendHebrew(out, number, 0);
      }
      return true;
    case 0x0623:
      if (number < 0) return false;
      if (number == 0) {
        out.append(static_cast<UChar32>(0x0660));
        return true;
      }
      break;
    case 0xAC00:
    case 0x3131:
      if (number < 1) {
        out.append(static_cast<UChar32>(kDigitSets[1].digits[0]));
        return true;
      }
      break;
    default:
      break;
  }
  const char16_t* letters = SequenceOf(token);
  if (letters == nullptr || number < 1) return false;
  AppendBijective(out, number, ToCodePoints(UnicodeString(letters)));
  return true;
}

// The digit set of a token whose last character is a digit one, and whose
// only character it is or whose first character is the same set's zero.
const Digits* DigitsOfToken(const CodePoints& token, std::array<Digits, 2>& kanji, Digits& block) {
  const char32_t last = token.back();
  if (std::find(std::begin(kDigitOnes), std::end(kDigitOnes), last) != std::end(kDigitOnes)) {
    block = DigitsFrom(last - 1);
    if (token.size() == 1 || token.front() == last - 1) return &block;
    return nullptr;
  }
  for (size_t i = 0; i < 2; ++i) {
    kanji[i] = DigitsOf(kDigitSets[i].digits);
    if (last == kanji[i][1] && (token.size() == 1 || token.front() == kanji[i][0])) return &kanji[i];
  }
  return nullptr;
}

}  // namespace

UnicodeString ZelUtil::formatNumber(int number, const UnicodeString& format, const UnicodeString& groupingSeparator,
                                    int groupingSize, ZelLang language, ZelNameEnum /*letterValue*/) {
  static const Digits kAscii = DigitsFrom(U'0');
  if (format.isEmpty() || format == u"1") return DigitStyle(number, 0, kAscii, groupingSeparator, groupingSize);

  const CodePoints chars = ToCodePoints(format);
  const auto tokenStart = std::find_if(chars.begin(), chars.end(), IsTokenChar);
  const auto tokenEnd = std::find_if_not(tokenStart, chars.end(), IsTokenChar);
  const CodePoints token(tokenStart, tokenEnd);

  UnicodeString out;
  Append(out, CodePoints(chars.begin(), tokenStart));
  bool done = false;
  if (!token.empty()) {
    std::array<Digits, 2> kanji;
    Digits block;
    const Digits* digits = DigitsOfToken(token, kanji, block);
    if (token.size() == 1) BuildAlphabets();
    if (digits != nullptr && digits == &block) {
      out.append(DigitStyle(number, token.size(), *digits, groupingSeparator, groupingSize));
      done = true;
    } else if (token.size() == 1) {
      done = FormatSingle(out, number, token[0], language);
    } else if (token == CodePoints{kStem, kBranch}) {
      // The cycle has sixty members; other numbers are written in digits.
      if (number >= 1 && number <= 60) {
        const CodePoints stems = ToCodePoints(UnicodeString(SequenceOf(kStem)));
        const CodePoints branches = ToCodePoints(UnicodeString(SequenceOf(kBranch)));
        out.append(static_cast<UChar32>(stems[static_cast<size_t>(number - 1) % 10]))
            .append(static_cast<UChar32>(branches[static_cast<size_t>(number - 1) % 12]));
      } else {
        out.append(DigitStyle(number, 0, kAscii, groupingSeparator, groupingSize));
      }
      done = true;
    }
    if (!done && digits != nullptr) {
      out.append(DigitStyle(number, token.size(), *digits, groupingSeparator, groupingSize));
      done = true;
    }
    if (!done && token.size() >= 2 && number >= 1 && IsWide(token[0])) {
      AppendBijective(out, number, token);
      done = true;
    }
  }
  if (!done) out.append(DigitStyle(number, 0, kAscii, groupingSeparator, groupingSize));
  Append(out, CodePoints(tokenEnd, chars.end()));
  return out;
}

UnicodeString ZelUtil::formatNumber(int number, const UnicodeString& format, ZelLang language) {
  return formatNumber(number, format, UnicodeString(), 0, language, NAME_AUTO);
}

void ZelUtil::cleanup() {
  ZelMutex lock;
  for (AlphabetMap*& map : g_alphabets) {
    delete map;
    map = nullptr;
  }
  g_alphabetsBuilt.store(false, std::memory_order_release);
}

}  // namespace ObraCommon
