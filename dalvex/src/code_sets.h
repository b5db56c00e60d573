// Compile-time sets of 16-bit codes for the encoding detectors.
//
// The detectors' tables (valid double-byte codes, plausible UTF-16 units)
// are written as ranges and turned into bitmaps when the library is
// compiled, so a lookup at run time is one bit test and no table is built or
// shared at run time.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>

namespace dalvex::detect {

struct CodeRange {
  uint32_t first;
  uint32_t last;  // inclusive
};

// A set of the codes 0 .. 0xFFFF.
class CodeSet {
 public:
  constexpr bool Has(uint32_t code) const {
    return code <= 0xFFFF && ((words_[code >> 6] >> (code & 63)) & 1) != 0;
  }

  // Adds first .. last, a whole word at a time where it can (keeps the
  // compile-time evaluation short for large ranges).
  constexpr void Add(uint32_t first, uint32_t last) {
    if (last > 0xFFFF) last = 0xFFFF;
    uint32_t code = first;
    while (code <= last) {
      if ((code & 63) == 0 && last - code >= 63) {
        words_[code >> 6] = ~uint64_t{0};
        code += 64;
      } else {
        words_[code >> 6] |= uint64_t{1} << (code & 63);
        ++code;
      }
    }
  }

  constexpr void Add(std::initializer_list<CodeRange> ranges) {
    for (const CodeRange& r : ranges) Add(r.first, r.last);
  }

  // For each lead byte first_lead .. last_lead, adds lead * 256 + trail for
  // every trail in the trail ranges.
  constexpr void AddPairs(uint32_t first_lead, uint32_t last_lead, std::initializer_list<CodeRange> trails) {
    for (uint32_t lead = first_lead; lead <= last_lead; ++lead)
      for (const CodeRange& t : trails) Add(lead << 8 | t.first, lead << 8 | t.last);
  }

  // Adds the low bytes of one row (high byte) of 16-bit units.
  constexpr void AddRow(uint32_t high, std::initializer_list<CodeRange> lows) { AddPairs(high, high, lows); }

  // Removes every code that is not in `keep`.
  constexpr void Intersect(const CodeSet& keep) {
    for (size_t i = 0; i < words_.size(); ++i) words_[i] &= keep.words_[i];
  }

 private:
  std::array<uint64_t, 1024> words_{};
};

// Single bytes, for the lead-byte tests.
class ByteSet {
 public:
  constexpr bool Has(uint8_t byte) const { return ((words_[byte >> 6] >> (byte & 63)) & 1) != 0; }
  constexpr void Add(uint32_t first, uint32_t last) {
    for (uint32_t b = first; b <= last && b <= 0xFF; ++b) words_[b >> 6] |= uint64_t{1} << (b & 63);
  }

 private:
  std::array<uint64_t, 4> words_{};
};

}  // namespace dalvex::detect
