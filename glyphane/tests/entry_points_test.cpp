// Glyphane's entry points over self-made drawings: result codes and what is
// left on disk (no empty output, no file for an output path too long), 25
// for damaged property sets from every path entry point, the callback rule
// of the "2" entry points, the byte-order mark of a shared output, the log,
// and embedded drawings through the extraction interface: the error kept
// under flag A 0x8000 and a chain of drawings cut at the nesting limit.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "glyphane/glyphane.h"
#include "testsupport/compound_file_writer.h"
#include "testsupport/property_set_writer.h"
#include "testsupport/testdata.h"
#include "travix/travix.h"
#include "visio_builder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CompoundFileWriter;
using testsupport::TempDir;
using vsdtest::Chunk;
using vsdtest::ShapeChunk;
using vsdtest::SimpleDocument;
using vsdtest::TextChunk;
using vsdtest::Wide;

// ---- drawings ----

std::string CompoundDrawing(const std::string& stream, const std::string& summary = std::string()) {
  CompoundFileWriter writer;
  if (!summary.empty()) writer.AddStream(writer.Root(), "\005SummaryInformation", summary);
  writer.AddStream(writer.Root(), "VisioDocument", stream);
  return writer.Build().bytes;
}

// A shape with a text, in version 11.
std::string TextShape(uint32_t id, const std::string& text) {
  return ShapeChunk(11, 72, id) + TextChunk(11, Wide(text));
}

// A shape holding an embedded object whose file is `bytes`.
std::string ObjectShape(uint32_t id, const std::string& bytes) {
  std::string object = Chunk(11, 13, std::string(4, '\0'));
  vsdtest::Put32(&object, 8, 1);
  return ShapeChunk(11, 72, id) + object + Chunk(11, 31, bytes);
}

std::string OnePage(const std::string& text) { return SimpleDocument(11, {{"P1", TextShape(1, text)}}); }

// A drawing that holds the next one of the chain, `depth` more below it.
std::string Chain(int depth, int level = 0) {
  const std::string n = std::to_string(level);
  // Shapes without a position come out last first.
  std::string page = TextShape(1, "after " + n);
  if (depth > 0) page += ObjectShape(2, CompoundDrawing(Chain(depth - 1, level + 1)));
  page += TextShape(3, "outer " + n);
  return SimpleDocument(11, {{"L" + n, page}});
}

ExtractOptionsV4 Options(uint32_t flags_a) { return vsdtest::Request("UTF-8", flags_a, INT32_MIN, 1); }

// ---- the callback ----

std::vector<ExtractErrorInfo> reported;
int callback_answer = 1;

int Record(ExtractErrorInfo* info) {
  reported.push_back(*info);
  return callback_answer;
}

class EntryPoints : public glyphane_test::EngineTest {
 protected:
  void SetUp() override {
    glyphane_test::EngineTest::SetUp();
    reported.clear();
    callback_answer = 1;
  }

  std::string Save(const std::string& name, const std::string& bytes) {
    const fs::path path = TempDir() / name;
    EXPECT_TRUE(testsupport::WriteFile(path, bytes));
    return path.string();
  }
  std::string Drawing(const std::string& stream, const std::string& summary = std::string()) {
    return Save("d" + std::to_string(files_++) + ".vsd", CompoundDrawing(stream, summary));
  }
  std::string Out(const std::string& name = "out.txt") { return (TempDir() / name).string(); }

  // Runs a "2" file call on the drawing `stream` into `file` (caller
  // output under 0x4000) with `target`.
  int32_t Nested(const std::string& stream, KVB_FileHandle file, ExtractOptionsV4 options,
                 ExtractOutputTarget* target, ExtractErrorCallback callback = &Record) {
    KVB_OleStorage* root = KVB_2OLEopen(Drawing(stream).c_str());
    EXPECT_NE(root, nullptr);
    int32_t rc = GetText2WithErrCallback(root, file, &options, 0, target, callback);
    KVB_2OLEclose(root);
    return rc;
  }

  int files_ = 0;
};

