// Small rules about stored text that the reader applies everywhere: which
// bytes lead a double-byte character in a code page, cutting a text to a
// capacity without splitting a character, and taking a terminated text out
// of a part without leaving it.
#pragma once

#include <cstdint>
#include <string>

#include "part_bytes.h"

namespace glyphane {

// Lead bytes: 932 0x80-0x9F and 0xE0-0xFF; 936, 949 and 950 0x80-0xFF.
inline bool IsLeadByte(uint32_t code_page, uint8_t byte) {
  switch (code_page) {
    case 932: return (byte >= 0x80 && byte <= 0x9F) || byte >= 0xE0;
    case 936: case 949: case 950: return byte >= 0x80;
    default: return false;
  }
}

// Cuts `text` to at most `capacity` bytes at a whole character (UTF-16
// units for code page 1200, double-byte characters for the others).
inline void CutToCapacity(std::string* text, uint64_t capacity, uint32_t code_page) {
  if (code_page == 1200 && (text->size() & 1)) text->pop_back();
  if (text->size() <= capacity) return;
  if (code_page == 1200) {
    text->resize(capacity & ~uint64_t{1});
    return;
  }
  uint64_t end = 0;
  while (end < capacity) {
    uint64_t width = IsLeadByte(code_page, static_cast<uint8_t>((*text)[end])) ? 2 : 1;
    if (end + width > capacity) break;
    end += width;
  }
  text->resize(end);
}

// The text that starts at `pos` and ends before its terminator (a 0 byte,
// or a 0 unit in UTF-16), or at the span's end when none comes.
inline std::string TerminatedText(const PartBytes& bytes, uint64_t pos, bool utf16) {
  std::string text;
  if (pos >= bytes.size()) return text;
  uint64_t end = pos;
  if (utf16) {
    while (bytes.Has(end, 2) && (bytes.data()[end] | bytes.data()[end + 1]) != 0) end += 2;
  } else {
    while (end < bytes.size() && bytes.data()[end] != 0) ++end;
  }
  return bytes.Bytes(pos, end - pos);
}

}  // namespace glyphane
