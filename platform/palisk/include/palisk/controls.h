// The controls of a DirectUI layout. Each control owns one Qt widget (a row
// element of a list owns none) and knows its name, its parent and its paint
// manager, to which it reports user actions as notifications ("click",
// "selectchanged", "itemselect", "itemactivate", "itemclick",
// "headerclick", "menu", "killfocus"). Options and combos report every
// change of state, also the changes made by code.
//
// SetMouseEnabled(false) leaves a control looking as it was but deaf: no
// mouse, no keyboard activation, no focus.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "palisk/string.h"
#include "palisk/types.h"

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QTextEdit;
class QTreeView;

namespace palisk {

class CPaintManagerUI;
class CListUI;

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  virtual CStdString GetClass() const { return "ControlUI"; }
  const CStdString& GetName() const { return name_; }
  void SetName(const CStdString& name);

  virtual CStdString GetText() const { return text_; }
  virtual void SetText(const CStdString& text);
  void SetToolTip(const CStdString& text);

  virtual void SetEnabled(bool enabled);
  bool IsEnabled() const { return enabled_; }
  virtual void SetMouseEnabled(bool enabled);
  bool IsMouseEnabled() const { return mouse_enabled_; }
  void SetVisible(bool visible);
  bool IsVisible() const;
  void SetFocus();
  bool IsFocused() const;

  // Background and text colours as 0xAARRGGBB; 0 leaves the style's own.
  void SetBkColor(uint32_t argb);
  uint32_t GetBkColor() const { return bk_color_; }
  void SetTextColor(uint32_t argb);

  // Repaints the control with its current data.
  virtual void NeedUpdate();

  // Position relative to the parent control: left, top, right, bottom.
  void SetPos(const RECT& pos);
  RECT GetPos() const;

  CPaintManagerUI* GetManager() const { return manager_; }
  CControlUI* GetParent() const { return parent_; }
  QWidget* GetWidget() const { return widget_; }

  // Layout attribute by name ("name", "pos", "text", "tooltip", "bkcolor",
  // "textcolor", "enabled", "visible", "style", "font", "align", and each
  // class's own).
  virtual void SetAttribute(const QString& name, const QString& value);
  // This control or one below it named `name` (ASCII case ignored).
  virtual CControlUI* FindControl(const CStdString& name);
  virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent);

  // The control that owns `widget`, or null.
  static CControlUI* FromWidget(const QWidget* widget);

 protected:
  void SetWidget(QWidget* widget);
  // The widgets that take input for this control (default: its widget).
  virtual std::vector<QWidget*> InputWidgets() const;
  void Notify(const char* type, WPARAM wparam = 0, LPARAM lparam = 0, CControlUI* sender = nullptr);
  void ApplyColors();

  QPointer<QWidget> widget_;
  CStdString name_;
  CStdString text_;
  CPaintManagerUI* manager_ = nullptr;
  CControlUI* parent_ = nullptr;
  bool enabled_ = true;
  bool mouse_enabled_ = true;
  uint32_t bk_color_ = 0;
  uint32_t text_color_ = 0;
  std::vector<Qt::FocusPolicy> saved_focus_;
};

// A control holding others at fixed positions.
class CContainerUI : public CControlUI {
 public:
  CContainerUI();
  ~CContainerUI() override;
  CStdString GetClass() const override { return "ContainerUI"; }
  bool Add(CControlUI* child);
  bool Remove(CControlUI* child);
  void RemoveAll();
  int GetCount() const { return static_cast<int>(children_.size()); }
  CControlUI* GetItemAt(int index) const;
  CControlUI* FindControl(const CStdString& name) override;
  void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;

 protected:
  std::vector<CControlUI*> children_;
};

class CLabelUI : public CControlUI {
 public:
  CLabelUI();
  CStdString GetClass() const override { return "LabelUI"; }
  void SetText(const CStdString& text) override;
  void SetAttribute(const QString& name, const QString& value) override;
};

class CButtonUI : public CControlUI {
 public:
  CButtonUI();
  CStdString GetClass() const override { return "ButtonUI"; }
  void SetText(const CStdString& text) override;
  // Clicks the button as the user would (sends "click").
  void Activate();

 protected:
  const char* click_type_ = "click";
};

// An item of a pop-up menu: a button whose click sends "itemclick".
class CMenuItemUI : public CButtonUI {
 public:
  CMenuItemUI() { click_type_ = "itemclick"; }
  CStdString GetClass() const override { return "MenuElementUI"; }
};

