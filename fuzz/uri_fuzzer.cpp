// libFuzzer harness of ZelUri's text algorithms, without any I/O. The first
// byte chooses a string type and a base; the rest is UTF-8 text, split at
// the first newline into a reference and a second text. Both texts become
// URIs of that type and references resolved against fixed bases; every
// result goes through the local path, the relative reference, the
// extension operations and the data: header reader.
#include <cstddef>
#include <cstdint>
#include <string>

#include "quarnel/uri.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelDataUri;
using ObraCommon::ZelUri;

const char16_t* const kBases[] = {
    u"http://a/b/c/d;p?q",     u"file:///C:/a/b/c.xml", u"file:///usr/share/doc/x.xml", u"word/document.xml",
    u"jar:file:///p.zip!/w/d", u"./",                   u"",                            u"a",
};

void Exercise(ZelUri& uri, const UnicodeString& other) {
  (void)uri.getLocalPath();
  (void)uri.getBaseString();
  (void)uri.getFileName();
  (void)uri.getScheme();
  (void)uri.isAbsolute();
  (void)uri.isFile();
  (void)uri.getRelativeUri(other);
  (void)ZelUri(other, ZelUri::URISTR_AUTO).getRelativeUri(uri.toString());
  ZelDataUri data(uri.toString(), ZelUri::URISTR_URI);
  if (data.getDataPos() > data.toString().length() || data.getDataPos() < -1) __builtin_trap();
  UnicodeString extension = uri.getExtension();
  UnicodeString cut = uri.setExtension(&extension);
  if (!cut.isBogus() && cut != extension && !uri.isDataScheme()) __builtin_trap();
  (void)uri.removeFragment();
  (void)uri.toDirectory();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  const auto type = static_cast<ZelUri::URISTRTYPE>(data[0] & 3);
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t newline = bytes.find('\n');
  UnicodeString first = UnicodeString::fromUTF8(bytes.substr(0, newline));
  UnicodeString second = newline == std::string::npos ? UnicodeString() : UnicodeString::fromUTF8(bytes.substr(newline + 1));
  ZelUri plain(first, type);
  Exercise(plain, second);
  for (const char16_t* base : kBases) {
    ZelUri resolved(ZelUri(UnicodeString(base), type), first, type);
    Exercise(resolved, second);
  }
  ZelUri chosen(ZelUri(second, type), first, type);
  Exercise(chosen, UnicodeString(kBases[data[0] >> 5]));
  (void)ZelUri::unescape(first);
  return 0;
}
