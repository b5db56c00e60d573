// The detector's entry: what it refuses at once, the two input modes, the
// wrappers around a data part, the record fill and concurrent calls.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <future>
#include <thread>

#include "detect.h"
#include "fixtures.h"
#include "probelin/ordinal_table.h"
#include "testsupport/symbols.h"
#include "testsupport/testdata.h"

namespace {

using namespace probelin_test;
using testsupport::CompoundFileWriter;

const std::string kPdf14 = Padded("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n", 700);

TEST(DtctEntry, RefusesAtOnceWhatIsNotARegularFile) {
  EXPECT_EQ(KVB_FileDtct(nullptr), -1);
  FileDtctRecord record{};
  EXPECT_EQ(KVB_FileDtct(&record), -1) << "no input";

  std::string folder = (testsupport::TempDir() / "folder").string();
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  std::string fifo = (testsupport::TempDir() / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string missing = (testsupport::TempDir() / "missing.doc").string();
  for (const std::string& path : {folder, fifo, missing}) {
    SCOPED_TRACE(path);
    // A FIFO without a writer would block an ordinary open for ever.
    auto answer = std::async(std::launch::async, [&] { return DetectPath(path).result; });
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(answer.get(), -1);
  }
  DtctInput input{};
  record.input = &input;
  EXPECT_EQ(KVB_FileDtct(&record), -1) << "null path";
}

TEST(DtctEntry, FilesOfTwoGibibytesAreRefused) {
  for (off_t size : {off_t{1} << 31, (off_t{1} << 31) + 4096}) {
    std::string path = (testsupport::TempDir() / "big.pdf").string();
    int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, kPdf14.data(), kPdf14.size(), 0), ssize_t(kPdf14.size()));
    ASSERT_EQ(ftruncate(fd, size), 0);  // sparse: nothing is written past the head
    close(fd);
    EXPECT_EQ(DetectPath(path).result, -1) << size;
    std::filesystem::remove(path);
  }
  Detection small = DetectBytes(kPdf14, "small.pdf");
  EXPECT_EQ(small.result, 1);
  EXPECT_EQ(small.record.format_id, 200);
}

// Mode 1 reads the storage's "Contents" stream (else "CONTENTS"); other
// modes read nothing.
TEST(DtctEntry, StorageModeReadsTheContentsStream) {
  for (const char* name : {"Contents", "CONTENTS"}) {
    SCOPED_TRACE(name);
    std::string path = WriteTemp("storage.cfb", Cfb({{name, kPdf14}}));
    KVB_OleStorage* root = KVB_2OLEopen(path.c_str());
    ASSERT_NE(root, nullptr);
    DtctInput input{};
    input.storage = root;
    input.mode = kDtctModeStorage;
    FileDtctRecord record{};
    record.input = &input;
    EXPECT_EQ(KVB_FileDtct(&record), 1);
    EXPECT_EQ(record.format_id, 200);
    EXPECT_EQ(record.sub, 4);
    EXPECT_STREQ(record.name, "PDF1.4");
    EXPECT_EQ(input.stream, nullptr) << "the data stream is closed again";
    EXPECT_EQ(KVB_2OLEclose(root), 1) << "nothing left open on the caller's storage";
  }
  std::string path = WriteTemp("odd-mode.pdf", kPdf14);
  for (int32_t mode : {7, -1}) {
    DtctInput input{};
    input.path = path.c_str();
    input.mode = mode;
    FileDtctRecord record{};
    record.input = &input;
    EXPECT_EQ(KVB_FileDtct(&record), -1) << mode;
  }
}

// A MacBinary header: 128 bytes, the name, the fork lengths at 83 and 87.
std::string MacBinary(const std::string& data, uint32_t resource_length, uint32_t data_length) {
  std::string h(128, '\0');
  h[1] = 5;
  std::memcpy(&h[2], "Draw1", 5);
  std::string lengths = Be32(data_length) + Be32(resource_length);
  std::memcpy(&h[83], lengths.data(), 8);
  return h + data + std::string(resource_length < 4096 ? resource_length : 0, 'r');
}

