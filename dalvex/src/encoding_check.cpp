// The buffer encoding check: cconvChkEncode names the charset of a text in
// memory in the conversion engine's charset names, so that Quarnel's
// charset streams and Probelin can open a conversion session for it.
//
// It trusts, in this order, a byte-order mark, an XML declaration with its
// encoding attribute, and otherwise the scores of seven candidate encodings
// over the first 4 KB. Each scorer counts good and bad characters and scores
// good x 10,000 / (good + bad); a ladder of thresholds from 10,000 down to
// 7,000 picks the name. The line-end kind is then counted over the first
// 2 KB in the units of the named charset. Nothing is kept between calls.
#include <cstring>
#include <string_view>

#include "dalvex/encoding_detect.h"
#include "encoding_check_tables.h"

namespace {

using dalvex::detect::check::kPlausibleUnits;
using dalvex::detect::check::kWindows31JCodes;

constexpr uint8_t kNul = 0x00, kTab = 0x09, kLf = 0x0A, kCr = 0x0D, kEsc = 0x1B, kSpace = 0x20;
constexpr size_t kScoreWindow = 4096;
constexpr size_t kLineEndWindow = 2048;
constexpr size_t kMaxCharsetName = 259;

// The bytes a scorer walks. `at_end`: the text ends with them, so a
// character cut at their end is bad; otherwise the window cut it and it is
// not counted.
struct Window {
  const uint8_t* p;
  size_t n;
  bool at_end;
};

bool IsPrintable(uint8_t b) { return b >= 0x21 && b <= 0x7E; }
bool IsTextControl(uint8_t b) { return b == kTab || b == kLf || b == kCr || b == kSpace; }

class Tally {
 public:
  void Good() { ++good_; }
  void Bad() { ++bad_; }
  // A byte the scorer does not allow at all: the text is not in its encoding.
  void Refuse() { refused_ = true; }
  bool refused() const { return refused_; }
  int Score() const {
    if (refused_ || good_ == 0) return 0;
    return static_cast<int>(uint64_t{good_} * 10000 / (uint64_t{good_} + bad_));
  }

