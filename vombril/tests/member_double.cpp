// The member-operation double (see member_double.h).
#include "member_double.h"

#include <fstream>
#include <iterator>

#include <sys/stat.h>

#include "ostrand/stream_output.h"

namespace vombril_test {

namespace {

MemberDouble* active = nullptr;

int32_t Record(const char* path, KVB_FileHandle file, std::ostream* stream, ExtractOutputTarget* target,
               ExtractErrorCallback callback) {
  MemberCall call;
  call.path = path;
  struct stat st {};
  call.existed = lstat(path, &st) == 0 && S_ISREG(st.st_mode);
  std::ifstream in(path, std::ios::binary);
  call.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  call.count_seen = target->count;
  call.callback = callback;
  call.stream = stream != nullptr;
  size_t index = active->calls.size();
  int32_t result = index < active->results.size() ? active->results[index] : 0;
  if (result == 0) {
    if (stream != nullptr)
      KVB_WriteStream(stream, static_cast<int>(call.bytes.size()), call.bytes.data());
    else
      KVB_FileWrite(call.bytes.data(), 1, call.bytes.size(), file);
    target->count += static_cast<int32_t>(call.bytes.size());
  }
  active->calls.push_back(std::move(call));
  return result;
}

int32_t MemberText(const char* path, KVB_FileHandle output, ExtractOptionsV4*, ExtractOutputTarget* target,
                   int32_t, ExtractErrorCallback callback) {
  return Record(path, output, nullptr, target, callback);
}

int32_t MemberTextStream(const char* path, std::ostream* output, ExtractOptionsV4*, ExtractOutputTarget* target,
                         int32_t, ExtractErrorCallback callback) {
  return Record(path, nullptr, output, target, callback);
}

const vombril::InterfacePort kPort{MemberText, MemberTextStream};

}  // namespace

MemberDouble::MemberDouble() {
  active = this;
  vombril::SetInterfacePortForTesting(&kPort);
}

MemberDouble::~MemberDouble() {
  vombril::SetInterfacePortForTesting(nullptr);
  active = nullptr;
}

}  // namespace vombril_test
