// ZelUtil's base64 against coreutils' base64 as a peer, both ways, what
// decoding passes over, and the data URIs it writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "quarnel/util.h"
#include "support.h"
#include "testsupport/testdata.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelUtil;
using quarnel_test::RunCommand;
using quarnel_test::Utf8;

std::string Encode(const std::string& bytes) {
  std::istringstream in(bytes);
  return Utf8(ZelUtil::encodeBase64(in, static_cast<int>(bytes.size())));
}

std::string Decode(const std::string& text) {
  std::u16string wide(text.begin(), text.end());
  std::ostringstream out;
  ZelUtil::decodeBase64(wide.c_str(), static_cast<int>(wide.size()), out);
  return out.str();
}

TEST(Base64, DecodingSkipsAndStops) {
  // Decoding stops at the first "=", skips what is not in the alphabet and
  // writes only complete bytes.
  EXPECT_EQ(Decode("Zg==Zm8="), "f");
  EXPECT_EQ(Decode(" Zm\r\n9v\tYm*Fy "), "foobar");
  EXPECT_EQ(Decode("Zm9vY"), "foo");
  std::ostringstream none;
  ZelUtil::decodeBase64(u"Zm9v", 0, none);
  ZelUtil::decodeBase64(u"Zm9v", -4, none);
  ZelUtil::decodeBase64(nullptr, 4, none);
  EXPECT_TRUE(none.str().empty());
}

TEST(Base64, SameTextAsCoreutilsAndReadsItsLines) {
  std::string probe;
  if (!RunCommand("base64 --version", probe)) GTEST_SKIP() << "coreutils base64 is not available";
  std::mt19937 random(3072);
  std::vector<size_t> sizes = {0, 1, 2, 3, 3071, 3072, 3073, 6144};
  for (int i = 0; i < 24; ++i) sizes.push_back(random() % 10001);
  const std::string path = (testsupport::TempDir() / "base64-blob.bin").string();
  for (size_t size : sizes) {
    std::string blob(size, '\0');
    for (char& byte : blob) byte = static_cast<char>(random());
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(blob.data(), static_cast<std::streamsize>(size));
    std::string peer;
    ASSERT_TRUE(RunCommand("base64 -w0 '" + path + "'", peer)) << size;
    EXPECT_EQ(Encode(blob), peer) << size << " bytes";
    std::string lines;
    ASSERT_TRUE(RunCommand("base64 '" + path + "'", lines)) << size;
    EXPECT_EQ(Decode(lines), blob) << size << " bytes from 76-column lines";
  }
  std::remove(path.c_str());
}

TEST(Base64, DataUris) {
  std::istringstream png("\x89PNG");
  EXPECT_EQ(Utf8(ZelUtil::encodeBase64(png, 4, u"image/png", UnicodeString())), "data:image/png;base64,iVBORw==");
  std::istringstream text("abc");
  EXPECT_EQ(Utf8(ZelUtil::encodeBase64(text, -1, u"text/plain", u"charset=utf-8")),
            "data:text/plain;charset=utf-8;base64,YWJj");
  // The size is only a hint.
  std::istringstream large("xy");
  EXPECT_EQ(Utf8(ZelUtil::encodeBase64(large, 0x7FFFFFFF)), "eHk=");
}

}  // namespace
