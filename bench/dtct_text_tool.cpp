// Prints dtctText's result word for each file named on the command line,
// one "word<TAB>path" line per file, for timing the detector over a corpus
// beside other detectors (bench/encoding-detect-timing).
//
// dtct_text_tool [-l language] file...
#include <cstdio>
#include <cstring>

#include "dalvex/encoding_detect.h"

int main(int argc, char** argv) {
  const char* language = nullptr;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "-l") == 0) {
    language = argv[2];
    first = 3;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: %s [-l language] file...\n", argv[0]);
    return 2;
  }
  for (int i = first; i < argc; ++i) std::printf("0x%08x\t%s\n", static_cast<unsigned>(dtctText(argv[i], language)), argv[i]);
  return 0;
}
