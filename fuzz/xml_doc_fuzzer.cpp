// Documents loaded, saved and loaded again. The first byte chooses: bit 0
// complete or pull loading (walked through navigation), bit 1 UTF-8 or
// Shift_JIS output; the rest is the document. A first tree that loads must
// save, and its output must load into the same tree, less the writer's
// documented changes (C0 controls dropped, non-characters and lone
// surrogates as U+FFFD in text), or be refused for a name the output cannot
// hold (2065: a non-character, or a character outside Shift_JIS). A first
// tree of more than 200,000 nodes is only released.
//
// Shift_JIS output is decoded by the C library's iconv (CP932) and read
// back through loadXml, so the harness needs no engine for the converter.
// ICU's cp932 is no judge here: it reads the byte 0x7F as U+001A.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <sstream>
#include <string>

#include <iconv.h>

#include "quarnel/dom.h"
#include "quarnel/xml_parser_impl.h"
#include "xml_tree_text.h"

using namespace ObraCommon;

namespace {

constexpr ZelNameEnum kNamesBeforeCleanup = 1000000;
constexpr long kMostNodes = 200000;

long CountNodes(ZelNode* root) {
  long count = 0;
  ZelNode* node = root->getFirstChildFast();
  while (node != nullptr && count <= kMostNodes) {
    ++count;
    if (ZelNode* child = node->getFirstChildFast()) {
      node = child;
      continue;
    }
    while (node != nullptr && node != root && node->getNextSiblingFast() == nullptr) node = node->getParentNodeFast();
    node = node == nullptr || node == root ? nullptr : node->getNextSiblingFast();
  }
  return count;
}

UnicodeString FromCp932(const std::string& bytes) {
  iconv_t converter = iconv_open("UTF-8", "CP932");
  std::string out(bytes.size() * 3 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* to = out.data();
  size_t outLeft = out.size();
  if (iconv(converter, &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1)) {
    std::fprintf(stderr, "iconv refuses the output\noutput: %s\n", bytes.c_str());
    std::abort();
  }
  iconv_close(converter);
  out.resize(out.size() - outLeft);
  return UnicodeString::fromUTF8(out);
}

[[noreturn]] void Differ(const std::string& first, const std::string& second, const std::string& bytes) {
  std::fprintf(stderr, "trees differ\nfirst:  %s\nsecond: %s\noutput: %s\n", first.c_str(), second.c_str(),
               bytes.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (ZelNameTable::getSharedNameTable()->getNameLast() > kNamesBeforeCleanup) ZelNameTable::cleanup();
  XmlParserImpl::clearSubsetCache();
  const uint8_t mode = data[0];
  const bool pull = (mode & 1) != 0;
  const bool shiftJis = (mode & 2) != 0;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));

  ZelPtr<ZelDocument> first(new ZelDocument());
  first->setPullMode(pull);
  std::string expected;
  try {
    first->load(in, nullptr);
    if (pull) xml_tree::DescribeTree(first.get(), false);
    if (CountNodes(first.get()) > kMostNodes) return 0;
    expected = xml_tree::DescribeTree(first.get(), false, true);
  } catch (const ZelError&) {
    return 0;
  }

  std::ostringstream out;
  try {
    first->save(out, nullptr, UnicodeString(shiftJis ? u"SHIFT_JIS" : u"UTF-8"));
  } catch (const ZelError& error) {
    if (error.getErrorCode() == 2065) return 0;
    std::fprintf(stderr, "save failed: %d\n", error.getErrorCode());
    std::abort();
  }
  const std::string bytes = out.str();

  ZelPtr<ZelDocument> second(new ZelDocument());
  try {
    if (shiftJis) {
      second->loadXml(FromCp932(bytes), nullptr);
    } else {
      std::istringstream back(bytes);
      second->load(back, nullptr);
    }
  } catch (const ZelError& error) {
    std::fprintf(stderr, "output refused: %d\noutput: %s\n", error.getErrorCode(), bytes.c_str());
    std::abort();
  }
  std::string actual = xml_tree::DescribeTree(second.get(), false);
  if (actual != expected) Differ(expected, actual, bytes);
  return 0;
}
