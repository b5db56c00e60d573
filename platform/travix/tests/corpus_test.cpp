// The real drawings end to end through the extraction interface with the
// desktop program's request, in UTF-8, Shift_JIS and UCS-2 big-endian. The
// UTF-8 and UCS-2 texts, decoded with iconv, must equal the text that the
// output rules build from the reader's items (quoted and cleaned items,
// converted by iconv, CR LF between them); Shift_JIS may differ only where
// it has no character. Damaged files give a code and leave no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
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
#include "testsupport/peers.h"
#include "testsupport/testdata.h"
#include "text_output.h"
#include "travix/travix.h"
#include "visio_builder.h"

namespace {

namespace fs = std::filesystem;
using namespace glyphane;
using testsupport::Iconv;

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

struct ReferenceItem {
  std::string kind;  // "name", "header/footer", "shape", "master", "data", "annotation"
  std::string utf8;
};

// Builds the expected UTF-8 text of a pass from the reader's items.
class ReferenceSink : public VsdSink {
 public:
  ReferenceSink(const VsdSession& session, const SourcePathParts& path, std::string author, uint32_t output_cp)
      : session_(session), path_(path), author_(std::move(author)), output_cp_(output_cp) {}
  std::string text;
  bool failed = false;
  std::vector<ReferenceItem> items;  // as stored, in UTF-8

  int32_t PageReached(int32_t) override { return 0; }
  int32_t PageName(TextRef name) override {
    Item(name.bytes, name.code_page, "name");
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
        Item(item, page_name.code_page, "header/footer");
      } else if (t) {
        if (break_before) LineBreak();
        Item(t->text, page_name.code_page, "header/footer");
      }
      LineBreak();
    };
    write(header, true);
    write(footer, !(header && header->page_mark));
    return 0;
  }
  int32_t ShapeText(TextRef t) override { return Item(t.bytes, t.code_page, "shape"); }
  int32_t MasterText(TextRef t) override { return Item(t.bytes, t.code_page, "master"); }
  int32_t DataText(TextRef t) override { return Item(t.bytes, t.code_page, "data"); }
  int32_t Annotation(double date, std::string_view utf16) override {
    std::string picture = FormatPicture(date, Picture{"yyyy'-'M'-'D", session_.text_code_page}, output_cp_);
    auto date16 = Iconv(picture, IconvName(session_.text_code_page), "UTF-16LE");
    if (!date16) failed = true;
    return Item(author_ + date16.value_or("") + std::string(utf16), kCodePageUcs2, "annotation");
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
  int32_t Item(std::string_view bytes, uint32_t code_page, const char* kind) {
    if (auto raw = Iconv(std::string(bytes), IconvName(code_page), "UTF-8")) items.push_back({kind, *raw});
    else items.push_back({kind, "<undecodable>"});
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

// Field values as one mark each (U+001F), so that a text shows where its
// fields stand.
class MarkingFormatter : public FieldFormatter {
 public:
  int32_t FormatField(const FieldContext& context, const FieldRecord&, std::string* value) override {
    *value = IsUtf16Layout(context.session->version) ? std::string("\x1F\0", 2) : std::string("\x1F");
    return 0;
  }
  int32_t FormatCode(const FieldContext&, const uint8_t[3], std::string* value) override {
    *value = "\x1F";
    return 0;
  }
};

struct ReferenceText {
  std::string text;
  std::vector<ReferenceItem> items;
};

// The reference text of a drawing read as the desktop program's request
// asks (language "Japanese"); with `mark_fields`, field values are marks.
std::optional<ReferenceText> Reference(const fs::path& file, bool mark_fields = false) {
  KVB_OleStorage* root = KVB_2OLEopen(file.c_str());
  if (root == nullptr) return std::nullopt;
  VsdPropertyRecord properties{};
  uint32_t text_cp = TextCodePageOfLanguage("Japanese"), output_cp = OutputCodePageOfCharset("UTF-8");
  std::optional<ReferenceText> result;
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
      FieldValueFormatter value_formatter(document);
      MarkingFormatter marking_formatter;
      FieldFormatter& text_formatter =
          mark_fields ? static_cast<FieldFormatter&>(marking_formatter) : value_formatter;
      ReferenceSink sink(session, path, std::string(PropertyText(properties, VsdProperty::kAuthor)), output_cp);
      if (ReadVisioDocument(source, session, sink, text_formatter) == 0 && !sink.failed)
        result = ReferenceText{sink.text, std::move(sink.items)};
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
  return vsdtest::Request(charset, kFlagALineEndCrLf, INT32_MIN, 1, "Japanese");
}

class TravixCorpus : public glyphane_test::EngineTest {};

TEST_F(TravixCorpus, EveryDrawingInThreeCharsets) {
  TESTDATA_OR_SKIP(dir, "vsd");
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".vsd") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::set<std::string> compared;
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    SCOPED_TRACE(name);
    const bool damaged = vsdtest::IsFuzzCase(name);
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
    EXPECT_TRUE(Utf32(reference->text, "UTF-8") == from_utf8)
        << "reference:\n" << reference->text << "\nout:\n" << utf8.substr(3);
    const std::u32string from_sjis = Utf32(sjis, "CP932");
    ASSERT_EQ(from_sjis.size(), from_utf8.size());
    for (size_t i = 0; i < from_sjis.size(); ++i)
      if (from_sjis[i] != from_utf8[i]) {
        EXPECT_TRUE(from_sjis[i] == U'?' || from_sjis[i] == U'\u3013')
            << "at " << i << ": U+" << std::hex << uint32_t(from_utf8[i]) << " became U+" << uint32_t(from_sjis[i]);
      }
    compared.insert(name);
  }
  EXPECT_EQ(compared, vsdtest::IndexedDrawings(dir));
}

