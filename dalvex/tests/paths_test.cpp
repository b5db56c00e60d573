// Path splitting, joining and delimiter search.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dalvex/portability.h"

namespace {

struct Split {
  char drive[3], folder[256], base[256], extension[256];
};

Split SplitOf(const std::string& path) {
  Split s;
  std::memset(&s, 'x', sizeof s);
  KVB_splitpath(path.c_str(), s.drive, s.folder, s.base, s.extension);
  return s;
}

}  // namespace

TEST(Paths, SplitAcceptsBothSeparators) {
  Split s = SplitOf("/work/a.b/report.final.txt");
  EXPECT_STREQ(s.drive, "");
  EXPECT_STREQ(s.folder, "/work/a.b/");
  EXPECT_STREQ(s.base, "report.final");
  EXPECT_STREQ(s.extension, ".txt");
  s = SplitOf("C:\\dir\\name");
  EXPECT_STREQ(s.folder, "C:\\dir\\");
  EXPECT_STREQ(s.base, "name");
  EXPECT_STREQ(s.extension, "");
  KVB_WIN_ASC_splitpath("x.vsd", nullptr, nullptr, s.base, nullptr);  // null parts are skipped
  EXPECT_STREQ(s.base, "x");

  char16_t drive[3], folder[256], base[256], extension[256];
  KVB_WIN_splitpath(u"/a/\u65e5.vsd", drive, folder, base, extension);
  EXPECT_EQ(std::u16string(folder), u"/a/");
  EXPECT_EQ(std::u16string(base), u"\u65e5");
  EXPECT_EQ(std::u16string(extension), u".vsd");
}

TEST(Paths, OverlongPartsGiveEmptyParts) {
  for (size_t n : {255u, 256u, 300u, 5000u}) {
    Split s = SplitOf("/" + std::string(n, 'f') + "/" + std::string(n, 'b') + "." + std::string(n, 'e'));
    bool fits = n + 2 < 256;
    EXPECT_EQ(std::strlen(s.folder), fits ? n + 2 : 0) << n;
    EXPECT_EQ(std::strlen(s.base), fits ? n : 0) << n;
    EXPECT_EQ(std::strlen(s.extension), fits ? n + 1 : 0) << n;
  }
}

TEST(Paths, MakeJoinsWithOneSeparatorWithin260Bytes) {
  char out[260];
  KVB_makepath(out, "", "/out", "report", "txt");
  EXPECT_STREQ(out, "/out/report.txt");
  KVB_makepath(out, nullptr, "/out/", "report", ".txt");
  EXPECT_STREQ(out, "/out/report.txt");
  KVB_WIN_ASC_makepath(out, nullptr, nullptr, "name", nullptr);
  EXPECT_STREQ(out, "name");
  std::string folder(252, 'f');
  std::memset(out, 'x', sizeof out);
  KVB_makepath(out, "", folder.c_str(), "name", "txt");
  EXPECT_STREQ(out, "");
  char16_t wide[260];
  KVB_WIN_makepath(wide, u"", u"/d", u"\u65e5", u".txt");
  EXPECT_EQ(std::u16string(wide), u"/d/\u65e5.txt");
}

TEST(Paths, Delimiters) {
  EXPECT_EQ(KVB_getPathBreak("C:\\a\\b.txt"), 4);
  EXPECT_EQ(KVB_getPathBreak("b.txt"), 0);
  EXPECT_EQ(KVB_getPathBreak("\\b.txt"), 0);
  EXPECT_EQ(KVB_getPathBreak("/a/b/"), 4);
  EXPECT_EQ(KVB_nextPathDelimiter("ab/c\\d"), 2);
  EXPECT_EQ(KVB_nextPathDelimiter("abc"), 3);
  EXPECT_EQ(KVB_nextDrivePathDelimiter("C:\\x"), 1);
  // UTF-8 bytes are never separators.
  EXPECT_EQ(KVB_nextPathDelimiter("\xE8\xA1\xA8/x"), 3);
}
