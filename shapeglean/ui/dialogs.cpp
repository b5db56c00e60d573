// The dialogs (see dialogs.h).
#include "ui/dialogs.h"

#include <cstring>
#include <filesystem>
#include <memory>

#include "app.h"
#include "bridge/extraction_interface.h"
#include "win32/ini_file.h"

namespace shapeglean {

using namespace palisk;

namespace {

constexpr uint32_t kStyleDialog = 0x90CF0000u;  // pop-up, visible, overlapped
constexpr uint32_t kGrey = 0xFFDDDCDC;
constexpr uint32_t kWhite = 0xFFFFFFFF;

bool Is(const CStdString& a, const char* b) { return a.CompareNoCase(QString::fromUtf8(b)) == 0; }

std::string SettingsFile() { return ProgramFolder() + "setting.ini"; }

// A text field of a property record: UTF-8, up to its terminating zero or
// the end of its slot, whichever comes first.
template <size_t N>
QString FieldText(const char (&field)[N]) {
  return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, N)));
}

}  // namespace

// ---- the base ----

MivoWindowImplBase::~MivoWindowImplBase() { pm_.RemoveNotifier(this); }

void MivoWindowImplBase::Open() {
  if (owner_ == nullptr || owner_->GetHWND() == nullptr) {
    delete this;
    return;
  }
  if (DisablesOwner()) EnableWindow(owner_->GetHWND(), false);
  owner_->Adopt(this);
  Create(owner_->GetHWND(), GetWindowName(), kStyleDialog, 0, 0, 0, 0, 0);
  CenterWindow();
  ShowWindow(true);
}

LRESULT MivoWindowImplBase::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  bool handled = true;
  LRESULT result = 0;
  switch (msg) {
    case WM_CREATE:
      OnCreate();
      break;
    case WM_NCCALCSIZE:
      result = OnNcCalcSize();
      break;
    case WM_NCHITTEST:
      result = OnNcHitTest(lparam);
      break;
    case WM_NCACTIVATE:
      result = OnNcActivate(wparam, handled);
      break;
    default:
      handled = false;
      break;
  }
  if (handled) return result;
  if (pm_.MessageHandler(msg, wparam, lparam, result)) return result;
  return CWindowWnd::HandleMessage(msg, wparam, lparam);
}

void MivoWindowImplBase::OnFinalMessage(HWND) {
  if (owner_ != nullptr) owner_->Release(this);
  delete this;
}

LRESULT MivoWindowImplBase::OnNcActivate(WPARAM wparam, bool& handled) {
  if (GetHWND() != nullptr && GetHWND()->isMinimized()) {
    handled = false;
    return 0;
  }
  return wparam == 0 ? 1 : 0;
}

LRESULT MivoWindowImplBase::OnNcHitTest(LPARAM lparam) {
  HWND hwnd = GetHWND();
  if (hwnd == nullptr) return HTCLIENT;
  const QPoint local = hwnd->mapFromGlobal(QPoint(LowWord(lparam), HighWord(lparam)));
  const RECT& caption = pm_.GetCaptionRect();
  if (local.x() < caption.left || local.x() >= hwnd->width() - caption.right) return HTCLIENT;
  if (local.y() >= caption.top && local.y() < caption.bottom) {
    CControlUI* control = pm_.FindControl(POINT{local.x(), local.y()});
    if (control != nullptr && control->GetClass() != "ButtonUI") return HTCAPTION;
  }
  return HTCLIENT;
}

