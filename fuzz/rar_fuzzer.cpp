// libFuzzer harness of the RAR extractor through Vombril's text entry
// point: the input is written as an archive and GetTextStreamWithErrCallback
// gathers the text of its members in text mode (each member unpacked to a
// temporary file and handed to the extraction interface beside Vombril,
// which reads it with the adapter over libarchive), going on after a bad
// member. The engine is started once. Nothing may be left behind, nor
// written outside the private folder: the working directory is an empty
// folder of its own, and a member named with ".." or an absolute part would
// show up there or beside the temporary files.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>

#include <unistd.h>

#include "dalvex/extract_records.h"
#include "harness_support.h"
#include "vombril/vombril.h"

namespace {

int IgnoreError(ExtractErrorInfo*) { return 0; }

const std::string& WorkFolder() {
  static const std::string folder = [] {
    std::string path = fuzz::PrivateFolder() + "cwd";
    if (!std::filesystem::create_directory(path) || chdir(path.c_str()) != 0) std::abort();
    return path;
  }();
  return folder;
}

void CheckNothingLeft(const std::string& input) {
  for (const auto& entry : std::filesystem::directory_iterator(fuzz::PrivateFolder())) {
    std::string name = entry.path().filename().string();
    // The configuration and the named mutexes' lock files stay.
    if (name == "etc" || name.ends_with(".lock") || name == "cwd" || entry.path() == input) continue;
    std::fprintf(stderr, "left behind: %s\n", entry.path().c_str());
    std::abort();
  }
  if (!std::filesystem::is_empty(WorkFolder())) {
    std::fprintf(stderr, "written into the working directory\n");
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::StartEngine();
  WorkFolder();
  std::string input = fuzz::WriteInput("input.rar", data, size);
  ExtractOptionsV4 options{};
  std::strcpy(options.charset, "UTF-8");
  std::strcpy(options.language, "English");
  options.flags_a = kFlagALineEndCrLf | kFlagALoopLimit;
  options.flags_b = kFlagBRequired | kFlagBTextMode | kFlagBContinue;
  options.length_limit = static_cast<int32_t>(0x80000000u);
  std::ostringstream text;
  GetTextStreamWithErrCallback(input.c_str(), &text, &options, 0, IgnoreError);
  CheckNothingLeft(input);
  fuzz::Remove(input);
  return 0;
}
