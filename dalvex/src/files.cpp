// Files and byte-order files of the portability layer.
//
// Thin layers over the C runtime's streams. Positions and sizes leave the
// layer as 32-bit signed values: one that does not fit is reported as -1,
// never truncated.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include <sys/stat.h>

#include "dalvex/portability.h"
#include "win32/utf16.h"

namespace {

std::optional<std::string> NarrowPath(const char16_t* wide) {
  if (wide == nullptr) return std::nullopt;
  return win32::Utf16ToUtf8(std::u16string_view(wide, win32::Utf16Length(wide)));
}

int32_t Fit32(long long value) { return (value < 0 || value > INT32_MAX) ? -1 : static_cast<int32_t>(value); }

uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
uint32_t Swap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

int PutLittle(KVB_FileHandle file, uint32_t value, int bytes) {
  unsigned char out[4];
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
  return (file != nullptr && std::fwrite(out, 1, bytes, file) == static_cast<size_t>(bytes)) ? 1 : 0;
}

int GetRaw(KVB_FileHandle file, void* buffer, size_t bytes) {
  return (file != nullptr && buffer != nullptr && std::fread(buffer, 1, bytes, file) == bytes) ? 1 : 0;
}

// A byte-order file record around the file `open` gives; the record is
// freed again when the open fails.
template <typename Open>
KVB_XFile* NewXFile(Open open, int native_order) {
  auto* xfile = static_cast<KVB_XFile*>(KVB_malloc(sizeof(KVB_XFile)));
  if (xfile == nullptr) return nullptr;
  xfile->file = open();
  xfile->native_order = native_order;
  if (xfile->file == nullptr) {
    KVB_free(xfile);
    return nullptr;
  }
  return xfile;
}

}  // namespace

