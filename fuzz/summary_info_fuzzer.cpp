// libFuzzer harness of the property-set reader through SummaryInfo: the
// input is one or two property-set streams, split where the second stream's
// byte-order mark and version (FE FF 00 00) begin; they become the
// "\005SummaryInformation" and "\005DocumentSummaryInformation" streams of
// a compound file written by the tests' writer, and SummaryInfo reads it
// with a format code, default code page and output charset chosen from the
// input's length. Every text slot must end inside its slot.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "dalvex/summary_info.h"
#include "harness_support.h"
#include "testsupport/compound_file_writer.h"

namespace {

constexpr uint16_t kFormatCodes[] = {5000, 6000, 7000, 9003, 10002, 1};
constexpr uint16_t kCodePages[] = {0, 932, 936, 949, 950, 1252, 65001, 1200};
const char* const kCharsets[] = {"UTF-8", "ISO-10646-UCS-2", "WINDOWS31J", "EUC-JP", "ChineseGBK", "UTF-16"};

// Each slot of the record is NUL-terminated text.
void CheckSlots(const KVB_SummaryRecord& record) {
  const char* slots[] = {record.title, record.author, record.keywords, record.subject,
                         record.comments, record.manager, record.company, record.category,
                         record.last_author, record.presentation_target};
  for (const char* slot : slots)
    if (std::memchr(slot, 0, sizeof(KVB_SummaryText)) == nullptr) std::abort();
  const char* shorts[] = {record.creation_time, record.revision_number, record.slide_count,
                          record.paragraph_count, record.byte_count, record.note_count,
                          record.last_save_time, record.application_name};
  for (const char* slot : shorts)
    if (std::memchr(slot, 0, sizeof(KVB_SummaryShortText)) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::StartEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find(std::string_view("\xFE\xFF\x00\x00", 4), 1);
  std::string_view summary = input.substr(0, split);
  std::string_view document = split == std::string_view::npos ? std::string_view() : input.substr(split);

  testsupport::CompoundFileWriter writer;
  writer.AddStream(writer.Root(), "\005SummaryInformation", std::string(summary));
  if (!document.empty()) writer.AddStream(writer.Root(), "\005DocumentSummaryInformation", std::string(document));
  std::string path = fuzz::PrivateFolder() + "input.ole";
  if (!writer.Build().Save(path)) std::abort();

  ExtractOptionsV4 options{};
  std::strcpy(options.charset, kCharsets[size % std::size(kCharsets)]);
  std::strcpy(options.language, size % 3 ? "Japanese" : "English");
  options.big_endian = size % 5 == 0;
  options.flags_a = kFlagALineEndCrLf << (size % 5);
  KVB_PropertyOptions property{};
  property.format_code = kFormatCodes[size / 7 % std::size(kFormatCodes)];
  property.default_code_page = kCodePages[size / 3 % std::size(kCodePages)];
  static KVB_SummaryRecord record;
  std::memset(&record, 0x5A, sizeof record);
  int rc = SummaryInfo(path.c_str(), &options, &record, &property);
  if (rc == 0) CheckSlots(record);
  fuzz::Remove(path);
  return 0;
}
