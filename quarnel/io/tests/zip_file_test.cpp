// The zip package reader: self-made packages for each way a package can be
// laid out or damaged, packages written by python3's zipfile, and every zip
// of the shared detect/ data compared entry by entry with zipfile.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "quarnel/zip_file.h"
#include "support.h"
#include "testsupport/sha256.h"
#include "testsupport/testdata.h"
#include "testsupport/zip_writer.h"

namespace {

namespace fs = std::filesystem;
using ObraCommon::ZelZipFile;
using ObraCommon::ZelZipFileEntry;
using quarnel_test::Utf8;
using testsupport::ZipEntrySpec;
using D = ZipEntrySpec::Descriptor;

struct Got {
  std::string bytes;
  bool bad;
};

Got Drain(std::istream* in) {
  Got g{"", true};
  if (in == nullptr) return g;
  char c;
  while (in->get(c)) g.bytes.push_back(c);
  g.bad = in->bad();
  return g;
}

std::string Text(size_t n, int seed) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + (i * seed + i / 5) % 26));
  return s;
}

struct Expect {
  std::string name;  // UTF-8
  std::string bytes;
  bool bad;
};

// Reads every entry through a new stream and twice through the cached one;
// all three must agree.
std::vector<Expect> ReadPackage(ZelZipFile& zip) {
  std::vector<Expect> out;
  for (unsigned i = 0; i < zip.getFileEntryCount(); ++i) {
    ZelZipFileEntry* e = zip.getFileEntry(i);
    std::unique_ptr<std::istream> fresh(e->getUncompressedStream(true));
    Got a = Drain(fresh.get());
    Got b = Drain(e->getUncompressedStream(false));
    Got c = Drain(e->getUncompressedStream(false));
    EXPECT_EQ(a.bytes, b.bytes) << Utf8(e->getFileName());
    EXPECT_EQ(b.bytes, c.bytes);
    EXPECT_EQ(a.bad, b.bad);
    EXPECT_EQ(b.bad, c.bad);
    // Other methods are handed out as stored.
    auto method = e->getCompressionMethod();
    if (method == ZelZipFileEntry::STORED || method == ZelZipFileEntry::DEFLATED) {
      EXPECT_LE(a.bytes.size(), e->getUncompressedSize());
    }
    out.push_back({Utf8(e->getFileName()), a.bytes, a.bad});
  }
  return out;
}

std::vector<Expect> ReadBytes(const std::string& bytes) {
  auto* in = new std::istringstream(bytes);
  ZelZipFile zip(in, true);
  return ReadPackage(zip);
}

void ExpectListing(const std::vector<Expect>& got, const std::vector<Expect>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(want[i].name);
    EXPECT_EQ(got[i].name, want[i].name);
    EXPECT_EQ(got[i].bytes, want[i].bytes);
    EXPECT_EQ(got[i].bad, want[i].bad);
  }
}

ZipEntrySpec Spec(const std::string& name, const std::string& data) {
  ZipEntrySpec s;
  s.name = name;
  s.data = data;
  return s;
}

const std::string kA = Text(5000, 3), kB = Text(70000, 7), kC = "small";

struct PackageCase {
  const char* name;
  std::vector<ZipEntrySpec> entries;
  bool central;
  size_t cut;  // bytes taken off the end
  std::vector<Expect> expected;
};

