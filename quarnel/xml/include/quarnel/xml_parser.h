// ZelXmlParser: the library's abstract XML pull parser. A caller attaches an
// input, pulls one event at a time with next (elements, joined text and the
// end) or nextToken (every token by itself) and reads the current event
// through the accessors. Parse errors go to the error callback when one is
// installed, and are otherwise thrown as ZelError (warnings are dropped).
// ZelXmlUtil::createXmlParser makes the library's own parser.
#pragma once

#include <istream>

#include <unicode/unistr.h>

#include "quarnel/error.h"
#include "quarnel/export.h"
#include "quarnel/name.h"
#include "quarnel/zel_ptr.h"

namespace ObraCommon {

using ZelXmlErrorCallback = void (*)(const ZelError& error, void* userData);

class QUARNEL_API ZelXmlParser : public ZelRCObject {
 public:
  enum EventType : int {
    START_DOCUMENT = 0,
    END_DOCUMENT = 1,
    START_TAG = 2,
    END_TAG = 3,
    TEXT = 4,
    CDSECT = 5,
    ENTITY_REF = 6,
    IGNORABLE_WHITESPACE = 7,
    PROCESSING_INSTRUCTION = 8,
    COMMENT = 9,
    DOCDECL = 10,
  };

  // Int-based, so any id can be passed; ids outside 0-6 do nothing.
  // LOAD_EXTERNAL_ENTITIES, off by default, lets the parser read external
  // subsets and external entities itself (local files, jar: entries, and
  // remote resources when the process allows them); without it only what
  // the host's URI resolver serves is read, and a reference to an entity
  // that is not read is reported as a warning (0x1E3E).
  enum Feature : int {
    SKIP_EXTERNAL_DTD = 0,
    LENIENT_ENTITIES = 1,
    LENIENT_PREFIXES = 2,
    IGNORE_DTD_FAILURE = 3,
    IGNORE_UNKNOWN_ENCODING = 4,
    REPORT_CONVERTED_ENCODING = 5,
    LOAD_EXTERNAL_ENTITIES = 6,
  };

  ~ZelXmlParser() override;

  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return 0x07416767u; }

  virtual void setFeature(Feature feature, bool value) = 0;
  virtual bool getFeature(Feature feature) = 0;
  virtual void setStreamType(const UnicodeString& mediaType, const UnicodeString& name);
  virtual void setCallbackError(ZelXmlErrorCallback callback, void* userData);
  virtual void setInput(const UnicodeString& uri, const UnicodeString& encoding, const UnicodeString& baseUri) = 0;
  virtual void setInput(std::istream& in, const UnicodeString& encoding, const UnicodeString& baseUri) = 0;
  virtual void closeStream() = 0;
  virtual UnicodeString getInputEncoding() const = 0;
  virtual void defineEntityReplacementText(ZelName entityName, const UnicodeString& text) = 0;
  virtual int getNamespaceCount(int depth) const = 0;
  virtual ZelName getNamespacePrefix(int pos) const = 0;
  virtual ZelName getNamespaceUri(int pos) const = 0;
  virtual ZelName getNamespace() const = 0;
  virtual ZelName getNamespace(ZelName prefix) const = 0;
  virtual int getDepth() const = 0;
  virtual UnicodeString getPositionDescription() const = 0;
  virtual int getLineNumber() const = 0;
  virtual int getColumnNumber() const = 0;
  virtual bool isWhitespace() const = 0;
  virtual UnicodeString getText() = 0;
  virtual ZelName getName() const = 0;
  virtual ZelName getPrefix() const = 0;
  virtual bool isEmptyElementTag() const = 0;
  virtual int getAttributeCount() const = 0;
  virtual ZelName getAttributeNamespace(int index) const = 0;
  virtual ZelName getAttributeName(int index) const = 0;
  virtual ZelName getAttributePrefix(int index) const = 0;
  virtual UnicodeString getAttributeValue(ZelName namespaceName, ZelName localName) const = 0;
  virtual UnicodeString getAttributeValue(int index) const = 0;
  virtual EventType getEventType() const = 0;
  virtual EventType next() = 0;
  virtual EventType nextToken() = 0;
  virtual UnicodeString getBaseUri() const;
  virtual void addMathMLEntityMap();

  // The replacement text of a MathML entity name, empty for an unknown
  // name; the reference stays valid for the life of the process.
  static const UnicodeString& getMathMLEntity(const UnicodeString& name);

 protected:
  ZelXmlParser();
};

class ZelXmlSerializer;

class QUARNEL_API ZelXmlUtil {
 public:
  // The library's own parser, held once.
  static ZelPtr<ZelXmlParser> createXmlParser();
  // The library's own writer, held once.
  static ZelPtr<ZelXmlSerializer> createXmlSerializer();

  // A parser standing on the start tag of the document's root element, or
  // an empty pointer for a document without one. Parse errors pass through.
  static ZelPtr<ZelXmlParser> getRootParser(const UnicodeString& uri);
  static ZelPtr<ZelXmlParser> getRootParser(std::istream& in, const UnicodeString& mediaType,
                                            const UnicodeString& extension);
  // The namespace of the root element; its local name goes to localName.
  // Both empty for a document without an element.
  static ZelName getRootName(ZelName& localName, const UnicodeString& uri);
  static ZelName getRootName(ZelName& localName, std::istream& in, const UnicodeString& mediaType,
                             const UnicodeString& extension);
  // As getRootName, but an XSL-FO root carrying the XSLT version attribute
  // (a simplified stylesheet) answers the XSLT namespace.
  static ZelName getXSLStylesheetNamespace(ZelName& localName, const UnicodeString& uri);
  static ZelName getXSLStylesheetNamespace(ZelName& localName, std::istream& in, const UnicodeString& mediaType,
                                           const UnicodeString& extension);
  // A namespace-qualified name for messages: "xml:a", "xmlns:a", "{U}:a",
  // or the local name alone in no namespace.
  static UnicodeString makeNSQNameStr(const UnicodeString& namespaceUri, const UnicodeString& localName);

  // Qualified names "prefix:local". A colon at position 0 gives no prefix
  // and the text after it as the local part.
  static UnicodeString getPrefixFromQNameStr(const UnicodeString& qname);
  static UnicodeString getLocalPartFromQNameStr(const UnicodeString& qname);
  static ZelName getPrefixFromQName(ZelName qname);
  static ZelName getLocalPartFromQName(ZelName qname);
  static UnicodeString makeQNameStr(const UnicodeString& prefix, const UnicodeString& local);
  static ZelName makeQName(ZelName prefix, ZelName local);

  // Whether the own parser may fetch external subsets and entities that
  // only the remote reader can open (http and the like), where its
  // LOAD_EXTERNAL_ENTITIES feature lets it read external entities at all.
  // Process-wide, off by default: a document from anywhere must not make
  // the parser request URLs. A URI handed to setInput, an installed URI
  // resolver, local files and jar: entries are not affected.
  static void setRemoteEntityLoading(bool allowed);
  static bool getRemoteEntityLoading();
};

}  // namespace ObraCommon