// A check box, or a radio button when it has a "group".
class COptionUI : public CControlUI {
 public:
  COptionUI();
  CStdString GetClass() const override { return "OptionUI"; }
  void SetText(const CStdString& text) override;
  void SetAttribute(const QString& name, const QString& value) override;
  void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;
  bool IsSelected() const;
  void Selected(bool selected);
  const CStdString& GetGroup() const { return group_; }

 private:
  QAbstractButton* button() const;
  CStdString group_;
};

class CEditUI : public CControlUI {
 public:
  CEditUI();
  CStdString GetClass() const override { return "EditUI"; }
  CStdString GetText() const override;
  void SetText(const CStdString& text) override;
  void SetReadOnly(bool read_only);
  bool IsReadOnly() const;
  void SetPasswordMode(bool password);
  void SetMaxChar(int count);
  void SetAttribute(const QString& name, const QString& value) override;

 private:
  QLineEdit* edit() const;
};

class CRichEditUI : public CControlUI {
 public:
  CRichEditUI();
  CStdString GetClass() const override { return "RichEditUI"; }
  CStdString GetText() const override;
  void SetText(const CStdString& text) override;
  void AppendText(const CStdString& text);

 private:
  QTextEdit* edit() const;
};

// A drop-down list. Its text (SetText/GetText) is kept apart from its
// entries; selecting an entry sends "itemselect".
class CComboUI : public CControlUI {
 public:
  CComboUI();
  CStdString GetClass() const override { return "ComboUI"; }
  void SetText(const CStdString& text) override { text_ = text; }
  bool Add(const CStdString& entry);
  void RemoveAll();
  int GetCount() const;
  int GetCurSel() const;
  bool SelectItem(int index);
  CStdString GetItemText(int index) const;
  void SetAttribute(const QString& name, const QString& value) override;

 private:
  QComboBox* combo() const;
};

// The text of a list's cells, asked for by the list when it paints.
class IListCallbackUI {
 public:
  virtual ~IListCallbackUI() = default;
  virtual CStdString GetItemText(CControlUI* element, int item, int sub_item) = 0;
};

// A column header of a list: a button that sends "headerclick".
class CListHeaderItemUI : public CControlUI {
 public:
  CListHeaderItemUI();
  CStdString GetClass() const override { return "ListHeaderItemUI"; }
  void SetText(const CStdString& text) override;
  void SetAttribute(const QString& name, const QString& value) override;
  int GetWidth() const { return width_; }
  void Activate();

 private:
  int width_ = 100;
};

// One row of a list; the list asks its callback for the cell texts.
class CListTextElementUI : public CControlUI {
 public:
  CStdString GetClass() const override { return "ListTextElementUI"; }
  CListUI* GetOwner() const { return owner_; }
  int GetIndex() const;

 private:
  friend class CListUI;
  CListUI* owner_ = nullptr;
};

class CListUI : public CControlUI {
 public:
  CListUI();
  ~CListUI() override;
  CStdString GetClass() const override { return "ListUI"; }

  void SetTextCallback(IListCallbackUI* callback);
  IListCallbackUI* GetTextCallback() const { return callback_; }

  // Rows: the list owns the elements added to it.
  bool Add(CListTextElementUI* row);
  bool RemoveAt(int index);
  void RemoveAll();
  int GetCount() const { return static_cast<int>(rows_.size()); }
  CListTextElementUI* GetItemAt(int index) const;
  int GetItemIndex(const CControlUI* row) const;
  int GetCurSel() const;
  bool SelectItem(int index);

  // Headers, in column order.
  void AddHeader(CListHeaderItemUI* header);
  int GetHeaderCount() const { return static_cast<int>(headers_.size()); }
  CListHeaderItemUI* GetHeaderAt(int index) const;

  void NeedUpdate() override;
  CControlUI* FindControl(const CStdString& name) override;
  void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;
  QTreeView* View() const { return view_; }

  // The text the list shows in a cell (the callback's, else the row's).
  CStdString CellText(int row, int column) const;

 protected:
  std::vector<QWidget*> InputWidgets() const override;

 private:
  class Model;
  friend class Model;
  void Relayout();

  IListCallbackUI* callback_ = nullptr;
  std::vector<CListTextElementUI*> rows_;
  std::vector<CListHeaderItemUI*> headers_;
  QWidget* header_bar_ = nullptr;
  QTreeView* view_ = nullptr;
  Model* model_ = nullptr;
  bool quiet_ = false;  // no "itemselect" while rows change
};

}  // namespace palisk
