// Link texts into records: PDF open parameters, XLink references, internal
// destinations, destination types, fragment parameters and spreadsheet
// sheets and charts.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "parse_support.h"
#include "quarnel/value.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelValue;
using Entries = std::map<std::string, std::string>;

const std::string kZoom0 = "1/1:0";

TEST(OpenParameters, ListsAfterTheHash) {
  // An internal destination that starts with "#" is the list alone, read
  // with the caller's default page (7 here).
  struct Row {
    const char16_t* text;
    Entries expected;
  } rows[] = {
      {u"page=3&zoom=150,10,20",
       {{"page", "1/1:3"}, {"zoom", "2/1:150"}, {"left", "2/9:10pt"}, {"top", "2/9:20pt"}, {"view", "3/23:xyz"}}},
      {u"zoom=0", {{"page", "1/1:7"}, {"zoom", kZoom0}, {"view", "3/23:xyz"}}},
      {u"zoom=150%,1in", {{"page", "1/1:7"}, {"zoom", "2/1:1.5"}, {"left", "2/9:72pt"}, {"view", "3/23:xyz"}}},
      {u"view=FitH,100", {{"page", "1/1:7"}, {"view", "3/23:fith"}, {"top", "2/9:100pt"}}},
      {u"VIEW=FITBV,2pc", {{"page", "1/1:7"}, {"view", "3/23:fitbv"}, {"left", "2/9:24pt"}}},
      {u"view=FitR,1,2,3,4", {{"page", "1/1:7"}}},
      {u"view=fitv", {{"page", "1/1:7"}, {"view", "3/23:fitv"}, {"left", "2/9:0pt"}}},
      {u"view=fitb,5", {{"page", "1/1:7"}, {"view", "3/23:fitb"}}},
      {u"viewrect=0,0,200,0", {{"page", "1/1:7"}}},
      {u"viewrect=10,20,200,300",
       {{"page", "1/1:7"},
        {"view", "3/23:viewrect"},
        {"left", "2/9:10pt"},
        {"top", "2/9:20pt"},
        {"width", "2/9:200pt"},
        {"height", "2/9:300pt"}}},
      {u"page=0", {{"page", "1/1:7"}}},
      {u"PAGE=4", {{"page", "1/1:4"}}},
      {u"page=2&nameddest=intro", {{"nameddest", "3/23:intro"}}},
      {u"nameddest=12&page=2", {{"page", "1/1:2"}}},
      {u"foo=bar&page=2", {{"foo", "4/0:bar"}}},
      {u"Foo=,x&page=2", {{"page", "1/1:2"}}},
      {u"page=3&&zoom=2", {{"page", "1/1:3"}}},
      {u"=5&page&page=6", {{"page", "1/1:6"}}},
      {u"", {{"page", "1/1:7"}}},
  };
  for (const Row& row : rows) {
    UnicodeString text = UnicodeString(u"#") + row.text;
    EXPECT_EQ(quarnel_test::Entries(ZelValue::parseInternalDestination(text, 7)), row.expected)
        << quarnel_test::Utf8(text);
  }
}

TEST(OpenParameters, ABaseRecordKeepsOnlyWhatItHeld) {
  // The link's own "uri" entry is the base the parameters are read into.
  ZelValue read = ZelValue::parseXlinkHref(u"doc.pdf#page=2&nameddest=intro");
  EXPECT_EQ(quarnel_test::Entries(read), (Entries{{"uri", "4/0:doc.pdf"}, {"nameddest", "3/23:intro"}}));
  read = ZelValue::parsePDFOpenParameters(u"doc.pdf#zoom=50&foo=bar");
  EXPECT_EQ(quarnel_test::Entries(read), (Entries{{"uri", "4/0:doc.pdf"}, {"foo", "4/0:bar"}, {"page", "1/1:1"},
                                                  {"view", "3/23:xyz"}}));
}

