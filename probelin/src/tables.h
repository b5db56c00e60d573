// The detector's read-only tables. Their rows are generated at build time
// from probelin/data/*.tsv (see probelin/tools/gen_tables.cpp); each array
// ends with a row whose id (or kind, or order) is 0.
#pragma once

#include <cstdint>

namespace probelin {

// A format's names, keyed by (id, sub); the first row of a key wins.
struct FormatRow {
  int32_t id;
  int32_t sub;
  const char* name;
  const char* second;  // short version tag, often empty
};

// A format's class word and long name, keyed by id; the first row wins.
struct CatalogRow {
  int32_t id;
  int8_t class_word;
  const char* extension;  // at most 5 characters, often empty
  const char* long_name;
};

// Signature bytes that give a head kind.
struct HeadKindRow {
  int32_t kind;
  uint8_t length;
  uint8_t bytes[15];
};

// A stream name the compound-file detector looks for, in table order.
struct OleStreamRow {
  int32_t order;
  const char* name;
  int32_t id;
};

// The format id of an Office Open XML document type.
struct OoxTypeRow {
  int32_t type;
  int32_t id;
};

struct LanguageRow {
  int32_t code;
  const char* name;
};

extern const FormatRow kFormatTable[];
extern const CatalogRow kFormatCatalog[];
extern const HeadKindRow kHeadKinds[];
extern const OleStreamRow kOleStreams[];
extern const OoxTypeRow kOoxTypes[];
extern const LanguageRow kLanguageTable[6];

}  // namespace probelin
