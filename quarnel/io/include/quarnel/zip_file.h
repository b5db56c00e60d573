// The zip package reader: a walk over the local file headers from the
// first byte (the central directory answers instead when an entry keeps its
// sizes elsewhere), one reference-counted entry per stored file, and each
// file's bytes as a standard input stream, as stored or inflated. Stored and
// deflated entries are checked against their CRC-32 and size at the end of
// their data; a mismatch, damaged deflate data or data outside the source
// set badbit on the reading stream after every good byte. Nothing throws.
//
// On top of it the package conventions of Office Open XML: the content
// types of "[Content_Types].xml", the relationships of the package and of
// each part, the main document and its kind (detectOOXDocument). Those XML
// parts are read by the library's own parser, which opens nothing outside
// the package, and each is read no further than 16 MiB of inflated text.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <istream>
#include <map>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include <unicode/unistr.h>

#include "quarnel/export.h"
#include "quarnel/object_base.h"
#include "quarnel/zel_ptr.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelZipEntry : public ZelRCObject {
 public:
  enum : uint32_t {
    LOCAL_HEADER = 0x04034B50u,
    DATA_DESCRIPTOR = 0x08074B50u,
    CENTRAL_HEADER = 0x02014B50u,
    END_OF_CENTRAL = 0x06054B50u,
  };

  // Reads the signature at the stream's position, which then stands after
  // it.
  explicit ZelZipEntry(std::istream& source);
  ~ZelZipEntry() override;

  unsigned int getTypeID() const override { return getStaticTypeID(); }
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return 0xB84B5A40u; }

  uint32_t getSignature() const { return m_signature; }
  // The four bytes at the stream's position (0 when fewer remain); the
  // stream does not move.
  static uint32_t getSignature(std::istream& stream);
  static uint32_t read32(std::istream& stream);

 protected:
  uint16_t read16();
  uint32_t read32();

  std::istream& m_source;
  uint64_t m_position;  // of the signature's first byte
  uint32_t m_signature;
};

class QUARNEL_API ZelZipFileEntry : public ZelZipEntry {
 public:
  enum CMETHOD : uint16_t { STORED = 0, DEFLATED = 8 };

  // Reads a local file header at the stream's position and leaves the
  // stream on the next record (after the compressed data).
  explicit ZelZipFileEntry(std::istream& source);
  ~ZelZipFileEntry() override;

  unsigned int getTypeID() const override { return getStaticTypeID(); }
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return 0x1E3480DFu; }

  CMETHOD getCompressionMethod() const { return static_cast<CMETHOD>(m_method); }
  unsigned int getCompressedSize() const { return m_compressedSize; }
  unsigned int getUncompressedSize() const { return m_uncompressedSize; }
  const UnicodeString& getFileName() const { return m_fileName; }
  const UnicodeString& getContentType() const { return m_contentType; }

  // With newStream false the entry keeps the stream and hands it out again,
  // rewound and with its state cleared; with true the caller owns a new
  // one. Null only when memory is lacking. Data is read from the source as
  // it is needed; a new stream over a source the package owns keeps that
  // source alive, one over a caller's source reads a copy of the entry's
  // compressed bytes.
  std::istream* getCompressedStream(bool newStream);
  std::istream* getUncompressedStream(bool newStream);

  using RelationshipMap = std::map<UnicodeString, UnicodeString>;

 protected:
  // The package keeps these fields of its parts.
  void setContentType(const UnicodeString& contentType) { m_contentType = contentType; }
  RelationshipMap& getRelationshipsIdMap() { return m_relsById; }
  RelationshipMap& getRelationshipsTypeMap() { return m_relsByType; }
  RelationshipMap& getRelationshipsTargetMode() { return m_relTargetModes; }

 private:
  friend class ZelZipFile;
  ZelZipFileEntry(std::istream& source, uint64_t sourceSize);
  // Whether the data lies wholly inside the source and may be read.
  bool dataInSource() const;
  // The source a new stream reads: shared with the package when the package
  // owns it, else a private copy of the compressed bytes.
  std::shared_ptr<std::istream> sourceForNewStream();

  uint16_t m_versionNeeded = 0;
  uint16_t m_flags = 0;
  uint16_t m_method = 0;
  uint16_t m_modTime = 0;
  uint16_t m_modDate = 0;
  uint32_t m_crc32 = 0;
  uint32_t m_compressedSize = 0;
  uint32_t m_uncompressedSize = 0;
  uint16_t m_fileNameLength = 0;
  uint16_t m_extraLength = 0;
  UnicodeString m_fileName;
  UnicodeString m_contentType;
  std::string m_rawName;
  uint64_t m_dataOffset = 0;
  uint64_t m_sourceSize = 0;
  bool m_tooLarge = false;  // sizes that need more than 32 bits
  std::shared_ptr<std::istream> m_sharedSource;  // set when the package owns its source
  std::unique_ptr<std::istream> m_compressedStream;
  std::unique_ptr<std::istream> m_uncompressedStream;
  RelationshipMap m_relsById;
  RelationshipMap m_relsByType;
  RelationshipMap m_relTargetModes;
};

