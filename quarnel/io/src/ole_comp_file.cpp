// The compound-file reader. It stands apart from the engine's own reader:
// it follows the file's byte order, takes any sector size of 128 bytes or
// more, matches names without regard to case and reads chains lazily. The
// bounds are its own for that reason, but they are the same rules: a
// sector is read only when it is non-negative and lies within the file,
// and every walk ends at a loop or after as many steps as the file has
// sectors.
#include "quarnel/ole_comp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "quarnel/io_object.h"
#include "quarnel/uri.h"

namespace ObraCommon {

namespace {

constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr int kHeaderSize = 512;
constexpr int kEntrySize = 128;
constexpr int kHeaderDifatEntries = 109;
constexpr int32_t kEndOfChain = -2;
constexpr int32_t kFatSector = -3;

uint32_t Get32(const unsigned char* p, bool little) {
  return little ? (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24)
                : (uint32_t{p[3]} | uint32_t{p[2]} << 8 | uint32_t{p[1]} << 16 | uint32_t{p[0]} << 24);
}

uint16_t Get16(const unsigned char* p, bool little) {
  return static_cast<uint16_t>(little ? (p[0] | p[1] << 8) : (p[1] | p[0] << 8));
}

}  // namespace

// ---------------------------------------------------------------------------
// Directory entries

bool OleDirInfo::parse(const unsigned char* e, bool little) {
  const uint16_t nameBytes = Get16(e + 64, little);
  if (nameBytes > 64) return false;
  m_name.remove();
  for (int i = 0; i < nameBytes / 2; ++i) {
    const char16_t unit = Get16(e + 2 * i, little);
    if (unit != 0) m_name.append(unit);
  }
  // Names are compared without regard to case, many times per file.
  m_upperName = m_name;
  m_upperName.toUpper();
  const uint8_t type = e[66];
  m_type = type >= 1 && type <= 5 ? static_cast<OleStorageType>(type) : OLE_STORAGE_INVALID;
  m_colour = e[67];
  m_left = static_cast<int32_t>(Get32(e + 68, little));
  m_right = static_cast<int32_t>(Get32(e + 72, little));
  m_child = static_cast<int32_t>(Get32(e + 76, little));
  const bool container = m_type == OLE_STORAGE_STORAGE || m_type == OLE_STORAGE_ROOT;
  const bool data = m_type == OLE_STORAGE_STREAM || m_type == OLE_STORAGE_ROOT;
  if (container) {
    std::memcpy(m_classId, e + 80, 16);
    m_stateBits = Get32(e + 96, little);
    std::memcpy(m_created, e + 100, 8);
    std::memcpy(m_modified, e + 108, 8);
  } else {
    std::memset(m_classId, 0, 16);
    m_stateBits = 0;
    std::memset(m_created, 0, 8);
    std::memset(m_modified, 0, 8);
  }
  m_start = data ? static_cast<int32_t>(Get32(e + 116, little)) : -1;
  m_size = data ? static_cast<int32_t>(Get32(e + 120, little)) : 0;
  return true;
}

bool OleDirInfo::compareName(const char* name) const {
  if (name == nullptr) return false;
  UnicodeString wanted = UnicodeString::fromUTF8(name);
  return compareUpperName(wanted.toUpper());
}

// ---------------------------------------------------------------------------
// Opening

OleCompFile::OleCompFile() = default;

OleCompFile::~OleCompFile() {
  if (m_io != nullptr) {
    m_io->Close();
    if (m_ownsIo) delete m_io;
  }
}

bool OleCompFile::OLEopen(const char* path) {
  if (m_io != nullptr || path == nullptr) return false;
  m_io = new MekFileIOobj(path, "rb");
  m_ownsIo = true;
  return OLEopenSub();
}

bool OleCompFile::OLEopen(MekIOobj* io) {
  if (m_io != nullptr || io == nullptr) return false;
  m_io = io;
  m_ownsIo = false;
  return OLEopenSub();
}

bool OleCompFile::OLEopenSub() {
  if (!m_io->Open()) return false;
  m_fileSize = m_io->GetSize();
  if (m_fileSize < 0) {
    // 2 GiB or more, or a source that cannot tell: measure it once.
    if (!m_io->Seek(0, 2)) return false;
    m_fileSize = m_io->Tell();
    if (m_fileSize < 0 || !m_io->Seek(0, 0)) return false;
  }
  try {
    loadImage();
    return parseHeader() && buildFAT() && buildMiniFAT() && buildDirInfo();
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// A file up to this size is read whole at the open: sectors and streams are
// then copied from memory, with no call on the I/O object per run.
constexpr int64_t kImageLimit = int64_t{64} << 20;

// Only a file read from its first byte, with no MacBinary shift, is read
// whole; a read that does not give every byte (the file shrank) leaves the
// descriptor in use. A stream source keeps its reads on demand: it may
// report more bytes than it gives.
bool OleCompFile::loadImage() {
  m_image.reset();
  if (dynamic_cast<MekFileIOobj*>(m_io) == nullptr) return false;
  if (m_fileSize < kHeaderSize || m_fileSize > kImageLimit || m_io->IsMACBinary() || m_io->Tell() != 0) return false;
  std::unique_ptr<unsigned char[]> image(new (std::nothrow) unsigned char[static_cast<size_t>(m_fileSize)]);
  if (image == nullptr) return false;
  int64_t got = 0;
  while (got < m_fileSize) {
    const int n = m_io->Read(image.get() + got, static_cast<int>(m_fileSize - got));
    if (n <= 0) break;
    got += n;
  }
  if (got != m_fileSize) {
    m_io->Seek(0, 0);
    return false;
  }
  m_image = std::move(image);
  return true;
}

// count bytes at offset, whole or not at all.
bool OleCompFile::readAt(int64_t offset, unsigned char* buffer, int count) {
  return readFrom(offset, buffer, count) == count;
}

// Up to count bytes at offset: what the file holds there; -1 on an error.
int OleCompFile::readFrom(int64_t offset, unsigned char* buffer, int count) {
  if (m_image != nullptr) {
    if (offset < 0) return -1;
    const int64_t n = std::clamp<int64_t>(m_fileSize - offset, 0, count);
    if (n == 0) return 0;
    std::memcpy(buffer, m_image.get() + offset, static_cast<size_t>(n));
    return static_cast<int>(n);
  }
  if (offset < 0 || !m_io->Seek(static_cast<long>(offset), 0)) return -1;
  return m_io->Read(buffer, count);
}

uint32_t OleCompFile::decode32(const unsigned char* p) const { return Get32(p, m_littleEndian); }
uint16_t OleCompFile::decode16(const unsigned char* p) const { return Get16(p, m_littleEndian); }

bool OleCompFile::parseHeader() {
  unsigned char h[kHeaderSize];
  if (m_image != nullptr) std::memcpy(h, m_image.get(), kHeaderSize);
  else if (m_io->Read(h, kHeaderSize) != kHeaderSize) return false;
  if (std::memcmp(h, kSignature, sizeof kSignature) != 0) return false;
  m_littleEndian = Get16(h + 0x1C, true) == 0xFFFE;
  char version[8];
  std::snprintf(version, sizeof version, "%.2x %.2x", h[0x1A], h[0x1B]);
  m_version = version;
  m_sectorShift = decode16(h + 0x1E);
  m_miniShift = decode16(h + 0x20);
  m_fatCount = static_cast<int32_t>(decode32(h + 0x2C));
  m_dirStart = static_cast<int32_t>(decode32(h + 0x30));
  m_miniCutoff = static_cast<int32_t>(decode32(h + 0x38));
  m_miniFatStart = static_cast<int32_t>(decode32(h + 0x3C));
  m_miniFatCount = static_cast<int32_t>(decode32(h + 0x40));
  m_difatStart = static_cast<int32_t>(decode32(h + 0x44));
  m_difatCount = static_cast<int32_t>(decode32(h + 0x48));
  // Below 128 bytes no directory entry fits a sector; a mini sector larger
  // than a sector has no place in one.
  if (m_sectorShift >= 32 || m_miniShift >= 32 || m_sectorShift < 7 || m_miniShift > m_sectorShift) return false;
  const int64_t sectorBytes = int64_t{1} << m_sectorShift;
  if (sectorBytes > m_fileSize) return false;
  if (m_dirStart < 0) return false;
  if (m_miniFatStart < 0 && m_miniFatStart != kEndOfChain) return false;
  if (m_difatStart < 0 && m_difatStart != kEndOfChain) return false;
  // Counts are unsigned in the file; a table larger than the file is a lie.
  for (int32_t count : {m_fatCount, m_miniFatCount, m_difatCount}) {
    if (count < 0 || int64_t{count} * sectorBytes > m_fileSize) return false;
  }
  m_bytesPerSector = static_cast<int32_t>(sectorBytes);
  m_bytesPerMini = int32_t{1} << m_miniShift;
  m_minisPerSector = int32_t{1} << (m_sectorShift - m_miniShift);
  m_longsPerSector = m_bytesPerSector / 4;
  m_sectorsInFile = m_fileSize / sectorBytes;
  m_sector.assign(static_cast<size_t>(m_bytesPerSector), 0);

  // A negative entry before the count ends the table, as other readers
  // take such files.
  m_difat.clear();
  const int32_t inHeader = std::min(m_fatCount, kHeaderDifatEntries);
  for (int32_t i = 0; i < inHeader; ++i) {
    const int32_t s = static_cast<int32_t>(decode32(h + 0x4C + 4 * i));
    if (s < 0) return true;
    m_difat.push_back(s);
  }
  if (m_fatCount <= kHeaderDifatEntries) return true;
  if (m_difatStart < 0) return false;
  int32_t next = m_difatStart;
  for (int64_t steps = 0; static_cast<int32_t>(m_difat.size()) < m_fatCount; ++steps) {
    if (next == kEndOfChain) return true;
    if (next < 0 || steps >= m_sectorsInFile || !readBlock(next)) return false;
    for (int32_t i = 0; i < m_longsPerSector - 1 && static_cast<int32_t>(m_difat.size()) < m_fatCount; ++i) {
      const int32_t s = static_cast<int32_t>(decode32(m_sector.data() + 4 * i));
      if (s < 0) return true;
      m_difat.push_back(s);
    }
    next = static_cast<int32_t>(decode32(m_sector.data() + 4 * (m_longsPerSector - 1)));
  }
  return true;
}

void OleCompFile::decodeTable(std::vector<int32_t>* table) {
  for (int32_t i = 0; i < m_longsPerSector; ++i) {
    table->push_back(static_cast<int32_t>(decode32(m_sector.data() + 4 * i)));
  }
}

bool OleCompFile::buildFAT() {
  m_fat.clear();
  m_fat.reserve(m_difat.size() * static_cast<size_t>(m_longsPerSector));
  for (int32_t s : m_difat) {
    if (!readBlock(s)) return false;
    decodeTable(&m_fat);
  }
  return true;
}

bool OleCompFile::buildMiniFAT() {
  m_miniFat.clear();
  if (m_miniFatCount == 0) return true;
  int32_t s = m_miniFatStart;
  for (int32_t n = 0; n < m_miniFatCount; ++n) {
    if (s == kEndOfChain) break;
    if (s < 0 || n >= m_sectorsInFile || !readBlock(s)) return false;
    decodeTable(&m_miniFat);
    s = getNextBlock(s, false);
  }
  return true;
}

bool OleCompFile::buildDirInfo() {
  m_dir.clear();
  m_miniStreamStart = -1;
  int32_t s = m_dirStart;
  for (int64_t steps = 0; s != kEndOfChain; ++steps) {
    if (s < 0 || steps >= m_sectorsInFile || !readBlock(s)) return false;
    for (int32_t off = 0; off + kEntrySize <= m_bytesPerSector; off += kEntrySize) {
      OleDirInfo entry;
      if (!entry.parse(m_sector.data() + off, m_littleEndian)) return false;
      entry.setDirID(static_cast<int32_t>(m_dir.size()));
      if (entry.isRoot()) {
        m_miniStreamStart = entry.getStartSect();
        m_rootRead = true;
      }
      m_dir.push_back(std::move(entry));
    }
    s = getNextBlock(s, false);
  }
  m_dirCount = static_cast<int32_t>(m_dir.size());
  return true;
}

bool OleCompFile::readBlock(int32_t sector) {
  if (sector < 0) return false;
  const int64_t offset = (int64_t{sector} + 1) * m_bytesPerSector;
  if (offset + m_bytesPerSector > m_fileSize) return false;
  return readAt(offset, m_sector.data(), m_bytesPerSector);
}

int32_t OleCompFile::getNextBlock(int32_t sector, bool mini) const {
  const std::vector<int32_t>& table = mini ? m_miniFat : m_fat;
  if (sector < 0 || static_cast<size_t>(sector) >= table.size()) return -1;
  return table[static_cast<size_t>(sector)];
}

const OleDirInfo* OleCompFile::getDirInfo(int32_t id) const {
  if (id < 0 || id >= static_cast<int32_t>(m_dir.size())) return nullptr;
  return &m_dir[static_cast<size_t>(id)];
}

// ---------------------------------------------------------------------------
// Lookups

namespace {

// Visits the entries of the sibling tree under entry, each once and the
// left side first, until visit answers true.
template <class Visit>
void walkSiblings(const OleCompFile& file, const OleDirInfo* entry, Visit visit) {
  std::vector<bool> visited(file.getDirVec().size(), false);
  std::vector<int32_t> stack{entry->getDirID()};
  while (!stack.empty()) {
    const OleDirInfo* e = file.getDirInfo(stack.back());
    stack.pop_back();
    if (e == nullptr || visited[static_cast<size_t>(e->getDirID())]) continue;
    visited[static_cast<size_t>(e->getDirID())] = true;
    if (visit(*e)) return;
    stack.push_back(e->getRightSiblingID());
    stack.push_back(e->getLeftSiblingID());
  }
}

}  // namespace

// The tree's order and colours are not trusted: every entry reachable
// through sibling links is looked at once, the left side first, and a name
// stands for the first entry met with it. Indexes of all trees together
// hold at most a few times the directory's entries; a tree beyond that is
// searched without one.
const OleCompFile::NameIndex* OleCompFile::indexOf(const OleDirInfo* entry) const {
  auto found = m_names.find(entry->getDirID());
  if (found != m_names.end()) return &found->second;
  const size_t budget = std::max<size_t>(4 * m_dir.size(), 4096);
  NameIndex index;
  bool overBudget = false;
  walkSiblings(*this, entry, [&](const OleDirInfo& e) {
    if (m_namesHeld + index.size() >= budget) return overBudget = true;
    const UnicodeString& upper = e.getUpperName();
    index.emplace(std::u16string(upper.getBuffer(), static_cast<size_t>(upper.length())), e.getDirID());
    return false;
  });
  if (overBudget) return nullptr;
  m_namesHeld += index.size();
  return &m_names.emplace(entry->getDirID(), std::move(index)).first->second;
}

int32_t OleCompFile::findDirEntryByName(const OleDirInfo* entry, const char* name) const {
  if (entry == nullptr || name == nullptr) return -1;
  UnicodeString wanted = UnicodeString::fromUTF8(name);
  wanted.toUpper();
  if (const NameIndex* index = indexOf(entry)) {
    auto hit = index->find(std::u16string(wanted.getBuffer(), static_cast<size_t>(wanted.length())));
    return hit == index->end() ? -1 : hit->second;
  }
  int32_t found = -1;
  walkSiblings(*this, entry, [&](const OleDirInfo& e) {
    if (!e.compareUpperName(wanted)) return false;
    found = e.getDirID();
    return true;
  });
  return found;
}

int32_t OleCompFile::getDirIndex(const OleDirPath* path) const {
  if (path == nullptr || path->count < 1 || path->count > 4) return -1;
  const OleDirInfo* storage = getDirInfo(0);
  if (storage == nullptr) return -1;
  int32_t found = -1;
  for (int32_t i = 0; i < path->count; ++i) {
    found = findDirEntryByName(getDirInfo(storage->getChildID()), path->names[i]);
    if (found < 0) return -1;
    storage = getDirInfo(found);
  }
  return found;
}

OleStream* OleCompFile::openAt(int32_t index) {
  auto stream = std::make_unique<OleStream>(this);
  if (!stream->GetStreamChain(index) || stream->OLEseek(0, 0) < 0) return nullptr;
  return stream.release();
}

OleStream* OleCompFile::OLEopenStream(const OleDirPath* path) {
  const int32_t index = getDirIndex(path);
  return index < 0 ? nullptr : openAt(index);
}

OleStream* OleCompFile::OLEopenObject(const OleDirPath* path) {
  const OleDirInfo* storage = getDirInfo(getDirIndex(path));
  if (storage == nullptr) return nullptr;
  const OleDirInfo* current = getDirInfo(storage->getChildID());
  if (current == nullptr) return nullptr;
  // Along the right siblings, a presentation stream is taken where it is
  // met; otherwise the entry before the last one.
  std::vector<bool> visited(m_dir.size(), false);
  const OleDirInfo* before = current;
  const OleDirInfo* chosen = nullptr;
  visited[static_cast<size_t>(current->getDirID())] = true;
  for (;;) {
    const OleDirInfo* right = getDirInfo(current->getRightSiblingID());
    if (right == nullptr || visited[static_cast<size_t>(right->getDirID())]) break;
    if (current->compareName("\x02OlePres000")) {
      chosen = current;
      break;
    }
    visited[static_cast<size_t>(right->getDirID())] = true;
    before = current;
    current = right;
  }
  return openAt((chosen != nullptr ? chosen : before)->getDirID());
}

void OleCompFile::OLEcloseStream(OleStream* stream) { delete stream; }

bool OleCompFile::SeekIO(long offset, int whence) { return m_io != nullptr && m_io->Seek(offset, whence); }
int OleCompFile::ReadIO(unsigned char* buffer, int count) { return m_io == nullptr ? -1 : m_io->Read(buffer, count); }
int OleCompFile::ReadIO(char* buffer, int count) { return m_io == nullptr ? -1 : m_io->Read(buffer, count); }

int64_t OleCompFile::miniStreamSectorOffset(int32_t miniSector) {
  if (!m_miniStreamResolved) {
    // Once per file: the root's chain up to its end, a loop or a sector
    // the table does not describe.
    m_miniStreamResolved = true;
    std::vector<bool> seen(m_fat.size(), false);
    for (int32_t s = m_miniStreamStart; s >= 0 && static_cast<size_t>(s) < m_fat.size() && !seen[size_t(s)];
         s = m_fat[size_t(s)]) {
      seen[size_t(s)] = true;
      m_miniStream.push_back(s);
    }
  }
  if (miniSector < 0) return -1;
  const size_t block = static_cast<size_t>(miniSector / m_minisPerSector);
  if (block >= m_miniStream.size()) return -1;
  return (int64_t{m_miniStream[block]} + 1) * m_bytesPerSector +
         int64_t{miniSector % m_minisPerSector} * m_bytesPerMini;
}

// ---------------------------------------------------------------------------
// Detection

bool OleCompFile::isOLEUri(std::istream& in) {
  try {
    if (in.eof()) return false;
    char head[kHeaderSize];
    in.read(head, kHeaderSize);
    return in.gcount() == kHeaderSize && std::memcmp(head, kSignature, sizeof kSignature) == 0;
  } catch (...) {
    return false;
  }
}

bool OleCompFile::isOLEUri(const ZelUri& uri) {
  std::unique_ptr<std::istream> in(uri.getStream(nullptr));
  return in != nullptr && isOLEUri(*in);
}

namespace {

// Opens and at once closes the stream at the path; its size, or -1.
int32_t StreamSize(OleCompFile& file, std::initializer_list<const char*> names) {
  OleDirPath path;
  for (const char* name : names) path.names[path.count++] = name;
  OleStream* stream = file.OLEopenStream(&path);
  if (stream == nullptr) return -1;
  const int32_t size = stream->GetStreamSize();
  file.OLEcloseStream(stream);
  return size;
}

}  // namespace

OLEDOCUMENT_TYPE OleCompFile::detectOLEDocument(std::istream& in) {
  MekStreamIOobj io(&in);
  OleCompFile file;
  if (!file.OLEopen(&io)) return OLE_DOCUMENT_NONE;
  if (StreamSize(file, {"WordDocument"}) >= 0) return OLE_DOCUMENT_WORD;
  if (StreamSize(file, {"Workbook"}) >= 0) return OLE_DOCUMENT_WORKBOOK;
  bool presentation;
  if (StreamSize(file, {"PP97_DUALSTORAGE", "Current User"}) >= 0) {
    presentation = StreamSize(file, {"PP97_DUALSTORAGE", "PowerPoint Document"}) >= 0;
  } else {
    presentation = StreamSize(file, {"Current User"}) >= 20 && StreamSize(file, {"PowerPoint Document"}) >= 0;
  }
  if (presentation) return OLE_DOCUMENT_PRESENTATION;
  if (StreamSize(file, {"DocumentViewStyles"}) >= 0) return OLE_DOCUMENT_VIEW_STYLES;
  return OLE_DOCUMENT_NONE;
}

OLEDOCUMENT_TYPE OleCompFile::detectOLEDocument(const ZelUri& uri) {
  std::unique_ptr<std::istream> in(uri.getStream(nullptr));
  return in == nullptr ? OLE_DOCUMENT_NONE : detectOLEDocument(*in);
}

// ---------------------------------------------------------------------------
// Streams

OleStream::OleStream(OleCompFile* file) : m_file(file) {}
OleStream::~OleStream() = default;

bool OleStream::GetStreamChain(int32_t dirIndex) {
  const OleDirInfo* entry = m_file->getDirInfo(dirIndex);
  if (entry == nullptr || !entry->isStream()) return false;
  // 2 GiB or more reads as negative: no such stream is opened.
  if (entry->getStreamSize() < 0) return false;
  m_size = entry->getStreamSize();
  m_mini = m_size < m_file->getMiniFatCutoff() ? 1 : 0;
  // An empty mini stream (start -2) is a mini stream all the same.
  if (m_mini && !m_file->m_rootRead) return false;
  m_chain.clear();
  m_seen.assign((m_mini ? m_file->m_miniFat : m_file->m_fat).size(), false);
  m_next = entry->getStartSect();
  return true;
}

bool OleStream::GetStreamChainIndex(int32_t index) {
  if (index >= 0 && static_cast<size_t>(index) < m_chain.size()) return true;
  if (m_next == kEndOfChain) return true;
  while (m_next >= 0) {
    // A sector the table does not describe cannot be followed; treat it as
    // free so the walk fails below.
    if (static_cast<size_t>(m_next) >= m_seen.size()) {
      m_next = -1;
      break;
    }
    if (m_seen[static_cast<size_t>(m_next)]) return false;
    m_seen[static_cast<size_t>(m_next)] = true;
    m_chain.push_back(m_next);
    m_next = m_file->getNextBlock(m_next, m_mini != 0);
    if (static_cast<int64_t>(m_chain.size()) > index) return true;
  }
  if (m_next != kEndOfChain && m_next != kFatSector) return false;
  m_next = kEndOfChain;
  m_chain.push_back(kEndOfChain);
  return true;
}

int32_t OleStream::OLEseek(int32_t offset, int whence) {
  int64_t pos;
  switch (whence) {
    case 0: pos = offset; break;
    case 1: pos = int64_t{m_pos} + offset; break;
    case 2: pos = int64_t{m_size} - offset; break;
    default: return -1;
  }
  pos = std::clamp<int64_t>(pos, 0, m_size);
  m_pos = static_cast<int32_t>(pos);
  const int32_t unit = m_mini ? m_file->getBytesPerMini() : m_file->getBytesPerBlock();
  const int32_t index = static_cast<int32_t>(pos / unit);
  if (!GetStreamChainIndex(index)) return -1;
  if (static_cast<size_t>(index) >= m_chain.size() || m_chain[static_cast<size_t>(index)] < 0) {
    return pos == m_size ? m_pos : -1;
  }
  int64_t at = unitOffset(index);
  if (at < 0) return -1;
  at += pos % unit;
  if (m_file->m_image == nullptr && !m_file->SeekIO(static_cast<long>(at), 0)) return -1;
  return OLEtell();
}

int64_t OleStream::unitOffset(int32_t index) {
  if (index < 0 || !GetStreamChainIndex(index) || static_cast<size_t>(index) >= m_chain.size()) return -1;
  const int32_t sector = m_chain[static_cast<size_t>(index)];
  if (sector < 0) return -1;
  if (m_mini) return m_file->miniStreamSectorOffset(sector);
  return (int64_t{sector} + 1) * m_file->getBytesPerBlock();
}

int32_t OleStream::OLEtell() { return m_pos; }
int32_t OleStream::GetStreamSize() { return m_size; }

int OleStream::OLEread(unsigned char* buffer, unsigned int count) {
  if (buffer == nullptr || m_pos < 0) return 0;
  const int64_t unit = m_mini ? m_file->getBytesPerMini() : m_file->getBytesPerBlock();
  int64_t left = std::min<int64_t>(count, int64_t{m_size} - m_pos);
  int done = 0;
  while (left > 0) {
    const int64_t first = std::min<int64_t>(left, unit - m_pos % unit);
    // Units that follow one another in the file are read in one call, which
    // seeks there itself.
    int64_t piece = first;
    int32_t index = static_cast<int32_t>(m_pos / unit);
    const int64_t unitStart = unitOffset(index);
    if (unitStart < 0) break;
    const int64_t start = unitStart + m_pos % unit;
    for (int64_t at = unitStart; piece < left; ++index) {
      const int64_t next = unitOffset(index + 1);
      if (next < 0 || next != at + unit) break;
      piece += std::min<int64_t>(unit, left - piece);
      at = next;
    }
    const int got = m_file->readFrom(start, buffer + done, static_cast<int>(piece));
    if (got != piece) {
      // A short read counts only the units it completed.
      const int64_t whole = got < first ? 0 : first + (got - first) / unit * unit;
      done += static_cast<int>(whole);
      m_pos += static_cast<int32_t>(whole);
      break;
    }
    done += static_cast<int>(piece);
    m_pos += static_cast<int32_t>(piece);
    left -= piece;
  }
  return done;
}

bool OleStream::CopyToFile(unsigned char* path) {
  if (path == nullptr) return false;
  // The target is created or truncated: an older, longer file must not
  // keep its tail.
  const int fd = ::open(reinterpret_cast<const char*>(path), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  MekFileIOobj out(fd, "wb");
  if (!out.Open()) {
    ::close(fd);
    return false;
  }
  bool ok = OLEseek(0, 0) >= 0;
  unsigned char head[2];
  ok = ok && OLEread(head, 2) == 2;
  const int32_t skip = (head[0] | head[1] << 8) - 2;
  ok = ok && OLEseek(skip, 1) >= 0;
  static constexpr int kPiece = 10240;
  std::vector<unsigned char> piece(kPiece);
  while (ok) {
    const int n = OLEread(piece.data(), kPiece);
    if (n > 0 && out.Write(piece.data(), n) != n) ok = false;
    if (n < kPiece) break;
  }
  // A read that stopped before the end is a failed copy too.
  ok = ok && OLEtell() == m_size;
  return out.Close() && ok;
}

// ---------------------------------------------------------------------------
// Standard streams

ZelOleStreamBuf::ZelOleStreamBuf(OleStream* stream, int limit)
    : m_stream(stream), m_start(stream != nullptr ? stream->OLEtell() : 0), m_limit(limit) {}

ZelOleStreamBuf::~ZelOleStreamBuf() { delete[] m_buffer; }

ZelOleStreamBuf::int_type ZelOleStreamBuf::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (m_stream == nullptr) return traits_type::eof();
  if (m_limit >= 0 && int64_t{m_pieces} * kPiece >= m_limit) return traits_type::eof();
  if (m_buffer == nullptr) {
    m_buffer = new (std::nothrow) char[kPiece];
    if (m_buffer == nullptr) return traits_type::eof();
  }
  int64_t want = kPiece;
  if (m_limit >= 0) want = std::min<int64_t>(want, m_limit - int64_t{m_pieces} * kPiece);
  const int n = m_stream->OLEread(reinterpret_cast<unsigned char*>(m_buffer), static_cast<unsigned int>(want));
  ++m_pieces;
  if (n <= 0) return traits_type::eof();
  setg(m_buffer, m_buffer, m_buffer + n);
  return traits_type::to_int_type(*gptr());
}

ZelOleStream::ZelOleStream(OleStream* stream, int limit) : std::istream(nullptr), m_buf(stream, limit) {
  rdbuf(&m_buf);
}

ZelOleStream::~ZelOleStream() = default;

}  // namespace ObraCommon
