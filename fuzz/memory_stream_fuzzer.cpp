// libFuzzer harness of the memory stream: the input is a sequence of
// operations (writes, reads, seeks, put-backs, the three searches, trim,
// getBuffer, copyStream, abandonBuffer, setSource) run on a ZelMemStream
// and on a model over std::string; the first byte picks the block size.
// Any disagreement, or a source left undeleted, aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "mem_stream_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const unsigned kGrow[] = {1, 2, 3, 4, 7, 8, 16, 64};
  memmodel::Choices choices(data + 1, size - 1);
  std::string why = memmodel::Run(choices, kGrow[data[0] % 8]);
  if (!why.empty()) {
    std::fprintf(stderr, "memory stream disagrees with the model: %s\n", why.c_str());
    std::abort();
  }
  return 0;
}