class QUARNEL_API ZelInflaterStreamBuf : public std::basic_streambuf<char> {
 public:
  ZelInflaterStreamBuf(const unsigned char* bytes, unsigned int length, bool copy);
  // Inflates `length` bytes of a seekable source from `offset`, read in
  // blocks, so that memory stays bounded by the window and a block. Each
  // block is read at its own position: streams may share a source.
  ZelInflaterStreamBuf(std::shared_ptr<std::istream> source, uint64_t offset, uint64_t length);
  ZelInflaterStreamBuf(const ZelInflaterStreamBuf&) = delete;
  ZelInflaterStreamBuf& operator=(const ZelInflaterStreamBuf&) = delete;
  ~ZelInflaterStreamBuf() override;

  // The inflated data never grows past the size and must end with exactly
  // that size and, when crcKnown, this CRC-32.
  void expect(uint32_t crc, uint64_t size, bool crcKnown = true);
  void reset();
  int_type underflow() override;

 protected:
  // Large reads are inflated straight into the caller's buffer.
  std::streamsize xsgetn(char* out, std::streamsize count) override;

 private:
  // Inflates at most room bytes into out; the count made.
  size_t inflateInto(char* out, size_t room);
  char* outputBuffer();

  z_stream m_zs{};
  bool m_zsReady = false;
  // Inflated bytes with room in front for 10 put-back bytes: large, so
  // that zlib is called seldom and copies little into its window.
  static constexpr size_t kPutBack = 10;
  static constexpr size_t kOutput = 256 * 1024;
  std::unique_ptr<char[]> m_buffer;
  size_t m_bufferSize = 0;
  std::unique_ptr<unsigned char[]> m_copy;
  const unsigned char* m_bytes = nullptr;
  uint64_t m_length = 0;
  std::shared_ptr<std::istream> m_source;  // null: the input is m_bytes
  uint64_t m_offset = 0;
  uint64_t m_taken = 0;  // input read from the source so far
  std::unique_ptr<unsigned char[]> m_block;
  size_t m_blockSize = 0;
  bool m_check = false;
  bool m_checkCrc = false;
  uint32_t m_expectedCrc = 0;
  uint64_t m_expectedSize = 0;
  uLong m_crc = 0;
  uint64_t m_total = 0;
  bool m_done = false;
  bool m_error = false;
};

class QUARNEL_API ZelInflaterStream : public std::istream {
 public:
  ZelInflaterStream(const unsigned char* bytes, unsigned int length, bool copy);
  ZelInflaterStream(std::shared_ptr<std::istream> source, uint64_t offset, uint64_t length);
  ~ZelInflaterStream() override;
  void reset();
  ZelInflaterStreamBuf* rdbuf() const { return const_cast<ZelInflaterStreamBuf*>(&m_buf); }

 private:
  ZelInflaterStreamBuf m_buf;
};

