// Speed of the compound-file reader on the largest drawing of the shared
// test data: open and close, and reading "VisioDocument" whole in requests
// of 1, 64 and 4,096 bytes (reported in bytes per second).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dalvex/compound_file.h"

namespace {

std::string LargestDrawing() {
  const char* env = std::getenv("TESTDATA_DIR");
  std::filesystem::path dir = std::filesystem::path(env && *env ? env : TESTDATA_DEFAULT) / "vsd";
  std::string best;
  uintmax_t best_size = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().extension() != ".vsd" || entry.file_size() <= best_size) continue;
    KVB_OleStorage* root = KVB_2OLEopen(entry.path().c_str());
    if (root == nullptr) continue;
    KVB_2OLEclose(root);
    best = entry.path().string();
    best_size = entry.file_size();
  }
  return best;
}

const std::string& Drawing() {
  static const std::string path = LargestDrawing();
  return path;
}

void OpenAndClose(benchmark::State& state) {
  if (Drawing().empty()) return state.SkipWithError("no drawing in the test data");
  for (auto _ : state) {
    KVB_OleStorage* root = KVB_2OLEopen(Drawing().c_str());
    benchmark::DoNotOptimize(root);
    KVB_2OLEclose(root);
  }
  state.SetLabel(std::filesystem::path(Drawing()).filename().string());
}
BENCHMARK(OpenAndClose);

void ReadVisioDocument(benchmark::State& state) {
  if (Drawing().empty()) return state.SkipWithError("no drawing in the test data");
  KVB_OleStorage* root = KVB_2OLEopen(Drawing().c_str());
  std::vector<char> buffer(static_cast<size_t>(state.range(0)));
  int64_t bytes = 0;
  for (auto _ : state) {
    KVB_OleStream* stream = KVB_2OLEopenStream(root, "VisioDocument");
    int n;
    while ((n = KVB_2OLEreadStream(stream, buffer.data(), static_cast<int>(buffer.size()))) > 0) bytes += n;
    KVB_2OLEcloseStream(stream);
  }
  KVB_2OLEclose(root);
  state.SetBytesProcessed(bytes);
}
BENCHMARK(ReadVisioDocument)->Arg(1)->Arg(64)->Arg(4096);

}  // namespace

BENCHMARK_MAIN();
