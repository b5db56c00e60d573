// The main window (see quandel_mivo_wnd.h).
#include "ui/quandel_mivo_wnd.h"

#include <chrono>
#include <filesystem>
#include <tuple>

#include <QCoreApplication>
#include <QThread>

#include "app.h"
#include "bridge/extraction_interface.h"
#include "ui/dialogs.h"
#include "ui/popup_menus.h"
#include "win32/directory_search.h"
#include "win32/ini_file.h"

namespace shapeglean {

using namespace palisk;

namespace {

const char* const kLayout = "quandelmain+list.xml";

const char* const kHeaders[4] = {"hbtnFilename", "hbtnFilePath", "hbtnEncrypted", "hbtnState"};

QString WithSlash(QString folder) {
  if (!folder.endsWith('/')) folder += '/';
  return folder;
}

bool Is(const CStdString& a, const char* b) { return a.CompareNoCase(QString::fromUtf8(b)) == 0; }

std::string SettingsFile() { return ProgramFolder() + "setting.ini"; }

}  // namespace

// ---- layout callback ----

MivoExpiredSetFramUI::MivoExpiredSetFramUI(CPaintManagerUI* manager) {
  CDialogBuilder builder;
  if (CControlUI* child = builder.Create("ExpSet.xml", "", nullptr, manager)) Add(child);
}

CControlUI* CPageBuilderCallbackEx::CreateControl(const CStdString& class_name) {
  if (class_name == "ExpSet") return new MivoExpiredSetFramUI(manager_);
  return nullptr;
}

// ---- window ----

QuandelMivoWnd::QuandelMivoWnd() = default;

QuandelMivoWnd::~QuandelMivoWnd() {
  CloseOwnedWindows();
  StopRunAndWait();
  // Every adding thread ends before the window does; a thread waiting for
  // a message box needs this thread's events to finish.
  while (running_.load() > 0) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  for (auto& [id, thread] : workers_)
    if (thread.joinable()) thread.join();
  workers_.clear();
  pm_.RemoveNotifier(this);
  pm_.ReapObjects();
}

const std::vector<const char*>& QuandelMivoWnd::AllEncodings() {
  static const std::vector<const char*> kAll = {
      "ISO-10646-UCS-2", "ISO-10646-UCS-4", "UTF-8",      "UTF-16",         "ChineseGBK",       "GB18030",
      "ChineseBIG5",     "EUC-JP",          "EUC-JP-FIX", "WINDOWS31J",     "ISO-2022-JP",      "Shift_JIS",
      "Shift_JIS-2004",  "ISO-2022-JP-2004", "EUC-JIS-2004", "ISO-8859-1",  "KoreanKSC"};
  return kAll;
}

const char* QuandelMivoWnd::LanguageNameOf(int language_index) {
  switch (language_index) {
    case 1: return "Simplified Chinese";
    case 2: return "Traditional Chinese";
    case 4: return "English";
    case 5: return "Korean";
    default: return "Japanese";
  }
}

LRESULT QuandelMivoWnd::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  bool handled = true;
  switch (msg) {
    case WM_CREATE:
      OnCreate();
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      handled = false;
      break;
    case WM_SIZE: {
      SIZE corner = pm_.GetRoundCorner();
      if (wparam != SIZE_MINIMIZED && (corner.cx != 0 || corner.cy != 0))
        Services().SetRoundRegion(GetHWND(), LowWord(lparam) + 1, HighWord(lparam) + 1, corner.cx, corner.cy);
      handled = false;
      break;
    }
    case WM_CLOSE:
      // Threads still use the list and the engine: closing waits for them.
      if (IsBusy()) break;
      handled = false;
      break;
    case WM_NCCALCSIZE:
    case WM_NCPAINT:
      break;
    case WM_NCHITTEST:
      result = OnNcHitTest(lparam);
      break;
    case WM_NCACTIVATE:
      if (GetHWND() != nullptr && GetHWND()->isMinimized()) handled = false;
      else result = wparam == 0 ? 1 : 0;
      break;
    case WM_KEYDOWN:
      result = OnKeyDown(wparam);
      break;
    case WM_DROPFILES:
      StartDropFilesWorker(reinterpret_cast<HDROP>(wparam));
      break;
    case kMsgRebuild:
      Rebuild();
      break;
    case kMsgAddRow:
      RefreshFileList(reinterpret_cast<FileItem*>(lparam));
      break;
    case kMsgWorkerDone:
      OnWorkerDone(static_cast<int>(wparam));
      break;
    case kMsgRunStatus:
      if (wparam < files_.size()) {
        files_[wparam].status = LangString(static_cast<int>(lparam));
        if (file_list_ != nullptr) file_list_->NeedUpdate();
      }
      break;
    case kMsgRunEnded:
      OnRunEnded();
      break;
    default:
      handled = false;
      break;
  }
  if (handled) return result;
  if (pm_.MessageHandler(msg, wparam, lparam, result)) return result;
  return CWindowWnd::HandleMessage(msg, wparam, lparam);
}

