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
  // The engine reads its configuration from $TMPDIR/etc; the build's own
  // folder holds one.
  const char* tmp = std::getenv("TMPDIR");
  if (tmp == nullptr || !std::filesystem::is_directory(std::filesystem::path(tmp) / "etc"))
    setenv("TMPDIR", PROJECT_BUILD_DIR, 1);
  const bool started = startProcess() == 1 && cconvLoadRule() == 1;
  if (!started) std::fprintf(stderr, "xml-verdict: the charset engine did not start\n");
  const xml_verdict::Verdict verdict =
      xml_verdict::Judge(std::filesystem::absolute(argv[arg]).lexically_normal().string(), canonical);
  if (canonical) std::fwrite(verdict.canonical.data(), 1, verdict.canonical.size(), stdout);
  const std::string codes = xml_verdict::DescribeCodes(verdict);
  if (!codes.empty()) std::fprintf(stderr, "%s\n", codes.c_str());
  if (started) endProcess();
  return verdict.rejected ? 2 : 0;
}
