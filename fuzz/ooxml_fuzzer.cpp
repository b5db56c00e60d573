// libFuzzer harness of the Office Open XML layer of the zip reader. The
// input is detected as a package on a stream; then a package over the same
// bytes is asked the content type of every entry and both relationship
// lookups (and the target mode) of the package and of every entry. The
// stream form must leave its stream where it stood, and what was read once
// must answer the same again.
#include <cstdint>
#include <cstdlib>
#include <istream>

#include "harness_support.h"
#include "quarnel/zip_file.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelZipFile;
using ObraCommon::ZelZipFileEntry;

const UnicodeString kOfficeDocument(
    u"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument");
const UnicodeString kFirstId(u"rId1");

// A set that found nothing is read again at every request, so each source
// is asked each question once.
void AskRelationships(ZelZipFile& package, ZelZipFileEntry* source) {
  package.getRelationshipTargetFromId(kFirstId, source);
  package.getRelationshipTargetFromType(kOfficeDocument, source);
  package.getRelationshipTargetMode(kFirstId, source);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputBuf detectBytes(data, size), packageBytes(data, size);
  std::istream in(&detectBytes), packageSource(&packageBytes);
  int type = ZelZipFile::detectOOXDocument(&in);
  if (type < 0 || type > 16 || !in.good() || in.tellg() != std::streampos(0)) std::abort();

  ZelZipFile package(&packageSource, false);
  if (package.detectOOXDocument() != type) std::abort();
  UnicodeString main = package.getRelationshipTargetFromType(kOfficeDocument, nullptr);
  AskRelationships(package, nullptr);
  if (package.getRelationshipTargetFromType(kOfficeDocument, nullptr) != main) std::abort();
  for (unsigned i = 0; i < package.getFileEntryCount(); ++i) {
    ZelZipFileEntry* entry = package.getFileEntry(i);
    UnicodeString contentType = package.getContentType(entry);
    if (package.getContentType(entry) != contentType) std::abort();
    AskRelationships(package, entry);
  }
  return 0;
}
