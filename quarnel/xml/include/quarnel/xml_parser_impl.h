// XmlParserImpl: the library's own pull parser. It decodes its input
// (UTF-8 by default; UTF-16 and UTF-32 when byte order marks or the zero
// bytes around a leading "<" say so), keeps namespace scopes in a
// NamespaceManager and expands character references and the entities it
// knows. Nothing in it recurses per element or per reference: open elements
// are namespace scopes, text put back is a stack of segments.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "quarnel/namespace_manager.h"
#include "quarnel/xml_parser.h"

namespace ObraCommon {

class XmlParserImplTestAccess;

class QUARNEL_API XmlParserImpl : public ZelXmlParser {
 public:
  XmlParserImpl();
  ~XmlParserImpl() override;
  XmlParserImpl(const XmlParserImpl&) = delete;
  XmlParserImpl& operator=(const XmlParserImpl&) = delete;

  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return 0x5C58F35Au; }

  void setFeature(Feature feature, bool value) override;
  bool getFeature(Feature feature) override;
  void setStreamType(const UnicodeString& mediaType, const UnicodeString& name) override;
  void setCallbackError(ZelXmlErrorCallback callback, void* userData) override;
  void setInput(const UnicodeString& uri, const UnicodeString& encoding, const UnicodeString& baseUri) override;
  void setInput(std::istream& in, const UnicodeString& encoding, const UnicodeString& baseUri) override;
  void closeStream() override;
  UnicodeString getInputEncoding() const override;
  void defineEntityReplacementText(ZelName entityName, const UnicodeString& text) override;
  int getNamespaceCount(int depth) const override;
  ZelName getNamespacePrefix(int pos) const override;
  ZelName getNamespaceUri(int pos) const override;
  ZelName getNamespace() const override;
  ZelName getNamespace(ZelName prefix) const override;
  int getDepth() const override;
  UnicodeString getPositionDescription() const override;
  int getLineNumber() const override;
  int getColumnNumber() const override;
  bool isWhitespace() const override;
  UnicodeString getText() override;
  ZelName getName() const override;
  ZelName getPrefix() const override;
  bool isEmptyElementTag() const override;
  int getAttributeCount() const override;
  ZelName getAttributeNamespace(int index) const override;
  ZelName getAttributeName(int index) const override;
  ZelName getAttributePrefix(int index) const override;
  UnicodeString getAttributeValue(ZelName namespaceName, ZelName localName) const override;
  UnicodeString getAttributeValue(int index) const override;
  EventType getEventType() const override;
  EventType next() override;
  EventType nextToken() override;
  UnicodeString getBaseUri() const override;
  void addMathMLEntityMap() override;

  // The root element is html in the XHTML namespace, or the stream type
  // says XHTML.
  bool isXhtmlDocument() const;
  // Not XHTML, and the stream type says HTML, or nothing says XML and the
  // root element is called html.
  bool isHtmlDocument() const;

  // Makes the parser open nothing external at all (no external subset, no
  // external entity), whatever its features and the process-wide remote
  // switch say. Readers of packages set it on their parsers.
  void setExternalResourcesBlocked(bool blocked) { m_externalBlocked = blocked; }

  // The length bound of one value (XmlLimits::kMaxValueLength unless set);
  // a longer one reports 0x183C and ends the input.
  void setValueLengthLimit(int32_t units) { m_valueLimit = units; }
  int32_t getValueLengthLimit() const { return m_valueLimit; }

  // Whether the attribute at index was supplied from a default of an
  // attribute-list declaration rather than written in the tag.
  bool isAttributeDefault(int index) const;

  // Forgets every external subset read so far, so that a process that
  // reads endless different ones (a fuzzer) can bound its memory.
  static void clearSubsetCache();

 private:
  friend class XmlParserImplTestAccess;

