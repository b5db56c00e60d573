// Vombril's entry points on archives made by the project's RAR writer, with
// a double of the extraction interface: flag word B, the log, the
// extraction folder, the entry headers and their output limit, encrypted
// members, stored names, the walkers, paths that try to leave their folder,
// and the configuration archive through the real plug-in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <memory>
#include <set>
#include <string>

#include <dlfcn.h>
#include <unistd.h>

#include "cindral/key_value.h"
#include "dalvex/cconv.h"
#include "member_double.h"
#include "rar_job.h"
#include "rarstore/rar_writer.h"
#include "testsupport/symbols.h"
#include "testsupport/testdata.h"
#include "vombril/vombril.h"

namespace {

namespace fs = std::filesystem;
using rarstore::Entry;
using vombril_test::MemberDouble;

fs::path BuildDir() { return fs::path(std::getenv("PROJECT_BUILD_DIR")); }

ExtractOptionsV4 Options(uint32_t flags_b, const char* charset = "Shift_JIS", uint32_t flags_a = 0,
                         const char* language = "Japanese") {
  ExtractOptionsV4 o{};
  std::strcpy(o.charset, charset);
  std::strcpy(o.language, language);
  o.flags_a = flags_a;
  o.flags_b = flags_b;
  return o;
}

Entry File(const std::string& name, const std::string& data) {
  Entry e;
  e.name = name;
  e.data = data;
  return e;
}

// Temporary copies left in the temporary folder.
int LeftoverCopies() {
  int n = 0;
  for (const auto& e : fs::directory_iterator(testsupport::TempDir()))
    if (e.path().filename().string().rfind("kvb", 0) == 0) ++n;
  return n;
}

int CountingCallback(ExtractErrorInfo*) { return 1; }

class Vombril : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(BuildDir() / "etc", testsupport::TempDir() / "etc", fs::copy_options::recursive);
    ASSERT_EQ(startProcess(), 1);
    ASSERT_EQ(cconvLoadRule(), 1);
    dir_ = testsupport::TempDir() / "work";
    fs::create_directories(dir_);
  }
  void TearDown() override { endProcess(); }

  std::string Archive(const std::vector<Entry>& entries, const std::string& name = "data.rar") {
    std::string path = (dir_ / name).string();
    EXPECT_TRUE(testsupport::WriteFile(path, rarstore::WriteArchive(entries)));
    return path;
  }
  std::string Out(const std::string& name = "out.txt") { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(Vombril, FlagWordBGates) {
  std::string archive = Archive({File("a.txt", "text")});
  MemberDouble port;
  struct Case {
    uint32_t flags_b;
    int expected;
  } cases[] = {{0, 3003}, {0x300, 6006}, {0x200, 6006}, {0x400, 3003}};
  for (const Case& c : cases) {
    ExtractOptionsV4 o = Options(c.flags_b);
    EXPECT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), c.expected) << c.flags_b;
    EXPECT_FALSE(fs::exists(Out()));
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  EXPECT_TRUE(port.calls.empty());
}

TEST_F(Vombril, LogBesideTheOutput) {
  std::string archive = Archive({File("a.txt", "text")});
  MemberDouble port;
  ExtractOptionsV4 o = Options(0x500, "Shift_JIS", 0x10000);
  ASSERT_EQ(GetTextWithErrCallback(archive.c_str(), Out("r.txt").c_str(), &o, 0, nullptr), 0);
  EXPECT_EQ(testsupport::ReadFile(dir_ / "rrar.log"), "KVB_VOMBRIL gettext().\r\n");
}

TEST_F(Vombril, PathLimits) {
  MemberDouble port;
  std::string archive = Archive({File("a.txt", "text")});
  std::string long_archive = "/" + std::string(260, 'a');  // 261 characters
  ExtractOptionsV4 o = Options(0x500);
  ExtractOutputTarget target{};
  EXPECT_EQ(GetTextWithErrCallback(long_archive.c_str(), Out().c_str(), &o, 0, nullptr), 27);
  EXPECT_EQ(GetText4WithErrCallback(long_archive.c_str(), Out().c_str(), &o, 0, &target, nullptr), 27);
  // An output path the target cannot hold is refused before anything is made.
  std::string long_output = (dir_ / std::string(320, 'o')).string();
  EXPECT_EQ(GetTextWithErrCallback(archive.c_str(), long_output.c_str(), &o, 0, nullptr), 27);
  EXPECT_EQ(GetText3WithErrCallback(archive.c_str(), long_output.c_str(), &o, 0, "", nullptr), 27);
  // A password is kept whole, whatever its length.
  std::string password(5000, 'p');
  EXPECT_EQ(GetText3WithErrCallback(archive.c_str(), Out().c_str(), &o, 0, password.c_str(), nullptr), 0);
  EXPECT_TRUE(port.calls.size() == 1);
  // A joined path of 260 characters or more gives 27 and is not made.
  std::string deep = (dir_ / std::string(200, 'd')).string() + "/";
  fs::create_directories(deep);
  std::string far = Archive({File(std::string(60, 'n') + ".txt", "x")}, "far.rar");
  EXPECT_EQ(DecodeRar(far.c_str(), deep.c_str(), nullptr), 27);
  EXPECT_TRUE(fs::is_empty(deep));
}

