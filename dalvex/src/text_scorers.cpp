// The scorers of the text-file detector; see text_scorers.h.
//
// Each walker goes through the scorer's carried bytes and the chunk once and
// ends in one of three ways: done (every byte counted, or a character cut by
// the end of the file dropped), carry (the bytes from `at` on wait for the
// next chunk) or stop (a NUL or ESC: the chunk's counts are discarded).
// Runs of printable ASCII are counted eight bytes at a time: in most text
// they are most of the bytes, and every byte scorer counts them good.
#include "text_scorers.h"

#include <cstring>
#include <string_view>

#include "dalvex/encoding_detect.h"
#include "text_detector_tables.h"

namespace dalvex::detect {
namespace {

using file::kBig5Leads;
using file::kBig5Pairs;
using file::kGbkLeads;
using file::kGbkPairs;
using file::kKscLeads;
using file::kKscPairs;
using file::kPlausibleUnits;
using file::kWindows31JLeads;
using file::kWindows31JPairs;

constexpr uint8_t kNul = 0x00, kTab = 0x09, kLf = 0x0A, kCr = 0x0D, kEsc = 0x1B, kSpace = 0x20, kDel = 0x7F;
constexpr uint32_t kLineEndFlags = kDtctCr | kDtctLf | kDtctCrLf;

enum class Outcome { kDone, kCarry, kStop };

struct Run {
  const uint8_t* p;
  size_t n;
  bool at_end;
  ScorerState& state;
  size_t at = 0;
  uint32_t good = 0;
  uint32_t bad = 0;

