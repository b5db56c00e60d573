// Conversion speed of the engine beside ICU's ucnv_convert and glibc's
// iconv(3), on the same text of about 8 MB in each direction. The text is
// built from the shared charset tables (Japanese and Chinese listings),
// repeated; without the shared data, from every JIS X 0208 kanji.
// Each benchmark reports bytes per second of its input.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unicode/ucnv.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <unistd.h>
#include <string>

#include "cconv_internal.h"
#include "dalvex/cconv.h"

namespace {

constexpr size_t kTarget = 8u << 20;

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Converts with iconv, growing nothing: `out` is large enough.
size_t IconvRun(iconv_t cd, const std::string& in, std::string* out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  char* dst = out->data();
  size_t room = out->size();
  while (left > 0) {
    if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1)) {
      if (errno != EILSEQ || left == 0) break;
      ++src, --left;
    }
  }
  return out->size() - room;
}

struct Engine {
  std::string folder;
  Engine() {
    namespace fs = std::filesystem;
    fs::path etc = fs::temp_directory_path() / ("charset_bench_etc_" + std::to_string(getpid()));
    fs::remove_all(etc);
    fs::copy(fs::path(PROJECT_BUILD_DIR) / "etc", etc, fs::copy_options::recursive);
    folder = etc.string() + "/";
    startProcess();
    cconv::TheEngine().folder = folder;
    cconvLoadRule();
  }
  ~Engine() {
    endProcess();
    std::filesystem::remove_all(folder);
  }
};

Engine& TheEngine() {
  static Engine engine;
  return engine;
}

size_t EngineRun(const char* from, const char* to, int char_references, const std::string& in, std::string* out) {
  CconvSession s{};
  CconvOptions o{};
  o.substitute = 1;
  o.char_references = char_references;
  CconvCharsetOptions c{};
  c.skip_invalid = 1;
  cconvInitConvert(&s, &o, to);
  cconvChgCharset(&s, &c, from);
  s.input = reinterpret_cast<const uint8_t*>(in.data());
  s.input_length = static_cast<int32_t>(in.size());
  s.output = reinterpret_cast<uint8_t*>(out->data());
  s.output_capacity = static_cast<int32_t>(out->size());
  cconvConvert(&s);
  cconvTermConvert(&s);
  return static_cast<size_t>(s.output_length);
}

// The UTF-8 text: the shared listings when present, else every code of
// JIS X 0208 and GBK read by ICU.
std::string Utf8Text(const char* listing) {
  static std::map<std::string, std::string> texts;
  std::string& cached = texts[listing];
  if (cached.empty()) cached = [listing] {
    const char* env = std::getenv("TESTDATA_DIR");
    std::filesystem::path dir = std::filesystem::path(env && *env ? env : TESTDATA_DEFAULT) / "charsets";
    std::string base = ReadFile(dir / listing);
    if (base.empty()) {
      std::string euc;
      for (int a = 0xB0; a <= 0xF4; ++a)
        for (int b = 0xA1; b <= 0xFE; ++b) euc += {static_cast<char>(a), static_cast<char>(b)};
      UErrorCode st = U_ZERO_ERROR;
      base.assign(euc.size() * 3, '\0');
      base.resize(static_cast<size_t>(ucnv_convert("UTF-8", "EUC-JP", base.data(), static_cast<int32_t>(base.size()),
                                                    euc.data(), static_cast<int32_t>(euc.size()), &st)));
    }
    std::string out;
    while (out.size() < kTarget) out += base;
    return out;
  }();
  return cached;
}

// The text in `charset` (ICU name), converted once by ICU.
std::string Encoded(const char* icu_name, const std::string& utf8) {
  UErrorCode st = U_ZERO_ERROR;
  std::string out(utf8.size() * 2 + 16, '\0');
  out.resize(static_cast<size_t>(ucnv_convert(icu_name, "UTF-8", out.data(), static_cast<int32_t>(out.size()),
                                               utf8.data(), static_cast<int32_t>(utf8.size()), &st)));
  return out;
}

// The text in `charset` (iconv name), for the charsets ICU does not know.
std::string IconvEncoded(const char* iconv_name, const std::string& utf8) {
  iconv_t cd = iconv_open(iconv_name, "UTF-8");
  std::string out(utf8.size() * 2 + 16, '\0');
  out.resize(IconvRun(cd, utf8, &out));
  iconv_close(cd);
  return out;
}

struct Direction {
  const char* engine_from;
  const char* engine_to;
  const char* icu_from;
  const char* icu_to;
  const char* iconv_from;
  const char* iconv_to;
  const char* listing;  // the shared listing the text is made of
  int char_references = 0;  // the engine's UCS-2 target writes numeric references
};

// A peer that has no such charset is left out (null name); the engine's
// own variants (EUC-JP-FIX, the 2004 forms) are set beside the peer's
// nearest charset.

