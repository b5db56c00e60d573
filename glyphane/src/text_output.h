// The one road by which text leaves Glyphane. A text item (a page name, a
// header or footer, a shape's text, an annotation) is cleaned and quoted,
// converted from its code page to the requested charset through the
// conversion engine, and written to the output file or stream under the
// request's size limit. Items are separated by a CR item of their own,
// which the conversion writes in the line-end form the request asks for.
//
// The conversion session is set up again whenever the pair of code pages
// changes; the first set-up of a pass writes the byte-order mark. A long
// item is converted in as many turns as its output needs, each turn written
// before the next, so nothing is lost however large the item.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "conversion.h"
#include "dalvex/extract_records.h"
#include "dalvex/portability.h"

namespace glyphane {

// The converted buffer's capacity: one turn of the conversion.
inline constexpr uint64_t kConvertedBufferBytes = 65536;

// Cleans and quotes an item of 8-bit text in `code_page`: the one-byte rule
// (15, 16, 17, 20, 25, 26, 30 alone give nothing), line breaks to blanks,
// 30 dropped, curly quotes of 1252 to straight ones, inner quotes escaped,
// double-byte characters copied whole. `plain` leaves out quotes and
// backslashes. An item with nothing left between its quotes gives "".
std::string CleanAnsiItem(std::string_view text, uint32_t code_page, bool plain);
// The same for UTF-16LE text, unit by unit (no one-byte or curly-quote
// rule; U+2028 also becomes a blank). A trailing odd byte is dropped.
std::string CleanUtf16Item(std::string_view text, bool plain);

class TextOutput {
 public:
  // `options` must outlive the output.
  explicit TextOutput(const ExtractOptionsV4& options);

  // Where the bytes go: a file written with KVB_FileWrite, or a caller's
  // stream written through KVB_WriteStream.
  void SetFile(KVB_FileHandle file) { file_ = file; stream_ = nullptr; }
  void SetStream(std::ostream* stream) { stream_ = stream; file_ = nullptr; }
  KVB_FileHandle file() const { return file_; }
  std::ostream* stream() const { return stream_; }

  // A new pass begins a new output: the next set-up writes a byte-order
  // mark, unless the pass continues an output that already holds text.
  void BeginOutput(bool with_mark = true) { first_setup_ = with_mark; }

  uint32_t output_code_page() const { return output_code_page_; }
  void set_output_code_page(uint32_t code_page) { output_code_page_ = code_page; }

  // The running count of bytes written (shared with nested extractions).
  int64_t count() const { return count_; }
  void set_count(int64_t count) { count_ = count; }

  bool text_written() const { return text_written_; }
  void MarkTextWritten() { text_written_ = true; }

  // Writes one text item (cleaned and quoted first unless `raw`): 0, 3000
  // when the engine refuses a charset or converts nothing, 3005 at the size
  // limit (after the part that fits), 24 when the write fails.
  int32_t WriteItem(std::string_view text, uint32_t code_page, bool raw = false);
  // The line break after an item: a CR item, once some text was written.
  int32_t LineBreak(uint32_t code_page);
  // Writes converted bytes under the size limit.
  int32_t WriteConverted(std::string_view bytes);

  // Ends the conversion session (the next item sets it up again).
  void EndConversion() { conversion_.End(); }

 private:
  int32_t SetUpFor(uint32_t code_page);

  const ExtractOptionsV4& options_;
  const bool plain_;
  KVB_FileHandle file_ = nullptr;
  std::ostream* stream_ = nullptr;
  uint32_t output_code_page_;
  ConversionSession conversion_;
  uint32_t setup_source_ = 0, setup_output_ = 0;
  bool first_setup_ = true;
  bool text_written_ = false;
  int64_t count_ = 0;
};

}  // namespace glyphane
