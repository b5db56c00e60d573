// Lists every stream of each compound file named on the command line and
// reads it whole with Quarnel's reader: "path<TAB>size<TAB>bytes read" per
// stream, as compound_file_dump prints with Dalvex's reader.
#include <cstdio>
#include <string>
#include <vector>

#include "quarnel/ole_comp_file.h"

using namespace ObraCommon;

namespace {

void Walk(OleCompFile& file, int32_t storage, std::vector<std::string>& names) {
  static unsigned char buffer[65536];
  const OleDirInfo* parent = file.getDirInfo(storage);
  if (parent == nullptr || names.size() >= 4) return;
  std::vector<bool> seen(file.getDirVec().size(), false);
  std::vector<int32_t> stack{parent->getChildID()};
  while (!stack.empty()) {
    const OleDirInfo* e = file.getDirInfo(stack.back());
    stack.pop_back();
    if (e == nullptr || seen[size_t(e->getDirID())]) continue;
    seen[size_t(e->getDirID())] = true;
    stack.push_back(e->getRightSiblingID());
    stack.push_back(e->getLeftSiblingID());
    std::string name;
    e->getName().toUTF8String(name);
    names.push_back(name);
    if (e->isStream()) {
      OleDirPath path;
      std::string joined;
      for (const std::string& n : names) {
        path.names[path.count++] = n.c_str();
        joined += (joined.empty() ? "" : "/") + n;
      }
      if (OleStream* s = file.OLEopenStream(&path)) {
        long long total = 0;
        for (int n; (n = s->OLEread(buffer, sizeof buffer)) > 0;) total += n;
        std::printf("%s\t%d\t%lld\n", joined.c_str(), s->GetStreamSize(), total);
        file.OLEcloseStream(s);
      }
    } else if (e->isStorage()) {
      Walk(file, e->getDirID(), names);
    }
    names.pop_back();
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    OleCompFile file;
    const bool ok = file.OLEopen(argv[i]);
    std::printf("FILE\t%s\t%s\n", argv[i], ok ? "OK" : "REFUSED");
    if (!ok) continue;
    std::vector<std::string> names;
    Walk(file, 0, names);
  }
  return 0;
}
