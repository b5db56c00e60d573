// Names: the generated built-in table against its data file, the fixed
// numbers that callers compare against, numbering at run time in the shared
// table (which outlives its last reference), and name lists.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "builtin_name_data.h"
#include "quarnel/name.h"
#include "quarnel/shared_strings.h"
#include "quarnel/zel_ptr.h"
#include "support.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelName;
using ObraCommon::ZelNameEnum;
using ObraCommon::ZelNameList;
using ObraCommon::ZelNameTable;
using quarnel_test::Utf8;
namespace data = ObraCommon::builtin_names;

// Every test starts without a shared table, so run-time numbers start at
// 1,598 whatever ran before in the same process.
class Names : public ::testing::Test {
 protected:
  void SetUp() override { ZelNameTable::cleanup(); }
  void TearDown() override { ZelNameTable::cleanup(); }
};

std::vector<std::string> DataFileLines() {
  std::ifstream in(QUARNEL_BUILTIN_NAMES_FILE);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_F(Names, GeneratedTableIsTheDataFileSortedAndRoundTrips) {
  std::vector<std::string> lines = DataFileLines();
  ASSERT_FALSE(lines.empty()) << "cannot read " << QUARNEL_BUILTIN_NAMES_FILE;
  ASSERT_EQ(static_cast<size_t>(ObraCommon::ZEL_NAME_LAST_BUILTIN), lines.size());
  EXPECT_TRUE(ZelNameTable::getBuiltinNameString(0).isEmpty());
  EXPECT_EQ(data::kTexts[0].length, 0);

  std::set<std::string> distinct;
  for (ZelNameEnum n = 1; n <= ObraCommon::ZEL_NAME_LAST_BUILTIN; ++n) {
    const UnicodeString& text = ZelNameTable::getBuiltinNameString(n);
    std::string utf8 = Utf8(text);
    ASSERT_EQ(utf8, lines[static_cast<size_t>(n - 1)]) << "entry " << n;
    for (int32_t i = 0; i < text.length(); ++i) ASSERT_LT(text.charAt(i), 0x80) << "entry " << n;
    distinct.insert(utf8);
    EXPECT_EQ(ZelNameTable::getBuiltinNameEnum(text), n) << utf8;
    EXPECT_EQ(ZelNameTable::getSharedNameEnum(text), n) << utf8;
    EXPECT_EQ(ZelName(n).toString(), text) << utf8;
  }
  EXPECT_EQ(distinct.size(), lines.size());

  // The index holds every number once, in code-unit order of the texts.
  std::set<int> numbers(data::kSortedNumbers, data::kSortedNumbers + data::kCount);
  EXPECT_EQ(numbers.size(), static_cast<size_t>(data::kCount));
  for (int32_t i = 1; i < data::kCount; ++i)
    EXPECT_LT(ZelNameTable::getBuiltinNameString(data::kSortedNumbers[i - 1]),
              ZelNameTable::getBuiltinNameString(data::kSortedNumbers[i]))
        << i;
}

// Texts that differ only in case are different names; a text that is not
// built in is numbered after the last built-in one.
TEST_F(Names, CaseMakesADifferentName) {
  EXPECT_NE(ZelName(UnicodeString(u"Basic")), ZelName(UnicodeString(u"basic")));
  EXPECT_TRUE(ZelName(UnicodeString(u"basic")).isBuiltin());
  EXPECT_EQ(ZelName(UnicodeString(u"TRUE")), 1598);
}

TEST_F(Names, RunTimeNamesAreNumberedInOrderOfFirstUse) {
  EXPECT_TRUE(ZelNameTable::getSharedNameString(1598).isEmpty());
  EXPECT_EQ(ZelNameTable::getSharedNameEnum(UnicodeString()), 0);
  EXPECT_TRUE(ZelName(UnicodeString()).isEmpty());

  ZelNameTable* shared = ZelNameTable::getSharedNameTable();
  EXPECT_EQ(shared->lookupName(UnicodeString(u"alpha-run")), 0);
  EXPECT_EQ(shared->lookupName(UnicodeString(u"true")), 1475);
  EXPECT_EQ(shared->getNameLast(), 1597) << "lookupName added a name";

  EXPECT_EQ(ZelName(UnicodeString(u"alpha-run")), 1598);
  EXPECT_EQ(ZelName(UnicodeString(u"beta-run")), 1599);
  EXPECT_EQ(ZelName(UnicodeString(u"alpha-run")), 1598);
  EXPECT_EQ(shared->lookupName(UnicodeString(u"beta-run")), 1599);
  EXPECT_EQ(shared->getNameLast(), 1599);

  // Numbers nobody was given read as the empty text.
  for (ZelNameEnum n : {-1, -1600, 1600, 0x7FFFFFFF})
    EXPECT_TRUE(ZelNameTable::getSharedNameString(n).isEmpty()) << n;
  EXPECT_EQ(Utf8(ZelName(1599).toString()), "beta-run");
  UnicodeString joined(u"a:");
  ObraCommon::appendSharedName(joined, 1598);
  ObraCommon::appendSharedName(joined, -5);
  EXPECT_EQ(Utf8(joined), "a:alpha-run");

  EXPECT_TRUE(ZelName(0).isBuiltin());
  EXPECT_TRUE(ZelName(1597).isBuiltin());
  EXPECT_FALSE(ZelName(1598).isBuiltin());
  EXPECT_FALSE(ZelName(-1).isBuiltin());
}

// The last document to go must not take the run-time names with it: callers
// still hold their numbers.
TEST_F(Names, ReleasingTheLastReferenceKeepsTheTable) {
  ZelName foo(UnicodeString(u"foo"));
  ASSERT_EQ(foo, 1598);
  ZelNameTable* table = ZelNameTable::addRefSharedNameTable();
  EXPECT_EQ(table->getRefCount(), 1);
  ZelNameTable::releaseSharedNameTable();
  EXPECT_EQ(ZelNameTable::getSharedNameTable(), table);
  EXPECT_EQ(Utf8(foo.toString()), "foo");
  EXPECT_EQ(ZelName(UnicodeString(u"foo")), 1598);
  EXPECT_EQ(ZelName(UnicodeString(u"bar")), 1599);
}

TEST_F(Names, GenerateIdTakesTheNextNumber) {
  // Without a shared table the last number is the last built-in one.
  ZelName first = ZelName::generateID(UnicodeString(u"x"));
  EXPECT_EQ(Utf8(first.toString()), "-x1598");
  EXPECT_EQ(first, 1598);
  ZelNameTable::getSharedNameEnum(UnicodeString(u"a"));
  ZelNameTable::getSharedNameEnum(UnicodeString(u"b"));
  ASSERT_EQ(ZelNameTable::getSharedNameTable()->getNameLast(), 1600);
  ZelName id = ZelName::generateID(UnicodeString());
  EXPECT_EQ(Utf8(id.toString()), "-N1601");
  EXPECT_EQ(id, 1601);
}

// A run-time text is handed out by reference and must not move while the
// table grows (AddressSanitizer reports a read of moved storage).
TEST_F(Names, TextReferencesStayValidWhileTheTableGrows) {
  ZelName held(UnicodeString(u"held"));
  const UnicodeString& text = held.toString();
  const char16_t* buffer = text.getBuffer();
  for (int i = 0; i < 5000; ++i)
    ZelNameTable::getSharedNameEnum(UnicodeString(u"grow-") + UnicodeString(std::to_string(i).c_str()));
  EXPECT_EQ(Utf8(text), "held");
  EXPECT_EQ(text.getBuffer(), buffer);
  EXPECT_EQ(&ZelNameTable::getSharedNameString(held), &text);
}

TEST_F(Names, TableOfItsOwnNumbersApartFromTheSharedOne) {
  ObraCommon::ZelPtr<ZelNameTable> own(new ZelNameTable);
  EXPECT_EQ(own->getTypeID(), 0x31FB5B85u);
  EXPECT_TRUE(own->isA(ObraCommon::ZelRCObject::getStaticTypeID()));
  EXPECT_EQ(Utf8(own->getTypeName()), "ZelNameTable");
  ZelNameTable::getSharedNameEnum(UnicodeString(u"shared-only"));
  EXPECT_EQ(own->getNameEnum(UnicodeString(u"own")), 1598);
  EXPECT_EQ(own->getNameEnum(UnicodeString(u"yes")), 1583);
  EXPECT_EQ(Utf8(own->getNameString(1598)), "own");
  EXPECT_TRUE(own->getNameString(1599).isEmpty());
  EXPECT_EQ(own->lookupName(UnicodeString(u"shared-only")), 0);
  EXPECT_EQ(Utf8(ZelNameTable::getSharedNameString(1598)), "shared-only");
}

TEST(NameList, CountsItemsAndFindsThem) {
  const ZelNameEnum items[] = {1475, 571, 1475, 0, 14};
  struct Case {
    const char* what;
    ZelNameList list;
    int32_t count;
  };
  const Case cases[] = {
      {"default", ZelNameList(), 0},
      {"null with a count", ZelNameList(nullptr, 3), 0},
      {"counted", ZelNameList(items, 5), 5},
      {"up to the first 0", ZelNameList(items), 3},
      {"beginning with 0", ZelNameList(items + 3), 0},
      {"null", ZelNameList(static_cast<const ZelNameEnum*>(nullptr)), 0},
      {"negative count", ZelNameList(items, -2), -2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.list.getCount(), c.count) << c.what;
    EXPECT_TRUE(c.list.getItem(-1).isEmpty()) << c.what;
    EXPECT_TRUE(c.list.getItem(c.count > 0 ? c.count : 0).isEmpty()) << c.what;
    EXPECT_EQ(c.list.indexOf(1475), c.count > 0 ? 0 : -1) << c.what;
    EXPECT_EQ(c.list.indexOf(571), c.count > 1 ? 1 : -1) << c.what;
    EXPECT_EQ(c.list.hasItem(ZelName(999)), false) << c.what;
  }
  ZelNameList copy = ZelNameList(items, 5);
  EXPECT_EQ(copy.getItem(4), 14);
  EXPECT_EQ(copy.indexOf(14), 4);
  EXPECT_EQ(copy.indexOf(0), 3);
  EXPECT_TRUE(copy.hasItem(ZelName(UnicodeString(u"Basic"))));
}

}  // namespace
