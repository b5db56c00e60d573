// The reader over real drawings (../shared/testdata/vsd) opened through
// Dalvex's compound-file reader: every page and master-shape part walks to
// its end, named pages and texts come out as stored, embedded objects
// become temporary compound files, the texts agree with an independent
// reader (vsd2text), and damaged variants of every drawing end with a code.
// Also the compound-file source over a self-made file.
#include <gtest/gtest.h>


#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "byte_source.h"
#include "decompress.h"
#include "dalvex/compound_file.h"
#include "dalvex/extract_records.h"
#include "document_stream.h"
#include "testsupport/compound_file_writer.h"
#include "testsupport/peers.h"
#include "testsupport/testdata.h"
#include "visio_builder.h"

namespace {

namespace fs = std::filesystem;
using vsdtest::IsFuzzCase;
using vsdtest::RecordingSink;

// Reads a drawing's "VisioDocument" as an extraction's text pass would:
// 22 when it is no compound file or has no such stream, 3003 when no page
// was reached, else the pass's own code.
int32_t ReadDrawing(const fs::path& path, RecordingSink* sink, uint32_t flags_a, glyphane::VsdSession* session) {
  KVB_OleStorage* root = KVB_2OLEopen(path.c_str());
  if (root == nullptr) return FileCantOpen;
  KVB_OleStream* stream = KVB_2OLEopenStream(root, "VisioDocument");
  if (stream == nullptr) {
    KVB_2OLEclose(root);
    return FileCantOpen;
  }
  glyphane::OleStreamSource source(stream);
  session->flags_a = flags_a;
  glyphane::FieldFormatter formatter;
  int32_t rc = glyphane::ReadVisioDocument(source, *session, *sink, formatter);
  KVB_2OLEcloseStream(stream);
  KVB_2OLEclose(root);
  if (rc == 0 && session->page_counter == 0) return NoTextStringFound;
  return rc;
}

std::string StreamBytes(const fs::path& path) {
  std::string bytes;
  KVB_OleStorage* root = KVB_2OLEopen(path.c_str());
  if (root == nullptr) return bytes;
  if (KVB_OleStream* stream = KVB_2OLEopenStream(root, "VisioDocument")) {
    glyphane::OleStreamSource source(stream);
    bytes.resize(source.Size());
    bytes.resize(source.Read(bytes.data(), bytes.size()));
    KVB_2OLEcloseStream(stream);
  }
  KVB_2OLEclose(root);
  return bytes;
}

std::vector<fs::path> Drawings(const fs::path& dir, bool regular) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".vsd" && IsFuzzCase(entry.path().filename().string()) != regular)
      files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// Every drawing that the index lists, and no other, reads to its end, and
// each walks exactly the pages its page list names.
TEST(VsdReaderCorpus, EveryPartWalksToItsEnd) {
  TESTDATA_OR_SKIP(dir, "vsd");
  uint32_t pages = 0, master_shapes = 0;
  std::set<std::string> read;
  for (const fs::path& file : Drawings(dir, true)) {
    SCOPED_TRACE(file.filename().string());
    RecordingSink sink;
    glyphane::VsdSession session;
    ASSERT_EQ(ReadDrawing(file, &sink, kFlagALineEndCrLf, &session), 0);
    read.insert(file.filename().string());
    EXPECT_GT(session.page_counter, 0);
    EXPECT_EQ(session.stats.pages_walked, static_cast<uint32_t>(session.page_count));
    EXPECT_EQ(session.stats.page_parts_short, 0u);
    EXPECT_EQ(session.stats.master_shape_parts_short, 0u);
    EXPECT_EQ(session.stats.repeated_parts, 0u);
    EXPECT_LE(session.stats.max_depth, 5u);
    pages += session.stats.pages_walked;
    master_shapes += session.stats.master_shapes_walked;
  }
  EXPECT_EQ(read, vsdtest::IndexedDrawings(dir));
  std::printf("page parts %u, master-shape parts %u\n", pages, master_shapes);
}

