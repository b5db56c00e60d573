// The property-set reader of a Visio extraction over crafted compound
// files: the eight kept texts in UTF-16, their source cuts, the set's code
// page (unsigned, lead byte first for double-byte sets, ISO-8859-1 for one
// without a charset), and streams whose sizes, counts and offsets lie.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dalvex/compound_file.h"
#include "engine_fixture.h"
#include "property_sets.h"
#include "testsupport/compound_file_writer.h"
#include "testsupport/property_set_writer.h"
#include "visio_builder.h"

namespace {

using vsdtest::Utf16;

using namespace testsupport;
using glyphane::VsdProperty;

class PropertySets : public glyphane_test::EngineTest {
 protected:
  // Reads a compound file made of the given streams (empty: absent).
  int32_t Read(const std::string& summary, const std::string& document = std::string(),
               uint32_t text_code_page = 932) {
    CompoundFileWriter writer;
    if (!summary.empty()) writer.AddStream(writer.Root(), "\005SummaryInformation", summary);
    if (!document.empty()) writer.AddStream(writer.Root(), "\005DocumentSummaryInformation", document);
    writer.AddStream(writer.Root(), "VisioDocument", std::string(64, '\0'));
    std::string path = (TempDir() / ("d" + std::to_string(files_++) + ".vsd")).string();
    EXPECT_TRUE(writer.Build().Save(path));
    KVB_OleStorage* root = KVB_2OLEopen(path.c_str());
    EXPECT_NE(root, nullptr);
    std::memset(&record_, 0x5A, sizeof record_);
    int32_t rc = glyphane::ReadPropertySets(root, text_code_page, &record_);
    KVB_2OLEclose(root);
    return rc;
  }
  std::string Text(VsdProperty p) { return std::string(glyphane::PropertyText(record_, p)); }

  glyphane::VsdPropertyRecord record_;
  int files_ = 0;
};

TEST_F(PropertySets, KeepsTheEightTextsInUtf16) {
  ASSERT_EQ(Read(SummaryStream({I2(1, 1252), Lpstr(2, "Title test"), Lpstr(3, "Subject"), Lpstr(4, "Author"),
                                Lpstr(5, "Keys"), Lpstr(6, "Comments"), Lpstr(9, "not kept")}),
                 Stream(kDocumentFmtid, Section({Lpstr(2, "Category"), Lpstr(14, "Manager"), Lpstr(15, "Company")}))),
            0);
  EXPECT_EQ(record_.code_page, 1252);
  EXPECT_EQ(Text(VsdProperty::kTitle), Utf16(u"Title test"));
  EXPECT_EQ(record_.title_length, 20);
  EXPECT_EQ(Text(VsdProperty::kSubject), Utf16(u"Subject"));
  EXPECT_EQ(Text(VsdProperty::kAuthor), Utf16(u"Author"));
  EXPECT_EQ(Text(VsdProperty::kKeywords), Utf16(u"Keys"));
  EXPECT_EQ(Text(VsdProperty::kComments), Utf16(u"Comments"));
  EXPECT_EQ(Text(VsdProperty::kCategory), Utf16(u"Category"));
  EXPECT_EQ(Text(VsdProperty::kManager), Utf16(u"Manager"));
  EXPECT_EQ(Text(VsdProperty::kCompany), Utf16(u"Company"));

  // Without property-set streams: nothing kept, no error.
  ASSERT_EQ(Read(std::string()), 0);
  EXPECT_EQ(record_.code_page, 0);
  EXPECT_EQ(Text(VsdProperty::kTitle), "");
}

TEST_F(PropertySets, SourcesAreCutToTheirLongestText) {
  std::string sjis;
  for (int i = 0; i < 40; ++i) sjis += "\x82\xA0";
  ASSERT_EQ(Read(SummaryStream({Lpstr(2, std::string(300, 't')), Lpstr(4, std::string(100, 'a')),
                                Lpstr(5, "k" + sjis)})),
            0);
  EXPECT_EQ(Text(VsdProperty::kTitle), Utf16(std::u16string(254, u't')));
  EXPECT_EQ(Text(VsdProperty::kAuthor), Utf16(std::u16string(62, u'a')));
  // 62 bytes would end inside a character: 30 whole ones after the "k".
  EXPECT_EQ(Text(VsdProperty::kKeywords), Utf16(u"k" + std::u16string(30, u'あ')));
}

TEST_F(PropertySets, TheSetsCodePageReadsTheTexts) {
  struct Case {
    uint16_t code_page;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {936, "\xD6\xD0\xCE\xC4", u"中文"},  // lead byte first
      {3000, "\xD6\xD0\xCE\xC4", u"中文"},
      {950, "\xA4\xA4\xA4\xE5", u"中文"},
      {static_cast<uint16_t>(-535), "myt\xC3\xA9\xC5\x91", u"mytéő"},
      {1250, "\xE6x", u"æx"},  // no byte swallows the next
      {1251, "Mera", u"Mera"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code_page);
    ASSERT_EQ(Read(SummaryStream({I2(1, c.code_page), Lpstr(2, c.bytes)})), 0);
    EXPECT_EQ(record_.code_page, c.code_page);
    EXPECT_EQ(Text(VsdProperty::kTitle), Utf16(c.text));
  }
  // Until the set states one, the text code page of the extraction.
  ASSERT_EQ(Read(SummaryStream({Lpstr(2, "\x82\xA0")}), std::string(), 932), 0);
  EXPECT_EQ(Text(VsdProperty::kTitle), Utf16(u"あ"));
}

TEST_F(PropertySets, StreamsThatLieAreRefusedOrSkipped) {
  auto with = [](size_t at, uint32_t value) {
    std::string s = SummaryStream({Lpstr(2, "Title"), Lpstr(4, "Author")});
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(value >> (8 * i));
    return s;
  };
  struct Case {
    const char* what;
    std::string stream;
    int32_t result;
    std::u16string title, author;
  } cases[] = {
      {"size 0xFFFFFFFF", with(48, 0xFFFFFFFF), 3002, u"", u""},
      {"size below 5", with(48, 4), 0, u"", u""},
      {"size 7", with(48, 7), 3002, u"", u""},
      {"count not below (size - 8) / 8", with(52, 7), 3002, u"", u""},
      {"section count", with(24, 0xFFFFFFFF), 3002, u"", u""},
      {"section offset", with(44, 0xFFFFFFF0), 3002, u"", u""},
      {"property offset past the section", with(60, 0x7FFFFFFF), 0, u"", u"Author"},
      {"text length past the section", with(76, 0xFFFFFFFF), 0, u"", u"Author"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Read(c.stream), c.result);
    EXPECT_EQ(Text(VsdProperty::kTitle), Utf16(c.title));
    EXPECT_EQ(Text(VsdProperty::kAuthor), Utf16(c.author));
  }
}

}  // namespace
