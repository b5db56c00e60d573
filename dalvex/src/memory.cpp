// Memory and fixed values of the portability layer. Blocks from these calls
// are released only with KVB_free.
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <iterator>

#include "dalvex/portability.h"

namespace {

constexpr const char* kResourceStrings[] = {"org", "ISO-2022-JP", "ISO-10646-UCS-2", "WINDOWS31J", "EUC-JP"};
constexpr int kResourceIntegers[] = {0, 0};

}  // namespace

extern "C" {

void* KVB_malloc(size_t size) { return std::malloc(size); }

// The caller gets its pointer back as a value; nothing reads through it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif
void* KVB_free(void* block) {
  std::free(block);
  return block;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

void* KVB_realloc(void* block, size_t size) { return std::realloc(block, size); }
void* KVB_calloc(size_t count, size_t size) { return std::calloc(count, size); }
void KVB_memend(void) {}

int KVB_GetResouceString(int index, char* dst, int len) {
  if (index < 0 || index >= static_cast<int>(std::size(kResourceStrings)) || dst == nullptr) return 0;
  if (len <= 0) return 0;
  // Always terminated: at most len - 1 bytes of the text.
  size_t room = static_cast<size_t>(len) - 1;
  size_t n = std::min(room, std::strlen(kResourceStrings[index]));
  std::memcpy(dst, kResourceStrings[index], n);
  dst[n] = '\0';
  return 1;
}

int KVB_GetResouceInteger(int index, int* out) {
  if (index < 0 || index >= static_cast<int>(std::size(kResourceIntegers)) || out == nullptr) return 0;
  *out = kResourceIntegers[index];
  return 1;
}

}  // extern "C"
