// Charset rule files: the scanner that reads the charsets of the
// configuration folder.
//
// A rule file defines one charset: its name, its decoder and encoder names,
// and its code sets, each defined in a set file that the rule file names
// through an entity declaration (<!ENTITY x SYSTEM "file">); a set names its
// table text file the same way. The files look like XML but are read by this
// small scanner, which knows only the element and attribute names below.
// Texts are UTF-16, UCS-2 or UCS-4 (a file's encoding is decided from its
// first bytes); processing instructions and "--" comments are dropped and
// line ends become blanks before elements are searched. A child element is
// searched inside its parent's content; after an element the position moves
// past its end tag. Any field longer than 259 bytes, a width outside 1-4, or
// a missing required element, entity or file ends the charset.
#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

#include "cconv_internal.h"

namespace cconv {

namespace {

constexpr size_t kMaxRuleFile = 4u << 20;
constexpr size_t kMaxField = 259;

struct Text {
  std::unique_ptr<char32_t[]> storage;
  std::u32string_view units;      // normalised, in `storage`
  std::vector<uint32_t> tags;     // where each "<" is
  std::vector<uint32_t> systems;  // where each " SYSTEM " starts
  int unit_kind = kUtf16;
  int byte_order = 0;
};

struct Element {
  size_t attrs_begin = 0, attrs_end = 0;
  size_t content_begin = 0, content_end = 0;
  size_t begin = 0, end = 0;  // whole element
};

bool Contains(const std::string& bytes, std::string_view what) {
  return bytes.find(what) != std::string::npos;
}

// Decides a file's unit encoding; false for the encodings the engine does not
// read (UTF-8, Shift_JIS).
bool DecideEncoding(const std::string& b, int default_kind, int default_order, int* kind,
                    int* order) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(b[i]); };
  if (b.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
    int big = byte(0) == 0xFE;
    std::string line;  // the first line, one byte per 16-bit unit
    for (size_t i = 0; i + 1 < b.size(); i += 2) {
      uint32_t u = big ? byte(i) << 8 | byte(i + 1) : byte(i + 1) << 8 | byte(i);
      if (u == '\n') break;
      line.push_back(u < 0x80 ? static_cast<char>(u) : '?');
    }
    if (Contains(line, "UTF-16")) {
      *kind = kUtf16, *order = big;
      return true;
    }
    if (Contains(line, "ISO-10646-UCS-2")) {
      *kind = kUcs2, *order = big;
      return true;
    }
  }
  if (b.size() >= 4 && ((byte(0) == 0xFF && byte(3) == 0xFE) || (byte(0) == 0xFE && byte(3) == 0xFF))) {
    *kind = kUcs4, *order = byte(0) == 0xFE;
    return true;
  }
  if (Contains(b, "utf-8") || Contains(b, "shift")) return false;
  *kind = default_kind, *order = default_order;
  return true;
}

// The unit of `kStep` bytes at `p`.
template <size_t kStep, bool kBig>
uint32_t UnitAt(const uint8_t* p) {
  if constexpr (kStep == 2) return kBig ? (uint32_t{p[0]} << 8 | p[1]) : (uint32_t{p[1]} << 8 | p[0]);
  return kBig ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
              : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
}

// One normalising step: drops each part from a two-unit opening to the next
// two-unit closing (the closing searched after the opening), to the end when
// none follows, and hands on every other unit. An opening's first unit is
// held until the next shows whether it opens a part.
class DropStep {
 public:
  DropStep(char32_t open_first, char32_t open_second, char32_t close_first, char32_t close_second)
      : open_first_(open_first), open_second_(open_second), close_first_(close_first),
        close_second_(close_second) {}