class QUARNEL_API ZelZipFile {
 public:
  // The kind of Office document, told by the content type of the main part.
  enum OOXDOCUMENT_TYPE : int {
    OOXDOCUMENT_NONE = 0,
    OOXDOCUMENT_WORD_DOCUMENT = 1,
    OOXDOCUMENT_WORD_DOCUMENT_MACRO = 2,
    OOXDOCUMENT_WORD_TEMPLATE = 3,
    OOXDOCUMENT_WORD_TEMPLATE_MACRO = 4,
    OOXDOCUMENT_EXCEL_WORKBOOK = 5,
    OOXDOCUMENT_EXCEL_WORKBOOK_MACRO = 6,
    OOXDOCUMENT_EXCEL_TEMPLATE = 7,
    OOXDOCUMENT_EXCEL_TEMPLATE_MACRO = 8,
    OOXDOCUMENT_EXCEL_BINARY = 9,
    OOXDOCUMENT_POWERPOINT_PRESENTATION = 10,
    OOXDOCUMENT_POWERPOINT_PRESENTATION_MACRO = 11,
    OOXDOCUMENT_POWERPOINT_SLIDESHOW = 12,
    OOXDOCUMENT_POWERPOINT_SLIDESHOW_MACRO = 13,
    OOXDOCUMENT_POWERPOINT_TEMPLATE = 14,
    OOXDOCUMENT_POWERPOINT_TEMPLATE_MACRO = 15,
    OOXDOCUMENT_THEME = 16,
  };

  ZelZipFile();
  explicit ZelZipFile(const char* path);
  explicit ZelZipFile(const UnicodeString& path);
  ZelZipFile(std::istream* stream, bool owns);
  // A copy shares the entries and the source; a source the original owns
  // lives as long as either of them.
  ZelZipFile(const ZelZipFile& other);
  ZelZipFile& operator=(const ZelZipFile& other);
  virtual ~ZelZipFile();

  void open(const UnicodeString& path);
  void open(const char* path);
  void open(std::istream* stream, bool owns);

  unsigned int getFileEntryCount() const { return static_cast<unsigned int>(m_entries.size()); }
  ZelZipFileEntry* getFileEntry(unsigned int index) const;
  ZelZipFileEntry* getFileEntry(const UnicodeString& name) const;

  static bool isZipFile(std::istream* stream);
  static bool isZipFile(const char* path);
  static bool isZipFile(const UnicodeString& path);

  // The entry's content type, read from "[Content_Types].xml" when still
  // unknown; the shared empty text for a null entry or a package without
  // that part.
  const UnicodeString& getContentType(ZelZipFileEntry* entry);
  // The relationships of the source (null: the package), read on first
  // need; the target, or the shared empty text.
  const UnicodeString& getRelationshipTargetFromId(const UnicodeString& id, ZelZipFileEntry* source);
  const UnicodeString& getRelationshipTargetFromType(const UnicodeString& type, ZelZipFileEntry* source);
  // "Internal" unless the relationship says otherwise.
  UnicodeString getRelationshipTargetMode(const UnicodeString& id, ZelZipFileEntry* source);
  // The part the package's officeDocument relationship names, or null.
  ZelZipFileEntry* getOfficeDocument();
  OOXDOCUMENT_TYPE detectOOXDocument();

  // Detection of a package on a path (UTF-8) or on a stream. Nothing
  // throws: any failure answers OOXDOCUMENT_NONE. A stream that was good
  // stands where it stood, state cleared.
  static OOXDOCUMENT_TYPE detectOOXDocument(const char* path);
  static OOXDOCUMENT_TYPE detectOOXDocument(const UnicodeString& path);
  static OOXDOCUMENT_TYPE detectOOXDocument(std::istream* stream);

 private:
  void init();
  void readContentTypes();
  void loadRelationships(ZelZipFileEntry* source);
  void releaseSource();
  bool readCentralDirectory(uint64_t size, std::vector<ZelPtr<ZelZipFileEntry>>& out);

  std::istream* m_source = nullptr;
  bool m_ownsSource = false;
  // Owns an owned source: it is deleted once the package, its copies, its
  // entries and the new streams handed out over it are all gone.
  std::shared_ptr<std::istream> m_sharedSource;
  std::vector<ZelPtr<ZelZipFileEntry>> m_entries;
  std::map<UnicodeString, ZelPtr<ZelZipFileEntry>> m_byName;
  std::map<UnicodeString, UnicodeString> m_relsById;
  std::map<UnicodeString, UnicodeString> m_relsByType;
  std::map<UnicodeString, UnicodeString> m_relTargetModes;
  // The content-type part gives the same answer every time it is read.
  bool m_contentTypesRead = false;
};

}  // namespace ObraCommon
