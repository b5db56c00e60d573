// libFuzzer harness of the zip package reader. The input is listed as a
// package; every entry is read through its cached and a new uncompressed
// stream (up to 1 MiB each), and the cached one a second time after its
// rewind. All reads must agree, and a stored or deflated entry never gives
// more than its declared size.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <istream>
#include <memory>
#include <string>

#include "harness_support.h"
#include "quarnel/zip_file.h"

namespace {

constexpr size_t kLimit = 1u << 20;

// Reads into out, whose room for the limit is kept from one execution to
// the next: growing a fresh string to a megabyte costs a sanitizer build a
// mapping and an unmapping per doubling past 128 KB, most of an execution.
std::string& Drain(std::istream* in, std::string& out) {
  out.clear();
  out.reserve(kLimit + 4096);
  if (in == nullptr) return out;
  char chunk[4096];
  while (out.size() < kLimit && (in->read(chunk, sizeof chunk) || in->gcount() > 0))
    out.append(chunk, static_cast<size_t>(in->gcount()));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string cached, made, again, compressed;
  fuzz::InputBuf bytes(data, size);
  std::istream source(&bytes);
  ObraCommon::ZelZipFile zip(&source, false);
  ObraCommon::ZelZipFile copy(zip);
  for (unsigned i = 0; i < zip.getFileEntryCount(); ++i) {
    ObraCommon::ZelZipFileEntry* e = zip.getFileEntry(i);
    if (zip.getFileEntry(e->getFileName()) == nullptr) std::abort();
    Drain(e->getUncompressedStream(false), cached);
    std::unique_ptr<std::istream> fresh(e->getUncompressedStream(true));
    Drain(fresh.get(), made);
    Drain(e->getUncompressedStream(false), again);
    if (cached != made || cached != again) std::abort();
    // Deflated data never grows past its declared size; stored data is
    // either cut there or, encrypted, its stored bytes.
    auto method = e->getCompressionMethod();
    if (method == ObraCommon::ZelZipFileEntry::DEFLATED && cached.size() > e->getUncompressedSize()) std::abort();
    if (method == ObraCommon::ZelZipFileEntry::STORED &&
        cached.size() > std::max(e->getUncompressedSize(), e->getCompressedSize()))
      std::abort();
    Drain(e->getCompressedStream(false), compressed);
  }
  return 0;
}
