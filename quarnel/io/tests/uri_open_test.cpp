// Opening what a URI names: local files, zip entries (nested too), the
// host's resolver, gzip resources, output files and modules.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "quarnel/uri.h"
#include "support.h"
#include "testsupport/testdata.h"
#include "testsupport/zip_writer.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelUri;
using quarnel_test::Utf8;
using testsupport::ZipEntrySpec;
namespace fs = std::filesystem;

UnicodeString U(const std::string& text) { return UnicodeString::fromUTF8(text); }

std::string ReadAll(std::istream* stream) {
  std::ostringstream out;
  out << stream->rdbuf();
  return out.str();
}

// What the URI's stream reads, or "<null>" when it gives none.
std::string Open(const std::string& text, UnicodeString* mediaType = nullptr) {
  std::unique_ptr<std::istream> stream(ZelUri(U(text), ZelUri::URISTR_CSS_URI).getStream(mediaType));
  return stream == nullptr ? "<null>" : ReadAll(stream.get());
}

class UriOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quarnel-uri-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sub dir");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Put(const std::string& name, const std::string& bytes) {
    EXPECT_TRUE(testsupport::WriteFile(dir_ / name, bytes));
    return (dir_ / name).string();
  }
  fs::path dir_;
};

std::string Zip(std::initializer_list<std::pair<std::string, std::string>> entries) {
  testsupport::ZipWriter writer;
  bool deflate = false;
  for (const auto& [name, data] : entries) {
    ZipEntrySpec spec;
    spec.name = name;
    spec.data = data;
    spec.deflate = deflate = !deflate;
    writer.add(spec);
  }
  return writer.finish();
}

TEST_F(UriOpen, LocalFiles) {
  std::string plain = Put("a b \xC3\xA9.txt", "bytes");
  std::string escaped = Put("sub dir/%41.txt", "escaped");
  struct Case {
    std::string text;
    std::string read;
  };
  const Case cases[] = {
      {plain, "bytes"},
      {"file://" + plain, "bytes"},
      {"file://localhost" + plain, "bytes"},
      {"file:" + plain, "bytes"},
      {"file://" + dir_.string() + "/a%20b%20%C3%A9.txt", "bytes"},
      {"file://" + dir_.string() + "/sub%20dir/%2541.txt", "escaped"},
      {dir_.string() + "/missing.txt", "<null>"},
      {dir_.string() + "/sub dir", "<null>"},
      {"file://host" + plain, "<null>"},
      // Host forms that Linux would read as the local file.
      {"file:///" + plain, "<null>"},
      {"file:////" + plain, "<null>"},
      {"data:,abc", "<null>"},
      {"", "<null>"},
  };
  for (const Case& c : cases) EXPECT_EQ(Open(c.text), c.read) << c.text;
  // Escapes of the path itself are read as escapes on the way back.
  EXPECT_EQ(Open(escaped), "<null>");
  EXPECT_TRUE(ZelUri(U(plain), ZelUri::URISTR_AUTO).isFileExists());
  EXPECT_FALSE(ZelUri(U("file://host" + plain), ZelUri::URISTR_AUTO).isFileExists());
  EXPECT_FALSE(ZelUri(U(plain), ZelUri::URISTR_AUTO).isRemote());
  EXPECT_FALSE(ZelUri(U("http://h/x"), ZelUri::URISTR_AUTO).isRemote());
}

