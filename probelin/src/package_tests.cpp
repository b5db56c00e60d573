// The detectors that look inside packages: Office Open XML documents
// (through Quarnel), packages kept in a compound file's "Ole10Native"
// stream, OpenOffice.org 1.x documents (whose zip structures are read here
// and two parts inflated with zlib), and the version of an Outlook message.
// zlib is opened on the first part to inflate, as Quarnel on the first
// package: a detector loaded for a drawing maps neither.
//
// Every size and offset read from a file is checked against the bytes that
// are really there before it is used; numbers are combined in 64 bits.
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <istream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "detect.h"
#include "oox_bridge.h"
#include "quarnel/mem_stream.h"
#include "tables.h"

namespace probelin {

namespace {

// Reads a compound-file stream whole. False when it cannot be opened, a
// read fails or memory cannot be had.
bool ReadWholeStream(KVB_OleStorage* storage, const char* name, std::vector<uint8_t>* out) {
  out->clear();
  KVB_OleStream* s = storage ? KVB_2OLEopenStream(storage, name) : nullptr;
  if (s == nullptr) return false;
  // A stream that delivers fewer bytes than it holds was not read.
  bool ok = ReadStreamBlocks(s, out) == kStreamRead && int64_t(out->size()) == KVB_2OLEGetStreamSize(s);
  KVB_2OLEcloseStream(s);
  if (!ok) out->clear();
  return ok;
}

// The format id of an Office Open XML document type, or 0.
int32_t OoxFormatId(int type) {
  for (const OoxTypeRow* row = kOoxTypes; row->type != 0; ++row)
    if (row->type == type) return row->id;
  return 0;
}

// The package module's entry points, or nulls when it cannot be opened;
// it is looked for beside the code that asks, and opened once a process.
struct OoxModule {
  decltype(&probelin_oox_detect_path) path = nullptr;
  decltype(&probelin_oox_detect_stream) stream = nullptr;
};

const OoxModule& LoadOoxModule() {
  static const OoxModule module = [] {
    OoxModule m;
    Dl_info self{};
    std::string file = PROBELIN_OOX_MODULE;
    if (dladdr(reinterpret_cast<void*>(&LoadOoxModule), &self) != 0 && self.dli_fname != nullptr) {
      std::string where = self.dli_fname;
      size_t slash = where.rfind('/');
      if (slash != std::string::npos) file = where.substr(0, slash + 1) + file;
    }
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) {
      m.path = reinterpret_cast<decltype(m.path)>(dlsym(handle, "probelin_oox_detect_path"));
      m.stream = reinterpret_cast<decltype(m.stream)>(dlsym(handle, "probelin_oox_detect_stream"));
    }
    if (m.path == nullptr || m.stream == nullptr) {
      // Without it every package is a plain zip: say so once.
      std::fprintf(stderr, "probelin: Office package detection is unavailable: %s\n",
                   handle == nullptr ? dlerror() : "entry points missing");
      m = OoxModule{};
    }
    return m;
  }();
  return module;
}

}  // namespace

int DtctOoxml(DtctWork& w, std::istream* stream) {
  DtctInput* in = w.result->input;
  const OoxModule& oox = LoadOoxModule();
  int type = 0;
  if (oox.path == nullptr) return 0;
  if (stream != nullptr) type = oox.stream(stream);
  else if (in != nullptr && in->mode == kDtctModePath && in->path != nullptr)
    type = oox.path(in->path);
  int32_t id = OoxFormatId(type);
  if (id == 0) return 0;
  SetFormat(w, id, 2007);
  return 1;
}

int EmbeddedPackageTest(DtctWork& w, KVB_OleStorage* root) {
  try {
    std::string package;
    if (!FindEmbeddedPackage(root, &package)) return 0;
    std::istringstream in(std::move(package));
    return DtctOoxml(w, &in);
  } catch (...) {
    return 0;
  }
}

// OpenOffice.org 1.x documents.

namespace {

constexpr int64_t kEndSearch = 300;
constexpr int64_t kEndRecordSearch = 50;
constexpr uint32_t kLargestDirectory = 8192;
constexpr uint32_t kLargestPart = 64u << 20;

}  // namespace

const std::string& OpenOfficeMetaSignature() {
  static const std::string kSignature =
      std::string("meta.xml") + "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + "\n" +
      "<!DOCTYPE office:document-meta PUBLIC \"-//OpenOffice.org//DTD OfficeDocument 1.0//EN\" \"office.dtd\">";
  return kSignature;
}

