// The memory stream: its edge cases, a differential run against a model
// over std::string, ownership of sources, memory held by a forward reader,
// and OpenType checksums of real fonts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "mem_stream_model.h"
#include "quarnel/mem_stream.h"

namespace {

namespace fs = std::filesystem;
using ObraCommon::ZelMemStream;

std::string Pattern(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + (i * 7 + i / 13) % 26));
  return s;
}

std::string Contents(ZelMemStream& stream) {
  std::string s;
  stream.appendToString(s);
  return s;
}

TEST(ZelMemStream, EdgeCases) {
  struct Case {
    const char* name;
    void (*run)();
  } cases[] = {
      {"empty", [] {
         ZelMemStream s;
         EXPECT_EQ(s.length(), 0u);
         EXPECT_TRUE(s.isEmpty());
         EXPECT_EQ(s.calcOTFTableChecksum(), 0u);
         EXPECT_EQ(s.get(), EOF);
       }},
      {"source of 20,000 bytes", [] {
         std::istringstream in(Pattern(20000));
         ZelMemStream s(&in);
         EXPECT_EQ(s.length(), 20000u);
         EXPECT_TRUE(s.seekg(20000).good());
         EXPECT_EQ(s.get(), EOF);
         s.clear();
         EXPECT_TRUE(s.seekg(20001).fail());
         s.clear();
         EXPECT_EQ(std::streamoff(s.tellg()), 20000);
       }},
      {"grow-bytes fixed after the first write and after remove", [] {
         ZelMemStream s(nullptr, 0);
         EXPECT_EQ(s.rdbuf()->getGrowBytes(), 8192u);
         s.setGrowBytes(16);
         EXPECT_EQ(s.rdbuf()->getGrowBytes(), 16u);
         s.put('x');
         s.setGrowBytes(32);
         EXPECT_EQ(s.rdbuf()->getGrowBytes(), 16u);
         s.remove();
         s.setGrowBytes(32);
         EXPECT_EQ(s.rdbuf()->getGrowBytes(), 16u);
         EXPECT_TRUE(s.empty());
       }},
      {"forward reader without keeping memory steps back over a block start", [] {
         std::istringstream in(Pattern(100));
         ZelMemStream s(&in, 8);
         s.setKeepMemory(false);
         char buf[16];
         s.read(buf, 16);  // the get area ends at the end of the second block
         EXPECT_EQ(s.get(), Pattern(100)[16]);
         EXPECT_TRUE(s.putback(Pattern(100)[16]).good());
         EXPECT_TRUE(s.putback('?').good());  // onto the previous block's final byte
         EXPECT_EQ(s.get(), Pattern(100)[15]);
         s.seekg(8);
         EXPECT_TRUE(s.unget().fail());  // no byte given at a block start
       }},
      {"remove and erase clear a failed state", [] {
         ZelMemStream s;
         s.writeStr("abc");
         s.seekg(10);
         EXPECT_TRUE(s.fail());
         s.erase();
         EXPECT_TRUE(s.good());
         EXPECT_EQ(s.length(), 0u);
         s += std::string("de");
         s.append(std::string());
         EXPECT_EQ(Contents(s), "de");
       }},
      {"copy holds the data and both positions", [] {
         ZelMemStream s(nullptr, 4);
         s.writeStr("0123456789");
         s.seekg(3);
         s.seekp(6);
         ZelMemStream copy(s);
         EXPECT_EQ(Contents(copy), "0123456789");
         EXPECT_EQ(copy.get(), '3');
         copy.put('x');
         EXPECT_EQ(Contents(copy), "012345x789");
         EXPECT_EQ(s.get(), '3');
         EXPECT_EQ(copy.rdbuf()->getGrowBytes(), 4u);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.run();
  }
}

// 10,000 random sequences of operations on a stream and on the model.
TEST(ZelMemStream, AgreesWithAModel) {
  std::mt19937 random(20261209);
  for (unsigned grow : {7u, 8u, 64u}) {
    for (int i = 0; i < 3334; ++i) {
      std::vector<uint8_t> bytes(40 + random() % 200);
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
      memmodel::Choices choices(bytes.data(), bytes.size());
      std::string why = memmodel::Run(choices, grow);
      ASSERT_EQ(why, "") << "grow " << grow << " sequence " << i;
    }
  }
}

TEST(ZelMemStream, SourcesAreDeletedOnceWhenOwnedAndNeverOtherwise) {
  int alive = 0;
  memmodel::CountedSource kept("kept", &alive);
  {
    ZelMemStream s(new memmodel::CountedSource("first", &alive), 4, true);
    s.setSource(new memmodel::CountedSource("second", &alive), true);
    s.setSource(&kept, false);
    s.setSource(new memmodel::CountedSource("never read", &alive), true);
    EXPECT_EQ(alive, 4);
    char buf[3];
    s.read(buf, 3);
    EXPECT_EQ(alive, 4);
    s.read(buf, 3);  // "first" used up
    EXPECT_EQ(alive, 3);
  }
  EXPECT_EQ(alive, 1);
  {
    ZelMemStream s(new memmodel::CountedSource("abc", &alive), 8, true);
    s.remove();
    EXPECT_EQ(alive, 1);
  }
}

TEST(ZelMemStream, ForwardReaderWithoutKeepingMemoryHoldsTwoBlocks) {
  const std::string data = Pattern(1 << 20);
  std::istringstream in(data);
  ZelMemStream s(&in, 8192);
  s.setKeepMemory(false);
  std::string read;
  char buf[1000];
  size_t most = 0;
  while (s.read(buf, sizeof buf), s.gcount() > 0) {
    read.append(buf, static_cast<size_t>(s.gcount()));
    // Positions count from the first block held: a reader that kept every
    // block would be at block 127 by the end.
    if (s.good()) most = std::max<size_t>(most, static_cast<size_t>(std::streamoff(s.tellg())) / 8192);
  }
  EXPECT_EQ(read, data);
  EXPECT_LE(most, 2u);
}

uint32_t Be32(const std::string& s, size_t at) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(s[at])) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8) |
         static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3]));
}

