// The detector over the shared corpus (detect/, ole/, vsd/): every file is
// detected with nothing left in the temporary folder; a table of answers
// beside `file -b` and the corpus index goes to the build folder
// (reports/probelin_corpus.tsv); the answers are compared with the reviewed
// list tests/corpus_expectations.tsv; every Visio drawing is named by the
// header version that python3-olefile reads from its stream; and the answers
// before and after text and package detection are set beside the index's
// `file -b` verdicts, family by family (reports/probelin_agreement.md).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>

#include "fixtures.h"
#include "testsupport/peers.h"
#include "testsupport/testdata.h"

namespace {

using namespace probelin_test;
using testsupport::RunLines;
namespace fs = std::filesystem;

std::string Quote(const fs::path& p) { return testsupport::ShellQuote(p.string()); }

struct Sample {
  std::string key;  // folder/name
  fs::path path;
  std::string description;
  std::string verdict;  // what `file -b` said when the index was made
};

// The corpus files of the three folders with the index's description.
std::vector<Sample> Samples(const fs::path& data) {
  std::vector<Sample> samples;
  for (const char* folder : {"detect", "ole", "vsd"}) {
    std::map<std::string, std::string> described, verdicts;
    const std::string kind = folder;
    for (testsupport::IndexRow& row : testsupport::ReadIndex(data / folder)) {
      described[row["file"]] = kind == "detect" ? row["what_it_is"]
                               : kind == "ole"  ? row["what (judgement)"]
                                                : "VisioDocument version " + row["VisioDocument_header_version"];
      verdicts[row["file"]] = row["file_-b"];
    }
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(data / folder))
      if (e.is_regular_file() && e.path().filename() != "INDEX.tsv") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& p : files)
      samples.push_back({std::string(folder) + "/" + p.filename().string(), p, described[p.filename().string()],
                         verdicts[p.filename().string()]});
  }
  return samples;
}

bool CorpusOrSkip(fs::path* data, std::string* why) {
  for (const char* sub : {"detect", "ole", "vsd"})
    if (!testsupport::TestDataDir(sub, why)) return false;
  *data = *testsupport::TestDataDir("", why);
  return true;
}

struct Expected {
  int result;
  int32_t id, sub;
  std::string name, second, language, note;
};

// A reviewed list: file, result, id, sub and (in the full list) name,
// second text, language and a note.
std::map<std::string, Expected> ReadAnswers(const char* list) {
  std::map<std::string, Expected> out;
  std::ifstream in(std::string(PROBELIN_SOURCE_DIR) + "/tests/" + list);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = testsupport::SplitFields(line, '\t');
    if (f.size() < 4) continue;
    f.resize(8);
    out[f[0]] = Expected{std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[3]), f[4], f[5], f[6], f[7]};
  }
  return out;
}

std::map<std::string, Expected> Expectations() { return ReadAnswers("corpus_expectations.tsv"); }

// The text detector's locale hint, as the reviewed list was made.
struct CorpusLocale {
  testsupport::ScopedEnv lang{"LANG", "C.UTF-8"};
  testsupport::ScopedEnv all{"LC_ALL", nullptr};
  testsupport::ScopedEnv ctype{"LC_CTYPE", nullptr};
};

TEST(DtctCorpus, EveryFileIsDetectedAsReviewed) {
  fs::path data;
  std::string why;
  if (!CorpusOrSkip(&data, &why)) GTEST_SKIP() << why;
  CorpusLocale locale;
  std::vector<Sample> samples = Samples(data);
  ASSERT_FALSE(samples.empty());

  fs::path list = testsupport::TempDir() / "files.lst";
  {
    std::ofstream out(list);
    for (const Sample& s : samples) out << s.path.string() << "\n";
  }
  std::vector<std::string> peer = RunLines("file -b -f " + Quote(list) + " 2>/dev/null");
  fs::remove(list);
  if (peer.size() != samples.size()) peer.assign(samples.size(), "(file not available)");

  std::map<std::string, Expected> expected = Expectations();
  EXPECT_FALSE(expected.empty()) << "tests/corpus_expectations.tsv is missing";
  fs::create_directories(PROBELIN_REPORT_DIR);
  std::ofstream table(fs::path(PROBELIN_REPORT_DIR) / "probelin_corpus.tsv");
  table << "file\tresult\tid\tsub\tname\tsecond\tlanguage\tprotection\tfile -b\tindex\n";
  size_t checked = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    const Sample& s = samples[i];
    SCOPED_TRACE(s.key);
    Detection d = DetectPath(s.path.string());
    EXPECT_TRUE(TempEntries().empty()) << "left behind: " << TempEntries().front();
    const FileDtctRecord& r = d.record;
    table << s.key << '\t' << d.result << '\t' << r.format_id << '\t' << r.sub << '\t' << r.name << '\t'
          << r.second_text << '\t' << r.language << '\t' << r.protection << '\t' << peer[i] << '\t' << s.description
          << '\n';
    auto e = expected.find(s.key);
    if (e == expected.end()) {
      ADD_FAILURE() << "no reviewed answer for " << s.key;
      continue;
    }
    ++checked;
    EXPECT_EQ(d.result, e->second.result);
    EXPECT_EQ(r.format_id, e->second.id);
    EXPECT_EQ(r.sub, e->second.sub);
    EXPECT_EQ(r.name, e->second.name);
    EXPECT_EQ(r.second_text, e->second.second);
    EXPECT_EQ(r.language, e->second.language);
    EXPECT_EQ(e->second.note.rfind("interim", 0), std::string::npos) << "an answer still waiting for review";
  }
  EXPECT_EQ(checked, expected.size()) << "listed files missing from the corpus";
}

