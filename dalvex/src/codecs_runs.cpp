// Runs of characters converted without the per-character handlers.
//
// The driver (cconv_engine.cpp) converts one character at a time through
// the session's decoder and encoder. For the common pairs of codecs this
// file converts whole runs of characters in one loop instead: the sets and
// tables that the pair's handlers would search for every character are
// resolved once per cconvConvert call into a RunPlan on the driver's
// stack, and the decoder and encoder steps are inlined into one loop per
// pair. The session keeps no memory between calls.
//
// The loop only takes characters whose every effect it reproduces exactly:
// the same bytes, positions and counts, and, after the last character of a
// run, the same character fields as the handlers would have left. Any
// other character (a byte-order mark still expected, a line end to
// normalise, a JIS X 0213 pair, a language tag, a user-defined area, a
// further table not loaded yet, a character cut by the input end, invalid
// or unmappable input, an output with less than kRoom bytes left) ends the
// run, and the driver hands that character to the handlers as before.
// Invalid bytes that the caller skips are the one exception where the
// decoder tells them (EUC-JP-FIX, whose single bytes are common): the
// loop drops them itself, with the fields the driver clears for each.
#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <type_traits>

#include "codecs.h"

// The steps of a run are inlined into its loop whatever the optimiser
// would choose: a call per character is what the loops are there to save.
#define RUN_STEP inline __attribute__((always_inline))

