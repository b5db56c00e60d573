// The common path of every encoder: mapping a decoded character onto the
// target's code sets and committing its bytes; the code transforms between
// JIS-style and Shift_JIS codes; the JIS X 0213 two-code-point table; and
// the preparation of a session's substitutes.
//
// Mapping tries the target's sets in rule order, first for the two direct
// cases (a user-defined area takes its private-use values back, a set with
// the character's own set id takes its code unchanged), then by Unicode
// value: each set's Unicode-to-code table, then the further tables of that
// set. A character whose set and code need no table (the shared JIS X 0208
// set between Shift_JIS and EUC-JP, say) therefore never touches one.
#include <iterator>

#include "codecs.h"

namespace cconv {

namespace {

struct PairRow {
  uint32_t code, base, combining;
};

constexpr PairRow kPairs[] = {
    {0x2477, 0x304B, 0x309A}, {0x2478, 0x304D, 0x309A}, {0x2479, 0x304F, 0x309A},
    {0x247A, 0x3051, 0x309A}, {0x247B, 0x3053, 0x309A}, {0x2577, 0x30AB, 0x309A},
    {0x2578, 0x30AD, 0x309A}, {0x2579, 0x30AF, 0x309A}, {0x257A, 0x30B1, 0x309A},
    {0x257B, 0x30B3, 0x309A}, {0x257C, 0x30BB, 0x309A}, {0x257D, 0x30C4, 0x309A},
    {0x257E, 0x30C8, 0x309A}, {0x2678, 0x31F7, 0x309A}, {0x2B44, 0x00E6, 0x0300},
    {0x2B48, 0x0254, 0x0300}, {0x2B49, 0x0254, 0x0301}, {0x2B4A, 0x028C, 0x0300},
    {0x2B4B, 0x028C, 0x0301}, {0x2B4C, 0x0259, 0x0300}, {0x2B4D, 0x0259, 0x0301},
    {0x2B4E, 0x025A, 0x0300}, {0x2B4F, 0x025A, 0x0301}, {0x2B65, 0x02E9, 0x02E5},
    {0x2B66, 0x02E5, 0x02E9},
};
static_assert(std::size(kPairs) == 25);

inline bool MayCombine(uint32_t c) {
  return c == 0x02E5 || c == 0x02E9 || c == 0x0300 || c == 0x0301 || c == 0x309A;
}

// Shift_JIS-2004 plane-2 rows by lead byte 0xF0-0xFC: for trail bytes
// 0x40-0x9E and 0x9F-0xFC.
constexpr uint8_t kPlane2Rows[13][2] = {{1, 8},   {3, 4},   {5, 12},  {13, 14}, {15, 78},
                                        {79, 80}, {81, 82}, {83, 84}, {85, 86}, {87, 88},
                                        {89, 90}, {91, 92}, {93, 94}};

}  // namespace

uint32_t Sjis2004ToJis(uint32_t lead, uint32_t trail) {
  if (!ValidSjisPair(lead, trail)) return 0;
  if (lead < 0xF0) return SjisToJis(lead, trail);
  bool second;
  uint32_t cell = SjisCellOfTrail(trail, &second);
  uint32_t row = kPlane2Rows[lead - 0xF0][second ? 1 : 0];
  return kPlane2 | (row + 0x20) << 8 | cell;
}

uint32_t JisToSjis2004(uint32_t code) {
  if (!(code & kPlane2)) return JisToSjis(code);
  uint32_t row = ((code >> 8) & 0xFF) - 0x20, cell = code & 0xFF;
  for (uint32_t i = 0; i < std::size(kPlane2Rows); ++i)
    for (int half = 0; half < 2; ++half)
      if (kPlane2Rows[i][half] == row) return (0xF0 + i) << 8 | SjisTrailOfCell(cell, half == 1);
  return 0;
}

bool PairOfCode(uint32_t code, uint32_t* base, uint32_t* combining) {
  if (code < 0x2477 || code > 0x2B66) return false;
  for (const PairRow& row : kPairs)
    if (row.code == code) {
      *base = row.base;
      *combining = row.combining;
      return true;
    }
  return false;
}

uint32_t CodeOfPair(uint32_t base, uint32_t combining) {
  if (!MayCombine(combining)) return 0;
  for (const PairRow& row : kPairs)
    if (row.base == base && row.combining == combining) return row.code;
  return 0;
}

uint32_t LeftoverCombiningCode(uint32_t combining) {
  switch (combining) {
    case 0x02E5: return 0x2824;
    case 0x02E9: return 0x2825;
    case 0x0300: return 0x212E;
    case 0x0301: return 0x212D;
    case 0x309A: return 0x212C;
    default: return 0;
  }
}

bool CharsetHasSet(const CconvCharset* charset, int32_t id) {
  if (charset)
    for (const CconvCodeSet* set : charset->sets)
      if (set->id == id) return true;
  return false;
}

CconvCodeSet* SourceSet(const CconvSession* s, int32_t id) {
  if (s->source)
    for (CconvCodeSet* set : s->source->sets)
      if (set->id == id) return set;
  return FindCodeSet(id);
}

CconvCodeSet* TargetSet(const CconvSession* s, int32_t id) {
  if (s->target)
    for (CconvCodeSet* set : s->target->sets)
      if (set->id == id) return set;
  return nullptr;
}

uint32_t ResolveUnicode(CconvSession* s) {
  if (s->unicode != 0 || s->char_set_id == 0) return s->unicode;
  if (s->char_set_id == kIdJisX0213 && s->second_code_point == 0) {
    uint32_t base, combining;
    if (PairOfCode(s->code, &base, &combining)) {
      s->second_code_point = combining;
      return s->unicode = base;
    }
  }
  if (const CconvCodeSet* set = SourceSet(s, s->char_set_id)) {
    if (set->kind == 3) {
      if (s->code >= set->area_start && s->code - set->area_start < set->area_count)
        s->unicode = 0xE000 + (s->code - set->area_start);
    } else {
      // A table that is not ensured yet (a set the charset does not list)
      // is loaded on first use.
      set->to_unicode->Ensure();
      s->unicode = set->to_unicode->Lookup(s->code);
    }
  }
  return s->unicode;
}

namespace {

void Take(CconvSession* s, const CconvCodeSet* set, uint32_t code, uint16_t multi) {
  s->out_set_id = set->id;
  s->out_set_kind = set->kind;
  s->out_code = code;
  s->out_unit_width = set->id == kIdJisX0213 ? 2 : set->unit_width;
  s->out_multi_length = multi;
}

bool JapaneseByteCharset(int32_t id) {
  return id == kIdShiftJis || id == kIdWindows31J || (id >= kIdEucJp && id <= kIdIso2022Jp2004);
}

bool UnicodeCharset(int32_t id) { return id >= kIdUcs2 && id <= kIdUtf8; }

// What becomes of a combining character that was not joined to its base.
void SettleCombining(CconvSession* s, bool joined) {
  if (s->second_code_point == 0) return;
  if (joined || !(JapaneseByteCharset(s->target_id) || UnicodeCharset(s->target_id))) s->second_code_point = 0;
}

}  // namespace

bool MapCharacter(CconvSession* s) {
  const CconvCharset* target = s->target;
  if (target == nullptr) return false;
  uint32_t unicode = ResolveUnicode(s);
  for (const CconvCodeSet* set : target->sets) {
    if (set->kind == 3) {
      if (unicode >= 0xE000 && unicode - 0xE000 < set->area_count) {
        Take(s, set, set->area_start + (unicode - 0xE000), 0);
        SettleCombining(s, false);
        return true;
      }
    } else if (set->id == s->char_set_id && s->char_set_id != 0) {
      // A code of the same set needs no table; a set-2011 pair code carries
      // its combining character in itself.
      Take(s, set, s->code, 0);
      SettleCombining(s, set->id == kIdJisX0213 && s->second_code_point != 0 &&
                             IsPair(unicode, s->second_code_point));
      return true;
    }
  }
  if (unicode != 0) {
    for (size_t i = 0; i < target->sets.size(); ++i) {
      const CconvCodeSet* set = target->sets[i];
      if (set->kind == 3) continue;
      if (set->id == kIdJisX0213 && s->second_code_point != 0) {
        if (uint32_t code = CodeOfPair(unicode, s->second_code_point)) {
          Take(s, set, code, 0);
          SettleCombining(s, true);
          return true;
        }
      }
      if (uint32_t code = set->to_code->Lookup(unicode)) {
        Take(s, set, code, 0);
        SettleCombining(s, false);
        return true;
      }
      if (i < target->dstables.size()) {
        for (const auto& table : target->dstables[i]) {
          table->Ensure();
          if (uint32_t code = table->Lookup(unicode)) {
            int width = set->id == kIdJisX0213 ? 2 : set->unit_width;
            Take(s, set, code, table->entry_width() > width ? static_cast<uint16_t>(table->entry_width()) : 0);
            SettleCombining(s, false);
            return true;
          }
        }
      }
    }
  }
  // Nothing maps it: a control code is written as it is, in the target's
  // ASCII or JIS-Roman set, else in its narrowest set.
  uint32_t code = unicode != 0 ? unicode : s->code;
  if (!IsControlCode(code)) return false;
  const CconvCodeSet* chosen = nullptr;
  for (const CconvCodeSet* set : target->sets)
    if (set->id == kIdIso646Irv || set->id == kIdJisX0201Latin) {
      chosen = set;
      break;
    }
  if (chosen == nullptr)
    for (const CconvCodeSet* set : target->sets)
      if (chosen == nullptr || set->unit_width < chosen->unit_width) chosen = set;
  if (chosen == nullptr) return false;
  Take(s, chosen, code, 0);
  SettleCombining(s, false);
  return true;
}

bool Commit(CconvSession* s, const ByteRun& run, bool counts) {
  if (run.overflow || run.n > s->output_capacity - s->output_length) {
    s->status = kStFull;
    return false;
  }
  for (int i = 0; i < run.n; ++i) s->output[s->output_length + i] = run.bytes[i];
  s->output_length += run.n;
  if (counts) ++s->encoded_count;
  s->status = kStWritten;
  return true;
}

void PutLineEnd(const CconvSession* s, ByteRun* run, int width, bool little) {
  switch (s->options.line_end_form) {
    case 2: run->PutUnit('\r', width, little); return;
    case 3: run->PutUnit('\n', width, little); return;
    case 4:
    case 5:
      if (width > 1) {
        run->PutUnit(s->options.line_end_form == 4 ? 0x2028 : 0x2029, width, little);
        return;
      }
      [[fallthrough]];
    default:
      run->PutUnit('\r', width, little);
      run->PutUnit('\n', width, little);
  }
}

bool WriteByteOrderMark(CconvSession* s, const ByteRun& mark) {
  if (!s->options.write_bom) return true;
  if (!Commit(s, mark, false)) return false;
  s->options.write_bom = 0;
  return true;
}

namespace {

// Maps one substitute value through the target's sets (no further tables).
bool PrepareOne(const CconvCharset* target, uint16_t value, CconvPreparedChar* out) {
  if (value == 0) return false;
  for (const CconvCodeSet* set : target->sets) {
    if (set->kind == 3) continue;
    if (uint32_t code = set->to_code->Lookup(value)) {
      out->set_id = set->id;
      out->kind = set->kind;
      out->code = code;
      out->unit_width = set->id == kIdJisX0213 ? 2 : set->unit_width;
      return true;
    }
  }
  return false;
}

}  // namespace

void PrepareSession(CconvSession* s) {
  const CconvCharset* target = s->target;
  if (target == nullptr) return;
  if (s->options.substitute) {
    CconvOptions& o = s->options;
    bool low = PrepareOne(target, o.substitute_low, &s->substitutes[0]);
    bool high = PrepareOne(target, o.substitute_high, &s->substitutes[1]);
    // Fall-back pairs, each tried only for the substitutes still missing;
    // the last, ("?", "?"), is tried too.
    static constexpr uint16_t kFallbacks[][2] = {{0x3F, 0x3013}, {0x3F, 0xFF1D}, {0x3F, 0x3F}};
    for (const auto& pair : kFallbacks) {
      if (low && high) break;
      o.substitute_low = pair[0];
      o.substitute_high = pair[1];
      if (!low) low = PrepareOne(target, pair[0], &s->substitutes[0]);
      if (!high) high = PrepareOne(target, pair[1], &s->substitutes[1]);
    }
  }
  // Numeric character references ask what WINDOWS31J can show.
  if (s->options.char_references != 0)
    if (const CconvCharset* w31j = FindCharset(kIdWindows31J))
      for (CconvCodeSet* set : w31j->sets)
        if (set->kind != 3) set->to_code->Ensure();
}

}  // namespace cconv
