// Document type declarations: the internal subset's entities and its
// scanner, references to external and unparsed entities, the bounds on
// expansion through declarations, and external subsets read from files
// beside the document, once per process.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "quarnel/uri.h"
#include "testsupport/testdata.h"
#include "xml_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace xml_test;

struct Case {
  std::string document;
  std::vector<ZelXmlParser::Feature> features;
  std::string dump;
};

std::string Parse(const std::string& document, const std::vector<ZelXmlParser::Feature>& features, bool tokens,
                const std::string& base = "") {
  Session session(document);
  for (auto feature : features) session.parser->setFeature(feature, true);
  session.input.clear();
  session.input.seekg(0);
  session.parser->setInput(session.input, UnicodeString(), U(base));
  return Dump(session, tokens);
}

// As Parse, with the parser allowed to read external entities.
std::string ParseAllowed(const std::string& document, std::vector<ZelXmlParser::Feature> features, bool tokens,
                         const std::string& base = "") {
  features.push_back(ZelXmlParser::LOAD_EXTERNAL_ENTITIES);
  return Parse(document, features, tokens, base);
}

TEST(XmlDoctype, InternalSubsetEntities) {
  const std::string ext = "<!DOCTYPE d [<!ENTITY x SYSTEM 'x.ent'><!NOTATION n SYSTEM 'n'>"
                          "<!ENTITY i SYSTEM 'i.gif' NDATA n>]>";
  const std::vector<Case> cases = {
      {"<!DOCTYPE d [<!ENTITY e \"x&amp;y&#65;\">]><d>&e;</d>", {}, "<d> T:x&yA </d> $"},
      // The first declaration binds; the predefined ones stay.
      {"<!DOCTYPE d [<!ENTITY lt 'X'><!ENTITY e '1'><!ENTITY e '2'>]><d>&lt;&e;</d>", {}, "<d> T:<1 </d> $"},
      {"<!DOCTYPE d [<!ENTITY % p \"<!ENTITY f 'pe'>\">%p;]><d a='&f;'>&f;</d>", {}, "<d a=\"pe\"> T:pe </d> $"},
      {"<!DOCTYPE d [<!-- > < --><?pi > ?><!ATTLIST d a CDATA '>'><!ENTITY e 'ok'>]><d>&e;</d>", {},
       "<d a=\">\"> T:ok </d> $"},
      {"<!DOCTYPE d [%nope;]><d/>", {}, "#1E1D <d> </d> $"},
      {"<!DOCTYPE d [%nope;]><d>&nope;</d>", {ZelXmlParser::LENIENT_ENTITIES}, "<d> </d> $"},
      {"<!DOCTYPE d SYSTEM 'file:///nonexistent/x.dtd'><d/>", {ZelXmlParser::SKIP_EXTERNAL_DTD}, "<d> </d> $"},
      {"<!DOCTYPE d SYSTEM 'file:///nonexistent/x.dtd'><d/>", {ZelXmlParser::IGNORE_DTD_FAILURE}, "<d> </d> $"},
      // External entities have no place in a value; unparsed ones none at all.
      {ext + "<d a='&x;'/>", {}, "#183D <d a=\"\"> </d> $"},
      {ext + "<d>&i;</d>", {}, "<d> #183D </d> $"},
      {ext + "<d a='&i;'/>", {ZelXmlParser::LENIENT_ENTITIES}, "#183D <d a=\"\"> </d> $"},
      // Recursion through parameter entities, general entities and markup.
      {"<!DOCTYPE d [<!ENTITY % a '&#37;b;'><!ENTITY % b '&#37;a;'>%a;]><d/>", {}, "#183A <d> </d> $"},
      // Here parameter entities stand between declarations only: not in a
      // value, not after the subset.
      {"<!DOCTYPE d [<!ENTITY % p 'x'><!ENTITY e 'a%p;b'>]><d>&e;</d>", {}, "#180C <d> T:ap;b </d> $"},
      {"<!DOCTYPE d [<!ENTITY % p '<!ENTITY e \"%p;\">'>%p;]><d/>", {}, "#180C <d> </d> $"},
      {"<!DOCTYPE d [<!ENTITY % e ''>] %e; ><d/>", {}, "#180C <d> </d> $"},
      // Nor elements; PIs keep the document's rules, XML declarations none.
      {"<!DOCTYPE d [<d/>]><d/>", {}, "#180C <d> </d> $"},
      {"<!DOCTYPE d [<?xml version='1.0'?>]><d/>", {}, "#1821 <d> </d> $"},
      {"<!DOCTYPE d [<?XmL x?><?p+?><?p?>]><d/>", {}, "#182B #182C <d> </d> $"},
      // An input without an element simply ends.
      {"<!DOCTYPE d [<!ENTITY e 'e'>]><!-- d -->", {}, "$"},
      {"<!DOCTYPE d [<!ENTITY e '<b>&e;</b>'>]><d>&e;</d>", {}, "<d> <b> #183A </b> </d> $"},
      {"<!DOCTYPE d [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><d a='&a;'/>", {}, "#183A <d a=\"\"> </d> $"},
      // Out of place and repeated declarations are reported and still read.
      {"<!DOCTYPE d><!DOCTYPE d [<!ENTITY e 'e'>]><d>&e;</d>", {}, "#1815 <d> T:e </d> $"},
      {"<!DOCTYPE d [<!ENTITY e 'e'", {}, "#180C #181A $"},
      {"<!DOCTYPE d PUBLIC><d/>", {}, "#1816 #1818 <d> </d> $"},
      {"<!DOCTYPE d [<!ENTITY e 'e' x>]><d/>", {}, "#180C <d> </d> $"},
      {"<!DOCTYPE d [<!ENTITY i SYSTEM 'i.gif'NDATA n>]><d/>", {}, "#1816 <d> </d> $"},
      // SVG's public identifier binds its namespaces; the DTD is not fetched.
      {"<!DOCTYPE svg PUBLIC '-//W3C//DTD SVG 1.1//EN' 'http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd'>"
       "<svg xlink:href='a'/>",
       {},
       "<svg {http://www.w3.org/2000/svg} xlink:href{http://www.w3.org/1999/xlink}=\"a\"> </svg> $"},
      // The MathML DTD is never read, whether it exists or not.
      {"<!DOCTYPE math SYSTEM 'http://www.w3.org/Math/DTD/mathml2/mathml2.dtd'><math/>", {}, "<math> </math> $"},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.document, c.features, false), c.dump) << c.document;
  EXPECT_EQ(Parse("<!DOCTYPE d [ <!ENTITY e 'x'> ]><d/>", {}, true), "D:[ <!ENTITY ] <d> </d> $");
}

