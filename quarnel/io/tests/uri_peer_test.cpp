// ZelUri beside uriparser: resolution over a grid of bases and references
// on which RFC 3986 and this class agree, and local paths both ways.
#include <gtest/gtest.h>
#include <uriparser/Uri.h>

#include <string>
#include <vector>

#include "quarnel/uri.h"
#include "support.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelUri;
using quarnel_test::Utf8;

// uriparser's resolution of ref against base, or "<error>".
std::string PeerResolve(const std::string& base, const std::string& ref) {
  UriUriA baseUri, refUri, result;
  const char* error = nullptr;
  std::string text = "<error>";
  bool baseOk = uriParseSingleUriA(&baseUri, base.c_str(), &error) == URI_SUCCESS;
  bool refOk = uriParseSingleUriA(&refUri, ref.c_str(), &error) == URI_SUCCESS;
  if (baseOk && refOk && uriAddBaseUriA(&result, &refUri, &baseUri) == URI_SUCCESS) {
    int length = 0;
    if (uriToStringCharsRequiredA(&result, &length) == URI_SUCCESS) {
      std::vector<char> out(static_cast<size_t>(length) + 1);
      if (uriToStringA(out.data(), &result, length + 1, nullptr) == URI_SUCCESS) text = out.data();
    }
    uriFreeUriMembersA(&result);
  }
  if (baseOk) uriFreeUriMembersA(&baseUri);
  if (refOk) uriFreeUriMembersA(&refUri);
  return text;
}

TEST(UriPeer, ResolutionGridAgreesWithUriparser) {
  std::vector<std::string> bases;
  for (const char* scheme : {"http://h", "https://h.example:8080", "file://"})
    for (const char* dir : {"", "/a", "/a/b", "/a/b/c", "/d-1/e_2/f~3"})
      for (const char* file : {"/", "/x", "/x.xml", "/x;p", "/x?q=1", "/x.tar.gz?a=b&c=d"})
        bases.push_back(std::string(scheme) + dir + file);
  std::vector<std::string> refs = {".", ".."};
  for (const char* prefix : {"", "./", "../", "./../", "../../", "../../../", "../../../../../", "/"})
    for (const char* path : {"g", "g/", "g/h", "g;x", "g?y", "g#s", "g?y#s", "h.xml", "%41b", "g/h/i.j", "g..", ".g",
                             "g=1&b+c", ""})
      if (*prefix != '\0' || *path != '\0') refs.push_back(std::string(prefix) + path);
  int compared = 0;
  for (const std::string& base : bases) {
    ZelUri baseUri(UnicodeString::fromUTF8(base), ZelUri::URISTR_URI);
    for (const std::string& ref : refs) {
      std::string peer = PeerResolve(base, ref);
      ASSERT_NE(peer, "<error>") << base << " + " << ref;
      EXPECT_EQ(Utf8(ZelUri(baseUri, UnicodeString::fromUTF8(ref), ZelUri::URISTR_URI).toString()), peer)
          << base << " + " << ref;
      ++compared;
    }
  }
  EXPECT_GT(compared, 3000);
}

TEST(UriPeer, LocalPathsBothWays) {
  const char* paths[] = {
      "/tmp/a b/c d.xml", "/tmp/\xC3\xA9t\xC3\xA9/\xE6\x97\xA5\xE6\x9C\xAC.txt", "/tmp/x#y", "/tmp/q?r",
      "/tmp/s;t&u+v=w",   "/tmp/plain.txt",                                  "/",        "/a/b/",
  };
  for (const char* path : paths) {
    std::string text = path;
    std::vector<char> uri(text.size() * 3 + 8);
    ASSERT_EQ(uriUnixFilenameToUriStringA(path, uri.data()), URI_SUCCESS) << path;
    EXPECT_EQ(Utf8(ZelUri(UnicodeString::fromUTF8(uri.data()), ZelUri::URISTR_URI).getLocalPath()), text)
        << path << " as " << uri.data();
    if (text.find_first_of("#?%") != std::string::npos) continue;
    bool ascii = true;
    for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (!ascii) continue;
    std::string ours = Utf8(ZelUri(UnicodeString::fromUTF8(path), ZelUri::URISTR_URI).toString());
    std::vector<char> back(ours.size() + 1);
    ASSERT_EQ(uriUriStringToUnixFilenameA(ours.c_str(), back.data()), URI_SUCCESS) << ours;
    EXPECT_EQ(std::string(back.data()), text) << ours;
  }
}

}  // namespace
