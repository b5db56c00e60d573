// KVB_FileDtct: the detector's entry, and the dispatcher behind it.
//
// One call: refuse what is not a regular file below 2 GiB (mode 0), read the
// data part's first 8,192 and last 512 bytes (after unwrapping AppleSingle,
// AppleDouble, MacBinary and "REF "/"LIST" wrappers), run the signature
// chain (compound-file streams first, then the head kind's one test, then
// the general chain), and on a hit look the format up in the catalogue and
// fill the caller's record. Without a hit the AutoCAD and QuarkXPress tests
// may name the file. Working memory comes from KVB_malloc and is freed on
// every path; nothing is kept between calls.
#include <algorithm>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "detect.h"
#include "tables.h"

namespace probelin {

namespace {

constexpr int64_t kSizeLimit = int64_t{1} << 31;

// A descriptor of a regular file, opened without blocking, with its size;
// -1 for anything else (folders, FIFOs, devices, missing files).
int OpenRegularFd(const char* path, int64_t* size) {
  if (path == nullptr || *path == '\0') return -1;
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  // The name may have been replaced between stat and open.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  if (size != nullptr) *size = st.st_size;
  return fd;
}

// Mode 0: the path names a regular file of less than 2 GiB.
bool DtctPreCheck(const char* path) {
  int64_t size = 0;
  int fd = OpenRegularFd(path, &size);
  if (fd < 0) return false;
  close(fd);
  return size >= 0 && size < kSizeLimit;
}

// The data of a DtctInput: the file in mode 0, the storage's "Contents"
// stream in mode 1; in any other mode nothing opens. The handles live in
// the input while the reader has them open.
class Reader {
 public:
  explicit Reader(DtctInput* input) : in_(input) {}
  ~Reader() { Close(); }

  bool Open() {
    if (in_ == nullptr) return false;
    if (in_->mode == kDtctModePath) {
      in_->file = OpenRegularFile(in_->path, &size_);
      return in_->file != nullptr;
    }
    if (in_->mode == kDtctModeStorage && in_->storage != nullptr) {
      in_->stream = KVB_2OLEopenStream(in_->storage, "Contents");
      if (in_->stream == nullptr) in_->stream = KVB_2OLEopenStream(in_->storage, "CONTENTS");
      size_ = 4096;
      return in_->stream != nullptr;
    }
    return false;
  }

  int64_t Size() const { return size_; }

  // Reads up to count bytes at offset from the start (from_end: offset bytes
  // before the end). The number read; -1 when the position cannot be had.
  int64_t ReadAt(int64_t offset, bool from_end, uint8_t* out, int count) {
    if (offset < 0 || offset > INT32_MAX || count <= 0) return -1;
    if (in_->file != nullptr) {
      if (KVB_FileSeek(in_->file, from_end ? -int32_t(offset) : int32_t(offset), from_end ? SEEK_END : SEEK_SET) != 0)
        return -1;
      return int64_t(KVB_FileRead(out, 1, size_t(count), in_->file));
    }
    if (in_->stream != nullptr) {
      if (KVB_2OLEseekStream(in_->stream, from_end ? -int(offset) : int(offset), from_end ? 2 : 0) < 0) return -1;
      std::memset(out, 0, size_t(count));
      int want = std::min(count, std::max(0, KVB_2OLEGetStreamSize(in_->stream)));
      return want > 0 ? KVB_2OLEreadStream(in_->stream, out, want) : 0;
    }
    return -1;
  }

  void Close() {
    if (in_ == nullptr) return;
    if (in_->file != nullptr) KVB_FileClose(in_->file);
    if (in_->stream != nullptr) KVB_2OLEcloseStream(in_->stream);
    in_->file = nullptr;
    in_->stream = nullptr;
  }

