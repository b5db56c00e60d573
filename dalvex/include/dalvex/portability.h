// Dalvex's portability layer: one flat function interface for files,
// byte-order files, big-endian memory, directories, paths, temporary names,
// memory and fixed values. The engine's deliverables use these exports
// instead of the runtime, so that file handles and heap blocks are always
// made and released by one copy of it.
//
// Narrow paths are UTF-8; wide texts are UTF-16 (char16_t). Offsets and sizes
// are 32-bit signed: a position or size that does not fit gives -1.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include <sys/stat.h>

#include "dalvex/export.h"

extern "C" {

typedef std::FILE* KVB_FileHandle;

// A file whose 16- and 32-bit values are read and written in one byte order.
struct KVB_XFile {
  KVB_FileHandle file;
  int32_t native_order;  // non-zero: little-endian as it lies; 0: big-endian, swapped
};

// What a directory search found last.
struct KVB_FindDataW {
  uint32_t attributes;  // 0x10 for a folder, else 0x80
  uint64_t size;
  int64_t modified;
  char16_t name[260];
};

struct KVB_FindDataA {
  uint32_t attributes;
  uint64_t size;
  int64_t modified;
  char name[260];
};

// A caller-allocated directory search.
struct KVB_DirHandle {
  void* search;            // the open search, null when none
  KVB_FindDataW wide;      // entry found last, for the wide calls
  KVB_FindDataA narrow;    // entry found last, for the 8-bit calls
  int32_t first_pending;   // 1 after a successful open, 0 after the first read
};

// A caller's entry record filled by the readdir calls.
struct KVB_DirEntry {
  int32_t unused[3];  // never written
  union {
    char name[260];           // KVB_ASC_readdir
    char16_t wide_name[260];  // KVB_readdir
  };
};

// Files.
DALVEX_API KVB_FileHandle KVB_FileOpen(const char* path, const char* mode);
DALVEX_API KVB_FileHandle KVB_FileWOpen(const char16_t* path, const char16_t* mode);
DALVEX_API int KVB_FileClose(KVB_FileHandle file);
DALVEX_API size_t KVB_FileRead(void* buffer, size_t size, size_t count, KVB_FileHandle file);
DALVEX_API size_t KVB_FileWrite(const void* data, size_t size, size_t count, KVB_FileHandle file);
DALVEX_API char* KVB_FileReadLine(char* buffer, int size, KVB_FileHandle file);
DALVEX_API int KVB_FileSeek(KVB_FileHandle file, int32_t offset, int whence);
DALVEX_API int32_t KVB_FileTell(KVB_FileHandle file);
DALVEX_API int KVB_FileGetByte(KVB_FileHandle file, void* buffer);
DALVEX_API int KVB_FileGetWord(KVB_FileHandle file, void* buffer);
DALVEX_API int KVB_FileGetDWord(KVB_FileHandle file, void* buffer);
DALVEX_API int KVB_FilePutByte(KVB_FileHandle file, int value);
DALVEX_API int KVB_FilePutWord(KVB_FileHandle file, int value);
DALVEX_API int KVB_FilePutDWord(KVB_FileHandle file, int value);
DALVEX_API int KVB_VfPrintf(KVB_FileHandle file, const char* format, va_list args);
DALVEX_API int32_t KVB_FileTellSize(KVB_FileHandle file);
DALVEX_API int32_t KVB_GetFileSizeByPath(const char* path);
DALVEX_API int KVB_Is_NT(void);
DALVEX_API int KVB_Is64bitOS(void);
DALVEX_API int KVB_Is64bitFS(void);

// Byte-order files and big-endian memory.
DALVEX_API KVB_XFile* KVB_X_FileOpen(const char* path, const char* mode, int native_order);
DALVEX_API KVB_XFile* KVB_X_FileWOpen(const char16_t* path, const char16_t* mode, int native_order);
DALVEX_API int KVB_X_FileClose(KVB_XFile* xfile);
DALVEX_API size_t KVB_X_FileRead(void* buffer, size_t size, size_t count, KVB_XFile* xfile);
DALVEX_API size_t KVB_X_FileWrite(const void* data, size_t size, size_t count, KVB_XFile* xfile);
DALVEX_API char* KVB_X_FileReadLine(char* buffer, int size, KVB_XFile* xfile);
DALVEX_API int KVB_X_FileSeek(KVB_XFile* xfile, int32_t offset, int whence);
DALVEX_API int KVB_X_FileGetByte(KVB_XFile* xfile, void* buffer);
DALVEX_API int KVB_X_FileGetWord(KVB_XFile* xfile, void* buffer);
DALVEX_API int KVB_X_FileGetDWord(KVB_XFile* xfile, void* buffer);
DALVEX_API int KVB_X_FilePutByte(KVB_XFile* xfile, int value);
DALVEX_API int KVB_X_FilePutWord(KVB_XFile* xfile, int value);
DALVEX_API int KVB_X_FilePutDWord(KVB_XFile* xfile, int value);
DALVEX_API uint16_t KVB_GetW_x(const void* pointer);
DALVEX_API uint32_t KVB_GetDW_x(const void* pointer);
DALVEX_API uint16_t KVB_PutW_x(void* pointer, uint32_t value);
DALVEX_API uint32_t KVB_PutDW_x(void* pointer, uint32_t value);

// Directories, paths and file-system calls. Split parts hold 3 bytes (drive)
// and 256 bytes (folder, base name, extension); joined paths 260 bytes.
DALVEX_API int KVB_opendir(const char16_t* pattern, KVB_DirHandle* dir);
DALVEX_API int KVB_readdir(KVB_DirHandle* dir, KVB_DirEntry* entry);
DALVEX_API int KVB_closedir(KVB_DirHandle* dir);
DALVEX_API int KVB_ASC_opendir(const char* pattern, KVB_DirHandle* dir);
DALVEX_API int KVB_ASC_readdir(KVB_DirHandle* dir, KVB_DirEntry* entry);
DALVEX_API int KVB_ASC_closedir(KVB_DirHandle* dir);
DALVEX_API void KVB_WIN_splitpath(const char16_t* path, char16_t* drive, char16_t* folder,
                                  char16_t* base, char16_t* extension);
DALVEX_API void KVB_WIN_makepath(char16_t* out, const char16_t* drive, const char16_t* folder,
                                 const char16_t* base, const char16_t* extension);
DALVEX_API void KVB_WIN_ASC_splitpath(const char* path, char* drive, char* folder, char* base,
                                      char* extension);
DALVEX_API void KVB_splitpath(const char* path, char* drive, char* folder, char* base,
                              char* extension);
DALVEX_API void KVB_WIN_ASC_makepath(char* out, const char* drive, const char* folder,
                                     const char* base, const char* extension);
DALVEX_API void KVB_makepath(char* out, const char* drive, const char* folder, const char* base,
                             const char* extension);
DALVEX_API int KVB_STAT(const char* path, struct stat* record);
DALVEX_API int KVB_MkDir(const char* path);
DALVEX_API int KVB_RmDir(const char* path);
DALVEX_API int KVB_ChDir(const char* path);
DALVEX_API char* KVB_GetCwd(char* buffer, int size);
DALVEX_API int KVB_FindFile(const char* pattern);
DALVEX_API int KVB_nextPathDelimiter(const char* path);
DALVEX_API int KVB_nextDrivePathDelimiter(const char* path);
DALVEX_API int KVB_getPathBreak(const char* path);

// Temporary names and removal. Names lie in the user's private temporary
// folder; the caller creates the file itself.
DALVEX_API char16_t* KVB_tmpnam(char16_t* buffer);  // buffer of 260 units
DALVEX_API char* KVB_ASC_tmpnam(char* out);          // out of 260 bytes
DALVEX_API char* KVB_ASC_tmpnam1(const char* path, char* out);  // out of 260 bytes
DALVEX_API int KVB_ASC_remove(const char* path);

// Memory and fixed values.
DALVEX_API void* KVB_malloc(size_t size);
DALVEX_API void* KVB_free(void* block);
DALVEX_API void* KVB_realloc(void* block, size_t size);
DALVEX_API void* KVB_calloc(size_t count, size_t size);
DALVEX_API void KVB_memend(void);
DALVEX_API int KVB_GetResouceString(int index, char* dst, int len);
DALVEX_API int KVB_GetResouceInteger(int index, int* out);

}  // extern "C"
