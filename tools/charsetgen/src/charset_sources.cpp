// Reads glibc's gzipped charmaps and ICU's converters and sorts their
// mappings into the engine's code sets (see charset_sources.h).
//
// Japanese double-byte codes are JIS-style: (row + 0x20) * 256 + cell +
// 0x20, JIS X 0213 plane 2 adding 0x10000; Shift_JIS bytes are turned into
// that form, EUC bytes lose their top bits. The Windows-31J charmap gives
// the shared sets (ASCII 2002, kana 2003, JIS X 0208 2006 with Windows
// values, NEC row 13 2008, IBM extensions 2009 with the NEC-selected copies
// first so that the IBM codes win on the way back, user area 3001). Other
// charsets take their sets from ICU's round-trip mappings, one set per code
// length.
#include "charset_sources.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

#include <unicode/ucnv.h>
#include <unicode/uset.h>
#include <zlib.h>

namespace charsetgen {

namespace {

uint32_t SjisToJis(uint8_t lead, uint8_t trail) {
  uint32_t row = lead <= 0x9F ? (lead - 0x81u) * 2 + 1 : (lead - 0xC1u) * 2 + 1;
  uint32_t cell;
  if (trail >= 0x9F) {
    ++row;
    cell = trail - 0x9Eu;
  } else {
    cell = trail - 0x40u + 1 - (trail >= 0x80 ? 1 : 0);
  }
  return (row + 0x20) << 8 | (cell + 0x20);
}

bool ParseHexAt(const std::string& s, size_t* pos, size_t max_digits, uint32_t* value) {
  size_t start = *pos;
  uint32_t v = 0;
  while (*pos < s.size() && *pos - start < max_digits && std::isxdigit(static_cast<unsigned char>(s[*pos]))) {
    char c = s[*pos];
    v = v * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (c | 0x20) - 'a' + 10);
    ++*pos;
  }
  *value = v;
  return *pos > start;
}

// Parses "<Uxxxx>" at pos.
bool ParseCodePoint(const std::string& s, size_t* pos, uint32_t* cp) {
  if (s.compare(*pos, 2, "<U") != 0) return false;
  *pos += 2;
  if (!ParseHexAt(s, pos, 8, cp) || *pos >= s.size() || s[*pos] != '>') return false;
  ++*pos;
  return true;
}

void Sort(std::vector<Pair>* pairs) {
  std::stable_sort(pairs->begin(), pairs->end(), [](const Pair& a, const Pair& b) { return a.code < b.code; });
}

// ICU's round-trip mappings of the BMP, split by code length.
bool ReadIcu(const char* converter, std::map<int, std::vector<Pair>>* by_length, std::string* error) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open(converter, &status);
  if (U_FAILURE(status)) {
    *error = std::string("ICU has no converter ") + converter;
    return false;
  }
  USet* set = uset_openEmpty();
  ucnv_getUnicodeSet(cnv, set, UCNV_ROUNDTRIP_SET, &status);
  for (UChar32 cp = 0; cp <= 0xFFFF && U_SUCCESS(status); ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    if (!uset_contains(set, cp)) continue;
    UChar in[1] = {static_cast<UChar>(cp)};
    char out[8];
    ucnv_reset(cnv);
    int32_t n = ucnv_fromUChars(cnv, out, sizeof out, in, 1, &status);
    if (U_FAILURE(status) || n < 1 || n > 4) {
      *error = std::string("cannot encode a round-trip character with ") + converter;
      break;
    }
    UChar back[4];
    ucnv_reset(cnv);
    int32_t m = ucnv_toUChars(cnv, back, 4, out, n, &status);
    if (U_FAILURE(status) || m != 1 || back[0] != cp) continue;  // not a round trip after all
    uint32_t code = 0;
    for (int32_t i = 0; i < n; ++i) code = code << 8 | static_cast<uint8_t>(out[i]);
    (*by_length)[n].push_back({code, static_cast<uint32_t>(cp), true});
  }
  uset_close(set);
  ucnv_close(cnv);
  if (U_FAILURE(status) && error->empty()) *error = std::string("ICU failed with ") + converter;
  if (!error->empty()) return false;
  for (auto& [length, pairs] : *by_length) Sort(&pairs);
  return true;
}

SetData MakeSet(const std::string& name, int kind, int width, const std::string& source) {
  SetData set;
  set.name = name;
  set.kind = kind;
  set.width = width;
  set.source = source;
  set.table_file = name + ".tbl";
  set.domain = "ja";
  return set;
}

}  // namespace

