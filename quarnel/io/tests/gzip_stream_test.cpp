// Gzip streams against Debian's gzip: fixtures are made at test time, read
// in file mode and in stream mode, and compared with `gzip -dc`; damaged
// copies give a prefix of the data, then badbit. Output is checked with
// `gzip -t` and read back with `gzip -dc`.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "quarnel/gzip_stream.h"
#include "support.h"
#include "testsupport/testdata.h"
#include "testsupport/zip_writer.h"

namespace {

namespace fs = std::filesystem;
using ObraCommon::ZelGzipOStream;
using ObraCommon::ZelGzipStream;

std::string Text(size_t n, unsigned seed = 1) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>("the quick brown fox "[(i * seed + i / 7) % 20]));
  return s;
}

struct Read {
  std::string bytes;
  bool bad = false;
};

Read ReadAll(std::istream& in) {
  Read r;
  char c;
  while (in.get(c)) r.bytes.push_back(c);
  r.bad = in.bad();
  return r;
}

Read ReadFileMode(const fs::path& p) {
  ZelGzipStream in(p.c_str());
  return ReadAll(in);
}

Read ReadStreamMode(const std::string& bytes) {
  std::istringstream source(bytes);
  ZelGzipStream in(source);
  return ReadAll(in);
}

fs::path Scratch() {
  fs::path dir = fs::temp_directory_path() / ("gz-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                              "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::create_directories(dir);
  return dir;
}

std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// A gzip member written by hand, for header fields gzip itself never writes.
std::string Member(const std::string& data, int flags, const std::string& extra = "") {
  std::string deflated = testsupport::RawDeflate(data);
  std::string h = {'\x1f', '\x8b', '\x08', static_cast<char>(flags), 0, 0, 0, 0, 0, 3};
  if (flags & 4) h += std::string{static_cast<char>(extra.size()), 0} + extra;
  if (flags & 8) h += std::string("name.txt") + '\0';
  if (flags & 16) h += std::string("a comment") + '\0';
  if (flags & 2) {
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(h.data()), static_cast<uInt>(h.size()));
    h += std::string{static_cast<char>(crc & 0xFF), static_cast<char>((crc >> 8) & 0xFF)};
  }
  auto le32 = [](uLong v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
  };
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
  return h + deflated + le32(crc) + le32(static_cast<uLong>(data.size()));
}

struct GzipCase {
  const char* name;
  size_t size;
  const char* options;  // gzip's
  const char* damage;   // a shell filter over the .gz file, or ""
};

const GzipCase kGzipCases[] = {
    {"empty", 0, "", ""},
    {"page_less_one", 4095, "-n", ""},
    {"page", 4096, "-1", ""},
    {"page_more_one", 4097, "-9", ""},
    {"large", 100000, "", ""},
    {"two_members", 5000, "cat", ""},
    {"cut_trailer", 100000, "", "head -c -8"},
    {"cut_header", 100000, "", "head -c 20"},
    {"crc_flipped", 4097, "", "crc"},
    {"size_flipped", 4097, "", "isize"},
    {"second_member_cut", 5000, "cat", "head -c -3"},
};

TEST(GzipRead, BothModesGiveWhatGzipGives) {
  fs::path dir = Scratch();
  for (const GzipCase& c : kGzipCases) {
    SCOPED_TRACE(c.name);
    std::string data = Text(c.size);
    fs::path plain = dir / c.name;
    fs::path gz = dir / (std::string(c.name) + ".gz");
    testsupport::WriteFile(plain, data);
    std::string made;
    if (std::string(c.options) == "cat") {
      testsupport::WriteFile(dir / "half2", Text(c.size, 3));
      data += Text(c.size, 3);
      made = quarnel_test::CommandOutput("gzip -c " + Quoted(plain) + "; gzip -c " + Quoted(dir / "half2"));
    } else {
      made = quarnel_test::CommandOutput("gzip -c " + std::string(c.options) + " " + Quoted(plain));
    }
    std::string damage = c.damage;
    if (damage == "crc") {
      made[made.size() - 8] ^= 1;
    } else if (damage == "isize") {
      made[made.size() - 2] ^= 1;
    } else if (!damage.empty()) {
      testsupport::WriteFile(gz, made);
      made = quarnel_test::CommandOutput(damage + " " + Quoted(gz));
    }
    testsupport::WriteFile(gz, made);
    std::string expected;
    bool broken = !quarnel_test::RunCommand("gzip -dc " + Quoted(gz) + " 2>/dev/null", expected);
    EXPECT_EQ(broken, !damage.empty());
    for (const Read& r : {ReadFileMode(gz), ReadStreamMode(made)}) {
      EXPECT_EQ(r.bad, broken);
      if (broken) {
        EXPECT_LE(r.bytes.size(), data.size());
        EXPECT_EQ(r.bytes, data.substr(0, r.bytes.size()));
      } else {
        EXPECT_EQ(r.bytes, expected);
        EXPECT_EQ(r.bytes, data);
      }
    }
  }
  fs::remove_all(dir);
}