TEST(XmlDoctype, EntityValuesKeepTheirWhiteSpace) {
  // Only references are replaced in an entity's value; its text is
  // normalised where an attribute value takes it in.
  const std::string doctype = "<!DOCTYPE d [<!ENTITY e \"a&#10;b\nc\td&#13;\"><!ENTITY % p 'x\ny'>]>";
  const std::vector<Case> cases = {
      {doctype + "<d>&e;</d>", {}, "<d> T:a\nb\nc\td\r </d> $"},
      {doctype + "<d a='&e;'/>", {}, "<d a=\"a b c d \"> </d> $"},
      {"<!DOCTYPE d [<!ENTITY e 'a\r\nb'>]><d>&e;</d>", {}, "<d> T:a\nb </d> $"},
      {"<!DOCTYPE d [<!ENTITY e '<b>\t</b>'>]><d>&e;</d>", {}, "<d> <b> T:\t </b> </d> $"},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.document, c.features, false), c.dump) << c.document;
}

TEST(XmlDoctype, AttributeListDeclarations) {
  // Defaults of the internal subset are supplied, a default namespace
  // among them; the first declaration of an attribute binds; values of
  // typed attributes are tokens.
  const std::vector<Case> cases = {
      {"<!DOCTYPE e [<!ATTLIST f xmlns CDATA 'urn:f' a CDATA '1'>]><e><f/></e>", {},
       "<e> <f {urn:f} xmlns{http://www.w3.org/2000/xmlns/}=\"urn:f\" a=\"1\"> </f> </e> $"},
      {"<!DOCTYPE d [<!ATTLIST d a CDATA '1' a CDATA '2'><!ATTLIST d a CDATA '3' b NMTOKEN #FIXED ' x '>]>"
       "<d/>", {}, "<d a=\"1\" b=\"x\"> </d> $"},
      {"<!DOCTYPE d [<!ATTLIST d a CDATA 'x'>]><d a='mine'/>", {}, "<d a=\"mine\"> </d> $"},
      {"<!DOCTYPE d [<!ATTLIST p:d p:a CDATA 'v' xmlns:p CDATA 'urn:p'>]><p:d/>", {},
       "<p:d {urn:p} p:a{urn:p}=\"v\" xmlns:p{http://www.w3.org/2000/xmlns/}=\"urn:p\"> </p:d> $"},
      {"<!DOCTYPE d [<!ENTITY e 'a&#9;b'><!ATTLIST d a CDATA '&e;\n&lt;' b (x|y) 'y' c CDATA #IMPLIED>]><d/>", {},
       "<d a=\"a b <\" b=\"y\"> </d> $"},
      {"<!DOCTYPE d [<!ATTLIST d a NMTOKENS #IMPLIED>]><d a='&#32; x   y '/>", {}, "<d a=\"x y\"> </d> $"},
      {"<!DOCTYPE d [<!ATTLIST d a CDATA #IMPLIED>]><d a='&#32; x   y '/>", {}, "<d a=\"  x   y \"> </d> $"},
      {"<!DOCTYPE d [<!NOTATION n SYSTEM 'n'><!ATTLIST d a NOTATION (n) #IMPLIED b ID #REQUIRED c IDREFS #IMPLIED "
       "e ENTITIES #IMPLIED>]><d a=' n ' b=' i ' c=' i  j ' e=' k '/>", {},
       "<d a=\"n\" b=\"i\" c=\"i j\" e=\"k\"> </d> $"},
      // Declarations after an external parameter entity that is not read
      // are not taken.
      {"<!DOCTYPE d [<!ATTLIST d a CDATA '1'><!ENTITY % p SYSTEM 'nowhere.ent'>%p;<!ATTLIST d b CDATA '2'>]><d/>",
       {}, "#1E3E <d a=\"1\"> </d> $"},
      // Malformed declarations are reported and stepped over.
      {"<!DOCTYPE d [<!ATTLIST d a BOGUS '1'><!ATTLIST d b CDATA x>]><d/>", {}, "#180C #180C <d> </d> $"},
      {"<!DOCTYPE d [<!ATTLIST d a CDATA '<'>]><d/>", {}, "#1830 <d a=\"<\"> </d> $"},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.document, c.features, false), c.dump) << c.document;
  // Supplied values are told from written ones.
  Session session("<!DOCTYPE d [<!ATTLIST d a CDATA '1' b CDATA '2'>]><d b='3'/>");
  ASSERT_EQ(session.parser->next(), ZelXmlParser::START_TAG);
  ASSERT_EQ(session.parser->getAttributeCount(), 2);
  EXPECT_FALSE(session.parser->isAttributeDefault(0));
  EXPECT_TRUE(session.parser->isAttributeDefault(1));
}

