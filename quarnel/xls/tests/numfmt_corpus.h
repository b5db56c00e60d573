// Reading the number-format workbooks' rows and comparing a rendering with
// the spreadsheet's own text, shared by the corpus tests and the benchmark.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace xlstest {

using Row = std::map<std::string, std::string>;

// The cells of one tab-separated line, a final empty cell included.
inline std::vector<std::string> SplitTabs(std::string text) {
  if (!text.empty() && text.back() == '\r') text.pop_back();
  std::vector<std::string> cells;
  std::stringstream stream(text);
  std::string cell;
  while (std::getline(stream, cell, '\t')) cells.push_back(cell);
  if (!text.empty() && text.back() == '\t') cells.emplace_back();
  return cells;
}

// The rows of a file with one header line, by column name.
inline std::vector<Row> ReadTsv(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::vector<std::string> header;
  std::vector<Row> rows;
  if (std::getline(in, line)) header = SplitTabs(line);
  while (std::getline(in, line)) {
    const auto cells = SplitTabs(line);
    Row row;
    for (size_t i = 0; i < header.size(); ++i) row[header[i]] = i < cells.size() ? cells[i] : "";
    rows.push_back(row);
  }
  return rows;
}

// Keeps what can be part of a number: digits, point, minus and exponent.
inline bool AsNumber(const std::string& text, double* value) {
  std::string kept;
  for (char c : text)
    if ((c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'E' || c == 'e' || c == '+') kept += c;
  if (kept.empty()) return false;
  char* end = nullptr;
  *value = std::strtod(kept.c_str(), &end);
  return end != kept.c_str();
}

// Byte for byte, except in the workbook of approximate texts, whose rows
// agree as numbers within 1%.
inline bool Agrees(const std::string& workbook, const std::string& expected, const std::string& produced) {
  if (expected == produced) return true;
  if (workbook != "NumberFormatApproxTests") return false;
  double a = 0, b = 0;
  if (!AsNumber(expected, &a) || !AsNumber(produced, &b)) return false;
  return a == b || std::fabs(a - b) <= 0.01 * std::max(std::fabs(a), std::fabs(b));
}

// The fraction table's columns and the formats their cells carry.
inline const std::map<std::string, std::string> kFractionColumns = {
    {"1Digit", "# ?/?"},          {"2Digit", "# ?" "?/??"},        {"3Digit", "#\\ ??" "?/???"},
    {"Half", "#\\ ?/2"},          {"Quarter", "#\\ ?/4"},        {"Eight", "#\\ ?/8"},
    {"Sixteenth", "#\\ ?" "?/16"}, {"Tenth", "#\\ ?/10"},        {"100th", "#\\ ?" "?/100"},
    {"Tika-1132", "#\\ ?" "?/?????????"}};

// A fraction-table cell as the table's readers compare it: trimmed, runs of
// spaces collapsed, no space after a minus.
inline std::string Normalized(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' && (out.empty() || out.back() == ' ' || out.back() == '-')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace xlstest