void MivoWindowImplBase::OnCreate() {
  SetStyle((GetStyle() & ~WS_CAPTION) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  pm_.Init(GetHWND());
  CPaintManagerUI::SetResourcePath(GetSkinFolder());
  CDialogBuilder builder;
  CControlUI* root = builder.Create(GetSkinFile(), "", this, &pm_);
  if (root == nullptr) qWarning("cannot build %s: %s", qPrintable(GetSkinFile()), qPrintable(builder.GetLastErrorText()));
  pm_.AttachDialog(root);
  pm_.AddNotifier(this);
  InitWindow();
}

CStdString MivoWindowImplBase::GetSkinFolder() { return CPaintManagerUI::GetInstancePath() + "skin/"; }

void MivoWindowImplBase::Notify(TNotifyUI& msg) {
  const CStdString name = msg.pSender ? msg.pSender->GetName() : CStdString();
  OnNotify(msg.sType, name, msg);
}

void MivoWindowImplBase::CloseAndEnableOwner() {
  if (owner_ != nullptr && owner_->GetHWND() != nullptr) EnableWindow(owner_->GetHWND(), true);
  Close(1);
}

void MivoWindowImplBase::Minimize() { SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0); }

// ---- About ----

void MivoAboutDialog::InitWindow() {
  auto* view = Find<CRichEditUI>("view_richedit");
  if (view == nullptr) return;
  view->SetText(CStdString());
  for (int id : {293, 294, 295, 297, 296, 298, 299}) {
    char16_t text[1600] = {};
    LoadLangString(text, 1600, id);
    view->AppendText(CStdString(text));
  }
}

void MivoAboutDialog::OnNotify(const CStdString& type, const CStdString& name, TNotifyUI&) {
  if (type == "click" && Is(name, "closebtn")) CloseAndEnableOwner();
}

// ---- language ----

void Mivolanguage::InitWindow() {
  if (auto* choice = Find<CComboUI>("LanguageSel")) choice->SelectItem(0);
}

void Mivolanguage::OnNotify(const CStdString& type, const CStdString& name, TNotifyUI&) {
  if (type != "click") return;
  if (Is(name, "closebtn") || Is(name, "cancelbtn")) {
    CloseAndEnableOwner();
  } else if (Is(name, "savebtn")) {
    auto* choice = Find<CComboUI>("LanguageSel");
    int number = LanguageNumber();
    switch (choice ? choice->GetCurSel() : -1) {
      case 0: number = kLanguageChinese; break;
      case 1: number = kLanguageEnglish; break;
      case 2: number = kLanguageJapanese; break;
      default: break;
    }
    SetStringLanguage(number);
    MapLanguageToStringLanguage();
    SetDialogLanguage(StringLanguageId());
    CPaintManagerUI::SetResourceZip(SkinArchiveOf(number), true);
    CPaintManagerUI::ReloadAllImages();
    ShowWindow(false);
    // The main window rebuilds itself from the new skin when the loop
    // reaches this message, after the dialog has gone.
    owner_->PostMessage(kMsgRebuild);
    owner_->ShowWindow(true);
    CloseAndEnableOwner();
  }
}

// ---- detail settings ----

LRESULT DetailPage::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  const char* list = nullptr;
  if (msg == WM_USER + 50) list = "pathlist";
  else if (msg == WM_USER + 52) list = "ComSD";
  else if (msg == WM_USER + 53) list = "ComED";
  if (list != nullptr) {
    std::unique_ptr<CListTextElementUI> row(reinterpret_cast<CListTextElementUI*>(lparam));
    auto* target = Find<CListUI>(list);
    if (row != nullptr && target != nullptr && target->Add(row.get())) row.release();
    return 0;
  }
  if (msg == WM_DROPFILES) {
    // Drops are accepted but nothing is listed from them.
    DragFinish(reinterpret_cast<HDROP>(wparam));
    return 0;
  }
  return MivoWindowImplBase::HandleMessage(msg, wparam, lparam);
}

// The dialog shows and saves the pair of entries that the main window
// uses: the same language list, and the encodings of the chosen language
// as the main window lists them.
void DetailPage::InitWindow() {
  DragAcceptFiles(GetHWND(), true);
  encoding_ = Find<CComboUI>("ComboUI1");
  language_ = Find<CComboUI>("ComboUI2");
  for (const char* name : {"pathlist", "ComSD", "ComED"})
    if (auto* list = Find<CListUI>(name)) list->SetTextCallback(this);

  const auto [group, language] = QuandelMivoWnd::StoredIndexes(SettingsFile());
  owner_->SetSavedIndexes(group, language);
  if (language_ != nullptr) language_->SelectItem(language);
  QuandelMivoWnd::FillEncodings(encoding_, language);
  if (encoding_ != nullptr) encoding_->SelectItem(group);
}

