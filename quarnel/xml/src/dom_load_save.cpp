// Reading a tree from a pull parser, completely or as navigation asks, and
// writing a tree or a subtree through the XML writer.
#include <sstream>
#include <streambuf>
#include <typeinfo>

#include "dom_internal.h"
#include "error_raise.h"
#include "quarnel/color.h"
#include "xml_serializer_impl.h"

namespace ObraCommon {

namespace {

constexpr int kOriginLoadNextNode = 0;
constexpr int kOriginDoSave = 1;

// Reads a caller's bytes in place.
class BorrowedBytes : public std::streambuf {
 public:
  BorrowedBytes(const char* bytes, size_t length) {
    char* begin = const_cast<char*>(bytes);
    setg(begin, begin, begin + length);
  }
};

// The node a loader stands on after an end tag: the parent, past the
// complemental ones a derived document put in between.
ZelNode* climb(ZelNode* node) {
  ZelNode* parent = node->getParentNodeFast();
  while (parent != nullptr && parent->getFlag(ZelNode::FLAG_COMPLEMENTAL)) parent = parent->getParentNodeFast();
  return parent;
}

void markLoaded(ZelNode* node) {
  node->setFlag(ZelNode::FLAG_LOADING, false);
  node->setFlag(ZelNode::FLAG_LOADED, true);
}

}  // namespace

ZelXmlParser* ZelDocument::getParser() {
  if (!m_parser) m_parser = ZelXmlUtil::createXmlParser();
  return m_parser.get();
}

void ZelDocument::setParser(ZelXmlParser* parser) {
  m_parser = parser;
  m_documentUri.remove();
}

void ZelDocument::setExternalEntityLoading(bool allowed) {
  getParser()->setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, allowed);
}

ZelXmlSerializer* ZelDocument::getSerializer() {
  if (!m_serializer) m_serializer = ZelXmlUtil::createXmlSerializer();
  return m_serializer.get();
}

void ZelDocument::setSerializer(ZelXmlSerializer* serializer) { m_serializer = serializer; }

void ZelDocument::load(const UnicodeString& uri, ZelNode* node) {
  if (node == nullptr || node == this) m_documentUri = uri;
  getParser()->setInput(uri, UnicodeString(), m_baseUri);
  doLoad(node, m_pullMode);
}

void ZelDocument::load(std::istream& in, ZelNode* node) {
  if (node == nullptr || node == this) m_documentUri.remove();
  getParser()->setInput(in, UnicodeString(), m_baseUri);
  doLoad(node, m_pullMode);
}

void ZelDocument::load() { doLoad(nullptr, m_pullMode); }

void ZelDocument::loadXml(const UnicodeString& text, ZelNode* node) {
  if (node == nullptr || node == this) m_documentUri.remove();
  // The text's own units, little-endian in memory here, named by their
  // byte order so that no leading character is read as a mark.
  BorrowedBytes bytes(reinterpret_cast<const char*>(text.getBuffer()), static_cast<size_t>(text.length()) * 2);
  std::istream in(&bytes);
  ZelXmlParser* parser = getParser();
  parser->setInput(in, UnicodeString(u"UTF-16LE"), m_baseUri);
  try {
    doLoad(node, false);
  } catch (...) {
    parser->closeStream();
    throw;
  }
  // The stream dies here: the parser must not keep reading it.
  parser->closeStream();
}

void ZelDocument::doLoad(ZelNode* node, bool pull) {
  ZelNode* target = node == nullptr ? this : node;
  m_lastLoadingNode = target;
  m_loadTarget = target;
  m_skipDepth = 0;
  target->setFlag(FLAG_LOADING, true);
  target->removeAllChildNodes();
  if (pull) return;
  while (loadNextNode() != nullptr) {
  }
}

void ZelDocument::abort() { m_lastLoadingNode = nullptr; }

ZelNode* ZelDocument::loadNextNode() {
  if (m_lastLoadingNode == nullptr) return nullptr;
  try {
    return readNextNode();
  } catch (...) {
    // A failed parse is never resumed by later navigation.
    abort();
    throw;
  }
}

