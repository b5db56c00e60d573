// Test support: builds "VisioDocument" streams byte by byte, so that tests
// can make exactly the document (or the damage) a case needs: the 64-byte
// header, parts with child lists and page orders, compressed parts, page
// lists, names, chunks with their headers, and shape chunks.
//
//   vsdtest::StreamBuilder b(11);
//   auto name = b.AddPart(51, 0x00, vsdtest::NamePart(11, "Page-1"));
//   auto names = b.AddPart(50, 0x50, b.ListPart({name}));
//   ...
//   std::string stream = b.Build(b.AddPart(20, 0x50, b.ListPart({names, pages})));
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "dalvex/extract_records.h"
#include "vsd_session.h"
#include "vsd_sink.h"

namespace vsdtest {

struct Pointer {
  uint8_t type = 0;
  uint8_t format = 0;
  uint32_t offset = 0;
  uint32_t length = 0;
};

void Put16(std::string* bytes, size_t at, uint16_t value);
void Put32(std::string* bytes, size_t at, uint32_t value);
void PutF64(std::string* bytes, size_t at, double value);
std::string U16(uint16_t value);
std::string U32(uint32_t value);
// ASCII text as UTF-16LE.
std::string Wide(const std::string& ascii);
// Any text as UTF-16LE.
inline std::string Utf16(std::u16string_view text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// An extraction request: output charset, flag word A, output limit, byte
// order of UCS-2 output and the language of the texts.
inline ExtractOptionsV4 Request(const char* charset, uint32_t flags_a, int32_t limit = 0, int32_t big_endian = 0,
                                const char* language = "English") {
  ExtractOptionsV4 options{};
  std::snprintf(options.charset, sizeof options.charset, "%s", charset);
  std::snprintf(options.language, sizeof options.language, "%s", language);
  options.flags_a = flags_a;
  options.length_limit = limit;
  options.big_endian = big_endian;
  return options;
}

// Compresses as literals only (a flag byte 0xFF before every eight bytes).
std::string CompressLiterals(const std::string& data);

class StreamBuilder {
 public:
  explicit StreamBuilder(uint8_t version) : version_(version) {}
  uint8_t version() const { return version_; }

  // Appends a part; a format with bit 0x02 stores `data` compressed, led by
  // the 4 bytes that lead a compressed part's data (not a chunk part's).
  Pointer AddPart(uint8_t type, uint8_t format, const std::string& data, bool chunks = false);
  // Appends stored bytes exactly as given.
  Pointer AddStored(uint8_t type, uint8_t format, const std::string& stored);

  // The data of a part whose list holds `children` (and the page order
  // `order`, when given), for a part of `type`.
  std::string ListPart(const std::vector<Pointer>& children, const std::vector<uint32_t>& order = {},
                       uint8_t type = 0) const;
  std::string PointerBytes(const Pointer& pointer) const;

  // The stream: header naming `trailer`, then every part.
  std::string Build(const Pointer& trailer) const;

 private:
  uint8_t version_;
  std::string body_;
};

// A name part's data (type 51).
std::string NamePart(uint8_t version, const std::string& text);
// A page list's data (type 201): (name index, position) per page.
std::string PageListPart(uint8_t version, const std::vector<std::pair<uint32_t, uint32_t>>& pages);
// A chunk: header, `data`, and the trailer of its version and type.
std::string Chunk(uint8_t version, uint8_t type, const std::string& data, bool top_level = false);
// A shape chunk (70, 71, 72, 78) with its ids.
std::string ShapeChunk(uint8_t version, uint8_t type, uint32_t shape_id, uint32_t parent_id = 0,
                       uint32_t master_id = 0xFFFFFFFF, uint32_t master_shape_id = 0xFFFFFFFF);
// A text chunk (14) for `text` in the version's encoding (UTF-16LE bytes
// from version 11).
std::string TextChunk(uint8_t version, const std::string& text);
// A position chunk (157).
std::string PositionChunk(uint8_t version, double x, double y);

// A document of pages, each (name, page part data), with names, a page
// list and a page order (the list order unless `order` is given), and
// before the pages `masters`: each master a list of master-shape parts
// (their chunks), so that master k, shape j has master id k and master
// shape id j.
struct PageSpec {
  std::string name;
  std::string chunks;
};
using MasterSpec = std::vector<std::string>;
std::string SimpleDocument(uint8_t version, const std::vector<PageSpec>& pages,
                           const std::vector<uint32_t>& order = {}, bool compress = false,
                           const std::vector<MasterSpec>& masters = {});

// A sink that writes down what it receives, one line per call.
class RecordingSink : public glyphane::VsdSink {
 public:
  std::vector<std::string> events;
  int32_t fail_at = -1;       // answer `fail_code` at this event
  int32_t fail_code = 24;
  bool take_objects = false;  // take (and remove) embedded objects
  std::vector<std::string> object_bytes;

  int32_t PageReached(int32_t page_number) override;
  int32_t PageName(glyphane::TextRef name) override;
  int32_t HeaderFooter(const glyphane::VsdSession& session, glyphane::TextRef page_name) override;
  int32_t ShapeText(glyphane::TextRef text) override;
  int32_t MasterText(glyphane::TextRef text) override;
  int32_t DataText(glyphane::TextRef text) override;
  int32_t Annotation(double date, std::string_view utf16_text) override;
  int32_t EmbeddedObject(const std::string& path, bool* taken) override;
  int32_t LineBreak() override;

  // The texts of the given kinds ("shape", "master", "data", "name") in
  // order, UTF-16 turned into UTF-8.
  std::vector<std::string> Texts(const std::string& kinds = "shape master data") const;

 private:
  int32_t Add(std::string event);
};

// Reads a stream held in memory with a fresh session.
int32_t ReadStream(const std::string& stream, RecordingSink* sink, uint32_t flags_a = 0,
                   glyphane::VsdSession* session = nullptr);

// Whether a corpus file is one of the fuzzer's damaged cases.
bool IsFuzzCase(const std::string& name);

// The drawings of the corpus folder `dir` that its INDEX.tsv gives a
// VisioDocument version and that are present, the fuzzer's cases left out:
// the drawings every reading must finish.
std::set<std::string> IndexedDrawings(const std::filesystem::path& dir);

}  // namespace vsdtest
