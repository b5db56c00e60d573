// The reader of a "VisioDocument" stream: the 64-byte header, the tree of
// parts under the trailer (pointer records, child lists, compressed parts),
// the readers of the parts that matter (document dates, names, header and
// footer, masters, pages with their page list and order) and, for each page
// reached, its chunk walk and the hand-over of its text to the sink.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "byte_source.h"
#include "part_bytes.h"
#include "vsd_session.h"
#include "vsd_sink.h"

namespace glyphane {

// A pointer record (16 bytes before version 6, 18 from version 6).
struct VsdPointer {
  uint8_t type = 0;
  uint8_t format = 0;
  uint32_t offset = 0;
  uint32_t length = 0;
  bool Empty() const { return type == 0 || type == 0xFF; }
  bool Compressed() const { return (format & 0x02) != 0; }
  bool ListBearing() const { return (format & 0xF0) == 0x50; }
};

// The bytes of a part as read (decompressed when stored compressed), shared
// with the session's kept parts; or, for a part stored plain in a source
// held in memory, the bytes where they lie (`in_place`, while `data` is
// empty).
struct VsdPart {
  VsdPointer pointer;
  std::shared_ptr<const PartBuffer> data;
  PartBytes in_place;
  bool has_list_offset = false;
  uint64_t list_offset = 0;
  PartBytes bytes() const { return data ? PartBytes(data->data(), data->size()) : in_place; }
  uint64_t size() const { return bytes().size(); }
};

// Parts are nested at most this deep below the trailer.
inline constexpr int kMaxPartDepth = 64;

// Reads the document once: one pass of an extraction. Answers 0 or an
// engine result code; no exception leaves it (an allocation failure is 12).
int32_t ReadVisioDocument(ByteSource& source, VsdSession& session, VsdSink& sink,
                          FieldFormatter& formatter);

}  // namespace glyphane
