// Spreadsheet number formats beside GOffice (Gnumeric's format engine), as
// <who>/<measure> pairs in values per second:
//   corpus numbers   every numeric row of the number-format workbooks: the
//                    engine's fmtnum (the format parsed on every call), the
//                    engine on a copy of a record parsed once, and GOffice
//                    (go_format_new_from_XL, which caches parsed formats by
//                    text, then go_format_value_gstring, 1904 dates);
//   fractions        the fraction table's values under the nine-digit
//                    denominator format;
//   scaling commas   1e308 under a zero and 255 scaling commas.
// The engine reads the formats through the tests' escaping pass, GOffice as
// written. With --agreement it prints, per workbook, the rows where each
// gives the spreadsheet's own text, and runs no benchmark.
#include <benchmark/benchmark.h>
#include <goffice/goffice.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "format_escape.h"
#include "format_test_util.h"
#include "number_text.h"
#include "numfmt_corpus.h"
#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"

namespace {

namespace fs = std::filesystem;
using ObraCommon::CELLV;
using ObraCommon::FMT2;
using ObraCommon::XlsFormatString;
using ObraCommon::ZelLength;
using ObraCommon::ZelValue;

struct Case {
  std::string workbook, expected, format;  // the format as written
  icu::UnicodeString escaped;
  bool number = true;
  double value = 0;
  std::string text;  // of a text or boolean row
};

bool Fits(void*, const icu::UnicodeString&, const ZelLength&, int, int) { return false; }

struct Setup {
  std::vector<Case> rows;
  std::vector<double> fractions;
  std::vector<xlstest::Row> fractionRows;
  const GODateConventions* dates = nullptr;
  Setup() {
    const char* env = std::getenv("TESTDATA_DIR");
    const fs::path dir = fs::path(env != nullptr ? env : TESTDATA_DEFAULT) / "numfmt";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
      if (entry.path().extension() != ".tsv") continue;
      for (const auto& row : xlstest::ReadTsv(entry.path())) {
        Case c;
        c.workbook = row.at("workbook");
        c.expected = row.at("expected_text");
        c.format = row.at("effective_format");
        c.escaped = xlstest::EscapeForeign(xlstest::U(c.format));
        c.number = row.at("value_type") == "number";
        if (c.number) c.value = std::strtod(row.at("value_as_stored").c_str(), nullptr);
        else if (row.at("value_type") == "boolean") c.text = row.at("value_as_stored") == "0" ? "FALSE" : "TRUE";
        else c.text = row.at("value_as_stored");
        rows.push_back(std::move(c));
      }
    }
    for (const auto& row : xlstest::ReadTsv(dir / "54686_fraction_formats.txt")) {
      const std::string& n = row.at("Numerator");
      const std::string& d = row.at("Denominator");
      if (n.empty() || d.empty()) continue;
      fractions.push_back(std::strtod(n.c_str(), nullptr) / std::strtod(d.c_str(), nullptr));
      fractionRows.push_back(row);
    }
    libgoffice_init();
    dates = go_date_conv_from_str("Apple:1904");
  }
};

Setup& S() {
  static Setup setup;
  return setup;
}

// As the corpus tests call it: width 11, fill off, a callback that answers
// "fits", book version 0x0800.
XlsFormatString Engine(bool date1904) {
  XlsFormatString object(0x0800);
  object.setDate1904(date1904 ? 1 : 0);
  object.setFill(false);
  return object;
}

std::string EngineText(XlsFormatString& object, const icu::UnicodeString& format, const Case& c) {
  CELLV cell;
  icu::UnicodeString out;
  unsigned char color = 0;
  if (c.number) {
    cell.type = 1;
    cell.value = c.value;
    object.fmtnum(&cell, ZelValue(11), format, out, &color, Fits, ZelLength(0.0f), 0, 0, nullptr);
  } else {
    cell.text = xlstest::U(c.text);
    object.fmtstr(&cell, ZelValue(11), format, out, &color);
  }
  return xlstest::Utf8(out);
}

void GofficeText(GString* out, const char* format, double value, const char* text, const GODateConventions* dates) {
  GOFormat* f = go_format_new_from_XL(format);
  GOColor color = 0;
  g_string_truncate(out, 0);
  go_format_value_gstring(nullptr, out, go_format_measure_zero, go_font_metrics_unit, f, value,
                          text != nullptr ? 's' : 'F', text, &color, -1, dates, FALSE);
  go_format_unref(f);
}

std::vector<const Case*> Numbers() {
  std::vector<const Case*> numbers;
  for (const Case& c : S().rows)
    if (c.number) numbers.push_back(&c);
  return numbers;
}

void Engine_Corpus(benchmark::State& state) {
  const auto numbers = Numbers();
  XlsFormatString object = Engine(true);
  for (auto _ : state)
    for (const Case* c : numbers) benchmark::DoNotOptimize(EngineText(object, c->escaped, *c));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * numbers.size()));
}

void EngineParsedOnce_Corpus(benchmark::State& state) {
  const auto numbers = Numbers();
  XlsFormatString object = Engine(true);
  std::vector<FMT2> records(numbers.size());
  std::vector<bool> valid(numbers.size());
  for (size_t i = 0; i < numbers.size(); ++i) valid[i] = object.fmtget(numbers[i]->escaped, &records[i]) == 1;
  for (auto _ : state) {
    for (size_t i = 0; i < numbers.size(); ++i) {
      if (!valid[i]) continue;
      FMT2 record = records[i];  // the formatters change the record's counters
      CELLV cell;
      cell.type = 1;
      cell.value = numbers[i]->value;
      icu::UnicodeString out;
      unsigned char color = 0;
      ObraCommon::numtext::renderNumber(object, &record, &cell, ZelValue(11), out, &color, Fits, ZelLength(0.0f),
                                        0, 0, nullptr);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * numbers.size()));
}

