// Dalvex exports exactly its ordinal table (plus the project's listed
// additions), and every table entry resolves unless it is still to come.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include <dlfcn.h>

#include "dalvex/ordinal_table.h"
#include "dalvex/portability.h"
#include "testsupport/symbols.h"
#include "win32/module.h"

namespace {

// Exports of the project's own that have no ordinal.
const std::set<std::string> kAdditions = {
    "dalvex_OrdinalTable",
    "KVB_2OLEGetHeaderInfo",
    "KVB_2OLEGetStreamSize",
    "KVB_2OLEGetStreamName",
};

// Table entries whose functions are not built yet.
const std::set<std::string> kStillToCome = {};

std::string LibraryPath() {
  std::string file;
  win32::ModulePath(reinterpret_cast<const void*>(&KVB_malloc), &file, nullptr);
  return file;
}

std::set<std::string> ExportedFunctions(const std::string& library) {
  std::vector<std::string> names = testsupport::DefinedFunctions(library);
  return {names.begin(), names.end()};
}

}  // namespace

TEST(OrdinalTable, OrdinalsAndNamesAreUnique) {
  size_t count = 0;
  const win32::OrdinalEntry* table = dalvex_OrdinalTable(&count);
  ASSERT_GT(count, 0u);
  std::set<uint32_t> ordinals;
  std::set<std::string> names;
  for (size_t i = 0; i < count; ++i) {
    EXPECT_TRUE(ordinals.insert(table[i].ordinal).second) << table[i].ordinal;
    EXPECT_TRUE(names.insert(table[i].name).second) << table[i].name;
  }
  for (const std::string& name : kStillToCome) EXPECT_TRUE(names.count(name)) << name;
}

TEST(OrdinalTable, ExportsMatchTheTable) {
  std::string library = LibraryPath();
  ASSERT_FALSE(library.empty());
  std::set<std::string> exported = ExportedFunctions(library);
  ASSERT_FALSE(exported.empty()) << "nm found no exports in " << library;

  size_t count = 0;
  const win32::OrdinalEntry* table = dalvex_OrdinalTable(&count);
  std::set<std::string> names;
  for (size_t i = 0; i < count; ++i) names.insert(table[i].name);
  for (const std::string& name : exported) {
    if (name.rfind("_init", 0) == 0 || name.rfind("_fini", 0) == 0) continue;
    EXPECT_TRUE(names.count(name) || kAdditions.count(name)) << "unlisted export " << name;
  }

  void* self = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(self, nullptr);
  for (size_t i = 0; i < count; ++i) {
    bool resolves = win32::ProcByOrdinal(self, std::span(table, count), table[i].ordinal) != nullptr;
    EXPECT_EQ(resolves, !kStillToCome.count(table[i].name)) << table[i].name;
  }
  dlclose(self);
}
