// What the codecs share: the statuses of a run, the mapping of a decoded
// character onto the target's code sets, the byte buffer an encoder fills
// before it commits a character to the output, the code transforms between
// JIS-style and Shift_JIS codes, and the two-code-point characters of
// JIS X 0213. The handlers themselves live in codecs_table.cpp (table and
// Shift_JIS family), codecs_euc_iso2022.cpp (EUC, fixed-width EUC,
// ISO-2022) and codecs_unicode.cpp (UCS-2, UCS-4, UTF-16, UTF-8); the UTF-7
// and HZ pre-steps in pre_steps.cpp.
//
// A decoder reads one character at the input position and fills the
// session's character fields; an encoder maps that character (MapCharacter)
// and writes it whole or not at all (ByteRun + Commit), so that a full
// output leaves the output length where it was.
#pragma once

#include <cstdint>
#include <string_view>

#include "cconv_internal.h"

namespace cconv {

enum : int {
  kStDone = 0,
  kStNoCodec = 1,
  kStDecoded = 11,
  kStNeedInput = 12,
  kStInvalid = 13,
  kStWritten = 21,
  kStFull = 22,
  kStUnmappable = 23,
  kStFlush = 31,
};

constexpr int32_t kIdEucJp = 1007;
constexpr int32_t kIdEucJpFix = 1008;
constexpr int32_t kIdIso2022Jp = 1009;
constexpr int32_t kIdShiftJis2004 = 1010;
constexpr int32_t kIdEucJis2004 = 1011;
constexpr int32_t kIdIso2022Jp2004 = 1012;
constexpr int32_t kIdJisC6226 = 2004;
constexpr int32_t kIdJisX0212 = 2007;
constexpr int32_t kIdNecExt = 2008;
constexpr int32_t kIdIbmExt = 2009;
constexpr int32_t kIdWindows31JUser = 3001;
constexpr int32_t kIdOasysExt = 3003;
constexpr int32_t kPlane2 = 0x10000;  // JIS X 0213 plane 2 bit of a set-2011 code

// Control codes in the engine's sense: 0-8, 11, 12, 14-31 and 127 (TAB,
// LF and CR are ordinary characters that a table must map).
inline bool IsControlCode(uint32_t code) {
  return code < 32 ? (code != 9 && code != 10 && code != 13) : code == 127;
}

inline bool ValidSjisPair(uint32_t lead, uint32_t trail) {
  return ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) && trail >= 0x40 && trail <= 0xFC &&
         trail != 0x7F;
}

// The cell byte (0x21-0x7E) of a Shift_JIS trail byte, and whether the
// trail is of the second (even) row of its lead.
inline uint32_t SjisCellOfTrail(uint32_t trail, bool* second_row) {
  *second_row = trail >= 0x9F;
  if (*second_row) return trail - 0x9E + 0x20;
  return trail - 0x40 + 0x21 - (trail >= 0x80 ? 1 : 0);
}

// Shift_JIS bytes to a JIS-style code (rows beyond 0x7E for leads from
// 0xF0); 0 when the pair is no Shift_JIS double-byte code. Inline: the
// run loops call it for every double-byte character.
inline uint32_t SjisToJis(uint32_t lead, uint32_t trail) {
  if (!ValidSjisPair(lead, trail)) return 0;
  uint32_t row = lead <= 0x9F ? (lead - 0x81) * 2 + 1 : (lead - 0xC1) * 2 + 1;
  bool second;
  uint32_t cell = SjisCellOfTrail(trail, &second);
  if (second) ++row;
  return (row + 0x20) << 8 | cell;
}
inline uint32_t SjisTrailOfCell(uint32_t cell, bool second_row) {
  if (second_row) return cell + 0x7E;
  return cell + 0x1F + (cell >= 0x60 ? 1 : 0);
}

// A JIS-style code to Shift_JIS bytes; codes below 0x100 stay as they are.
inline uint32_t JisToSjis(uint32_t code) {
  if (code < 0x100) return code;
  uint32_t j1 = (code >> 8) & 0xFF, j2 = code & 0xFF;
  uint32_t s1 = ((j1 - 0x21) >> 1) + 0x81;
  if (s1 > 0x9F) s1 += 0x40;
  return (s1 & 0xFF) << 8 | (SjisTrailOfCell(j2, (j1 & 1) == 0) & 0xFF);
}
// Shift_JIS-2004: plane-2 leads 0xF0-0xFC have rows of their own.
uint32_t Sjis2004ToJis(uint32_t lead, uint32_t trail);
uint32_t JisToSjis2004(uint32_t code);

// The JIS X 0213 two-code-point characters: the pair of `code`, or false.
bool PairOfCode(uint32_t code, uint32_t* base, uint32_t* combining);
// The code of a base and combining character, or 0.
uint32_t CodeOfPair(uint32_t base, uint32_t combining);
// True when `base` followed by `combining` is one of the pairs.
inline bool IsPair(uint32_t base, uint32_t combining) { return CodeOfPair(base, combining) != 0; }
// The code a combining character left over is written as in the Japanese
// byte charsets, or 0.
uint32_t LeftoverCombiningCode(uint32_t combining);