 private:
  uint32_t good_ = 0;
  uint32_t bad_ = 0;
  bool refused_ = false;
};

// ISO-2022-JP: the escape sequences switch the current set.
int ScoreIso2022Jp(const Window& w) {
  enum Set { kRoman, kAscii, kKana, kTwoByte, kInvalid };
  struct Escape {
    std::string_view bytes;
    Set set;
  };
  static constexpr Escape kEscapes[] = {
      {"\x1B$B", kTwoByte}, {"\x1B$@", kTwoByte}, {"\x1B$(D", kTwoByte},
      {"\x1B(J", kRoman},   {"\x1B(B", kAscii},   {"\x1B(I", kKana},
  };
  Tally t;
  Set set = kRoman;
  size_t i = 0;
  while (i < w.n && !t.refused()) {
    uint8_t b = w.p[i];
    if (b == kNul) {
      t.Refuse();
    } else if (b == kEsc) {
      std::string_view rest(reinterpret_cast<const char*>(w.p + i), w.n - i);
      size_t used = 1;
      set = kInvalid;
      for (const Escape& e : kEscapes) {
        if (rest.substr(0, e.bytes.size()) == e.bytes) {
          set = e.set;
          used = e.bytes.size();
          break;
        }
      }
      i += used;
      continue;
    } else if (set == kRoman || set == kAscii) {
      (IsPrintable(b) || IsTextControl(b)) ? t.Good() : t.Bad();
    } else if (set == kKana) {
      ((b >= 0xA1 && b <= 0xDF) || IsTextControl(b)) ? t.Good() : t.Bad();
    } else if (set == kTwoByte && IsPrintable(b)) {
      if (i + 1 == w.n) {
        if (w.at_end) t.Bad();
        break;
      }
      if (IsPrintable(w.p[i + 1])) {
        t.Good();
        i += 2;
        continue;
      }
      t.Bad();
    } else {
      t.Bad();
    }
    ++i;
  }
  return t.Score();
}

struct Utf8Result {
  int score;
  bool multi_byte_seen;
};

Utf8Result ScoreUtf8(const Window& w) {
  Tally t;
  bool multi_byte = false;
  size_t i = 0;
  while (i < w.n && !t.refused()) {
    uint8_t b = w.p[i];
    if (b == kNul || b == kEsc) {
      t.Refuse();
      break;
    }
    if (IsPrintable(b) || IsTextControl(b)) {
      t.Good();
      ++i;
      continue;
    }
    if (b == 0xFE || b == 0xFF) {
      ++i;
      continue;
    }
    size_t length = b >= 0xFC ? 6 : b >= 0xF8 ? 5 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    if (length == 0) {
      t.Bad();
      ++i;
      continue;
    }
    static constexpr uint32_t kLeast[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
    uint32_t value = b & (0x7Fu >> length);
    size_t k = 1;
    for (; k < length && i + k < w.n; ++k) {
      uint8_t c = w.p[i + k];
      if ((c & 0xC0) != 0x80) break;
      value = value << 6 | (c & 0x3Fu);
    }
    if (k < length && i + k == w.n && !w.at_end) break;  // cut by the window
    if (k == length && value >= kLeast[length]) {
      t.Good();
      // Latin-1 letters as two-byte sequences count here as well: text whose
      // only non-ASCII characters are U+00A0-U+00FF is still UTF-8.
      multi_byte = true;
      i += length;
    } else {
      t.Bad();
      ++i;
    }
  }
  return {t.Score(), multi_byte};
}

int ScoreEucJp(const Window& w) {
  Tally t;
  size_t i = 0;
  while (i < w.n) {
    uint8_t b = w.p[i];
    if (b == kNul || b == kEsc) return 0;
    size_t length = 1;
    bool good = false;
    if (b == kTab || b == kLf || b == kCr || (b >= 0x20 && b <= 0x7E)) {
      good = true;
    } else if (b == 0x8E || b == 0x8F || (b >= 0xA1 && b <= 0xDF)) {
      size_t need = b == 0x8F ? 3 : 2;
      if (i + need > w.n && !w.at_end) break;  // cut by the window
      if (b == 0x8E) {
        good = i + 1 < w.n && w.p[i + 1] >= 0xA1 && w.p[i + 1] <= 0xDF;
      } else if (b == 0x8F) {
        good = i + 2 < w.n && w.p[i + 1] >= 0xA1 && w.p[i + 1] <= 0xDF && w.p[i + 2] >= 0xA1;
      } else {
        good = i + 1 < w.n && w.p[i + 1] >= 0xA1;
      }
      if (good) length = need;
    }
    good ? t.Good() : t.Bad();
    i += length;
  }
  return t.Score();
}

// EUC-JP-FIX: every character is two bytes, ASCII and kana behind a 00 byte.
int ScoreEucJpFix(const Window& w) {
  Tally t;
  size_t i = 0;
  for (; i + 1 < w.n; i += 2) {
    uint8_t lead = w.p[i], trail = w.p[i + 1];
    if (lead == kEsc || trail == kEsc) return 0;
    if (lead == 0x00) {
      (IsPrintable(trail) || IsTextControl(trail) || (trail >= 0xA1 && trail <= 0xDF)) ? t.Good() : t.Bad();
    } else if (lead >= 0xA1 && lead <= 0xDF) {
      (IsPrintable(trail) || trail >= 0xA1) ? t.Good() : t.Bad();
    } else {
      t.Bad();
    }
  }
  if (i < w.n) {
    if (w.p[i] == kEsc) return 0;
    if (w.at_end) t.Bad();
  }
  return t.Score();
}

struct SjisResult {
  int score;
  bool double_byte_seen;
  bool high_byte_seen;
};

SjisResult ScoreWindows31J(const Window& w) {
  Tally t;
  bool double_byte = false, high = false;
  size_t i = 0;
  while (i < w.n) {
    uint8_t b = w.p[i];
    if (i + 1 < w.n && kWindows31JCodes.Has(uint32_t{b} << 8 | w.p[i + 1])) {
      t.Good();
      double_byte = true;
      i += 2;
      continue;
    }
    if (i + 1 == w.n && !w.at_end && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC))) break;
    if (b == kNul || b == kEsc || b == 0x7F) return {0, double_byte, high};
    if (IsPrintable(b) || IsTextControl(b)) {
      t.Good();
    } else if (b >= 0xA1 && b <= 0xDF) {
      t.Good();
      high = true;
    } else {
      t.Bad();
      if (b >= 0xA0) high = true;
    }
    ++i;
  }
  return {t.Score(), double_byte, high};
}

