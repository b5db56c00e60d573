// The compound-file detector: opens the data as an OLE compound file, looks
// for well-known stream names in table order, and lets the first one found
// choose a format's test (Word, Excel, PowerPoint, Visio, Works, PageMaker,
// Ichitaro, OASYS, Kingsoft, ...). A MacBinary-wrapped file is read through
// a temporary copy of its data fork, made exclusively and removed before the
// detector answers. Streams are read in blocks; a buffer grows only with
// the bytes a stream really delivers.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "detect.h"
#include "tables.h"

namespace probelin {

namespace {

constexpr int kBlock = 64 * 1024;

// A stream opened by name, closed when it goes out of scope.
class Stream {
 public:
  Stream(KVB_OleStorage* storage, const char* name)
      : s_(storage ? KVB_2OLEopenStream(storage, name) : nullptr) {}
  ~Stream() { KVB_2OLEcloseStream(s_); }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  explicit operator bool() const { return s_ != nullptr; }
  KVB_OleStream* get() const { return s_; }
  int64_t Size() const { return s_ ? KVB_2OLEGetStreamSize(s_) : -1; }
  // Up to n bytes from the start into out (zero-filled first); the count.
  int ReadHead(uint8_t* out, int n) {
    std::memset(out, 0, size_t(n));
    if (s_ == nullptr || KVB_2OLEseekStream(s_, 0, 0) != 0) return 0;
    return std::max(0, KVB_2OLEreadStream(s_, out, n));
  }
  // The whole stream, read in blocks. False when memory cannot be had.
  bool ReadWhole(std::vector<uint8_t>* out) {
    out->clear();
    if (s_ == nullptr || KVB_2OLEseekStream(s_, 0, 0) != 0) return true;
    return ReadStreamBlocks(s_, out) != kStreamNoMemory;
  }
  std::string StoredName() const {
    char name[128] = {};
    return s_ && KVB_2OLEGetStreamName(s_, name, sizeof name) ? name : "";
  }

 private:
  KVB_OleStream* s_;
};

bool HasStream(KVB_OleStorage* root, const char* name) { return bool(Stream(root, name)); }

bool HasStorage(KVB_OleStorage* root, const char* name) {
  KVB_OleStorage* storage = KVB_2OLEopenStorage(root, name);
  if (storage == nullptr) return false;
  KVB_2OLEcloseStorage(storage);
  return true;
}

// The compound file of the call: the caller's storage (mode 1), the file
// itself (mode 0), or a temporary copy of a MacBinary data fork. Whatever
// it opened or made is closed and removed when it goes out of scope.
class OleSource {
 public:
  explicit OleSource(DtctWork& w) : w_(w) {
    DtctInput* in = w.result->input;
    if (in == nullptr) return;
    if (in->mode == kDtctModeStorage) {
      root_ = in->storage;
    } else if (in->mode == kDtctModePath) {
      owned_ = true;
      root_ = w.result->wrapper_kind == kDtctWrapperMacBinary ? OpenDataFork(in->path) : KVB_2OLEopen(in->path);
    }
  }
  ~OleSource() {
    if (owned_ && root_ != nullptr) KVB_2OLEclose(root_);
    RemoveTemporary();
  }
  OleSource(const OleSource&) = delete;
  OleSource& operator=(const OleSource&) = delete;
  KVB_OleStorage* root() const { return root_; }

 private:
  void RemoveTemporary() {
    char* name = w_.result->temp_name;
    if (name[0] != '\0') KVB_ASC_remove(name);
    name[0] = '\0';
  }

  // Copies the data fork into a new temporary file and opens that. The file
  // is created exclusively: a name someone else took makes this fail.
  KVB_OleStorage* OpenDataFork(const char* path) {
    DtctResult& r = *w_.result;
    if (KVB_ASC_tmpnam(r.temp_name) == nullptr) {
      r.temp_name[0] = '\0';
      return nullptr;
    }
    KVB_FileHandle out = KVB_FileOpen(r.temp_name, "wbx");
    if (out == nullptr) {
      r.temp_name[0] = '\0';
      return nullptr;
    }
    bool complete = CopyDataFork(path, out);
    if (KVB_FileClose(out) != 0) complete = false;
    KVB_OleStorage* root = complete ? KVB_2OLEopen(r.temp_name) : nullptr;
    if (root == nullptr) RemoveTemporary();
    return root;
  }