TEST_F(Vombril, ExtractionFolderIsNumbered) {
  std::string archive = Archive({File("a.txt", "text")});
  ExtractOptionsV4 o = Options(0x100);
  // The archive itself holds the name data.rar beside the output.
  for (const char* expected : {"data.rarDIR", "data.rarDIR1", "data.rarDIR2"}) {
    ASSERT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), 0);
    EXPECT_EQ(testsupport::ReadFile(dir_ / expected / "a.txt"), "text") << expected;
  }
  // Flag B 0x1000: beside the output, under the base name with ".txt".
  std::string sub = Archive({File("dir\\report.doc", "doc"), File("noext", "n")}, "sub.rar");
  o = Options(0x1100);
  ASSERT_EQ(GetTextWithErrCallback(sub.c_str(), Out().c_str(), &o, 0, nullptr), 0);
  EXPECT_EQ(testsupport::ReadFile(dir_ / "report.txt"), "doc");
  EXPECT_EQ(testsupport::ReadFile(dir_ / "noext.txt"), "n");
}

TEST_F(Vombril, EntryHeadersFrameEachText) {
  std::string archive = Archive({File("a.txt", "AAA"), File("b.doc", "BB")});
  MemberDouble port;
  struct Case {
    uint32_t flags_b, flags_a;
    std::string expected;
  } cases[] = {
      {0x500, 0, "Filename:a.txt\r\nContent:\r\nAAA\r\nFilename:b.doc\r\nContent:\r\nBB\r\n"},
      {0x500, 0x20, "Filename:a.txt\nContent:\nAAA\nFilename:b.doc\nContent:\nBB\n"},
      {0x4500, 0, "AAA\r\nBB\r\n"},
  };
  for (const Case& c : cases) {
    ExtractOptionsV4 o = Options(c.flags_b, "Shift_JIS", c.flags_a);
    ASSERT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, CountingCallback), 0);
    EXPECT_EQ(testsupport::ReadFile(Out()), c.expected) << c.flags_b << " " << c.flags_a;
  }
  // The byte-order mark opens an output once, and never follows text.
  ExtractOptionsV4 utf8 = Options(0x500, "UTF-8");
  ASSERT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &utf8, 0, nullptr), 0);
  std::string text = testsupport::ReadFile(Out());
  EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u);
  EXPECT_EQ(text.find("\xEF\xBB\xBF", 1), std::string::npos);
  utf8.flags_b = 0x4500;
  ASSERT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &utf8, 0, nullptr), 0);
  EXPECT_EQ(testsupport::ReadFile(Out()), "AAA\r\nBB\r\n");
  ExtractOutputTarget target{};
  target.count = 7;  // the caller's output already holds text
  utf8.flags_b = 0x500;
  ASSERT_EQ(GetText4WithErrCallback(archive.c_str(), Out().c_str(), &utf8, 0, &target, nullptr), 0);
  EXPECT_EQ(testsupport::ReadFile(Out()).find("\xEF\xBB\xBF"), std::string::npos);
  EXPECT_EQ(target.count, 7 + static_cast<int32_t>(testsupport::ReadFile(Out()).size()));
}

TEST_F(Vombril, StreamOutputGathersTheSameText) {
  std::string archive = Archive({File("a.txt", "AAA")});
  MemberDouble port;
  std::ostringstream out;
  ExtractOptionsV4 o = Options(0x500);
  ASSERT_EQ(GetTextStreamWithErrCallback(archive.c_str(), &out, &o, 0, nullptr), 0);
  EXPECT_EQ(out.str(), "Filename:a.txt\r\nContent:\r\nAAA\r\n");
  ASSERT_EQ(port.calls.size(), 1u);
  EXPECT_TRUE(port.calls[0].stream);
}

