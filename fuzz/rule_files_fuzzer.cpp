// libFuzzer harness of the rule-file scanner and the code-set table reader:
// a private configuration folder holds a small two-set charset ("FUZZ-CS":
// a one-byte set without a table and a two-byte set with a table), and the
// first byte of the input chooses which of its files the rest replaces:
// the rule file, the two-byte set file, its table text, or the table's
// .cmp cache. The engine is then started on that folder, loads the rules,
// and converts a fixed text from and to every charset it defined, which
// loads the tables (and writes the cache). Everything the run left in the
// folder is removed before the next input.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <sys/stat.h>

#include "dalvex/cconv.h"
#include "harness_support.h"

namespace {

std::string Utf16(std::string_view ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

const char kRule[] =
    "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
    "<!DOCTYPE charset [\r\n<!ENTITY set01 SYSTEM \"fuzz-single.set\">\r\n"
    "<!ENTITY set02 SYSTEM \"fuzz-double.set\">\r\n]>\r\n"
    "<charset>\r\n<name>FUZZ-CS</name>\r\n<rule construle=\"constSAME\" destrule=\"destSAME\"></rule>\r\n"
    "<baseset>&set01;</baseset>\r\n<baseset>&set02;</baseset>\r\n</charset>\r\n";
const char kSingleSet[] =
    "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<subseta>\r\n<name>fuzz-single</name>\r\n"
    "<lang domain=\"ja\"></lang>\r\n<code bytenum=\"1\"></code>\r\n<defined>00-7F</defined>\r\n</subseta>\r\n";
const char kDoubleSet[] =
    "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
    "<!DOCTYPE subseta [\r\n<!ENTITY table SYSTEM \"fuzz-double.tbl\">\r\n]>\r\n"
    "<subseta>\r\n<name>fuzz-double</name>\r\n<lang domain=\"zh\"></lang>\r\n<code bytenum=\"2\"></code>\r\n"
    "<defined>8140-FEFE</defined>\r\n<srtable>&table;</srtable>\r\n</subseta>\r\n";
const char kTable[] = "<fuzz-double>\r\n8140 3000\r\n8141 3001\r\n8142 FF0C\r\nA440 4E00\r\nFEFE 9F98\r\n";

// The text converted through every charset: ASCII and two-byte codes, then
// UTF-16LE for the other direction.
const uint8_t kNative[] = {'a', 0x81, 0x40, 0x81, 0x41, 0xA4, 0x40, 'z', 0xFE, 0xFE, 0x81, 0x42, '\r', '\n'};
const uint8_t kWide[] = {'a', 0, 0x00, 0x30, 0x01, 0x30, 0x00, 0x4E, 0x98, 0x9F, 0x0C, 0xFF, '\n', 0};

void Convert(const char* from, const char* to, const uint8_t* text, size_t size) {
  CconvSession session{};
  CconvOptions options{};
  options.substitute = 1;
  CconvCharsetOptions charset_options{};
  charset_options.skip_invalid = 1;
  uint8_t output[256];
  if (cconvInitConvert(&session, &options, to) == 0 && cconvChgCharset(&session, &charset_options, from) == 0) {
    session.input = text;
    session.input_length = static_cast<int32_t>(size);
    session.output = output;
    session.output_capacity = sizeof output;
    cconvConvert(&session);
  }
  cconvTermConvert(&session);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const std::string ucs2 = fuzz::ReadGenerated("iso-10646-ucs-2.xml");
  static const std::string ucs2_set = fuzz::ReadGenerated("ucs2-units.set");
  const std::string etc = fuzz::PrivateFolder() + "etc/";
  fuzz::Remove(etc);
  if (mkdir(etc.c_str(), 0700) != 0) std::abort();
  const std::string files[][2] = {{"fuzz.xml", Utf16(kRule)},
                                  {"fuzz-single.set", Utf16(kSingleSet)},
                                  {"fuzz-double.set", Utf16(kDoubleSet)},
                                  {"fuzz-double.tbl", Utf16(kTable)},
                                  {"iso-10646-ucs-2.xml", ucs2},
                                  {"ucs2-units.set", ucs2_set}};
  static const char* const kReplaced[] = {"fuzz.xml", "fuzz-double.set", "fuzz-double.tbl", "fuzz-double.cmp"};
  const char* replaced = kReplaced[data[0] % 4];
  for (const auto& file : files)
    if (file[0] != replaced) fuzz::WriteInput("etc/" + file[0], file[1]);
  fuzz::WriteInput(std::string("etc/") + replaced, data + 1, size - 1);

  if (startProcess() != 1) std::abort();
  cconvLoadRule();
  char name[260];
  for (int i = 0; cconvEnumGroup(i, name); ++i) {
    Convert(name, "ISO-10646-UCS-2", kNative, sizeof kNative);
    Convert("ISO-10646-UCS-2", name, kWide, sizeof kWide);
  }
  endProcess();
  fuzz::Remove(etc);
  return 0;
}
