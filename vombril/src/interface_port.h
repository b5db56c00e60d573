// Vombril's port to the extraction interface: the two operations that take
// the text of one unpacked archived file, GetMemberText (409) for a file
// output and GetMemberTextStream (423) for a stream output. By default they
// are bound to libtravix.so beside Vombril, resolved on first use through
// the interface's ordinal table (by name when the table lacks them); tests
// bind a double instead.
#pragma once

#include <ostream>

#include "dalvex/extract_records.h"
#include "dalvex/portability.h"

namespace vombril {

typedef int32_t (*MemberTextFn)(const char* path, KVB_FileHandle output, ExtractOptionsV4* options,
                                ExtractOutputTarget* target, int32_t value, ExtractErrorCallback callback);
typedef int32_t (*MemberTextStreamFn)(const char* path, std::ostream* output, ExtractOptionsV4* options,
                                      ExtractOutputTarget* target, int32_t value, ExtractErrorCallback callback);

struct InterfacePort {
  MemberTextFn member_text = nullptr;
  MemberTextStreamFn member_text_stream = nullptr;
};

// Binds `port` in place of the interface; null restores the interface.
void SetInterfacePortForTesting(const InterfacePort* port);

// The bound operations; a missing library gives 1001, a missing export 1002.
int32_t CallMemberText(const char* path, KVB_FileHandle output, ExtractOptionsV4* options,
                       ExtractOutputTarget* target, ExtractErrorCallback callback);
int32_t CallMemberTextStream(const char* path, std::ostream* output, ExtractOptionsV4* options,
                             ExtractOutputTarget* target, ExtractErrorCallback callback);

}  // namespace vombril