// Loading into the library's own document and its own elements, whose
// factories and appending no derived class replaces, makes and links the
// nodes directly: the same nodes in the same places as through the
// virtual steps. A node of another document still gets them refused.
bool ZelDocument::ownLoading(const ZelNode* current) const {
  if (typeid(*this) != typeid(ZelDocument) || (current != this && current->m_ownerDocument != this)) return false;
  const std::type_info& type = typeid(*current);
  return type == typeid(ElementNS) || type == typeid(ZelDocument) || type == typeid(Element);
}

// appendChild's links for a node just made: it has no parent, cannot be
// an ancestor of parent, and belongs to this document.
void ZelDocument::linkLoaded(ZelNode* parent, ZelNode* child) {
  child->addRef();
  child->m_parent = parent;
  child->m_previous = parent->m_lastChild;
  if (parent->m_lastChild == nullptr) {
    child->m_next = child;
  } else {
    child->m_next = parent->m_lastChild->m_next;
    parent->m_lastChild->m_next = child;
  }
  parent->m_lastChild = child;
}

ZelNode* ZelDocument::loadOwnElement(ZelXmlParser* parser, ZelNode* parent) {
  auto* element = new (this) ElementNS(this, parser->getNamespace(), parser->getPrefix(), parser->getName());
  try {
    element->setFlag(FLAG_LOADING, true);
    element->ZelElement::setSourceLineNumber(parser->getLineNumber());
    element->ZelElement::setSourceColumnNumber(parser->getColumnNumber());
    int count = parser->getAttributeCount();
    for (int i = 0; i < count; ++i)
      element->ZelElement::setAttributeEx(parser->getAttributeNamespace(i), parser->getAttributePrefix(i),
                                          parser->getAttributeName(i), parser->getAttributeValue(i));
  } catch (...) {
    // Never referenced: gone as its release would take it.
    delete element;
    throw;
  }
  linkLoaded(parent, element);
  return element;
}

ZelNode* ZelDocument::readNextNode() {
  ZelXmlParser* parser = getParser();
  ZelNode* current = m_lastLoadingNode;
  if (current->isText() && !current->isLoading()) current = current->getParentNodeFast();
  for (;;) {
    int event = parser->next();
    while (m_skipDepth != 0) {
      if (event == ZelXmlParser::END_DOCUMENT) {
        m_skipDepth = 0;
        break;
      }
      if (event == ZelXmlParser::END_TAG && parser->getDepth() == m_skipDepth) {
        m_skipDepth = 0;
        event = parser->next();
        break;
      }
      event = parser->next();
    }
    while (current != nullptr && event == ZelXmlParser::END_TAG) {
      markLoaded(current);
      // Reaching the target ends loading: an end tag a callback let
      // through must not lift the loader above it.
      if (current == m_loadTarget) {
        current = nullptr;
        break;
      }
      current = climb(current);
      event = parser->next();
    }
    if (current == nullptr) {
      m_lastLoadingNode = nullptr;
      return nullptr;
    }
    switch (event) {
      case ZelXmlParser::END_DOCUMENT:
        markLoaded(current);
        // Elements left open by a tolerated error are complete too.
        for (ZelNode* up = current; up != nullptr && up != m_loadTarget; up = up->getParentNodeFast())
          if (up->isLoading()) markLoaded(up);
        if (m_loadTarget != nullptr) markLoaded(m_loadTarget);
        m_lastLoadingNode = nullptr;
        return nullptr;
      case ZelXmlParser::START_TAG: {
        if (ownLoading(current)) {
          ZelNode* element = loadOwnElement(parser, current);
          m_lastLoadingNode = element;
          return element;
        }
        ZelPtr<ZelElement> element =
            createElementNS(parser->getNamespace(), parser->getPrefix(), parser->getName());
        if (element) {
          element->setFlag(FLAG_LOADING, true);
          element->setSourceLineNumber(parser->getLineNumber());
          element->setSourceColumnNumber(parser->getColumnNumber());
          int count = parser->getAttributeCount();
          for (int i = 0; i < count; ++i)
            element->setAttributeEx(parser->getAttributeNamespace(i), parser->getAttributePrefix(i),
                                    parser->getAttributeName(i), parser->getAttributeValue(i));
          ZelNode* attached = current->appendChildEx(element.get());
          if (attached == element.get() || (attached != nullptr && attached->isA(kTypeIdZelElement))) {
            m_lastLoadingNode = attached;
            return attached;
          }
        }
        // Not made or not taken: the element and its content are skipped.
        m_skipDepth = parser->getDepth();
        continue;
      }
      case ZelXmlParser::TEXT: {
        // Text beside the root element (the parser lets references there
        // through) is no content of the document: written back, it would
        // be lost or refused.
        if (current->getNodeType() == DOCUMENT_NODE) continue;
        if (ownLoading(current)) {
          ZelNode* text = new (this) ZelTextNode(this, parser->getText());
          linkLoaded(current, text);
          m_lastLoadingNode = text;
          return text;
        }
        ZelNode* attached = current->appendChildText(parser->getText());
        if (attached != nullptr) {
          m_lastLoadingNode = attached;
          return attached;
        }
        continue;
      }
      default:
        throwLibraryError(2059, kOriginLoadNextNode);
    }
  }
}

