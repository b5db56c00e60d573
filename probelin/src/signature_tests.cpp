// The signature tests chosen by the head kind, and the Visio drawing test.
//
// Each test looks at the head buffer (or at bytes a compound-file stream
// gave) and, when it recognises a format, writes the format id, sub-version,
// variant, protection flag and language into the call's result; it answers
// 1, else 0. RunHeadKindTest maps a head kind to its one test.
#include <algorithm>
#include <cstring>

#include "detect.h"

namespace probelin {

namespace {

constexpr int kOasysMarkerSpan = 574;  // the combined file's words lie 246 and 572 bytes after its marker

int TestPdf(DtctWork& w) {
  ByteView h = Head(w);
  if (!h.Equals(0, "%PDF-")) return 0;
  uint8_t major = h.U8(5), point = h.U8(6), minor = h.U8(7);
  int32_t sub = 99;
  if (major >= '1' && major <= '9' && point == '.')
    sub = (major - '0') * 10 + ((minor >= '0' && minor <= '9') ? minor - '0' : 0) - 10;
  SetFormat(w, 200, sub);
  return 1;
}

int TestRtf(DtctWork& w) {
  ByteView h = Head(w);
  if (!h.EqualsFolded(0, "{\\RTF")) return 0;
  DtctResult& r = *w.result;
  SetFormat(w, 45, 0);
  size_t at = 5, digits = 0;
  while (h.U8(at + digits) >= '0' && h.U8(at + digits) <= '9') ++digits;
  // The version digits go into a 32-byte field: at most 31 of them.
  size_t kept = std::min<size_t>(digits, sizeof r.code_text - 1);
  std::memcpy(r.code_text, h.data + at, kept);
  r.code_text[kept] = '\0';
  if (digits == 1 && h.U8(at) == '1' && h.EqualsFolded(at + 1, "\\JIS")) r.format_id = 261;
  if (h.Equals(19, "1252")) w.language = kEnglish;
  else if (h.Equals(19, "936")) w.language = kSimplifiedChinese;
  else if (h.Equals(19, "932")) w.language = kJapanese;
  else if (h.Equals(19, "949")) w.language = kKorean;
  else if (h.Equals(19, "950")) w.language = kTraditionalChinese;
  else w.language = kNoLanguage;
  return 1;
}

int TestLotus(DtctWork& w) {
  ByteView h = Head(w), t = Tail(w);
  DtctResult& r = *w.result;
  uint8_t b2 = h.U8(2);
  if (h.U8(0) != 0 || h.U8(1) != 0 || h.U8(3) != 0 || (b2 != 2 && b2 != 26) || w.tail_length <= 6) return 0;
  size_t n = size_t(w.tail_length);
  bool end_record = t.Le32(n - 4) == 1 || t.Le32(n - 6) == 1;
  if (end_record) {
    if (h.U8(5) == 128) {
      r.scratch = 15;
      if (h.U8(4) == 6 || h.U8(4) == 7) r.sub = h.U8(4) == 6 ? 2 : 3;
    }
    if (b2 == 2) {
      switch (h.Be16(4)) {
        case 262: SetFormat(w, 314, 2); r.variant = 3; return 1;
        case 518:
          SetFormat(w, 314, 2);
          r.variant = 4;
          if (h.U8(6) == 75) r.protection = 1;
          return 1;
        case 272: case 273: SetFormat(w, 184, 1); return 1;
        case 528: SetFormat(w, 184, 2); return 1;
        case 1028: SetFormat(w, 81, 1); return 1;
        case 1284: SetFormat(w, 69, 1); r.variant = 10; return 1;
        case 1540: SetFormat(w, 81, 2); return 1;
        case 8273: SetFormat(w, 124, 0); return 1;
        default: return 0;
      }
    }
    if (h.U8(6) == 4 && h.U8(7) == 0) {
      SetFormat(w, 81, 3);
      return 1;
    }
    return 0;
  }
  if (b2 != 26) return 0;
  uint32_t word = h.Be32(4);
  uint16_t build = h.Be16(18);
  if (word == 0x02100400) SetFormat(w, 81, 4);
  else if (word == 0x03100400 && build == 8448) SetFormat(w, 326, 0);
  else if (word == 0x05100400 && build == 9984) SetFormat(w, 326, 1);
  else if (word == 0x05100400 && (build == 9728 || build == 9472 || build == 8960)) SetFormat(w, 326, 2);
  else return 0;
  return 1;
}

int TestIchitaro(DtctWork& w) {
  ByteView h = Head(w);
  DtctResult& r = *w.result;
  bool mark = h.Equals(128, "JXW.JEX") || h.Equals(128, "jxw.jex");
  uint8_t b42 = h.U8(42), b43 = h.U8(43);
  if (h.Equals(0, "EXCHANGE") && (b42 == 0 || b42 == 16) && (b43 == 0 || b43 == 5 || b43 == 21) && mark) {
    SetFormat(w, 279, 5);
    w.language = kJapanese;
    return 1;
  }
  if (!h.Equals(0, "DOC")) return 0;
  const char* ext = PathExtension(PathOf(w));
  auto ext_is = [&](const char* e) { return ByteView{reinterpret_cast<const uint8_t*>(ext), std::strlen(ext)}.EqualsFolded(0, e) && std::strlen(ext) == std::strlen(e); };
  int32_t sub;
  // The empty-password pattern of these files is not known here, so the
  // protection flag is not set from the bytes at 208.
  if (mark && ext_is("JTW")) {
    sub = 5;
  } else if (mark && ext_is("JUW")) {
    sub = 6;
  } else if (mark && h.U8(18) == 2) {
    sub = 5;
    if (b43 == 0) r.scratch = 9;
    else if (b43 == 21) r.scratch = 7;
    else if (b43 == 22) r.scratch = 10;
  } else if (mark && h.U8(18) == 3) {
    sub = 6;
  } else if (ext_is("JSW")) {
    sub = 4;
    for (size_t i = 32; i <= 39; ++i)
      if (h.U8(i) != 0) r.protection = 1;
  } else {
    return 0;
  }
  SetFormat(w, 278, sub);
  w.language = kJapanese;
  return 1;
}

int TestOasysDos(DtctWork& w) {
  ByteView h = Head(w);
  static const uint8_t kLong[] = {0xF0, 0xF2, 0xF2, 0xD6, 0xC1, 0xE7, 0xF0, 0xF0};
  static const uint8_t kShortX[] = {0xF0, 0xF2, 0xF2, 0xD6, 0xC1, 0xE7};
  static const uint8_t kShortZ[] = {0xF0, 0xF2, 0xF2, 0xD6, 0xC1, 0xE9};
  auto at0 = [&](const uint8_t* bytes, size_t n) { return h.Has(0, n) && std::memcmp(h.data, bytes, n) == 0; };
  if (at0(kLong, sizeof kLong)) {
    uint16_t a = h.Be16(107), b = h.Be16(117);
    if (a == 0xF2F1 && b == 0xF2F1) {
      SetFormat(w, 269, 2);
      w.result->variant = 0;
      w.language = kJapanese;
      return 1;
    }
    if (a == 0xF0F3 && b == 0xF0F3) {
      SetFormat(w, 269, 2);
      w.result->variant = 3;
      w.language = kJapanese;
      return 1;
    }
  }
  if (at0(kShortX, sizeof kShortX) || at0(kShortZ, sizeof kShortZ)) {
    SetFormat(w, 273, 1);
    w.language = kJapanese;
    return 1;
  }
  return 0;
}

int TestExcel24(DtctWork& w) {
  ByteView h = Head(w);
  DtctResult& r = *w.result;
  uint8_t b1 = h.U8(1), b2 = h.U8(2);
  if (h.U8(0) != 9 || h.U8(3) != 0 || !(b2 == 4 || b2 == 6 || b2 == 8 || b2 == 16) ||
      !(b1 == 0 || b1 == 2 || b1 == 4 || b1 == 8) || h.U8(7) >= 2)
    return 0;
  int32_t sub = b1 == 0 ? 2 : b1 == 2 ? 3 : b1 == 4 ? 4 : 5;
  int32_t variant = h.U8(4) <= 9 ? h.U8(4) * 10 : 0;
  int16_t scratch = 0;
  switch (h.Le16(6)) {
    case 32: scratch = 3; break;
    case 64: scratch = 4; break;
    case 256: scratch = 2; break;
  }
  int32_t protection = 0;
  int64_t at = 0;
  while (at < int64_t(w.quick_length) - 4) {
    if (h.Le16(size_t(at)) == 47) protection = 1;
    int64_t next = at + 4 + h.Le16(size_t(at) + 2);
    if (next <= at) return 0;
    at = next;
  }
  r.variant = variant;
  r.scratch = scratch;
  if (protection) r.protection = 1;
  if ((h.U8(5) & 1) && sub != 5) {
    SetFormat(w, 44, sub);
  } else {
    SetFormat(w, 90, sub);
    w.language = ExcelLanguage(ByteView{w.head, size_t(std::min(w.head_length, 4096))});
  }
  return 1;
}

int TestClarisWorks(DtctWork& w) {
  ByteView h = Head(w);
  bool header = (h.Le16(0) == 516 && h.Le16(2) == 1142 && h.Equals(4, "CWKJ")) || (h.U8(0) == 4 && h.Equals(4, "CWKJ"));
  if (!header) return 0;
  static const int32_t kIds[] = {0, 350, 351, 352};
  uint8_t kind = h.U8(262);
  if (kind < 1 || kind > 3) return 0;
  SetFormat(w, kIds[kind], 4);
  w.language = kJapanese;
  return 1;
}

int TestRar(DtctWork& w) {
  ByteView h = Head(w);
  if (!h.Equals(0, "Rar!\x1a\x07") && !h.Equals(0, "UniquE!")) return 0;
  if (!h.Equals(0, "UniquE!") && h.U8(6) != 0) return 0;
  SetFormat(w, 373, 0);
  uint8_t flags[2];
  if (ReadFileAt(PathOf(w), 23, flags, 2) == 2 && (flags[0] & 4)) w.result->protection = 1;
  w.language = kNoLanguage;
  return 1;
}

int TestZip(DtctWork& w) {
  if (!Head(w).Equals(0, "PK\x03\x04")) return 0;
  if (DtctOoxml(w, nullptr) == 1 || TestOpenOffice(w) == 1) return 1;
  SetFormat(w, 374, 0);
  uint8_t flags[2];
  if (ReadFileAt(PathOf(w), 6, flags, 2) == 2 && (flags[0] & 1)) w.result->protection = 1;
  w.language = kNoLanguage;
  return 1;
}

int TestLzh(DtctWork& w) {
  ByteView h = Head(w);
  if (h.U8(2) != '-' || h.U8(3) != 'l' || h.U8(4) != 'h' || h.U8(6) != '-') return 0;
  SetFormat(w, 375, 0);
  return 1;
}

int TestMail(DtctWork& w) {
  if (!IsMail(w)) return 0;
  SetFormat(w, 367, 0);
  w.language = kNoLanguage;
  return 1;
}

int TestGzip(DtctWork& w) {
  ByteView h = Head(w);
  if (h.U8(0) != 0x1F || h.U8(1) != 0x8B || h.U8(2) != 8 || h.U8(9) != 3) return 0;
  SetFormat(w, 376, 0);
  return 1;
}

int TestTar(DtctWork& w) {
  const char* path = PathOf(w);
  if (path == nullptr || std::strlen(path) < 5 || !PathEndsWith(path, ".TAR")) return 0;
  SetFormat(w, 377, 0);
  return 1;
}

}  // namespace

int TestVisio(DtctWork& w, ByteView stream_head) {
  w.language = kNoLanguage;
  if (!stream_head.Equals(0, "Visio (TM) Drawing\r\n")) return 0;
  uint16_t version = stream_head.Le16(26);
  bool known = version == 3 || version == 4 || version == 5 || version == 6 || version == 11;
  SetFormat(w, 378, known ? version : 0);
  return 1;
}

int TestPostScript(DtctWork& w, ByteView bytes) {
  constexpr size_t kWithin = 512, kLength = 10;
  size_t end = std::min(bytes.size, kWithin);
  for (size_t at = 0; at + kLength <= end; ++at) {
    if (bytes.data[at] == '%' && bytes.EqualsFolded(at, "%!PS-ADOBE")) {
      SetFormat(w, 61, 0);
      return 1;
    }
  }
  return 0;
}

int TestWorks2000(DtctWork& w, ByteView b) {
  if (b.Equals(0, "CHNKINK ")) SetFormat(w, 357, 0);
  else if (b.U8(0) == 0xFF && b.U8(1) == 0x54 && b.size >= 2) SetFormat(w, 358, 0);
  else if (b.U8(0) == 0xFF && b.U8(1) == 0x00 && b.size >= 2) SetFormat(w, 359, 0);
  else return 0;
  return 1;
}

int TestWordPerfectQuattro(DtctWork& w, ByteView b) {
  if (b.size >= 4 && b.Le32(0) == 512) SetFormat(w, 360, 0);
  else if (b.U8(9) == 10 && b.U8(10) == 2 && b.U8(11) == 0) SetFormat(w, 353, 0);
  else if (b.U8(9) == 10 && b.U8(10) == 2 && (b.U8(11) == 1 || b.U8(11) == 2)) SetFormat(w, 354, 0);
  else return 0;
  return 1;
}

int TestCorelPresentations(DtctWork& w, ByteView b) {
  if (b.size >= 4 && b.Le32(0) == 512) SetFormat(w, 362, 0);
  else if (b.U8(8) == 15 && b.U8(9) == 15 && b.U8(10) == 2) SetFormat(w, 363, 0);
  else return 0;
  return 1;
}

int32_t ExcelLanguage(ByteView records) {
  size_t at = 0;
  while (records.Has(at, 4)) {
    uint16_t type = records.Le16(at), length = records.Le16(at + 2);
    if (type == 140 && length > 3 && records.Has(at + 4, 2)) {
      switch (records.Le16(at + 4)) {
        case 1: return kEnglish;
        case 81: return kJapanese;
        case 82: return kKorean;
        case 86: return kSimplifiedChinese;
        case 886: return kTraditionalChinese;
        default: return kNoLanguage;
      }
    }
    at += 4 + size_t(length);
  }
  return kNoLanguage;
}

// The OASYS combined file's version and protection, from the words 246 and
// 572 bytes after its marker; only a marker that leaves room for both counts.
bool OasysCombinedVersion(DtctWork& w, ByteView head, int64_t marker) {
  if (marker < 0 || marker + kOasysMarkerSpan > int64_t(head.size)) return false;
  static const struct { uint16_t word; int32_t sub; } kVersions[] = {
      {0xE030, 3}, {0xE040, 4}, {0xE050, 5}, {0xE060, 6}, {0xE070, 7},
      {0xE080, 8}, {0xE090, 9}, {0xE0F0, 10}, {0xFFF0, 5}};
  uint16_t word = head.Be16(size_t(marker) + 246) & 0xFFF0;
  int32_t sub = 0;
  for (const auto& v : kVersions)
    if (v.word == word) sub = v.sub;
  SetFormat(w, 274, sub);
  if (head.Be16(size_t(marker) + 572) & 8) w.result->protection = 1;
  return true;
}

int RunHeadKindTest(DtctWork& w, int kind) {
  switch (kind) {
    case 1: return TestHtml(w);
    case 2: return TestPdf(w);
    case 3: return TestPostScript(w, Head(w));
    case 4: return TestRtf(w);
    case 5: return TestLotus(w);
    case 6: return TestIchitaro(w);
    case 7: return 0;  // the combined file's marker is not known here
    case 8: return TestOasysDos(w);
    case 9: return TestExcel24(w);
    case 10: return TestClarisWorks(w);
    case 11: return TestWordPerfectQuattro(w, Head(w));
    case 12: return TestWorks2000(w, Head(w));
    case 14: return TestCorelPresentations(w, Head(w));
    case 15: return TestKingsoftWps(w, Head(w), nullptr);
    case 16: return TestRar(w);
    case 17: return TestZip(w);
    case 18: return TestLzh(w);
    case 19: SetFormat(w, 366, 0); return 1;
    case 20: return TestMail(w);
    case 21: return TestGzip(w);
    case 22: return TestTar(w);
    default: return 0;
  }
}

}  // namespace probelin
