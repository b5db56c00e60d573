// Document properties of real compound files (../shared/testdata/vsd and
// ole) beside python3-olefile's get_metadata() (through
// olefile_properties.py beside this file) and `file -k`: SummaryInfo with
// format code 5000 into UTF-8, and the Visio extraction's property record
// in UTF-16, each compared with olefile's stored bytes decoded by the set's
// code page through glibc's iconv, after the cut each reader applies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "dalvex/compound_file.h"
#include "dalvex/summary_info.h"
#include "engine_fixture.h"
#include "property_sets.h"
#include "testsupport/peers.h"
#include "testsupport/testdata.h"
#include "text_bytes.h"

namespace {

namespace fs = std::filesystem;

std::string Output(const std::string& command) { return testsupport::RunCommand(command).output; }

std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// As far as iconv converts it.
std::string Iconv(const std::string& bytes, const char* from, const char* to) {
  return testsupport::Iconv(bytes, from, to, testsupport::IconvErrors::kStop)
      .value_or("(no iconv " + std::string(from) + ")");
}

// The charset that both readers take a stated code page in: its own, or
// ISO-8859-1 for a code page without one (and for none: English, 1252).
const char* IconvCharset(uint32_t cp) {
  switch (cp) {
    case 932: return "CP932";
    case 936: return "GBK";
    case 949: return "CP949";
    case 950: return "BIG5";
    case 65001: return "UTF-8";
    case 1200: return "UTF-16LE";
    default: return "ISO-8859-1";
  }
}

// SummaryInfo's cut of an 8-bit text to 256 bytes.
size_t Cut256(const std::string& s, uint32_t cp) {
  if (s.size() <= 256) return s.size();
  size_t end = 0;
  while (end < s.size()) {
    uint8_t b = static_cast<uint8_t>(s[end]);
    size_t w = 1;
    if (cp == 65001) w = b >= 0xF0 && b <= 0xF7 ? 4 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xC0 && b <= 0xDF ? 2 : 1;
    else if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) w = 2;
    if (end + w > 256) break;
    end += w;
  }
  return end;
}

struct OleProperty {
  std::string raw;
  bool wide = false;
};
struct OleFile {
  bool refused = false;
  uint32_t code_page = 0;
  std::map<std::string, OleProperty> properties;
};

std::map<std::string, OleFile> OlefileProperties(const std::vector<fs::path>& files) {
  std::string command = "/usr/bin/python3 " + testsupport::ShellQuote((fs::path(PROJECT_SOURCE_DIR_FOR_TESTS) /
                                                                      "glyphane/tests/olefile_properties.py").string());
  for (const fs::path& f : files) command += " " + testsupport::ShellQuote(f.string());
  std::map<std::string, OleFile> result;
  std::istringstream in(Output(command + " 2>/dev/null"));
  OleFile* current = nullptr;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> parts;
    std::stringstream ss(line);
    for (std::string part; std::getline(ss, part, '\t');) parts.push_back(part);
    if (parts.size() >= 3 && parts[0] == "FILE") {
      current = &result[parts[1]];
      current->refused = parts[2] == "REFUSED";
      if (!current->refused) current->code_page = static_cast<uint32_t>(std::stoul(parts[2]));
    } else if (parts.size() >= 3 && parts[0] == "PROP" && current) {
      current->properties[parts[1]] = {Unhex(parts[2]), parts.size() > 3 && parts[3] == "1"};
    }
  }
  return result;
}

// Files whose properties the readers here and olefile see differently.
const std::map<std::string, std::string> kKnownDifferences = {
    {"poi-61300.bin",
     "\\005SummaryInformation declares 4,076,863,688 bytes: the compound-file reader refuses the stream "
     "(3003); olefile reads the 1,024 bytes its chain holds"},
    {"poi-clusterfuzz-testcase-minimized-POIHDGFFuzzer-4913778037489664.vsd",
     "\\005SummaryInformation's mini chain breaks: the compound-file reader refuses the stream (3003); "
     "olefile reads the part before the break"},
    {"poi-TestInvertedClassID.doc",
     "the section's FMTID is stored with its first three fields byte-swapped, so it names no known "
     "set and its properties are not taken; olefile does not look at the FMTID"},
};

class PropertiesCorpus : public glyphane_test::EngineTest {};