  template <class Next>
  void Put(char32_t c, Next&& next) {
    if (inside_) {
      if (c == close_second_ && after_close_first_) inside_ = false;
      else after_close_first_ = c == close_first_;
    } else if (held_ && c == open_second_) {
      held_ = false;
      inside_ = true, after_close_first_ = false;
    } else {
      if (held_) next(open_first_);
      held_ = c == open_first_;
      if (!held_) next(c);
    }
  }

  // Hands on a unit still held; what is inside a part is dropped.
  template <class Next>
  void Finish(Next&& next) {
    if (held_) next(open_first_);
    held_ = false;
  }

  bool Busy() const { return inside_ || held_; }

 private:
  const char32_t open_first_, open_second_, close_first_, close_second_;
  bool inside_ = false, after_close_first_ = false, held_ = false;
};

// Normalises units as they are decoded, in one pass of three steps, each fed
// with what the one before kept: processing instructions ("<?" to "?>") are
// dropped, then "--" comments (to the next "--"), then line ends and tabs
// become blanks, CR LF one blank. So a pair that a dropped part joins counts
// in the next step. Notes where the text's tags start.
class Normaliser {
 public:
  // `out` and `tags` hold as many entries as there are units.
  Normaliser(char32_t* out, uint32_t* tags) : begin_(out), out_(out), tags_begin_(tags), tags_(tags) {}

  void Put(char32_t c) {
    // Outside every part, a unit that opens none and is no line end or tab
    // is kept as it is: most units.
    constexpr uint64_t kMarks = 1ull << '<' | 1ull << '-' | 1ull << '\r' | 1ull << '\n' | 1ull << '\t';
    if (!busy_ && (c > U'<' || (kMarks >> c & 1) == 0)) *out_++ = c;
    else PutMarked(c);
  }

  // Keeps the units from byte `i` on while no part is open and each is
  // above every mark and below the surrogates: most units. Answers where the
  // first other unit starts.
  template <size_t kStep, bool kBig>
  size_t KeepPlain(const uint8_t* p, size_t i, size_t size) {
    if (busy_) return i;
    char32_t* out = out_;
    for (; i + kStep <= size; i += kStep) {
      uint32_t u = UnitAt<kStep, kBig>(p + i);
      if (u - U'=' >= 0xD800 - U'=') break;
      *out++ = static_cast<char32_t>(u);
    }
    out_ = out;
    return i;
  }

  // Ends what is held; answers the length of the text.
  size_t Finish() {
    instructions_.Finish([this](char32_t c) { PutUncommented(c); });
    comments_.Finish([this](char32_t c) { PutBlanked(c); });
    return static_cast<size_t>(out_ - begin_);
  }

  size_t TagCount() const { return static_cast<size_t>(tags_ - tags_begin_); }

 private:
  void PutMarked(char32_t c) {
    instructions_.Put(c, [this](char32_t kept) { PutUncommented(kept); });
    busy_ = instructions_.Busy() || comments_.Busy() || after_cr_;
  }

  void PutUncommented(char32_t c) {
    comments_.Put(c, [this](char32_t kept) { PutBlanked(kept); });
  }

  void PutBlanked(char32_t c) {
    bool after_cr = after_cr_;
    after_cr_ = c == U'\r';
    if (c == U'\n' && after_cr) return;
    if (c == U'<') *tags_++ = static_cast<uint32_t>(out_ - begin_);
    *out_++ = c == U'\r' || c == U'\n' || c == U'\t' ? U' ' : c;
  }

  char32_t* begin_;
  char32_t* out_;
  uint32_t* tags_begin_;
  uint32_t* tags_;
  DropStep instructions_{U'<', U'?', U'?', U'>'};
  DropStep comments_{U'-', U'-', U'-', U'-'};
  bool busy_ = false;  // inside a part, a unit held, or just after a CR
  bool after_cr_ = false;
};

