// File streams: the open modes by the files they leave, paths, adopted
// FILEs, seeking and putting back, and a conversion facet on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <locale>
#include <string>
#include <vector>

#include "quarnel/file_stream.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;
using ObraCommon::ZelFileStreamBuf;
using ObraCommon::ZelIFileStream;
using ObraCommon::ZelOFileStream;

std::u16string U16(const fs::path& path) { return path.u16string(); }

std::string ReadAll(std::streambuf& buf) {
  std::string out;
  for (int c; (c = buf.sbumpc()) != EOF;) out.push_back(static_cast<char>(c));
  return out;
}

TEST(ZelFileStreamBuf, EveryOpenModeByTheFileItLeaves) {
  const std::ios::openmode in = std::ios::in, out = std::ios::out, app = std::ios::app, ate = std::ios::ate,
                           trunc = std::ios::trunc, binary = std::ios::binary;
  struct Row {
    std::ios::openmode mode;
    const char* letters;
    const char* read;  // what reading from the start gives
    const char* file;  // the file after writing "new"
  } rows[] = {
      {in, "r", "old", "old"},
      {in | binary, "r", "old", "old"},
      {out, "w", "", "new"},
      {out | trunc, "w", "", "new"},
      {out | app, "a", "", "oldnew"},
      {out | ate, "a", "", "oldnew"},
      {out | app | trunc, "w", "", "new"},
      {out | binary, "w", "", "new"},
      {in | out | trunc, "w+", "", "new"},
      {in | out, "a+", "old", "oldnew"},
      {in | out | app | binary, "a+", "old", "oldnew"},
      {binary, "", nullptr, "old"},
      {trunc | app, "", nullptr, "old"},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(n);
    fs::path file = testsupport::TempDir() / ("mode" + std::to_string(n++));
    ASSERT_TRUE(testsupport::WriteFile(file, "old"));
    EXPECT_EQ(ZelFileStreamBuf::modeString(row.mode), row.letters);
    ZelFileStreamBuf buf;
    ZelFileStreamBuf* opened = buf.open(U16(file).c_str(), static_cast<int>(row.mode));
    if (row.read == nullptr) {
      EXPECT_EQ(opened, nullptr);
      EXPECT_FALSE(buf.is_open());
    } else {
      ASSERT_EQ(opened, &buf);
      if (row.mode & in) {
        buf.pubseekpos(0);
        EXPECT_EQ(ReadAll(buf), row.read);
      }
      if (row.mode & out) {
        EXPECT_EQ(buf.sputn("new", 3), 3);
      }
      EXPECT_EQ(buf.close(), &buf);
    }
    EXPECT_EQ(testsupport::ReadFile(file), row.file);
  }
}

TEST(ZelFileStreamBuf, PathsAndRefusedOpens) {
  fs::path dir = testsupport::TempDir() / "a folder";
  fs::create_directories(dir);
  fs::path blank = dir / "two words.txt";
  fs::path wide = testsupport::TempDir() / u8"\u00e4\u20ac\U0001F600.txt";
  ASSERT_TRUE(testsupport::WriteFile(blank, "blank"));
  ASSERT_TRUE(testsupport::WriteFile(wide, "wide"));
  {
    ZelFileStreamBuf buf;
    ASSERT_NE(buf.open(U16(blank).c_str(), static_cast<int>(std::ios::in)), nullptr);
    // A second open fails and leaves the open file as it was.
    EXPECT_EQ(buf.open(U16(wide).c_str(), static_cast<int>(std::ios::out)), nullptr);
    EXPECT_EQ(ReadAll(buf), "blank");
  }
  {
    ZelFileStreamBuf buf;
    ASSERT_NE(buf.open(U16(wide).c_str(), static_cast<short>(std::ios::in)), nullptr);
    EXPECT_EQ(ReadAll(buf), "wide");
  }
  {
    ZelFileStreamBuf buf;
    ASSERT_NE(buf.open(wide.c_str(), static_cast<short>(std::ios::in)), nullptr);
    EXPECT_EQ(ReadAll(buf), "wide");
  }
  std::u16string unpaired = U16(testsupport::TempDir()) + u"/x\xD800y";
  for (const std::u16string& path : {unpaired, U16(dir), U16(testsupport::TempDir() / "missing")}) {
    ZelFileStreamBuf buf;
    EXPECT_EQ(buf.open(path.c_str(), static_cast<int>(std::ios::in)), nullptr);
  }
  ZelFileStreamBuf none;
  EXPECT_EQ(none.open(static_cast<const char16_t*>(nullptr), static_cast<int>(std::ios::in)), nullptr);
  EXPECT_EQ(none.close(), nullptr);
  EXPECT_EQ(none.pubsync(), 0);
  EXPECT_EQ(none.pubsetbuf(nullptr, 0), nullptr);
  EXPECT_EQ(none.pubseekoff(0, std::ios::beg), std::streampos(-1));
  EXPECT_EQ(none.sputc('x'), EOF);
  EXPECT_EQ(none.sgetc(), EOF);
}

