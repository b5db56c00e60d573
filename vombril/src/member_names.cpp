// Names of archived files: the charset a stored name is read in, its UTF-8
// form, the parts of its path that may be joined below a folder, and the
// extension a temporary copy carries.
//
// A stored path is untrusted. It may name a drive, start at the root, climb
// with "..", or hold either separator; only plain parts are ever joined
// below the extraction folder, and a path that climbs is refused whole.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <strings.h>
#include <string>
#include <vector>

#include "dalvex/cconv.h"
#include "rar_job.h"

namespace vombril {

namespace {

bool IsOneOf(const std::string& value, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (strcasecmp(value.c_str(), name) == 0) return true;
  return false;
}

bool AllAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// `bytes` with every byte that does not start a well-formed UTF-8 sequence
// (overlong forms, surrogates and values above U+10FFFF included) as "?".
std::string SanitizeUtf8(const std::string& bytes) {
  std::string out;
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    bool ok = n > 0 && i + n <= bytes.size();
    uint32_t cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; ok && k < n; ++k) {
      unsigned char t = static_cast<unsigned char>(bytes[i + k]);
      ok = (t & 0xC0) == 0x80;
      cp = (cp << 6) | (t & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    ok = ok && cp >= kMin[n] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    if (ok && cp == 0) ok = false;
    if (ok) {
      out.append(bytes, i, n);
      i += n;
    } else {
      out += '?';
      ++i;
    }
  }
  return out;
}

// One conversion of `in` from `source` to UTF-8; false when the engine
// cannot start it. `consumed` tells how far it got.
bool ConvertOnce(const std::string& in, const std::string& source, std::string* out, size_t* consumed,
                 int* status) {
  std::string buffer(in.size() * 4 + 16, '\0');
  CconvSession session{};
  session.input = reinterpret_cast<const uint8_t*>(in.data());
  session.input_length = static_cast<int32_t>(in.size());
  session.output = reinterpret_cast<uint8_t*>(buffer.data());
  session.output_capacity = static_cast<int32_t>(buffer.size());
  CconvOptions options{};
  options.substitute = 1;
  options.substitute_low = '?';
  options.substitute_high = '?';
  CconvCharsetOptions charset_options{};
  bool started = cconvInitConvert(&session, &options, "UTF-8") == 0 &&
                 cconvChgCharset(&session, &charset_options, source.c_str()) == 0;
  if (started) {
    *status = cconvConvert(&session);
    out->append(buffer.data(), static_cast<size_t>(std::max(0, session.output_length)));
    *consumed = static_cast<size_t>(std::max(0, session.input_position));
  }
  cconvTermConvert(&session);
  return started;
}

}  // namespace

std::string HeaderSourceCharset(const std::string& charset, const std::string& language) {
  if (IsOneOf(charset, {"ISO-8859-1", "ChineseGBK", "ChineseBIG5", "KoreanKSC", "Shift_JIS", "WINDOWS31J"}))
    return charset;
  if (language == "English") return "ISO-8859-1";
  if (language == "Korean") return "KoreanKSC";
  if (language == "Simplified Chinese") return "ChineseGBK";
  if (language == "Traditional Chinese") return "ChineseBIG5";
  return "Shift_JIS";
}

std::string MemberNameUtf8(const unrar::Entry& entry, const std::string& charset) {
  if (entry.unicode || AllAscii(entry.name)) return SanitizeUtf8(entry.name);
  // Converted piece by piece: a byte the charset cannot read becomes "?"
  // and the conversion starts again after it.
  std::string out, rest = entry.name;
  while (!rest.empty()) {
    size_t consumed = 0;
    int status = 0;
    std::string piece;
    if (!ConvertOnce(rest, charset, &piece, &consumed, &status)) {
      // No engine (or no such charset): ASCII stays, the rest is unknown.
      for (unsigned char c : rest) out += c < 0x80 && c != 0 ? static_cast<char>(c) : '?';
      break;
    }
    out += piece;
    if (status == 0 && consumed >= rest.size()) break;
    out += '?';
    rest.erase(0, std::min(rest.size(), consumed + 1));
  }
  return SanitizeUtf8(out);
}

bool SafePathParts(const std::string& name, std::vector<std::string>* parts) {
  parts->clear();
  std::string path = name;
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') path.erase(0, 2);
  size_t begin = 0;
  while (begin <= path.size()) {
    size_t end = path.find_first_of("/\\", begin);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(begin, end - begin);
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts->push_back(part);
    begin = end + 1;
  }
  return !parts->empty();
}

std::string BaseName(const std::string& name) {
  size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string MemberExtension(const std::string& name) {
  std::string base = BaseName(name);
  size_t dot = base.rfind('.');
  if (dot == std::string::npos) return std::string();
  std::string ext = base.substr(dot + 1);
  if (ext.empty() || ext.size() > 16) return std::string();
  for (unsigned char c : ext)
    if (c >= 0x80 || (!std::isalnum(c) && c != '_' && c != '-')) return std::string();
  return ext;
}

}  // namespace vombril