TEST_F(Vombril, NoTextLeavesNoOutput) {
  std::string archive = Archive({File("a.txt", ""), File("b.txt", "")});
  MemberDouble port;
  ExtractOptionsV4 o = Options(0x4500);
  EXPECT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), 0);
  EXPECT_FALSE(fs::exists(Out()));
  o.flags_b = 0x500;
  EXPECT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), 0);
  EXPECT_EQ(testsupport::ReadFile(Out()), "Filename:a.txt\r\nContent:\r\n\r\nFilename:b.txt\r\nContent:\r\n\r\n");
}

TEST_F(Vombril, MemberErrorsUnderContinue) {
  std::string archive = Archive({File("1.txt", "one"), File("2.txt", "two"), File("3.txt", "three")});
  MemberDouble port;
  port.results = {0, 3000, 0};
  ExtractOptionsV4 o = Options(0x4D00);
  EXPECT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), 3000);
  EXPECT_EQ(testsupport::ReadFile(Out()), "one\r\nthree\r\n");
  EXPECT_EQ(LeftoverCopies(), 0);
  // Without 0x800 the first error ends the run and the output goes.
  port.calls.clear();
  o.flags_b = 0x4500;
  EXPECT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), 3000);
  EXPECT_FALSE(fs::exists(Out()));
  EXPECT_EQ(port.calls.size(), 2u);
}

TEST_F(Vombril, OutputLimitCutsHeaders) {
  std::string archive = Archive({File("abcdefghijklmnopqrstuvwxyz.txt", "x")});
  MemberDouble port;
  ExtractOptionsV4 o = Options(0x500, "Shift_JIS", 0x400000);
  o.length_limit = 100;
  struct Case {
    int32_t written;
    size_t at_most;
  } cases[] = {{95, 5}, {100, 0}, {120, 0}};  // at and past the limit: nothing more
  for (const Case& c : cases) {
    ExtractOutputTarget target{};
    target.count = c.written;
    EXPECT_EQ(GetText4WithErrCallback(archive.c_str(), Out().c_str(), &o, 0, &target, nullptr), 3005);
    std::string text = testsupport::ReadFile(Out());
    EXPECT_LE(text.size(), c.at_most) << c.written;
    EXPECT_EQ(text, std::string("Filename:abcdefghijklmnopqrstuvwxyz.txt").substr(0, text.size()));
    EXPECT_EQ(target.count, c.written + static_cast<int32_t>(text.size()));
  }
  EXPECT_TRUE(port.calls.empty());
  EXPECT_EQ(LeftoverCopies(), 0);
}

TEST_F(Vombril, InterfaceSeesATemporaryCopy) {
  std::string archive = Archive({File("docs/plan.vsd", "drawing"), File("a.dir/noext", "n"),
                                 File("odd.v$d", "o"), File("x." + std::string(17, 'e'), "e")});
  MemberDouble port;
  ExtractOptionsV4 o = Options(0x500);
  ASSERT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, CountingCallback), 0);
  ASSERT_EQ(port.calls.size(), 4u);
  const char* endings[] = {".vsd", ".tmp", ".tmp", ".tmp"};
  size_t content = 0;
  std::string text = testsupport::ReadFile(Out());
  for (size_t i = 0; i < port.calls.size(); ++i) {
    const auto& call = port.calls[i];
    EXPECT_TRUE(call.existed);
    EXPECT_EQ(fs::path(call.path).parent_path(), testsupport::TempDir());
    EXPECT_EQ(call.path.substr(call.path.size() - 4), endings[i]) << call.path;
    EXPECT_FALSE(fs::exists(call.path));
    EXPECT_EQ(call.callback, &CountingCallback);
    // The running count reaches the interface: everything written before.
    content = text.find("Content:\r\n", content) + 10;
    EXPECT_EQ(call.count_seen, static_cast<int32_t>(content));
  }
  EXPECT_EQ(LeftoverCopies(), 0);
}

TEST_F(Vombril, EncryptedMembers) {
  Entry secret = File("secret.txt", "????");
  secret.encrypted = true;
  std::string archive = Archive({File("a.txt", "A"), secret, File("c.txt", "C")});
  MemberDouble port;
  ExtractOptionsV4 o = Options(0x4500);
  EXPECT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), 3001);
  EXPECT_FALSE(fs::exists(Out()));
  o.flags_b = 0x4D00;
  EXPECT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), 3001);
  EXPECT_EQ(testsupport::ReadFile(Out()), "A\r\nC\r\n");
  o.flags_a = 0x400;
  EXPECT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), 5001);
  std::string folder = (dir_ / "decoded").string();
  fs::create_directories(folder);
  EXPECT_EQ(DecodeRar(archive.c_str(), folder.c_str(), "password"), 5001);
  EXPECT_FALSE(fs::exists(fs::path(folder) / "secret.txt"));
  EXPECT_EQ(LeftoverCopies(), 0);
}