// Decodes units of `kStep` bytes into the normaliser; with `kPairs`, a
// UTF-16 surrogate pair gives one code point.
template <size_t kStep, bool kBig, bool kPairs>
void DecodeUnits(const uint8_t* p, size_t size, Normaliser* out) {
  for (size_t i = out->KeepPlain<kStep, kBig>(p, 0, size); i + kStep <= size;
       i = out->KeepPlain<kStep, kBig>(p, i, size)) {
    uint32_t u = UnitAt<kStep, kBig>(p + i);
    i += kStep;
    if (kPairs && u - 0xD800 < 0x800 && i + kStep <= size) {
      uint32_t v = UnitAt<kStep, kBig>(p + i);
      uint32_t high = u <= 0xDBFF ? u : v, low = u <= 0xDBFF ? v : u;
      u = 0x10000 + ((high & 0x3FF) << 10) + (low & 0x3FF);
      i += kStep;
    }
    out->Put(static_cast<char32_t>(u));
  }
}

void Decode(const std::string& b, int kind, int big, Normaliser* out) {
  const auto* p = reinterpret_cast<const uint8_t*>(b.data());
  size_t size = b.size();
  if (kind == kUcs4)
    return big ? DecodeUnits<4, true, false>(p, size, out) : DecodeUnits<4, false, false>(p, size, out);
  if (kind == kUcs2)
    return big ? DecodeUnits<2, true, false>(p, size, out) : DecodeUnits<2, false, false>(p, size, out);
  return big ? DecodeUnits<2, true, true>(p, size, out) : DecodeUnits<2, false, true>(p, size, out);
}

constexpr std::u32string_view kSystem = U" SYSTEM ";

// Notes where entity declarations can end, so that an entity's search
// visits those places only. The search is for the "Y", rarer than the blank.
void NoteDeclarations(Text* text) {
  std::u32string_view t = text->units;
  for (auto y = t.begin(); t.end() - y > 2; ++y) {
    y = std::find(y + 2, t.end(), U'Y') - 2;
    size_t p = static_cast<size_t>(y - t.begin());
    if (t.compare(p, kSystem.size(), kSystem) == 0) text->systems.push_back(static_cast<uint32_t>(p));
  }
}

// What a file gave while a RuleFileReadScope lives: the text, or nothing
// for a file that could not be read. The key holds the defaults, which
// decide the text of a file without a byte-order mark.
using ReadKey = std::tuple<std::string, int, int>;
thread_local std::map<ReadKey, std::optional<Text>>* read_once = nullptr;

bool ReadTextNow(const std::string& base, int default_kind, int default_order, Text* text) {
  std::string bytes;
  if (!ReadWholeFile(TheEngine().folder + base, kMaxRuleFile, &bytes)) return false;
  if (!DecideEncoding(bytes, default_kind, default_order, &text->unit_kind, &text->byte_order))
    return false;
  text->storage = std::make_unique_for_overwrite<char32_t[]>(bytes.size() / 2);
  // Tags are noted in a list as long as the text, left uninitialised so that
  // only the entries written touch memory, and kept at their count.
  auto tags = std::make_unique_for_overwrite<uint32_t[]>(bytes.size() / 2);
  Normaliser normaliser(text->storage.get(), tags.get());
  Decode(bytes, text->unit_kind, text->byte_order, &normaliser);
  text->units = std::u32string_view(text->storage.get(), normaliser.Finish());
  text->tags.assign(tags.get(), tags.get() + normaliser.TagCount());
  NoteDeclarations(text);
  return true;
}

// Reads a rule or set file of the configuration folder: any folder part of
// the name is dropped and the name lower-cased. Answers the text kept by the
// read scope (a set file serves every rule file that names it without a
// copy), else the text read into `own`; null when it cannot be read.
const Text* ReadText(const std::string& name, int default_kind, int default_order, Text* own) {
  size_t slash = name.find_last_of("/\\");
  std::string base = AsciiLower(slash == std::string::npos ? name : name.substr(slash + 1));
  if (base.empty() || base == "." || base == "..") return nullptr;
  if (read_once == nullptr) return ReadTextNow(base, default_kind, default_order, own) ? own : nullptr;
  ReadKey key{base, default_kind, default_order};
  auto found = read_once->find(key);
  if (found == read_once->end()) {
    Text read;
    std::optional<Text> kept;
    if (ReadTextNow(base, default_kind, default_order, &read)) kept = std::move(read);
    found = read_once->emplace(std::move(key), std::move(kept)).first;
  }
  return found->second ? &*found->second : nullptr;
}

