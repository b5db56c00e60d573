// The alphabet tables of list numbering are built by whichever thread asks
// first; threads that start together all read complete tables.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "quarnel/util.h"
#include "quarnel/zel_lang.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelLang;
using ObraCommon::ZelUtil;

std::vector<UnicodeString> FormatAll(const std::vector<ZelLang>& languages) {
  const char16_t* formats[] = {u"a", u"A", u"α", u"А", u"I", u"い"};
  std::vector<UnicodeString> out;
  for (const ZelLang& language : languages)
    for (const char16_t* format : formats)
      for (int n = 1; n <= 60; n += 7) out.push_back(ZelUtil::formatNumber(n, UnicodeString(format), language));
  return out;
}

TEST(NumberingThreads, FirstCallsAtOnceSeeCompleteTables) {
  std::vector<ZelLang> languages;
  for (const char* tag : {"it", "de", "cs", "ru", "uk", "el", "ja", "es", "de-DE"}) languages.emplace_back(tag);
  languages.emplace_back();
  const std::vector<UnicodeString> expected = FormatAll(languages);

  ZelUtil::cleanup();
  constexpr int kThreads = 8;
  std::vector<std::vector<UnicodeString>> results(kThreads);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      results[t] = FormatAll(languages);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(results[t], expected) << "thread " << t;

  ZelUtil::cleanup();
  EXPECT_EQ(FormatAll(languages), expected);
}

}  // namespace
