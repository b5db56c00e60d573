// Field values: number formats, the fraction search and currency as
// tables; field records of both layouts through the formatter (tag
// scaling, format references including the master shape's, dates, version
// 11 values in UTF-16, 3002 for a missing format string); version-5 field
// codes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cjk_texts.h"
#include "engine_fixture.h"
#include "field_format.h"
#include "visio_builder.h"

namespace {

using vsdtest::Utf16;

using namespace glyphane;

TEST(NumberFormats, Table) {
  struct Case {
    int32_t index;
    double value;
    const char* text;
  } cases[] = {
      {0, 1.0, "1"},          {1, -1.0, "-1"},        {0, 1.5, "1.5000"},     {0, 0.99995, "1"},
      {2, 50.8, "51"},        {5, 0.25, "0.2"},       {7, 1.005, "1.00"},     {8, 0.1667, "0.167"},
      {10, 304.8, "1' 0.000\""},                      {10, 330.2, "1' 1.000\""},
      {11, 0.00005, "0 rad"}, {11, -2, "0 rad"},      {11, 0.12341, "0.1235 rad"},
      {12, 0.00005, "0 deg"}, {12, 1, "57.30 deg"},   {12, -1, "0 deg"},
      {13, 30.5, "2' 6 1/2\""},                       {14, 24, "2' 0/1\""},   {13, 12.25, "1' 1/4\""},
      {15, 2.5, "2 1/2"},     {16, 0.01, "0/1"},      {17, 1.0 / 3, "1/3"},     {18, -1.75, "-1 3/4"},
      {15, 3.0, "3"},         {15, 0.0, ""},          {19, 1, ""},            {-1, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.index) + " " + std::to_string(c.value));
    EXPECT_EQ(NumberFormatText(c.index, c.value), c.text);
  }
}

TEST(NumberFormats, FractionSearchAndCurrency) {
  struct Case {
    double f;
    int32_t bound, numerator, denominator;
  } fractions[] = {
      {0.5, 10, 1, 2}, {0.125, 10, 1, 8}, {0.1, 10, 0, 1},  {0.1, 100, 1, 10},
      {0.333, 100, 23, 69}, {1.0 / 3, 100, 1, 3}, {0.0000001, 10, 0, 1}, {0.6667, 10, 2, 3}, {0.99, 100, 98, 99},
  };
  for (const auto& c : fractions) {
    SCOPED_TRACE(c.f);
    Fraction f = FindFraction(c.f, c.bound);
    EXPECT_EQ(f.numerator, c.numerator);
    EXPECT_EQ(f.denominator, c.denominator);
  }
  EXPECT_EQ(CurrencyText(1234567), "12,345.67 USD");
  EXPECT_EQ(CurrencyText(100), "1.00 USD");
  EXPECT_EQ(CurrencyText(99999), "999.99 USD");
  EXPECT_EQ(CurrencyText(42949672), "429,496.72 USD");

  int32_t n = -1;
  EXPECT_EQ(FormatStringClass("esc(12)", &n), 1);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(FormatStringClass("esc(123)"), 0);
  EXPECT_EQ(FormatStringClass("esc()"), 0);
  EXPECT_EQ(FormatStringClass("{{yy-MM-dd}}"), 2);
  EXPECT_EQ(FormatStringClass("yyyy"), 2);
  EXPECT_EQ(FormatStringClass("0.00"), 3);
  EXPECT_EQ(FormatStringClass("hh:mm"), 0);
}

FieldRecord Number(uint8_t tag, double value, FieldRef format, uint8_t kind = 0) {
  FieldRecord r;
  r.kind = kind;
  r.value_tag = tag;
  r.value_ref = FieldRef{FieldRef::kNumber, 0};
  r.number = value;
  r.integer = value >= 0 ? static_cast<uint32_t>(value) : 0;
  r.format_ref = format;
  return r;
}

FieldRef FormatId(uint32_t id) { return FieldRef{FieldRef::kFormatString, id}; }
const FieldRef kNoFormat{FieldRef::kNone, 0};