const char kVisioTitle[] = "566973696f2028544d292044726177696e670d0a";  // "Visio (TM) Drawing\r\n"

TEST(DtctCorpus, VisioDrawingsAreNamedByHeaderVersion) {
  fs::path data;
  std::string why;
  if (!CorpusOrSkip(&data, &why)) GTEST_SKIP() << why;
  std::string python;
  for (const char* candidate : {"/usr/bin/python3", "python3"})
    if (python.empty() && std::system((std::string(candidate) + " -c 'import olefile' >/dev/null 2>&1").c_str()) == 0)
      python = candidate;
  if (python.empty()) GTEST_SKIP() << "python3 with the olefile module (python3-olefile) is missing";

  std::string command = python + " " + Quote(fs::path(PROBELIN_SOURCE_DIR) / "../dalvex/tests/olefile_dump.py") + " --head";
  std::map<std::string, fs::path> by_name;
  for (const Sample& s : Samples(data)) {
    command += " " + Quote(s.path);
    by_name[s.path.filename().string()] = s.path;
  }
  const std::string visio_path = "566973696f446f63756d656e74";  // "VisioDocument" at the root
  int drawings = 0;
  std::string current;
  for (const std::string& line : RunLines(command + " 2>/dev/null")) {
    std::vector<std::string> f = testsupport::SplitFields(line, '\t');
    if (f.size() >= 3 && f[0] == "FILE") current = f[1];
    if (f.size() != 4 || f[0] != "STREAM" || f[1] != visio_path || f[3].rfind(kVisioTitle, 0) != 0) continue;
    if (f[3].size() < 56) continue;
    int version = std::stoi(f[3].substr(52, 2), nullptr, 16) | std::stoi(f[3].substr(54, 2), nullptr, 16) << 8;
    static const std::map<int, const char*> kNames = {
        {3, "Visio 3.0"}, {4, "Visio 4.0"}, {5, "Visio 5.0"}, {6, "Visio 2000/2002"}, {11, "Visio 2003/2007"}};
    SCOPED_TRACE(current + " version " + std::to_string(version));
    Detection d = DetectPath(by_name[current].string());
    ++drawings;
    auto name = kNames.find(version);
    if (name == kNames.end()) {
      EXPECT_EQ(d.result, 0);
      continue;
    }
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.record.format_id, 378);
    EXPECT_EQ(d.record.sub, version);
    EXPECT_STREQ(d.record.name, name->second);
  }
  // At least every drawing that the index of vsd/ gives a header version.
  size_t indexed = 0;
  for (testsupport::IndexRow& row : testsupport::ReadIndex(data / "vsd"))
    indexed += std::isdigit(static_cast<unsigned char>(row["VisioDocument_header_version"][0])) != 0;
  EXPECT_GE(static_cast<size_t>(drawings), indexed);
}

// The families of the agreement report (tests/file_families.tsv).
struct Families {
  std::vector<std::pair<std::string, std::string>> verdicts;  // start of a verdict, family
  std::map<int32_t, std::string> ids;
  std::map<std::string, std::string> names;

  // The family of a verdict, or "" when no row takes it.
  std::string OfVerdict(const std::string& verdict) const {
    for (const auto& [start, family] : verdicts)
      if (verdict.rfind(start, 0) == 0) return family;
    return "";
  }
  std::string OfAnswer(const Expected& e) const {
    if (e.id != 0) {
      auto f = ids.find(e.id);
      return f == ids.end() ? "other" : f->second;
    }
    auto f = names.find(e.name);
    return f == names.end() ? "other" : f->second;
  }
};