  struct Attribute {
    ZelName prefix;
    ZelName localName;
    ZelName namespaceName;
    UnicodeString value;
    bool specified = true;
  };
  // One attribute of an attribute-list declaration: its name as written,
  // whether its type is other than CDATA (its values are then tokens), and
  // its default value, normalised, when it has one.
  struct AttributeDecl {
    ZelName prefix;
    ZelName localName;
    bool tokenized = false;
    bool hasDefault = false;
    UnicodeString value;
  };
  // Keyed by the element's prefix and local name.
  using AttributeListMap = std::unordered_map<uint64_t, std::vector<AttributeDecl>>;
  static uint64_t attributeListKey(ZelName prefix, ZelName localName) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(static_cast<ZelNameEnum>(prefix))) << 32) |
           static_cast<uint32_t>(static_cast<ZelNameEnum>(localName));
  }
  // Text put back in front of the input. A literal being re-read is a
  // barrier: its end is the end of input until it is taken off.
  struct Segment {
    UnicodeString text;
    int32_t index = 0;
    ZelName entity;
    bool literal = false;
    int savedLine = 0;
    int savedColumn = 0;
  };

  // An input waiting under an external entity being read: everything
  // that belongs to one input, saved by pushStream and restored by
  // popStream.
  struct Input {
    std::istream* input = nullptr;
    std::istream* source = nullptr;
    bool ownsSource = false;
    std::unique_ptr<std::istream> converterFeed;
    std::unique_ptr<std::istream> converter;
    std::vector<char> bytes;
    size_t bytePos = 0;
    size_t byteEnd = 0;
    bool inputEnded = false;
    bool stopAtEnd = false;
    char32_t pushbackChar = 0;
    char32_t crLookahead = 0;
    std::vector<Segment> segments;
    int lineNumber = 0;
    int columnNumber = 0;
    int decoderMode = 0;
    bool byteOrderMarkSeen = false;
    UnicodeString inputEncoding;
    UnicodeString systemId;
    UnicodeString baseUri;
    ZelName entity;
  };

  // An external entity: its system literal resolved where it was
  // declared, and whether it is unparsed (NDATA) and so never read.
  struct ExternalEntity {
    UnicodeString uri;
    bool unparsed = false;
  };
  using EntityMap = std::unordered_map<ZelNameEnum, UnicodeString>;
  using ExternalMap = std::unordered_map<ZelNameEnum, ExternalEntity>;

  void reset();
  void checkStream();
  void swapInput(Input& other);
  // Opens the resource a system literal names: what the URI resolver
  // serves, else, when LOAD_EXTERNAL_ENTITIES allows it, a local file, a
  // jar: entry, a data: text or (with the remote switch) a remote
  // resource. Null when it contributes nothing. Throws 4099 for a local file that cannot be read as one.
  std::istream* openExternal(const UnicodeString& systemLiteral, UnicodeString& resolved);
  // Reads an external entity's text in place of the current input, after
  // its text declaration. False when it contributes nothing; an entity
  // that is not opened is reported as a warning.
  bool pushStream(const UnicodeString& systemLiteral, ZelName entity);
  void popStream();
  void readTextDecl();
  char32_t readDeclEnd();
  void putConverter(const UnicodeString& name);
  void applyEncoding(const UnicodeString& encoding);
  void stopInput();

  // Bytes and code points.
  int readByte();
  void unreadByte();
  char32_t decodeChar();
  char32_t decodeUnit();
  char32_t readChar();
  void unreadChar(char32_t c);
  // readChar and unreadChar with their common cases (a character put back,
  // an ASCII byte of UTF-8 input) inline, for the token readers.
  char32_t nextChar();
  void putBack(char32_t c);
  // Takes the next byte of a UTF-8 input's buffer into c, counting its
  // position, when it is ASCII and neither CR nor a control XML forbids.
  bool takePlainByte(char32_t& c);
  // Whether the next character comes straight from the byte buffer:
  // nothing put back, no pending line end, no text pushed in front.
  bool readingBytes() const;
  void unreadText(const UnicodeString& text, ZelName entity);
  void detectByteOrder();
  void switchEncoding(const UnicodeString& name);
  bool isEntityOpen(ZelName entity) const;
  int openEntityCount() const;
  bool pushEntityText(ZelName entity, const UnicodeString& text);
  // The checks and the count of pushEntityText for a text of that many
  // units, without pushing it.
  bool admitEntityText(ZelName entity, int32_t units);
  // A reference to one of the five predefined entities, put in as its
  // character once admitted as its text would be; false for other names
  // (and, with onlyReferences, for those whose text is not a character
  // reference: read as text, that text passes the text's checks).
  bool appendPredefined(ZelName name, UnicodeString& out, bool onlyReferences);

  // Tokens.
  int classifyMarkup();
  void startDocument();
  void endDocument();
  void parseStartTag();
  void parseEndTag();
  void parseText();
  void parseCData();
  void parseComment();
  void parseMarkupDecl();
  // Document type declarations and their subsets.
  void parseDoctypeDecl();
  void scanDeclarations(bool external);
  void expandParameterEntity(bool inLiteral = false);
  void parseEntityDecl();
  void parseAttlistDecl();
  // The first declaration of an attribute of an element binds.
  void enterAttribute(ZelName elementPrefix, ZelName elementLocal, AttributeDecl decl);
  void skipIgnoredSection();
  void readExternalSubset(const UnicodeString& systemLiteral);
  void parseExternalSubset();
  void enterEntity(bool parameter, ZelName name, const UnicodeString* text, const ExternalEntity* external);
  // A reference to a general entity in content (inValue false) or in an
  // attribute value: its text is read in place, or it is reported.
  void expandGeneralEntity(ZelName name, bool inValue);
  void parsePI();
  void checkPITarget(const UnicodeString& target);
  void parseXmlDecl();
  void readDeclValue(const char16_t* what, UnicodeString& value);
  void parseEntityRefEvent();
  // After "&": a character reference's character in c (entityName 0), or
  // the entity's name in entityName. False when the reference was bad.
  bool parseReference(char32_t& c, ZelName& entityName);
  void skipSection();
  void skipDeclaration();
  bool skipWhitespace();
  ZelName readName();
  ZelName internName();
  // internName of first (unless 0) and the count ASCII units after it, one
  // every stride bytes, whose hash the caller took.
  ZelName internBytes(char16_t first, const unsigned char* bytes, size_t count, size_t stride, uint32_t hash);
  // The name of a text, through the same cache.
  ZelName internText(const UnicodeString& text);
  // delimiter 0: text; else the character that ends the run (a literal's
  // quotation mark, "]" in a CDATA section, "-" in a comment). The run stops
  // once out is longer than limit.
  void readTextRun(UnicodeString& out, char32_t delimiter, bool& allSpace, int32_t limit = INT32_MAX);
  bool readQName(ZelName& prefix, ZelName& localName);
  bool readLiteral(UnicodeString& out, int mode);
  // An attribute value as written whose references are all to characters
  // or to the predefined entities, none of which can be refused: replaced
  // in place as reading it again would (its white space made spaces).
  // False, with the value untouched, for any other.
  bool replaceSimpleReferences(UnicodeString& value);
  UnicodeString lookupEntity(ZelName name) const;
  void reportError(uint16_t code, const UnicodeString& a = UnicodeString(),
                   const UnicodeString& b = UnicodeString());
  void reportLimit(const char16_t* what);
  bool attributeMatches(const Attribute& attribute, ZelName namespaceName, ZelName localName) const;

  bool m_features[7] = {};
  int32_t m_valueLimit;
  EventType m_eventType = START_DOCUMENT;
  int m_pendingMarkup = 0;
  bool m_xmlDeclSeen = false;
  bool m_doctypeSeen = false;
  bool m_rootSeen = false;
  bool m_emptyElementTag = false;
  bool m_noEvent = false;
  ZelName m_rootNamespace;
  ZelName m_rootLocalName;
  UnicodeString m_textBuffer;
  int32_t m_tokenStart = 0;
  mutable UnicodeString m_cachedText;
  ZelPtr<NamespaceManager> m_namespaces;
  std::vector<Attribute> m_attributes;
  ZelName m_entityName;
  char32_t m_charRef = 0;
  EntityMap m_generalEntities;
  EntityMap m_parameterEntities;
  ExternalMap m_externalGeneralEntities;
  ExternalMap m_externalParameterEntities;
  AttributeListMap m_attributeLists;
  // An external parameter entity was not read: the declarations after it
  // may depend on it and are not taken.
  bool m_declarationsStopped = false;
  // The external subset was not read: an undeclared entity may be declared
  // there.
  bool m_subsetUnread = false;

  // Input: the stream read through a buffer of its bytes. External
  // entities will stack further inputs here.
  // m_input is what is read: the source itself, or a converter over it.
  std::istream* m_input = nullptr;
  std::istream* m_source = nullptr;
  bool m_ownsSource = false;
  std::unique_ptr<std::istream> m_converterFeed;
  std::unique_ptr<std::istream> m_converter;
  bool m_stopAtEnd = false;
  // An entity value is being read: parameter-entity references in it are
  // replaced by their texts.
  bool m_entityValue = false;
  // The internal subset is being scanned: there, parameter-entity
  // references may stand between declarations only.
  bool m_internalSubset = false;
  ZelName m_inputEntity;
  std::vector<Input> m_inputStack;
  bool m_externalBlocked = false;
  std::vector<char> m_bytes;
  size_t m_bytePos = 0;
  size_t m_byteEnd = 0;
  bool m_inputEnded = false;
  int64_t m_bytesRead = 0;

  int m_lineNumber = -1;
  int m_columnNumber = -1;
  UnicodeString m_systemId;
  UnicodeString m_baseUri;
  char32_t m_pushbackChar;
  char32_t m_crLookahead;
  std::vector<Segment> m_segments;
  int m_openEntities = 0;
  int64_t m_entityUnits = 0;
  bool m_expansionStopped = false;
  int m_decoderMode = 0;
  UnicodeString m_inputEncoding;
  bool m_byteOrderMarkSeen = false;
  bool m_closeAtEnd = true;

  ZelXmlErrorCallback m_errorCallback = nullptr;
  void* m_callbackData = nullptr;
  UnicodeString m_streamMediaType;
  UnicodeString m_streamExtension;

  // Names read so far, so that a name is interned in the shared table once:
  // two slots per hash of the text, made on first use.
  struct CachedName {
    std::u16string text;
    ZelNameEnum number = 0;
  };
  std::u16string m_nameScratch;
  std::vector<CachedName> m_nameCache;
};

}  // namespace ObraCommon
