// The archive walk after a member whose data was not read to its end: the
// members after it keep their own data, and hostile archives that once made
// libarchive read freed memory are walked to their end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "block_headers.h"
#include "testsupport/testdata.h"
#include "unrar/unrar.h"

// Some archives make libarchive ask for impossible sizes, which it survives
// when refused; under AddressSanitizer the refusal is a null answer too.
extern "C" __attribute__((used)) const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

namespace fs = std::filesystem;

constexpr size_t kWalkBound = 10000;

struct Member {
  int rc = -1;  // ExtractTo's answer; -1 when not extracted
  std::string data;
};

// Every member of `path`: a file member is written to memory (only read when
// not `keep`), or, when `fails(i)` holds for its index, to a file that takes
// no byte.
template <typename Fails>
std::vector<Member> Walk(const std::string& path, Fails fails, bool keep = true) {
  std::vector<Member> out;
  unrar::Archive archive;
  if (archive.Open(path) != 0) return out;
  unrar::Entry entry;
  while (archive.Next(&entry) == 0 && out.size() < kWalkBound) {
    Member m;
    if (entry.kind == unrar::Kind::kFile && !entry.encrypted) {
      bool full = fails(out.size());
      int fd = full ? open("/dev/full", O_WRONLY) : keep ? memfd_create("member", 0) : -1;
      m.rc = archive.ExtractTo(fd);
      if (fd < 0) {
        out.push_back(std::move(m));
        continue;
      }
      off_t size = lseek(fd, 0, SEEK_END);
      if (!full && size > 0) {
        m.data.resize(static_cast<size_t>(size));
        EXPECT_EQ(pread(fd, m.data.data(), m.data.size(), 0), size);
      }
      close(fd);
    } else {
      archive.Skip();
    }
    out.push_back(std::move(m));
  }
  return out;
}

// A member cut off by a failing write leaves the next members as they are
// read without it: each archive is walked whole, then with every other file
// member written to a full disk.
TEST(ArchiveCorpus, CutMemberLeavesTheNextMembersWhole) {
  TESTDATA_OR_SKIP(dir, "rar");
  int compared = 0;
  for (const auto& file : fs::directory_iterator(dir)) {
    const std::string path = file.path().string();
    if (!file.is_regular_file() || file.file_size() > (4u << 20)) continue;
    unrar::ArchiveLayout layout = unrar::ReadSignature(path);
    if (layout.format == unrar::Format::kUnknown || layout.volume) continue;
    unrar::ReadMembers({path}, &layout);
    auto large = [](const unrar::MemberHeader& m) { return m.size > (16u << 20); };
    if (layout.members.size() < 2 || std::any_of(layout.members.begin(), layout.members.end(), large)) continue;
    SCOPED_TRACE(path);
    std::vector<Member> whole = Walk(path, [](size_t) { return false; });
    if (whole.size() < 2) continue;
    for (size_t parity : {0u, 1u}) {
      std::vector<Member> cut = Walk(path, [parity](size_t i) { return i % 2 == parity; });
      ASSERT_EQ(cut.size(), whole.size());
      for (size_t i = 0; i < whole.size(); ++i) {
        if (i % 2 == parity || whole[i].rc != 0) continue;
        SCOPED_TRACE(testing::Message() << "member " << i);
        EXPECT_EQ(cut[i].rc, 0);
        EXPECT_TRUE(cut[i].data == whole[i].data);
        ++compared;
      }
    }
  }
  if (compared == 0) GTEST_SKIP() << "no archive of several members in " << dir;
}

// The RAR inputs on which the fuzzers found faults: every walk ends, under
// the sanitizers without a report.
TEST(ArchiveFindings, HostileArchivesAreWalkedToTheirEnd) {
  std::vector<fs::path> files;
  fs::path kept = fs::path(std::getenv("PROJECT_SOURCE_DIR")) / "fuzz" / "regressions";
  std::string why;
  if (auto shared = testsupport::TestDataDir("fuzz-findings", &why))
    for (const auto& file : fs::directory_iterator(*shared))
      if (file.path().filename().string().starts_with("rar-")) files.push_back(file.path());
  for (const auto& file : fs::directory_iterator(kept))
    if (file.path().filename().string().starts_with("rar-")) files.push_back(file.path());
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    EXPECT_LT(Walk(file.string(), [](size_t) { return false; }, false).size(), kWalkBound);
  }
}

}  // namespace