struct OrderedScore {
  int score;
  bool big_endian;
};

uint32_t ReadUnit(const uint8_t* p, size_t width, bool big_endian) {
  uint32_t v = 0;
  for (size_t k = 0; k < width; ++k) v |= uint32_t{p[big_endian ? k : width - 1 - k]} << (8 * (width - 1 - k));
  return v;
}

// The better of the two byte orders; big-endian only when little-endian
// scores lower.
OrderedScore Better(int little, int big) { return little < big ? OrderedScore{big, true} : OrderedScore{little, false}; }

OrderedScore ScoreUtf16(const Window& w) {
  int scores[2];
  for (int big = 0; big < 2; ++big) {
    Tally t;
    bool ascii_seen = false;
    for (size_t i = 0; i + 1 < w.n; i += 2) {
      uint32_t unit = ReadUnit(w.p + i, 2, big != 0);
      if (unit >= 0x21 && unit <= 0x7E) ascii_seen = true;
      kPlausibleUnits.Has(unit) ? t.Good() : t.Bad();
    }
    // Text in UTF-16 without a single ASCII character is too rare to claim.
    scores[big] = ascii_seen ? t.Score() : 0;
  }
  return Better(scores[0], scores[1]);
}

OrderedScore ScoreUcs4(const Window& w) {
  int scores[2];
  for (int big = 0; big < 2; ++big) {
    Tally t;
    for (size_t i = 0; i + 3 < w.n && !t.refused(); i += 4) {
      uint32_t unit = ReadUnit(w.p + i, 4, big != 0);
      uint32_t upper = unit >> 16;
      if (upper > 16 && upper < 128) t.Refuse();
      (upper <= 16 && kPlausibleUnits.Has(unit & 0xFFFF)) ? t.Good() : t.Bad();
    }
    scores[big] = t.Score();
  }
  return Better(scores[0], scores[1]);
}

struct Named {
  const char* name = nullptr;
  bool big_endian = true;
};

// The statistical choice over at most 4 KB.
Named ChooseByStatistics(const Window& w) {
  int J = ScoreIso2022Jp(w);
  Utf8Result utf8 = ScoreUtf8(w);
  int U = utf8.score;
  int E = ScoreEucJp(w);
  int F = ScoreEucJpFix(w);
  SjisResult sjis = ScoreWindows31J(w);
  int S = sjis.score;
  OrderedScore utf16 = ScoreUtf16(w);
  int H = utf16.score;
  OrderedScore ucs4 = ScoreUcs4(w);
  int Q = ucs4.score;

  for (int T = 10000; T >= 7000; T -= 100) {
    if (F > T && F > U && F > E && F > H && F > Q && F > S) return {"EUC-JP-FIX"};
    if (E > T && E >= F && E > U && E > H && E > Q && E > S) return {"EUC-JP"};
    if (H > T && H >= F && H > U && H > E && H > Q && H > S) return {"UTF-16", utf16.big_endian};
    if (Q > T && Q >= F && Q > U && Q > E && Q > H && Q > S) return {"ISO-10646-UCS-4", ucs4.big_endian};
    if (S > T && S >= F && S > U && S > Q && S >= E && S >= H) {
      if (sjis.double_byte_seen) return {"WINDOWS31J"};
      return {sjis.high_byte_seen ? "ISO-8859-1" : "ISO-646IRV"};
    }
    if (U > T && U >= F && U >= E && U >= H && U >= Q && U >= S)
      return {utf8.multi_byte_seen ? "UTF-8" : "ISO-646IRV"};
    if (J > T) return {"ISO-2022-JP"};
  }
  return {};
}

struct Mark {
  std::string_view bytes;
  const char* name;
  bool big_endian;
};