TEST_F(Vombril, StoredNamesInHeaders) {
  MemberDouble port;
  Entry sjis = File("\x93\xFA\x96\x7B.txt", "j");  // 日本.txt in Shift_JIS, no Unicode flag
  Entry unicode = File("\xE6\x97\xA5.txt", "u");   // 日.txt stored with the Unicode flag
  unicode.unicode_flag = true;
  Entry gbk = File("\xD6\xD0.txt", "g");           // 中.txt in GBK
  std::string archive = Archive({sjis, unicode, gbk});
  ExtractOptionsV4 o = Options(0x500, "UTF-8", 0, "Japanese");
  ASSERT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), 0);
  std::string text = testsupport::ReadFile(Out());
  EXPECT_NE(text.find("Filename:\xE6\x97\xA5\xE6\x9C\xAC.txt\r\n"), std::string::npos);
  EXPECT_NE(text.find("Filename:\xE6\x97\xA5.txt\r\n"), std::string::npos);
  EXPECT_EQ(LeftoverCopies(), 0);
  o = Options(0x500, "ChineseGBK", 0, "Simplified Chinese");
  ASSERT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), 0);
  EXPECT_NE(testsupport::ReadFile(Out()).find("Filename:\xD6\xD0.txt\r\n"), std::string::npos);
}

// Stored paths never reach outside the folder; links are never made and a
// link in the way fails its file.
TEST_F(Vombril, HostilePathsStayInside) {
  fs::path outside = dir_ / "outside";
  fs::create_directories(outside);
  fs::path dest = dir_ / "dest";
  fs::create_directories(dest);
  fs::create_directory_symlink(outside, dest / "via");
  struct Case {
    std::string name;
    int expected;
    const char* lands;  // below dest, or null
  } cases[] = {
      {"../escape.txt", 6003, nullptr},
      {"a/../../escape.txt", 6003, nullptr},
      {"..\\escape.txt", 6003, nullptr},
      {"/abs.txt", 0, "abs.txt"},
      {"C:\\drive.txt", 0, "drive.txt"},
      {"./x//y\\.\\z.txt", 0, "x/y/z.txt"},
      {"via/planted.txt", 6003, nullptr},
  };
  for (const Case& c : cases) {
    std::string archive = Archive({File(c.name, "data")}, "hostile.rar");
    EXPECT_EQ(DecodeRar(archive.c_str(), (dest.string() + "/").c_str(), nullptr), c.expected) << c.name;
    if (c.lands) {
      EXPECT_EQ(testsupport::ReadFile(dest / c.lands), "data") << c.name;
    }
  }
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_FALSE(fs::exists(dir_ / "escape.txt"));
  Entry link = File("link", "/etc/passwd");
  link.unix_link = true;
  Entry folder = File("made", "");
  folder.folder = true;
  std::string archive = Archive({link, folder, File("made/in.txt", "in")}, "links.rar");
  for (uint32_t flags_b : {0x100u, 0x500u}) {
    MemberDouble port;
    ExtractOptionsV4 o = Options(flags_b);
    EXPECT_EQ(GetTextWithErrCallback(archive.c_str(), (dest / "o.txt").c_str(), &o, 0, nullptr), 0);
    EXPECT_EQ(port.calls.size(), flags_b & 0x400 ? 1u : 0u);
  }
  EXPECT_EQ(DecodeRar(archive.c_str(), dest.c_str(), nullptr), 0);
  EXPECT_TRUE(fs::is_directory(dest / "made"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dest / "link")));
  EXPECT_EQ(testsupport::ReadFile(dest / "links.rar" / "made" / "in.txt"), "in");
  // A wrong checksum fails the file and leaves nothing of it.
  Entry bad = File("bad.txt", "damaged");
  bad.wrong_checksum = true;
  archive = Archive({bad}, "bad.rar");
  EXPECT_EQ(DecodeRar(archive.c_str(), dest.c_str(), nullptr), 6003);
  EXPECT_FALSE(fs::exists(dest / "bad.txt"));
}