bool ReadCharmap(const std::string& path, std::vector<CharmapLine>* lines) {
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::string text;
  char buffer[1 << 16];
  int n;
  while ((n = gzread(file, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  gzclose(file);
  if (n < 0) return false;
  bool in_map = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.rfind("CHARMAP", 0) == 0) {
      in_map = true;
      continue;
    }
    if (line.rfind("END CHARMAP", 0) == 0) break;
    if (!in_map) continue;
    CharmapLine entry;
    size_t p = 0;
    if (line.rfind("%IRREVERSIBLE%", 0) == 0) {
      entry.irreversible = true;
      p = std::strlen("%IRREVERSIBLE%");
    }
    if (line.compare(p, 2, "<U") != 0) continue;  // comments and other lines
    uint32_t cp;
    while (ParseCodePoint(line, &p, &cp)) entry.code_points.push_back(cp);
    uint32_t range_end = 0;
    bool range = false;
    if (line.compare(p, 2, "..") == 0) {
      p += 2;
      if (!ParseCodePoint(line, &p, &range_end)) return false;
      range = true;
    }
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
    while (line.compare(p, 2, "/x") == 0) {
      p += 2;
      uint32_t byte;
      if (!ParseHexAt(line, &p, 2, &byte)) return false;
      entry.bytes.push_back(static_cast<uint8_t>(byte));
    }
    if (entry.bytes.empty() || entry.code_points.empty()) return false;
    if (!range) {
      lines->push_back(std::move(entry));
      continue;
    }
    // <Ua>..<Ub> /x..: consecutive code points on consecutive byte values.
    if (entry.code_points.size() != 1 || range_end < entry.code_points[0]) return false;
    for (uint32_t c = entry.code_points[0]; c <= range_end; ++c) {
      lines->push_back(entry);
      lines->back().code_points = {c};
      for (size_t i = entry.bytes.size(); i-- > 0;)
        if (++entry.bytes[i] != 0) break;
    }
  }
  return in_map;
}

bool BuildInstallation(const std::string& folder, Installation* out, std::string* error) {
  std::vector<CharmapLine> cp932, eucjp, sjis, jisx0213, ascii, cp1252;
  struct Source {
    const char* file;
    std::vector<CharmapLine>* lines;
  } sources[] = {{"WINDOWS-31J", &cp932}, {"EUC-JP", &eucjp},     {"SHIFT_JIS", &sjis},
                 {"EUC-JISX0213", &jisx0213}, {"ANSI_X3.4-1968", &ascii}, {"CP1252", &cp1252}};
  for (const Source& source : sources) {
    if (!ReadCharmap(folder + "/" + source.file + ".gz", source.lines)) {
      *error = std::string("cannot read the charmap ") + source.file;
      return false;
    }
  }
  auto& sets = out->sets;
  auto add = [&](SetData set) { sets[set.name] = std::move(set); };

  SetData irv = MakeSet("iso-646irv", 1, 1, "ANSI_X3.4-1968 charmap");
  irv.domain = "en";
  for (const CharmapLine& l : ascii)
    if (l.bytes.size() == 1 && l.code_points.size() == 1) irv.pairs.push_back({l.bytes[0], l.code_points[0], !l.irreversible});
  add(irv);

  SetData latin = MakeSet("jis_x0201latin", 1, 1, "WINDOWS-31J charmap");
  SetData kana = MakeSet("jis_x0201kana", 1, 1, "WINDOWS-31J charmap");
  SetData x0208 = MakeSet("jis_x0208-1990", 1, 2, "WINDOWS-31J charmap");
  SetData nec = MakeSet("nec_extset", 2, 2, "WINDOWS-31J charmap");
  SetData ibm = MakeSet("ibm_extset", 2, 2, "WINDOWS-31J charmap");
  SetData user = MakeSet("windows31j-usr", 2, 2, "WINDOWS-31J charmap");
  nec.based_on = ibm.based_on = user.based_on = "jis_x0208-1990";
  std::vector<Pair> ibm_nec_selected, ibm_own;
  for (const CharmapLine& l : cp932) {
    if (l.code_points.size() != 1) continue;
    Pair pair{0, l.code_points[0], !l.irreversible};
    if (l.bytes.size() == 1) {
      pair.code = l.bytes[0];
      if (l.bytes[0] < 0x80) latin.pairs.push_back(pair);
      else if (l.bytes[0] >= 0xA1 && l.bytes[0] <= 0xDF) kana.pairs.push_back(pair);
      continue;
    }
    if (l.bytes.size() != 2) continue;
    uint8_t lead = l.bytes[0];
    pair.code = SjisToJis(lead, l.bytes[1]);
    if (lead == 0x87) nec.pairs.push_back(pair);
    else if (lead == 0xED || lead == 0xEE) ibm_nec_selected.push_back(pair);
    else if (lead >= 0xFA && lead <= 0xFC) ibm_own.push_back(pair);
    else if (lead >= 0xF0 && lead <= 0xF9) user.pairs.push_back(pair);
    else x0208.pairs.push_back(pair);
  }
  ibm.pairs = ibm_nec_selected;
  ibm.pairs.insert(ibm.pairs.end(), ibm_own.begin(), ibm_own.end());

  // The same table under the older set, as both peers read ESC $ @ so.
  SetData x1978 = x0208;
  x1978.name = "jis_c6226-1978";

  SetData x0212 = MakeSet("jis_x0212-1990", 1, 2, "EUC-JP charmap");
  for (const CharmapLine& l : eucjp)
    if (l.bytes.size() == 3 && l.bytes[0] == 0x8F && l.code_points.size() == 1)
      x0212.pairs.push_back({static_cast<uint32_t>((l.bytes[1] & 0x7F) << 8 | (l.bytes[2] & 0x7F)),
                             l.code_points[0], !l.irreversible});

  // JIS X 0213; its two-code-point characters stay out of the table.
  SetData x0213 = MakeSet("jis_x0213", 1, 4, "EUC-JISX0213 charmap");
  for (const CharmapLine& l : jisx0213) {
    if (l.code_points.size() != 1) continue;
    if (l.bytes.size() == 2 && l.bytes[0] >= 0xA1)
      x0213.pairs.push_back({static_cast<uint32_t>((l.bytes[0] & 0x7F) << 8 | (l.bytes[1] & 0x7F)),
                             l.code_points[0], !l.irreversible});
    else if (l.bytes.size() == 3 && l.bytes[0] == 0x8F)
      x0213.pairs.push_back({0x10000u | (l.bytes[1] & 0x7F) << 8 | (l.bytes[2] & 0x7F), l.code_points[0],
                             !l.irreversible});
  }
  Sort(&x0213.pairs);

  SetData latin_high = MakeSet("latin1-high", 1, 1, "CP1252 charmap");
  latin_high.domain = "en";
  for (const CharmapLine& l : cp1252)
    if (l.bytes.size() == 1 && l.bytes[0] >= 0x80 && l.code_points.size() == 1)
      latin_high.pairs.push_back({l.bytes[0], l.code_points[0], !l.irreversible});

  for (SetData* set : {&latin, &kana, &x0208, &nec, &ibm, &user, &x1978, &x0212, &x0213, &latin_high})
    add(*set);
  sets["jis_c6226-1978"].table_file = "jis_x0208-1990.tbl";

  // Table-less sets of the Unicode charsets, each with an id of its own.
  for (auto [name, width] : {std::pair{"ucs2-units", 2}, {"utf16-units", 2}, {"ucs4-units", 4}, {"utf8-units", 1}}) {
    SetData set = MakeSet(name, 1, width, "none");
    set.table_file.clear();
    set.domain = "";
    add(set);
  }

  // Further tables: JIS X 0201 Roman's yen sign and overline on ASCII, and
  // the JIS-style values of the codes whose Windows value differs.
  ExtraTable yen{"jis_x0201latin-yen.tbl", 1, "SHIFT_JIS charmap", {}};
  for (const CharmapLine& l : sjis)
    if (l.bytes.size() == 1 && l.bytes[0] < 0x80 && l.code_points.size() == 1 && l.code_points[0] != l.bytes[0])
      yen.pairs.push_back({l.bytes[0], l.code_points[0], true});
  ExtraTable jis_style{"jis_x0208-1990-jis.tbl", 2, "EUC-JP charmap", {}};
  std::map<uint32_t, uint32_t> windows_value;
  for (const Pair& p : x0208.pairs) windows_value[p.code] = p.unicode;
  for (const CharmapLine& l : eucjp) {
    if (l.bytes.size() != 2 || l.bytes[0] < 0xA1 || l.code_points.size() != 1 || l.irreversible) continue;
    uint32_t code = (l.bytes[0] & 0x7F) << 8 | (l.bytes[1] & 0x7F);
    auto it = windows_value.find(code);
    if (it != windows_value.end() && it->second != l.code_points[0])
      jis_style.pairs.push_back({code, l.code_points[0], true});
  }
  out->extras[yen.file] = yen;
  out->extras[jis_style.file] = jis_style;

  // Chinese and Korean charsets: one set per code length, from ICU.
  struct IcuCharset {
    const char* name;
    const char* converter;
    const char* prefix;
  } icu[] = {{"ChineseGBK", "windows-936-2000", "gbk"},
             {"ChineseBIG5", "windows-950-2000", "big5"},
             {"KoreanKSC", "windows-949-2000", "ksc"},
             {"GB18030", "gb18030", "gb18030"}};
  for (const IcuCharset& c : icu) {
    std::map<int, std::vector<Pair>> by_length;
    if (!ReadIcu(c.converter, &by_length, error)) return false;
    std::set<uint32_t> leads;
    for (const auto& [length, pairs] : by_length)
      for (const Pair& p : pairs)
        if (length > 1) leads.insert(p.code >> (8 * (length - 1)));
    CharsetData charset{c.name, "SAME", {}};
    for (auto& [length, pairs] : by_length) {
      static const char* const kLength[] = {"", "single", "double", "triple", "four"};
      SetData set = MakeSet(std::string(c.prefix) + "-" + kLength[length], 1, length,
                            std::string("ICU ") + c.converter);
      set.domain = c.prefix == std::string("ksc") ? "ko" : "zh";
      for (const Pair& p : pairs)
        if (length != 1 || !leads.count(p.code)) set.pairs.push_back(p);  // a lead byte is no character
      charset.sets.push_back({set.name, {}});
      add(set);
    }
    out->charsets.push_back(charset);
  }

  auto plain = [](std::initializer_list<const char*> names) {
    std::vector<CharsetSet> list;
    for (const char* n : names) list.push_back({n, {}});
    return list;
  };
  std::vector<CharsetData>& cs = out->charsets;
  auto with_extras = [](std::vector<CharsetSet> list, const std::string& set, const std::string& extra) {
    for (CharsetSet& s : list)
      if (s.set == set) s.extras.push_back(extra);
    return list;
  };
  cs.push_back({"Shift_JIS", "Shift_JIS",
                with_extras(with_extras(plain({"jis_x0201latin", "jis_x0201kana", "jis_x0208-1990"}),
                                        "jis_x0201latin", yen.file),
                            "jis_x0208-1990", jis_style.file)});
  cs.push_back({"WINDOWS31J", "WINDOWS31J",
                with_extras(plain({"jis_x0201latin", "jis_x0201kana", "jis_x0208-1990", "nec_extset",
                                   "ibm_extset", "windows31j-usr"}),
                            "jis_x0201latin", yen.file)});
  cs.push_back({"EUC-JP", "EUC-JP",
                with_extras(plain({"iso-646irv", "jis_x0201kana", "jis_x0208-1990", "jis_x0212-1990"}),
                            "jis_x0208-1990", jis_style.file)});
  cs.push_back({"EUC-JP-FIX", "EUC-JP-FIX",
                plain({"iso-646irv", "jis_x0201kana", "jis_x0208-1990", "jis_x0212-1990"})});
  cs.push_back({"ISO-2022-JP", "ISO-2022-JP",
                with_extras(plain({"iso-646irv", "jis_x0201latin", "jis_x0208-1990", "jis_c6226-1978"}),
                            "jis_x0201latin", yen.file)});
  cs.push_back({"Shift_JIS-2004", "Shift_JIS-2004", plain({"jis_x0201latin", "jis_x0201kana", "jis_x0213"})});
  cs.push_back({"EUC-JIS-2004", "EUC-JIS-2004", plain({"iso-646irv", "jis_x0201kana", "jis_x0213"})});
  cs.push_back({"ISO-2022-JP-2004", "ISO-2022-JP-2004",
                plain({"iso-646irv", "jis_x0201latin", "jis_x0213", "jis_x0208-1990"})});
  cs.push_back({"ISO-10646-UCS-2", "ISO-10646-UCS-2", plain({"ucs2-units"})});
  cs.push_back({"UTF-16", "UTF-16", plain({"utf16-units"})});
  cs.push_back({"ISO-10646-UCS-4", "ISO-10646-UCS-4", plain({"ucs4-units"})});
  cs.push_back({"UTF-8", "UTF-8", plain({"utf8-units"})});
  cs.push_back({"ISO-8859-1", "SAME", plain({"iso-646irv", "latin1-high"})});
  cs.push_back({"ISO-646IRV", "SAME", plain({"iso-646irv"})});
  return true;
}

}  // namespace charsetgen
