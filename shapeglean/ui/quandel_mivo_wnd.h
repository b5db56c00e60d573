// QuandelMivoWnd: the program's main window. It holds the list of drawings
// to convert (the vector of FileItem, owned by the user-interface thread),
// the output folder, language, encoding and byte-order controls, and the
// buttons that add, order and remove files.
//
// Files are added by the file dialog (on this thread), by a folder and by
// drag and drop (each on a thread of its own). Adding threads never touch
// the vector or the controls: they post each accepted file as a candidate
// (WM_USER+50), and this thread tests it against the whole vector before
// listing it. While any adding thread runs the window is busy: the
// controls that change the list are deaf, and drops, the list keys,
// reordering and removing, the language change and closing are refused;
// everything comes back when the last thread has ended.
//
// A conversion run (conversion_worker.h) is one more thread of the window:
// "btnExcute" starts it and asks it to stop; while it runs or stops the
// window is busy in the same way, and only "btnExcute" stays live (a click
// while the run is stopping is ignored, so two runs never overlap). The
// window also opens the dialogs and menus (dialogs.h, popup_menus.h) and
// closes those still open when it ends.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "palisk/palisk.h"
#include "ui/conversion_worker.h"
#include "ui/file_item.h"

namespace shapeglean {

using palisk::CStdString;

inline constexpr palisk::UINT kMsgRebuild = palisk::WM_USER + 10;
inline constexpr palisk::UINT kMsgAddRow = palisk::WM_USER + 50;
inline constexpr palisk::UINT kMsgWorkerDone = palisk::WM_USER + 60;
inline constexpr palisk::UINT kMsgRunStatus = palisk::WM_USER + 61;
inline constexpr palisk::UINT kMsgRunEnded = palisk::WM_USER + 62;

enum class RunState { kIdle, kRunning, kStopping };

// The windows that the main window opens and must close when it ends.
class WindowOwner {
 public:
  virtual ~WindowOwner() = default;
  virtual void Adopt(palisk::CWindowWnd* window) = 0;
  // Called by an owned window as it deletes itself.
  virtual void Release(palisk::CWindowWnd* window) = 0;
};

// The container that the layout class "ExpSet" becomes: it builds the
// sub-layout "ExpSet.xml" as its only child.
class MivoExpiredSetFramUI : public palisk::CContainerUI {
 public:
  explicit MivoExpiredSetFramUI(palisk::CPaintManagerUI* manager);
};

class CPageBuilderCallbackEx : public palisk::IDialogBuilderCallback {
 public:
  explicit CPageBuilderCallbackEx(palisk::CPaintManagerUI* manager) : manager_(manager) {}
  palisk::CControlUI* CreateControl(const CStdString& class_name) override;

