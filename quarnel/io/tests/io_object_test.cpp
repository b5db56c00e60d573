// The I/O objects: mode letters, opening files and descriptors, the
// MacBinary shift, and objects over input streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "quarnel/io_object.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;
using ObraCommon::MekFileIOobj;
using ObraCommon::MekIOobj;
using ObraCommon::MekStreamIOobj;

std::string Digits(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + i % 10));
  return s;
}

TEST(MekFileIOobj, ModeLettersSetTheFlags) {
  struct Row {
    const char* mode;
    uint32_t flags;
  } rows[] = {
      {nullptr, 0},
      {"r", 0},
      {"rb", MekIOobj::kBinary},
      {"w", MekIOobj::kWritable},
      {"wb", MekIOobj::kWritable | MekIOobj::kBinary},
      {"wbt", MekIOobj::kWritable},
      {"wr", 0},
      {"r+b", MekIOobj::kBinary},
      {"xyz", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode == nullptr ? "null" : row.mode);
    MekFileIOobj file("unused", row.mode);
    EXPECT_EQ(file.GetFlags(), row.flags);
    MekFileIOobj adopted(-1, row.mode);
    EXPECT_EQ(adopted.GetFlags(), row.flags);
  }
}

TEST(MekFileIOobj, OpensFilesButNoDirectoryForReading) {
  fs::path dir = testsupport::TempDir() / "folder";
  fs::create_directories(dir);
  fs::path file = testsupport::TempDir() / "ten";
  ASSERT_TRUE(testsupport::WriteFile(file, "0123456789"));
  MekFileIOobj folder(dir.c_str(), "rb");
  EXPECT_FALSE(folder.Open());
  EXPECT_FALSE(folder.IsOpened());
  MekFileIOobj missing((testsupport::TempDir() / "none").c_str(), "rb");
  EXPECT_FALSE(missing.Open());

  MekFileIOobj reader(file.c_str(), "rb");
  ASSERT_TRUE(reader.Open());
  EXPECT_EQ(reader.GetSize(), 10);
  char buf[16] = {};
  EXPECT_EQ(reader.Read(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(reader.Tell(), 4);
  EXPECT_TRUE(reader.Seek(-2, 2));
  EXPECT_EQ(reader.Read(buf, 16), 2);
  EXPECT_EQ(reader.Read(buf, 16), 0);
  EXPECT_EQ(reader.Write("x", 1), -1);  // read-only descriptor
  EXPECT_EQ(reader.Read(buf, -1), -1);
  EXPECT_TRUE(reader.Close());
  EXPECT_FALSE(reader.IsOpened());
  EXPECT_TRUE(reader.Open());  // a path opens again
}

TEST(MekFileIOobj, WritableOpenedTwiceNeitherReopensNorTruncates) {
  fs::path file = testsupport::TempDir() / "kept";
  ASSERT_TRUE(testsupport::WriteFile(file, "existing"));
  MekFileIOobj writer(file.c_str(), "w");
  ASSERT_TRUE(writer.Open());
  EXPECT_EQ(writer.GetSize(), 0);  // not measured when writable
  EXPECT_EQ(writer.Write("E", 1), 1);
  ASSERT_TRUE(writer.Open());
  EXPECT_EQ(writer.Write("X", 1), 1);  // same descriptor, same position
  writer.Close();
  EXPECT_EQ(testsupport::ReadFile(file), "EXisting");
}

TEST(MekFileIOobj, MacBinaryShiftsAbsolutePositionsOnly) {
  fs::path file = testsupport::TempDir() / "mac";
  ASSERT_TRUE(testsupport::WriteFile(file, Digits(300)));
  struct Row {
    long offset;
    int whence;
    long tell;      // reported position
    char next;      // byte read there
  } rows[] = {
      {0, 0, 0, '8'},     // byte 128
      {10, 0, 10, '8'},   // byte 138
      {10, 1, 21, '9'},   // from 11 (after the read of the row before)
      {-1, 2, 171, '9'},  // byte 299
  };
  MekFileIOobj mac(file.c_str(), "rb");
  ASSERT_TRUE(mac.Open());
  mac.SetMACBinary();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.offset);
    ASSERT_TRUE(mac.Seek(row.offset, row.whence));
    EXPECT_EQ(mac.Tell(), row.tell);
    char c = 0;
    EXPECT_EQ(mac.Read(&c, 1), 1);
    EXPECT_EQ(c, row.next);
  }
  EXPECT_FALSE(mac.Seek(0, 7));
}

