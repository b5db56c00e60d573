// The scorers of the text-file detector (dtctText), one per candidate
// encoding. A scorer walks the file chunk by chunk and counts good and bad
// characters; its score is good x 100 / (good + bad). Its state carries over
// chunk edges: the bytes of a character (or a CR) cut by the edge are kept
// and scored with the next chunk, so a split character scores as if it were
// whole. A NUL or ESC where the encoding has none discards the scorer's
// counts for the chunk; a byte that rules the encoding out altogether (a
// high byte for 7-bit text, an impossible plane for UCS-4) puts the scorer
// out for good.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dalvex::detect {

enum class ScorerKind : uint8_t {
  kUtf8,
  kUtf16Le,
  kUtf16Be,
  kUcs4Le,
  kUcs4Be,
  kIso2022Jp,
  kEucJp,
  kEucJpFix,
  kWindows31J,
  kSevenBit,
  kGbk,
  kBig5,
  kKsc5601,
};
inline constexpr size_t kScorerCount = 13;

// Most bytes a scorer keeps back at a chunk edge (a UCS-4 CR waiting for
// the unit behind it is the longest).
inline constexpr size_t kMaxCarry = 8;

struct ScorerState {
  uint32_t good = 0;  // over the chunks scored so far
  uint32_t bad = 0;
  uint32_t flags = 0;  // first line-end kind met, U+2028 / U+2029 markers (result-word bits)
  uint8_t carry[kMaxCarry] = {};
  uint8_t carry_length = 0;
  uint8_t iso2022_set = 0;  // ISO-2022-JP: the set selected last
  bool out = false;         // ruled out for good

  int Score() const {
    if (out || good == 0) return 0;
    return static_cast<int>(uint64_t{good} * 100 / (uint64_t{good} + bad));
  }
};

// Scores one chunk. `chunk` must have kMaxCarry writable bytes in front of
// it: the scorer's carried bytes are placed there. `at_end`: the chunk ends
// the file, so nothing is carried and a character cut by the end of the
// file is not counted.
void ScoreChunk(ScorerKind kind, ScorerState& state, uint8_t* chunk, size_t length, bool at_end);

}  // namespace dalvex::detect
