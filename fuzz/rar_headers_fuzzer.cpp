// libFuzzer harness of the RAR block-header reader alone, from memory: the
// input is a set of volumes, cut before every RAR 1.5-4 marker after the
// first byte (so that a member split over volumes is walked), and the
// reader takes the format and main-header flags of the first, then walks
// every volume's headers. Nothing is written and no archive library runs,
// which keeps it fast.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "block_headers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr std::string_view kMarker("Rar!\x1A\x07\x00", 7);
  constexpr size_t kMaxVolumes = 8;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> volumes;
  size_t from = 0;
  while (volumes.size() + 1 < kMaxVolumes) {
    size_t next = input.find(kMarker, from + 1);
    if (next == std::string_view::npos) break;
    volumes.push_back(input.substr(from, next - from));
    from = next;
  }
  volumes.push_back(input.substr(from));

  unrar::ArchiveLayout layout = unrar::ReadSignature(unrar::MemorySource(volumes[0]));
  unrar::ReadMembers(
      volumes.size(), [&](size_t v) { return std::make_unique<unrar::MemorySource>(volumes[v]); }, &layout);
  for (const unrar::MemberHeader& member : layout.members)
    if (member.volume >= volumes.size()) std::abort();
  return 0;
}
