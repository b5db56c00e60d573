// Seeds of the detect harness that the test data does not hold as files:
// compound files whose "\001Ole10Native" stream wraps a package, one per
// package file given, as an embedding application stores it (total size,
// flags, label, paths, then the package's length and bytes).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "testsupport/compound_file_writer.h"

namespace {

std::string Le32(uint32_t v) {
  return std::string{char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24)};
}

std::string NativeObject(const std::string& package) {
  std::string head = std::string("\x02\x00", 2) + std::string("package\0", 8) + std::string("C:\\p.docx\0", 10) +
                     std::string("\x00\x00\x03\x00", 4) + std::string("C:\\t\\p.docx\0", 12);
  // The first word counts every byte after it.
  uint32_t total = uint32_t(head.size() + 4 + package.size());
  return Le32(total) + head + Le32(uint32_t(package.size())) + package;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder> <package>...\n", argv[0]);
    return 2;
  }
  int written = 0;
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    std::string package((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (package.empty()) continue;
    testsupport::CompoundFileWriter w;
    w.AddStream(w.Root(), "\x01Ole10Native", NativeObject(package));
    std::string name = std::string(argv[1]) + "/embedded-" + std::to_string(i - 1) + ".cfb";
    if (!w.Build().Save(name)) return 1;
    ++written;
  }
  std::printf("%d seeds\n", written);
  return 0;
}
