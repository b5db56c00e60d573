// dtctText: the encodings it decides, chunk edges, ties and the 4 MB limit,
// the language hint from the caller and from the environment, and the -1
// cases.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "dalvex/encoding_detect.h"
#include "encoding_samples.h"
#include "testsupport/testdata.h"

using encoding_samples::Encode;
using encoding_samples::Repeat;

namespace {

std::string FileWith(const std::string& bytes, const char* name = "sample.txt") {
  std::string path = (testsupport::TempDir() / name).string();
  EXPECT_TRUE(testsupport::WriteFile(path, bytes));
  return path;
}

int Detect(const std::string& bytes, const char* language) { return dtctText(FileWith(bytes).c_str(), language); }

// Sets or clears the locale variables for one test and puts them back.
class LocaleEnvironment {
 public:
  LocaleEnvironment(const char* lang, const char* lc_all, const char* lc_ctype) {
    for (size_t i = 0; i < 3; ++i) {
      const char* old = std::getenv(kNames[i]);
      saved_[i] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    Set(kNames[0], lang);
    Set(kNames[1], lc_all);
    Set(kNames[2], lc_ctype);
  }
  ~LocaleEnvironment() {
    for (size_t i = 0; i < 3; ++i) Set(kNames[i], saved_[i] ? saved_[i]->c_str() : nullptr);
  }

 private:
  static void Set(const char* name, const char* value) { value ? setenv(name, value, 1) : unsetenv(name); }
  static constexpr const char* kNames[3] = {"LANG", "LC_ALL", "LC_CTYPE"};
  std::optional<std::string> saved_[3];
};

constexpr int Single(uint32_t bits) { return static_cast<int>(kDtctSingle | bits); }
constexpr int Tie(uint32_t bits) { return static_cast<int>(kDtctFromTie | bits); }

const std::string kJa(encoding_samples::kJapanese);

// Valid in GBK and in Big5 alone: leads 0xF5-0xF7 with the trail 0x40,
// each followed by an ASCII letter (which keeps the pairs from reading as
// UTF-16 units).
std::string GbkBig5Text() {
  std::string line;
  for (int i = 0; i < 20; ++i) {
    line += static_cast<char>(0xF5 + i % 3);
    line += '\x40';
    line += static_cast<char>('a' + i);
  }
  return line + " x\n";
}

}  // namespace

TEST(TextDetector, DecidesEachEncoding) {
  LocaleEnvironment no_locale(nullptr, nullptr, nullptr);
  struct Case {
    const char* what;
    std::string bytes;
    const char* language;
    int word;
  } cases[] = {
      {"UTF-8", kJa, nullptr, Single(kDtctUtf8 | kDtctLf)},
      {"UTF-8 with mark", "\xEF\xBB\xBF" + kJa, nullptr, Single(kDtctUtf8 | kDtctLf)},
      {"UTF-16 LE with mark", "\xFF\xFE" + Encode(kJa, "UTF-16LE"), nullptr, Single(kDtctUtf16Le | kDtctLf)},
      {"UTF-16 BE with mark", "\xFE\xFF" + Encode(kJa, "UTF-16BE"), nullptr,
       Single(kDtctUtf16Be | kDtctLf | kDtctBigEndian)},
      {"UTF-16 LE", Encode(kJa, "UTF-16LE"), nullptr, Single(kDtctUtf16Le | kDtctLf)},
      {"UCS-4 LE with mark", Encode(kJa, "UTF-32"), nullptr, Single(kDtctUcs4 | kDtctLf)},
      {"UCS-4 BE with mark", std::string("\0\0\xFE\xFF", 4) + Encode(kJa, "UCS-4BE"), nullptr,
       Single(kDtctUcs4 | kDtctLf | kDtctBigEndian)},
      {"UCS-4 LE", Encode(kJa, "UCS-4LE"), nullptr, Single(kDtctUcs4 | kDtctLf)},
      {"UTF-16 with U+2028", "\xFF\xFE" + Encode("line one\u2028line two\r\n", "UTF-16LE"), nullptr,
       Single(kDtctUtf16Le | kDtctLineSeparator | kDtctCrLf)},
      {"ISO-2022-JP", Encode(kJa, "ISO-2022-JP"), nullptr, Single(kDtctIso2022Jp | kDtctLf)},
      {"EUC-JP", Encode(kJa, "EUC-JP"), "Japanese", Single(kDtctEucJp | kDtctLf)},
      {"EUC-JP-FIX", encoding_samples::WidenEucJp(Encode(kJa, "EUC-JP")), nullptr, Single(kDtctEucJpFix | kDtctLf)},
      {"Shift_JIS", Encode(kJa, "SHIFT_JIS"), "Japanese", Single(kDtctWindows31J | kDtctLf)},
      {"Shift_JIS CR LF", Encode("日本語\r\nテキスト\r\n", "SHIFT_JIS"), "japanese",
       Single(kDtctWindows31J | kDtctCrLf)},
      {"ASCII", std::string(encoding_samples::kAscii), nullptr, Tie(kDtctSevenBit | kDtctLf)},
      {"GBK", Encode(encoding_samples::kSimplifiedChinese, "GBK"), "Simplified Chinese", Single(kDtctGbk | kDtctLf)},
      {"Big5", Encode(encoding_samples::kTraditionalChinese, "BIG5"), "Traditional Chinese",
       Single(kDtctBig5 | kDtctLf)},
      {"EUC-KR", Encode(encoding_samples::kKorean, "EUC-KR"), "Korean", Single(kDtctKsc5601 | kDtctLf)},
  };
  for (const Case& c : cases) {
    ASSERT_FALSE(c.bytes.empty()) << c.what;
    EXPECT_EQ(Detect(c.bytes, c.language), c.word) << c.what << std::hex << " got 0x" << Detect(c.bytes, c.language);
  }
}

TEST(TextDetector, MarkWithTextOfAnotherEncodingIsIgnored) {
  LocaleEnvironment no_locale(nullptr, nullptr, nullptr);
  // A UTF-8 mark before Shift_JIS text: the UTF-8 score stays low.
  EXPECT_EQ(Detect("\xEF\xBB\xBF" + Encode(kJa, "SHIFT_JIS"), "Japanese"), Single(kDtctWindows31J | kDtctLf));
}

TEST(TextDetector, PlainSevenBitTextUnderEveryHint) {
  for (const char* language : {"", "Japanese", "Simplified Chinese", "Traditional Chinese", "Korean", "English"}) {
    EXPECT_EQ(Detect(Repeat(encoding_samples::kAscii, 5000), language), Tie(kDtctSevenBit | kDtctLf)) << language;
  }
}

TEST(TextDetector, SevenBitFirstChunkThenShiftJis) {
  std::string bytes = Repeat("ascii only here\n", 2048).substr(0, 2048) + Encode(kJa, "SHIFT_JIS");
  EXPECT_EQ(Detect(bytes, "Japanese"), Single(kDtctWindows31J | kDtctLf));
}

TEST(TextDetector, UnmarkedBigEndianUtf16) {
  LocaleEnvironment no_locale(nullptr, nullptr, nullptr);
  EXPECT_EQ(Detect(Encode(kJa, "UTF-16BE"), nullptr), Single(kDtctUtf16Be | kDtctLf | kDtctBigEndian));
  EXPECT_EQ(Detect(Encode(Repeat(encoding_samples::kTraditionalChinese, 6000), "UTF-16BE"), nullptr),
            Single(kDtctUtf16Be | kDtctLf | kDtctBigEndian));
}

TEST(TextDetector, CharacterAcrossTheChunkEdge) {
  LocaleEnvironment no_locale(nullptr, nullptr, nullptr);
  // B0 A1 is a character in EUC-JP, Shift_JIS (two kana), GBK, Big5 and
  // KS C 5601 alike, so the five tie and the file is read to its end. A
  // lead byte lost at a chunk edge would leave A1 alone before a blank:
  // bad in all but Shift_JIS, and the tie would turn into Shift_JIS.
  const std::string pairs = Repeat("\xB0\xA1 \xB0\xA1 \xC4\xC3\n", 5000);
  const std::string utf8 = Repeat(kJa, 3000);
  // Shift the text so that a character is cut at 2,048 at every offset.
  for (size_t pad = 0; pad < 4; ++pad) {
    std::string ascii = Repeat("a cat and a bat ate an apple\n", 3000).substr(0, pad + 2040);
    EXPECT_EQ(Detect(ascii + pairs, nullptr),
              Tie(kDtctEucJp | kDtctWindows31J | kDtctGbk | kDtctBig5 | kDtctKsc5601 | kDtctLf))
        << pad;
    EXPECT_EQ(Detect(ascii + utf8, nullptr), Single(kDtctUtf8 | kDtctLf)) << pad;
  }
}

TEST(TextDetector, GbkBig5TieAndTheTraditionalChineseHint) {
  LocaleEnvironment no_locale(nullptr, nullptr, nullptr);
  const std::string tie = GbkBig5Text();
  EXPECT_EQ(Detect(tie, nullptr), Tie(kDtctGbk | kDtctBig5 | kDtctLf));
  EXPECT_EQ(Detect(tie, "Traditional Chinese"), Single(kDtctBig5 | kDtctLf));
  EXPECT_EQ(Detect(tie, "TRADITIONAL CHINESE"), Single(kDtctBig5 | kDtctLf));
  // Without a hint the tie is read on: a Big5-only code in the third chunk decides.
  std::string longer = Repeat(tie, 4200) + "\xA1\x40\n";
  EXPECT_EQ(Detect(longer, nullptr), Single(kDtctBig5 | kDtctLf));
}

TEST(TextDetector, TiesAreReadToFourMegabytes) {
  const std::string sjis = Encode(kJa, "SHIFT_JIS");
  const std::string line = "plain seven-bit text, line after line\n";
  EXPECT_EQ(Detect(Repeat(line, 5 << 20) + sjis, "Japanese"), Tie(kDtctSevenBit | kDtctLf));
  EXPECT_EQ(Detect(Repeat(line, 3 << 20) + sjis, "Japanese"), Single(kDtctWindows31J | kDtctLf));
}

TEST(TextDetector, HintFromTheEnvironment) {
  const std::string sjis = Encode(kJa, "SHIFT_JIS");
  const std::string gbk = Encode(encoding_samples::kSimplifiedChinese, "GBK");
  const std::string tie = GbkBig5Text();
  const std::string euckr = Encode(encoding_samples::kKorean, "EUC-KR");
  const int japanese = Single(kDtctWindows31J | kDtctLf);
  struct Case {
    const char *lang, *lc_all, *lc_ctype;
    const std::string& bytes;
    int word;
  } cases[] = {
      {"ja_JP.SJIS", nullptr, nullptr, sjis, japanese},
      {nullptr, "ja_JP.UTF-8", nullptr, sjis, japanese},
      {"", "", "ja_JP.eucJP", sjis, japanese},
      {"ja", nullptr, nullptr, sjis, japanese},
      {"Japanese_Japan.932", nullptr, nullptr, sjis, japanese},
      {"zh_CN.GBK", nullptr, nullptr, gbk, Single(kDtctGbk | kDtctLf)},
      {"zh", nullptr, nullptr, gbk, Single(kDtctGbk | kDtctLf)},
      {"zh_TW.Big5", nullptr, nullptr, tie, Single(kDtctBig5 | kDtctLf)},
      {"ko_KR.EUC-KR", nullptr, nullptr, euckr, Single(kDtctKsc5601 | kDtctLf)},
      // LANG comes first.
      {"C", "ja_JP.UTF-8", nullptr, tie, Tie(kDtctGbk | kDtctBig5 | kDtctLf)},
      {"en_US.UTF-8", "zh_TW.Big5", nullptr, tie, Tie(kDtctGbk | kDtctBig5 | kDtctLf)},
  };
  for (const Case& c : cases) {
    LocaleEnvironment env(c.lang, c.lc_all, c.lc_ctype);
    std::string path = FileWith(c.bytes);
    EXPECT_EQ(dtctText(path.c_str(), nullptr), c.word) << (c.lang ? c.lang : "-") << " " << (c.lc_all ? c.lc_all : "-");
    EXPECT_EQ(dtctText(path.c_str(), ""), c.word);
  }
  // The caller's hint wins over the environment's.
  LocaleEnvironment env("ja_JP.UTF-8", nullptr, nullptr);
  EXPECT_EQ(Detect(tie, "Traditional Chinese"), Single(kDtctBig5 | kDtctLf));
}

TEST(TextDetector, NeverChangesTheProcessLocale) {
  LocaleEnvironment env(nullptr, "ja_JP.UTF-8", nullptr);
  std::string before = std::setlocale(LC_ALL, nullptr);
  std::string ctype = std::setlocale(LC_CTYPE, nullptr);
  EXPECT_EQ(Detect(Encode(kJa, "SHIFT_JIS"), nullptr), Single(kDtctWindows31J | kDtctLf));
  EXPECT_EQ(before, std::setlocale(LC_ALL, nullptr));
  EXPECT_EQ(ctype, std::setlocale(LC_CTYPE, nullptr));
}

TEST(TextDetector, LanguageAreaIsReadOnlyUpTo260Bytes) {
  // An unterminated area of exactly 260 bytes: read, never overrun (checked
  // under AddressSanitizer), and no hint: Shift_JIS text stays tied with GBK.
  std::vector<char> area(260, 'J');
  std::string path = FileWith(Encode(kJa, "SHIFT_JIS"));
  LocaleEnvironment no_locale(nullptr, nullptr, nullptr);
  int word = dtctText(path.c_str(), area.data());
  EXPECT_EQ(word, Tie(kDtctWindows31J | kDtctGbk | kDtctLf)) << std::hex << word;
  EXPECT_EQ(std::string(area.begin(), area.end()), std::string(260, 'J'));
}

TEST(TextDetector, FilesThatGiveMinusOne) {
  EXPECT_EQ(dtctText(nullptr, nullptr), -1);
  EXPECT_EQ(dtctText((testsupport::TempDir() / "missing.txt").c_str(), nullptr), -1);
  EXPECT_EQ(dtctText(FileWith("", "empty.txt").c_str(), nullptr), -1);
  EXPECT_EQ(dtctText(testsupport::TempDir().c_str(), nullptr), -1);
  // 2 GiB, sparse: its size does not fit the engine's offsets.
  std::string big = (testsupport::TempDir() / "big.txt").string();
  int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, off_t{1} << 31), 0);
  close(fd);
  EXPECT_EQ(dtctText(big.c_str(), nullptr), -1);
}

