// The MathML 2 entity set, generated at build time from the DTD's entity
// files (quarnel/xml/tools/mathml-entities), loaded into a process-wide
// table on first use and merged into parsers under one lock.
#include <map>

#include "quarnel/lock.h"
#include "quarnel/xml_parser_impl.h"

namespace ObraCommon {

namespace {

// Name, 0, replacement text, 0, ... and a closing empty name.
const char16_t kMathMLEntities[] = {
#include "mathml_entities.inc"
};

ZelLock g_mathMLLock;

std::map<UnicodeString, UnicodeString>& MathMLTable() {
  static std::map<UnicodeString, UnicodeString> table;
  return table;
}

// Under g_mathMLLock.
void LoadMathMLTable() {
  auto& table = MathMLTable();
  if (!table.empty()) return;
  for (const char16_t* p = kMathMLEntities; *p != 0;) {
    UnicodeString name(p);
    p += name.length() + 1;
    UnicodeString text(p);
    p += text.length() + 1;
    table.emplace(std::move(name), std::move(text));
  }
  // Missing names answer this entry's empty text.
  table.emplace(UnicodeString(), UnicodeString());
}

}  // namespace

const UnicodeString& ZelXmlParser::getMathMLEntity(const UnicodeString& name) {
  ZelMutex guard(g_mathMLLock);
  LoadMathMLTable();
  auto& table = MathMLTable();
  auto found = table.find(name);
  return found != table.end() ? found->second : table.find(UnicodeString())->second;
}

// As far as the table has been loaded; loading it is getMathMLEntity's.
void XmlParserImpl::addMathMLEntityMap() {
  ZelMutex guard(g_mathMLLock);
  for (const auto& [name, text] : MathMLTable()) {
    if (name.isEmpty()) continue;
    enterEntity(false, ZelName(name), &text, nullptr);
  }
}

}  // namespace ObraCommon
