// Hostile documents loaded into a document, completely and in pull mode:
// each load ends with the parser's error or with a tree that saves and is
// released, and nothing outside is asked for.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "dom_test_support.h"
#include "testsupport/http_server.h"
#include "testsupport/testdata.h"
#include "xml_tree_text.h"

namespace {

using namespace dom_test;

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  out.reserve(piece.size() * static_cast<size_t>(times));
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

std::string ManyAttributes(int count) {
  std::string out = "<r";
  for (int i = 0; i < count; ++i) out += " a" + std::to_string(i) + "='" + std::to_string(i) + "'";
  return out + "/>";
}

std::string WithSubset(const std::string& systemId) {
  return "<!DOCTYPE r SYSTEM '" + systemId + "'><r>&e;</r>";
}

struct Outcome {
  int code = -1;
  size_t saved = 0;
};

Outcome LoadAndSave(const std::string& xml, bool pull, bool outside) {
  Outcome outcome;
  ZelPtr<ZelDocument> doc(new ZelDocument());
  doc->setPullMode(pull);
  doc->setExternalEntityLoading(outside);
  std::istringstream in(xml);
  Raised raised = Catch([&] {
    doc->load(in, nullptr);
    if (pull) xml_tree::DescribeTree(doc.get(), false);
  });
  outcome.code = raised.code;
  if (raised.code == -1) {
    std::ostringstream out;
    doc->save(out, nullptr, u"UTF-8");
    outcome.saved = out.str().size();
  }
  return outcome;
}

TEST(DomHostile, LoadsEndWithAnErrorOrATreeThatSaves) {
  std::filesystem::path dir = testsupport::TempDir() / "hostile";
  std::filesystem::create_directories(dir);
  std::string fifo = (dir / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  testsupport::ScopedEnv http("http_proxy", nullptr), all("ALL_PROXY", nullptr);
  testsupport::HttpServer server;
  server.answer("/r.dtd", {"HTTP/1.1 200 OK\r\nContent-Type: application/xml-dtd", "<!ENTITY e 'remote'>"});

  std::string laughs = "<!DOCTYPE r [<!ENTITY l0 'lol'>";
  for (int i = 1; i <= 9; ++i)
    laughs += "<!ENTITY l" + std::to_string(i) + " '" + Repeat("&l" + std::to_string(i - 1) + ";", 10) + "'>";
  laughs += "]><r>&l9;</r>";

  struct Case {
    const char* what;
    std::string xml;
    int code;  // -1: loads and saves
    bool outside = false;  // external entities allowed
  };
  const Case cases[] = {
      {"recursive entities", "<!DOCTYPE r [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><r>&a;</r>", 0x183A},
      {"billion laughs", laughs, 0x183B},
      {"quadratic blow-up",
       "<!DOCTYPE r [<!ENTITY big '" + std::string(50000, 'x') + "'>]><r>" + Repeat("&big;", 2000) + "</r>", 0x183B},
      {"a million nested elements", Repeat("<a>", 1000000) + Repeat("</a>", 1000000), -1},
      {"a hundred thousand attributes", ManyAttributes(100000), -1},
      // By default nothing outside the document is opened; allowed, only
      // regular files are.
      {"subset from a FIFO", WithSubset("file://" + fifo), -1},
      {"subset from /dev/zero", WithSubset("file:///dev/zero"), -1},
      {"subset from a FIFO, allowed", WithSubset("file://" + fifo), 4099, true},
      {"subset from /dev/zero, allowed", WithSubset("file:///dev/zero"), 4099, true},
      {"subset from a folder, allowed", WithSubset("file://" + dir.string()), 4099, true},
      {"subset from the loopback server (not fetched; the entity stays undefined)", WithSubset(server.url("/r.dtd")), -1,
       true},
  };
  for (const Case& c : cases) {
    for (bool pull : {false, true}) {
      Outcome outcome = LoadAndSave(c.xml, pull, c.outside);
      EXPECT_EQ(outcome.code, c.code) << c.what << (pull ? " (pull)" : "");
      if (c.code == -1) {
        EXPECT_GT(outcome.saved, c.xml.size() / 2) << c.what;
      }
    }
  }
  EXPECT_TRUE(server.requests().empty());
}

// Attributes past the index's threshold answer as the ring walk does, also
// after replacements and removals.
TEST(DomHostile, ManyAttributesFoundAfterChanges) {
  ZelDocument doc;
  ZelPtr<ZelElement> e = doc.createElement(Nm("e"));
  for (int i = 0; i < 40; ++i) {
    e->setAttributeNS(ZelName(), ZelName(), Nm(("a" + std::to_string(i)).c_str()), ZelValue(i));
    e->setAttributeNS(Nm("urn:n"), Nm("p"), Nm(("a" + std::to_string(i)).c_str()), ZelValue(-i));
  }
  for (int i = 0; i < 40; i += 3) e->removeAttributeNS(ZelName(), Nm(("a" + std::to_string(i)).c_str()));
  for (int i = 1; i < 40; i += 3) e->setAttributeNode(doc.createAttribute(Nm(("a" + std::to_string(i)).c_str())).get());
  ZelNamedNodeMap* map = e->getAttributes();
  for (int i = 0; i < 40; ++i) {
    ZelName local = Nm(("a" + std::to_string(i)).c_str());
    ZelNode* walked = nullptr;
    for (ZelNode* at = map->getFirstNode(); at != nullptr && walked == nullptr; at = map->getNextNode(at))
      if (at->getLocalName() == local && at->getNamespaceUri().isEmpty()) walked = at;
    EXPECT_EQ(map->getNamedItemNS(ZelName(), local), walked) << i;
    EXPECT_EQ(walked == nullptr, i % 3 == 0) << i;
    ASSERT_NE(map->getNamedItemNS(Nm("urn:n"), local), nullptr) << i;
    EXPECT_EQ(e->getAttributeNS(Nm("urn:n"), local), ZelValue(-i)) << i;
  }
}

}  // namespace
