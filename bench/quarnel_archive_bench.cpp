// Quarnel's gzip streams and zip package reader beside zlib and libarchive,
// as quarnel/<measure> and <peer>/<measure> pairs, in MB/s of uncompressed
// bytes: a 64 MiB gzip file read in file mode and in stream mode (zlib's
// gzread), 64 MiB written at level 9 (gzwrite), every entry of the zip
// packages of the test data's detect/ folder, and a generated zip of 2,000
// deflated entries of 100,000 bytes each (libarchive).
#include <archive.h>
#include <archive_entry.h>
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "quarnel/gzip_stream.h"
#include "quarnel/zip_file.h"
#include "testsupport/zip_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kBytes = 64u << 20;
constexpr size_t kLargeEntries = 2000;
constexpr size_t kLargeEntryBytes = 100000;

struct Setup {
  fs::path folder, gz, large;
  std::string text;
  std::vector<fs::path> zips;
  uint64_t zipBytes = 0;
  Setup() {
    folder = fs::temp_directory_path() / ("quarnel_archive_bench_" + std::to_string(getpid()));
    fs::create_directories(folder);
    gz = folder / "data.gz";
    // Text that compresses about as well as documents do.
    while (text.size() < kBytes) {
      std::string line = "line " + std::to_string(text.size() * 2654435761u % 1000003) + " of the sample text\n";
      text += line;
    }
    text.resize(kBytes);
    gzFile f = gzopen(gz.c_str(), "wb6");
    gzwrite(f, text.data(), static_cast<unsigned>(text.size()));
    gzclose(f);
    large = folder / "large.zip";
    testsupport::ZipWriter zip;
    uint32_t x = 1;
    auto next = [&x] { return x = x * 1664525u + 1013904223u; };
    for (size_t i = 0; i < kLargeEntries; ++i) {
      testsupport::ZipEntrySpec e;
      e.name = "part/" + std::to_string(i) + ".txt";
      // Lines with a word of random letters: deflated to about a quarter.
      while (e.data.size() < kLargeEntryBytes) {
        std::string word(8, 'a');
        for (char& c : word) c = static_cast<char>('a' + (next() >> 28));
        e.data += "line " + std::to_string(next() % 1000003) + " " + word + " of the sample text\n";
      }
      e.data.resize(kLargeEntryBytes);
      e.deflate = true;
      zip.add(e);
    }
    std::ofstream(large, std::ios::binary) << zip.finish();
    const char* env = std::getenv("TESTDATA_DIR");
    fs::path detect = fs::path(env != nullptr ? env : TESTDATA_DEFAULT) / "detect";
    std::error_code ec;
    for (const auto& it : fs::directory_iterator(detect, ec)) {
      std::ifstream in(it.path(), std::ios::binary);
      char head[4] = {};
      if (in.read(head, 4) && std::string(head, 4) == "PK\x03\x04") zips.push_back(it.path());
    }
  }
  ~Setup() { fs::remove_all(folder); }
};

Setup& S() {
  static Setup setup;
  return setup;
}

size_t ReadPieces(std::istream& in) {
  char buf[4096];
  size_t total = 0;
  while (in.read(buf, sizeof buf), in.gcount() > 0) total += static_cast<size_t>(in.gcount());
  return total;
}

size_t Gzread(const fs::path& p) {
  gzFile f = gzopen(p.c_str(), "rb");
  char buf[4096];
  size_t total = 0;
  for (int n; (n = gzread(f, buf, sizeof buf)) > 0;) total += static_cast<size_t>(n);
  gzclose(f);
  return total;
}