TEST_F(UriOpen, ZipEntries) {
  std::string inner = Zip({{"deep/x.txt", "inner bytes"}, {"y.txt", "why"}});
  std::string outer = Put("p k.zip", Zip({{"a.txt", "alpha"}, {"in.zip", inner}, {"b/c.txt", "charlie"}}));
  std::string jar = "jar:file://" + dir_.string() + "/p%20k.zip";
  struct Case {
    std::string text;
    std::string read;
  };
  const Case cases[] = {
      {jar + "!/a.txt", "alpha"},
      {jar + "!/b/c.txt", "charlie"},
      {jar + "!/in.zip!/deep/x.txt", "inner bytes"},
      {jar + "!/in.zip!/y.txt", "why"},
      {jar + "!/in.zip!/none", "<null>"},
      {jar + "!/a.txt!/x", "<null>"},
      {jar + "!/missing", "<null>"},
      {jar, ReadAll(std::make_unique<std::istringstream>(testsupport::ReadFile(outer)).get())},
      {"jar:file://" + dir_.string() + "/none.zip!/a.txt", "<null>"},
      {"jar:file://" + Put("not.zip", "plain text") + "!/a.txt", "<null>"},
  };
  for (const Case& c : cases) EXPECT_EQ(Open(c.text), c.read) << c.text;
  UnicodeString mediaType = U("text/x");
  EXPECT_EQ(Open(jar + "!/a.txt", &mediaType), "alpha");
  EXPECT_TRUE(mediaType.isEmpty());
  ZelUri base(U(jar + "!/b/c.txt"), ZelUri::URISTR_AUTO);
  std::unique_ptr<std::istream> resolved(ZelUri(base, U("../a.txt"), ZelUri::URISTR_CSS_URI).getStream(nullptr));
  ASSERT_NE(resolved, nullptr);
  EXPECT_EQ(ReadAll(resolved.get()), "alpha");
}

TEST(UriOpenCorpus, JarEntryOfARealPackage) {
  TESTDATA_OR_SKIP(dir, "detect");
  fs::path docx = dir / "python-docx-default.docx";
  if (!fs::exists(docx)) GTEST_SKIP() << "no " << docx;
  std::string python;
  ASSERT_TRUE(quarnel_test::RunCommand(
      "python3 -c \"import sys,zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("
      "'word/document.xml'))\" '" + docx.string() + "'",
      python));
  ASSERT_FALSE(python.empty());
  std::string uri = Utf8(ZelUri(U(docx.string()), ZelUri::URISTR_AUTO).toString());
  EXPECT_EQ(Open("jar:" + uri + "!/word/document.xml"), python);
}

class Served : public ObraCommon::ZelUriReferenceResolver {
 public:
  std::istream* resolveStream(const UnicodeString& uriText) override {
    if (uriText != U("urn:x") && uriText != U("file:///served")) return nullptr;
    return new std::istringstream("from the host");
  }
};

TEST_F(UriOpen, TheResolverComesFirst) {
  Served served;
  EXPECT_EQ(ZelUri::setUriReferenceResolver(&served), nullptr);
  EXPECT_EQ(Open("urn:x"), "from the host");
  EXPECT_EQ(Open("/served"), "from the host");
  EXPECT_EQ(Open(Put("f", "file")), "file");
  EXPECT_EQ(Open("data:,abc"), "<null>");
  EXPECT_EQ(ZelUri::setUriReferenceResolver(nullptr), &served);
  EXPECT_EQ(Open("urn:x"), "<null>");
  EXPECT_EQ(ZelUri(U("urn:x"), ZelUri::URISTR_AUTO).getStreamFromResolver(), nullptr);
}


TEST_F(UriOpen, GzipResources) {
  std::string text(5000, 'g');
  struct Case {
    std::string name;
    std::string bytes;
    bool gzip;
  };
  const Case cases[] = {
      {"t.gz", testsupport::GzipDeflate(text), true},
      {"one", "\x1F", false},
      {"empty", "", false},
      {"plain", "plain text", false},
  };
  for (const Case& c : cases) {
    ZelUri uri(U(Put(c.name, c.bytes)), ZelUri::URISTR_AUTO);
    EXPECT_EQ(uri.isGzip(), c.gzip) << c.name;
    std::istringstream in(c.bytes);
    in.get();
    EXPECT_EQ(ZelUri::isGzip(in), c.gzip) << c.name;
  }
  EXPECT_FALSE(ZelUri(U(dir_.string() + "/missing"), ZelUri::URISTR_AUTO).isGzip());
  std::unique_ptr<std::istream> file(ZelUri(U(dir_.string() + "/t.gz"), ZelUri::URISTR_AUTO).getGzipStream());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadAll(file.get()), text);
  EXPECT_EQ(ZelUri(U(dir_.string() + "/missing"), ZelUri::URISTR_AUTO).getGzipStream(), nullptr);
  std::istringstream source(testsupport::GzipDeflate(text));
  source.ignore(3);
  std::unique_ptr<std::istream> wrapped(ZelUri::getGzipStream(source));
  EXPECT_EQ(ReadAll(wrapped.get()), text);
}

