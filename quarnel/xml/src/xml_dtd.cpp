// The document type declaration as far as entities need it: the subset
// scanner, entity declarations, references to declared entities, and
// external subsets read once per process and kept. Nothing here recurses
// per declaration or per reference: parameter-entity texts and external
// entities are stacked on the parser's input under its expansion bounds.
#include <map>
#include <memory>

#include "quarnel/lock.h"
#include "quarnel/xml_parser_impl.h"
#include "xml_errors.h"
#include "xml_input.h"

namespace ObraCommon {

using namespace XmlInput;

namespace {

const char16_t kMathMLDirectory[] = u"http://www.w3.org/Math/DTD/mathml2/";

// An external subset's declarations, names as text, so that any parser
// can merge them.
struct SubsetRecord {
  std::map<UnicodeString, UnicodeString> general;
  std::map<UnicodeString, UnicodeString> parameter;
  std::map<UnicodeString, std::pair<UnicodeString, bool>> externalGeneral;
  std::map<UnicodeString, std::pair<UnicodeString, bool>> externalParameter;
  struct Attribute {
    UnicodeString elementPrefix, elementLocal, prefix, local;
    bool tokenized, hasDefault;
    UnicodeString value;
  };
  std::vector<Attribute> attributes;
};

// Lookups and insertions hold the lock; a subset is parsed outside it, and
// when two threads parse the same one the first record stored wins.
ZelLock g_subsetCacheLock;

std::map<UnicodeString, std::shared_ptr<const SubsetRecord>>& SubsetCache() {
  static std::map<UnicodeString, std::shared_ptr<const SubsetRecord>> cache;
  return cache;
}

ZelName ParameterKey(ZelName name) { return ZelName(UnicodeString(u"%").append(name.toString())); }

bool IsQuote(char32_t c) { return c == '"' || c == '\''; }

// Holds a parser flag set for one scope, however the scope is left.
struct FlagScope {
  bool& flag;
  FlagScope(bool& f, bool value) : flag(f) { flag = value; }
  ~FlagScope() { flag = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;
};

}  // namespace

void XmlParserImpl::clearSubsetCache() {
  ZelMutex guard(g_subsetCacheLock);
  SubsetCache().clear();
}

void XmlParserImpl::parseDoctypeDecl() {
  m_eventType = DOCDECL;
  if (m_rootSeen) reportError(0x1814);
  else if (m_doctypeSeen) reportError(0x1815);
  if (!skipWhitespace()) reportError(0x1816, u"<!DOCTYPE");
  ZelName prefix, local;
  if (!readQName(prefix, local)) reportError(0x1803);
  UnicodeString publicId, systemId;
  skipWhitespace();
  char32_t c = readChar();
  unreadChar(c);
  if (c != '[' && c != '>' && c != kEnd) {
    UnicodeString keyword = readName().toString();
    UnicodeString upper(keyword);
    upper.toUpper();
    bool isPublic = upper == u"PUBLIC";
    if ((!isPublic && upper != u"SYSTEM") || (keyword != u"PUBLIC" && keyword != u"SYSTEM"))
      reportError(0x1817, keyword);
    if (!skipWhitespace()) reportError(0x1816, keyword);
    c = readChar();
    unreadChar(c);
    if (isPublic) {
      if (IsQuote(c)) readLiteral(publicId, 0);
      else reportError(0x1818, u" PUBLIC");
      c = readChar();
      unreadChar(c);
      if (c != '>' && !IsSpace(c)) reportError(0x1816, u" PUBLIC");
      skipWhitespace();
      c = readChar();
      unreadChar(c);
      if (IsQuote(c)) readLiteral(systemId, 0);
    } else if (upper == u"SYSTEM") {
      if (IsQuote(c)) readLiteral(systemId, 0);
      else reportError(0x1819, u" SYSTEM|PUBLIC");
    }
  }
  scanDeclarations(false);

  if (publicId.startsWith(u"-//W3C//DTD SVG")) {
    m_namespaces->declarePrefix(ZelName(), ZelName(UnicodeString(kSvgNamespace)));
    m_namespaces->declarePrefix(ZelName(UnicodeString(u"xlink")), ZelName(UnicodeString(kXlinkNamespace)));
  }
  if (m_features[SKIP_EXTERNAL_DTD] && !systemId.isEmpty()) m_subsetUnread = true;
  if (!m_features[SKIP_EXTERNAL_DTD] && !systemId.isEmpty()) {
    UnicodeString resolved = ResolveLiteral(m_baseUri, systemId).toString();
    if (resolved.startsWith(kMathMLDirectory)) {
      // The MathML 2 entity set is built in; its DTD is never read.
      getMathMLEntity(UnicodeString());
      addMathMLEntityMap();
    } else {
      readExternalSubset(resolved);
    }
  }
  m_doctypeSeen = true;
}

// The declarations of a subset, up to the ">" that closes the DOCTYPE
// (internal) or to the end of input (external). Quoted literals, comments
// and processing instructions may hold "<" and ">".
void XmlParserImpl::scanDeclarations(bool external) {
  const int base = external ? 0 : 1;
  int open = base;
  int includes = 0;
  char32_t quote = 0;
  FlagScope internalSubset(m_internalSubset, !external);
  // After the internal subset's "]" only white space may come before ">".
  bool subsetClosed = false, strayReported = false;
  auto copy = [&](char32_t c) {
    if (external) return;
    m_textBuffer.append(static_cast<UChar32>(c));
    if (m_textBuffer.length() > m_valueLimit && !m_noEvent) reportLimit(u"value length");
  };
  // Copies up to and including the two characters `first` `second`.
  auto skipTo = [&](char32_t first, char32_t second, char32_t third) {
    char32_t a = 0, b = 0;
    for (;;) {
      char32_t c = readChar();
      if (c == kEnd) return;
      copy(c);
      if (third == 0 ? (b == first && c == second) : (a == first && b == second && c == third)) return;
      a = b;
      b = c;
    }
  };
  for (;;) {
    char32_t c = readChar();
    if (c == kEnd) {
      if (!external && !m_noEvent) reportError(0x181A, u"DOCTYPE");
      return;
    }
    if (quote != 0) {
      copy(c);
      if (c == quote) quote = 0;
      continue;
    }
    if (IsQuote(c) && open > base) {
      quote = c;
      copy(c);
      continue;
    }
    if (subsetClosed && c != '>' && !IsSpace(c)) {
      if (!strayReported) reportError(0x180C, Char(c));
      strayReported = true;
      continue;
    }
    if (c == '%') {
      expandParameterEntity();
      continue;
    }
    if (c == '>') {
      if (open == base && !external) return;
      if (open > base) --open;
      copy(c);
      continue;
    }
    if (c == ']' && includes > 0) {
      char32_t d = readChar();
      char32_t e = d == ']' ? readChar() : kNoChar;
      if (d == ']' && e == '>') {
        --includes;
        continue;
      }
      unreadChar(e);
      unreadChar(d);
    }
    if (c == ']' && !external && includes == 0 && open == base) subsetClosed = true;
    copy(c);
    if (c != '<') continue;
    char32_t d = readChar();
    if (d == '?') {
      copy(d);
      // The target is held to the rules of the document's own PIs; an XML
      // declaration has no place here.
      const UnicodeString target = readName().toString();
      if (!external) m_textBuffer.append(target);
      if (target == u"xml") reportError(0x1821);
      else checkPITarget(target);
      skipTo('?', '>', 0);
      continue;
    }
    if (d != '!') {
      // Elements, text and references belong after the DOCTYPE.
      reportError(0x180C, Char(d));
      unreadChar(d);
      ++open;
      continue;
    }
    copy(d);
    char32_t e = readChar();
    if (e == '-') {
      char32_t f = readChar();
      if (f == '-') {
        copy(e);
        copy(f);
        skipTo('-', '-', '>');
        continue;
      }
      unreadChar(f);
    }
    if (e == '[') {
      // A conditional section: its keyword may come from a parameter entity.
      copy(e);
      skipWhitespace();
      char32_t p = readChar();
      if (p == '%') expandParameterEntity();
      else unreadChar(p);
      skipWhitespace();
      UnicodeString keyword = readName().toString();
      skipWhitespace();
      char32_t bracket = readChar();
      if (bracket != '[') unreadChar(bracket);
      if (keyword == u"INCLUDE" && bracket == '[') {
        ++includes;
      } else {
        if (keyword != u"IGNORE") reportError(0x180F, keyword);
        skipIgnoredSection();
      }
      continue;
    }
    unreadChar(e);
    ZelName keyword = readName();
    if (!external) m_textBuffer.append(keyword.toString());
    if (keyword.toString() == u"ENTITY") {
      parseEntityDecl();
      continue;
    }
    if (keyword.toString() == u"ATTLIST") {
      parseAttlistDecl();
      continue;
    }
    ++open;
  }
}

// Nested "<![" sections count to their matching "]]>".
void XmlParserImpl::skipIgnoredSection() {
  int depth = 1;
  char32_t a = 0, b = 0;
  for (;;) {
    char32_t c = readChar();
    if (c == kEnd) {
      reportError(0x1811);
      return;
    }
    if (a == '<' && b == '!' && c == '[') {
      ++depth;
      c = 0;
    } else if (a == ']' && b == ']' && c == '>') {
      if (--depth == 0) return;
      c = 0;
    }
    a = b;
    b = c;
  }
}

// After "%" in a subset: an internal entity's text is scanned in place
// (with a space either side, as a parameter entity's text is, except in an
// entity value), an external one is read as a nested input.
void XmlParserImpl::expandParameterEntity(bool inLiteral) {
  ZelName name = readName();
  if (name.isEmpty()) {
    reportError(0x181B);
    return;
  }
  char32_t c = readChar();
  if (c != ';') {
    unreadChar(c);
    reportError(0x181C, UnicodeString(u"%").append(name.toString()).append(Char(c)));
    return;
  }
  auto internal = m_parameterEntities.find(name);
  if (internal != m_parameterEntities.end()) {
    pushEntityText(ParameterKey(name),
                   inLiteral ? internal->second : UnicodeString(u" ").append(internal->second).append(u' '));
    return;
  }
  auto external = m_externalParameterEntities.find(name);
  if (external != m_externalParameterEntities.end()) {
    UnicodeString uri = external->second.uri;
    bool read = false;
    try {
      read = pushStream(uri, ParameterKey(name));
    } catch (const ZelError&) {
      if (!m_features[LENIENT_ENTITIES]) throw;
    }
    if (!read) m_declarationsStopped = true;
    return;
  }
  if (m_features[LENIENT_ENTITIES]) return;
  if (m_subsetUnread || m_declarationsStopped)
    reportError(kWarnExternalNotRead, UnicodeString(u"%").append(name.toString()).append(u';'));
  else reportError(0x1E1D, name.toString());
}

// After "<!ENTITY"; the closing ">" is read too.
void XmlParserImpl::parseEntityDecl() {
  if (!skipWhitespace()) reportError(0x1816, u"<!ENTITY");
  bool parameter = false;
  char32_t c = readChar();
  if (c == '%') {
    parameter = true;
    if (!skipWhitespace()) reportError(0x1816, u"<!ENTITY %");
  } else {
    unreadChar(c);
  }
  ZelName name = readName();
  if (name.isEmpty()) {
    reportError(0x181F, u"!ENTITY ");
    return skipDeclaration();
  }
  const UnicodeString what = UnicodeString(u"<!ENTITY ").append(name.toString());
  if (!skipWhitespace()) reportError(0x1816, what);
  c = readChar();
  unreadChar(c);
  if (IsQuote(c)) {
    UnicodeString value;
    FlagScope entityValue(m_entityValue, true);
    readLiteral(value, 2);
    if (m_noEvent) return;  // a bound was passed
    enterEntity(parameter, name, &value, nullptr);
  } else {
    UnicodeString keyword = readName().toString();
    bool isPublic = keyword == u"PUBLIC";
    if (!isPublic && keyword != u"SYSTEM") {
      reportError(0x1817, what);
      return skipDeclaration();
    }
    if (!skipWhitespace()) reportError(0x1816, keyword);
    // A literal must come next; otherwise the declaration is reported and
    // stepped over.
    auto quoteFollows = [&](uint16_t code, const char16_t* after) {
      char32_t q = readChar();
      unreadChar(q);
      if (IsQuote(q)) return true;
      reportError(code, UnicodeString(what).append(after));
      skipDeclaration();
      return false;
    };
    UnicodeString literal;
    if (isPublic) {
      if (!quoteFollows(0x1818, u" PUBLIC")) return;
      readLiteral(literal, 2);
      if (!skipWhitespace()) reportError(0x1816, u"PUBLIC");
    }
    if (!quoteFollows(0x1819, u" SYSTEM|PUBLIC")) return;
    readLiteral(literal, 0);
    ExternalEntity entity;
    // Resolved where it is declared, so that an entity of an external
    // subset names a file next to that subset.
    entity.uri = ResolveLiteral(m_baseUri, literal).toString();
    if (!parameter) {
      const bool spaced = skipWhitespace();
      c = readChar();
      unreadChar(c);
      if (c != '>' && c != kEnd) {
        if (readName().toString() != u"NDATA") {
          reportError(0x1820, UnicodeString(what).append(u" ... \"").append(literal).append(u'"'));
        } else {
          if (!spaced) reportError(0x1816, UnicodeString(u"\"").append(literal).append(u'"'));
          if (!skipWhitespace()) reportError(0x1816, u"NDATA");
          readName();
          entity.unparsed = true;
        }
      }
    }
    enterEntity(parameter, name, nullptr, &entity);
  }
  skipWhitespace();
  c = readChar();
  if (c != '>') {
    unreadChar(c);
    reportError(0x180C, Char(c));
    skipDeclaration();
  }
}

// After "<!ATTLIST"; the closing ">" is read too. Outside the internal
// subset parameter entities may stand between the declaration's parts.
void XmlParserImpl::parseAttlistDecl() {
  const bool references = !m_internalSubset || !m_inputStack.empty();
  auto gap = [&]() {
    bool spaced = false;
    for (;;) {
      spaced = skipWhitespace() || spaced;
      char32_t c = readChar();
      if (c != '%' || !references) {
        unreadChar(c);
        return spaced;
      }
      expandParameterEntity();
      spaced = true;
    }
  };
  auto fail = [&](char32_t c) {
    reportError(0x180C, Char(c));
    skipDeclaration();
  };
  if (!gap()) reportError(0x1816, u"<!ATTLIST");
  ZelName elementPrefix, elementLocal;
  if (!readQName(elementPrefix, elementLocal)) return fail(readChar());
  for (;;) {
    const bool spaced = gap();
    char32_t c = readChar();
    if (c == '>') return;
    if (c == kEnd) return reportError(0x181A, u"ATTLIST");
    unreadChar(c);
    AttributeDecl decl;
    if (!readQName(decl.prefix, decl.localName)) return fail(readChar());
    const UnicodeString name = ZelXmlUtil::makeQNameStr(decl.prefix.toString(), decl.localName.toString());
    if (!spaced) reportError(0x1816, name);
    if (!gap()) reportError(0x1816, name);
    c = readChar();
    if (c != '(') {
      unreadChar(c);
      const UnicodeString type = readName().toString();
      if (type == u"NOTATION") {
        if (!gap()) reportError(0x1816, type);
        c = readChar();
        if (c != '(') return fail(c);
      } else if (type != u"CDATA" && type != u"ID" && type != u"IDREF" && type != u"IDREFS" && type != u"ENTITY" &&
                 type != u"ENTITIES" && type != u"NMTOKEN" && type != u"NMTOKENS") {
        return fail(type.isEmpty() ? readChar() : type.char32At(0));
      }
      decl.tokenized = type != u"CDATA";
    } else {
      decl.tokenized = true;
    }
    if (c == '(') {
      // Names or name tokens between "|", up to ")".
      for (;;) {
        gap();
        c = readChar();
        if (c == ')' || c == kEnd || c == '>' || IsQuote(c)) break;
        if (c == '<' || c == '(') return fail(c);
      }
      if (c != ')') return fail(c);
    }
    if (!gap()) reportError(0x1816, name);
    c = readChar();
    if (c == '#') {
      const UnicodeString keyword = readName().toString();
      if (keyword == u"FIXED") {
        if (!gap()) reportError(0x1816, u"#FIXED");
        c = readChar();
        unreadChar(c);
        if (!IsQuote(c)) return fail(c);
        decl.hasDefault = true;
      } else if (keyword != u"REQUIRED" && keyword != u"IMPLIED") {
        return fail(u'#');
      }
    } else if (IsQuote(c)) {
      unreadChar(c);
      decl.hasDefault = true;
    } else {
      return fail(c);
    }
    if (decl.hasDefault) {
      readLiteral(decl.value, 1);
      if (decl.tokenized) CollapseTokens(decl.value);
    }
    if (!m_declarationsStopped) enterAttribute(elementPrefix, elementLocal, std::move(decl));
  }
}

void XmlParserImpl::enterAttribute(ZelName elementPrefix, ZelName elementLocal, AttributeDecl decl) {
  std::vector<AttributeDecl>& list = m_attributeLists[attributeListKey(elementPrefix, elementLocal)];
  for (const AttributeDecl& known : list)
    if (known.prefix == decl.prefix && known.localName == decl.localName) return;
  list.push_back(std::move(decl));
}

// The first declaration of a name binds, across both maps of its kind.
void XmlParserImpl::enterEntity(bool parameter, ZelName name, const UnicodeString* text,
                                const ExternalEntity* external) {
  EntityMap& internal = parameter ? m_parameterEntities : m_generalEntities;
  ExternalMap& outside = parameter ? m_externalParameterEntities : m_externalGeneralEntities;
  if (internal.count(name) != 0 || outside.count(name) != 0) return;
  if (text != nullptr) internal.emplace(name, *text);
  else outside.emplace(name, *external);
}

void XmlParserImpl::expandGeneralEntity(ZelName name, bool inValue) {
  auto internal = m_generalEntities.find(name);
  if (internal != m_generalEntities.end()) {
    pushEntityText(name, internal->second);
    return;
  }
  auto external = m_externalGeneralEntities.find(name);
  if (external != m_externalGeneralEntities.end()) {
    // A value cannot hold a file's text, and an unparsed entity is no text.
    if (inValue || external->second.unparsed) {
      reportError(kErrExternalReference, name.toString());
      return;
    }
    UnicodeString uri = external->second.uri;
    try {
      pushStream(uri, name);
    } catch (const ZelError&) {
      if (!m_features[LENIENT_ENTITIES]) throw;
    }
    return;
  }
  if (m_features[LENIENT_ENTITIES]) return;
  // Where declarations were not read, the entity may have been declared
  // there: no error, but the document has a hole.
  if (m_subsetUnread || m_declarationsStopped)
    reportError(kWarnExternalNotRead, UnicodeString(u"&").append(name.toString()).append(u';'));
  else reportError(0x1E1E, name.toString());
}

void XmlParserImpl::readExternalSubset(const UnicodeString& uri) {
  try {
    // Parameter entities of the internal subset bind first and may change
    // what the external subset declares (a conditional section's keyword,
    // an entity's text): such a subset is read for this document alone.
    // Nor is one that only the URI resolver may serve: the cache must not
    // hand a parser that may read no file what another read from one.
    const bool ownReading = !m_parameterEntities.empty() || !m_externalParameterEntities.empty() ||
                            !m_features[LOAD_EXTERNAL_ENTITIES] || m_externalBlocked;
    std::shared_ptr<const SubsetRecord> record;
    if (!ownReading) {
      ZelMutex guard(g_subsetCacheLock);
      auto found = SubsetCache().find(uri);
      if (found != SubsetCache().end()) record = found->second;
    }
    if (!record) {
      UnicodeString resolved;
      std::unique_ptr<std::istream> stream(openExternal(uri, resolved));
      // Not allowed, or a remote resource without stream: nothing. One the
      // parser was allowed to read is reported.
      if (!stream) {
        m_subsetUnread = true;
        if (m_features[LOAD_EXTERNAL_ENTITIES] && !m_externalBlocked) reportError(kWarnExternalNotRead, uri);
        return;
      }
      auto fresh = std::make_shared<SubsetRecord>();
      if (stream->peek() != std::char_traits<char>::eof()) {
        XmlParserImpl subset;
        subset.m_externalBlocked = m_externalBlocked;
        subset.m_features[LOAD_EXTERNAL_ENTITIES] = m_features[LOAD_EXTERNAL_ENTITIES];
        ZelUri where(uri, ZelUri::URISTR_URI);
        subset.setInput(*stream, UnicodeString(), where.isAbsolute() ? where.getBaseString() : UnicodeString());
        subset.m_parameterEntities = m_parameterEntities;
        subset.m_externalParameterEntities = m_externalParameterEntities;
        subset.parseExternalSubset();
        for (const auto& [name, text] : subset.m_generalEntities)
          fresh->general.emplace(ZelName(name).toString(), text);
        for (const auto& [name, text] : subset.m_parameterEntities)
          fresh->parameter.emplace(ZelName(name).toString(), text);
        for (const auto& [name, entity] : subset.m_externalGeneralEntities)
          fresh->externalGeneral.emplace(ZelName(name).toString(), std::make_pair(entity.uri, entity.unparsed));
        for (const auto& [name, entity] : subset.m_externalParameterEntities)
          fresh->externalParameter.emplace(ZelName(name).toString(), std::make_pair(entity.uri, entity.unparsed));
        for (const auto& [key, list] : subset.m_attributeLists) {
          const ZelName elementPrefix(static_cast<ZelNameEnum>(key >> 32));
          const ZelName elementLocal(static_cast<ZelNameEnum>(key & 0xFFFFFFFFu));
          for (const AttributeDecl& decl : list)
            fresh->attributes.push_back({elementPrefix.toString(), elementLocal.toString(), decl.prefix.toString(),
                                         decl.localName.toString(), decl.tokenized, decl.hasDefault, decl.value});
        }
      }
      if (ownReading) {
        record = std::move(fresh);
      } else {
        ZelMutex guard(g_subsetCacheLock);
        record = SubsetCache().emplace(uri, std::move(fresh)).first->second;
      }
    }
    for (const auto& [name, text] : record->general) enterEntity(false, ZelName(name), &text, nullptr);
    for (const auto& [name, text] : record->parameter) enterEntity(true, ZelName(name), &text, nullptr);
    auto named = [](const UnicodeString& text) { return text.isEmpty() ? ZelName() : ZelName(text); };
    for (const SubsetRecord::Attribute& attribute : record->attributes) {
      AttributeDecl decl;
      decl.prefix = named(attribute.prefix);
      decl.localName = named(attribute.local);
      decl.tokenized = attribute.tokenized;
      decl.hasDefault = attribute.hasDefault;
      decl.value = attribute.value;
      enterAttribute(named(attribute.elementPrefix), named(attribute.elementLocal), std::move(decl));
    }
    for (const auto* map : {&record->externalGeneral, &record->externalParameter}) {
      for (const auto& [name, value] : *map) {
        ExternalEntity entity;
        entity.uri = value.first;
        entity.unparsed = value.second;
        enterEntity(map == &record->externalParameter, ZelName(name), nullptr, &entity);
      }
    }
  } catch (const ZelError&) {
    if (!m_features[IGNORE_DTD_FAILURE]) throw;
    m_subsetUnread = true;
  }
}

// In a parser of its own, without callback: any report throws. A leading
// "<?xml" is a text declaration, which needs no version.
void XmlParserImpl::parseExternalSubset() {
  m_lineNumber = 1;
  m_columnNumber = 0;
  detectByteOrder();
  readTextDecl();
  scanDeclarations(true);
}

}  // namespace ObraCommon
