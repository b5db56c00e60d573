// What the Visio reader hands out, page by page: the sink receives every
// piece of a page's text in output order, and the field formatter turns a
// field into its value. The text output implements the sink; tests record
// it. A non-zero result from either ends the pass with that code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vsd_session.h"

namespace glyphane {

// Raw text bytes with the code page they are in (1200: UTF-16LE).
struct TextRef {
  std::string_view bytes;
  uint32_t code_page = 0;
};

class VsdSink {
 public:
  virtual ~VsdSink() = default;
  virtual int32_t PageReached(int32_t page_number) = 0;
  virtual int32_t PageName(TextRef name) = 0;
  // Where the header and footer (as stored) belong; the page name is given
  // for the page-name mark of their codes.
  virtual int32_t HeaderFooter(const VsdSession& session, TextRef page_name) = 0;
  virtual int32_t ShapeText(TextRef text) = 0;
  virtual int32_t MasterText(TextRef text) = 0;
  virtual int32_t DataText(TextRef text) = 0;
  virtual int32_t Annotation(double date, std::string_view utf16_text) = 0;
  // An embedded object's temporary compound file. Set *taken when the sink
  // has dealt with the file (and removed it); otherwise the reader removes
  // it with the page's lists.
  virtual int32_t EmbeddedObject(const std::string& path, bool* taken) = 0;
  virtual int32_t LineBreak() = 0;
};

// What a field's value may depend on.
struct FieldContext {
  const VsdSession* session = nullptr;
  const ShapeItem* item = nullptr;        // null for a master shape's own fields
  const MasterShape* master_shape = nullptr;
  const std::vector<FormatString>* format_strings = nullptr;
  const std::vector<FieldRecord>* fields = nullptr;
  std::string_view master_name;
  std::string_view page_name;
  int32_t page_number = 0;
  int32_t page_count = 0;
  uint32_t background_page_id = 0;
  uint32_t code_page = 0;  // the encoding the value must be in
};

class FieldFormatter {
 public:
  virtual ~FieldFormatter() = default;
  // The value of a field record, in the context's code page; an empty value
  // writes nothing.
  virtual int32_t FormatField(const FieldContext& context, const FieldRecord& record,
                              std::string* value) {
    (void)context; (void)record; (void)value;
    return 0;
  }
  // The value of a field code of a version-5 text (its three code bytes).
  virtual int32_t FormatCode(const FieldContext& context, const uint8_t code[3],
                             std::string* value) {
    (void)context; (void)code; (void)value;
    return 0;
  }
};

}  // namespace glyphane
