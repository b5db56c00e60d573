// The library as a client sees it: linked only against libquarnel.so, with
// its exports as nm lists them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <dlfcn.h>

#include "quarnel/error.h"
#include "quarnel/library.h"
#include "quarnel/message.h"
#include "quarnel/name.h"
#include "quarnel/util.h"
#include "quarnel/xls_format_string.h"
#include "quarnel/zel_lang.h"
#include "quarnel/zel_cstr.h"
#include "testsupport/symbols.h"

namespace {

std::string LibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&ObraCommon::getLibVersion), &info) == 0 || info.dli_fname == nullptr)
    return "";
  return info.dli_fname;
}

// The demangled names of the library's defined dynamic symbols.
std::vector<std::string> ExportedSymbols(const std::string& library) {
  std::vector<std::string> names;
  for (const testsupport::DynamicSymbol& s : testsupport::DefinedDynamicSymbols(library, true)) names.push_back(s.name);
  return names;
}

bool NamesObraCommon(const std::string& name) {
  for (const char* prefix : {"", "typeinfo for ", "typeinfo name for ", "vtable for "})
    if (name.rfind(std::string(prefix) + "ObraCommon::", 0) == 0) return true;
  return false;
}

TEST(QuarnelApi, ExportsOnlyTheLibrarysInterface) {
  std::string library = LibraryPath();
  ASSERT_NE(library.find("libquarnel.so"), std::string::npos) << library;
  std::vector<std::string> names = ExportedSymbols(library);
  ASSERT_FALSE(names.empty()) << "nm found no exports in " << library;

  bool errorTypeInfo = false;
  bool cstr = false;
  for (const std::string& name : names) {
    if (name == "_init" || name == "_fini") continue;
    EXPECT_TRUE(NamesObraCommon(name)) << "export outside ObraCommon: " << name;
    for (const char* internal : {"throwLibraryError", "throwIOError", "getErrorOriginName", "libraryLock",
                                 "roundHalfAwayFromZero", "normaliseLanguageTag"})
      EXPECT_EQ(name.find(internal), std::string::npos) << "internal function exported: " << name;
    errorTypeInfo |= name == "typeinfo for ObraCommon::ZelError";
    cstr |= name.rfind("ObraCommon::ZelCStr::getCString", 0) == 0;
  }
  EXPECT_TRUE(errorTypeInfo);
  EXPECT_TRUE(cstr);
  for (const char* cls : {"ZelName", "ZelNameTable", "ZelNameList", "ZelUtil", "ZelUri", "MathMLName", "SVGName",
                          "ZelValue", "ZelNamedValue", "ZelNamedValueMap", "ZelColor",
                          "ZelTokenizer", "ZelWritingMode", "ZelSide", "ZelOrientation",
                          "ZelChar", "ZelScript", "ZelLang", "XlsFormatString"}) {
    std::string prefix = std::string("ObraCommon::") + cls + "::";
    bool found = false;
    for (const std::string& name : names) found |= name.rfind(prefix, 0) == 0;
    EXPECT_TRUE(found) << "nothing of " << cls << " is exported";
  }
}

TEST(QuarnelApi, ErrorThrownInTheLibraryIsCaughtByItsType) {
  ObraCommon::ZelError error(0x1003, u"Cannot open file: x", u"here");
  try {
    error.throwFatalError();
    FAIL() << "nothing thrown";
  } catch (const ObraCommon::ZelError& caught) {
    EXPECT_EQ(caught.getErrorCode(), 0x1003);
  }
}

// ICU's clean-up is process-wide, so it runs in a child of its own; a leak
// report under AddressSanitizer would change the child's exit.
TEST(QuarnelApi, CleanupAfterIcuWasUsed) {
  EXPECT_EXIT(
      {
        ObraCommon::ZelCStr text(u"\u65E5\u672C");
        bool converted = text.getCString("cp932") == "\x93\xFA\x96\x7B";
        ObraCommon::ZelMessage message(u"{0}!", text);
        // Run-time names: the clean-up frees the shared table with them.
        ObraCommon::ZelNameTable::addRefSharedNameTable();
        bool named = true;
        for (int i = 0; i < 1000; ++i)
          named &= ObraCommon::ZelName(ObraCommon::UnicodeString(u"n") + ObraCommon::UnicodeString(std::to_string(i).c_str())) == 1598 + i;
        ObraCommon::cleanup();
        std::exit(converted && named && message.toString().length() == 3 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// The clean-up frees the number-formatting tables with the rest and
// returns; under AddressSanitizer the child's exit also checks for leaks.
TEST(QuarnelApi, CleanupAfterNumbersWereFormatted) {
  EXPECT_EXIT(
      {
        using ObraCommon::UnicodeString;
        using ObraCommon::ZelLang;
        using ObraCommon::ZelUtil;
        bool formatted = ZelUtil::formatNumber(22, UnicodeString(u"A"), ZelLang("it")) == u"AA" &&
                         ZelUtil::formatNumber(5, UnicodeString(u"\u0430"), ZelLang("uk")) == u"\u0491";
        formatted &= ObraCommon::ZelName(UnicodeString(u"run-time name")) > ObraCommon::ZEL_NAME_LAST_BUILTIN;
        ObraCommon::cleanup();
        std::exit(formatted ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(QuarnelApi, CleanupWhenNoNumberWasFormatted) {
  EXPECT_EXIT(
      {
        ObraCommon::cleanup();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// The number-format engine's entry points and converters are the interface;
// the tests' helpers and the kanji unit rendering stay inside.
TEST(QuarnelApi, NumberFormatEntryPoints) {
  std::string library = LibraryPath();
  std::vector<std::string> names = ExportedSymbols(library);
  for (const char* member : {"fmtget", "fmtnum", "fmtstr", "FormatString", "fmtsel", "iscond", "countKetasu",
                             "sethanzenNumS", "setzenNum", "setzenTani", "fmtnumN", "fmtnumD", "ConvGeneral"}) {
    const std::string prefix = std::string("ObraCommon::XlsFormatString::") + member + "(";
    bool found = false;
    for (const std::string& name : names) found |= name.rfind(prefix, 0) == 0;
    EXPECT_TRUE(found) << member << " is not exported";
  }
  for (const std::string& name : names) {
    EXPECT_EQ(name.find("EscapeForeign"), std::string::npos) << name;
    EXPECT_EQ(name.find("appendKanjiGeneral"), std::string::npos) << name;
  }
  ObraCommon::XlsFormatString object;
  EXPECT_EQ(u"", object.FormatString(u"[>1]0", 0.5));
  EXPECT_EQ(3, ObraCommon::XlsFormatString::countKetasu(u"a\u6F22"));
}

}  // namespace
