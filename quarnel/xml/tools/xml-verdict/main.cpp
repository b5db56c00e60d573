// xml-verdict FILE: reads an XML document with the own parser, as the
// conformance harness does, with the charset engine started so that every
// declared encoding can be read. Exits 0 when the document is accepted, 2
// when it is rejected (the reports on standard error), 1 on wrong use.
// With --canonical the canonical form of the events goes to standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

#include "dalvex/cconv.h"
#include "xml_verdict.h"

int main(int argc, char** argv) {
  bool canonical = false;
  int arg = 1;
  if (arg < argc && std::strcmp(argv[arg], "--canonical") == 0) {
    canonical = true;
    ++arg;
  }
  if (arg + 1 != argc) {
    std::fprintf(stderr, "usage: xml-verdict [--canonical] FILE\n");
    return 1;
  }
  // The engine reads its configuration from $TMPDIR/etc and keeps its
  // compiled tables there. Without one, a private folder gets a copy of the
  // build's, so that the build's own folder stays as built.
  namespace fs = std::filesystem;
  const char* tmp = std::getenv("TMPDIR");
  fs::path own;
  if (tmp == nullptr || *tmp == '\0' || !fs::is_directory(fs::path(tmp) / "etc")) {
    std::error_code error;
    own = fs::temp_directory_path(error) / ("xml-verdict." + std::to_string(getpid()));
    fs::create_directories(own, error);
    fs::copy(fs::path(PROJECT_BUILD_DIR) / "etc", own / "etc", fs::copy_options::recursive, error);
    setenv("TMPDIR", own.c_str(), 1);
  }
  const bool started = startProcess() == 1 && cconvLoadRule() == 1;
  if (!started) std::fprintf(stderr, "xml-verdict: the charset engine did not start\n");
  const xml_verdict::Verdict verdict =
      xml_verdict::Judge(std::filesystem::absolute(argv[arg]).lexically_normal().string(), canonical);
  if (canonical) std::fwrite(verdict.canonical.data(), 1, verdict.canonical.size(), stdout);
  const std::string codes = xml_verdict::DescribeCodes(verdict);
  if (!codes.empty()) std::fprintf(stderr, "%s\n", codes.c_str());
  if (started) endProcess();
  if (!own.empty()) {
    std::error_code error;
    fs::remove_all(own, error);
  }
  return verdict.rejected ? 2 : 0;
}
