// The stream classes as a client of libquarnel.so sees them: exported
// with their vtables (the detector creates and destroys memory streams),
// the charset-name mapping kept inside, and a memory stream made and used
// across the library's boundary.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "quarnel/library.h"
#include "quarnel/mem_stream.h"
#include "testsupport/symbols.h"

namespace {

TEST(QuarnelStreamApi, StreamClassesAreExported) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<const void*>(&ObraCommon::getLibVersion), &info), 0);
  std::string names;
  for (const testsupport::DynamicSymbol& s : testsupport::DefinedDynamicSymbols(info.dli_fname, true))
    names += s.name + "\n";
  for (const char* wanted :
       {"ObraCommon::ZelMemStream::ZelMemStream(std::istream*, unsigned int, bool)\n",
        "ObraCommon::ZelMemStream::~ZelMemStream()\n", "vtable for ObraCommon::ZelMemStream\n",
        "vtable for ObraCommon::ZelMemStreamBuf\n", "vtable for ObraCommon::MekFileIOobj\n",
        "vtable for ObraCommon::MekStreamIOobj\n", "vtable for ObraCommon::ZelFileStreamBuf\n",
        "vtable for ObraCommon::ZelIFileStream\n", "vtable for ObraCommon::ZelOFileStream\n",
        "vtable for ObraCommon::ZelKVBStream\n", "vtable for ObraCommon::ZelKVBOStream\n",
        "ObraCommon::ZelKVBStream::detectEncoding("})
    EXPECT_NE(names.find(wanted), std::string::npos) << wanted;
  for (const char* internal : {"MapCharsetName", "ReadMode"})
    EXPECT_EQ(names.find(internal), std::string::npos) << internal;
}

TEST(QuarnelStreamApi, MemoryStreamAcrossTheBoundary) {
  auto* stream = new ObraCommon::ZelMemStream(nullptr, 8192, false);
  *stream << "PK" << 34;
  std::string all;
  stream->appendToString(all);
  EXPECT_EQ(all, "PK34");
  delete stream;
}

}  // namespace
