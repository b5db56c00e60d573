// libFuzzer harness of the Visio extractor through Glyphane's file entry
// point: the input is written as a drawing and GetTextWithErrCallback
// writes its text in UTF-8 to a file, with flag word A's loop limit
// (0x20000) for inputs of even length and without it for the others; the
// engine is started once before the first input, as the extraction interface
// does. Whatever the bytes, the call must end with a code and leave nothing
// in the private folder but the harness's files (the input file is
// rewritten in place by the next input).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "glyphane/glyphane.h"
#include "harness_support.h"

namespace {

int IgnoreError(ExtractErrorInfo*) { return 0; }

// Everything in the private folder besides the configuration, the input and
// the outputs is a temporary file an extraction forgot.
void CheckNothingLeft(const std::string& input, const std::string& output) {
  for (const std::string& name : fuzz::FolderEntries(fuzz::PrivateFolder())) {
    const std::string path = fuzz::PrivateFolder() + name;
    // The configuration and the named mutexes' lock files stay.
    if (name == "etc" || name.ends_with(".lock") || path == input || path == output) continue;
    std::fprintf(stderr, "left behind: %s\n", path.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::StartEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input = fuzz::WriteInput("input.vsd", data, size);
  std::string output = fuzz::PrivateFolder() + "output.txt";
  ExtractOptionsV4 options{};
  std::strcpy(options.charset, "UTF-8");
  std::strcpy(options.language, "English");
  options.flags_a = kFlagALineEndCrLf | (size % 2 == 0 ? kFlagALoopLimit : 0u);
  options.length_limit = static_cast<int32_t>(0x80000000u);
  GetTextWithErrCallback(input.c_str(), output.c_str(), &options, 0, IgnoreError);
  CheckNothingLeft(input, output);
  fuzz::Remove(output);
  return 0;
}