// Whether "</name>" starts at `p`.
bool IsEndTag(std::u32string_view t, size_t p, std::u32string_view name) {
  return t.size() - p >= name.size() + 3 && t[p + 1] == U'/' && t[p + 2] == name[0] &&
         t.compare(p + 2, name.size(), name) == 0 && t[p + 2 + name.size()] == U'>';
}

// Finds the first element `name` starting in [from, limit).
bool Find(const Text& text, std::u32string_view name, size_t from, size_t limit, Element* e) {
  std::u32string_view t = text.units;
  auto tags_end = text.tags.end();
  for (auto tag = std::lower_bound(text.tags.begin(), tags_end, from); tag != tags_end && *tag < limit; ++tag) {
    size_t p = *tag;
    size_t after = p + 1 + name.size();
    if (after >= limit || t[p + 1] != name[0] || t.compare(p + 1, name.size(), name) != 0) continue;
    if (t[after] != U'>' && t[after] != U' ') continue;
    size_t gt = t.find(U'>', after);
    if (gt == std::u32string_view::npos || gt >= limit) return false;
    e->begin = p;
    e->attrs_begin = after;
    if (t[gt - 1] == U'/') {  // <name ... />
      e->attrs_end = gt - 1;
      e->content_begin = e->content_end = e->end = gt + 1;
      return true;
    }
    e->attrs_end = gt;
    // The end tag is the first after the start tag; one past the limit ends
    // the search.
    size_t end_tag_size = name.size() + 3;
    for (auto q = std::lower_bound(tag, tags_end, gt + 1); q != tags_end && *q + end_tag_size <= limit; ++q) {
      if (!IsEndTag(t, *q, name)) continue;
      e->content_begin = gt + 1;
      e->content_end = *q;
      e->end = *q + end_tag_size;
      return true;
    }
    return false;
  }
  return false;
}

// Low bytes of units [begin, end); nothing when longer than a field holds.
std::optional<std::string> Field(std::u32string_view t, size_t begin, size_t end) {
  if (end - begin > kMaxField) return std::nullopt;
  std::string s(end - begin, '\0');
  for (size_t i = begin; i < end; ++i) s[i - begin] = static_cast<char>(t[i] & 0xFF);
  return s;
}

std::optional<std::string> Content(const Text& text, const Element& e) {
  std::u32string_view t = text.units;
  size_t b = e.content_begin, x = e.content_end;
  while (b < x && t[b] == U' ') ++b;
  while (x > b && t[x - 1] == U' ') --x;
  return Field(t, b, x);
}

enum class Lookup { kFound, kAbsent, kBad };

// The value of attribute `name` in the element's start tag.
Lookup Attribute(const Text& text, const Element& e, std::u32string_view name, std::string* value) {
  std::u32string_view t = text.units;
  for (size_t p = e.attrs_begin; p + name.size() <= e.attrs_end; ++p) {
    if (t[p] != name[0] || t.compare(p, name.size(), name) != 0 || t[p - 1] != U' ') continue;
    size_t q = p + name.size();
    while (q < e.attrs_end && t[q] == U' ') ++q;
    if (q >= e.attrs_end || t[q] != U'=') continue;
    size_t open = t.find(U'"', q);
    if (open == std::u32string_view::npos || open >= e.attrs_end) return Lookup::kBad;
    size_t close = t.find(U'"', open + 1);
    if (close == std::u32string_view::npos || close >= e.attrs_end) return Lookup::kBad;
    auto field = Field(t, open + 1, close);
    if (!field) return Lookup::kBad;
    *value = *field;
    return Lookup::kFound;
  }
  return Lookup::kAbsent;
}

