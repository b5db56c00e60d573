// The chunk walk of page parts and master-shape parts: a part is a
// sequence of chunks, each a header (type, data length) and its data. A
// page's walk turns shape chunks into items and gathers for each shape its
// text, text runs, fields, format strings, position, data text and embedded
// object; a master-shape part gives its master shape's text and fields.
//
// Every chunk and sub-record must lie inside its part, and every step moves
// forward, so a walk ends at the part's end or with 3002.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "part_bytes.h"
#include "vsd_session.h"
#include "vsd_sink.h"

namespace glyphane {

// Where the page being walked stands, for field values.
struct PageContext {
  std::string_view page_name;
  int32_t page_number = 0;
  int32_t page_count = 0;
};

// The state of the shape being walked; reset when a new shape starts.
struct ShapeState {
  std::optional<std::string> text;
  std::vector<FormatString> format_strings;
  std::vector<FieldRecord> fields;
  std::vector<uint32_t> field_ids;
  uint32_t field_base = 0;
  bool has_field_list = false;
  bool own_empty_field_list = false;
};

// The size of a chunk's header (and trailer) for its type.
uint64_t ChunkOverhead(uint8_t version, uint8_t type, bool top_level);

class ChunkWalker {
 public:
  ChunkWalker(VsdSession& session, FieldFormatter& formatter, const PageContext& page)
      : session_(session), formatter_(formatter), page_(page) {}

  // Walks a page part into the session's items, position tree and
  // annotations.
  int32_t WalkPage(const PartBytes& part);
  // Walks a master-shape part into `shape`.
  int32_t WalkMasterShape(const PartBytes& part, MasterShape* shape);

 private:
  struct Chunk {
    uint64_t start = 0;
    uint8_t type = 0;
    uint32_t data_length = 0;
    uint64_t end = 0;   // where the next chunk starts
    PartBytes bytes;    // the chunk from its first header byte
  };

  int32_t ReadChunk(const PartBytes& part, uint64_t pos, bool top_level, Chunk* chunk) const;
  int32_t WalkShape(const PartBytes& part, uint64_t* pos);
  // Reads the chunk at `pos` of a shape's walk, counting it as a loop;
  // `ended` at the part's end and at a chunk that ends the shape.
  int32_t NextInShape(const PartBytes& part, uint64_t pos, uint32_t* loops, Chunk* chunk, bool* ended) const;
  // Steps from a guide's chunk past the chunks that follow it; a guide
  // writes nothing and changes no shape.
  int32_t SkipGuide(const PartBytes& part, uint64_t* pos);
  int32_t StepOverInGuide(const PartBytes& part, const Chunk& chunk, uint64_t* pos) const;
  int32_t CountLoop(uint32_t* loops) const;

  // Readers of single chunks; `shape` is the state the chunk feeds.
  void ReadText(const Chunk& chunk, ShapeState* shape, ShapeItem* item) const;
  void ReadFormatString(const Chunk& chunk, ShapeState* shape) const;
  int32_t ReadFieldList(const PartBytes& part, const Chunk& chunk, ShapeState* shape, uint64_t* pos) const;
  int32_t ReadTextRuns(const PartBytes& part, const Chunk& chunk, ShapeItem* item, uint64_t* pos) const;
  void ReadTransform(const Chunk& chunk, ShapeItem* item);
  void ReadDataText(const Chunk& chunk, ShapeItem* item) const;
  void ReadAnnotation(const Chunk& chunk);
  int32_t ReadEmbeddedObject(const PartBytes& part, const Chunk& chunk, ShapeItem* item) const;

  VsdSession& session_;
  FieldFormatter& formatter_;
  const PageContext& page_;
  PositionNode position_;  // the current position record of the page
  ShapeState shape_;
};

// Applies what a master shape keeps when its walk (or its text part) ends.
void FinishMasterShape(uint8_t version, MasterShape* shape);

}  // namespace glyphane
