// Property-set streams made by the test builders: code pages, byte order,
// vectors, dictionary sections, hyperlinks, and counts and lengths that ask
// for more than the stream holds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ole_support.h"
#include "quarnel/ole_summary.h"
#include "quarnel/value.h"
#include "testsupport/compound_file_writer.h"
#include "testsupport/property_set_writer.h"
#include "testsupport/testdata.h"

namespace {

using ObraCommon::OlePropertySet;
using ObraCommon::OleSummaryInformation;
using ObraCommon::ZelValue;
using quarnel_test::OpenedCompoundFile;
namespace ps = testsupport;

const char kSummary[] = "\x05SummaryInformation";
const char kDocument[] = "\x05" "DocumentSummaryInformation";

std::string FileWith(const std::string& name, const std::string& stream) {
  testsupport::CompoundFileWriter w;
  w.AddStream(w.Root(), name, stream);
  w.AddStream(w.Root(), "WordDocument", std::string(100, 'w'));
  return w.Build().bytes;
}

std::string Utf8(const ZelValue& v) {
  std::string out;
  v.toString().toUTF8String(out);
  return out;
}

// A 16-bit value with the given padding.
ps::Property I2Padded(uint32_t id, uint16_t v, uint16_t padding) {
  ps::Property p = ps::I2(id, v);
  p.value[6] = static_cast<char>(padding);
  p.value[7] = static_cast<char>(padding >> 8);
  return p;
}

// The UTF-16LE bytes of a text, as an 8-bit string holds them under 1200.
std::string Utf16Bytes(const std::u16string& text) {
  std::string s;
  for (char16_t u : text) {
    s.push_back(static_cast<char>(u & 0xFF));
    s.push_back(static_cast<char>(u >> 8));
  }
  return s;
}

TEST(OleSummaryInformation, CodePagesAndTexts) {
  struct Case {
    const char* name;
    std::vector<ps::Property> properties;
    const char* codePage;
    const char* title;  // UTF-8; null: not found
  } cases[] = {
      {"no code page", {ps::Lpstr(2, "\x82\xA0")}, "cp932", "\xE3\x81\x82"},
      {"65001", {ps::I2(1, 65001), ps::Lpstr(2, "\xC3\xA9t\xC3\xA9")}, "UTF-8", "\xC3\xA9t\xC3\xA9"},
      {"1252", {ps::I2(1, 1252), ps::Lpstr(2, "caf\xE9")}, "cp1252", "caf\xC3\xA9"},
      {"10000", {ps::I2(1, 10000), ps::Lpstr(2, "\x8E")}, "windows-10000", "\xC3\xA9"},
      {"padding is not the value", {I2Padded(1, 1252, 0x0040), ps::Lpstr(2, "\xE9")}, "cp1252", "\xC3\xA9"},
      {"1200 keeps UTF-16LE", {ps::I2(1, 1200), ps::Lpstr(2, Utf16Bytes(u"Ab\u00E9"))}, "cp1200", "Ab\xC3\xA9"},
      {"text cut at its first zero", {ps::I2(1, 1252), ps::Lpstr(2, std::string("ab\0cd", 5))}, "cp1252", "ab"},
      {"UTF-16 strings are not answered", {ps::I2(1, 1252), ps::Lpwstr(2, u"wide")}, "cp1252", nullptr},
      {"a time is not answered", {ps::FileTime(12, 1)}, "cp932", nullptr},
      {"vector of texts gives the last", {ps::I2(1, 1252), ps::LpstrVector(2, {"first one", "second"})}, "cp1252",
       "second"},
      {"empty vector", {ps::I2(1, 1252), ps::LpstrVector(2, {})}, "cp1252", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedCompoundFile f(FileWith(kSummary, ps::SummaryStream(c.properties)));
    ASSERT_TRUE(f.ok);
    OleSummaryInformation summary;
    EXPECT_EQ(summary.initSummaryInformation(&f.file), 1);
    EXPECT_STREQ(summary.getCodePage(), c.codePage);
    ZelValue title;
    const uint32_t id = std::string(c.name) == "a time is not answered" ? 12 : 2;
    const int found = summary.getProperty(id, title);
    if (c.title == nullptr) {
      EXPECT_EQ(found, -1);
    } else {
      EXPECT_EQ(found, 1);
      EXPECT_EQ(Utf8(title), c.title);
    }
  }
}

TEST(OleSummaryInformation, BigEndianStream) {
  OpenedCompoundFile f(FileWith(kSummary, ps::BigEndianSummaryStream(1252, "R\xE9sum\xE9")));
  ASSERT_TRUE(f.ok);
  OleSummaryInformation summary;
  EXPECT_EQ(summary.initSummaryInformation(&f.file), 1);
  EXPECT_STREQ(summary.getCodePage(), "cp1252");
  ZelValue title;
  ASSERT_EQ(summary.getProperty(2, title), 1);
  EXPECT_EQ(Utf8(title), "R\xC3\xA9sum\xC3\xA9");
}

TEST(OleSummaryInformation, DictionarySectionsAndHyperlinks) {
  const std::string userSection =
      ps::Section({ps::Dictionary({{2, "_PID_HLINKS"}, {3, "Other"}}), ps::Lpstr(4, "not the title"),
                   ps::HyperlinkBlob(2, {u"http://example.invalid/", u"", u"mailto:someone@example.invalid"}),
                   ps::HyperlinkBlob(3, {u"unnamed"})});
  // A dictionary section ahead of the summary section is passed over.
  const std::string summary = ps::Stream({{ps::kDocumentFmtid, ps::Section({ps::Dictionary({{2, "x"}}), ps::Lpstr(2, "wrong")})},
                                          {ps::kSummaryFmtid, ps::Section({ps::Lpstr(2, "right")})}});
  testsupport::CompoundFileWriter w;
  w.AddStream(w.Root(), kSummary, summary);
  w.AddStream(w.Root(), kDocument, ps::Stream({{ps::kDocumentFmtid, ps::Section({ps::Lpstr(2, "Cat")})},
                                               {ps::kDocumentFmtid, userSection}}));
  OpenedCompoundFile f(w.Build().bytes);
  ASSERT_TRUE(f.ok);

  OleSummaryInformation info;
  EXPECT_EQ(info.initSummaryInformation(&f.file), 1);
  ZelValue title;
  ASSERT_EQ(info.getProperty(2, title), 1);
  EXPECT_EQ(Utf8(title), "right");
  std::vector<icu::UnicodeString> none;
  EXPECT_EQ(info.getHyperLinks(none), -1);  // its dictionary names no links

  OleSummaryInformation document;
  EXPECT_EQ(document.initDocumentSummaryInformation(&f.file), 1);
  EXPECT_EQ(document.getProperty(2, title), -1);  // the document reader answers no property
  std::vector<icu::UnicodeString> links;
  EXPECT_EQ(document.getHyperLinks(links), 1);
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0], icu::UnicodeString(u"http://example.invalid/"));
  EXPECT_EQ(links[1], icu::UnicodeString(u"mailto:someone@example.invalid"));
  EXPECT_EQ(document.initSummaryInformation(&f.file), -1);  // once per reader

