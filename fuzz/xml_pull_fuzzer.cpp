// The own XML pull parser over arbitrary bytes. The first byte chooses:
// bit 0 next or nextToken; bits 1-2 no callback, a carry-on callback, or
// one that pulls the next event from inside the report; bit 3
// LENIENT_PREFIXES; bit 4 a few entity definitions, one of them recursive;
// bit 5 splits the rest in halves: the second half is what every external
// subset and entity reads (through a URI resolver, so no file is opened),
// otherwise they read nothing; bit 6 LENIENT_ENTITIES and
// IGNORE_DTD_FAILURE. The rest (or its first half) is the document, read
// through setInput(std::istream&). Every parse must reach END_DOCUMENT (or
// throw) within a bound of calls.
//
// Parsing interns every name into the shared name table, which keeps them
// until the library's clean-up; the harness empties it whenever it holds a
// million names, so a long run stays within its memory limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "quarnel/uri.h"
#include "quarnel/xml_limits.h"
#include "quarnel/xml_parser_impl.h"
#include "xml_pull_walk.h"

using namespace ObraCommon;

namespace {

constexpr ZelNameEnum kNamesBeforeCleanup = 1000000;

void CarryOn(const ZelError&, void*) {}

// Serves the input's second half for every URI.
class HalfResolver : public ZelUriReferenceResolver {
 public:
  std::string text;
  std::istream* resolveStream(const UnicodeString&) override { return new std::istringstream(text); }
};

HalfResolver& Resolver() {
  static HalfResolver* resolver = [] {
    auto* made = new HalfResolver();
    ZelUri::setUriReferenceResolver(made);
    return made;
  }();
  return *resolver;
}

void PullInside(const ZelError&, void* data) { static_cast<XmlParserImpl*>(data)->next(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (ZelNameTable::getSharedNameTable()->getNameLast() > kNamesBeforeCleanup) ZelNameTable::cleanup();
  const uint8_t mode = data[0];
  std::string document(reinterpret_cast<const char*>(data + 1), size - 1);
  Resolver().text.clear();
  if (mode & 32) {
    Resolver().text = document.substr(document.size() / 2);
    document.resize(document.size() / 2);
  }
  // Each input's subsets are its own.
  XmlParserImpl::clearSubsetCache();
  std::istringstream in(document);
  ZelPtr<XmlParserImpl> parser(new XmlParserImpl());
  switch ((mode >> 1) & 3) {
    case 1: parser->setCallbackError(CarryOn, nullptr); break;
    case 2: parser->setCallbackError(PullInside, parser.get()); break;
    default: break;
  }
  parser->setFeature(ZelXmlParser::LENIENT_PREFIXES, (mode & 8) != 0);
  parser->setFeature(ZelXmlParser::LENIENT_ENTITIES, (mode & 64) != 0);
  parser->setFeature(ZelXmlParser::IGNORE_DTD_FAILURE, (mode & 64) != 0);
  try {
    parser->setInput(in, UnicodeString(), UnicodeString(u"file:///fuzz/doc.xml"));
    if (mode & 16) {
      parser->defineEntityReplacementText(ZelName(UnicodeString(u"e")), u"<b a='&f;'>t&amp;</b>");
      parser->defineEntityReplacementText(ZelName(UnicodeString(u"f")), u"&#x41;&lt;&g;");
      parser->defineEntityReplacementText(ZelName(UnicodeString(u"g")), u"&e;x");
    }
    // Every call consumes input or ends it; entity texts, external ones
    // included, deliver no more than the expansion budget.
    fuzz::WalkToEnd(*parser, (mode & 1) != 0,
                    (4 + XmlLimits::kMaxExpansionRatio) * size + XmlLimits::kMaxEntityUnits + 64 * 1024);
  } catch (const ZelError&) {
  }
  return 0;
}
