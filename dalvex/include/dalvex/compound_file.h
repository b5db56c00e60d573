// Dalvex's reader of OLE2 compound files (read-only).
//
// KVB_2OLEopen reads a file's header, FAT, mini FAT and directory once;
// storages and streams below its root are then opened by name and streams
// are read and positioned through a 1,024-byte buffer. Storages are found by
// their exact name, streams without regard to ASCII case; names are UTF-8
// (entry names are converted from UTF-16, units below 0x20 keeping their
// byte, so "\005SummaryInformation" is found as written).
//
// Calling order: open the root, open storages and streams below it, close
// streams and child storages before their parents, and close the root last
// with KVB_2OLEclose. A root and everything opened from it belong to one
// thread at a time. Damaged or hostile files are refused (null) or read
// short; positions and sizes are 32-bit signed.
#pragma once

#include <cstdint>

#include "dalvex/export.h"

extern "C" {

// A compound file's root storage, or a storage below it.
typedef struct KVB_OleStorageRecord KVB_OleStorage;
// A stream opened from a storage.
typedef struct KVB_OleStreamRecord KVB_OleStream;

// The header values a handle keeps, as the file states them.
struct KVB_OleHeaderInfo {
  uint16_t sector_shift;       // 9 (512-byte sectors) or 12 (4,096-byte sectors)
  uint16_t mini_sector_shift;  // 6
  uint32_t fat_sectors;
  int32_t first_directory_sector;
  uint32_t mini_stream_cutoff;  // streams smaller than this live in the mini stream
  int32_t first_mini_fat_sector;
  uint32_t mini_fat_sectors;
  int32_t first_difat_sector;
  uint32_t difat_sectors;
};
static_assert(sizeof(KVB_OleHeaderInfo) == 32, "KVB_OleHeaderInfo keeps its size");

// The root storage, or null when the file cannot be opened or is refused.
DALVEX_API KVB_OleStorage* KVB_2OLEopen(const char* path);
// 4096 while anything opened from the root is open (nothing is freed); else
// 1 after closing the file and freeing the handle. 0 for null or a storage
// that is not a root.
DALVEX_API int KVB_2OLEclose(KVB_OleStorage* root);
// The storage of that exact name among the parent's children, or null.
DALVEX_API KVB_OleStorage* KVB_2OLEopenStorage(KVB_OleStorage* parent, const char* name);
// 0 while anything opened from the storage is open (nothing is freed), else
// 1. 0 for null or a root (which KVB_2OLEclose closes).
DALVEX_API int KVB_2OLEcloseStorage(KVB_OleStorage* storage);
// The stream of that name (ASCII case ignored), positioned at 0, or null.
DALVEX_API KVB_OleStream* KVB_2OLEopenStream(KVB_OleStorage* storage, const char* name);
// Bytes copied: fewer than n at the end of the stream, 0 there.
DALVEX_API int KVB_2OLEreadStream(KVB_OleStream* stream, void* buffer, int n);
// The new position (clamped to 0..size), or -1; whence 0 from the start,
// 1 from the current position, 2 from the end.
DALVEX_API int KVB_2OLEseekStream(KVB_OleStream* stream, int offset, int whence);
// 1, after freeing the stream; 0 for null.
DALVEX_API int KVB_2OLEcloseStream(KVB_OleStream* stream);
// 1 with the class id of the storage's own entry in out (16 bytes), else 0.
DALVEX_API int KVB_2OLEGetClassID(KVB_OleStorage* storage, void* out);

// 1 with the header values of the storage's file in out; 0 for null.
DALVEX_API int KVB_2OLEGetHeaderInfo(KVB_OleStorage* storage, KVB_OleHeaderInfo* out);
// The stream's size in bytes; -1 for null.
DALVEX_API int KVB_2OLEGetStreamSize(KVB_OleStream* stream);
// 1 with the stream's name as its file stores it (UTF-8, case kept) in out;
// 0, with out empty, for null or when the name and its NUL exceed size.
DALVEX_API int KVB_2OLEGetStreamName(KVB_OleStream* stream, char* out, int size);

}  // extern "C"