std::vector<PackageCase> PackageCases() {
  ZipEntrySpec a = Spec("a.txt", kA), b = Spec("dir/b.xml", kB), c = Spec("c", kC);
  b.deflate = true;
  auto with = [](ZipEntrySpec s, auto change) {
    change(s);
    return s;
  };
  return {
      {"stored_and_deflated", {a, b, c}, true, 0, {{"a.txt", kA, false}, {"dir/b.xml", kB, false}, {"c", kC, false}}},
      {"signed_descriptors",
       {with(a, [](auto& s) { s.descriptor = D::Signed; }), with(b, [](auto& s) { s.descriptor = D::Signed; }), c},
       true, 0, {{"a.txt", kA, false}, {"dir/b.xml", kB, false}, {"c", kC, false}}},
      {"unsigned_descriptors",
       {with(b, [](auto& s) { s.descriptor = D::Unsigned; }), with(c, [](auto& s) { s.descriptor = D::Unsigned; })},
       true, 0, {{"dir/b.xml", kB, false}, {"c", kC, false}}},
      {"descriptor_without_directory", {with(b, [](auto& s) { s.descriptor = D::Signed; }), c}, false, 0,
       {{"dir/b.xml", "", true}}},
      {"sizes_known_and_descriptor",
       {with(b, [](auto& s) { s.descriptor = D::Signed; s.localCompressed = static_cast<uint32_t>(testsupport::RawDeflate(kB).size()); }), c},
       false, 0, {{"dir/b.xml", kB, false}, {"c", kC, false}}},
      {"zip64", {with(a, [](auto& s) { s.zip64 = true; }), with(b, [](auto& s) { s.zip64 = true; })}, true, 0,
       {{"a.txt", kA, false}, {"dir/b.xml", kB, false}}},
      {"zip64_descriptors", {with(b, [](auto& s) { s.zip64 = true; s.descriptor = D::Signed; }), c}, true, 0,
       {{"dir/b.xml", kB, false}, {"c", kC, false}}},
      {"names", {with(c, [](auto& s) { s.name = "größe/\xC3\xA4.txt"; s.utf8 = true; }),
                 with(c, [](auto& s) { s.name = "\x81\x82.txt"; }),
                 with(c, [](auto& s) { s.name = "../x\\y"; })},
       true, 0, {{"größe/ä.txt", kC, false}, {"\xC3\xBC\xC3\xA9.txt", kC, false}, {"../x\\y", kC, false}}},
      {"wrong_crc", {with(a, [](auto& s) { s.wrongCrc = true; }), with(b, [](auto& s) { s.wrongCrc = true; })}, true, 0,
       {{"a.txt", kA, true}, {"dir/b.xml", kB, true}}},
      {"size_past_the_end", {with(c, [](auto& s) { s.localCompressed = 0xFFFFFF00u; })}, false, 0, {{"c", "", true}}},
      // Sizes past 32 bits: listed as damaged, and the entries after it stay.
      {"zip64_entry_too_large", {c, with(b, [](auto& s) { s.zip64 = true; s.declaredSize = 4500000000u; }), a}, true, 0,
       {{"c", kC, false}, {"dir/b.xml", "", true}, {"a.txt", kA, false}}},
      {"zip64_size_never_given", {with(c, [](auto& s) { s.localCompressed = 0xFFFFFFFFu; })}, false, 0,
       {{"c", "", true}}},
      {"cut", {c, b}, false, 100, {{"c", kC, false}, {"dir/b.xml", "", true}}},
      {"more_than_declared", {with(b, [](auto& s) { s.declaredSize = 60000; })}, true, 0,
       {{"dir/b.xml", kB.substr(0, 60000), true}}},
      // Encrypted data: no CRC to compare, but the size still bounds it.
      {"encrypted_more_than_declared", {with(b, [](auto& s) { s.extraFlags = 1; s.declaredSize = 60000; })}, true, 0,
       {{"dir/b.xml", kB.substr(0, 60000), true}}},
      {"encrypted_crc_unknown", {with(b, [](auto& s) { s.extraFlags = 1; s.wrongCrc = true; })}, true, 0,
       {{"dir/b.xml", kB, false}}},
      {"stored_more_than_declared", {with(a, [](auto& s) { s.declaredSize = 0; })}, true, 0, {{"a.txt", "", true}}},
      {"less_than_declared", {with(b, [](auto& s) { s.declaredSize = 80000; })}, true, 0,
       {{"dir/b.xml", kB, true}}},
      // The directory claims the first entry's data runs over the second:
      // it is refused and the walk's list stands.
      {"overlapping_directory",
       {with(c, [](auto& s) { s.descriptor = D::Signed; s.localCompressed = 5; s.centralCompressed = 200; }), a},
       true, 0, {{"c", kC, false}, {"a.txt", kA, false}}},
      {"same_name_twice", {c, with(a, [](auto& s) { s.name = "c"; })}, true, 0, {{"c", kC, false}, {"c", kA, false}}},
  };
}

