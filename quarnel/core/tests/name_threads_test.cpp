// The shared name table on several threads at once: each text ends with one
// number, whichever thread asked first, and the numbers stay dense.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "quarnel/name.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelNameEnum;
using ObraCommon::ZelNameTable;

TEST(NameTableThreads, OverlappingTextsGetOneDenseNumberEach) {
  ZelNameTable::cleanup();
  constexpr int kThreads = 8;
  constexpr int kTexts = 10000;
  constexpr int kShift = 1250;  // thread t asks for texts t*kShift .. t*kShift+kTexts-1
  std::vector<std::vector<ZelNameEnum>> numbers(kThreads, std::vector<ZelNameEnum>(kTexts));
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &numbers, &mismatches] {
      // Half the threads walk their texts backwards, so threads meet on
      // texts that another thread is numbering.
      for (int k = 0; k < kTexts; ++k) {
        int i = t % 2 == 0 ? k : kTexts - 1 - k;
        UnicodeString text = UnicodeString(u"text-") + UnicodeString(std::to_string(t * kShift + i).c_str());
        ZelNameEnum n = ZelNameTable::getSharedNameEnum(text);
        numbers[t][i] = n;
        if (ZelNameTable::getSharedNameString(n) != text) ++mismatches[t];
        if (ZelNameTable::getSharedNameEnum(UnicodeString(u"true")) != 1475) ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::map<int, ZelNameEnum> byText;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(mismatches[t], 0) << "thread " << t;
    for (int i = 0; i < kTexts; ++i) {
      auto [it, added] = byText.emplace(t * kShift + i, numbers[t][i]);
      EXPECT_EQ(it->second, numbers[t][i]) << "text-" << t * kShift + i;
    }
  }
  std::vector<bool> seen(byText.size(), false);
  for (const auto& [text, n] : byText) {
    ASSERT_GE(n, 1598);
    ASSERT_LT(n, 1598 + static_cast<ZelNameEnum>(byText.size()));
    EXPECT_FALSE(seen[static_cast<size_t>(n - 1598)]) << n << " given twice";
    seen[static_cast<size_t>(n - 1598)] = true;
  }
  EXPECT_EQ(ZelNameTable::getSharedNameTable()->getNameLast(), 1597 + static_cast<ZelNameEnum>(byText.size()));
  ZelNameTable::cleanup();
}

}  // namespace
