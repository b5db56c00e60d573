// The pull parser over the MSXML stand-in, on arbitrary bytes. The first
// byte chooses: bit 0 next or nextToken; bit 1 SKIP_EXTERNAL_DTD; bit 2
// IGNORE_DTD_FAILURE. The rest is the document, read through
// setInput(std::istream&) into a temporary file and walked to the end with
// its accessors touched. A load ends with its error or a walk that reaches
// END_DOCUMENT within a bound of calls; either way the temporary folder
// must be empty afterwards. That folder is the harness's private one
// (fuzz::PrivateFolder), in /dev/shm: a file written and removed on a disk
// file system every execution was a quarter of the run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <istream>
#include <string>

#include "harness_support.h"
#include "quarnel/msxml_parser.h"
#include "xml_pull_walk.h"

using namespace ObraCommon;

namespace {

constexpr ZelNameEnum kNamesBeforeCleanup = 1000000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string& dir = fuzz::PrivateFolder();  // TMPDIR, in memory where the machine allows
  if (ZelNameTable::getSharedNameTable()->getNameLast() > kNamesBeforeCleanup) ZelNameTable::cleanup();
  const uint8_t mode = data[0];
  fuzz::InputBuf bytes(data + 1, size - 1);
  std::istream in(&bytes);
  {
    ZelPtr<ZelMSXmlParser> parser(new ZelMSXmlParser());
    parser->setFeature(ZelXmlParser::SKIP_EXTERNAL_DTD, (mode & 2) != 0);
    parser->setFeature(ZelXmlParser::IGNORE_DTD_FAILURE, (mode & 4) != 0);
    try {
      parser->setInput(in, UnicodeString(), UnicodeString());
      // Each call moves past one node; entity texts grow the tree no further
      // than libxml2's expansion limits (a fixed allowance and a ratio).
      fuzz::WalkToEnd(*parser, (mode & 1) != 0, 2 * (16 * size + 2000000));
    } catch (const ZelError&) {
    }
  }
  if (!fuzz::FolderEntries(dir).empty()) std::abort();
  return 0;
}
