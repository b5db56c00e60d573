// SummaryInfo over crafted compound files: the slots a format code selects,
// the cuts (256 bytes, whole characters, the short form's limits), the
// code-page choice of 8-bit texts (lead byte first for double-byte sets,
// ISO-8859-1 for a stated code page without a charset), UTF-16 texts, file
// times, and property-set streams whose sizes, counts and offsets lie.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "dalvex/cconv.h"
#include "dalvex/summary_info.h"
#include "testsupport/compound_file_writer.h"
#include "testsupport/property_set_writer.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;

using namespace testsupport;  // the property-set builders

class SummaryInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(fs::path(std::getenv("PROJECT_BUILD_DIR")) / "etc", testsupport::TempDir() / "etc",
             fs::copy_options::recursive);
    ASSERT_EQ(startProcess(), 1);
    ASSERT_EQ(cconvLoadRule(), 1);
    CconvSession session{};
    uint8_t in[1] = {'a'}, out[4];
    session.input = in;
    session.input_length = 1;
    session.output = out;
    session.output_capacity = 4;
    ASSERT_EQ(cconvInitConvert(&session, nullptr, "UTF-8"), 0);
    ASSERT_EQ(cconvChgCharset(&session, nullptr, "WINDOWS31J"), 0);
    int status = cconvConvert(&session);
    cconvTermConvert(&session);
    if (status == 1) GTEST_SKIP() << "the engine has no codecs yet (cconvConvert answers 1)";
    std::strcpy(options_.charset, "UTF-8");
    std::strcpy(options_.language, "English");
  }
  void TearDown() override { endProcess(); }

  // Writes a compound file with the given property streams (empty: absent).
  std::string Write(const std::string& summary, const std::string& document = std::string()) {
    testsupport::CompoundFileWriter writer;
    if (!summary.empty()) writer.AddStream(writer.Root(), "\005SummaryInformation", summary);
    if (!document.empty()) writer.AddStream(writer.Root(), "\005DocumentSummaryInformation", document);
    writer.AddStream(writer.Root(), "Other", std::string(8, 'x'));
    std::string path = (testsupport::TempDir() / ("props" + std::to_string(files_++) + ".ole")).string();
    EXPECT_TRUE(writer.Build().Save(path));
    return path;
  }

  int Run(const std::string& path, uint16_t format_code, uint16_t code_page = 0) {
    KVB_PropertyOptions property{};
    property.format_code = format_code;
    property.default_code_page = code_page;
    std::memset(&record_, 0x5A, sizeof record_);
    return SummaryInfo(path.c_str(), &options_, &record_, &property);
  }

  ExtractOptionsV4 options_{};
  KVB_SummaryRecord record_;
  int files_ = 0;
};

bool AllZero(const void* p, size_t n) {
  const char* c = static_cast<const char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (c[i] != 0) return false;
  return true;
}

TEST_F(SummaryInfoTest, FilesThatCannotBeReadGiveTheirCodes) {
  std::string text = (testsupport::TempDir() / "plain.txt").string();
  ASSERT_TRUE(testsupport::WriteFile(text, "not a compound file"));
  EXPECT_EQ(Run(text, 5000), 22);
  EXPECT_TRUE(AllZero(&record_, sizeof record_));

  EXPECT_EQ(Run(Write(std::string(), Stream(kDocumentFmtid, Section({Lpstr(2, "Cat")}))), 5000), 3003);

  // No document summary stream: the summary slots alone.
  EXPECT_EQ(Run(Write(SummaryStream({Lpstr(2, "Title"), Lpstr(4, "Me")})), 5000), 0);
  EXPECT_STREQ(record_.title, "Title");
  EXPECT_STREQ(record_.author, "Me");
  EXPECT_TRUE(AllZero(record_.category, sizeof record_.category));

  EXPECT_EQ(SummaryInfo(text.c_str(), &options_, nullptr, nullptr), 3000);
}

