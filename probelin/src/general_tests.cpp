// The tests of the general chain (OASYS separated and graphic files,
// DocuWorks), the Kingsoft WPS header test, and the two tests that run on
// the caller's record when the chain found nothing (AutoCAD, QuarkXPress).
#include <algorithm>
#include <cstring>
#include <vector>

#include "detect.h"

namespace probelin {

namespace {

int32_t OasysSub(uint16_t word) {
  switch (word & 0xFFF0) {
    case 0xE030: return 3;
    case 0xE040: return 4;
    case 0xE050: return 5;
    case 0xE060: return 6;
    case 0xE070: return 7;
    case 0xE080: return 8;
    case 0xE090: return 9;
    case 0xE0F0: return 10;
    default: return 0;
  }
}

bool InRange(uint8_t v, uint8_t low, uint8_t high) { return v >= low && v <= high; }

// A DocuWorks file's trailer: a run of records (type byte, length, body);
// some record types mark a protected document. Numbers are little-endian
// unless the file starts with the big-endian form of its mark.
constexpr int64_t kTrailerLimit = 1 << 20;

bool DocuWorksProtected(const char* path) {
  int64_t size = 0;
  std::FILE* file = OpenRegularFile(path, &size);
  if (file == nullptr) return false;
  std::fclose(file);
  uint8_t word[4];
  if (size < 8 || ReadFileAt(path, 0, word, 4) != 4) return false;
  uint32_t mark = ByteView{word, 4}.Le32(0);
  bool big = false;
  if (mark == 0x600E8201) big = true;
  else if (mark != 0x01820E60) return false;
  if (ReadFileAt(path, size - 4, word, 4) != 4) return false;
  ByteView w4{word, 4};
  int64_t length = big ? w4.Be32(0) : w4.Le32(0);
  if (length <= 0 || length > size - 4 || length > kTrailerLimit) return false;
  std::vector<uint8_t> trailer(static_cast<size_t>(length));
  if (ReadFileAt(path, size - 4 - length, trailer.data(), trailer.size()) != length) return false;
  ByteView t{trailer.data(), trailer.size()};
  size_t at = 0;
  while (t.Has(at, 2)) {
    uint8_t type = t.U8(at), form = t.U8(at + 1);
    if ((type >= 0x89 && type <= 0x8C) || type == 0x8E) return true;
    size_t body = at + 2;
    uint64_t count;
    if (form < 0x80) {
      count = form;
    } else if (form >= 0x81 && form <= 0x84) {
      size_t bytes = form - 0x80u;
      if (!t.Has(body, bytes)) break;
      count = 0;
      for (size_t i = 0; i < bytes; ++i) {
        size_t k = big ? i : bytes - 1 - i;
        count = count << 8 | t.U8(body + k);
      }
      body += bytes;
    } else {
      break;
    }
    if (count > t.size - std::min(body, t.size)) break;  // runs past the trailer
    at = body + size_t(count);
  }
  return false;
}

}  // namespace

int TestOasysSeparated(DtctWork& w, ByteView h) {
  if (!(h.U8(0) < 23 && h.U8(1) < 126 && h.U8(3) < 126 && h.U8(2) < 125 && h.U8(6) < 100 && h.U8(7) < 2 &&
        InRange(h.U8(61), 1, 7) && InRange(h.U8(62), 1, 7) && InRange(h.U8(65), 1, 4) && InRange(h.U8(69), 1, 4) &&
        InRange(h.U8(72), 1, 2) && h.U8(79) <= 2 && h.U8(125) < 2 && h.U8(167) < 2))
    return 0;
  SetFormat(w, 270, h.Be32(256) == 0 ? 2 : OasysSub(h.Be16(238)));
  if (h.Be16(564) & 8) w.result->protection = 1;
  w.language = kJapanese;
  return 1;
}

int TestOasysGraphic(DtctWork& w) {
  ByteView h = Head(w);
  if (h.U8(0) != 0xFF || h.U8(1) != 0xFF || h.U8(1022) != 0xFF || h.U8(1023) != 0xFF) return 0;
  for (size_t at = 10; at <= 254; at += 2)
    if (h.Be16(at) != 0) return 0;
  for (size_t at = 750; at + 2 <= 1022; at += 2)
    if (h.Be16(at) != 0) return 0;
  for (size_t at = 256; at < 384; at += 4)
    if (h.U8(at) != 0 && h.U8(at) != 128) return 0;
  SetFormat(w, 272, 0);
  return 1;
}

int TestDocuWorks(DtctWork& w) {
  ByteView h = Head(w);
  size_t record = h.U8(0) == 0x60 ? 0 : h.U8(0);
  if (h.U8(record) != 0x60 || h.U8(record + h.U8(record + 1) + 2) != 0x61 || h.U8(record + 9) == 20) return 0;
  SetFormat(w, 369, h.U8(record + 4));
  const char* path = PathOf(w);
  if (path != nullptr && *path != '\0' && DocuWorksProtected(path)) w.result->protection = 1;
  return 1;
}

int TestKingsoftWps(DtctWork& w, ByteView b, KVB_OleStorage* root) {
  DtctResult& r = *w.result;
  uint8_t lead = b.U8(0);
  bool plain = (lead == 0x90 || lead == 0x83 || lead == 0x82 || lead == 0x81) && b.U8(1) == 0xFF && b.Equals(2, "WPS");
  bool modern;
  if (plain) {
    modern = lead == 0x90;
  } else {
    uint32_t first = b.Be32(0);
    if (first != 0x78BEA959 && first != 0x0FEB9AE9 && first != 0x999B91E8) return 0;
    if (root == nullptr) return 0;
    KVB_OleStream* xfile = KVB_2OLEopenStream(root, "XFile");
    uint8_t sig[32] = {};
    int got = xfile ? KVB_2OLEreadStream(xfile, sig, 32) : 0;
    KVB_2OLEcloseStream(xfile);
    static const uint8_t kSignature[28] = {88, 0, 0, 0, 1, 0, 0, 0, 9, 0, 0, 0, 'K', 0, 'i', 0,
                                           'n', 0, 'g', 0, 'S', 0, 'o', 0, 'f', 0, 't', 0};
    if (got < 32 || std::memcmp(sig + 4, kSignature, sizeof kSignature) != 0) return 0;
    modern = true;
  }
  int32_t sub;
  if (modern) {
    sub = 2002;
    if (root != nullptr) {
      KVB_OleStorage* info = KVB_2OLEopenStorage(root, "WpsSectionInfo");
      if (info != nullptr) {
        sub = 2003;
        KVB_2OLEcloseStorage(info);
      }
      if (b.Le16(0) != 0xFF90) r.protection = 1;
    }
  } else {
    // The version is known by the lead byte; where these older files keep
    // their protection mark is not known here, so no flag is set.
    sub = lead == 0x83 ? 2001 : lead == 0x82 ? 2000 : 1997;
  }
  SetFormat(w, 372, sub);
  return 1;
}

int TestAutoCad(DtctWork& w, FileDtctRecord* record) {
  ByteView h = Head(w);
  enum { kDwg, kDxfText, kDxfBinary } kind = kDwg;
  size_t tag_at = 0;
  if (h.Equals(32, "$ACADVER")) { kind = kDxfText; tag_at = 47; }
  else if (h.Equals(27, "$ACADVER")) { kind = kDxfText; tag_at = 40; }
  else if (h.Equals(26, "$ACADVER")) { kind = kDxfText; tag_at = 39; }
  else if (h.Equals(0, "AutoCAD Binary DXF")) { kind = kDxfBinary; tag_at = 54; }
  static const struct {
    const char* tag;
    const char* dwg;
    const char* dxf;
    const char* binary;
  } kTags[] = {
      {"AC1006", "AutoCAD GX-III DWG", "AutoCAD GX-III DXF", "AutoCAD GX-III DXF BIN"},
      {"AC1009", "AutoCAD GX-5/R12 DWG", "AutoCAD GX-5/R12 DXF", "AutoCAD GX-5/R12 DXF BIN"},
      {"AC1012", "AutoCAD R13/LT95 DWG", "AutoCAD R13/LT95 DXF", "AutoCAD R13/LT95 DXF BIN"},
      {"AC1013", "AutoCAD R13/LT95 DWG", "AutoCAD R13/LT95 DXF", "AutoCAD R13/LT95 DXF BIN"},
      {"AC1014", "AutoCAD R14/LT97 DWG", "AutoCAD R14/LT97 DXF", "AutoCAD R14/LT97 DXF BIN"},
      {"AC1015", "AutoCAD 2000/2002/2004/2005/2006 DWG", "AutoCAD 2000/2002/2004/2005/2006 DXF", "AutoCAD 2000 DXF BIN"},
      {"AC1018", "AutoCAD 2000/2002/2004/2005/2006 DWG", "AutoCAD 2000/2002/2004/2005/2006 DXF", "AutoCAD 2000 DXF BIN"},
      {"AC1021", "AutoCAD 2007 DWG", "AutoCAD 2007 DXF", nullptr},
      {"AC1024", "AutoCAD 2010 DWG", "AutoCAD 2010 DXF", nullptr},
  };
  const char* name = nullptr;
  for (const auto& t : kTags)
    if (h.Equals(tag_at, t.tag)) name = kind == kDwg ? t.dwg : kind == kDxfText ? t.dxf : t.binary;
  if (name == nullptr) return -1;
  std::memset(record, 0, sizeof *record);
  CopyText(record->name, sizeof record->name, name);
  if (kind == kDwg) {
    const char* language = nullptr;
    switch (h.Le16(19)) {
      case 30: language = "English"; break;
      case 38: language = "Japanese"; break;
      case 39: language = "Simplified Chinese"; break;
      case 40: language = "Korean"; break;
      case 41: language = "Traditional Chinese"; break;
    }
    if (language != nullptr) CopyText(record->language, sizeof record->language, language);
  }
  return 1;
}

int TestQuarkXPress(DtctWork& w, FileDtctRecord* record) {
  ByteView h = Head(w);
  if (!h.Equals(4, "XPR")) return -1;
  uint16_t order = h.Le16(2);
  std::memset(record, 0, sizeof *record);
  CopyText(record->name, sizeof record->name, "QuarkXPress");
  if (order == 18761) CopyText(record->second_text, sizeof record->second_text, "V4");
  else if (order == 19789) CopyText(record->second_text, sizeof record->second_text, "V3.3");
  return 1;
}

}  // namespace probelin