  OlePropertySet set;
  set.init(&f.file);
  EXPECT_EQ(set.getTitle(), icu::UnicodeString(u"right"));
  EXPECT_TRUE(set.getAuthor().isEmpty());
}

void PutAt(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + size_t(i)] = static_cast<char>(v >> (8 * i));
}

// Counts and lengths beyond the stream: the reader refuses them without
// making anything for them.
TEST(OleSummaryInformation, CountsBeyondTheStream) {
  const std::string base = ps::SummaryStream({ps::I2(1, 1252), ps::Lpstr(2, "title"), ps::LpstrVector(3, {"a"})});
  // Offsets: header 28, pair 48, section at 48: size, count, pairs from 56;
  // values from 48 + 8 + 24 = 80: I2 (8 bytes), LPSTR at 88 (type, length),
  // vector at 88 + 16 = 104 (type, count, length).
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
    int init;
    uint32_t id;
    int property;
  } cases[] = {
      {"section count", 24, 0xFFFFFFFF, -1, 2, -1},
      {"property count", 52, 0x20000000, -1, 2, -1},
      {"text length", 92, 0x7FFFFFF0, 1, 2, -1},
      {"vector count", 108, 0x40000000, 1, 3, -1},
      {"vector element length", 112, 0xFFFFFFF0, 1, 3, -1},
      {"section offset past the end", 44, 0x7FFFFFFF, -1, 2, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string stream = base;
    PutAt(stream, c.at, c.value);
    OpenedCompoundFile f(FileWith(kSummary, stream));
    ASSERT_TRUE(f.ok);
    OleSummaryInformation summary;
    EXPECT_EQ(summary.initSummaryInformation(&f.file), c.init);
    ZelValue v;
    EXPECT_EQ(summary.getProperty(c.id, v), c.property);
  }

  // Dictionary and hyperlink counts and lengths.
  const std::string user = ps::Section({ps::Dictionary({{2, "_PID_HLINKS"}}), ps::HyperlinkBlob(2, {u"http://a/"})});
  const std::string doc = ps::Stream({{ps::kDocumentFmtid, user}});
  // Section at 48; pairs at 56 (dictionary at 72) and 64 (blob); the
  // dictionary: count at 72, entry id 76, length 80, name 84 (12 bytes);
  // the blob at 96: type, size 100, items 104, first item 108.
  struct LinkCase {
    const char* name;
    size_t at;
    uint32_t value;
    int links;
  } linkCases[] = {
      {"dictionary count", 72, 0x10000000, -1},
      {"dictionary name length", 80, 0x7FFFFFFF, -1},
      {"item count", 104, 0x40000000, -1},
      {"text length", 108 + 4 * 8 + 4, 0x7FFFFFFF, -1},
  };
  for (const LinkCase& c : linkCases) {
    SCOPED_TRACE(c.name);
    std::string stream = doc;
    PutAt(stream, c.at, c.value);
    OpenedCompoundFile f(FileWith(kDocument, stream));
    ASSERT_TRUE(f.ok);
    OleSummaryInformation document;
    document.initDocumentSummaryInformation(&f.file);
    std::vector<icu::UnicodeString> links;
    EXPECT_EQ(document.getHyperLinks(links), c.links);
  }
  // Unchanged, the same stream gives its link.
  OpenedCompoundFile f(FileWith(kDocument, doc));
  OleSummaryInformation document;
  document.initDocumentSummaryInformation(&f.file);
  std::vector<icu::UnicodeString> links;
  EXPECT_EQ(document.getHyperLinks(links), 1);
  EXPECT_EQ(links.size(), 1u);
}

