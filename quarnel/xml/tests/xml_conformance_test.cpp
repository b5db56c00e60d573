// The W3C XML conformance suite, every test of its flattened catalogue read
// by the own parser in forked workers (so a crash or a hang is one failed
// case, not a lost run). For XML 1.0 fifth-edition,
// namespace-aware tests the catalogue's verdict is asserted: not-wf
// rejected, valid and invalid accepted, error either way; the reviewed
// exceptions are listed in xmlconf-expected.tsv, each with the parser rule
// that explains it. The other tests only have to end.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlreader.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testsupport/testdata.h"
#include "xml_test_support.h"
#include "xml_verdict.h"

namespace {

namespace fs = std::filesystem;
using xml_test::EngineStarted;

// The reasons an exception may give: rules by which the parser reads less
// strictly than the conformance suite tests.
const std::map<std::string, std::string> kRules = {
    {"declarations", "declarations other than ENTITY and ATTLIST are skipped, not checked"},
    {"char-ranges", "characters are not checked against the Char production"},
    {"pubid-chars", "public identifiers are not checked against PubidChar"},
    {"entity-boundaries", "markup may begin and end in different entities"},
    {"undeclared-entity", "an undeclared entity is a warning, not a fatal error"},
    {"name-classes", "names use the parser's own name-character classes"},
    // Rules the parser's reading of documents without declarations has
    // had from the start.
    {"pi-target", "a processing instruction's target is read, not required"},
    {"top-level-markup", "CDATA sections and references outside the root element are not checked for depth"},
    {"encoding-name", "encoding names are trimmed before they are compared"},
    // Rules of the parser's reading of declarations and encodings.
    {"text-declaration", "a text declaration's version is not tested and its encoding may be left out"},
    {"doctype-public", "a DOCTYPE's public identifier needs no system literal"},
    {"xml-version", "versions other than 1.0 and 1.1 are reported"},
    {"utf16-without-mark", "a UTF-16 declaration without byte order mark is read a byte at a time"},
    // Callers that sniff a document's root rely on meeting the end of an
    // input without an element as an ordinary end.
    {"no-root", "an input without an element ends with END_DOCUMENT, not an error"},
};

enum class Group { Asserted, Xml11, OtherEdition, NoNamespace };

struct Case {
  std::string id, type, suite;
  fs::path input, output;
  Group group = Group::Asserted;
};

std::string Attribute(xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  std::string out = value != nullptr ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return out;
}

Group GroupOf(xmlNode* test) {
  const std::string version = Attribute(test, "VERSION"), edition = Attribute(test, "EDITION");
  const std::string recommendation = Attribute(test, "RECOMMENDATION");
  if (version == "1.1" || recommendation.rfind("XML1.1", 0) == 0 || recommendation.rfind("NS1.1", 0) == 0)
    return Group::Xml11;
  if (!edition.empty() && edition.find('5') == std::string::npos) return Group::OtherEdition;
  if (Attribute(test, "NAMESPACE") == "no") return Group::NoNamespace;
  return Group::Asserted;
}

// Every TEST element, its files resolved against the xml:base of the
// TESTCASES around it (folders below xml/xmlconf).
void Collect(xmlNode* node, const fs::path& base, std::vector<Case>& cases) {
  for (; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    const std::string name = reinterpret_cast<const char*>(node->name);
    if (name == "TESTCASES") {
      xmlChar* here = xmlGetNsProp(node, reinterpret_cast<const xmlChar*>("base"), XML_XML_NAMESPACE);
      const fs::path inner = here != nullptr ? base / reinterpret_cast<const char*>(here) : base;
      xmlFree(here);
      Collect(node->children, inner, cases);
    } else if (name == "TEST") {
      Case c{Attribute(node, "ID"), Attribute(node, "TYPE"), "", (base / Attribute(node, "URI")).lexically_normal(),
             {}, GroupOf(node)};
      if (!Attribute(node, "OUTPUT").empty()) c.output = (base / Attribute(node, "OUTPUT")).lexically_normal();
      cases.push_back(c);
    } else {
      Collect(node->children, base, cases);
    }
  }
}

std::vector<Case> ReadCatalogue(const fs::path& catalogue, const fs::path& root) {
  std::vector<Case> cases;
  xmlDocPtr doc = xmlReadFile(catalogue.c_str(), nullptr, XML_PARSE_NONET);
  if (doc == nullptr) return cases;
  Collect(xmlDocGetRootElement(doc), root, cases);
  xmlFreeDoc(doc);
  for (Case& c : cases) c.suite = c.input.lexically_relative(root).begin()->string();
  return cases;
}

struct Outcome {
  std::string status;  // "accepted", "rejected", "timeout" or "crash"
  std::string codes, canonical;
};

// Cases are read by a few forked workers, each taking a share in order and
// writing one record per case: "<index>\t<verdict>\t<codes>\t<length>\n"
// and the canonical form. A worker that dies or spends more than ten
// seconds on a case costs that case (a crash or a timeout); a new worker
// goes on after it.
using Clock = std::chrono::steady_clock;

struct Worker {
  pid_t pid = -1;
  int fd = -1;
  size_t next = 0, end = 0;  // the case being read, the end of the share
  std::string buffer;
  Clock::time_point deadline;
};

void WriteAll(int fd, const std::string& bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
    if (n <= 0) _exit(3);
    at += static_cast<size_t>(n);
  }
}

