// The whole road over the real extraction interface: the shared drawings
// are added through the folder dialog and run into a temporary folder;
// every output must be what the interface alone writes for the same
// drawing and request, and every failure must match the interface's own
// code and message.
#include <cstdlib>

#include <cstdio>
#include <map>

#include "bridge/engine_messages.h"
#include "testsupport/compound_file_writer.h"
#include "testsupport/peers.h"
#include "testsupport/property_set_writer.h"
#include "gui_fixture.h"
#include "ui/dialogs.h"

namespace shapeglean::testing {
namespace {

class ConversionCorpusGui : public GuiFixture {
 protected:
  bool UseRealInterface() const override { return true; }

  // The request of a run with "Unicode" and UTF-8.
  static ExtractOptionsV4 Request() {
    ExtractOptionsV4 options{};
    std::snprintf(options.charset, sizeof options.charset, "UTF-8");
    std::snprintf(options.language, sizeof options.language, "Japanese");
    options.big_endian = 1;
    options.flags_a = 8;
    options.length_limit = static_cast<int32_t>(0x80000000u);
    return options;
  }

  void SelectUtf8() {
    Find<palisk::CComboUI>("ComboUI2")->SelectItem(0);
    Find<palisk::CComboUI>("ComboUI1")->SelectItem(2);
  }

