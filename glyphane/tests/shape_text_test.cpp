// Shapes on a page: the order of the position tree (siblings, children,
// waiting shapes), the case rules of text runs, master shapes, fields,
// data texts, annotations, embedded objects, and chunks whose lengths run
// past their part.
#include "shape_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include "dalvex/extract_records.h"
#include "byte_source.h"
#include "document_stream.h"
#include "testsupport/testdata.h"
#include "visio_builder.h"

namespace {

using vsdtest::Chunk;
using vsdtest::PositionChunk;
using vsdtest::Put32;
using vsdtest::RecordingSink;
using vsdtest::ShapeChunk;
using vsdtest::SimpleDocument;
using vsdtest::TextChunk;
using vsdtest::Wide;

std::vector<std::string> PageTexts(uint8_t version, const std::string& chunks, int32_t* rc = nullptr,
                                   uint32_t flags_a = 0) {
  RecordingSink sink;
  int32_t code = vsdtest::ReadStream(SimpleDocument(version, {{"P", chunks}}), &sink, flags_a);
  if (rc) *rc = code;
  else EXPECT_EQ(code, 0);
  return sink.Texts();
}

std::string Shape(uint32_t id, uint32_t parent, double x, double y, const std::string& text) {
  return ShapeChunk(11, 72, id, parent) + PositionChunk(11, x, y) + TextChunk(11, Wide(text));
}

TEST(VsdShapeOrder, PositionTree) {
  struct Case {
    const char* what;
    std::string chunks;
    std::vector<std::string> texts;
  } cases[] = {
      {"y close: ascending x", Shape(1, 0, 0, 0, "first") + Shape(2, 0, 5, 10.00, "x5") + Shape(3, 0, 1, 10.01, "x1"),
       {"x1", "x5", "first"}},
      {"descending y", Shape(1, 0, 0, 20, "top") + Shape(2, 1, 0, 1, "low") + Shape(3, 1, 0, 9, "high"),
       {"top", "high", "low"}},
      {"same place: the later shape first", Shape(1, 0, 0, 20, "root") + Shape(2, 1, 3, 3, "a") + Shape(3, 1, 3.01, 3, "b"),
       {"root", "b", "a"}},
      {"children before the next sibling", Shape(1, 0, 0, 20, "p") + Shape(2, 0, 0, 1, "q") + Shape(3, 1, 0, 5, "p.child"),
       {"p", "p.child", "q"}},
      {"a shape before its parent waits for it", Shape(1, 0, 0, 20, "root") + Shape(3, 2, 0, 0, "child") + Shape(2, 0, 0, 10, "parent"),
       {"root", "parent", "child"}},
      {"a shape whose parent never comes", Shape(1, 0, 0, 20, "root") + Shape(3, 9, 0, 0, "orphan"), {"root"}},
  };
  for (const Case& c : cases) EXPECT_EQ(PageTexts(11, c.chunks), c.texts) << c.what;
}

TEST(VsdShapeOrder, PageSheetWithoutTextWritesNothing) {
  std::string chunks = ShapeChunk(11, 70, 0) + Shape(1, 0, 0, 0, "a") + Shape(2, 0, 0, -1, "b");
  EXPECT_EQ(PageTexts(11, chunks), (std::vector<std::string>{"a", "b"}));
}

// A text chunk with runs: (style, case, length in units) per run.
std::string RunText(const std::string& text, const std::vector<std::array<uint32_t, 3>>& runs) {
  std::string chunks = ShapeChunk(11, 72, 1) + TextChunk(11, Wide(text));
  std::string list(51 - 27, '\0');
  Put32(&list, 39 - 27, static_cast<uint32_t>(runs.size()));
  for (size_t k = 0; k < runs.size(); ++k) list += vsdtest::U32(static_cast<uint32_t>(100 + k));
  std::string records;
  for (size_t k = 0; k < runs.size(); ++k) {
    std::string data(13, '\0');
    std::string record = Chunk(11, 148, data);
    Put32(&record, 4, static_cast<uint32_t>(100 + k));
    Put32(&record, 19, runs[k][2]);
    record[30] = static_cast<char>(runs[k][0]);
    record[31] = static_cast<char>(runs[k][1]);
    records += record;
  }
  return chunks + Chunk(11, 105, list) + records;
}

TEST(VsdShapeText, RunCaseRules) {
  struct Case {
    std::vector<std::array<uint32_t, 3>> runs;
    const char* text;
    const char* out;
  } cases[] = {
      {{{0, 1, 9}}, "two words", "TWO WORDS"},
      {{{0, 2, 9}}, "two words", "Two Words"},
      {{{8, 1, 9}}, "two words", "two words"},
      {{{8, 0, 9}}, "two words", "TWO WORDS"},
      {{{0, 2, 6}}, "4th go", "4th Go"},
      {{{0, 1, 4}, {0, 0, 5}}, "two words", "TWO words"},
      {{{0, 2, 2}, {0, 2, 7}}, "two words", "TwO Words"},  // each run starts a word
  };
  for (const Case& c : cases) EXPECT_EQ(PageTexts(11, RunText(c.text, c.runs)), std::vector<std::string>{c.out}) << c.text;
}

TEST(VsdShapeText, DataTextsAndAnnotations) {
  std::string data(80, '\0');
  std::string chunk = Chunk(11, 164, data);
  chunk[31] = static_cast<char>(0xFD);
  chunk[71] = 3;
  chunk.replace(72, 6, Wide("abc"));
  std::string note = Chunk(11, 198, std::string(80, '\0'));
  note[87] = 2;
  note.replace(88, 4, Wide("hi"));
  RecordingSink sink;
  std::string page = vsdtest::ShapeChunk(11, 72, 1) + TextChunk(11, Wide("t")) + chunk + note;
  ASSERT_EQ(vsdtest::ReadStream(SimpleDocument(11, {{"P", page}}), &sink), 0);
  EXPECT_EQ(sink.Texts("shape data note"), (std::vector<std::string>{"t", "abc", "hi"}));
}

// Texts in the version's encoding, and the page texts of one shape with
// `chunks` after it and of one that names a master shape holding them.
std::string Text(uint8_t version, const std::string& ascii) { return version >= 11 ? Wide(ascii) : ascii; }

std::vector<std::string> OwnAndMasterTexts(uint8_t version, const std::string& chunks) {
  std::vector<std::string> texts;
  for (bool master : {false, true}) {
    RecordingSink sink;
    std::string page = master ? ShapeChunk(version, 72, 1, 0, 0, 0) : ShapeChunk(version, 72, 1) + chunks;
    std::vector<vsdtest::MasterSpec> masters;
    if (master) masters = {{ShapeChunk(version, 72, 0) + chunks}};
    EXPECT_EQ(vsdtest::ReadStream(SimpleDocument(version, {{"P", page}}, {}, false, masters), &sink), 0);
    for (const std::string& t : sink.Texts()) texts.push_back((master ? "master: " : "") + t);
  }
  return texts;
}

// A text ends where its chunk's data ends; only a final zero or paragraph
// mark, which Visio writes after every text, is no part of it.
TEST(VsdShapeText, TextEndsWithTheChunkData) {
  const std::string zero16("\0\0", 2);
  struct Case {
    uint8_t version;
    std::string stored;  // after the 8-byte prefix
    std::string text;    // empty: none
  } cases[] = {
      {11, Wide("Alpha One"), "Alpha One"},
      {11, Wide("Alpha One\n"), "Alpha One"},
      {11, Wide("Alpha One\n") + zero16, "Alpha One\n"},  // the mark before the zero is the text's
      {11, Wide("Alpha One") + zero16, "Alpha One"},
      {11, Wide("A"), "A"},
      {11, zero16, ""},
      {6, "Alpha One", "Alpha One"},
      {6, std::string("Alpha One\0", 10), "Alpha One"},
      {6, "Alpha One\n", "Alpha One"},
      {6, "A", "A"},
      {6, std::string(1, '\0'), ""},
      {5, "Alpha One", "Alpha One"},
      {5, std::string("Alpha One\0", 10), "Alpha One"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> expected;
    if (!c.text.empty()) expected = {c.text, "master: " + c.text};
    EXPECT_EQ(OwnAndMasterTexts(c.version, Chunk(c.version, 14, std::string(8, '\0') + c.stored)), expected)
        << "version " << int{c.version} << ", " << c.stored.size() << " bytes";
  }
}

// A guide (77, one level below the page like a shape) ends the shape before
// it: the guide's position and empty text reach no shape, and a guide
// writes nothing.
TEST(VsdShapeText, GuidesEndTheShapeBeforeThem) {
  for (uint8_t v : {5, 6, 11}) {
    SCOPED_TRACE(int{v});
    std::string guide = ShapeChunk(v, 77, 9);
    if (v < 6) guide[4] = 1;
    else vsdtest::Put16(&guide, 16, 1);
    const std::string empty_text = Chunk(v, 14, std::string(v >= 11 ? 10 : 9, '\0'));
    auto shape = [v](uint32_t id, double y, const std::string& text) {
      return ShapeChunk(v, 72, id) + PositionChunk(v, 0, y) + TextChunk(v, Text(v, text));
    };
    const std::vector<std::string> all = {"one", "two", "three"};
    const std::string low = PositionChunk(v, 0, 5);  // below "three"
    EXPECT_EQ(PageTexts(v, shape(1, 30, "one") + shape(2, 20, "two") + guide + low + empty_text + guide +
                               empty_text + shape(3, 10, "three")),
              all);
    EXPECT_EQ(PageTexts(v, shape(1, 30, "one") + shape(2, 20, "two") + guide + low + shape(3, 10, "three")), all);
    EXPECT_EQ(OwnAndMasterTexts(v, TextChunk(v, Text(v, "kept")) + guide + empty_text),
              (std::vector<std::string>{"kept", "master: kept"}));
  }
}

TEST(VsdShapeText, EmbeddedObjects) {
  auto sub = [](const std::string& data) { return Chunk(11, 31, data); };
  std::string object = Chunk(11, 13, std::string(4, '\0'));
  Put32(&object, 8, 2);  // two sub-chunks
  std::string page = ShapeChunk(11, 72, 1) + object + sub("first-") + sub("second");
  {
    RecordingSink sink;
    sink.take_objects = true;
    ASSERT_EQ(vsdtest::ReadStream(SimpleDocument(11, {{"P", page}}), &sink, kFlagAEmbeddedObjects), 0);
    EXPECT_EQ(sink.object_bytes, std::vector<std::string>{"first-second"});
  }
  {  // not taken: removed with the page's lists
    RecordingSink sink;
    ASSERT_EQ(vsdtest::ReadStream(SimpleDocument(11, {{"P", page}}), &sink, kFlagAEmbeddedObjects), 0);
    EXPECT_TRUE(std::filesystem::is_empty(testsupport::TempDir()));
  }
  RecordingSink refused;
  EXPECT_EQ(vsdtest::ReadStream(SimpleDocument(11, {{"P", page}}), &refused, kFlagARefuseEmbedded), StoppedByOle);
  RecordingSink skipped;
  EXPECT_EQ(vsdtest::ReadStream(SimpleDocument(11, {{"P", page}}), &skipped, 0), 0);
  EXPECT_EQ(std::count(skipped.events.begin(), skipped.events.end(), "object"), 0);
}

// A formatter that names each field by its id.
class IdFormatter : public glyphane::FieldFormatter {
 public:
  int32_t FormatField(const glyphane::FieldContext&, const glyphane::FieldRecord& record, std::string* value) override {
    *value = Wide("<" + std::to_string(record.field_id) + ">");
    return 0;
  }
};

// A field list chunk (102) with `ids`, and one 0xA1 record per field.
std::string FieldList(const std::vector<uint32_t>& ids) {
  std::string list(51 - 27, '\0');
  Put32(&list, 39 - 27, static_cast<uint32_t>(ids.size()));
  for (uint32_t id : ids) list += vsdtest::U32(id);
  std::string out = Chunk(11, 102, list);
  for (size_t k = 0; k < ids.size(); ++k) {
    std::string record = Chunk(11, 0xA1, std::string(40, '\0'));
    record[26] = ' ';
    out += record;
  }
  return out;
}

TEST(VsdShapeText, FieldMarksTakeTheRecordOfTheirId) {
  std::string mark("\xFC\xFF", 2);
  std::string page = ShapeChunk(11, 72, 1) + TextChunk(11, Wide("a") + mark + Wide("b") + mark + mark) +
                     FieldList({7, 5, 6});
  RecordingSink sink;
  glyphane::VsdSession session;
  glyphane::MemorySource source(page);
  std::string doc = SimpleDocument(11, {{"P", page}});
  glyphane::MemorySource doc_source(doc);
  IdFormatter formatter;
  ASSERT_EQ(glyphane::ReadVisioDocument(doc_source, session, sink, formatter), 0);
  // Ids 7, 5, 6 with base 5: the marks take records 2, 0, 1.
  EXPECT_EQ(sink.Texts("shape"), std::vector<std::string>{"a<6>b<7><5>"});
}

// Chunks and sub-records whose lengths run past their part end the pass
// at once, whatever the flags.
TEST(VsdShapeTextHostile, LengthsPastThePart) {
  for (uint32_t length : {0xFFFFu, 0x7FFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFF0u}) {
    std::string text = TextChunk(11, Wide("x"));
    Put32(&text, 12, length);
    int32_t rc;
    PageTexts(11, ShapeChunk(11, 72, 1) + text, &rc);
    EXPECT_EQ(rc, InvalidFile) << length;
    std::string fields = FieldList({1});
    Put32(&fields, fields.size() - Chunk(11, 0xA1, std::string(40, 0)).size() + 12, length);  // the 0xA1 record
    PageTexts(11, ShapeChunk(11, 72, 1) + fields, &rc);
    EXPECT_EQ(rc, InvalidFile) << length;
    std::string runs = RunText("ab", {{0, 1, 2}});
    Put32(&runs, runs.size() - 36 + 12, length);  // the 148 record's length
    PageTexts(11, runs, &rc);
    EXPECT_EQ(rc, InvalidFile) << length;
    std::string object = Chunk(11, 13, std::string(4, '\0'));
    Put32(&object, 8, 1);
    std::string sub = Chunk(11, 31, "abc");
    Put32(&sub, 12, length);
    PageTexts(11, ShapeChunk(11, 72, 1) + object + sub, &rc, kFlagAEmbeddedObjects);
    EXPECT_EQ(rc, InvalidFile) << length;
  }
}

}  // namespace