TEST_F(EntryPoints, PathCallsLeaveNoEmptyFile) {
  struct Case {
    const char* what;
    std::string stream;
    int32_t page;  // 0: the whole document
    int32_t code;
    bool file_stays;
  } cases[] = {
      {"no page reached", SimpleDocument(11, {}), 0, NoTextStringFound, false},
      {"a page beyond the count", OnePage("x"), 2, NoTextStringFound, false},
      {"the page asked for", OnePage("x"), 1, 0, true},
      {"invalid before any text", SimpleDocument(11, {{"P", TextShape(1, "x")}}, {3}), 0, InvalidFile, false},
      {"the whole document", OnePage("x"), 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string input = Drawing(c.stream), output = Out();
    ExtractOptionsV4 options = Options(8);
    int32_t page = c.page;
    const int32_t rc = c.page ? GetPageTextWithErrCallback(input.c_str(), output.c_str(), &options, &page, 0, &Record)
                              : GetTextWithErrCallback(input.c_str(), output.c_str(), &options, 0, &Record);
    EXPECT_EQ(rc, c.code);
    EXPECT_EQ(fs::exists(output), c.file_stays);
    EXPECT_TRUE(reported.empty());  // the path entry points report nothing themselves
    fs::remove(output);
  }
}

TEST_F(EntryPoints, OutputPathTooLongOpensNothing) {
  const std::string input = Drawing(OnePage("x"));
  const std::string output = (TempDir() / std::string(320, 'o')).string();
  ExtractOptionsV4 options = Options(8 | kFlagALog);
  EXPECT_EQ(GetTextWithErrCallback(input.c_str(), output.c_str(), &options, 0, nullptr), FilePathTooLong);
  int32_t page = 1;
  EXPECT_EQ(GetPageTextWithErrCallback(input.c_str(), output.c_str(), &options, &page, 0, nullptr), FilePathTooLong);
  for (const auto& entry : fs::directory_iterator(TempDir()))  // no output, no log
    EXPECT_NE(entry.path().filename().string()[0], 'o') << entry.path();
}

TEST_F(EntryPoints, DamagedPropertySetGives25FromEveryPathCall) {
  std::string summary = testsupport::SummaryStream({testsupport::Lpstr(2, "Title")});
  vsdtest::Put32(&summary, 24, 5000);  // a section count the stream cannot hold
  const std::string input = Drawing(OnePage("x"), summary);
  ExtractOptionsV4 options = Options(8);
  int32_t page = 1;
  std::ostringstream stream;
  EXPECT_EQ(GetTextWithErrCallback(input.c_str(), Out().c_str(), &options, 0, nullptr), FileCantRead);
  EXPECT_EQ(GetPageTextWithErrCallback(input.c_str(), Out().c_str(), &options, &page, 0, nullptr), FileCantRead);
  EXPECT_EQ(GetTextStreamWithErrCallback(input.c_str(), &stream, &options, 0, nullptr), FileCantRead);
  EXPECT_EQ(GetPageTextStreamWithErrCallback(input.c_str(), &stream, &options, &page, 0, nullptr), FileCantRead);
  EXPECT_FALSE(fs::exists(Out()));
  EXPECT_TRUE(stream.str().empty());
}

TEST_F(EntryPoints, LogBesideTheOutputOnlyWhenAsked) {
  const std::string input = Drawing(OnePage("x"));  // d0.vsd
  fs::create_directory(TempDir() / "o");
  const std::string output = Out("o/result.txt");
  for (uint32_t flags : {8u, 8u | kFlagALog}) {
    ExtractOptionsV4 options = Options(flags);
    ASSERT_EQ(GetTextWithErrCallback(input.c_str(), output.c_str(), &options, 0, nullptr), 0);
    EXPECT_EQ(fs::exists(TempDir() / "o/resultvsd.log"), flags != 8u);
    std::ostringstream stream;
    ASSERT_EQ(GetTextStreamWithErrCallback(input.c_str(), &stream, &options, 0, nullptr), 0);
    EXPECT_EQ(fs::exists(TempDir() / "d0vsd.log"), flags != 8u);
  }
  EXPECT_EQ(fs::file_size(TempDir() / "o/resultvsd.log"), 0u);
  EXPECT_EQ(fs::file_size(TempDir() / "d0vsd.log"), 0u);
}

TEST_F(EntryPoints, NestedCallbackRule) {
  ExtractOutputTarget target{};
  target.level = 2;
  ExtractOptionsV4 options = Options(8 | kFlagACallerOutput);
  KVB_FileHandle file = KVB_FileOpen(Out().c_str(), "wb+");
  ASSERT_NE(file, nullptr);

  // A null storage: 22, no call.
  EXPECT_EQ(GetText2WithErrCallback(nullptr, file, &options, 0, &target, &Record), FileCantOpen);
  std::ostringstream stream;
  EXPECT_EQ(GetText2StreamWithErrCallback(nullptr, &stream, &options, 0, &target, &Record), FileCantOpen);
  EXPECT_TRUE(reported.empty());

  struct Case {
    const char* what;
    std::string drawing;
    uint32_t flags_a;
    int32_t limit;
    int answer;
    int32_t code;      // reported
    int32_t result;    // returned
  } cases[] = {
      {"success, callback nonzero", OnePage("x"), 8, 0, 1, 0, 0},
      {"3003, callback nonzero", SimpleDocument(11, {}), 8, 0, 1, NoTextStringFound, NoTextStringFound},
      {"3003, callback zero", SimpleDocument(11, {}), 8, 0, 0, NoTextStringFound, 0},
      {"3005, callback zero", OnePage("a long text"), 8 | kFlagAOutputLimit, 3, 0, FileLengthOver, FileLengthOver},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reported.clear();
    callback_answer = c.answer;
    ExtractOptionsV4 o = Options(c.flags_a | kFlagACallerOutput);
    o.length_limit = c.limit;
    target.count = 0;
    EXPECT_EQ(Nested(c.drawing, file, o, &target), c.result);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].level, 2);
    EXPECT_STREQ(reported[0].engine, "vsd");
    EXPECT_EQ(reported[0].code, c.code);
  }
  KVB_FileClose(file);

  // The code of the last nested extraction was reported by it: an
  // embedded object that is no drawing gives 4001 from the interface,
  // which reports nothing; the drawing's own 4001 is not reported again.
  CompoundFileWriter not_drawing;
  not_drawing.AddStream(not_drawing.Root(), "Contents", "text");
  reported.clear();
  ExtractOptionsV4 embedded = Options(8 | kFlagAEmbeddedObjects);
  target.count = 0;
  std::ostringstream out;
  KVB_OleStorage* root =
      KVB_2OLEopen(Drawing(SimpleDocument(11, {{"P", ObjectShape(1, not_drawing.Build().bytes)}})).c_str());
  EXPECT_EQ(GetText2StreamWithErrCallback(root, &out, &embedded, 0, &target, &Record), OleNotSuppoted);
  KVB_2OLEclose(root);
  EXPECT_TRUE(reported.empty());
}

