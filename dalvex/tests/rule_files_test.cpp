// The rule-file scanner on small self-made files: encodings, comments,
// names, shared sets, and the files it must refuse.
#include <gtest/gtest.h>

#include <filesystem>

#include "cconv_internal.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;

std::string Utf16(const std::string& ascii, bool bom = true, bool big = false) {
  std::string out = bom ? (big ? "\xFE\xFF" : "\xFF\xFE") : "";
  for (char c : ascii) {
    if (big) out.push_back('\0');
    out.push_back(c);
    if (!big) out.push_back('\0');
  }
  return out;
}

const char* kDecl = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n";

std::string Rule(const std::string& name, const std::string& sets, const std::string& entities) {
  return std::string(kDecl) + "<!DOCTYPE charset [\r\n" + entities + "]>\r\n<charset>\r\n<name>" + name +
         "</name>\r\n<rule construle=\"constSAME\" destrule=\"destSAME\"></rule>\r\n" + sets + "</charset>\r\n";
}

std::string Set(const std::string& name, const std::string& width, const std::string& table) {
  std::string text = kDecl;
  if (!table.empty()) text += "<!DOCTYPE subseta [<!ENTITY table SYSTEM \"" + table + "\">]>";
  text += "<subseta>\r\n<name>" + name + "</name>\r\n<lang domain=\"ja\"></lang>\r\n<code bytenum=\"" + width +
          "\"></code>\r\n<defined>00-7F 80</defined>\r\n";
  if (!table.empty()) text += "<srtable>&table;</srtable>\r\n";
  return text + "</subseta>\r\n";
}

class Rules : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testsupport::TempDir().string() + "/";
    ASSERT_EQ(startProcess(), 1);
    cconv::TheEngine().folder = folder_;
    Put("a.set", Utf16(Set("Set-A", "1", "a.tbl")));
    Put("a.tbl", Utf16("41 0041\n", false));
  }
  void TearDown() override { endProcess(); }
  void Put(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(testsupport::WriteFile(folder_ + name, bytes));
  }
  static std::string Uses(const std::string& file) {
    return "<!ENTITY s1 SYSTEM \"" + file + "\">\r\n";
  }
  std::string folder_;
};

TEST_F(Rules, ReadsCharsetsAndSharesSets) {
  Put("one.xml", Utf16(Rule("MY-Charset", "<baseset>&s1;</baseset>\r\n", Uses("A.SET"))));
  // BOM-less UTF-16LE, a "--" comment hiding a set, and the same set file.
  Put("two.xml", Utf16(Rule("second", "-- <baseset>&s9;</baseset> --<baseset>& s1;</baseset>", Uses("a.set")), false));
  Put("z-again.xml", Utf16(Rule("my-charset", "", "")));
  Put("upper.XML", Utf16(Rule("never", "", "")));
  ASSERT_EQ(cconvLoadRule(), 1);
  char name[260];
  std::vector<std::string> names;
  for (int i = 0; cconvEnumGroup(i, name); ++i) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"my-charset", "second"}));
  const CconvCharset* first = cconv::FindCharset(cconv::NameToId("my-charset"));
  const CconvCharset* second = cconv::FindCharset(cconv::NameToId("second"));
  ASSERT_TRUE(first && second);
  ASSERT_EQ(first->sets.size(), 1u);  // the file naming it again changed nothing
  EXPECT_EQ(first->encoder_name, "constSAME");
  ASSERT_EQ(second->sets.size(), 1u);
  EXPECT_EQ(first->sets[0], second->sets[0]);
  EXPECT_EQ(cconv::TheEngine().code_sets.size(), 1u);
  const cconv::CconvCodeSet& set = *first->sets[0];
  EXPECT_EQ(set.unit_width, 1);
  EXPECT_EQ(set.domain, "ja");
  EXPECT_EQ(set.highest_defined, 0x80u);
  CconvSession session{};
  ASSERT_EQ(cconvChgCharset(&session, nullptr, "SECOND"), 0);
  EXPECT_EQ(set.to_unicode->Lookup(0x41), 0x41u);
  EXPECT_EQ(set.to_code->state(), cconv::CconvTable::State::kNotLoaded);
  ASSERT_EQ(cconvInitConvert(&session, nullptr, "my-charset"), 0);
  EXPECT_EQ(set.to_code->state(), cconv::CconvTable::State::kLoaded);
}

