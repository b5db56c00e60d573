// Lists every stream of each compound file named on the command line and
// reads it whole: "path<TAB>size<TAB>bytes read" per stream. The timed
// counterpart of olefile_dump.py --read-only in compare_compound_files.sh.
#include <cstdio>
#include <string>

#include "compound_file_children.h"
#include "dalvex/compound_file.h"

namespace {

void Walk(KVB_OleStorage* storage, const std::string& prefix, int depth) {
  static char buffer[65536];
  for (const dalvex::OleChild& child : dalvex::ListChildren(storage)) {
    std::string path = prefix + child.name;
    if (child.type == 2) {
      KVB_OleStream* stream = KVB_2OLEopenStream(storage, child.name.c_str());
      if (stream == nullptr) continue;
      long long total = 0;
      for (int n; (n = KVB_2OLEreadStream(stream, buffer, sizeof buffer)) > 0;) total += n;
      std::printf("%s\t%d\t%lld\n", path.c_str(), KVB_2OLEGetStreamSize(stream), total);
      KVB_2OLEcloseStream(stream);
    } else if (child.type == 1 && depth < 32) {
      if (KVB_OleStorage* sub = KVB_2OLEopenStorage(storage, child.name.c_str())) {
        Walk(sub, path + "/", depth + 1);
        KVB_2OLEcloseStorage(sub);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    KVB_OleStorage* root = KVB_2OLEopen(argv[i]);
    std::printf("FILE\t%s\t%s\n", argv[i], root ? "OK" : "REFUSED");
    if (root == nullptr) continue;
    Walk(root, "", 0);
    KVB_2OLEclose(root);
  }
  return 0;
}
