// The library's own XML writer. Hidden: callers reach it through
// ZelXmlUtil::createXmlSerializer.
#pragma once

#include <array>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include <unicode/ucnv.h>

#include "quarnel/namespace_manager.h"
#include "quarnel/xml_serializer.h"

namespace ObraCommon {

class XmlSerializerImpl : public ZelXmlSerializer {
 public:
  XmlSerializerImpl();
  ~XmlSerializerImpl() override;

  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return 0x5695E1FBu; }

  void setOutput(const UnicodeString& fileName, const UnicodeString& encoding) override;
  void setOutput(std::ostream* output, const UnicodeString& encoding) override;
  void startDocument(const UnicodeString& encoding, const UnicodeString& standalone) override;
  void endDocument() override;
  void setPrefix(ZelName prefix, ZelName namespaceUri) override;
  ZelName getPrefix(ZelName namespaceUri, bool generatePrefix) override;
  int getDepth() const override;
  ZelName getNamespace() const override;
  ZelName getName() const override;
  ZelXmlSerializer& startTag(ZelName namespaceUri, ZelName prefix, ZelName localName) override;
  ZelXmlSerializer& startTag(ZelName namespaceUri, ZelName localName) override;
  ZelXmlSerializer& attribute(ZelName namespaceUri, ZelName prefix, ZelName localName,
                              const UnicodeString& value) override;
  ZelXmlSerializer& attribute(ZelName namespaceUri, ZelName localName, const UnicodeString& value) override;
  ZelXmlSerializer& endTag(ZelName namespaceUri, ZelName localName) override;
  ZelXmlSerializer& text(const UChar* buffer, int start, int length) override;
  ZelXmlSerializer& text(const UnicodeString& text) override;
  void cdata(const UnicodeString& text) override;
  void entityRef(const UnicodeString& name) override;
  void processingInstruction(const UnicodeString& text) override;
  void comment(const UnicodeString& text) override;
  void docdecl(const UnicodeString& text) override;
  void ignorableWhitespace(const UnicodeString& text) override;
  void flush() override;
  void setGenerator(const UnicodeString& generator) override;

  // While a batch is open (and the output is a plain good stream), the
  // bytes collect in the writer's own buffer and reach the stream in large
  // pieces, the last when the batch closes, when the writer flushes or
  // closes; outside a batch every call leaves its bytes in the stream.
  // Batches nest; closing one never raises.
  void beginBatch();
  void endBatch();
  class Batch {
   public:
    explicit Batch(XmlSerializerImpl* writer) : m_writer(writer) {
      if (m_writer != nullptr) m_writer->beginBatch();
    }
    ~Batch() {
      if (m_writer != nullptr) m_writer->endBatch();
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    XmlSerializerImpl* m_writer;
  };

  // Escape flags of writeText. kName refuses a character the output
  // encoding cannot hold instead of writing a reference, which no parser
  // would read inside a name.
  enum : int { kEscapeNone = 0, kEscapeText = 1, kEscapeAttribute = 3, kName = 4 };

