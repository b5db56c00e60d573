// Log files: the switch and the naming rule.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "dalvex/log.h"
#include "testsupport/testdata.h"

using testsupport::ReadFile;
using testsupport::TempDir;

TEST(Log, NothingIsCreatedWithoutTheBit) {
  std::string path = (TempDir() / "a.log").string();
  EXPECT_EQ(kvb_logfopen(0, path.c_str()), nullptr);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(kvb_logfprintf(0x10000, nullptr, "%d", 1), 0);
  EXPECT_EQ(kvb_logfclose(0x10000, nullptr), 0);

  KVB_FileHandle log = kvb_logfopen(0x10000, path.c_str());
  ASSERT_NE(log, nullptr);
  kvb_logfprintf(0x10000, log, "code %d\n", 42);
  kvb_logfprintf(0, log, "hidden %d\n", 1);
  EXPECT_EQ(kvb_logfclose(0x10000, log), 0);
  EXPECT_EQ(ReadFile(path), "code 42\n");

  // An existing log is truncated.
  log = kvb_logfopen(0x10000, path.c_str());
  kvb_logfclose(0x10000, log);
  EXPECT_EQ(ReadFile(path), "");
}

TEST(Log, NameBesideTheOutput) {
  char out[260];
  EXPECT_EQ(GetLogFileName("D:\\out\\report.txt", "rar", out), 0);
  EXPECT_STREQ(out, "D:\\out\\reportrar.log");
  EXPECT_EQ(GetLogFileName("/out/report.txt", "vsd", out), 0);
  EXPECT_STREQ(out, "/out/reportvsd.log");
  EXPECT_EQ(GetLogFileName("a.txt", "vsd", out), 0);
  EXPECT_STREQ(out, "avsd.log");
  EXPECT_EQ(GetLogFileName("a.txt", "vsd", nullptr), -1);
}

TEST(Log, LimitsAreCheckedBeforeAnythingIsCopied) {
  char out[260];
  std::string base252(252, 'b'), base253(253, 'b');
  EXPECT_EQ(GetLogFileName((base252 + ".txt").c_str(), "rar", out), 0);
  EXPECT_EQ(std::strlen(out), 252u + 3 + 4);
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(GetLogFileName((base253 + ".txt").c_str(), "rar", out), -1);
  EXPECT_STREQ(out, "");

  // Long paths give nothing, and nothing is written past the 260 bytes.
  for (size_t length : {300u, 4000u}) {
    std::string path = "/" + std::string(length, 'd') + "/x.txt";
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(GetLogFileName(path.c_str(), "vsd", out), -1) << length;
    EXPECT_STREQ(out, "");
  }
  // Folder and name fit alone but not together.
  std::string folder = "/" + std::string(150, 'd') + "/";
  std::string path = folder + std::string(100, 'n') + ".txt";
  EXPECT_EQ(GetLogFileName(path.c_str(), "vsd", out), 0);
  EXPECT_EQ(GetLogFileName(path.c_str(), "longsuffix", out), -1);
  EXPECT_STREQ(out, "");
}