  // The first line-end kind met wins.
  void Note(uint32_t kind) {
    if ((state.flags & kLineEndFlags) == 0) state.flags |= kind;
  }
};

inline bool IsPrintable(uint8_t b) { return b >= 0x21 && b <= 0x7E; }

// Number of bytes 0x20-0x7E at the start of p[0 .. n).
inline size_t PrintableRun(const uint8_t* p, size_t n) {
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    uint64_t below_space = (w - kOnes * 0x20) & ~w & kHighs;
    uint64_t del_or_high = ((w + kOnes) | w) & kHighs;
    if ((below_space | del_or_high) != 0) break;
  }
  while (i < n && p[i] >= 0x20 && p[i] <= 0x7E) ++i;
  return i;
}

// A CR or LF at r.at: counted good, its kind noted. `lf_cr_pair`: LF
// followed by CR is a CR LF too. False when the byte behind it is in the
// next chunk.
bool ByteLineEnd(Run& r, bool lf_cr_pair) {
  uint8_t b = r.p[r.at];
  uint8_t partner = b == kCr ? kLf : kCr;
  bool pairs = b == kCr || lf_cr_pair;
  if (pairs && r.at + 1 == r.n && !r.at_end) return false;
  if (pairs && r.at + 1 < r.n && r.p[r.at + 1] == partner) {
    r.Note(kDtctCrLf);
    r.good += 2;
    r.at += 2;
    return true;
  }
  r.Note(b == kCr ? kDtctCr : kDtctLf);
  ++r.good;
  ++r.at;
  return true;
}

// Shift_JIS, GBK, Big5 and KS C 5601: single bytes and lead-trail pairs.
struct DoubleByteTables {
  const CodeSet& pairs;
  const ByteSet& leads;
  bool kana;         // 0xA1-0xDF alone are half-width kana
  bool del_stops;    // 0x7F stops the chunk like NUL and ESC
};

Outcome WalkDoubleByte(Run& r, const DoubleByteTables& t) {
  while (r.at < r.n) {
    size_t run = PrintableRun(r.p + r.at, r.n - r.at);
    r.good += static_cast<uint32_t>(run);
    r.at += run;
    if (r.at == r.n) break;
    uint8_t b = r.p[r.at];
    if (b == kNul || b == kEsc || (t.del_stops && b == kDel)) return Outcome::kStop;
    if (b == kCr || b == kLf) {
      if (!ByteLineEnd(r, false)) return Outcome::kCarry;
      continue;
    }
    if (t.leads.Has(b)) {
      if (r.at + 1 == r.n) return r.at_end ? Outcome::kDone : Outcome::kCarry;
      if (t.pairs.Has(uint32_t{b} << 8 | r.p[r.at + 1])) {
        ++r.good;
        r.at += 2;
      } else {
        ++r.bad;  // the trail byte is read again on its own
        ++r.at;
      }
      continue;
    }
    (b == kTab || (t.kana && b >= 0xA1 && b <= 0xDF)) ? ++r.good : ++r.bad;
    ++r.at;
  }
  return Outcome::kDone;
}

Outcome WalkEucJp(Run& r) {
  while (r.at < r.n) {
    size_t run = PrintableRun(r.p + r.at, r.n - r.at);
    r.good += static_cast<uint32_t>(run);
    r.at += run;
    if (r.at == r.n) break;
    uint8_t b = r.p[r.at];
    if (b == kNul || b == kEsc) return Outcome::kStop;
    if (b == kCr || b == kLf) {
      if (!ByteLineEnd(r, false)) return Outcome::kCarry;
      continue;
    }
    if (b == 0x8E || b == 0x8F || (b >= 0xA1 && b <= 0xF4)) {
      size_t need = b == 0x8F ? 3 : 2;
      if (r.at + need > r.n) return r.at_end ? Outcome::kDone : Outcome::kCarry;
      const uint8_t* c = r.p + r.at;
      bool kana_or_row = c[1] >= 0xA1 && c[1] <= 0xDF;
      bool good = b == 0x8E ? kana_or_row : b == 0x8F ? kana_or_row && c[2] >= 0xA1 : c[1] >= 0xA1;
      if (good) {
        ++r.good;
        r.at += need;
      } else {
        ++r.bad;
        ++r.at;
      }
      continue;
    }
    b == kTab ? ++r.good : ++r.bad;
    ++r.at;
  }
  return Outcome::kDone;
}

// EUC-JP-FIX: two bytes per character, ASCII and kana behind a 00 byte.
Outcome WalkEucJpFix(Run& r) {
  for (; r.at + 1 < r.n; r.at += 2) {
    uint8_t lead = r.p[r.at], trail = r.p[r.at + 1];
    if (lead == kEsc || trail == kEsc) return Outcome::kStop;
    if (lead == 0x00) {
      if (trail == kCr) {
        if (r.at + 3 >= r.n && !r.at_end) return Outcome::kCarry;
        bool crlf = r.at + 3 < r.n && r.p[r.at + 2] == 0x00 && r.p[r.at + 3] == kLf;
        r.Note(crlf ? kDtctCrLf : kDtctCr);
        ++r.good;
      } else if (trail == kLf) {
        r.Note(kDtctLf);
        ++r.good;
      } else {
        (IsPrintable(trail) || trail == kTab || trail == kSpace || (trail >= 0xA1 && trail <= 0xDF)) ? ++r.good
                                                                                                    : ++r.bad;
      }
    } else if (lead >= 0xA1 && lead <= 0xF4) {
      (IsPrintable(trail) || trail >= 0xA1) ? ++r.good : ++r.bad;
    } else {
      ++r.bad;
    }
  }
  if (r.at < r.n) {
    if (r.p[r.at] == kEsc) return Outcome::kStop;
    return r.at_end ? Outcome::kDone : Outcome::kCarry;
  }
  return Outcome::kDone;
}

enum Iso2022Set : uint8_t { kRoman = 0, kAscii, kKana, kTwoByte, kInvalid };

Outcome WalkIso2022Jp(Run& r) {
  struct Escape {
    std::string_view bytes;
    Iso2022Set set;
  };
  static constexpr Escape kEscapes[] = {
      {"\x1B$B", kTwoByte}, {"\x1B$@", kTwoByte}, {"\x1B$(D", kTwoByte},
      {"\x1B(J", kRoman},   {"\x1B(B", kAscii},   {"\x1B(I", kKana},
  };
  uint8_t& set = r.state.iso2022_set;
  while (r.at < r.n) {
    if (set == kRoman || set == kAscii) {
      size_t run = PrintableRun(r.p + r.at, r.n - r.at);
      r.good += static_cast<uint32_t>(run);
      r.at += run;
      if (r.at == r.n) break;
    }
    uint8_t b = r.p[r.at];
    if (b == kNul) return Outcome::kStop;
    if (b == kEsc) {
      std::string_view rest(reinterpret_cast<const char*>(r.p + r.at), r.n - r.at);
      const Escape* found = nullptr;
      bool may_continue = false;  // the chunk ends inside what may be a sequence
      for (const Escape& e : kEscapes) {
        if (rest.substr(0, e.bytes.size()) == e.bytes) found = &e;
        if (rest.size() < e.bytes.size() && e.bytes.substr(0, rest.size()) == rest) may_continue = true;
      }
      if (found == nullptr && may_continue && !r.at_end) return Outcome::kCarry;
      set = found != nullptr ? found->set : kInvalid;
      r.at += found != nullptr ? found->bytes.size() : 1;
      continue;
    }
    if (set == kInvalid) {
      ++r.bad;
      ++r.at;
      continue;
    }
    if (b == kCr || b == kLf) {
      if (!ByteLineEnd(r, true)) return Outcome::kCarry;
      continue;
    }
    if (set == kTwoByte && IsPrintable(b)) {
      if (r.at + 1 == r.n) return r.at_end ? Outcome::kDone : Outcome::kCarry;
      if (IsPrintable(r.p[r.at + 1])) {
        ++r.good;
        r.at += 2;
        continue;
      }
      ++r.bad;
      ++r.at;
      continue;
    }
    // In a two-byte set only pairs and line ends are text.
    bool good = set != kTwoByte && (b == kTab || b == kSpace || (set == kKana ? b >= 0xA1 && b <= 0xDF : IsPrintable(b)));
    good ? ++r.good : ++r.bad;
    ++r.at;
  }
  return Outcome::kDone;
}

Outcome WalkUtf8(Run& r) {
  while (r.at < r.n) {
    size_t run = PrintableRun(r.p + r.at, r.n - r.at);
    r.good += static_cast<uint32_t>(run);
    r.at += run;
    if (r.at == r.n) break;
    uint8_t b = r.p[r.at];
    if (b == kNul || b == kEsc) return Outcome::kStop;
    if (b == kCr || b == kLf) {
      if (!ByteLineEnd(r, false)) return Outcome::kCarry;
      continue;
    }
    if (b == 0xFE || b == 0xFF) {
      ++r.at;
      continue;
    }
    if (b >= 0xC0) {
      size_t length = b >= 0xFC ? 6 : b >= 0xF8 ? 5 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
      size_t k = 1;
      while (k < length && r.at + k < r.n && (r.p[r.at + k] & 0xC0) == 0x80) ++k;
      if (k < length && r.at + k == r.n) return r.at_end ? Outcome::kDone : Outcome::kCarry;
      if (k == length) {
        ++r.good;
        r.at += length;
      } else {
        ++r.bad;
        ++r.at;
      }
      continue;
    }
    b == kTab ? ++r.good : ++r.bad;
    ++r.at;
  }
  return Outcome::kDone;
}

Outcome WalkSevenBit(Run& r) {
  while (r.at < r.n) {
    size_t run = PrintableRun(r.p + r.at, r.n - r.at);
    r.good += static_cast<uint32_t>(run);
    r.at += run;
    if (r.at == r.n) break;
    uint8_t b = r.p[r.at];
    if (b == kNul || b == kEsc || b >= kDel) {
      r.state.out = true;
      return Outcome::kStop;
    }
    if (b == kCr || b == kLf) {
      if (!ByteLineEnd(r, false)) return Outcome::kCarry;
      continue;
    }
    b == kTab ? ++r.good : ++r.bad;
    ++r.at;
  }
  return Outcome::kDone;
}

uint32_t ReadUnit(const uint8_t* p, size_t width, bool big_endian) {
  uint32_t v = 0;
  for (size_t k = 0; k < width; ++k) v |= uint32_t{p[big_endian ? k : width - 1 - k]} << (8 * (width - 1 - k));
  return v;
}

// UTF-16 (width 2) and UCS-4 (width 4) in one byte order.
Outcome WalkUnits(Run& r, size_t width, bool big_endian) {
  for (; r.at + width <= r.n; r.at += width) {
    uint32_t unit = ReadUnit(r.p + r.at, width, big_endian);
    uint32_t upper = unit >> 16;
    if (upper > 16 && upper < 128) {
      r.state.out = true;  // no UCS-4 text has such a plane
      return Outcome::kStop;
    }
    if (unit == kCr) {
      if (r.at + 2 * width > r.n && !r.at_end) return Outcome::kCarry;
      bool crlf = r.at + 2 * width <= r.n && ReadUnit(r.p + r.at + width, width, big_endian) == kLf;
      r.Note(crlf ? kDtctCrLf : kDtctCr);
    } else if (unit == kLf) {
      r.Note(kDtctLf);
    } else if (unit == 0x2028) {
      r.state.flags |= kDtctLineSeparator;
    } else if (unit == 0x2029) {
      r.state.flags |= kDtctParagraphSeparator;
    }
    (upper <= 16 && kPlausibleUnits.Has(unit & 0xFFFF)) ? ++r.good : ++r.bad;
  }
  if (r.at < r.n) return r.at_end ? Outcome::kDone : Outcome::kCarry;
  return Outcome::kDone;
}

Outcome Walk(ScorerKind kind, Run& r) {
  static constexpr DoubleByteTables kWindows31J{kWindows31JPairs, kWindows31JLeads, true, true};
  static constexpr DoubleByteTables kGbk{kGbkPairs, kGbkLeads, false, false};
  static constexpr DoubleByteTables kBig5{kBig5Pairs, kBig5Leads, false, false};
  static constexpr DoubleByteTables kKsc{kKscPairs, kKscLeads, false, false};
  switch (kind) {
    case ScorerKind::kUtf8: return WalkUtf8(r);
    case ScorerKind::kUtf16Le: return WalkUnits(r, 2, false);
    case ScorerKind::kUtf16Be: return WalkUnits(r, 2, true);
    case ScorerKind::kUcs4Le: return WalkUnits(r, 4, false);
    case ScorerKind::kUcs4Be: return WalkUnits(r, 4, true);
    case ScorerKind::kIso2022Jp: return WalkIso2022Jp(r);
    case ScorerKind::kEucJp: return WalkEucJp(r);
    case ScorerKind::kEucJpFix: return WalkEucJpFix(r);
    case ScorerKind::kWindows31J: return WalkDoubleByte(r, kWindows31J);
    case ScorerKind::kSevenBit: return WalkSevenBit(r);
    case ScorerKind::kGbk: return WalkDoubleByte(r, kGbk);
    case ScorerKind::kBig5: return WalkDoubleByte(r, kBig5);
    case ScorerKind::kKsc5601: return WalkDoubleByte(r, kKsc);
  }
  return Outcome::kStop;
}

}  // namespace

void ScoreChunk(ScorerKind kind, ScorerState& state, uint8_t* chunk, size_t length, bool at_end) {
  if (state.out) return;
  uint8_t* start = chunk - state.carry_length;
  std::memcpy(start, state.carry, state.carry_length);
  Run r{start, length + state.carry_length, at_end, state};
  state.carry_length = 0;
  Outcome outcome = Walk(kind, r);
  if (outcome == Outcome::kStop) return;
  state.good += r.good;
  state.bad += r.bad;
  if (outcome == Outcome::kCarry) {
    size_t kept = r.n - r.at;
    if (kept > kMaxCarry) kept = kMaxCarry;  // never more than a character and a CR
    std::memcpy(state.carry, r.p + r.at, kept);
    state.carry_length = static_cast<uint8_t>(kept);
  }
}

}  // namespace dalvex::detect