// The file named by the entity referenced in [begin, end) ("&name;"), from
// its declaration "name SYSTEM "file"" in the same text.
std::optional<std::string> EntityFile(const Text& text, size_t begin, size_t end) {
  std::u32string_view t = text.units;
  std::u32string_view reference = t.substr(0, end);
  size_t amp = reference.find(U'&', begin);
  if (amp == std::u32string_view::npos) return std::nullopt;
  size_t n = amp + 1;
  while (n < end && t[n] == U' ') ++n;
  size_t semi = reference.find(U';', n);
  if (semi == std::u32string_view::npos || semi == n || semi - n > kMaxField) return std::nullopt;
  std::u32string_view entity = t.substr(n, semi - n);
  // Each declaration ends in one of the noted " SYSTEM ", right after the
  // name; the first whose name is whole (a blank or the text's start before
  // it) counts.
  for (uint32_t system : text.systems) {
    if (system < entity.size()) continue;
    size_t p = system - entity.size();
    if (t.compare(p, entity.size(), entity) != 0) continue;
    if (p > 0 && t[p - 1] != U' ') continue;  // the tail of a longer name
    size_t open = t.find(U'"', system + kSystem.size());
    if (open == std::u32string_view::npos) return std::nullopt;
    size_t close = t.find(U'"', open + 1);
    if (close == std::u32string_view::npos) return std::nullopt;
    auto file = Field(t, open + 1, close);
    if (!file || file->empty()) return std::nullopt;
    return file;
  }
  return std::nullopt;
}

std::optional<uint32_t> Number(const std::string& s, int base) {
  if (s.empty() || s.size() > 8) return std::nullopt;
  uint32_t v = 0;
  for (char c : s) {
    int d = c >= '0' && c <= '9' ? c - '0'
          : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
          : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return std::nullopt;
    v = v * base + static_cast<uint32_t>(d);
  }
  return v;
}

// A width attribute: absent gives 2; anything outside 1-4 is refused.
std::optional<int> Width(const Text& text, const Element& e, std::u32string_view name, int base) {
  std::string value;
  Lookup found = Attribute(text, e, name, &value);
  if (found == Lookup::kAbsent) return 2;
  if (found == Lookup::kBad) return std::nullopt;
  auto n = Number(value, base);
  if (!n || *n < 1 || *n > 4) return std::nullopt;
  return static_cast<int>(*n);
}

// The "defined" list: hexadecimal codes, alone or as "a-b" ranges.
bool ParseDefined(const std::string& list, CconvCodeSet* set) {
  size_t pos = 0;
  while (pos < list.size()) {
    size_t space = list.find(' ', pos);
    std::string item = list.substr(pos, space == std::string::npos ? std::string::npos : space - pos);
    pos = space == std::string::npos ? list.size() : space + 1;
    if (item.empty()) continue;
    size_t dash = item.find('-');
    auto low = Number(item.substr(0, dash), 16);
    auto high = dash == std::string::npos ? low : Number(item.substr(dash + 1), 16);
    if (!low || !high || *high < *low) return false;
    if (set->defined.empty() || *low < set->lowest_defined) set->lowest_defined = *low;
    if (set->defined.empty() || *high > set->highest_defined) set->highest_defined = *high;
    set->defined.emplace_back(*low, *high);
  }
  return true;
}

// Adds `set` to the engine's list unless a set with its id is there; answers
// the set the charset refers to.
CconvCodeSet* Register(std::unique_ptr<CconvCodeSet> set) {
  if (CconvCodeSet* existing = FindCodeSet(set->id)) return existing;
  Engine& engine = TheEngine();
  if (engine.code_sets.size() >= kMaxListEntries) return nullptr;
  engine.code_sets.push_back(std::move(set));
  return engine.code_sets.back().get();
}

