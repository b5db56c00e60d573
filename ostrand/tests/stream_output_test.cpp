// Ostrand's answers on the stream kinds the extractors are given: string,
// file and two-way string streams; and its exports against its ordinals.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "ostrand/stream_output.h"
#include "testsupport/symbols.h"
#include "testsupport/testdata.h"
#include "win32/module.h"

namespace {

struct Kind {
  const char* name;
  std::function<std::unique_ptr<std::ostream>()> make;
};

std::vector<Kind> Kinds() {
  return {
      {"ostringstream", [] { return std::make_unique<std::ostringstream>(); }},
      {"stringstream", [] { return std::make_unique<std::stringstream>(); }},
      {"ofstream",
       [] {
         return std::make_unique<std::ofstream>(testsupport::TempDir() / "out.bin", std::ios::binary);
       }},
  };
}

TEST(StreamOutput, WriteAnswersTheStreamState) {
  for (const Kind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    auto os = kind.make();
    EXPECT_EQ(KVB_WriteStream(os.get(), 0, ""), 0);
    EXPECT_EQ(KVB_WriteStream(os.get(), 3, "abc"), 0);
    EXPECT_EQ(KVB_WriteStream(os.get(), -1, "abc"), 1);
    os->setstate(std::ios::badbit);
    EXPECT_EQ(KVB_WriteStream(os.get(), 3, "abc"), 1);
  }
  EXPECT_EQ(KVB_WriteStream(nullptr, 3, "abc"), 1);
}

TEST(StreamOutput, TellCountsWhatWasWritten) {
  for (const Kind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    auto os = kind.make();
    EXPECT_EQ(KVB_StreamTell(os.get()), 0);
    ASSERT_EQ(KVB_WriteStream(os.get(), 10, "0123456789"), 0);
    EXPECT_EQ(KVB_StreamTell(os.get()), 10);
  }
}

// A stream whose buffer cannot seek still reports the characters waiting in
// its put area; a failed stream reports that count too.
TEST(StreamOutput, TellFallsBackToThePutArea) {
  struct NoSeek : std::stringbuf {
    pos_type seekoff(off_type, std::ios::seekdir, std::ios::openmode) override { return pos_type(-1); }
  } buffer;
  std::ostream os(&buffer);
  os.write("abcd", 4);
  EXPECT_EQ(KVB_StreamTell(&os), 4);
  std::ostringstream failed;
  failed.write("abcdef", 6);
  failed.setstate(std::ios::failbit);
  EXPECT_EQ(KVB_StreamTell(&failed), 6);
}

TEST(StreamOutput, ExportsMatchTheOrdinalTable) {
  std::string library;
  ASSERT_TRUE(win32::ModulePath(reinterpret_cast<const void*>(&KVB_WriteStream), &library, nullptr));
  std::vector<std::string> functions = testsupport::DefinedFunctions(library);
  ASSERT_FALSE(functions.empty());
  std::set<std::string> exported(functions.begin(), functions.end());
  size_t count = 0;
  const win32::OrdinalEntry* table = ostrand_OrdinalTable(&count);
  std::set<std::string> expected = {"ostrand_OrdinalTable"};
  for (size_t i = 0; i < count; ++i) expected.insert(table[i].name);
  std::erase_if(exported, [](const std::string& n) { return n.rfind("_init", 0) == 0 || n.rfind("_fini", 0) == 0; });
  EXPECT_EQ(exported, expected);
}

}  // namespace
