// The number-format workbooks and the fraction table: formats parsed as
// written and after the escaping pass, then every row rendered and compared
// with the spreadsheet's own text, apart from the listed differences.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "format_escape.h"
#include "format_test_util.h"
#include "fraction_reference.h"
#include "numfmt_corpus.h"
#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"
#include "testsupport/testdata.h"

namespace {

using ObraCommon::CELLV;
using ObraCommon::FMT2;
using ObraCommon::XlsFormatString;
using ObraCommon::ZelValue;
using xlstest::Agrees;
using xlstest::EscapeForeign;
using xlstest::Normalized;
using xlstest::ReadTsv;
using xlstest::Row;
using xlstest::SplitTabs;
using xlstest::U;
using xlstest::Utf8;

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

bool Fits(void*, const icu::UnicodeString&, const ObraCommon::ZelLength&, int, int) { return false; }

// Writes build/reports/<file>: agreement per group, the listed differences
// per rule, then the differing rows under their table header.
void WriteReport(const std::string& file, const std::string& title, const std::string& unit,
                 const std::map<std::string, std::pair<int, int>>& counts,
                 const std::map<std::string, int>& perRule, const std::string& differHeader,
                 const std::string& details) {
  const char* buildDir = std::getenv("PROJECT_BUILD_DIR");
  const std::filesystem::path reports = std::filesystem::path(buildDir ? buildDir : ".") / "reports";
  std::filesystem::create_directories(reports);
  std::ofstream report(reports / file);
  report << "# " << title << "\n\n| group | agreeing | " << unit << " |\n|---|---|---|\n";
  for (const auto& [name, c] : counts) {
    report << "| " << name << " | " << c.first << " | " << c.second << " |\n";
    std::cout << name << ": " << c.first << " of " << c.second << " " << unit << " agree\n";
  }
  report << "\n## Listed differences by rule\n\n| rule | " << unit << " |\n|---|---|\n";
  for (const auto& [rule, count] : perRule) report << "| " << rule << " | " << count << " |\n";
  report << "\n## Differences\n\n" << differHeader << details;
}

// The differences a reading of the format rules expects, from a file beside
// this test: two key columns, the spreadsheet's text, the engine's text and
// the rule that makes them differ.
struct Divergence {
  std::string expected, produced, rule;
  bool met = false;
};
using Key = std::pair<std::string, std::string>;

std::map<Key, Divergence> ReadDivergences(const std::string& file, const std::string& first,
                                          const std::string& second) {
  const char* source = std::getenv("PROJECT_SOURCE_DIR");
  std::map<Key, Divergence> listed;
  for (const Row& row : ReadTsv(std::filesystem::path(source ? source : ".") / "quarnel/xls/tests" / file))
    listed[{row.at(first), row.at(second)}] = {row.at("expected"), row.at("produced"), row.at("rule")};
  return listed;
}

// Checks one rendering: an unlisted one agrees, a listed one still differs
// exactly as written. Differences are also written as rows of a
// divergence file (without the rule) to the given stream.
void CheckListed(std::map<Key, Divergence>& listed, const Key& key, const std::string& expected,
                 const std::string& produced, bool agrees, std::ostream& differences) {
  SCOPED_TRACE(key.first + " " + key.second);
  if (!agrees) differences << key.first << '\t' << key.second << '\t' << expected << '\t' << produced << '\n';
  const auto it = listed.find(key);
  if (it == listed.end()) {
    EXPECT_TRUE(agrees) << "expected `" << expected << "`, engine `" << produced << "`";
    return;
  }
  Divergence& d = it->second;
  d.met = true;
  EXPECT_FALSE(agrees) << "listed as differing (" << d.rule << ") but agrees now";
  EXPECT_EQ(d.expected, expected);
  EXPECT_EQ(d.produced, produced) << d.rule;
  EXPECT_FALSE(d.rule.empty());
}

// Every listed row was met; answers the count of rows per rule.
std::map<std::string, int> CheckAllMet(const std::map<Key, Divergence>& listed) {
  std::map<std::string, int> perRule;
  for (const auto& [key, d] : listed) {
    EXPECT_TRUE(d.met) << key.first << " " << key.second << " is listed but was not rendered";
    ++perRule[d.rule];
  }
  return perRule;
}

void WriteDifferences(const std::string& file, const std::string& header, const std::string& rows) {
  const char* buildDir = std::getenv("PROJECT_BUILD_DIR");
  std::ofstream(std::filesystem::path(buildDir ? buildDir : ".") / "reports" / file) << header << rows;
}

// Every row of the workbooks through the engine as a spreadsheet would
// call it; the rows that differ from the spreadsheet's own text are
// written to build/reports/numfmt-corpus.md with the engine's text.
TEST(NumberFormatCorpus, EveryRowRendersAsTheSpreadsheetOrAsListed) {
  TESTDATA_OR_SKIP(dir, "numfmt");
  auto listed = ReadDivergences("numfmt_divergences.tsv", "workbook", "cells");
  ASSERT_FALSE(listed.empty()) << "no divergence file";
  std::map<std::string, std::pair<int, int>> perWorkbook;  // agreeing, all
  std::ostringstream details, differences;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".tsv") continue;
    for (const Row& row : ReadTsv(entry.path())) {
      const std::string& workbook = row.at("workbook");
      XlsFormatString object(0x0800);
      object.setDate1904(row.at("date_system") == "1904" ? 1 : 0);
      object.setFill(false);
      const icu::UnicodeString format = EscapeForeign(U(row.at("effective_format")));
      CELLV cell;
      icu::UnicodeString out;
      unsigned char color = 0;
      const std::string& type = row.at("value_type");
      if (type == "number") {
        cell.type = 1;
        cell.value = std::strtod(row.at("value_as_stored").c_str(), nullptr);
        object.fmtnum(&cell, ZelValue(11), format, out, &color, Fits, ObraCommon::ZelLength(0.0f), 0, 0, nullptr);
      } else {
        const std::string& value = row.at("value_as_stored");
        cell.text = U(type == "boolean" ? (value == "0" ? "FALSE" : "TRUE") : value);
        object.fmtstr(&cell, ZelValue(11), format, out, &color);
      }
      const std::string produced = Utf8(out);
      const bool agrees = Agrees(workbook, row.at("expected_text"), produced);
      CheckListed(listed, {workbook, row.at("cells")}, row.at("expected_text"), produced, agrees, differences);
      auto& counts = perWorkbook[workbook];
      ++counts.second;
      if (agrees) {
        ++counts.first;
      } else {
        details << "| " << workbook << " | " << row.at("cells") << " | `" << row.at("effective_format") << "` | "
                << row.at("value_as_stored") << " | `" << row.at("expected_text") << "` | `" << produced << "` |\n";
      }
    }
  }
  ASSERT_FALSE(perWorkbook.empty());
  const auto perRule = CheckAllMet(listed);
  WriteReport("numfmt-corpus.md", "Number formats beside the spreadsheet's own text", "rows", perWorkbook, perRule,
              "| workbook | cells | format | value | expected | engine |\n|---|---|---|---|---|---|\n", details.str());
  WriteDifferences("numfmt-corpus-differences.tsv", "workbook\tcells\texpected\tproduced\n", differences.str());
}