// A drawing from another program ends its texts with their last character
// and no terminator; none of it is lost.
TEST_F(TravixCorpus, UnterminatedTextsKeepTheirLastCharacter) {
  TESTDATA_OR_SKIP(dir, "vsd");
  const fs::path out = testsupport::TempDir() / "out.txt";
  ExtractOptionsV4 options = DesktopRequest("UTF-8");
  ASSERT_EQ(GetText_V4((dir / "poi-44501b.vsd").c_str(), out.c_str(), &options, nullptr), 0);
  const std::string text = testsupport::ReadFile(out);
  EXPECT_NE(text.find("\r\n\"Test State 1\"\r\n\"Test State 2\"\r\n"), std::string::npos) << text;
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

// --- Beside vsd2text ---------------------------------------------------------

// The lines of a text: split at line breaks (CR, LF, VT, U+2028, U+2029),
// blanks and control codes made one blank, trimmed, empty lines left out.
// Field marks (U+FFFC) are no text; the marks of MarkingFormatter stay.
std::vector<std::string> TextLines(const std::string& utf8) {
  std::vector<std::string> lines;
  std::string line;
  auto flush = [&] {
    std::string joined;
    for (char c : line) {
      if (c == ' ' && (joined.empty() || joined.back() == ' ')) continue;
      joined.push_back(c);
    }
    while (!joined.empty() && joined.back() == ' ') joined.pop_back();
    if (!joined.empty()) lines.push_back(joined);
    line.clear();
  };
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c == '\r' || c == '\n' || c == '\v') {
      flush();
    } else if (utf8.compare(i, 3, "\xE2\x80\xA8") == 0 || utf8.compare(i, 3, "\xE2\x80\xA9") == 0) {
      flush();
      i += 2;
    } else if (utf8.compare(i, 3, "\xEF\xBF\xBC") == 0) {
      i += 2;
    } else if (c == 0x1F) {
      line.push_back('\x1F');
    } else {
      line.push_back(c < 0x20 ? ' ' : static_cast<char>(c));
    }
  }
  flush();
  return lines;
}

