// libFuzzer harness of the RAR extractor through Vombril's text entry
// point: the input is written as an archive and GetTextStreamWithErrCallback
// gathers the text of its members in text mode (each member unpacked to a
// temporary file and handed to the extraction interface beside Vombril,
// which reads it with the adapter over libarchive), going on after a bad
// member. The engine is started once. Nothing may be left behind, nor
// written outside the private folder: the working directory is an empty
// folder of its own, and a member named with ".." or an absolute part would
// show up there or beside the temporary files.
//
// No file may grow past 4 MB (RLIMIT_FSIZE, with SIGXFSZ ignored): a member
// that unpacks to more fails to write, as on a full disk, and the job stops
// there. Hostile members declaring hundreds of megabytes otherwise spend
// seconds per input writing and checksumming their copy. The bound holds
// for libFuzzer's own log and units as well, which stay far below it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>

#include <signal.h>
#include <sys/resource.h>
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
  for (const std::string& name : fuzz::FolderEntries(fuzz::PrivateFolder())) {
    const std::string path = fuzz::PrivateFolder() + name;
    // The configuration and the named mutexes' lock files stay.
    if (name == "etc" || name.ends_with(".lock") || name == "cwd" || path == input) continue;
    std::fprintf(stderr, "left behind: %s\n", path.c_str());
    std::abort();
  }
  if (!fuzz::FolderEntries(WorkFolder()).empty()) {
    std::fprintf(stderr, "written into the working directory\n");
    std::abort();
  }
}

// The working directory and the file-size bound, set on the first input:
// libFuzzer reads the corpus folders named on its command line and installs
// its own SIGXFSZ handler after LLVMFuzzerInitialize.
bool PrepareProcess() {
  WorkFolder();
  constexpr rlim_t kFileSizeLimit = rlim_t{4} << 20;
  struct rlimit limit {};
  if (signal(SIGXFSZ, SIG_IGN) == SIG_ERR || getrlimit(RLIMIT_FSIZE, &limit) != 0) std::abort();
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > kFileSizeLimit) limit.rlim_cur = kFileSizeLimit;
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) std::abort();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::StartEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool prepared = PrepareProcess();
  (void)prepared;
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
