// The engine's own time for the text of every drawing in the shared vsd/
// folder: GetText_V4 in one process (the engine started once), in UTF-8 to
// a temporary file, as the desktop program sends a file. Reports bytes per
// second of "VisioDocument" stream, the figure bench/compare_peers.py sets
// beside vsd2text's whole-process times.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "dalvex/compound_file.h"
#include "travix/travix.h"

namespace {

namespace fs = std::filesystem;

struct Corpus {
  std::vector<std::string> drawings;
  int64_t stream_bytes = 0;
  fs::path work;
  Corpus() {
    // A private configuration folder, as the program's temporary folder.
    work = fs::temp_directory_path() / ("visio_text_bench." + std::to_string(getpid()));
    fs::create_directories(work);
    fs::copy(fs::path(PROJECT_BUILD_DIR) / "etc", work / "etc", fs::copy_options::recursive);
    setenv("TMPDIR", work.c_str(), 1);
    const char* env = std::getenv("TESTDATA_DIR");
    fs::path dir = fs::path(env && *env ? env : TESTDATA_DEFAULT) / "vsd";
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
      if (entry.path().extension() != ".vsd") continue;
      KVB_OleStorage* root = KVB_2OLEopen(entry.path().c_str());
      if (root == nullptr) continue;
      if (KVB_OleStream* stream = KVB_2OLEopenStream(root, "VisioDocument")) {
        stream_bytes += KVB_2OLEGetStreamSize(stream);
        KVB_2OLEcloseStream(stream);
        drawings.push_back(entry.path().string());
      }
      KVB_2OLEclose(root);
    }
  }
  ~Corpus() {
    std::error_code ignored;
    fs::remove_all(work, ignored);
  }
};

void BM_VisioText(benchmark::State& state) {
  static Corpus corpus;
  if (corpus.drawings.empty()) {
    state.SkipWithError("no drawings in the shared vsd/ folder");
    return;
  }
  std::string out = (corpus.work / "out.txt").string();
  ExtractOptionsV4 options{};
  std::strcpy(options.charset, "UTF-8");
  std::strcpy(options.language, "Japanese");
  options.flags_a = kFlagALineEndCrLf;
  options.length_limit = static_cast<int32_t>(0x80000000u);
  for (auto _ : state)
    for (const std::string& drawing : corpus.drawings) {
      ExtractOptionsV4 copy = options;
      benchmark::DoNotOptimize(GetText_V4(drawing.c_str(), out.c_str(), &copy, nullptr));
    }
  state.SetBytesProcessed(state.iterations() * corpus.stream_bytes);
  state.counters["drawings"] = static_cast<double>(corpus.drawings.size());
}
BENCHMARK(BM_VisioText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