TEST(XmlDoctype, MathMLEntitiesAreBuiltIn) {
  // The DTD is never read (there is no such file), the table is used.
  const std::string doctype = "<!DOCTYPE math SYSTEM 'http://www.w3.org/Math/DTD/mathml2/mathml2.dtd'>";
  EXPECT_EQ(Parse(doctype + "<math>&alpha;&Afr;&nvlt;&amp;&ThickSpace;&InvisibleTimes;</math>", {}, false),
            "<math> T:\xCE\xB1\xF0\x9D\x94\x84<\xE2\x83\x92&\xE2\x80\x89\xE2\x80\x8A\xE2\x80\x8A"
            "\xE2\x81\xA2 </math> $");
  struct Row {
    const char16_t* name;
    std::u16string text;
  };
  const std::vector<Row> rows = {
      {u"alpha", u"\u03B1"}, {u"lt", u"&#60;"}, {u"amp", u"&#38;"}, {u"Afr", u"\U0001D504"},
      {u"nbsp", u"\u00A0"},  {u"block", u"\u2588"}, {u"no such name", u""},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ZelXmlParser::getMathMLEntity(UnicodeString(row.name)), UnicodeString(row.text.c_str()))
        << Utf8(UnicodeString(row.name));
  // Merged on request into a parser that read no DOCTYPE; a declared
  // entity keeps its own text.
  Session session("<!DOCTYPE m [<!ENTITY alpha 'mine'>]><m>&alpha;&beta;</m>");
  ASSERT_EQ(session.parser->nextToken(), ZelXmlParser::DOCDECL);
  session.parser->addMathMLEntityMap();
  EXPECT_EQ(Dump(session, false), "<m> T:mine\xCE\xB2 </m> $");
}