template <class Body>
void ZelDocument::guardedSave(Body body) {
  try {
    body(*getSerializer());
  } catch (...) {
    // The output is released, what was written stays: setting no output
    // closes the previous one, and the complaint about the missing one is
    // of no interest here.
    try {
      getSerializer()->setOutput(static_cast<std::ostream*>(nullptr), UnicodeString());
    } catch (...) {
    }
    throw;
  }
}

void ZelDocument::save(const UnicodeString& uri, ZelNode* node) { save(uri, node, UnicodeString(), UnicodeString()); }

void ZelDocument::save(const UnicodeString& uri, ZelNode* node, const UnicodeString& encoding) {
  save(uri, node, encoding, UnicodeString());
}

void ZelDocument::save(const UnicodeString& uri, ZelNode* node, const UnicodeString& encoding,
                       const UnicodeString& instruction) {
  getSerializer()->setOutput(uri, encoding);
  guardedSave([&](ZelXmlSerializer& out) {
    out.startDocument(UnicodeString(), UnicodeString());
    if (!instruction.isEmpty()) out.processingInstruction(instruction);
    doSave(node);
    out.endDocument();
  });
}

void ZelDocument::save(std::ostream& stream, ZelNode* node, const UnicodeString& encoding) {
  save(stream, node, encoding, UnicodeString());
}

void ZelDocument::save(std::ostream& stream, ZelNode* node, const UnicodeString& encoding,
                       const UnicodeString& instruction) {
  getSerializer()->setOutput(&stream, encoding);
  guardedSave([&](ZelXmlSerializer& out) {
    out.startDocument(UnicodeString(), UnicodeString());
    if (!instruction.isEmpty()) out.processingInstruction(instruction);
    doSave(node);
    out.endDocument();
  });
}

void ZelDocument::save(const UnicodeString& comment, const UnicodeString& doctype, std::ostream& stream,
                       ZelNode* node, const UnicodeString& encoding) {
  getSerializer()->setOutput(&stream, encoding);
  guardedSave([&](ZelXmlSerializer& out) {
    out.startDocument(UnicodeString(), UnicodeString());
    if (!comment.isEmpty()) out.comment(comment);
    if (!doctype.isEmpty()) out.docdecl(doctype);
    doSave(node);
    out.endDocument();
  });
}

UnicodeString ZelDocument::saveXml(ZelNode* node) {
  std::ostringstream bytes;
  getSerializer()->setOutput(&bytes, UnicodeString(u"UTF-8"));
  guardedSave([&](ZelXmlSerializer& out) {
    if (node == nullptr || node == this) out.startDocument(UnicodeString(), UnicodeString());
    doSave(node);
    out.endDocument();
  });
  return UnicodeString::fromUTF8(bytes.str());
}

void ZelDocument::saveDocumentElement(const UnicodeString& uri) {
  getSerializer()->setOutput(uri, UnicodeString());
  guardedSave([&](ZelXmlSerializer& out) {
    out.startDocument(UnicodeString(), UnicodeString());
    doSave(getDocumentElement(), true);
  });
}

void ZelDocument::saveDocumentElement(std::ostream& stream) {
  getSerializer()->setOutput(&stream, UnicodeString());
  guardedSave([&](ZelXmlSerializer& out) {
    out.startDocument(UnicodeString(), UnicodeString());
    doSave(getDocumentElement(), true);
  });
}

void ZelDocument::saveChildElement(ZelNode* node) {
  guardedSave([&](ZelXmlSerializer&) { doSave(node); });
}

