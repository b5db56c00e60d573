// One direct conversion session over a whole text, with the options the
// charset streams give the converter: what a charset stream must deliver
// when its text is converted block by block.
#pragma once

#include <cstdint>
#include <string>

#include "dalvex/cconv.h"

namespace charsettest {

// The started session over the first length bytes of input, with room for
// all its output, then ended.
inline std::string Run(CconvSession& s, const std::string& input, size_t length) {
  std::string out(input.size() * 4 + 64, '\0');
  s.input = reinterpret_cast<const uint8_t*>(input.data());
  s.input_length = static_cast<int32_t>(length);
  s.output = reinterpret_cast<uint8_t*>(out.data());
  s.output_capacity = static_cast<int32_t>(out.size());
  cconvConvert(&s);
  cconvTermConvert(&s);
  out.resize(static_cast<size_t>(s.output_length));
  return out;
}

// Bytes in charset (a converter name) to UTF-16LE units, as the input
// stream reads them.
inline std::string DirectDecode(const char* charset, const std::string& bytes, bool bigEndian = true) {
  CconvSession s{};
  CconvOptions target{};
  target.substitute = 1;
  target.line_end_form = 3;
  CconvCharsetOptions source{};
  source.big_endian = bigEndian ? 1 : 0;
  source.expect_bom = 1;
  source.skip_invalid = 1;
  if (cconvInitConvert(&s, &target, "UTF-16") != 0) return "<no session>";
  if (cconvChgCharset(&s, &source, charset) != 0) {
    cconvTermConvert(&s);
    return "<no charset>";
  }
  return Run(s, bytes, bytes.size());
}

// UTF-16LE units to charset, as the output stream writes them.
inline std::string DirectEncode(const char* charset, const std::string& units, int lineEnds,
                                bool byteOrderMark = false) {
  CconvSession s{};
  CconvOptions target{};
  target.write_bom = byteOrderMark ? 1 : 0;
  target.substitute = 1;
  target.substitute_low = 0x3F;
  target.substitute_high = 0x3013;
  target.line_end_flag = 1;
  target.line_end_form = lineEnds;
  CconvCharsetOptions source{};
  source.skip_invalid = 1;
  if (cconvInitConvert(&s, &target, charset) != 0) return "<no charset>";
  if (cconvChgCharset(&s, &source, "UTF-16") != 0) {
    cconvTermConvert(&s);
    return "<no session>";
  }
  return Run(s, units, units.size() & ~size_t{1});
}

// Whether the engine can write charset (a converter name) from UTF-16, as
// the output stream asks it to. Told apart from any output: the bytes a
// session writes may spell anything.
inline bool HasEncoder(const char* charset) {
  CconvSession s{};
  CconvOptions target{};
  if (cconvInitConvert(&s, &target, charset) != 0) return false;
  CconvCharsetOptions source{};
  const bool known = cconvChgCharset(&s, &source, "UTF-16") == 0;
  uint8_t closing[64];
  s.output = closing;
  s.output_capacity = sizeof closing;
  cconvTermConvert(&s);
  return known;
}

}  // namespace charsettest
