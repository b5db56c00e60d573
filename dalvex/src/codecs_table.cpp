// The table codecs and the Shift_JIS family: the table decoder and encoder
// ("SAME", "OASYS_WIN", and the byte charsets of Chinese, Korean and Latin
// text), the Shift_JIS, Shift_JIS-2004 and WINDOWS31J decoders, the
// encoders that differ from the table encoder only by a code transform, and
// the OASYS_ONLINE decoder.
//
// Codes of byte charsets are read and written lead byte first whatever the
// session's byte-order flags say: those flags govern the UCS-2, UTF-16 and
// UCS-4 codecs only.
#include <algorithm>

#include "codecs.h"

namespace cconv {

namespace {

void Accept(CconvSession* s, const CconvCodeSet* set, uint32_t raw, uint32_t code, uint32_t unicode, int bytes) {
  s->char_set_id = set->id;
  s->char_set_kind = set->kind;
  s->raw_code = raw;
  s->code = code;
  s->unicode = unicode;
  s->input_position += bytes;
  ++s->decoded_count;
  s->status = kStDecoded;
}

// Invalid input of the byte decoders: the position goes one byte past the
// lead byte, and the driver goes on from there under skip-invalid.
void Invalid(CconvSession* s, int bytes = 1) {
  s->input_position += bytes;
  s->status = kStInvalid;
}

// A set that must be present for its bytes to be valid, with its table
// ready.
CconvCodeSet* ReadySet(const CconvSession* s, int32_t id) {
  CconvCodeSet* set = SourceSet(s, id);
  if (set && set->kind != 3) set->to_unicode->Ensure();
  return set;
}

uint32_t ShiftJisToJisTransform(uint32_t unit, int width) {
  return width == 2 ? SjisToJis(unit >> 8, unit & 0xFF) : unit;
}

uint32_t NoTransform(uint32_t code) { return code; }
uint32_t SjisTransform(uint32_t code) { return JisToSjis(code); }
uint32_t Sjis2004Transform(uint32_t code) { return JisToSjis2004(code); }

// Shift_JIS, Shift_JIS-2004 and WINDOWS31J input: single bytes, then a
// double-byte code looked up in `sets` in order.
void DecodeSjisFamily(CconvSession* s, bool windows) {
  const uint8_t* in = s->input + s->input_position;
  int32_t avail = s->input_length - s->input_position;
  uint32_t b = in[0];
  if (b < 0x80) {
    CconvCodeSet* set = ReadySet(s, kIdJisX0201Latin);
    if (set == nullptr) return Invalid(s);
    return Accept(s, set, b, b, set->kind == 3 ? 0 : set->to_unicode->Lookup(b), 1);
  }
  if (b >= 0xA1 && b <= 0xDF) {
    CconvCodeSet* set = ReadySet(s, kIdJisX0201Kana);
    uint32_t unicode = set && set->kind != 3 ? set->to_unicode->Lookup(b) : 0;
    if (unicode == 0) return Invalid(s);
    return Accept(s, set, b, b, unicode, 1);
  }
  if (!((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC))) return Invalid(s);
  if (avail < 2) {
    s->status = kStNeedInput;
    return;
  }
  uint32_t trail = in[1];
  uint32_t raw = b << 8 | trail;
  if (!windows && s->source_id == kIdShiftJis2004) {
    uint32_t code = Sjis2004ToJis(b, trail);
    CconvCodeSet* set = ReadySet(s, kIdJisX0213);
    if (code == 0 || set == nullptr || set->kind == 3) return Invalid(s);
    uint32_t base, combining;
    if (PairOfCode(code, &base, &combining)) {
      Accept(s, set, raw, code, base, 2);
      s->second_code_point = combining;
      return;
    }
    uint32_t unicode = set->to_unicode->Lookup(code);
    if (unicode == 0) return Invalid(s);
    return Accept(s, set, raw, code, unicode, 2);
  }
  uint32_t code = SjisToJis(b, trail);
  if (code == 0) return Invalid(s);
  static constexpr int32_t kShiftJisSets[] = {kIdJisX0208};
  static constexpr int32_t kWindowsSets[] = {kIdJisX0208, kIdNecExt, kIdIbmExt, kIdWindows31JUser};
  const int32_t* ids = windows ? kWindowsSets : kShiftJisSets;
  size_t count = windows ? std::size(kWindowsSets) : std::size(kShiftJisSets);
  for (size_t i = 0; i < count; ++i) {
    CconvCodeSet* set = ReadySet(s, ids[i]);
    if (set == nullptr) continue;
    uint32_t unicode = 0;
    if (set->kind == 3) {
      if (code >= set->area_start && code - set->area_start < set->area_count)
        unicode = 0xE000 + (code - set->area_start);
    } else {
      unicode = set->to_unicode->Lookup(code);
    }
    if (unicode != 0) return Accept(s, set, raw, code, unicode, 2);
  }
  Invalid(s);
}

}  // namespace

void TableDecode(CconvSession* s, CodeTransform transform, bool byte_order_from_options) {
  const CconvCharset* source = s->source;
  const uint8_t* in = s->input + s->input_position;
  int32_t avail = s->input_length - s->input_position;
  bool big = byte_order_from_options ? InputBigEndian(s) : true;
  bool cut = false;
  int widest = 0;
  for (const CconvCodeSet* set : source->sets) {
    int width = set->id == kIdJisX0213 ? 2 : set->unit_width;
    if (width < 1 || width > 4) continue;
    if (width > avail) {
      cut = true;
      continue;
    }
    uint32_t unit = 0;
    for (int k = 0; k < width; ++k) unit |= static_cast<uint32_t>(in[k]) << (big ? 8 * (width - 1 - k) : 8 * k);
    uint32_t code = unit == 0 || transform == nullptr ? unit : transform(unit, width);
    if (code == 0 && unit != 0) continue;  // the transform says this set does not apply
    widest = std::max(widest, width);
    if (set->kind == 3) {
      if (code >= set->area_start && code - set->area_start < set->area_count)
        return Accept(s, set, unit, code, 0xE000 + (code - set->area_start), width);
      continue;
    }
    uint32_t unicode = set->to_unicode->Lookup(code);
    if (unicode != 0 || IsControlCode(code)) return Accept(s, set, unit, code, unicode, width);
  }
  if (cut) {
    s->status = kStNeedInput;
    return;
  }
  s->status = kStInvalid;
  if (s->charset_options.skip_invalid) s->input_position += widest > 0 ? widest : 1;
}

void TableEncode(CconvSession* s, uint32_t (*transform)(uint32_t)) {
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
  int width = s->out_unit_width ? s->out_unit_width : 1;
  if (!prepared && IsLineEnd(s)) {
    PutLineEnd(s, &run, width, false);
  } else if (s->out_multi_length != 0) {
    // A run of codes from a further table: unit by unit, each transformed.
    int multi = s->out_multi_length;
    if (multi < width) {
      s->status = kStNoCodec;
      return;
    }
    uint32_t mask = width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
    for (int done = width; done <= multi; done += width)
      run.PutUnit(transform((s->out_code >> (8 * (multi - done))) & mask), width);
  } else {
    run.PutUnit(transform(s->out_code), width);
  }
  if (!prepared && s->second_code_point != 0)
    if (uint32_t code = LeftoverCombiningCode(s->second_code_point)) run.PutUnit(transform(code), 2);
  Commit(s, run);
}

void DecodeSame(CconvSession* s) { TableDecode(s, nullptr, false); }
void EncodeSame(CconvSession* s) { TableEncode(s, NoTransform); }
void DecodeOasysWin(CconvSession* s) { TableDecode(s, ShiftJisToJisTransform, false); }
void DecodeShiftJis(CconvSession* s) { DecodeSjisFamily(s, false); }
void DecodeWindows31J(CconvSession* s) { DecodeSjisFamily(s, true); }
void EncodeShiftJis(CconvSession* s) { TableEncode(s, SjisTransform); }
void EncodeShiftJis2004(CconvSession* s) { TableEncode(s, Sjis2004Transform); }

void DecodeOasysOnline(CconvSession* s) {
  const uint8_t* in = s->input + s->input_position;
  int32_t avail = s->input_length - s->input_position;
  uint32_t b = in[0];
  if (b >= 0x01 && b <= 0x20) return Invalid(s);
  if (avail < 2) {
    s->status = kStNeedInput;
    return;
  }
  uint32_t next = in[1];
  int32_t id;
  uint32_t code;
  if (b & 0x80) {
    id = kIdOasysExt;
    code = (b & 0x7F) << 8 | next;
  } else if (b == 0) {
    id = next < 0xA0 ? kIdJisX0201Latin : kIdJisX0201Kana;
    code = next;
  } else {
    id = kIdJisC6226;
    code = b << 8 | next;
  }
  const CconvCodeSet* set = nullptr;
  for (const CconvCodeSet* own : s->source->sets)
    if (own->id == id) set = own;
  if (set == nullptr) return Invalid(s);
  uint32_t unicode = 0;
  if (set->kind == 3) {
    if (code >= set->area_start && code - set->area_start < set->area_count)
      unicode = 0xE000 + (code - set->area_start);
  } else {
    unicode = set->to_unicode->Lookup(code);
  }
  if (unicode == 0 && !IsControlCode(code)) return Invalid(s);
  Accept(s, set, b << 8 | next, code, unicode, 2);
}

}  // namespace cconv
