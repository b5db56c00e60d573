// The code page 932 and GBK bytes that the build makes with iconv for the
// fixed CJK texts decode, through ICU's converters, to their UTF-8 sources.
#include <gtest/gtest.h>

#include <string>

#include <unicode/ucnv.h>

#include "cjk_texts.h"

namespace {

// `bytes` in the ICU charset `charset`, as UTF-8 (empty on failure).
std::string ToUtf8(const std::string& bytes, const char* charset) {
  UErrorCode status = U_ZERO_ERROR;
  std::string out(bytes.size() * 4 + 8, '\0');
  int32_t n = ucnv_convert("UTF-8", charset, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                           static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status)) return "(ICU: " + std::string(u_errorName(status)) + ")";
  out.resize(static_cast<size_t>(n));
  return out;
}

TEST(CjkTexts, GeneratedBytesDecodeToTheirSources) {
  ASSERT_GT(glyphane::kCjkTextEntryCount, 20u);
  for (size_t i = 0; i < glyphane::kCjkTextEntryCount; ++i) {
    const glyphane::CjkTextEntry& e = glyphane::kCjkTextEntries[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(ToUtf8(e.cp932, "windows-31j"), e.utf8);
    EXPECT_EQ(ToUtf8(e.gbk, "GBK"), e.utf8);
    EXPECT_NE(std::string(e.cp932), e.utf8);  // really converted
  }
  EXPECT_EQ(glyphane::CjkText("era_heisei", 932), "\x95\xBD\x90\xAC");
  EXPECT_EQ(glyphane::CjkText("shape_zh", 936), "\xD0\xCE\xD7\xB4");
  EXPECT_EQ(glyphane::CjkText("no such text", 932), "");
}

}  // namespace