const Direction kDirections[] = {
    {"WINDOWS31J", "UTF-16", "windows-31j", "UTF-16LE", "WINDOWS-31J", "UTF-16LE", "WINDOWS-31J.all.utf8.txt"},
    {"UTF-16", "WINDOWS31J", "UTF-16LE", "windows-31j", "UTF-16LE", "WINDOWS-31J", "WINDOWS-31J.all.utf8.txt"},
    {"Shift_JIS", "UTF-8", "Shift_JIS", "UTF-8", "SHIFT_JIS", "UTF-8", "SHIFT_JIS.all.utf8.txt"},
    {"UTF-8", "Shift_JIS", "UTF-8", "Shift_JIS", "UTF-8", "SHIFT_JIS", "SHIFT_JIS.all.utf8.txt"},
    {"ChineseGBK", "UTF-8", "windows-936-2000", "UTF-8", "CP936", "UTF-8", "GBK.all.utf8.txt"},
    {"UTF-8", "ChineseGBK", "UTF-8", "windows-936-2000", "UTF-8", "CP936", "GBK.all.utf8.txt"},
    {"ChineseBIG5", "UTF-8", "windows-950-2000", "UTF-8", "BIG5", "UTF-8", "BIG5.all.utf8.txt"},
    {"UTF-8", "ChineseBIG5", "UTF-8", "windows-950-2000", "UTF-8", "BIG5", "BIG5.all.utf8.txt"},
    {"UTF-8", "UTF-16", "UTF-8", "UTF-16LE", "UTF-8", "UTF-16LE", "WINDOWS-31J.all.utf8.txt"},
    {"UTF-16", "UTF-8", "UTF-16LE", "UTF-8", "UTF-16LE", "UTF-8", "WINDOWS-31J.all.utf8.txt"},
    {"ISO-10646-UCS-2", "UTF-8", "UTF-16LE", "UTF-8", "UCS-2LE", "UTF-8", "WINDOWS-31J.all.utf8.txt"},
    {"UTF-8", "ISO-10646-UCS-2", "UTF-8", "UTF-16LE", "UTF-8", "UCS-2LE", "WINDOWS-31J.all.utf8.txt"},
    {"EUC-JP", "UTF-8", "EUC-JP", "UTF-8", "EUC-JP", "UTF-8", "EUC-JP.all.utf8.txt"},
    {"UTF-8", "EUC-JP", "UTF-8", "EUC-JP", "UTF-8", "EUC-JP", "EUC-JP.all.utf8.txt"},
    {"ISO-2022-JP", "UTF-8", "ISO-2022-JP", "UTF-8", "ISO-2022-JP", "UTF-8", "ISO-2022-JP.all.utf8.txt"},
    {"UTF-8", "ISO-2022-JP", "UTF-8", "ISO-2022-JP", "UTF-8", "ISO-2022-JP", "ISO-2022-JP.all.utf8.txt"},
    {"EUC-JP-FIX", "UTF-8", "EUC-JP", "UTF-8", "EUC-JP", "UTF-8", "EUC-JP.all.utf8.txt"},
    {"UTF-8", "EUC-JP-FIX", "UTF-8", "EUC-JP", "UTF-8", "EUC-JP", "EUC-JP.all.utf8.txt"},
    {"EUC-JIS-2004", "UTF-8", nullptr, nullptr, "EUC-JISX0213", "UTF-8", "EUC-JP.all.utf8.txt"},
    {"UTF-8", "EUC-JIS-2004", nullptr, nullptr, "UTF-8", "EUC-JISX0213", "EUC-JP.all.utf8.txt"},
    {"Shift_JIS-2004", "UTF-8", nullptr, nullptr, "SHIFT_JISX0213", "UTF-8", "SHIFT_JIS.all.utf8.txt"},
    {"UTF-8", "Shift_JIS-2004", nullptr, nullptr, "UTF-8", "SHIFT_JISX0213", "SHIFT_JIS.all.utf8.txt"},
    {"UTF-8", "ISO-10646-UCS-2", "UTF-8", "UTF-16LE", "UTF-8", "UCS-2LE", "WINDOWS-31J.all.utf8.txt", 1},
};

const std::string& Input(const Direction& d) {
  static std::map<const Direction*, std::string> inputs;
  std::string& in = inputs[&d];
  if (in.empty()) {
    if (std::string(d.iconv_from) == "UTF-8") in = Utf8Text(d.listing);
    else if (d.icu_from) in = Encoded(d.icu_from, Utf8Text(d.listing));
    else in = IconvEncoded(d.iconv_from, Utf8Text(d.listing));
  }
  return in;
}

void BM_Engine(benchmark::State& state, const Direction* d) {
  TheEngine();
  const std::string& in = Input(*d);
  std::string out(in.size() * 4 + 64, '\0');
  for (auto _ : state) benchmark::DoNotOptimize(EngineRun(d->engine_from, d->engine_to, d->char_references, in, &out));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_Icu(benchmark::State& state, const Direction* d) {
  const std::string& in = Input(*d);
  std::string out(in.size() * 4 + 64, '\0');
  for (auto _ : state) {
    UErrorCode st = U_ZERO_ERROR;
    benchmark::DoNotOptimize(ucnv_convert(d->icu_to, d->icu_from, out.data(), static_cast<int32_t>(out.size()),
                                          in.data(), static_cast<int32_t>(in.size()), &st));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_Iconv(benchmark::State& state, const Direction* d) {
  const std::string& in = Input(*d);
  std::string out(in.size() * 4 + 64, '\0');
  iconv_t cd = iconv_open(d->iconv_to, d->iconv_from);
  for (auto _ : state) benchmark::DoNotOptimize(IconvRun(cd, in, &out));
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

int Register() {
  for (const Direction& d : kDirections) {
    std::string name = std::string(d.engine_from) + "->" + d.engine_to + (d.char_references ? " (references)" : "");
    benchmark::RegisterBenchmark(("engine/" + name).c_str(), BM_Engine, &d)->Unit(benchmark::kMillisecond);
    if (d.icu_from)
      benchmark::RegisterBenchmark(("icu/" + name).c_str(), BM_Icu, &d)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("iconv/" + name).c_str(), BM_Iconv, &d)->Unit(benchmark::kMillisecond);
  }
  return 0;
}

const int kRegistered = Register();

}  // namespace

BENCHMARK_MAIN();
