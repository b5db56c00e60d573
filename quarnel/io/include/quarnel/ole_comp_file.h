// Read-only access to OLE2 compound files (the published Compound File
// Binary format) through a MekIOobj: the header, the allocation tables,
// the directory, and streams opened by a path of names. Sizes, sector
// numbers, positions and directory ids are 32-bit and signed, so -1 (free)
// and -2 (end of chain) keep their meaning. Nothing here throws.
//
// Every walk over the file's tables is bounded: chains stop at a loop, at
// a sector the tables do not describe or the file does not hold, and after
// at most as many steps as the file has sectors, so a damaged or hostile
// file is refused or read short, never followed for ever.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>
#include <unordered_map>
#include <vector>

#include <unicode/unistr.h>

#include "quarnel/export.h"

namespace ObraCommon {

using icu::UnicodeString;

class MekIOobj;
class ZelUri;
class OleStream;

enum OleStorageType : int32_t {
  OLE_STORAGE_INVALID = 0,
  OLE_STORAGE_STORAGE = 1,
  OLE_STORAGE_STREAM = 2,
  OLE_STORAGE_LOCKBYTES = 3,
  OLE_STORAGE_PROPERTY = 4,
  OLE_STORAGE_ROOT = 5,
};

enum OLEDOCUMENT_TYPE : int32_t {
  OLE_DOCUMENT_NONE = 0,
  OLE_DOCUMENT_WORD = 1,
  OLE_DOCUMENT_WORKBOOK = 2,
  OLE_DOCUMENT_PRESENTATION = 3,
  OLE_DOCUMENT_VIEW_STYLES = 4,
};

struct OLE_CLSID {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  uint8_t Data4[8] = {};
};

// Names (UTF-8, zero-terminated, not owned) from a child of the root down
// to the entry; count is 1 to 4.
struct OleDirPath {
  int32_t count = 0;
  const char* names[4] = {};
};

class QUARNEL_API OleDirInfo {
 public:
  // The 128 bytes of a directory entry; false when its name length passes
  // 64 bytes.
  bool parse(const unsigned char* entry, bool littleEndian);
  // Equal after both sides are upper-cased.
  bool compareName(const char* name) const;
  // The same against a name already upper-cased.
  bool compareUpperName(const UnicodeString& upper) const { return m_upperName == upper; }
  const UnicodeString& getUpperName() const { return m_upperName; }

  bool isStorage() const { return m_type == OLE_STORAGE_STORAGE; }
  bool isStream() const { return m_type == OLE_STORAGE_STREAM; }
  bool isRoot() const { return m_type == OLE_STORAGE_ROOT; }
  OleStorageType getStorageType() const { return m_type; }
  int32_t getDirID() const { return m_dirId; }
  void setDirID(int32_t id) { m_dirId = id; }
  int32_t getLeftSiblingID() const { return m_left; }
  int32_t getRightSiblingID() const { return m_right; }
  int32_t getChildID() const { return m_child; }
  int32_t getStartSect() const { return m_start; }
  // Negative when the entry declares 2 GiB or more.
  int32_t getStreamSize() const { return m_size; }
  const UnicodeString& getName() const { return m_name; }
  uint32_t getColour() const { return m_colour; }
  const uint8_t* getClassID() const { return m_classId; }
  uint32_t getStateBits() const { return m_stateBits; }

 private:
  UnicodeString m_name;
  UnicodeString m_upperName;
  OleStorageType m_type = OLE_STORAGE_INVALID;
  uint32_t m_colour = 0;
  int32_t m_dirId = -1;
  int32_t m_left = -1;
  int32_t m_right = -1;
  int32_t m_child = -1;
  uint8_t m_classId[16] = {};
  uint32_t m_stateBits = 0;
  uint8_t m_created[8] = {};
  uint8_t m_modified[8] = {};
  int32_t m_start = -1;
  int32_t m_size = 0;
};

class QUARNEL_API OleCompFile {
 public:
  OleCompFile();
  // The tables are owned; a copy would share and free them twice.
  OleCompFile(const OleCompFile&) = delete;
  OleCompFile& operator=(const OleCompFile&) = delete;
  virtual ~OleCompFile();

  bool OLEopen(const char* path);
  bool OLEopen(MekIOobj* io);

  OleStream* OLEopenStream(const OleDirPath* path);
  OleStream* OLEopenObject(const OleDirPath* path);
  void OLEcloseStream(OleStream* stream);

  int32_t getDirIndex(const OleDirPath* path) const;
  const OleDirInfo* getDirInfo(int32_t id) const;
  int32_t getNextBlock(int32_t sector, bool mini) const;
  const std::vector<OleDirInfo>& getDirVec() const { return m_dir; }

  bool isLittleEndian() const { return m_littleEndian; }
  const char* getVersion() const { return m_version.c_str(); }
  uint16_t getBlockShift(bool mini) const { return mini ? m_miniShift : m_sectorShift; }
  int32_t getDirStartBlock() const { return m_dirStart; }
  int32_t getMiniFatCutoff() const { return m_miniCutoff; }
  int32_t getMiniFatStartBlock() const { return m_miniFatStart; }
  int32_t getMiniFatBlockCount() const { return m_miniFatCount; }
  int32_t getIndirectFatStartBlock() const { return m_difatStart; }
  int32_t getIndirectFatBlockCount() const { return m_difatCount; }
  int32_t getFatBlockCount() const { return m_fatCount; }
  int32_t getBytesPerBlock() const { return m_bytesPerSector; }
  int32_t getBytesPerMini() const { return m_bytesPerMini; }
  int32_t getMinisPerBlock() const { return m_minisPerSector; }
  int32_t getLongsPerBlock() const { return m_longsPerSector; }
  int32_t getMiniStartSect() const { return m_miniStreamStart; }
  int32_t getDirCount() const { return m_dirCount; }