TEST(ZipFile, SelfMadePackages) {
  for (const PackageCase& pc : PackageCases()) {
    SCOPED_TRACE(pc.name);
    testsupport::ZipWriter w;
    for (const auto& e : pc.entries) w.add(e);
    std::string bytes = w.finish(pc.central);
    bytes.resize(bytes.size() - pc.cut);
    ExpectListing(ReadBytes(bytes), pc.expected);
  }
}

// The resident size the process has peaked at since the last reset, in
// bytes; 0 where the kernel does not tell.
uint64_t PeakResident() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
  return 0;
}

// An entry of 1 GiB of zeros, about a megabyte deflated, is inflated in
// blocks: the peak resident size grows by far less than the entry.
TEST(ZipFile, LargeEntryReadInBoundedMemory) {
  ZipEntrySpec e = Spec("zeros.bin", "");
  e.zeros = uint64_t(1) << 30;
  testsupport::ZipWriter w;
  w.add(e);
  w.add(Spec("after", kC));
  ZelZipFile zip(new std::istringstream(w.finish()), true);
  ASSERT_EQ(zip.getFileEntryCount(), 2u);
  ASSERT_LT(zip.getFileEntry(0)->getCompressedSize(), 4u << 20);
  // Writing 5 to clear_refs starts the peak over from the present size.
  if (!(std::ofstream("/proc/self/clear_refs") << "5") || PeakResident() == 0) GTEST_SKIP() << "no peak size";
  const uint64_t before = PeakResident();
  for (bool fresh : {false, true}) {
    std::unique_ptr<std::istream> owned;
    std::istream* in = zip.getFileEntry(0)->getUncompressedStream(fresh);
    if (fresh) owned.reset(in);
    ASSERT_NE(in, nullptr);
    std::vector<char> block(1 << 16), nothing(1 << 16);
    uint64_t total = 0;
    bool zeros = true;
    while (in->read(block.data(), static_cast<std::streamsize>(block.size())) || in->gcount() > 0) {
      const auto n = static_cast<size_t>(in->gcount());
      zeros = zeros && std::memcmp(block.data(), nothing.data(), n) == 0;
      total += n;
    }
    EXPECT_FALSE(in->bad());
    EXPECT_TRUE(zeros);
    EXPECT_EQ(total, e.zeros);
  }
  EXPECT_LT(PeakResident() - before, uint64_t(64) << 20);
}

// A new stream reads on after its package is gone, over a source the
// package owned or one the caller keeps; a stored entry seeked past its
// middle still has its whole CRC-32 checked at the end.
TEST(ZipFile, NewStreamsOutliveThePackage) {
  testsupport::ZipWriter w;
  ZipEntrySpec deflated = Spec("d", kB), stored = Spec("s", kB), damaged = Spec("bad", kB);
  deflated.deflate = true;
  damaged.wrongCrc = true;
  for (const auto& e : {deflated, stored, damaged}) w.add(e);
  const std::string bytes = w.finish();
  for (bool owned : {true, false}) {
    SCOPED_TRACE(owned ? "owned source" : "caller's source");
    std::istringstream callers(bytes);
    std::vector<std::unique_ptr<std::istream>> streams;
    {
      ZelZipFile zip(owned ? new std::istringstream(bytes) : &callers, owned);
      for (unsigned i = 0; i < 3; ++i) streams.emplace_back(zip.getFileEntry(i)->getUncompressedStream(true));
    }
    if (!owned) callers.str("");  // the caller's bytes are gone too
    EXPECT_EQ(Drain(streams[0].get()).bytes, kB);
    streams[1]->seekg(60000);
    Got rest = Drain(streams[1].get());
    EXPECT_EQ(rest.bytes, kB.substr(60000));
    EXPECT_FALSE(rest.bad);
    streams[2]->seekg(60000);
    rest = Drain(streams[2].get());
    EXPECT_EQ(rest.bytes, kB.substr(60000));
    EXPECT_TRUE(rest.bad);
  }
}

