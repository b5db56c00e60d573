// Whole-string conversion between UCS-2 strings (native 16-bit units) and
// Shift_JIS byte strings through one conversion session between
// "ISO-10646-UCS-2" and "WINDOWS31J": unmappable characters become the
// engine's substitutes, invalid input is skipped, every line end becomes
// CR LF. The terminator is converted with the text, so a whole conversion
// always ends the output with it.
//
// Output room: a UCS-2 unit gives at most two bytes (a character, a
// substitute or CR LF), so 2n + 2 bytes always hold n units and their
// terminator. A byte gives one unit, but a lone CR or LF gives two, so
// m + 1 units may not hold a converted text of m bytes; the session stops
// at that capacity and the call answers 0.
#include <cstdint>
#include <cstring>

#include "dalvex/cconv.h"
#include "dalvex/char_utils.h"

namespace {

// Runs one session over `in` (with its terminator) into `out`; 1 when
// cconvConvert consumed everything with status 0.
int ConvertString(const uint8_t* in, int32_t in_bytes, uint8_t* out, int32_t capacity, const char* source,
                  const char* target) {
  CconvOptions options{};
  options.substitute = 1;  // substitutes 0: the engine prepares its own
  options.line_end_flag = 1;
  options.line_end_form = 1;  // CR LF
  CconvCharsetOptions charset_options{};
  charset_options.skip_invalid = 1;
  // Little-endian units, as UCS-2 strings lie in memory here.
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "UCS-2 strings are read as little-endian units");

  CconvSession session{};
  session.input = in;
  session.input_length = in_bytes;
  session.output = out;
  session.output_capacity = capacity;
  int result = 0;
  if (cconvInitConvert(&session, &options, target) == 0 && cconvChgCharset(&session, &charset_options, source) == 0)
    result = cconvConvert(&session) == 0 && session.input_position == in_bytes ? 1 : 0;
  cconvTermConvert(&session);
  return result;
}

}  // namespace

extern "C" {

int KVB_ucs2sjisstr(char* out, const char16_t* in) {
  if (out == nullptr || in == nullptr) return 0;
  int32_t units = KVB_ucs2strlen(in);
  if (units > (INT32_MAX - 2) / 2) return 0;
  int32_t bytes = 2 * units + 2;
  return ConvertString(reinterpret_cast<const uint8_t*>(in), bytes, reinterpret_cast<uint8_t*>(out), bytes,
                       "ISO-10646-UCS-2", "WINDOWS31J");
}

int KVB_sjis2ucsstr(char16_t* out, const char* in) {
  if (out == nullptr || in == nullptr) return 0;
  size_t length = std::strlen(in);
  if (length > static_cast<size_t>(INT32_MAX / 2 - 1)) return 0;
  int32_t bytes = static_cast<int32_t>(length) + 1;
  return ConvertString(reinterpret_cast<const uint8_t*>(in), bytes, reinterpret_cast<uint8_t*>(out), 2 * bytes,
                       "WINDOWS31J", "ISO-10646-UCS-2");
}

}  // extern "C"