constexpr Mark kMarks[] = {
    {std::string_view("\xFF\xFE\x00\x00", 4), "ISO-10646-UCS-4", false},
    {std::string_view("\x00\x00\xFE\xFF", 4), "ISO-10646-UCS-4", true},
    {"\xEF\xBB\xBF", "UTF-8", true},
    {"\xFE\xFF", "UTF-16", true},
    {"\xFF\xFE", "UTF-16", false},
};

const Mark* FindMark(const uint8_t* p, size_t n) {
  std::string_view text(reinterpret_cast<const char*>(p), n);
  for (const Mark& m : kMarks)
    if (text.substr(0, m.bytes.size()) == m.bytes) return &m;
  return nullptr;
}

// An XML declaration read in units of one, two or four bytes.
struct Declaration {
  size_t width = 0;  // 0: none
  bool big_endian = false;
};

bool UnitsSpell(const uint8_t* p, size_t n, size_t width, bool big_endian, std::string_view letters) {
  if (n < letters.size() * width) return false;
  for (size_t k = 0; k < letters.size(); ++k)
    if (ReadUnit(p + k * width, width, big_endian) != static_cast<uint8_t>(letters[k])) return false;
  return true;
}

Declaration FindDeclaration(const uint8_t* p, size_t n) {
  for (size_t width : {size_t{1}, size_t{2}, size_t{4}})
    for (bool big : {false, true}) {
      if (width == 1 && big) continue;
      if (UnitsSpell(p, n, width, big, "<?xml") || UnitsSpell(p, n, width, big, "<?XML"))
        return {width, width > 1 && p[0] == 0};
    }
  return {};
}

// The value of the encoding attribute on the declaration's line, into
// `name`; false when there is no attribute or its value is not quoted.
bool EncodingAttribute(const uint8_t* p, size_t n, const Declaration& d, char* name) {
  const size_t width = d.width;
  const size_t units = n / width;
  auto unit = [&](size_t k) { return ReadUnit(p + k * width, width, d.big_endian); };
  auto line_ends = [](uint32_t u) { return u == kCr || u == kLf; };
  size_t k = 0;
  for (;; ++k) {
    if (k >= units || line_ends(unit(k))) return false;
    if (UnitsSpell(p + k * width, n - k * width, width, d.big_endian, "encoding") ||
        UnitsSpell(p + k * width, n - k * width, width, d.big_endian, "ENCODING"))
      break;
  }
  k += 8;
  uint32_t quote = 0;
  for (; k < units && !line_ends(unit(k)); ++k) {
    if (unit(k) == '"' || unit(k) == '\'') {
      quote = unit(k);
      break;
    }
  }
  if (quote == 0) return false;
  size_t length = 0;
  for (++k; k < units && !line_ends(unit(k)); ++k) {
    if (unit(k) == quote) {
      name[length] = '\0';
      return true;
    }
    // One character byte per unit.
    if (length < kMaxCharsetName) name[length++] = static_cast<char>(unit(k) & 0xFF);
  }
  return false;
}

// Line-end kind over at most 2 KB, in units of `width` bytes.
int32_t CountLineEnds(const uint8_t* p, size_t n, size_t width, bool big_endian, bool iso2022jp) {
  n = n < kLineEndWindow ? n : kLineEndWindow;
  uint32_t crlf = 0, cr = 0, lf = 0, ls = 0, ps = 0;
  const size_t units = n / width;
  for (size_t k = 0; k < units;) {
    uint32_t u = ReadUnit(p + k * width, width, big_endian);
    uint32_t next = k + 1 < units ? ReadUnit(p + (k + 1) * width, width, big_endian) : 0;
    if ((u == kCr && next == kLf) || (u == kLf && next == kCr)) {
      ++crlf;
      k += 2;
      continue;
    }
    if (u == kCr) {
      ++cr;
    } else if (u == kLf) {
      ++lf;
    } else if (u == 0x2028) {
      ++ls;
    } else if (u == 0x2029) {
      ++ps;
    } else if (width == 1 && u == 0xE2 && k + 2 < units && p[k + 1] == 0x80 &&
               (p[k + 2] == 0xA8 || p[k + 2] == 0xA9)) {
      ++(p[k + 2] == 0xA8 ? ls : ps);
      k += 3;
      continue;
    }
    ++k;
  }
  if (iso2022jp) {
    if (cr > 0 && lf < cr) return kCconvLineEndCr;
    if (lf > 0 && cr < lf) return kCconvLineEndLf;
    return crlf > 0 ? kCconvLineEndCrLf : kCconvLineEndNone;
  }
  const struct {
    uint32_t count;
    int32_t kind;
  } kinds[] = {{ls, kCconvLineEndLineSeparator},
               {ps, kCconvLineEndParagraphSeparator},
               {cr, kCconvLineEndCr},
               {lf, kCconvLineEndLf},
               {crlf, kCconvLineEndCrLf}};
  for (const auto& candidate : kinds) {
    bool outnumbers = candidate.count > 0;
    for (const auto& other : kinds)
      if (&other != &candidate && other.count >= candidate.count) outnumbers = false;
    if (outnumbers && candidate.kind != kCconvLineEndCrLf) return candidate.kind;
  }
  return crlf > 0 ? kCconvLineEndCrLf : kCconvLineEndNone;
}

