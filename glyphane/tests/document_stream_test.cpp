// The document reader over self-made streams: the header, the pointer
// tree's walk (two turns over the trailer, page lists and page orders,
// compressed parts, pointers of length 0), names, and the bounds that keep
// a hostile stream from running the walk away.
#include "document_stream.h"

#include <gtest/gtest.h>

#include "dalvex/extract_records.h"
#include "visio_builder.h"

namespace {

using vsdtest::Chunk;
using vsdtest::PageSpec;
using vsdtest::RecordingSink;
using vsdtest::ShapeChunk;
using vsdtest::SimpleDocument;
using vsdtest::StreamBuilder;
using vsdtest::TextChunk;
using vsdtest::Wide;

std::string Text(uint8_t version, const std::string& ascii) {
  return version >= 11 ? Wide(ascii) : ascii;
}

std::string OneShape(uint8_t version, const std::string& text, uint32_t id = 1) {
  return ShapeChunk(version, 72, id) + TextChunk(version, Text(version, text));
}

TEST(VsdDocument, ShortHeaderCannotBeRead) {
  RecordingSink sink;
  EXPECT_EQ(vsdtest::ReadStream(std::string(63, '\0'), &sink), FileCantRead);
}

TEST(VsdDocument, PagesOfEveryLayoutComeInOrder) {
  for (uint8_t version : {5, 6, 11}) {
    for (bool compress : {false, true}) {
      if (version == 5 && compress) continue;
      SCOPED_TRACE(testing::Message() << "version " << int(version) << " compressed " << compress);
      std::string doc = SimpleDocument(
          version, {{"Front", OneShape(version, "hello")}, {"Back", OneShape(version, "world")}}, {}, compress);
      RecordingSink sink;
      ASSERT_EQ(vsdtest::ReadStream(doc, &sink), 0);
      EXPECT_EQ(sink.events, (std::vector<std::string>{"page 1", "name Front", "br", "hf |", "shape hello", "br",
                                                       "page 2", "br", "name Back", "br", "hf |", "shape world",
                                                       "br"}));
    }
  }
}

TEST(VsdDocument, PageOrder) {
  std::vector<PageSpec> pages = {{"A", ""}, {"B", ""}, {"C", ""}};
  struct Case {
    std::vector<uint32_t> order;
    std::vector<std::string> names;
  } cases[] = {
      {{2, 0, 1}, {"C", "A", "B"}},
      {{1}, {"B", "A", "C"}},  // a shorter order: then the rest in list order
      {{}, {"A", "B", "C"}},
  };
  for (const Case& c : cases) {
    RecordingSink sink;
    ASSERT_EQ(vsdtest::ReadStream(SimpleDocument(11, pages, c.order), &sink), 0);
    EXPECT_EQ(sink.Texts("name"), c.names);
  }
  RecordingSink sink;
  EXPECT_EQ(vsdtest::ReadStream(SimpleDocument(11, pages, {3}), &sink), InvalidFile);
}

// Builds a version-11 document from a pages container's children.
std::string WithContainer(StreamBuilder& b, const std::vector<vsdtest::Pointer>& children,
                          const std::vector<vsdtest::Pointer>& names) {
  auto name_list = b.AddPart(50, 0x50, b.ListPart(names));
  auto container = b.AddPart(39, 0x50, b.ListPart(children));
  return b.Build(b.AddPart(20, 0x50, b.ListPart({name_list, container})));
}

TEST(VsdDocument, PointerTreeRules) {
  {  // a pages container without a page list
    StreamBuilder b(11);
    auto page = b.AddPart(21, 0, OneShape(11, "x"));
    RecordingSink sink;
    EXPECT_EQ(vsdtest::ReadStream(WithContainer(b, {page}, {}), &sink), InvalidFile);
  }
  {  // a pointer of length 0 is passed over
    StreamBuilder b(11);
    auto page = b.AddPart(21, 0, OneShape(11, "x"));
    auto list = b.AddPart(201, 0, vsdtest::PageListPart(11, {{0, 1}}));
    vsdtest::Pointer empty{51, 0, 64, 0};
    RecordingSink sink;
    EXPECT_EQ(vsdtest::ReadStream(WithContainer(b, {list, page}, {empty, b.AddPart(51, 0, vsdtest::NamePart(11, "N"))}), &sink), 0);
    EXPECT_EQ(sink.Texts("name shape"), (std::vector<std::string>{"N", "x"}));
  }
  {  // a trailer without a name list reaches no page
    StreamBuilder b(11);
    auto page = b.AddPart(21, 0, OneShape(11, "x"));
    auto list = b.AddPart(201, 0, vsdtest::PageListPart(11, {{0, 1}}));
    auto container = b.AddPart(39, 0x50, b.ListPart({list, page}));
    RecordingSink sink;
    EXPECT_EQ(vsdtest::ReadStream(b.Build(b.AddPart(20, 0x50, b.ListPart({container}))), &sink), 0);
    EXPECT_TRUE(sink.events.empty());
  }
  {  // a page missing from the page list
    StreamBuilder b(11);
    auto page = b.AddPart(21, 0, OneShape(11, "x"));
    auto list = b.AddPart(201, 0, vsdtest::PageListPart(11, {{0, 7}}));
    RecordingSink sink;
    EXPECT_EQ(vsdtest::ReadStream(WithContainer(b, {list, page}, {}), &sink), InvalidFile);
  }
  {  // a child beyond the trailer's end
    StreamBuilder b(11);
    auto list = b.AddPart(201, 0, vsdtest::PageListPart(11, {}));
    vsdtest::Pointer far{21, 0, 0x7FFFFFFF, 10};
    RecordingSink sink;
    EXPECT_EQ(vsdtest::ReadStream(WithContainer(b, {list, far}, {}), &sink), InvalidFile);
  }
}

TEST(VsdDocument, NamesAreCutTo64Bytes) {
  std::string long_name(70, 'n');
  RecordingSink sink;
  ASSERT_EQ(vsdtest::ReadStream(SimpleDocument(11, {{long_name, ""}}), &sink), 0);
  EXPECT_EQ(sink.Texts("name"), std::vector<std::string>{std::string(32, 'n')});  // 64 bytes of UTF-16
  RecordingSink narrow;
  ASSERT_EQ(vsdtest::ReadStream(SimpleDocument(6, {{long_name, ""}}), &narrow), 0);
  EXPECT_EQ(narrow.Texts("name"), std::vector<std::string>{std::string(64, 'n')});
}

TEST(VsdDocument, ShortOldNamesKeepTheirOwnText) {
  // Before version 6 a name is searched from its offset plus 6; a short
  // name must not be taken from the entry after it.
  std::vector<PageSpec> pages = {{"T", ""}, {"RefLn", ""}, {"11", ""}, {"Closed", ""}};
  RecordingSink sink;
  ASSERT_EQ(vsdtest::ReadStream(SimpleDocument(5, pages), &sink), 0);
  EXPECT_EQ(sink.Texts("name"), (std::vector<std::string>{"T", "RefLn", "11", "Closed"}));
}

TEST(VsdDocument, PageModeReadsOnlyTheSelectedPage) {
  std::string doc = SimpleDocument(11, {{"A", OneShape(11, "a")}, {"B", OneShape(11, "b")}});
  for (int32_t selected : {0, 2}) {
    glyphane::VsdSession session;
    session.page_mode = true;
    session.selected_page = selected;
    RecordingSink sink;
    ASSERT_EQ(vsdtest::ReadStream(doc, &sink, 0, &session), 0);
    EXPECT_EQ(session.page_counter, 2);
    std::vector<std::string> expected;
    if (selected == 2) expected = {"B", "b"};
    EXPECT_EQ(sink.Texts("name shape"), expected);
  }
}

TEST(VsdDocument, SinkErrorEndsThePass) {
  std::string doc = SimpleDocument(11, {{"A", OneShape(11, "a")}, {"B", OneShape(11, "b")}});
  RecordingSink sink;
  sink.fail_at = 4;  // the first shape text
  EXPECT_EQ(vsdtest::ReadStream(doc, &sink), 24);
  EXPECT_EQ(sink.events.size(), 5u);
}

// Hostile trees: parts that point back at their ancestors, nesting without
// end, and lists, orders and tables that run past their parts.
TEST(VsdDocumentHostile, PointerTreeIsBounded) {
  {  // a list that names its own ancestor: walked once, then passed over
    StreamBuilder b(11);
    vsdtest::Pointer self{203, 0x50, 0, 0};
    std::string data = b.ListPart({self});
    self.offset = 64;  // the part about to be added
    self.length = static_cast<uint32_t>(data.size());
    data = b.ListPart({self});
    auto loop = b.AddPart(203, 0x50, data);
    auto names = b.AddPart(50, 0x50, b.ListPart({loop}));
    RecordingSink sink;
    glyphane::VsdSession session;
    EXPECT_EQ(vsdtest::ReadStream(b.Build(b.AddPart(20, 0x50, b.ListPart({names}))), &sink, 0, &session), 0);
    EXPECT_EQ(session.stats.repeated_parts, 1u);
  }
  {  // a chain of 70 nested lists
    StreamBuilder b(11);
    auto inner = b.AddPart(51, 0, vsdtest::NamePart(11, "deep"));
    for (int i = 0; i < 70; ++i) inner = b.AddPart(203, 0x50, b.ListPart({inner}));
    auto names = b.AddPart(50, 0x50, b.ListPart({inner}));
    RecordingSink sink;
    EXPECT_EQ(vsdtest::ReadStream(b.Build(b.AddPart(20, 0x50, b.ListPart({names}))), &sink), InvalidFile);
  }
}

TEST(VsdDocumentHostile, ListsThatRunPastTheirPart) {
  for (uint8_t version : {5, 6, 11}) {
    SCOPED_TRACE(int(version));
    StreamBuilder b(version);
    auto list = b.AddPart(201, 0, vsdtest::PageListPart(version, {}));
    std::string container = b.ListPart({list}, {}, 39);
    // The child count claims more pointers than the part holds.
    size_t count_at = version >= 6 ? 8 : 14;
    vsdtest::Put16(&container, count_at, 500);
    auto pages = b.AddPart(39, 0x50, container);
    RecordingSink sink;
    auto trailer = b.AddPart(20, 0x50, b.ListPart({b.AddPart(50, version >= 6 ? 0x50 : 0, std::string(8, '\0')), pages}, {}, 20));
    EXPECT_EQ(vsdtest::ReadStream(b.Build(trailer), &sink), InvalidFile);
  }
  {  // a page order longer than its part
    StreamBuilder b(11);
    auto list = b.AddPart(201, 0, vsdtest::PageListPart(11, {}));
    std::string container = b.ListPart({list});
    vsdtest::Put32(&container, 4, 1000);
    RecordingSink sink;
    auto names = b.AddPart(50, 0x50, b.ListPart({}));
    auto pages = b.AddPart(39, 0x50, container);
    EXPECT_EQ(vsdtest::ReadStream(b.Build(b.AddPart(20, 0x50, b.ListPart({names, pages}))), &sink), InvalidFile);
  }
  {  // a name-offset table longer than its part (before version 6)
    StreamBuilder b(5);
    std::string table(8, '\0');
    vsdtest::Put16(&table, 4, 100);
    auto names = b.AddPart(50, 0, table);
    RecordingSink sink;
    EXPECT_EQ(vsdtest::ReadStream(b.Build(b.AddPart(20, 0x50, b.ListPart({names}, {}, 20))), &sink), InvalidFile);
  }
}

}  // namespace
