// One XML document read to its end by the own parser's `next`, as the
// conformance harness and the xml-verdict tool both read it (entity
// references expanded; processing instructions and comments are not
// events there, so the canonical form has none): a carry-on callback
// records every report, and the document is rejected when a fatal report
// arrives or the parser throws. The events can be written in the
// canonical form of the conformance suite's expected outputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xml_verdict {

struct Verdict {
  bool rejected = false;
  std::vector<uint16_t> codes;  // every report, in order
  std::string thrown;           // the code of a thrown error, in hex
  std::string canonical;        // filled when asked for
};

// Reads the file at `path` (an absolute path).
Verdict Judge(const std::string& path, bool canonical);

// The codes of a verdict, "#<hex>" each, separated by spaces; the thrown
// code last, as "!<hex>".
std::string DescribeCodes(const Verdict& verdict);

// Text escaped as the canonical form writes it: &, <, >, " and the three
// line characters as references.
std::string CanonicalEscape(const std::string& text);

// The canonical start tag: attributes (name, value) sorted by name.
std::string CanonicalStartTag(const std::string& name, std::vector<std::pair<std::string, std::string>> attributes);

}  // namespace xml_verdict
