// The detector's working records and the operations its source files share.
//
// One call of KVB_FileDtct owns one DtctWork and one DtctResult, both taken
// from Dalvex's KVB_malloc and zero-filled: the work record holds the first
// and last bytes of the data part; the result collects what the tests find
// (format id, sub-version, wrapper fields, protection, language) until the
// record fill copies it into the caller's FileDtctRecord. The tests read
// bytes only through ByteView, whose readers give 0 past the end, so a short
// buffer reads like the zero-filled head.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <string>
#include <vector>

#include "probelin/probelin.h"

namespace probelin {

constexpr int kHeadSize = 8192;
constexpr int kTailSize = 512;
constexpr int kQuickLimit = 1024;
constexpr int kTempNameSize = 260;  // what KVB_ASC_tmpnam may write

// Language codes of DtctWork::language.
enum Language { kNoLanguage = 0, kJapanese = 1, kEnglish = 2, kSimplifiedChinese = 3,
                kTraditionalChinese = 4, kKorean = 5 };

struct DtctResult {
  DtctInput* input;
  int32_t quick_limit;
  int32_t result_word;  // -1: the head could not be read; later the class word
  int32_t format_id;
  char code_text[32];
  int32_t sub;
  int32_t variant;
  char extension[6];
  int32_t wrapper_kind;
  char temp_name[kTempNameSize];
  int64_t data_offset;
  int64_t data_length;
  int64_t second_offset;
  int64_t second_length;
  int32_t protection;
  int16_t scratch;
  char long_name[130];
};

struct DtctWork {
  uint8_t head[kHeadSize];
  uint8_t tail[kTailSize];
  int32_t quick_length;
  int32_t head_length;
  int32_t tail_length;
  int32_t scratch;
  int64_t data_size;
  DtctResult* result;
  int32_t cursor;
  int32_t language;
};

// A read-only window on bytes; reads past its end give 0.
struct ByteView {
  const uint8_t* data = nullptr;
  size_t size = 0;