TEST(ZipFile, LookupsAndSignatures) {
  testsupport::ZipWriter w;
  w.add(Spec("word/document.xml", kC));
  w.add(Spec("x", kA));
  w.add(Spec("x", kC));
  std::istringstream in(w.finish());
  EXPECT_TRUE(ZelZipFile::isZipFile(&in));
  EXPECT_EQ(in.tellg(), 0);
  ZelZipFile zip(&in, false);
  EXPECT_EQ(zip.getFileEntry(u"Word/Document.xml"), nullptr);
  ASSERT_NE(zip.getFileEntry(u"word/document.xml"), nullptr);
  EXPECT_EQ(Drain(zip.getFileEntry(u"x")->getCompressedStream(false)).bytes, kC);  // the later one
  EXPECT_EQ(zip.getFileEntry(3), nullptr);
  EXPECT_EQ(zip.getFileEntry(1)->getCompressionMethod(), ZelZipFileEntry::STORED);
  EXPECT_TRUE(zip.getFileEntry(0)->isA(ObraCommon::ZelZipEntry::getStaticTypeID()));
  ZelZipFile copy(zip);
  EXPECT_EQ(copy.getFileEntry(0), zip.getFileEntry(0));

  struct Row {
    std::string bytes;
    bool zip;
  } rows[] = {{"", false}, {"PK\x05\x06" + std::string(18, '\0'), true}, {"PK\x01\x02", true}, {"PK\x03", false}};
  for (const Row& r : rows) {
    std::istringstream s(r.bytes);
    EXPECT_EQ(ZelZipFile::isZipFile(&s), r.zip);
    ZelZipFile z(&s, false);
    EXPECT_EQ(z.getFileEntryCount(), 0u);
  }
  EXPECT_FALSE(ZelZipFile::isZipFile("/nonexistent/file.zip"));
  EXPECT_EQ(ZelZipFile("/nonexistent/file.zip").getFileEntryCount(), 0u);
}

// Lists each package as zipfile reads it: per entry the hex of its UTF-8
// name (bytes that are not UTF-8 read as CP437), its size and the SHA-256 of
// its bytes, or "-" and the reason when zipfile cannot read it.
const char* kDumpScript = R"(
import sys, zipfile, hashlib
for path in sys.argv[1:]:
    print("FILE\t" + path)
    try:
        z = zipfile.ZipFile(path)
        infos = z.infolist()
    except Exception as e:
        print("FAIL\t" + type(e).__name__)
        continue
    for i in infos:
        raw = i.filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')
        try:
            name = raw.decode('utf-8')
        except UnicodeDecodeError:
            name = raw.decode('cp437')
        try:
            digest = hashlib.sha256(z.read(i)).hexdigest()
        except Exception as e:
            digest = "-" + type(e).__name__
        print("%s\t%d\t%s" % (name.encode('utf-8').hex(), i.file_size, digest))
)";

struct Listed {
  std::string name, size, digest;
};

std::map<std::string, std::vector<Listed>> ZipfileDump(const std::vector<fs::path>& files) {
  fs::path script = fs::temp_directory_path() / "zipdump.py";
  std::ofstream(script) << kDumpScript;
  std::string cmd = "python3 '" + script.string() + "'";
  for (const auto& f : files) cmd += " '" + f.string() + "'";
  std::istringstream lines(quarnel_test::CommandOutput(cmd));
  std::map<std::string, std::vector<Listed>> out;
  std::string line, current;
  while (std::getline(lines, line)) {
    std::vector<std::string> cols;
    std::istringstream fields(line);
    for (std::string col; std::getline(fields, col, '\t');) cols.push_back(col);
    if (cols.size() == 2 && cols[0] == "FILE") {
      current = fs::path(cols[1]).filename().string();
      out[current];
    } else if (cols.size() == 2) {
      out[current].push_back({"", "", "-" + cols[1]});
    } else if (cols.size() == 3) {
      std::string name;
      for (size_t i = 0; i + 1 < cols[0].size(); i += 2) name.push_back(static_cast<char>(std::stoi(cols[0].substr(i, 2), nullptr, 16)));
      out[current].push_back({name, cols[1], cols[2]});
    }
  }
  return out;
}