TEST(GzipRead, StreamModeHeadersAndPassThrough) {
  const std::string data = Text(3000);
  struct Row {
    const char* name;
    std::string bytes;
    std::string expected;
    bool bad;
  } rows[] = {
      {"extra", Member(data, 4, "XYZW"), data, false},
      {"name_comment", Member(data, 8 | 16), data, false},
      {"header_crc", Member(data, 2 | 4 | 8 | 16, "ab"), data, false},
      {"header_crc_wrong", [&] { auto m = Member(data, 2); m[10] ^= 1; return m; }(), "", true},
      {"method_7", "\x1f\x8b\x07\x00rest of it", "\x1f\x8b\x07\x00rest of it", false},
      {"reserved_flag", "\x1f\x8b\x08\x20rest", "\x1f\x8b\x08\x20rest", false},
      {"plain_text", "plain text", "plain text", false},
      {"empty", "", "", false},
      {"one_byte", "x", "x", false},
      {"magic_only", "\x1f\x8b", "\x1f\x8b", false},
      {"magic_and_method", "\x1f\x8b\x08", "\x1f\x8b\x08", false},
      {"header_cut", std::string("\x1f\x8b\x08\x00\x00", 5), "", true},
      {"two_members", Member("a", 0) + Member("b", 8), "ab", false},
      {"trailing_bytes_end_the_data", Member("a", 0) + "junk", "a", false},
      {"bad_second_header", Member("a", 0) + "\x1f\x8b\x09\x00", "a", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Read r = ReadStreamMode(row.bytes);
    EXPECT_EQ(r.bytes, row.expected);
    EXPECT_EQ(r.bad, row.bad);
  }
}

TEST(GzipRead, TenBytesGoBackAcrossARefill) {
  const std::string data = Text(70000);
  std::istringstream source(Member(data, 0));
  ZelGzipStream in(source);
  std::string got(65536, '\0');
  in.read(got.data(), 65536);
  ASSERT_EQ(in.get(), static_cast<unsigned char>(data[65536]));  // the refill
  for (int i = 0; i < 11; ++i) ASSERT_TRUE(in.unget()) << i;
  EXPECT_EQ(in.get(), static_cast<unsigned char>(data[65526]));
  EXPECT_FALSE(in.unget().unget().good());  // no more room
}

TEST(GzipRead, UnopenableFilesAreNotOpen) {
  fs::path dir = Scratch();
  EXPECT_FALSE(ZelGzipStream((dir / "missing").c_str()).is_open());
  EXPECT_FALSE(ZelGzipStream(dir.c_str()).is_open());
  ZelGzipStream in(icu::UnicodeString::fromUTF8((dir / "missing").string()));
  EXPECT_EQ(in.get(), EOF);
  fs::remove_all(dir);
}

TEST(GzipWrite, GzipReadsWhatWasWritten) {
  fs::path dir = Scratch();
  for (size_t size : {size_t{0}, size_t{1}, size_t{10000}, size_t{1} << 20}) {
    for (int flushes : {0, 3}) {
      SCOPED_TRACE(std::to_string(size) + " bytes, flushes " + std::to_string(flushes));
      std::string data = Text(size, 5);
      fs::path gz = dir / "out.gz";
      {
        ZelGzipOStream out(icu::UnicodeString::fromUTF8(gz.string()));
        ASSERT_TRUE(out.good());
        size_t step = flushes == 0 ? data.size() + 1 : data.size() / flushes + 1;
        for (size_t at = 0; at < data.size(); at += step) {
          out.write(data.data() + at, static_cast<std::streamsize>(std::min(step, data.size() - at)));
          if (flushes != 0) out.flush();
        }
        EXPECT_TRUE(out.good());
      }
      std::string ignored;
      EXPECT_TRUE(quarnel_test::RunCommand("gzip -t " + Quoted(gz), ignored));
      EXPECT_EQ(quarnel_test::CommandOutput("gzip -dc " + Quoted(gz)), data);
      std::ostringstream sink;
      { ZelGzipOStream out(sink); out << data; if (flushes) out.flush(); out << data; }
      EXPECT_EQ(ReadStreamMode(sink.str()).bytes, data + data);
    }
  }
  fs::remove_all(dir);
}

TEST(GzipWrite, FailuresShowInTheStream) {
  ZelGzipOStream missing(icu::UnicodeString(u"/nonexistent-folder/x.gz"));
  EXPECT_TRUE(missing.fail());
  if (fs::exists("/dev/full")) {
    ZelGzipOStream full(icu::UnicodeString(u"/dev/full"));
    EXPECT_TRUE(full.good());
    full << Text(1 << 20, 11);
    full.flush();
    EXPECT_TRUE(full.bad());
  }
  std::ostringstream sink;
  ObraCommon::ZelGzipOStreamBuf buf(sink);
  EXPECT_NE(buf.overflow(EOF), EOF);
}

// Files other tools wrote.
TEST(GzipCorpus, BothModesEqualGzip) {
  std::vector<fs::path> files;
  if (auto dir = testsupport::TestDataDir("detect", nullptr)) files.push_back(*dir / "tika-multiple.gz");
  for (const char* root : {"/usr/share/doc", "/usr/share/man"}) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; it != end && files.size() < 200; it.increment(ec)) {
      if (ec) break;
      if (it->is_regular_file(ec) && it->path().extension() == ".gz") files.push_back(it->path());
    }
  }
  if (files.empty()) GTEST_SKIP() << "no gzip files under /usr/share and no test data";
  for (const fs::path& p : files) {
    SCOPED_TRACE(p.string());
    std::string expected = quarnel_test::CommandOutput("gzip -dc " + Quoted(p));
    Read file = ReadFileMode(p);
    Read stream = ReadStreamMode(testsupport::ReadFile(p));
    EXPECT_FALSE(file.bad);
    EXPECT_FALSE(stream.bad);
    EXPECT_EQ(file.bytes, expected);
    EXPECT_EQ(stream.bytes, expected);
  }
}

}  // namespace
