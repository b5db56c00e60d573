// The walk of a "VisioDocument" stream's pointer tree. The header names the
// trailer part; each part may hold a list of pointer records to further
// parts. Parts are read anew whenever they are visited (decompressed when
// their format says so) and handed to the reader of their type; lists are
// walked in order. The trailer's list is walked twice: first its name list
// (type 50), so that pages find their names, then everything else.
//
// The walk is bounded: a part (by its offset) is walked at most once per
// pass, nesting deeper than 64 parts is refused, and every list, table and
// text is checked against its part.
#include "document_stream.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "chunk_walk.h"
#include "dalvex/extract_records.h"
#include "decompress.h"
#include "shape_text.h"
#include "text_bytes.h"

namespace glyphane {

FieldRef FieldRef::FromByte(uint8_t value) {
  switch (value) {
    case 255: return {kNumber, 0};
    case 254: return {kMaster, 0};
    case 253: return {kOwnText, 0};
    case 252: return {kNone, 0};
    default: return {kFormatString, value};
  }
}

FieldRef FieldRef::FromInt32(int32_t value) {
  if (value >= -4 && value <= -1) return FromByte(static_cast<uint8_t>(256 + value));
  return {kFormatString, static_cast<uint32_t>(value)};
}

namespace {

enum class Scope { kGeneral, kMasters };

constexpr uint64_t kMaxHeaderFooterBytes = 65536;

// Where a list-bearing part keeps its list before version 6.
uint64_t OldListOffset(uint8_t type) {
  switch (type) {
    case 13: return 22;
    case 20: return 134;
    case 29: case 36: case 78: return 34;
    case 30: return 58;
    case 39: case 63: case 68: return 14;
    default: return 0;
  }
}

class DocumentReader {
 public:
  DocumentReader(ByteSource& source, VsdSession& session, VsdSink& sink, FieldFormatter& formatter)
      : source_(source), session_(session), sink_(sink), formatter_(formatter) {}

  int32_t Run();

 private:
  VsdPointer PointerAt(const PartBytes& bytes, uint64_t pos) const;
  bool InsideTrailer(const VsdPointer& pointer) const {
    return pointer.offset <= session_.trailer_end && pointer.length <= session_.trailer_end;
  }
  int32_t ReadPart(const VsdPointer& pointer, VsdPart* part);
  int32_t ReadChildList(const VsdPart& part, std::vector<VsdPointer>* children) const;
  bool WalksList(const VsdPart& part, Scope scope) const;
  int32_t WalkPart(const VsdPointer& pointer, int depth, Scope scope, uint32_t position);
  int32_t WalkChildren(const VsdPart& part, int depth, Scope scope, bool trailer);
  int32_t VisitChild(const VsdPointer& child, int depth, Scope scope, uint32_t position);

  void ReadDocumentDates(const VsdPart& part);
  int32_t ReadNameOffsets(const VsdPart& part);
  void ReadName(const VsdPart& part);
  void ReadHeaderFooter(const VsdPart& part);
  void ReadMasterNames(const VsdPart& part);
  void ReadMasterShapeText(const VsdPart& part);
  int32_t WalkMasterShape(const VsdPart& part, uint32_t position);

  int32_t WalkPages(const VsdPart& part, int depth);
  std::vector<PageEntry> ReadPageList(const VsdPart& part) const;
  int32_t WalkPage(const VsdPointer& pointer, uint32_t position, const std::vector<PageEntry>& pages,
                   int depth);

