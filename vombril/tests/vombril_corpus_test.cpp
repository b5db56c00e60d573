// Vombril and its RAR reader on the real archives of ../shared/testdata/rar,
// checked against bsdtar and the independent .exp listings: every regular
// file's name, size and bytes, the decoder that read each archive (written
// to build/reports/rar-corpus.md), and a sandbox run of every file through
// DecodeRar and unpacking beside the output that must change nothing
// outside the job's folder, create no link and leave no temporary file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "dalvex/cconv.h"
#include "member_double.h"
#include "testsupport/peers.h"
#include "testsupport/testdata.h"
#include "unrar/unrar.h"
#include "vombril/vombril.h"

// libarchive asks for impossible allocations on some fuzzer-made archives and
// copes with the refusal; under AddressSanitizer the refusal must be a null
// answer as it is in a normal build, not an abort.
extern "C" __attribute__((used)) const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

namespace fs = std::filesystem;

struct Member {
  std::string name;
  unrar::Entry entry;
  int status = -1;  // of the data, for regular files
  std::string bytes;
};

struct Walk {
  int open = 0;
  int end = 0;
  unrar::Decoder decoder = unrar::Decoder::kNone;
  std::vector<Member> members;
};

std::string Slashes(std::string s) {
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

// The archive through the adapter alone: every entry, and each regular
// file's bytes.
Walk WalkArchive(const fs::path& path) {
  Walk walk;
  unrar::Archive archive;
  walk.open = archive.Open(path.string());
  walk.decoder = archive.decoder();
  if (walk.open != 0) return walk;
  std::string scratch = (testsupport::TempDir() / "member.bin").string();
  for (;;) {
    Member m;
    walk.end = archive.Next(&m.entry);
    if (walk.end != 0) break;
    m.name = Slashes(m.entry.name);
    if (m.entry.kind == unrar::Kind::kFile && !m.entry.encrypted) {
      int fd = open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      m.status = archive.ExtractTo(fd);
      close(fd);
      m.bytes = testsupport::ReadFile(scratch);
    } else {
      archive.Skip();
    }
    walk.members.push_back(std::move(m));
  }
  walk.decoder = archive.decoder();  // libunarr when it took over from libarchive
  unlink(scratch.c_str());
  return walk;
}

using testsupport::RunCommand;
using Command = testsupport::CommandResult;
constexpr size_t kOutputLimit = 64 << 20;  // more is no member of this corpus

std::string Bsdtar(const std::string& args, const fs::path& archive) {
  return "LC_ALL=C.UTF-8 timeout 20 bsdtar " + args + " " + testsupport::ShellQuote(archive.string()) + " 2>/dev/null";
}

// Regular-file lines of `bsdtar -tvf`: name and size.
std::vector<std::pair<std::string, uint64_t>> RegularFiles(const std::string& listing) {
  std::vector<std::pair<std::string, uint64_t>> files;
  std::istringstream lines(listing);
  std::string line;
  while (std::getline(lines, line)) {
    // "?": no file type in the entry's mode, which the reader takes as a file.
    if (line.empty() || (line[0] != '-' && line[0] != '?')) continue;
    if (line.find(" link to ") != std::string::npos) continue;  // a hard link
    std::istringstream fields(line);
    std::string mode, links, owner, group, month, day, time;
    uint64_t size = 0;
    fields >> mode >> links >> owner >> group >> size >> month >> day >> time;
    std::string name;
    std::getline(fields, name);
    if (!name.empty() && name[0] == ' ') name.erase(0, 1);  // the one separating blank
    files.emplace_back(name, size);
  }
  return files;
}

// The regular files of an .exp listing with their CRC-32, in order; file
// copies (no data, CRC 0) are left out.
std::vector<std::pair<std::string, uint32_t>> ExpectedCrcs(const fs::path& exp) {
  struct Block {
    bool file = false, empty = false, has_crc = false;
    std::string name;
    uint32_t crc = 0;
  };
  std::vector<Block> blocks;
  std::ifstream in(exp);
  std::string line;
  static const std::regex kCrc(R"(^  crc=0x([0-9a-f]+))");
  while (std::getline(in, line)) {
    std::smatch m;
    if (line.find("FILE:") != std::string::npos) {
      blocks.emplace_back();
      blocks.back().file = line.find("is=F--") != std::string::npos;
      blocks.back().empty = line.find("datlen=0 ") != std::string::npos;
    } else if (blocks.empty()) {
      continue;
    } else if (line.rfind("  name=", 0) == 0) {
      blocks.back().name = Slashes(line.substr(7));
    } else if (std::regex_search(line, m, kCrc)) {
      blocks.back().crc = static_cast<uint32_t>(std::stoul(m[1], nullptr, 16));
      blocks.back().has_crc = true;
    }
  }
  std::vector<std::pair<std::string, uint32_t>> crcs;
  for (const Block& b : blocks)
    if (b.file && b.has_crc && !(b.empty && b.crc == 0)) crcs.emplace_back(b.name, b.crc);
  return crcs;
}

uint32_t Crc32(const std::string& bytes) {
  return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                                     static_cast<uInt>(bytes.size())));
}

