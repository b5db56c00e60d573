// File streams: the open modes by the files they leave, paths, adopted
// FILEs, seeking and putting back, and a conversion facet on every path.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <locale>
#include <string>

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
  EXPECT_EQ(buf.sungetc(), EOF);  // nothing to step back onto without a byte
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