 private:
  palisk::CPaintManagerUI* manager_;
};

class QuandelMivoWnd : public palisk::CWindowWnd,
                       public palisk::INotifyUI,
                       public palisk::IListCallbackUI,
                       public RunHost,
                       public WindowOwner {
 public:
  QuandelMivoWnd();
  ~QuandelMivoWnd() override;

  void Notify(palisk::TNotifyUI& msg) override;
  CStdString GetItemText(palisk::CControlUI* element, int item, int sub_item) override;

  int SetControlsEnabled(bool enabled);
  void LoadOutputSettings();
  void FillEncodingList(int language_index);
  bool IsSupportedVisioFile(const CStdString& path);
  // Lists `item` unless an item of the same folder and name (exact) is
  // listed; user-interface thread only.
  void AddFileItem(FileItem item);

  // For callers that watch the window (tests, the dialogs).
  const std::vector<FileItem>& Files() const { return files_; }
  bool IsBusy() const { return busy_ > 0 || run_state_.load() != RunState::kIdle; }
  RunState GetRunState() const { return run_state_.load(); }
  palisk::CPaintManagerUI& Manager() { return pm_; }
  // The language name that a run sends for the selected language entry.
  static const char* LanguageNameOf(int language_index);
  // Every output encoding of the lists, in their order.
  static const std::vector<const char*>& AllEncodings();
  // Fills `combo` with the encodings of language entry `language_index`
  // and selects the first; the settings dialog fills its list the same way.
  static void FillEncodings(palisk::CComboUI* combo, int language_index);
  // The encoding and language entries stored in "setting.ini" at
  // `settings`, bounded as the window reads them (4 and 3 without the file).
  static std::pair<int, int> StoredIndexes(const std::string& settings);
  // The open menu or dialogs, for those who watch them.
  const std::set<palisk::CWindowWnd*>& OwnedWindows() const { return owned_; }

  // What the dialogs keep in the window until the end of the next run.
  QString OpenPassword() const { return passwords_[0]; }
  QString PermissionPassword() const { return passwords_[1]; }
  void SetOpenPassword(const QString& text) { passwords_[0] = passwords_[2] = text; }
  void SetPermissionPassword(const QString& text) { passwords_[1] = passwords_[3] = text; }
  bool LineOutput() const { return line_output_; }
  void SetLineOutput(bool on) { line_output_ = on; }
  void SetSavedIndexes(int group, int language) {
    saved_group_index_ = group;
    saved_language_index_ = language;
  }
  std::pair<int, int> SavedIndexes() const { return {saved_group_index_, saved_language_index_}; }

  // RunHost (any thread).
  void PostStatus(size_t index, int string_id) override;
  bool RunGoesOn() override { return run_state_.load() == RunState::kRunning; }
  palisk::HWND RunOwner() override { return GetHWND(); }
  void PostRunEnded() override;

  // WindowOwner.
  void Adopt(palisk::CWindowWnd* window) override { owned_.insert(window); }
  void Release(palisk::CWindowWnd* window) override { owned_.erase(window); }

 protected:
  const char* GetWindowClassName() const override { return "Shapeglean"; }
  palisk::UINT GetClassStyle() const override { return palisk::CS_DBLCLKS; }
  palisk::LRESULT HandleMessage(palisk::UINT msg, palisk::WPARAM wparam, palisk::LPARAM lparam) override;
  void OnFinalMessage(palisk::HWND hwnd) override;

 private:
  using KnownFiles = std::set<std::pair<QString, QString>>;  // folder, name

  void OnCreate();
  void BuildLayout();
  void Rebuild();
  palisk::LRESULT OnNcHitTest(palisk::LPARAM lparam);
  palisk::LRESULT OnKeyDown(palisk::WPARAM key);
  void ApplyByteOrderRule();
  void OnFolderSetSelected(int entry);
  void SaveMainComboSettings();
  void WriteSetting(const char* section, const char* key, const QString& value);

  void OnAddFile();
  void OnAddFolder();
  void RemoveSelected();
  void RemoveAll();
  void MoveSelected(int step);
  void SortByHeader(const CStdString& header);
  void OpenRow(palisk::CControlUI* row);
  void RefreshFileList(FileItem* candidate);

  // Adding threads.
  void StartWorker(std::function<void(KnownFiles&)> body);
  void OnWorkerDone(int id);
  void BeginBusy();
  void EndBusy();
  void StartDropFilesWorker(palisk::HDROP drop);
  void AddFolderWorkerProc(const QString& folder, KnownFiles& known);
  void DropFilesWorkerProc(palisk::HDROP drop, KnownFiles& known);
  void AddFolderFiles(const QString& folder, KnownFiles& known);
  void PostCandidate(const QString& folder, const QString& name);

  // The conversion run.
  void OnExcute();
  void OnRunEnded();
  void StopRunAndWait();

  // Dialogs and menus.
  void OpenListMenu(palisk::POINT point);
  void OpenSysMenu(palisk::POINT point);
  void OnDecrypt();
  void OnFileInfo();
  void CloseOwnedWindows();

  palisk::CPaintManagerUI pm_;
  CPageBuilderCallbackEx builder_callback_{&pm_};

  palisk::COptionUI* op_add_time_ = nullptr;
  palisk::CComboUI* cmb_folder_set_ = nullptr;
  palisk::CButtonUI* btn_out_path_ = nullptr;
  palisk::CEditUI* ed_out_path_ = nullptr;
  palisk::CControlUI* close_btn_ = nullptr;
  palisk::CControlUI* min_btn_ = nullptr;
  palisk::CControlUI* menu_btn_ = nullptr;
  palisk::CListUI* file_list_ = nullptr;
  palisk::CControlUI* btn_excute_ = nullptr;
  palisk::CComboUI* combo_encoding_ = nullptr;  // "ComboUI1"
  palisk::CComboUI* combo_language_ = nullptr;  // "ComboUI2"
  palisk::COptionUI* option_big_ = nullptr;
  palisk::COptionUI* option_little_ = nullptr;

  std::vector<FileItem> files_;
  std::atomic<RunState> run_state_{RunState::kIdle};
  std::thread run_thread_;
  std::atomic<bool> run_done_{false};  // the worker has nothing left to do
  std::set<palisk::CWindowWnd*> owned_;
  int sort_flags_[4] = {0, 0, 0, 0};
  QString big_endian_text_, little_endian_text_;
  int group_index_ = 0, language_index_ = 0;
  int saved_group_index_ = 0, saved_language_index_ = 0;
  QString passwords_[4];  // open, permission; and their two confirmations
  bool line_output_ = false;
  QString desktop_path_, documents_path_;

  int busy_ = 0;  // adding threads (and later the run) under way
  int next_worker_ = 0;
  std::map<int, std::thread> workers_;
  std::atomic<int> running_{0};
};

}  // namespace shapeglean