TEST(DtctWrappers, MacBinaryDrawingIsReadThroughATemporaryFile) {
  std::string drawing = Cfb({{"VisioDocument", VisioHeader(11)}});
  Detection d = DetectBytes(MacBinary(drawing, 300, uint32_t(drawing.size())), "drawing.bin");
  EXPECT_EQ(d.result, 26);
  EXPECT_EQ(d.record.format_id, 378);
  EXPECT_STREQ(d.record.name, "Visio 2003/2007");
  EXPECT_EQ(d.record.wrapper_kind, kDtctWrapperMacBinary);
  EXPECT_EQ(d.record.data_offset, 128);
  EXPECT_EQ(d.record.data_length, int32_t(drawing.size()));
  EXPECT_EQ(d.record.second_offset, int32_t(drawing.size() + 128));
  EXPECT_EQ(d.record.second_length, 300);
  EXPECT_STREQ(d.record.temp_name, "");
  EXPECT_TRUE(TempEntries().empty()) << TempEntries().front();

  // A data fork that is no compound file: still 26, nothing left behind.
  Detection other = DetectBytes(MacBinary(std::string(2000, 'z'), 0, 2000), "other.bin");
  EXPECT_EQ(other.result, 26);
  EXPECT_EQ(other.record.wrapper_kind, 0) << "the record is filled only for a found format";
  EXPECT_TRUE(TempEntries().empty());
}

// Fork lengths whose sum overflows 32 bits, or a data fork longer than the
// file, are no MacBinary header: nothing is copied.
TEST(DtctWrappers, MacBinaryLengthsAreCheckedIn64Bits) {
  std::string drawing = Cfb({{"VisioDocument", VisioHeader(6)}});
  struct Case {
    uint32_t data_length, resource_length;
  } cases[] = {{0x00FFFFF0, 0x7FFFFFF0}, {uint32_t(drawing.size() + 64), 0}, {0x00FFFFFF, 0x7FFFFFFF}};
  for (const Case& c : cases) {
    std::string file = MacBinary(drawing, 0, c.data_length);
    std::string lengths = Be32(c.resource_length);
    std::memcpy(&file[87], lengths.data(), 4);
    Detection d = DetectBytes(file, "hostile.bin");
    EXPECT_NE(d.result, 26) << c.data_length << " " << c.resource_length;
    EXPECT_TRUE(TempEntries().empty());
  }
}

std::string AppleSingle(uint32_t magic, const std::vector<std::array<uint32_t, 3>>& entries, size_t size) {
  std::string h = Be32(magic) + Be32(0x00020000) + std::string(16, '\0') + std::string(1, '\0');
  h = h.substr(0, 22) + Be32(uint32_t(entries.size()));
  for (const auto& e : entries) h += Be32(e[0]) + Be32(e[1]) + Be32(e[2]);
  return Padded(h, size);
}

TEST(DtctWrappers, AppleSingleAndRefListDataParts) {
  std::string single = AppleSingle(0x00051600, {{9, 100, 10}, {1, 512, uint32_t(kPdf14.size())}}, 512) + kPdf14;
  Detection d = DetectBytes(single, "single.as");
  EXPECT_EQ(d.result, 1);
  EXPECT_EQ(d.record.format_id, 200);
  EXPECT_EQ(d.record.wrapper_kind, kDtctWrapperAppleSingle);
  EXPECT_EQ(d.record.data_offset, 512);
  EXPECT_EQ(d.record.data_length, int32_t(kPdf14.size()));

  // A data entry beyond the end of the file: the head cannot be read again.
  std::string beyond = AppleSingle(0x00051600, {{1, 100000, 600}}, 512) + kPdf14;
  EXPECT_EQ(DetectBytes(beyond, "beyond.as").result, -1);

  // AppleDouble holds no data part: nothing to detect, whatever follows.
  std::string dbl = AppleSingle(0x00051607, {{2, 512, 100}}, 512) + kPdf14;
  EXPECT_EQ(DetectBytes(dbl, "double.ad").result, -1);

  auto ref_list = [&](uint16_t blocks) {
    std::string h = Padded("REF LIST", 14) + Le16(1) + Le16(0) + Le16(blocks);
    return Padded(h, 2048) + kPdf14;
  };
  Detection r = DetectBytes(ref_list(1), "ref.dat");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.record.wrapper_kind, kDtctWrapperRefList);
  EXPECT_EQ(r.record.data_offset, 2048);
  EXPECT_EQ(r.record.data_length, int32_t(kPdf14.size()));
  // A negative block number is no wrapper.
  EXPECT_EQ(DetectBytes(ref_list(0xFFFF), "negative.dat").result, -1);
}

