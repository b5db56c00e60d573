// libFuzzer harness of the file-format detector: the input is written to a
// file, whose extension the input's length chooses (the detector also
// looks at names; each of these files is rewritten in place by later
// inputs rather than made anew), and KVB_FileDtct names its format. The
// record's texts must stay NUL-terminated and its temporary name empty.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "harness_support.h"
#include "probelin/probelin.h"

namespace {

const char* const kExtensions[] = {"", ".vsd", ".txt", ".doc", ".rtf", ".htm", ".xml", ".zip", ".rar", ".jtd"};

bool Terminated(const char* text, size_t size) { return std::memchr(text, 0, size) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = fuzz::WriteInput(std::string("input") + kExtensions[size % std::size(kExtensions)], data, size);
  DtctInput input{};
  input.path = path.c_str();
  input.mode = kDtctModePath;
  FileDtctRecord record{};
  record.input = &input;
  KVB_FileDtct(&record);
  if (!Terminated(record.code_text, sizeof record.code_text) || !Terminated(record.name, sizeof record.name) ||
      !Terminated(record.second_text, sizeof record.second_text) ||
      !Terminated(record.language, sizeof record.language) ||
      !Terminated(record.text_result, sizeof record.text_result) || record.temp_name[0] != '\0')
    std::abort();
  return 0;
}