void Goffice_Corpus(benchmark::State& state) {
  const auto numbers = Numbers();
  GString* out = g_string_new(nullptr);
  for (auto _ : state)
    for (const Case* c : numbers) GofficeText(out, c->format.c_str(), c->value, nullptr, S().dates);
  g_string_free(out, TRUE);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * numbers.size()));
}

const char* const kLongFraction = xlstest::kFractionColumns.at("Tika-1132").c_str();

void Engine_Fractions(benchmark::State& state) {
  XlsFormatString object = Engine(false);
  Case c;
  const icu::UnicodeString format = xlstest::U(kLongFraction);
  for (auto _ : state)
    for (double v : S().fractions) {
      c.value = v;
      benchmark::DoNotOptimize(EngineText(object, format, c));
    }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * S().fractions.size()));
}

void Goffice_Fractions(benchmark::State& state) {
  GString* out = g_string_new(nullptr);
  for (auto _ : state)
    for (double v : S().fractions) GofficeText(out, kLongFraction, v, nullptr, nullptr);
  g_string_free(out, TRUE);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * S().fractions.size()));
}

// Each comma follows a placeholder, so all 255 scale.
std::string Scaled() {
  std::string format;
  for (int i = 0; i < 254; ++i) format += "#,\"\"";
  return format + "0,";
}
const std::string kScaled = Scaled();

void Engine_Scaled(benchmark::State& state) {
  XlsFormatString object = Engine(false);
  Case c;
  c.value = 1e308;
  const icu::UnicodeString format = xlstest::U(kScaled);
  for (auto _ : state) benchmark::DoNotOptimize(EngineText(object, format, c));
  state.SetItemsProcessed(state.iterations());
}

void Goffice_Scaled(benchmark::State& state) {
  GString* out = g_string_new(nullptr);
  for (auto _ : state) GofficeText(out, kScaled.c_str(), 1e308, nullptr, nullptr);
  g_string_free(out, TRUE);
  state.SetItemsProcessed(state.iterations());
}

// Per workbook: rows, then those where the engine and GOffice give the
// spreadsheet's text, compared as the corpus tests compare; then the same
// per column of the fraction table.
int Agreement() {
  std::map<std::string, int> rows, engine, goffice;
  GString* out = g_string_new(nullptr);
  XlsFormatString object = Engine(true);
  for (const Case& c : S().rows) {
    ++rows[c.workbook];
    if (xlstest::Agrees(c.workbook, c.expected, EngineText(object, c.escaped, c))) ++engine[c.workbook];
    GofficeText(out, c.format.c_str(), c.value, c.number ? nullptr : c.text.c_str(), S().dates);
    if (xlstest::Agrees(c.workbook, c.expected, out->str)) ++goffice[c.workbook];
  }
  g_string_free(out, TRUE);
  int all = 0, allEngine = 0, allGoffice = 0;
  std::printf("| workbook | rows | engine | GOffice |\n|---|---:|---:|---:|\n");
  for (const auto& [name, n] : rows) {
    std::printf("| %s | %d | %d | %d |\n", name.c_str(), n, engine[name], goffice[name]);
    all += n;
    allEngine += engine[name];
    allGoffice += goffice[name];
  }
  std::printf("| all | %d | %d | %d |\n", all, allEngine, allGoffice);

  // The fraction table, per column, compared as its readers compare.
  std::map<std::string, int> cells, engineCells, gofficeCells;
  out = g_string_new(nullptr);
  object = Engine(false);
  for (size_t i = 0; i < S().fractionRows.size(); ++i) {
    Case c;
    c.value = S().fractions[i];
    for (const auto& [column, format] : xlstest::kFractionColumns) {
      const std::string expected = xlstest::Normalized(S().fractionRows[i].at(column));
      ++cells[column];
      if (expected == xlstest::Normalized(EngineText(object, xlstest::EscapeForeign(xlstest::U(format)), c)))
        ++engineCells[column];
      GofficeText(out, format.c_str(), c.value, nullptr, nullptr);
      if (expected == xlstest::Normalized(out->str)) ++gofficeCells[column];
    }
  }
  g_string_free(out, TRUE);
  std::printf("\n| fraction column | cells | engine | GOffice |\n|---|---:|---:|---:|\n");
  for (const auto& [column, n] : cells)
    std::printf("| %s | %d | %d | %d |\n", column.c_str(), n, engineCells[column], gofficeCells[column]);
  return all > 0 ? 0 : 1;
}

}  // namespace

BENCHMARK(Engine_Corpus)->Name("engine/corpus numbers");
BENCHMARK(EngineParsedOnce_Corpus)->Name("engine parsed once/corpus numbers");
BENCHMARK(Goffice_Corpus)->Name("goffice/corpus numbers");
BENCHMARK(Engine_Fractions)->Name("engine/fractions #\\ ?" "?/?????????");
BENCHMARK(Goffice_Fractions)->Name("goffice/fractions #\\ ?" "?/?????????");
BENCHMARK(Engine_Scaled)->Name("engine/1e308, 255 scaling commas");
BENCHMARK(Goffice_Scaled)->Name("goffice/1e308, 255 scaling commas");

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C");
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--agreement") == 0) return Agreement();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
