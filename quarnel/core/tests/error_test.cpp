// ZelError's message and position rules, the library's raising functions
// and ZelMessage.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "error_raise.h"
#include "quarnel/error.h"
#include "quarnel/message.h"
#include "support.h"

using ObraCommon::UnicodeString;
using ObraCommon::ZelError;
using ObraCommon::ZelMessage;

using quarnel_test::Utf8;

namespace {

// What one raise produced: its code, message and source.
struct Raised {
  int code = -1;
  std::string message;
  std::string source;
};

Raised Catch(const std::function<void()>& raise) {
  Raised raised;
  try {
    raise();
  } catch (const ZelError& error) {
    raised = {error.getErrorCode(), Utf8(error.getRawMessage()), Utf8(error.getSource())};
    EXPECT_EQ(error.getLineNumber(), -1);
    EXPECT_EQ(error.getColumnNumber(), -1);
    EXPECT_TRUE(error.getUri().isEmpty());
  }
  return raised;
}

struct RaiseCase {
  const char* name;
  std::function<void()> raise;
  int code;  // -1: nothing thrown
  const char* message;
  const char* source;
};

TEST(ZelError, RaisingAndFatalCodes) {
  using ObraCommon::throwIOError;
  using ObraCommon::throwLibraryError;
  auto fatal = [](uint16_t code) { return [code] { ZelError(code, u"m", u"s").throwFatalError(); }; };
  const RaiseCase cases[] = {
      {"no error", fatal(0), -1, "", ""},
      {"warning", fatal(0x400), -1, "", ""},
      {"I/O warning", fatal(0x1404), -1, "", ""},
      {"library error", fatal(0x803), 0x803, "m", "s"},
      {"I/O error", fatal(0x1003), 0x1003, "m", "s"},
      {"2051 without argument", [] { throwLibraryError(2051, 9); }, 2051, "SYSTEM ERROR: arg is null.",
       "ObraCommon::ZelNode::appendChild"},
      {"2051", [] { throwLibraryError(2051, 5, u"newChild"); }, 2051, "SYSTEM ERROR: newChild is null.",
       "ObraCommon::ZelNode::setNodeValue"},
      {"2052 has no text", [] { throwLibraryError(2052, 23); }, 2052, "SYSTEM ERROR: ZelErrorCodeOBRALIB", ""},
      {"2059 without argument", [] { throwLibraryError(2059, 25); }, 2059,
       "SYSTEM ERROR: Cannot set a value on node type.", ""},
      {"2059", [] { throwLibraryError(2059, -1, u"1"); }, 2059, "SYSTEM ERROR: Cannot set a value on node type: 1",
       ""},
      {"2063", [] { throwLibraryError(2063, 22, u"a", u"b"); }, 2063,
       "SYSTEM ERROR: End tag 'a' does not match the start tag 'b'.", "ObraCommon::XmlSerializerImpl::endTagt"},
      {"4099", [] { throwIOError(4099, 27, u"x.tmp"); }, 4099, "Cannot open file: x.tmp",
       "ObraCommon::ZelTempFile"},
      {"4104 has no text", [] { throwIOError(4104, 999); }, 4104, "ZelErrorCodeIO", ""},
      {"origin 20", [] { throwIOError(4100, 20); }, 4100, "Unexpected end of input stream.",
       "ObraCommon::XmlSerializerImpl::startDocumen"},
  };
  for (const RaiseCase& c : cases) {
    Raised raised = Catch(c.raise);
    EXPECT_EQ(raised.code, c.code) << c.name;
    EXPECT_EQ(raised.message, c.message) << c.name;
    EXPECT_EQ(raised.source, c.source) << c.name;
  }
}

struct PositionCase {
  int line;
  int column;
  const char16_t* uri;
  const char* position;
};

TEST(ZelError, PositionsAndMessages) {
  const PositionCase cases[] = {
      {12, 5, u"a.xml", "Line 12, Col 5, a.xml"},
      {-1, 7, u"", "Col 7, "},
      {3, -1, u"", "Line 3, "},
      {-1, -1, u"b.xml", "b.xml"},
      {-1, -1, u"", ""},
  };
  for (const PositionCase& c : cases) {
    ZelError error(0x803, u"raw", u"src", c.line, c.column, c.uri);
    EXPECT_EQ(Utf8(error.getPositionDescription()), c.position);
    std::string message = Utf8(error.getMessage());
    EXPECT_EQ(message, *c.position ? std::string("raw\n") + c.position : "raw");
    // Storing the full message back keeps the raw message.
    error.setMessage(error.getMessage());
    EXPECT_EQ(Utf8(error.getRawMessage()), "raw") << c.position;
  }
}

TEST(ZelError, CategoriesAppendingAndCopies) {
  EXPECT_EQ(ZelError(0x1839, u"").getErrorCategory(), 0x1800);
  EXPECT_EQ(ZelError(0x0C03, u"").getErrorCategory(), ObraCommon::ZelErrorCodeOBRALIB);
  EXPECT_EQ(ZelError(4099, u"").getErrorCategory(), ObraCommon::ZelErrorCodeIO);

  ZelError error;
  EXPECT_EQ(error.getErrorCode(), 0);
  EXPECT_EQ(error.getLineNumber(), -1);
  error.appendMessage(u"");
  error.appendMessage(u"first");
  error.appendMessage(u"second");
  EXPECT_EQ(Utf8(error.getRawMessage()), "first\nsecond");

  ZelError copy(error);
  copy.setUri(u"c.xml");
  error = copy;
  EXPECT_EQ(Utf8(error.getMessage()), "first\nsecond\nc.xml");
}

TEST(ZelError, WrapsStandardExceptions) {
  ZelError memory(std::bad_alloc(), u"where");
  EXPECT_EQ(memory.getErrorCode(), 2049);
  EXPECT_EQ(Utf8(memory.getRawMessage()), "Out of memory.");
  EXPECT_EQ(Utf8(memory.getSource()), "where");

  ZelError other(std::runtime_error("caf\xC3\xA9"), u"there");
  EXPECT_EQ(other.getErrorCode(), 2050);
  EXPECT_EQ(other.getRawMessage(), UnicodeString(u"C++ exception: caf\u00E9"));
  EXPECT_EQ(other.getLineNumber(), -1);
  EXPECT_TRUE(other.getUri().isEmpty());
}

TEST(ZelMessage, FormatsItsFourArguments) {
  EXPECT_EQ(Utf8(ZelMessage(u"x{0}y{3}", u"a", u"b", u"c", u"d")), "xayd");
  EXPECT_EQ(Utf8(ZelMessage(u"{1}-{2}", u"a", u"b", u"c").toString()), "b-c");
}

}  // namespace