namespace {

// A regular file read by offset; sizes are 64-bit.
class PackageFile {
 public:
  explicit PackageFile(const char* path) : file_(OpenRegularFile(path, &size_)) {}
  ~PackageFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  PackageFile(const PackageFile&) = delete;
  PackageFile& operator=(const PackageFile&) = delete;
  bool ok() const { return file_ != nullptr; }
  int64_t size() const { return size_; }
  // Exactly count bytes at offset, or false.
  bool Read(int64_t offset, void* out, size_t count) {
    if (offset < 0 || int64_t(count) > size_ || offset > size_ - int64_t(count)) return false;
    if (fseeko(file_, off_t(offset), SEEK_SET) != 0) return false;
    return std::fread(out, 1, count, file_) == count;
  }

 private:
  int64_t size_ = 0;
  std::FILE* file_;
};

// zlib's inflate functions, or nulls when the library cannot be opened
// (every part then fails to inflate, as a damaged one does); opened once a
// process.
struct Zlib {
  decltype(&inflateInit2_) init = nullptr;
  decltype(&inflate) run = nullptr;
  decltype(&inflateEnd) end = nullptr;
};

const Zlib& LoadZlib() {
  static const Zlib zlib = [] {
    Zlib z;
    void* handle = dlopen(PROBELIN_ZLIB, RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) {
      z.init = reinterpret_cast<decltype(z.init)>(dlsym(handle, "inflateInit2_"));
      z.run = reinterpret_cast<decltype(z.run)>(dlsym(handle, "inflate"));
      z.end = reinterpret_cast<decltype(z.end)>(dlsym(handle, "inflateEnd"));
    }
    if (z.init == nullptr || z.run == nullptr || z.end == nullptr) {
      std::fprintf(stderr, "probelin: compressed package parts cannot be read: %s\n",
                   handle == nullptr ? dlerror() : "zlib functions missing");
      z = Zlib{};
    }
    return z;
  }();
  return zlib;
}

struct ZipPart {
  uint32_t compressed;
  uint32_t uncompressed;
  uint32_t local_offset;
};

// The inflated bytes of a part, or false when its sizes do not fit the
// file, it is too large, or a read fails.
bool InflatePart(PackageFile& file, const ZipPart& part, std::vector<uint8_t>* text) {
  if (part.compressed == 0 || part.uncompressed == 0 || part.uncompressed > kLargestPart) return false;
  uint8_t local[30];
  if (!file.Read(part.local_offset, local, sizeof local)) return false;
  ByteView l{local, sizeof local};
  int64_t data = int64_t(part.local_offset) + 30 + l.Le16(26) + l.Le16(28);
  if (data + int64_t(part.compressed) > file.size()) return false;
  std::vector<uint8_t> packed;
  try {
    packed.resize(part.compressed);
    text->assign(size_t(part.uncompressed) + 1, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!file.Read(data, packed.data(), packed.size())) return false;
  const Zlib& zlib = LoadZlib();
  z_stream z{};
  if (zlib.init == nullptr || zlib.init(&z, -15, ZLIB_VERSION, int(sizeof z)) != Z_OK) return false;
  z.next_in = packed.data();
  z.avail_in = uInt(packed.size());
  z.next_out = text->data();
  z.avail_out = uInt(text->size());
  zlib.run(&z, Z_FINISH);
  text->resize(z.total_out);
  zlib.end(&z);
  return true;
}

size_t Find(const std::vector<uint8_t>& text, const char* what, size_t from = 0) {
  size_t n = std::strlen(what);
  for (size_t at = from; at + n <= text.size(); ++at)
    if (std::memcmp(text.data() + at, what, n) == 0) return at;
  return std::string::npos;
}

// The styles part: the language of its first Asian country attribute.
int32_t StylesLanguage(const std::vector<uint8_t>& text) {
  static const struct {
    const char* value;
    int32_t language;
  } kCountries[] = {{"\"JP\"", kJapanese}, {"\"CN\"", kSimplifiedChinese}, {"\"KR\"", kKorean},
                    {"\"TW\"", kTraditionalChinese}, {"\"US\"", kEnglish}};
  const char kAttribute[] = "style:country-asian=";
  for (size_t at = Find(text, kAttribute); at != std::string::npos; at = Find(text, kAttribute, at + 1)) {
    ByteView v{text.data(), text.size()};
    for (const auto& c : kCountries)
      if (v.Equals(at + sizeof kAttribute - 1, c.value)) return c.language;
  }
  return kEnglish;
}

// The content part: the document's format id, or 0.
int32_t ContentFormat(const std::vector<uint8_t>& text) {
  size_t cls = Find(text, "class=");
  size_t math = Find(text, "<!DOCTYPE math:math PUBLIC");
  if (math != std::string::npos && (cls == std::string::npos || math < cls)) return 385;
  if (cls == std::string::npos) return 0;
  static const struct {
    const char* value;
    int32_t id;
  } kClasses[] = {{"\"spreadsheet\"", 381}, {"\"drawing\"", 382}, {"\"text-global\"", 383},
                  {"\"presentation\"", 384}, {"\"text\"", 386}, {"\"label\"", 386}};
  ByteView v{text.data(), text.size()};
  for (const auto& c : kClasses)
    if (v.Equals(cls + 6, c.value)) return c.id;
  return 0;
}

bool HasMetaSignature(PackageFile& file, const uint8_t* end, size_t n) {
  const std::string& signature = OpenOfficeMetaSignature();
  ByteView e{end, n};
  std::vector<uint8_t> bytes(signature.size());
  for (size_t at = 4; at + 8 <= n; ++at) {
    if (!e.Equals(at, "meta.xml")) continue;
    int64_t local = e.Le32(at - 4);
    if (file.Read(local + 30, bytes.data(), bytes.size()) && std::memcmp(bytes.data(), signature.data(), bytes.size()) == 0)
      return true;
  }
  return false;
}

}  // namespace

int TestOpenOffice(DtctWork& w) {
  DtctInput* in = w.result->input;
  if (in == nullptr || in->mode != kDtctModePath) return 0;
  PackageFile file(in->path);
  if (!file.ok() || file.size() < kEndSearch) return 0;
  uint8_t end[kEndSearch];
  if (!file.Read(file.size() - kEndSearch, end, sizeof end)) return 0;
  if (!HasMetaSignature(file, end, sizeof end)) return 0;

  // The end record must lie in the last 50 bytes (a comment of at most 28).
  ByteView last{end + kEndSearch - kEndRecordSearch, kEndRecordSearch};
  size_t record = SIZE_MAX;
  for (size_t at = 0; at + 20 <= last.size; ++at)
    if (last.Equals(at, "PK\x05\x06")) {
      record = at;
      break;
    }
  if (record == SIZE_MAX) return 0;
  uint32_t directory_size = last.Le32(record + 12), directory_offset = last.Le32(record + 16);
  if (directory_size > kLargestDirectory) return 0;
  std::vector<uint8_t> directory(directory_size);
  if (!file.Read(directory_offset, directory.data(), directory.size())) return 0;

  ByteView d{directory.data(), directory.size()};
  bool content_done = false, styles_done = false;
  int32_t language = kNoLanguage;
  for (size_t at = 0; d.Equals(at, "PK\x01\x02") && d.Has(at, 46);) {
    size_t name_length = d.Le16(at + 28);
    size_t next = at + 46 + name_length + d.Le16(at + 30) + d.Le16(at + 32);
    if (!d.Has(at + 46, name_length)) break;
    std::string name(reinterpret_cast<const char*>(d.data + at + 46), name_length);
    if (name == "content.xml" || name == "styles.xml") {
      ZipPart part{d.Le32(at + 20), d.Le32(at + 24), d.Le32(at + 42)};
      std::vector<uint8_t> text;
      if (!InflatePart(file, part, &text)) return 0;
      if (name == "content.xml") {
        int32_t id = ContentFormat(text);
        if (id == 0) return 0;
        SetFormat(w, id, 1);
        content_done = true;
        if (id == 385) {
          language = kNoLanguage;
          styles_done = true;
          break;
        }
      } else {
        language = StylesLanguage(text);
        styles_done = true;
      }
      if (content_done && styles_done) break;
    }
    if (next > d.size) break;
    at = next;
  }
  if (!content_done || !styles_done) {
    SetFormat(w, 0, 0);
    return 0;
  }
  w.result->sub = 1;
  w.language = language;
  return 1;
}

// Outlook messages.

namespace {

struct VersionText {
  const char* text;
  int32_t sub;
};
constexpr VersionText kVersionTexts[] = {{"9.0", 2003}, {"10.0", 2003}, {"11.0", 2003}, {"12.0", 2007}, {"14.0", 2010}};

// The text as it is stored: bytes, or UTF-16LE.
std::string Stored(const char* text, bool wide) {
  std::string out;
  for (const char* c = text; *c; ++c) {
    out.push_back(*c);
    if (wide) out.push_back('\0');
  }
  return out;
}

// Where needle lies in hay (at even offsets for UTF-16), or npos.
size_t FindStored(const uint8_t* hay, size_t n, const std::string& needle, bool wide) {
  size_t step = wide ? 2 : 1;
  for (size_t at = 0; at + needle.size() <= n; at += step)
    if (std::memcmp(hay + at, needle.data(), needle.size()) == 0) return at;
  return std::string::npos;
}

int32_t VersionIn(const uint8_t* bytes, size_t n, bool wide) {
  for (const VersionText& v : kVersionTexts)
    if (FindStored(bytes, n, Stored(v.text, wide), wide) != std::string::npos) return v.sub;
  return 0;
}

constexpr const char* kNamedProperties[] = {"8001", "8005", "8006", "8007", "8015", "8016",
                                            "8003", "8004", "8013", "8014", "8002", "8012"};

struct IndexPrefix {
  uint8_t length;
  uint8_t bytes[4];
  int32_t sub;
};
constexpr IndexPrefix kIndexPrefixes[] = {
    {4, {0x01, 0xCC, 0x78, 0x24}, 2003}, {3, {0x01, 0xCC, 0x7C}, 2003}, {3, {0x01, 0xCC, 0x86}, 2003},
    {3, {0x01, 0xCC, 0x87}, 2003},       {3, {0x01, 0xCC, 0x8E}, 2003}, {4, {0x01, 0xCC, 0x76, 0xC5}, 2003},
    {4, {0x01, 0xCC, 0x19, 0xBA}, 2003}, {3, {0x01, 0xCC, 0x99}, 2003}, {3, {0x01, 0xC6, 0x2D}, 2003},
    {3, {0x01, 0xCC, 0x8B}, 2003},       {3, {0x01, 0xCC, 0xA2}, 2003}, {3, {0x01, 0xCC, 0x7D}, 2007},
    {3, {0x01, 0xCC, 0x77}, 2007},       {2, {0x01, 0x00}, 2010},       {2, {0x01, 0x01}, 2010},
    {2, {0x01, 0x02}, 2010},             {2, {0x01, 0x03}, 2010},       {2, {0x01, 0xCC}, 2010}};

}  // namespace

int32_t MessageVersion(KVB_OleStorage* root, bool wide) {
  const char* suffix = wide ? "001F" : "001E";
  for (const char* tag : kNamedProperties) {
    std::string name = std::string("__substg1.0_") + tag + suffix;
    KVB_OleStream* s = KVB_2OLEopenStream(root, name.c_str());
    if (s == nullptr) continue;
    uint8_t head[512];
    int got = KVB_2OLEreadStream(s, head, sizeof head);
    KVB_2OLEcloseStream(s);
    int32_t sub = got > 0 ? VersionIn(head, size_t(got), wide) : 0;
    if (sub != 0) return sub;
  }
  std::vector<uint8_t> headers;
  if (ReadWholeStream(root, (std::string("__substg1.0_007D") + suffix).c_str(), &headers)) {
    size_t at = FindStored(headers.data(), headers.size(), Stored("X-Mailer:", wide), wide);
    if (at != std::string::npos) {
      size_t from = at + Stored("X-Mailer:", wide).size(), end = from;
      size_t unit = wide ? 2 : 1;
      while (end + unit <= headers.size() && !((headers[end] == '\r' || headers[end] == '\n') && (!wide || headers[end + 1] == 0)))
        end += unit;
      int32_t sub = VersionIn(headers.data() + from, end - from, wide);
      if (sub != 0) return sub;
    }
  }
  KVB_OleStream* index = KVB_2OLEopenStream(root, "__substg1.0_00710102");
  if (index == nullptr) return 0;
  uint8_t first[4] = {};
  int got = KVB_2OLEreadStream(index, first, sizeof first);
  KVB_2OLEcloseStream(index);
  for (const IndexPrefix& p : kIndexPrefixes)
    if (got >= p.length && std::memcmp(first, p.bytes, p.length) == 0) return p.sub;
  return 0;
}

}  // namespace probelin

