// Test support: the "VisioDocument" stream builder and the recording sink.
// The layouts are written out here on their own, from the file format, so
// that the builder does not borrow the reader's rules.
#include "visio_builder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "byte_source.h"
#include "document_stream.h"
#include "testsupport/testdata.h"

namespace vsdtest {

void Put16(std::string* bytes, size_t at, uint16_t value) {
  if (bytes->size() < at + 2) bytes->resize(at + 2, '\0');
  (*bytes)[at] = static_cast<char>(value & 0xFF);
  (*bytes)[at + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string* bytes, size_t at, uint32_t value) {
  if (bytes->size() < at + 4) bytes->resize(at + 4, '\0');
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutF64(std::string* bytes, size_t at, double value) {
  if (bytes->size() < at + 8) bytes->resize(at + 8, '\0');
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 8; ++i) (*bytes)[at + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

std::string U16(uint16_t value) {
  std::string s;
  Put16(&s, 0, value);
  return s;
}

std::string U32(uint32_t value) {
  std::string s;
  Put32(&s, 0, value);
  return s;
}

std::string Wide(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

std::string CompressLiterals(const std::string& data) {
  std::string out;
  for (size_t i = 0; i < data.size(); i += 8) {
    out.push_back(static_cast<char>(0xFF));
    out += data.substr(i, 8);
  }
  return out;
}

Pointer StreamBuilder::AddStored(uint8_t type, uint8_t format, const std::string& stored) {
  Pointer pointer{type, format, static_cast<uint32_t>(64 + body_.size()),
                  static_cast<uint32_t>(stored.size())};
  body_ += stored;
  return pointer;
}

Pointer StreamBuilder::AddPart(uint8_t type, uint8_t format, const std::string& data, bool chunks) {
  if (format & 0x02) return AddStored(type, format, CompressLiterals(std::string(chunks ? 0 : 4, '\0') + data));
  return AddStored(type, format, data);
}

std::string StreamBuilder::PointerBytes(const Pointer& pointer) const {
  std::string bytes(version_ < 6 ? 16 : 18, '\0');
  bytes[0] = static_cast<char>(pointer.type);
  bytes[version_ < 6 ? 2 : 16] = static_cast<char>(pointer.format);
  Put32(&bytes, 8, pointer.offset);
  Put32(&bytes, 12, pointer.length);
  return bytes;
}

std::string StreamBuilder::ListPart(const std::vector<Pointer>& children,
                                    const std::vector<uint32_t>& order, uint8_t type) const {
  std::string data;
  if (version_ >= 6) {
    Put32(&data, 0, 8);
    Put32(&data, 4, static_cast<uint32_t>(order.size()));
    Put32(&data, 8, static_cast<uint32_t>(children.size()));
    Put32(&data, 12, 0);
    for (const Pointer& child : children) data += PointerBytes(child);
    for (uint32_t index : order) data += U32(index);
    return data;
  }
  size_t at = 0;  // where an old-layout part of this type keeps its list
  switch (type) {
    case 13: at = 22; break;
    case 20: at = 134; break;
    case 29: case 36: case 78: at = 34; break;
    case 30: at = 58; break;
    case 39: case 63: case 68: at = 14; break;
  }
  data.assign(at, '\0');
  if (at >= 2) Put16(&data, at - 2, static_cast<uint16_t>(order.size()));
  data += U16(static_cast<uint16_t>(children.size()));
  for (const Pointer& child : children) data += PointerBytes(child);
  for (uint32_t index : order) data += U16(static_cast<uint16_t>(index));
  return data;
}

std::string StreamBuilder::Build(const Pointer& trailer) const {
  std::string header(64, '\0');
  header[26] = static_cast<char>(version_);
  header[36] = static_cast<char>(trailer.type);
  header[version_ < 6 ? 38 : 52] = static_cast<char>(trailer.format);
  Put32(&header, 44, trailer.offset);
  Put32(&header, 48, trailer.length);
  return header + body_;
}

std::string NamePart(uint8_t version, const std::string& text) {
  std::string data(4, '\0');
  if (version >= 11) return data + Wide(text) + std::string(2, '\0');
  return data + text + std::string(1, '\0');
}

std::string PageListPart(uint8_t version, const std::vector<std::pair<uint32_t, uint32_t>>& pages) {
  std::string data;
  if (version < 6) {
    data = U16(static_cast<uint16_t>(pages.size()));
    for (auto [name, position] : pages)
      data += U16(static_cast<uint16_t>(name)) + U16(static_cast<uint16_t>(position));
    return data;
  }
  data = U32(static_cast<uint32_t>(pages.size()));
  for (auto [name, position] : pages) data += U32(name) + U32(0) + U32(position) + std::string(1, '\0');
  return data;
}

std::string Chunk(uint8_t version, uint8_t type, const std::string& data, bool top_level) {
  size_t header = 12, trailer = 0;
  if (version >= 6) {
    bool long_header = type == 13 || type == 44 || (type >= 48 && type <= 65) ||
                       (type >= 67 && type <= 79) || (type >= 81 && type <= 126) ||
                       (top_level && type == 21);
    header = long_header ? 27 : 19;
    const uint8_t no_trailer[] = {12, 14, 16, 17, 18, 31, 40, 45, 66, 201, 209};
    if (version >= 7 && std::find(std::begin(no_trailer), std::end(no_trailer), type) == std::end(no_trailer))
      trailer = 4;
  }
  std::string chunk(header, '\0');
  chunk[0] = static_cast<char>(type);
  Put32(&chunk, version < 6 ? 8 : 12, static_cast<uint32_t>(data.size()));
  return chunk + data + std::string(trailer, '\0');
}

std::string ShapeChunk(uint8_t version, uint8_t type, uint32_t shape_id, uint32_t parent_id,
                       uint32_t master_id, uint32_t master_shape_id) {
  if (version < 6) {
    std::string chunk = Chunk(version, type, std::string(16, '\0'));
    Put16(&chunk, 2, static_cast<uint16_t>(shape_id));
    Put16(&chunk, 14, static_cast<uint16_t>(parent_id));
    Put16(&chunk, 18, static_cast<uint16_t>(master_id));
    Put16(&chunk, 20, static_cast<uint16_t>(master_shape_id));
    return chunk;
  }
  std::string chunk = Chunk(version, type, std::string(42, '\0'));
  Put32(&chunk, 4, shape_id);
  Put32(&chunk, 29, parent_id);
  Put32(&chunk, 37, master_id);
  Put32(&chunk, 45, master_shape_id);
  return chunk;
}

std::string TextChunk(uint8_t version, const std::string& text) {
  return Chunk(version, 14, std::string(8, '\0') + text + std::string(version >= 11 ? 2 : 1, '\0'));
}

std::string PositionChunk(uint8_t version, double x, double y) {
  std::string data(version < 6 ? 25 : 18, '\0');
  std::string chunk = Chunk(version, 157, data);
  PutF64(&chunk, 20, x);
  PutF64(&chunk, 29, y);
  return chunk;
}

std::string SimpleDocument(uint8_t version, const std::vector<PageSpec>& pages,
                           const std::vector<uint32_t>& order, bool compress,
                           const std::vector<MasterSpec>& masters) {
  StreamBuilder b(version);
  const uint8_t zip = compress ? 0x02 : 0x00;
  Pointer names;
  if (version >= 6) {
    std::vector<Pointer> name_parts;
    for (const PageSpec& page : pages) name_parts.push_back(b.AddPart(51, zip, NamePart(version, page.name)));
    names = b.AddPart(50, 0x50 | zip, b.ListPart(name_parts));
  } else {
    // Names, then the offset table: offset i (the name's place less 6) at
    // 6 + 4i bytes before the end, the count 4 bytes before the end.
    std::string data(6, '\0');
    std::vector<uint16_t> offsets;
    for (const PageSpec& page : pages) {
      offsets.push_back(static_cast<uint16_t>(data.size() - 6));
      data += page.name + std::string(1, '\0');
    }
    size_t n = offsets.size();
    size_t size = data.size() + 4 * n + 2 + (n == 0 ? 2 : 0);
    data.resize(size, '\0');
    for (size_t i = 0; i < n; ++i) Put16(&data, size - 6 - 4 * i, offsets[i]);
    Put16(&data, size - 4, static_cast<uint16_t>(n));
    names = b.AddPart(50, 0x00, data);
  }
  std::vector<Pointer> top = {names};
  if (!masters.empty()) {
    std::vector<Pointer> master_parts;
    for (const MasterSpec& master : masters) {
      std::vector<Pointer> shapes;
      for (const std::string& chunks : master) shapes.push_back(b.AddPart(72, zip, chunks, true));
      master_parts.push_back(b.AddPart(30, 0x50 | zip, b.ListPart(shapes, {}, 30)));
    }
    top.push_back(b.AddPart(29, 0x50 | zip, b.ListPart(master_parts, {}, 29)));
  }
  std::vector<Pointer> children;
  std::vector<std::pair<uint32_t, uint32_t>> entries;
  for (size_t i = 0; i < pages.size(); ++i) {
    children.push_back(b.AddPart(21, zip, pages[i].chunks, true));
    entries.push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(i + 1)});
  }
  children.insert(children.begin(), b.AddPart(201, zip, PageListPart(version, entries)));
  std::vector<uint32_t> child_order;
  for (uint32_t index : order) child_order.push_back(index + 1);
  top.push_back(b.AddPart(39, 0x50 | zip, b.ListPart(children, child_order, 39)));
  return b.Build(b.AddPart(20, 0x50, b.ListPart(top, {}, 20)));
}

namespace {

std::string ToUtf8(glyphane::TextRef text) {
  if (text.code_page != glyphane::kCodePageUtf16) return std::string(text.bytes);
  std::string out;
  for (size_t i = 0; i + 1 < text.bytes.size(); i += 2) {
    uint32_t unit = static_cast<uint8_t>(text.bytes[i]) | (static_cast<uint8_t>(text.bytes[i + 1]) << 8);
    if (unit < 0x80) {
      out.push_back(static_cast<char>(unit));
    } else if (unit < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (unit >> 6)));
      out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    } else if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < text.bytes.size()) {
      uint32_t low = static_cast<uint8_t>(text.bytes[i + 2]) | (static_cast<uint8_t>(text.bytes[i + 3]) << 8);
      uint32_t cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
      i += 2;
    } else {
      out.push_back(static_cast<char>(0xE0 | (unit >> 12)));
      out.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
  }
  return out;
}

}  // namespace

int32_t RecordingSink::Add(std::string event) {
  events.push_back(std::move(event));
  if (static_cast<int32_t>(events.size()) - 1 == fail_at) return fail_code;
  return 0;
}

int32_t RecordingSink::PageReached(int32_t page_number) { return Add("page " + std::to_string(page_number)); }
int32_t RecordingSink::PageName(glyphane::TextRef name) { return Add("name " + ToUtf8(name)); }
int32_t RecordingSink::HeaderFooter(const glyphane::VsdSession& session, glyphane::TextRef) {
  uint32_t cp = session.ItemCodePage();
  return Add("hf " + ToUtf8({session.header.value_or(""), cp}) + "|" + ToUtf8({session.footer.value_or(""), cp}));
}
int32_t RecordingSink::ShapeText(glyphane::TextRef text) { return Add("shape " + ToUtf8(text)); }
int32_t RecordingSink::MasterText(glyphane::TextRef text) { return Add("master " + ToUtf8(text)); }
int32_t RecordingSink::DataText(glyphane::TextRef text) { return Add("data " + ToUtf8(text)); }
int32_t RecordingSink::Annotation(double, std::string_view utf16_text) {
  return Add("note " + ToUtf8({utf16_text, glyphane::kCodePageUtf16}));
}
int32_t RecordingSink::EmbeddedObject(const std::string& path, bool* taken) {
  if (take_objects) {
    object_bytes.push_back(testsupport::ReadFile(path));
    std::remove(path.c_str());
    *taken = true;
  }
  return Add("object");
}
int32_t RecordingSink::LineBreak() { return Add("br"); }

std::vector<std::string> RecordingSink::Texts(const std::string& kinds) const {
  std::vector<std::string> texts;
  for (const std::string& event : events) {
    size_t blank = event.find(' ');
    if (blank == std::string::npos) continue;
    std::string kind = event.substr(0, blank);
    if (kind != "page" && kind != "hf" && (" " + kinds + " ").find(" " + kind + " ") != std::string::npos)
      texts.push_back(event.substr(blank + 1));
  }
  return texts;
}

int32_t ReadStream(const std::string& stream, RecordingSink* sink, uint32_t flags_a,
                   glyphane::VsdSession* session) {
  glyphane::VsdSession local;
  glyphane::VsdSession& s = session ? *session : local;
  s.flags_a = flags_a;
  glyphane::MemorySource source(stream);
  glyphane::FieldFormatter formatter;
  return glyphane::ReadVisioDocument(source, s, *sink, formatter);
}

bool IsFuzzCase(const std::string& name) { return name.rfind("poi-clusterfuzz-", 0) == 0; }

std::set<std::string> IndexedDrawings(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (testsupport::IndexRow& row : testsupport::ReadIndex(dir)) {
    const std::string& file = row["file"];
    const std::string& version = row["VisioDocument_header_version"];
    if (version.empty() || !std::isdigit(static_cast<unsigned char>(version[0])) || IsFuzzCase(file)) continue;
    if (std::filesystem::exists(dir / file)) names.insert(file);
  }
  return names;
}

}  // namespace vsdtest
