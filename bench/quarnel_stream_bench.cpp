// Quarnel's streams beside the standard library's and the converter's
// peers, as quarnel/<measure> and <peer>/<measure> pairs: 64 MiB read from
// a file by get() and in 4 KiB pieces and written to a file (std::ifstream
// and std::ofstream); 64 MiB written into a memory stream, read back and
// searched for a pattern at its end (std::stringstream, std::string::find);
// 16 MB of Windows-31J text decoded through ZelKVBStream from a stream over
// the text in place (one direct session, glibc iconv).
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bytes_in_place.h"
#include "dalvex/cconv.h"
#include "quarnel/file_stream.h"
#include "quarnel/kvb_stream.h"
#include "quarnel/mem_stream.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kFileBytes = 64u << 20;
constexpr size_t kTextBytes = 16000000;

// A private folder with the engine's configuration, the engine started in
// it, and the files the cases read.
struct Setup {
  fs::path folder;
  fs::path file;
  std::string sjis;
  Setup() {
    folder = fs::temp_directory_path() / ("quarnel_stream_bench_" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy(fs::path(PROJECT_BUILD_DIR) / "etc", folder / "etc", fs::copy_options::recursive);
    setenv("TMPDIR", folder.c_str(), 1);
    startProcess();
    cconvLoadRule();
    file = folder / "data.bin";
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + i / 977);
    std::ofstream out(file, std::ios::binary);
    for (size_t i = 0; i < kFileBytes / block.size(); ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
    // Japanese text with ASCII between: kana, kanji and half-width kana.
    const std::string line = "\x82\xa0\x82\xa2\x82\xa4 \x93\xfa\x96\x7b\x8c\xea text \xb1\xb2\xb3 \x88\x9f\x88\xa0\r\n";
    while (sjis.size() + line.size() <= kTextBytes) sjis += line;
  }
  ~Setup() {
    endProcess();
    fs::remove_all(folder);
  }
};

Setup& S() {
  static Setup setup;
  return setup;
}

std::u16string U16(const fs::path& p) { return p.u16string(); }

void Quarnel_FileGet(benchmark::State& state) {
  for (auto _ : state) {
    ObraCommon::ZelIFileStream in(U16(S().file).c_str(), static_cast<int>(std::ios::binary));
    size_t sum = 0;
    for (int c; (c = in.get()) != EOF;) sum += static_cast<size_t>(c);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void Std_FileGet(benchmark::State& state) {
  for (auto _ : state) {
    std::ifstream in(S().file, std::ios::binary);
    size_t sum = 0;
    for (int c; (c = in.get()) != EOF;) sum += static_cast<size_t>(c);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

template <typename Stream>
void ReadPieces(Stream& in) {
  char buf[4096];
  size_t total = 0;
  while (in.read(buf, sizeof buf), in.gcount() > 0) total += static_cast<size_t>(in.gcount());
  benchmark::DoNotOptimize(total);
}

void Quarnel_FileRead4K(benchmark::State& state) {
  for (auto _ : state) {
    ObraCommon::ZelIFileStream in(U16(S().file).c_str(), static_cast<int>(std::ios::binary));
    ReadPieces(in);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void Std_FileRead4K(benchmark::State& state) {
  for (auto _ : state) {
    std::ifstream in(S().file, std::ios::binary);
    ReadPieces(in);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

template <typename Stream>
void WritePieces(Stream& out) {
  std::string block(4096, 'w');
  for (size_t i = 0; i < kFileBytes / block.size(); ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

void Quarnel_FileWrite(benchmark::State& state) {
  fs::path target = S().folder / "written.bin";
  for (auto _ : state) {
    ObraCommon::ZelOFileStream out(U16(target).c_str(), static_cast<int>(std::ios::binary));
    WritePieces(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void Std_FileWrite(benchmark::State& state) {
  fs::path target = S().folder / "written.bin";
  for (auto _ : state) {
    std::ofstream out(target, std::ios::binary);
    WritePieces(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void Quarnel_MemWrite(benchmark::State& state) {
  for (auto _ : state) {
    ObraCommon::ZelMemStream out;
    WritePieces(out);
    benchmark::DoNotOptimize(out.length());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void Std_MemWrite(benchmark::State& state) {
  for (auto _ : state) {
    std::stringstream out;
    WritePieces(out);
    benchmark::DoNotOptimize(out.tellp());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void Quarnel_MemRead(benchmark::State& state) {
  ObraCommon::ZelMemStream stream;
  WritePieces(stream);
  for (auto _ : state) {
    stream.begin();
    ReadPieces(stream);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void Std_MemRead(benchmark::State& state) {
  std::stringstream stream;
  WritePieces(stream);
  for (auto _ : state) {
    stream.clear();
    stream.seekg(0);
    ReadPieces(stream);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

const char kNeedle[] = "needle at the end";

void Quarnel_MemSearch(benchmark::State& state) {
  ObraCommon::ZelMemStream stream;
  WritePieces(stream);
  stream.writeStr(kNeedle);
  for (auto _ : state) {
    stream.begin();
    benchmark::DoNotOptimize(stream.searchSeek(kNeedle));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void Std_MemSearch(benchmark::State& state) {
  std::string data(kFileBytes, 'w');
  data += kNeedle;
  for (auto _ : state) benchmark::DoNotOptimize(data.find(kNeedle));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void Quarnel_SjisDecode(benchmark::State& state) {
  for (auto _ : state) {
    bench::BytesInPlace bytes(S().sjis);
    std::istream source(&bytes);
    ObraCommon::ZelKVBStream in(&source, "Shift_JIS");
    ReadPieces(in);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * S().sjis.size()));
}

void Engine_SjisDecode(benchmark::State& state) {
  const std::string& text = S().sjis;
  std::string out(text.size() * 2 + 64, '\0');
  for (auto _ : state) {
    CconvSession s{};
    CconvOptions options{};
    options.substitute = 1;
    CconvCharsetOptions source{1, 1, 1};
    cconvInitConvert(&s, &options, "UTF-16");
    cconvChgCharset(&s, &source, "WINDOWS31J");
    s.input = reinterpret_cast<const uint8_t*>(text.data());
    s.input_length = static_cast<int32_t>(text.size());
    s.output = reinterpret_cast<uint8_t*>(out.data());
    s.output_capacity = static_cast<int32_t>(out.size());
    cconvConvert(&s);
    cconvTermConvert(&s);
    benchmark::DoNotOptimize(s.output_length);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * S().sjis.size()));
}

void Iconv_SjisDecode(benchmark::State& state) {
  const std::string& text = S().sjis;
  std::string out(text.size() * 2 + 64, '\0');
  iconv_t cd = iconv_open("UTF-16LE", "WINDOWS-31J");
  for (auto _ : state) {
    char* in = const_cast<char*>(text.data());
    size_t left = text.size();
    char* to = out.data();
    size_t room = out.size();
    iconv(cd, &in, &left, &to, &room);
    benchmark::DoNotOptimize(room);
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * S().sjis.size()));
}

}  // namespace

#define PAIR(measure, ours, peer, peerName)                                            \
  BENCHMARK(ours)->Name("quarnel/" measure)->Unit(benchmark::kMillisecond);            \
  BENCHMARK(peer)->Name(peerName "/" measure)->Unit(benchmark::kMillisecond)

PAIR("file-get", Quarnel_FileGet, Std_FileGet, "std::ifstream");
PAIR("file-read-4KiB", Quarnel_FileRead4K, Std_FileRead4K, "std::ifstream");
PAIR("file-write", Quarnel_FileWrite, Std_FileWrite, "std::ofstream");
PAIR("memory-write", Quarnel_MemWrite, Std_MemWrite, "std::stringstream");
PAIR("memory-read", Quarnel_MemRead, Std_MemRead, "std::stringstream");
PAIR("memory-search", Quarnel_MemSearch, Std_MemSearch, "std::string::find");
PAIR("windows-31j-decode", Quarnel_SjisDecode, Engine_SjisDecode, "engine-session");
BENCHMARK(Iconv_SjisDecode)->Name("iconv/windows-31j-decode")->Unit(benchmark::kMillisecond);

// The files and the engine are made before any case is timed.
int main(int argc, char** argv) {
  S();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