void StartWorker(Worker& worker, const std::vector<Case>& cases, size_t from) {
  worker.next = from;
  worker.buffer.clear();
  worker.pid = -1;
  if (from >= worker.end) return;
  int fds[2];
  if (pipe(fds) != 0) return;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    for (size_t i = from; i < worker.end; ++i) {
      const Case& c = cases[i];
      const xml_verdict::Verdict verdict = xml_verdict::Judge(c.input.string(), !c.output.empty());
      WriteAll(fds[1], std::to_string(i) + (verdict.rejected ? "\trejected\t" : "\taccepted\t") +
                           xml_verdict::DescribeCodes(verdict) + "\t" + std::to_string(verdict.canonical.size()) +
                           "\n" + verdict.canonical);
    }
    _exit(0);
  }
  close(fds[1]);
  worker.pid = pid;
  worker.fd = fds[0];
  worker.deadline = Clock::now() + std::chrono::seconds(10);
}

// Takes the complete records off the worker's buffer.
void TakeRecords(Worker& worker, std::vector<Outcome>& outcomes) {
  for (;;) {
    const size_t line = worker.buffer.find('\n');
    if (line == std::string::npos) return;
    std::istringstream header(worker.buffer.substr(0, line));
    std::string index, length;
    Outcome outcome;
    std::getline(header, index, '\t');
    std::getline(header, outcome.status, '\t');
    std::getline(header, outcome.codes, '\t');
    std::getline(header, length);
    const size_t size = std::stoul(length);
    if (worker.buffer.size() < line + 1 + size) return;
    outcome.canonical = worker.buffer.substr(line + 1, size);
    worker.buffer.erase(0, line + 1 + size);
    worker.next = std::stoul(index) + 1;
    outcomes[worker.next - 1] = std::move(outcome);
    worker.deadline = Clock::now() + std::chrono::seconds(10);
  }
}

// Every case's outcome, four workers at a time.
std::vector<Outcome> RunAll(const std::vector<Case>& cases) {
  std::vector<Outcome> outcomes(cases.size(), Outcome{"crash", "no worker", ""});
  std::vector<Worker> workers(std::min<size_t>(4, cases.size()));
  for (size_t w = 0; w < workers.size(); ++w) {
    workers[w].end = cases.size() * (w + 1) / workers.size();
    StartWorker(workers[w], cases, cases.size() * w / workers.size());
  }
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<Worker*> polled;
    Clock::time_point first = Clock::time_point::max();
    for (Worker& worker : workers) {
      if (worker.pid < 0) continue;
      fds.push_back({worker.fd, POLLIN, 0});
      polled.push_back(&worker);
      first = std::min(first, worker.deadline);
    }
    if (fds.empty()) break;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(first - Clock::now()).count();
    poll(fds.data(), fds.size(), static_cast<int>(std::max<int64_t>(wait, 0)));
    for (size_t i = 0; i < fds.size(); ++i) {
      Worker& worker = *polled[i];
      bool ended = false, late = false;
      if (fds[i].revents != 0) {
        char buffer[65536];
        const ssize_t n = read(worker.fd, buffer, sizeof buffer);
        if (n > 0) worker.buffer.append(buffer, static_cast<size_t>(n));
        else ended = true;
        TakeRecords(worker, outcomes);
      } else if (Clock::now() >= worker.deadline) {
        late = true;
        kill(worker.pid, SIGKILL);
      }
      if (!ended && !late) continue;
      close(worker.fd);
      int status = 0;
      waitpid(worker.pid, &status, 0);
      if (worker.next >= worker.end) {
        worker.pid = -1;
        continue;
      }
      outcomes[worker.next] = late ? Outcome{"timeout", "", ""} : Outcome{"crash", std::to_string(status), ""};
      StartWorker(worker, cases, worker.next + 1);
    }
  }
  return outcomes;
}