class FieldValues : public glyphane_test::EngineTest {
 protected:
  // The value of `record` as the only field of a shape of `session_`.
  int32_t Format(const FieldRecord& record, std::string* value, uint32_t output_code_page = 1252) {
    fields_ = {record};
    FieldContext context;
    context.session = &session_;
    context.item = &item_;
    context.master_shape = master_.fields.empty() ? nullptr : &master_;
    context.format_strings = &formats_;
    context.fields = &fields_;
    context.code_page = session_.ItemCodePage();
    FieldDocument document;
    document.output_code_page = output_code_page;
    FieldValueFormatter formatter(document);
    return formatter.FormatField(context, fields_[0], value);
  }

  VsdSession session_;
  ShapeItem item_;
  MasterShape master_;
  std::vector<FormatString> formats_{{1, "esc(2)"}, {2, "esc(0)"}, {3, "yyyy'-'MM"}, {4, "ddddd"}, {5, "esc(12)"}};
  std::vector<FieldRecord> fields_;
};

TEST_F(FieldValues, NumbersByTagAndFormat) {
  session_.version = 6;
  struct Case {
    const char* what;
    FieldRecord record;
    const char* value;
  } cases[] = {
      {"2 inches, format 2", Number(0x40, 2, FormatId(1)), "51 mm"},
      {"inches without format", Number(0x40, 2, kNoFormat), "50"},
      {"hundredths of a millimetre", Number('G', 1000, FormatId(1)), "254"},
      {"currency", Number('n', 123456789, FormatId(2)), "12,345.67 USD"},
      {"currency without format", Number('n', 123456789, kNoFormat), "12,345.67 USD"},
      {"percent", Number('!', 0.5, FormatId(2)), "50%"},
      {"plain", Number(' ', 7.9, FormatId(1)), "8"},
      {"plain, no format", Number(' ', -7.9, kNoFormat), "-7"},
      {"degrees", Number(' ', 1, FormatId(5)), "57.30 deg"},
      {"date by picture", Number(' ', 60, FormatId(3)), "1900-02"},
      {"date by tag", Number('(', 61, FormatId(3)), "1900-03"},
      {"own format is a picture", [] {
         FieldRecord r = Number(' ', 61, FieldRef{FieldRef::kOwnText, 0});
         r.format_text = "yy";
         return r;
       }(), "00"},
      {"date field, short date", Number(0, 60, FormatId(4), 1), "1900/02/29"},
      {"date field, number format copied", Number(0, 60, FormatId(1), 1), "esc(2)"},
      {"text-like kind", Number(0, 3.7, kNoFormat, 7), "3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string value;
    ASSERT_EQ(Format(c.record, &value), 0);
    EXPECT_EQ(value, c.value);
  }
  std::string value;
  EXPECT_EQ(Format(Number(' ', 1, FormatId(99)), &value), 3002);
  EXPECT_EQ(Format(Number(0, 60, FormatId(4), 1), &value, 936), 0);
  EXPECT_EQ(value, "1900-2-29");
}

TEST_F(FieldValues, ReferencesAndTheMasterShape) {
  session_.version = 6;
  master_.format_strings = {{7, "esc(2)"}, {8, "master text"}};
  FieldRecord master_record = Number(0x40, 1, FormatId(7));
  master_.fields = {master_record};
  std::string value;
  // The master's format string for the shape's number.
  ASSERT_EQ(Format(Number(0x40, 2, FieldRef{FieldRef::kMaster, 0}), &value), 0);
  EXPECT_EQ(value, "51 mm");
  // The master's value.
  FieldRecord by_master;
  by_master.value_ref = FieldRef{FieldRef::kMaster, 0};
  ASSERT_EQ(Format(by_master, &value), 0);
  EXPECT_EQ(value, "25 mm");
  // A format-string record's text.
  FieldRecord by_record;
  by_record.value_ref = FieldRef{FieldRef::kFormatString, 3};
  ASSERT_EQ(Format(by_record, &value), 0);
  EXPECT_EQ(value, "yyyy'-'MM");
  by_record.value_ref.id = 42;
  EXPECT_EQ(Format(by_record, &value), 3002);
}

TEST_F(FieldValues, Version11ValuesAreUtf16) {
  session_.version = 11;
  session_.text_code_page = 932;
  formats_ = {{1, Utf16(u"esc(2)")}, {3, Utf16(u"{<217>}")}, {9, Utf16(u"text value")}};
  std::string value;
  ASSERT_EQ(Format(Number(0x40, 2, FormatId(1)), &value), 0);
  EXPECT_EQ(value, Utf16(u"51 mm"));
  // The era picture: 2020-01-01 in Reiwa's place stays Heisei (32 years).
  ASSERT_EQ(Format(Number(0, 43831, FormatId(3), 1), &value), 0);
  EXPECT_EQ(value.substr(0, 8), Utf16(u"平成32"));
  FieldRecord text;
  text.value_ref = FieldRef{FieldRef::kFormatString, 9};
  ASSERT_EQ(Format(text, &value), 0);
  EXPECT_EQ(value, Utf16(u"text value"));
}

class FieldCodes : public glyphane_test::EngineTest {
 protected:
  std::string Code(uint8_t category, uint8_t item, uint8_t format) {
    FieldContext context;
    context.session = &session_;
    context.item = &shape_;
    context.fields = &fields_;
    context.format_strings = &formats_;
    context.page_name = "Page-1";
    context.page_number = 2;
    context.page_count = 3;
    context.master_name = "Box";
    FieldDocument document;
    document.output_code_page = session_.text_code_page;
    document.properties = &properties_;
    document.path = "/data/drawings/plan.vsd";
    FieldValueFormatter formatter(document);
    const uint8_t code[3] = {category, item, format};
    std::string value;
    EXPECT_EQ(formatter.FormatCode(context, code, &value), 0);
    return value;
  }

  VsdSession session_;
  ShapeItem shape_;
  std::vector<FieldRecord> fields_;
  std::vector<FormatString> formats_{{4, "Fmt Text"}};
  VsdPropertyRecord properties_{};
};

TEST_F(FieldCodes, Version5Codes) {
  session_.version = 5;
  session_.text_code_page = 1252;
  session_.document_dates[0] = 43831.75;
  shape_.shape_id = 17;
  shape_.master_shape_id = 4;
  shape_.transform[2] = 2;
  shape_.transform_tags[2] = 0x40;
  shape_.transform[6] = 1;
  shape_.data[1] = "Data two";
  fields_ = {Number(' ', 2.5, kNoFormat), Number('n', 1234567, kNoFormat)};
  FieldRecord text;
  text.value_tag = 0xE8;
  text.value_ref = FieldRef{FieldRef::kFormatString, 4};
  fields_.push_back(text);
  std::memcpy(properties_.title, "T\0i\0t\0l\0e\0", 10);
  properties_.title_length = 10;

  struct Case {
    uint8_t category, item, format;
    std::string value;
  } cases[] = {
      {' ', ' ', ' ' + 15, "2 1/2"},
      {' ', '!', 'E', "12,345.67 USD"},
      {' ', 0x22, 'G', "FMT TEXT"},
      {' ', '#', 'E', ""},  // no such record
      {'!', ' ', '6', "1-1-20"},
      {0x22, '&', 'F', "title"},
      {0x22, '#', 'E', "plan.vsd"},
      {0x22, 0x22, 'E', "/data/drawings"},
      {'#', ' ', ' ' + 2, "51 mm"},
      {'#', 0x22, ' ' + 12, "57.30 deg"},
      {'$', '!', 'E', "Data two"},
      {'$', '#', 'E', "17"},
      {'$', '$', 'G', "BOX:SHEET.4"},
      {'$', '%', 'E', "sheet.17"},
      {'$', '&', 'E', "Shape"},
      {'%', ' ', 'E', "<no background>"},
      {'%', '!', 'G', "PAGE-1"},
      {'%', 0x22, 'E', "3"},
      {'%', '#', 'E', "2"},
      {'&', ' ', 'E', ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, static_cast<char>(c.category)) + static_cast<char>(c.item));
    EXPECT_EQ(Code(c.category, c.item, c.format), c.value);
  }
  session_.text_code_page = 936;
  EXPECT_EQ(Code('$', '&', 'E'), std::string(CjkText("shape_zh", 936)));
  EXPECT_EQ(Code('%', ' ', 'E'), std::string(CjkText("no_background_zh", 936)));
}

}  // namespace