TEST_F(UriOpen, OutputFiles) {
  ZelUri any;
  std::ostream* out = any.createOStream(U(dir_.string() + "/out put.txt"));
  ASSERT_NE(out, nullptr);
  *out << "written";
  any.releaseOStream(out);
  EXPECT_EQ(testsupport::ReadFile(dir_ / "out put.txt"), "written");
  EXPECT_EQ(any.createOStream(U("http://h/x")), nullptr);
  EXPECT_EQ(any.createOStream(U(dir_.string() + "/no/such/dir/x")), nullptr);
  EXPECT_EQ(any.createOStream(U("")), nullptr);
  any.releaseOStream(nullptr);
}

TEST_F(UriOpen, Modules) {
  testsupport::ScopedEnv env("QUARNEL_URI_TEST_DIR", dir_.string().c_str());
  EXPECT_EQ(Utf8(ZelUri::getModuleUri(nullptr, "x y.dat", "QUARNEL_URI_TEST_DIR").toString()),
            "file://" + dir_.string() + "/x%20y.dat");
  EXPECT_EQ(Utf8(ZelUri::getModuleUri(nullptr, nullptr, "QUARNEL_URI_TEST_DIR").toString()), "file://" + dir_.string());
  testsupport::ScopedEnv unset("QUARNEL_URI_TEST_DIR", nullptr);
  std::string exe = fs::read_symlink("/proc/self/exe").parent_path().string();
  EXPECT_EQ(Utf8(ZelUri::getModuleUri("not-loaded.dll", "d.dat", "QUARNEL_URI_TEST_DIR").toString()),
            "file://" + exe + "/d.dat");
  EXPECT_EQ(Utf8(ZelUri::getModuleUri(nullptr, "plug.so", nullptr).toString()), "plug.so");
  EXPECT_EQ(Utf8(ZelUri::getModuleUri(nullptr, "plug.dll", "").toString()), "plug.dll");
  EXPECT_EQ(Utf8(ZelUri::getModuleUri(nullptr, "d.dat", nullptr).toString()), "d.dat");

  for (const std::string& text : {exe + "/quarnel_uri_plugin.so", "file://" + exe + "/quarnel_uri_plugin.so"}) {
    void* module = ZelUri(U(text), ZelUri::URISTR_AUTO).loadLibrary();
    ASSERT_NE(module, nullptr) << text;
    auto answer = reinterpret_cast<int (*)()>(ZelUri::getProcAddress(module, "quarnel_uri_plugin_answer"));
    ASSERT_NE(answer, nullptr) << text;
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(ZelUri::getProcAddress(module, "no_such_function"), nullptr);
    ZelUri::freeLibrary(module);
  }
  ZelUri::freeLibrary(nullptr);
  EXPECT_EQ(ZelUri(U(dir_.string() + "/none.so"), ZelUri::URISTR_AUTO).loadLibrary(), nullptr);
  // A loaded object is found by its file name.
  std::string zlib = Utf8(ZelUri::getModuleUri("libz.so.1", "", nullptr).toString());
  EXPECT_NE(zlib, "file://" + exe) << zlib;
  EXPECT_TRUE(ZelUri(U(zlib + "/libz.so.1"), ZelUri::URISTR_AUTO).isFileExists()) << zlib;
}

}  // namespace