void CopyName(char* out, const char* name) {
  size_t length = std::strlen(name);
  if (length > kMaxCharsetName) length = kMaxCharsetName;
  std::memcpy(out, name, length);
  out[length] = '\0';
}

int32_t UnitCode(const char* name) { return cconvIsEndianAware(name) ? 4098 : 1; }

}  // namespace

extern "C" {

int cconvIsEndianAware(const char* charset) {
  if (charset == nullptr) return 0;
  std::string_view name(charset);
  return (name == "UTF-16" || name == "ISO-10646-UCS-2" || name == "ISO-10646-UCS-4") ? 1 : 0;
}

int cconvChkEncode(CconvCheck* check) {
  if (check == nullptr) return 0;
  std::memset(check->charset, 0, sizeof check->charset);
  check->xml_declaration = 0;
  check->byte_order_mark = 0;
  check->big_endian = 1;
  check->line_end = kCconvLineEndNone;
  check->unit_code = 0;
  if (check->text == nullptr || check->position < 0 || check->position > check->end) {
    CopyName(check->charset, "unknown");
    return 0;
  }

  const auto* start = reinterpret_cast<const uint8_t*>(check->text) + check->position;
  const size_t length = static_cast<size_t>(check->end - check->position);
  size_t at = 0;  // the check's own position; the record's is never moved

  const Mark* mark = FindMark(start, length);
  if (mark != nullptr) {
    check->byte_order_mark = 1;
    check->big_endian = mark->big_endian ? 1 : 0;
    at = mark->bytes.size();
  }

  Declaration declaration = FindDeclaration(start + at, length - at);
  if (declaration.width == 0 && mark != nullptr && at + 2 <= length) {
    declaration = FindDeclaration(start + at + 2, length - at - 2);
    if (declaration.width != 0) at += 2;
  }

  Named named;
  if (declaration.width != 0) {
    check->xml_declaration = 1;
    if (declaration.width > 1) check->big_endian = declaration.big_endian ? 1 : 0;
    if (EncodingAttribute(start + at, length - at, declaration, check->charset)) {
      named.name = check->charset;
    } else {
      named.name = declaration.width == 2 ? "UTF-16" : declaration.width == 4 ? "ISO-10646-UCS-4" : "UTF-8";
    }
  } else if (mark != nullptr) {
    named.name = mark->name;
  } else {
    size_t window = length < kScoreWindow ? length : kScoreWindow;
    named = ChooseByStatistics({start, window, window == length});
    if (named.name != nullptr && cconvIsEndianAware(named.name)) check->big_endian = named.big_endian ? 1 : 0;
  }

  if (named.name == nullptr) {
    CopyName(check->charset, "unknown");
    return 0;
  }
  if (named.name != check->charset) CopyName(check->charset, named.name);

  std::string_view name(check->charset);
  size_t width = declaration.width != 0 ? declaration.width : 1;
  bool big_endian = check->big_endian != 0;
  if (name == "UTF-16") width = 2;
  if (name == "ISO-10646-UCS-4") width = 4;
  if (name == "EUC-JP-FIX") {
    width = 2;
    big_endian = true;
  }
  check->line_end = CountLineEnds(start, length, width, big_endian, name == "ISO-2022-JP");
  check->unit_code = UnitCode(check->charset);
  return 1;
}

}  // extern "C"