bool IsLaterVolume(const std::string& name) {
  static const std::regex kPart(R"(\.part0*([0-9]+)\.rar$)");
  std::smatch m;
  if (std::regex_search(name, m, kPart)) return m[1] != "1";
  return std::regex_search(name, std::regex(R"(\.r[0-9][0-9]$)"));
}

bool IsSplitPiece(const std::string& name) { return std::regex_search(name, std::regex(R"(_a[a-z]$)")); }

std::vector<std::string> IndexFiles(const fs::path& dir) {
  std::vector<std::string> files;
  for (testsupport::IndexRow& row : testsupport::ReadIndex(dir)) files.push_back(row["file"]);
  return files;
}

const char* DecoderName(unrar::Decoder d) {
  return d == unrar::Decoder::kLibarchive ? "libarchive" : d == unrar::Decoder::kLibunarr ? "libunarr" : "none";
}

TEST(VombrilCorpus, MembersMatchBsdtarAndListings) {
  TESTDATA_OR_SKIP(dir, "rar");
  // The engine converts the closing line breaks of the gathered texts.
  fs::copy(fs::path(std::getenv("PROJECT_BUILD_DIR")) / "etc", testsupport::TempDir() / "etc",
           fs::copy_options::recursive);
  ASSERT_EQ(startProcess(), 1);
  ASSERT_EQ(cconvLoadRule(), 1);
  fs::path reports = fs::path(std::getenv("PROJECT_BUILD_DIR")) / "reports";
  fs::create_directories(reports);
  std::ofstream report(reports / "rar-corpus.md");
  report << "| archive | decoder | open | walk end | files read / regular files | bsdtar -tvf | "
            "not delivered (from .exp or listing) |\n|---|---|---|---|---|---|---|\n";
  int compared_lists = 0, compared_texts = 0, compared_crcs = 0;
  for (const std::string& file : IndexFiles(dir)) {
    if (IsLaterVolume(file) || IsSplitPiece(file)) continue;
    SCOPED_TRACE(file);
    fs::path path = dir / file;
    Walk walk = WalkArchive(path);

    // Vombril gathers exactly the bytes the reader delivers, in order.
    std::string read;
    size_t regular = 0, ok = 0;
    std::vector<std::string> missing;
    for (const Member& m : walk.members) {
      if (m.entry.kind != unrar::Kind::kFile) continue;
      ++regular;
      if (m.status == 0) {
        ++ok;
        read += m.bytes;
      } else {
        missing.push_back(m.name + (m.entry.encrypted ? " (encrypted)" : ""));
      }
    }
    {
      vombril_test::MemberDouble port;
      ExtractOptionsV4 options{};
      std::strcpy(options.charset, "UTF-8");
      std::strcpy(options.language, "English");
      options.flags_b = 0x4D00;
      std::string out = (testsupport::TempDir() / "gathered.txt").string();
      GetTextWithErrCallback(path.c_str(), out.c_str(), &options, 0, nullptr);
      std::string gathered;
      for (const auto& call : port.calls) gathered += call.bytes;
      EXPECT_EQ(gathered.size(), read.size());
      EXPECT_TRUE(gathered == read);
      unlink(out.c_str());
    }

    // bsdtar reads one file: a volume set's first part alone is no comparison.
    bool volume_set = unrar::VolumeNames(path.string()).size() > 1;
    // bsdtar takes the zip stored inside this archive for the archive.
    bool misread = file.find("zip_in_rar") != std::string::npos;
    Command list = volume_set || misread ? Command{} : RunCommand(Bsdtar("-tvf", path), kOutputLimit);
    if (list.status == 0) {
      std::vector<std::pair<std::string, uint64_t>> ours;
      for (const Member& m : walk.members)
        if (m.entry.kind == unrar::Kind::kFile) ours.emplace_back(m.name, m.entry.size);
      auto theirs = RegularFiles(list.output);
      EXPECT_EQ(ours, theirs);
      ++compared_lists;
      // Each name through `bsdtar -xOf <archive> <name>`: every member of
      // that name, in order.
      std::map<std::string, std::string> by_name;
      for (const Member& m : walk.members)
        if (m.entry.kind == unrar::Kind::kFile && m.status == 0) by_name[m.name] += m.bytes;
      for (const auto& [name, bytes] : by_name) {
        Command text = RunCommand(Bsdtar("-xOf", path) + " " + testsupport::ShellQuote(name), kOutputLimit);
        if (text.status != 0) continue;
        EXPECT_TRUE(text.output == bytes) << "bytes of " << name << " differ from bsdtar -xOf";
        ++compared_texts;
      }
    }
    fs::path exp = dir / (file + ".exp");
    if (fs::exists(exp)) {
      // The k-th listed file of a name is the k-th member of that name.
      std::map<std::string, size_t> seen;
      for (const auto& [name, crc] : ExpectedCrcs(exp)) {
        bool found = false;
        size_t k = seen[name]++, n = 0;
        for (const Member& m : walk.members) {
          if (m.name != name || m.entry.kind != unrar::Kind::kFile || n++ != k) continue;
          if (m.status != 0) break;
          found = true;
          EXPECT_EQ(Crc32(m.bytes), crc) << name;
          ++compared_crcs;
          break;
        }
        bool listed = false;
        for (const std::string& n : missing) listed = listed || n.rfind(name, 0) == 0;
        if (!found && !listed) missing.push_back(name + " (listed in .exp)");
      }
    }
    std::string none;
    for (const std::string& n : missing) none += (none.empty() ? "" : ", ") + n;
    report << "| " << file << " | " << DecoderName(walk.decoder) << " | " << walk.open << " | "
           << (walk.end == unrar::kEnd ? "end" : std::to_string(walk.end)) << " | " << ok << " / " << regular
           << " | " << (volume_set ? "volume set" : misread ? "reads the inner zip" : list.status == 0 ? "ok" : "rc=" + std::to_string(list.status))
           << " | " << none << " |\n";
  }
  endProcess();
  RecordProperty("compared_lists", compared_lists);
  std::printf("rar corpus: %d listings, %d texts, %d CRCs compared\n", compared_lists, compared_texts,
              compared_crcs);
  EXPECT_GT(compared_lists, 50);
  EXPECT_GT(compared_crcs, 30);
}