// The source charset's set with `id` (the engine's list when the charset
// does not list it), or null.
CconvCodeSet* SourceSet(const CconvSession* s, int32_t id);
// The target charset's set with `id`, or null.
CconvCodeSet* TargetSet(const CconvSession* s, int32_t id);
// Whether the charset lists a set with `id`.
bool CharsetHasSet(const CconvCharset* charset, int32_t id);

// Whether WINDOWS31J shows a character, from what needs no table: the set
// it was decoded from and its code. 1 shown, 0 not shown, -1 when the
// substitutes and WINDOWS31J's tables decide.
inline int Windows31JShowsPlainly(int32_t set_id, uint32_t code) {
  switch (set_id) {
    case kIdJisX0201Latin:
    case kIdJisX0201Kana:
    case kIdJisX0208:
    case kIdNecExt:
    case kIdIbmExt:
      return 1;
    default:
      break;
  }
  if (code >= 0xE000 && code <= 0xE758) return 1;
  if ((code >= 0xFF01 && code <= 0xFF5E) || (code >= 0xFF61 && code <= 0xFF9F) ||
      (code >= 0xFFE0 && code <= 0xFFE2) || code == 0xFFE5)
    return 1;
  if ((code >= 0xE759 && code <= 0xF8FF) || (code >= 0xFF00 && code <= 0xFFFE)) return 0;
  return -1;
}

// The byte order of a Unicode codec's input or output.
inline bool InputBigEndian(const CconvSession* s) { return s->charset_options.big_endian != 0; }
inline bool OutputBigEndian(const CconvSession* s) { return s->options.big_endian != 0; }

// The decoded character's Unicode value, found in its source set's table
// when the decoder left it 0 (for set 2011 through the pair table, which
// also fills the second code point).
uint32_t ResolveUnicode(CconvSession* s);

// Maps the decoded character onto the target: fills out_set_id,
// out_set_kind, out_code, out_unit_width and out_multi_length. False when
// nothing maps it (the caller reports 23). A combining character that the
// target does not join with its base stays in second_code_point for the
// byte charsets of Japanese and the Unicode charsets, and is dropped for
// the others.
bool MapCharacter(CconvSession* s);

// The bytes of one character, committed to the output all together.
struct ByteRun {
  uint8_t bytes[96];
  int n = 0;
  bool overflow = false;
  void Put(uint8_t b) {
    if (n < static_cast<int>(sizeof bytes)) bytes[n++] = b;
    else overflow = true;
  }
  // `width` bytes of `value`, most significant first unless `little`.
  void PutUnit(uint32_t value, int width, bool little = false) {
    for (int i = 0; i < width; ++i) {
      int shift = little ? 8 * i : 8 * (width - 1 - i);
      Put(static_cast<uint8_t>(value >> shift));
    }
  }
};

// Writes the run at the output length: status 21 and one more character
// encoded when `counts`, or 22 with nothing written when it does not fit.
bool Commit(CconvSession* s, const ByteRun& run, bool counts = true);

// True when the character is a line end that the encoder writes in the
// options' form (the line-end flag is set and the character is CR).
inline bool IsLineEnd(const CconvSession* s) {
  return s->options.line_end_flag != 0 && s->status != kStFull && s->unicode == '\r';
}
// Appends the options' line-end form in units of `width` bytes.
void PutLineEnd(const CconvSession* s, ByteRun* run, int width, bool little);

// Writes the target's byte-order mark once, when the options ask for it;
// false with status 22 when it does not fit.
bool WriteByteOrderMark(CconvSession* s, const ByteRun& mark);

// Prepares the two substitutes of a session whose options ask for
// substitution, and ensures what the numeric references need.
void PrepareSession(CconvSession* s);

// Table decoder and encoder cores, shared by several codecs.
typedef uint32_t (*CodeTransform)(uint32_t code, int width);
void TableDecode(CconvSession* s, CodeTransform transform, bool byte_order_from_options);
void TableEncode(CconvSession* s, uint32_t (*transform)(uint32_t));

