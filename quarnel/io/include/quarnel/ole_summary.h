// OLE property sets: the summary information and document summary
// information streams of a compound file, their sections and properties,
// single summary properties as values and the document's hyperlinks.
// Every count and length taken from the stream is bounded by the bytes the
// stream still holds. Results are 1 (success) and -1; nothing throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <unicode/unistr.h>

#include "quarnel/export.h"
#include "quarnel/ole_comp_file.h"
#include "quarnel/zel_cstr.h"

namespace ObraCommon {

class ZelValue;

class QUARNEL_API OleSummaryInformation {
 public:
  OleSummaryInformation();
  // It owns its stream and tables.
  OleSummaryInformation(const OleSummaryInformation&) = delete;
  OleSummaryInformation& operator=(const OleSummaryInformation&) = delete;
  ~OleSummaryInformation();

  // Each reader is initialised once; a second init gives -1.
  int initSummaryInformation(OleCompFile* file);
  int initDocumentSummaryInformation(OleCompFile* file);
  int getSummaryInformation();
  // Ids 1-9, 14-16, 18 and 19 of the summary information.
  int getProperty(uint32_t id, ZelValue& value);
  int getHyperLinks(std::vector<UnicodeString>& list);

  // The converter name narrow strings are read with.
  const char* getCodePage() { return m_codePage.getCString().c_str(); }

 private:
  struct Property {
    uint32_t id = 0;
    uint32_t offset = 0;
    uint32_t type = 0;
    int64_t valuePos = 0;
  };
  struct DictEntry {
    uint32_t id = 0;
    std::string name;
  };
  struct Section {
    uint32_t size = 0;
    uint32_t count = 0;
    std::vector<Property> properties;
    int64_t start = 0;
    OLE_CLSID fmtid;
    uint32_t offset = 0;
    std::vector<DictEntry> dictionary;
    int dictCount = 0;
    int hasDictionary = 0;
  };

  int init(OleCompFile* file, const char* streamName, int documentSummary);
  bool checkEndian();
  bool getWORD(uint16_t* value);
  bool getDWORD(uint32_t* value);
  bool getWSTR(uint16_t* units, int count);
  bool getCLSID(OLE_CLSID* id);
  bool getReverse(unsigned char* bytes, int count);
  bool getPropHeader();
  bool seek(int64_t pos);
  bool readBytes(std::string* out, uint32_t length);
  int64_t bytesLeft();
  int parseSection(Section& section);
  int readValue(uint32_t type, ZelValue& value);
  void settleCodePage();

  OleCompFile* m_file = nullptr;
  OleStream* m_stream = nullptr;
  uint16_t m_byteOrder = 0;
  uint16_t m_formatVersion = 0;
  uint32_t m_systemId = 0;
  OLE_CLSID m_classId;
  uint32_t m_sectionCount = 0;
  std::vector<Section> m_sections;
  int m_documentSummary = 0;
  bool m_reverse = false;
  ZelCStr m_codePage{UnicodeString()};
  // 1200: narrow strings hold UTF-16LE.
  uint32_t m_codePageNumber = 0;
  bool m_initialised = false;
};

class QUARNEL_API OlePropertySet {
 public:
  void init(OleCompFile* file);
  const UnicodeString& getTitle() const { return m_title; }
  const UnicodeString& getSubject() const { return m_subject; }
  const UnicodeString& getAuthor() const { return m_author; }
  const UnicodeString& getKeywords() const { return m_keywords; }

 private:
  UnicodeString m_title;
  UnicodeString m_subject;
  UnicodeString m_author;
  UnicodeString m_keywords;
};

}  // namespace ObraCommon
