// The six dialogs of the main window: the About box, the language choice,
// the detail settings (default encoding and language), the output details
// (output passwords and line output), the password prompt and the file
// information of a listed drawing.
//
// Each is a frameless top-level window owned by the main window, built
// from its skin layout by one base (MivoWindowImplBase), centred on the
// main window, and dragged by its caption band. While one is open the
// main window's content takes no input (not for the password prompt);
// closing a dialog gives it back. A dialog deletes itself when its window
// ends, and the main window closes those still open when it ends.
#pragma once

#include <string>
#include <utility>

#include "palisk/palisk.h"
#include "ui/quandel_mivo_wnd.h"

namespace shapeglean {

class MivoWindowImplBase : public palisk::CWindowWnd,
                           public palisk::INotifyUI,
                           public palisk::IDialogBuilderCallback {
 public:
  explicit MivoWindowImplBase(QuandelMivoWnd* owner) : owner_(owner) {}
  ~MivoWindowImplBase() override;

  // Creates the window over its owner, centred, and shows it.
  void Open();
  palisk::CPaintManagerUI& Manager() { return pm_; }
  palisk::CControlUI* CreateControl(const CStdString&) override { return nullptr; }
  void Notify(palisk::TNotifyUI& msg) override;

 protected:
  palisk::UINT GetClassStyle() const override { return 0; }
  palisk::LRESULT HandleMessage(palisk::UINT msg, palisk::WPARAM wparam, palisk::LPARAM lparam) override;
  void OnFinalMessage(palisk::HWND hwnd) override;

  virtual palisk::LRESULT OnNcActivate(palisk::WPARAM wparam, bool& handled);
  virtual palisk::LRESULT OnNcCalcSize() { return 0; }
  virtual palisk::LRESULT OnNcHitTest(palisk::LPARAM lparam);
  virtual void OnCreate();
  virtual CStdString GetSkinFolder();
  virtual CStdString GetSkinFile() = 0;
  // The window's name at creation.
  virtual const char* GetWindowName() const = 0;
  virtual bool DisablesOwner() const { return true; }
  virtual void InitWindow() {}
  // A notification of the dialog's own controls ("click" and so on).
  virtual void OnNotify(const CStdString& type, const CStdString& name, palisk::TNotifyUI& msg) = 0;

  // Gives the main window its input back and closes the dialog.
  void CloseAndEnableOwner();
  void Minimize();
  template <typename T = palisk::CControlUI>
  T* Find(const char* name) {
    return dynamic_cast<T*>(pm_.FindControl(name));
  }

  QuandelMivoWnd* owner_;
  palisk::CPaintManagerUI pm_;
};

class MivoAboutDialog : public MivoWindowImplBase {
 public:
  using MivoWindowImplBase::MivoWindowImplBase;

 protected:
  const char* GetWindowClassName() const override { return "MivoAboutDialog"; }
  CStdString GetSkinFile() override { return "about_wnd.xml"; }
  const char* GetWindowName() const override { return "AboutDialog"; }
  void InitWindow() override;
  void OnNotify(const CStdString& type, const CStdString& name, palisk::TNotifyUI& msg) override;
};

class Mivolanguage : public MivoWindowImplBase {
 public:
  using MivoWindowImplBase::MivoWindowImplBase;

 protected:
  const char* GetWindowClassName() const override { return "LanguageChoose"; }
  CStdString GetSkinFile() override { return "LanguageChoose.xml"; }
  const char* GetWindowName() const override { return "Mivolanguage"; }
  void InitWindow() override;
  void OnNotify(const CStdString& type, const CStdString& name, palisk::TNotifyUI& msg) override;
};

class DetailPage : public MivoWindowImplBase, public palisk::IListCallbackUI {
 public:
  using MivoWindowImplBase::MivoWindowImplBase;
  CStdString GetItemText(palisk::CControlUI* element, int, int) override {
    return element ? element->GetText() : CStdString();
  }

 protected:
  const char* GetWindowClassName() const override { return "DetailPage"; }
  CStdString GetSkinFile() override { return "mivosetstate3.xml"; }
  const char* GetWindowName() const override { return "DetailDialog"; }
  palisk::LRESULT HandleMessage(palisk::UINT msg, palisk::WPARAM wparam, palisk::LPARAM lparam) override;
  void InitWindow() override;
  void OnNotify(const CStdString& type, const CStdString& name, palisk::TNotifyUI& msg) override;

 private:
  palisk::CComboUI* encoding_ = nullptr;  // "ComboUI1"
  palisk::CComboUI* language_ = nullptr;  // "ComboUI2"
};

class OutDetailPage : public MivoWindowImplBase {
 public:
  using MivoWindowImplBase::MivoWindowImplBase;

 protected:
  const char* GetWindowClassName() const override { return "ChatDialog"; }
  CStdString GetSkinFile() override { return "OutDetail.xml"; }
  const char* GetWindowName() const override { return "MoreSetDialog"; }
  void InitWindow() override;
  void OnNotify(const CStdString& type, const CStdString& name, palisk::TNotifyUI& msg) override;

 private:
  struct PasswordPair {
    palisk::COptionUI* option = nullptr;
    palisk::CEditUI* edit = nullptr;
    palisk::CEditUI* confirm = nullptr;
    palisk::CControlUI* label = nullptr;
  };
  void SetPairLive(PasswordPair& pair, bool live);
  // Checks one pair; false (after its message) when the dialog must stay.
  bool TakePassword(PasswordPair& pair, int empty_message, int differ_message, void (QuandelMivoWnd::*keep)(const QString&));
  void Store();

  PasswordPair open_, permission_;
  palisk::COptionUI* line_out_ = nullptr;
  bool line_state_ = false;  // as "OpLineOut" last reported it
};

class PWPage : public MivoWindowImplBase {
 public:
  using MivoWindowImplBase::MivoWindowImplBase;

 protected:
  const char* GetWindowClassName() const override { return "PWPage"; }
  CStdString GetSkinFile() override { return "Password.xml"; }
  const char* GetWindowName() const override { return "PasswordDialog"; }
  bool DisablesOwner() const override { return false; }
  void InitWindow() override;
  void OnNotify(const CStdString& type, const CStdString& name, palisk::TNotifyUI& msg) override;
};

class DocinfoPage : public MivoWindowImplBase {
 public:
  DocinfoPage(QuandelMivoWnd* owner, std::string source) : MivoWindowImplBase(owner), source_(std::move(source)) {}

 protected:
  const char* GetWindowClassName() const override { return "FileInfoDialog"; }
  CStdString GetSkinFile() override { return "FileInfo.xml"; }
  const char* GetWindowName() const override { return "FileInfoDialog"; }
  void InitWindow() override;
  void OnNotify(const CStdString& type, const CStdString& name, palisk::TNotifyUI& msg) override;

 private:
  std::string source_;
};

// Opens a dialog of the main window.
template <typename Dialog, typename... Args>
Dialog* OpenDialog(QuandelMivoWnd* owner, Args&&... args) {
  auto* dialog = new Dialog(owner, std::forward<Args>(args)...);
  dialog->Open();
  return dialog;
}

}  // namespace shapeglean
