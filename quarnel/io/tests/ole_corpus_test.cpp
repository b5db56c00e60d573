// The compound-file and property-set readers over the real files of the
// shared test data, compared with python3-olefile at test time: the same
// files open, every stream up to four names deep has olefile's size and
// SHA-256, document kinds follow the streams olefile lists, and summary
// properties and hyperlinks equal what olefile's bytes decode to.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "quarnel/ole_comp_file.h"
#include "quarnel/ole_summary.h"
#include "quarnel/value.h"
#include "testsupport/olefile_peer.h"
#include "testsupport/sha256.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;
using ObraCommon::OleCompFile;
using ObraCommon::OleDirPath;
using ObraCommon::OleStream;
using ObraCommon::OleSummaryInformation;
using ObraCommon::ZelValue;

// Files where this reader and olefile knowingly differ.
const std::map<std::string, std::string> kKnownDifferences = {
    {"poi-61300.bin",
     "\\005SummaryInformation declares 4,076,863,688 bytes: a size of 2 GiB or more is not opened; olefile "
     "reads what its chain holds"},
    {"poi-unknown_properties.msg",
     "directory entry 44 has a name length of 70 bytes, which refuses the file; olefile opens it"},
    {"poi-clusterfuzz-testcase-minimized-POIHSSFFuzzer-5786329142919168.xls",
     "the name length is odd (19): its 9 units give \"Workbook\"; olefile lists \"Workbook\\uFFFD\""},
};

std::string Utf8(const icu::UnicodeString& s) {
  std::string out;
  s.toUTF8String(out);
  return out;
}

std::string Hex(const std::string& s) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::vector<fs::path> FilesOf(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file() && e.path().filename() != "INDEX.tsv") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

OleDirPath PathOf(const std::vector<std::string>& names) {
  OleDirPath p;
  for (const std::string& n : names) p.names[p.count++] = n.c_str();
  return p;
}

// Declared size and SHA-256 of what reads; size -1 when it does not open.
std::pair<long long, std::string> ReadWhole(OleCompFile& file, const std::vector<std::string>& names) {
  OleDirPath p = PathOf(names);
  std::unique_ptr<OleStream> s(file.OLEopenStream(&p));
  if (!s) return {-1, ""};
  testsupport::Sha256 sha;
  unsigned char buf[8192];
  int n;
  while ((n = s->OLEread(buf, sizeof buf)) > 0) sha.Update(reinterpret_cast<const char*>(buf), size_t(n));
  return {s->GetStreamSize(), sha.HexDigest()};
}

class OleCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    python_ = testsupport::PythonWithOlefile();
    if (python_.empty()) GTEST_SKIP() << "python3 with the olefile module (python3-olefile) is missing";
  }

  // Every file of the folder opens or is refused as olefile does, and reads
  // its streams as olefile does.
  void CompareFolder(const fs::path& dir) {
    std::vector<fs::path> files = FilesOf(dir);
    auto peer = testsupport::RunOlefileDump(python_, files);
    ASSERT_EQ(peer.size(), files.size()) << "olefile_dump.py did not report every file";
    for (const fs::path& path : files) {
      const std::string name = path.filename().string();
      const bool excused = kKnownDifferences.count(name) != 0;
      const testsupport::OlefileFile& theirs = peer[name];
      OleCompFile file;
      const bool opened = file.OLEopen(path.c_str());
      if (opened != theirs.opened) {
        EXPECT_TRUE(excused) << name << ": ours " << opened << ", olefile " << theirs.opened;
      }
      if (!opened) continue;
      for (const testsupport::OlefileStream& s : theirs.streams) {
        if (s.path.size() > 4) continue;
        auto [size, digest] = ReadWhole(file, s.path);
        if (size != s.size || digest != s.digest) {
          EXPECT_TRUE(excused) << name << " " << s.path.back() << ": ours " << size << " " << digest << ", olefile "
                               << s.size << " " << s.digest;
        }
      }
    }
  }

  std::string python_;
};

TEST_F(OleCorpus, OleFilesReadAsOlefileReadsThem) {
  TESTDATA_OR_SKIP(dir, "ole");
  CompareFolder(dir);
}

TEST_F(OleCorpus, DrawingsReadAsOlefileReadsThem) {
  TESTDATA_OR_SKIP(dir, "vsd");
  CompareFolder(dir);
}

// The document kind from the streams olefile lists at the root.
int KindFromStreams(const testsupport::OlefileFile& f) {
  auto size = [&f](std::vector<std::string> want) -> long long {
    for (const auto& s : f.streams) {
      if (s.path.size() != want.size()) continue;
      bool same = true;
      for (size_t i = 0; i < want.size(); ++i) {
        icu::UnicodeString a = icu::UnicodeString::fromUTF8(s.path[i]), b = icu::UnicodeString::fromUTF8(want[i]);
        same = same && a.toUpper() == b.toUpper();
      }
      if (same) return s.size;
    }
    return -1;
  };
  if (size({"WordDocument"}) >= 0) return 1;
  if (size({"Workbook"}) >= 0) return 2;
  if (size({"PP97_DUALSTORAGE", "Current User"}) >= 0) {
    if (size({"PP97_DUALSTORAGE", "PowerPoint Document"}) >= 0) return 3;
  } else if (size({"Current User"}) >= 20 && size({"PowerPoint Document"}) >= 0) {
    return 3;
  }
  if (size({"DocumentViewStyles"}) >= 0) return 4;
  return 0;
}