// Reads the set file that a "baseset" or "diffset" element names.
CconvCodeSet* LoadSet(const Text& rule, const Element& element, bool diff) {
  auto file = EntityFile(rule, element.content_begin, element.content_end);
  Text own;
  const Text* read = file ? ReadText(*file, rule.unit_kind, rule.byte_order, &own) : nullptr;
  if (read == nullptr) return nullptr;
  const Text& text = *read;
  size_t size = text.units.size();
  Element root, e;
  if (!Find(text, diff ? U"subsetb" : U"subseta", 0, size, &root)) return nullptr;
  auto set = std::make_unique<CconvCodeSet>();
  set->kind = diff ? 2 : 1;
  size_t pos = root.content_begin, end = root.content_end;
  if (!Find(text, U"name", pos, end, &e)) return nullptr;
  auto name = Content(text, e);
  if (!name) return nullptr;
  set->name = *name;
  set->id = NameToId(*name);
  pos = e.end;
  if (Find(text, U"lang", pos, end, &e)) {
    if (Attribute(text, e, U"domain", &set->domain) == Lookup::kBad) return nullptr;
    pos = e.end;
  }
  int width = 2;
  if (Find(text, diff ? U"codeb" : U"code", pos, end, &e)) {
    auto w = Width(text, e, U"bytenum", 10);
    if (!w) return nullptr;
    width = *w;
    if (diff && Attribute(text, e, U"basedon", &set->based_on) == Lookup::kBad) return nullptr;
    pos = e.end;
  }
  if (diff && set->based_on.empty() &&
      Attribute(text, root, U"basedon", &set->based_on) == Lookup::kBad)
    return nullptr;
  set->unit_width = static_cast<uint16_t>(width);
  while (Find(text, U"range", pos, end, &e)) pos = e.end;
  if (Find(text, U"defined", pos, end, &e)) {
    std::string all;
    for (size_t i = e.content_begin; i < e.content_end; ++i) all.push_back(static_cast<char>(text.units[i] & 0xFF));
    if (!ParseDefined(all, set.get())) return nullptr;
    pos = e.end;
  }
  std::string table;
  if (Find(text, U"srtable", pos, end, &e)) {
    auto named = EntityFile(text, e.content_begin, e.content_end);
    if (!named) return nullptr;
    table = *named;
  }
  set->to_unicode = std::make_unique<CconvTable>(1, 4, table, text.unit_kind, text.byte_order);
  set->to_code = std::make_unique<CconvTable>(0, width, table, text.unit_kind, text.byte_order);
  return Register(std::move(set));
}

// Reads the user-defined area that an "eudcset" element names.
CconvCodeSet* LoadArea(const Text& rule, const Element& element) {
  auto file = EntityFile(rule, element.content_begin, element.content_end);
  Text own;
  const Text* read = file ? ReadText(*file, rule.unit_kind, rule.byte_order, &own) : nullptr;
  if (read == nullptr) return nullptr;
  const Text& text = *read;
  size_t pos = 0, end = text.units.size();
  Element e;
  auto set = std::make_unique<CconvCodeSet>();
  set->kind = 3;
  if (!Find(text, U"name", pos, end, &e)) return nullptr;
  auto name = Content(text, e);
  if (!name) return nullptr;
  set->name = *name;
  set->id = NameToId(*name);
  pos = e.end;
  int width = 2;
  if (Find(text, U"codec", pos, end, &e)) {
    auto w = Width(text, e, U"bytenum", 10);
    if (!w) return nullptr;
    width = *w;
    pos = e.end;
  }
  set->unit_width = static_cast<uint16_t>(width);
  while (Find(text, U"range", pos, end, &e)) pos = e.end;
  if (!Find(text, U"defrange", pos, end, &e)) return nullptr;
  std::string start, number;
  if (Attribute(text, e, U"start", &start) != Lookup::kFound ||
      Attribute(text, e, U"number", &number) != Lookup::kFound)
    return nullptr;
  auto s = Number(start, 16), n = Number(number, 16);
  if (!s || !n || *s > 0xFFFF || *n > 0xFFFF) return nullptr;
  set->area_start = static_cast<uint16_t>(*s);
  set->area_count = static_cast<uint16_t>(*n);
  set->to_unicode = std::make_unique<CconvTable>(1, 4, std::string(), text.unit_kind, text.byte_order);
  set->to_code = std::make_unique<CconvTable>(0, width, std::string(), text.unit_kind, text.byte_order);
  return Register(std::move(set));
}

}  // namespace