// The texts of a pattern (a line with U+001F where each field value
// stands) between its fields, trimmed.
std::vector<std::string> PatternTexts(const std::string& pattern) {
  std::vector<std::string> texts;
  std::istringstream split(pattern);
  for (std::string piece; std::getline(split, piece, '\x1F');) texts.push_back(piece);
  if (!pattern.empty() && pattern.back() == '\x1F') texts.emplace_back();
  for (std::string& t : texts) {
    while (!t.empty() && t.front() == ' ') t.erase(0, 1);
    while (!t.empty() && t.back() == ' ') t.pop_back();
  }
  return texts;
}

// Whether a pattern holds fields and no letter or digit of its own.
bool OnlyFields(const std::string& pattern) {
  if (pattern.find('\x1F') == std::string::npos) return false;
  return std::none_of(pattern.begin(), pattern.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0x80;
  });
}

// Whether `line` is what `pattern` gives for some values: it starts and
// ends with the pattern's outer text and holds its inner texts in order. A
// pattern of fields alone explains no line here.
bool FitsPattern(const std::string& pattern, const std::string& line) {
  if (pattern.find('\x1F') == std::string::npos || OnlyFields(pattern)) return false;
  const std::vector<std::string> texts = PatternTexts(pattern);
  if (line.compare(0, texts.front().size(), texts.front()) != 0) return false;
  if (line.size() < texts.back().size() ||
      line.compare(line.size() - texts.back().size(), texts.back().size(), texts.back()) != 0)
    return false;
  size_t at = texts.front().size();
  const size_t end = line.size() - texts.back().size();
  if (at > end) return false;
  for (size_t k = 1; k + 1 < texts.size(); ++k) {
    size_t found = line.find(texts[k], at);
    if (found == std::string::npos || found + texts[k].size() > end) return false;
    at = found + texts[k].size();
  }
  return true;
}

struct LineOfOurs {
  std::string text;
  std::string pattern;  // with U+001F for each field value
  std::string kind;
};

std::vector<LineOfOurs> OurLines(const ReferenceText& values, const ReferenceText& marks) {
  std::vector<LineOfOurs> lines;
  const bool aligned = values.items.size() == marks.items.size();
  for (size_t i = 0; i < values.items.size(); ++i) {
    std::vector<std::string> texts = TextLines(values.items[i].utf8);
    std::vector<std::string> patterns = aligned ? TextLines(marks.items[i].utf8) : texts;
    if (patterns.size() != texts.size()) patterns = texts;  // a value with a line break: no pattern
    for (size_t k = 0; k < texts.size(); ++k) lines.push_back({texts[k], patterns[k], values.items[i].kind});
  }
  return lines;
}

std::string Cell(const std::string& line) {
  std::string out;
  for (char c : line) out += c == '|' ? std::string("\\|") : c == '`' ? std::string("'") : std::string(1, c);
  return out;
}

