// The extraction interface: its ordinal table and Glyphane's, output names,
// routing by format, the nesting limit of the four nested operations, the
// plug-ins kept out of the global symbol scope, and format detection over
// the real drawings.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "engine_fixture.h"
#include "glyphane/glyphane.h"
#include "glyphane/ordinal_table.h"
#include "testsupport/compound_file_writer.h"
#include "testsupport/testdata.h"
#include "travix/travix.h"
#include "visio_builder.h"
#include "win32/module.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

std::string DrawingFile(const std::string& name, const std::string& text) {
  testsupport::CompoundFileWriter writer;
  std::string stream = vsdtest::SimpleDocument(
      11, {{"P", vsdtest::ShapeChunk(11, 72, 1) + vsdtest::TextChunk(11, vsdtest::Wide(text))}});
  stream.replace(0, 20, "Visio (TM) Drawing\r\n");  // the signature detection looks for
  writer.AddStream(writer.Root(), "VisioDocument", stream);
  const fs::path path = TempDir() / name;
  EXPECT_TRUE(writer.Build().Save(path));
  return path.string();
}

ExtractOptionsV4 DesktopRequest(const char* charset) {
  return vsdtest::Request(charset, kFlagALineEndCrLf, INT32_MIN, 1, "Japanese");
}

int calls = 0;
int Count(ExtractErrorInfo*) { return ++calls; }

using Travix = glyphane_test::EngineTest;
using TravixDetectCorpus = glyphane_test::EngineTest;

TEST(TravixTables, OrdinalsResolveToTheirExports) {
  void* travix = win32::LoadLibraryBeside(reinterpret_cast<const void*>(&travix_OrdinalTable), "libtravix.so");
  ASSERT_NE(travix, nullptr);
  size_t count = 0;
  const win32::OrdinalEntry* entries = travix_OrdinalTable(&count);
  std::span<const win32::OrdinalEntry> table(entries, count);
  const std::pair<uint32_t, void*> travix_exports[] = {
      {kDetectFormatOrdinal, reinterpret_cast<void*>(&DetectFormat)},
      {kGetTextV4Ordinal, reinterpret_cast<void*>(&GetText_V4)},
      {kGetPropertyV4Ordinal, reinterpret_cast<void*>(&GetProperty_V4)},
      {kGetOutputNameOrdinal, reinterpret_cast<void*>(&GetOutputName)},
      {kGetMemberTextOrdinal, reinterpret_cast<void*>(&GetMemberText)},
      {kGetInsertFileTextOrdinal, reinterpret_cast<void*>(&GetInsertFileText)},
      {kGetInsertFileTextStreamOrdinal, reinterpret_cast<void*>(&GetInsertFileTextStream)},
      {kGetMemberTextStreamOrdinal, reinterpret_cast<void*>(&GetMemberTextStream)},
  };
  EXPECT_EQ(count, std::size(travix_exports));
  for (const auto& [ordinal, address] : travix_exports)
    EXPECT_EQ(win32::ProcByOrdinal(travix, table, ordinal), address) << ordinal;
  EXPECT_EQ(win32::ProcByOrdinal(travix, table, 999), nullptr);
  dlclose(travix);

  void* glyphane = win32::LoadLibraryBeside(reinterpret_cast<const void*>(&travix_OrdinalTable), "libglyphane.so");
  ASSERT_NE(glyphane, nullptr);
  const std::pair<uint32_t, const char*> glyphane_exports[] = {
      {106, "GetProperty"}, {108, "GetTextStreamWithErrCallback"}, {109, "GetText2StreamWithErrCallback"},
      {110, "GetTextWithErrCallback"}, {111, "GetText2WithErrCallback"}, {112, "GetPageTextWithErrCallback"},
      {113, "GetPageTextStreamWithErrCallback"}};
  EXPECT_EQ(glyphane::OrdinalTable().size(), std::size(glyphane_exports));
  for (const auto& [ordinal, name] : glyphane_exports) {
    void* address = win32::ProcByOrdinal(glyphane, glyphane::OrdinalTable(), ordinal);
    EXPECT_NE(address, nullptr) << name;
    EXPECT_EQ(address, dlsym(glyphane, name)) << name;
  }
  dlclose(glyphane);
}