TEST(XmlDoctype, ExpansionThroughDeclarationsIsBounded) {
  // Billion laughs and a quadratic blow-up: one report each, then nothing.
  std::string laughs = "<!DOCTYPE d [<!ENTITY a0 'lollollollol'>";
  for (int i = 1; i < 10; ++i) {
    laughs += "<!ENTITY a" + std::to_string(i) + " '";
    for (int j = 0; j < 10; ++j) laughs += "&a" + std::to_string(i - 1) + ";";
    laughs += "'>";
  }
  laughs += "]><d>&a9;</d>";
  std::string quadratic = "<!DOCTYPE d [<!ENTITY a '" + std::string(50000, 'x') + "'>]><d>";
  for (int i = 0; i < 1000; ++i) quadratic += "&a;";
  quadratic += "</d>";
  std::string parameters = "<!DOCTYPE d [<!ENTITY % p0 '<!-- -->'>";
  for (int i = 1; i < 30; ++i)
    parameters += "<!ENTITY % p" + std::to_string(i) + " '&#37;p" + std::to_string(i - 1) + ";&#37;p" +
                  std::to_string(i - 1) + ";'>";
  parameters += "%p29;]><d/>";
  for (const std::string& document : {laughs, quadratic}) {
    std::string dump = Parse(document, {}, false);
    EXPECT_EQ(dump.find("#183B"), dump.rfind("#183B")) << dump.substr(0, 40);
    EXPECT_NE(dump.find("#183B"), std::string::npos);
    EXPECT_EQ(dump.substr(dump.size() - 7), " </d> $");
    // Without a callback the report is thrown.
    std::istringstream input(document);
    XmlParserImpl parser;
    parser.setInput(input, UnicodeString(), UnicodeString());
    EXPECT_THROW(while (parser.next() != ZelXmlParser::END_DOCUMENT) {}, ZelError);
  }
  // Parameter entities in the subset: the subset's own text grows only so far.
  std::string dump = Parse(parameters, {}, false);
  EXPECT_NE(dump.find("#183B"), std::string::npos);
  EXPECT_EQ(dump.substr(dump.size() - 10), "<d> </d> $");
}

class XmlExternalSubset : public ::testing::Test {
 protected:
  fs::path dir_ = testsupport::TempDir() / "dtd";
  void SetUp() override { fs::create_directories(dir_); }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  std::string Base() const { return "file://" + dir_.string() + "/doc.xml"; }
};