void QuandelMivoWnd::OnFinalMessage(HWND) {
  CloseOwnedWindows();
  pm_.RemoveNotifier(this);
  pm_.ReapObjects();
  file_list_ = nullptr;
}

void QuandelMivoWnd::OnCreate() {
  SetStyle((GetStyle() & ~WS_CAPTION) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  BuildLayout();
  pm_.AddNotifier(this);
  LoadOutputSettings();
}

void QuandelMivoWnd::BuildLayout() {
  pm_.Init(GetHWND());
  CDialogBuilder builder;
  CControlUI* root = builder.Create(kLayout, "", &builder_callback_, &pm_);
  if (root == nullptr) qWarning("cannot build %s: %s", kLayout, qPrintable(builder.GetLastErrorText()));
  pm_.AttachDialog(root);
}

void QuandelMivoWnd::Rebuild() {
  // The language change rebuilds every control: refused while threads
  // still post rows into the list.
  if (IsBusy()) return;
  BuildLayout();
  LoadOutputSettings();
  if (file_list_ != nullptr) {
    file_list_->RemoveAll();
    file_list_->NeedUpdate();
    file_list_->SetTextCallback(this);
  }
}

LRESULT QuandelMivoWnd::OnNcHitTest(LPARAM lparam) {
  HWND hwnd = GetHWND();
  if (hwnd == nullptr) return HTCLIENT;
  QPoint local = hwnd->mapFromGlobal(QPoint(LowWord(lparam), HighWord(lparam)));
  const RECT& caption = pm_.GetCaptionRect();
  if (local.x() >= caption.left && local.x() < hwnd->width() - caption.right && local.y() >= caption.top &&
      local.y() < caption.bottom) {
    CControlUI* control = pm_.FindControl(POINT{local.x(), local.y()});
    if (control != nullptr && control->GetClass() != "ButtonUI") return HTCAPTION;
  }
  return HTCLIENT;
}

LRESULT QuandelMivoWnd::OnKeyDown(WPARAM key) {
  if (key != VK_DELETE && key != VK_UP && key != VK_DOWN) return kDefaultAction;
  if (IsBusy() || file_list_ == nullptr) return 0;
  int selected = file_list_->GetCurSel();
  if (key == VK_DELETE) RemoveSelected();
  else if (key == VK_UP && selected >= 1) file_list_->SelectItem(selected - 1);
  else if (key == VK_DOWN) file_list_->SelectItem(selected + 1);
  return 0;
}

// ---- settings and controls ----

void QuandelMivoWnd::LoadOutputSettings() {
  DragAcceptFiles(GetHWND(), true);
  MapLanguageToStringLanguage();

  op_add_time_ = dynamic_cast<COptionUI*>(pm_.FindControl("opAddTimeToEnd"));
  cmb_folder_set_ = dynamic_cast<CComboUI*>(pm_.FindControl("cmbFolderSet"));
  btn_out_path_ = dynamic_cast<CButtonUI*>(pm_.FindControl("BtnOutPath"));
  ed_out_path_ = dynamic_cast<CEditUI*>(pm_.FindControl("edOutPath"));
  if (ed_out_path_ != nullptr) ed_out_path_->SetReadOnly(true);

  const std::string settings = SettingsFile();
  const std::string output_settings = CurrentDirectory() + "OutPutSet.ini";

  desktop_path_ = WithSlash(Services().DesktopFolder());
  documents_path_ = WithSlash(Services().DocumentsFolder());
  QString path = QString::fromStdString(
      win32::IniReadString(output_settings, "OutputPath", "FilePath", desktop_path_.toStdString()));
  if (cmb_folder_set_ != nullptr) {
    int entry = 3;
    if (path.compare(desktop_path_, Qt::CaseInsensitive) == 0) entry = 1;
    else if (path.compare(documents_path_, Qt::CaseInsensitive) == 0) entry = 2;
    cmb_folder_set_->SelectItem(entry);
    cmb_folder_set_->SetText(path);
  }

  if (op_add_time_ != nullptr && win32::IniReadString(settings, "MoreSet", "AddTime", "") == "True")
    op_add_time_->Selected(true);

  menu_btn_ = pm_.FindControl("menubtn");
  min_btn_ = pm_.FindControl("minbtn");
  close_btn_ = pm_.FindControl("closebtn");
  btn_excute_ = pm_.FindControl("btnExcute");
  file_list_ = dynamic_cast<CListUI*>(pm_.FindControl("filelist"));
  if (file_list_ != nullptr) file_list_->SetTextCallback(this);
  // Set-up runs only while the window is idle.
  for (int& flag : sort_flags_) flag = 0;
  for (QString& password : passwords_) password.clear();
  line_output_ = false;

  combo_encoding_ = dynamic_cast<CComboUI*>(pm_.FindControl("ComboUI1"));
  combo_language_ = dynamic_cast<CComboUI*>(pm_.FindControl("ComboUI2"));
  option_big_ = dynamic_cast<COptionUI*>(pm_.FindControl("OptionBig"));
  option_little_ = dynamic_cast<COptionUI*>(pm_.FindControl("OptionLittle"));
  std::tie(group_index_, language_index_) = StoredIndexes(settings);
  std::error_code ec;
  if (std::filesystem::exists(settings, ec)) {
    big_endian_text_ = QString::fromStdString(win32::IniReadString(settings, "Setting", "BigEndian", "0"));
    little_endian_text_ = QString::fromStdString(win32::IniReadString(settings, "Setting", "LittleEndian", "0"));
    if (big_endian_text_ == "0" && little_endian_text_ == "0") big_endian_text_ = "True";
  } else {
    big_endian_text_.clear();
    little_endian_text_.clear();
  }
  saved_group_index_ = group_index_;
  saved_language_index_ = language_index_;
  // Selecting fires the lists' own handling, which moves the current
  // indexes: select from the values read.
  const int group = group_index_, language = language_index_;
  if (combo_language_ != nullptr) combo_language_->SelectItem(language);
  FillEncodingList(language);
  if (combo_encoding_ != nullptr) combo_encoding_->SelectItem(group);
  ApplyByteOrderRule();

  if (file_list_ != nullptr) file_list_->RemoveAll();
  files_.clear();
}

void QuandelMivoWnd::FillEncodingList(int language_index) { FillEncodings(combo_encoding_, language_index); }

void QuandelMivoWnd::FillEncodings(CComboUI* combo, int language_index) {
  if (combo == nullptr) return;
  static const std::vector<const char*> kUnicode = {"ISO-10646-UCS-2", "ISO-10646-UCS-4", "UTF-8", "UTF-16"};
  static const std::vector<const char*> kTable[] = {
      kUnicode,
      {"ChineseGBK", "GB18030"},
      {"ChineseBIG5"},
      {"EUC-JP", "EUC-JP-FIX", "WINDOWS31J", "ISO-2022-JP", "Shift_JIS", "Shift_JIS-2004", "ISO-2022-JP-2004",
       "EUC-JIS-2004"},
      {"ISO-8859-1"},
      {"KoreanKSC"},
  };
  const auto& entries = (language_index >= 0 && language_index <= 5) ? kTable[language_index] : kUnicode;
  combo->RemoveAll();
  for (const char* entry : entries) combo->Add(entry);
  combo->SelectItem(0);
}

std::pair<int, int> QuandelMivoWnd::StoredIndexes(const std::string& settings) {
  std::error_code ec;
  if (!std::filesystem::exists(settings, ec)) return {4, 3};
  int group = win32::IniReadInt(settings, "Setting", "pGroupName", 0);
  int language = win32::IniReadInt(settings, "Setting", "pDefLangName", 0);
  if (group < 0 || group > 8) group = 0;
  if (language < 0 || language > 5) language = 0;
  return {group, language};
}

void QuandelMivoWnd::ApplyByteOrderRule() {
  if (option_big_ == nullptr || option_little_ == nullptr) return;
  const int language = combo_language_ ? combo_language_->GetCurSel() : language_index_;
  const int encoding = combo_encoding_ ? combo_encoding_->GetCurSel() : group_index_;
  const bool live = language == 0 && encoding != 2;
  if (live) {
    option_big_->Selected(big_endian_text_ == "True");
    option_little_->Selected(little_endian_text_ == "True");
  } else {
    option_big_->Selected(false);
    option_little_->Selected(false);
  }
  const bool mouse = live && busy_ == 0;
  option_big_->SetMouseEnabled(mouse);
  option_little_->SetMouseEnabled(mouse);
}

int QuandelMivoWnd::SetControlsEnabled(bool enabled) {
  if (close_btn_ != nullptr) close_btn_->SetEnabled(enabled);
  for (const char* name : {"btnAddFile", "btnAddFolder", "btnRemoveSel", "btnRemoveAll", "btnDown", "btnUp",
                           "ComboUI1", "ComboUI2", "BtnOutPath", "edOutPath", "cmbFolderSet", "opAddTimeToEnd",
                           "filelist"})
    if (CControlUI* control = pm_.FindControl(name)) control->SetMouseEnabled(enabled);
  if (option_big_ != nullptr && option_little_ != nullptr) {
    const int language = combo_language_ ? combo_language_->GetCurSel() : 0;
    const int encoding = combo_encoding_ ? combo_encoding_->GetCurSel() : 0;
    const bool live = enabled && language == 0 && encoding != 2;
    option_big_->SetMouseEnabled(live);
    option_little_->SetMouseEnabled(live);
  }
  if (btn_excute_ != nullptr && run_state_.load() == RunState::kIdle && btn_excute_->GetText() == LangString(234))
    btn_excute_->SetMouseEnabled(enabled);
  return 1;
}

void QuandelMivoWnd::WriteSetting(const char* section, const char* key, const QString& value) {
  win32::IniWriteString(SettingsFile(), section, key, value.toStdString());
}

void QuandelMivoWnd::SaveMainComboSettings() {
  if (combo_encoding_ != nullptr)
    WriteSetting("Setting", "pGroupName", QString::number(std::max(0, combo_encoding_->GetCurSel())));
  if (combo_language_ != nullptr)
    WriteSetting("Setting", "pDefLangName", QString::number(std::max(0, combo_language_->GetCurSel())));
}

void QuandelMivoWnd::OnFolderSetSelected(int entry) {
  if (btn_out_path_ == nullptr || ed_out_path_ == nullptr) return;
  switch (entry) {
    case 0:
      btn_out_path_->SetEnabled(false);
      ed_out_path_->SetText(LangString(269));
      if (op_add_time_ != nullptr) op_add_time_->Selected(true);
      break;
    case 1:
      btn_out_path_->SetEnabled(false);
      ed_out_path_->SetText(desktop_path_);
      break;
    case 2:
      btn_out_path_->SetEnabled(false);
      ed_out_path_->SetText(documents_path_);
      break;
    case 3:
      btn_out_path_->SetEnabled(true);
      ed_out_path_->SetText(LangString(247));
      break;
    default:
      break;
  }
}

// ---- notifications ----

void QuandelMivoWnd::Notify(TNotifyUI& msg) {
  const CStdString& type = msg.sType;
  const CStdString name = msg.pSender ? msg.pSender->GetName() : CStdString();
  if (type == "click") {
    if (Is(name, "closebtn")) {
      if (ed_out_path_ != nullptr && !ed_out_path_->GetText().IsEmpty()) {
        WriteSetting("MainWnd", "FileOutPutPath", ed_out_path_->GetText());
        SaveMainComboSettings();
      }
      Close();
    } else if (Is(name, "minbtn")) {
      SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    } else if (Is(name, "btnAddFile")) {
      OnAddFile();
    } else if (Is(name, "btnAddFolder")) {
      OnAddFolder();
    } else if (Is(name, "btnRemoveSel")) {
      RemoveSelected();
    } else if (Is(name, "btnRemoveAll")) {
      RemoveAll();
    } else if (Is(name, "BtnOutPath")) {
      QString folder = Services().BrowseForFolder(GetHWND(), LangString(135));
      if (!folder.isEmpty() && ed_out_path_ != nullptr) ed_out_path_->SetText(folder);
    } else if (Is(name, "btnUp")) {
      MoveSelected(-1);
    } else if (Is(name, "btnDown")) {
      MoveSelected(+1);
    } else if (Is(name, "menubtn")) {
      OpenSysMenu(msg.ptMouse);
    } else if (Is(name, "BtnDetailSet")) {
      if (!IsBusy()) OpenDialog<DetailPage>(this);
    } else if (Is(name, "BtnMore")) {
      if (!IsBusy()) OpenDialog<OutDetailPage>(this);
    } else if (Is(name, "btnExcute")) {
      OnExcute();
    }
  } else if (type == "selectchanged") {
    auto* option = dynamic_cast<COptionUI*>(msg.pSender);
    if (option == nullptr) return;
    if (Is(name, "opAddTimeToEnd")) {
      WriteSetting("MoreSet", "AddTime", option->IsSelected() ? "True" : "False");
    } else if (Is(name, "OptionBig") && option->IsSelected()) {
      big_endian_text_ = "True";
      little_endian_text_ = "False";
      WriteSetting("Setting", "BigEndian", "True");
      WriteSetting("Setting", "LittleEndian", "False");
    } else if (Is(name, "OptionLittle") && option->IsSelected()) {
      little_endian_text_ = "True";
      big_endian_text_ = "False";
      WriteSetting("Setting", "LittleEndian", "True");
      WriteSetting("Setting", "BigEndian", "False");
    }
  } else if (type == "itemselect") {
    if (Is(name, "ComboUI1")) {
      if (combo_encoding_) group_index_ = combo_encoding_->GetCurSel();
      ApplyByteOrderRule();
    } else if (Is(name, "ComboUI2")) {
      if (combo_language_) language_index_ = combo_language_->GetCurSel();
      FillEncodingList(language_index_);
    } else if (Is(name, "cmbFolderSet")) {
      OnFolderSetSelected(static_cast<int>(msg.wParam));
    }
  } else if (type == "itemactivate") {
    OpenRow(msg.pSender);
  } else if (type == "headerclick") {
    SortByHeader(name);
  } else if (type == "menu_Up") {
    MoveSelected(-1);
  } else if (type == "menu_Down") {
    MoveSelected(+1);
  } else if (type == "menu_DeleteThis") {
    RemoveSelected();
  } else if (type == "menu_DeleteAll") {
    RemoveAll();
  } else if (type == "menu_Help") {
    // As the shell does, a help document that nothing opens is reported.
    if (!Services().OpenDocument(QString::fromStdString(ProgramFolder()) + LangString(302)))
      ShowLangMessageBox(GetHWND(), 223, 190, MB_OK | MB_ICONERROR);
  } else if (type == "menu_Language") {
    if (IsBusy()) return;  // a rebuild would empty the list under the threads
    OpenDialog<Mivolanguage>(this);
  } else if (type == "menu_About") {
    OpenDialog<MivoAboutDialog>(this);
  } else if (type == "menu_Decrypt") {
    OnDecrypt();
  } else if (type == "menu_FileInfo") {
    OnFileInfo();
  } else if (type == "menu" && Is(name, "filelist")) {
    OpenListMenu(msg.ptMouse);
  }
}

CStdString QuandelMivoWnd::GetItemText(CControlUI* element, int item, int sub_item) {
  if (item < 0 || item >= static_cast<int>(files_.size())) return element ? element->GetText() : CStdString();
  const FileItem& file = files_[static_cast<size_t>(item)];
  switch (sub_item) {
    case 0: return file.name;
    case 1: return file.encryption;
    case 2: return file.status;
    case 3: return file.folder;
    default: return element ? element->GetText() : CStdString();
  }
}

// ---- the list ----

bool QuandelMivoWnd::IsSupportedVisioFile(const CStdString& path) {
  FormatInfo info{};
  int32_t result = Extraction().Detect(path.ToUtf8(), &info);
  return IsListableVisio(result, info);
}

void QuandelMivoWnd::OnAddFile() {
  QString path = Services().GetOpenFileName(GetHWND(), QString(), {{"Visio Files", "*.vsd"}, {"All", "*.*"}}, 1);
  if (path.isEmpty()) return;
  if (!IsSupportedVisioFile(path)) {
    ShowLangMessageBox(GetHWND(), 250, 190, MB_ICONWARNING);
    return;
  }
  const qsizetype slash = path.lastIndexOf('/');
  FileItem item;
  item.name = path.mid(slash + 1);
  item.folder = path.left(slash + 1);
  item.encryption = LangString(159);
  AddFileItem(std::move(item));
}

void QuandelMivoWnd::AddFileItem(FileItem item) {
  for (const FileItem& listed : files_)
    if (listed.folder.Compare(item.folder) == 0 && listed.name.Compare(item.name) == 0) return;
  item.status = LangString(164);
  files_.push_back(std::move(item));
  if (file_list_ != nullptr) file_list_->Add(new CListTextElementUI());
}

void QuandelMivoWnd::RefreshFileList(FileItem* candidate) {
  std::unique_ptr<FileItem> owned(candidate);
  if (owned) AddFileItem(std::move(*owned));
}

void QuandelMivoWnd::RemoveSelected() {
  if (IsBusy() || file_list_ == nullptr) return;
  int selected = file_list_->GetCurSel();
  if (selected < 0 || selected >= static_cast<int>(files_.size())) return;
  files_.erase(files_.begin() + selected);
  file_list_->RemoveAt(selected);
}

void QuandelMivoWnd::RemoveAll() {
  if (IsBusy() || file_list_ == nullptr) return;
  file_list_->RemoveAll();
  files_.clear();
}

void QuandelMivoWnd::MoveSelected(int step) {
  if (IsBusy() || file_list_ == nullptr) return;
  const int selected = file_list_->GetCurSel();
  const int target = selected + step;
  if (selected < 0 || target < 0 || target >= static_cast<int>(files_.size())) return;
  FileItem moved = files_[static_cast<size_t>(selected)];
  files_.erase(files_.begin() + selected);
  files_.insert(files_.begin() + target, std::move(moved));
  file_list_->SelectItem(target);
  file_list_->NeedUpdate();
}

void QuandelMivoWnd::SortByHeader(const CStdString& header) {
  if (IsBusy()) return;
  for (int column = 0; column < 4; ++column) {
    if (!Is(header, kHeaders[column])) continue;
    sort_flags_[column] = !sort_flags_[column];
    SortFileItems(files_, static_cast<SortColumn>(column), sort_flags_[column] == 1);
    if (file_list_ != nullptr) file_list_->NeedUpdate();
    return;
  }
}

void QuandelMivoWnd::OpenRow(CControlUI* row) {
  if (file_list_ == nullptr) return;
  int index = file_list_->GetItemIndex(row);
  if (index < 0 || index >= static_cast<int>(files_.size())) return;
  const FileItem& file = files_[static_cast<size_t>(index)];
  Services().OpenDocument(WithSlash(file.folder) + file.name);
}

// ---- adding threads ----

void QuandelMivoWnd::BeginBusy() {
  if (busy_++ == 0) {
    SetControlsEnabled(false);
    if (btn_excute_ != nullptr) btn_excute_->SetMouseEnabled(false);
    DragAcceptFiles(GetHWND(), false);
  }
}

void QuandelMivoWnd::EndBusy() {
  if (busy_ > 0 && --busy_ == 0) {
    SetControlsEnabled(true);
    if (btn_excute_ != nullptr) btn_excute_->SetMouseEnabled(true);
    DragAcceptFiles(GetHWND(), true);
  }
}

void QuandelMivoWnd::StartWorker(std::function<void(KnownFiles&)> body) {
  KnownFiles known;
  for (const FileItem& file : files_) known.emplace(file.folder, file.name);
  BeginBusy();
  const int id = ++next_worker_;
  running_.fetch_add(1);
  workers_[id] = std::thread([this, id, body = std::move(body), known = std::move(known)]() mutable {
    MapLanguageToStringLanguage();
    body(known);
    running_.fetch_sub(1);
    PostMessage(kMsgWorkerDone, static_cast<WPARAM>(id), 0);
  });
}

void QuandelMivoWnd::OnWorkerDone(int id) {
  auto it = workers_.find(id);
  if (it == workers_.end()) return;
  if (it->second.joinable()) it->second.join();
  workers_.erase(it);
  EndBusy();
}

void QuandelMivoWnd::OnAddFolder() {
  QString folder = Services().BrowseForFolder(GetHWND(), LangString(135));
  if (folder.isEmpty()) return;
  StartWorker([this, folder](KnownFiles& known) { AddFolderWorkerProc(folder, known); });
}

void QuandelMivoWnd::AddFolderWorkerProc(const QString& folder, KnownFiles& known) {
  AddFolderFiles(folder, known);
}

void QuandelMivoWnd::StartDropFilesWorker(HDROP drop) {
  if (drop == nullptr) return;
  if (IsBusy()) {
    DragFinish(drop);
    return;
  }
  StartWorker([this, drop](KnownFiles& known) { DropFilesWorkerProc(drop, known); });
}

void QuandelMivoWnd::DropFilesWorkerProc(HDROP drop, KnownFiles& known) {
  const unsigned count = DragQueryFile(drop, 0xFFFFFFFFu, nullptr);
  for (unsigned i = 0; i < count; ++i) {
    std::string path_utf8;
    DragQueryFile(drop, i, &path_utf8);
    QString path = QString::fromStdString(path_utf8);
    std::error_code ec;
    if (std::filesystem::is_directory(path_utf8, ec)) {
      AddFolderFiles(path, known);
    } else if (IsSupportedVisioFile(path)) {
      const qsizetype slash = path.lastIndexOf('/');
      const QString folder = path.left(slash + 1), name = path.mid(slash + 1);
      if (known.emplace(folder, name).second) PostCandidate(folder, name);
    } else {
      ShowLangMessageBox(GetHWND(), 250, 190, MB_ICONWARNING);
    }
  }
  DragFinish(drop);
}

void QuandelMivoWnd::AddFolderFiles(const QString& folder, KnownFiles& known) {
  const QString dir = WithSlash(folder);
  std::vector<std::string> names;
  if (auto search = win32::DirectorySearch::Open(dir.toStdString() + "*.vsd")) {
    while (const win32::FoundEntry* entry = search->Next())
      if (!entry->is_directory) names.push_back(entry->name);
  }
  if (names.empty()) {
    ShowLangMessageBox(GetHWND(), 136, 217, MB_ICONINFORMATION);
    return;
  }
  for (const std::string& name_utf8 : names) {
    const QString name = QString::fromStdString(name_utf8);
    if (known.count({dir, name}) != 0) continue;
    if (!IsSupportedVisioFile(dir + name)) continue;
    known.emplace(dir, name);
    PostCandidate(dir, name);
  }
}

void QuandelMivoWnd::PostCandidate(const QString& folder, const QString& name) {
  auto* item = new FileItem{name, folder, LangString(159), CStdString(), CStdString()};
  PostMessage(kMsgAddRow, 0, reinterpret_cast<LPARAM>(item));
}

// ---- the conversion run ----

void QuandelMivoWnd::OnExcute() {
  // A run that is stopping, or an adding thread, holds the button.
  if (run_state_.load() == RunState::kStopping || busy_ > 0) return;
  const CStdString out_path = ed_out_path_ ? ed_out_path_->GetText() : CStdString();
  if (out_path.IsEmpty() || out_path.CompareNoCase(LangString(247)) == 0) {
    ShowLangMessageBox(GetHWND(), 244, 217, MB_OK);
    return;
  }
  if (files_.empty()) {
    ShowLangMessageBox(GetHWND(), 245, 217, MB_OK);
    return;
  }
  const CStdString unencrypted = LangString(159), decrypted = LangString(162);
  for (const FileItem& file : files_) {
    if (file.encryption != unencrypted && file.encryption != decrypted) {
      ShowLangMessageBox(GetHWND(), 246, 217, MB_OK);
      return;
    }
  }
  if (run_state_.load() == RunState::kRunning) {
    // The worker ends after the file in hand.
    run_state_.store(RunState::kStopping);
    return;
  }

  RunPlan plan;
  for (const FileItem& file : files_)
    plan.files.push_back({WithSlash(file.folder).toStdString(), file.name.ToUtf8()});
  plan.add_time = op_add_time_ != nullptr && op_add_time_->IsSelected();
  plan.output_path = out_path.ToUtf8();
  plan.same_folder = cmb_folder_set_ != nullptr && cmb_folder_set_->GetCurSel() == 0;
  const int folder_entry = cmb_folder_set_ != nullptr ? cmb_folder_set_->GetCurSel() : -1;
  plan.make_output = folder_entry == 1 || folder_entry == 2;
  if (combo_encoding_ != nullptr && combo_encoding_->GetCurSel() >= 0)
    plan.charset = combo_encoding_->GetItemText(combo_encoding_->GetCurSel()).ToUtf8();
  plan.language_index = combo_language_ != nullptr ? combo_language_->GetCurSel() : 0;
  plan.little_live = option_little_ != nullptr && option_little_->IsMouseEnabled();
  plan.little_selected = option_little_ != nullptr && option_little_->IsSelected();

  // Running before the thread exists: the worker never sees an idle state.
  run_done_.store(false);
  run_state_.store(RunState::kRunning);
  if (btn_excute_ != nullptr) btn_excute_->SetText(LangString(234));
  SetControlsEnabled(false);
  DragAcceptFiles(GetHWND(), false);
  run_thread_ = std::thread([this, plan = std::move(plan)] { ConversionWorkerProc(this, plan); });
}

void QuandelMivoWnd::PostStatus(size_t index, int string_id) {
  PostMessage(kMsgRunStatus, static_cast<WPARAM>(index), static_cast<LPARAM>(string_id));
}

void QuandelMivoWnd::PostRunEnded() {
  run_done_.store(true);
  PostMessage(kMsgRunEnded);
}

void QuandelMivoWnd::OnRunEnded() {
  if (!run_thread_.joinable()) return;  // ended already
  run_thread_.join();
  run_state_.store(RunState::kIdle);
  SetControlsEnabled(true);
  DragAcceptFiles(GetHWND(), true);
  const CStdString waiting = LangString(164);
  for (FileItem& file : files_) file.status = waiting;
  if (file_list_ != nullptr) file_list_->NeedUpdate();
  if (btn_excute_ != nullptr) {
    btn_excute_->SetText(LangString(243));
    btn_excute_->NeedUpdate();
  }
  line_output_ = false;
  WriteSetting("MoreSet", "LineStatus", "False");
  for (QString& password : passwords_) password.clear();
}

void QuandelMivoWnd::StopRunAndWait() {
  if (!run_thread_.joinable()) return;
  if (run_state_.load() == RunState::kRunning) run_state_.store(RunState::kStopping);
  // The worker may wait for a message box that this thread shows.
  while (!run_done_.load()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  OnRunEnded();
}

// ---- dialogs and menus ----

void QuandelMivoWnd::CloseOwnedWindows() {
  // Each deletes itself and leaves the set as it ends.
  while (!owned_.empty()) {
    CWindowWnd* window = *owned_.begin();
    window->DestroyWindow();
    owned_.erase(window);
  }
}

void QuandelMivoWnd::OpenListMenu(POINT point) {
  if (file_list_ == nullptr || GetHWND() == nullptr) return;
  QPoint global = GetHWND()->mapToGlobal(QPoint(point.x, point.y));
  auto* menu = new CMivoListMenuWnd(this);
  menu->Init(file_list_, POINT{global.x(), global.y()});
}

void QuandelMivoWnd::OpenSysMenu(POINT point) {
  if (menu_btn_ == nullptr || GetHWND() == nullptr) return;
  QPoint global = GetHWND()->mapToGlobal(QPoint(point.x, point.y));
  auto* menu = new CMivoSysMenuWnd(this);
  menu->Init(menu_btn_, POINT{global.x(), global.y()});
}

void QuandelMivoWnd::OnDecrypt() {
  if (file_list_ == nullptr) return;
  const int selected = file_list_->GetCurSel();
  if (selected < 0 || selected >= static_cast<int>(files_.size())) return;
  const FileItem& file = files_[static_cast<size_t>(selected)];
  if (file.encryption == LangString(159) || file.encryption == LangString(162)) {
    ShowLangMessageBox(GetHWND(), 248, 217, MB_OK);
    return;
  }
  OpenDialog<PWPage>(this);
}

void QuandelMivoWnd::OnFileInfo() {
  if (file_list_ == nullptr) return;
  const int selected = file_list_->GetCurSel();
  if (selected < 0 || selected >= static_cast<int>(files_.size())) return;
  const FileItem& file = files_[static_cast<size_t>(selected)];
  if (file.encryption != LangString(159) && file.password.IsEmpty()) {
    ShowLangMessageBox(GetHWND(), 249, 217, MB_OK);
    return;
  }
  OpenDialog<DocinfoPage>(this, (WithSlash(file.folder) + file.name).toStdString());
}

}  // namespace shapeglean