TEST_F(Travix, OutputNames) {
  const std::string dir = TempDir().string();
  ASSERT_TRUE(testsupport::WriteFile(dir + "/taken_1.txt", "x"));
  fs::create_directory(dir + "/a.b");
  struct Case {
    std::string path;
    std::string name;  // empty: a temporary name
    int32_t code;
  } cases[] = {
      {dir + "/out.txt", dir + "/out_1.txt", 0},
      {dir + "/taken.vsd", dir + "/taken_2.txt", 0},
      {dir + "/a.b/plain", dir + "/a.b/plain_1.txt", 0},
      {"", "", 0},
      {dir + "/" + std::string(250, 'n') + ".txt", "", FilePathTooLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ExtractOutputTarget target{};
    std::snprintf(target.path, sizeof target.path, "%s", c.path.c_str());
    char name[260];
    std::memset(name, 'z', sizeof name);
    ASSERT_EQ(GetOutputName(&target, name), c.code);
    if (c.code != 0) continue;
    if (!c.name.empty()) {
      EXPECT_EQ(std::string(name), c.name);
    } else {
      EXPECT_EQ(fs::path(name).parent_path(), TempDir());
      EXPECT_EQ(fs::path(name).extension(), ".txt");
      EXPECT_FALSE(fs::exists(name));
    }
  }
}

TEST_F(Travix, RoutingByFormat) {
  const std::string drawing = DrawingFile("a.vsd", "hello");
  const std::string text = (TempDir() / "a.pdf").string();
  ASSERT_TRUE(testsupport::WriteFile(text, "%PDF-1.4\n1 0 obj\n<<>>\nendobj\ntrailer\n<<>>\n%%EOF\n"));
  const std::string rar = (TempDir() / "a.rar").string();
  ASSERT_TRUE(testsupport::WriteFile(rar, std::string("Rar!\x1a\x07\x00", 7) + std::string(64, '\0')));
  std::string folder;
  ASSERT_TRUE(win32::ModulePath(reinterpret_cast<const void*>(&GetText_V4), nullptr, &folder));
  const bool rar_extractor = fs::exists(folder + "libvombril.so");

  ExtractOptionsV4 options = DesktopRequest("UTF-8");
  const std::string out = (TempDir() / "out.txt").string();
  EXPECT_EQ(GetText_V4(drawing.c_str(), out.c_str(), &options, nullptr), 0);
  EXPECT_EQ(testsupport::ReadFile(out), "\xEF\xBB\xBF\"P\"\r\n\r\n\r\n\"hello\"\r\n");
  EXPECT_EQ(GetText_V4(text.c_str(), out.c_str(), &options, nullptr), NotSuppoted);
  EXPECT_EQ(GetText_V4((TempDir() / "missing.vsd").c_str(), out.c_str(), &options, nullptr), CantDetectFile);
  if (!rar_extractor) {
    EXPECT_EQ(GetText_V4(rar.c_str(), out.c_str(), &options, nullptr), NotSuppoted);
  }

  FormatInfo info{};
  EXPECT_EQ(DetectFormat(drawing.c_str(), &info), 0);
  EXPECT_STREQ(info.name, "Visio 2003/2007");
  EXPECT_EQ(info.format_id, 378);
  EXPECT_EQ(info.state, 0);

  DocPropertyRecord record{};
  EXPECT_EQ(GetProperty_V4(text.c_str(), &options, &record), NotSuppoted);
  EXPECT_EQ(GetProperty_V4(drawing.c_str(), &options, &record), NoTextStringFound);  // no summary stream

  // An archived drawing is appended to the caller's file; any other
  // member is not supported here.
  KVB_FileHandle file = KVB_FileOpen(out.c_str(), "wb+");
  ASSERT_NE(file, nullptr);
  ExtractOutputTarget target{};
  EXPECT_EQ(GetMemberText(drawing.c_str(), file, &options, &target, 2, nullptr), 0);
  EXPECT_EQ(GetMemberText(rar.c_str(), file, &options, &target, 2, nullptr), CompressedFileNotSuppoted);
  EXPECT_EQ(GetMemberText(text.c_str(), file, &options, &target, 2, nullptr), CompressedFileNotSuppoted);
  KVB_FileClose(file);
  EXPECT_EQ(target.level, 0);
  EXPECT_EQ(testsupport::ReadFile(out), "\xEF\xBB\xBF\"P\"\r\n\r\n\r\n\"hello\"\r\n");
  std::ostringstream stream;
  EXPECT_EQ(GetMemberTextStream(drawing.c_str(), &stream, &options, &target, 2, nullptr), 0);
  EXPECT_EQ(stream.str(), "\xEF\xBB\xBF\"P\"\r\n\r\n\r\n\"hello\"\r\n");
}

TEST_F(Travix, NestingBeyondThreeLevelsIsRefused) {
  const std::string drawing = DrawingFile("a.vsd", "hello");
  KVB_OleStorage* root = KVB_2OLEopen(drawing.c_str());
  ASSERT_NE(root, nullptr);
  ExtractOptionsV4 options = DesktopRequest("UTF-8");
  const std::string out = (TempDir() / "out.txt").string();
  KVB_FileHandle file = KVB_FileOpen(out.c_str(), "wb+");
  std::ostringstream stream;
  for (int32_t level : {2, 3, 7}) {
    SCOPED_TRACE(level);
    ExtractOutputTarget target{};
    target.level = level;
    calls = 0;
    const bool refused = level >= 3;
    EXPECT_EQ(GetInsertFileText(root, file, &options, &target, &Count), refused ? OleOutOfLimit : 0);
    EXPECT_EQ(GetInsertFileTextStream(root, &stream, &options, &target, &Count), refused ? OleOutOfLimit : 0);
    EXPECT_EQ(GetMemberText(drawing.c_str(), file, &options, &target, 2, &Count),
              refused ? CompressedFileOutOfLimit : 0);
    EXPECT_EQ(GetMemberTextStream(drawing.c_str(), &stream, &options, &target, 2, &Count),
              refused ? CompressedFileOutOfLimit : 0);
    EXPECT_EQ(target.level, level);
    EXPECT_EQ(calls, refused ? 0 : 4);  // each nested drawing reports to the callback
  }
  KVB_FileClose(file);
  KVB_2OLEclose(root);
  EXPECT_EQ(fs::file_size(out), 3 + 2 * 18u);  // level 2 only: one mark, two texts
}

// The plug-ins live in their own symbol scopes: a library beside them that
// exports the same names takes none of their calls, and theirs take none
// of its.
TEST_F(Travix, PluginsKeepTheirOwnSymbols) {
  void* twin = win32::LoadLibraryBeside(reinterpret_cast<const void*>(&GetText_V4), "libtravix_twin_test.so");
  ASSERT_NE(twin, nullptr) << dlerror();
  auto twin_calls = reinterpret_cast<int (*)()>(dlsym(twin, "twin_Calls"));
  auto twin_get_text = reinterpret_cast<GlyphaneGetTextFn>(dlsym(twin, "GetTextWithErrCallback"));
  ASSERT_TRUE(twin_calls && twin_get_text);

  const std::string drawing = DrawingFile("a.vsd", "hello");
  const std::string out = (TempDir() / "out.txt").string();
  ExtractOptionsV4 options = DesktopRequest("UTF-8");
  EXPECT_EQ(GetText_V4(drawing.c_str(), out.c_str(), &options, nullptr), 0);
  EXPECT_EQ(testsupport::ReadFile(out), "\xEF\xBB\xBF\"P\"\r\n\r\n\r\n\"hello\"\r\n");
  EXPECT_EQ(twin_calls(), 0);
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "GetPageTextWithErrCallback"), nullptr);  // Glyphane's names are not global
  EXPECT_EQ(twin_get_text(drawing.c_str(), out.c_str(), &options, 0, nullptr), 4321);
  EXPECT_EQ(twin_calls(), 1);
  dlclose(twin);
}

