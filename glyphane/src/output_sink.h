// The sink through which a pass of the Visio reader writes its text: page
// names, headers and footers, shape, master and data texts, annotations
// and embedded objects, each through the text output, with the line breaks
// between them. Embedded objects are handed to the extraction interface
// through its port; the sink keeps the results the entry points report.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "extraction_port.h"
#include "header_footer.h"
#include "text_output.h"
#include "vsd_session.h"
#include "vsd_sink.h"

namespace glyphane {

// The date of an annotation in the picture "yyyy'-'M'-'D", as text of the
// text code page: a serial day count, 1 = 1 January 1900 (1900 counted as
// a leap year), its sign ignored.
std::string AnnotationDate(double serial);

class OutputSink : public VsdSink {
 public:
  // `options` and `session` outlive the sink; `target` may be null.
  OutputSink(TextOutput& out, const VsdSession& session, ExtractOptionsV4& options,
             ExtractOutputTarget* target, ExtractErrorCallback callback, const ExtractionPort& port,
             SourcePathParts path)
      : out_(out), session_(session), options_(options), target_(target), callback_(callback),
        port_(port), path_(std::move(path)) {}

  // The document's author (UTF-16LE) that annotations begin with.
  void set_author_utf16(std::string author) { author_utf16_ = std::move(author); }
  // How an annotation's date is written (text of the text code page);
  // AnnotationDate unless replaced.
  void set_annotation_date(std::function<int32_t(double, std::string*)> date) { annotation_date_ = std::move(date); }

  // The latest embedded object's error kept under flag A 0x8000 (0: none).
  int32_t embedded_error() const { return embedded_error_; }
  bool has_embedded_error() const { return has_embedded_error_; }
  // The result of the last nested extraction.
  int32_t last_nested() const { return last_nested_; }

  int32_t PageReached(int32_t page_number) override;
  int32_t PageName(TextRef name) override;
  int32_t HeaderFooter(const VsdSession& session, TextRef page_name) override;
  int32_t ShapeText(TextRef text) override { return out_.WriteItem(text.bytes, text.code_page); }
  int32_t MasterText(TextRef text) override { return out_.WriteItem(text.bytes, text.code_page); }
  int32_t DataText(TextRef text) override { return out_.WriteItem(text.bytes, text.code_page); }
  int32_t Annotation(double date, std::string_view utf16_text) override;
  int32_t EmbeddedObject(const std::string& path, bool* taken) override;
  int32_t LineBreak() override { return out_.LineBreak(session_.ItemCodePage()); }

 private:
  int32_t ExtractObject(KVB_OleStorage* storage);

  TextOutput& out_;
  const VsdSession& session_;
  ExtractOptionsV4& options_;
  ExtractOutputTarget* target_;
  ExtractErrorCallback callback_;
  const ExtractionPort& port_;
  SourcePathParts path_;
  std::string author_utf16_;
  std::function<int32_t(double, std::string*)> annotation_date_;
  int32_t embedded_error_ = 0;
  bool has_embedded_error_ = false;
  int32_t last_nested_ = 0;
};

}  // namespace glyphane