// A stream that declares far more than its chain holds: counts and lengths
// within the declared size make nothing ahead of the bytes that arrive.
TEST(OleSummaryInformation, DeclaredSizeBeyondTheChain) {
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
    int init;
    int title;
  } cases[] = {
      {"property count", 52, 0x0FF00000, -1, -1},
      {"text length", 84, 0x7FFFF000, 1, -1},
      {"section count", 24, 0x05000000, -1, 1},  // the first section is whole
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string stream = ps::SummaryStream({ps::I2(1, 1252), ps::Lpstr(2, "title")});
    PutAt(stream, c.at, c.value);
    stream.resize(5000);  // in regular sectors, as a larger size keeps it
    testsupport::CompoundFileWriter w;
    const int entry = w.AddStream(w.Root(), kSummary, stream);
    testsupport::CompoundFile built = w.Build();
    built.SetEntryU32(built.DirIndex(entry), testsupport::cfb_entry::kSize, 0x7FFFFF00);
    OpenedCompoundFile f(built.bytes);
    ASSERT_TRUE(f.ok);
    OleSummaryInformation summary;
    EXPECT_EQ(summary.initSummaryInformation(&f.file), c.init);
    ZelValue v;
    EXPECT_EQ(summary.getProperty(2, v), c.title);
  }
  // The harness's finding, replayed.
  const char* source = std::getenv("PROJECT_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  const std::string found =
      testsupport::ReadFile(std::filesystem::path(source) / "fuzz" / "regressions" / "ole-summary-property-count.cfb");
  ASSERT_FALSE(found.empty());
  OpenedCompoundFile f(found);
  OleSummaryInformation summary;
  summary.initSummaryInformation(&f.file);
  ZelValue v;
  summary.getProperty(2, v);
}

}  // namespace