// An archive that cannot be opened leaves no output and no folder.
TEST_F(Vombril, UnreadableArchiveLeavesNothing) {
  testsupport::WriteFile(dir_ / "not.rar", "not an archive at all");
  std::string archive = (dir_ / "not.rar").string();
  ExtractOptionsV4 o = Options(0x500);
  ExtractOutputTarget target{};
  EXPECT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), 1003);
  EXPECT_EQ(GetText4WithErrCallback(archive.c_str(), Out().c_str(), &o, 0, &target, nullptr), 1003);
  o.flags_b = 0x100;
  EXPECT_EQ(GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr), 1003);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(Vombril, Walkers) {
  fs::path root = dir_ / "tree";
  fs::create_directories(root / "full");
  fs::create_directories(root / "empty/deeper");
  testsupport::WriteFile(root / "zero", "");
  testsupport::WriteFile(root / "full/ten", "0123456789");
  fs::path kept = dir_ / "kept";
  fs::create_directories(kept);
  testsupport::WriteFile(kept / "file", "");
  fs::create_directory_symlink(kept, root / "link");
  bool any = false;
  EXPECT_EQ(vombril::PruneEmptyOutputs(root.string(), &any), 0);
  EXPECT_TRUE(any);
  EXPECT_FALSE(fs::exists(root / "zero"));
  EXPECT_FALSE(fs::exists(root / "empty"));
  EXPECT_TRUE(fs::exists(root / "full/ten"));
  EXPECT_TRUE(fs::is_symlink(root / "link"));
  EXPECT_TRUE(fs::exists(kept / "file"));  // never followed
  EXPECT_EQ(vombril::RemoveDirTree(root.string()), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(root)));
  EXPECT_TRUE(fs::exists(kept / "file"));
  EXPECT_EQ(vombril::RemoveDirTree((dir_ / "missing").string()), 0);
}

// Without a double the member operations resolve in the interface beside
// the plug-in, through its ordinal table.
TEST_F(Vombril, RealInterfaceIsBound) {
  std::string archive = Archive({File("a.txt", "text")});
  ExtractOptionsV4 o = Options(0x4500);
  int rc = GetTextWithErrCallback(archive.c_str(), Out().c_str(), &o, 0, nullptr);
  EXPECT_NE(rc, DllLoadFailed);
  EXPECT_NE(rc, DllFuncCantFound);
  EXPECT_EQ(LeftoverCopies(), 0);
}

// The engine starts on the folder Cindral unpacks from etc.dll through the
// real plug-in (that the plug-in gives etc/ byte for byte is Cindral's test).
TEST(VombrilConfiguration, EngineStartRestoresTheFolder) {
  fs::path etc = testsupport::TempDir() / "etc";
  ASSERT_FALSE(fs::exists(etc));
  char value[260];
  ASSERT_EQ(kvb_GetKeyValue("Charsetpath", value, sizeof value), static_cast<int>(etc.string().size() + 1));
  EXPECT_TRUE(fs::exists(etc / "shift_jis.xml"));
  fs::remove_all(etc);
  ASSERT_EQ(startProcess(), 1);
  ASSERT_EQ(cconvLoadRule(), 1);
  EXPECT_TRUE(fs::exists(etc / "shift_jis.xml"));
  CconvSession s{};
  const uint8_t in[] = {0x93, 0xFA, 0x96, 0x7B};
  uint8_t out[16] = {};
  s.input = in;
  s.input_length = 4;
  s.output = out;
  s.output_capacity = sizeof out;
  ASSERT_EQ(cconvInitConvert(&s, nullptr, "UTF-8"), 0);
  ASSERT_EQ(cconvChgCharset(&s, nullptr, "Shift_JIS"), 0);
  EXPECT_EQ(cconvConvert(&s), 0);
  cconvTermConvert(&s);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), s.output_length), "\xE6\x97\xA5\xE6\x9C\xAC");
  endProcess();
}

TEST(VombrilExports, OrdinalTableNamesTheFiveEntryPoints) {
  void* plugin = dlopen((BuildDir() / "bin" / "libvombril.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(plugin, nullptr) << dlerror();
  size_t count = 0;
  const win32::OrdinalEntry* table = vombril::OrdinalTable(&count);
  ASSERT_EQ(count, 5u);
  std::set<std::string> names;
  for (uint32_t ordinal = 107; ordinal <= 111; ++ordinal) {
    EXPECT_NE(win32::ProcByOrdinal(plugin, std::span(table, count), ordinal), nullptr) << ordinal;
    names.insert(win32::OrdinalName(std::span(table, count), ordinal));
  }
  dlclose(plugin);
  // The plug-in exports its five entry points and nothing else.
  std::vector<std::string> functions = testsupport::DefinedFunctions((BuildDir() / "bin" / "libvombril.so").string());
  ASSERT_FALSE(functions.empty());
  std::set<std::string> exported(functions.begin(), functions.end());
  EXPECT_EQ(exported, names);
}

}  // namespace
