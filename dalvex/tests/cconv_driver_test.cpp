// The session driver with small stand-in codecs plugged into a session:
// line ends, a full output resumed by the next call, substitution without a
// prepared substitute, invalid input skipped, codecs that stall.
#include <gtest/gtest.h>

#include <string>

#include "dalvex/cconv.h"

namespace {

// One byte a character; 0x80 is invalid, 0xE2 stands for U+2028.
void ByteDecoder(CconvSession* s) {
  if (s->input_position >= s->input_length) {
    s->status = 0;
    return;
  }
  uint8_t b = s->input[s->input_position++];
  if (b == 0x80) {
    s->status = 13;
    return;
  }
  s->raw_code = s->code = b;
  s->unicode = b == 0xE2 ? 0x2028 : b;
  ++s->decoded_count;
  s->status = 11;
}

// Writes the code as one byte; 0xFF is unmappable; CR becomes CR LF.
void ByteEncoder(CconvSession* s) {
  if (s->status == 31) {
    s->status = 0;
    return;
  }
  uint32_t code = s->status == 22 ? s->out_code : s->code;
  if (s->status != 22 && code == 0xFF) {
    s->status = 23;
    return;
  }
  std::string bytes = code == '\r' && s->options.line_end_flag ? "\r\n" : std::string(1, static_cast<char>(code));
  if (s->output_length + static_cast<int32_t>(bytes.size()) > s->output_capacity) {
    s->status = 22;
    return;
  }
  for (char c : bytes) s->output[s->output_length++] = static_cast<uint8_t>(c);
  ++s->encoded_count;
  s->status = 21;
}

struct SessionRun {
  CconvSession session{};
  std::string input;
  uint8_t output[64] = {};
  SessionRun(const std::string& in, int capacity) : input(in) {
    session.input = reinterpret_cast<const uint8_t*>(input.data());
    session.input_length = static_cast<int32_t>(input.size());
    session.output = output;
    session.output_capacity = capacity;
    session.decoder = ByteDecoder;
    session.encoder = ByteEncoder;
  }
  std::string Out() const { return std::string(reinterpret_cast<const char*>(output), session.output_length); }
};

TEST(Driver, LineEndsBecomeOneForm) {
  SessionRun run("a\r\nb\nc\rd\xE2", 64);
  run.session.options.line_end_flag = 1;
  EXPECT_EQ(cconvConvert(&run.session), 0);
  EXPECT_EQ(run.Out(), "a\r\nb\r\nc\r\nd\r\n");
  // A CR ending one call and the LF beginning the next give one line end.
  SessionRun split("x\r", 64);
  split.session.options.line_end_flag = 1;
  EXPECT_EQ(cconvConvert(&split.session), 0);
  split.input = "\ny";
  split.session.input = reinterpret_cast<const uint8_t*>(split.input.data());
  split.session.input_position = 0;
  EXPECT_EQ(cconvConvert(&split.session), 0);
  EXPECT_EQ(split.Out(), "x\r\ny");
}

TEST(Driver, FullOutputResumesWithTheSameCharacter) {
  SessionRun run("abc\r", 2);
  run.session.options.line_end_flag = 1;
  EXPECT_EQ(cconvConvert(&run.session), 22);
  EXPECT_EQ(run.Out(), "ab");
  EXPECT_EQ(run.session.input_position, 2);
  run.session.output_length = 0;
  EXPECT_EQ(cconvConvert(&run.session), 22);  // the CR LF needs two bytes together
  EXPECT_EQ(run.Out(), "c");
  run.session.output_length = 0;
  EXPECT_EQ(cconvConvert(&run.session), 0);
  EXPECT_EQ(run.Out(), "\r\n");
  SessionRun none("a", 0);
  EXPECT_EQ(cconvConvert(&none.session), 22);
  EXPECT_EQ(none.session.input_position, 0);
}

TEST(Driver, UnmappableAndInvalidInput) {
  SessionRun stop("a\xFF" "b", 64);
  EXPECT_EQ(cconvConvert(&stop.session), 23);
  EXPECT_EQ(stop.session.input_position, 2);
  SessionRun skipped("a\xFF" "b", 64);  // nothing prepared: the character is skipped
  skipped.session.options.substitute = 1;
  EXPECT_EQ(cconvConvert(&skipped.session), 0);
  EXPECT_EQ(skipped.Out(), "ab");
  SessionRun substituted("a\xFF" "b", 64);
  substituted.session.options.substitute = 1;
  substituted.session.substitutes[1] = {2001, 1, 0, '?', 1, 0};
  substituted.session.substitutes[0] = {2001, 1, 0, '#', 1, 0};
  EXPECT_EQ(cconvConvert(&substituted.session), 0);
  EXPECT_EQ(substituted.Out(), "a#b");  // the source code 0xFF is below 256
  SessionRun invalid("a\x80" "b", 64);
  EXPECT_EQ(cconvConvert(&invalid.session), 13);
  invalid.session.charset_options.skip_invalid = 1;
  EXPECT_EQ(cconvConvert(&invalid.session), 0);
  EXPECT_EQ(invalid.Out(), "ab");
  EXPECT_EQ(cconvTermConvert(&invalid.session), 0);
  CconvSession empty{};
  EXPECT_EQ(cconvConvert(&empty), 1);
  EXPECT_EQ(cconvTermConvert(&empty), 0);
}

// Writes nothing for anything, a prepared substitute included.
void NothingEncoder(CconvSession* s) { s->status = 23; }

// Reports 0x80 as invalid without taking it.
void StallingDecoder(CconvSession* s) {
  if (s->input[s->input_position] == 0x80) {
    s->status = 13;
    return;
  }
  ByteDecoder(s);
}

// Codecs that would be called again and again on the same character: the
// conversion ends with 13 there instead.
TEST(Driver, StalledCodecsEndTheConversion) {
  struct Case {
    const char* what;
    const char* input;
    void (*decoder)(CconvSession*);
    void (*encoder)(CconvSession*);
    int32_t position;  // where the conversion ends
    const char* out;
  } cases[] = {
      {"an encoder that cannot write the substitute", "ab", ByteDecoder, NothingEncoder, 1, ""},
      {"a decoder that skips nothing", "a\x80" "b", StallingDecoder, ByteEncoder, 1, "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SessionRun run(c.input, 64);
    run.session.decoder = c.decoder;
    run.session.encoder = c.encoder;
    run.session.options.substitute = 1;
    run.session.substitutes[0] = run.session.substitutes[1] = {2001, 1, 0, '?', 1, 0};
    run.session.charset_options.skip_invalid = 1;
    EXPECT_EQ(cconvConvert(&run.session), 13);
    EXPECT_EQ(run.session.input_position, c.position);
    EXPECT_EQ(run.Out(), c.out);
  }
}

}  // namespace