TEST(ZelFileStreams, WrappersSetFailbitOnFailure) {
  fs::path file = testsupport::TempDir() / "wrapped";
  {
    ZelOFileStream out(U16(file).c_str(), static_cast<int>(std::ios::binary));
    ASSERT_TRUE(out.is_open());
    out << "line " << 42;
    out.open(U16(file).c_str(), static_cast<int>(std::ios::out));
    EXPECT_TRUE(out.fail());  // already open
  }
  EXPECT_EQ(testsupport::ReadFile(file), "line 42");
  ZelIFileStream in(U16(file).c_str(), 0);
  ASSERT_TRUE(in.is_open());
  std::string word;
  int number = 0;
  in >> word >> number;
  EXPECT_EQ(word, "line");
  EXPECT_EQ(number, 42);
  in.close();
  EXPECT_FALSE(in.fail());
  in.close();
  EXPECT_TRUE(in.fail());
  ZelIFileStream missing(U16(testsupport::TempDir() / "missing").c_str(), 0);
  EXPECT_TRUE(missing.fail());
  ZelOFileStream closed;
  closed.close();
  EXPECT_TRUE(closed.fail());
}

TEST(ZelFileStreamBuf, AdoptedFileKeepsOneOrderWithStdio) {
  fs::path file = testsupport::TempDir() / "adopted";
  FILE* f = fopen(file.c_str(), "w+");
  ASSERT_NE(f, nullptr);
  {
    ZelFileStreamBuf buf(f);
    std::ostream out(&buf);
    for (int i = 0; i < 100; ++i) {
      fputs("s", f);
      out << 'b' << i % 10;
      fputs("|", f);
    }
    out.flush();
    EXPECT_EQ(buf.pubseekoff(0, std::ios::beg), std::streampos(0));
    EXPECT_EQ(buf.sgetc(), 's');
    EXPECT_EQ(fgetc(f), 's');  // sgetc did not consume
    EXPECT_EQ(buf.sbumpc(), 'b');
    EXPECT_EQ(fgetc(f), '0');
  }
  // The destructor leaves an adopted file open.
  EXPECT_EQ(fseek(f, 0, SEEK_END), 0);
  EXPECT_EQ(ftell(f), 400);
  ZelFileStreamBuf closer(f);
  EXPECT_EQ(closer.close(), &closer);
  std::string expected;
  for (int i = 0; i < 100; ++i) expected += "sb" + std::to_string(i % 10) + "|";
  EXPECT_EQ(testsupport::ReadFile(file), expected);
}

TEST(ZelFileStreamBuf, SeeksPutBackBufferAndSync) {
  fs::path file = testsupport::TempDir() / "seek";
  ASSERT_TRUE(testsupport::WriteFile(file, "abcdefghij"));
  ZelFileStreamBuf buf;
  ASSERT_NE(buf.open(U16(file).c_str(), static_cast<int>(std::ios::in | std::ios::out)), nullptr);
  char storage[64];
  EXPECT_EQ(buf.pubsetbuf(storage, sizeof storage), &buf);
  struct Row {
    std::streamoff offset;
    std::ios::seekdir way;
    std::streamoff at;
    int next;
  } rows[] = {
      {3, std::ios::beg, 3, 'd'},
      {2, std::ios::cur, 6, 'g'},  // after the read of 'd'
      {-1, std::ios::end, 9, 'j'},
      {0, std::ios::end, 10, EOF},
      {-1, std::ios::beg, -1, EOF},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.at);
    EXPECT_EQ(std::streamoff(buf.pubseekoff(row.offset, row.way)), row.at);
    if (row.at >= 0) {
      EXPECT_EQ(buf.sbumpc(), row.next);
    }
  }
  EXPECT_EQ(std::streamoff(buf.pubseekpos(4)), 4);
  EXPECT_EQ(buf.sbumpc(), 'e');
  EXPECT_EQ(buf.sputbackc('e'), 'e');
  EXPECT_EQ(buf.sputbackc('X'), 'X');  // ungetc takes the given byte
  EXPECT_EQ(buf.sbumpc(), 'X');
  EXPECT_EQ(buf.sbumpc(), 'e');
  // The read-ahead holds the byte read last: stepping back without one
  // lands on it.
  EXPECT_EQ(buf.sungetc(), 'e');
  EXPECT_EQ(buf.sbumpc(), 'e');
  EXPECT_EQ(buf.pubsync(), 0);
}

