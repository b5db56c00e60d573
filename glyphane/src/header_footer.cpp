// Header and footer codes and the page's header and footer lines (see
// header_footer.h).
#include "header_footer.h"

#include "code_pages.h"
#include "text_bytes.h"
#include "win32/utf16.h"

namespace glyphane {

namespace {

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  return true;
}

// A file name part in the text's own encoding.
std::optional<std::string> NamePart(std::string_view utf8, bool utf16, uint32_t code_page) {
  if (utf16) {
    auto wide = win32::Utf8ToUtf16(utf8);
    if (!wide) return std::nullopt;
    std::string bytes;
    bytes.reserve(wide->size() * 2);
    for (char16_t u : *wide) {
      bytes.push_back(static_cast<char>(u & 0xFF));
      bytes.push_back(static_cast<char>(u >> 8));
    }
    return bytes;
  }
  // ASCII is the same in every code page the text may be in.
  if (IsAscii(utf8)) return std::string(utf8);
  std::string converted;
  if (ConvertBetweenCodePages(kCodePageUtf8, code_page, utf8, &converted) != 0) return std::nullopt;
  return converted;
}

}  // namespace

SourcePathParts SplitSourcePath(std::string_view path) {
  SourcePathParts parts;
  size_t slash = path.rfind('/');
  std::string_view name = path;
  if (slash != std::string_view::npos) {
    parts.folder = std::string(path.substr(0, slash));
    name = path.substr(slash + 1);
  }
  parts.file_name = std::string(name);
  size_t dot = name.find_last_of('.');
  parts.base_name = std::string(name.substr(0, dot));
  if (dot != std::string_view::npos) parts.extension = std::string(name.substr(dot));
  return parts;
}

void CutWholeCharacters(std::string* text, uint64_t capacity, uint32_t code_page) {
  if (code_page != kCodePageUcs2) {
    CutToCapacity(text, capacity, code_page);
    return;
  }
  if (text->size() & 1) text->pop_back();
  if (text->size() <= capacity) return;
  size_t end = static_cast<size_t>(capacity & ~uint64_t{1});
  // A high surrogate as the last unit kept would lose its pair.
  if (end >= 2) {
    uint16_t last = static_cast<uint8_t>((*text)[end - 2]) | (static_cast<uint8_t>((*text)[end - 1]) << 8);
    if (last >= 0xD800 && last <= 0xDBFF) end -= 2;
  }
  text->resize(end);
}

std::optional<ExpandedText> ExpandHeaderFooter(std::string_view stored, bool utf16, uint32_t code_page,
                                               const SourcePathParts& path) {
  const uint32_t unit_page = utf16 ? kCodePageUcs2 : code_page;
  std::optional<std::string> base, extension;  // converted at their first use
  ExpandedText out;
  const size_t width = utf16 ? 2 : 1;
  const size_t units = stored.size() / width;
  auto unit_at = [&](size_t k) -> uint16_t {
    if (!utf16) return static_cast<uint8_t>(stored[k]);
    return static_cast<uint16_t>(static_cast<uint8_t>(stored[2 * k]) | (static_cast<uint8_t>(stored[2 * k + 1]) << 8));
  };
  for (size_t k = 0; k < units && out.text.size() < kHeaderFooterBytes; ++k) {
    uint16_t u = unit_at(k);
    if (u != '&') {
      if (!utf16 && IsLeadByte(code_page, static_cast<uint8_t>(u)) && k + 1 < units) {
        out.text.append(stored.substr(k, 2));
        ++k;
      } else {
        out.text.append(stored.substr(k * width, width));
      }
      continue;
    }
    if (k + 1 >= units) break;  // a lone '&' at the end is a code without its letter
    uint16_t letter = unit_at(++k);
    if (letter == 'F' || letter == 'f') {
      if (!base && !(base = NamePart(path.base_name, utf16, code_page))) return std::nullopt;
      out.text += *base;
    } else if (letter == 'E' || letter == 'e') {
      if (!extension && !(extension = NamePart(path.extension, utf16, code_page))) return std::nullopt;
      out.text += *extension;
    } else if (letter == 'N' || letter == 'n') {
      out.page_mark = out.text.size();
    }
  }
  CutWholeCharacters(&out.text, kHeaderFooterBytes, unit_page);
  if (out.page_mark && *out.page_mark > out.text.size()) out.page_mark = out.text.size();
  return out;
}

int32_t WriteHeaderFooter(TextOutput& out, const VsdSession& session, TextRef page_name,
                          const SourcePathParts& path) {
  const bool utf16 = IsUtf16Layout(session.version);
  const uint32_t code_page = session.ItemCodePage();
  auto expand = [&](const std::optional<std::string>& stored) {
    std::optional<ExpandedText> text;
    if (!stored || stored->empty()) return text;
    text = ExpandHeaderFooter(*stored, utf16, session.text_code_page, path);
    if (!text) text = ExpandedText{*stored, std::nullopt};  // left as stored
    if (text->text.empty()) text.reset();                   // an empty expansion sets nothing
    return text;
  };
  const std::optional<ExpandedText> header = expand(session.header);
  const std::optional<ExpandedText> footer = expand(session.footer);
  const bool header_marked = header && header->page_mark;

  auto write = [&](const std::optional<ExpandedText>& text, bool break_before) -> int32_t {
    if (text && text->page_mark) {
      std::string item = text->text.substr(0, *text->page_mark);
      item.append(page_name.bytes);
      item.append(text->text, *text->page_mark);
      CutWholeCharacters(&item, kHeaderFooterBytes, code_page);
      if (int32_t rc = out.WriteItem(item, code_page)) return rc;
    } else if (text && !text->text.empty()) {
      if (break_before)
        if (int32_t rc = out.LineBreak(code_page)) return rc;
      if (int32_t rc = out.WriteItem(text->text, code_page)) return rc;
    }
    return out.LineBreak(code_page);
  };
  if (int32_t rc = write(header, true)) return rc;
  return write(footer, !header_marked);
}

}  // namespace glyphane
