// libFuzzer harness of the charset-converting streams. The first byte picks
// a charset name (the engine's own and the names documents use), the second
// a pattern of read sizes, put-backs and sync points. The rest is read
// through ZelKVBStream and must equal one direct session over it; then the
// same bytes, taken as UTF-16 units, are written through ZelKVBOStream with
// syncs at the pattern's points, without and with a limit: the target never
// receives more than the limit, and without a limit the output equals one
// direct session when the text holds no U+0000 and no surrogate (the
// direct session is run only then); for a charset the engine cannot write,
// the stream writes nothing. The engine starts once, before the first
// input. Fuzzing builds give the streams 256-byte blocks and a 1 KB input
// buffer, and scripts/fuzz bounds the inputs a little above five blocks: a
// refill, a put-back across it, a read straight into the caller's buffer
// and a move to the front of the input buffer are all reached without
// spending most of the time converting long texts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "charset_name_map.h"
#include "charset_sessions.h"
#include "harness_support.h"
#include "quarnel/kvb_stream.h"

namespace {

const char* const kNames[] = {
    "WINDOWS31J", "Shift_JIS",  "EUC-JP",          "EUC-JP-FIX",     "ISO-2022-JP",     "Shift_JIS-2004",
    "EUC-JIS-2004", "UTF-8",    "UTF-16",          "ISO-10646-UCS-4", "ISO-10646-UCS-2", "ChineseGBK",
    "GB2312",     "ChineseBIG5", "Big5",           "KoreanKSC",      "KS_C_5601-1987",  "GB18030",
    "ISO-8859-1", "ISO-646IRV", "ISO-2022-JP-2004", "windows-31j",   "korean",          "NO-SUCH"};
constexpr size_t kNameCount = sizeof kNames / sizeof kNames[0];

void Fail(const char* what, const char* charset) {
  std::fprintf(stderr, "charset stream (%s): %s\n", charset, what);
  std::abort();
}

bool PlainText(const std::string& units) {
  for (size_t i = 0; i + 1 < units.size(); i += 2) {
    unsigned u = static_cast<unsigned char>(units[i]) | static_cast<unsigned char>(units[i + 1]) << 8;
    if (u == 0 || (u >= 0xD800 && u <= 0xDFFF)) return false;
  }
  return true;
}

std::string Write(const char* charset, const std::string& units, unsigned pattern, unsigned limit) {
  std::ostringstream target;
  {
    ObraCommon::ZelKVBOStream out(&target, charset, false, ObraCommon::ZelKVBOStreamBuf::LF_LF);
    if (limit != 0) out.setLimit(limit);
    size_t at = 0;
    unsigned step = 1 + pattern % 7;
    while (at < units.size()) {
      size_t n = std::min<size_t>(units.size() - at, 2 * step + (pattern & 1));
      out.write(units.data() + at, static_cast<std::streamsize>(n));
      at += n;
      // Syncs fall between whole units: an odd byte pending at a sync is
      // dropped, as writers are told.
      if (at % 2 == 0 && (at / 2 + pattern) % 3 == 0) out.flush();
      step = step * 5 % 4099 + 1;
    }
    if (limit != 0 && target.str().size() > limit) Fail("target past the limit", charset);
  }
  return target.str();
}

// Whether the engine writes kNames[index], asked once per name: the
// configuration does not change while the process runs.
bool CanWrite(size_t index) {
  static signed char known[kNameCount] = {};  // 0 not asked yet, 1 yes, -1 no
  if (known[index] == 0) known[index] = charsettest::HasEncoder(kNames[index]) ? 1 : -1;
  return known[index] > 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::StartEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t name = data[0] % kNameCount;
  const char* charset = kNames[name];
  const unsigned pattern = data[1];
  const std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);

  std::istringstream source(bytes);
  ObraCommon::ZelKVBStream in(&source, charset);
  std::string units;
  if (in.is_open()) {
    size_t piece = 1 + pattern % 17;
    char buf[1400];
    for (int round = 0; in.read(buf, static_cast<std::streamsize>(piece)), in.gcount() > 0; ++round) {
      units.append(buf, static_cast<size_t>(in.gcount()));
      if (round % 5 == static_cast<int>(pattern % 5)) {
        // Put back what was just read (at most the 16 bytes kept over a
        // refill) and read it again.
        const int back = static_cast<int>(std::min<std::streamsize>(in.gcount(), 16));
        int done = 0;
        while (done < back && in.unget().good()) ++done;
        in.clear();
        std::string again(static_cast<size_t>(done), '\0');
        in.read(again.data(), done);
        if (in.gcount() != done || units.compare(units.size() - done, done, again) != 0) Fail("put-back", charset);
      }
      piece = piece * 3 % 613 + 1;
    }
    std::string expected = charsettest::DirectDecode(ObraCommon::MapCharsetName(charset), bytes);
    if (units != expected) Fail("read differs from a direct session", charset);
  }

  const std::string written = Write(charset, bytes, pattern, 0);
  if (!CanWrite(name)) {
    if (!written.empty()) Fail("a charset the engine has not wrote something", charset);
  } else if (PlainText(bytes) && written != charsettest::DirectEncode(charset, bytes, 3)) {
    Fail("write differs from a direct session", charset);
  }
  Write(charset, bytes, pattern, 1 + pattern * 13 % 200);
  return 0;
}