// 100 bytes of AppleSingle without a data entry: an empty data part, so no
// test sees the wrapper's own header.
TEST(DtctWrappers, EmptyDataPartLeavesAZeroHead) {
  std::string path = WriteTemp("empty.as", AppleSingle(0x00051600, {{2, 60, 10}}, 100));
  DtctInput input{};
  input.path = path.c_str();
  probelin::DtctWork* w = probelin::DtctOpen(&input);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->result->wrapper_kind, kDtctWrapperAppleSingle);
  EXPECT_EQ(w->head_length, 0);
  EXPECT_EQ(w->quick_length, 0);
  EXPECT_EQ(w->tail_length, 0);
  EXPECT_TRUE(std::all_of(w->head, w->head + sizeof w->head, [](uint8_t c) { return c == 0; }));
  probelin::DtctClose(w);
  EXPECT_EQ(input.file, nullptr);
  EXPECT_EQ(DetectPath(path).result, -1);
}

// Eight threads detecting a mix of files give the answers one thread gives.
TEST(DtctEntry, ThreadsGiveTheSequentialAnswers) {
  std::string drawing = Cfb({{"VisioDocument", VisioHeader(11)}});
  std::vector<std::string> paths = {
      WriteTemp("a.pdf", kPdf14),
      WriteTemp("b.vsd", Cfb({{"VisioDocument", VisioHeader(5)}})),
      WriteTemp("c.doc", Cfb({{"WordDocument", Padded("\xec\xa5\xc1\x00\x59\x00", 600)}})),
      WriteTemp("d.gz", Padded("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 600)),
      WriteTemp("e.bin", MacBinary(drawing, 0, uint32_t(drawing.size()))),
      WriteTemp("f.txt", std::string(3000, 'a')),
      WriteTemp("g.dat", "plain words in a line\n"),
      WriteTemp("h.dat", "see <html><body>x</body></html>\n"),
      WriteTemp("i.dat", "<?xml version=\"1.0\"?><xsl:stylesheet/>\n"),
      WriteTemp("k.docx", OfficePackage("application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml")),
      WriteTemp("j.msg", Cfb({{"__substg1.0_001A001E", "IPM.Note"}, {"__substg1.0_8001001E", "12.0"}})),
  };
  std::vector<std::pair<int, int32_t>> expected;
  std::vector<std::string> names, seconds;
  for (const std::string& p : paths) {
    Detection d = DetectPath(p);
    expected.emplace_back(d.result, d.record.format_id);
    names.push_back(d.record.name);
    seconds.push_back(d.record.second_text);
  }
  EXPECT_EQ(expected[4], std::make_pair(26, int32_t(378))) << "the wrapped drawing";
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        size_t i = size_t(t + round) % paths.size();
        DtctInput input{};
        input.path = paths[i].c_str();
        FileDtctRecord record{};
        record.input = &input;
        int result = KVB_FileDtct(&record);
        if (result != expected[i].first || record.format_id != expected[i].second ||
            std::string(record.name) != names[i] || std::string(record.second_text) != seconds[i])
          ++wrong;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
  for (const std::string& p : paths) std::filesystem::remove(p);
  EXPECT_TRUE(TempEntries().empty());
}

// The plug-in exports KVB_FileDtct under its ordinal; ordinal 5 is still to come.
TEST(DtctEntry, PluginResolvesByOrdinal) {
  std::string library = std::string(std::getenv("PROJECT_BUILD_DIR")) + "/bin/libprobelin.so";
  void* plugin = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(plugin, nullptr) << dlerror();
  auto detect = reinterpret_cast<int (*)(FileDtctRecord*)>(win32::ProcByOrdinal(plugin, probelin::OrdinalTable(), 4));
  ASSERT_NE(detect, nullptr);
  EXPECT_NE(win32::ProcByOrdinal(plugin, probelin::OrdinalTable(), 5), nullptr);
  std::string path = WriteTemp("plug.pdf", kPdf14);
  DtctInput input{};
  input.path = path.c_str();
  FileDtctRecord record{};
  record.input = &input;
  EXPECT_EQ(detect(&record), 1);
  EXPECT_EQ(record.format_id, 200);
  dlclose(plugin);
  // The plug-in exports its two C functions and nothing else.
  std::vector<std::string> names;
  for (const testsupport::DynamicSymbol& s : testsupport::DefinedDynamicSymbols(library)) names.push_back(s.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"KVB_FileDtct", "getMSOffice2007DataAsMemStream"}));
}

}  // namespace