// A snapshot of everything below `root` by lstat: type, size and target.
std::map<std::string, std::string> Snapshot(const fs::path& root, const fs::path& skip) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->path() == skip) {
      it.disable_recursion_pending();
      continue;
    }
    struct stat st {};
    lstat(it->path().c_str(), &st);
    tree[it->path().string()] = std::to_string(st.st_mode) + ":" + std::to_string(st.st_size) + ":" +
                                std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
  }
  return tree;
}

bool HasLink(const fs::path& root) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_symlink()) return true;
  return false;
}

TEST(VombrilCorpus, HostileArchivesStayInTheirFolder) {
  TESTDATA_OR_SKIP(dir, "rar");
  fs::path base = testsupport::TempDir();
  fs::path tmp = base / "tmp", job = base / "job";
  fs::create_directories(tmp);
  fs::create_directories(job);
  testsupport::ScopedEnv private_tmp("TMPDIR", tmp.c_str());
  auto before = Snapshot(base, job);
  auto data_before = Snapshot(dir, fs::path());
  for (const std::string& file : IndexFiles(dir)) {
    SCOPED_TRACE(file);
    fs::path path = dir / file;
    fs::path decode = job / "decode";
    fs::create_directories(decode);
    DecodeRar(path.c_str(), (decode.string() + "/").c_str(), "password");
    for (uint32_t flags_b : {0x100u, 0x900u, 0x1100u}) {
      ExtractOptionsV4 options{};
      std::strcpy(options.charset, "UTF-8");
      std::strcpy(options.language, "English");
      options.flags_b = flags_b;
      GetTextWithErrCallback(path.c_str(), (job / "out.txt").c_str(), &options, 0, nullptr);
    }
    EXPECT_FALSE(HasLink(job));
    EXPECT_TRUE(fs::is_empty(tmp));
    EXPECT_EQ(Snapshot(base, job), before);
    fs::remove_all(job);
    fs::create_directories(job);
  }
  EXPECT_EQ(Snapshot(dir, fs::path()), data_before);
}

}  // namespace