void ZelDocument::closeDocumentElement() {
  guardedSave([&](ZelXmlSerializer& out) {
    ZelElement* root = getDocumentElement();
    if (root != nullptr) out.endTag(root->getNamespaceUri(), root->getLocalName());
    out.endDocument();
  });
}

void ZelDocument::doSave(ZelNode* node) { doSave(node, false); }

void ZelDocument::writeAttributes(ZelElement* element) {
  ZelXmlSerializer& out = *getSerializer();
  element->finishAttributes();
  ZelNamedNodeMap* attributes = element->getAttributes();
  if (attributes == nullptr) return;
  // Walked link by link: item(i) would start from the first each time.
  for (ZelNode* attr = attributes->getFirstNode(); attr != nullptr; attr = attributes->getNextNode(attr)) {
    ZelName ns = attr->getNamespaceUri();
    ZelName prefix = attr->getPrefix();
    ZelName local = attr->getLocalName();
    if (typeid(*attr) == typeid(Attr) || typeid(*attr) == typeid(AttrNS)) {
      if (const UnicodeString* text = static_cast<Attr*>(attr)->getPlainText()) {
        out.attribute(ns, prefix, local, *text);
        continue;
      }
    }
    ZelValue value = attr->getNodeValue();
    bool colour = (value.isInteger() || value.isCompound()) && value.getUnitType() == UNIT_COLOR;
    if (colour) {
      out.attribute(ns, prefix, local, value.getColorValue().toString(false));
    } else if (value.isCompound()) {
      ZelNamedValueMapIterator entries(value.getNamedValueMap());
      while (entries.hasNext()) {
        const ZelNamedValue& entry = entries.next();
        ZelName entryName = entry.getName();
        ZelName written = entryName.isEmpty()
                              ? local
                              : ZelName(UnicodeString(local.toString()).append(u'.').append(entryName.toString()));
        out.attribute(ns, prefix, written, entry.getValue().toString());
      }
    } else if (!value.isNull() && value.getValueType() != VALUE_OBJECT) {
      out.attribute(ns, prefix, local, value.toString());
    }
  }
}

void ZelDocument::doSave(ZelNode* root, bool startTagOnly) {
  if (root == nullptr) root = this;
  ZelXmlSerializer& out = *getSerializer();
  // The library's own writer collects the subtree's bytes and hands them
  // to the stream in large pieces.
  XmlSerializerImpl::Batch batch(out.isA(XmlSerializerImpl::getStaticTypeID()) ? static_cast<XmlSerializerImpl*>(&out)
                                                                                : nullptr);
  // Writes what comes before a node's children; true when the node has
  // children to walk and an end to write.
  auto open = [&](ZelNode* node) {
    switch (node->getNodeType()) {
      case ELEMENT_NODE:
        if (node->isText() && node->getLocalName().toString() == u"#text") {
          out.text(node->getText());
          return false;
        }
        out.startTag(node->getNamespaceUri(), node->getPrefix(), node->getLocalName());
        writeAttributes(static_cast<ZelElement*>(node));
        return true;
      case TEXT_NODE:
        // The library's own text node is written from where it keeps it.
        if (typeid(*node) == typeid(ZelTextNode))
          out.text(static_cast<ZelTextNode*>(node)->m_data);
        else
          out.text(node->getText());
        return false;
      case PROCESSING_INSTRUCTION_NODE: out.processingInstruction(node->getText()); return false;
      case DOCUMENT_NODE:
      case DOCUMENT_FRAGMENT_NODE: return true;
      default: throwLibraryError(2066, kOriginDoSave);
    }
  };
  auto close = [&](ZelNode* node) {
    if (node->getNodeType() == ELEMENT_NODE) out.endTag(node->getNamespaceUri(), node->getLocalName());
  };
  ZelNode* node = root;
  for (;;) {
    bool walk = open(node);
    if (startTagOnly && node == root) return;
    ZelNode* child = walk ? node->getFirstChild() : nullptr;
    if (child != nullptr) {
      node = child;
      continue;
    }
    for (;;) {
      if (walk) close(node);
      if (node == root) return;
      ZelNode* next = node->getNextSibling();
      if (next != nullptr) {
        node = next;
        break;
      }
      node = node->getParentNode();
      walk = true;
    }
  }
}

}  // namespace ObraCommon
