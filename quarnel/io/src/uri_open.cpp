// Opening what a ZelUri names: the host's resolver first, then local files,
// then entries of zip packages (jar:, nested to any depth). Output files,
// gzip resources and loadable modules are reached from URIs too.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "quarnel/file_stream.h"
#include "quarnel/gzip_stream.h"
#include "quarnel/internet_stream.h"
#include "quarnel/lock.h"
#include "quarnel/mem_stream.h"
#include "quarnel/uri.h"
#include "quarnel/zip_file.h"

namespace ObraCommon {

ZelUriReferenceResolver* ZelUri::s_resolver = nullptr;

namespace {

std::string Utf8(const UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

std::unique_ptr<std::istream> OpenLocalFile(const UnicodeString& path) {
  // "//host/path" names another machine; Linux would read "/host/path".
  if (path.isEmpty() || path.startsWith(UnicodeString(u"//"))) return nullptr;
  auto stream = std::make_unique<ZelIFileStream>();
  UnicodeString terminated(path);
  stream->open(terminated.getTerminatedBuffer(), std::ios::in | std::ios::binary);
  if (!stream->is_open()) return nullptr;
  return stream;
}

// Splits at the first "!/": what comes before, and what comes after (empty
// without a separator).
void SplitEntry(const UnicodeString& text, UnicodeString& name, UnicodeString& rest) {
  int32_t bang = text.indexOf(UnicodeString(u"!/"));
  name = bang < 0 ? text : UnicodeString(text, 0, bang);
  rest = bang < 0 ? UnicodeString() : UnicodeString(text, bang + 2);
}

std::istream* OpenJar(const UnicodeString& text, UnicodeString* mediaType, UnicodeString* errorText) {
  UnicodeString archive, entries;
  SplitEntry(UnicodeString(text, 4), archive, entries);
  ZelUri archiveUri(archive, ZelUri::URISTR_CSS_URI);
  std::unique_ptr<std::istream> stream(archiveUri.getStream(mediaType, errorText));
  if (stream == nullptr || entries.isEmpty()) return stream.release();
  UnicodeString name, rest;
  if (archiveUri.isFile()) {
    SplitEntry(entries, name, rest);
    if (!ZelZipFile::isZipFile(stream.get())) return nullptr;
    ZelZipFile zip(stream.release(), true);
    ZelZipFileEntry* entry = zip.getFileEntry(name);
    if (entry == nullptr) return nullptr;
    stream.reset(entry->getUncompressedStream(true));
    entries = rest;
  }
  // The zip reader seeks, so an archive inside an entry (or behind a
  // stream that cannot seek) is read through a buffering memory stream.
  while (stream != nullptr && !entries.isEmpty()) {
    SplitEntry(entries, name, rest);
    ZelMemStream memory(stream.release(), 8192, true);
    if (!ZelZipFile::isZipFile(&memory)) return nullptr;
    ZelZipFile zip(&memory, false);
    ZelZipFileEntry* entry = zip.getFileEntry(name);
    if (entry == nullptr) return nullptr;
    stream.reset(entry->getUncompressedStream(true));
    entries = rest;
  }
  if (mediaType != nullptr) mediaType->remove();
  return stream.release();
}

// The folder, with its final "/", of the loaded object whose file name is
// wanted; empty when no loaded object has that name.
struct ModuleSearch {
  std::string wanted;
  std::string folder;
};

int FindModule(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<ModuleSearch*>(data);
  std::string path = info->dlpi_name != nullptr ? info->dlpi_name : "";
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || path.compare(slash + 1, std::string::npos, search->wanted) != 0) return 0;
  search->folder = path.substr(0, slash + 1);
  return 1;
}

std::string LoadedModuleFolder(const std::string& moduleName) {
  ModuleSearch search;
  search.wanted = moduleName;
  const std::string dll = ".dll";
  if (moduleName.size() > dll.size() && moduleName.compare(moduleName.size() - dll.size(), dll.size(), dll) == 0)
    search.wanted = "lib" + moduleName.substr(0, moduleName.size() - dll.size()) + ".so";
  dl_iterate_phdr(FindModule, &search);
  if (!search.folder.empty()) return search.folder;
  char exe[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (length <= 0) return std::string();
  std::string path(exe, static_cast<size_t>(length));
  return path.substr(0, path.find_last_of('/') + 1);
}

bool EndsWith(const char* text, const char* tail) {
  size_t length = std::char_traits<char>::length(text), tailLength = std::char_traits<char>::length(tail);
  return length >= tailLength && std::char_traits<char>::compare(text + length - tailLength, tail, tailLength) == 0;
}

}  // namespace

std::istream* ZelUri::getStreamFromResolver() const {
  return s_resolver == nullptr ? nullptr : s_resolver->resolveStream(m_text);
}

ZelUriReferenceResolver* ZelUri::setUriReferenceResolver(ZelUriReferenceResolver* resolver) {
  ZelUriReferenceResolver* previous = s_resolver;
  s_resolver = resolver;
  return previous;
}

ZelUriReferenceResolver* ZelUri::getUriReferenceResolver() { return s_resolver; }

std::istream* ZelUri::getStream(UnicodeString* mediaType, UnicodeString* errorText) const {
  if (std::istream* served = getStreamFromResolver()) return served;
  try {
    if (isFile()) return OpenLocalFile(getLocalPath()).release();
    if (isJarScheme()) return OpenJar(m_text, mediaType, errorText);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  auto remote = std::make_unique<ZelInternetStream>(m_text);
  if (errorText != nullptr) *errorText = remote->rdbuf()->getErrorText();
  if (!remote->rdbuf()->isOpen()) return nullptr;
  if (mediaType != nullptr) *mediaType = remote->rdbuf()->getMediaType();
  return remote.release();
}

bool ZelUri::isGzip() const {
  try {
    std::unique_ptr<std::istream> stream(getStream(nullptr));
    if (stream == nullptr || stream->eof()) return false;
    unsigned char magic[2] = {0, 0};
    stream->read(reinterpret_cast<char*>(magic), 2);
    return stream->gcount() == 2 && magic[0] == 0x1F && magic[1] == 0x8B;
  } catch (...) {
    return false;
  }
}

bool ZelUri::isGzip(std::istream& in) {
  try {
    if (!in.fail()) in.rdbuf()->pubseekpos(0, std::ios::in);
    if (in.eof()) return false;
    unsigned char magic[2] = {0, 0};
    in.read(reinterpret_cast<char*>(magic), 2);
    return in.gcount() == 2 && magic[0] == 0x1F && magic[1] == 0x8B;
  } catch (...) {
    return false;
  }
}

std::istream* ZelUri::getGzipStream() const {
  auto stream = std::make_unique<ZelGzipStream>(getLocalPath());
  return stream->is_open() ? stream.release() : nullptr;
}

std::istream* ZelUri::getGzipStream(std::istream& in) {
  if (!in.fail()) in.rdbuf()->pubseekpos(0, std::ios::in);
  return new ZelGzipStream(in);
}

std::ostream* ZelUri::createOStream(const UnicodeString& name) {
  try {
    ZelUri uri(name, URISTR_CSS_URI);
    UnicodeString path = uri.getLocalPath();
    if (!uri.isFile() || path.isEmpty() || path.startsWith(UnicodeString(u"//"))) return nullptr;
    auto stream = std::make_unique<ZelOFileStream>();
    stream->open(path.getTerminatedBuffer(), std::ios::out | std::ios::binary);
    return stream->is_open() ? stream.release() : nullptr;
  } catch (...) {
    return nullptr;
  }
}

void ZelUri::releaseOStream(std::ostream* stream) {
  if (stream == nullptr) return;
  if (auto* file = dynamic_cast<ZelOFileStream*>(stream)) file->close();
  delete stream;
}

ZelUri ZelUri::getModuleUri(const char* moduleName, const char* relPath, const char* envName) {
  UnicodeString dir;
  if (envName != nullptr && *envName != '\0') {
    ZelMutex guard;
    if (const char* value = std::getenv(envName)) {
      ZelUri uri(UnicodeString::fromUTF8(value), URISTR_CSS_URI);
      if (uri.isFile() && uri.isFileExists()) dir = uri.getLocalPath();
    }
  }
  if (dir.isEmpty() && moduleName != nullptr && *moduleName != '\0')
    dir = UnicodeString::fromUTF8(LoadedModuleFolder(moduleName));
  if (dir.isEmpty()) {
    if (relPath != nullptr && (EndsWith(relPath, ".dll") || EndsWith(relPath, ".so")))
      return ZelUri(UnicodeString::fromUTF8(relPath), URISTR_CSS_URI);
    dir = u"./";
  }
  if (relPath != nullptr && *relPath != '\0') {
    if (!dir.endsWith(UnicodeString(u"/")) && !dir.endsWith(UnicodeString(u"\\"))) dir.append(u'/');
    return ZelUri(ZelUri(dir, URISTR_CSS_URI), UnicodeString::fromUTF8(relPath), URISTR_CSS_URI);
  }
  if (dir.endsWith(UnicodeString(u"/")) || dir.endsWith(UnicodeString(u"\\"))) dir.truncate(dir.length() - 1);
  return ZelUri(dir, URISTR_CSS_URI);
}

void* ZelUri::loadLibrary() const {
  std::string path = Utf8(getLocalPath());
  return path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* ZelUri::getProcAddress(void* module, const char* name) {
  return module == nullptr || name == nullptr ? nullptr : dlsym(module, name);
}

void ZelUri::freeLibrary(void* module) {
  if (module != nullptr) dlclose(module);
}

}  // namespace ObraCommon