 private:
  DtctInput* in_;
  int64_t size_ = 0;
};

void ReadHeadAndTail(DtctWork& w, Reader& reader) {
  DtctResult& r = *w.result;
  if (!reader.Open()) {
    r.result_word = -1;
    return;
  }
  w.data_size = reader.Size();
  if (reader.ReadAt(0, false, w.head, kHeadSize) <= 0) {
    reader.Close();
    r.result_word = -1;
    return;
  }
  w.head_length = kHeadSize;
  w.quick_length = kQuickLimit;
  bool reads_ok = true;

  if (WrapperTests(w) == 1) {
    w.head_length = int32_t(std::min<int64_t>(r.data_length, kHeadSize));
    w.quick_length = std::min(w.head_length, kQuickLimit);
    // The wrapper's own bytes are not data: no test may read them.
    std::memset(w.head, 0, sizeof w.head);
    if (r.wrapper_kind != kDtctWrapperAppleDouble && r.data_length != 0) {
      if (reader.ReadAt(r.data_offset, false, w.head, w.head_length) < w.head_length) {
        std::memset(w.head, 0, sizeof w.head);
        w.head_length = w.quick_length = 0;
        r.result_word = -1;
        reads_ok = false;
      }
    }
  }

  if (w.quick_length >= 1 && w.quick_length <= kQuickLimit - 1) {
    w.data_size = w.quick_length;
    int n = std::min(w.quick_length, kTailSize);
    std::memcpy(w.tail, w.head + w.quick_length - n, size_t(n));
    w.tail_length = n;
  }
  if (w.tail_length == 0 && reads_ok) {
    int n = std::min(w.quick_length, kTailSize);
    if (n > 0) {
      int64_t got = r.wrapper_kind != kDtctWrapperNone
                        ? reader.ReadAt(r.data_offset + r.data_length - n, false, w.tail, n)
                        : reader.ReadAt(n, true, w.tail, n);
      if (got == n) w.tail_length = n;
    }
  }
  reader.Close();
}

// The kind a name gives when the head matched no signature.
int KindFromPath(const DtctWork& w) {
  const char* path = PathOf(w);
  int kind = 0;
  if (PathEndsWith(path, ".HTM") || PathEndsWith(path, ".HTML")) kind = 1;
  if (PathEndsWith(path, ".EML")) kind = 20;
  if (PathEndsWith(path, ".TAR")) kind = 22;
  if (PathEndsWith(path, ".PS")) kind = 3;
  if (kind == 0 && w.head[3] == 'l' && w.head[4] == 'h') kind = 18;
  return kind;
}

// A ".DOC" file may have a companion ".fmt" (or ".FMT") file that holds an
// OASYS separated document's format part.
int CompanionFileTest(DtctWork& w) {
  const char* path = PathOf(w);
  if (!PathEndsWith(path, ".DOC")) return 0;
  size_t length = std::strlen(path);
  char* name = static_cast<char*>(KVB_malloc(length + 1));
  if (name == nullptr) return 0;
  std::memcpy(name, path, length + 1);
  DtctInput copy = *w.result->input;
  copy.path = name;
  copy.file = nullptr;
  copy.stream = nullptr;

  std::memcpy(name + length - 3, "fmt", 3);
  DtctWork* companion = DtctOpen(&copy);
  if (companion != nullptr && companion->result->result_word == -1) {
    DtctClose(companion);
    std::memcpy(name + length - 3, "FMT", 3);
    companion = DtctOpen(&copy);
  }
  int answer = 0;
  if (companion != nullptr) {
    answer = TestOasysSeparated(*companion, Head(*companion));
    if (answer == 1 && companion->result->format_id == 270) {
      w.result->format_id = 271;
      w.result->sub = companion->result->sub;
      w.result->protection = companion->result->protection;
    }
    if (w.language == kNoLanguage && companion->language != kNoLanguage) w.language = companion->language;
    DtctClose(companion);
  }
  KVB_free(name);
  return answer;
}

int Detect(FileDtctRecord* record) {
  DtctInput* input = record->input;
  if (input == nullptr) return kDtctNothing;
  if (input->mode == kDtctModePath && !DtctPreCheck(input->path)) return kDtctNothing;
  DtctWork* w = DtctOpen(input);
  if (w == nullptr) return kDtctNothing;

  int result;
  if (DtctSignatureChain(*w) != 0) {
    result = kDtctNoTableRow;
    if (DtctCatalogLookup(*w) && DtctFillRecord(record, *w)) result = w->result->result_word;
  } else {
    result = TestAutoCad(*w, record);
    if (result == -1) result = TestQuarkXPress(*w, record);
    if (result == -1) result = TestXmlFamily(*w, record);
  }
  if (w->result->wrapper_kind == kDtctWrapperMacBinary) {
    result = kDtctMacBinary;
  } else if (result == -1) {
    result = TextFallback(*w, record);
    if (result != -1 && result != 0) result = RejectBmpRiff(*w, result);
  }
  DtctClose(w);
  return result;
}

}  // namespace

std::FILE* OpenRegularFile(const char* path, int64_t* size) {
  int fd = OpenRegularFd(path, size);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) close(fd);
  return file;
}