  ByteSource& source_;
  VsdSession& session_;
  VsdSink& sink_;
  FieldFormatter& formatter_;
  int32_t current_master_ = -1;
  int32_t current_master_shape_ = -1;
  std::vector<uint8_t> stored_;  // the stored bytes of a compressed part
  PartBuffer output_;  // what the decompressor made of them
};

VsdPointer DocumentReader::PointerAt(const PartBytes& bytes, uint64_t pos) const {
  VsdPointer pointer;
  pointer.type = bytes.U8(pos).value_or(0);
  pointer.format = bytes.U8(pos + (IsOldLayout(session_.version) ? 2 : 16)).value_or(0);
  pointer.offset = bytes.U32(pos + 8).value_or(0);
  pointer.length = bytes.U32(pos + 12).value_or(0);
  return pointer;
}

int32_t DocumentReader::Run() {
  uint8_t header[64];
  if (!source_.SeekFromStart(0) || source_.Read(header, sizeof header) != sizeof header)
    return FileCantRead;
  PartBytes bytes(header, sizeof header);
  session_.version = header[26];
  const bool old = IsOldLayout(session_.version);
  session_.pointer_size = old ? 16 : 18;
  session_.list_lead = old ? 2 : 8;
  VsdPointer trailer;
  trailer.type = header[36];
  trailer.format = old ? header[38] : header[52];
  trailer.offset = *bytes.U32(44);
  trailer.length = *bytes.U32(48);
  session_.trailer_end = uint64_t{trailer.offset} + trailer.length;

  if (trailer.length == 0) return 0;
  session_.walked_parts.insert(trailer.offset);
  VsdPart part;
  if (int32_t rc = ReadPart(trailer, &part)) return rc;
  if (old && trailer.type == 20) ReadDocumentDates(part);
  if (!WalksList(part, Scope::kGeneral)) return 0;
  return WalkChildren(part, 0, Scope::kGeneral, true);
}

int32_t DocumentReader::ReadPart(const VsdPointer& pointer, VsdPart* part) {
  part->pointer = pointer;
  const uint64_t length = pointer.length;
  // A part that does not lie inside the stream cannot be read in full.
  if (uint64_t{pointer.offset} + length > source_.Size()) return FileCantRead;
  const auto key = std::make_pair(pointer.offset, pointer.length);
  const auto kept = pointer.Compressed() ? session_.decompressed_parts.find(key) : session_.decompressed_parts.end();
  if (kept != session_.decompressed_parts.end()) {
    part->data = kept->second;
  } else if (pointer.Compressed()) {
    // The stored bytes are read where they lie, or else through a buffer
    // the reader keeps. The decompressor's output buffer becomes the part's
    // own unless it is much larger than the part (left so by a larger part
    // before), when the part gets a copy of exactly its bytes and the
    // buffer is kept.
    const uint8_t* stored = source_.View(pointer.offset, length);
    if (stored == nullptr) {
      if (stored_.size() < length) stored_.resize(length);
      if (!source_.SeekFromStart(pointer.offset)) return FileCantRead;
      if (source_.Read(stored_.data(), length) != length) return FileCantRead;
      stored = stored_.data();
    }
    if (int32_t rc = VsdDecompress(stored, length, session_.flags_a & kFlagALoopLimit, &output_)) return rc;
    std::shared_ptr<const PartBuffer> data;
    if (output_.capacity() / 2 <= output_.size()) {
      data = std::make_shared<const PartBuffer>(std::move(output_));
      output_ = {};
    } else {
      data = std::make_shared<const PartBuffer>(output_.begin(), output_.end());
    }
    // What a kept part holds counts, room included.
    if (session_.decompressed_bytes + data->capacity() <= VsdSession::kPartCacheBytes) {
      session_.decompressed_bytes += data->capacity();
      session_.decompressed_parts.emplace(key, data);
    }
    part->data = std::move(data);
  } else if (const uint8_t* in_place = source_.View(pointer.offset, length)) {
    part->data.reset();
    part->in_place = PartBytes(in_place, length);
  } else {
    auto stored = std::make_shared<PartBuffer>(length);
    if (!source_.SeekFromStart(pointer.offset)) return FileCantRead;
    if (source_.Read(stored->data(), length) != length) return FileCantRead;
    part->data = std::move(stored);
  }
  PartBytes bytes = part->bytes();
  part->has_list_offset = false;
  if (pointer.ListBearing() || pointer.type == 203) {
    if (IsOldLayout(session_.version) && pointer.ListBearing()) {
      part->list_offset = OldListOffset(pointer.type);
      part->has_list_offset = true;
    } else if (auto offset = bytes.U32(pointer.Compressed() ? 4 : 0)) {
      part->list_offset = uint64_t{*offset} + (pointer.Compressed() ? 4 : 0);
      part->has_list_offset = true;
    }
  }
  return 0;
}

int32_t DocumentReader::ReadChildList(const VsdPart& part, std::vector<VsdPointer>* children) const {
  PartBytes bytes = part.bytes();
  if (!part.has_list_offset) return InvalidFile;
  auto count = bytes.U16(part.list_offset);
  if (!count) return InvalidFile;
  uint64_t first = part.list_offset + session_.list_lead;
  if (!bytes.Has(first, uint64_t{*count} * session_.pointer_size)) return InvalidFile;
  children->clear();
  for (uint32_t i = 0; i < *count; ++i)
    children->push_back(PointerAt(bytes, first + uint64_t{i} * session_.pointer_size));
  return 0;
}

bool DocumentReader::WalksList(const VsdPart& part, Scope scope) const {
  const uint8_t type = part.pointer.type;
  if (type == 203) return true;
  if (type == 22 || type == 103 || (scope == Scope::kMasters && type == 109)) return false;
  return part.pointer.ListBearing() && part.has_list_offset && part.list_offset < part.size();
}

int32_t DocumentReader::VisitChild(const VsdPointer& child, int depth, Scope scope, uint32_t position) {
  if (!InsideTrailer(child)) return InvalidFile;
  return WalkPart(child, depth, scope, position);
}

int32_t DocumentReader::WalkChildren(const VsdPart& part, int depth, Scope scope, bool trailer) {
  std::vector<VsdPointer> children;
  if (int32_t rc = ReadChildList(part, &children)) return rc;
  if (!trailer) {
    for (uint32_t i = 0; i < children.size(); ++i) {
      if (children[i].Empty()) continue;
      if (int32_t rc = VisitChild(children[i], depth + 1, scope, i)) return rc;
    }
    return 0;
  }
  // The name list first, then everything else.
  auto names = std::find_if(children.begin(), children.end(),
                            [](const VsdPointer& p) { return p.type == 50; });
  if (names == children.end()) return 0;
  if (int32_t rc = VisitChild(*names, depth + 1, scope, static_cast<uint32_t>(names - children.begin())))
    return rc;
  for (uint32_t i = 0; i < children.size(); ++i) {
    if (children[i].Empty() || children[i].type == 50) continue;
    if (int32_t rc = VisitChild(children[i], depth + 1, scope, i)) return rc;
  }
  return 0;
}

int32_t DocumentReader::WalkPart(const VsdPointer& pointer, int depth, Scope scope, uint32_t position) {
  if (pointer.length == 0) return 0;
  if (depth > kMaxPartDepth) return InvalidFile;
  if (!session_.walked_parts.insert(pointer.offset).second) {
    ++session_.stats.repeated_parts;
    return 0;
  }
  session_.stats.max_depth = std::max<uint32_t>(session_.stats.max_depth, depth);
  VsdPart part;
  if (int32_t rc = ReadPart(pointer, &part)) return rc;
  const bool old = IsOldLayout(session_.version);

  if (scope == Scope::kGeneral) {
    switch (pointer.type) {
      case 20: if (old) ReadDocumentDates(part); break;
      case 29:
        current_master_ = current_master_shape_ = -1;
        if (!WalksList(part, Scope::kMasters)) return 0;
        return WalkChildren(part, depth, Scope::kMasters, false);
      case 39: return WalkPages(part, depth);
      case 50: if (old) { if (int32_t rc = ReadNameOffsets(part)) return rc; } break;
      case 51: ReadName(part); break;
      case 204: ReadHeaderFooter(part); break;
      default: break;
    }
  } else {
    switch (pointer.type) {
      case 30:
        session_.masters.push_back(Master{position, {}});
        current_master_ = static_cast<int32_t>(session_.masters.size() - 1);
        current_master_shape_ = -1;
        break;
      case 71: case 72: case 78:
        if (int32_t rc = WalkMasterShape(part, position)) return rc;
        break;
      case 14: if (!old) ReadMasterShapeText(part); break;
      case 201: if (old) ReadMasterNames(part); break;
      default: break;
    }
  }
  if (!WalksList(part, scope)) return 0;
  return WalkChildren(part, depth, scope, false);
}

void DocumentReader::ReadDocumentDates(const VsdPart& part) {
  PartBytes bytes = part.bytes();
  const uint64_t at[4] = {70, 79, 88, 97};
  for (int i = 0; i < 4; ++i) session_.document_dates[i] = bytes.F64(at[i]).value_or(0);
}

int32_t DocumentReader::ReadNameOffsets(const VsdPart& part) {
  // The count stands 4 bytes before the end, the name offsets at 6, 10, 14
  // ... bytes before the end.
  PartBytes bytes = part.bytes();
  const uint64_t size = bytes.size();
  if (size < 4) return InvalidFile;
  uint16_t count = *bytes.U16(size - 4);
  if (count > 0 && uint64_t{count} * 4 + 2 > size) return InvalidFile;
  std::vector<uint16_t> offsets(count);
  for (uint32_t i = 0; i < count; ++i) offsets[i] = *bytes.U16(size - 6 - 4 * uint64_t{i});
  session_.names.assign(count, std::string());
  for (uint32_t i = 0; i < count; ++i) {
    // Search from the offset plus 6 up to the next larger offset plus 6, so
    // that a short name is not taken from the entry after it.
    uint64_t from = uint64_t{offsets[i]} + 6;
    uint64_t to = size;
    for (uint16_t other : offsets)
      if (other > offsets[i]) to = std::min<uint64_t>(to, uint64_t{other} + 6);
    to = std::min(to, size);
    std::string fallback;
    bool found = false;
    for (uint64_t p = from; p < to && !found; ++p) {
      std::string text = TerminatedText(bytes, p, false);
      if (text.size() > 3) {
        session_.names[i] = std::move(text);
        found = true;
      } else if (fallback.empty() && !text.empty() &&
                 std::all_of(text.begin(), text.end(), [](char c) { return static_cast<uint8_t>(c) >= 0x20; })) {
        fallback = std::move(text);
      }
    }
    if (!found) session_.names[i] = std::move(fallback);
    CutToCapacity(&session_.names[i], kMaxNameBytes, session_.text_code_page);
  }
  return 0;
}

void DocumentReader::ReadName(const VsdPart& part) {
  PartBytes bytes = part.bytes();
  const bool utf16 = IsUtf16Layout(session_.version);
  const bool compressed = part.pointer.Compressed();
  uint64_t minimum = 5 + (utf16 ? 1 : 0) + (compressed ? 4 : 0);
  std::string name;
  if (bytes.size() > minimum) name = TerminatedText(bytes, compressed ? 8 : 4, utf16);
  CutToCapacity(&name, kMaxNameBytes, session_.ItemCodePage());
  session_.names.push_back(std::move(name));
}

void DocumentReader::ReadHeaderFooter(const VsdPart& part) {
  PartBytes bytes = part.bytes();
  const bool utf16 = IsUtf16Layout(session_.version);
  const uint64_t unit = utf16 ? 2 : 1;
  std::vector<std::string> texts;
  uint64_t start = part.pointer.Compressed() ? 6 : 2;
  for (uint64_t pos = start; bytes.Has(pos, unit) && texts.size() < 6; pos += unit) {
    bool zero = utf16 ? (bytes.data()[pos] | bytes.data()[pos + 1]) == 0 : bytes.data()[pos] == 0;
    if (!zero) continue;
    texts.push_back(bytes.Bytes(start, pos - start));
    start = pos + unit;
  }
  auto joined = [&](size_t first) {
    std::string text = texts[first] + texts[first + 1] + texts[first + 2];
    CutToCapacity(&text, kMaxHeaderFooterBytes, session_.ItemCodePage());
    return text;
  };
  if (texts.size() >= 3) {
    std::string header = joined(0);
    if (!header.empty()) session_.header = std::move(header);
  }
  if (texts.size() >= 6) {
    std::string footer = joined(3);
    if (!footer.empty()) session_.footer = std::move(footer);
  }
}

void DocumentReader::ReadMasterNames(const VsdPart& part) {
  PartBytes bytes = part.bytes();
  if (bytes.size() <= 5) return;
  uint16_t count = *bytes.U16(4);
  session_.master_names.clear();
  for (uint64_t i = 0; i < count; ++i) {
    auto index = bytes.U16(6 + 2 * i);
    if (!index) break;
    session_.master_names.push_back(*index);
  }
}

void DocumentReader::ReadMasterShapeText(const VsdPart& part) {
  if (current_master_ < 0 || current_master_shape_ < 0) return;
  PartBytes bytes = part.bytes();
  const uint8_t version = session_.version;
  const bool compressed = part.pointer.Compressed();
  uint64_t from = compressed ? 12 : IsUtf16Layout(version) ? 8 : bytes.size() > 8 ? 8 : 6;
  uint64_t end = bytes.size();
  if (!compressed && !IsUtf16Layout(version) && end > 0) --end;
  if (from >= end) return;
  std::string text = bytes.Bytes(from, end - from);
  if (!IsUtf16Layout(version) && !text.empty() && text.back() == '\0') text.pop_back();
  if (text.empty()) return;
  MasterShape& shape = session_.masters[current_master_].shapes[current_master_shape_];
  shape.text = std::move(text);
  FinishMasterShape(version, &shape);
}

int32_t DocumentReader::WalkMasterShape(const VsdPart& part, uint32_t position) {
  if (current_master_ < 0) return 0;
  Master& master = session_.masters[current_master_];
  master.shapes.push_back(MasterShape{});
  current_master_shape_ = static_cast<int32_t>(master.shapes.size() - 1);
  MasterShape& shape = master.shapes.back();
  shape.id = position;
  shape.type = part.pointer.type;
  if (part.pointer.type == 78) return 0;
  PageContext none;
  ChunkWalker walker(session_, formatter_, none);
  return walker.WalkMasterShape(part.bytes(), &shape);
}

std::vector<PageEntry> DocumentReader::ReadPageList(const VsdPart& part) const {
  PartBytes bytes = part.bytes();
  const uint64_t shift = part.pointer.Compressed() ? 4 : 0;
  std::vector<PageEntry> pages;
  if (IsOldLayout(session_.version)) {
    uint16_t count = bytes.U16(shift).value_or(0);
    for (uint64_t i = 0; i < count && bytes.Has(shift + 2 + 4 * i, 4); ++i)
      pages.push_back({*bytes.U16(shift + 2 + 4 * i), *bytes.U16(shift + 4 + 4 * i)});
  } else {
    uint32_t count = bytes.U32(shift).value_or(0);
    for (uint64_t i = 0; i < count && bytes.Has(shift + 4 + 13 * i, 13); ++i)
      pages.push_back({*bytes.U32(shift + 4 + 13 * i), *bytes.U32(shift + 12 + 13 * i)});
  }
  return pages;
}

int32_t DocumentReader::WalkPages(const VsdPart& part, int depth) {
  std::vector<VsdPointer> children;
  if (int32_t rc = ReadChildList(part, &children)) return rc;
  if (children.empty()) return InvalidFile;
  const VsdPointer* page_list = nullptr;
  for (const VsdPointer& child : children) {
    if (!InsideTrailer(child)) return InvalidFile;
    if (child.type == 201) page_list = &child;
  }
  if (page_list == nullptr) return InvalidFile;
  std::vector<PageEntry> pages;
  if (page_list->length > 0) {
    VsdPart list;
    if (int32_t rc = ReadPart(*page_list, &list)) return rc;
    pages = ReadPageList(list);
  }
  session_.page_count = static_cast<int32_t>(pages.size());

  // The page order: its count right before the list, its child indexes
  // after the last pointer record.
  PartBytes bytes = part.bytes();
  const bool old = IsOldLayout(session_.version);
  const uint64_t width = old ? 2 : 4;
  if (part.list_offset < width) return InvalidFile;
  uint64_t order_count = old ? *bytes.U16(part.list_offset - 2) : *bytes.U32(part.list_offset - 4);
  uint64_t order_at = part.list_offset + session_.list_lead + children.size() * uint64_t{session_.pointer_size};
  if (order_count > 0 && !bytes.Has(order_at, order_count * width)) return InvalidFile;
  std::vector<bool> visited(children.size(), false);
  for (uint64_t k = 0; k < order_count; ++k) {
    uint64_t index = old ? *bytes.U16(order_at + 2 * k) : *bytes.U32(order_at + 4 * k);
    if (index >= children.size()) return InvalidFile;
    visited[index] = true;
    const VsdPointer& child = children[index];
    int32_t rc = 0;
    if (child.type == 21) {
      rc = WalkPage(child, static_cast<uint32_t>(index), pages, depth + 1);
    } else if (child.type != 201 && !child.Empty() && child.length > 0) {
      // Any other child named in the order is a further pages container.
      if (depth + 1 > kMaxPartDepth) return InvalidFile;
      if (!session_.walked_parts.insert(child.offset).second) {
        ++session_.stats.repeated_parts;
        continue;
      }
      session_.stats.max_depth = std::max<uint32_t>(session_.stats.max_depth, depth + 1);
      VsdPart nested;
      rc = ReadPart(child, &nested);
      if (rc == 0) rc = WalkPages(nested, depth + 1);
    }
    if (rc) return rc;
  }
  if (order_count != pages.size()) {
    for (uint32_t i = 0; i < children.size(); ++i) {
      if (visited[i] || children[i].type != 21) continue;
      if (int32_t rc = WalkPage(children[i], i, pages, depth + 1)) return rc;
    }
  }
  return 0;
}

int32_t DocumentReader::WalkPage(const VsdPointer& pointer, uint32_t position,
                                 const std::vector<PageEntry>& pages, int depth) {
  if (depth > kMaxPartDepth) return InvalidFile;
  if (pointer.length > 0 && !session_.walked_parts.insert(pointer.offset).second) {
    ++session_.stats.repeated_parts;
    return 0;
  }
  session_.stats.max_depth = std::max<uint32_t>(session_.stats.max_depth, depth);
  auto entry = std::find_if(pages.begin(), pages.end(),
                            [&](const PageEntry& e) { return e.position == position; });
  if (entry == pages.end()) return InvalidFile;
  int32_t number = ++session_.page_counter;
  if (session_.page_mode && number != session_.selected_page) return 0;

  VsdPart part;
  part.pointer = pointer;
  if (pointer.length > 0)
    if (int32_t rc = ReadPart(pointer, &part)) return rc;
  session_.ReleasePage();
  session_.page_name_index = entry->name_index;
  session_.background_page_id =
      IsOldLayout(session_.version) ? part.bytes().U16(2).value_or(0) : 0;
  static const std::string kNoName;
  const std::string& name =
      entry->name_index < session_.names.size() ? session_.names[entry->name_index] : kNoName;
  PageContext page{name, number, session_.page_count};
  ChunkWalker walker(session_, formatter_, page);
  int32_t rc = walker.WalkPage(part.bytes());
  if (rc == 0) rc = WritePage(session_, sink_, page);
  session_.ReleasePage();
  return rc;
}

}  // namespace

int32_t ReadVisioDocument(ByteSource& source, VsdSession& session, VsdSink& sink,
                          FieldFormatter& formatter) {
  try {
    DocumentReader reader(source, session, sink, formatter);
    int32_t rc = reader.Run();
    session.ReleasePage();
    return rc;
  } catch (const std::bad_alloc&) {
    session.ReleasePage();
    return NotEnoughMemory;
  } catch (const std::length_error&) {
    session.ReleasePage();
    return NotEnoughMemory;
  }
}

}  // namespace glyphane