// Swaps the case of ASCII letters each way, so that the conversion paths
// show in the file and in what is read.
class SwapCase : public std::codecvt<char, char, std::mbstate_t> {
 protected:
  static char Swap(char c) {
    if (std::islower(static_cast<unsigned char>(c))) return static_cast<char>(std::toupper(c));
    if (std::isupper(static_cast<unsigned char>(c))) return static_cast<char>(std::tolower(c));
    return c;
  }
  result Copy(const char* from, const char* from_end, const char*& from_next, char* to, char* to_end,
              char*& to_next) const {
    while (from < from_end && to < to_end) *to++ = Swap(*from++);
    from_next = from;
    to_next = to;
    return from == from_end ? ok : partial;
  }
  result do_out(std::mbstate_t&, const char* from, const char* from_end, const char*& from_next, char* to,
                char* to_end, char*& to_next) const override {
    return Copy(from, from_end, from_next, to, to_end, to_next);
  }
  result do_in(std::mbstate_t&, const char* from, const char* from_end, const char*& from_next, char* to,
               char* to_end, char*& to_next) const override {
    return Copy(from, from_end, from_next, to, to_end, to_next);
  }
  bool do_always_noconv() const noexcept override { return false; }
  int do_encoding() const noexcept override { return 1; }
  int do_max_length() const noexcept override { return 1; }
};

TEST(ZelFileStreamBuf, ConversionFacetOnEveryPath) {
  fs::path file = testsupport::TempDir() / "swapped";
  std::locale swapping(std::locale::classic(), new SwapCase);
  {
    ZelFileStreamBuf buf;
    buf.pubimbue(swapping);
    ASSERT_NE(buf.open(U16(file).c_str(), static_cast<int>(std::ios::out)), nullptr);
    std::ostream out(&buf);
    out << "Hello, World";
    EXPECT_EQ(buf.sputn("abc", 3), 3);
  }
  EXPECT_EQ(testsupport::ReadFile(file), "hELLO, wORLDABC");
  ZelFileStreamBuf buf;
  ASSERT_NE(buf.open(U16(file).c_str(), static_cast<int>(std::ios::in)), nullptr);
  buf.pubimbue(swapping);
  EXPECT_EQ(buf.sgetc(), 'H');
  EXPECT_EQ(buf.sbumpc(), 'H');
  EXPECT_EQ(buf.sbumpc(), 'e');
  EXPECT_EQ(buf.sputbackc('e'), 'e');
  EXPECT_EQ(buf.sbumpc(), 'e');
  EXPECT_EQ(std::streamoff(buf.pubseekoff(0, std::ios::cur)), 2);
  std::streampos mark = buf.pubseekoff(7, std::ios::beg);
  char word[5] = {};
  EXPECT_EQ(buf.sgetn(word, 5), 5);
  EXPECT_EQ(std::string(word, 5), "World");
  EXPECT_EQ(buf.pubseekpos(mark), mark);
  EXPECT_EQ(buf.sbumpc(), 'W');
  // Without the facet the bytes come as stored.
  buf.pubimbue(std::locale::classic());
  EXPECT_EQ(buf.sbumpc(), 'O');
}

}  // namespace

namespace {

// Bytes that tell their own position.
std::string Numbered(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return s;
}

}  // namespace