// Each table's checksum as the font's own table directory gives it.
TEST(ZelMemStream, OpenTypeChecksumsOfInstalledFonts) {
  const fs::path dir = "/usr/share/fonts/truetype/dejavu";
  std::vector<fs::path> fonts;
  if (fs::is_directory(dir)) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() == ".ttf") fonts.push_back(entry.path());
    }
  }
  if (fonts.empty()) GTEST_SKIP() << "no .ttf font in " << dir << " (package fonts-dejavu-core)";
  for (const fs::path& font : fonts) {
    SCOPED_TRACE(font.string());
    std::ifstream file(font, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GE(bytes.size(), 12u);
    const unsigned tables = (static_cast<unsigned char>(bytes[4]) << 8) | static_cast<unsigned char>(bytes[5]);
    ASSERT_GT(tables, 0u);
    for (unsigned t = 0; t < tables; ++t) {
      const size_t record = 12 + 16 * t;
      ASSERT_LE(record + 16, bytes.size());
      const std::string tag = bytes.substr(record, 4);
      const uint32_t checksum = Be32(bytes, record + 4), offset = Be32(bytes, record + 8),
                     length = Be32(bytes, record + 12);
      ASSERT_LE(static_cast<size_t>(offset) + length, bytes.size()) << tag;
      std::string table = bytes.substr(offset, length);
      if (tag == "head") table.replace(8, 4, 4, '\0');  // the whole font's adjustment
      for (unsigned grow : {8192u, 7u}) {
        ZelMemStream s(nullptr, grow);
        s.write(table.data(), static_cast<std::streamsize>(table.size()));
        EXPECT_EQ(s.calcOTFTableChecksum(), checksum) << tag << " grow " << grow;
      }
    }
  }
}

}  // namespace