// An extraction reads the stream whole into memory and takes parts where
// they lie: every drawing, damaged ones included, gives the same events,
// code and walk as when each part is read from the compound file.
TEST(VsdReaderCorpus, StreamInMemoryReadsAsTheCompoundFile) {
  TESTDATA_OR_SKIP(dir, "vsd");
  size_t compared = 0;
  for (bool regular : {true, false}) {
    for (const fs::path& file : Drawings(dir, regular)) {
      SCOPED_TRACE(file.filename().string());
      RecordingSink from_file;
      glyphane::VsdSession file_session;
      const int32_t file_rc = ReadDrawing(file, &from_file, kFlagALineEndCrLf, &file_session);
      if (file_rc == FileCantOpen) continue;
      KVB_OleStorage* root = KVB_2OLEopen(file.c_str());
      ASSERT_NE(root, nullptr);
      KVB_OleStream* stream = KVB_2OLEopenStream(root, "VisioDocument");
      ASSERT_NE(stream, nullptr);
      glyphane::PartBuffer whole;
      const bool loaded = glyphane::ReadWholeStream(stream, uint64_t{64} << 20, &whole);
      KVB_2OLEcloseStream(stream);
      KVB_2OLEclose(root);
      if (!loaded) {
        EXPECT_EQ(whole.size(), 0u);
        continue;  // such a stream is read part by part
      }
      glyphane::MemorySource source(std::string_view(reinterpret_cast<const char*>(whole.data()), whole.size()));
      RecordingSink from_memory;
      glyphane::VsdSession session;
      session.flags_a = kFlagALineEndCrLf;
      glyphane::FieldFormatter formatter;
      int32_t rc = glyphane::ReadVisioDocument(source, session, from_memory, formatter);
      if (rc == 0 && session.page_counter == 0) rc = NoTextStringFound;
      EXPECT_EQ(rc, file_rc);
      EXPECT_EQ(from_memory.events, from_file.events);
      EXPECT_EQ(session.stats.pages_walked, file_session.stats.pages_walked);
      EXPECT_EQ(session.stats.master_shapes_walked, file_session.stats.master_shapes_walked);
      ++compared;
    }
  }
  EXPECT_GE(compared, vsdtest::IndexedDrawings(dir).size());
}

TEST(VsdReaderCorpus, NamedPagesAndFooter) {
  TESTDATA_OR_SKIP(dir, "vsd");
  {
    RecordingSink sink;
    glyphane::VsdSession session;
    ASSERT_EQ(ReadDrawing(dir / "poi-NegativeChunkLength.vsd", &sink, 8, &session), 0);
    std::vector<std::string> reached;
    for (const std::string& e : sink.events)
      if (e.rfind("page ", 0) == 0) reached.push_back(e);
    EXPECT_EQ(reached, (std::vector<std::string>{"page 1", "page 2", "page 3"}));
    ASSERT_FALSE(sink.Texts("name").empty());
    EXPECT_EQ(sink.Texts("name")[0], "\xC3\x9C" "bersicht");
  }
  {
    RecordingSink sink;
    glyphane::VsdSession session;
    ASSERT_EQ(ReadDrawing(dir / "poi-visio_with_embeded.vsd", &sink, 8, &session), 0);
    std::vector<std::string> names = sink.Texts("name");
    EXPECT_NE(std::find(names.begin(), names.end(),
                        "\xD2\x9A\xD1\x9E\xD0\xBB\xD0\xBB\xD0\xB0\xD0\xB1, \xD0\xBE\xD0\xB4\xD0\xB8\xD0\xBD\xD0\xBD"
                        "\xD0\xB0\xD1\x86\xD0\xB0\xD1\x82\xD1\x8C, aileron"),
              names.end());
  }
  {
    RecordingSink sink;
    glyphane::VsdSession session;
    ASSERT_EQ(ReadDrawing(dir / "poi-TestVisio43688.vsd", &sink, 8, &session), 0);
    ASSERT_TRUE(session.footer.has_value());
    // Kept as stored: the codes are expanded by the text output.
    EXPECT_EQ(*session.footer, "&fImprim\xE9 le : &d - Propri\xE9t\xE9 de la Sacem - ConfidentielPage : &p / &P");
    EXPECT_FALSE(session.header.has_value());
  }
}