namespace cconv {

namespace {

std::atomic<bool> g_runs_enabled{true};

std::atomic<int64_t> g_index_threshold{kIndexThreshold};

// Bytes of output a run keeps free: no character of the loop writes more.
constexpr int32_t kRoom = 8;

enum class Dec : uint8_t {
  kNone, kSjis, kWindows31J, kTable, kUtf8, kUtf16, kUcs4, kEuc, kUcs2, kSjis2004, kEuc2004, kEucFix, kIso2022
};
enum class Enc : uint8_t {
  kNone, kTable, kSjis, kEuc, kUtf8, kUtf16, kUcs4, kUcs2, kUcs2References, kSjis2004, kEucFix, kIso2022
};

// A table that takes lookups without a lock: no file, or settled.
bool Settled(const CconvTable* table) {
  return !table->has_file() || table->state() != CconvTable::State::kNotLoaded;
}

int Width(const CconvCodeSet* set) { return set->id == kIdJisX0213 ? 2 : set->unit_width; }

// The view of a settled table: the page index of a loaded one; a table
// without a file, or keys beyond the index, through Lookup itself.
RunPlan::View ViewOf(const CconvTable* table) {
  RunPlan::View view;
  if (table == nullptr) return view;
  if (table->has_file() && table->state() == CconvTable::State::kLoaded) {
    view.pages = table->pages();
    view.limit = table->index_limit();
  }
  if (!table->has_file() || (table->state() == CconvTable::State::kLoaded && table->maps_beyond_index()))
    view.beyond = table;
  return view;
}

}  // namespace

void EnableRuns(bool enabled) { g_runs_enabled.store(enabled, std::memory_order_relaxed); }


void SetIndexThreshold(int64_t bytes) { g_index_threshold.store(bytes, std::memory_order_relaxed); }

// One character of a run: what the decoder read and the encoder maps.
struct RunChar {
  uint32_t raw, code, unicode, out_code;
  int bytes;
  int32_t shift;  // ISO-2022 input: the set designated after the character
  int source;  // slot of the plan's source sets
  int target;  // slot of the plan's target sets
};

namespace {

bool PlanSource(RunPlan* p, const CconvCodeSet* set) {
  if (p->source_count >= RunPlan::kMaxSets) return false;
  RunPlan::Source& slot = p->source[p->source_count++];
  slot.set = set;
  slot.table = set && set->kind != 3 ? set->to_unicode.get() : nullptr;
  slot.ready = set != nullptr && (set->kind == 3 || Settled(slot.table));
  // A table not settled yet is read through Lookup, which sees it loaded
  // by the handlers in the middle of the call.
  slot.view = slot.ready ? ViewOf(slot.table) : RunPlan::View{nullptr, 0, slot.table};
  slot.width = set ? Width(set) : 0;
  slot.same = -1;
  return true;
}

Dec DecoderKind(const CconvSession* s) {
  CconvCodecHandler d = s->decoder;
  if (d == DecodeWindows31J) return Dec::kWindows31J;
  if (d == DecodeShiftJis) return s->source_id == kIdShiftJis2004 ? Dec::kSjis2004 : Dec::kSjis;
  if (d == DecodeSame) return Dec::kTable;
  if (d == DecodeUtf8) return Dec::kUtf8;
  if (d == DecodeUtf16) return Dec::kUtf16;
  if (d == DecodeUcs4) return Dec::kUcs4;
  if (d == DecodeUcs2) return Dec::kUcs2;
  if (d == DecodeEucJp) return Dec::kEuc;
  if (d == DecodeEucJis2004) return Dec::kEuc2004;
  if (d == DecodeEucFix) return Dec::kEucFix;
  if (d == DecodeIso2022) return Dec::kIso2022;
  return Dec::kNone;
}

Enc EncoderKind(const CconvSession* s) {
  CconvCodecHandler e = s->encoder;
  if (e == EncodeSame) return Enc::kTable;
  if (e == EncodeShiftJis) return Enc::kSjis;
  if (e == EncodeEuc) return Enc::kEuc;
  if (e == EncodeUtf8) return Enc::kUtf8;
  if (e == EncodeUtf16) return Enc::kUtf16;
  if (e == EncodeUcs4) return Enc::kUcs4;
  if (e == EncodeUcs2) return s->options.char_references == 0 ? Enc::kUcs2 : Enc::kUcs2References;
  if (e == EncodeShiftJis2004) return Enc::kSjis2004;
  if (e == EncodeEucFix) return Enc::kEucFix;
  if (e == EncodeIso2022) return Enc::kIso2022;
  return Enc::kNone;
}

const CconvCodeSet* OwnSet(const CconvCharset* charset, int32_t id) {
  for (const CconvCodeSet* set : charset->sets)
    if (set->id == id) return set;
  return nullptr;
}

std::mutex& IndexLock() {
  static std::mutex lock;
  return lock;
}

// The merged index of a target charset: built when every table that
// MapCharacter's search by Unicode value reaches is settled and has a file
// (a set without one maps every value, and needs no index). Null when it
// cannot be built (yet).
enum class IndexState { kReady, kLater, kNever };

IndexState TablesFor(const CconvCharset* charset) {
  if (charset->sets.size() >= MapIndex::kHandlers) return IndexState::kNever;
  IndexState state = IndexState::kReady;
  auto check = [&state](const CconvTable* table) {
    if (!table->has_file()) state = IndexState::kNever;
    else if (table->state() == CconvTable::State::kNotLoaded && state == IndexState::kReady) state = IndexState::kLater;
  };
  for (size_t i = 0; i < charset->sets.size(); ++i) {
    const CconvCodeSet* set = charset->sets[i];
    if (set->kind == 3) continue;
    check(set->to_code.get());
    if (i < charset->dstables.size())
      for (const auto& table : charset->dstables[i]) check(table.get());
  }
  return state;
}

const MapIndex* TargetIndex(const CconvCharset* charset) {
  if (const MapIndex* built = charset->map_index.load(std::memory_order_acquire)) return built;
  if (TablesFor(charset) != IndexState::kReady) return nullptr;
  std::vector<std::pair<size_t, const CconvTable*>> order;  // set index, table
  for (size_t i = 0; i < charset->sets.size(); ++i) {
    const CconvCodeSet* set = charset->sets[i];
    if (set->kind == 3) continue;
    order.emplace_back(i, set->to_code.get());
    if (i < charset->dstables.size())
      for (const auto& table : charset->dstables[i]) order.emplace_back(i, table.get());
  }
  if (order.empty()) return nullptr;
  std::lock_guard<std::mutex> guard(IndexLock());
  if (const MapIndex* built = charset->map_index.load(std::memory_order_acquire)) return built;
  static const MapIndex::Page kEmpty{};
  auto index = std::make_unique<MapIndex>();
  index->pages.assign(256, &kEmpty);
  for (uint32_t page = 0; page < 256; ++page) {
    MapIndex::Page* filled = nullptr;
    for (uint32_t low = 0; low < 256; ++low) {
      uint32_t u = page << 8 | low;
      for (const auto& [i, table] : order) {
        uint32_t code = table->Lookup(u);
        if (code == 0) continue;
        if (filled == nullptr) {
          index->owned.push_back(std::make_unique<MapIndex::Page>());
          filled = index->owned.back().get();
          index->pages[page] = filled;
        }
        // A further table's entry wider than its set's unit is a run of
        // codes, which the encoder writes itself.
        const CconvCodeSet* set = charset->sets[i];
        bool run = table != set->to_code.get() && table->entry_width() > Width(set);
        filled->code[low] = code;
        filled->set[low] = run ? MapIndex::kHandlers : static_cast<uint8_t>(i);
        break;
      }
    }
  }
  const MapIndex* built = index.get();
  charset->map_index_owned = std::move(index);
  charset->map_index.store(built, std::memory_order_release);
  return built;
}

}  // namespace

bool PlanRuns(const CconvSession* s, RunPlan* p) {
  p->decoder = p->encoder = 0;
  if (!g_runs_enabled.load(std::memory_order_relaxed)) return false;
  if (s->source == nullptr || s->target == nullptr) return false;
  Dec dec = DecoderKind(s);
  Enc enc = EncoderKind(s);
  if (dec == Dec::kNone || enc == Enc::kNone) return false;
  p->source_count = p->target_count = 0;
  switch (dec) {
    case Dec::kSjis:
    case Dec::kWindows31J: {
      // The sets the Shift_JIS decoder asks for, in its order.
      static constexpr int32_t kIds[] = {kIdJisX0201Latin, kIdJisX0201Kana, kIdJisX0208,
                                         kIdNecExt,        kIdIbmExt,       kIdWindows31JUser};
      size_t count = dec == Dec::kWindows31J ? std::size(kIds) : 3;
      for (size_t i = 0; i < count; ++i)
        if (!PlanSource(p, SourceSet(s, kIds[i]))) return false;
      break;
    }
    case Dec::kSjis2004:
      // Shift_JIS-2004 writes its double-byte codes in JIS X 0213 only.
      for (int32_t id : std::initializer_list<int32_t>{kIdJisX0201Latin, kIdJisX0201Kana, kIdJisX0213})
        if (!PlanSource(p, SourceSet(s, id))) return false;
      break;
    case Dec::kEuc:
    case Dec::kEucFix: {
      static constexpr int32_t kIds[] = {kIdIso646Irv, kIdJisX0201Kana, kIdJisX0208, kIdJisX0212};
      for (int32_t id : kIds)
        if (!PlanSource(p, OwnSet(s->source, id))) return false;
      break;
    }
    case Dec::kEuc2004:
      // Plane 1 in two bytes, plane 2 after 0x8F: two slots of one set.
      for (int32_t id : std::initializer_list<int32_t>{kIdIso646Irv, kIdJisX0201Kana, kIdJisX0213, kIdJisX0213})
        if (!PlanSource(p, OwnSet(s->source, id))) return false;
      break;
    case Dec::kIso2022:
      // The sets a designation may name, in the order of Iso2022Slot.
      for (int32_t id : std::initializer_list<int32_t>{kIdIso646Irv, kIdJisX0201Latin, kIdJisX0201Kana, kIdJisC6226,
                                                       kIdJisX0208, kIdJisX0213})
        if (!PlanSource(p, OwnSet(s->source, id))) return false;
      break;
    default:
      for (const CconvCodeSet* set : s->source->sets)
        if (!PlanSource(p, set)) return false;
      break;
  }
  const CconvCharset* target = s->target;
  if (target->sets.size() > RunPlan::kMaxSets) return false;
  for (size_t index = 0; index < target->sets.size(); ++index) {
    const CconvCodeSet* set = target->sets[index];
    RunPlan::Target& slot = p->target[p->target_count++];
    slot.set = set;
    slot.width = static_cast<uint16_t>(Width(set));
    slot.to_code = nullptr;
    slot.dstables = nullptr;
    if (set->kind == 3) {
      p->areas[p->area_count++] = static_cast<int8_t>(index);
      continue;
    }
    slot.to_code = set->to_code.get();
    if (!Settled(slot.to_code)) return false;  // ensured when the target was bound
    slot.view = ViewOf(slot.to_code);
    if (index < target->dstables.size() && !target->dstables[index].empty()) slot.dstables = &target->dstables[index];
  }
  // A code of a set that the target also lists is written unchanged: the
  // first such set of the target that is no area.
  for (int i = 0; i < p->source_count; ++i) {
    RunPlan::Source& src = p->source[i];
    if (src.set == nullptr || src.set->id == 0) continue;
    for (int t = 0; t < p->target_count; ++t)
      if (p->target[t].set->kind != 3 && p->target[t].set->id == src.set->id) {
        src.same = static_cast<int8_t>(t);
        break;
      }
  }
  p->same_slots = 0;
  for (int i = 0; i < p->source_count; ++i)
    if (p->source[i].same >= 0) p->same_slots |= 1u << i;
  p->identity_first = p->source_count > 0 && p->source[0].set && p->source[0].table && !p->source[0].table->has_file();
  if (enc == Enc::kUcs2References) {
    // What WINDOWS31J shows is written plain; the loop asks its sets.
    const CconvCharset* w31j = FindCharset(kIdWindows31J);
    if (w31j == nullptr) return false;
    p->shown_count = 0;
    for (const CconvCodeSet* set : w31j->sets) {
      if (set->kind == 3) continue;
      if (p->shown_count >= RunPlan::kMaxSets || !Settled(set->to_code.get())) return false;
      p->shown[p->shown_count++] = ViewOf(set->to_code.get());
    }
  }
  p->identity_target = p->target_count > 0 && p->target[0].to_code != nullptr && !p->target[0].to_code->has_file();
  // A UCS-2 source reads 2-byte units only when its first set is that wide.
  p->unicode_source = dec == Dec::kUtf8 || dec == Dec::kUtf16 || dec == Dec::kUcs4 ||
                        (dec == Dec::kUcs2 && p->source_count > 0 && p->source[0].width == 2);
  bool unicode_target = enc == Enc::kUtf8 || enc == Enc::kUtf16 || enc == Enc::kUcs4 || enc == Enc::kUcs2;
  p->identity_pair = p->unicode_source && unicode_target && p->identity_first && p->identity_target &&
                     p->area_count == 0 && p->source[0].same < 0;
  p->index = target->map_index.load(std::memory_order_acquire);
  p->encoded = target->encoded_index.load(std::memory_order_acquire);
  p->decoded = nullptr;
  p->decoded_pending = false;
  p->iso2022_jp2004 = s->target_id == kIdIso2022Jp2004;
  if (dec == Dec::kSjis || dec == Dec::kWindows31J || dec == Dec::kTable || dec == Dec::kEuc ||
      dec == Dec::kSjis2004 || dec == Dec::kEuc2004 || dec == Dec::kEucFix) {
    const DecodedIndex* decoded = s->source->decoded_index.load(std::memory_order_acquire);
    if (decoded == nullptr) p->decoded_pending = true;
    else if (decoded->decoder == static_cast<uint8_t>(dec)) p->decoded = decoded;
  }
  p->index_pending = p->index == nullptr && TablesFor(target) != IndexState::kNever;
  p->decoder = static_cast<uint8_t>(dec);
  p->encoder = static_cast<uint8_t>(enc);
  return true;
}

namespace {

// ---- Decoders: fill the character or answer false for the handlers ----

// The Unicode decoders' classification: the first source set that accepts
// the value (a user-defined area hands the character back).
RUN_STEP bool ClassifyRun(const RunPlan& p, uint32_t value, RunChar* c) {
  if (p.identity_first) {
    // The first set has no table file: it takes every value (0 aside).
    if (value == 0) return false;
    c->source = 0;
    c->raw = c->code = c->unicode = value;
    return true;
  }
  for (int i = 0; i < p.source_count; ++i) {
    const RunPlan::Source& src = p.source[i];
    if (src.set->kind == 3) {
      if (value >= src.set->area_start && value - src.set->area_start < src.set->area_count) {
        c->source = i;
        c->raw = c->code = value;
        c->unicode = 0xE000 + (value - src.set->area_start);
        return true;
      }
      continue;
    }
    if (value < 0x80 || src.view.Lookup(value) != 0) {
      if (value == 0) return false;  // no Unicode value: the control-code path
      c->source = i;
      c->raw = c->code = c->unicode = value;
      return true;
    }
  }
  return false;
}

RUN_STEP bool MayCombine(uint32_t c) {
  if (c < 0x02E5 || c > 0x309A) return false;  // most characters, in one test
  return c == 0x02E5 || c == 0x02E9 || c == 0x0300 || c == 0x0301 || c == 0x309A;
}

// A language tag character, or the begin or cancel of a tag.
RUN_STEP bool TagValue(uint32_t v) { return v >= 0xE0000 && v <= 0xE007F; }

// The Unicode decoders: the value that D reads, classified.
template <class D>
struct UnicodeDec {
  RUN_STEP static bool Next(const RunPlan& p, const uint8_t* in, int32_t avail, RunChar* c) {
    uint32_t v;
    int length;
    if (!D::Value(in, avail, &v, &length) || !ClassifyRun(p, v, c)) return false;
    c->bytes = length;
    return true;
  }
};

// Lead bytes that may begin a combining mark that joins its base (see
// Utf8Dec): kJoins always, kMaybe (E3) when 82 9A follow.
constexpr uint8_t kJoins = 1, kMaybe = 2;
constexpr auto kCombiningLead = [] {
  std::array<uint8_t, 256> leads{};
  for (int b : {0xCB, 0xCC, 0xE0, 0xF0, 0xF8, 0xFC}) leads[b] = kJoins;
  leads[0xE3] = kMaybe;
  return leads;
}();

struct Utf8Dec : UnicodeDec<Utf8Dec> {
  // The value at `in` and its length in bytes, false where the handler
  // decides whatever the sets.
  RUN_STEP static bool Value(const uint8_t* in, int32_t avail, uint32_t* value, int* bytes) {
    uint32_t b = in[0];
    uint32_t v;
    int length;
    if (b < 0xC0) {
      v = b, length = 1;  // ASCII, and a stray continuation byte as itself
    } else if (b >= 0xE0 && b < 0xF0 && avail >= 3 && (in[1] & 0xC0) == 0x80 && (in[2] & 0xC0) == 0x80) {
      // Three bytes, the form of most of the BMP, read without the loop.
      v = (b & 0x0Fu) << 12 | (in[1] & 0x3Fu) << 6 | (in[2] & 0x3Fu);
      length = 3;
    } else {
      if (b >= 0xFE) return false;  // skipped by the handler
      if (b < 0xE0) length = 2, v = b & 0x1F;
      else if (b < 0xF0) length = 3, v = b & 0x0F;
      else if (b < 0xF8) length = 4, v = b & 0x07;
      else if (b < 0xFC) length = 5, v = b & 0x03;
      else length = 6, v = b & 0x01;
      if (length > avail) return false;
      for (int k = 1; k < length; ++k) {
        if ((in[k] & 0xC0) != 0x80) return false;
        v = v << 6 | (in[k] & 0x3Fu);
      }
      if (TagValue(v)) return false;
    }
    // A combining mark after the character may join it: U+02E5, U+02E9,
    // U+0300, U+0301 and U+309A begin CB, CC or E3 82 9A, and their
    // overlong forms E0, F0, F8 or FC, which the handler reads as well.
    // One test of the next lead byte settles most characters; only E3
    // needs the bytes after it.
    if (v <= 0xFFFF && length < avail) {
      if (uint8_t lead = kCombiningLead[in[length]]) {
        if (lead == kJoins) return false;
        if (length + 1 >= avail || (in[length + 1] == 0x82 && (length + 2 >= avail || in[length + 2] == 0x9A)))
          return false;
      }
    }
    *value = v;
    *bytes = length;
    return true;
  }
  // The form of a stretch: three bytes, and the bytes Three looks at after them.
  static constexpr int32_t kStretchIn = 3, kStretchAhead = 6;
  RUN_STEP static bool StretchValue(const uint8_t* in, uint32_t* value) { return Three(in, kStretchAhead, value); }
  RUN_STEP static bool StretchLead(const uint8_t* in) { return (in[0] & 0xF0) == 0xE0; }
  // The three-byte form with no mark joining it, read with the byte after
  // it as one word and tested at once: the road of most characters of CJK
  // text. False where Value decides (it answers the same where this does).
  RUN_STEP static bool Three(const uint8_t* in, int32_t avail, uint32_t* value) {
    if (avail < 4) return false;
    uint32_t w = in[0] | uint32_t{in[1]} << 8 | uint32_t{in[2]} << 16 | uint32_t{in[3]} << 24;
    if ((w & 0xC0C0F0u) != 0x8080E0u) return false;
    if (uint8_t lead = kCombiningLead[w >> 24];
        lead != 0 && (lead == kJoins || avail < 6 || (in[4] == 0x82 && in[5] == 0x9A)))
      return false;
    *value = (w & 0x0Fu) << 12 | (w >> 2 & 0xFC0u) | (w >> 16 & 0x3Fu);
    return true;
  }
};

// The value at `in` as D reads it, UTF-8's three-byte form first.
template <class D>
RUN_STEP bool StepValue(const uint8_t* in, int32_t avail, uint32_t* value, int* bytes) {
  if constexpr (requires { &D::Three; }) {
    if (D::Three(in, avail, value)) [[likely]] {
      *bytes = 3;
      return true;
    }
  }
  return D::Value(in, avail, value, bytes);
}

template <bool kBig>
struct Utf16Dec : UnicodeDec<Utf16Dec<kBig>> {
  RUN_STEP static uint32_t Unit(const uint8_t* q) { return kBig ? (q[0] << 8 | q[1]) : (q[1] << 8 | q[0]); }
  RUN_STEP static bool Value(const uint8_t* in, int32_t avail, uint32_t* value, int* bytes) {
    if (avail < 2) return false;
    uint32_t v = Unit(in);
    int length = 2;
    if (v >= 0xD800 && v <= 0xDFFF) {
      if (v > 0xDBFF || avail < 4) return false;
      uint32_t low = Unit(in + 2);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
      length = 4;
      if (TagValue(v)) return false;
    }
    if (v <= 0xFFFF && avail >= 4 && MayCombine(Unit(in + 2))) return false;
    *value = v;
    *bytes = length;
    return true;
  }
  // The form of a stretch: one unit, and the unit after it.
  static constexpr int32_t kStretchIn = 2, kStretchAhead = 4;
  RUN_STEP static bool StretchValue(const uint8_t* in, uint32_t* value) {
    int length;
    return Value(in, kStretchAhead, value, &length) && length == kStretchIn;
  }
};

template <bool kBig>
struct Ucs4Dec : UnicodeDec<Ucs4Dec<kBig>> {
  RUN_STEP static bool Value(const uint8_t* in, int32_t avail, uint32_t* value, int* bytes) {
    if (avail < 4) return false;
    uint32_t v = kBig ? (uint32_t{in[0]} << 24 | in[1] << 16 | in[2] << 8 | in[3])
                      : (uint32_t{in[3]} << 24 | in[2] << 16 | in[1] << 8 | in[0]);
    if (TagValue(v)) return false;
    *value = v;
    *bytes = 4;
    return true;
  }
};

enum class Found { kYes, kNo, kHandlers };

// A code of a source slot: its Unicode value from the slot's table or
// area; kNo when the slot does not have it, kHandlers when the slot is not
// ready for a run.
RUN_STEP Found SourceValue(const RunPlan& p, int slot, uint32_t code, RunChar* c) {
  const RunPlan::Source& src = p.source[slot];
  if (!src.ready) return Found::kHandlers;
  uint32_t unicode;
  if (src.table == nullptr) {
    if (code < src.set->area_start || code - src.set->area_start >= src.set->area_count) return Found::kNo;
    unicode = 0xE000 + (code - src.set->area_start);
  } else {
    unicode = src.view.Lookup(code);
    if (unicode == 0) return Found::kNo;
  }
  c->source = slot;
  c->code = code;
  c->unicode = unicode;
  return Found::kYes;
}

RUN_STEP bool Lookup(const RunPlan& p, int slot, uint32_t code, RunChar* c) {
  return SourceValue(p, slot, code, c) == Found::kYes;
}

// Shift_JIS and WINDOWS31J: slots 0 and 1 the single-byte sets, then the
// double-byte sets in the decoder's order. Shift_JIS-2004 has JIS X 0213
// alone after them, with rows of its own for plane 2, and hands a code of
// a two-code-point character to the handlers.
template <bool k2004>
struct SjisFamilyDec {
  static constexpr bool kIndexed = true;  // reads a byte or a pair, lead byte first
  RUN_STEP static bool Next(const RunPlan& p, const uint8_t* in, int32_t avail, RunChar* c) {
    uint32_t b = in[0];
    if (b < 0x80) {
      c->raw = b;
      c->bytes = 1;
      return Lookup(p, 0, b, c);
    }
    if (b >= 0xA1 && b <= 0xDF) {
      if (p.source[1].table == nullptr) return false;  // no kana table: invalid
      c->raw = b;
      c->bytes = 1;
      return Lookup(p, 1, b, c);
    }
    if (avail < 2) return false;
    uint32_t code = k2004 ? Sjis2004ToJis(b, in[1]) : SjisToJis(b, in[1]);
    if (code == 0) return false;
    if constexpr (k2004) {
      uint32_t base, combining;
      if (PairOfCode(code, &base, &combining)) return false;
    }
    c->raw = b << 8 | in[1];
    c->bytes = 2;
    for (int i = 2; i < p.source_count; ++i) {
      if (p.source[i].set == nullptr) continue;
      Found found = SourceValue(p, i, code, c);
      if (found != Found::kNo) return found == Found::kYes;
    }
    return false;
  }
};

using SjisDec = SjisFamilyDec<false>;
using Sjis2004Dec = SjisFamilyDec<true>;

// The table decoder: the source sets in order, each reading a code of its
// width, lead byte first for "SAME", in the charset's byte order for UCS-2.
template <bool kBig>
struct TableDec {
  static constexpr bool kIndexed = kBig;
  RUN_STEP static bool Next(const RunPlan& p, const uint8_t* in, int32_t avail, RunChar* c) {
    for (int i = 0; i < p.source_count; ++i) {
      const RunPlan::Source& src = p.source[i];
      int width = src.width;
      if (width < 1 || width > 4) continue;
      if (width > avail) return false;
      uint32_t unit;
      if (width == 1) unit = in[0];
      else if (width == 2) unit = kBig ? (uint32_t{in[0]} << 8 | in[1]) : (uint32_t{in[1]} << 8 | in[0]);
      else {
        unit = 0;
        for (int k = 0; k < width; ++k) unit |= uint32_t{in[k]} << (kBig ? 8 * (width - 1 - k) : 8 * k);
      }
      Found found = SourceValue(p, i, unit, c);
      if (found == Found::kYes) {
        c->raw = unit;
        c->bytes = width;
        return true;
      }
      if (found == Found::kHandlers) return false;
      if (src.table && IsControlCode(unit)) return false;  // taken without a Unicode value
    }
    return false;
  }
  // The 2-byte unit at `in`, for a first set that maps every unit to itself.
  RUN_STEP static bool Value(const uint8_t* in, int32_t avail, uint32_t* value, int* bytes) {
    if (avail < 2) return false;
    *value = kBig ? (uint32_t{in[0]} << 8 | in[1]) : (uint32_t{in[1]} << 8 | in[0]);
    *bytes = 2;
    return true;
  }
  // The form of a stretch: that unit.
  static constexpr int32_t kStretchIn = 2, kStretchAhead = 2;
  RUN_STEP static bool StretchValue(const uint8_t* in, uint32_t* value) {
    int length;
    return Value(in, kStretchAhead, value, &length);
  }
};

// EUC-JP: slots ASCII, JIS X 0201 kana, JIS X 0208, JIS X 0212.
// EUC-JIS-2004: JIS X 0213 plane 1 and plane 2 in slots 2 and 3; a code of
// a two-code-point character goes to the handlers.
template <bool k2004>
struct EucFamilyDec {
  static constexpr bool kIndexed = true;
  static constexpr uint32_t kTripleLead = 0x8F;  // JIS X 0212
  RUN_STEP static bool Next(const RunPlan& p, const uint8_t* in, int32_t avail, RunChar* c) {
    uint32_t b = in[0];
    if (b <= 0x7E) {
      c->raw = b;
      c->bytes = 1;
      return Lookup(p, 0, b, c);
    }
    if (avail < 2 || in[1] < 0xA0) return false;
    if (b >= 0xA0) {
      c->raw = b << 8 | in[1];
      c->bytes = 2;
      uint32_t code = (b & 0x7F) << 8 | (in[1] & 0x7Fu);
      if constexpr (k2004) {
        uint32_t base, combining;
        if (PairOfCode(code, &base, &combining)) return false;
      }
      return Lookup(p, 2, code, c);
    }
    if (b == 0x8E) {
      c->raw = b << 8 | in[1];
      c->bytes = 2;
      return Lookup(p, 1, in[1], c);
    }
    if (b == 0x8F) {
      if (avail < 3 || in[2] < 0xA0) return false;
      c->raw = b << 16 | in[1] << 8 | in[2];
      c->bytes = 3;
      return Lookup(p, 3, (k2004 ? kPlane2 : 0) | (in[1] & 0x7Fu) << 8 | (in[2] & 0x7Fu), c);
    }
    return false;
  }
};

using EucDec = EucFamilyDec<false>;
using Euc2004Dec = EucFamilyDec<true>;

// EUC-JP-FIX: two bytes a character, the slots of EUC-JP.
struct EucFixDec {
  static constexpr bool kIndexed = true;
  RUN_STEP static bool Next(const RunPlan& p, const uint8_t* in, int32_t avail, RunChar* c) {
    if (avail < 2) return false;
    uint32_t b = in[0], n = in[1];
    c->raw = b << 8 | n;
    c->bytes = 2;
    if (b == 0) {
      if (n <= 0x7E) return Lookup(p, 0, n, c);
      return n >= 0xA0 && Lookup(p, 1, n, c);
    }
    if (b < 0xA0) return false;
    if (n >= 0xA0) return Lookup(p, 2, (b & 0x7F) << 8 | (n & 0x7F), c);
    return n >= 0x21 && n <= 0x7E && Lookup(p, 3, (b & 0x7F) << 8 | n, c);
  }
  // Whether the decoder reports the byte at `in` as invalid, taking it
  // alone: a lead byte no code begins with, a pair that is no code, or a
  // code of a set the charset does not list.
  RUN_STEP static bool Invalid(const RunPlan& p, const uint8_t* in, int32_t avail) {
    uint32_t b = in[0];
    if (b != 0 && b < 0xA0) return true;
    if (avail < 2) return false;  // cut: the decoder waits for more input
    uint32_t n = in[1];
    int slot;
    if (b == 0) {
      if (n > 0x7E && n < 0xA0) return true;
      slot = n <= 0x7E ? 0 : 1;
    } else if (n >= 0xA0) {
      slot = 2;
    } else if (n >= 0x21 && n <= 0x7E) {
      slot = 3;
    } else {
      return true;
    }
    return p.source[slot].set == nullptr;
  }
};

// The plan's slot of an ISO-2022 designated set, or -1.
RUN_STEP int Iso2022Slot(int32_t set) {
  switch (set) {
    case kIdIso646Irv: return 0;
    case kIdJisX0201Latin: return 1;
    case kIdJisX0201Kana: return 2;
    case kIdJisC6226: return 3;
    case kIdJisX0208: return 4;
    case kIdJisX0213: return 5;
    default: return -1;
  }
}

// ISO-2022: escape sequences and the character after them, as the
// handler reads them in one call; the designation in force is the plan's
// until the loop takes the character (RunChar::shift).
struct Iso2022Dec {
  static constexpr bool kShifted = true;
  // The escape sequences before the character at `in`: the designation
  // they leave in `shift` and their length in `k`; false where the
  // handlers decide (a sequence unknown or cut, or nothing after it).
  RUN_STEP static bool Designations(const uint8_t* in, int32_t avail, int32_t* shift, int32_t* k) {
    while (in[*k] == 0x1B) {
      // ESC, intermediate bytes 0x20-0x2F, a final byte 0x30-0x7E.
      int32_t end = *k + 1;
      while (end < avail && in[end] >= 0x20 && in[end] <= 0x2F) ++end;
      if (end >= avail || in[end] < 0x30 || in[end] > 0x7E) return false;
      *shift = Iso2022DesignatedSet(
          std::string_view(reinterpret_cast<const char*>(in + *k + 1), static_cast<size_t>(end - *k)));
      if (*shift == 0) return false;
      *k = end + 1;
      if (*k >= avail) return false;
    }
    return true;
  }
  RUN_STEP static bool Next(const RunPlan& p, const uint8_t* in, int32_t avail, RunChar* c) {
    int32_t shift = p.decode_shift;
    int32_t k = 0;
    if (!Designations(in, avail, &shift, &k)) return false;
    int32_t designated = shift & ~kPlane2;
    int slot = Iso2022Slot(designated);
    if (slot < 0 || p.source[slot].set == nullptr) return false;
    uint32_t b = in[k];
    c->shift = shift;
    if (p.source[slot].width == 1) {
      c->raw = b;
      c->bytes = k + 1;
      return Lookup(p, slot, designated == kIdJisX0201Kana && b >= 0x21 && b <= 0x5F ? b | 0x80 : b, c);
    }
    if (b == '\t' || b == '\n' || b == '\r') {
      c->raw = b;
      c->bytes = k + 1;
      return Lookup(p, 0, b, c);
    }
    if (avail - k < 2) return false;
    c->raw = b << 8 | in[k + 1];
    c->bytes = k + 2;
    uint32_t code = c->raw | (shift & kPlane2);
    if (designated == kIdJisX0213) {
      uint32_t base, combining;
      if (PairOfCode(code, &base, &combining)) return false;
    }
    return Lookup(p, slot, code, c);
  }
};

// ---- Mapping onto the target, as MapCharacter does ----

RUN_STEP bool MapRun(const RunPlan& p, RunChar* c) {
  uint32_t u = c->unicode;
  int same = p.source[c->source].same;
  // First the user-defined areas before the same set, in the target's order.
  for (int k = 0; k < p.area_count; ++k) {
    int a = p.areas[k];
    if (same >= 0 && a > same) break;
    const CconvCodeSet* area = p.target[a].set;
    if (u >= 0xE000 && u - 0xE000 < area->area_count) {
      c->target = a;
      c->out_code = area->area_start + (u - 0xE000);
      return true;
    }
  }
  if (same >= 0) {
    c->target = same;
    c->out_code = c->code;
    return true;
  }
  if (p.identity_target) {  // what the search below finds first (no value is 0)
    c->target = 0;
    c->out_code = u;
    return true;
  }
  if (p.index && u < 0x10000) {
    const MapIndex::Page* page = p.index->pages[u >> 8];
    uint32_t code = page->code[u & 0xFF];
    uint8_t set = page->set[u & 0xFF];
    if (code == 0 || set == MapIndex::kHandlers) return false;
    c->target = set;
    c->out_code = code;
    return true;
  }
  for (int t = 0; t < p.target_count; ++t) {
    const RunPlan::Target& target = p.target[t];
    if (target.to_code == nullptr) continue;  // an area
    if (uint32_t code = target.view.Lookup(u)) {
      c->target = t;
      c->out_code = code;
      return true;
    }
    if (target.dstables) {
      for (const auto& table : *target.dstables) {
        if (!Settled(table.get())) return false;  // loaded by the handler, under the lock
        if (uint32_t code = table->Lookup(u)) {
          if (table->entry_width() > target.width) return false;  // a run of codes
          c->target = t;
          c->out_code = code;
          return true;
        }
      }
    }
  }
  return false;
}

// ---- Encoders: the bytes of the mapped character, or -1 ----

RUN_STEP void PutBig(uint8_t* out, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out[i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
}

template <uint32_t (*kTransform)(uint32_t)>
struct TableEnc {
  static constexpr bool kFlat = true;  // bytes depend on the target slot and code only
  RUN_STEP static int Put(const RunPlan& p, const RunChar& c, uint8_t* out) {
    int width = p.target[c.target].width;
    uint32_t value = kTransform(c.out_code);
    if (width == 2) {
      out[0] = static_cast<uint8_t>(value >> 8);
      out[1] = static_cast<uint8_t>(value);
      return 2;
    }
    if (width == 0) width = 1;
    if (width > 4) return -1;
    PutBig(out, value, width);
    return width;
  }
};

RUN_STEP uint32_t Same(uint32_t code) { return code; }
RUN_STEP uint32_t ToSjis(uint32_t code) { return JisToSjis(code); }
RUN_STEP uint32_t ToSjis2004(uint32_t code) { return JisToSjis2004(code); }

// EUC-JP and EUC-JIS-2004; EUC-JP-FIX (kFixed) writes every character in
// two bytes, single-byte sets after a zero byte and JIS X 0212 with a
// seven-bit second byte.
template <bool kFixed>
struct EucFamilyEnc {
  static constexpr bool kFlat = true;
  RUN_STEP static int Put(const RunPlan& p, const RunChar& c, uint8_t* out) {
    uint32_t code = c.out_code;
    uint8_t hi = static_cast<uint8_t>(code >> 8), lo = static_cast<uint8_t>(code);
    switch (p.target[c.target].set->id) {
      case kIdIso646Irv:
        if (!kFixed) {
          out[0] = lo;
          return 1;
        }
        out[0] = 0, out[1] = lo;
        return 2;
      case kIdJisX0201Kana:
        out[0] = kFixed ? 0 : 0x8E, out[1] = lo;
        return 2;
      case kIdJisX0208:
        if (hi >= 0x7F && hi <= 0x92) return -1;  // rows EUC cannot carry
        out[0] = hi | 0x80, out[1] = lo | 0x80;
        return 2;
      case kIdJisX0212:
        if (kFixed) {
          out[0] = hi | 0x80, out[1] = lo & 0x7F;
          return 2;
        }
        out[0] = 0x8F, out[1] = hi | 0x80, out[2] = lo | 0x80;
        return 3;
      case kIdJisX0213:
        if (kFixed) return -1;
        if ((code & kPlane2) == 0) {
          out[0] = hi | 0x80, out[1] = lo | 0x80;
          return 2;
        }
        out[0] = 0x8F, out[1] = hi | 0x80, out[2] = lo | 0x80;
        return 3;
      default:
        return -1;
    }
  }
};

using EucEnc = EucFamilyEnc<false>;
using EucFixEnc = EucFamilyEnc<true>;

// ISO-2022: a designation before a character of another set than the one
// in force, which the plan holds between characters (written back to the
// session at the end of the run).
struct Iso2022Enc {
  static constexpr bool kShifted = true;
  RUN_STEP static int Put(const RunPlan& p, const RunChar& c, uint8_t* out) {
    const RunPlan::Target& to = p.target[c.target];
    int32_t set = to.set->id;
    int32_t plane = set == kIdJisX0213 ? static_cast<int32_t>(c.out_code & kPlane2) : 0;
    const char* designation = Iso2022Designation(set, plane != 0, p.iso2022_jp2004);
    if (designation == nullptr) return -1;
    int n = 0;
    if (set != p.encode_set || plane != p.encode_plane) {
      out[n++] = 0x1B;
      while (*designation) out[n++] = static_cast<uint8_t>(*designation++);
      p.encode_set = set;
      p.encode_plane = plane;
    }
    if (set == kIdJisX0201Kana) {
      out[n++] = static_cast<uint8_t>(c.out_code & 0x7F);
    } else if (to.width <= 1) {
      out[n++] = static_cast<uint8_t>(c.out_code);
    } else {
      out[n++] = static_cast<uint8_t>(c.out_code >> 8);
      out[n++] = static_cast<uint8_t>(c.out_code);
    }
    return n;
  }
};

template <bool kLittle>
struct Utf16Enc {
  RUN_STEP static void Unit(uint8_t* out, uint32_t v) {
    out[kLittle ? 0 : 1] = static_cast<uint8_t>(v);
    out[kLittle ? 1 : 0] = static_cast<uint8_t>(v >> 8);
  }
  RUN_STEP static int Put(const RunPlan&, const RunChar& c, uint8_t* out) {
    uint32_t v = c.out_code;
    if (v <= 0xFFFF) {
      Unit(out, v);
      return 2;
    }
    if (v > 0x10FFFF) return -1;
    v -= 0x10000;
    Unit(out, 0xD800 + (v >> 10));
    Unit(out + 2, 0xDC00 + (v & 0x3FF));
    return 4;
  }
};

template <bool kLittle>
struct Ucs2Enc {
  RUN_STEP static int Put(const RunPlan&, const RunChar& c, uint8_t* out) {
    if (c.out_code > 0xFFFF || c.unicode > 0xFFFF) return -1;
    out[kLittle ? 0 : 1] = static_cast<uint8_t>(c.out_code);
    out[kLittle ? 1 : 0] = static_cast<uint8_t>(c.out_code >> 8);
    return 2;
  }
};

// UCS-2 with numeric references: a character WINDOWS31J shows is written
// as it is; the encoder's handler writes the others as references (and
// decides what the loop cannot: substitutes, the ranges it never shows).
template <bool kLittle>
struct Ucs2ReferencesEnc {
  RUN_STEP static bool Shown(const RunPlan& p, const RunChar& c) {
    int plainly = Windows31JShowsPlainly(p.source[c.source].set->id, c.out_code);
    if (plainly >= 0) return plainly == 1;
    for (int i = 0; i < p.shown_count; ++i)
      if (p.shown[i].Lookup(c.unicode) != 0) return true;
    return false;
  }
  RUN_STEP static int Put(const RunPlan& p, const RunChar& c, uint8_t* out) {
    if (c.out_code > 0xFFFF || c.unicode > 0xFFFF || !Shown(p, c)) return -1;
    return Ucs2Enc<kLittle>::Put(p, c, out);
  }
};

// Whether the references encoder's answer for a character of the plan's
// first source set depends on its value alone: a Unicode source whose
// first set takes every value, into a target that writes every value as
// it is, with no user-defined area nor set in common.
bool ShownByValue(const RunPlan& p) {
  return p.unicode_source && p.identity_first && p.identity_target && p.area_count == 0 && p.source[0].same < 0 &&
         Windows31JShowsPlainly(p.source[0].set->id, 0) < 0;
}

template <bool kLittle>
struct Ucs4Enc {
  RUN_STEP static int Put(const RunPlan&, const RunChar& c, uint8_t* out) {
    for (int i = 0; i < 4; ++i) out[kLittle ? i : 3 - i] = static_cast<uint8_t>(c.out_code >> (8 * i));
    return 4;
  }
};

struct Utf8Enc {
  RUN_STEP static int Put(const RunPlan&, const RunChar& c, uint8_t* out) {
    uint32_t v = c.out_code;
    if (v < 0x80) {
      out[0] = static_cast<uint8_t>(v);
      return 1;
    }
    if (v < 0x800) {
      out[0] = static_cast<uint8_t>(0xC0 | v >> 6);
      out[1] = static_cast<uint8_t>(0x80 | (v & 0x3F));
      return 2;
    }
    // Marked so that the form every CJK source mostly yields lies on the
    // loops' straight path: left to itself the compiler put the rare long
    // forms there, and each three-byte character then took two jumps out
    // and back, which made a loop's speed hang on where its code fell.
    if (v < 0x10000) [[likely]] {
      out[0] = static_cast<uint8_t>(0xE0 | v >> 12);
      out[1] = static_cast<uint8_t>(0x80 | ((v >> 6) & 0x3F));
      out[2] = static_cast<uint8_t>(0x80 | (v & 0x3F));
      return 3;
    }
    if (v >= 0x80000000u) return -1;
    int length = v < 0x200000 ? 4 : v < 0x4000000 ? 5 : 6;
    static constexpr uint8_t kLead[] = {0, 0, 0, 0, 0xF0, 0xF8, 0xFC};
    out[0] = static_cast<uint8_t>(kLead[length] | (v >> (6 * (length - 1))));
    for (int k = length - 2, i = 1; k >= 0; --k, ++i) out[i] = static_cast<uint8_t>(0x80 | ((v >> (6 * k)) & 0x3F));
    return length;
  }
};

// ---- The encoded index ----

// Publishes a target's encoded index once; the one already published, if
// another thread was first.
const EncodedIndex* PublishEncoded(const CconvCharset* charset, std::unique_ptr<EncodedIndex> index) {
  std::lock_guard<std::mutex> guard(IndexLock());
  if (const EncodedIndex* built = charset->encoded_index.load(std::memory_order_acquire)) return built;
  const EncodedIndex* built = index.get();
  charset->encoded_index_owned = std::move(index);
  charset->encoded_index.store(built, std::memory_order_release);
  return built;
}

// The encoded index's entries two bytes each, when they all fit: the
// fast loop's lookups then touch half the cache lines.
std::unique_ptr<uint16_t[]> PairsOf(const EncodedIndex& index) {
  auto pairs = std::make_unique<uint16_t[]>(EncodedIndex::kValues);
  // U+0000 is left to the general path, as the four-byte form's step does.
  for (uint32_t u = 1; u < EncodedIndex::kValues; ++u) {
    uint32_t entry = index.entry[u];
    uint32_t n = entry >> 24;
    uint32_t first = entry & 0xFF, second = (entry >> 8) & 0xFF;
    if (n == 0 || (n == 1 && first == 0)) continue;
    if (n > 2 || (n == 2 && second == 0)) return nullptr;
    pairs[u] = static_cast<uint16_t>(entry & 0xFFFF);
  }
  return pairs;
}

// Builds the target's encoded index from its merged index with the
// encoder E; null when the merged index is not built yet.
template <class E>
const EncodedIndex* EncodedFor(const CconvCharset* charset, const RunPlan& p) {
  const EncodedIndex* built = charset->encoded_index.load(std::memory_order_acquire);
  if (built != nullptr || p.index == nullptr) return built;
  auto index = std::make_unique<EncodedIndex>();
  index->encoder = p.encoder;
  for (uint32_t u = 0; u < EncodedIndex::kValues; ++u) {
    // A value of a user-defined area is the areas' before the index's.
    bool area = false;
    for (int k = 0; k < p.area_count; ++k)
      if (u >= 0xE000 && u - 0xE000 < p.target[p.areas[k]].set->area_count) area = true;
    if (area) continue;
    const MapIndex::Page* page = p.index->pages[u >> 8];
    RunChar c{};
    c.out_code = page->code[u & 0xFF];
    uint8_t set = page->set[u & 0xFF];
    if (c.out_code == 0 || set == MapIndex::kHandlers) continue;
    c.target = set;
    c.unicode = u;
    uint8_t bytes[kRoom];
    int n = E::Put(p, c, bytes);
    if (n < 1 || n > 3) continue;
    index->entry[u] = static_cast<uint32_t>(n) << 24 | uint32_t{bytes[0]} | (n > 1 ? uint32_t{bytes[1]} << 8 : 0) |
                      (n > 2 ? uint32_t{bytes[2]} << 16 : 0);
  }
  index->pairs = PairsOf(*index);
  return PublishEncoded(charset, std::move(index));
}

// UCS-2 with numeric references has no merged index (its set maps every
// value to itself): its encoded index tells which BMP values WINDOWS31J
// shows, for a Unicode source whose first set takes every value and is
// none of the sets WINDOWS31J shows whatever the code (the answer then
// depends on the value alone, and not on the byte order).
const EncodedIndex* ShownIndexFor(const CconvCharset* charset, const RunPlan& p) {
  const EncodedIndex* built = charset->encoded_index.load(std::memory_order_acquire);
  if (built != nullptr) return built;
  if (!ShownByValue(p)) return nullptr;
  auto index = std::make_unique<EncodedIndex>();
  index->encoder = p.encoder;
  index->shown = std::make_unique<uint64_t[]>(EncodedIndex::kValues / 64);
  for (uint32_t u = 1; u < EncodedIndex::kValues; ++u) {
    RunChar c{};
    c.unicode = c.out_code = u;
    uint8_t bytes[kRoom];
    if (Ucs2ReferencesEnc<true>::Put(p, c, bytes) == 2) index->shown[u >> 6] |= uint64_t{1} << (u & 63);
  }
  return PublishEncoded(charset, std::move(index));
}

// Writes an encoded index entry's bytes.
RUN_STEP int PutEncoded(uint32_t entry, uint8_t* out) {
  int n = static_cast<int>(entry >> 24);
  if (n == 2) {
    out[0] = static_cast<uint8_t>(entry);
    out[1] = static_cast<uint8_t>(entry >> 8);
  } else {
    out[0] = static_cast<uint8_t>(entry);
    if (n == 3) {
      out[1] = static_cast<uint8_t>(entry >> 8);
      out[2] = static_cast<uint8_t>(entry >> 16);
    }
  }
  return n;
}

// ---- The decoded index ----

template <class D>
constexpr bool Indexed() {
  if constexpr (requires { D::kIndexed; }) return D::kIndexed;
  else return false;
}

// Builds the source's decoded index with the decoder D, from what D
// itself answers for every byte and pair; null while a source table is
// not settled (a table loaded later would change the answers).
template <class D>
const DecodedIndex* DecodedFor(const CconvCharset* charset, const RunPlan& p) {
  const DecodedIndex* built = charset->decoded_index.load(std::memory_order_acquire);
  if (built != nullptr) return built->decoder == p.decoder ? built : nullptr;
  for (int i = 0; i < p.source_count; ++i)
    if (p.source[i].set != nullptr && (!p.source[i].ready || (p.source[i].table && !Settled(p.source[i].table))))
      return nullptr;
  auto index = std::make_unique<DecodedIndex>();
  index->decoder = p.decoder;
  auto entry = [&p](const uint8_t* bytes, int count) -> uint32_t {
    RunChar c{};
    if (!D::Next(p, bytes, count, &c) || c.bytes != count) return 0;
    uint32_t raw = 0;
    for (int k = 0; k < count; ++k) raw = raw << 8 | bytes[k];
    if (c.raw != raw || c.unicode == 0 || c.unicode > 0xFFFFFF || c.source < 0 || c.source > 0xFF) return 0;
    return static_cast<uint32_t>(c.source) << 24 | c.unicode;
  };
  for (uint32_t b = 0; b < 256; ++b) {
    uint8_t bytes[2] = {static_cast<uint8_t>(b), 0};
    index->single[b] = entry(bytes, 1);
    for (uint32_t t = 0; t < 256; ++t) {
      bytes[1] = static_cast<uint8_t>(t);
      index->pair[b << 8 | t] = index->single[b] != 0 ? 0 : entry(bytes, 2);
    }
  }
  if constexpr (requires { D::kTripleLead; }) {
    index->triple = std::make_unique<uint32_t[]>(0x10000);
    for (uint32_t x = 0; x < 0x10000; ++x) {
      uint8_t bytes[3] = {static_cast<uint8_t>(D::kTripleLead), static_cast<uint8_t>(x >> 8), static_cast<uint8_t>(x)};
      index->triple[x] = entry(bytes, 3);
    }
  }
  std::lock_guard<std::mutex> guard(IndexLock());
  if ((built = charset->decoded_index.load(std::memory_order_acquire)) != nullptr)
    return built->decoder == p.decoder ? built : nullptr;
  built = index.get();
  charset->decoded_index_owned = std::move(index);
  charset->decoded_index.store(built, std::memory_order_release);
  return built;
}

// ---- The loop ----

// Leaves the session as the handlers would after the run's last character
// `last` (decoded and mapped), `prev_raw` the raw code of the one before.
int32_t FinishRun(CconvSession* s, const RunPlan& p, const RunChar& last, uint32_t prev_raw, int32_t pos,
                  int32_t written, int32_t n) {
  if (n > 1) s->prev_raw_code = prev_raw;
  else s->prev_raw_code = s->raw_code;
  const CconvCodeSet* from = p.source[last.source].set;
  const RunPlan::Target& to = p.target[last.target];
  s->input_position = pos;
  s->decoded_count += n;
  s->output_length = written;
  s->encoded_count += n;
  s->char_set_id = from->id;
  s->char_set_kind = from->kind;
  s->raw_code = last.raw;
  s->code = last.code;
  s->unicode = last.unicode;
  s->second_code_point = 0;
  s->out_set_id = to.set->id;
  s->out_set_kind = to.set->kind;
  s->out_code = last.out_code;
  s->out_unit_width = static_cast<uint16_t>(to.width);
  s->out_multi_length = 0;
  s->status = kStWritten;
  return n;
}

// Invalid input that the caller asks to skip is dropped by the loops of a
// decoder that tells it (D::Invalid) a byte at a time, as the driver drops
// it: before each decoder call the driver clears the character fields, so
// a dropped byte leaves a raw code of 0 behind it and, when it ends the
// run, the cleared fields. The trail of a run: the raw codes of its last
// two characters or dropped bytes, and what it dropped.
template <class D>
struct RunTrail {
  const bool drops;
  uint32_t prev_raw, last_raw;
  int32_t dropped = 0;
  bool ends_dropped = false;
  explicit RunTrail(const CconvSession* s)
      : drops(Drops(s)), prev_raw(s->raw_code), last_raw(drops ? s->raw_code : 0) {}
  static bool Drops(const CconvSession* s) {
    if constexpr (requires { &D::Invalid; }) return s->charset_options.skip_invalid != 0;
    else return false;
  }
  RUN_STEP void Took(uint32_t raw) {
    prev_raw = last_raw;
    last_raw = raw;
    ends_dropped = false;
  }
  // Whether the byte at `in` is dropped (and then taken into the trail).
  RUN_STEP bool Drop(const RunPlan& p, const uint8_t* in, int32_t avail) {
    if constexpr (requires { &D::Invalid; }) {
      if (drops && D::Invalid(p, in, avail)) {
        prev_raw = last_raw;
        last_raw = 0;
        ++dropped;
        ends_dropped = true;
        return true;
      }
    }
    return false;
  }
  // The session after the run, once FinishRun has left it as after the
  // run's last character, if any.
  void Finish(CconvSession* s, int32_t pos, int32_t written) const {
    if (dropped == 0) return;
    s->prev_raw_code = prev_raw;
    if (!ends_dropped) return;
    s->input_position = pos;
    s->output_length = written;
    s->raw_code = s->code = s->unicode = s->out_code = 0;
    s->out_unit_width = s->out_multi_length = 0;
    s->second_code_point = 0;
    s->status = kStWritten;
  }
};

// The raw code of a character that a stretch took at `in`: its value.
template <class D>
RUN_STEP uint32_t StretchRaw(const uint8_t* in) {
  uint32_t v = 0;
  D::StretchValue(in, &v);
  return v;
}

// Whether the two characters at `in` may both begin D's stretch form, from
// their lead bytes where D has a form that other lengths mix with: a call
// for one character costs more than it saves, and in CJK text with ASCII
// between (blanks, digits) most stretches would be that short.
template <class D>
RUN_STEP bool StretchAhead(const uint8_t* in) {
  if constexpr (requires { D::StretchLead(in); }) return D::StretchLead(in) && D::StretchLead(in + D::kStretchIn);
  else return true;
}

// A stretch: characters of D's fixed-width form one after another, at
// most `most` of them, each with D::kStretchAhead bytes of input from its
// start and room for Step::kStretchOut bytes of output; answers how many
// it took and leaves the bytes written in `put`. Out of line, so that its
// loop has the registers to itself, and with the step copied, so that no
// output store makes it load the step's tables again.
template <class D, class Step, bool kLineEnds>
__attribute__((noinline, aligned(64))) int32_t StretchLoop(const Step step, const uint8_t* in, int32_t most,
                                                        uint8_t* out, int32_t* put) {
  const uint8_t* const start = out;
  int32_t k = 0;
  for (; k < most; ++k, in += D::kStretchIn) {
    int bytes = step.template StretchOne<kLineEnds>(in, out);
    if (bytes == 0) break;
    out += bytes;
  }
  *put = static_cast<int32_t>(out - start);
  return k;
}

// The fast loops: one step a character, each standing for the decoder,
// MapRun and the encoder together where they would give a known answer.
// A step writes the character's bytes and answers their count, its raw
// code and input length; -1 where the general loop or the handlers decide.
// The run's last character is decoded and mapped again at the end for the
// fields it leaves.
// Each on a cache line of its own: where a loop starts otherwise follows
// whatever code comes before it in this file, and the same loop measured
// up to a fifth slower or faster with its place alone.
template <class D, class Step>
__attribute__((aligned(64))) int32_t FastLoop(CconvSession* s, const RunPlan& p, int32_t) {
  if constexpr (requires { D::kShifted; }) p.decode_shift = s->decode_shift;
  const Step step(p);
  const uint8_t* in = s->input;
  const int32_t length = s->input_length;
  uint8_t* out = s->output;
  const int32_t room_end = s->output_capacity - kRoom;
  const bool line_ends = s->options.line_end_flag != 0;
  int32_t pos = s->input_position, written = s->output_length, last_pos = pos;
  RunTrail<D> trail(s);
  int32_t n = 0;
  while (pos < length && written <= room_end) {
    uint32_t raw;
    int bytes;
    int put = step.Take(in + pos, length - pos, line_ends, out + written, &raw, &bytes);
    if (put < 0) {
      if (!trail.Drop(p, in + pos, length - pos)) break;
      ++pos;
      continue;
    }
    written += put;
    last_pos = pos;
    pos += bytes;
    trail.Took(raw);
    ++n;
    if constexpr (requires { &D::StretchValue; &Step::template StretchOne<false>; }) {
      // After a character of the form a stretch takes, more are likely:
      // as many as fit whatever they are go through a tight loop.
      int32_t room = room_end - written, ahead = length - pos - D::kStretchAhead;
      if (bytes == D::kStretchIn && room >= 0 && ahead >= 0 && StretchAhead<D>(in + pos)) {
        int32_t most = std::min(room / Step::kStretchOut + 1, ahead / D::kStretchIn + 1), put;
        int32_t k = line_ends ? StretchLoop<D, Step, true>(step, in + pos, most, out + written, &put)
                              : StretchLoop<D, Step, false>(step, in + pos, most, out + written, &put);
        if (k > 0) {
          last_pos = pos + (k - 1) * D::kStretchIn;
          if (k > 1) trail.Took(StretchRaw<D>(in + last_pos - D::kStretchIn));
          trail.Took(StretchRaw<D>(in + last_pos));
          pos += k * D::kStretchIn;
          written += put;
          n += k;
        }
      }
    }
  }
  if (n != 0) {
    RunChar last{};
    if constexpr (requires { D::kShifted; }) p.decode_shift = step.Before();
    D::Next(p, in + last_pos, length - last_pos, &last);
    if constexpr (requires { D::kShifted; }) s->decode_shift = last.shift;
    MapRun(p, &last);
    FinishRun(s, p, last, trail.prev_raw, pos, written, n);
  }
  trail.Finish(s, pos, written);
  return n + trail.dropped;
}

// Line ends become CR (and an LF after CR vanishes) in the driver.
RUN_STEP bool LineEnd(uint32_t raw, uint32_t unicode) {
  return raw == '\n' || raw == '\r' || unicode == 0x2028 || unicode == 0x2029;
}

// A Unicode pair whose first source set takes every value and whose target
// writes every value as it is (no user-defined area, no set in common).
template <class D, class E>
struct IdentityStep {
  const RunPlan& p;
  explicit IdentityStep(const RunPlan& plan) : p(plan) {}
  RUN_STEP int Take(const uint8_t* in, int32_t avail, bool line_ends, uint8_t* out, uint32_t* raw,
                    int* bytes) const {
    uint32_t v;
    if (!D::Value(in, avail, &v, bytes) || v == 0 || (line_ends && LineEnd(v, v))) return -1;
    *raw = v;
    return Put(v, out);
  }
  static constexpr int32_t kStretchOut = 4;  // a BMP value in any Unicode form
  template <bool kLineEnds>
  RUN_STEP int StretchOne(const uint8_t* in, uint8_t* out) const {
    uint32_t v;
    if (!D::StretchValue(in, &v) || v == 0 || (kLineEnds && LineEnd(v, v))) return 0;
    return std::max(Put(v, out), 0);
  }
  RUN_STEP int Put(uint32_t v, uint8_t* out) const {
    RunChar c;
    c.unicode = c.out_code = v;
    return E::Put(p, c, out);
  }
};

// A Unicode source whose first set takes every value, into a target with
// an encoded index: the value's entry is the output.
template <class D>
struct EncodedStep {
  const uint32_t* encoded;
  explicit EncodedStep(const RunPlan& plan) : encoded(plan.encoded->entry) {}
  RUN_STEP int Take(const uint8_t* in, int32_t avail, bool line_ends, uint8_t* out, uint32_t* raw,
                    int* bytes) const {
    uint32_t v;
    if (!D::Value(in, avail, &v, bytes) || v == 0 || v >= EncodedIndex::kValues || (line_ends && LineEnd(v, v)))
      return -1;
    uint32_t entry = encoded[v];
    if (entry == 0) return -1;
    *raw = v;
    return PutEncoded(entry, out);
  }
};

// A source with a decoded index into a Unicode target that writes every
// value as it is: the entry's value is the character.
template <class D, class E>
struct DecodedStep {
  const RunPlan& p;
  const DecodedIndex* decoded;
  explicit DecodedStep(const RunPlan& plan) : p(plan), decoded(plan.decoded) {}
  RUN_STEP int Take(const uint8_t* in, int32_t avail, bool line_ends, uint8_t* out, uint32_t* raw,
                    int* bytes) const {
    uint32_t code = in[0];
    uint32_t entry = decoded->single[code];
    *bytes = 1;
    if (entry == 0) {
      if (avail < 2) return -1;
      code = code << 8 | in[1];
      entry = decoded->pair[code];
      *bytes = 2;
      if constexpr (requires { D::kTripleLead; }) {
        if (entry == 0 && (code >> 8) == D::kTripleLead && avail >= 3) {
          code = code << 8 | in[2];
          entry = decoded->triple[code & 0xFFFF];
          *bytes = 3;
        }
      }
      if (entry == 0) return -1;
    }
    RunChar c;
    c.unicode = c.out_code = entry & 0xFFFFFF;
    if (line_ends && LineEnd(code, c.unicode)) return -1;
    *raw = code;
    return E::Put(p, c, out);
  }
};

// The value a step looks up in a BMP index, as D reads it; false for
// other values and a line end to normalise.
template <class D>
RUN_STEP bool IndexedValue(const uint8_t* in, int32_t avail, bool line_ends, uint32_t* value, int* bytes) {
  return StepValue<D>(in, avail, value, bytes) && *value < EncodedIndex::kValues &&
         !(line_ends && LineEnd(*value, *value));
}

// As EncodedStep, from the encoded index's two-byte entries.
template <class D>
struct PairStep {
  const uint16_t* pairs;
  explicit PairStep(const RunPlan& plan) : pairs(plan.encoded->pairs.get()) {}
  RUN_STEP int Take(const uint8_t* in, int32_t avail, bool line_ends, uint8_t* out, uint32_t* raw,
                    int* bytes) const {
    uint32_t v;
    if (!IndexedValue<D>(in, avail, line_ends, &v, bytes)) return -1;
    uint32_t entry = pairs[v];
    if (entry == 0) return -1;
    *raw = v;
    return Put(entry, out);
  }
  // A character of a stretch (see StretchLoop): bytes written, 0 where
  // Take decides.
  static constexpr int32_t kStretchOut = 2;
  template <bool kLineEnds>
  RUN_STEP int StretchOne(const uint8_t* in, uint8_t* out) const {
    uint32_t v;
    if (!D::StretchValue(in, &v) || (kLineEnds && LineEnd(v, v))) return 0;
    uint32_t entry = pairs[v];
    return entry == 0 ? 0 : Put(entry, out);
  }
  RUN_STEP static int Put(uint32_t entry, uint8_t* out) {
    out[0] = static_cast<uint8_t>(entry);
    if (entry < 0x100) return 1;
    out[1] = static_cast<uint8_t>(entry >> 8);
    return 2;
  }
};

// ISO-2022 into a Unicode target that writes every value as it is: the
// table of the designation in force is kept beside the loop, so that a
// plain character costs one lookup and no test of the designation. Sets
// of one byte, JIS C 6226 and JIS X 0208 only; kana, JIS X 0213 and a
// line end between double-byte codes go to the general loop.
template <class E>
struct Iso2022Step {
  const RunPlan& p;
  struct Designated {
    const RunPlan::View* view = nullptr;  // null: the general loop decides
    int width = 0;
  };
  mutable int32_t shift, before;  // in force now, and before the last character taken
  mutable Designated in_force;
  explicit Iso2022Step(const RunPlan& plan)
      : p(plan), shift(plan.decode_shift), before(plan.decode_shift), in_force(Of(plan.decode_shift)) {}
  RUN_STEP Designated Of(int32_t designation) const {
    int slot = Iso2022Slot(designation);  // -1 with the plane bit: JIS X 0213 plane 2
    if (slot < 0 || slot == 2 || slot == 5) return {};
    const RunPlan::Source& src = p.source[slot];
    if (src.set == nullptr || !src.ready || src.table == nullptr || (src.width != 1 && src.width != 2)) return {};
    return {&src.view, src.width};
  }
  RUN_STEP int Take(const uint8_t* in, int32_t avail, bool line_ends, uint8_t* out, uint32_t* raw,
                    int* bytes) const {
    Designated now = in_force;
    int32_t next = shift, k = 0;
    if (in[0] == 0x1B) [[unlikely]] {
      if (!Iso2022Dec::Designations(in, avail, &next, &k)) return -1;
      now = Of(next);
    }
    if (now.view == nullptr) return -1;
    uint32_t code = in[k];
    int length = k + 1;
    if (now.width == 2) {
      if (code == '\t' || code == '\n' || code == '\r' || avail - k < 2) return -1;
      code = code << 8 | in[k + 1];
      length = k + 2;
    }
    RunChar c;
    c.unicode = c.out_code = now.view->Lookup(code);
    if (c.unicode == 0 || (line_ends && LineEnd(code, c.unicode))) return -1;
    int put = E::Put(p, c, out);
    if (put < 0) return -1;
    before = shift;
    shift = next;
    in_force = now;
    *raw = code;
    *bytes = length;
    return put;
  }
  // The designation before the last character taken, and after it.
  int32_t Before() const { return before; }
};

// UCS-2 with numeric references from a Unicode source: a value the
// encoded index shows is written as it is.
template <class D, bool kLittle>
struct ShownStep {
  const uint64_t* shown;
  explicit ShownStep(const RunPlan& plan) : shown(plan.encoded->shown.get()) {}
  RUN_STEP int Take(const uint8_t* in, int32_t avail, bool line_ends, uint8_t* out, uint32_t* raw,
                    int* bytes) const {
    uint32_t v;
    if (!IndexedValue<D>(in, avail, line_ends, &v, bytes) || (shown[v >> 6] >> (v & 63) & 1) == 0) return -1;
    *raw = v;
    Utf16Enc<kLittle>::Unit(out, v);
    return 2;
  }
};

// The general loop takes a few characters after each stop of a fast
// loop, so that text the fast loop seldom takes costs it few calls.
constexpr int32_t kGeneralStretch = 32;

// The general loop over the plan `p`, of at most `limit` characters.
template <class D, class E>
inline __attribute__((always_inline)) int32_t RunLoopOver(CconvSession* s, const RunPlan& p, int32_t limit) {
  const uint8_t* in = s->input;
  const int32_t length = s->input_length;
  uint8_t* out = s->output;
  const int32_t room_end = s->output_capacity - kRoom;
  const bool line_ends = s->options.line_end_flag != 0;
  int32_t pos = s->input_position, written = s->output_length;
  RunTrail<D> trail(s);
  RunChar last{};
  int32_t n = 0;
  // The encoded index stands for MapRun and the encoder where MapRun would
  // reach the merged index: a source set the target does not list, a BMP
  // value. The last character's target fields are then found at the end.
  const uint32_t* encoded = nullptr;
  if constexpr (requires { E::kFlat; })
    if (p.encoded != nullptr && p.index != nullptr && p.encoded->encoder == p.encoder) encoded = p.encoded->entry;
  bool last_encoded = false;
  // The decoded index stands for the decoder on a byte or pair it has,
  // unless the character's code is written unchanged (the code itself is
  // then needed); the last character is then decoded again at the end.
  const DecodedIndex* decoded = nullptr;
  if constexpr (Indexed<D>()) decoded = p.decoded;
  bool last_indexed = false;
  int32_t last_pos = pos;
  if constexpr (requires { D::kShifted; }) p.decode_shift = s->decode_shift;
  if constexpr (requires { E::kShifted; }) {
    p.encode_set = s->encode_shift_set;
    p.encode_plane = s->encode_shift_mode;
  }
  while (pos < length && written <= room_end && n < limit) {
    RunChar c;
    bool indexed = false;
    if constexpr (Indexed<D>()) {
      if (decoded != nullptr) {
        uint32_t raw = in[pos];
        uint32_t entry = decoded->single[raw];
        int bytes = 1;
        if (entry == 0 && pos + 1 < length) {
          raw = raw << 8 | in[pos + 1];
          entry = decoded->pair[raw];
          bytes = 2;
        }
        if (entry != 0 && ((p.same_slots >> (entry >> 24)) & 1) == 0) {
          c.raw = raw;
          c.code = 0;
          c.unicode = entry & 0xFFFFFF;
          c.source = static_cast<int>(entry >> 24);
          c.bytes = bytes;
          indexed = true;
        }
      }
    }
    if (!indexed && !D::Next(p, in + pos, length - pos, &c)) {
      if (!trail.Drop(p, in + pos, length - pos)) break;
      ++pos;
      continue;
    }
    if (line_ends && LineEnd(c.raw, c.unicode)) break;
    uint32_t entry = 0;
    if (encoded != nullptr && c.unicode < EncodedIndex::kValues && p.source[c.source].same < 0)
      entry = encoded[c.unicode];
    int bytes;
    if (entry != 0) {
      bytes = PutEncoded(entry, out + written);
    } else {
      if (!MapRun(p, &c)) break;
      bytes = E::Put(p, c, out + written);
      if (bytes < 0) break;
    }
    written += bytes;
    last_pos = pos;
    pos += c.bytes;
    trail.Took(c.raw);
    last = c;
    last_encoded = entry != 0;
    last_indexed = indexed;
    if constexpr (requires { D::kShifted; }) p.decode_shift = c.shift;
    ++n;
  }
  if (n == 0 && trail.dropped == 0) return 0;
  if constexpr (requires { D::kShifted; }) s->decode_shift = p.decode_shift;
  if constexpr (requires { E::kShifted; }) {
    s->encode_shift_set = p.encode_set;
    s->encode_shift_mode = p.encode_plane;
  }
  if (n != 0) {
    if (last_indexed) D::Next(p, in + last_pos, length - last_pos, &last);
    if (last_encoded || last_indexed) MapRun(p, &last);
    FinishRun(s, p, last, trail.prev_raw, pos, written, n);
  }
  trail.Finish(s, pos, written);
  return n + trail.dropped;
}

typedef int32_t (*Loop)(CconvSession* s, const RunPlan& p, int32_t limit);

// A loop over a Unicode target's encoders.
template <template <class> class L>
Loop UnicodeLoop(Enc enc, bool little) {
  switch (enc) {
    case Enc::kUtf8: return L<Utf8Enc>::kLoop;
    case Enc::kUtf16: return little ? L<Utf16Enc<true>>::kLoop : L<Utf16Enc<false>>::kLoop;
    case Enc::kUcs4: return little ? L<Ucs4Enc<true>>::kLoop : L<Ucs4Enc<false>>::kLoop;
    case Enc::kUcs2: return little ? L<Ucs2Enc<true>>::kLoop : L<Ucs2Enc<false>>::kLoop;
    default: return nullptr;
  }
}

template <class D, class E>
int32_t RunLoop(CconvSession* s, const RunPlan& plan, int32_t limit) {
  // A stretch after a fast loop is too short to pay for a copy of the plan.
  if (limit <= kGeneralStretch) return RunLoopOver<D, E>(s, plan, limit);
  // A copy the output stores cannot alias: through the plan itself, every
  // byte written would make the loop load its sets and tables again.
  const RunPlan p = plan;
  return RunLoopOver<D, E>(s, p, limit);
}

template <class D>
Loop LoopFor(Enc enc, bool little) {
  switch (enc) {
    case Enc::kTable: return RunLoop<D, TableEnc<Same>>;
    case Enc::kSjis: return RunLoop<D, TableEnc<ToSjis>>;
    case Enc::kSjis2004: return RunLoop<D, TableEnc<ToSjis2004>>;
    case Enc::kEuc: return RunLoop<D, EucEnc>;
    case Enc::kEucFix: return RunLoop<D, EucFixEnc>;
    case Enc::kIso2022: return RunLoop<D, Iso2022Enc>;
    case Enc::kUtf8: return RunLoop<D, Utf8Enc>;
    case Enc::kUtf16: return little ? RunLoop<D, Utf16Enc<true>> : RunLoop<D, Utf16Enc<false>>;
    case Enc::kUcs4: return little ? RunLoop<D, Ucs4Enc<true>> : RunLoop<D, Ucs4Enc<false>>;
    case Enc::kUcs2: return little ? RunLoop<D, Ucs2Enc<true>> : RunLoop<D, Ucs2Enc<false>>;
    case Enc::kUcs2References:
      return little ? RunLoop<D, Ucs2ReferencesEnc<true>> : RunLoop<D, Ucs2ReferencesEnc<false>>;
    default: return nullptr;
  }
}

template <class D>
struct IdentityOf {
  template <class E>
  struct L {
    static constexpr Loop kLoop = FastLoop<D, IdentityStep<D, E>>;
  };
};

template <class D>
struct DecodedOf {
  template <class E>
  struct L {
    static constexpr Loop kLoop = FastLoop<D, DecodedStep<D, E>>;
  };
};

template <class E>
struct Iso2022Of {
  static constexpr Loop kLoop = FastLoop<Iso2022Dec, Iso2022Step<E>>;
};

// The loops of a pair: `fast`, when there is one, takes what it can and
// `general` one character after it, in turn.
struct Loops {
  Loop fast = nullptr;
  Loop general = nullptr;
};

template <class D>
Loops LoopsFor(Enc enc, bool little, const RunPlan& p) {
  Loops loops;
  loops.general = LoopFor<D>(enc, little);
  if constexpr (requires { &D::Value; }) {
    if (p.identity_pair) {
      // Nothing the general loop takes that this one does not.
      if (Loop identity = UnicodeLoop<IdentityOf<D>::template L>(enc, little)) loops.general = identity;
    } else if (p.unicode_source && p.identity_first && p.source[0].same < 0 && p.encoded != nullptr &&
               p.encoded->encoder == p.encoder) {
      if (enc == Enc::kUcs2References) {
        if (ShownByValue(p)) loops.fast = little ? FastLoop<D, ShownStep<D, true>> : FastLoop<D, ShownStep<D, false>>;
      } else if (p.index != nullptr) {
        loops.fast = p.encoded->pairs != nullptr ? FastLoop<D, PairStep<D>> : FastLoop<D, EncodedStep<D>>;
      }
    }
  }
  if constexpr (Indexed<D>()) {
    if (p.decoded != nullptr && p.same_slots == 0 && p.identity_target && p.area_count == 0)
      loops.fast = UnicodeLoop<DecodedOf<D>::template L>(enc, little);
  }
  if constexpr (std::is_same_v<D, Iso2022Dec>) {
    if (p.same_slots == 0 && p.identity_target && p.area_count == 0) loops.fast = UnicodeLoop<Iso2022Of>(enc, little);
  }
  return loops;
}

// Whether `charset` has met enough input in the run loops for its flat
// indexes; counts the session's remaining input towards it.
bool WorthIndexes(const CconvCharset* charset, const CconvSession* s) {
  int64_t threshold = g_index_threshold.load(std::memory_order_relaxed);
  if (charset->run_bytes.load(std::memory_order_relaxed) >= threshold) return true;
  int64_t avail = std::max<int64_t>(0, int64_t{s->input_length} - s->input_position);
  return charset->run_bytes.fetch_add(avail, std::memory_order_relaxed) + avail >= threshold;
}

// Whether the encoder would write something before the character: a
// byte-order mark, or a language tag.
bool EncoderQuiet(const CconvSession* s, Enc enc) {
  if (enc == Enc::kUcs2 || enc == Enc::kUcs2References || enc == Enc::kUtf8 || enc == Enc::kUtf16 ||
      enc == Enc::kUcs4) {
    if (s->options.write_bom) return false;
    if (enc != Enc::kUcs2 && enc != Enc::kUcs2References && s->base_language[0] != '\0') {
      const char* current = s->current_language[0] ? s->current_language : s->base_language;
      if (std::strcmp(current, s->tagged_language) != 0) return false;
    }
  }
  return true;
}

}  // namespace

int32_t RunChars(CconvSession* s, RunPlan& p) {
  if (p.decoder == 0) return 0;
  if (p.index_pending) {
    // Its further tables are loaded by the handlers on first use.
    p.index = TargetIndex(s->target);
    p.index_pending = p.index == nullptr && TablesFor(s->target) == IndexState::kLater;
  }
  Enc enc = static_cast<Enc>(p.encoder);
  if (p.encoded == nullptr && enc == Enc::kUcs2References && ShownByValue(p) && WorthIndexes(s->target, s)) {
    p.encoded = ShownIndexFor(s->target, p);
  }
  if (p.encoded == nullptr && p.index != nullptr && WorthIndexes(s->target, s)) {
    if (enc == Enc::kTable) p.encoded = EncodedFor<TableEnc<Same>>(s->target, p);
    else if (enc == Enc::kSjis) p.encoded = EncodedFor<TableEnc<ToSjis>>(s->target, p);
    else if (enc == Enc::kEuc) p.encoded = EncodedFor<EucEnc>(s->target, p);
    else if (enc == Enc::kSjis2004) p.encoded = EncodedFor<TableEnc<ToSjis2004>>(s->target, p);
    else if (enc == Enc::kEucFix) p.encoded = EncodedFor<EucFixEnc>(s->target, p);
  }
  if (p.decoded_pending && WorthIndexes(s->source, s)) {
    p.decoded_pending = false;
    switch (static_cast<Dec>(p.decoder)) {
      case Dec::kSjis:
      case Dec::kWindows31J: p.decoded = DecodedFor<SjisDec>(s->source, p); break;
      case Dec::kTable: p.decoded = DecodedFor<TableDec<true>>(s->source, p); break;
      case Dec::kEuc: p.decoded = DecodedFor<EucDec>(s->source, p); break;
      case Dec::kSjis2004: p.decoded = DecodedFor<Sjis2004Dec>(s->source, p); break;
      case Dec::kEuc2004: p.decoded = DecodedFor<Euc2004Dec>(s->source, p); break;
      case Dec::kEucFix: p.decoded = DecodedFor<EucFixDec>(s->source, p); break;
      default: break;
    }
  }
  if (!EncoderQuiet(s, enc)) return 0;
  bool little = s->options.big_endian == 0;
  bool big_in = s->charset_options.big_endian != 0;
  Loops loops;
  switch (static_cast<Dec>(p.decoder)) {
    case Dec::kSjis:
    case Dec::kWindows31J: loops = LoopsFor<SjisDec>(enc, little, p); break;
    case Dec::kTable: loops = LoopsFor<TableDec<true>>(enc, little, p); break;
    case Dec::kUcs2:
      if (s->charset_options.expect_bom) return 0;
      loops = big_in ? LoopsFor<TableDec<true>>(enc, little, p)
                    : LoopsFor<TableDec<false>>(enc, little, p);
      break;
    case Dec::kEuc: loops = LoopsFor<EucDec>(enc, little, p); break;
    case Dec::kSjis2004: loops = LoopsFor<Sjis2004Dec>(enc, little, p); break;
    case Dec::kEuc2004: loops = LoopsFor<Euc2004Dec>(enc, little, p); break;
    case Dec::kEucFix: loops = LoopsFor<EucFixDec>(enc, little, p); break;
    case Dec::kIso2022: loops = LoopsFor<Iso2022Dec>(enc, little, p); break;
    case Dec::kUtf8:
      if (s->charset_options.expect_bom) return 0;
      loops = LoopsFor<Utf8Dec>(enc, little, p);
      break;
    case Dec::kUtf16:
      if (s->charset_options.expect_bom) return 0;
      loops = big_in ? LoopsFor<Utf16Dec<true>>(enc, little, p)
                    : LoopsFor<Utf16Dec<false>>(enc, little, p);
      break;
    case Dec::kUcs4:
      if (s->charset_options.expect_bom) return 0;
      loops = big_in ? LoopsFor<Ucs4Dec<true>>(enc, little, p)
                    : LoopsFor<Ucs4Dec<false>>(enc, little, p);
      break;
    default: break;
  }
  if (loops.general == nullptr) return 0;
  if (loops.fast == nullptr) return loops.general(s, p, INT32_MAX);
  int32_t total = 0;
  for (;;) {
    total += loops.fast(s, p, INT32_MAX);
    int32_t taken = loops.general(s, p, kGeneralStretch);
    if (taken == 0) return total;
    total += taken;
  }
}

}  // namespace cconv