Families ReadFamilies() {
  Families out;
  std::ifstream in(std::string(PROBELIN_SOURCE_DIR) + "/tests/file_families.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = testsupport::SplitFields(line, '\t');
    if (f.size() != 3) continue;
    if (f[0] == "verdict") out.verdicts.emplace_back(f[1], f[2]);
    else if (f[0] == "id") out.ids[std::stoi(f[1])] = f[2];
    else if (f[0] == "name") out.names[f[1]] = f[2];
  }
  return out;
}

// The charset a text verdict names, as the fallback would write it; "" when
// it names none this comparison knows.
std::string VerdictCharset(const std::string& verdict) {
  if (verdict.find("UTF-8") != std::string::npos) return "UTF-8";
  if (verdict.find("UTF-16") != std::string::npos) return "UTF-16";
  if (verdict.find("UTF-32") != std::string::npos) return "ISO-10646-UCS-4";
  if (verdict.rfind("ASCII text", 0) == 0) return "ISO-8859-1";
  return "";
}

std::string Answer(const Expected& e) {
  std::string out = std::to_string(e.result) + " " + std::to_string(e.id) + "/" + std::to_string(e.sub);
  if (!e.name.empty()) out += " \"" + e.name + "\"";
  return out;
}

// The answers before and after text and package detection beside `file -b`,
// family by family; every verdict must have its family, and every answer
// that differs from `file` without being a format the detector does not
// know (-1) must carry its reason in the reviewed list.
TEST(DtctCorpus, AgreementWithFileByFamily) {
  fs::path data;
  std::string why;
  if (!CorpusOrSkip(&data, &why)) GTEST_SKIP() << why;
  const Families families = ReadFamilies();
  ASSERT_FALSE(families.verdicts.empty()) << "tests/file_families.tsv is missing";
  const std::map<std::string, Expected> landed = ReadAnswers("corpus_landed.tsv"), now = Expectations();
  struct Count {
    int files = 0, landed = 0, now = 0;
    std::vector<std::string> differences;
  };
  std::map<std::string, Count> counts;
  Count charsets;
  for (const Sample& s : Samples(data)) {
    SCOPED_TRACE(s.key + ": " + s.verdict);
    std::string family = families.OfVerdict(s.verdict);
    EXPECT_FALSE(family.empty()) << "a verdict without a family";
    auto before = landed.find(s.key), after = now.find(s.key);
    if (family.empty() || before == landed.end() || after == now.end()) continue;
    Count& c = counts[family];
    ++c.files;
    c.landed += families.OfAnswer(before->second) == family;
    if (families.OfAnswer(after->second) == family) {
      ++c.now;
    } else {
      c.differences.push_back(s.key + " (" + s.verdict.substr(0, 50) + "): " + Answer(after->second) + "; " +
                              (after->second.note.empty() ? "not a format this detector knows" : after->second.note));
      if (after->second.result != -1) {
        EXPECT_FALSE(after->second.note.empty()) << "a difference without its reason";
      }
    }
    std::string charset = VerdictCharset(s.verdict);
    if (family == "text" && !charset.empty()) {
      ++charsets.files;
      charsets.now += after->second.second == charset;
    }
  }
  std::ostringstream report;
  report << "| family | files | landed | now |\n|---|---:|---:|---:|\n";
  Count total;
  for (const auto& [family, c] : counts) {
    report << "| " << family << " | " << c.files << " | " << c.landed << " | " << c.now << " |\n";
    total.files += c.files;
    total.landed += c.landed;
    total.now += c.now;
  }
  report << "| all | " << total.files << " | " << total.landed << " | " << total.now << " |\n";
  report << "| text charset (UTF-8, UTF-16, UTF-32, ASCII as ISO-8859-1) | " << charsets.files << " | 0 | "
         << charsets.now << " |\n\n";
  for (const auto& [family, c] : counts) {
    if (c.differences.empty()) continue;
    report << "### " << family << "\n";
    for (const std::string& d : c.differences) report << "- " << d << "\n";
    report << "\n";
  }
  fs::create_directories(PROBELIN_REPORT_DIR);
  std::ofstream(fs::path(PROBELIN_REPORT_DIR) / "probelin_agreement.md") << report.str();
  std::cout << report.str();
}

}  // namespace