TEST_F(PropertiesCorpus, BesideOlefile) {
  TESTDATA_OR_SKIP(root_dir, "");
  if (Output("/usr/bin/python3 -c 'import olefile; print(1)' 2>/dev/null") != "1\n")
    GTEST_SKIP() << "python3-olefile is not installed";
  std::vector<fs::path> files;
  for (const char* sub : {"vsd", "ole"}) {
    if (!fs::is_directory(root_dir / sub)) continue;
    for (const auto& e : fs::directory_iterator(root_dir / sub))
      if (e.is_regular_file() && e.path().extension() != ".tsv") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  std::map<std::string, OleFile> ole = OlefileProperties(files);

  ExtractOptionsV4 options{};
  std::strcpy(options.charset, "UTF-8");
  std::strcpy(options.language, "English");
  KVB_PropertyOptions property_options{5000, 0, 0, 0};
  auto record = std::make_unique<KVB_SummaryRecord>();

  int total_equal = 0, total_compared = 0, file_k_checked = 0, file_k_equal = 0, look_alikes = 0;
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    SCOPED_TRACE(name);
    auto found = ole.find(name);
    ASSERT_NE(found, ole.end());
    const OleFile& o = found->second;
    if (auto known = kKnownDifferences.find(name); known != kKnownDifferences.end()) {
      std::printf("%-60s known difference: %s\n", name.c_str(), known->second.c_str());
      continue;
    }
    int summary = SummaryInfo(file.c_str(), &options, record.get(), &property_options);
    glyphane::VsdPropertyRecord vsd{};
    int32_t vsd_result = -1;
    if (KVB_OleStorage* root = KVB_2OLEopen(file.c_str())) {
      vsd_result = glyphane::ReadPropertySets(root, 1252, &vsd);
      KVB_2OLEclose(root);
    }
    if (o.refused) {
      EXPECT_EQ(summary, 22);
      std::printf("%-60s refused by both\n", name.c_str());
      continue;
    }
    if (summary == 3003) {
      EXPECT_TRUE(o.properties.empty());
      std::printf("%-60s no summary stream\n", name.c_str());
      continue;
    }
    ASSERT_EQ(summary, 0);
    ASSERT_EQ(vsd_result, 0);
    EXPECT_EQ(vsd.code_page, o.code_page);
    const std::string file_k = Output("file -b -k " + testsupport::ShellQuote(file.string()));

    struct Field {
      const char* name;
      const char* slot;
      glyphane::VsdProperty vsd_field;
      size_t vsd_cut;
      const char* file_k_label;
    } fields[] = {
        {"title", record->title, glyphane::VsdProperty::kTitle, 254, "Title: "},
        {"subject", record->subject, glyphane::VsdProperty::kSubject, 254, "Subject: "},
        {"author", record->author, glyphane::VsdProperty::kAuthor, 62, "Author: "},
        {"keywords", record->keywords, glyphane::VsdProperty::kKeywords, 62, "Keywords: "},
        {"comments", record->comments, glyphane::VsdProperty::kComments, 254, "Comments: "},
        {"category", record->category, glyphane::VsdProperty::kCategory, 62, nullptr},
        {"manager", record->manager, glyphane::VsdProperty::kManager, 62, nullptr},
        {"company", record->company, glyphane::VsdProperty::kCompany, 62, nullptr},
    };
    int equal = 0, compared = 0;
    for (const Field& f : fields) {
      auto p = o.properties.find(f.name);
      std::string raw = p == o.properties.end() ? std::string() : p->second.raw;
      const bool wide = p != o.properties.end() && p->second.wide;
      if (wide || o.code_page == 1200) {
        raw.resize(raw.size() & ~size_t{1});
        while (raw.size() >= 2 && raw[raw.size() - 1] == '\0' && raw[raw.size() - 2] == '\0') raw.resize(raw.size() - 2);
      } else {
        while (!raw.empty() && raw.back() == '\0') raw.pop_back();
      }
      const char* charset = wide ? "UTF-16LE" : IconvCharset(o.code_page);
      // SummaryInfo: 256 bytes (whole UTF-16 units for wide texts).
      std::string summary_source = wide ? raw.substr(0, std::min<size_t>(raw.size(), 256) & ~size_t{1})
                                        : raw.substr(0, Cut256(raw, o.code_page));
      std::string expected_summary = Iconv(summary_source, charset, "UTF-8");
      // The property record: 8-bit texts cut to their longest source; wide
      // texts are not kept.
      std::string expected_vsd;
      if (!wide) {
        std::string cut = raw;
        glyphane::CutToCapacity(&cut, f.vsd_cut, o.code_page == 65001 ? 1252 : o.code_page);
        expected_vsd = Iconv(cut, charset, "UTF-16LE");
      }
      ++compared;
      const std::string got_vsd(glyphane::PropertyText(vsd, f.vsd_field));
      if (f.slot == expected_summary && got_vsd == expected_vsd) ++equal;
      EXPECT_EQ(f.slot, expected_summary) << f.name;
      EXPECT_EQ(got_vsd, expected_vsd) << f.name;
      if (!wide && o.code_page != 0 && std::string(IconvCharset(o.code_page)) == "ISO-8859-1" &&
          Iconv(raw, ("CP" + std::to_string(o.code_page)).c_str(), "UTF-8") != Iconv(raw, "ISO-8859-1", "UTF-8"))
        ++look_alikes;
      // `file -k` shows ASCII texts as they stand.
      std::string slot = f.slot;
      // `file` cannot read some sections, and shows 1200 texts as 8-bit ones.
      const bool file_k_reads = file_k.find("Cannot read section info") == std::string::npos && o.code_page != 1200;
      if (f.file_k_label && file_k_reads && !slot.empty() &&
          std::all_of(slot.begin(), slot.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
        ++file_k_checked;
        // A field ends at ", " or, last in its list, at the escaped line break.
        const std::string shown = f.file_k_label + slot;
        if (file_k.find(shown + ",") != std::string::npos || file_k.find(shown + "\\012") != std::string::npos)
          ++file_k_equal;
        else
          std::printf("  file -k differs on %s [%s]\n", f.name, slot.c_str());
      }
    }
    total_equal += equal;
    total_compared += compared;
    std::printf("%-60s cp %5u  fields equal %d/%d  title [%s]\n", name.c_str(), o.code_page, equal, compared,
                record->title);
  }
  std::printf("fields equal %d/%d; file -k agrees on %d/%d ASCII fields; %d texts are Latin-1 look-alikes\n",
              total_equal, total_compared, file_k_equal, file_k_checked, look_alikes);
  EXPECT_EQ(file_k_equal, file_k_checked);
}

}  // namespace
