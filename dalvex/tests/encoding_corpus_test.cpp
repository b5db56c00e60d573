// The encoding detectors over the shared sample texts, beside uchardet.
//
// Every text file whose encoding the samples name (detect/INDEX.tsv, and the
// file names of charsets/ as its README gives them) goes through
// cconvChkEncode, dtctText without a hint, dtctText with the sample's
// language as hint, and uchardet. Each answer is mapped onto the encoding
// families the detectors can name; the accuracy table by true family is
// written to <build>/reports/encoding-accuracy.md. The test asserts only
// what the detectors decide without doubt: marked files, ISO-2022-JP with
// its escapes, and plain 7-bit text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "dalvex/cconv.h"
#include "dalvex/encoding_detect.h"
#include "testsupport/testdata.h"

namespace fs = std::filesystem;

namespace {

enum class Family {
  kUtf8, kUtf16, kUcs4, kIso2022Jp, kEucJp, kShiftJis, kGbk, kBig5, kEucKr, kAscii, kLatin1, kOutside, kNone,
};

const char* FamilyName(Family f) {
  static const char* const kNames[] = {"UTF-8",  "UTF-16",         "UCS-4",         "ISO-2022-JP", "EUC-JP",
                                       "Shift_JIS/WINDOWS31J", "GBK/GB2312/GB18030", "Big5", "EUC-KR/UHC",
                                       "7-bit ASCII", "ISO-8859-1", "outside", "(none)"};
  return kNames[static_cast<int>(f)];
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// One table for every program's answers (charset names in any case).
Family FamilyOfName(const std::string& name) {
  static const std::map<std::string, Family> kNames = {
      {"UTF-8", Family::kUtf8},          {"UTF-16", Family::kUtf16},       {"UTF-16LE", Family::kUtf16},
      {"UTF-16BE", Family::kUtf16},      {"ISO-10646-UCS-4", Family::kUcs4}, {"UTF-32", Family::kUcs4},
      {"UTF-32LE", Family::kUcs4},       {"UTF-32BE", Family::kUcs4},      {"ISO-2022-JP", Family::kIso2022Jp},
      {"EUC-JP", Family::kEucJp},        {"SHIFT_JIS", Family::kShiftJis}, {"WINDOWS31J", Family::kShiftJis},
      {"WINDOWS-31J", Family::kShiftJis}, {"CP932", Family::kShiftJis},    {"GBK", Family::kGbk},
      {"GB2312", Family::kGbk},          {"GB18030", Family::kGbk},        {"CHINESEGBK", Family::kGbk},
      {"BIG5", Family::kBig5},           {"CHINESEBIG5", Family::kBig5},   {"EUC-KR", Family::kEucKr},
      {"UHC", Family::kEucKr},           {"CP949", Family::kEucKr},        {"KOREANKSC", Family::kEucKr},
      {"ASCII", Family::kAscii},         {"ISO-646IRV", Family::kAscii},   {"ISO-8859-1", Family::kLatin1},
      {"WINDOWS-1252", Family::kLatin1},
  };
  auto it = kNames.find(Upper(name));
  if (it != kNames.end()) return it->second;
  return (name.empty() || Upper(name) == "UNKNOWN") ? Family::kNone : Family::kOutside;
}

Family FamilyOfWord(int word) {
  if (word <= 0) return Family::kNone;
  switch (word & kDtctEncodingMask) {
    case kDtctUtf8: return Family::kUtf8;
    case kDtctUtf16Le: case kDtctUtf16Be: return Family::kUtf16;
    case kDtctUcs4: return Family::kUcs4;
    case kDtctIso2022Jp: return Family::kIso2022Jp;
    case kDtctEucJp: return Family::kEucJp;
    case kDtctWindows31J: return Family::kShiftJis;
    case kDtctSevenBit: return Family::kAscii;
    case kDtctGbk: return Family::kGbk;
    case kDtctBig5: return Family::kBig5;
    case kDtctKsc5601: return Family::kEucKr;
    case kDtctUndecided: return Family::kNone;
    default: return Family::kOutside;  // EUC-JP-FIX, or several encodings tied
  }
}

struct Sample {
  fs::path path;
  Family truth;
  std::string language;  // a hint dtctText knows, or empty
  bool marked = false;
};

bool IsPlainSevenBit(const std::string& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) {
    auto b = static_cast<unsigned char>(c);
    return b == '\t' || b == '\n' || b == '\r' || (b >= 0x20 && b <= 0x7E);
  });
}

bool StartsWithMark(const std::string& bytes) {
  for (std::string_view mark : {std::string_view("\xEF\xBB\xBF"), std::string_view("\xFE\xFF"),
                                std::string_view("\xFF\xFE")})
    if (bytes.compare(0, mark.size(), mark) == 0) return true;
  return false;
}