TEST(VsdReaderCorpus, EmbeddedObjectsBecomeCompoundFiles) {
  TESTDATA_OR_SKIP(dir, "vsd");
  // A sink that opens each object as the text output would, then leaves
  // the file to the reader; no file of a page may outlive it.
  struct Opening : RecordingSink {
    int opened = 0;
    std::vector<std::string> paths;
    int32_t EmbeddedObject(const std::string& path, bool* taken) override {
      if (KVB_OleStorage* storage = KVB_2OLEopen(path.c_str())) {
        ++opened;
        KVB_2OLEclose(storage);
      }
      paths.push_back(path);
      return RecordingSink::EmbeddedObject(path, taken);
    }
    int32_t PageReached(int32_t n) override {
      for (const std::string& path : paths) EXPECT_FALSE(fs::exists(path)) << "outlived its page: " << path;
      return RecordingSink::PageReached(n);
    }
  } sink;
  glyphane::VsdSession session;
  ASSERT_EQ(ReadDrawing(dir / "poi-visio_with_embeded.vsd", &sink, 8 | kFlagAEmbeddedObjects, &session), 0);
  EXPECT_EQ(sink.opened, 5);
  EXPECT_TRUE(fs::is_empty(testsupport::TempDir()));
  RecordingSink refused;
  glyphane::VsdSession again;
  EXPECT_EQ(ReadDrawing(dir / "poi-visio_with_embeded.vsd", &refused, 8 | kFlagARefuseEmbedded, &again), StoppedByOle);
}

TEST(VsdReaderCorpus, FuzzCasesEndWithACode) {
  TESTDATA_OR_SKIP(dir, "vsd");
  std::map<std::string, int32_t> expected = {
      {"poi-clusterfuzz-testcase-minimized-POIHDGFFuzzer-4913778037489664.vsd", NoTextStringFound},
      {"poi-clusterfuzz-testcase-minimized-POIVisioFuzzer-4537225637134336.vsd", FileCantOpen},
  };
  for (const fs::path& file : Drawings(dir, false)) {
    RecordingSink sink;
    glyphane::VsdSession session;
    EXPECT_EQ(ReadDrawing(file, &sink, 8, &session), expected[file.filename().string()]) << file;
  }
}

// --- Peer comparison -------------------------------------------------------

std::string ToUtf8(const std::string& bytes, uint32_t code_page) {
  if (code_page == 65001 || code_page == glyphane::kCodePageUtf16) return bytes;
  const std::string from = "CP" + std::to_string(code_page);
  return testsupport::Iconv(bytes, from.c_str(), "UTF-8", testsupport::IconvErrors::kSkipByte).value_or(bytes);
}

std::set<std::string> Lines(const std::string& text) {
  std::set<std::string> lines;
  std::string line;
  auto flush = [&] {
    std::istringstream words(line);
    std::string word, joined;
    while (words >> word) joined += (joined.empty() ? "" : " ") + word;
    if (!joined.empty()) lines.insert(joined);
    line.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n' || c == '\v') flush();
    else if (text.compare(i, 3, "\xE2\x80\xA8") == 0 || text.compare(i, 3, "\xE2\x80\xA9") == 0) { flush(); i += 2; }
    else line.push_back(c);
  }
  flush();
  return lines;
}

std::map<std::string, uint32_t> CodePages(const fs::path& dir) {
  std::map<std::string, uint32_t> pages;
  for (testsupport::IndexRow& row : testsupport::ReadIndex(dir)) {
    const std::string& cell = row["summary_info_code_page"];
    if (!cell.empty() && std::isdigit(static_cast<unsigned char>(cell[0])))
      pages[row["file"]] = static_cast<uint32_t>(std::stoul(cell));
  }
  return pages;
}

