// The extraction interface binds by ordinal to the names its table gives.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "travix/travix.h"
#include "win32/module.h"

namespace {

TEST(Travix, OrdinalsResolveToTheirExports) {
  void* library = win32::LoadLibraryBeside(reinterpret_cast<const void*>(&travix_OrdinalTable), "libtravix.so");
  ASSERT_NE(library, nullptr);
  size_t count = 0;
  std::span<const win32::OrdinalEntry> table(travix_OrdinalTable(&count), 0);
  table = std::span<const win32::OrdinalEntry>(travix_OrdinalTable(&count), count);
  EXPECT_EQ(win32::ProcByOrdinal(library, table, kDetectFormatOrdinal), reinterpret_cast<void*>(&DetectFormat));
  EXPECT_EQ(win32::ProcByOrdinal(library, table, kGetTextV4Ordinal), reinterpret_cast<void*>(&GetText_V4));
  EXPECT_EQ(win32::ProcByOrdinal(library, table, kGetPropertyV4Ordinal), reinterpret_cast<void*>(&GetProperty_V4));
  EXPECT_EQ(win32::ProcByOrdinal(library, table, 999), nullptr);

  FormatInfo info{};
  EXPECT_EQ(DetectFormat("x.vsd", &info), NotSuppoted);
  EXPECT_EQ(info.name[0], '\0');
  dlclose(library);
}

}  // namespace
