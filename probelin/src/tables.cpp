// Lookups in the detector's tables: the catalogue (class word, extension,
// long name by id), the format names (by id and sub), the language names
// and the head kinds. The first matching row always wins.
#include <cstring>

#include "detect.h"
#include "tables.h"

namespace probelin {

const LanguageRow kLanguageTable[6] = {
    {kJapanese, "Japanese"},
    {kEnglish, "English"},
    {kSimplifiedChinese, "Simplified Chinese"},
    {kTraditionalChinese, "Traditional Chinese"},
    {kKorean, "Korean"},
    {kNoLanguage, ""},
};

bool DtctCatalogLookup(DtctWork& w) {
  DtctResult& r = *w.result;
  for (const CatalogRow* row = kFormatCatalog; row->id != 0; ++row) {
    if (row->id != r.format_id) continue;
    r.result_word = row->class_word;
    CopyText(r.extension, sizeof r.extension, row->extension);
    CopyText(r.long_name, sizeof r.long_name, row->long_name);
    return true;
  }
  return false;
}

const FormatRow* FindFormatRow(int32_t id, int32_t sub) {
  for (const FormatRow* row = kFormatTable; row->id != 0; ++row)
    if (row->id == id && row->sub == sub) return row;
  return nullptr;
}

const char* LanguageName(int32_t code) {
  for (const LanguageRow& row : kLanguageTable)
    if (row.code == code) return row.name;
  return nullptr;
}

int HeadKind(ByteView head) {
  for (const HeadKindRow* row = kHeadKinds; row->kind != 0; ++row) {
    if (!head.Has(0, row->length)) continue;
    bool match = true;
    for (size_t i = 0; i < row->length && match; ++i) {
      uint8_t b = head.data[i];
      match = b == row->bytes[i] || UpperAscii(b) == row->bytes[i];
    }
    if (match) return row->kind;
  }
  return 0;
}

}  // namespace probelin