TEST(LinkParsers, Destinations) {
  using Parser = std::function<ZelValue(const UnicodeString&)>;
  Parser pdf = [](const UnicodeString& t) { return ZelValue::parsePDFOpenParameters(t); };
  Parser xlink = [](const UnicodeString& t) { return ZelValue::parseXlinkHref(t); };
  Parser internal = [](const UnicodeString& t) { return ZelValue::parseInternalDestination(t, 9); };
  Parser type = [](const UnicodeString& t) { return ZelValue::parseDestinationType(t); };
  Parser fragment = [](const UnicodeString& t) { return ZelValue::parseUriFragmentParameters(t, true); };
  Parser rawFragment = [](const UnicodeString& t) { return ZelValue::parseUriFragmentParameters(t, false); };
  Parser excel = [](const UnicodeString& t) { return ZelValue::parseExcelOpenParameters(t); };
  struct Row {
    const char* parser;
    Parser* parse;
    const char16_t* text;
    Entries expected;
  } rows[] = {
      {"pdf", &pdf, u"#page=2", {}},
      {"pdf", &pdf, u"doc.pdf", {{"uri", "4/0:doc.pdf"}, {"page", "1/1:1"}, {"view", "3/23:xyz"}}},
      {"pdf", &pdf, u"doc.pdf#page=4&view=FitH,5",
       {{"uri", "4/0:doc.pdf"}, {"page", "1/1:4"}, {"view", "3/23:fith"}, {"top", "2/9:5pt"}}},
      {"xlink", &xlink, u"#page=2", {{"page", "1/1:2"}, {"view", "3/23:xyz"}}},
      {"xlink", &xlink, u"doc.pdf#intro", {{"uri", "4/0:doc.pdf"}, {"nameddest", "3/23:intro"}}},
      {"xlink", &xlink, u"doc.pdf#12", {{"uri", "4/0:doc.pdf"}, {"page", "1/1:1"}, {"view", "3/23:xyz"}}},
      {"xlink", &xlink, u"", {}},
      {"internal", &internal, u"12", {{"page", "1/1:12"}}},
      {"internal", &internal, u"intro #page=3", {{"nameddest", "3/23:intro"}, {"page", "1/1:3"}}},
      {"internal", &internal, u"  #zoom=2", {{"page", "1/1:9"}, {"zoom", "2/1:2"}, {"view", "3/23:xyz"}}},
      {"internal", &internal, u" 'a b' ", {{"nameddest", "3/23:'a b'"}}},
      {"internal", &internal, u"   ", {}},
      {"type", &type, u"fitr 1pt 2pt 3pt 4pt",
       {{".", "3/23:fitr"}, {"left", "2/9:1pt"}, {"bottom", "2/9:2pt"}, {"right", "2/9:3pt"}, {"top", "2/9:4pt"}}},
      {"type", &type, u"150%", {{".", "3/23:xyz-top"}, {"zoom", "2/1:150"}}},
      {"type", &type, u"0", {}},
      {"type", &type, u"XYZ-left 0 10pt", {{".", "3/23:xyz-left"}, {"left", "2/9:10pt"}}},
      {"type", &type, u"xyz-left 10pt", {{".", "3/23:xyz-left"}}},
      {"type", &type, u"xyz-left-top 2 -1cm 3in",
       {{".", "3/23:xyz-left-top"}, {"zoom", "2/1:2"}, {"left", "2/6:-1cm"}, {"top", "2/8:3in"}}},
      {"type", &type, u"fith -5pt", {{".", "3/23:fith"}, {"top", "2/9:-5pt"}}},
      {"type", &type, u"fitbv 5em", {{".", "3/23:fitbv"}}},
      {"type", &type, u"bogus 1", {}},
      {"fragment", &fragment, u"a.html#Big%20Key=Va%6Cue", {{".", "4/0:a.html"}, {"big key", "4/0:Value"}}},
      {"fragment", &fragment, u"a.html#%20=x", {{".", "4/0:a.html"}}},
      {"fragment", &fragment, u"a.html#=x&k=v&&j", {{".", "4/0:a.html"}, {"k", "4/0:v"}}},
      {"fragment", &rawFragment, u"#K=v", {{"K", "4/0:v"}}},
      {"fragment", &fragment, u"plain", {{".", "4/0:plain"}}},
      {"excel", &excel, u"a.xls#sheet=-1&chart=2", {{"chart", "1/1:2"}}},
      {"excel", &excel, u"a.xls#SHEET=3&other=1", {{"sheet", "1/1:3"}}},
      {"excel", &excel, u"a.xls", {}},
  };
  for (const Row& row : rows)
    EXPECT_EQ(quarnel_test::Entries((*row.parse)(row.text)), row.expected)
        << row.parser << " " << quarnel_test::Utf8(row.text);
}

}  // namespace
