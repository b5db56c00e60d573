// libFuzzer harness of Quarnel's text utilities. The input's first two bytes
// choose a quoting mode and a hexadecimal digit limit; the rest is read as
// UTF-16 (little-endian) with a terminator added, and goes through the
// number, hexadecimal and string parsers, unquoting, URI unquoting, base64
// decoding, ZelUri of every string type and unescaping. Every end pointer
// must stay between the start and the terminator, quoting must read back in
// each mode, and the base64 of the raw input must decode to it. No name is
// interned, so the harness's memory stays bounded.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "quarnel/uri.h"
#include "quarnel/util.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelUri;
using ObraCommon::ZelUtil;
using Mode = ZelUtil::QuoteMode;

const Mode kRoundTripModes[] = {
    ZelUtil::QUOTE_DOUBLE,
    ZelUtil::QUOTE_SINGLE,
    ZelUtil::QUOTE_DOUBLE | ZelUtil::QUOTE_SINGLE,
    ZelUtil::QUOTE_DOUBLE | ZelUtil::QUOTE_DOUBLED,
    ZelUtil::QUOTE_SINGLE | ZelUtil::QUOTE_DOUBLED,
    ZelUtil::QUOTE_DOUBLE | ZelUtil::QUOTE_CSS_ESCAPE,
    ZelUtil::QUOTE_SINGLE | ZelUtil::QUOTE_CSS_ESCAPE,
};

void CheckEnd(const char16_t* start, const char16_t* end, const char16_t* terminator) {
  if (end < start || end > terminator) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  Mode mode = static_cast<Mode>(data[0] & 15);
  int limit = static_cast<int8_t>(data[1]);
  std::u16string text((size - 2) / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8);
  const char16_t* start = text.c_str();
  const char16_t* terminator = start + text.size();

  const char16_t* end = nullptr;
  bool point = false;
  ZelUtil::parseNumber(start, &end, &point);
  CheckEnd(start, end, terminator);
  ZelUtil::parseHexNum(start, &end, limit);
  CheckEnd(start, end, terminator);
  ZelUtil::parseString(start, &end, mode);
  CheckEnd(start, end, terminator);

  UnicodeString whole(start, static_cast<int32_t>(text.size()));
  ZelUtil::unquoteString(whole, mode);
  ZelUtil::unquoteUri(whole);
  std::ostringstream sink;
  ZelUtil::decodeBase64(start, static_cast<int>(text.size()), sink);
  for (int type = 0; type <= 3; ++type) ZelUri(whole, static_cast<ZelUri::URISTRTYPE>(type));
  ZelUri::unescape(whole);

  if (text.find(u'\0') == std::u16string::npos) {
    for (Mode roundTrip : kRoundTripModes)
      if (ZelUtil::unquoteString(ZelUtil::quoteString(whole, roundTrip), roundTrip) != whole) std::abort();
  }

  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::istringstream in(bytes);
  UnicodeString encoded = ZelUtil::encodeBase64(in, static_cast<int>(size));
  std::ostringstream decoded;
  ZelUtil::decodeBase64(encoded.getTerminatedBuffer(), encoded.length(), decoded);
  if (decoded.str() != bytes) std::abort();
  return 0;
}
