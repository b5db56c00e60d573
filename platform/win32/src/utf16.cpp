// UTF-16 <-> UTF-8 for wide paths and texts (see utf16.h).
#include "win32/utf16.h"

namespace win32 {

std::optional<std::string> Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return std::nullopt;
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return std::nullopt;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    char32_t c;
    size_t extra;
    if (lead < 0x80) {
      c = lead;
      extra = 0;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      c = lead & 0x1F;
      extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      c = lead & 0x0F;
      extra = 2;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      c = lead & 0x07;
      extra = 3;
    } else {
      return std::nullopt;
    }
    if (extra > text.size() - i - 1) return std::nullopt;
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char trail = static_cast<unsigned char>(text[i + k]);
      if ((trail & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (trail & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are ill-formed.
    if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF))
      return std::nullopt;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += extra + 1;
  }
  return out;
}

size_t Utf16Length(const char16_t* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

}  // namespace win32