// id -> (verdict, reason) of the reviewed exceptions.
std::map<std::string, std::pair<std::string, std::string>> ReadExpected() {
  std::map<std::string, std::pair<std::string, std::string>> expected;
  std::ifstream in(QUARNEL_XMLCONF_EXPECTED);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string id, verdict, reason;
    std::getline(fields, id, '\t');
    std::getline(fields, verdict, '\t');
    std::getline(fields, reason, '\t');
    expected[id] = {verdict, reason};
  }
  return expected;
}

// The catalogue's verdict for an asserted case; empty when either will do.
std::string CatalogueVerdict(const std::string& type) {
  if (type == "not-wf") return "rejected";
  if (type == "valid" || type == "invalid") return "accepted";
  return "";
}

// White space runs as one space, trimmed at the ends of attribute values;
// outside values too when `everywhere`.
std::string Collapse(std::string text, bool everywhere) {
  for (const char* line : {"&#9;", "&#10;", "&#13;"})
    for (size_t at; (at = text.find(line)) != std::string::npos;) text.replace(at, std::strlen(line), " ");
  std::string out;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      if (quoted && !out.empty() && out.back() == ' ') out.pop_back();
      quoted = !quoted;
    } else if (c == ' ' && (quoted || everywhere) && (out.empty() || out.back() == ' ' || out.back() == '"')) {
      continue;
    }
    out += c;
  }
  return out;
}

// Start tags without their attributes.
std::string WithoutAttributes(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] != '<' || text.compare(i + 1, 1, "/") == 0) continue;
    const size_t end = text.find('>', i);
    const size_t name = std::min(text.find(' ', i), end);
    out += text.substr(i + 1, name - i - 1) + ">";
    i = end;
  }
  return out;
}

// Why the own canonical form differs from the expected one: empty when it
// does not, else the rule of the parser that explains it, or
// "unexplained".
std::string Difference(const std::string& own, std::string expected) {
  // Processing instructions are no events of `next`, nor is the document
  // type declaration that the expected forms of documents with notations
  // begin with.
  for (size_t at; (at = expected.find("<?")) != std::string::npos;) expected.erase(at, expected.find("?>", at) + 2 - at);
  if (expected.rfind("<!DOCTYPE", 0) == 0) expected.erase(0, expected.find("]>\n") + 3);
  if (own == expected) return "";
  if (Collapse(own, false) == Collapse(expected, false)) return "typed attribute normalisation";
  if (WithoutAttributes(own) == WithoutAttributes(expected))
    return Collapse(own, false).size() < Collapse(expected, false).size() ? "attribute-list defaults"
                                                                            : "typed attribute normalisation";
  if (Collapse(own, true) == Collapse(expected, true)) return "white space in entity values";
  return "unexplained";
}