void Quarnel_GzipReadFile(benchmark::State& state) {
  S();  // the set-up is not timed
  for (auto _ : state) {
    ObraCommon::ZelGzipStream in(S().gz.c_str());
    benchmark::DoNotOptimize(ReadPieces(in));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void Quarnel_GzipReadStream(benchmark::State& state) {
  S();  // the set-up is not timed
  for (auto _ : state) {
    std::ifstream source(S().gz, std::ios::binary);
    ObraCommon::ZelGzipStream in(source);
    benchmark::DoNotOptimize(ReadPieces(in));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void Zlib_GzipRead(benchmark::State& state) {
  S();  // the set-up is not timed
  for (auto _ : state) benchmark::DoNotOptimize(Gzread(S().gz));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void Quarnel_GzipWrite9(benchmark::State& state) {
  S();  // the set-up is not timed
  fs::path target = S().folder / "written.gz";
  for (auto _ : state) {
    std::ofstream file(target, std::ios::binary);
    ObraCommon::ZelGzipOStream out(file);
    for (size_t at = 0; at < kBytes; at += 4096) out.write(S().text.data() + at, 4096);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void Zlib_GzipWrite9(benchmark::State& state) {
  S();  // the set-up is not timed
  fs::path target = S().folder / "written.gz";
  for (auto _ : state) {
    gzFile f = gzopen(target.c_str(), "wb9");
    for (size_t at = 0; at < kBytes; at += 4096) gzwrite(f, S().text.data() + at, 4096);
    gzclose(f);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

uint64_t QuarnelEntries(const std::vector<fs::path>& zips) {
  uint64_t bytes = 0;
  for (const fs::path& p : zips) {
    ObraCommon::ZelZipFile zip(p.c_str());
    for (unsigned i = 0; i < zip.getFileEntryCount(); ++i) {
      std::unique_ptr<std::istream> in(zip.getFileEntry(i)->getUncompressedStream(true));
      if (in) bytes += ReadPieces(*in);
    }
  }
  return bytes;
}

uint64_t LibarchiveEntries(const std::vector<fs::path>& zips) {
  uint64_t bytes = 0;
  char buf[4096];
  for (const fs::path& p : zips) {
    archive* a = archive_read_new();
    archive_read_support_format_zip(a);
    if (archive_read_open_filename(a, p.c_str(), 65536) == ARCHIVE_OK) {
      archive_entry* e;
      while (archive_read_next_header(a, &e) == ARCHIVE_OK)
        for (la_ssize_t n; (n = archive_read_data(a, buf, sizeof buf)) > 0;) bytes += static_cast<uint64_t>(n);
    }
    archive_read_free(a);
  }
  return bytes;
}

void Quarnel_ZipEntries(benchmark::State& state) {
  S();  // the set-up is not timed
  uint64_t bytes = 0;
  for (auto _ : state) bytes += QuarnelEntries(S().zips);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void Libarchive_ZipEntries(benchmark::State& state) {
  S();  // the set-up is not timed
  uint64_t bytes = 0;
  for (auto _ : state) bytes += LibarchiveEntries(S().zips);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void Quarnel_LargeZip(benchmark::State& state) {
  S();  // the set-up is not timed
  uint64_t bytes = 0;
  for (auto _ : state) bytes += QuarnelEntries({S().large});
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void Libarchive_LargeZip(benchmark::State& state) {
  S();  // the set-up is not timed
  uint64_t bytes = 0;
  for (auto _ : state) bytes += LibarchiveEntries({S().large});
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

}  // namespace

BENCHMARK(Quarnel_GzipReadFile)->Name("quarnel/gzip read, file mode")->Unit(benchmark::kMillisecond);
BENCHMARK(Zlib_GzipRead)->Name("zlib gzread/gzip read, file mode")->Unit(benchmark::kMillisecond);
BENCHMARK(Quarnel_GzipReadStream)->Name("quarnel/gzip read, stream mode")->Unit(benchmark::kMillisecond);
BENCHMARK(Zlib_GzipRead)->Name("zlib gzread/gzip read, stream mode")->Unit(benchmark::kMillisecond);
BENCHMARK(Quarnel_GzipWrite9)->Name("quarnel/gzip write, level 9")->Unit(benchmark::kMillisecond);
BENCHMARK(Zlib_GzipWrite9)->Name("zlib gzwrite/gzip write, level 9")->Unit(benchmark::kMillisecond);
BENCHMARK(Quarnel_ZipEntries)->Name("quarnel/zip entries of detect")->Unit(benchmark::kMillisecond);
BENCHMARK(Libarchive_ZipEntries)->Name("libarchive/zip entries of detect")->Unit(benchmark::kMillisecond);
BENCHMARK(Quarnel_LargeZip)->Name("quarnel/zip of 2,000 entries, 200 MB")->Unit(benchmark::kMillisecond);
BENCHMARK(Libarchive_LargeZip)->Name("libarchive/zip of 2,000 entries, 200 MB")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