TEST(TextDetector, UndecidedText) {
  std::string binary;
  for (int i = 0; i < 3000; ++i) binary += static_cast<char>((i * 7919) % 251);
  EXPECT_EQ(Detect(binary, nullptr), static_cast<int>(kDtctUndecided));
  EXPECT_EQ(Detect(std::string(100, '\0'), nullptr), static_cast<int>(kDtctUndecided));
}

TEST(TextDetector, RunsOnSeveralThreadsAtOnce) {
  LocaleEnvironment no_locale(nullptr, nullptr, nullptr);
  const std::vector<std::pair<std::string, const char*>> inputs = {
      {FileWith(Encode(kJa, "SHIFT_JIS"), "a.txt"), "Japanese"},
      {FileWith(Encode(encoding_samples::kKorean, "EUC-KR"), "b.txt"), "Korean"},
      {FileWith(GbkBig5Text(), "c.txt"), nullptr},
      {FileWith(Encode(kJa, "UTF-16BE"), "d.txt"), nullptr},
  };
  std::vector<int> expected;
  for (const auto& [path, language] : inputs) expected.push_back(dtctText(path.c_str(), language));
  std::vector<int> wrong(inputs.size(), 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < inputs.size(); ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i)
        if (dtctText(inputs[t].first.c_str(), inputs[t].second) != expected[t]) ++wrong[t];
    });
  for (std::thread& th : threads) th.join();
  for (size_t t = 0; t < inputs.size(); ++t) EXPECT_EQ(wrong[t], 0) << inputs[t].first;
}