TEST(VsdReaderCorpus, TextsAgreeWithVsd2text) {
  TESTDATA_OR_SKIP(dir, "vsd");
  const std::set<std::string> full_agreement = {
      "libvisio-Visio11FormatLine.vsd", "libvisio-fdo86729-utf8.vsd", "libvisio-no-bgcolor.vsd",
      "poi-44501.vsd", "poi-44501a.vsd", "poi-44501b.vsd", "poi-44501d.vsd", "poi-ShortChunk1.vsd", "poi-SimpleMacro.vsd",
      "poi-v5_Connection_Types.vsd", "poi-visio_with_embeded.vsd", "tika-testVISIO.vsd"};
  std::map<std::string, uint32_t> code_pages = CodePages(dir);
  std::printf("%-46s %5s %5s %6s %7s %9s\n", "file", "ours", "peer", "common", "recall", "precision");
  for (const fs::path& file : Drawings(dir, true)) {
    const std::string name = file.filename().string();
    fs::path peer_file = dir / "peer-vsd2text" / (name + ".txt");
    if (!fs::exists(peer_file)) continue;
    RecordingSink sink;
    glyphane::VsdSession session;
    ASSERT_EQ(ReadDrawing(file, &sink, 8, &session), 0) << name;
    std::set<std::string> ours;
    uint32_t code_page = glyphane::IsUtf16Layout(session.version) ? glyphane::kCodePageUtf16 : code_pages[name];
    for (const std::string& text : sink.Texts("shape master data"))
      for (const std::string& line : Lines(ToUtf8(text, code_page))) ours.insert(line);
    std::set<std::string> peer = Lines(testsupport::ReadFile(peer_file));
    std::vector<std::string> common;
    std::set_intersection(ours.begin(), ours.end(), peer.begin(), peer.end(), std::back_inserter(common));
    double recall = peer.empty() ? 1.0 : double(common.size()) / peer.size();
    double precision = ours.empty() ? 1.0 : double(common.size()) / ours.size();
    std::printf("%-46s %5zu %5zu %6zu %7.3f %9.3f\n", name.c_str(), ours.size(), peer.size(), common.size(),
                recall, precision);
    if (full_agreement.count(name)) {
      EXPECT_EQ(ours, peer) << name;
    }
  }
}

// --- Damaged variants --------------------------------------------------------

// Where a mutation may strike: the u32 fields of pointer records in plain
// (uncompressed) lists and the chunk lengths of plain page parts, found by
// a walk of the stream that is independent of the reader.
struct MutationPoints {
  std::vector<size_t> fields;
  std::vector<std::pair<size_t, size_t>> parts;  // (offset, length) to truncate
};