TEST_F(EntryPoints, NestedFilesAndMarks) {
  // Without a caller's output the interface names the file; an empty
  // result leaves none behind.
  ExtractOutputTarget target{};
  std::snprintf(target.path, sizeof target.path, "%s", Out("job.txt").c_str());
  callback_answer = 0;
  EXPECT_EQ(Nested(SimpleDocument(11, {}), nullptr, Options(8), &target), 0);
  EXPECT_FALSE(fs::exists(Out("job_1.txt")));
  EXPECT_EQ(Nested(OnePage("x"), nullptr, Options(8), &target), 0);
  EXPECT_EQ(testsupport::ReadFile(Out("job_1.txt")), "\xEF\xBB\xBF\"P1\"\r\n\r\n\r\n\"x\"\r\n");

  // A name that does not fit: the interface answers 27, the call 23.
  ExtractOutputTarget deep{};
  std::snprintf(deep.path, sizeof deep.path, "%s/%s.vsd", TempDir().c_str(), std::string(250, 'n').c_str());
  callback_answer = 1;
  EXPECT_EQ(Nested(OnePage("x"), nullptr, Options(8), &deep), FileCantCreate);

  // A shared output holding text gets no second mark; the running count
  // comes back in the target.
  KVB_FileHandle file = KVB_FileOpen(Out("shared.txt").c_str(), "wb+");
  ASSERT_NE(file, nullptr);
  target.count = 0;
  EXPECT_EQ(Nested(OnePage("a"), file, Options(8 | kFlagACallerOutput), &target), 0);
  EXPECT_EQ(Nested(OnePage("b"), file, Options(8 | kFlagACallerOutput), &target), 0);
  EXPECT_EQ(target.count, 3 + 15 + 15);
  KVB_FileClose(file);
  EXPECT_EQ(testsupport::ReadFile(Out("shared.txt")), "\xEF\xBB\xBF\"P1\"\r\n\r\n\r\n\"a\"\r\n\"P1\"\r\n\r\n\r\n\"b\"\r\n");
  std::ostringstream stream("prefix", std::ios::ate);
  ExtractOptionsV4 o = Options(8);
  KVB_OleStorage* root = KVB_2OLEopen(Drawing(OnePage("c")).c_str());
  EXPECT_EQ(GetText2StreamWithErrCallback(root, &stream, &o, 0, &target, nullptr), 0);
  KVB_2OLEclose(root);
  EXPECT_EQ(stream.str(), "prefix\"P1\"\r\n\r\n\r\n\"c\"\r\n");
}