// Decoders and encoders of the codec table.
void DecodeSame(CconvSession* s);
void EncodeSame(CconvSession* s);
void DecodeShiftJis(CconvSession* s);
void EncodeShiftJis(CconvSession* s);
void EncodeShiftJis2004(CconvSession* s);
void DecodeWindows31J(CconvSession* s);
void DecodeOasysWin(CconvSession* s);
void DecodeOasysOnline(CconvSession* s);
void DecodeUcs2(CconvSession* s);
void EncodeUcs2(CconvSession* s);
void DecodeUcs4(CconvSession* s);
void EncodeUcs4(CconvSession* s);
void DecodeUtf16(CconvSession* s);
void EncodeUtf16(CconvSession* s);
void DecodeUtf8(CconvSession* s);
void EncodeUtf8(CconvSession* s);
void DecodeEucJp(CconvSession* s);
void DecodeEucJis2004(CconvSession* s);
void EncodeEuc(CconvSession* s);
void DecodeEucFix(CconvSession* s);
void EncodeEucFix(CconvSession* s);
void DecodeIso2022(CconvSession* s);
// ISO-2022 designations: the bytes after ESC that designate `set` (null
// for a set that has none), and the set a sequence designates (with the
// plane bit for JIS X 0213 plane 2; 0 for a sequence the codec does not
// know).
const char* Iso2022Designation(int32_t set, bool plane2, bool jp2004_target);
int32_t Iso2022DesignatedSet(std::string_view seq);
void EncodeIso2022(CconvSession* s);

// The driver of cconvConvert over the session's current input.
int32_t DriveSession(CconvSession* s);

// What the runs of characters of one cconvConvert call need, resolved once
// at its start (codecs_runs.cpp): the source sets the decoder searches, the
// target sets MapCharacter searches, and the codec pair. Lives on the
// driver's stack only.
struct RunPlan {
  static constexpr int kMaxSets = 16;
  // A settled table as the loops read it: keys below `limit` straight from
  // its page index, others through `beyond` (null when none maps).
  struct View {
    const uint32_t* const* pages = nullptr;
    uint32_t limit = 0;
    const CconvTable* beyond = nullptr;
    // Inlined into the run loops, which call it for every character.
    __attribute__((always_inline)) uint32_t Lookup(uint32_t key) const {
      if (key < limit) return pages[key >> 8][key & 0xFF];
      return beyond ? beyond->Lookup(key) : 0;
    }
  };
  struct Source {
    const CconvCodeSet* set;   // null: the charset has no such set
    const CconvTable* table;   // its code-to-Unicode table (null for an area)
    View view;                 // of `table`, when ready
    bool ready;                // an area, or a set whose table is settled
    int8_t same;               // the target slot of the same set, or -1
    uint16_t width;
  };
  struct Target {
    const CconvCodeSet* set;
    const CconvTable* to_code;  // null for an area
    View view;                  // of `to_code`
    const std::vector<std::unique_ptr<CconvTable>>* dstables;  // or null
    uint16_t width;
  };
  uint8_t decoder = 0;  // 0: no runs for this session
  uint8_t encoder = 0;
  bool index_pending = false;  // the target's merged index may be built later
  bool identity_first = false;  // the first source set maps every value to itself
  bool identity_target = false;  // the target's first set maps every value to itself, no area before it
  bool identity_pair = false;  // both of the above, Unicode codecs, nothing between them
  bool unicode_source = false;  // a decoder of Unicode values (UCS-2 of 2-byte units)
  int source_count = 0;
  int target_count = 0;      // the target charset's sets, in order
  int area_count = 0;
  const MapIndex* index = nullptr;  // the target's merged index, when built
  const EncodedIndex* encoded = nullptr;  // the index as the encoder's bytes, when built
  const DecodedIndex* decoded = nullptr;  // the source's codes, when built
  bool decoded_pending = false;           // the source's codes may be indexed later
  uint32_t same_slots = 0;                // bit i: source slot i has a `same` target slot
  Source source[kMaxSets];
  Target target[kMaxSets];
  int8_t areas[kMaxSets];    // target slots of user-defined areas, in order
  int shown_count = 0;       // UCS-2 with references: WINDOWS31J's tables
  View shown[kMaxSets];
  bool iso2022_jp2004 = false;  // an ISO-2022 target designates JIS X 0208 as JIS X 0213
  // ISO-2022 designations in force while a loop runs, kept where its
  // steps see them and written back to the session when it ends.
  mutable int32_t decode_shift = 0;
  mutable int32_t encode_set = 0;
  mutable int32_t encode_plane = 0;
};

// Resolves the plan of the session's codec pair; false when the pair has
// no run loop (the driver then converts character by character).
bool PlanRuns(const CconvSession* s, RunPlan* plan);
// Converts the characters at the input position that the run loop takes,
// leaving the session as the handlers would; answers how many (0 when the
// next character needs the handlers).
int32_t RunChars(CconvSession* s, RunPlan& plan);
// Switches the run loops on or off for the whole process (tests compare
// the two ways; on by default).
void EnableRuns(bool enabled);
// A flat index costs about half a millisecond and a quarter of a megabyte
// to build; a process that converts one small drawing would spend more on
// it than it saves, so a charset gets its indexes once it has met this
// much input in the run loops (at roughly 2 ns a byte saved, about where
// they pay back).
inline constexpr int64_t kIndexThreshold = 256 * 1024;
// Sets that threshold (0: at once; tests reach the indexes with small inputs).
void SetIndexThreshold(int64_t bytes);

// Runs a session whose source has a pre-step (UTF-7 or HZ); answers the
// status as cconvConvert does.
int RunWithPreStep(CconvSession* s);

}  // namespace cconv
