// The formats of the number-format workbooks, parsed as written and after a
// pass that escapes every character the strict parser would refuse.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "format_escape.h"
#include "format_test_util.h"
#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"
#include "testsupport/testdata.h"

namespace {

using ObraCommon::CELLV;
using ObraCommon::FMT2;
using ObraCommon::XlsFormatString;
using ObraCommon::ZelValue;
using xlstest::EscapeForeign;
using xlstest::U;
using xlstest::Utf8;

using Row = std::map<std::string, std::string>;

std::vector<Row> ReadTsv(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::vector<std::string> header;
  std::vector<Row> rows;
  const auto split = [](const std::string& text) {
    std::vector<std::string> cells;
    std::stringstream stream(text);
    std::string cell;
    while (std::getline(stream, cell, '\t')) cells.push_back(cell);
    if (!text.empty() && text.back() == '\t') cells.emplace_back();
    return cells;
  };
  if (std::getline(in, line)) header = split(line);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto cells = split(line);
    Row row;
    for (size_t i = 0; i < header.size(); ++i) row[header[i]] = i < cells.size() ? cells[i] : "";
    rows.push_back(row);
  }
  return rows;
}

// Refusals a reading of the format rules expects even after escaping: a
// lone or tripled «y», and a blank after a condition's operator.
bool ExpectedRefusal(const std::string& format) {
  std::string bare;  // the format without its quoted parts and escaped units
  bool quoted = false;
  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c == '"') quoted = !quoted;
    else if (!quoted && (c == '\\' || c == '_' || c == '*')) ++i;
    else if (!quoted) bare += c;
  }
  for (size_t i = 0; i < bare.size();) {
    if (bare[i] == 'y' || bare[i] == 'Y') {
      size_t run = 0;
      while (i + run < bare.size() && (bare[i + run] == 'y' || bare[i + run] == 'Y')) ++run;
      if (run == 1 || run == 3) return true;
      i += run;
    } else {
      ++i;
    }
  }
  for (const char* op : {"[>=", "[<=", "[<>", "[<", "[>", "[="}) {
    const size_t at = bare.find(op);
    if (at != std::string::npos && at + std::strlen(op) < bare.size() && bare[at + std::strlen(op)] == ' ')
      return true;
  }
  return false;
}

TEST(NumberFormatCorpus, FormatsParseAsWrittenAndEscaped) {
  TESTDATA_OR_SKIP(dir, "numfmt");
  XlsFormatString object;
  int rows = 0, asWritten = 0, escaped = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".tsv") continue;
    for (const Row& row : ReadTsv(entry.path())) {
      ++rows;
      const std::string& format = row.at("effective_format");
      SCOPED_TRACE(entry.path().filename().string() + ": " + format);
      FMT2 parsed;
      if (object.fmtget(U(format), &parsed) == 1) ++asWritten;
      const bool accepted = object.fmtget(EscapeForeign(U(format)), &parsed) == 1;
      if (accepted) ++escaped;
      EXPECT_NE(accepted, ExpectedRefusal(format)) << "escaped: " << Utf8(EscapeForeign(U(format)));
    }
  }
  ASSERT_GT(rows, 0);
  std::cout << "number formats: " << asWritten << " of " << rows << " parse as written, " << escaped
            << " after escaping\n";
  RecordProperty("as_written", asWritten);
  RecordProperty("escaped", escaped);
}

TEST(NumberFormatCorpus, TextSectionsGiveTheSpreadsheetsText) {
  TESTDATA_OR_SKIP(dir, "numfmt");
  const auto rows = ReadTsv(dir / "TextFormatTests.tsv");
  ASSERT_FALSE(rows.empty());
  XlsFormatString object;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.at("effective_format") + " with " + row.at("value_as_stored"));
    CELLV cell;
    const std::string& value = row.at("value_as_stored");
    cell.text = U(row.at("value_type") == "boolean" ? (value == "0" ? "FALSE" : "TRUE") : value);
    icu::UnicodeString out;
    unsigned char color = 0;
    EXPECT_EQ(1, object.fmtstr(&cell, ZelValue(20), EscapeForeign(U(row.at("effective_format"))), out, &color));
    EXPECT_EQ(row.at("expected_text"), Utf8(out));
  }
}

}  // namespace
