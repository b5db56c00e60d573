// vsd-extract: one file through the extraction interface, as the desktop
// program sends it (language "Japanese", flag A 8, flag B 0, limit
// 0x80000000, big-endian), in the charset given (UTF-8 by default). Flag
// word B may be given in hexadecimal (archives are gathered as text with
// 500). Prints the result code; the exit status is 0 for result 0. The
// benchmark script vsd_extract_bench.sh runs it once per file beside
// vsd2text.
//
//   vsd-extract <source> <destination> [charset] [flag B]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "travix/travix.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vsd-extract <source> <destination> [charset] [flag B]\n");
    return 2;
  }
  ExtractOptionsV4 options{};
  std::snprintf(options.charset, sizeof options.charset, "%s", argc > 3 ? argv[3] : "UTF-8");
  std::snprintf(options.language, sizeof options.language, "%s", "Japanese");
  options.big_endian = 1;
  options.flags_a = kFlagALineEndCrLf;
  options.length_limit = static_cast<int32_t>(0x80000000u);
  if (argc > 4) options.flags_b = static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 16));
  const int32_t result = GetText_V4(argv[1], argv[2], &options, nullptr);
  std::printf("%d\n", result);
  return result == 0 ? 0 : 1;
}
