// Quarnel's compound-file and property-set readers over arbitrary bytes: the
// input opens through a stream I/O object, and through a file I/O object on
// a memory file (the reader takes a file whole); every stream up to four names
// deep is read directly and through the standard stream, every storage is
// asked for its object, both property sets answer every summary id and the
// hyperlinks, and the document kind is detected. The streams read the
// input where libFuzzer holds it, and the memory file is made once and
// rewritten for every input.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "harness_support.h"
#include "quarnel/io_object.h"
#include "quarnel/ole_comp_file.h"
#include "quarnel/ole_summary.h"
#include "quarnel/value.h"

using namespace ObraCommon;

namespace {

using fuzz::InputBuf;

// The memory file the file I/O object reads, made on the first input.
int MemoryFile() {
  static const int fd = [] {
    int made = memfd_create("ole_reader", MFD_CLOEXEC);
    if (made < 0) std::abort();
    return made;
  }();
  return fd;
}

void Walk(OleCompFile& file, int32_t storage, std::vector<std::string>& names, int budget[1]) {
  const OleDirInfo* parent = file.getDirInfo(storage);
  if (parent == nullptr || names.size() >= 4) return;
  // Children by their sibling links, without trusting them to end.
  std::vector<int32_t> stack{parent->getChildID()};
  std::vector<bool> seen(file.getDirVec().size(), false);
  while (!stack.empty() && budget[0]-- > 0) {
    const OleDirInfo* e = file.getDirInfo(stack.back());
    stack.pop_back();
    if (e == nullptr || seen[size_t(e->getDirID())]) continue;
    seen[size_t(e->getDirID())] = true;
    stack.push_back(e->getLeftSiblingID());
    stack.push_back(e->getRightSiblingID());
    std::string name;
    e->getName().toUTF8String(name);
    names.push_back(name);
    OleDirPath path;
    for (const std::string& n : names) path.names[path.count++] = n.c_str();
    if (e->isStream()) {
      if (OleStream* s = file.OLEopenStream(&path)) {
        unsigned char buf[4096];
        while (s->OLEread(buf, sizeof buf) > 0) {
        }
        s->OLEseek(0, 0);
        ZelOleStream in(s, 5000);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        file.OLEcloseStream(s);
      }
    } else if (e->isStorage()) {
      file.OLEcloseStream(file.OLEopenObject(&path));
      Walk(file, e->getDirID(), names, budget);
    }
    names.pop_back();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    InputBuf buf(data, size);
    std::istream in(&buf);
    MekStreamIOobj io(&in);
    OleCompFile file;
    if (file.OLEopen(&io)) {
      std::vector<std::string> names;
      int budget[1] = {2000};
      Walk(file, 0, names, budget);
      OleSummaryInformation summary;
      summary.initSummaryInformation(&file);
      for (uint32_t id : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 14u, 15u, 16u, 18u, 19u}) {
        ZelValue value;
        summary.getProperty(id, value);
      }
      std::vector<icu::UnicodeString> links;
      summary.getHyperLinks(links);
      OleSummaryInformation document;
      document.initDocumentSummaryInformation(&file);
      document.getHyperLinks(links);
      OlePropertySet set;
      set.init(&file);
    }
  }
  const int fd = MemoryFile();
  if (pwrite(fd, data, size, 0) != static_cast<ssize_t>(size) || ftruncate(fd, static_cast<off_t>(size)) != 0 ||
      lseek(fd, 0, SEEK_SET) != 0)
    std::abort();
  const int copy = dup(fd);
  if (copy < 0) std::abort();
  {
    MekFileIOobj io(copy, "rb");  // closes the copy
    OleCompFile file;
    if (file.OLEopen(&io)) {
      std::vector<std::string> names;
      int budget[1] = {2000};
      Walk(file, 0, names, budget);
    }
  }
  InputBuf buf(data, size);
  std::istream in(&buf);
  OleCompFile::detectOLEDocument(in);
  return 0;
}