void DetailPage::OnNotify(const CStdString& type, const CStdString& name, TNotifyUI& msg) {
  if (type == "itemselect" && msg.pSender == language_) {
    QuandelMivoWnd::FillEncodings(encoding_, language_->GetCurSel());
    return;
  }
  if (type != "click") return;
  if (Is(name, "closebtn") || Is(name, "cancelbtn")) {
    CloseAndEnableOwner();
  } else if (Is(name, "minbtn")) {
    Minimize();
  } else if (Is(name, "savebtn")) {
    const int group = encoding_ ? std::max(0, encoding_->GetCurSel()) : 0;
    const int language = language_ ? std::max(0, language_->GetCurSel()) : 0;
    owner_->SetSavedIndexes(group, language);
    const std::string settings = SettingsFile();
    win32::IniWriteString(settings, "Setting", "pGroupName", std::to_string(group));
    win32::IniWriteString(settings, "Setting", "pDefLangName", std::to_string(language));
    ShowLangMessageBox(GetHWND(), 264, 217, MB_OK);
    CloseAndEnableOwner();
  }
}

// ---- output details ----

void OutDetailPage::SetPairLive(PasswordPair& pair, bool live) {
  for (CEditUI* edit : {pair.edit, pair.confirm}) {
    if (edit == nullptr) continue;
    if (!live) edit->SetText(CStdString());
    edit->SetEnabled(live);
    edit->SetBkColor(live ? kWhite : kGrey);
  }
  if (pair.label != nullptr) pair.label->SetEnabled(live);
}

void OutDetailPage::InitWindow() {
  open_ = {Find<COptionUI>("OpUP"), Find<CEditUI>("EdUP"), Find<CEditUI>("EdConfirmUP"), Find("Textcon1")};
  permission_ = {Find<COptionUI>("OpOP"), Find<CEditUI>("EdOP"), Find<CEditUI>("EdConfirmOP"), Find("Textcon2")};
  line_out_ = Find<COptionUI>("OpLineOut");
  for (PasswordPair* pair : {&open_, &permission_}) {
    for (CEditUI* edit : {pair->edit, pair->confirm}) {
      if (edit == nullptr) continue;
      edit->SetPasswordMode(true);
      edit->SetMaxChar(32);
    }
    SetPairLive(*pair, false);
  }
  if (line_out_ != nullptr && win32::IniReadString(SettingsFile(), "MoreSet", "LineStatus", "") == "True")
    line_out_->Selected(true);

  // The passwords the main window keeps from an earlier save.
  const QString kept_open = owner_->OpenPassword(), kept_permission = owner_->PermissionPassword();
  if (open_.option != nullptr && !kept_open.isEmpty()) {
    open_.option->Selected(true);
    open_.edit->SetText(kept_open);
    open_.confirm->SetText(kept_open);
  }
  if (permission_.option != nullptr && !kept_permission.isEmpty()) {
    permission_.option->Selected(true);
    permission_.edit->SetText(kept_permission);
    permission_.confirm->SetText(kept_permission);
  }
}

bool OutDetailPage::TakePassword(PasswordPair& pair, int empty_message, int differ_message,
                                 void (QuandelMivoWnd::*keep)(const QString&)) {
  if (pair.option == nullptr || pair.edit == nullptr || pair.confirm == nullptr) return true;
  if (!pair.option->IsSelected()) {
    (owner_->*keep)(QString());
    return true;
  }
  const CStdString text = pair.edit->GetText();
  if (text.IsEmpty()) {
    ShowLangMessageBox(GetHWND(), empty_message, 217, MB_OK);
    return false;
  }
  if (text != pair.confirm->GetText()) {
    ShowLangMessageBox(GetHWND(), differ_message, 217, MB_OK);
    pair.edit->SetText(CStdString());
    pair.confirm->SetText(CStdString());
    pair.edit->SetFocus();
    return false;
  }
  (owner_->*keep)(text);
  return true;
}