extern "C" {

KVB_FileHandle KVB_FileOpen(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  return std::fopen(path, mode);
}

KVB_FileHandle KVB_FileWOpen(const char16_t* path, const char16_t* mode) {
  auto narrow_path = NarrowPath(path);
  auto narrow_mode = NarrowPath(mode);
  if (!narrow_path || !narrow_mode) return nullptr;
  return std::fopen(narrow_path->c_str(), narrow_mode->c_str());
}

int KVB_FileClose(KVB_FileHandle file) { return file ? std::fclose(file) : EOF; }

size_t KVB_FileRead(void* buffer, size_t size, size_t count, KVB_FileHandle file) {
  return (file && buffer) ? std::fread(buffer, size, count, file) : 0;
}

size_t KVB_FileWrite(const void* data, size_t size, size_t count, KVB_FileHandle file) {
  return (file && data) ? std::fwrite(data, size, count, file) : 0;
}

char* KVB_FileReadLine(char* buffer, int size, KVB_FileHandle file) {
  return (file && buffer && size > 0) ? std::fgets(buffer, size, file) : nullptr;
}

int KVB_FileSeek(KVB_FileHandle file, int32_t offset, int whence) {
  return file ? std::fseek(file, offset, whence) : -1;
}

int32_t KVB_FileTell(KVB_FileHandle file) { return file ? Fit32(ftello(file)) : -1; }

int KVB_FileGetByte(KVB_FileHandle file, void* buffer) { return GetRaw(file, buffer, 1); }
int KVB_FileGetWord(KVB_FileHandle file, void* buffer) { return GetRaw(file, buffer, 2); }
int KVB_FileGetDWord(KVB_FileHandle file, void* buffer) { return GetRaw(file, buffer, 4); }
int KVB_FilePutByte(KVB_FileHandle file, int value) { return PutLittle(file, static_cast<uint32_t>(value), 1); }
int KVB_FilePutWord(KVB_FileHandle file, int value) { return PutLittle(file, static_cast<uint32_t>(value), 2); }
int KVB_FilePutDWord(KVB_FileHandle file, int value) { return PutLittle(file, static_cast<uint32_t>(value), 4); }

int KVB_VfPrintf(KVB_FileHandle file, const char* format, va_list args) {
  return (file && format) ? std::vfprintf(file, format, args) : -1;
}

int32_t KVB_FileTellSize(KVB_FileHandle file) {
  if (file == nullptr) return -1;
  off_t here = ftello(file);
  if (here < 0) return -1;
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  off_t size = ftello(file);
  fseeko(file, here, SEEK_SET);
  return Fit32(size);
}

int32_t KVB_GetFileSizeByPath(const char* path) {
  struct stat st {};
  if (path == nullptr || stat(path, &st) != 0) return -1;
  return Fit32(st.st_size);
}

int KVB_Is_NT(void) { return 1; }
int KVB_Is64bitOS(void) { return 0; }
int KVB_Is64bitFS(void) { return 0; }

KVB_XFile* KVB_X_FileOpen(const char* path, const char* mode, int native_order) {
  return NewXFile([&] { return KVB_FileOpen(path, mode); }, native_order);
}

KVB_XFile* KVB_X_FileWOpen(const char16_t* path, const char16_t* mode, int native_order) {
  return NewXFile([&] { return KVB_FileWOpen(path, mode); }, native_order);
}

int KVB_X_FileClose(KVB_XFile* xfile) {
  if (xfile == nullptr) return EOF;
  int result = KVB_FileClose(xfile->file);
  KVB_free(xfile);
  return result;
}

size_t KVB_X_FileRead(void* buffer, size_t size, size_t count, KVB_XFile* xfile) {
  return xfile ? KVB_FileRead(buffer, size, count, xfile->file) : 0;
}

size_t KVB_X_FileWrite(const void* data, size_t size, size_t count, KVB_XFile* xfile) {
  return xfile ? KVB_FileWrite(data, size, count, xfile->file) : 0;
}

char* KVB_X_FileReadLine(char* buffer, int size, KVB_XFile* xfile) {
  return xfile ? KVB_FileReadLine(buffer, size, xfile->file) : nullptr;
}

int KVB_X_FileSeek(KVB_XFile* xfile, int32_t offset, int whence) {
  return xfile ? KVB_FileSeek(xfile->file, offset, whence) : -1;
}

int KVB_X_FileGetByte(KVB_XFile* xfile, void* buffer) { return xfile ? KVB_FileGetByte(xfile->file, buffer) : 0; }

int KVB_X_FileGetWord(KVB_XFile* xfile, void* buffer) {
  if (xfile == nullptr || !KVB_FileGetWord(xfile->file, buffer)) return 0;
  if (!xfile->native_order) {
    auto* b = static_cast<unsigned char*>(buffer);
    std::swap(b[0], b[1]);
  }
  return 1;
}

int KVB_X_FileGetDWord(KVB_XFile* xfile, void* buffer) {
  if (xfile == nullptr || !KVB_FileGetDWord(xfile->file, buffer)) return 0;
  if (!xfile->native_order) {
    auto* b = static_cast<unsigned char*>(buffer);
    std::swap(b[0], b[3]);
    std::swap(b[1], b[2]);
  }
  return 1;
}

int KVB_X_FilePutByte(KVB_XFile* xfile, int value) { return xfile ? KVB_FilePutByte(xfile->file, value) : 0; }

int KVB_X_FilePutWord(KVB_XFile* xfile, int value) {
  if (xfile == nullptr) return 0;
  uint16_t v = static_cast<uint16_t>(value);
  return KVB_FilePutWord(xfile->file, xfile->native_order ? v : Swap16(v));
}

int KVB_X_FilePutDWord(KVB_XFile* xfile, int value) {
  if (xfile == nullptr) return 0;
  uint32_t v = static_cast<uint32_t>(value);
  return KVB_FilePutDWord(xfile->file, static_cast<int>(xfile->native_order ? v : Swap32(v)));
}

uint16_t KVB_GetW_x(const void* pointer) {
  const auto* b = static_cast<const unsigned char*>(pointer);
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

uint32_t KVB_GetDW_x(const void* pointer) {
  const auto* b = static_cast<const unsigned char*>(pointer);
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

uint16_t KVB_PutW_x(void* pointer, uint32_t value) {
  auto* b = static_cast<unsigned char*>(pointer);
  b[0] = static_cast<unsigned char>(value >> 8);
  b[1] = static_cast<unsigned char>(value);
  return Swap16(static_cast<uint16_t>(value));
}

uint32_t KVB_PutDW_x(void* pointer, uint32_t value) {
  auto* b = static_cast<unsigned char*>(pointer);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
  return Swap32(value);
}

}  // extern "C"
