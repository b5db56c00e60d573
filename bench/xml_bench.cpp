// Quarnel's own XML pull parser beside libxml2's reader and expat on two
// generated 64 MB UTF-8 documents held in memory: one markup-heavy
// (namespaced elements, attributes, references), one text-heavy (long
// text, CDATA, non-ASCII); their UTF-16LE twins; a 16 MB Shift_JIS
// document (own parser through the engine's converter, libxml2 through
// iconv; expat has no Shift_JIS); a 16 MB document whose internal subset
// declares entities that the body references throughout; and the
// conformance suite's Japanese pr-xml document in UTF-8 and UTF-16 with its
// local DTD, read again and again; and a generated 50 MB data feed (many
// small indented records with attributes, short texts, a few character
// references). Each reader touches every name,
// namespace, attribute value and text. Cases are named <reader>/<document>.
//
// The document rows load the same two documents and the conformance
// suite's japanese/pr-xml-utf-8.xml into a tree and save the tree in
// memory as UTF-8 and as Shift_JIS: ZelDocument beside libxml2's
// xmlReadMemory and xmlDocDumpMemoryEnc. Cases are named
// <library> <load|save UTF-8|save SHIFT_JIS>/<document>.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlreader.h>

#include <unistd.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "bytes_in_place.h"
#include "dalvex/cconv.h"
#include "quarnel/dom.h"
#include "quarnel/xml_parser_impl.h"