TEST_F(TravixDetectCorpus, DetectFormatOverTheDrawings) {
  TESTDATA_OR_SKIP(dir, "vsd");
  std::set<std::string> visio;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    FormatInfo info{};
    const int32_t rc = DetectFormat(entry.path().c_str(), &info);
    if (name == "poi-clusterfuzz-testcase-minimized-POIVisioFuzzer-4537225637134336.vsd") {
      EXPECT_NE(info.format_id, 378);  // a zip package, not a drawing
      continue;
    }
    if (rc != 0 || info.format_id != 378) continue;
    visio.insert(name);
    // The name follows the header's version byte.
    std::string stream;
    KVB_OleStorage* root = KVB_2OLEopen(entry.path().c_str());
    ASSERT_NE(root, nullptr);
    KVB_OleStream* document = KVB_2OLEopenStream(root, "VisioDocument");
    ASSERT_NE(document, nullptr);
    char header[0x20] = {};
    KVB_2OLEreadStream(document, header, sizeof header);
    KVB_2OLEcloseStream(document);
    KVB_2OLEclose(root);
    const int version = static_cast<uint8_t>(header[0x1A]);
    const char* expected = version <= 5 ? "Visio 5.0" : version == 6 ? "Visio 2000/2002" : "Visio 2003/2007";
    EXPECT_STREQ(info.name, expected) << version;
    EXPECT_EQ(info.state, 0);
  }
  for (const std::string& name : vsdtest::IndexedDrawings(dir)) EXPECT_TRUE(visio.count(name)) << name;
}

}  // namespace