// The canonical form libxml2's reader gives, for grouping the Japanese
// documents.
std::string Libxml2Canonical(const fs::path& file) {
  std::string out;
  xmlTextReaderPtr reader = xmlReaderForFile(file.c_str(), nullptr, XML_PARSE_NOENT | XML_PARSE_DTDLOAD | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (reader == nullptr) return "unreadable";
  auto text = [](const xmlChar* value) { return std::string(value != nullptr ? reinterpret_cast<const char*>(value) : ""); };
  while (xmlTextReaderRead(reader) == 1) {
    switch (xmlTextReaderNodeType(reader)) {
      case XML_READER_TYPE_ELEMENT: {
        const std::string name = text(xmlTextReaderConstName(reader));
        const bool empty = xmlTextReaderIsEmptyElement(reader) != 0;
        std::vector<std::pair<std::string, std::string>> attributes;
        while (xmlTextReaderMoveToNextAttribute(reader) == 1)
          attributes.emplace_back(text(xmlTextReaderConstName(reader)), text(xmlTextReaderConstValue(reader)));
        out += xml_verdict::CanonicalStartTag(name, attributes);
        if (empty) out += "</" + name + ">";
        break;
      }
      case XML_READER_TYPE_END_ELEMENT: out += "</" + text(xmlTextReaderConstName(reader)) + ">"; break;
      case XML_READER_TYPE_TEXT:
      case XML_READER_TYPE_CDATA:
      case XML_READER_TYPE_WHITESPACE:
      case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
        if (xmlTextReaderDepth(reader) > 0) out += xml_verdict::CanonicalEscape(text(xmlTextReaderConstValue(reader)));
        break;
      default: break;
    }
  }
  xmlFreeTextReader(reader);
  return out;
}

using XmlConformanceCorpus = EngineStarted;

TEST_F(XmlConformanceCorpus, CatalogueVerdicts) {
  TESTDATA_OR_SKIP(root, "xml/xmlconf");
  TESTDATA_OR_SKIP(cleaned, "xml/xmlconf-cleaned");
  const fs::path catalogue = cleaned / "xmlconf-flattened.xml";
  const std::vector<Case> cases = ReadCatalogue(catalogue, root);
  ASSERT_FALSE(cases.empty()) << "no TEST element in " << catalogue;
  const auto expected = ReadExpected();
  for (const auto& [id, entry] : expected)
    EXPECT_EQ(kRules.count(entry.second), 1u) << id << ": '" << entry.second << "' is no rule of the parser";

  std::map<Group, std::map<std::string, int>> counts;  // group -> outcome -> cases
  std::map<std::string, int> differences, reasons;
  std::set<std::string> seen;
  const std::vector<Outcome> outcomes = RunAll(cases);
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const Outcome& outcome = outcomes[i];
    ++counts[c.group][outcome.status];
    EXPECT_TRUE(outcome.status == "accepted" || outcome.status == "rejected")
        << c.id << " (" << c.input << ") ended by " << outcome.status << " " << outcome.codes;
    if (c.suite == "japanese") {
      EXPECT_EQ(outcome.status, "accepted") << c.id << ": " << outcome.codes;
    }
    if (c.group != Group::Asserted) continue;
    std::string want = CatalogueVerdict(c.type);
    const auto exception = expected.find(c.id);
    const bool listed = exception != expected.end();
    if (listed) {
      seen.insert(c.id);
      ++reasons[exception->second.second];
      EXPECT_NE(want, exception->second.first) << c.id << " is listed but the catalogue says " << want;
      want = exception->second.first;
    }
    if (!want.empty()) {
      EXPECT_EQ(outcome.status, want) << c.id << " (" << c.type << ", " << c.input << "): " << outcome.codes;
    }
    if (c.type == "valid" && !c.output.empty() && outcome.status == "accepted") {
      const std::string wanted = testsupport::ReadFile(c.output);
      const std::string reason = Difference(outcome.canonical, wanted);
      if (!reason.empty()) ++differences[reason];
      EXPECT_NE(reason, "unexplained") << c.id << " canonical form\n  own:      " << outcome.canonical.substr(0, 400)
                                       << "\n  expected: " << wanted.substr(0, 400);
    }
  }
  for (const auto& [id, entry] : expected)
    EXPECT_EQ(seen.count(id), 1u) << id << " is listed but is no asserted case of the catalogue";

  static const char* const kGroups[] = {"XML 1.0 fifth edition, namespaces", "XML 1.1", "other editions",
                                        "NAMESPACE=\"no\""};
  for (const auto& [group, outcomes] : counts) {
    std::string line;
    for (const auto& [status, n] : outcomes) line += " " + status + " " + std::to_string(n);
    std::printf("[ xmlconf  ] %s:%s\n", kGroups[static_cast<int>(group)], line.c_str());
  }
  for (const auto& [reason, n] : reasons) std::printf("[ xmlconf  ] listed exception, %s: %d\n", reason.c_str(), n);
  for (const auto& [reason, n] : differences)
    std::printf("[ xmlconf  ] canonical difference, %s: %d\n", reason.c_str(), n);
}

// The Japanese documents' byte forms give one canonical form per text,
// with the own parser as with libxml2.
TEST_F(XmlConformanceCorpus, JapaneseFormsGroupAlike) {
  TESTDATA_OR_SKIP(dir, "xml/xmlconf/japanese");
  std::map<std::string, std::map<std::string, std::set<std::string>>> groups;  // reader -> group -> forms
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().stem().string();
    if (entry.path().extension() != ".xml" || name == "japanese") continue;
    const bool wide = name.find("utf-16") != std::string::npos || name.find("little-endian") != std::string::npos;
    const std::string group = name.rfind("pr-", 0) == 0 && wide ? "pr-utf-16" : name.substr(0, name.find('-'));
    const std::vector<Outcome> own = RunAll({Case{name, "valid", "japanese", entry.path(), entry.path(), Group::Asserted}});
    groups["own"][group].insert(own.front().canonical);
    groups["libxml2"][group].insert(Libxml2Canonical(entry.path()));
  }
  for (const char* reader : {"own", "libxml2"}) {
    EXPECT_EQ(groups[reader].size(), 3u) << reader;
    for (const auto& [group, forms] : groups[reader]) EXPECT_EQ(forms.size(), 1u) << reader << " " << group;
  }
}

}  // namespace