namespace {

using namespace ObraCommon;

namespace fs = std::filesystem;

constexpr size_t kSize = 64u << 20;
constexpr size_t kSmallSize = 16u << 20;
constexpr size_t kFeedSize = 50u << 20;

const std::string& MarkupHeavy() {
  static const std::string document = [] {
    std::string out = "<?xml version='1.0' encoding='UTF-8'?>\n<r:root xmlns:r='urn:root' xmlns='urn:default'>\n";
    for (int i = 0; out.size() < kSize; ++i) {
      out += "<r:item id='" + std::to_string(i) + "' r:kind=\"a&amp;b\" note='x&#x41;&lt;'>";
      out += "<name xmlns:q='urn:q' q:lang='en'>n" + std::to_string(i % 97) + " &amp; m</name>";
      out += "<value unit='pt'>" + std::to_string(i * 7) + "</value><empty a='1' b='2'/></r:item>\n";
    }
    return out + "</r:root>\n";
  }();
  return document;
}

const std::string& TextHeavy() {
  static const std::string document = [] {
    std::string paragraph;
    for (int i = 0; i < 40; ++i)
      paragraph += "The quick brown fox jumps over the lazy dog. \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE"
                   "\xE6\x96\x87\xE7\xAB\xA0 \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80 ";
    std::string out = "<?xml version='1.0'?>\n<doc>\n";
    for (int i = 0; out.size() < kSize; ++i) {
      out += "<p>" + paragraph + "</p>\n";
      if (i % 4 == 0) out += "<![CDATA[" + paragraph + " <raw> & ]]>\n";
    }
    return out + "</doc>\n";
  }();
  return document;
}

// The same document in UTF-16LE with a byte-order mark.
std::string Utf16Twin(std::string utf8) {
  const size_t at = utf8.find("encoding='UTF-8'");
  if (at != std::string::npos) utf8.replace(at, 16, "encoding='UTF-16'");
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
  std::string out("\xFF\xFE", 2);
  out.reserve(2 + 2 * static_cast<size_t>(text.length()));
  for (int32_t i = 0; i < text.length(); ++i) {
    out += static_cast<char>(text.charAt(i) & 0xFF);
    out += static_cast<char>(text.charAt(i) >> 8);
  }
  return out;
}

const std::string& MarkupHeavy16() {
  static const std::string document = Utf16Twin(MarkupHeavy());
  return document;
}

const std::string& TextHeavy16() {
  static const std::string document = Utf16Twin(TextHeavy());
  return document;
}

// Japanese text in Shift_JIS: kana, kanji, half-width kana, ASCII between.
const std::string& ShiftJis() {
  static const std::string document = [] {
    std::string paragraph;
    for (int i = 0; i < 20; ++i)
      paragraph += "\x82\xa0\x82\xa2\x82\xa4 \x93\xfa\x96\x7b\x8c\xea text \xb1\xb2\xb3 \x88\x9f\x88\xa0 ";
    std::string out = "<?xml version='1.0' encoding='Shift_JIS'?>\n<doc>\n";
    for (int i = 0; out.size() < kSmallSize; ++i) out += "<p n='" + std::to_string(i) + "'>" + paragraph + "</p>\n";
    return out + "</doc>\n";
  }();
  return document;
}

// An internal subset of 100 text entities and 20 that refer to them; the
// body references both in content and in attribute values.
const std::string& Subset() {
  static const std::string document = [] {
    std::string out = "<?xml version='1.0'?>\n<!DOCTYPE doc [\n";
    for (int i = 0; i < 100; ++i)
      out += "<!ENTITY e" + std::to_string(i) + " 'entity text " + std::to_string(i) + " &#x41;&amp;b'>\n";
    for (int i = 0; i < 20; ++i)
      out += "<!ENTITY n" + std::to_string(i) + " '&e" + std::to_string(i) + "; and &e" + std::to_string(99 - i) + ";'>\n";
    out += "]>\n<doc>\n";
    for (int i = 0; out.size() < kSmallSize; ++i) {
      const std::string k = std::to_string(i % 100), n = std::to_string(i % 20);
      out += "<p a='&e" + k + ";'>&e" + k + "; plain text &n" + n + "; &e" + std::to_string((i * 7) % 100) + ";</p>\n";
    }
    return out + "</doc>\n";
  }();
  return document;
}

// A data feed as exporters write one: indented records of a few short
// fields each, attributes on most elements, the odd character reference.
const std::string& RealFeed() {
  static const std::string document = [] {
    static const char* const kStatus[] = {"active", "pending", "retired"};
    static const char* const kCategory[] = {"Garden &amp; Outdoor", "Books", "Kitchen", "Toys &amp; Games",
                                            "Office"};
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<feed xmlns=\"http://example.com/ns/feed\" version=\"2.1\" generated=\"2026-03-01T08:00:00Z\">\n";
    for (int i = 0; out.size() < kFeedSize; ++i) {
      const std::string id = std::to_string(100000 + i);
      out += "  <record id=\"" + id + "\" status=\"" + kStatus[i % 3] + "\" updated=\"2026-02-" +
             std::to_string(10 + i % 18) + "T12:" + std::to_string(10 + i % 50) + ":00Z\">\n";
      out += "    <title>Item " + id + (i % 5 == 0 ? " &#8211; blue" : " red") + "</title>\n";
      out += "    <price currency=\"EUR\">" + std::to_string(i % 1000) + "." + std::to_string(10 + i % 90) +
             "</price>\n";
      out += "    <category>" + std::string(kCategory[i % 5]) + "</category>\n";
      out += "    <link rel=\"alternate\" href=\"https://example.com/p/" + id + "?ref=feed&amp;v=" +
             std::to_string(i % 7) + "\"/>\n";
      out += "    <stock>" + std::to_string(i % 250) + "</stock>\n  </record>\n";
    }
    return out + "</feed>\n";
  }();
  return document;
}

fs::path TestData() {
  const char* env = std::getenv("TESTDATA_DIR");
  return fs::path(env != nullptr && *env != '\0' ? env : TESTDATA_DEFAULT);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A document of the conformance suite, held in memory; its DTD is read
// from beside it through the base given to each reader.
struct SuiteDocument {
  fs::path path;
  std::string bytes;
};

const SuiteDocument& PrXml(const char* name) {
  static std::map<std::string, SuiteDocument> documents;
  SuiteDocument& document = documents[name];
  if (document.path.empty()) {
    document.path = TestData() / "xml" / "xmlconf" / "japanese" / name;
    document.bytes = ReadFile(document.path);
  }
  return document;
}

void Own(benchmark::State& state, const std::string& document, bool tokens, const std::string& base = std::string()) {
  for (auto _ : state) {
    bench::BytesInPlace bytes(document);
    std::istream in(&bytes);
    XmlParserImpl parser;
    parser.setInput(in, UnicodeString(), UnicodeString::fromUTF8(base));
    int64_t touched = 0;
    for (;;) {
      auto event = tokens ? parser.nextToken() : parser.next();
      if (event == ZelXmlParser::END_DOCUMENT) break;
      if (event == ZelXmlParser::START_TAG) {
        touched += parser.getName().toString().length() + parser.getNamespace().toString().length();
        for (int i = 0; i < parser.getAttributeCount(); ++i)
          touched += parser.getAttributeName(i).toString().length() +
                     parser.getAttributeNamespace(i).toString().length() + parser.getAttributeValue(i).length();
      } else if (event == ZelXmlParser::END_TAG) {
        touched += parser.getName().toString().length();
      } else {
        touched += parser.getText().length();
      }
    }
    benchmark::DoNotOptimize(touched);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}

size_t Length(const xmlChar* text) { return text == nullptr ? 0 : std::strlen(reinterpret_cast<const char*>(text)); }

void Libxml2(benchmark::State& state, const std::string& document, const char* base = nullptr) {
  // Entities are substituted as the other readers substitute them.
  const int options = XML_PARSE_HUGE | XML_PARSE_NOENT | XML_PARSE_NONET | (base != nullptr ? XML_PARSE_DTDLOAD : 0);
  for (auto _ : state) {
    xmlTextReaderPtr reader =
        xmlReaderForMemory(document.data(), static_cast<int>(document.size()), base, nullptr, options);
    int64_t touched = 0;
    while (xmlTextReaderRead(reader) == 1) {
      const int type = xmlTextReaderNodeType(reader);
      touched += Length(xmlTextReaderConstLocalName(reader)) + Length(xmlTextReaderConstNamespaceUri(reader));
      if (type == XML_READER_TYPE_ELEMENT) {
        while (xmlTextReaderMoveToNextAttribute(reader) == 1)
          touched += Length(xmlTextReaderConstLocalName(reader)) + Length(xmlTextReaderConstNamespaceUri(reader)) +
                     Length(xmlTextReaderConstValue(reader));
      } else if (type != XML_READER_TYPE_END_ELEMENT) {
        touched += Length(xmlTextReaderConstValue(reader));
      }
    }
    xmlFreeTextReader(reader);
    benchmark::DoNotOptimize(touched);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}

// An external DTD or entity read from its file by a parser of its own.
int ExpatExternal(XML_Parser parser, const XML_Char* context, const XML_Char* base, const XML_Char* system,
                  const XML_Char*) {
  if (system == nullptr) return XML_STATUS_ERROR;
  const fs::path path = base != nullptr ? fs::path(base).parent_path() / system : fs::path(system);
  const std::string bytes = ReadFile(path);
  XML_Parser external = XML_ExternalEntityParserCreate(parser, context, nullptr);
  const XML_Status status = XML_Parse(external, bytes.data(), static_cast<int>(bytes.size()), 1);
  XML_ParserFree(external);
  return status;
}

void Expat(benchmark::State& state, const std::string& document, const char* base = nullptr) {
  for (auto _ : state) {
    int64_t touched = 0;
    XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
    XML_SetUserData(parser, &touched);
    if (base != nullptr) {
      XML_SetBase(parser, base);
      XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_UNLESS_STANDALONE);
      XML_SetExternalEntityRefHandler(parser, ExpatExternal);
    }
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
          auto* t = static_cast<int64_t*>(data);
          *t += static_cast<int64_t>(std::strlen(name));
          for (int i = 0; attributes[i] != nullptr; i += 2)
            *t += static_cast<int64_t>(std::strlen(attributes[i]) + std::strlen(attributes[i + 1]));
        },
        [](void* data, const XML_Char* name) { *static_cast<int64_t*>(data) += static_cast<int64_t>(std::strlen(name)); });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char*, int length) {
      *static_cast<int64_t*>(data) += length;
    });
    XML_Parse(parser, document.data(), static_cast<int>(document.size()), 1);
    XML_ParserFree(parser);
    benchmark::DoNotOptimize(touched);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}

