// libFuzzer harness of the charset conversion engine: the first byte picks
// one of the engine's charsets (as the generated rules define them) and the
// direction (from it to UTF-8, or from UTF-8 to it), the second the output
// buffer's size (its low six bits) and, with the input's parity, the
// line-end handling: none, or one of the five line-end forms. The rest is
// converted once that way, the output buffer emptied and the call repeated
// after every "output full", as callers do. One conversion an input keeps
// the executions fast; the fuzzer reaches every form through the bytes.
// A call must never write beyond the buffer, and "output full" must not
// repeat without progress.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dalvex/cconv.h"
#include "harness_support.h"

namespace {

const std::vector<std::string>& Charsets() {
  static const std::vector<std::string> names = [] {
    fuzz::StartEngine();
    std::vector<std::string> list;
    char name[260];
    for (int i = 0; cconvEnumGroup(i, name); ++i) list.emplace_back(name);
    if (list.empty()) std::abort();
    return list;
  }();
  return names;
}

constexpr int kStatusFull = 22;

void Convert(const std::string& from, const std::string& to, const uint8_t* text, size_t size, int capacity,
             int line_end_flag, int line_end_form, bool substitute) {
  CconvSession session{};
  CconvOptions options{};
  options.substitute = substitute;
  options.line_end_flag = line_end_flag;
  options.line_end_form = line_end_form;
  options.char_references = line_end_form % 3;
  CconvCharsetOptions charset_options{};
  charset_options.skip_invalid = substitute;
  charset_options.expect_bom = 1;
  charset_options.big_endian = line_end_form & 1;
  if (cconvInitConvert(&session, &options, to.c_str()) != 0 ||
      cconvChgCharset(&session, &charset_options, from.c_str()) != 0) {
    cconvTermConvert(&session);
    return;
  }
  std::vector<uint8_t> output(static_cast<size_t>(capacity));
  session.output = output.data();
  session.output_capacity = capacity;
  // The input in two pieces: a session resumes where the first one ended.
  size_t first = size / 2;
  const uint8_t* pieces[2] = {text, text + first};
  size_t lengths[2] = {first, size - first};
  for (int piece = 0; piece < 2; ++piece) {
    session.input = pieces[piece];
    session.input_length = static_cast<int32_t>(lengths[piece]);
    session.input_position = 0;
    int status;
    int stalls = 0;
    do {
      session.output_length = 0;
      int before = session.input_position;
      status = cconvConvert(&session);
      if (session.output_length < 0 || session.output_length > capacity) std::abort();
      if (session.input_position < 0 || session.input_position > session.input_length) std::abort();
      // Sixteen bytes hold any character with its line end, and 48 the
      // longest character reference ("&#1114111;" in four-byte units) with
      // it; a full buffer of that size that stays empty while the input does
      // not move is a hang.
      bool progress = session.output_length > 0 || session.input_position != before;
      stalls = progress ? 0 : stalls + 1;
      const int room = options.char_references != 0 ? 48 : 16;
      if (status == kStatusFull && capacity >= room && stalls > 2) std::abort();
    } while (status == kStatusFull && stalls <= 2);
    if (status != 0 && status != 12) break;
  }
  cconvTermConvert(&session);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Charsets();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::vector<std::string>& charsets = Charsets();
  const std::string& charset = charsets[(data[0] >> 1) % charsets.size()];
  bool to_charset = data[0] & 1;
  int capacity = 1 + data[1] % 64 * 8;
  const std::string& from = to_charset ? std::string("UTF-8") : charset;
  const std::string& to = to_charset ? charset : std::string("UTF-8");
  const uint8_t* text = data + 2;
  size_t length = size - 2;
  const int form = ((data[1] >> 6) * 2 + static_cast<int>(length % 2)) % 6;
  Convert(from, to, text, length, capacity, form != 0, form, form == 0 ? length % 2 : form % 2);
  return 0;
}
