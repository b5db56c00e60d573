// The stream classes as a client of libquarnel.so sees them: exported
// with their vtables (the detector creates and destroys memory streams),
// the charset-name mapping kept inside, and a memory stream made and used
// across the library's boundary.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "quarnel/library.h"
#include "quarnel/mem_stream.h"
#include "quarnel/uri.h"
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
        "ObraCommon::ZelKVBStream::detectEncoding(", "vtable for ObraCommon::ZelUri\n",
        "vtable for ObraCommon::ZelDataUri\n", "vtable for ObraCommon::ZelUriReferenceResolver\n",
        "ObraCommon::ZelUri::getStream(", "ObraCommon::ZelUri::getModuleUri(",
        "vtable for ObraCommon::OleCompFile\n", "vtable for ObraCommon::OleStream\n",
        "vtable for ObraCommon::ZelOleStream\n", "ObraCommon::OleSummaryInformation::getProperty(",
        "ObraCommon::OlePropertySet::init(", "ObraCommon::OleCompFile::detectOLEDocument("})
    EXPECT_NE(names.find(wanted), std::string::npos) << wanted;
  for (const char* internal : {"MapCharsetName", "ReadMode", "OpenJar", "UnescapePath", "OnNetworkFileSystem"})
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

// The library is found among the loaded objects by its Windows name too.
TEST(QuarnelStreamApi, ModuleUriOfTheLoadedLibrary) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<const void*>(&ObraCommon::getLibVersion), &info), 0);
  std::string path = info.dli_fname;
  std::string folder = path.substr(0, path.find_last_of('/'));
  for (const char* name : {"quarnel.dll", "libquarnel.so"}) {
    ObraCommon::ZelUri uri = ObraCommon::ZelUri::getModuleUri(name, "libquarnel.so", nullptr);
    EXPECT_EQ(uri.toString(), ObraCommon::ZelUri(icu::UnicodeString::fromUTF8(path), ObraCommon::ZelUri::URISTR_AUTO).toString()) << name;
    EXPECT_TRUE(uri.isFileExists());
  }
  EXPECT_TRUE(ObraCommon::ZelUri::getModuleUri("quarnel.dll", nullptr, nullptr).getLocalPath() ==
              icu::UnicodeString::fromUTF8(folder));
}

}  // namespace