TEST_F(XmlExternalSubset, DeclarationsFromFilesBesideTheDocument) {
  // A text declaration without version; a parameter entity naming a file
  // relative to the subset; conditional sections, nested ones ignored whole.
  fs::create_directories(dir_ / "sub");
  Write("sub/main.dtd",
        "<?xml encoding='UTF-8'?>\n<!ENTITY e 'from dtd'>\n<!ENTITY % p SYSTEM 'p.ent'>%p;\n"
        "<![IGNORE[ <![INCLUDE[ ]]> <!ENTITY i 'ignored'> ]]>\n<![INCLUDE[<!ENTITY i 'included'>]]>\n"
        "<!ENTITY x SYSTEM 'x.ent'><!ENTITY self SYSTEM 'self.ent'>");
  Write("sub/p.ent", "<!ENTITY g 'from file'>");
  Write("sub/x.ent", "<?xml version='1.0' encoding='ISO-8859-1'?><b>\xE9</b>");
  Write("sub/self.ent", "s&self;");
  const std::string doc = "<!DOCTYPE d SYSTEM 'sub/main.dtd' [<!ENTITY e 'internal wins'>]>";
  EXPECT_EQ(ParseAllowed(doc + "<d>&e;|&g;|&i;</d>", {}, false, Base()), "<d> T:internal wins|from file|included </d> $");
  EXPECT_EQ(ParseAllowed(doc + "<d>&x;</d>", {}, false, Base()), "<d> <b> T:\xC3\xA9 </b> </d> $");
  EXPECT_EQ(ParseAllowed(doc + "<d>&self;</d>", {}, false, Base()), "<d> #183A T:s </d> $");
  // A subset not read may declare what the document references.
  EXPECT_EQ(ParseAllowed(doc + "<d>&x;</d>", {ZelXmlParser::SKIP_EXTERNAL_DTD}, false, Base()), "<d> #1E3E </d> $");

  // Parameter entities of the internal subset steer the external one's
  // conditional sections and texts, for this document only.
  Write("sub/steered.dtd", "<![%mode;[<!ENTITY s 'on'>]]><!ENTITY s 'off'><!ENTITY t '%word;'>");
  const std::string steered = "<!DOCTYPE d SYSTEM 'sub/steered.dtd' [<!ENTITY % mode 'INCLUDE'><!ENTITY % word 'w'>]>";
  EXPECT_EQ(ParseAllowed(steered + "<d>&s;&t;</d>", {}, false, Base()), "<d> T:onw </d> $");
  EXPECT_EQ(ParseAllowed("<!DOCTYPE d SYSTEM 'sub/steered.dtd' [<!ENTITY % mode 'IGNORE'><!ENTITY % word 'v'>]><d>&s;&t;</d>",
                  {}, false, Base()),
            "<d> T:offv </d> $");

  // In an external parameter entity a parameter entity in an entity value
  // is replaced where the value is declared; one not yet declared is
  // reported and gives nothing.
  const std::vector<std::pair<std::string, std::string>> values = {
      {"<!ENTITY % q 'y'><!ENTITY % p 'x&#37;q;'><!ENTITY e 'a%p;b'>", "<d> T:axyb </d> $"},
      {"<!ENTITY % a '%b;'><!ENTITY % b 'x'><!ENTITY e '%a;'>", "#1E1D <d> </d> $"},
      {"<!ENTITY e 'a%;'>", "#181B <d> T:a; </d> $"},
      {"<!ENTITY e 'a%p'>", "#181C <d> T:a </d> $"},
  };
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string name = "values" + std::to_string(i) + ".ent";
    Write(name, values[i].first);
    EXPECT_EQ(ParseAllowed("<!DOCTYPE d [<!ENTITY % v SYSTEM '" + name + "'>%v;]><d>&e;</d>", {}, false, Base()),
              values[i].second)
        << values[i].first;
  }

  // Read once per process: a changed file is not read again.
  Write("sub/main.dtd", "<!ENTITY e 'changed'>");
  EXPECT_EQ(ParseAllowed("<!DOCTYPE d SYSTEM 'sub/main.dtd'><d>&g;</d>", {}, false, Base()), "<d> T:from file </d> $");
}

TEST_F(XmlExternalSubset, FailuresInTheSubset) {
  Write("bad.dtd", "<!ENTITY e 'x'><!ENTITY>");
  Write("empty.dtd", "");
  const std::string missing = "<!DOCTYPE d SYSTEM 'missing.dtd'><d/>";
  const std::string bad = "<!DOCTYPE d SYSTEM 'bad.dtd'><d/>";
  struct Row {
    std::string document;
    std::vector<ZelXmlParser::Feature> features;
    int thrown;
  };
  const std::vector<Row> rows = {
      {missing, {}, 4099},
      {bad, {}, 0x1816},
      {missing, {ZelXmlParser::IGNORE_DTD_FAILURE}, 0},
      {bad, {ZelXmlParser::IGNORE_DTD_FAILURE}, 0},
      {"<!DOCTYPE d SYSTEM 'empty.dtd'><d/>", {}, 0},
  };
  for (const Row& row : rows) {
    // The subset's failure is thrown even to a parser with a callback.
    std::string dump;
    try {
      dump = ParseAllowed(row.document, row.features, false, Base());
      EXPECT_EQ(row.thrown, 0) << row.document;
      EXPECT_EQ(dump, "<d> </d> $");
    } catch (const ZelError& error) {
      EXPECT_EQ(error.getErrorCode(), row.thrown) << row.document;
    }
  }
}