void OwnNextMarkup(benchmark::State& state) { Own(state, MarkupHeavy(), false); }
void OwnTokensMarkup(benchmark::State& state) { Own(state, MarkupHeavy(), true); }
void Libxml2Markup(benchmark::State& state) { Libxml2(state, MarkupHeavy()); }
void ExpatMarkup(benchmark::State& state) { Expat(state, MarkupHeavy()); }
void OwnNextText(benchmark::State& state) { Own(state, TextHeavy(), false); }
void OwnTokensText(benchmark::State& state) { Own(state, TextHeavy(), true); }
void Libxml2Text(benchmark::State& state) { Libxml2(state, TextHeavy()); }
void ExpatText(benchmark::State& state) { Expat(state, TextHeavy()); }
void OwnNextFeed(benchmark::State& state) { Own(state, RealFeed(), false); }
void Libxml2Feed(benchmark::State& state) { Libxml2(state, RealFeed()); }
void ExpatFeed(benchmark::State& state) { Expat(state, RealFeed()); }
void OwnNextMarkup16(benchmark::State& state) { Own(state, MarkupHeavy16(), false); }
void Libxml2Markup16(benchmark::State& state) { Libxml2(state, MarkupHeavy16()); }
void ExpatMarkup16(benchmark::State& state) { Expat(state, MarkupHeavy16()); }
void OwnNextText16(benchmark::State& state) { Own(state, TextHeavy16(), false); }
void Libxml2Text16(benchmark::State& state) { Libxml2(state, TextHeavy16()); }
void ExpatText16(benchmark::State& state) { Expat(state, TextHeavy16()); }
void OwnNextShiftJis(benchmark::State& state) { Own(state, ShiftJis(), false); }
void Libxml2ShiftJis(benchmark::State& state) { Libxml2(state, ShiftJis()); }
void OwnNextSubset(benchmark::State& state) { Own(state, Subset(), false); }
void Libxml2Subset(benchmark::State& state) { Libxml2(state, Subset()); }
void ExpatSubset(benchmark::State& state) { Expat(state, Subset()); }