// An adopted descriptor is closed by Close and then forgotten: its number
// may already belong to another file.
TEST(MekFileIOobj, AdoptedDescriptorIsNotReopenedAfterClose) {
  fs::path first = testsupport::TempDir() / "first";
  fs::path second = testsupport::TempDir() / "second";
  ASSERT_TRUE(testsupport::WriteFile(first, "first"));
  ASSERT_TRUE(testsupport::WriteFile(second, "second"));
  int fd = ::open(first.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  MekFileIOobj adopted(fd, "rb");
  ASSERT_TRUE(adopted.Open());
  EXPECT_EQ(adopted.GetSize(), 5);
  ASSERT_TRUE(adopted.Close());
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
  int reused = ::open(second.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reused, 0);
  EXPECT_FALSE(adopted.Open());
  char buf[8];
  EXPECT_EQ(adopted.Read(buf, 8), -1);
  EXPECT_EQ(::read(reused, buf, 8), 6);  // the other file was not touched
  ::close(reused);
}

TEST(MekFileIOobj, SizeOfTwoGibibytesOrMoreIsUnknown) {
  fs::path file = testsupport::TempDir() / "sparse";
  {
    int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 3LL << 30), 0);
    ::close(fd);
  }
  MekFileIOobj big(file.c_str(), "rb");
  ASSERT_TRUE(big.Open());
  EXPECT_EQ(big.GetSize(), -1);
  EXPECT_TRUE(big.Seek(0, 2));
  EXPECT_EQ(big.Tell(), 3L << 30);
}

TEST(MekStreamIOobj, ReadsSeeksAndReadsAgainAfterTheEnd) {
  std::istringstream in(Digits(1000));
  MekStreamIOobj source(&in);
  EXPECT_TRUE(source.IsBinary());
  ASSERT_TRUE(source.Open());
  EXPECT_EQ(source.GetSize(), 1000);
  EXPECT_EQ(source.Tell(), 0);
  std::string buf(2000, '\0');
  EXPECT_EQ(source.Read(buf.data(), 2000), 1000);
  EXPECT_EQ(source.Read(buf.data(), 10), 0);
  EXPECT_EQ(source.Write("x", 1), -1);
  EXPECT_EQ(source.Tell(), -1);  // the stream failed at its end
  // A read that reached the end does not stop the next seek.
  EXPECT_TRUE(source.Seek(0, 0));
  EXPECT_EQ(source.Read(buf.data(), 10), 10);
  EXPECT_EQ(buf.substr(0, 10), "0123456789");
  EXPECT_TRUE(source.Seek(-5, 2));
  EXPECT_EQ(source.Tell(), 995);
  EXPECT_TRUE(source.Seek(2, 1));
  EXPECT_EQ(source.Tell(), 997);
  EXPECT_TRUE(source.Close());
  EXPECT_TRUE(source.IsOpened());
}

TEST(MekStreamIOobj, FailedOrBadStreams) {
  std::istringstream failed("abc");
  failed.setstate(std::ios::failbit);
  MekStreamIOobj a(&failed);
  EXPECT_TRUE(a.Open());
  EXPECT_EQ(a.GetSize(), -1);
  std::istringstream bad("abc");
  bad.setstate(std::ios::badbit);
  MekStreamIOobj b(&bad);
  b.Open();
  EXPECT_FALSE(b.Seek(0, 0));  // badbit stays
  EXPECT_EQ(b.Tell(), -1);
}

}  // namespace