MutationPoints FindPoints(const std::string& s) {
  MutationPoints points;
  if (s.size() < 64) return points;
  auto u8 = [](const std::string& b, size_t at) -> uint32_t { return at < b.size() ? static_cast<uint8_t>(b[at]) : 0; };
  auto u16 = [&](const std::string& b, size_t at) { return u8(b, at) | (u8(b, at + 1) << 8); };
  auto u32 = [&](const std::string& b, size_t at) { return u16(b, at) | (u16(b, at + 2) << 16); };
  const uint8_t version = u8(s, 26);
  const size_t ps = version < 6 ? 16 : 18, lead = version < 6 ? 2 : 8;
  points.fields = {44, 48};
  std::set<size_t> seen;
  struct Record {
    uint8_t type, format;
    size_t offset, length;
  };
  std::vector<Record> todo = {{static_cast<uint8_t>(u8(s, 36)), static_cast<uint8_t>(u8(s, version < 6 ? 38 : 52)),
                               u32(s, 44), u32(s, 48)}};
  while (!todo.empty() && seen.size() < 5000) {
    Record r = todo.back();
    todo.pop_back();
    if (r.length == 0 || r.offset + r.length > s.size() || !seen.insert(r.offset).second) continue;
    const bool plain = !(r.format & 0x02);
    std::string data = s.substr(r.offset, r.length);
    if (!plain) {
      std::vector<uint8_t> out;
      glyphane::VsdDecompress(reinterpret_cast<const uint8_t*>(data.data()), data.size(), false, &out);
      data.assign(out.begin(), out.end());
    } else {
      points.parts.push_back({r.offset, r.length});
    }
    if (plain && r.type == 21) {
      for (size_t pos = 0; pos + 16 <= data.size();) {
        points.fields.push_back(r.offset + pos + (version < 6 ? 8 : 12));
        pos += u32(data, pos + (version < 6 ? 8 : 12)) + (version < 6 ? 12 : 19);
      }
    }
    if ((r.format & 0xF0) != 0x50 || version < 6) continue;
    size_t list = plain ? u32(data, 0) : u32(data, 4) + 4;
    for (size_t i = 0, n = u16(data, list); i < n && list + lead + (i + 1) * ps <= data.size(); ++i) {
      size_t at = list + lead + i * ps;
      if (plain) {
        points.fields.push_back(r.offset + at + 8);
        points.fields.push_back(r.offset + at + 12);
      }
      todo.push_back({static_cast<uint8_t>(u8(data, at)), static_cast<uint8_t>(u8(data, at + 16)), u32(data, at + 8),
                      u32(data, at + 12)});
    }
  }
  return points;
}

TEST(VsdReaderCorpus, DamagedVariantsEndWithACode) {
  TESTDATA_OR_SKIP(dir, "vsd");
  size_t variants = 0;
  for (const fs::path& file : Drawings(dir, true)) {
    const std::string stream = StreamBytes(file);
    ASSERT_FALSE(stream.empty()) << file;
    MutationPoints points = FindPoints(stream);
    // At most about 300 variants a drawing, spread over its points.
    size_t stride = std::max<size_t>(1, points.fields.size() / 75);
    for (size_t k = 0; k < points.fields.size(); k += stride) {
      for (uint32_t value : {0u, 0xFFFFu, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        std::string damaged = stream;
        vsdtest::Put32(&damaged, points.fields[k], value);
        RecordingSink sink;
        vsdtest::ReadStream(damaged, &sink, 8);
        ++variants;
      }
    }
    size_t part_stride = std::max<size_t>(1, points.parts.size() / 20);
    for (size_t k = 0; k < points.parts.size(); k += part_stride) {
      std::string cut = stream.substr(0, points.parts[k].first + points.parts[k].second / 2);
      RecordingSink sink;
      vsdtest::ReadStream(cut, &sink, 8);
      ++variants;
    }
  }
  std::printf("%zu damaged variants read\n", variants);
  EXPECT_GT(variants, 500u);
}

// The compound-file source gives the reader the same stream as memory.
TEST(VsdReaderSource, CompoundFileStream) {
  std::string doc = vsdtest::SimpleDocument(11, {{"P", vsdtest::ShapeChunk(11, 72, 1) +
                                                            vsdtest::TextChunk(11, vsdtest::Wide("hi"))}});
  doc.resize(doc.size() + 5000, '\0');  // beyond the mini stream
  for (bool large : {false, true}) {
    testsupport::CompoundFileWriter writer;
    writer.AddStream(writer.Root(), "VisioDocument", large ? doc : doc.substr(0, doc.size() - 5000));
    fs::path path = testsupport::TempDir() / "drawing.vsd";
    ASSERT_TRUE(writer.Build().Save(path));
    RecordingSink sink;
    glyphane::VsdSession session;
    EXPECT_EQ(ReadDrawing(path, &sink, 8, &session), 0);
    EXPECT_EQ(sink.Texts("name shape"), (std::vector<std::string>{"P", "hi"}));
  }
}

}  // namespace
