// Writes the self-made seed inputs of the compound-file fuzzer into the
// folder named on the command line: small files of both versions with
// nested storages, mini and regular streams, DIFAT sectors, one-sided
// sibling lists and empty directory slots.
#include <cstdio>
#include <string>

#include "testsupport/compound_file_writer.h"

using testsupport::CompoundFileWriter;
using testsupport::SiblingTree;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  std::string folder = argv[1];
  int written = 0;
  for (int version : {3, 4}) {
    for (SiblingTree tree : {SiblingTree::kBalanced, SiblingTree::kRightOnly, SiblingTree::kLeftOnly}) {
      for (bool difat : {false, true}) {
        CompoundFileWriter::Layout layout;
        layout.version = version;
        layout.tree = tree;
        layout.min_fat_sectors = difat ? 112 : 0;
        if (tree == SiblingTree::kRightOnly) layout.empty_slots = {2};
        if (version == 4 && difat) continue;  // 112 FAT sectors of 4 KiB: too large a seed
        CompoundFileWriter w(layout);
        std::string text;
        for (int i = 0; i < 6000; ++i) text.push_back(static_cast<char>('a' + i % 26));
        w.AddStream(w.Root(), "VisioDocument", text);
        w.AddStream(w.Root(), "\x05SummaryInformation", text.substr(0, 300));
        int pool = w.AddStorage(w.Root(), "ObjectPool", testsupport::ParseClassId("{00020906-0000-0000-C000-000000000046}"));
        int object = w.AddStorage(pool, "_1234567890");
        w.AddStream(object, "\x01Ole10Native", text.substr(0, 4095));
        w.AddStream(object, "CONTENTS", text.substr(0, 4096));
        for (int i = 0; i < 5; ++i) w.AddStream(pool, "s" + std::to_string(i), text.substr(0, i * 70));
        std::string name = folder + "/seed-v" + std::to_string(version) + "-t" + std::to_string(int(tree)) +
                           (difat ? "-difat" : "") + ".cfb";
        if (!w.Build().Save(name)) return 1;
        ++written;
      }
    }
  }
  std::printf("%d seeds written to %s\n", written, folder.c_str());
  return 0;
}