TEST_F(XmlExternalSubset, NothingOutsideTheDocumentUnlessAllowed) {
  Write("x.ent", "secret");
  Write("sub.dtd", "<!ENTITY e 'declared'><!ENTITY f SYSTEM 'x.ent'>");
  Write("p.ent", "<!ENTITY g 'from p'>");
  const std::string file = (dir_ / "x.ent").string();
  const std::vector<ZelXmlParser::Feature> allowed = {ZelXmlParser::LOAD_EXTERNAL_ENTITIES};
  const std::vector<Case> cases = {
      // External general entities named by URI, relative and absolute
      // path; an external subset; an external parameter entity.
      {"<!DOCTYPE d [<!ENTITY x SYSTEM 'file://" + file + "'>]><d>&x;</d>", {}, "<d> #1E3E </d> $"},
      {"<!DOCTYPE d [<!ENTITY x SYSTEM 'x.ent'>]><d>&x;</d>", {}, "<d> #1E3E </d> $"},
      {"<!DOCTYPE d [<!ENTITY x SYSTEM '" + file + "'>]><d>&x;</d>", {}, "<d> #1E3E </d> $"},
      {"<!DOCTYPE d SYSTEM 'sub.dtd'><d>&e;&f;</d>", {}, "<d> #1E3E #1E3E </d> $"},
      {"<!DOCTYPE d [<!ENTITY % p SYSTEM 'p.ent'>%p;]><d>&g;</d>", {}, "#1E3E <d> #1E3E </d> $"},
      // Allowed, they are read.
      {"<!DOCTYPE d [<!ENTITY x SYSTEM 'x.ent'>]><d>&x;</d>", allowed, "<d> T:secret </d> $"},
      {"<!DOCTYPE d SYSTEM 'sub.dtd'><d>&e;&f;</d>", allowed, "<d> T:declaredsecret </d> $"},
      {"<!DOCTYPE d [<!ENTITY % p SYSTEM 'p.ent'>%p;]><d>&g;</d>", allowed, "<d> T:from p </d> $"},
      // Allowed but not fetched: remote resources while the process does
      // not allow them. Nothing comes in, and the hole is reported.
      {"<!DOCTYPE d [<!ENTITY x SYSTEM 'http://127.0.0.1:9/x.ent'>]><d>&x;</d>", allowed, "<d> #1E3E </d> $"},
      {"<!DOCTYPE d SYSTEM 'http://127.0.0.1:9/d.dtd'><d>&e;</d>", allowed, "#1E3E <d> #1E3E </d> $"},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.document, c.features, false, Base()), c.dump) << c.document;

  // The host's resolver is asked first and decides, allowed or not.
  struct Resolver : ObraCommon::ZelUriReferenceResolver {
    std::vector<std::string> asked;
    std::istream* resolveStream(const UnicodeString& uri) override {
      asked.push_back(Utf8(uri));
      return Utf8(uri).find("sub.dtd") != std::string::npos ? new std::istringstream("<!ENTITY e 'served'>") : nullptr;
    }
  } resolver;
  ObraCommon::ZelUriReferenceResolver* old = ObraCommon::ZelUri::setUriReferenceResolver(&resolver);
  EXPECT_EQ(Parse("<!DOCTYPE d SYSTEM 'sub.dtd'><d>&e;</d>", {}, false, Base()), "<d> T:served </d> $");
  EXPECT_EQ(Parse("<!DOCTYPE d [<!ENTITY x SYSTEM 'x.ent'>]><d>&x;</d>", {}, false, Base()), "<d> #1E3E </d> $");
  ObraCommon::ZelUri::setUriReferenceResolver(old);
  EXPECT_EQ(resolver.asked.size(), 2u);
}

TEST_F(XmlExternalSubset, HostileDocumentsOpenNoFile) {
  // A regular file watched for being opened, and a FIFO that would block
  // whoever opened it for reading.
  Write("watched.ent", "secret");
  const std::string watched = (dir_ / "watched.ent").string(), fifo = (dir_ / "fifo.ent").string();
  fs::remove(fifo);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int watch = ::inotify_init1(IN_NONBLOCK);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, watched.c_str(), IN_OPEN), 0);
  for (const std::string& name : {watched, fifo}) {
    for (const std::string& doc :
         {"<!DOCTYPE d [<!ENTITY x SYSTEM 'file://" + name + "'>]><d>&x;</d>", "<!DOCTYPE d SYSTEM '" + name + "'><d/>",
          "<!DOCTYPE d [<!ENTITY % p SYSTEM '" + name + "'>%p;]><d/>"}) {
      const std::string dump = Parse(doc, {}, false, Base());
      EXPECT_EQ(dump.find("secret"), std::string::npos) << doc;
    }
  }
  char events[4096];
  EXPECT_LT(::read(watch, events, sizeof events), 0) << "the watched file was opened";
  ::close(watch);
}