RuleFileReadScope::RuleFileReadScope() : owner_(read_once == nullptr) {
  if (owner_) read_once = new std::map<ReadKey, std::optional<Text>>;
}

RuleFileReadScope::~RuleFileReadScope() {
  if (!owner_) return;  // an outer scope keeps what was read
  delete read_once;
  read_once = nullptr;
}

bool LoadRuleFile(const std::string& file_name) {
  Text own;
  const Text* read = ReadText(file_name, kUtf16, 0, &own);
  if (read == nullptr) return false;
  const Text& rule = *read;
  Element charset_element, e;
  if (!Find(rule, U"charset", 0, rule.units.size(), &charset_element)) return false;
  size_t pos = charset_element.content_begin, end = charset_element.content_end;
  if (!Find(rule, U"name", pos, end, &e)) return false;
  auto name = Content(rule, e);
  if (!name || name->empty()) return false;
  auto charset = std::make_unique<CconvCharset>();
  charset->name = AsciiLower(*name);
  charset->id = NameToId(charset->name);
  if (FindCharset(charset->id)) return true;
  pos = e.end;
  if (Find(rule, U"rule", pos, end, &e)) {
    if (Attribute(rule, e, U"construle", &charset->encoder_name) != Lookup::kFound ||
        Attribute(rule, e, U"destrule", &charset->decoder_name) != Lookup::kFound)
      return false;
    pos = e.end;
  }
  for (;;) {
    Element base, diff;
    bool has_base = Find(rule, U"baseset", pos, end, &base);
    bool has_diff = Find(rule, U"diffset", pos, end, &diff);
    if (!has_base && !has_diff) break;
    bool take_diff = has_diff && (!has_base || diff.begin < base.begin);
    const Element& element = take_diff ? diff : base;
    CconvCodeSet* set = LoadSet(rule, element, take_diff);
    if (!set || charset->sets.size() >= kMaxListEntries) return false;
    std::vector<std::unique_ptr<CconvTable>> extra;
    size_t inner = element.content_begin;
    Element dstable;
    while (Find(rule, U"dstable", inner, element.content_end, &dstable)) {
      auto width = Width(rule, dstable, U"bytenum", 16);
      auto file = EntityFile(rule, dstable.content_begin, dstable.content_end);
      if (!width || !file) return false;
      extra.push_back(std::make_unique<CconvTable>(0, *width, *file, rule.unit_kind, rule.byte_order));
      inner = dstable.end;
    }
    charset->sets.push_back(set);
    charset->dstables.push_back(std::move(extra));
    pos = element.end;
  }
  Element area;
  if (Find(rule, U"eudcset", pos, end, &area)) {
    CconvCodeSet* set = LoadArea(rule, area);
    if (!set || charset->sets.size() >= kMaxListEntries) return false;
    charset->sets.push_back(set);
    charset->dstables.emplace_back();
  }
  Engine& engine = TheEngine();
  if (engine.charsets.size() >= kMaxListEntries) return false;
  engine.charsets.push_back(std::move(charset));
  return true;
}

}  // namespace cconv