  bool CopyDataFork(const char* path, KVB_FileHandle out) {
    const DtctResult& r = *w_.result;
    int64_t size = 0;
    std::FILE* in = OpenRegularFile(path, &size);
    if (in == nullptr) return false;
    bool ok = r.data_offset >= 0 && r.data_length >= 0 && r.data_offset + r.data_length <= size &&
              KVB_FileSeek(in, int32_t(r.data_offset), SEEK_SET) == 0;
    std::vector<uint8_t> block(kBlock);
    for (int64_t left = r.data_length; ok && left > 0;) {
      size_t want = size_t(std::min<int64_t>(left, kBlock));
      size_t got = KVB_FileRead(block.data(), 1, want, in);
      if (got == 0 || KVB_FileWrite(block.data(), 1, got, out) != got) ok = false;
      left -= int64_t(got);
    }
    KVB_FileClose(in);
    return ok;
  }

  DtctWork& w_;
  KVB_OleStorage* root_ = nullptr;
  bool owned_ = false;
};

// Reads a stream whole unless, for a file given by path, its size claims
// more than the file holds. False when memory cannot be had.
bool ReadStreamChecked(DtctWork& w, Stream& s, std::vector<uint8_t>* out) {
  out->clear();
  if (!s) return true;
  if (w.result->input->mode == kDtctModePath && s.Size() > w.data_size) return true;
  return s.ReadWhole(out);
}

const char kDrmContent[] = "\tDRMContent";
const char kDocumentSummary[] = "\x05" "DocumentSummaryInformation";
const char kSegmentInfo[] = "\x04" "JSRV_SegmentInformation";

int WordBranch(DtctWork& w, KVB_OleStorage* root) {
  DtctResult& r = *w.result;
  SetFormat(w, 189, 6);
  r.variant = 0;
  Stream s(root, "WordDocument");
  uint8_t buf[4096];
  int64_t size = std::max<int64_t>(0, s.Size());
  int got = s.ReadHead(buf, int(std::min<int64_t>(size, sizeof buf)));
  ByteView b{buf, sizeof buf};
  KVB_OleHeaderInfo info{};
  KVB_2OLEGetHeaderInfo(root, &info);
  // Only a stream kept in regular sectors is taken at its word: the
  // encryption bit of the file information block.
  if (size >= int64_t(info.mini_stream_cutoff) && (b.U8(11) & 1)) r.protection = 1;
  if (got == 4096 && std::all_of(buf, buf + sizeof buf, [](uint8_t c) { return c == 0; })) {
    SetFormat(w, 391, 2007);
    r.protection = 1;
    return 1;
  }
  uint8_t b0 = b.U8(0), b1 = b.U8(1), b4 = b.U8(4), b5 = b.U8(5);
  if (b0 == 0x97 && b1 == 0xA6) {
    r.format_id = 304;
  } else if ((b0 == 0xDC && b1 == 0xA5) || (b0 == 0x99 && b1 == 0xA6) || (b0 == 0x98 && b1 == 0xA6)) {
    r.format_id = 189;
  } else if (b0 == 0xEC && b1 == 0xA5) {
    r.format_id = 308;
    if ((b4 == 0x59 || b4 == 0x4B || b4 == 0x47 || b4 == 0x4D) && b5 == 0) r.sub = 7;
    else if ((b4 == 0x39 || b4 == 0x37) && b5 == 0x20) r.sub = 2000;
    else if (b4 == 0x35 && b5 == 0x20) r.sub = 9;
    else if (b4 == 0x35 && b5 == 0x40) r.sub = 2002;
    else if ((b4 == 0x63 || b4 == 0x71) && b5 == 0x60) r.sub = 2003;
    else if (b.U8(18) != 0) r.sub = 9;
    else if (b.Equals(34, "KSKS")) SetFormat(w, 372, 2005);
    else {
      r.sub = 8;
      if (HasStream(root, kDrmContent)) r.protection = 1;
    }
  }
  switch (b.Le16(0)) {
    case 0xA697: case 0x9726: w.language = kJapanese; return 1;
    case 0xA698: case 0x9826: w.language = kKorean; return 1;
    case 0xA699: case 0x9926: w.language = kSimplifiedChinese; return 1;
    case 0xA5DC: case 0xDCA5: w.language = kEnglish; return 1;
  }
  if (b.Le16(6) == 1033) {
    switch (b.Le16(60)) {
      case 1028: w.language = kTraditionalChinese; break;
      case 1033: case 2057: w.language = kEnglish; break;
      case 1041: w.language = kJapanese; break;
      case 1042: w.language = kKorean; break;
      case 2052: w.language = kSimplifiedChinese; break;
    }
  }
  return 1;
}

int BookBranch(DtctWork& w, KVB_OleStorage* root) {
  if (HasStream(root, "\x04" "JSRV_")) {
    SetFormat(w, 327, 0);
    return 1;
  }
  Stream s(root, "Book");
  std::vector<uint8_t> book;
  if (ReadStreamChecked(w, s, &book)) w.language = ExcelLanguage(ByteView{book.data(), std::min<size_t>(book.size(), 4096)});
  SetFormat(w, 188, 5);
  return 1;
}

int ExcelBranch(DtctWork& w, KVB_OleStorage* root) {
  DtctResult& r = *w.result;
  {
    Stream comp(root, "\x01" "CompObj");
    uint8_t head[64];
    comp.ReadHead(head, sizeof head);
    if (ByteView{head, sizeof head}.Equals(32, "Kingsoft ET")) return 0;
  }
  SetFormat(w, 321, 6);
  Stream s(root, "Workbook");
  std::vector<uint8_t> book;
  if (!ReadStreamChecked(w, s, &book)) return 0;
  ByteView b{book.data(), book.size()};
  w.language = ExcelLanguage(ByteView{book.data(), std::min<size_t>(book.size(), 4096)});
  bool bof = b.Has(0, 16) && b.Le16(0) == 0x0809;
  if (bof && !(b.Le32(12) & 1)) r.sub = 7;
  {
    Stream dsi(root, kDocumentSummary);
    uint8_t head[32];
    dsi.ReadHead(head, sizeof head);
    if (head[24] == 1 && head[4] == 3) r.sub = 8;
    else if (head[24] == 2 && head[4] == 3) r.sub = 7;
  }
  if (bof && b.Le16(4) == 0x0600) {
    uint16_t build = b.Le16(8);
    if (build == 4624 || build == 4920 || build == 5612) r.sub = 2003;
  }
  if (r.sub == 2003 && HasStream(root, kDrmContent)) {
    r.protection = 1;
  } else {
    size_t at = 0;
    for (int i = 0; i < 3 && b.Has(at, 4); ++i) {
      if (b.Le16(at) == 47) r.protection = 1;
      at += 4 + size_t(b.Le16(at + 2));
    }
  }
  if (KingsoftProperties(root)) SetFormat(w, 370, 2005);
  return 1;
}

// The "Current User" stream's pointer to the last edit, and the version
// words there.
void PowerPointVersion(DtctWork& w, KVB_OleStorage* root) {
  Stream user(root, "Current User");
  std::vector<uint8_t> bytes;
  if (!user.ReadWhole(&bytes)) return;
  ByteView u{bytes.data(), bytes.size()};
  for (size_t at = 0; u.Has(at, 8); at += 4) {
    uint32_t word = u.Le32(at);
    if (word != 0xE391C05F && word != 0xF3D1C4DF) continue;
    uint32_t offset = u.Le32(at + 4);
    Stream doc(root, "PowerPoint Document");
    uint8_t edit[4] = {};
    if (doc && int64_t(offset) + 16 <= doc.Size() && KVB_2OLEseekStream(doc.get(), int(offset + 12), 0) == int(offset + 12) &&
        KVB_2OLEreadStream(doc.get(), edit, 4) == 4) {
      ByteView e{edit, 4};
      uint16_t version = e.Le16(0);
      if (e.U8(3) == 3 && (version == 4714 || version == 4920 || version == 5529)) w.result->sub = 2003;
    }
    return;
  }
  w.result->sub = 5;
}

int PowerPointBranch(DtctWork& w, KVB_OleStorage* root) {
  DtctResult& r = *w.result;
  SetFormat(w, 316, 0);
  {
    Stream user(root, "Current User");
    if (user) r.sub = user.Size() < 21 ? 5 : 7;
    else if (HasStorage(root, "PP97_DUALSTORAGE") || HasStream(root, "PP97_DUALSTORAGE")) r.sub = 7;
    else SetFormat(w, 183, 0);
  }
  if (r.format_id == 183) return 1;
  if (r.sub == 7) {
    Stream dsi(root, kDocumentSummary);
    uint8_t head[5];
    if (dsi.ReadHead(head, 5) == 5 && head[4] == 3) r.sub = 9;
  }
  PowerPointVersion(w, root);
  if (r.sub == 2003) {
    if (HasStream(root, kDrmContent) || HasStream(root, "EncryptedSummary")) r.protection = 1;
  } else if (HasStream(root, "EncryptedSummary") && !HasStream(root, "Header")) {
    r.protection = 1;
  }
  if (KingsoftProperties(root)) SetFormat(w, 371, 2005);
  return 1;
}

int IchitaroBranch(DtctWork& w, KVB_OleStorage* root, const uint8_t* class_id) {
  DtctResult& r = *w.result;
  w.language = kJapanese;
  SetFormat(w, 309, 0);
  Stream seg(root, kSegmentInfo);
  uint8_t head[96];
  seg.ReadHead(head, sizeof head);
  for (size_t i = 48; i < 96; ++i)
    if (head[i] != 0) r.protection = 1;
  // {78597000-1D84-11CF-9713-0020AFD806F4} and its neighbours, as stored.
  static const uint8_t kTail[12] = {0x84, 0x1D, 0xCF, 0x11, 0x97, 0x13, 0x00, 0x20, 0xAF, 0xD8, 0x06, 0xF4};
  bool family = class_id[1] == 0x70 && class_id[2] == 0x59 && class_id[3] == 0x78 &&
                std::memcmp(class_id + 4, kTail, sizeof kTail) == 0;
  if (family && class_id[0] == 0x01) r.sub = 8;
  else if (family && class_id[0] == 0x00) r.sub = 7;
  else if (family && class_id[0] == 0x02) r.sub = 9;
  else SetFormat(w, 183, 0);
  return 1;
}

// The OASYS compound file: the stream list names the main stream on the
// line before the first "FileType=2" line.
int OasysBranch(DtctWork& w, KVB_OleStorage* root) {
  DtctResult& r = *w.result;
  std::vector<uint8_t> list;
  {
    Stream s(root, "OasysStreamFileList");
    if (!ReadStreamChecked(w, s, &list)) return 0;
  }
  std::string previous, line, main_name;
  bool found = false;
  auto end_line = [&] {
    if (!found && line == "FileType=2") {
      found = true;
      if (previous.size() > 11) main_name = previous.substr(11);
    }
    previous = line;
    line.clear();
  };
  for (size_t i = 0; i < list.size() && !found; ++i) {
    uint8_t c = list[i];
    if (c == '\r' || c == '\n') {
      end_line();
      if (c == '\r' && i + 1 < list.size() && list[i + 1] == '\n') ++i;
    } else if (line.size() < 255) {
      line.push_back(char(c));
    }
  }
  if (!found && !line.empty()) end_line();
  std::vector<uint8_t> head(kHeadSize, 0);
  if (!main_name.empty()) {
    Stream s(root, main_name.c_str());
    s.ReadHead(head.data(), kHeadSize);
  }
  ByteView h{head.data(), head.size()};
  int32_t sub = 0;
  switch (h.Be16(238) & 0xFFF0) {
    case 0xE040: case 0xE050: sub = 5; break;
    case 0xE060: sub = 6; break;
    case 0xE070: sub = 7; break;
    case 0xE080: sub = 8; break;
    case 0xE090: sub = 9; break;
    case 0xE0F0: sub = 10; break;
  }
  SetFormat(w, 346, sub);
  w.language = kJapanese;
  if (h.Be16(564) & 8) r.protection = 1;
  return 1;
}

int PageMakerBranch(DtctWork& w, KVB_OleStorage* root) {
  Stream s(root, "PageMaker");
  uint8_t head[112];
  s.ReadHead(head, sizeof head);
  if (head[6] == 0xFF && head[7] == 0x99 && (head[110] == 0 || head[110] == '2')) {
    SetFormat(w, head[110] == 0 ? 355 : 356, 0);
    return 1;
  }
  if (head[6] == 0x99 && head[7] == 0xFF && (head[111] == 0 || head[111] == '2')) {
    SetFormat(w, head[111] == 0 ? 364 : 365, 0);
    return 1;
  }
  return 0;
}

// Runs test on the first n bytes of a stream.
template <typename Test>
int OnStreamHead(KVB_OleStorage* root, const char* name, int n, Test test) {
  Stream s(root, name);
  uint8_t head[kQuickLimit];
  int got = s.ReadHead(head, n);
  return test(ByteView{head, size_t(got)});
}

// The table row whose stream the root holds, or 0. A "Contents" row takes
// a stream stored under any case but "CONTENTS", which belongs to the
// Works row further down.
int FindStreamRow(KVB_OleStorage* root) {
  for (const OleStreamRow* row = kOleStreams; row->order != 0; ++row) {
    if (row->name[0] == '\0') continue;
    Stream s(root, row->name);
    if (!s) continue;
    if (row->id == 268 && s.StoredName() == "CONTENTS") continue;
    if (row->id == 357 && s.StoredName() != "CONTENTS") continue;
    return row->id;
  }
  return 0;
}

int Branch(DtctWork& w, KVB_OleStorage* root, int id, const uint8_t* class_id) {
  switch (id) {
    case 98: SetFormat(w, 98, 4); return 1;
    case 188: return BookBranch(w, root);
    case 189: return WordBranch(w, root);
    case 212: SetFormat(w, 212, 5); return 1;
    case 227: case 358:
      return OnStreamHead(root, "MN0", 16, [&](ByteView b) { return TestWorks2000(w, b); });
    case 309: case 380: return IchitaroBranch(w, root, class_id);
    case 316: return PowerPointBranch(w, root);
    case 321: return ExcelBranch(w, root);
    case 346: return OasysBranch(w, root);
    case 354:
      return OnStreamHead(root, "PerfectOffice_MAIN", 20, [&](ByteView b) { return TestWordPerfectQuattro(w, b); });
    case 355: return PageMakerBranch(w, root);
    case 357: return OnStreamHead(root, "CONTENTS", 16, [&](ByteView b) { return TestWorks2000(w, b); });
    case 361: SetFormat(w, 361, 0); return 1;
    case 363:
      return OnStreamHead(root, "PerfectOffice_MAIN", 20, [&](ByteView b) { return TestCorelPresentations(w, b); });
    case 368:
      // The UTF-16 form is the one whose subject stream ends in 001F.
      SetFormat(w, 368, MessageVersion(root, !HasStream(root, "__substg1.0_001A001E")));
      return 1;
    case 372: return OnStreamHead(root, "WPSDoc", 50, [&](ByteView b) { return TestKingsoftWps(w, b, root); });
    case 378: return OnStreamHead(root, "VisioDocument", 32, [&](ByteView b) { return TestVisio(w, b); });
    case 379:
      if (EmbeddedPackageTest(w, root) == 1) return 1;
      // The object's first bytes may still be PostScript.
      return OnStreamHead(root, "\x01" "Ole10Native", kQuickLimit, [&](ByteView b) { return TestPostScript(w, b); });
    default: return 0;
  }
}

}  // namespace

StreamRead ReadStreamBlocks(KVB_OleStream* stream, std::vector<uint8_t>* out) {
  try {
    for (;;) {
      size_t have = out->size();
      out->resize(have + kBlock);
      int got = KVB_2OLEreadStream(stream, out->data() + have, kBlock);
      out->resize(have + size_t(std::max(0, got)));
      if (got < 0) return kStreamFailed;
      if (got < kBlock) return kStreamRead;
    }
  } catch (const std::bad_alloc&) {
    out->clear();
    return kStreamNoMemory;
  }
}

int DtctOleStreams(DtctWork& w) {
  OleSource source(w);
  KVB_OleStorage* root = source.root();
  if (root == nullptr) return 0;
  w.language = kNoLanguage;
  uint8_t class_id[16] = {};
  KVB_2OLEGetClassID(root, class_id);
  int id = FindStreamRow(root);
  if (id == 354 && HasStorage(root, "SlideShow")) id = 363;
  if (id == 0) {
    if (!HasStream(root, kSegmentInfo)) return 0;
    id = 309;
  }
  return Branch(w, root, id, class_id);
}

}  // namespace probelin