TEST_F(EntryPoints, LastFailingObjectUnderGoOn) {
  CompoundFileWriter not_drawing;
  not_drawing.AddStream(not_drawing.Root(), "Contents", "text");
  const std::string broken = CompoundDrawing(SimpleDocument(11, {{"P", TextShape(1, "x")}}, {3}));
  const std::string page = TextShape(1, "last") + ObjectShape(2, broken) + TextShape(3, "middle") +
                           ObjectShape(4, not_drawing.Build().bytes) + TextShape(5, "first");
  const std::string input = Drawing(SimpleDocument(11, {{"P", page}}));
  ExtractOptionsV4 options = Options(8 | kFlagAEmbeddedObjects | kFlagAGoOnAfterEmbeddedError);
  EXPECT_EQ(GetTextWithErrCallback(input.c_str(), Out().c_str(), &options, 0, &Record), InvalidFile);
  EXPECT_EQ(testsupport::ReadFile(Out()), "\xEF\xBB\xBF\"P\"\r\n\r\n\r\n\"first\"\r\n\"middle\"\r\n\"last\"\r\n");
  ASSERT_EQ(reported.size(), 1u);  // the broken drawing, level 1
  EXPECT_EQ(reported[0].level, 1);
  EXPECT_EQ(reported[0].code, InvalidFile);
}

TEST_F(EntryPoints, ChainOfDrawingsStopsAtTheNestingLimit) {
  const std::string input = Drawing(Chain(4));  // five drawings
  std::string complete = "\xEF\xBB\xBF";
  for (int level = 0; level <= 3; ++level)
    complete += "\"L" + std::to_string(level) + "\"\r\n\r\n\r\n\"outer " + std::to_string(level) + "\"\r\n";
  for (int level = 3; level >= 0; --level) complete += "\"after " + std::to_string(level) + "\"\r\n";

  ExtractOptionsV4 go_on = Options(8 | kFlagAEmbeddedObjects | kFlagAGoOnAfterEmbeddedError);
  EXPECT_EQ(GetTextWithErrCallback(input.c_str(), Out().c_str(), &go_on, 0, &Record), OleOutOfLimit);
  const std::string text = testsupport::ReadFile(Out());
  EXPECT_EQ(text.find("\xEF\xBB\xBF", 1), std::string::npos);
  EXPECT_EQ(text, complete);

  ExtractOptionsV4 stop = Options(8 | kFlagAEmbeddedObjects);
  EXPECT_EQ(GetTextWithErrCallback(input.c_str(), Out().c_str(), &stop, 0, &Record), OleOutOfLimit);
  EXPECT_EQ(testsupport::ReadFile(Out()), complete.substr(0, complete.find("\"after")));
}

}  // namespace
