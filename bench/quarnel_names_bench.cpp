// Time of one text-to-number lookup in Quarnel's name table: built-in texts
// (a binary search of constant data, no lock) and texts already numbered at
// run time (the shared table under its lock), on one thread and on eight.
// Each benchmark reports the time of one lookup.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "quarnel/name.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelNameTable;

const std::vector<UnicodeString>& BuiltinTexts() {
  static const std::vector<UnicodeString> texts = [] {
    std::vector<UnicodeString> all;
    for (int n = 1; n <= ObraCommon::ZEL_NAME_LAST_BUILTIN; ++n) all.push_back(ZelNameTable::getBuiltinNameString(n));
    return all;
  }();
  return texts;
}

// 10,000 texts, numbered once before any benchmark measures them.
const std::vector<UnicodeString>& RunTimeTexts() {
  static const std::vector<UnicodeString> texts = [] {
    std::vector<UnicodeString> all;
    for (int i = 0; i < 10000; ++i) {
      all.push_back(UnicodeString(u"bench-name-") + UnicodeString(std::to_string(i * 7919).c_str()));
      ZelNameTable::getSharedNameEnum(all.back());
    }
    return all;
  }();
  return texts;
}

void Lookups(benchmark::State& state, const std::vector<UnicodeString>& texts) {
  // Each thread starts at its own place, so threads do not walk in step.
  size_t i = static_cast<size_t>(state.thread_index()) * 613 % texts.size();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ZelNameTable::getSharedNameEnum(texts[i]));
    if (++i == texts.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_BuiltinNames(benchmark::State& state) { Lookups(state, BuiltinTexts()); }
void BM_RunTimeNames(benchmark::State& state) { Lookups(state, RunTimeTexts()); }

BENCHMARK(BM_BuiltinNames)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(BM_RunTimeNames)->Threads(1)->Threads(8)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  BuiltinTexts();
  RunTimeTexts();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
