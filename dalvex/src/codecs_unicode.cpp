// The Unicode codecs: UCS-2 (a table codec in 16-bit units, with numeric
// character references for what WINDOWS31J cannot show), UCS-4, UTF-16 and
// UTF-8, with byte-order marks and language tags.
//
// Decoders read one code point (a reader per form), then classify it
// against the source charset's sets. A language tag (U+E0001, tag letters,
// ended by the first other character or by U+E007F) is read before any
// classification: it changes the session's current language, and the
// encoders of UCS-4, UTF-16 and UTF-8 write such a tag before the first
// character whose language differs from the one last tagged. After a
// character of the BMP, UTF-16 and UTF-8 decoders take a following
// combining mark that forms one of the JIS X 0213 pairs with it as the
// character's second code point.
#include <cstring>

#include "codecs.h"

namespace cconv {

namespace {

constexpr uint32_t kTagBegin = 0xE0001;
constexpr uint32_t kTagCancel = 0xE007F;
constexpr size_t kMaxTagLetters = 259;

// What a reader found at a position: a code point of `bytes` bytes, the
// input ending inside one, or invalid input `bytes` long.
enum class Read { kOk, kCut, kBad };

typedef Read (*Reader)(const CconvSession* s, int32_t pos, uint32_t* value, int* bytes);

uint32_t Unit(const uint8_t* p, int width, bool big) {
  uint32_t v = 0;
  for (int k = 0; k < width; ++k) v |= static_cast<uint32_t>(p[k]) << (big ? 8 * (width - 1 - k) : 8 * k);
  return v;
}

Read ReadUcs4(const CconvSession* s, int32_t pos, uint32_t* value, int* bytes) {
  if (s->input_length - pos < 4) return Read::kCut;
  *value = Unit(s->input + pos, 4, InputBigEndian(s));
  *bytes = 4;
  return Read::kOk;
}

inline bool IsHigh(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsLow(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

Read ReadUtf16(const CconvSession* s, int32_t pos, uint32_t* value, int* bytes) {
  int32_t avail = s->input_length - pos;
  if (avail < 2) return Read::kCut;
  bool big = InputBigEndian(s);
  uint32_t u = Unit(s->input + pos, 2, big);
  *bytes = 2;
  if (u < 0xD800 || u > 0xDFFF) {
    *value = u;
    return Read::kOk;
  }
  if (avail < 4) return Read::kCut;
  uint32_t v = Unit(s->input + pos + 2, 2, big);
  // A surrogate joins only a surrogate of the other half, in either order.
  uint32_t high = IsHigh(u) ? u : v, low = IsHigh(u) ? v : u;
  if (!IsHigh(high) || !IsLow(low)) return Read::kBad;  // the lone unit
  *value = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
  *bytes = 4;
  return Read::kOk;
}

Read ReadUtf8(const CconvSession* s, int32_t pos, uint32_t* value, int* bytes) {
  const uint8_t* in = s->input + pos;
  int32_t avail = s->input_length - pos;
  uint32_t b = in[0];
  int length;
  if (b < 0xC0) {
    *value = b;  // ASCII, and a stray continuation byte as itself
    *bytes = 1;
    return Read::kOk;
  }
  if (b < 0xE0) length = 2, b &= 0x1F;
  else if (b < 0xF0) length = 3, b &= 0x0F;
  else if (b < 0xF8) length = 4, b &= 0x07;
  else if (b < 0xFC) length = 5, b &= 0x03;
  else length = 6, b &= 0x01;
  uint32_t v = b;
  for (int k = 1; k < length; ++k) {
    if (k >= avail) return Read::kCut;
    if ((in[k] & 0xC0) != 0x80) {
      *bytes = 1;  // resume after the lead byte
      return Read::kBad;
    }
    v = v << 6 | (in[k] & 0x3Fu);
  }
  *value = v;
  *bytes = length;
  return Read::kOk;
}

// Lead bytes 0xFE and 0xFF of UTF-8 input are skipped.
bool SkippedUtf8(const CconvSession* s, int32_t pos) { return s->input[pos] >= 0xFE; }

// Gives the value a set of the source charset; false when none accepts it.
bool Classify(CconvSession* s, uint32_t value) {
  for (const CconvCodeSet* set : s->source->sets) {
    if (set->kind == 3) {
      if (value >= set->area_start && value - set->area_start < set->area_count) {
        s->char_set_id = set->id;
        s->char_set_kind = set->kind;
        s->code = value;
        s->unicode = 0xE000 + (value - set->area_start);
        return true;
      }
      continue;
    }
    if (value < 0x80 || set->to_unicode->Lookup(value) != 0) {
      s->char_set_id = set->id;
      s->char_set_kind = set->kind;
      s->code = s->unicode = value;
      return true;
    }
  }
  return false;
}

void SetLanguage(CconvSession* s, const char* letters, size_t n) {
  std::memcpy(s->current_language, letters, n);
  s->current_language[n] = '\0';
}

// Reads the language tag that begins at `pos` (its U+E0001 is `first`
// bytes long). True when a character follows the tag at input_position;
// false with the status set otherwise.
bool ReadTag(CconvSession* s, Reader read, int32_t pos, int first) {
  char letters[kMaxTagLetters + 1];
  size_t n = 0;
  int32_t p = pos + first;
  // Invalid input inside a tag: back to its start, or, under skip-invalid,
  // past its first code point so that the run cannot stall there.
  auto fail = [&](int status) {
    s->input_position = status == kStInvalid && s->charset_options.skip_invalid ? pos + first : pos;
    s->status = status;
    return false;
  };
  for (;;) {
    if (p >= s->input_length) return fail(kStNeedInput);
    uint32_t v;
    int bytes;
    Read r = read(s, p, &v, &bytes);
    if (r == Read::kCut) return fail(kStNeedInput);
    if (r == Read::kBad) return fail(kStInvalid);
    if (v >= 0xE0020 && v <= 0xE007E) {
      if (n == kMaxTagLetters) return fail(kStInvalid);
      letters[n++] = static_cast<char>(v - 0xE0000);
      p += bytes;
      continue;
    }
    SetLanguage(s, letters, n);
    if (v == kTagCancel) {
      s->input_position = p + bytes;
      s->status = kStInvalid;  // nothing to write for the tag
      return false;
    }
    s->input_position = p;
    return true;
  }
}

// The decoder shared by UCS-4, UTF-16 and UTF-8.
void DecodeUnicode(CconvSession* s, Reader read, bool utf8, bool pairs) {
  for (;;) {
    int32_t pos = s->input_position;
    if (pos >= s->input_length) {
      s->status = kStDone;
      return;
    }
    if (utf8 && SkippedUtf8(s, pos)) {
      ++s->input_position;
      continue;
    }
    uint32_t value;
    int bytes = 0;
    Read r = read(s, pos, &value, &bytes);
    if (r == Read::kCut) {
      s->status = kStNeedInput;
      return;
    }
    if (r == Read::kBad) {
      s->input_position = pos + bytes;
      s->status = kStInvalid;
      return;
    }
    if (value == kTagBegin) {
      if (!ReadTag(s, read, pos, bytes)) return;
      continue;  // the character after the tag
    }
    if (value >= 0xE0020 && value <= kTagCancel) {
      s->input_position = pos + bytes;  // a tag character outside a tag: nothing
      continue;
    }
    if (!Classify(s, value)) {
      s->input_position = pos + bytes;
      s->status = kStInvalid;
      return;
    }
    s->raw_code = value;
    s->input_position = pos + bytes;
    if (pairs && value <= 0xFFFF && s->input_position < s->input_length) {
      uint32_t next;
      int next_bytes;
      if (read(s, s->input_position, &next, &next_bytes) == Read::kOk && IsPair(value, next)) {
        s->second_code_point = next;
        s->input_position += next_bytes;
      }
    }
    ++s->decoded_count;
    s->status = kStDecoded;
    return;
  }
}

// Reads a byte-order mark of `width` bytes when the options expect one.
// False with status 12 when the input is too short to tell.
bool TakeByteOrderMark(CconvSession* s, int width) {
  if (!s->charset_options.expect_bom) return true;
  const uint8_t* in = s->input + s->input_position;
  int32_t avail = s->input_length - s->input_position;
  if (width == 3) {
    static const uint8_t kMark[] = {0xEF, 0xBB, 0xBF};
    int n = avail < 3 ? static_cast<int>(avail) : 3;
    if (std::memcmp(in, kMark, static_cast<size_t>(n)) == 0) {
      if (n < 3) {
        s->status = kStNeedInput;
        return false;
      }
      s->input_position += 3;
    }
    s->charset_options.expect_bom = 0;
    return true;
  }
  if (avail < width) {
    s->status = kStNeedInput;
    return false;
  }
  uint32_t le = Unit(in, width, false);
  if (le == 0xFEFF || le == (width == 2 ? 0xFFFEu : 0xFFFE0000u)) {
    s->charset_options.big_endian = le != 0xFEFF;
    s->input_position += width;
  }
  s->charset_options.expect_bom = 0;
  return true;
}

// Appends one code point in the encoder's form; false when the form has
// none for it.
typedef bool (*Writer)(ByteRun* run, uint32_t value, bool little);

bool PutUcs4(ByteRun* run, uint32_t value, bool little) {
  run->PutUnit(value, 4, little);
  return true;
}

bool PutUtf16(ByteRun* run, uint32_t value, bool little) {
  if (value <= 0xFFFF) {
    run->PutUnit(value, 2, little);
    return true;
  }
  if (value > 0x10FFFF) return false;
  value -= 0x10000;
  run->PutUnit(0xD800 + (value >> 10), 2, little);
  run->PutUnit(0xDC00 + (value & 0x3FF), 2, little);
  return true;
}

bool PutUtf8(ByteRun* run, uint32_t value, bool) {
  if (value >= 0x80000000u) return false;
  if (value < 0x80) {
    run->Put(static_cast<uint8_t>(value));
    return true;
  }
  int length = value < 0x800 ? 2 : value < 0x10000 ? 3 : value < 0x200000 ? 4 : value < 0x4000000 ? 5 : 6;
  static constexpr uint8_t kLead[] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
  run->Put(static_cast<uint8_t>(kLead[length] | (value >> (6 * (length - 1)))));
  for (int k = length - 2; k >= 0; --k) run->Put(static_cast<uint8_t>(0x80 | ((value >> (6 * k)) & 0x3F)));
  return true;
}

// Writes a language tag when the current language is not the one last
// tagged; false with status 22 when it does not fit.
bool WriteLanguageTag(CconvSession* s, Writer put, bool little) {
  if (s->base_language[0] == '\0') return true;
  const char* current = s->current_language[0] ? s->current_language : s->base_language;
  if (std::strcmp(current, s->tagged_language) == 0) return true;
  uint8_t bytes[(kMaxTagLetters + 2) * 4];
  int n = 0;
  auto add = [&](uint32_t value) {
    ByteRun one;
    put(&one, value, little);
    std::memcpy(bytes + n, one.bytes, static_cast<size_t>(one.n));
    n += one.n;
  };
  add(kTagBegin);
  if (std::strcmp(current, s->base_language) == 0) {
    add(kTagCancel);
  } else {
    for (const char* p = current; *p; ++p) add(0xE0000 + static_cast<uint8_t>(*p));
  }
  if (n > s->output_capacity - s->output_length) {
    s->status = kStFull;
    return false;
  }
  std::memcpy(s->output + s->output_length, bytes, static_cast<size_t>(n));
  s->output_length += n;
  size_t len = std::strlen(current);
  std::memmove(s->tagged_language, current, len + 1);
  return true;
}

void EncodeUnicode(CconvSession* s, Writer put, int width, bool tags) {
  if (s->status == kStFlush) {
    s->status = kStDone;
    return;
  }
  bool little = !OutputBigEndian(s);
  bool prepared = s->status == kStFull;
  if (!prepared && !MapCharacter(s)) {
    s->status = kStUnmappable;
    return;
  }
  if (s->options.write_bom) {
    ByteRun mark;
    put(&mark, 0xFEFF, little);
    if (!WriteByteOrderMark(s, mark)) return;
  }
  if (tags && !WriteLanguageTag(s, put, little)) return;
  ByteRun run;
  if (!prepared && IsLineEnd(s)) {
    PutLineEnd(s, &run, width, little);
  } else if (!put(&run, s->out_code, little)) {
    s->status = kStUnmappable;
    return;
  }
  if (!prepared && s->second_code_point != 0) put(&run, s->second_code_point, little);
  Commit(s, run);
}

// Whether WINDOWS31J can show the mapped character of a UCS-2 target.
bool Windows31JShows(CconvSession* s, uint32_t code) {
  int plainly = Windows31JShowsPlainly(s->char_set_id, code);
  if (plainly >= 0) return plainly == 1;
  for (const CconvPreparedChar& sub : s->substitutes)
    if (sub.set_id != 0 && sub.code == code) return true;
  if (const CconvCharset* w31j = FindCharset(kIdWindows31J)) {
    uint32_t unicode = ResolveUnicode(s);
    if (unicode != 0)
      for (const CconvCodeSet* set : w31j->sets)
        if (set->kind != 3 && set->to_code->Lookup(unicode) != 0) return true;
  }
  return false;
}

// "&#x1F600;" or "&#128512;", each character one unit.
void PutReference(ByteRun* run, uint32_t number, bool hex, bool little) {
  char digits[16];
  int n = 0;
  uint32_t base = hex ? 16 : 10;
  do {
    uint32_t d = number % base;
    digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'A' + d - 10);
    number /= base;
  } while (number != 0);
  run->PutUnit('&', 2, little);
  run->PutUnit('#', 2, little);
  if (hex) run->PutUnit('x', 2, little);
  while (n > 0) run->PutUnit(static_cast<uint8_t>(digits[--n]), 2, little);
  run->PutUnit(';', 2, little);
}

}  // namespace

void DecodeUcs4(CconvSession* s) {
  if (!TakeByteOrderMark(s, 4)) return;
  DecodeUnicode(s, ReadUcs4, false, false);
}

void DecodeUtf16(CconvSession* s) {
  if (!TakeByteOrderMark(s, 2)) return;
  DecodeUnicode(s, ReadUtf16, false, true);
}

void DecodeUtf8(CconvSession* s) {
  if (!TakeByteOrderMark(s, 3)) return;
  DecodeUnicode(s, ReadUtf8, true, true);
}

void DecodeUcs2(CconvSession* s) {
  if (!TakeByteOrderMark(s, 2)) return;
  if (s->input_position >= s->input_length) {
    s->status = kStDone;
    return;
  }
  TableDecode(s, nullptr, true);
  if (s->status == kStDecoded && s->unicode == 0) s->unicode = s->raw_code;
}

void EncodeUcs4(CconvSession* s) { EncodeUnicode(s, PutUcs4, 4, true); }
void EncodeUtf16(CconvSession* s) { EncodeUnicode(s, PutUtf16, 2, true); }
void EncodeUtf8(CconvSession* s) { EncodeUnicode(s, PutUtf8, 1, true); }

void EncodeUcs2(CconvSession* s) {
  if (s->status == kStFlush) {
    s->status = kStDone;
    return;
  }
  bool little = !OutputBigEndian(s);
  bool prepared = s->status == kStFull;
  int32_t refs = s->options.char_references;
  ByteRun run;
  bool reference = false;
  uint32_t number = 0;
  if (!prepared) {
    bool mapped = MapCharacter(s) && s->out_code <= 0xFFFF && ResolveUnicode(s) <= 0xFFFF;
    if (!mapped) {
      uint32_t unicode = ResolveUnicode(s);
      if (refs == 0 || unicode < 0x10000 || unicode > 0x10FFFF) {
        s->status = kStUnmappable;
        return;
      }
      reference = true, number = unicode;
    } else if (refs != 0 && !IsLineEnd(s) && !Windows31JShows(s, s->out_code)) {
      reference = true, number = s->out_code;
    }
  }
  if (s->options.write_bom) {
    ByteRun mark;
    mark.PutUnit(0xFEFF, 2, little);
    if (!WriteByteOrderMark(s, mark)) return;
  }
  if (reference) PutReference(&run, number, refs == 1, little);
  else if (!prepared && IsLineEnd(s)) PutLineEnd(s, &run, 2, little);
  else run.PutUnit(s->out_code, 2, little);
  if (!prepared && !reference && s->second_code_point != 0 && s->second_code_point <= 0xFFFF)
    run.PutUnit(s->second_code_point, 2, little);
  Commit(s, run);
}

}  // namespace cconv