// Every drawing beside vsd2text's text of it (peer-vsd2text/), line by
// line after normalising blanks, written to build/reports/; every line
// that one side has and the other lacks gets a reason, and none may be a
// fault: every plain shape text vsd2text prints, the engine prints too.
TEST_F(TravixCorpus, DifferencesFromVsd2textAreExplained) {
  TESTDATA_OR_SKIP(dir, "vsd");
  const char* const kReasons[4] = {
      "(a) a field value, written by the engine's field rules where vsd2text writes its own",
      "(b) a page name, header or footer, which vsd2text does not print",
      "(c) a text vsd2text does not reach (a drawing it prints nothing for, an annotation)",
      "(d) a fault",
  };
  std::ostringstream summary, details;
  summary << "| drawing | engine lines | vsd2text lines | common | recall | precision | (a) | (b) | (c) | (d) |\n"
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  int totals[4] = {};
  std::vector<std::string> faults;
  int drawings = 0;
  for (const std::string& name : vsdtest::IndexedDrawings(dir)) {
    const fs::path peer_file = dir / "peer-vsd2text" / (name + ".txt");
    if (!fs::exists(peer_file)) continue;
    SCOPED_TRACE(name);
    auto values = Reference(dir / name);
    auto marks = Reference(dir / name, true);
    ASSERT_TRUE(values && marks);
    const std::vector<LineOfOurs> ours = OurLines(*values, *marks);
    const std::vector<std::string> peer_lines = TextLines(testsupport::ReadFile(peer_file));
    std::set<std::string> our_set, peer_set(peer_lines.begin(), peer_lines.end());
    for (const LineOfOurs& line : ours) our_set.insert(line.text);
    size_t common = 0;
    for (const std::string& line : peer_set) common += our_set.count(line);

    int counts[4] = {};
    std::vector<std::string> rows;
    auto note = [&](int reason, const char* side, const std::string& line) {
      ++counts[reason];
      rows.push_back(std::string("| ") + side + " | `" + Cell(line) + "` | " + kReasons[reason] + " |");
      if (reason == 3) faults.push_back(name + ": " + side + ": " + line);
    };
    // A text of fields alone may stand for one line of vsd2text's that no
    // other text explains, each for one.
    std::vector<bool> paired(ours.size(), false);
    for (const std::string& line : peer_set) {
      if (our_set.count(line)) continue;
      bool field = std::any_of(ours.begin(), ours.end(), [&](const LineOfOurs& o) {
        return !peer_set.count(o.text) && FitsPattern(o.pattern, line);
      });
      for (size_t k = 0; k < ours.size() && !field; ++k) {
        if (paired[k] || peer_set.count(ours[k].text) || !OnlyFields(ours[k].pattern)) continue;
        paired[k] = field = true;
      }
      note(field ? 0 : 3, "vsd2text only", line);
    }
    std::set<std::string> noted;
    for (const LineOfOurs& line : ours) {
      if (peer_set.count(line.text) || !noted.insert(line.text).second) continue;
      int reason;
      if (line.kind == "name" || line.kind == "header/footer") reason = 1;
      else if (line.pattern != line.text) reason = 0;
      else if (peer_set.empty() || line.kind == "annotation") reason = 2;
      else reason = 3;
      note(reason, "engine only", line.text);
    }
    char figures[160];
    std::snprintf(figures, sizeof figures, "| %zu | %zu | %zu | %.3f | %.3f | %d | %d | %d | %d |", our_set.size(),
                  peer_set.size(), common, peer_set.empty() ? 1.0 : double(common) / peer_set.size(),
                  our_set.empty() ? 1.0 : double(common) / our_set.size(), counts[0], counts[1], counts[2],
                  counts[3]);
    summary << "| " << name << " " << figures << "\n";
    if (!rows.empty()) {
      details << "\n### " << name << "\n\n| side | line | reason |\n|---|---|---|\n";
      for (const std::string& row : rows) details << row << "\n";
    }
    for (int k = 0; k < 4; ++k) totals[k] += counts[k];
    ++drawings;
  }
  summary << "| all " << drawings << " drawings | | | | | | " << totals[0] << " | " << totals[1] << " | " << totals[2]
          << " | " << totals[3] << " |\n";

  const fs::path reports = fs::path(std::getenv("PROJECT_BUILD_DIR")) / "reports";
  fs::create_directories(reports);
  std::ofstream report(reports / "vsd-text-vs-vsd2text.md");
  report << "# Visio text beside vsd2text\n\n"
            "Each drawing of `vsd/` that `INDEX.tsv` lists, as `GetText_V4` writes it for the desktop program's "
            "request (UTF-8; the items the reader gives, split at their line breaks), beside the stored output of "
            "`vsd2text` (`peer-vsd2text/`). Lines are compared after blanks are normalised (runs made one blank, "
            "ends trimmed); recall is the share of vsd2text's lines the engine writes, precision the share of the "
            "engine's lines vsd2text writes. Every line that one side has and the other lacks has a reason. A line "
            "counts as a field value when it comes from a text with fields: the engine's own line, or a line of "
            "vsd2text's that the text's own words frame (same beginning, end and inner words, the values aside); "
            "a text of fields alone stands for at most one line of vsd2text's.\n\n";
  for (const char* reason : kReasons) report << "- " << reason << "\n";
  report << "\n## Summary\n\n" << summary.str() << "\n## Lines that differ\n" << details.str();
  std::printf("%s", summary.str().c_str());
  EXPECT_GT(drawings, 0);
  EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
}

}  // namespace
