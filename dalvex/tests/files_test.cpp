// Files, byte-order files and big-endian memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "dalvex/portability.h"
#include "testsupport/testdata.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

}  // namespace

TEST(ByteOrder, PlainAndSwappedReads) {
  std::string path = (TempDir() / "words.bin").string();
  ASSERT_TRUE(WriteFile(path, Bytes({0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x01, 0x02, 0x03, 0x04})));

  KVB_FileHandle plain = KVB_FileOpen(path.c_str(), "rb");
  unsigned char b[4] = {};
  ASSERT_EQ(KVB_FileGetWord(plain, b), 1);
  EXPECT_EQ(b[0], 0x12);
  EXPECT_EQ(b[1], 0x34);
  KVB_FileClose(plain);

  KVB_XFile* big = KVB_X_FileOpen(path.c_str(), "rb", 0);
  KVB_XFile* little = KVB_X_FileOpen(path.c_str(), "rb", 1);
  ASSERT_TRUE(big && little);
  uint16_t word = 0;
  ASSERT_EQ(KVB_X_FileGetWord(big, &word), 1);
  EXPECT_EQ(word, 0x1234);
  ASSERT_EQ(KVB_X_FileGetWord(little, b), 1);
  EXPECT_EQ(b[0], 0x12);
  EXPECT_EQ(b[1], 0x34);
  KVB_X_FileSeek(big, 6, SEEK_SET);
  uint32_t dword = 0;
  ASSERT_EQ(KVB_X_FileGetDWord(big, &dword), 1);
  EXPECT_EQ(dword, 0x01020304u);
  EXPECT_EQ(KVB_X_FileGetDWord(big, &dword), 0);  // end of file
  KVB_X_FileClose(big);
  KVB_X_FileClose(little);
  EXPECT_EQ(KVB_X_FileOpen((TempDir() / "missing").c_str(), "rb", 0), nullptr);
}

TEST(ByteOrder, WritesInTheFileOrder) {
  std::string path_big = (TempDir() / "big.bin").string();
  std::string path_little = (TempDir() / "little.bin").string();
  KVB_XFile* big = KVB_X_FileOpen(path_big.c_str(), "wb", 0);
  KVB_XFile* little = KVB_X_FileOpen(path_little.c_str(), "wb", 1);
  ASSERT_TRUE(big && little);
  EXPECT_EQ(KVB_X_FilePutDWord(big, 0x11223344), 1);
  EXPECT_EQ(KVB_X_FilePutWord(big, 0xABCD), 1);
  EXPECT_EQ(KVB_X_FilePutDWord(little, 0x11223344), 1);
  EXPECT_EQ(KVB_X_FilePutWord(little, 0xABCD), 1);
  KVB_X_FileClose(big);
  KVB_X_FileClose(little);
  EXPECT_EQ(ReadFile(path_big), Bytes({0x11, 0x22, 0x33, 0x44, 0xAB, 0xCD}));
  EXPECT_EQ(ReadFile(path_little), Bytes({0x44, 0x33, 0x22, 0x11, 0xCD, 0xAB}));

  std::string path = (TempDir() / "plain.bin").string();
  KVB_FileHandle f = KVB_FileOpen(path.c_str(), "wb");
  KVB_FilePutByte(f, 0x1FF);
  KVB_FilePutWord(f, 0x10203);
  KVB_FilePutDWord(f, 0x04050607);
  KVB_FileClose(f);
  EXPECT_EQ(ReadFile(path), Bytes({0xFF, 0x03, 0x02, 0x07, 0x06, 0x05, 0x04}));
}

TEST(ByteOrder, BigEndianMemory) {
  unsigned char b[4] = {0x01, 0x02, 0x03, 0x04};
  EXPECT_EQ(KVB_GetDW_x(b), 16909060u);
  EXPECT_EQ(KVB_GetW_x(b), 0x0102);
  EXPECT_EQ(KVB_PutW_x(b, 0xBEEF), 0xEFBE);
  EXPECT_EQ(b[0], 0xBE);
  EXPECT_EQ(b[1], 0xEF);
  EXPECT_EQ(KVB_PutDW_x(b, 0xA1B2C3D4), 0xD4C3B2A1u);
  EXPECT_EQ(KVB_GetDW_x(b), 0xA1B2C3D4u);
}

TEST(Files, SizeKeepsThePositionAndRefusesWhatDoesNotFit) {
  std::string path = (TempDir() / "ten.bin").string();
  ASSERT_TRUE(WriteFile(path, "0123456789"));
  KVB_FileHandle f = KVB_FileOpen(path.c_str(), "rb");
  KVB_FileSeek(f, 3, SEEK_SET);
  EXPECT_EQ(KVB_FileTellSize(f), 10);
  EXPECT_EQ(KVB_FileTell(f), 3);
  KVB_FileClose(f);
  EXPECT_EQ(KVB_GetFileSizeByPath(path.c_str()), 10);
  EXPECT_EQ(KVB_GetFileSizeByPath((TempDir() / "missing").c_str()), -1);

  // A sparse 3 GiB file: its size does not fit the 32-bit interface.
  std::string huge = (TempDir() / "huge.bin").string();
  int fd = open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 3LL << 30), 0);
  close(fd);
  f = KVB_FileOpen(huge.c_str(), "rb");
  EXPECT_EQ(KVB_FileTellSize(f), -1);
  EXPECT_EQ(KVB_FileTell(f), 0);
  KVB_FileClose(f);
  EXPECT_EQ(KVB_GetFileSizeByPath(huge.c_str()), -1);
}

TEST(Files, WidePathsAreUtf16) {
  std::string path = (TempDir() / "\xE6\x97\xA5.txt").string();
  ASSERT_TRUE(WriteFile(path, "x"));
  std::u16string wide = (TempDir().u16string()) + u"/\u65e5.txt";
  KVB_FileHandle f = KVB_FileWOpen(wide.c_str(), u"rb");
  ASSERT_NE(f, nullptr);
  KVB_FileClose(f);
  std::u16string broken = wide;
  broken.back() = char16_t(0xD800);
  EXPECT_EQ(KVB_FileWOpen(broken.c_str(), u"rb"), nullptr);
  EXPECT_EQ(KVB_FileWOpen(nullptr, u"rb"), nullptr);
}

TEST(Memory, BlocksAndFixedValues) {
  EXPECT_EQ(KVB_free(nullptr), nullptr);
  void* block = KVB_calloc(4, 8);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(static_cast<char*>(block)[31], 0);
  block = KVB_realloc(block, 64);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(KVB_free(block), block);

  char dst[40];
  std::memset(dst, 'z', sizeof dst);
  EXPECT_EQ(KVB_GetResouceString(3, dst, 33), 1);
  EXPECT_STREQ(dst, "WINDOWS31J");
  EXPECT_EQ(KVB_GetResouceString(5, dst, 33), 0);
  EXPECT_EQ(KVB_GetResouceString(-1, dst, 33), 0);
  // A short buffer still gets a terminated text.
  EXPECT_EQ(KVB_GetResouceString(2, dst, 5), 1);
  EXPECT_STREQ(dst, "ISO-");
  std::memset(dst, 'z', sizeof dst);
  EXPECT_EQ(KVB_GetResouceString(0, dst, 0), 0);
  EXPECT_EQ(dst[0], 'z');

  int value = 7;
  EXPECT_EQ(KVB_GetResouceInteger(1, &value), 1);
  EXPECT_EQ(value, 0);
  value = 7;
  EXPECT_EQ(KVB_GetResouceInteger(2, &value), 0);
  EXPECT_EQ(value, 7);
}
