// ZelUtil's base64 (RFC 4648: A-Z, a-z, 0-9, "+", "/", "=" as fill): the
// encoder reads a stream and writes one line of text, plain or as a data
// URI; the decoder skips what is not in the alphabet (line breaks, blanks)
// and stops at the first "=".
#include <algorithm>
#include <cstdint>
#include <istream>
#include <ostream>

#include "quarnel/util.h"

namespace ObraCommon {

namespace {

constexpr char16_t kAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kBlock = 3072;  // a multiple of 3: only the last block has a partial group

int Base64Value(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c - u'A';
  if (c >= u'a' && c <= u'z') return c - u'a' + 26;
  if (c >= u'0' && c <= u'9') return c - u'0' + 52;
  if (c == u'+') return 62;
  if (c == u'/') return 63;
  return -1;
}

// An empty text with room for the base64 of size bytes and some more. The
// size is only a hint: a huge or negative one must not reserve much.
UnicodeString Reserved(int size, int32_t more) {
  int64_t room = static_cast<int64_t>(std::max(size, 0)) * 4 / 3 + 10 + more;
  return UnicodeString(static_cast<int32_t>(std::min<int64_t>(room, int64_t{1} << 24)), UChar32{0}, 0);
}

void AppendBase64(UnicodeString& out, std::istream& in) {
  unsigned char bytes[kBlock];
  char16_t chars[kBlock / 3 * 4];
  while (in.good()) {
    in.read(reinterpret_cast<char*>(bytes), kBlock);
    std::streamsize count = in.gcount();
    if (count <= 0) break;
    int32_t n = 0;
    std::streamsize i = 0;
    for (; i + 3 <= count; i += 3) {
      uint32_t group = uint32_t{bytes[i]} << 16 | uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
      chars[n++] = kAlphabet[group >> 18];
      chars[n++] = kAlphabet[(group >> 12) & 63];
      chars[n++] = kAlphabet[(group >> 6) & 63];
      chars[n++] = kAlphabet[group & 63];
    }
    if (i < count) {
      // The final group of 1 or 2 bytes; nothing is read after it.
      bool two = count - i == 2;
      uint32_t group = uint32_t{bytes[i]} << 16 | (two ? uint32_t{bytes[i + 1]} << 8 : 0);
      chars[n++] = kAlphabet[group >> 18];
      chars[n++] = kAlphabet[(group >> 12) & 63];
      chars[n++] = two ? kAlphabet[(group >> 6) & 63] : u'=';
      chars[n++] = u'=';
      out.append(chars, 0, n);
      break;
    }
    out.append(chars, 0, n);
  }
}

}  // namespace

UnicodeString ZelUtil::encodeBase64(std::istream& in, int size) {
  UnicodeString out = Reserved(size, 0);
  AppendBase64(out, in);
  return out;
}

UnicodeString ZelUtil::encodeBase64(std::istream& in, int size, const UnicodeString& mediaType,
                                    const UnicodeString& parameter) {
  UnicodeString out = Reserved(size, 16 + mediaType.length() + parameter.length());
  out.append(u"data:").append(mediaType);
  if (!parameter.isEmpty()) out.append(u';').append(parameter);
  out.append(u";base64,");
  AppendBase64(out, in);
  return out;
}

void ZelUtil::decodeBase64(const char16_t* text, int length, std::ostream& out) {
  if (text == nullptr || length < 1) return;
  char bytes[kBlock];
  int n = 0;
  uint32_t values[4];
  int have = 0;
  for (int i = 0; i < length && text[i] != u'='; ++i) {
    int value = Base64Value(text[i]);
    if (value < 0) continue;
    values[have++] = static_cast<uint32_t>(value);
    // A byte is complete with the second, third and fourth value.
    if (have == 2) bytes[n++] = static_cast<char>(values[0] << 2 | values[1] >> 4);
    if (have == 3) bytes[n++] = static_cast<char>((values[1] & 15) << 4 | values[2] >> 2);
    if (have == 4) {
      bytes[n++] = static_cast<char>((values[2] & 3) << 6 | values[3]);
      have = 0;
    }
    if (n > kBlock - 3) {
      out.write(bytes, n);
      n = 0;
    }
  }
  if (n > 0) out.write(bytes, n);
}

}  // namespace ObraCommon