void AddSample(std::vector<Sample>& samples, const fs::path& path, Family truth, std::string language) {
  std::string bytes = testsupport::ReadFile(path);
  if (bytes.empty()) return;
  // UTF-8 or Latin-1 text with nothing beyond 7-bit is ASCII.
  if ((truth == Family::kUtf8 || truth == Family::kLatin1) && IsPlainSevenBit(bytes)) truth = Family::kAscii;
  samples.push_back({path, truth, std::move(language), StartsWithMark(bytes)});
}

// Encoding and language of a detect/INDEX.tsv row, from its description.
std::optional<std::pair<Family, std::string>> DescribedEncoding(const std::string& what) {
  const bool text = what.rfind("plain text", 0) == 0 || what.rfind("XML in ", 0) == 0 || what.rfind("HTML, UTF-8", 0) == 0;
  if (!text) return std::nullopt;
  static const std::pair<const char*, Family> kKeys[] = {
      {"UTF-32", Family::kUcs4},        {"UTF-16", Family::kUtf16},          {"UTF-8", Family::kUtf8},
      {"ISO-2022-JP", Family::kIso2022Jp}, {"EUC-JP", Family::kEucJp},        {"Shift_JIS", Family::kShiftJis},
      {"Windows-31J", Family::kShiftJis}, {"GB2312", Family::kGbk},          {"GBK", Family::kGbk},
      {"GB18030", Family::kGbk},        {"Big5", Family::kBig5},             {"EUC-KR", Family::kEucKr},
      {"ISO-8859-1", Family::kLatin1},  {"Windows-1252", Family::kOutside},  {"KOI8-R", Family::kOutside},
      {"ASCII", Family::kAscii},
  };
  for (const auto& [key, family] : kKeys) {
    if (what.find(key) == std::string::npos) continue;
    std::string language;
    if (what.find("Japanese") != std::string::npos) language = "Japanese";
    if (what.find("simplified Chinese") != std::string::npos) language = "Simplified Chinese";
    if (what.find("traditional Chinese") != std::string::npos) language = "Traditional Chinese";
    if (what.find("Korean") != std::string::npos) language = "Korean";
    return std::make_pair(family, language);
  }
  return std::nullopt;
}

std::vector<Sample> DetectSamples(const fs::path& dir) {
  std::vector<Sample> samples;
  std::ifstream index(dir / "INDEX.tsv");
  std::string line;
  std::getline(index, line);  // header
  while (std::getline(index, line)) {
    std::vector<std::string> fields;
    std::stringstream row(line);
    for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
    if (fields.size() < 4) continue;
    if (auto described = DescribedEncoding(fields[3]))
      AddSample(samples, dir / fields[0], described->first, described->second);
  }
  return samples;
}

std::vector<Sample> CharsetSamples(const fs::path& dir) {
  struct Named {
    const char* stem;
    Family family;
    const char* language;
  };
  static const Named kTables[] = {
      {"SHIFT_JIS", Family::kShiftJis, "Japanese"}, {"WINDOWS-31J", Family::kShiftJis, "Japanese"},
      {"EUC-JP", Family::kEucJp, "Japanese"},       {"ISO-2022-JP", Family::kIso2022Jp, "Japanese"},
      {"GBK", Family::kGbk, "Simplified Chinese"},  {"GB18030", Family::kGbk, "Simplified Chinese"},
      {"BIG5", Family::kBig5, "Traditional Chinese"}, {"EUC-KR", Family::kEucKr, "Korean"},
      {"ISO-8859-1", Family::kLatin1, ""},          {"WINDOWS-1252", Family::kOutside, ""},
  };
  static const Named kTexts[] = {
      {"big5", Family::kBig5, "Traditional Chinese"}, {"big5hkscs", Family::kBig5, "Traditional Chinese"},
      {"cp949", Family::kEucKr, "Korean"},            {"euc_jisx0213", Family::kEucJp, "Japanese"},
      {"euc_jp", Family::kEucJp, "Japanese"},         {"euc_kr", Family::kEucKr, "Korean"},
      {"gb18030", Family::kGbk, "Simplified Chinese"}, {"gb2312", Family::kGbk, "Simplified Chinese"},
      {"gbk", Family::kGbk, "Simplified Chinese"},    {"hz", Family::kOutside, "Simplified Chinese"},
      {"iso2022_jp", Family::kIso2022Jp, "Japanese"}, {"iso2022_kr", Family::kOutside, "Korean"},
      {"johab", Family::kOutside, "Korean"},          {"shift_jis", Family::kShiftJis, "Japanese"},
      {"shift_jisx0213", Family::kShiftJis, "Japanese"},
  };
  std::vector<Sample> samples;
  for (const Named& t : kTables) {
    for (const char* part : {".all", ".decode-only"}) {
      fs::path encoded = dir / (std::string(t.stem) + part + ".txt");
      if (!fs::exists(encoded)) continue;
      AddSample(samples, encoded, t.family, t.language);
      AddSample(samples, dir / (std::string(t.stem) + part + ".utf8.txt"), Family::kUtf8, t.language);
    }
  }
  for (const Named& t : kTexts) {
    AddSample(samples, dir / "cjkencodings" / (std::string(t.stem) + ".txt"), t.family, t.language);
    AddSample(samples, dir / "cjkencodings" / (std::string(t.stem) + "-utf8.txt"), Family::kUtf8, t.language);
  }
  return samples;
}

