// The pre-steps of the UTF-7 and HZ sources. A UTF-7 session decodes
// through the UCS-4 codec, an HZ session through the GBK codec: the
// pre-step turns the caller's bytes into that intermediate form, chunk by
// chunk on the stack, and the driver converts each chunk.
//
// Positions stay in the caller's bytes. Every intermediate unit (a 4-byte
// character of UTF-7, a byte of HZ) carries the source position and
// pre-step state from which it can be produced again, so that wherever the
// driver stops (output full, input cut, invalid input) the session's
// position and state say exactly where the next call resumes, also after
// the caller has moved its unconsumed bytes to the front of its buffer.
//
// The state lives in the session's pre-step word: bits 0-7 the mode (1
// UTF-7, 2 HZ), bit 8 "inside a base64 run" (UTF-7) or "GB mode" (HZ), bits
// 16-23 the number of 16-bit units of the base64 run at the position that
// were already delivered. A base64 run is resumed only where its bits are
// aligned (every eight letters, no surrogate pending), so that count stays
// small.
#include "codecs.h"

namespace cconv {

namespace {

constexpr int32_t kModeMask = 0xFF;
constexpr int32_t kShifted = 0x100;  // in a base64 run / in GB mode
constexpr int kSkipShift = 16;

struct Resume {
  int32_t pos;
  int32_t state;  // kShifted | units << kSkipShift
};

enum class End { kInput, kChunk, kCut, kBad };

struct Chunk {
  int units = 0;     // intermediate units produced
  End end = End::kInput;
  Resume next{};     // where the source goes on after the chunk
  Resume bad{};      // after a malformed piece (End::kBad)
};

constexpr int kUtf7Units = 1024;
constexpr int kHzUnits = 4096;

int Base64Value(uint8_t c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool Utf7Direct(uint8_t c) { return c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c <= 0x7D && c != '+' && c != '\\'); }

// UTF-7 into 4-byte little-endian units, at most `cap` of them.
Chunk Utf7(const uint8_t* src, int32_t len, Resume at, bool skip_invalid, uint8_t* out, Resume* rec, int cap) {
  Chunk c;
  int32_t p = at.pos;
  bool run = (at.state & kShifted) != 0;
  int skip = (at.state >> kSkipShift) & 0xFF;
  // Inside a run: the resume point (aligned letter), units since it, bits.
  int32_t rp = p;
  int units = 0;
  uint32_t bits = 0;
  int nbits = 0;
  uint32_t high = 0;
  int high_index = 0;  // units count before the pending high surrogate
  auto emit = [&](uint32_t value, Resume from) {
    rec[c.units] = from;
    uint8_t* o = out + 4 * c.units;
    o[0] = static_cast<uint8_t>(value), o[1] = static_cast<uint8_t>(value >> 8);
    o[2] = static_cast<uint8_t>(value >> 16), o[3] = static_cast<uint8_t>(value >> 24);
    ++c.units;
  };
  auto run_state = [&](int n) { return kShifted | n << kSkipShift; };
  for (;;) {
    if (c.units >= cap - 1) {  // room for a surrogate pair's one unit
      c.end = End::kChunk;
      // In a run, the next chunk starts again at the aligned letter and
      // skips what this one delivered (a pending high surrogate is read
      // again with its low one).
      c.next = run ? Resume{rp, run_state(high ? high_index : units)} : Resume{p, 0};
      return c;
    }
    if (!run) {
      if (p >= len) {
        c.end = End::kInput;
        c.next = Resume{p, 0};
        return c;
      }
      uint8_t b = src[p];
      if (b == '+') {
        if (p + 1 >= len) {
          c.end = End::kCut;
          c.next = Resume{p, 0};
          return c;
        }
        if (src[p + 1] == '-') {
          emit('+', Resume{p, 0});
          p += 2;
          continue;
        }
        run = true;
        rp = ++p;
        units = 0, bits = 0, nbits = 0, high = 0, skip = 0;
        continue;
      }
      if (Utf7Direct(b)) {
        emit(b, Resume{p, 0});
        ++p;
        continue;
      }
      if (skip_invalid) {
        ++p;
        continue;
      }
      c.end = End::kBad;
      c.bad = Resume{p + 1, 0};
      return c;
    }
    // In a base64 run.
    if (p >= len) {
      bool clean = nbits == 0 && high == 0 && units == 0 && rp == p;
      c.end = clean ? End::kInput : End::kCut;
      c.next = Resume{rp, run_state(high ? high_index : units)};
      return c;
    }
    uint8_t b = src[p];
    int v = Base64Value(b);
    if (v >= 0) {
      ++p;
      bits = bits << 6 | static_cast<uint32_t>(v);
      nbits += 6;
      if (nbits >= 16) {
        nbits -= 16;
        uint32_t unit = (bits >> nbits) & 0xFFFF;
        bits &= (1u << nbits) - 1;
        int before = units++;
        if (before < skip) {
          // Delivered by an earlier call; a delivered high surrogate
          // always had its low one delivered with it, or was dropped.
        } else if (high != 0) {
          if (unit >= 0xDC00 && unit <= 0xDFFF) {
            emit(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00), Resume{rp, run_state(high_index)});
            high = 0;
          } else if (!skip_invalid) {
            c.end = End::kBad;
            c.bad = Resume{rp, run_state(high_index + 1)};  // just after the lone high surrogate
            return c;
          } else if (unit >= 0xD800 && unit <= 0xDBFF) {
            high = unit, high_index = before;  // the lone one is dropped
          } else {
            high = 0;
            emit(unit, Resume{rp, run_state(before)});
          }
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
          high = unit, high_index = before;
        } else {
          emit(unit, Resume{rp, run_state(before)});
        }
      }
      if (nbits == 0 && high == 0) {
        rp = p;
        units = 0;
        skip = 0;
      }
      continue;
    }
    // The run ends here: no unit may be pending and leftover bits are 0.
    bool malformed = high != 0 || nbits >= 6 || bits != 0;
    int32_t after = b == '-' ? p + 1 : p;
    run = false;
    if (malformed && !skip_invalid) {
      c.end = End::kBad;
      c.bad = Resume{after, 0};
      return c;
    }
    p = after;
  }
}

// HZ into GBK bytes, at most `cap` of them.
Chunk Hz(const uint8_t* src, int32_t len, Resume at, uint8_t* out, Resume* rec, int cap) {
  Chunk c;
  int32_t p = at.pos;
  bool gb = (at.state & kShifted) != 0;
  bool odd = false;  // half a GB pair produced
  auto emit = [&](uint8_t value, Resume from) {
    rec[c.units] = from;
    out[c.units++] = value;
    if (gb) odd = !odd;
  };
  for (;;) {
    int32_t state = gb ? kShifted : 0;
    if (c.units >= cap - 1 && !odd) {
      c.end = End::kChunk;
      c.next = Resume{p, state};
      return c;
    }
    if (p >= len) {
      c.end = End::kInput;
      c.next = Resume{p, state};
      return c;
    }
    uint8_t b = src[p];
    if (b == '~') {
      if (p + 1 >= len) {
        c.end = End::kCut;
        c.next = Resume{p, state};
        return c;
      }
      uint8_t n = src[p + 1];
      if (!gb) {
        if (n == '~') {
          emit('~', Resume{p, state});
          p += 2;
        } else if (n == '{') {
          gb = true, odd = false;
          p += 2;
        } else if (n == '\n') {
          p += 2;
        } else {
          ++p;  // the "~" goes, the byte is read as it is
        }
      } else if (n == '}') {
        gb = false, odd = false;
        p += 2;
      } else {
        emit(0xFE, Resume{p, state});
        ++p;
      }
      continue;
    }
    emit(gb ? static_cast<uint8_t>(b | 0x80) : b, Resume{p, state});
    ++p;
  }
}

}  // namespace

