// The compiled tables: every row of their data, and the lookups' first-row
// rules.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "detect.h"
#include "tables.h"

namespace {

using namespace probelin;

template <typename Row, typename Key>
size_t Rows(const Row* table, Key key) {
  size_t n = 0;
  while (key(table[n]) != 0) ++n;
  return n;
}

// The lines of a data file, one row each.
size_t DataLines(const char* file) {
  std::ifstream in(std::string(PROBELIN_SOURCE_DIR) + "/data/" + file);
  size_t lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

// Every line of the data files becomes a row of its compiled table.
TEST(DtctTables, CompiledTablesHoldEveryRow) {
  EXPECT_EQ(Rows(kFormatTable, [](const FormatRow& r) { return r.id; }), DataLines("format_table.tsv"));
  EXPECT_EQ(Rows(kFormatCatalog, [](const CatalogRow& r) { return r.id; }), DataLines("format_catalog.tsv"));
  EXPECT_EQ(Rows(kHeadKinds, [](const HeadKindRow& r) { return r.kind; }), DataLines("head_kinds.tsv"));
  EXPECT_EQ(Rows(kOleStreams, [](const OleStreamRow& r) { return r.order; }), DataLines("ole_streams.tsv"));
}

TEST(DtctTables, FirstRowWins) {
  const FormatRow* oasys = FindFormatRow(274, 6);
  ASSERT_NE(oasys, nullptr);
  EXPECT_STREQ(oasys->second, "V6");

  DtctWork w{};
  DtctResult r{};
  w.result = &r;
  struct Case {
    int32_t id;
    bool found;
    int32_t class_word;
    const char* extension;
  } cases[] = {
      {368, true, 1, "2003"}, {264, true, 120, ""}, {378, true, 1, "VSD"}, {183, true, 8, ""},
      {370, false, 0, ""},    {371, false, 0, ""},  {396, false, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    r = DtctResult{};
    r.format_id = c.id;
    EXPECT_EQ(DtctCatalogLookup(w), c.found);
    EXPECT_EQ(r.result_word, c.class_word);
    EXPECT_STREQ(r.extension, c.extension);
  }
  EXPECT_STREQ(LanguageName(3), "Simplified Chinese");
  EXPECT_STREQ(LanguageName(0), "");
  EXPECT_EQ(LanguageName(6), nullptr);
}

// A record fill with a (id, sub) pair the format table lacks still copies
// the finding and the language, and reports failure.
TEST(DtctTables, FillWithoutANameRow) {
  DtctWork w{};
  DtctResult r{};
  w.result = &r;
  r.format_id = 396;
  r.sub = 2007;
  w.language = kKorean;
  FileDtctRecord record{};
  EXPECT_TRUE(DtctFillRecord(&record, w)) << "the format table names 396";
  EXPECT_STREQ(record.name, "Excel 2007/2010 Binary with Macro");
  r.format_id = 378;
  r.sub = 7;
  record = FileDtctRecord{};
  EXPECT_FALSE(DtctFillRecord(&record, w));
  EXPECT_EQ(record.format_id, 378);
  EXPECT_STREQ(record.name, "");
  EXPECT_STREQ(record.language, "Korean");
}

}  // namespace