TEST_F(SummaryInfoTest, FormatCodesSelectTheirSlots) {
  // 1 June 2020, 12:00:00 in 100-ns units since 1601.
  const uint64_t june = (uint64_t{153188} * 86400 + 12 * 3600) * 10000000;
  std::string path = Write(SummaryStream({I2(1, 932), Lpstr(2, "Plan"), Lpstr(8, "Last"), FileTime(12, june),
                                          FileTime(13, june), Lpstr(18, "App")}),
                           Stream(kDocumentFmtid, Section({Lpstr(2, "Cat"), I4(4, 12345), Lpstr(14, "Boss")})));
  struct Case {
    uint16_t code;
    const char* title;
    const char* created;
    const char* last_author;
    const char* category;
    const char* byte_count;
    const char* application;
  } cases[] = {
      {5000, "Plan", "", "", "Cat", "", ""},
      {5008, "", "", "", "", "", ""},
      {6000, "Plan", "2020-06-01 12:00:00", "", "Cat", "", ""},
      {7000, "Plan", "", "Last", "Cat", "12345", ""},
      {9003, "Plan", "2020-06-01 12:00:00", "Last", "Cat", "12345", ""},
      {10002, "Plan", "2020-06-01 12:00:00", "", "", "", "App"},
      {6003, "", "", "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    ASSERT_EQ(Run(path, c.code), 0);
    EXPECT_STREQ(record_.title, c.title);
    EXPECT_STREQ(record_.creation_time, c.created);
    EXPECT_STREQ(record_.last_author, c.last_author);
    EXPECT_STREQ(record_.category, c.category);
    EXPECT_STREQ(record_.byte_count, c.byte_count);
    EXPECT_STREQ(record_.application_name, c.application);
    EXPECT_STREQ(record_.manager, c.code == 5008 || c.code == 6003 || c.code == 10002 ? "" : "Boss");
  }
}

TEST_F(SummaryInfoTest, FileTimesBecomeCalendarDates) {
  struct Case {
    uint64_t seconds;  // since 1601-01-01
    const char* text;
  } cases[] = {
      {uint64_t{153188} * 86400 + 12 * 3600, "2020-06-01 12:00:00"},
      {uint64_t{109205 + 61} * 86400, "1900-03-01 00:00:00"},  // serial 61
      {uint64_t{109205 + 60} * 86400 + 86399, "1900-02-29 23:59:59"},
      {uint64_t{109204} * 86400, ""},  // before 1899-12-30: no text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(Run(Write(SummaryStream({FileTime(12, c.seconds * 10000000)})), 6000), 0);
    EXPECT_STREQ(record_.creation_time, c.text);
  }
  // 0.4 s before midnight rounds up into the next day.
  ASSERT_EQ(Run(Write(SummaryStream({FileTime(12, (uint64_t{153188} * 86400 + 86399) * 10000000 + 6000000)})), 6000), 0);
  EXPECT_STREQ(record_.creation_time, "2020-06-02 00:00:00");
}

TEST_F(SummaryInfoTest, TextsAreCutAtWholeCharacters) {
  std::string ascii(300, 'a');
  std::string sjis;
  for (int i = 0; i < 150; ++i) sjis += "\x82\xA0";  // あ
  std::string odd = "x" + sjis;                      // the 128th character would end at 257
  std::string author(50, 'w');

  ASSERT_EQ(Run(Write(SummaryStream({Lpstr(2, ascii), Lpstr(3, sjis), Lpstr(6, odd)})), 5000, 932), 0);
  EXPECT_EQ(std::strlen(record_.title), 256u);
  std::string subject = record_.subject;
  EXPECT_EQ(subject.size(), 128u * 3);  // 128 characters of 3 UTF-8 bytes
  EXPECT_EQ(std::string(record_.comments).size(), 1 + 127u * 3);

  ASSERT_EQ(Run(Write(SummaryStream({Lpstr(4, author), Lpstr(2, ascii)})), 10002), 0);
  EXPECT_EQ(std::string(record_.author), std::string(30, 'w'));
  EXPECT_EQ(std::strlen(record_.title), 256u);

  // Format codes 9003 and 9004 stop at the first NUL.
  ASSERT_EQ(Run(Write(SummaryStream({Lpstr(2, std::string("ab\0cd", 5))})), 9003), 0);
  EXPECT_STREQ(record_.title, "ab");
}

TEST_F(SummaryInfoTest, ConvertedTextsStayInsideTheirSlots) {
  // 128 double-byte characters give 384 UTF-8 bytes: a 256-byte slot keeps
  // 85 whole characters and its terminator, and the next slot is untouched.
  std::string sjis;
  for (int i = 0; i < 128; ++i) sjis += "\x82\xA0";
  ASSERT_EQ(Run(Write(SummaryStream({I2(1, 932), Lpstr(9, sjis), Lpstr(8, "after")})), 7000), 0);
  EXPECT_EQ(std::string(record_.revision_number).size(), 85u * 3);
  EXPECT_TRUE(AllZero(record_.reserved2, sizeof record_.reserved2));

  // UCS-2 output doubles the bytes: 256 ASCII bytes fill 512 of a 1,028-byte slot.
  std::strcpy(options_.charset, "ISO-10646-UCS-2");
  options_.big_endian = 0;
  ASSERT_EQ(Run(Write(SummaryStream({Lpstr(2, std::string(300, 'q'))})), 5000), 0);
  EXPECT_EQ(record_.title[0], 'q');
  EXPECT_EQ(record_.title[1], 0);
  EXPECT_EQ(record_.title[510], 'q');
  EXPECT_TRUE(AllZero(record_.title + 512, sizeof record_.title - 512));
}

TEST_F(SummaryInfoTest, CodePagesChooseTheSourceCharset) {
  struct Case {
    uint16_t code_page;   // stated by the set (0: none)
    uint16_t default_cp;  // from the caller
    const char* language;
    std::string bytes;
    const char* utf8;
  } cases[] = {
      {936, 0, "English", "\xD6\xD0\xCE\xC4", "中文"},           // lead byte first
      {950, 0, "English", "\xA4\xA4\xA4\xE5", "中文"},
      {949, 0, "English", "\xC7\xD1\xB1\xDB", "한글"},
      {65001, 0, "Japanese", "myt\xC3\xA9", "myté"},
      {static_cast<uint16_t>(-535), 0, "Japanese", "\xC3\xA1", "á"},  // 65001 stored signed
      {1250, 0, "Japanese", "\xE6x", "æx"},                          // Latin-1 look-alike
      {0, 1251, "Japanese", "\x82\xA0", "あ"},                       // by the language
      {0, 0, "English", "caf\xE9", "café"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::strcpy(options_.language, c.language);
    std::vector<Property> properties;
    if (c.code_page != 0) properties.push_back(I2(1, c.code_page));
    properties.push_back(Lpstr(2, c.bytes));
    ASSERT_EQ(Run(Write(SummaryStream(properties)), 5000, c.default_cp), 0);
    EXPECT_STREQ(record_.title, c.utf8);
  }
}

TEST_F(SummaryInfoTest, WideTextsAreUtf16WhateverTheCodePage) {
  std::u16string cyrillic = u"Заголовок";
  std::u16string long_text(127, u'a');
  long_text += u"\U0001F600";  // a pair across byte 256: left out whole
  ASSERT_EQ(Run(Write(SummaryStream({I2(1, 1251), Lpwstr(2, cyrillic), Lpwstr(3, long_text)})), 5000), 0);
  EXPECT_STREQ(record_.title, "Заголовок");
  EXPECT_EQ(std::string(record_.subject), std::string(127, 'a'));
}

TEST_F(SummaryInfoTest, StreamsThatLieAreRefusedOrSkipped) {
  std::string good = Section({Lpstr(2, "Title"), Lpstr(4, "Author")});
  auto with = [&](size_t at, uint32_t value) {
    std::string s = SummaryStream({Lpstr(2, "Title"), Lpstr(4, "Author")});
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(value >> (8 * i));
    return s;
  };
  struct Case {
    const char* what;
    std::string stream;
    int result;
    const char* title;
    const char* author;
  } cases[] = {
      {"size 0xFFFFFFFF", with(48, 0xFFFFFFFF), 3002, "", ""},
      {"size below 8", with(48, 7), 3002, "", ""},
      {"size past the stream", with(48, static_cast<uint32_t>(good.size() + 1)), 3002, "", ""},
      {"count not below (size - 8) / 8", with(52, static_cast<uint32_t>((good.size() - 8) / 8)), 3002, "", ""},
      {"many sections", with(24, 0x10000000), 3002, "", ""},
      {"section past the stream", with(44, 0x7FFFFFF0), 3002, "", ""},
      {"property offset past the section", with(48 + 12, 0x7FFFFFFF), 0, "", "Author"},
      {"text length past the section", with(48 + 24 + 4, 0xFFFFFFFF), 0, "", "Author"},
      {"short header", std::string("\xFE\xFF", 2), 3002, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Run(Write(c.stream), 5000), c.result);
    EXPECT_STREQ(record_.title, c.title);
    EXPECT_STREQ(record_.author, c.author);
  }
  // A bad document summary stream is not reported.
  EXPECT_EQ(Run(Write(SummaryStream({Lpstr(2, "T")}), Stream(kDocumentFmtid, std::string(4, '\xFF'))), 5000), 0);
  EXPECT_STREQ(record_.title, "T");
}

}  // namespace
