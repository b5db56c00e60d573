// Quarnel's own XML pull parser beside libxml2's reader and expat on two
// generated 64 MB UTF-8 documents held in memory: one markup-heavy
// (namespaced elements, attributes, references), one text-heavy (long
// text, CDATA, non-ASCII). Each reader touches every name, namespace,
// attribute value and text. Cases are named <reader>/<document>.
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

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "quarnel/dom.h"
#include "quarnel/xml_parser_impl.h"

namespace {

using namespace ObraCommon;

constexpr size_t kSize = 64u << 20;

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

void Own(benchmark::State& state, const std::string& document, bool tokens) {
  for (auto _ : state) {
    std::istringstream in(document);
    XmlParserImpl parser;
    parser.setInput(in, UnicodeString(), UnicodeString());
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

void Libxml2(benchmark::State& state, const std::string& document) {
  for (auto _ : state) {
    xmlTextReaderPtr reader =
        xmlReaderForMemory(document.data(), static_cast<int>(document.size()), nullptr, nullptr, XML_PARSE_HUGE);
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

void Expat(benchmark::State& state, const std::string& document) {
  for (auto _ : state) {
    int64_t touched = 0;
    XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
    XML_SetUserData(parser, &touched);
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

// The suite's Japanese specification, or the empty text when the test
// data is missing (its cases then report an error).
const std::string& JapaneseSpec() {
  static const std::string document = [] {
    const char* dir = std::getenv("TESTDATA_DIR");
    std::ifstream in(std::string(dir != nullptr ? dir : TESTDATA_DEFAULT) + "/xml/xmlconf/japanese/pr-xml-utf-8.xml",
                     std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }();
  return document;
}

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

// The documents are made before any case is timed.
int main(int argc, char** argv) {
  MarkupHeavy();
  TextHeavy();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
