// CSS Color 3 texts read side by side with python3-tinycss2 (through
// css_color_peer.py beside this file): hexadecimal colours, rgb() with
// integers or percentages, the keywords in three spellings, "transparent"
// and "currentColor" must give the peer's sRGB word; percentages may differ
// by one level, as the engine computes them in single precision.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "quarnel/color.h"
#include "quarnel/value.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;
using ObraCommon::UnicodeString;
using ObraCommon::ZelColor;
using ObraCommon::ZelValue;

const char* kPython = "/usr/bin/python3";

bool PeerPresent() {
  std::string command = std::string(kPython) + " -c 'import tinycss2.color3' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::vector<std::string> Keywords() {
  std::vector<std::string> keywords;
  std::ifstream in(QUARNEL_COLOUR_KEYWORDS_FILE);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty() && line[0] != '#') keywords.push_back(line.substr(0, line.find('\t')));
  return keywords;
}

std::string Blank(std::mt19937& random) {
  static const char* blanks[] = {"", " ", "  ", "\t", " \t "};
  return blanks[random() % 5];
}

// rgb() of three channels as channel writes them, blanks varied.
template <typename Channel>
std::string RgbText(std::mt19937& random, Channel channel) {
  std::string text = "rgb(" + Blank(random);
  for (int i = 0; i < 3; ++i) text += channel(random) + Blank(random) + (i < 2 ? "," + Blank(random) : ")");
  return text;
}

struct Sample {
  std::string kind;
  std::string text;
};

std::vector<Sample> Generate(int count) {
  std::mt19937 random(1402);
  std::vector<std::string> keywords = Keywords();
  std::vector<Sample> samples;
  const char* hex = "0123456789abcdefABCDEF";
  while (static_cast<int>(samples.size()) < count) {
    switch (random() % 6) {
      case 0: {
        std::string text = "#";
        int digits = random() % 2 == 0 ? 3 : 6;
        for (int i = 0; i < digits; ++i) text += hex[random() % 22];
        samples.push_back({"hex", text});
        break;
      }
      case 1:
        samples.push_back({"integers", RgbText(random, [](std::mt19937& r) {
                             return std::to_string(static_cast<int>(r() % 400) - 70);
                           })});
        break;
      case 2:
        samples.push_back({"percentages", RgbText(random, [](std::mt19937& r) {
                             int tenths = static_cast<int>(r() % 1400) - 200;
                             std::string number = tenths < 0 && tenths > -10 ? "-0" : std::to_string(tenths / 10);
                             if (r() % 2 == 0) number += "." + std::to_string(std::abs(tenths % 10));
                             return number + "%";
                           })});
        break;
      case 3:
      case 4: {
        std::string word = keywords[random() % keywords.size()];
        int spelling = random() % 3;
        for (size_t i = 0; i < word.size(); ++i) {
          if (spelling == 1) word[i] = static_cast<char>(std::toupper(word[i]));
          if (spelling == 2 && i % 2 == 0) word[i] = static_cast<char>(std::toupper(word[i]));
        }
        samples.push_back({"keywords", word});
        break;
      }
      default:
        samples.push_back({"markers", random() % 2 == 0 ? "transparent" : "currentColor"});
    }
  }
  return samples;
}

std::string Ours(const std::string& text) {
  ZelColor colour = ZelValue::parseColor(UnicodeString::fromUTF8(text), true).getColorValue();
  if (colour.isTransparent()) return "transparent";
  if (colour.isCurrentColor()) return "currentColor";
  char word[16];
  std::snprintf(word, sizeof word, "%06X", colour.getRGB());
  return word;
}

bool WithinOneLevel(const std::string& a, const std::string& b) {
  if (a.size() != 6 || b.size() != 6) return false;
  for (int i = 0; i < 6; i += 2)
    if (std::abs(std::stoi(a.substr(i, 2), nullptr, 16) - std::stoi(b.substr(i, 2), nullptr, 16)) > 1) return false;
  return true;
}

TEST(CssColourPeer, TwentyThousandTextsAgreeWithTinycss2) {
  if (!PeerPresent()) GTEST_SKIP() << "python3 with tinycss2 (python3-tinycss2) is missing";
  std::vector<Sample> samples = Generate(20000);
  fs::path input = fs::temp_directory_path() / ("quarnel-css-colours-" + std::to_string(getpid()) + ".txt");
  {
    std::ofstream out(input);
    for (const Sample& sample : samples) out << sample.text << "\n";
  }
  std::string script = std::string(std::getenv("PROJECT_SOURCE_DIR")) + "/quarnel/core/tests/css_color_peer.py";
  std::string command = std::string(kPython) + " '" + script + "' '" + input.string() + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  ASSERT_TRUE(pipe);
  std::vector<std::string> answers;
  char line[64];
  while (std::fgets(line, sizeof line, pipe.get())) {
    std::string answer(line);
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
    answers.push_back(answer);
  }
  pipe.reset();
  fs::remove(input);
  ASSERT_EQ(answers.size(), samples.size());

  std::map<std::string, std::map<std::string, int>> counts;
  for (size_t i = 0; i < samples.size(); ++i) {
    const Sample& sample = samples[i];
    std::string ours = Ours(sample.text);
    const std::string& peer = answers[i];
    std::string verdict = ours == peer ? "exact" : "differ";
    if (verdict == "differ" && sample.kind == "percentages" && WithinOneLevel(ours, peer)) verdict = "one level";
    if (peer == "none") verdict = "peer reads none";
    ++counts[sample.kind][verdict];
    EXPECT_TRUE(verdict == "exact" || verdict == "one level")
        << sample.text << ": ours " << ours << ", tinycss2 " << peer;
  }
  for (const auto& [kind, verdicts] : counts) {
    std::cout << "css colours " << kind << ":";
    for (const auto& [verdict, count] : verdicts) std::cout << " " << verdict << " " << count;
    std::cout << "\n";
  }
}

}  // namespace
