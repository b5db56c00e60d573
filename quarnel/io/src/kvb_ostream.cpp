// The charset-converting output stream. UTF-16 units collect in a 4,096
// byte put area and are converted at every sync into a 4,096-byte output
// block on its way to the target. A final U+0000 or high surrogate waits
// for the next sync, so that a surrogate pair and the pair U+0000 U+000A
// (written as a space and a line end) are never split; so does a final
// base of a kana or phonetic pair at a sync the caller asks for, since the
// converter joins it to a combining mark that follows (or writes the mark
// as its spacing form, where the target has no pair code), but a mark that
// begins a conversion of its own has no base. With a limit the
// target never receives more than the limit, cut at a character boundary.
#include <algorithm>
#include <cstring>
#include <vector>

#include "kvb_blocks.h"
#include "quarnel/kvb_stream.h"
#include "quarnel/mem_stream.h"

namespace ObraCommon {

namespace {

constexpr int kBlockBytes = static_cast<int>(kvb::kBlockBytes);
constexpr int kStatusOutputFull = 22;
constexpr char kSpace[2] = {' ', '\0'};

uint16_t UnitAt(const char* bytes, int at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                               (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

bool IsHighSurrogate(uint16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// The characters a combining mark can join into one code (the kana before
// U+309A, the phonetic letters before U+0300, U+0301, U+02E5 or U+02E9),
// and a few of their neighbours, which are merely kept for the next sync.
bool MayTakeMark(uint16_t unit) {
  return (unit >= 0x304B && unit <= 0x3053) || (unit >= 0x30AB && unit <= 0x30C8) || unit == 0x31F7 ||
         unit == 0x00E6 || unit == 0x0254 || unit == 0x0259 || unit == 0x025A || unit == 0x028C ||
         unit == 0x02E5 || unit == 0x02E9;
}

// Byte offset of the next unit pair U+0000 U+000A at or after from, or -1.
int FindNulLineFeed(const char* bytes, int from, int length) {
  for (int at = from; at + 4 <= length; at += 2) {
    if (UnitAt(bytes, at) == 0 && UnitAt(bytes, at + 2) == 0x000A) return at;
  }
  return -1;
}

}  // namespace

ZelKVBOStreamBuf::ZelKVBOStreamBuf(std::ostream* target, const char* charset, bool bigEndian, LF_CONVERT lineEnds,
                                   bool byteOrderMark)
    : m_session{}, m_target(target) {
  if (!init(charset, bigEndian, lineEnds, byteOrderMark)) return;
  m_input = new char[kBlockBytes];
  m_output = new uint8_t[kBlockBytes];
  setp(m_input, m_input + kBlockBytes - 1);
}

ZelKVBOStreamBuf::~ZelKVBOStreamBuf() {
  if (m_output != nullptr) {
    convertPut(false);
    endSession();
  }
  delete[] m_input;
  delete[] m_output;
}

bool ZelKVBOStreamBuf::init(const char* charset, bool bigEndian, LF_CONVERT lineEnds, bool byteOrderMark) {
  if (charset == nullptr) return false;
  m_session = CconvSession{};
  CconvOptions options{};
  options.big_endian = bigEndian ? 1 : 0;
  options.write_bom = byteOrderMark ? 1 : 0;
  options.substitute = 1;
  options.substitute_low = 0x3F;
  options.substitute_high = 0x3013;
  options.line_end_flag = 1;
  options.line_end_form = lineEnds;
  if (cconvInitConvert(&m_session, &options, charset) != 0) return false;
  CconvCharsetOptions source{};
  source.skip_invalid = 1;
  if (cconvChgCharset(&m_session, &source, "UTF-16") != 0) {
    cconvTermConvert(&m_session);
    return false;
  }
  return true;
}

// Hands converted bytes on, never past a set limit; the output length
// counts them all.
void ZelKVBOStreamBuf::emit(const char* bytes, unsigned n) {
  if (n == 0) return;
  const bool fits = m_limit == 0 || m_outputLength + n <= m_limit;
  if (fits && m_target != nullptr) m_target->write(bytes, static_cast<std::streamsize>(n));
  m_outputLength += n;
}

// One conversion of input[position, length) into a fresh output block.
void ZelKVBOStreamBuf::convertStep(const char* input, int length, int& position) {
  int capacity = kBlockBytes;
  if (m_limit != 0 && m_outputLength <= m_limit) {
    const unsigned room = m_limit - m_outputLength;
    if (room >= 1 && room < static_cast<unsigned>(kBlockBytes)) capacity = static_cast<int>(room);
  }
  m_session.input = reinterpret_cast<const uint8_t*>(input);
  m_session.input_position = position;
  m_session.input_length = length;
  m_session.output = m_output;
  m_session.output_length = 0;
  m_session.output_capacity = capacity;
  cconvConvert(&m_session);
  position = m_session.input_position;
  const unsigned produced = static_cast<unsigned>(m_session.output_length);
  if (produced == 0) {
    if (m_limit != 0) m_outputLength = m_limit + 1;
    return;
  }
  emit(reinterpret_cast<const char*>(m_output), produced);
}

ZelKVBOStreamBuf::int_type ZelKVBOStreamBuf::overflow(int_type ch) {
  if (pbase() == nullptr) return traits_type::eof();
  if (traits_type::eq_int_type(ch, traits_type::eof())) return ch;
  *pptr() = traits_type::to_char_type(ch);
  pbump(1);
  sync();
  return ch;
}

int ZelKVBOStreamBuf::sync() {
  if (pbase() == nullptr) return -1;
  convertPut(true);
  return 0;
}

void ZelKVBOStreamBuf::convertPut(bool holdBase) {
  if (pbase() == nullptr) return;
  const int written = static_cast<int>(pptr() - pbase());
  const int n = written & ~1;
  int length = n;
  bool hold = false;
  if (n >= 2) {
    const uint16_t last = UnitAt(m_input, n - 2);
    hold = last == 0 || IsHighSurrogate(last) || (holdBase && MayTakeMark(last));
    if (hold) length = n - 2;
  }
  int position = 0;
  while (position < length) {
    if (m_limit != 0 && m_outputLength > m_limit) break;
    const int start = position;
    const unsigned before = m_outputLength;
    const int pair = FindNulLineFeed(m_input, position, length);
    if (pair == position) {
      // A U+0000 right before a line feed is written as a space.
      int spacePosition = 0;
      convertStep(kSpace, 2, spacePosition);
      position += 2;
      continue;
    }
    convertStep(m_input, pair < 0 ? length : pair, position);
    // A step that takes nothing and gives nothing stands on a unit the
    // converter cannot go past (an unpaired surrogate at the end of its
    // input); skipping it is what skipping invalid input means.
    if (m_limit == 0 && position == start && m_outputLength == before &&
        m_session.status != kStatusOutputFull) {
      position += 2;
    }
  }
  setp(m_input, m_input + kBlockBytes - 1);
  if (hold) {
    std::memmove(m_input, m_input + n - 2, 2);
    pbump(2);
  }
}

bool ZelKVBOStreamBuf::isLimitOver() {
  convertPut(false);
  return m_limit != 0 && m_outputLength > m_limit;
}

std::ostream* ZelKVBOStreamBuf::getOutputStream() {
  convertPut(false);
  return m_target;
}

void ZelKVBOStreamBuf::writeRawBuffer(const char* data, unsigned n) {
  convertPut(false);
  if (data != nullptr) putRaw(data, n);
}

// Raw bytes go out up to the limit; the output length counts them all.
void ZelKVBOStreamBuf::putRaw(const char* data, unsigned n) {
  unsigned take = n;
  if (m_limit != 0) take = m_outputLength >= m_limit ? 0 : std::min(n, m_limit - m_outputLength);
  if (take != 0 && m_target != nullptr) m_target->write(data, static_cast<std::streamsize>(take));
  m_outputLength += n;
}

void ZelKVBOStreamBuf::writeRawStream(std::istream& in) {
  convertPut(false);
  if (m_limit == 0) {
    std::vector<char> block(kBlockBytes);
    while (in.good()) {
      in.read(block.data(), static_cast<std::streamsize>(block.size()));
      if (in.gcount() > 0 && m_target != nullptr) m_target->write(block.data(), in.gcount());
    }
    return;
  }
  if (m_outputLength > m_limit) return;
  ZelMemStream buffered(&in, 8192, false);
  const unsigned total = buffered.length();
  const char* data = nullptr;
  if (m_outputLength + total <= m_limit) {
    for (unsigned n; (n = buffered.getBuffer(data)) != 0;) putRaw(data, n);
    return;
  }
  for (unsigned n; m_outputLength <= m_limit && (n = buffered.getBuffer(data)) != 0;) putRaw(data, n);
}

void ZelKVBOStreamBuf::endSession() {
  m_session.input = nullptr;
  m_session.input_position = 0;
  m_session.input_length = 0;
  m_session.output = m_output;
  m_session.output_length = 0;
  m_session.output_capacity = kBlockBytes;
  cconvTermConvert(&m_session);
  // The bytes that return a stateful target to its initial state go out
  // when they fit under the limit.
  emit(reinterpret_cast<const char*>(m_output), static_cast<unsigned>(m_session.output_length));
}

ZelKVBOStream::ZelKVBOStream(std::ostream* target, const char* charset, bool bigEndian,
                             ZelKVBOStreamBuf::LF_CONVERT lineEnds, bool byteOrderMark)
    : std::ostream(nullptr), m_buf(target, charset, bigEndian, lineEnds, byteOrderMark) {
  init(&m_buf);
}

ZelKVBOStream::~ZelKVBOStream() = default;

ZelKVBOStream& ZelKVBOStream::writeString(const UnicodeString& text) {
  if (text.isBogus() || text.isEmpty()) return *this;
  write(reinterpret_cast<const char*>(text.getBuffer()), static_cast<std::streamsize>(text.length()) * 2);
  return *this;
}

ZelKVBOStream& ZelKVBOStream::writeRawBuffer(const char* data, unsigned n) {
  m_buf.writeRawBuffer(data, n);
  return *this;
}

ZelKVBOStream& ZelKVBOStream::writeRawStream(std::istream& in) {
  m_buf.writeRawStream(in);
  return *this;
}

}  // namespace ObraCommon