namespace probelin {

// The package a compound file's "\001Ole10Native" stream wraps: its total
// length, then the package's own length just before its "PK".
bool FindEmbeddedPackage(KVB_OleStorage* storage, std::string* package) {
  std::vector<uint8_t> native;
  if (!ReadWholeStream(storage, "\x01" "Ole10Native", &native) || native.size() <= 10) return false;
  ByteView b{native.data(), native.size()};
  int64_t total = b.Le32(0), size = int64_t(native.size());
  for (int64_t i = 4; i + 2 <= size; ++i) {
    if (native[size_t(i)] != 'P' || native[size_t(i) + 1] != 'K') continue;
    int64_t length = b.Le32(size_t(i) - 4);
    // Both numbers come from the stream: the package must lie inside it.
    if (total - i + 2 != length || length <= 0 || i + length > size) continue;
    package->assign(reinterpret_cast<const char*>(native.data() + i), size_t(length));
    return true;
  }
  return false;
}

}  // namespace probelin

extern "C" int getMSOffice2007DataAsMemStream(KVB_OleStorage* storage, ObraCommon::ZelMemStream* out) {
  if (storage == nullptr || out == nullptr) return 0;
  try {
    std::string package;
    if (!probelin::FindEmbeddedPackage(storage, &package)) return 0;
    out->write(package.data(), std::streamsize(package.size()));
    return out->good() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}