TEST_F(Rules, RefusesBrokenFiles) {
  std::string long_name(260, 'n');
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"utf-8 file", "<?xml version=\"1.0\" encoding=\"utf-8\"?><charset><name>u</name></charset>"},
      {"over-long name", Utf16(Rule(long_name, "", ""))},
      {"missing entity", Utf16(Rule("x1", "<baseset>&nothere;</baseset>", Uses("a.set")))},
      {"missing set file", Utf16(Rule("x2", "<baseset>&s1;</baseset>", Uses("gone.set")))},
      {"width 0", Utf16(Rule("x3", "<baseset>&s1;</baseset>", Uses("w0.set")))},
      {"width 5", Utf16(Rule("x4", "<baseset>&s1;</baseset>", Uses("w5.set")))},
      {"rule without destrule", Utf16(std::string(kDecl) + "<charset><name>x5</name><rule construle=\"a\"></rule></charset>")},
      {"no name", Utf16(std::string(kDecl) + "<charset></charset>")},
      {"entity declared only as the tail of a longer name",
       Utf16(Rule("x6", "<baseset>&s1;</baseset>", "<!ENTITY xs1 SYSTEM \"a.set\">\r\n"))},
  };
  Put("w0.set", Utf16(Set("w0", "0", "")));
  Put("w5.set", Utf16(Set("w5", "5", "")));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(folder_ + "r.xml");
    Put("r.xml", c.bytes);
    EXPECT_EQ(cconvLoadRule(), 0);
    EXPECT_TRUE(cconv::TheEngine().charsets.empty());
  }
}

// Processing instructions go first, then "--" comments, then line ends and
// tabs become blanks; what one step leaves joined is seen by the next.
TEST_F(Rules, DropsInstructionsCommentsAndLineEnds) {
  struct Case {
    const char* what;
    std::string name;
    std::string sets;
    const char* loaded;  // the charset's name, or nothing loaded
  } cases[] = {
      {"line ends and tabs in a name", "a\r\nb\rc\td\ne", "<baseset>&s1;</baseset>", "a b c d e"},
      {"a comment joined across an instruction", "joined", "-<?pi?>- <baseset>&s9;</baseset> --<baseset>&s1;</baseset>",
       "joined"},
      {"an instruction inside a comment", "inner", "-- <?pi?> --<baseset>&s1;</baseset>", "inner"},
      {"an instruction that never ends", "open-pi", "<baseset>&s1;</baseset><?pi", nullptr},
      {"a comment that never ends", "open-comment", "<baseset>&s1;</baseset> -- ", nullptr},
      {"a comment inside a name", "hidden--x--", "<baseset>&s1;</baseset>", "hidden"},
      {"a line end split by an instruction", "a\r<?pi?>\nb", "<baseset>&s1;</baseset>", "a b"},
      {"a dash held up to the end tag", "dash-", "<baseset>&s1;</baseset>", "dash-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    endProcess();
    ASSERT_EQ(startProcess(), 1);
    cconv::TheEngine().folder = folder_;
    Put("r.xml", Utf16(Rule(c.name, c.sets, Uses("a.set"))));
    EXPECT_EQ(cconvLoadRule(), c.loaded != nullptr ? 1 : 0);
    char name[260] = {};
    if (c.loaded == nullptr) {
      EXPECT_EQ(cconvEnumGroup(0, name), 0);
      continue;
    }
    ASSERT_EQ(cconvEnumGroup(0, name), 1);
    EXPECT_STREQ(name, c.loaded);
    EXPECT_EQ(cconv::TheEngine().charsets[0]->sets.size(), 1u);
  }
}

TEST_F(Rules, ReadsUserAreasAndBigEndianFiles) {
  Put("area.set", Utf16("<name>area-x</name><codec bytenum=\"2\"></codec><defrange start=\"F040\" number=\"BC\"></defrange>", true, true));
  Put("r.xml", Utf16(Rule("area", "<eudcset>&s1;</eudcset>", Uses("area.set")), true, true));
  ASSERT_EQ(cconvLoadRule(), 1);
  ASSERT_EQ(cconv::TheEngine().charsets.size(), 1u);
  const cconv::CconvCodeSet& set = *cconv::TheEngine().charsets[0]->sets.at(0);
  EXPECT_EQ(set.kind, 3);
  EXPECT_EQ(set.area_start, 0xF040);
  EXPECT_EQ(set.area_count, 0xBC);
}

}  // namespace

// A rule naming a codec of the other direction ("destEUC-JP" as the
// encoder) loads, but its sessions have no codec for that side: converting
// answers 1 and ending the session runs nothing. Run as an encoder, the
// decoder read past the caller's input when the session was ended.
TEST_F(Rules, CodecsNamedForTheOtherDirectionAreNotRun) {
  std::string rule = Rule("swapped", "<baseset>&s1;</baseset>", Uses("a.set"));
  const std::string same = "construle=\"constSAME\" destrule=\"destSAME\"";
  rule.replace(rule.find(same), same.size(), "construle=\"destEUC-JP\" destrule=\"constEUC-JP\"");
  Put("r.xml", Utf16(rule));
  ASSERT_EQ(cconvLoadRule(), 1);
  const uint8_t text[] = {'a', 0xA4, 0xA2, 0x8F};
  uint8_t output[64];
  CconvSession session{};
  ASSERT_EQ(cconvInitConvert(&session, nullptr, "swapped"), 0);
  ASSERT_EQ(cconvChgCharset(&session, nullptr, "swapped"), 0);
  session.input = text;
  session.input_length = sizeof text;
  session.output = output;
  session.output_capacity = sizeof output;
  EXPECT_EQ(cconvConvert(&session), 1);
  EXPECT_EQ(session.output_length, 0);
  EXPECT_EQ(cconvTermConvert(&session), 0);
}
