// A drawing's header and footer on each page. The stored texts hold codes:
// "&F" the drawing's base file name, "&E" its extension (with the dot),
// "&N" the place of the page name; any other "&" code is dropped. Each page
// writes its header and footer as items after its name, the page name put
// in at its mark.
//
// A text, its expansion and the item with the page name put in stop at the
// last whole character (byte, double-byte character, UTF-16 unit or pair)
// that fits 65,536 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text_output.h"
#include "vsd_session.h"
#include "vsd_sink.h"

namespace glyphane {

inline constexpr uint64_t kHeaderFooterBytes = 65536;

// The parts of the source path that texts refer to (UTF-8).
struct SourcePathParts {
  std::string folder;     // up to and without the last '/' (a backslash belongs to the name)
  std::string file_name;  // with its extension
  std::string base_name;  // without its extension
  std::string extension;  // from the last '.' of the file name, with the dot
};
SourcePathParts SplitSourcePath(std::string_view path);

// Cuts `text` to at most `capacity` bytes at a whole character of
// `code_page` (1200: never between the units of a surrogate pair).
void CutWholeCharacters(std::string* text, uint64_t capacity, uint32_t code_page);

struct ExpandedText {
  std::string text;
  std::optional<size_t> page_mark;  // byte offset of the page name's place
};

// Expands the codes of a stored header or footer: by UTF-16 units when
// `utf16`, else by bytes of `code_page`. The file name parts are converted
// from UTF-8 to UTF-16, or to the code page's charset; when that fails, the
// text is left as stored (nullopt).
std::optional<ExpandedText> ExpandHeaderFooter(std::string_view stored, bool utf16, uint32_t code_page,
                                               const SourcePathParts& path);

// Writes the page's header and footer lines (the closing line break of
// each comes whether or not there is a text).
int32_t WriteHeaderFooter(TextOutput& out, const VsdSession& session, TextRef page_name,
                          const SourcePathParts& path);

}  // namespace glyphane