void OutDetailPage::Store() {
  if (!TakePassword(open_, 229, 228, &QuandelMivoWnd::SetOpenPassword)) return;
  if (!TakePassword(permission_, 231, 230, &QuandelMivoWnd::SetPermissionPassword)) return;
  const QString kept_open = owner_->OpenPassword(), kept_permission = owner_->PermissionPassword();
  if (!kept_open.isEmpty() && kept_open == kept_permission) {
    ShowLangMessageBox(GetHWND(), 232, 217, MB_OK);
    return;
  }
  owner_->SetLineOutput(line_state_);
  const bool selected = line_out_ != nullptr && line_out_->IsSelected();
  win32::IniWriteString(SettingsFile(), "MoreSet", "LineStatus", selected ? "True" : "False");
  ShowLangMessageBox(GetHWND(), 233, 217, MB_OK);
}

void OutDetailPage::OnNotify(const CStdString& type, const CStdString& name, TNotifyUI& msg) {
  if (type == "selectchanged") {
    auto* option = dynamic_cast<COptionUI*>(msg.pSender);
    if (option == nullptr) return;
    if (option == open_.option) SetPairLive(open_, option->IsSelected());
    else if (option == permission_.option) SetPairLive(permission_, option->IsSelected());
    else if (option == line_out_) line_state_ = option->IsSelected();
  } else if (type == "click") {
    if (Is(name, "btnclose") || Is(name, "btnCancel")) CloseAndEnableOwner();
    else if (Is(name, "btnmin")) Minimize();
    else if (Is(name, "BtnStoreSet")) Store();
  }
}

// ---- password prompt ----

void PWPage::InitWindow() {
  if (auto* edit = Find<CEditUI>("inputpw")) edit->SetPasswordMode(true);
}

void PWPage::OnNotify(const CStdString& type, const CStdString& name, TNotifyUI&) {
  // "OK" has no effect: no request takes a password.
  if (type == "click" && (Is(name, "Cancel") || Is(name, "closebtn"))) CloseAndEnableOwner();
}

// ---- file information ----

void DocinfoPage::InitWindow() {
  try {
    struct Slot {
      const char* label;
      QString text;
    };
    ExtractOptionsV4 options{};
    // The properties come in the charset asked for: UTF-8, the narrow text
    // of this platform.
    std::snprintf(options.charset, sizeof options.charset, "%s", "UTF-8");
    std::snprintf(options.language, sizeof options.language, "%s", "Simplified Chinese");
    options.big_endian = 1;
    options.flags_a = 8;
    auto record = std::make_unique<DocPropertyRecord>();
    std::memset(record.get(), 0, sizeof *record);
    Extraction().GetProperty(source_, &options, record.get());
    const Slot fields[] = {
        {"TITLE", FieldText(record->title)},       {"SUBJECT", FieldText(record->subject)},
        {"AUTHOR", FieldText(record->author)},     {"MANAGER", FieldText(record->manager)},
        {"COMPANY", FieldText(record->company)},   {"CATEGORY", FieldText(record->category)},
        {"KEYWORD", FieldText(record->keywords)},  {"COMMENT", FieldText(record->comment)},
    };
    for (const Slot& slot : fields)
      if (CControlUI* label = Find(slot.label)) label->SetText(slot.text);
  } catch (...) {
    ShowLangMessageBox(GetHWND(), 227, 190, MB_OK);
  }
}

void DocinfoPage::OnNotify(const CStdString& type, const CStdString& name, TNotifyUI&) {
  if (type == "click" && (Is(name, "btnclose") || Is(name, "btnOK"))) CloseAndEnableOwner();
}

}  // namespace shapeglean