void OwnPrXml(benchmark::State& state, const char* name) {
  const SuiteDocument& document = PrXml(name);
  Own(state, document.bytes, false, "file://" + document.path.string());
}
void Libxml2PrXml(benchmark::State& state, const char* name) {
  const SuiteDocument& document = PrXml(name);
  Libxml2(state, document.bytes, document.path.c_str());
}
void ExpatPrXml(benchmark::State& state, const char* name) {
  const SuiteDocument& document = PrXml(name);
  Expat(state, document.bytes, document.path.c_str());
}

// The engine reads its configuration from $TMPDIR/etc: a private folder
// with a copy of the build's, for the Shift_JIS converter.
struct Engine {
  fs::path folder = fs::temp_directory_path() / ("xml_bench_" + std::to_string(getpid()));
  Engine() {
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy(fs::path(PROJECT_BUILD_DIR) / "etc", folder / "etc", fs::copy_options::recursive);
    setenv("TMPDIR", folder.c_str(), 1);
    if (startProcess() != 1 || cconvLoadRule() != 1) std::fprintf(stderr, "xml_bench: the charset engine did not start\n");
  }
  ~Engine() {
    endProcess();
    fs::remove_all(folder);
  }
};

// The suite's Japanese specification, or the empty text when the test
// data is missing (its cases then report an error).
const std::string& JapaneseSpec() { return PrXml("pr-xml-utf-8.xml").bytes; }

std::unique_ptr<ZelDocument> OwnTree(const std::string& document) {
  auto tree = std::make_unique<ZelDocument>();
  // The Japanese specification names an external subset it does not need.
  tree->getParser()->setFeature(ZelXmlParser::SKIP_EXTERNAL_DTD, true);
  std::istringstream in(document);
  tree->load(in, nullptr);
  return tree;
}

void OwnLoad(benchmark::State& state, const std::string& document) {
  if (document.empty()) return state.SkipWithError("no test data");
  for (auto _ : state) benchmark::DoNotOptimize(OwnTree(document));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}

void OwnSave(benchmark::State& state, const std::string& document, const char16_t* encoding) {
  if (document.empty()) return state.SkipWithError("no test data");
  std::unique_ptr<ZelDocument> tree = OwnTree(document);
  for (auto _ : state) {
    std::ostringstream out;
    tree->save(out, nullptr, UnicodeString(encoding));
    benchmark::DoNotOptimize(out.tellp());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}

xmlDoc* LibxmlTree(const std::string& document) {
  return xmlReadMemory(document.data(), static_cast<int>(document.size()), nullptr, nullptr,
                       XML_PARSE_HUGE | XML_PARSE_NONET);
}

void LibxmlLoad(benchmark::State& state, const std::string& document) {
  if (document.empty()) return state.SkipWithError("no test data");
  for (auto _ : state) xmlFreeDoc(LibxmlTree(document));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}

void LibxmlSave(benchmark::State& state, const std::string& document, const char* encoding) {
  if (document.empty()) return state.SkipWithError("no test data");
  xmlDoc* tree = LibxmlTree(document);
  for (auto _ : state) {
    xmlChar* bytes = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(tree, &bytes, &size, encoding);
    benchmark::DoNotOptimize(size);
    xmlFree(bytes);
  }
  xmlFreeDoc(tree);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}

}  // namespace

#define DOCUMENT_CASES(label, document)                                                                         \
  BENCHMARK_CAPTURE(OwnLoad, label, document())->Name("quarnel load/" label)->Unit(benchmark::kMillisecond);    \
  BENCHMARK_CAPTURE(LibxmlLoad, label, document())->Name("libxml2 load/" label)->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(OwnSave, label, document(), u"UTF-8")                                                       \
      ->Name("quarnel save UTF-8/" label)                                                                       \
      ->Unit(benchmark::kMillisecond);                                                                          \
  BENCHMARK_CAPTURE(LibxmlSave, label, document(), "UTF-8")                                                     \
      ->Name("libxml2 save UTF-8/" label)                                                                       \
      ->Unit(benchmark::kMillisecond);                                                                          \
  BENCHMARK_CAPTURE(OwnSave, label, document(), u"SHIFT_JIS")                                                   \
      ->Name("quarnel save SHIFT_JIS/" label)                                                                   \
      ->Unit(benchmark::kMillisecond);                                                                          \
  BENCHMARK_CAPTURE(LibxmlSave, label, document(), "SHIFT_JIS")                                                 \
      ->Name("libxml2 save SHIFT_JIS/" label)                                                                   \
      ->Unit(benchmark::kMillisecond)