// The fraction table: each value under the formats of its columns (the
// formats are those the workbook's cell styles carry), compared as the
// table's own readers compare. The last column is reported, not asserted.
TEST(NumberFormatCorpus, FractionTableRendersAsTheSpreadsheetOrAsListed) {
  TESTDATA_OR_SKIP(dir, "numfmt");
  const auto& formats = xlstest::kFractionColumns;
  const std::string reportedOnly = "Tika-1132";
  auto listed = ReadDivergences("numfmt_fraction_divergences.tsv", "value", "column");
  ASSERT_FALSE(listed.empty()) << "no divergence file";
  std::ifstream in(dir / "54686_fraction_formats.txt");
  ASSERT_TRUE(in) << "no fraction table";
  std::string line;
  std::vector<std::string> header;
  std::map<std::string, std::pair<int, int>> perColumn;
  std::ostringstream details, differences;
  std::getline(in, line);
  header = SplitTabs(line);
  while (std::getline(in, line)) {
    const auto cells = SplitTabs(line);
    if (cells.size() < 3 || cells[0].empty() || cells[1].empty()) continue;
    const double value = std::strtod(cells[0].c_str(), nullptr) / std::strtod(cells[1].c_str(), nullptr);
    // The bounded search finds the reference's fraction for the table's values.
    const double part = std::fabs(value) - std::floor(std::fabs(value));
    for (int digits = 1; digits <= 5 && part > 0; ++digits) {
      const auto expected = xlstest::StepByStep(part, digits);
      const auto found = ObraCommon::numtext::searchFraction(part, digits, nullptr);
      EXPECT_EQ(expected.numerator, found.numerator) << value << " with " << digits << " digits";
      EXPECT_EQ(expected.denominator, found.denominator) << value << " with " << digits << " digits";
    }
    for (size_t c = 3; c < header.size() && c < cells.size(); ++c) {
      const auto format = formats.find(header[c]);
      if (format == formats.end()) continue;
      XlsFormatString object(0x0800);
      object.setFill(false);
      CELLV cell;
      cell.type = 1;
      cell.value = value;
      icu::UnicodeString out;
      unsigned char color = 0;
      object.fmtnum(&cell, ZelValue(11), EscapeForeign(U(format->second)), out, &color, Fits,
                    ObraCommon::ZelLength(0.0f), 0, 0, nullptr);
      const std::string expected = Normalized(cells[c]), produced = Normalized(Utf8(out));
      const bool agrees = expected == produced;
      if (header[c] != reportedOnly)
        CheckListed(listed, {cells[0] + "/" + cells[1], header[c]}, expected, produced, agrees, differences);
      auto& counts = perColumn[header[c]];
      ++counts.second;
      if (agrees) {
        ++counts.first;
      } else {
        details << "| " << cells[0] << "/" << cells[1] << " | " << header[c] << " | `" << cells[c] << "` | `"
                << Utf8(out) << "` |\n";
      }
    }
  }
  ASSERT_FALSE(perColumn.empty());
  const auto perRule = CheckAllMet(listed);
  WriteReport("numfmt-fractions.md", "Fraction table beside the spreadsheet's own text", "cells", perColumn, perRule,
              "| value | column | expected | engine |\n|---|---|---|---|\n", details.str());
  WriteDifferences("numfmt-fraction-differences.tsv", "value\tcolumn\texpected\tproduced\n", differences.str());
}

}  // namespace
