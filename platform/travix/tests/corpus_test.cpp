// The real drawings end to end through the extraction interface with the
// desktop program's request, in UTF-8, Shift_JIS and UCS-2 big-endian. The
// UTF-8 and UCS-2 texts, decoded with iconv, must equal the text that the
// output rules build from the reader's items (quoted and cleaned items,
// converted by iconv, CR LF between them); Shift_JIS may differ only where
// it has no character. Damaged files give a code and leave no file.
#include <iconv.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "byte_source.h"
#include "code_pages.h"
#include "conversion.h"
#include "document_stream.h"
#include "engine_fixture.h"
#include "field_format.h"
#include "header_footer.h"
#include "picture_format.h"
#include "property_sets.h"
#include "testsupport/testdata.h"
#include "text_output.h"
#include "travix/travix.h"

namespace {

namespace fs = std::filesystem;
using namespace glyphane;

// `bytes` from `from` to `to` with iconv; nullopt when iconv refuses them.
std::optional<std::string> Iconv(const std::string& bytes, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(bytes.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size(), out_left = out.size();
  char* put = out.data();
  const size_t rc = iconv(cd, &in, &in_left, &put, &out_left);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

const char* IconvName(uint32_t code_page) {
  switch (code_page) {
    case kCodePageShiftJis: return "CP932";
    case kCodePageGbk: return "GBK";
    case kCodePageKorean: return "CP949";
    case kCodePageBig5: return "CP950";
    case kCodePageUcs2: return "UTF-16LE";
    case kCodePageUtf8: return "UTF-8";
    case kCodePageLatin1: return "CP1252";
    default: return "ISO-8859-1";  // as the engine reads every other code page
  }
}

// Builds the expected UTF-8 text of a pass from the reader's items.
class ReferenceSink : public VsdSink {
 public:
  ReferenceSink(const VsdSession& session, const SourcePathParts& path, std::string author, uint32_t output_cp)
      : session_(session), path_(path), author_(std::move(author)), output_cp_(output_cp) {}
  std::string text;
  bool failed = false;

  int32_t PageReached(int32_t) override { return 0; }
  int32_t PageName(TextRef name) override {
    Item(name.bytes, name.code_page);
    written_ = true;
    return 0;
  }
  int32_t HeaderFooter(const VsdSession& session, TextRef page_name) override {
    const bool utf16 = IsUtf16Layout(session.version);
    auto expand = [&](const std::optional<std::string>& stored) {
      std::optional<ExpandedText> t;
      if (!stored || stored->empty()) return t;
      t = ExpandHeaderFooter(*stored, utf16, session.text_code_page, path_);
      if (!t) t = ExpandedText{*stored, std::nullopt};
      if (t->text.empty()) t.reset();
      return t;
    };
    auto header = expand(session.header), footer = expand(session.footer);
    auto write = [&](const std::optional<ExpandedText>& t, bool break_before) {
      if (t && t->page_mark) {
        std::string item = t->text.substr(0, *t->page_mark);
        item.append(page_name.bytes);
        item.append(t->text, *t->page_mark);
        Item(item, page_name.code_page);
      } else if (t) {
        if (break_before) LineBreak();
        Item(t->text, page_name.code_page);
      }
      LineBreak();
    };
    write(header, true);
    write(footer, !(header && header->page_mark));
    return 0;
  }
  int32_t ShapeText(TextRef t) override { return Item(t.bytes, t.code_page); }
  int32_t MasterText(TextRef t) override { return Item(t.bytes, t.code_page); }
  int32_t DataText(TextRef t) override { return Item(t.bytes, t.code_page); }
  int32_t Annotation(double date, std::string_view utf16) override {
    std::string picture = FormatPicture(date, Picture{"yyyy'-'M'-'D", session_.text_code_page}, output_cp_);
    auto date16 = Iconv(picture, IconvName(session_.text_code_page), "UTF-16LE");
    if (!date16) failed = true;
    return Item(author_ + date16.value_or("") + std::string(utf16), kCodePageUcs2);
  }
  int32_t EmbeddedObject(const std::string&, bool* taken) override {
    *taken = false;
    return 0;
  }
  int32_t LineBreak() override {
    if (written_) text += "\r\n";
    return 0;
  }

 private:
  int32_t Item(std::string_view bytes, uint32_t code_page) {
    std::string cleaned = code_page == kCodePageUcs2 ? CleanUtf16Item(bytes, false)
                                                     : CleanAnsiItem(bytes, code_page, false);
    cleaned = StripControlCodes(cleaned, code_page);
    if (cleaned.empty()) return 0;
    auto utf8 = Iconv(cleaned, IconvName(code_page), "UTF-8");
    if (!utf8) {
      failed = true;
      return 0;
    }
    text += *utf8;
    written_ = true;
    return 0;
  }

  const VsdSession& session_;
  const SourcePathParts& path_;
  std::string author_;
  uint32_t output_cp_;
  bool written_ = false;
};

// The reference text of a drawing read as the desktop program's request
// asks (language "Japanese").
std::optional<std::string> Reference(const fs::path& file) {
  KVB_OleStorage* root = KVB_2OLEopen(file.c_str());
  if (root == nullptr) return std::nullopt;
  VsdPropertyRecord properties{};
  uint32_t text_cp = TextCodePageOfLanguage("Japanese"), output_cp = OutputCodePageOfCharset("UTF-8");
  std::optional<std::string> result;
  if (ReadPropertySets(root, text_cp, &properties) == 0) {
    ApplyPropertySetCodePage(properties.code_page, &text_cp, &output_cp);
    if (KVB_OleStream* stream = KVB_2OLEopenStream(root, "VisioDocument")) {
      VsdSession session;
      session.flags_a = kFlagALineEndCrLf;
      session.text_code_page = text_cp;
      const std::string path_text = file.string();
      SourcePathParts path = SplitSourcePath(path_text);
      FieldDocument document;
      document.output_code_page = output_cp;
      document.properties = &properties;
      document.path = path_text;
      FieldValueFormatter formatter(document);
      // A structure pass first: the header and footer may come after the
      // pages in the document.
      ReferenceSink structure(session, path, std::string(), output_cp);
      OleStreamSource source(stream);
      session.page_mode = true;
      (void)ReadVisioDocument(source, session, structure, formatter);
      session.ResetForTextPass();
      session.page_mode = false;
      FieldValueFormatter text_formatter(document);
      ReferenceSink sink(session, path, std::string(PropertyText(properties, VsdProperty::kAuthor)), output_cp);
      if (ReadVisioDocument(source, session, sink, text_formatter) == 0 && !sink.failed) result = sink.text;
      KVB_2OLEcloseStream(stream);
    }
  }
  KVB_2OLEclose(root);
  return result;
}

std::u32string Utf32(const std::string& bytes, const char* from) {
  auto out = Iconv(bytes, from, "UTF-32LE");
  std::u32string text;
  if (!out) return U"<undecodable>";
  text.resize(out->size() / 4);
  std::memcpy(text.data(), out->data(), text.size() * 4);
  return text;
}

ExtractOptionsV4 DesktopRequest(const char* charset) {
  ExtractOptionsV4 options{};
  std::snprintf(options.charset, sizeof options.charset, "%s", charset);
  std::snprintf(options.language, sizeof options.language, "%s", "Japanese");
  options.big_endian = 1;
  options.flags_a = kFlagALineEndCrLf;
  options.length_limit = static_cast<int32_t>(0x80000000u);
  return options;
}

class TravixCorpus : public glyphane_test::EngineTest {};

TEST_F(TravixCorpus, EveryDrawingInThreeCharsets) {
  TESTDATA_OR_SKIP(dir, "vsd");
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".vsd") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  int compared = 0, sound = 0;
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    SCOPED_TRACE(name);
    const bool damaged = name.rfind("poi-clusterfuzz-", 0) == 0;
    if (!damaged) ++sound;
    std::string texts[3];
    const char* charsets[3] = {"UTF-8", "Shift_JIS", "ISO-10646-UCS-2"};
    for (int k = 0; k < 3; ++k) {
      const fs::path out = testsupport::TempDir() / ("out" + std::to_string(k) + ".txt");
      ExtractOptionsV4 options = DesktopRequest(charsets[k]);
      const int32_t rc = GetText_V4(file.c_str(), out.c_str(), &options, nullptr);
      if (damaged) {
        EXPECT_NE(rc, 0) << charsets[k];
        EXPECT_FALSE(fs::exists(out)) << charsets[k];
        continue;
      }
      ASSERT_EQ(rc, 0) << charsets[k];
      texts[k] = testsupport::ReadFile(out);
    }
    if (damaged) continue;
    const std::string& utf8 = texts[0];
    const std::string& sjis = texts[1];
    const std::string& ucs2 = texts[2];
    ASSERT_EQ(utf8.rfind("\xEF\xBB\xBF", 0), 0u);
    ASSERT_EQ(ucs2.rfind("\xFE\xFF", 0), 0u);
    EXPECT_NE(sjis.rfind("\xEF\xBB\xBF", 0), 0u);
    ASSERT_EQ(ucs2.size() % 2, 0u);
    for (size_t i = 2; i + 1 < ucs2.size(); i += 2)
      if (ucs2[i] == 0 && ucs2[i + 1] == '\r') {
        ASSERT_TRUE(i + 3 < ucs2.size() && ucs2[i + 2] == 0 && ucs2[i + 3] == '\n') << "lone CR at " << i;
      }
    const std::u32string from_utf8 = Utf32(utf8.substr(3), "UTF-8");
    const std::u32string from_ucs2 = Utf32(ucs2.substr(2), "UTF-16BE");
    EXPECT_TRUE(from_utf8 == from_ucs2);
    auto reference = Reference(file);
    ASSERT_TRUE(reference.has_value());
    EXPECT_TRUE(Utf32(*reference, "UTF-8") == from_utf8) << "reference:\n" << *reference << "\nout:\n" << utf8.substr(3);
    const std::u32string from_sjis = Utf32(sjis, "CP932");
    ASSERT_EQ(from_sjis.size(), from_utf8.size());
    for (size_t i = 0; i < from_sjis.size(); ++i)
      if (from_sjis[i] != from_utf8[i]) {
        EXPECT_TRUE(from_sjis[i] == U'?' || from_sjis[i] == U'\u3013')
            << "at " << i << ": U+" << std::hex << uint32_t(from_utf8[i]) << " became U+" << uint32_t(from_sjis[i]);
      }
    ++compared;
  }
  EXPECT_GT(compared, 0);
  EXPECT_EQ(compared, sound);
}

TEST_F(TravixCorpus, EmbeddedObjectsThatAreNoDrawings) {
  TESTDATA_OR_SKIP(dir, "vsd");
  const fs::path file = dir / "poi-visio_with_embeded.vsd";
  const fs::path out = testsupport::TempDir() / "out.txt";
  ExtractOptionsV4 options = DesktopRequest("UTF-8");
  ASSERT_EQ(GetText_V4(file.c_str(), out.c_str(), &options, nullptr), 0);
  const std::string all = testsupport::ReadFile(out);
  options.flags_a = kFlagALineEndCrLf | kFlagAEmbeddedObjects | kFlagAGoOnAfterEmbeddedError;
  EXPECT_EQ(GetText_V4(file.c_str(), out.c_str(), &options, nullptr), OleNotSuppoted);
  const std::string complete = testsupport::ReadFile(out);
  // The pages go on to their end: the texts come in the order of a run
  // without objects, less those of the shapes that hold the objects.
  size_t found = 0;
  for (size_t at = 0, end; (end = complete.find("\r\n", at)) != std::string::npos; at = end + 2) {
    found = all.find(complete.substr(at, end - at + 2), found);
    ASSERT_NE(found, std::string::npos) << complete.substr(at, end - at);
  }
  EXPECT_GT(complete.size(), all.size() / 2);
  options.flags_a = kFlagALineEndCrLf | kFlagAEmbeddedObjects;
  EXPECT_EQ(GetText_V4(file.c_str(), out.c_str(), &options, nullptr), OleNotSuppoted);
  const std::string part = testsupport::ReadFile(out);
  EXPECT_LT(part.size(), complete.size());
  EXPECT_EQ(complete.rfind(part, 0), 0u);  // the text up to the first object
}

}  // namespace