// uchardet's answer for each file, by path; nothing when it cannot run.
std::optional<std::map<std::string, std::string>> Uchardet(const std::vector<Sample>& samples) {
  std::string command = "uchardet";
  for (const Sample& s : samples) command += " '" + s.path.string() + "'";
  command += " 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return std::nullopt;
  std::map<std::string, std::string> answers;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe.get())) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    size_t colon = text.rfind(": ");
    if (colon != std::string::npos) answers[text.substr(0, colon)] = text.substr(colon + 2);
  }
  if (pclose(pipe.release()) != 0 || answers.size() != samples.size()) return std::nullopt;
  return answers;
}

struct Answers {
  std::string check;
  int word = 0;
  int hinted_word = 0;
  std::string uchardet;
};

std::string Hex(int word) {
  char out[16];
  std::snprintf(out, sizeof out, "0x%X", static_cast<unsigned>(word));
  return out;
}

class NoLocale {
 public:
  NoLocale() {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  ~NoLocale() {
    for (const auto& [name, value] : saved_)
      if (value) setenv(name, value->c_str(), 1);
  }

 private:
  static constexpr const char* kNames[] = {"LANG", "LC_ALL", "LC_CTYPE"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

void WriteReport(const std::vector<Sample>& samples, const std::vector<Answers>& answers) {
  struct Row {
    int files = 0, check = 0, plain = 0, hinted = 0, hint_files = 0, uchardet = 0;
  };
  std::map<Family, Row> rows;
  Row total;
  for (size_t i = 0; i < samples.size(); ++i) {
    const Sample& s = samples[i];
    const Answers& a = answers[i];
    Row& r = rows[s.truth];
    bool hinted = !s.language.empty();
    int add[6] = {1, FamilyOfName(a.check) == s.truth, FamilyOfWord(a.word) == s.truth,
                  hinted && FamilyOfWord(a.hinted_word) == s.truth, hinted, FamilyOfName(a.uchardet) == s.truth};
    for (Row* target : {&r, s.truth == Family::kOutside ? nullptr : &total}) {
      if (target == nullptr) continue;
      target->files += add[0];
      target->check += add[1];
      target->plain += add[2];
      target->hinted += add[3];
      target->hint_files += add[4];
      target->uchardet += add[5];
    }
  }
  fs::path dir = ENCODING_REPORT_DIR;
  fs::create_directories(dir);
  std::ofstream out(dir / "encoding-accuracy.md");
  out << "# Encoding detection accuracy\n\n"
      << "Correct answers by true encoding family (files of the shared samples whose encoding is known).\n"
      << "dtctText counts as correct only when it names the one right encoding; a tie of several is wrong.\n"
      << "The hinted column counts the files whose language is known (correct / files with a hint).\n\n"
      << "| true family | files | cconvChkEncode | dtctText, no hint | dtctText, language hint | uchardet |\n"
      << "|---|---|---|---|---|---|\n";
  auto line = [&](const std::string& name, const Row& r) {
    out << "| " << name << " | " << r.files << " | " << r.check << " | " << r.plain << " | " << r.hinted << " / "
        << r.hint_files << " | " << r.uchardet << " |\n";
  };
  for (const auto& [family, row] : rows) line(FamilyName(family), row);
  line("all but outside", total);
  out << "\n## Each file\n\n| file | true | cconvChkEncode | dtctText | dtctText + hint | uchardet |\n"
      << "|---|---|---|---|---|---|\n";
  for (size_t i = 0; i < samples.size(); ++i) {
    const Sample& s = samples[i];
    const Answers& a = answers[i];
    out << "| " << s.path.parent_path().filename().string() << "/" << s.path.filename().string() << " | "
        << FamilyName(s.truth) << " | " << a.check << " | " << Hex(a.word) << " | "
        << (s.language.empty() ? std::string("-") : Hex(a.hinted_word) + " (" + s.language + ")") << " | "
        << a.uchardet << " |\n";
  }
}

}  // namespace

TEST(EncodingCorpus, DetectorsBesideUchardet) {
  TESTDATA_OR_SKIP(charsets, "charsets");
  TESTDATA_OR_SKIP(detect, "detect");
  std::vector<Sample> samples = DetectSamples(detect);
  std::vector<Sample> more = CharsetSamples(charsets);
  samples.insert(samples.end(), more.begin(), more.end());
  ASSERT_GT(samples.size(), 60u);

  auto uchardet = Uchardet(samples);
  ASSERT_TRUE(uchardet.has_value()) << "uchardet did not run: install it with scripts/install-deps";

  NoLocale no_locale;
  std::vector<Answers> answers;
  for (const Sample& s : samples) {
    std::string bytes = testsupport::ReadFile(s.path);
    CconvCheck check{};
    check.text = bytes.data();
    check.end = static_cast<int32_t>(bytes.size());
    cconvChkEncode(&check);
    Answers a;
    a.check = check.charset;
    a.word = dtctText(s.path.c_str(), nullptr);
    a.hinted_word = s.language.empty() ? a.word : dtctText(s.path.c_str(), s.language.c_str());
    a.uchardet = (*uchardet)[s.path.string()];
    answers.push_back(a);

    SCOPED_TRACE(s.path.string());
    if (s.marked || s.truth == Family::kIso2022Jp || s.truth == Family::kAscii) {
      EXPECT_EQ(FamilyOfName(a.check), s.truth) << a.check;
      EXPECT_EQ(FamilyOfWord(a.word), s.truth) << Hex(a.word);
      EXPECT_EQ(FamilyOfWord(a.hinted_word), s.truth) << Hex(a.hinted_word);
    }
  }
  WriteReport(samples, answers);
}

TEST(EncodingCorpus, DetectedCharsetsConvert) {
  TESTDATA_OR_SKIP(charsets, "charsets");
  TESTDATA_OR_SKIP(detect, "detect");
  fs::copy(fs::path(std::getenv("PROJECT_BUILD_DIR")) / "etc", testsupport::TempDir() / "etc",
           fs::copy_options::recursive);
  ASSERT_EQ(startProcess(), 1);
  ASSERT_EQ(cconvLoadRule(), 1);
  struct EngineEnd {
    ~EngineEnd() { endProcess(); }
  } engine_end;

  // Every name the check gives from a mark or from its statistics is loaded.
  CconvSession session{};
  for (const char* name : {"UTF-8", "UTF-16", "ISO-10646-UCS-4", "ISO-2022-JP", "EUC-JP", "EUC-JP-FIX", "WINDOWS31J",
                           "ISO-8859-1", "ISO-646IRV"}) {
    session = CconvSession{};
    EXPECT_EQ(cconvInitConvert(&session, nullptr, name), 0) << name << " is not loaded";
  }

  // Can the engine convert at all yet? Its codecs may still be missing.
  const char probe[] = "probe";
  session = CconvSession{};
  std::string output(64 * 1024, '\0');
  ASSERT_EQ(cconvInitConvert(&session, nullptr, "UTF-16"), 0);
  ASSERT_EQ(cconvChgCharset(&session, nullptr, "UTF-8"), 0);
  session.input = reinterpret_cast<const uint8_t*>(probe);
  session.input_length = 5;
  session.output = reinterpret_cast<uint8_t*>(output.data());
  session.output_capacity = static_cast<int32_t>(output.size());
  if (cconvConvert(&session) != 0) GTEST_SKIP() << "the engine cannot convert yet (no codecs): round trip not checked";

  std::vector<Sample> samples = DetectSamples(detect);
  std::vector<Sample> more = CharsetSamples(charsets);
  samples.insert(samples.end(), more.begin(), more.end());
  int loaded = 0, converted = 0;
  for (const Sample& s : samples) {
    std::string bytes = testsupport::ReadFile(s.path).substr(0, 4096);
    CconvCheck check{};
    check.text = bytes.data();
    check.end = static_cast<int32_t>(bytes.size());
    if (cconvChkEncode(&check) != 1) continue;
    CconvCharsetOptions options{check.big_endian, check.byte_order_mark, 0};
    session = CconvSession{};
    if (cconvInitConvert(&session, nullptr, "UTF-16") != 0 || cconvChgCharset(&session, &options, check.charset) != 0)
      continue;
    ++loaded;
    session.input = reinterpret_cast<const uint8_t*>(bytes.data());
    session.input_length = static_cast<int32_t>(bytes.size());
    session.output = reinterpret_cast<uint8_t*>(output.data());
    session.output_capacity = static_cast<int32_t>(output.size());
    int status = cconvConvert(&session);
    cconvTermConvert(&session);
    if (status != 13) ++converted;
    if (s.marked) {
      EXPECT_NE(status, 13) << s.path << " as " << check.charset;
    }
  }
  std::printf("round trip: %d of %d files whose detected charset is loaded converted without invalid input\n",
              converted, loaded);
  RecordProperty("round_trip", std::to_string(converted) + "/" + std::to_string(loaded));
}