TEST_F(OleCorpus, DocumentKindsFollowTheStreams) {
  std::map<int, int> counts;
  for (const char* sub : {"ole", "vsd", "detect"}) {
    TESTDATA_OR_SKIP(dir, sub);
    std::vector<fs::path> files = FilesOf(dir);
    auto peer = testsupport::RunOlefileDump(python_, files);
    for (const fs::path& path : files) {
      const std::string name = path.filename().string();
      if (!peer[name].opened || kKnownDifferences.count(name)) continue;
      std::ifstream in(path, std::ios::binary);
      const int kind = OleCompFile::detectOLEDocument(in);
      EXPECT_EQ(kind, KindFromStreams(peer[name])) << name;
      ++counts[kind];
    }
  }
  std::string summary;
  for (auto [kind, n] : counts) summary += " " + std::to_string(kind) + ":" + std::to_string(n);
  RecordProperty("kinds", summary);
  EXPECT_GT(counts[1], 0);
}

// Summary properties and hyperlinks equal olefile's, decoded with the file's
// code page.
TEST_F(OleCorpus, SummaryPropertiesAndHyperlinksAgreeWithOlefile) {
  size_t compared = 0, links = 0;
  for (const char* sub : {"ole", "vsd", "detect"}) {
    TESTDATA_OR_SKIP(dir, sub);
    std::vector<fs::path> files = FilesOf(dir);
    for (const std::string& line : testsupport::RunPythonScript(python_, "quarnel/io/tests/olefile_summary.py", files)) {
      std::vector<std::string> f = testsupport::SplitFields(line, '\t');
      if (f.size() != 9 || f[2] != "OK") continue;
      const std::string& name = f[1];
      OleCompFile file;
      if (!file.OLEopen((dir / name).c_str())) continue;  // refusals are compared above
      SCOPED_TRACE(name);
      OleSummaryInformation summary;
      summary.initSummaryInformation(&file);
      ZelValue value;
      const bool hasCodePage = summary.getProperty(1, value) == 1;
      if (f[3] == "-") {
        EXPECT_FALSE(hasCodePage);
      } else {
        ASSERT_TRUE(hasCodePage);
        EXPECT_EQ(std::to_string(value.getIntegerValue() & 0xFFFF), f[3]);
      }
      for (uint32_t id = 2; id <= 5; ++id) {
        const std::string& want = f[2 + id];
        if (want == "?") continue;
        ZelValue text;
        const bool found = summary.getProperty(id, text) == 1;
        // "W": stored as UTF-16 strings, which the reader does not answer.
        if (want == "-" || want == "W") {
          EXPECT_FALSE(found) << id;
        } else {
          EXPECT_TRUE(found) << id;
          EXPECT_EQ(Hex(Utf8(text.toString())), want) << id << " " << Utf8(text.toString());
        }
      }
      ++compared;
      OleSummaryInformation document;
      document.initDocumentSummaryInformation(&file);
      std::vector<icu::UnicodeString> list;
      const int result = document.getHyperLinks(list);
      if (f[8] == "-") {
        EXPECT_EQ(result, -1);
        EXPECT_TRUE(list.empty());
      } else {
        std::string got;
        for (const auto& l : list) got += (got.empty() ? "" : ",") + Hex(Utf8(l));
        EXPECT_EQ(got, f[8]);
        ++links;
      }
    }
  }
  EXPECT_GT(compared, 0u);
  EXPECT_GT(links, 0u);
}

// Named expectations of the data: the mailto link, and the code page and
// author of the two files whose 16-bit code page has non-zero padding.
TEST(OleCorpusFiles, KnownValues) {
  TESTDATA_OR_SKIP(dir, "ole");
  {
    OleCompFile file;
    ASSERT_TRUE(file.OLEopen((dir / "poi-Bug52032_2.doc").c_str()));
    OleSummaryInformation document;
    document.initDocumentSummaryInformation(&file);
    std::vector<icu::UnicodeString> list;
    EXPECT_EQ(document.getHyperLinks(list), 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(Utf8(list[0]), "mailto:xxxxx@xxxxx.xxx");
  }
  for (const char* name : {"poi-TestInvertedClassID.doc", "poi-1904DateWindowing.xls"}) {
    OleCompFile file;
    ASSERT_TRUE(file.OLEopen((dir / name).c_str()));
    OleSummaryInformation summary;
    summary.initSummaryInformation(&file);
    ZelValue value;
    ASSERT_EQ(summary.getProperty(1, value), 1);
    EXPECT_EQ(value.getIntegerValue(), 10000) << name;
    EXPECT_STREQ(summary.getCodePage(), "windows-10000") << name;
  }
}

}  // namespace
