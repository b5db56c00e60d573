// The name table's generator refuses what would make a wrong table: a table
// of another size, a text twice, a listed text that is not built in, and
// two constants of one name; and it writes nothing then.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;

TEST(GenNames, RefusesTablesAndListsThatWouldBeWrong) {
  std::string table = testsupport::ReadFile(QUARNEL_BUILTIN_NAMES_FILE);
  ASSERT_FALSE(table.empty());
  fs::path dir = testsupport::TempDir() / "gen_names_test";
  fs::create_directories(dir);

  struct Case {
    const char* what;
    std::string table;
    std::string list;
    bool ok;
  };
  std::string shorter = table.substr(0, table.rfind('\n', table.size() - 2) + 1);
  std::string doubled = "true\n" + table.substr(table.find('\n') + 1);
  const Case cases[] = {
      {"the table and its list", table, "true\nSHIFT-JIS\tNAME_SHIFT_HYPHEN_JIS\nSHIFT_JIS\n", true},
      {"case folds together", table, "Basic\nbasic\n", false},
      {"punctuation folds together", table, "ISO-8859-1\nISO_8859-1\n", false},
      {"a text that is not built in", table, "no-such-name\n", false},
      {"a bad constant name", table, "true\tTRUE\n", false},
      {"one name short", shorter, "", false},
      {"a text twice", doubled, "", false},
  };
  for (const Case& c : cases) {
    fs::path out = dir / "out.cpp";
    fs::path header = dir / "out.h";
    fs::remove(out);
    fs::remove(header);
    std::ofstream(dir / "table.txt", std::ios::binary | std::ios::trunc) << c.table;
    std::ofstream(dir / "list.txt", std::ios::binary | std::ios::trunc) << c.list;
    std::string command = std::string("'") + QUARNEL_GEN_NAMES + "' '" + (dir / "table.txt").string() + "' '" +
                          (dir / "list.txt").string() + "' '" + out.string() + "' '" + header.string() + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()) == 0, c.ok) << c.what;
    EXPECT_EQ(fs::exists(out), c.ok) << c.what;
    EXPECT_EQ(fs::exists(header), c.ok) << c.what;
  }
  fs::remove_all(dir);
}

}  // namespace
