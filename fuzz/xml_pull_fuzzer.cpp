// The own XML pull parser over arbitrary bytes. The first byte chooses:
// bit 0 next or nextToken; bits 1-2 no callback, a carry-on callback, or
// one that pulls the next event from inside the report; bit 3
// LENIENT_PREFIXES; bit 4 a few entity definitions, one of them recursive.
// The rest is the document, read through setInput(std::istream&). Every
// parse must reach END_DOCUMENT (or throw) within a bound of calls.
//
// Parsing interns every name into the shared name table, which keeps them
// until the library's clean-up; the harness empties it whenever it holds a
// million names, so a long run stays within its memory limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "quarnel/xml_parser_impl.h"

using namespace ObraCommon;

namespace {

constexpr ZelNameEnum kNamesBeforeCleanup = 1000000;

void CarryOn(const ZelError&, void*) {}

void PullInside(const ZelError&, void* data) { static_cast<XmlParserImpl*>(data)->next(); }

void Touch(XmlParserImpl& parser, ZelXmlParser::EventType event) {
  volatile int32_t sink = parser.getName() + parser.getPrefix() + parser.getNamespace() + parser.getDepth();
  if (event == ZelXmlParser::START_TAG) {
    for (int i = 0; i < parser.getAttributeCount(); ++i) {
      sink = sink + parser.getAttributeValue(i).length() + parser.getAttributeNamespace(i);
      sink = sink + parser.getAttributeValue(parser.getAttributeNamespace(i), parser.getAttributeName(i)).length();
    }
  } else if (event != ZelXmlParser::END_TAG) {
    sink = sink + parser.getText().length();
  }
  (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (ZelNameTable::getSharedNameTable()->getNameLast() > kNamesBeforeCleanup) ZelNameTable::cleanup();
  const uint8_t mode = data[0];
  std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  ZelPtr<XmlParserImpl> parser(new XmlParserImpl());
  switch ((mode >> 1) & 3) {
    case 1: parser->setCallbackError(CarryOn, nullptr); break;
    case 2: parser->setCallbackError(PullInside, parser.get()); break;
    default: break;
  }
  parser->setFeature(ZelXmlParser::LENIENT_PREFIXES, (mode & 8) != 0);
  try {
    parser->setInput(in, UnicodeString(), UnicodeString());
    if (mode & 16) {
      parser->defineEntityReplacementText(ZelName(UnicodeString(u"e")), u"<b a='&f;'>t&amp;</b>");
      parser->defineEntityReplacementText(ZelName(UnicodeString(u"f")), u"&#x41;&lt;&g;");
      parser->defineEntityReplacementText(ZelName(UnicodeString(u"g")), u"&e;x");
    }
    // Every call consumes input or ends it; entity texts are bounded.
    const size_t bound = 4 * size + 64 * 1024;
    for (size_t calls = 0;; ++calls) {
      if (calls > bound) std::abort();
      auto event = (mode & 1) ? parser->nextToken() : parser->next();
      if (event == ZelXmlParser::END_DOCUMENT) break;
      Touch(*parser, event);
    }
  } catch (const ZelError&) {
  }
  return 0;
}
