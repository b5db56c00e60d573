// libFuzzer harness of the zip package reader. The input is listed as a
// package; every entry is read through its cached and a new uncompressed
// stream (up to 1 MiB each), and the cached one a second time after its
// rewind. All reads must agree, and a stored or deflated entry never gives
// more than its declared size.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "quarnel/zip_file.h"

namespace {

constexpr size_t kLimit = 1u << 20;

std::string Drain(std::istream* in) {
  std::string out;
  if (in == nullptr) return out;
  char chunk[4096];
  while (out.size() < kLimit && (in->read(chunk, sizeof chunk) || in->gcount() > 0))
    out.append(chunk, static_cast<size_t>(in->gcount()));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto* source = new std::istringstream(std::string(reinterpret_cast<const char*>(data), size));
  ObraCommon::ZelZipFile zip(source, true);
  ObraCommon::ZelZipFile copy(zip);
  for (unsigned i = 0; i < zip.getFileEntryCount(); ++i) {
    ObraCommon::ZelZipFileEntry* e = zip.getFileEntry(i);
    if (zip.getFileEntry(e->getFileName()) == nullptr) std::abort();
    std::string cached = Drain(e->getUncompressedStream(false));
    std::unique_ptr<std::istream> fresh(e->getUncompressedStream(true));
    std::string made = Drain(fresh.get());
    std::string again = Drain(e->getUncompressedStream(false));
    if (cached != made || cached != again) std::abort();
    // Deflated data never grows past its declared size; stored data is
    // either cut there or, encrypted, its stored bytes.
    auto method = e->getCompressionMethod();
    if (method == ObraCommon::ZelZipFileEntry::DEFLATED && cached.size() > e->getUncompressedSize()) std::abort();
    if (method == ObraCommon::ZelZipFileEntry::STORED &&
        cached.size() > std::max(e->getUncompressedSize(), e->getCompressedSize()))
      std::abort();
    Drain(e->getCompressedStream(false));
  }
  return 0;
}
