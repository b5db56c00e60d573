// The file list's orders: each column's comparison is a strict weak
// ordering (std::stable_sort needs it), also for names that differ in case
// only, and the order obeys the column's direction.
#include <random>

#include <gtest/gtest.h>

#include "ui/file_item.h"

namespace shapeglean {
namespace {

FileItem Item(const char* name, const char* folder, const char* encryption = "Unencrypted",
              const char* status = "Waiting conversion") {
  return FileItem{name, folder, encryption, "", status};
}

TEST(FileSort, EveryColumnIsAStrictWeakOrdering) {
  std::mt19937 random(12345);
  const char* names[] = {"a", "A", "b", "B", "ab", "aB", "Ab"};
  const char* folders[] = {"/x/", "/X/", "/y/"};
  const char* states[] = {"Unencrypted", "unencrypted", "Decrypted"};
  std::vector<FileItem> items;
  for (int i = 0; i < 60; ++i)
    items.push_back(Item(names[random() % 7], folders[random() % 3], states[random() % 3], states[random() % 3]));
  for (int column = 0; column < 4; ++column) {
    for (bool descending : {false, true}) {
      auto less = [&](const FileItem& a, const FileItem& b) {
        return FileItemLess(a, b, static_cast<SortColumn>(column), descending);
      };
      auto equivalent = [&](const FileItem& a, const FileItem& b) { return !less(a, b) && !less(b, a); };
      for (const FileItem& a : items) {
        ASSERT_FALSE(less(a, a));
        for (const FileItem& b : items) {
          if (less(a, b)) {
            ASSERT_FALSE(less(b, a));
          }
          for (const FileItem& c : items) {
            if (less(a, b) && less(b, c)) {
              ASSERT_TRUE(less(a, c)) << column;
            }
            if (equivalent(a, b) && equivalent(b, c)) {
              ASSERT_TRUE(equivalent(a, c)) << column;
            }
          }
        }
      }
    }
  }
}

TEST(FileSort, DirectionsAndTieBreaks) {
  std::vector<FileItem> items = {Item("b.vsd", "/2/"), Item("A.vsd", "/1/"), Item("a.vsd", "/0/"),
                                 Item("B.vsd", "/3/", "Decrypted")};
  auto names = [&] {
    std::string out;
    for (const FileItem& f : items) out += f.name.ToUtf8() + f.folder.ToUtf8() + " ";
    return out;
  };
  SortFileItems(items, SortColumn::kName, true);
  EXPECT_EQ(names(), "b.vsd/2/ B.vsd/3/ a.vsd/0/ A.vsd/1/ ");  // names descending, folders ascending
  SortFileItems(items, SortColumn::kName, false);
  EXPECT_EQ(names(), "a.vsd/0/ A.vsd/1/ b.vsd/2/ B.vsd/3/ ");
  SortFileItems(items, SortColumn::kFolder, true);
  EXPECT_EQ(names(), "B.vsd/3/ b.vsd/2/ A.vsd/1/ a.vsd/0/ ");
  SortFileItems(items, SortColumn::kEncryption, true);
  EXPECT_EQ(names(), "a.vsd/0/ A.vsd/1/ b.vsd/2/ B.vsd/3/ ");  // "Unencrypted" > "Decrypted"
  SortFileItems(items, SortColumn::kEncryption, false);
  EXPECT_EQ(names(), "B.vsd/3/ a.vsd/0/ A.vsd/1/ b.vsd/2/ ");
}

}  // namespace
}  // namespace shapeglean