  bool SeekIO(long offset, int whence);
  int ReadIO(unsigned char* buffer, int count);
  int ReadIO(char* buffer, int count);

  // Whether the stream begins with a compound file's 512-byte header; the
  // bytes stay consumed.
  static bool isOLEUri(std::istream& in);
  static bool isOLEUri(const ZelUri& uri);
  static OLEDOCUMENT_TYPE detectOLEDocument(std::istream& in);
  static OLEDOCUMENT_TYPE detectOLEDocument(const ZelUri& uri);

 protected:
  bool OLEopenSub();
  bool parseHeader();
  bool buildFAT();
  bool buildMiniFAT();
  bool buildDirInfo();
  bool readBlock(int32_t sector);
  int32_t findDirEntryByName(const OleDirInfo* entry, const char* name) const;

 private:
  friend class OleStream;
  uint32_t decode32(const unsigned char* p) const;
  uint16_t decode16(const unsigned char* p) const;
  OleStream* openAt(int32_t index);
  // Byte offset in the file of sector `sector` of the mini stream, -1
  // when the mini stream holds no such sector.
  int64_t miniStreamSectorOffset(int32_t miniSector);
  // Appends a sector table's entries (sector after sector, `count` of them
  // at most) from the sector buffer.
  void decodeTable(std::vector<int32_t>* table);
  bool loadImage();
  bool readAt(int64_t offset, unsigned char* buffer, int count);
  int readFrom(int64_t offset, unsigned char* buffer, int count);
  using NameIndex = std::unordered_map<std::u16string, int32_t>;
  const NameIndex* indexOf(const OleDirInfo* entry) const;

  MekIOobj* m_io = nullptr;
  bool m_ownsIo = false;
  bool m_littleEndian = true;
  std::string m_version;
  uint16_t m_sectorShift = 0;
  uint16_t m_miniShift = 0;
  int32_t m_dirStart = -1;
  int32_t m_miniCutoff = 0;
  int32_t m_miniFatStart = -1;
  int32_t m_miniFatCount = 0;
  int32_t m_difatStart = -1;
  int32_t m_difatCount = 0;
  int32_t m_fatCount = 0;
  int32_t m_bytesPerSector = 0;
  int32_t m_bytesPerMini = 0;
  int32_t m_minisPerSector = 0;
  int32_t m_longsPerSector = 0;
  int32_t m_miniStreamStart = -1;
  bool m_rootRead = false;
  int32_t m_dirCount = 0;
  std::vector<OleDirInfo> m_dir;
  std::vector<int32_t> m_difat;
  std::vector<int32_t> m_fat;
  std::vector<int32_t> m_miniFat;
  std::vector<unsigned char> m_sector;
  int64_t m_fileSize = 0;
  int64_t m_sectorsInFile = 0;
  // The mini stream's sectors, resolved once at the first mini-stream seek.
  std::vector<int32_t> m_miniStream;
  bool m_miniStreamResolved = false;
  // The whole file, when it was read at the open; null when sectors are
  // read through the I/O object.
  std::unique_ptr<unsigned char[]> m_image;
  // Upper-cased names of the entries reachable from a tree's first entry,
  // by that entry's id, built on the first lookup in the tree.
  mutable std::unordered_map<int32_t, NameIndex> m_names;
  mutable size_t m_namesHeld = 0;
};

class QUARNEL_API OleStream {
 public:
  explicit OleStream(OleCompFile* file);
  OleStream(const OleStream&) = delete;
  OleStream& operator=(const OleStream&) = delete;
  virtual ~OleStream();

  virtual int32_t OLEseek(int32_t offset, int whence);
  virtual int32_t OLEtell();
  virtual int OLEread(unsigned char* buffer, unsigned int count);
  virtual int32_t GetStreamSize();
  // Writes the stream after its length-prefixed header into a file that is
  // created or truncated; false on any failed open, seek or write.
  virtual bool CopyToFile(unsigned char* path);
  virtual bool GetStreamChain(int32_t dirIndex);
  virtual bool GetStreamChainIndex(int32_t index);

  bool isMini() const { return m_mini != 0; }

 private:
  // File offset of the stream's unit (sector or mini sector) `index`; -1
  // when the chain holds none there.
  int64_t unitOffset(int32_t index);

  OleCompFile* m_file;
  std::vector<int32_t> m_chain;
  int32_t m_next = -2;
  int32_t m_size = 0;
  int m_mini = 0;
  int32_t m_pos = -1;
  // Sectors already in the chain, indexed by sector number.
  std::vector<bool> m_seen;
};

class QUARNEL_API ZelOleStreamBuf : public std::streambuf {
 public:
  // limit: bytes to deliver at most; negative: the whole stream.
  ZelOleStreamBuf(OleStream* stream, int limit);
  ZelOleStreamBuf(const ZelOleStreamBuf&) = delete;
  ZelOleStreamBuf& operator=(const ZelOleStreamBuf&) = delete;
  ~ZelOleStreamBuf() override;

 protected:
  int_type underflow() override;

 private:
  static constexpr int kPiece = 4096;
  char* m_buffer = nullptr;
  OleStream* m_stream;
  int32_t m_start;
  int m_limit;
  int m_pieces = 0;
};

class QUARNEL_API ZelOleStream : public std::istream {
 public:
  ZelOleStream(OleStream* stream, int limit);
  ZelOleStream(const ZelOleStream&) = delete;
  ZelOleStream& operator=(const ZelOleStream&) = delete;
  ~ZelOleStream() override;

 private:
  ZelOleStreamBuf m_buf;
};

}  // namespace ObraCommon
