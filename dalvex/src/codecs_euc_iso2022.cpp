// The EUC codecs (EUC-JP, EUC-JIS-2004), the fixed-width EUC codec
// (EUC-JP-FIX, two bytes a character) and the ISO-2022 codec (ISO-2022-JP,
// ISO-2022-JP-2004).
//
// Their decoders give a character's set and JIS-style code only; the
// encoder finds the Unicode value in the source set's table when it needs
// one, so that a character passing between two charsets that share its set
// (JIS X 0208 from EUC-JP to ISO-2022-JP, say) is never looked up.
//
// The ISO-2022 decoder keeps the set designated in the input in the
// session's decoder shift state (set id, plus the plane bit for JIS X 0213
// plane 2); the encoder keeps the set and plane designated in the output in
// the encoder's two shift words.
#include "codecs.h"

namespace cconv {

namespace {

constexpr uint8_t kEsc = 0x1B;

void Accept(CconvSession* s, int32_t set_id, uint16_t kind, uint32_t raw, uint32_t code, int bytes) {
  s->char_set_id = set_id;
  s->char_set_kind = kind;
  s->raw_code = raw;
  s->code = code;
  s->unicode = 0;
  s->input_position += bytes;
  ++s->decoded_count;
  s->status = kStDecoded;
}

void Invalid(CconvSession* s, int bytes = 1) {
  s->input_position += bytes;
  s->status = kStInvalid;
}

const CconvCodeSet* OwnSet(const CconvSession* s, int32_t id) {
  for (const CconvCodeSet* set : s->source->sets)
    if (set->id == id) return set;
  return nullptr;
}

void DecodeEucWith(CconvSession* s, bool jis2004) {
  const uint8_t* in = s->input + s->input_position;
  int32_t avail = s->input_length - s->input_position;
  uint32_t b = in[0];
  int32_t id;
  uint32_t code, raw;
  int bytes;
  if (b <= 0x7E) {
    id = kIdIso646Irv, code = raw = b, bytes = 1;
  } else if (b == 0x8E) {
    if (avail < 2) {
      s->status = kStNeedInput;
      return;
    }
    if (in[1] < 0xA0) return Invalid(s);
    id = kIdJisX0201Kana, code = in[1], raw = b << 8 | in[1], bytes = 2;
  } else if (b == 0x8F) {
    if ((avail >= 2 && in[1] < 0xA0) || (avail >= 3 && in[2] < 0xA0)) return Invalid(s);
    if (avail < 3) {
      s->status = kStNeedInput;
      return;
    }
    id = jis2004 ? kIdJisX0213 : kIdJisX0212;
    code = (in[1] & 0x7Fu) << 8 | (in[2] & 0x7Fu);
    if (jis2004) code |= kPlane2;
    raw = b << 16 | in[1] << 8 | in[2], bytes = 3;
  } else if (b >= 0xA0) {
    if (avail < 2) {
      s->status = kStNeedInput;
      return;
    }
    if (in[1] < 0xA0) return Invalid(s);
    id = jis2004 ? kIdJisX0213 : kIdJisX0208;
    code = (b & 0x7F) << 8 | (in[1] & 0x7Fu);
    raw = b << 8 | in[1], bytes = 2;
  } else {
    return Invalid(s);
  }
  const CconvCodeSet* set = OwnSet(s, id);
  if (set == nullptr) return Invalid(s);
  Accept(s, id, set->kind, raw, code, bytes);
}

// The double-byte code of a JIS X 0208 row that EUC can carry: rows
// beyond 94 (0x7F-0x92, the user-defined rows of Shift_JIS) cannot.
bool EucRowOk(uint32_t code) {
  uint32_t hi = (code >> 8) & 0xFF;
  return !(hi >= 0x7F && hi <= 0x92);
}

// Appends the EUC bytes of one code of `set`; false when EUC has no form
// for it.
bool PutEuc(ByteRun* run, int32_t set, uint32_t code) {
  uint8_t hi = static_cast<uint8_t>(code >> 8), lo = static_cast<uint8_t>(code);
  switch (set) {
    case kIdIso646Irv:
      run->Put(lo);
      return true;
    case kIdJisX0201Kana:
      run->Put(0x8E);
      run->Put(lo);
      return true;
    case kIdJisX0208:
      if (!EucRowOk(code)) return false;
      run->Put(hi | 0x80);
      run->Put(lo | 0x80);
      return true;
    case kIdJisX0213:
      if (code & kPlane2) run->Put(0x8F);
      run->Put(hi | 0x80);
      run->Put(lo | 0x80);
      return true;
    case kIdJisX0212:
      run->Put(0x8F);
      run->Put(hi | 0x80);
      run->Put(lo | 0x80);
      return true;
    default:
      return false;
  }
}

bool PutEucFix(ByteRun* run, int32_t set, uint32_t code) {
  uint8_t hi = static_cast<uint8_t>(code >> 8), lo = static_cast<uint8_t>(code);
  switch (set) {
    case kIdIso646Irv:
    case kIdJisX0201Kana:
      run->Put(0);
      run->Put(lo);
      return true;
    case kIdJisX0208:
      if (!EucRowOk(code)) return false;
      run->Put(hi | 0x80);
      run->Put(lo | 0x80);
      return true;
    case kIdJisX0212:
      run->Put(hi | 0x80);
      run->Put(lo & 0x7F);
      return true;
    default:
      return false;
  }
}

// The set in which a combining character left over after its base is
// written: the base's own double-byte set, else the target's JIS X 0213 or
// JIS X 0208 set.
int32_t LeftoverSet(const CconvSession* s) {
  if (s->out_set_id == kIdJisX0208 || s->out_set_id == kIdJisX0213) return s->out_set_id;
  return TargetSet(s, kIdJisX0213) ? kIdJisX0213 : kIdJisX0208;
}

// The common shape of the EUC encoders: map, then write each code by `put`.
void EncodeEucWith(CconvSession* s, bool (*put)(ByteRun*, int32_t, uint32_t), bool fixed) {
  if (s->status == kStFlush) {
    s->status = kStDone;
    return;
  }
  bool prepared = s->status == kStFull;
  if (!prepared && !MapCharacter(s)) {
    s->status = kStUnmappable;
    return;
  }
  ByteRun run;
  if (!prepared && IsLineEnd(s)) {
    if (fixed) {
      // Every character of the fixed-width form is two bytes.
      int form = s->options.line_end_form;
      if (form != 3) run.PutUnit('\r', 2);
      if (form != 2) run.PutUnit('\n', 2);
    } else {
      PutLineEnd(s, &run, 1, false);
    }
  } else if (!put(&run, s->out_set_id, s->out_code)) {
    s->status = kStUnmappable;
    return;
  }
  if (!prepared && s->second_code_point != 0)
    if (uint32_t code = LeftoverCombiningCode(s->second_code_point)) put(&run, LeftoverSet(s), code);
  Commit(s, run);
}

void PutDesignation(ByteRun* run, const char* tail) {
  run->Put(kEsc);
  for (const char* p = tail; *p; ++p) run->Put(static_cast<uint8_t>(*p));
}

// One ISO-2022 code of a designated set: one byte, or two.
void PutIso2022(ByteRun* run, int32_t set, uint32_t code, int width) {
  if (set == kIdJisX0201Kana) {
    run->Put(static_cast<uint8_t>(code & 0x7F));  // seven-bit form of 0xA1-0xDF
  } else if (width == 1) {
    run->Put(static_cast<uint8_t>(code));
  } else {
    run->Put(static_cast<uint8_t>(code >> 8));
    run->Put(static_cast<uint8_t>(code));
  }
}

}  // namespace

const char* Iso2022Designation(int32_t set, bool plane2, bool jp2004_target) {
  switch (set) {
    case kIdIso646Irv: return "(B";
    case kIdJisX0201Latin: return "(J";
    case kIdJisX0201Kana: return "(I";
    case kIdJisC6226: return "$@";
    case kIdJisX0208: return jp2004_target ? "$(Q" : "$B";
    case kIdJisX0213: return plane2 ? "$(P" : "$(Q";
    default: return nullptr;
  }
}

int32_t Iso2022DesignatedSet(std::string_view seq) {
  if (seq == "(B") return kIdIso646Irv;
  if (seq == "(J") return kIdJisX0201Latin;
  if (seq == "(I") return kIdJisX0201Kana;
  if (seq == "$@") return kIdJisC6226;
  if (seq == "$B") return kIdJisX0208;
  if (seq == "$(Q") return kIdJisX0213;
  if (seq == "$(P") return kIdJisX0213 | kPlane2;
  return 0;
}

void DecodeEucJp(CconvSession* s) { DecodeEucWith(s, false); }
void DecodeEucJis2004(CconvSession* s) { DecodeEucWith(s, true); }
void EncodeEuc(CconvSession* s) { EncodeEucWith(s, PutEuc, false); }
void EncodeEucFix(CconvSession* s) { EncodeEucWith(s, PutEucFix, true); }

void DecodeEucFix(CconvSession* s) {
  const uint8_t* in = s->input + s->input_position;
  int32_t avail = s->input_length - s->input_position;
  uint32_t b = in[0];
  if (b != 0 && b < 0xA0) return Invalid(s);
  if (avail < 2) {
    s->status = kStNeedInput;
    return;
  }
  uint32_t n = in[1];
  int32_t id;
  uint32_t code;
  if (b == 0) {
    if (n <= 0x7E) id = kIdIso646Irv, code = n;
    else if (n >= 0xA0) id = kIdJisX0201Kana, code = n;
    else return Invalid(s);
  } else if (n >= 0xA0) {
    id = kIdJisX0208, code = (b & 0x7F) << 8 | (n & 0x7F);
  } else if (n >= 0x21 && n <= 0x7E) {
    id = kIdJisX0212, code = (b & 0x7F) << 8 | n;
  } else {
    return Invalid(s);
  }
  const CconvCodeSet* set = OwnSet(s, id);
  if (set == nullptr) return Invalid(s);
  Accept(s, id, set->kind, b << 8 | n, code, 2);
}

void DecodeIso2022(CconvSession* s) {
  const uint8_t* in = s->input;
  int32_t len = s->input_length;
  for (;;) {
    int32_t pos = s->input_position;
    if (pos >= len) {
      s->status = kStDone;  // escape sequences with nothing after them
      return;
    }
    uint32_t b = in[pos];
    if (b == kEsc) {
      // ESC, intermediate bytes 0x20-0x2F, a final byte 0x30-0x7E.
      int32_t end = pos + 1;
      while (end < len && in[end] >= 0x20 && in[end] <= 0x2F) ++end;
      if (end >= len) {
        s->status = kStNeedInput;
        return;
      }
      if (in[end] < 0x30 || in[end] > 0x7E) return Invalid(s);  // no escape sequence at all
      std::string_view seq(reinterpret_cast<const char*>(in + pos + 1), static_cast<size_t>(end - pos));
      int32_t set = Iso2022DesignatedSet(seq);
      s->input_position = end + 1;
      if (set == 0) {
        s->status = kStInvalid;  // a complete sequence this codec does not know
        return;
      }
      s->decode_shift = set;
      continue;
    }
    int32_t designated = s->decode_shift & ~kPlane2;
    const CconvCodeSet* set = OwnSet(s, designated);
    if (set == nullptr) return Invalid(s);
    int width = designated == kIdJisX0213 ? 2 : set->unit_width;
    if (width == 1) {
      uint32_t code = designated == kIdJisX0201Kana && b >= 0x21 && b <= 0x5F ? b | 0x80 : b;
      return Accept(s, designated, set->kind, b, code, 1);
    }
    if (b == '\t' || b == '\n' || b == '\r') {
      const CconvCodeSet* ascii = OwnSet(s, kIdIso646Irv);
      if (ascii == nullptr) return Invalid(s);
      return Accept(s, kIdIso646Irv, ascii->kind, b, b, 1);
    }
    if (len - pos < 2) {
      s->status = kStNeedInput;
      return;
    }
    uint32_t code = b << 8 | in[pos + 1];
    if (s->decode_shift & kPlane2) code |= kPlane2;
    return Accept(s, designated, set->kind, b << 8 | in[pos + 1], code, 2);
  }
}

void EncodeIso2022(CconvSession* s) {
  ByteRun run;
  if (s->status == kStFlush) {
    if (s->encode_shift_set != kIdIso646Irv) {
      PutDesignation(&run, "(B");
      if (!Commit(s, run, false)) return;
      s->encode_shift_set = kIdIso646Irv;
      s->encode_shift_mode = 0;
    }
    s->status = kStDone;
    return;
  }
  bool prepared = s->status == kStFull;
  if (!prepared && !MapCharacter(s)) {
    s->status = kStUnmappable;
    return;
  }
  bool jp2004 = s->target_id == kIdIso2022Jp2004;
  int32_t set = s->out_set_id;
  int32_t plane = set == kIdJisX0213 ? static_cast<int32_t>(s->out_code & kPlane2) : 0;
  const char* designation = Iso2022Designation(set, plane != 0, jp2004);
  if (designation == nullptr) {
    s->status = kStUnmappable;
    return;
  }
  if (set != s->encode_shift_set || plane != s->encode_shift_mode) {
    // A designation written stays written, even when its character does
    // not fit after it.
    PutDesignation(&run, designation);
    if (!Commit(s, run, false)) return;
    s->encode_shift_set = set;
    s->encode_shift_mode = plane;
    run.n = 0;
  }
  int width = s->out_unit_width ? s->out_unit_width : 1;
  if (!prepared && IsLineEnd(s)) PutLineEnd(s, &run, width, false);
  else PutIso2022(&run, set, s->out_code, width);
  int32_t after_set = set, after_plane = plane;
  if (!prepared && s->second_code_point != 0) {
    if (uint32_t code = LeftoverCombiningCode(s->second_code_point)) {
      int32_t leftover_set = LeftoverSet(s);
      if (leftover_set != after_set || after_plane != 0) {
        PutDesignation(&run, Iso2022Designation(leftover_set, false, jp2004));
        after_set = leftover_set, after_plane = 0;
      }
      PutIso2022(&run, leftover_set, code, 2);
    }
  }
  if (Commit(s, run)) {
    s->encode_shift_set = after_set;
    s->encode_shift_mode = after_plane;
  }
}

}  // namespace cconv
