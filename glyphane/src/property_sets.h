// The document properties a Visio extraction keeps: before the drawing is
// read, the two property-set streams of its compound file
// ("\005SummaryInformation" and "\005DocumentSummaryInformation") give
// eight texts, converted to UTF-16LE, for the document-property fields and
// the annotations' author, and the set's code page, which, when present,
// becomes the code page of the whole extraction (code_pages.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dalvex/compound_file.h"

namespace glyphane {

// The kept properties, zeroed at the start of each read. Texts are UTF-16LE
// and NUL-terminated within their slot; lengths are their bytes.
struct VsdPropertyRecord {
  int32_t category_length;
  int32_t title_length;
  int32_t subject_length;
  int32_t author_length;
  int32_t keywords_length;
  int32_t comments_length;
  int32_t manager_length;
  int32_t company_length;
  char title[514];
  char subject[514];
  char author[130];
  char keywords[130];
  char comments[514];
  char manager[130];
  char company[130];
  char category[130];
  uint16_t code_page;  // the set's code page; 0 when it states none
};
static_assert(offsetof(VsdPropertyRecord, title) == 32);
static_assert(offsetof(VsdPropertyRecord, category) == 2094);
static_assert(offsetof(VsdPropertyRecord, code_page) == 2224);

// The kinds of kept text, for lookups by the document-property fields.
enum class VsdProperty { kTitle, kSubject, kAuthor, kKeywords, kComments, kManager, kCompany, kCategory };

// The UTF-16LE text of one kept property.
std::string_view PropertyText(const VsdPropertyRecord& record, VsdProperty property);

// Reads both streams of `root` into `record` (zeroed first); 8-bit texts
// are in `text_code_page` until the set states its own. A missing stream or
// section leaves its slots empty. Answers 0; 3002 for an inconsistent
// stream (section list, section or property count that cannot be); 12 when
// memory runs out; 3000 when a text does not convert.
int32_t ReadPropertySets(KVB_OleStorage* root, uint32_t text_code_page, VsdPropertyRecord* record);

}  // namespace glyphane
