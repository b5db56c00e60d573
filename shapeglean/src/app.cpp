// Start-up, strings, message boxes and the teardown (see app.h).
//
// The start sequence: the single-instance guard (a lock file in the private
// temporary folder); the skin folder beside the program; the language from
// "setting.ini" in the current directory and from the system locale; the
// main window; the message loop; then the teardown, which joins every
// thread of the window before deleting the engine's configuration folder
// <temp>/etc that the engine unpacks on its next start.
#include "app.h"

#include <atomic>
#include <filesystem>
#include <mutex>

#include <unistd.h>

#include "ui/quandel_mivo_wnd.h"
#include "win32/ini_file.h"
#include "win32/locale_id.h"
#include "win32/single_instance.h"
#include "win32/temp_folder.h"

namespace shapeglean {
namespace {

std::atomic<int> language_number{0};
// Before the main window sets it, message boxes speak the system's language.
std::atomic<uint16_t> string_language{SystemStringLanguage(win32::SystemDefaultLocaleId())};

std::mutex folder_guard;
std::string program_folder_override;

}  // namespace

int SetStringLanguage(int language) {
  language_number.store(language);
  return 1;
}

int LanguageNumber() { return language_number.load(); }
uint16_t StringLanguageId() { return string_language.load(); }
void SetStringLanguageId(uint16_t id) { string_language.store(id); }

void MapLanguageToStringLanguage() {
  switch (language_number.load()) {
    case kLanguageChinese: string_language.store(kLangChinese); break;
    case kLanguageEnglish: string_language.store(kLangEnglish); break;
    case kLanguageJapanese: string_language.store(kLangJapanese); break;
    default: break;
  }
}

uint16_t SystemStringLanguage(uint32_t locale_id) {
  if (locale_id == kLangJapanese || locale_id == kLangChinese) return static_cast<uint16_t>(locale_id);
  return kLangEnglish;
}

int LoadLangString(char16_t* buffer, int max_chars, int id) {
  const char16_t* text = FindString(string_language.load(), id);
  if (text == nullptr || buffer == nullptr || max_chars <= 0) return 0;
  int n = 0;
  for (; n < max_chars - 1 && text[n] != u'\0'; ++n) buffer[n] = text[n];
  buffer[n] = u'\0';
  return 1;
}

CStdString LangString(int id) {
  const char16_t* text = FindString(string_language.load(), id);
  return text ? CStdString(text) : CStdString();
}

int ShowLangMessageBox(HWND owner, int text_id, int caption_id, uint32_t flags) {
  return palisk::MessageBoxW(owner, LangString(text_id), LangString(caption_id == 0 ? 190 : caption_id), flags);
}

std::string WideToAnsiString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())).toStdString();
}

namespace {

// Removes what `path` names without following a link; a real folder is
// emptied first, down to `depth_left` levels.
void RemoveEntry(const std::filesystem::path& path, int depth_left) {
  std::error_code ec;
  auto status = std::filesystem::symlink_status(path, ec);
  if (ec) return;
  if (status.type() == std::filesystem::file_type::directory && depth_left > 0) {
    std::vector<std::filesystem::path> children;
    for (auto it = std::filesystem::directory_iterator(path, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec))
      children.push_back(it->path());
    for (const auto& child : children) RemoveEntry(child, depth_left - 1);
    std::filesystem::remove(path, ec);  // fails, and is ignored, when not empty
  } else {
    std::filesystem::remove(path, ec);  // a file or a link, never its target
  }
}

}  // namespace

int DeleteFolderTree(const std::string& folder) {
  std::error_code ec;
  std::filesystem::path root(folder);
  if (std::filesystem::symlink_status(root, ec).type() != std::filesystem::file_type::directory) return 0;
  std::filesystem::directory_iterator probe(root, ec);
  if (ec) return 0;
  RemoveEntry(root, 256);
  return 1;
}

