// The detector over the shared corpus (detect/, ole/, vsd/): every file is
// detected with nothing left in the temporary folder; a table of answers
// beside `file -b` and the corpus index goes to the build folder
// (reports/probelin_corpus.tsv); the answers are compared with the reviewed
// list tests/corpus_expectations.tsv; and every Visio drawing is named by
// the header version that python3-olefile reads from its stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
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
};

// The corpus files of the three folders with the index's description.
std::vector<Sample> Samples(const fs::path& data) {
  std::vector<Sample> samples;
  for (const char* folder : {"detect", "ole", "vsd"}) {
    std::map<std::string, std::string> described;
    const std::string kind = folder;
    for (testsupport::IndexRow& row : testsupport::ReadIndex(data / folder))
      described[row["file"]] = kind == "detect" ? row["what_it_is"]
                               : kind == "ole"  ? row["what (judgement)"]
                                                : "VisioDocument version " + row["VisioDocument_header_version"];
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(data / folder))
      if (e.is_regular_file() && e.path().filename() != "INDEX.tsv") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& p : files)
      samples.push_back({std::string(folder) + "/" + p.filename().string(), p, described[p.filename().string()]});
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

}  // namespace