DOCUMENT_CASES("markup-heavy", MarkupHeavy);
DOCUMENT_CASES("text-heavy", TextHeavy);
DOCUMENT_CASES("pr-xml-utf-8", JapaneseSpec);

BENCHMARK(OwnNextMarkup)->Name("quarnel next/markup-heavy")->Unit(benchmark::kMillisecond);
BENCHMARK(OwnTokensMarkup)->Name("quarnel nextToken/markup-heavy")->Unit(benchmark::kMillisecond);
BENCHMARK(Libxml2Markup)->Name("libxml2 reader/markup-heavy")->Unit(benchmark::kMillisecond);
BENCHMARK(ExpatMarkup)->Name("expat/markup-heavy")->Unit(benchmark::kMillisecond);
BENCHMARK(OwnNextText)->Name("quarnel next/text-heavy")->Unit(benchmark::kMillisecond);
BENCHMARK(OwnTokensText)->Name("quarnel nextToken/text-heavy")->Unit(benchmark::kMillisecond);
BENCHMARK(Libxml2Text)->Name("libxml2 reader/text-heavy")->Unit(benchmark::kMillisecond);
BENCHMARK(ExpatText)->Name("expat/text-heavy")->Unit(benchmark::kMillisecond);
BENCHMARK(OwnNextFeed)->Name("quarnel next/real feed")->Unit(benchmark::kMillisecond);
BENCHMARK(Libxml2Feed)->Name("libxml2 reader/real feed")->Unit(benchmark::kMillisecond);
BENCHMARK(ExpatFeed)->Name("expat/real feed")->Unit(benchmark::kMillisecond);
BENCHMARK(OwnNextMarkup16)->Name("quarnel next/markup-heavy UTF-16LE")->Unit(benchmark::kMillisecond);
BENCHMARK(Libxml2Markup16)->Name("libxml2 reader/markup-heavy UTF-16LE")->Unit(benchmark::kMillisecond);
BENCHMARK(ExpatMarkup16)->Name("expat/markup-heavy UTF-16LE")->Unit(benchmark::kMillisecond);
BENCHMARK(OwnNextText16)->Name("quarnel next/text-heavy UTF-16LE")->Unit(benchmark::kMillisecond);
BENCHMARK(Libxml2Text16)->Name("libxml2 reader/text-heavy UTF-16LE")->Unit(benchmark::kMillisecond);
BENCHMARK(ExpatText16)->Name("expat/text-heavy UTF-16LE")->Unit(benchmark::kMillisecond);
BENCHMARK(OwnNextShiftJis)->Name("quarnel next/Shift_JIS")->Unit(benchmark::kMillisecond);
BENCHMARK(Libxml2ShiftJis)->Name("libxml2 reader/Shift_JIS")->Unit(benchmark::kMillisecond);
BENCHMARK(OwnNextSubset)->Name("quarnel next/internal subset")->Unit(benchmark::kMillisecond);
BENCHMARK(Libxml2Subset)->Name("libxml2 reader/internal subset")->Unit(benchmark::kMillisecond);
BENCHMARK(ExpatSubset)->Name("expat/internal subset")->Unit(benchmark::kMillisecond);

// The documents are made before any case is timed.
int main(int argc, char** argv) {
  Engine engine;
  MarkupHeavy16();
  TextHeavy16();
  ShiftJis();
  Subset();
  RealFeed();
  // The suite's documents only where the test data is.
  for (const char* name : {"pr-xml-utf-8.xml", "pr-xml-utf-16.xml"}) {
    if (PrXml(name).bytes.empty()) continue;
    const std::string measure = std::string("/") + (std::strstr(name, "16") ? "pr-xml UTF-16" : "pr-xml UTF-8");
    benchmark::RegisterBenchmark(("quarnel next" + measure).c_str(), OwnPrXml, name);
    benchmark::RegisterBenchmark(("libxml2 reader" + measure).c_str(), Libxml2PrXml, name);
    benchmark::RegisterBenchmark(("expat" + measure).c_str(), ExpatPrXml, name);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
