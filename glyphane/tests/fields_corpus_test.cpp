// Field values of real drawings (../shared/testdata/vsd) beside the values
// an independent reader (vsd2text) displays: the values where both agree
// are asserted; every field text of the four drawings is printed with the
// peer's line for the closing comparison.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "byte_source.h"
#include "code_pages.h"
#include "dalvex/compound_file.h"
#include "document_stream.h"
#include "engine_fixture.h"
#include "field_format.h"
#include "property_sets.h"
#include "testsupport/testdata.h"
#include "visio_builder.h"

namespace {

namespace fs = std::filesystem;

// A text with its line breaks and field marks made visible on one line.
std::string OneLine(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == '\x0b') out += "\\n";
    else out.push_back(c);
  }
  return out;
}

class FieldsCorpus : public glyphane_test::EngineTest {
 protected:
  // The shape and master texts of a drawing read with its own property-set
  // code page (else 1252), output code page alike.
  std::vector<std::string> Read(const fs::path& path, int32_t* result) {
    vsdtest::RecordingSink sink;
    KVB_OleStorage* root = KVB_2OLEopen(path.c_str());
    EXPECT_NE(root, nullptr);
    if (root == nullptr) return {};
    glyphane::VsdPropertyRecord properties;
    *result = glyphane::ReadPropertySets(root, 1252, &properties);
    uint32_t text_code_page = 1252, output_code_page = 1252;
    glyphane::ApplyPropertySetCodePage(properties.code_page, &text_code_page, &output_code_page);
    glyphane::VsdSession session;
    session.text_code_page = text_code_page;
    session.flags_a = 8;
    glyphane::FieldDocument document;
    document.output_code_page = output_code_page;
    document.properties = &properties;
    document.path = path.native();
    glyphane::FieldValueFormatter formatter(document);
    if (*result == 0) {
      KVB_OleStream* stream = KVB_2OLEopenStream(root, "VisioDocument");
      glyphane::OleStreamSource source(stream);
      *result = glyphane::ReadVisioDocument(source, session, sink, formatter);
      KVB_2OLEcloseStream(stream);
    }
    KVB_2OLEclose(root);
    return sink.Texts("shape master");
  }
};

std::vector<std::string> PeerLines(const fs::path& file) {
  std::vector<std::string> lines;
  std::istringstream in(testsupport::ReadFile(file));
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

TEST_F(FieldsCorpus, ValuesBesideThePeer) {
  TESTDATA_OR_SKIP(dir, "vsd");
  struct Drawing {
    const char* name;
    std::vector<std::string> agreed;  // texts both readers give
  } drawings[] = {
      {"libvisio-Visio5TextFieldsWithUnits.vsd", {}},
      {"libvisio-Visio6TextFieldsWithUnits.vsd",
       {"Text without any units 1.0", "1 picapoints 0.1667", "1 ciceros and didots 0.177",
        "1000.1 feet and inch 12001.200"}},
      {"libvisio-Visio11TextFieldsWithUnits.vsd",
       {"Number 1 without unit 1", "Number -1 without unit -1", "Number 1 with [%] unit 1%",
        "Number 100 with [%] unit 100%"}},
      {"libvisio-tdf76829-datetime-format.vsd", {}},
  };
  for (const Drawing& d : drawings) {
    SCOPED_TRACE(d.name);
    int32_t result = -1;
    std::vector<std::string> texts = Read(dir / d.name, &result);
    ASSERT_EQ(result, 0);
    std::vector<std::string> peer = PeerLines(dir / "peer-vsd2text" / (std::string(d.name) + ".txt"));
    std::printf("== %s\n", d.name);
    for (const std::string& text : texts) {
      std::string line = OneLine(text);
      bool same = std::find(peer.begin(), peer.end(), line) != peer.end();
      std::printf("  %s %s\n", same ? "=" : "~", line.c_str());
    }
    std::printf("  peer:");
    for (const std::string& line : peer) std::printf(" [%s]", line.c_str());
    std::printf("\n");
    for (const std::string& agreed : d.agreed)
      EXPECT_NE(std::find_if(texts.begin(), texts.end(), [&](const std::string& t) { return OneLine(t) == agreed; }),
                texts.end())
          << agreed;
  }
}

}  // namespace

namespace {

// Every drawing, the damaged ones included, formats its fields without an
// error: every format and value reference of the corpus resolves (the
// master shape's ones included).
TEST_F(FieldsCorpus, EveryDrawingFormatsItsFields) {
  TESTDATA_OR_SKIP(dir, "vsd");
  int drawings = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".vsd") continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    if (KVB_OleStorage* root = KVB_2OLEopen(entry.path().c_str())) {
      KVB_2OLEclose(root);
    } else {
      continue;  // no compound file
    }
    int32_t result = -1;
    Read(entry.path(), &result);
    // The fuzzer's cases end with the reader's own codes; no field is missing.
    if (name.rfind("poi-clusterfuzz-", 0) != 0) {
      EXPECT_EQ(result, 0);
    }
    EXPECT_NE(result, 3002) << "a field refers to a missing format string";
    ++drawings;
  }
  EXPECT_GT(drawings, 20);
}

}  // namespace