// A file the buffer opened itself is read ahead in large pieces: reads of
// every size, putting back, telling and writing all stay at the stream's
// own position, also where a piece of the read-ahead ends.
TEST(ZelFileStreamBuf, ReadAheadKeepsTheStreamPosition) {
  fs::path file = testsupport::TempDir() / "ahead";
  const std::string data = Numbered(300000);
  constexpr long kPiece = 65536;  // the read-ahead's piece
  struct Step {
    char op;   // b sbumpc, g sgetn, p put back a new byte, u put back the byte read, s sync, t tell,
               // w write, k seek from the current, j seek to a position
    long n;    // bytes, or the seek's offset or position
  };
  const struct Row {
    const char* name;
    std::vector<Step> steps;
  } rows[] = {
      {"single bytes over a piece end", {{'b', kPiece + 3}, {'t', 0}}},
      {"pieces of every size", {{'g', 1}, {'g', 7}, {'g', 4096}, {'g', 70000}, {'g', kPiece}, {'b', 5}, {'g', 100000}}},
      {"putting back at a piece's start", {{'b', kPiece}, {'p', 0}, {'b', 2}, {'t', 0}}},
      {"putting back mid-piece", {{'b', 10}, {'p', 0}, {'g', 20}}},
      {"sync and tell leave the position", {{'b', 5}, {'s', 0}, {'t', 0}, {'b', 1}, {'t', 0}, {'g', 9}}},
      {"seeking from the current position", {{'b', 100}, {'k', -50}, {'b', 1}, {'k', kPiece}, {'g', 3}}},
      {"writing after reading", {{'b', 10}, {'w', 2}, {'g', 5}, {'t', 0}}},
      {"to the end and past it", {{'g', 299990}, {'g', 20}, {'b', 1}, {'t', 0}}},
      {"putting back after a large read", {{'b', 10}, {'g', kPiece - 10}, {'g', 100000}, {'u', 0}, {'u', 0}, {'b', 3}}},
      {"seeking about inside a piece",
       {{'b', 100}, {'j', 30}, {'b', 5}, {'j', 5000}, {'t', 0}, {'j', kPiece}, {'b', 2}, {'j', 10}, {'g', 70000},
        {'k', -3}, {'b', 1}, {'u', 0}, {'g', 4}}},
      {"seeking to a piece's end and past it", {{'g', 10}, {'j', kPiece}, {'b', 1}, {'j', kPiece + 40000}, {'j', 70}, {'b', 1}}},
      {"writing after a seek inside a piece", {{'b', 100}, {'j', 20}, {'w', 2}, {'g', 5}, {'t', 0}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(testsupport::WriteFile(file, data));
    std::string model = data;  // the file as the steps leave it
    long at = 0;
    {
      ZelFileStreamBuf buf;
      ASSERT_NE(buf.open(U16(file).c_str(), static_cast<int>(std::ios::in | std::ios::out | std::ios::binary)),
                nullptr);
      for (const Step& step : row.steps) {
        switch (step.op) {
          case 'b':
            for (long i = 0; i < step.n; ++i, ++at) {
              ASSERT_EQ(buf.sbumpc(), at < long(model.size()) ? static_cast<unsigned char>(model[at]) : EOF);
            }
            at = std::min<long>(at, long(model.size()));
            break;
          case 'g': {
            std::string got(static_cast<size_t>(step.n), '\0');
            const long n = long(buf.sgetn(got.data(), step.n));
            ASSERT_EQ(n, std::min<long>(step.n, long(model.size()) - at));
            EXPECT_EQ(got.substr(0, size_t(n)), model.substr(size_t(at), size_t(n)));
            at += n;
            break;
          }
          case 'p':
            // A byte other than the one read: it is read next, once.
            ASSERT_EQ(buf.sputbackc('#'), '#');
            ASSERT_EQ(buf.sbumpc(), '#');
            break;
          case 'u':
            ASSERT_EQ(buf.sungetc(), static_cast<unsigned char>(model[size_t(at - 1)]));
            --at;
            break;
          case 's': ASSERT_EQ(buf.pubsync(), 0); break;
          case 't': EXPECT_EQ(long(buf.pubseekoff(0, std::ios::cur)), at); break;
          case 'k':
            at += step.n;
            ASSERT_EQ(long(buf.pubseekoff(step.n, std::ios::cur)), at);
            break;
          case 'j':
            at = step.n;
            ASSERT_EQ(long(buf.pubseekpos(at)), at);
            break;
          case 'w':
            // The mode appends: the bytes go to the end, reading goes on
            // where it was.
            ASSERT_EQ(buf.sputn("XY", 2), 2);
            ASSERT_EQ(buf.pubsync(), 0);
            model += "XY";
            ASSERT_EQ(long(buf.pubseekoff(at, std::ios::beg)), at);
            break;
        }
      }
    }
    EXPECT_EQ(testsupport::ReadFile(file), model);
  }
}

// With trunc the mode writes in place: a write lands at the stream's
// position, not where the read-ahead left the FILE.
TEST(ZelFileStreamBuf, WriteAfterReadLandsAtTheStreamPosition) {
  fs::path file = testsupport::TempDir() / "inplace";
  const std::string data = Numbered(100000);
  ZelFileStreamBuf buf;
  ASSERT_NE(buf.open(U16(file).c_str(), static_cast<int>(std::ios::in | std::ios::out | std::ios::trunc)), nullptr);
  ASSERT_EQ(buf.sputn(data.data(), long(data.size())), long(data.size()));
  ASSERT_EQ(long(buf.pubseekpos(0)), 0);
  std::string head(10, '\0');
  ASSERT_EQ(buf.sgetn(head.data(), 10), 10);
  ASSERT_EQ(buf.sputc('X'), 'X');
  EXPECT_EQ(buf.sputn("YZ", 2), 2);
  ASSERT_EQ(buf.pubsync(), 0);  // stdio reads after writes only past a flush
  ASSERT_EQ(buf.sbumpc(), static_cast<unsigned char>(data[13]));
  ASSERT_NE(buf.close(), nullptr);
  std::string expected = data;
  expected.replace(10, 3, "XYZ");
  EXPECT_EQ(testsupport::ReadFile(file), expected);
}
