// Parse error messages. Warnings (bit 0x400) read as their fatal forms.
#include "xml_errors.h"

namespace ObraCommon {

namespace {

struct Message {
  uint16_t code;
  const char16_t* before;  // text before A
  const char16_t* middle;  // text between A and B; null when A is not used
  const char16_t* after;   // text after B (or after A); null when B is not used
};

// before + A + middle (+ B + after). A code whose message takes no
// argument has only `before`.
const Message kMessages[] = {
    {0x1801, u"Missing end tag.", nullptr, nullptr},
    {0x1802, u"Only one top level element is allowed.", nullptr, nullptr},
    {0x1803, u"Invalid root tag name after '<!DOCTYPE'.", nullptr, nullptr},
    {0x1804, u"Invalid start tag name.", nullptr, nullptr},
    {0x1805, u"Invalid end tag name.", nullptr, nullptr},
    {0x1806, u"End tag '", u"' does not match the start tag '", u"'."},
    {0x1807, u"Undeclared namespace prefix: ", u"", nullptr},
    {0x1808, u"Duplicate attribute: ", u"", nullptr},
    {0x1809, u"Invalid attribute name: ", u"", nullptr},
    {0x180A, u"Missing '=' after attribute name.", nullptr, nullptr},
    {0x180B, u"Missing whitespace between attributes.", nullptr, nullptr},
    {0x180C, u"Unexpected character: ", u"", nullptr},
    {0x180D, u"Unexpected whitespace after '", u"'.", nullptr},
    {0x180E, u"Unexpected text at top level of the document: ", u"", nullptr},
    {0x180F, u"Unexpected '<![", u"'.", nullptr},
    {0x1810, u"Unexpected ']]>'.", nullptr, nullptr},
    {0x1811, u"Unexpected end of input while looking for CDATA section terminator ']]>'.", nullptr, nullptr},
    {0x1812, u"Unexpected end of input while looking for comment terminator '-->'.", nullptr, nullptr},
    {0x1813, u"Unexpected character after -- in comment", nullptr, nullptr},
    {0x1814, u"Unexpected DOCTYPE declaration outside of prolog.", nullptr, nullptr},
    {0x1815, u"Cannot have multiple DOCTYPE declarations.", nullptr, nullptr},
    {0x1816, u"Missing whitespace after '", u"'.", nullptr},
    {0x1817, u"ExternalID is expected after '", u"'.", nullptr},
    {0x1818, u"PubidLiteral is expected after '", u"'.", nullptr},
    {0x1819, u"SystemLiteral is expected after '", u"'.", nullptr},
    {0x181A, u"Unexpected end of input in ", u" declaration.", nullptr},
    {0x181B, u"Empty entity name.", nullptr, nullptr},
    {0x181C, u"Invalid character in entity reference: ", u";", nullptr},
    {0x181D, u"Reference to undefined entity: %", u";", nullptr},
    {0x181E, u"Reference to undefined entity: &", u";", nullptr},
    {0x181F, u"Entity name is expected after '", u"'.", nullptr},
    {0x1820, u"NDATA is expected after '", u"'.", nullptr},
    {0x1821, u"Unexpected XML declaration.", nullptr, nullptr},
    {0x1822, u"Missing 'version=' after '<?xml ' in XML declaration.", nullptr, nullptr},
    {0x1823, u"Missing '=' after '", u"' in XML declaration.", nullptr},
    {0x1824, u"Missing whitespace after '", u"' in XML declaration.", nullptr},
    {0x1825, u"Missing whitespace before '", u"' in XML declaration.", nullptr},
    {0x1826, u"Unsupported XML version: ", u"", nullptr},
    {0x1827, u"Invalid standalone declaration in XML declaration.", nullptr, nullptr},
    {0x1828, u"Invalid syntax in CDATA section.", nullptr, nullptr},
    {0x1829, u"Invalid syntax in comment.", nullptr, nullptr},
    {0x182A, u"Unexpected '<!", u"'.", nullptr},
    {0x182B, u"The name 'xml' must be lower case: <?", u"", nullptr},
    {0x182C, u"Missing whitespace after PI target: <?", u"", nullptr},
    {0x182D, u"Unexpected end of input while looking for PI terminator '?>'.", nullptr, nullptr},
    {0x182E, u"Missing quotation character (\" or ').", nullptr, nullptr},
    {0x182F, u"Unexpected end of input while looking for literal terminator (", u").", nullptr},
    {0x1830, u"Unexpected '<' in attribute value.", nullptr, nullptr},
    {0x1831, u"Unexpected whitespace in character reference: &#", u";", nullptr},
    {0x1832, u"Invalid character in character reference: &#", u";", nullptr},
    {0x1833, u"Invalid unicode character: &#", u";", nullptr},
    {0x1834, u"Invalid character.", nullptr, nullptr},
    {0x1835, u"Unknown or unsupported encoding: ", u".", nullptr},
    {0x1836, u"No-XML document.", nullptr, nullptr},
    {0x1839, u"Conflict encoding: ", u".", nullptr},
    {0x183A, u"Recursive entity reference: ", u".", nullptr},
    {0x183B, u"Entity expansion limit exceeded.", nullptr, nullptr},
    {0x183C, u"Parser limit exceeded: ", u".", nullptr},
    {0x183D, u"Invalid reference to external or unparsed entity: &", u";", nullptr},
    {0x183E, u"External entity not read: ", u"", nullptr},
};

}  // namespace

UnicodeString xmlErrorMessage(uint16_t code, const UnicodeString& a, const UnicodeString& b) {
  // The warnings 0x1E06, 0x1E1D, 0x1E1E and 0x1E3E share their fatal
  // forms' texts.
  uint16_t base = code;
  if (code == 0x1E06 || code == 0x1E1D || code == 0x1E1E || code == 0x1E3E) base = static_cast<uint16_t>(code & ~0x0600);
  for (const Message& message : kMessages) {
    if (message.code != base) continue;
    UnicodeString text(message.before);
    if (message.middle == nullptr) return text;
    text.append(a).append(message.middle);
    if (message.after != nullptr) text.append(b).append(message.after);
    return text;
  }
  return UnicodeString(u"XML parser error.");
}

}  // namespace ObraCommon
