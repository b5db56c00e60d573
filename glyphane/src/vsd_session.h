// The state of one read of a Visio document: the request's settings, what
// the document header says, the tables that outlive a page (names, header
// and footer, masters) and the lists of the page being read. One session
// serves both passes of an extraction; ResetForTextPass keeps what the
// structure pass read that the text pass reads again the same way.
//
// Texts are kept as the file stores them: bytes in the text code page, or
// UTF-16LE bytes for drawings of version 11 and later.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "part_bytes.h"

namespace glyphane {

inline constexpr uint32_t kCodePageUtf16 = 1200;
inline constexpr uint32_t kMaxNameBytes = 64;
inline constexpr uint32_t kMaxFormatStringBytes = 296;
inline constexpr uint32_t kMaxValueTextBytes = 856;

// The three layouts a version byte selects; versions from 11 on follow every
// rule of version 11.
inline bool IsOldLayout(uint8_t version) { return version < 6; }
inline bool IsUtf16Layout(uint8_t version) { return version >= 11; }
inline bool HasChunkTrailer(uint8_t version) { return version >= 7; }

// A reference of a field record to a value or a format.
struct FieldRef {
  enum Kind : uint8_t { kNumber, kNone, kOwnText, kMaster, kFormatString };
  Kind kind = kNone;
  uint32_t id = 0;  // the format-string id, for kFormatString
  // The stored byte form: 255 number, 252 none, 253 own text, 254 master.
  static FieldRef FromByte(uint8_t value);
  // The 32-bit form of the new layout: -1 to -4 stand for 255 to 252.
  static FieldRef FromInt32(int32_t value);
};

// One field of a shape or master shape (chunk 102).
struct FieldRecord {
  uint32_t flags = 0;   // 1 value converted to UTF-16, 2 format string kept here
  uint8_t kind = 0;     // 1 date/time; 0 and 3 numeric; others text-like
  uint8_t format_code = 0;
  uint32_t field_id = 0;
  double number = 0;
  uint32_t integer = 0;
  uint8_t value_tag = 0;
  FieldRef value_ref;
  FieldRef format_ref;
  std::string format_text;  // the record's own format string (format_ref kOwnText)
  std::string value_text;   // the record's own value text, or the formatted value
  bool value_set = false;   // value_text holds the field's final value
  int32_t number_format = 0;
};

// A format string of chunk 45, with its id.
struct FormatString {
  uint32_t id = 0;
  std::string text;
};

// A text run of chunk 105 and its record of type 148.
struct TextRun {
  uint32_t run_id = 0;
  uint8_t style = 0;
  uint8_t case_byte = 0;
  uint32_t length = 0;  // bytes
};

inline constexpr uint32_t kItemHasObject = 1;
inline constexpr uint32_t kItemEmptyText = 2;

// One shape of the page (chunk types 70, 71, 72, 78).
struct ShapeItem {
  uint32_t flags = 0;
  uint8_t type = 0;
  uint32_t shape_id = 0;
  uint32_t parent_id = 0;
  uint32_t master_id = 0xFFFFFFFF;
  uint32_t master_shape_id = 0xFFFFFFFF;
  std::vector<uint32_t> run_ids;
  std::vector<TextRun> runs;
  std::optional<std::string> built_text;
  std::string data[3];          // Data1-3, before version 6
  double transform[7] = {};     // PinX, PinY, Width, Height, LocPinX, LocPinY, Angle
  uint8_t transform_tags[7] = {};
  std::string data_text;
  std::string object_path;      // the embedded object's temporary compound file
  bool NamesMaster() const { return master_id != 0xFFFFFFFF && master_id != 0xFFFF; }
};

// A shape of a master.
struct MasterShape {
  uint32_t id = 0;  // its position in its master's list
  uint8_t type = 0;
  std::string text;
  bool keeps_text = false;   // a text that is not only blanks and line breaks
  bool plain = false;        // kept as plain text (no fields), from version 6
  std::vector<FormatString> format_strings;
  std::vector<FieldRecord> fields;
  uint32_t field_base = 0;
  std::vector<uint32_t> field_ids;
  bool fields_formatted = false;
};

struct Master {
  uint32_t id = 0;  // its position in the masters container's list
  std::vector<MasterShape> shapes;
};

// One entry of a pages container's page list.
struct PageEntry {
  uint32_t name_index = 0;
  uint32_t position = 0;  // index of the page's pointer in the container's list
};

// A node of the position tree (also the form of a waiting shape).
struct PositionNode {
  uint32_t shape_id = 0;
  uint32_t parent_id = 0;
  uint32_t item = 0;
  double x = 0, y = 0;
  int32_t next = -1, prev = -1, first_child = -1;
};

struct Annotation {
  double date = 0;
  std::string text;  // UTF-16LE
};

// Figures of one pass that the corpus tests check.
struct WalkStats {
  uint32_t pages_walked = 0;
  uint32_t page_parts_short = 0;          // chunk walks that stopped before the part's end
  uint32_t master_shapes_walked = 0;
  uint32_t master_shape_parts_short = 0;
  uint32_t repeated_parts = 0;            // pointers passed over as already walked
  uint32_t max_depth = 0;
};

struct VsdSession {
  // The request.
  uint32_t flags_a = 0;
  uint32_t text_code_page = 1252;
  bool page_mode = false;
  int32_t selected_page = 0;  // 1-based; 0 reads no page in page mode

  // The document header.
  uint8_t version = 0;
  uint32_t pointer_size = 18;
  uint32_t list_lead = 8;
  uint64_t trailer_end = 0;

  // Tables that outlive a page.
  std::vector<std::string> names;
  std::vector<uint16_t> master_names;  // before version 6: name index per master
  std::optional<std::string> header, footer;
  double document_dates[4] = {};
  std::vector<Master> masters;
  int32_t page_count = 0;     // pages in the page list last read
  int32_t page_counter = 0;   // pages reached in this pass
  int32_t pages_written = 0;

  // The page being read.
  std::vector<ShapeItem> items;
  std::vector<PositionNode> tree;
  int32_t tree_first = -1;
  std::vector<PositionNode> waiting;
  std::vector<Annotation> annotations;
  uint32_t page_name_index = 0;
  uint32_t background_page_id = 0;

  // Parts decompressed in the structure pass, kept for the text pass (which
  // visits the same parts), up to kPartCacheBytes in all.
  static constexpr size_t kPartCacheBytes = size_t{64} << 20;
  // Shared with the parts being walked, so that keeping one copies nothing.
  std::map<std::pair<uint32_t, uint32_t>, std::shared_ptr<const PartBuffer>> decompressed_parts;  // (offset, length)
  size_t decompressed_bytes = 0;

  // Per pass.
  std::set<uint64_t> walked_parts;
  WalkStats stats;

  uint32_t ItemCodePage() const { return IsUtf16Layout(version) ? kCodePageUtf16 : text_code_page; }
  // Removes the temporary files the page's items still own and empties the
  // page's lists.
  void ReleasePage();
  // Prepares the session for the text pass: the page lists, masters and
  // counters go, the name table stays.
  void ResetForTextPass();
  ~VsdSession() { ReleasePage(); }
};

}  // namespace glyphane
