// Speed of the encoding detectors: cconvChkEncode on a 4 KB buffer and
// dtctText on a 64 KB file and on a 4 MB ASCII file (its worst case: the
// 7-bit tie is read on to the 4 MB limit). Figures in bytes per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "dalvex/encoding_detect.h"

namespace {

// Mixed Japanese text in Shift_JIS (the scorers' slowest path: every
// double-byte scorer walks every byte) with ASCII words between.
std::string JapaneseShiftJis(size_t size) {
  static const char kLine[] =
      "Shapeglean \x83\x65\x83\x4C\x83\x58\x83\x67\x82\xF0\x92\x8A\x8F\x6F\x82\xB5\x82\xDC\x82\xB7\x81\x42 "
      "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x95\xB6\x8F\xCD 2024\r\n";
  std::string text;
  while (text.size() < size) text += kLine;
  text.resize(size);
  return text;
}

std::string Ascii(size_t size) {
  static const char kLine[] = "The quick brown fox jumps over the lazy dog, 0123456789 times.\n";
  std::string text;
  while (text.size() < size) text += kLine;
  text.resize(size);
  return text;
}

class TempFile {
 public:
  explicit TempFile(const std::string& bytes) {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir && *dir ? dir : "/tmp") + "/encoding_detect_bench.XXXXXX";
    int fd = mkstemp(path_.data());
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
    close(fd);
  }
  ~TempFile() { unlink(path_.c_str()); }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

void BM_ChkEncode4K(benchmark::State& state, std::string text) {
  for (auto _ : state) {
    CconvCheck check{};
    check.text = text.data();
    check.end = static_cast<int32_t>(text.size());
    benchmark::DoNotOptimize(cconvChkEncode(&check));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_DtctText(benchmark::State& state, std::string text, const char* language) {
  TempFile file(text);
  for (auto _ : state) benchmark::DoNotOptimize(dtctText(file.path(), language));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size() < 0x400800 ? text.size() : 0x400800));
}

BENCHMARK_CAPTURE(BM_ChkEncode4K, shift_jis, JapaneseShiftJis(4096));
BENCHMARK_CAPTURE(BM_ChkEncode4K, ascii, Ascii(4096));
BENCHMARK_CAPTURE(BM_DtctText, shift_jis_64k, JapaneseShiftJis(64 * 1024), "");
BENCHMARK_CAPTURE(BM_DtctText, shift_jis_64k_japanese, JapaneseShiftJis(64 * 1024), "Japanese");
BENCHMARK_CAPTURE(BM_DtctText, ascii_4m, Ascii(4 * 1024 * 1024), "");

}  // namespace

BENCHMARK_MAIN();
