// The chunk walk of page and master-shape parts, and the readers of the
// chunks that carry text: shape text (14), Data1-3 (16-18), format strings
// (45), field lists (102 with their 0xA1 records), transforms (104, 155),
// text runs (105 with their 148 records), positions (157), data texts (164),
// annotations (198) and embedded objects (13 with their 31 sub-chunks).
// Guides (77) and the chunks after them are stepped over.
// Offsets inside a chunk count from its first header byte.
#include "chunk_walk.h"

#include <algorithm>
#include <cstdio>

#include "dalvex/extract_records.h"
#include "dalvex/portability.h"
#include "shape_text.h"
#include "text_bytes.h"

namespace glyphane {

namespace {

constexpr uint32_t kMaxLoops = 0x1FFFF;
constexpr uint8_t kGuideChunk = 77;

bool IsShapeChunk(uint8_t type) { return type == 71 || type == 72 || type == 78; }

// A guide is no shape, but like one it ends the shape before it: its own
// chunks (a transform, often an empty text) follow it, and read into that
// shape they would move it and wipe its text.
bool EndsShape(uint8_t type) { return IsShapeChunk(type) || type == kGuideChunk; }

// Reads a length-prefixed text of `length` bytes at `pos`, cut to the span
// and to `capacity`.
std::string CutText(const PartBytes& bytes, uint64_t pos, uint64_t length, uint64_t capacity,
                    uint32_t code_page) {
  std::string text = bytes.Bytes(pos, length);
  CutToCapacity(&text, capacity, code_page);
  return text;
}

}  // namespace

uint64_t ChunkOverhead(uint8_t version, uint8_t type, bool top_level) {
  if (IsOldLayout(version)) return 12;
  bool long_header = type == 13 || type == 44 || (type >= 48 && type <= 65) ||
                     (type >= 67 && type <= 79) || (type >= 81 && type <= 126) ||
                     (top_level && type == 21);
  uint64_t size = long_header ? 27 : 19;
  if (HasChunkTrailer(version)) {
    switch (type) {
      case 12: case 14: case 16: case 17: case 18: case 31: case 40: case 45: case 66:
      case 201: case 209:
        break;
      default:
        size += 4;
    }
  }
  return size;
}

int32_t ChunkWalker::ReadChunk(const PartBytes& part, uint64_t pos, bool top_level,
                               Chunk* chunk) const {
  const uint8_t version = session_.version;
  auto type = part.U8(pos);
  auto length = part.U32(pos + (IsOldLayout(version) ? 8 : 12));
  if (!type || !length) return InvalidFile;  // the header passes the part's end
  uint64_t total = ChunkOverhead(version, *type, top_level) + *length;
  if (!part.Has(pos, total)) return InvalidFile;  // the data passes the part's end
  chunk->start = pos;
  chunk->type = *type;
  chunk->data_length = *length;
  chunk->end = pos + total;
  chunk->bytes = part.Sub(pos, total);
  return 0;
}

int32_t ChunkWalker::CountLoop(uint32_t* loops) const {
  if ((session_.flags_a & kFlagALoopLimit) && ++*loops > kMaxLoops) return MaxLoopCounts;
  return 0;
}

int32_t ChunkWalker::WalkPage(const PartBytes& part) {
  ++session_.stats.pages_walked;
  position_ = PositionNode{};
  uint64_t pos = 0;
  while (part.size() >= 2 && pos < part.size() - 1) {
    Chunk chunk;
    if (int32_t rc = ReadChunk(part, pos, true, &chunk)) return rc;
    if (chunk.type == 70 || IsShapeChunk(chunk.type)) {
      if (int32_t rc = WalkShape(part, &pos)) return rc;
    } else if (chunk.type == kGuideChunk) {
      if (int32_t rc = SkipGuide(part, &pos)) return rc;
    } else {
      pos = chunk.end;
    }
  }
  if (pos != part.size()) ++session_.stats.page_parts_short;
  return 0;
}

int32_t ChunkWalker::WalkShape(const PartBytes& part, uint64_t* pos) {
  const uint8_t version = session_.version;
  Chunk own;
  if (int32_t rc = ReadChunk(part, *pos, true, &own)) return rc;

  ShapeItem item;
  item.type = own.type;
  if (IsShapeChunk(own.type)) {
    const PartBytes& c = own.bytes;
    if (IsOldLayout(version)) {
      item.shape_id = c.U16(2).value_or(0);
      item.parent_id = c.U16(14).value_or(0);
      item.master_id = c.U16(18).value_or(0xFFFF);
      item.master_shape_id = c.U16(20).value_or(0xFFFF);
    } else {
      item.shape_id = c.U32(4).value_or(0);
      item.parent_id = c.U32(29).value_or(0);
      item.master_id = c.U32(37).value_or(0xFFFFFFFF);
      item.master_shape_id = c.U32(45).value_or(0xFFFFFFFF);
    }
  }
  session_.items.push_back(std::move(item));
  const uint32_t index = static_cast<uint32_t>(session_.items.size() - 1);
  position_.shape_id = session_.items[index].shape_id;
  position_.parent_id = session_.items[index].parent_id;
  position_.item = index;
  shape_ = ShapeState{};

  *pos = own.end;
  uint32_t loops = 0;
  for (;;) {
    Chunk chunk;
    bool ended = false;
    if (int32_t rc = NextInShape(part, *pos, &loops, &chunk, &ended)) return rc;
    if (ended) break;
    ShapeItem& current = session_.items[index];
    uint64_t next = chunk.end;
    int32_t rc = 0;
    switch (chunk.type) {
      case 13: rc = ReadEmbeddedObject(part, chunk, &current); break;
      case 14: ReadText(chunk, &shape_, &current); break;
      case 16: case 17: case 18:
        if (IsOldLayout(version) && chunk.data_length > 3)
          current.data[chunk.type - 16] = chunk.bytes.Bytes(14, chunk.data_length - 3);
        break;
      case 45: ReadFormatString(chunk, &shape_); break;
      case 102: rc = ReadFieldList(part, chunk, &shape_, &next); break;
      case 104: if (IsOldLayout(version)) ReadTransform(chunk, &current); break;
      case 155: ReadTransform(chunk, &current); break;
      case 105:
        if (!IsOldLayout(version)) rc = ReadTextRuns(part, chunk, &current, &next);
        break;
      case 157:
        if (auto x = chunk.bytes.F64(20)) position_.x = *x;
        if (auto y = chunk.bytes.F64(29)) position_.y = *y;
        break;
      case 164: ReadDataText(chunk, &current); break;
      case 198: if (IsUtf16Layout(version)) ReadAnnotation(chunk); break;
      default: break;
    }
    if (rc) return rc;
    *pos = next;
  }
  return BuildShapeText(session_, formatter_, page_, index, position_, &shape_);
}

int32_t ChunkWalker::NextInShape(const PartBytes& part, uint64_t pos, uint32_t* loops, Chunk* chunk,
                                 bool* ended) const {
  *ended = pos >= part.size() - 1;
  if (*ended) return 0;
  if (int32_t rc = CountLoop(loops)) return rc;
  if (int32_t rc = ReadChunk(part, pos, false, chunk)) return rc;
  *ended = EndsShape(chunk->type);
  return 0;
}

int32_t ChunkWalker::SkipGuide(const PartBytes& part, uint64_t* pos) {
  Chunk own;
  if (int32_t rc = ReadChunk(part, *pos, true, &own)) return rc;
  *pos = own.end;
  uint32_t loops = 0;
  for (;;) {
    Chunk chunk;
    bool ended = false;
    if (int32_t rc = NextInShape(part, *pos, &loops, &chunk, &ended)) return rc;
    if (ended) return 0;
    if (int32_t rc = StepOverInGuide(part, chunk, pos)) return rc;
  }
}

int32_t ChunkWalker::StepOverInGuide(const PartBytes& part, const Chunk& chunk, uint64_t* pos) const {
  // Field lists and text runs end past their own records; those are read
  // into state that nobody keeps.
  uint64_t next = chunk.end;
  int32_t rc = 0;
  if (chunk.type == 102) {
    ShapeState unused;
    rc = ReadFieldList(part, chunk, &unused, &next);
  } else if (chunk.type == 105 && !IsOldLayout(session_.version)) {
    ShapeItem unused;
    rc = ReadTextRuns(part, chunk, &unused, &next);
  }
  *pos = next;
  return rc;
}

int32_t ChunkWalker::WalkMasterShape(const PartBytes& part, MasterShape* shape) {
  ++session_.stats.master_shapes_walked;
  shape_ = ShapeState{};
  uint64_t pos = 0;
  if (part.size() >= 2) {
    Chunk own;
    if (int32_t rc = ReadChunk(part, 0, true, &own)) return rc;
    pos = own.end;
    uint32_t loops = 0;
    bool in_guide = false;  // a guide's chunks are not the master shape's
    while (pos < part.size() - 1) {
      if (int32_t rc = CountLoop(&loops)) return rc;
      Chunk chunk;
      if (int32_t rc = ReadChunk(part, pos, false, &chunk)) return rc;
      if (EndsShape(chunk.type)) in_guide = chunk.type == kGuideChunk;
      if (in_guide) {
        if (int32_t rc = StepOverInGuide(part, chunk, &pos)) return rc;
        continue;
      }
      uint64_t next = chunk.end;
      if (chunk.type == 14) {
        ReadText(chunk, &shape_, nullptr);
      } else if (chunk.type == 45) {
        ReadFormatString(chunk, &shape_);
      } else if (chunk.type == 102) {
        if (int32_t rc = ReadFieldList(part, chunk, &shape_, &next)) return rc;
      }
      pos = next;
    }
  }
  if (pos != part.size()) ++session_.stats.master_shape_parts_short;
  shape->text = shape_.text.value_or(std::string());
  shape->fields = std::move(shape_.fields);
  shape->field_ids = std::move(shape_.field_ids);
  shape->field_base = shape_.field_base;
  shape->format_strings = std::move(shape_.format_strings);
  FinishMasterShape(session_.version, shape);
  return 0;
}

void FinishMasterShape(uint8_t version, MasterShape* shape) {
  bool blank = true;
  if (IsUtf16Layout(version)) {
    for (size_t i = 0; i + 1 < shape->text.size() && blank; i += 2) {
      uint16_t unit = static_cast<uint8_t>(shape->text[i]) |
                      (static_cast<uint8_t>(shape->text[i + 1]) << 8);
      blank = unit == 0x0A || unit == 0x0D || unit == 0x0E || unit == 0x20;
    }
  } else {
    for (char c : shape->text) {
      if (c != 0x0A && c != 0x0D && c != 0x0E && c != 0x20) { blank = false; break; }
    }
  }
  if (blank) {
    shape->text.clear();
    shape->fields.clear();
    shape->field_ids.clear();
    shape->format_strings.clear();
    shape->keeps_text = false;
    shape->plain = false;
    return;
  }
  shape->keeps_text = true;
  shape->plain = !IsOldLayout(version) && shape->fields.empty();
}

// A text chunk's data is an 8-byte prefix and the text, whose end only the
// data length records. Visio closes a text with a paragraph mark or a zero
// that is no part of it; other writers stop at the last character.
void ChunkWalker::ReadText(const Chunk& chunk, ShapeState* shape, ShapeItem* item) const {
  const uint8_t version = session_.version;
  const bool utf16 = IsUtf16Layout(version);
  std::string text;
  if (chunk.data_length > 8)
    text = chunk.bytes.Bytes(IsOldLayout(version) ? 20 : 27, uint64_t{chunk.data_length} - 8);
  if (utf16 && (text.size() & 1)) text.pop_back();
  const size_t unit = utf16 ? 2 : 1;
  if (text.size() >= unit) {
    const bool zero = text.compare(text.size() - unit, unit, std::string(unit, '\0')) == 0;
    const bool line_feed = text[text.size() - unit] == '\n' && (!utf16 || text.back() == '\0');
    if (zero || line_feed) text.resize(text.size() - unit);
  }
  if (text.empty()) {
    shape->text.reset();
    if (item) item->flags |= kItemEmptyText;
    return;
  }
  shape->text = std::move(text);
}

void ChunkWalker::ReadFormatString(const Chunk& chunk, ShapeState* shape) const {
  const uint8_t version = session_.version;
  const PartBytes& c = chunk.bytes;
  FormatString format;
  int64_t length;
  uint64_t from;
  if (IsOldLayout(version)) {
    format.id = c.U16(2).value_or(0);
    from = 12;
    length = static_cast<int64_t>(chunk.data_length) - 1;
  } else {
    format.id = c.U32(4).value_or(0);
    from = 19;
    length = static_cast<int64_t>(chunk.data_length) - (IsUtf16Layout(version) ? 2 : 1);
  }
  if (length > 0) {
    format.text = c.Bytes(from, static_cast<uint64_t>(length));
    if (!IsOldLayout(version) && !IsUtf16Layout(version) && !format.text.empty() &&
        format.text.back() == '\0')
      format.text.pop_back();
  }
  CutToCapacity(&format.text, kMaxFormatStringBytes, session_.ItemCodePage());
  shape->format_strings.push_back(std::move(format));
}

namespace {

// The record's own format text (format reference 253).
std::string OwnFormatText(const PartBytes& r, bool utf16, uint32_t code_page) {
  uint64_t selector = utf16 ? 78 : 60;
  bool first = r.U8(selector).value_or(0) == 2;
  uint64_t size_at = utf16 ? (first ? 73 : 92) : (first ? 55 : 74);
  uint64_t length_at = utf16 ? (first ? 80 : 99) : (first ? 62 : 81);
  uint32_t unit = utf16 ? 2 : 1;
  uint64_t length, from;
  if (r.U32(size_at).value_or(0) >= 522) {
    length = uint64_t{r.U32(length_at).value_or(0)} * unit;
    from = length_at + 4;
  } else {
    length = uint64_t{r.U8(length_at).value_or(0)} * unit;
    from = length_at + 1;
  }
  return CutText(r, from, length, kMaxFormatStringBytes, code_page);
}

// The record's own value text (value reference 253).
std::string OwnValueText(const PartBytes& r, bool utf16, uint32_t code_page) {
  if (!utf16) {
    std::string text = TerminatedText(r, 63, false);
    CutToCapacity(&text, kMaxValueTextBytes, code_page);
    return text;
  }
  uint64_t h = r.U32(73).value_or(0);
  if (h < 522) {
    uint64_t length = 2u * r.U8(80).value_or(0);
    if (length != 0 && length <= h && r.U8(81).value_or(0) != 0)
      return CutText(r, 81, length, kMaxValueTextBytes, code_page);
  } else {
    uint64_t length = 2ull * r.U32(80).value_or(0);
    if (length != 0 && length <= h) return CutText(r, 84, length, kMaxValueTextBytes, code_page);
  }
  uint64_t w = r.U32(h + 73).value_or(0);
  uint64_t length, from;
  if (w < 522) {
    length = 2u * r.U8(h + 80).value_or(0);
    from = h + 81;
  } else {
    length = 2ull * r.U32(h + 80).value_or(0);
    from = h + 84;
  }
  if (length > w) return std::string();
  return CutText(r, from, length, kMaxValueTextBytes, code_page);
}

}  // namespace

int32_t ChunkWalker::ReadFieldList(const PartBytes& part, const Chunk& chunk, ShapeState* shape,
                                   uint64_t* pos) const {
  const uint8_t version = session_.version;
  const uint32_t code_page = session_.ItemCodePage();
  const PartBytes& c = chunk.bytes;
  shape->fields.clear();
  shape->field_ids.clear();
  shape->has_field_list = true;
  *pos = chunk.end;

  if (IsOldLayout(version)) {
    // The count stands at the data length plus 8; before it, 4-byte entries
    // (0x00A1, record offset) going backwards.
    uint64_t at = uint64_t{chunk.data_length} + 8;
    auto count = c.U16(at);
    if (!count) return InvalidFile;
    if (uint64_t{*count} * 4 > at) return InvalidFile;
    for (uint32_t k = 0; k < *count; ++k) {
      uint64_t offset = c.U16(at - 2 - 4 * uint64_t{k}).value_or(0);
      FieldRecord record;
      record.field_id = k;
      record.value_ref = FieldRef{FieldRef::kNone, 0};
      record.format_ref = FieldRef{FieldRef::kNone, 0};
      // The tag is the first of ' ', '(', 'n', 0xE8 from the offset plus 15,
      // inside this chunk only.
      for (uint64_t t = offset + 15; t < c.size(); ++t) {
        uint8_t b = c.data()[t];
        if (b != ' ' && b != '(' && b != 'n' && b != 0xE8) continue;
        record.value_tag = b;
        if (b == ' ' || b == '(') {
          record.value_ref = FieldRef{FieldRef::kNumber, 0};
          record.number = c.F64(t + 1).value_or(0);
        } else if (b == 'n') {
          record.value_ref = FieldRef{FieldRef::kNumber, 0};
          record.integer = c.U32(t + 1).value_or(0) / 100;
          record.number = record.integer;
        } else {
          record.value_ref = FieldRef::FromByte(c.U8(t + 1).value_or(252));
          if (record.value_ref.kind == FieldRef::kOwnText) {
            if (c.U16(offset + 11).value_or(0) < 264)
              record.value_text = CutText(c, t + 3, c.U8(t + 2).value_or(0), kMaxValueTextBytes, code_page);
            else
              record.value_text = CutText(c, t + 4, c.U16(t + 2).value_or(0), kMaxValueTextBytes, code_page);
          }
        }
        break;
      }
      shape->fields.push_back(std::move(record));
    }
    shape->own_empty_field_list = shape->fields.empty();
    return 0;
  }

  uint32_t count = c.U32(39).value_or(0);
  for (uint64_t k = 0; k < count && c.Has(51 + 4 * k, 4); ++k)
    shape->field_ids.push_back(*c.U32(51 + 4 * k));
  uint64_t sub = chunk.end;
  for (uint32_t k = 0; k < count; ++k) {
    auto type = part.U8(sub);
    auto length = part.U32(sub + 12);
    if (!type || !length) return InvalidFile;
    if (*type != 0xA1) break;  // the walk goes on at this record
    uint64_t total = uint64_t{*length} + 19 + (IsUtf16Layout(version) ? 4 : 0);
    if (!part.Has(sub, total)) return InvalidFile;
    PartBytes r = part.Sub(sub, total);
    FieldRecord record;
    record.field_id = k < shape->field_ids.size() ? shape->field_ids[k] : k;
    record.kind = r.U8(47).value_or(0);
    record.format_code = r.U8(49).value_or(0);
    record.format_ref = FieldRef::FromInt32(static_cast<int32_t>(r.U32(37).value_or(0xFFFFFFFC)));
    record.value_tag = r.U8(26).value_or(0);
    if (record.value_tag == 0xE8) {
      record.value_ref = FieldRef::FromInt32(static_cast<int32_t>(r.U32(27).value_or(0xFFFFFFFC)));
    } else {
      record.value_ref = FieldRef{FieldRef::kNumber, 0};
      if (record.value_tag == 'n' || record.value_tag == 'a') {
        record.integer = r.U32(27).value_or(0);
        record.number = record.integer;
      } else {
        record.number = r.F64(27).value_or(0);
      }
    }
    if (record.format_ref.kind == FieldRef::kOwnText) {
      record.format_text = OwnFormatText(r, IsUtf16Layout(version), code_page);
      record.flags |= 2;
    }
    if (record.value_ref.kind == FieldRef::kOwnText)
      record.value_text = OwnValueText(r, IsUtf16Layout(version), code_page);
    shape->fields.push_back(std::move(record));
    sub += total;
  }
  *pos = sub;
  shape->own_empty_field_list = count == 0;
  shape->field_base = shape->field_ids.empty()
                          ? 0
                          : *std::min_element(shape->field_ids.begin(), shape->field_ids.end());
  return 0;
}

int32_t ChunkWalker::ReadTextRuns(const PartBytes& part, const Chunk& chunk, ShapeItem* item,
                                  uint64_t* pos) const {
  const uint8_t version = session_.version;
  const PartBytes& c = chunk.bytes;
  item->run_ids.clear();
  item->runs.clear();
  uint32_t count = c.U32(39).value_or(0);
  for (uint64_t k = 0; k < count && c.Has(51 + 4 * k, 4); ++k) item->run_ids.push_back(*c.U32(51 + 4 * k));
  uint64_t sub = chunk.start + chunk.data_length + (HasChunkTrailer(version) ? 31 : 27);
  for (uint32_t k = 0; k < count; ++k) {
    auto type = part.U8(sub);
    auto length = part.U32(sub + 12);
    if (!type || !length) return InvalidFile;
    if (*type != 148) break;  // the walk goes on at this record
    uint64_t total = uint64_t{*length} + 19 + (HasChunkTrailer(version) ? 4 : 0);
    if (!part.Has(sub, total)) return InvalidFile;
    PartBytes r = part.Sub(sub, total);
    TextRun run;
    run.run_id = r.U32(4).value_or(0);
    run.length = r.U32(19).value_or(0);
    if (IsUtf16Layout(version)) run.length = run.length > 0x7FFFFFFF ? 0xFFFFFFFE : run.length * 2;
    run.style = r.U8(30).value_or(0);
    run.case_byte = r.U8(31).value_or(0);
    item->runs.push_back(run);
    sub += total;
  }
  *pos = std::max(sub, chunk.end);
  return 0;
}

void ChunkWalker::ReadTransform(const Chunk& chunk, ShapeItem* item) {
  uint64_t first = IsOldLayout(session_.version) ? 16 : 19;
  for (int k = 0; k < 7; ++k) {
    uint64_t at = first + 9 * static_cast<uint64_t>(k);
    item->transform_tags[k] = chunk.bytes.U8(at).value_or(0);
    item->transform[k] = chunk.bytes.F64(at + 1).value_or(0);
  }
  if (item->type != 70) {
    position_.x = item->transform[0] - item->transform[4];
    position_.y = item->transform[1] + item->transform[5];
  }
}

void ChunkWalker::ReadDataText(const Chunk& chunk, ShapeItem* item) const {
  const PartBytes& c = chunk.bytes;
  if (chunk.data_length < 34 || c.U8(31).value_or(0) != 0xFD) return;
  uint64_t length, from;
  if (IsUtf16Layout(session_.version)) {
    if (c.U32(64).value_or(0) < 1314) {
      length = 2u * c.U8(71).value_or(0);
      from = 72;
    } else {
      length = 2ull * c.U32(71).value_or(0);
      from = 75;
    }
  } else if (c.U32(42).value_or(0) < 266) {
    length = c.U8(49).value_or(0);
    from = 50;
  } else {
    length = c.U32(49).value_or(0);
    from = 53;
  }
  if (length == 0) return;
  item->data_text = c.Bytes(from, length);
  if (IsUtf16Layout(session_.version) && (item->data_text.size() & 1)) item->data_text.pop_back();
}

void ChunkWalker::ReadAnnotation(const Chunk& chunk) {
  const PartBytes& c = chunk.bytes;
  Annotation note;
  note.date = c.F64(44).value_or(0);
  uint64_t length, from;
  if (c.U32(80).value_or(0) < 522) {
    length = 2u * c.U8(87).value_or(0);
    from = 88;
  } else {
    length = 2ull * c.U32(87).value_or(0);
    from = 91;
  }
  note.text = c.Bytes(from, length);
  if (note.text.size() & 1) note.text.pop_back();
  session_.annotations.push_back(std::move(note));
}

int32_t ChunkWalker::ReadEmbeddedObject(const PartBytes& part, const Chunk& chunk,
                                        ShapeItem* item) const {
  if (!(session_.flags_a & kFlagAEmbeddedObjects))
    return (session_.flags_a & kFlagARefuseEmbedded) ? StoppedByOle : 0;
  const bool old = IsOldLayout(session_.version);
  uint64_t sub = old ? chunk.start + chunk.data_length + 12 : chunk.end;
  uint32_t count = old ? chunk.bytes.U32(16).value_or(0) : chunk.bytes.U32(8).value_or(0);

  if (!item->object_path.empty()) {  // a second object replaces the first
    KVB_ASC_remove(item->object_path.c_str());
    item->object_path.clear();
    item->flags &= ~kItemHasObject;
  }
  char name[260];
  if (KVB_ASC_tmpnam(name) == nullptr) return FileCantOpen;
  // Created exclusively: a name taken in between is never written through.
  KVB_FileHandle file = KVB_FileOpen(name, "wb+x");
  if (file == nullptr) return FileCantOpen;
  auto drop = [&](int32_t code) {
    KVB_FileClose(file);
    KVB_ASC_remove(name);
    return code;
  };
  for (uint32_t k = 0; k < count; ++k) {
    auto type = part.U8(sub);
    auto length = part.U32(sub + (old ? 8 : 12));
    uint64_t header = old ? 12 : 19;
    if (!type || !length || !part.Has(sub, header + *length)) return drop(InvalidFile);
    if (*type != 31) return drop(0);
    if (*length > 0 &&
        KVB_FileWrite(part.data() + sub + header, 1, *length, file) != *length)
      return drop(FileCantOpen);
    sub += header + *length;
  }
  if (KVB_FileClose(file) != 0) {
    KVB_ASC_remove(name);
    return FileCantOpen;
  }
  item->flags |= kItemHasObject;
  item->object_path = name;
  return 0;
}

}  // namespace glyphane