int RunWithPreStep(CconvSession* s) {
  const uint8_t* input = s->input;
  int32_t length = s->input_length;
  int32_t mode = s->prestep_mode & kModeMask;
  Resume at{s->input_position, s->prestep_mode & ~kModeMask};
  bool utf7 = mode == 1;
  int unit_bytes = utf7 ? 4 : 1;
  uint8_t buffer[kHzUnits];
  Resume rec[kHzUnits + 1];
  static_assert(kUtf7Units * 4 <= kHzUnits);
  int status = kStDone;
  if (input == nullptr || length <= 0 || at.pos < 0 || at.pos > length) {
    // Nothing to convert; the driver reports on the caller's bytes.
    status = DriveSession(s);
    return status;
  }
  for (;;) {
    Chunk c = utf7 ? Utf7(input, length, at, s->charset_options.skip_invalid != 0, buffer, rec, kUtf7Units)
                   : Hz(input, length, at, buffer, rec, kHzUnits);
    rec[c.units] = c.end == End::kBad ? c.bad : c.next;
    s->input = buffer;
    s->input_length = c.units * unit_bytes;
    s->input_position = 0;
    status = DriveSession(s);
    int index = s->input_position / unit_bytes;
    if (status == kStDone) {
      at = rec[c.units];
      if (c.end == End::kChunk) continue;
      if (c.end == End::kCut) status = kStNeedInput;
      else if (c.end == End::kBad) status = kStInvalid;
      break;
    }
    at = rec[index];
    // A character cut by the chunk's end (not the input's) is read again
    // at the start of the next chunk.
    if (status == kStNeedInput && c.end == End::kChunk && index > 0) continue;
    break;
  }
  s->input = input;
  s->input_length = length;
  s->input_position = at.pos;
  s->prestep_mode = mode | at.state;
  s->status = status;
  return status;
}

}  // namespace cconv