int64_t ReadFileAt(const char* path, int64_t offset, void* out, size_t count) {
  int64_t size = 0;
  int fd = OpenRegularFd(path, &size);
  if (fd < 0) return -1;
  ssize_t got = offset >= 0 ? pread(fd, out, count, offset) : -1;
  close(fd);
  return got;
}

void CopyText(char* field, size_t size, const char* text) {
  if (size == 0) return;
  size_t n = std::min(std::strlen(text), size - 1);
  std::memcpy(field, text, n);
  field[n] = '\0';
}

bool ByteView::EqualsFolded(size_t offset, const char* text) const {
  size_t n = std::strlen(text);
  if (!Has(offset, n)) return false;
  for (size_t i = 0; i < n; ++i)
    if (UpperAscii(data[offset + i]) != UpperAscii(uint8_t(text[i]))) return false;
  return true;
}

bool PathEndsWith(const char* path, const char* ext) {
  if (path == nullptr) return false;
  size_t n = std::strlen(path), m = std::strlen(ext);
  if (n < m) return false;
  for (size_t i = 0; i < m; ++i)
    if (UpperAscii(uint8_t(path[n - m + i])) != UpperAscii(uint8_t(ext[i]))) return false;
  return true;
}

const char* PathExtension(const char* path) {
  if (path == nullptr) return "";
  const char* slash = std::strrchr(path, '/');
  const char* dot = std::strrchr(slash ? slash : path, '.');
  return dot ? dot + 1 : "";
}

DtctWork* DtctOpen(DtctInput* input) {
  auto* w = static_cast<DtctWork*>(KVB_malloc(sizeof(DtctWork)));
  auto* r = static_cast<DtctResult*>(KVB_malloc(sizeof(DtctResult)));
  if (w == nullptr || r == nullptr) {
    KVB_free(w);
    KVB_free(r);
    return nullptr;
  }
  std::memset(w, 0, sizeof *w);
  std::memset(r, 0, sizeof *r);
  r->input = input;
  r->quick_limit = kQuickLimit;
  w->result = r;
  Reader reader(input);
  ReadHeadAndTail(*w, reader);
  return w;
}

void DtctClose(DtctWork* work) {
  if (work == nullptr) return;
  KVB_free(work->result);
  KVB_free(work);
}

int DtctSignatureChain(DtctWork& w) {
  if (DtctOleStreams(w) == 1) return 1;
  int kind = HeadKind(Head(w));
  if (kind == 0) kind = KindFromPath(w);
  if (kind == 0) kind = TextHeaderKind(w);
  if (kind != 0 && kind != 13) return RunHeadKindTest(w, kind);

  int answer = TestOasysSeparated(w, Head(w));
  if (answer == 0) answer = TestPostScript(w, Head(w));
  if (answer == 0) {
    if (TestOasysText(w) == 1) {
      answer = CompanionFileTest(w);
    } else {
      answer = TestOasysGraphic(w);
      if (answer == 0) answer = DtctOleStreams(w);
    }
  }
  if (answer == 1) return 1;
  answer = CompanionFileTest(w);
  if (answer != 0) return answer;
  return TestDocuWorks(w);
}

bool DtctFillRecord(FileDtctRecord* record, DtctWork& w) {
  const DtctResult& r = *w.result;
  record->format_id = r.format_id;
  CopyText(record->code_text, sizeof record->code_text, r.code_text);
  record->sub = r.sub;
  record->variant = r.variant;
  record->wrapper_kind = r.wrapper_kind;
  CopyText(record->temp_name, sizeof record->temp_name, r.temp_name);
  record->data_offset = int32_t(r.data_offset);
  record->data_length = int32_t(r.data_length);
  record->second_offset = int32_t(r.second_offset);
  record->second_length = int32_t(r.second_length);
  record->protection = r.protection;

  const FormatRow* row = FindFormatRow(r.format_id, r.sub);
  if (row != nullptr) {
    CopyText(record->name, sizeof record->name, row->name);
    CopyText(record->second_text, sizeof record->second_text, row->second);
  }
  if (std::strncmp(record->name, "Word Ver.6", 10) == 0 && w.language == kSimplifiedChinese)
    w.language = kNoLanguage;
  if (const char* language = LanguageName(w.language))
    CopyText(record->language, sizeof record->language, language);
  return row != nullptr;
}

}  // namespace probelin

extern "C" int KVB_FileDtct(FileDtctRecord* record) {
  if (record == nullptr) return kDtctNothing;
  try {
    return probelin::Detect(record);
  } catch (...) {
    return kDtctNothing;
  }
}