namespace threads {

// Parsers on eight threads read shared and distinct external subsets at
// once; every document sees its own subset's entities.
TEST(XmlSubsetCacheThreads, ParsersOnManyThreads) {
  const fs::path dir = testsupport::TempDir() / "threads";
  fs::create_directories(dir);
  std::ofstream(dir / "shared.dtd") << "<!ENTITY e 'shared'>";
  constexpr int kThreads = 8, kDocuments = 200;
  for (int t = 0; t < kThreads; ++t)
    for (int d = 0; d < kDocuments; d += 2)
      std::ofstream(dir / ("own-" + std::to_string(t) + "-" + std::to_string(d) + ".dtd"))
          << "<!ENTITY e '" << t << "-" << d << "'>";
  const std::string base = "file://" + dir.string() + "/doc.xml";
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int d = 0; d < kDocuments; ++d) {
        bool shared = d % 2 == 1;
        std::string own = std::to_string(t) + "-" + std::to_string(d - d % 2);
        std::istringstream doc("<!DOCTYPE d SYSTEM '" + (shared ? std::string("shared") : "own-" + own) +
                               ".dtd'><d>&e;</d>");
        XmlParserImpl parser;
        parser.setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
        parser.setInput(doc, UnicodeString(), U(base));
        parser.next();
        parser.next();
        if (Utf8(parser.getText()) != (shared ? std::string("shared") : own)) ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], 0) << t;
}

}  // namespace threads

namespace mathml_peer {

// Every name of the generated table, each zero-terminated, text after it.
const char16_t kGenerated[] = {
#include "mathml_entities.inc"
};

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '\r') out += "&#13;";
    else out += c;
  }
  return out;
}

// A document referencing every name under the MathML 2 DOCTYPE expands as
// xmllint expands it with the DTD from w3c-sgml-lib's catalogue.
TEST(XmlMathMLPeer, EveryNameExpandsAsXmllintExpandsIt) {
  std::vector<std::string> names;
  for (const char16_t* p = kGenerated; *p != 0;) {
    UnicodeString name(p);
    p += name.length() + 1;
    p += UnicodeString(p).length() + 1;
    names.push_back(Utf8(name));
  }
  ASSERT_EQ(names.size(), 2086u);
  std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE math PUBLIC \"-//W3C//DTD MathML 2.0//EN\" "
                    "\"http://www.w3.org/Math/DTD/mathml2/mathml2.dtd\">\n<math>";
  for (const std::string& name : names) doc += "<mi>&" + name + ";</mi>";
  doc += "</math>\n";
  const fs::path file = testsupport::TempDir() / "mathml.xml";
  std::ofstream(file, std::ios::binary) << doc;

  std::string peer;
  ASSERT_TRUE(quarnel_test::RunCommand("xmllint --loaddtd --noent --nonet --encode UTF-8 " + file.string(), peer));
  std::vector<std::string> expected;
  // Its elements carry the DTD's default attributes: the text follows ">".
  for (size_t at = 0; (at = peer.find("<mi", at)) != std::string::npos;) {
    size_t start = peer.find('>', at) + 1;
    size_t end = peer.find("</mi>", start);
    expected.push_back(peer.substr(start, end - start));
    at = end;
  }
  ASSERT_EQ(expected.size(), names.size());

  std::istringstream input(doc);
  XmlParserImpl parser;
  parser.setInput(input, UnicodeString(), UnicodeString());
  std::vector<std::string> own;
  for (auto event = parser.next(); event != ZelXmlParser::END_DOCUMENT; event = parser.next())
    if (event == ZelXmlParser::TEXT) own.push_back(Escaped(Utf8(parser.getText())));
  ASSERT_EQ(own.size(), names.size());
  int differences = 0;
  for (size_t i = 0; i < names.size(); ++i)
    if (own[i] != expected[i] && ++differences <= 10)
      ADD_FAILURE() << names[i] << ": " << own[i] << " against " << expected[i];
  EXPECT_EQ(differences, 0);
}

}  // namespace mathml_peer

}  // namespace