  // The failures' messages that a run shows, in order.
  QStringList EngineBoxes() {
    QStringList boxes;
    for (const auto& box : services_.Boxes())
      if (box.caption == "Wrong") boxes << box.text;
    return boxes;
  }
};

TEST_F(ConversionCorpusGui, BatchOverTheSharedDrawings) {
  TESTDATA_OR_SKIP(vsd, "vsd");
  PlaceConfiguration();

  Open();
  services_.folder_answers.push_back(QString::fromStdString(vsd.string()));
  Click("btnAddFolder");
  ASSERT_TRUE(WaitFor([&] { return !window_->IsBusy(); }));
  ASSERT_FALSE(window_->Files().empty());
  OutputTo(root_ / "out");
  SelectUtf8();
  QStringList at_end;
  RunToEnd(&at_end);
  ASSERT_EQ(at_end.size(), static_cast<qsizetype>(window_->Files().size()));

  fs::create_directories(root_ / "alone");
  QStringList expected_boxes;
  bool any_failed = false;
  for (size_t i = 0; i < window_->Files().size(); ++i) {
    const FileItem& file = window_->Files()[i];
    const std::string source = (file.folder + file.name).toStdString();
    const std::string stem = OutputStem(file.name.toStdString());
    ExtractOptionsV4 options = Request();
    const fs::path alone = root_ / "alone" / (stem + ".txt");
    const int32_t code = Extraction().GetText(source, alone.string(), &options, &OnExtractionError);
    const fs::path output = root_ / "out" / (stem + ".txt");
    SCOPED_TRACE(file.name.toStdString() + " answered " + std::to_string(code));
    if (at_end[static_cast<qsizetype>(i)] == "Success!") {
      EXPECT_EQ(code, 0);
      ASSERT_TRUE(fs::exists(output));
      EXPECT_EQ(testsupport::ReadFile(output), testsupport::ReadFile(alone));
      const std::string check = "iconv -f UTF-8 -t UTF-32 '" + output.string() + "' > /dev/null 2>&1";
      EXPECT_EQ(std::system(check.c_str()), 0);
    } else {
      EXPECT_EQ(at_end[static_cast<qsizetype>(i)], "Failed!");
      EXPECT_NE(code, 0);
      any_failed = true;
      if (int id = EngineMessageId(code)) expected_boxes << LangString(id);
    }
  }
  EXPECT_EQ(EngineBoxes(), expected_boxes);
  EXPECT_EQ(Boxes().last(), any_failed ? "Notice: Failed!" : "Notice: Success!");
}

TEST_F(ConversionCorpusGui, ALongPathConvertsOrFailsWithItsCode) {
  TESTDATA_OR_SKIP(vsd, "vsd");
  PlaceConfiguration();

  std::string deep;
  for (int i = 0; i < 8; ++i) deep += "a-folder-with-a-long-name-" + std::to_string(i) + "/";
  const fs::path copy = root_ / "data" / deep / "libvisio-dwg.vsd";
  fs::create_directories(copy.parent_path());
  fs::copy_file(vsd / "libvisio-dwg.vsd", copy);
  ASSERT_GT(copy.string().size(), 300u);

  Open();
  Add(copy.string());
  ASSERT_EQ(window_->Files().size(), 1u);
  const fs::path out = root_ / "out" / deep;
  fs::create_directories(out);
  OutputTo(out);
  SelectUtf8();
  QStringList at_end;
  RunToEnd(&at_end);
  ASSERT_EQ(at_end.size(), 1);
  std::vector<fs::path> written;
  for (const auto& entry : fs::recursive_directory_iterator(root_ / "out"))
    if (entry.is_regular_file()) written.push_back(entry.path());
  if (at_end[0] == "Success!") {
    EXPECT_EQ(written, std::vector<fs::path>{out / "libvisio-dwg.txt"});
  } else {
    EXPECT_TRUE(written.empty());
    EXPECT_EQ(EngineBoxes(), QStringList{"FilePathTooLong"});
  }
}

// The fields that `file` (libmagic) reports of a compound file's summary.
std::map<std::string, std::string> FileProperties(const fs::path& path) {
  std::map<std::string, std::string> fields;
  const std::string out = testsupport::RunCommand("file -b " + testsupport::ShellQuote(path.string())).output;
  for (const char* key : {"Title", "Subject", "Author", "Keywords", "Comments"}) {
    const std::string tag = std::string(", ") + key + ": ";
    const size_t at = out.find(tag);
    if (at == std::string::npos) continue;
    const size_t from = at + tag.size();
    fields[key] = out.substr(from, out.find(", ", from) - from);
  }
  return fields;
}

TEST_F(ConversionCorpusGui, FileInformationAgreesWithLibmagic) {
  TESTDATA_OR_SKIP(vsd, "vsd");
  PlaceConfiguration();
  const fs::path drawing = vsd / "libvisio-dwg.vsd";
  ExtractOptionsV4 options = Request();
  auto probe = std::make_unique<DocPropertyRecord>();
  const int32_t code = Extraction().GetProperty(drawing.string(), &options, probe.get());
  if (code != 0) GTEST_SKIP() << "the extraction interface gives no document properties yet (it answers " << code << ")";
  const auto expected = FileProperties(drawing);
  ASSERT_EQ(expected.size(), 5u) << "file(1) reports no summary";

  Open();
  auto* page = OpenDialog<DocinfoPage>(window_.get(), drawing.string());
  auto label = [&](const char* name) { return page->Manager().FindControl(name)->GetText().toStdString(); };
  EXPECT_EQ(label("TITLE"), expected.at("Title"));
  EXPECT_EQ(label("SUBJECT"), expected.at("Subject"));
  EXPECT_EQ(label("AUTHOR"), expected.at("Author"));
  EXPECT_EQ(label("KEYWORD"), expected.at("Keywords"));
  EXPECT_EQ(label("COMMENT"), expected.at("Comments"));
}

// A drawing the detector takes for Visio 2003: the document stream's
// signature and version, and the summary streams given.
fs::path SmallDrawing(const fs::path& path, const std::string& summary) {
  testsupport::CompoundFileWriter writer;
  std::string document = "Visio (TM) Drawing\r\n";
  document.resize(64, '\0');
  document[0x1A] = 11;
  writer.AddStream(writer.Root(), "VisioDocument", document);
  if (!summary.empty()) writer.AddStream(writer.Root(), "\x05SummaryInformation", summary);
  EXPECT_TRUE(writer.Build().Save(path));
  return path;
}

TEST_F(ConversionCorpusGui, FileInformationOfAShiftJisTitleAndOfNoProperties) {
  PlaceConfiguration();
  using namespace testsupport;
  const fs::path titled = SmallDrawing(
      root_ / "titled.vsd", SummaryStream({I2(1, 932), Lpstr(2, "\x90\xDD\x8C\x76\x90\x7D\x20\x91\xE6\x93\xF1\x94\xC5"),
                                           Lpstr(4, "\x8E\x52\x93\x63"), Lpstr(5, "k1; k2")}));
  const fs::path bare = SmallDrawing(root_ / "bare.vsd", std::string());

  Open();
  auto* page = OpenDialog<DocinfoPage>(window_.get(), titled.string());
  ASSERT_NE(page, nullptr);
  auto label = [&](const char* name) { return page->Manager().FindControl(name)->GetText(); };
  EXPECT_EQ(label("TITLE"), QString::fromUtf8("設計図 第二版"));
  EXPECT_EQ(label("AUTHOR"), QString::fromUtf8("山田"));
  EXPECT_EQ(label("KEYWORD"), "k1; k2");
  EXPECT_TRUE(label("SUBJECT").isEmpty());

  page = OpenDialog<DocinfoPage>(window_.get(), bare.string());
  ASSERT_NE(page, nullptr);
  for (const char* name : {"TITLE", "SUBJECT", "AUTHOR", "MANAGER", "COMPANY", "CATEGORY", "KEYWORD", "COMMENT"})
    EXPECT_TRUE(label(name).isEmpty()) << name;
}

}  // namespace
}  // namespace shapeglean::testing