TEST(ZipFile, PackagesThatZipfileWrote) {
  fs::path dir = fs::temp_directory_path() / "zipfile-packages";
  fs::create_directories(dir);
  // Written to an unseekable stream (sizes in data descriptors) and with
  // zip64 records forced.
  std::string script =
      "import zipfile, sys\n"
      "class Pipe:\n"
      "    def __init__(s, f): s.f = f\n"
      "    def write(s, b): return s.f.write(b)\n"
      "    def flush(s): s.f.flush()\n"
      "data = [('a/%d.txt' % i, (b'line %d of text\\n' % i) * (i * 300 + 1)) for i in range(6)]\n"
      "with open(sys.argv[1], 'wb') as f:\n"
      "    with zipfile.ZipFile(Pipe(f), 'w', zipfile.ZIP_DEFLATED) as z:\n"
      "        for n, d in data: z.writestr(n, d)\n"
      "with zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED) as z:\n"
      "    for n, d in data:\n"
      "        with z.open(n, 'w', force_zip64=True) as e: e.write(d)\n";
  std::ofstream(dir / "make.py") << script;
  fs::path streamed = dir / "streamed.zip", forced = dir / "zip64.zip";
  quarnel_test::CommandOutput("python3 '" + (dir / "make.py").string() + "' '" + streamed.string() + "' '" + forced.string() + "'");
  auto dump = ZipfileDump({streamed, forced});
  for (const fs::path& p : {streamed, forced}) {
    SCOPED_TRACE(p.filename().string());
    ZelZipFile zip(p.c_str());
    const auto& want = dump[p.filename().string()];
    ASSERT_EQ(want.size(), 6u);
    auto got = ReadPackage(zip);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].name, want[i].name);
      EXPECT_EQ(testsupport::Sha256Hex(got[i].bytes), want[i].digest);
      EXPECT_FALSE(got[i].bad);
    }
  }
  fs::remove_all(dir);
}

// What zipfile cannot read, and why.
const std::map<std::string, std::string> kZipfileCannot = {
    {"tika-testZip_with_DataDescriptor.zip",
     "its central directory disagrees with its local headers (unzip and bsdtar refuse it too)"},
    {"tika-testZipEncrypted.zip:encrypted.txt", "AES-encrypted"},
};

TEST(ZipFileCorpus, EveryPackageAsZipfileReadsIt) {
  TESTDATA_OR_SKIP(data, "detect");
  std::vector<fs::path> files;
  for (const auto& it : fs::directory_iterator(data)) {
    std::ifstream in(it.path(), std::ios::binary);
    char head[4] = {};
    if (in.read(head, 4) && std::string(head, 4) == "PK\x03\x04") files.push_back(it.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  auto dump = ZipfileDump(files);
  for (const fs::path& p : files) {
    std::string file = p.filename().string();
    SCOPED_TRACE(file);
    ZelZipFile zip(p.c_str());
    auto got = ReadPackage(zip);
    const auto& want = dump[file];
    if (kZipfileCannot.count(file) != 0) {
      // The walk reads it whole, every checksum matching.
      EXPECT_FALSE(got.empty());
      for (const auto& g : got) EXPECT_FALSE(g.bad) << g.name;
      continue;
    }
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
      SCOPED_TRACE(want[i].name);
      EXPECT_EQ(got[i].name, want[i].name);
      EXPECT_EQ(std::to_string(zip.getFileEntry(static_cast<unsigned>(i))->getUncompressedSize()), want[i].size);
      if (want[i].digest[0] == '-') {
        EXPECT_EQ(kZipfileCannot.count(file + ":" + want[i].name), 1u) << want[i].digest;
        continue;
      }
      EXPECT_EQ(testsupport::Sha256Hex(got[i].bytes), want[i].digest);
      EXPECT_FALSE(got[i].bad);
    }
  }
}

}  // namespace
