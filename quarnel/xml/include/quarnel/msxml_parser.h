// ZelMSXmlParser: the pull parser over the MSXML DOM document. It has the
// document loaded and checked whole, then walks the loaded tree node by
// node and delivers the same events and accessors as the library's own
// parser. The library never makes one: a caller creates it and installs it
// on a document with ZelDocument::setParser, or reads it directly. It has
// no error callback; every error is thrown.
#pragma once

#include <vector>

#include <msxml/msxml.h>

#include "quarnel/export.h"
#include "quarnel/namespace_manager.h"
#include "quarnel/temp_file.h"
#include "quarnel/xml_parser.h"

namespace ObraCommon {

enum MSXMLTYPE : int {
  MSXMLTYPE_30 = 1,
  MSXMLTYPE_40 = 2,
};

// One entry of the DOM document classes searched, in order: the class
// created and its free-threaded variant, which the search does not use.
struct MSXMLGUID {
  CLSID clsid;
  CLSID freeThreadedClsid;
  MSXMLTYPE type;
};

class QUARNEL_API ZelMSXmlParser : public ZelXmlParser {
 public:
  ZelMSXmlParser();
  ~ZelMSXmlParser() override;
  ZelMSXmlParser(const ZelMSXmlParser&) = delete;
  ZelMSXmlParser& operator=(const ZelMSXmlParser&) = delete;

  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return 0xE6D5767Du; }

  // Only SKIP_EXTERNAL_DTD, IGNORE_DTD_FAILURE and LOAD_EXTERNAL_ENTITIES
  // are kept; without the last, external subsets and entities are read
  // only as the URI resolver serves them.
  void setFeature(Feature feature, bool value) override;
  bool getFeature(Feature feature) override;
  void setInput(const UnicodeString& uri, const UnicodeString& encoding, const UnicodeString& baseUri) override;
  // The stream is copied to a temporary file, which is loaded and kept
  // until the input is closed.
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
  // -1 unless a load failed; a failing call passes out as ComError.
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
  // A document the caller loaded; the parser reads it from its root.
  virtual void setInput(IXMLDOMDocument* document);

  // Creates the first document class of the table whose type is not above
  // `type` into document; the entry that made it, or null.
  static const MSXMLGUID* searchMSXml(ComPtr<IXMLDOMDocument2>& document, MSXMLTYPE type);

 private:
  struct AttributeRecord {
    ZelName prefix;
    ZelName localName;
    ZelName namespaceName;
    UnicodeString value;
  };

  EventType nextEvent();
  EventType lookAhead(EventType type, IXMLDOMNode* node);
  bool advance(ComPtr<IXMLDOMNode>& node);
  EventType searchFrom(ComPtr<IXMLDOMNode> node);
  void readStartTag();
  bool load(const ComPtr<IXMLDOMDocument2>& document, const UnicodeString& uri);
  [[noreturn]] void throwError(uint16_t code, const UnicodeString& text) const;
  [[noreturn]] void throwParseError(const ComPtr<IXMLDOMParseError>& error);

  ComPtr<IXMLDOMDocument> m_document;
  UnicodeString m_uri;
  ZelTempFile m_tempFile;
  ComPtr<IXMLDOMNode> m_currentNode;
  ComPtr<IXMLDOMNode> m_lookaheadNode;
  UnicodeString m_text;
  ComPtr<IXMLDOMParseError> m_parseError;
  std::vector<AttributeRecord> m_attributes;
  ZelPtr<NamespaceManager> m_namespaces;
  bool m_skipExternalDtd = false;
  bool m_ignoreDtdFailure = false;
  bool m_loadExternalEntities = false;
  EventType m_eventType = END_DOCUMENT;
  EventType m_lookaheadType = END_DOCUMENT;
  bool m_lookaheadPending = false;
  bool m_collecting = false;
};

}  // namespace ObraCommon
