// libFuzzer harness of the text-file detector and the buffer encoding
// check: dtctText reads the input as a file, with a language hint chosen
// from the input's length, and cconvChkEncode names the charset of the
// same bytes from the start and from a third of the way in. The check's
// charset name must stay NUL-terminated and its position unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "dalvex/encoding_detect.h"
#include "harness_support.h"

namespace {

const char* const kLanguages[] = {"Japanese", "Simplified Chinese", "Traditional Chinese", "Korean", "English", ""};

void Check(const uint8_t* data, size_t size, int32_t position) {
  CconvCheck check{};
  check.text = reinterpret_cast<const char*>(data);
  check.position = position;
  check.end = static_cast<int32_t>(size);
  cconvChkEncode(&check);
  if (check.position != position || std::memchr(check.charset, 0, sizeof check.charset) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = fuzz::WriteInput("input.txt", data, size);
  dtctText(path.c_str(), kLanguages[size % std::size(kLanguages)]);
  fuzz::Remove(path);
  Check(data, size, 0);
  Check(data, size, static_cast<int32_t>(size / 3));
  return 0;
}