 private:
  void reset();
  // Releases the output whatever happened to it; never raises. A failed
  // final flush or close is remembered for endDocument.
  void close();
  // Raises 4101 without an output, 4103 when it failed.
  void checkStream() const {
    if (m_output == nullptr || m_output->fail()) refuseStream();
  }
  [[noreturn]] void refuseStream() const;
  bool closeStartTag(bool empty);
  void startTagSub(ZelName uri, ZelName prefix, ZelName localName, bool generatePrefix);
  void attributeSub(ZelName uri, ZelName prefix, ZelName localName, const UnicodeString& value, bool generatePrefix);
  // A prefix that means uri where the next attribute is written: never the
  // empty one, declared on the open element when none is bound.
  ZelName attributePrefix(ZelName uri, ZelName wanted);
  bool declaredHere(ZelName prefix) const;
  // Raises 2065 for the first character of name the output encoding cannot
  // hold.
  void requireWritable(const UnicodeString& name);
  void requireWritable(ZelName name) {
    const NameEntry* entry = nameEntry(name);
    if (entry == nullptr || !entry->writable) requireWritableOut(name);
  }
  void requireWritableOut(ZelName name);
  ZelName declareGenerated(ZelName uri);
  void writeText(const UChar* text, int length, int flags);
  // Encodes text at the end of m_out; on a refusal m_out may hold part of
  // it, which the caller drops.
  void encodeText(const UChar* text, int length, int flags);
  // The same, kBlocks taking runs of plain units eight at a time.
  template <bool kBlocks>
  void encodeUnits(const UChar* text, int length, int flags);
  void writeText(const UnicodeString& text, int flags) { writeText(text.getBuffer(), text.length(), flags); }
  // As writeText(name, kEscapeNone | kName), the bytes kept for the next
  // time.
  void writeName(ZelName name) {
    const NameEntry* entry = nameEntry(name);
    if (entry != nullptr && entry->encoded && !entry->bytes.empty())
      writeRaw(entry->bytes.data(), static_cast<int>(entry->bytes.size()));
    else
      writeNameOut(name);
  }
  void writeNameOut(ZelName name);
  // Passes on what encodeText added to m_out after mark.
  void sendEncoded(size_t mark);
  // What is known of a name in the output encoding: that requireWritable
  // lets it through, and its bytes. Names of the shared table are dense
  // numbers; those past kCachedNames are worked out each time.
  struct NameEntry {
    bool writable = false;
    bool encoded = false;
    std::string bytes;
  };
  static constexpr ZelNameEnum kCachedNames = 1 << 20;
  // Null for a name not kept.
  NameEntry* nameEntry(ZelName name) {
    const ZelNameEnum number = name;
    if (number >= 0 && static_cast<size_t>(number) < m_names.size() && m_namesShiftJis == m_shiftJis)
      return &m_names[static_cast<size_t>(number)];
    return addNameEntry(name);
  }
  NameEntry* addNameEntry(ZelName name);
  // The name of an attribute value that declares a namespace; the last
  // one is kept.
  ZelName declaredName(const UnicodeString& value);
  UnicodeString m_declaredText;
  ZelName m_declaredName;
  // Straight into the stream's buffer when the stream's own guard would do
  // nothing (a good stream, nothing tied, no unit buffering, no
  // exceptions), as the stream itself writes; through the stream otherwise.
  bool directOutput() const {
    return m_output->rdbuf() != nullptr && m_output->good() && m_output->tie() == nullptr &&
           (m_output->flags() & std::ios_base::unitbuf) == 0 && m_output->exceptions() == std::ios_base::goodbit;
  }
  // Both take the batch's buffer straight when it has room.
  void writeRaw(const char* bytes, int length) {
    if (length >= 0 && fitsBatch(static_cast<size_t>(length))) {
      std::memcpy(m_out.data.get() + m_out.size, bytes, static_cast<size_t>(length));
      m_out.size += static_cast<size_t>(length);
      return;
    }
    writeRawOut(bytes, length);
  }
  void writeChar(char byte) {
    if (static_cast<unsigned char>(byte) >= 0x20 && fitsBatch(1)) {
      m_out.data[m_out.size++] = byte;
      return;
    }
    writeCharOut(byte);
  }
  // A batch's buffer takes count bytes without reaching kDrainAt, and the
  // output stands as checkStream wants it.
  bool fitsBatch(size_t count) const {
    return m_batching && m_out.size + count < kDrainAt && count <= m_out.capacity - m_out.size &&
           m_output != nullptr && !m_output->fail();
  }
  void writeRawOut(const char* bytes, int length);
  void writeCharOut(char byte);
  void writeStream(const char* bytes, size_t count);
  // A batch hands its bytes over once it holds this many.
  static constexpr size_t kDrainAt = size_t{1} << 16;
  // Hands the batch's bytes to the stream; a failure marks the stream bad.
  void drain();
  // The Shift_JIS bytes of c when the converter maps it both ways without
  // substitution; empty otherwise.
  const std::string& shiftJisBytes(UChar32 c);
  // The same for a character of the basic plane, packed: the byte count in
  // the top byte, the bytes below it (first byte highest); 0 when the
  // character has no bytes of its own.
  uint32_t shiftJisPacked(UChar c) {
    uint32_t packed = m_shiftJisPacked[c];
    return packed != kUnknownPacked ? packed : packShiftJis(c);
  }
  uint32_t packShiftJis(UChar c);
  static constexpr uint32_t kUnknownPacked = 0xFFFFFFFFu;

  // Bytes on their way to the output: those of the open batch, or of one
  // write outside a batch. Grown without zero-filling.
  struct Bytes {
    std::unique_ptr<char[]> data;
    size_t size = 0;
    size_t capacity = 0;
    // Room for n more bytes at the end.
    char* room(size_t n) {
      if (capacity - size < n) grow(n);
      return data.get() + size;
    }
    void grow(size_t n);
    void append(const char* bytes, size_t n) {
      std::memcpy(room(n), bytes, n);
      size += n;
    }
  };

  int m_state;
  ZelPtr<NamespaceManager> m_namespaces;
  std::ostream* m_output;
  bool m_ownsOutput;
  bool m_outputFailed;
  bool m_shiftJis;
  UnicodeString m_encoding;
  UnicodeString m_generator;
  UConverter* m_converter;
  std::unordered_map<UChar32, std::string> m_shiftJisCache;
  // The basic plane's entries of the cache by code point, in blocks of 256
  // made when a character of the block is first written: a document that
  // meets a few characters does not clear a table for all 65,536 (half a
  // megabyte a save).
  std::unique_ptr<std::array<const std::string*, 256>> m_shiftJisBasic[256];
  std::vector<uint32_t> m_shiftJisPacked;
  std::vector<NameEntry> m_names;
  // The encoding m_names holds bytes of.
  bool m_namesShiftJis = false;
  // Outside a batch, empty between writes.
  Bytes m_out;
  int m_batch = 0;
  bool m_batching = false;
};

}  // namespace ObraCommon
