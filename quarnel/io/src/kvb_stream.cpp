// The charset-converting input stream. The source is read 4,096 bytes at a
// time; the converted units of one read are the get area, and a refill
// keeps the last 16 bytes of it in front for putting back. Bytes the
// converter leaves (a character cut at the end of a read, or what did not
// fit into the output) begin the next read, which follows them in the input
// buffer while it has room. A read of a block or more converts straight
// into the caller's buffer and keeps its last 16 bytes as the get area.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "charset_name_map.h"
#include "dalvex/encoding_detect.h"
#include "kvb_blocks.h"
#include "quarnel/builtin_names.h"
#include "quarnel/kvb_stream.h"
#include "quarnel/name.h"
#include "quarnel/uri.h"

namespace ObraCommon {

namespace {

constexpr size_t kInputBytes = kvb::kReadBlockBytes;  // the converter's input at a time
constexpr size_t kInputBuffer = kvb::kInputBuffer;  // where those inputs follow one another
constexpr int kOutputCapacity = static_cast<int>(kvb::kReadBlockBytes);
constexpr size_t kOutputAllocated = kOutputCapacity + 16;
constexpr int kPutBackBytes = 16;
constexpr size_t kDetectBytes = 2048;
constexpr int kSecondCheckBytes = 128;
constexpr int kStatusNoCharset = 1;

}  // namespace

const char* MapCharsetName(const char* charset) {
  if (charset == nullptr) return "";
  std::string upper(charset);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  // Looked up without numbering: a name that is not in the table is none
  // of the mapped ones.
  switch (ZelNameTable::getSharedNameTable()->lookupName(UnicodeString::fromUTF8(upper))) {
    case NAME_BIG5:
    case NAME_CHINESEBIG5: return "ChineseBIG5";
    case NAME_CHINESEGBK:
    case NAME_GB2312:
    case NAME_GBK: return "ChineseGBK";
    case NAME_ISO_IR_149:
    case NAME_KOREAN:
    case NAME_KOREANKSC:
    case NAME_KS_C_5601_1987: return "KoreanKSC";
    case NAME_SHIFT_HYPHEN_JIS:
    case NAME_SHIFT_JIS:
    case NAME_WINDOWS31J:
    case NAME_WINDOWS_31J: return "WINDOWS31J";
    case NAME_EUC_JP: return "EUC-JP";
    case NAME_ISO_2022_JP: return "ISO-2022-JP";
    default: return charset;
  }
}

ZelKVBStreamBuf::ZelKVBStreamBuf(std::istream* source, const char* charset) : m_session{}, m_source(source) {
  bool bigEndian = true;
  std::string detected;
  if (charset == nullptr) {
    UnicodeString name;
    if (ZelKVBStream::detectEncoding(source, name, bigEndian)) {
      name.toUTF8String(detected);
      charset = detected.c_str();
    }
  }
  if (charset == nullptr || !init(charset, bigEndian)) return;
  m_output = new char[kOutputAllocated];
  m_input = new char[kInputBuffer];
  m_session.input = reinterpret_cast<const uint8_t*>(m_input);
  m_session.input_position = 0;
  m_session.input_length = static_cast<int32_t>(readSource(m_input, kInputBytes));
  m_session.output = reinterpret_cast<uint8_t*>(m_output);
  m_session.output_length = 0;
  m_session.output_capacity = kOutputCapacity;
  if (!convert()) {
    endSession();
    delete[] m_output;
    m_output = nullptr;
    return;
  }
  setg(m_output, m_output, m_output + m_session.output_length);
}

ZelKVBStreamBuf::~ZelKVBStreamBuf() {
  if (m_input != nullptr) {
    m_session.output_length = 0;
    endSession();
  }
  delete[] m_output;
}

bool ZelKVBStreamBuf::init(const char* charset, bool bigEndian) {
  m_session = CconvSession{};
  CconvOptions options{};
  options.substitute = 1;
  options.line_end_form = 3;
  CconvCharsetOptions source{};
  source.big_endian = bigEndian ? 1 : 0;
  source.expect_bom = 1;
  source.skip_invalid = 1;
  if (cconvInitConvert(&m_session, &options, "UTF-16") != 0) return false;
  if (cconvChgCharset(&m_session, &source, MapCharsetName(charset)) != 0) {
    cconvTermConvert(&m_session);
    return false;
  }
  return true;
}

size_t ZelKVBStreamBuf::readSource(char* at, size_t room) {
  if (m_source == nullptr || room == 0 || m_source->eof()) return 0;
  m_source->read(at, static_cast<std::streamsize>(room));
  return static_cast<size_t>(m_source->gcount());
}

bool ZelKVBStreamBuf::convert() { return cconvConvert(&m_session) != kStatusNoCharset; }

// Ends the session (the converter may append the bytes that close its
// output) and gives up the input.
void ZelKVBStreamBuf::endSession() {
  cconvTermConvert(&m_session);
  delete[] m_input;
  m_input = nullptr;
  m_session.input = nullptr;
  m_session.input_length = 0;
  m_session.input_position = 0;
}

// Converts the next of the input into out after its first kept bytes, with
// room up to capacity: answers the new output length, or -1 once the input
// is used up (the session ended) with nothing more written.
int ZelKVBStreamBuf::refill(char* out, int kept, int capacity) {
  m_session.output = reinterpret_cast<uint8_t*>(out);
  m_session.output_length = kept;
  m_session.output_capacity = capacity;
  for (;;) {
    // Input the converter left: a character cut at the end of the last
    // read, or what did not fit into the output.
    const int left = m_session.input_length - m_session.input_position;
    char* window = m_input + (reinterpret_cast<const char*>(m_session.input) - m_input) + m_session.input_position;
    // The next read follows them while the buffer has room for a whole one.
    if (static_cast<size_t>(window - m_input) + kInputBytes > kInputBuffer) {
      std::memmove(m_input, window, static_cast<size_t>(left));
      window = m_input;
    }
    m_session.input = reinterpret_cast<const uint8_t*>(window);
    m_session.input_position = 0;
    m_session.input_length = left;
    const size_t added = readSource(window + left, kInputBytes - static_cast<size_t>(left));
    m_session.input_length += static_cast<int32_t>(added);
    if (!convert()) {
      endSession();
      return -1;
    }
    if (m_session.output_length > kept) return m_session.output_length;
    // A block may convert to nothing (invalid bytes skipped, shift
    // sequences only); only a source that gives no more ends the input.
    if (added == 0) {
      endSession();
      return m_session.output_length > kept ? m_session.output_length : -1;
    }
  }
}

ZelKVBStreamBuf::int_type ZelKVBStreamBuf::underflow() {
  if (m_output == nullptr) return traits_type::eof();
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (m_input == nullptr) return traits_type::eof();
  const int kept = static_cast<int>(std::min<std::ptrdiff_t>(kPutBackBytes, gptr() - eback()));
  std::memmove(m_output, gptr() - kept, static_cast<size_t>(kept));
  const int length = refill(m_output, kept, kOutputCapacity);
  if (length < 0) {
    setg(m_output, m_output + kept, m_output + kept);
    return traits_type::eof();
  }
  setg(m_output, m_output + kept, m_output + length);
  return traits_type::to_int_type(*gptr());
}

// What the get area holds first; then, while a block or more is wanted,
// the converter writes a block at a time straight into the caller's buffer
// (through the get area the same units would be copied once more).
std::streamsize ZelKVBStreamBuf::xsgetn(char* out, std::streamsize count) {
  std::streamsize n = 0;
  while (n < count) {
    if (gptr() < egptr()) {
      const std::streamsize take = std::min<std::streamsize>(count - n, egptr() - gptr());
      std::memcpy(out + n, gptr(), static_cast<size_t>(take));
      gbump(static_cast<int>(take));
      n += take;
      continue;
    }
    if (count - n < kOutputCapacity || m_output == nullptr || m_input == nullptr) {
      if (traits_type::eq_int_type(underflow(), traits_type::eof())) break;
      continue;
    }
    // A block at a time, as the get area would take it; the session points
    // at the get area again afterwards, also when the source throws.
    struct BackToArea {
      ZelKVBStreamBuf* buf;
      ~BackToArea() {
        buf->m_session.output = reinterpret_cast<uint8_t*>(buf->m_output);
        buf->m_session.output_length = 0;
        buf->m_session.output_capacity = kOutputCapacity;
      }
    };
    int length;
    {
      BackToArea back{this};
      length = refill(out + n, 0, kOutputCapacity);
    }
    if (length < 0) break;
    n += length;
    // The last units become the get area, for putting back.
    const int kept = static_cast<int>(std::min<std::streamsize>(kPutBackBytes, n));
    std::memcpy(m_output, out + n - kept, static_cast<size_t>(kept));
    setg(m_output, m_output + kept, m_output + kept);
  }
  return n;
}

ZelKVBStream::ZelKVBStream(std::istream* source, const char* charset)
    : std::istream(nullptr), m_buf(source, charset) {
  init(&m_buf);
}

ZelKVBStream::~ZelKVBStream() = default;

bool ZelKVBStream::detectEncoding(std::istream* stream, UnicodeString& name, bool& bigEndian) {
  if (stream == nullptr) return false;
  std::vector<char> bytes(kDetectBytes);
  std::streamsize count = 0;
  if (!stream->eof()) {
    stream->read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    count = stream->gcount();
  }
  if (stream->rdstate() & (std::ios::failbit | std::ios::badbit)) {
    stream->clear(stream->rdbuf() == nullptr ? std::ios::badbit : std::ios::goodbit);
  }
  stream->seekg(0, std::ios::beg);
  if (count == 0) return false;
  CconvCheck check{};
  check.text = bytes.data();
  check.end = static_cast<int32_t>(count);
  if (cconvChkEncode(&check) != 1) return false;
  name = UnicodeString(check.charset, -1, US_INV);
  bigEndian = check.big_endian != 0;
  if (count <= kSecondCheckBytes) return true;
  CconvCheck head{};
  head.text = bytes.data();
  head.end = kSecondCheckBytes;
  return cconvChkEncode(&head) == 1;
}

bool ZelKVBStream::detectEncoding(const char* path, UnicodeString& name, bool& bigEndian) {
  if (path == nullptr) return false;
  std::unique_ptr<std::istream> stream(
      ZelUri(UnicodeString::fromUTF8(path), ZelUri::URISTR_CSS_URI).getStream(nullptr));
  return stream != nullptr && detectEncoding(stream.get(), name, bigEndian);
}

}  // namespace ObraCommon
