// ZelXmlSerializer: the library's abstract streaming XML writer. A caller
// sets an output, starts the document, writes tags, attributes and content
// in document order, ends the tags and ends the document. The writer keeps
// the namespace scopes of the open elements, escapes markup, encodes its
// output as UTF-8 or Shift_JIS, and adds no line breaks of its own.
// ZelXmlUtil::createXmlSerializer makes the library's own writer.
//
// The virtual operations are declared in a fixed order that callers'
// derived writers rely on: never reorder or insert among them.
#pragma once

#include <ostream>

#include <unicode/unistr.h>

#include "quarnel/export.h"
#include "quarnel/name.h"
#include "quarnel/zel_ptr.h"

namespace ObraCommon {

class QUARNEL_API ZelXmlSerializer : public ZelRCObject {
 public:
  ~ZelXmlSerializer() override;

  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return 0xB2E73DE2u; }

  virtual void setOutput(const UnicodeString& fileName, const UnicodeString& encoding) = 0;
  virtual void setOutput(std::ostream* output, const UnicodeString& encoding) = 0;
  virtual void startDocument(const UnicodeString& encoding, const UnicodeString& standalone) = 0;
  virtual void endDocument() = 0;
  virtual void setPrefix(ZelName prefix, ZelName namespaceUri) = 0;
  virtual ZelName getPrefix(ZelName namespaceUri, bool generatePrefix) = 0;
  virtual int getDepth() const = 0;
  virtual ZelName getNamespace() const = 0;
  virtual ZelName getName() const = 0;
  virtual ZelXmlSerializer& startTag(ZelName namespaceUri, ZelName prefix, ZelName localName) = 0;
  virtual ZelXmlSerializer& startTag(ZelName namespaceUri, ZelName localName) = 0;
  virtual ZelXmlSerializer& attribute(ZelName namespaceUri, ZelName prefix, ZelName localName,
                                      const UnicodeString& value) = 0;
  virtual ZelXmlSerializer& attribute(ZelName namespaceUri, ZelName localName, const UnicodeString& value) = 0;
  virtual ZelXmlSerializer& endTag(ZelName namespaceUri, ZelName localName) = 0;
  virtual ZelXmlSerializer& text(const UChar* buffer, int start, int length) = 0;
  virtual ZelXmlSerializer& text(const UnicodeString& text) = 0;
  virtual void cdata(const UnicodeString& text) = 0;
  virtual void entityRef(const UnicodeString& name) = 0;
  virtual void processingInstruction(const UnicodeString& text) = 0;
  virtual void comment(const UnicodeString& text) = 0;
  virtual void docdecl(const UnicodeString& text) = 0;
  virtual void ignorableWhitespace(const UnicodeString& text) = 0;
  virtual void flush() = 0;
  // The text of the comment written after the XML declaration; empty
  // writes none. Does nothing here.
  virtual void setGenerator(const UnicodeString& generator);

 protected:
  ZelXmlSerializer();
};

}  // namespace ObraCommon
