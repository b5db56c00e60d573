// libFuzzer harness of the Visio document reader: the input is a
// "VisioDocument" stream read from memory, with embedded objects extracted
// to temporary files, by a sink that takes every item and a formatter that
// gives every field a value. Whatever the bytes, the read must end with a
// code, leave no temporary file behind and touch nothing outside its parts.
#include <cstdint>
#include <string>
#include <string_view>

#include "byte_source.h"
#include "dalvex/extract_records.h"
#include "document_stream.h"

namespace {

class NullSink : public glyphane::VsdSink {
 public:
  int32_t PageReached(int32_t) override { return 0; }
  int32_t PageName(glyphane::TextRef t) override { return Touch(t.bytes); }
  int32_t HeaderFooter(const glyphane::VsdSession& s, glyphane::TextRef) override {
    return Touch(s.header.value_or("")) + Touch(s.footer.value_or(""));
  }
  int32_t ShapeText(glyphane::TextRef t) override { return Touch(t.bytes); }
  int32_t MasterText(glyphane::TextRef t) override { return Touch(t.bytes); }
  int32_t DataText(glyphane::TextRef t) override { return Touch(t.bytes); }
  int32_t Annotation(double, std::string_view t) override { return Touch(t); }
  int32_t EmbeddedObject(const std::string&, bool*) override { return 0; }
  int32_t LineBreak() override { return 0; }

 private:
  // Reads every byte, so that a text pointing outside its buffer is caught.
  int32_t Touch(std::string_view bytes) {
    for (char c : bytes) sum_ += static_cast<unsigned char>(c);
    return 0;
  }
  unsigned sum_ = 0;
};

class ValueFormatter : public glyphane::FieldFormatter {
 public:
  int32_t FormatField(const glyphane::FieldContext&, const glyphane::FieldRecord& record,
                      std::string* value) override {
    *value = record.format_text + record.value_text + "1.5";
    return 0;
  }
  int32_t FormatCode(const glyphane::FieldContext&, const uint8_t code[3], std::string* value) override {
    value->assign(reinterpret_cast<const char*>(code), 3);
    return 0;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  glyphane::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
  NullSink sink;
  ValueFormatter formatter;
  glyphane::VsdSession session;
  session.flags_a = kFlagALineEndCrLf | kFlagAEmbeddedObjects | (size % 2 ? kFlagALoopLimit : 0);
  glyphane::ReadVisioDocument(source, session, sink, formatter);
  return 0;
}