const char* SkinArchiveOf(int language_number) {
  switch (language_number) {
    case kLanguageChinese: return "QuandelSkin+icon_cn.zip";
    case kLanguageJapanese: return "QuandelSkin+icon_jp.zip";
    default: return "QuandelSkin+icon_en.zip";
  }
}

StartupLanguage ResolveStartupLanguage(std::string_view setting, uint32_t locale_id) {
  int number = 0;
  QString value = QString::fromUtf8(setting.data(), static_cast<qsizetype>(setting.size()));
  if (value.compare("Chinese", Qt::CaseInsensitive) == 0) number = kLanguageChinese;
  else if (value.compare("English", Qt::CaseInsensitive) == 0) number = kLanguageEnglish;
  else if (value.compare("Japanese", Qt::CaseInsensitive) == 0) number = kLanguageJapanese;
  switch (locale_id) {
    case kLangEnglish: number = kLanguageEnglish; break;
    case kLangJapanese: number = kLanguageJapanese; break;
    case kLangChinese: number = kLanguageChinese; break;
    default: break;
  }
  // Neither chose: English, so that no text is ever empty.
  if (number == 0) number = kLanguageEnglish;
  return {SkinArchiveOf(number), number};
}

std::string ProgramFolder() {
  {
    std::lock_guard<std::mutex> lock(folder_guard);
    if (!program_folder_override.empty()) return program_folder_override;
  }
  return palisk::CPaintManagerUI::GetInstancePath().ToUtf8();
}

void SetProgramFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(folder_guard);
  program_folder_override = folder;
  if (!program_folder_override.empty() && program_folder_override.back() != '/') program_folder_override += '/';
}

std::string CurrentDirectory() {
  std::error_code ec;
  std::string dir = std::filesystem::current_path(ec).string();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

int wWinMain() {
  // Qt's own dialogs and buttons speak the string language: the system's
  // until the window sets the program's.
  palisk::SetDialogLanguage(StringLanguageId());

  // 1. One instance at a time.
  win32::InstanceCheck check;
  std::unique_ptr<win32::SingleInstanceGuard> guard =
      win32::SingleInstanceGuard::Acquire("Shapeglean.lock", &check);
  if (check == win32::InstanceCheck::kRunning) {
    ShowLangMessageBox(nullptr, 301, 137, palisk::MB_ICONINFORMATION);
    return -1;
  }
  if (check == win32::InstanceCheck::kCannotCreate)
    ShowLangMessageBox(nullptr, 303, 137, palisk::MB_ICONINFORMATION);

  // 2. Skins beside the program.
  palisk::CPaintManagerUI::SetInstance(nullptr);
  palisk::CPaintManagerUI::SetResourcePath(palisk::CPaintManagerUI::GetInstancePath() + "skin");

  // 3, 4. Language: the setting, then the system locale.
  std::string setting = win32::IniReadString(CurrentDirectory() + "setting.ini", "LanguageVersion", "Language", "NO");
  StartupLanguage start = ResolveStartupLanguage(setting, win32::SystemDefaultLocaleId());
  palisk::CPaintManagerUI::SetResourceZip(start.archive, false);

  // 6. The main window and the message loop.
  {
    auto window = std::make_unique<QuandelMivoWnd>();
    SetStringLanguage(start.number);
    MapLanguageToStringLanguage();
    palisk::SetDialogLanguage(StringLanguageId());
    window->SetIcon(115);
    if (window->Create(nullptr, "Shapeglean", palisk::WS_VISIBLE | palisk::WS_OVERLAPPEDWINDOW,
                       palisk::WS_EX_STATICEDGE | palisk::WS_EX_APPWINDOW, 0, 0, 600, 320) == nullptr)
      return 0;
    window->CenterWindow();
    window->ShowWindow(true);
    palisk::CPaintManagerUI::MessageLoop();
    // 7. The window's destructor joins its threads: nothing uses the
    // engine's configuration folder after this.
  }
  DeleteFolderTree(win32::TempFolder() + "etc");
  return 0;
}

}  // namespace shapeglean
