// The program's start-up and what every window of it shares: the language
// number and the string language id, the string table lookup, message
// boxes in the user-interface language, the program folder and current
// directory that settings files are read from, and the clean-up of the
// engine's configuration folder at exit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "palisk/palisk.h"

namespace shapeglean {

using palisk::CStdString;
using palisk::HWND;

// Language numbers.
inline constexpr int kLanguageChinese = 1;
inline constexpr int kLanguageEnglish = 2;
inline constexpr int kLanguageJapanese = 3;

// String language ids.
inline constexpr uint16_t kLangEnglish = 1033;
inline constexpr uint16_t kLangJapanese = 1041;
inline constexpr uint16_t kLangChinese = 2052;

// Stores the language number; returns 1.
int SetStringLanguage(int language);
int LanguageNumber();
uint16_t StringLanguageId();
void SetStringLanguageId(uint16_t id);
// Sets the string language id from the language number (1: 2052, 2: 1033,
// 3: 1041; any other number leaves it as it is).
void MapLanguageToStringLanguage();

// The system's language id as the string table knows it: 1033, 1041 or
// 2052, English for every other locale.
uint16_t SystemStringLanguage(uint32_t locale_id);

// Copies string `id` of the current string language into `buffer` (at most
// max_chars - 1 units and a terminating zero). 1 on success; 0 when the
// language lacks the string, the buffer then left as it was.
int LoadLangString(char16_t* buffer, int max_chars, int id);
// String `id` of the current string language; empty when it lacks one.
CStdString LangString(int id);
// The text of string `id` in language `lang`, or null.
const char16_t* FindString(uint16_t lang, int id);

// Message box with texts from the string table (caption 0: 190, "Wrong");
// callable from any thread.
int ShowLangMessageBox(HWND owner, int text_id, int caption_id, uint32_t flags);

// UTF-16 to the narrow text of this platform (UTF-8).
std::string WideToAnsiString(std::u16string_view text);

// Deletes `folder` with everything in it, never following a symbolic link
// (a link is removed itself). 1 when done, 0 when the folder cannot be
// listed (nothing is deleted then).
int DeleteFolderTree(const std::string& folder);

struct StartupLanguage {
  const char* archive;  // skin archive
  int number;           // language number
};
// The language chosen by the "Language" setting (compared without regard
// to case) and the system locale id, which wins when it is 1033, 1041 or
// 2052; English when neither chooses.
StartupLanguage ResolveStartupLanguage(std::string_view setting, uint32_t locale_id);
const char* SkinArchiveOf(int language_number);

// The program's folder and the current directory, each ending in '/'.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);  // tests point it elsewhere
std::string CurrentDirectory();

// The program: runs the start sequence, the message loop and the teardown.
// Returns 0, or -1 when another instance runs.
int wWinMain();

}  // namespace shapeglean