  bool Has(size_t offset, size_t count) const { return offset <= size && count <= size - offset; }
  uint8_t U8(size_t offset) const { return offset < size ? data[offset] : 0; }
  uint16_t Le16(size_t o) const { return uint16_t(U8(o) | U8(o + 1) << 8); }
  uint16_t Be16(size_t o) const { return uint16_t(U8(o) << 8 | U8(o + 1)); }
  uint32_t Le32(size_t o) const { return uint32_t(Le16(o)) | uint32_t(Le16(o + 2)) << 16; }
  uint32_t Be32(size_t o) const { return uint32_t(Be16(o)) << 16 | Be16(o + 2); }
  // True when the bytes at offset equal text (no NUL) exactly.
  bool Equals(size_t offset, const char* text) const {
    size_t n = std::strlen(text);
    return Has(offset, n) && std::memcmp(data + offset, text, n) == 0;
  }
  // As Equals, comparing upper-case forms (only a-z folded).
  bool EqualsFolded(size_t offset, const char* text) const;
};

// The whole head buffer: the tests see zeros behind the bytes read.
inline ByteView Head(const DtctWork& w) { return ByteView{w.head, sizeof w.head}; }
// The bytes the quick tests look at.
inline ByteView Quick(const DtctWork& w) { return ByteView{w.head, size_t(w.quick_length)}; }
inline ByteView Tail(const DtctWork& w) { return ByteView{w.tail, size_t(w.tail_length)}; }

inline uint8_t UpperAscii(uint8_t c) { return (c >= 'a' && c <= 'z') ? uint8_t(c - 32) : c; }
// Copies text into a fixed field, cut to fit, always terminated.
void CopyText(char* field, size_t size, const char* text);
// The path of the call, or null (mode 1 may have none).
inline const char* PathOf(const DtctWork& w) { return w.result->input ? w.result->input->path : nullptr; }
// True when the path ends in ext (".DOC" and the like), ASCII case ignored.
bool PathEndsWith(const char* path, const char* ext);
// The text after the last point of the path's file name, or "".
const char* PathExtension(const char* path);

// Reading a file by path: a regular file only, never blocking on a FIFO or
// device; size in bytes through size (may be null). Null when refused.
std::FILE* OpenRegularFile(const char* path, int64_t* size);
// Up to count bytes at offset of the file at path; the number read, or -1.
int64_t ReadFileAt(const char* path, int64_t offset, void* out, size_t count);

// Entry and dispatcher (detect_entry.cpp).
DtctWork* DtctOpen(DtctInput* input);
void DtctClose(DtctWork* work);
int DtctSignatureChain(DtctWork& w);
bool DtctFillRecord(FileDtctRecord* record, DtctWork& w);

// Tables (tables.cpp).
bool DtctCatalogLookup(DtctWork& w);
struct FormatRow;
const FormatRow* FindFormatRow(int32_t id, int32_t sub);
const char* LanguageName(int32_t code);  // null for an unknown code
// The head kind of the first head-kind row matching the head, or 0.
int HeadKind(ByteView head);

// Signature tests (signature_tests.cpp, wrappers.cpp, lotus_and_docs.cpp):
// each answers 1 (recognised, the result filled) or 0.
int TestVisio(DtctWork& w, ByteView stream_head);
int WrapperTests(DtctWork& w);  // W1-W4 on the first read
int RunHeadKindTest(DtctWork& w, int kind);
int TestPostScript(DtctWork& w, ByteView bytes);
int TestOasysSeparated(DtctWork& w, ByteView head);
int TestOasysGraphic(DtctWork& w);
int TestDocuWorks(DtctWork& w);
int TestWorks2000(DtctWork& w, ByteView bytes);
int TestWordPerfectQuattro(DtctWork& w, ByteView bytes);
int TestCorelPresentations(DtctWork& w, ByteView bytes);
// Kingsoft WPS test on the first 50 bytes of "WPSDoc" (or the head); the
// storage is null when the file is not a compound file.
int TestKingsoftWps(DtctWork& w, ByteView bytes, KVB_OleStorage* root);
// The Excel country record language in the first 4,096 bytes, or 0.
int32_t ExcelLanguage(ByteView records);
// The OASYS combined file's sub and protection from the words after its
// marker; false when they do not both lie inside the head.
bool OasysCombinedVersion(DtctWork& w, ByteView head, int64_t marker);
// Tests run after the chain on the caller's record: 1 or -1.
int TestAutoCad(DtctWork& w, FileDtctRecord* record);
int TestQuarkXPress(DtctWork& w, FileDtctRecord* record);

// Text, markup and XML (text_tests.cpp). The classifier gives the head kind
// of markup (1) and mail (20), else 0.
int TextHeaderKind(const DtctWork& w);
bool IsMail(const DtctWork& w);
int TestHtml(DtctWork& w);
int TestOasysText(DtctWork& w);
// Tests on the caller's record after the chain found nothing: 1 or -1.
int TestXmlFamily(DtctWork& w, FileDtctRecord* record);
// The last resort: -1, or 27 for text with its charset in the record.
int TextFallback(DtctWork& w, FileDtctRecord* record);
// The fallback's answer for the text detector's result word; keep: the
// record's "HTML"/"XML" name stays.
int ApplyTextWord(FileDtctRecord* record, int word, bool keep);
// -1 for a bitmap or RIFF file whose stored size is the data size, else
// answer.
int RejectBmpRiff(const DtctWork& w, int answer);

// Package detectors (package_tests.cpp): 1 when the format was named.
// The Office Open XML test reads the stream when one is given, else the
// file of a mode-0 call.
int DtctOoxml(DtctWork& w, std::istream* stream);
// A package held in the storage's "\001Ole10Native" stream.
int EmbeddedPackageTest(DtctWork& w, KVB_OleStorage* root);
// The bytes of that package; false when the stream holds none.
bool FindEmbeddedPackage(KVB_OleStorage* storage, std::string* package);
// An OpenOffice.org 1.x document (ids 381-386, sub 1, language from its
// styles).
int TestOpenOffice(DtctWork& w);
// The bytes after the local header of such a document's stored "meta.xml"
// entry: its name, the XML declaration and the meta part's document type.
const std::string& OpenOfficeMetaSignature();
// The version of an Outlook message (2003, 2007, 2010) or 0; wide when its
// texts are stored as UTF-16.
int32_t MessageVersion(KVB_OleStorage* root, bool wide);

// Compound-file detector (ole_detector.cpp).
// Reads a stream from its position to its end in blocks, the buffer
// growing only with the bytes delivered.
enum StreamRead { kStreamRead, kStreamFailed, kStreamNoMemory };
StreamRead ReadStreamBlocks(KVB_OleStream* stream, std::vector<uint8_t>* out);
int DtctOleStreams(DtctWork& w);
// The Kingsoft property test on a root: 1 when a summary names a Kingsoft
// product (kingsoft_properties.cpp).
bool KingsoftProperties(KVB_OleStorage* root);

// Sets the result's format id and sub-version.
inline void SetFormat(DtctWork& w, int32_t id, int32_t sub) {
  w.result->format_id = id;
  w.result->sub = sub;
}

}  // namespace probelin
