// The controls (see controls.h). Each wraps one Qt widget and turns the
// widget's signals into the library's notifications through its manager.
#include "palisk/controls.h"

#include <algorithm>

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QTreeView>
#include <QVBoxLayout>

#include "palisk/manager.h"
#include "palisk/window.h"

namespace palisk {
namespace {

constexpr char kControlProperty[] = "paliskControl";

QColor ColorOf(uint32_t argb) {
  return QColor(static_cast<int>((argb >> 16) & 0xFF), static_cast<int>((argb >> 8) & 0xFF),
                static_cast<int>(argb & 0xFF), static_cast<int>(argb >> 24));
}

uint32_t ParseColor(const QString& text) {
  QString t = text.trimmed();
  if (t.startsWith('#')) t = t.mid(1);
  bool ok = false;
  uint32_t value = t.toUInt(&ok, 16);
  if (!ok) return 0;
  if (t.size() <= 6) value |= 0xFF000000u;
  return value;
}

bool ParseBool(const QString& text) { return text.compare("true", Qt::CaseInsensitive) == 0; }

Qt::Alignment ParseAlign(const QString& text) {
  Qt::Alignment align = Qt::AlignVCenter;
  if (text.contains("center")) align |= Qt::AlignHCenter;
  else if (text.contains("right")) align |= Qt::AlignRight;
  else align |= Qt::AlignLeft;
  if (text.contains("top")) align = (align & ~Qt::AlignVertical_Mask) | Qt::AlignTop;
  return align;
}

}  // namespace

// ---- CControlUI ----

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
  if (widget_) delete widget_.data();
}

void CControlUI::SetWidget(QWidget* widget) {
  widget_ = widget;
  widget->setProperty(kControlProperty, QVariant::fromValue(static_cast<void*>(this)));
}

CControlUI* CControlUI::FromWidget(const QWidget* widget) {
  for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    QVariant v = w->property(kControlProperty);
    if (v.isValid()) return static_cast<CControlUI*>(v.value<void*>());
  }
  return nullptr;
}

std::vector<QWidget*> CControlUI::InputWidgets() const {
  if (!widget_) return {};
  return {widget_.data()};
}

void CControlUI::SetName(const CStdString& name) {
  name_ = name;
  if (widget_) widget_->setObjectName(name);  // style sheets address controls by name
}

void CControlUI::SetText(const CStdString& text) { text_ = text; }

void CControlUI::SetToolTip(const CStdString& text) {
  if (widget_) widget_->setToolTip(text);
}

void CControlUI::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (widget_) widget_->setEnabled(enabled);
}

void CControlUI::SetMouseEnabled(bool enabled) {
  if (enabled == mouse_enabled_) return;
  mouse_enabled_ = enabled;
  std::vector<QWidget*> widgets = InputWidgets();
  if (!enabled) saved_focus_.clear();
  for (size_t i = 0; i < widgets.size(); ++i) {
    QWidget* w = widgets[i];
    w->setAttribute(Qt::WA_TransparentForMouseEvents, !enabled);
    if (!enabled) {
      saved_focus_.push_back(w->focusPolicy());
      w->setFocusPolicy(Qt::NoFocus);
      if (w->hasFocus()) w->clearFocus();
    } else if (i < saved_focus_.size()) {
      w->setFocusPolicy(saved_focus_[i]);
    }
  }
}

void CControlUI::SetVisible(bool visible) {
  if (widget_) widget_->setVisible(visible);
}

bool CControlUI::IsVisible() const { return widget_ && !widget_->isHidden(); }

void CControlUI::SetFocus() {
  if (widget_ && mouse_enabled_) widget_->setFocus(Qt::OtherFocusReason);
}

bool CControlUI::IsFocused() const { return widget_ && widget_->hasFocus(); }

void CControlUI::ApplyColors() {
  if (!widget_) return;
  QPalette palette = widget_->palette();
  if (bk_color_ != 0) {
    palette.setColor(QPalette::Window, ColorOf(bk_color_));
    palette.setColor(QPalette::Base, ColorOf(bk_color_));
    palette.setColor(QPalette::Button, ColorOf(bk_color_));
    widget_->setAutoFillBackground(true);
  }
  if (text_color_ != 0) {
    palette.setColor(QPalette::WindowText, ColorOf(text_color_));
    palette.setColor(QPalette::Text, ColorOf(text_color_));
    palette.setColor(QPalette::ButtonText, ColorOf(text_color_));
  }
  widget_->setPalette(palette);
}

void CControlUI::SetBkColor(uint32_t argb) {
  bk_color_ = argb;
  ApplyColors();
}

void CControlUI::SetTextColor(uint32_t argb) {
  text_color_ = argb;
  ApplyColors();
}

void CControlUI::NeedUpdate() {
  if (widget_) widget_->update();
}

void CControlUI::SetPos(const RECT& pos) {
  if (widget_) widget_->setGeometry(pos.left, pos.top, pos.Width(), pos.Height());
}

RECT CControlUI::GetPos() const {
  if (!widget_) return {};
  QRect r = widget_->geometry();
  return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void CControlUI::SetAttribute(const QString& name, const QString& value) {
  if (name == "name") {
    SetName(value);
  } else if (name == "pos") {
    // x,y,width,height
    QStringList parts = value.split(',');
    if (parts.size() == 4) {
      int x = parts[0].trimmed().toInt(), y = parts[1].trimmed().toInt();
      SetPos({x, y, x + parts[2].trimmed().toInt(), y + parts[3].trimmed().toInt()});
    }
  } else if (name == "text") {
    SetText(value);
  } else if (name == "tooltip") {
    SetToolTip(value);
  } else if (name == "bkcolor") {
    SetBkColor(ParseColor(value));
  } else if (name == "textcolor") {
    SetTextColor(ParseColor(value));
  } else if (name == "enabled") {
    SetEnabled(ParseBool(value));
  } else if (name == "mouse") {
    SetMouseEnabled(ParseBool(value));
  } else if (name == "visible") {
    SetVisible(ParseBool(value));
  } else if (name == "style" && widget_) {
    widget_->setStyleSheet(value);
  } else if (name == "font" && widget_) {
    // "size[,bold]"
    QFont font = widget_->font();
    QStringList parts = value.split(',');
    if (!parts.isEmpty() && parts[0].toDouble() > 0) font.setPointSizeF(parts[0].toDouble());
    font.setBold(parts.contains("bold"));
    widget_->setFont(font);
  }
}

CControlUI* CControlUI::FindControl(const CStdString& name) {
  return (!name.isEmpty() && name_.CompareNoCase(name) == 0) ? this : nullptr;
}

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
  manager_ = manager;
  parent_ = parent;
}

void CControlUI::Notify(const char* type, WPARAM wparam, LPARAM lparam, CControlUI* sender) {
  if (manager_ == nullptr) return;
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = sender ? sender : this;
  msg.wParam = wparam;
  msg.lParam = lparam;
  if (HWND hwnd = manager_->GetPaintWindow()) {
    QPoint p = hwnd->mapFromGlobal(QCursor::pos());
    msg.ptMouse = {p.x(), p.y()};
  }
  manager_->SendNotify(msg);
}

// ---- CContainerUI ----

CContainerUI::CContainerUI() { SetWidget(new QWidget()); }

CContainerUI::~CContainerUI() { RemoveAll(); }

bool CContainerUI::Add(CControlUI* child) {
  if (child == nullptr) return false;
  children_.push_back(child);
  if (child->GetWidget()) {
    QRect geometry = child->GetWidget()->geometry();
    child->GetWidget()->setParent(widget_);
    child->GetWidget()->setGeometry(geometry);
    child->GetWidget()->show();
  }
  child->SetManager(manager_, this);
  return true;
}

bool CContainerUI::Remove(CControlUI* child) {
  auto it = std::find(children_.begin(), children_.end(), child);
  if (it == children_.end()) return false;
  children_.erase(it);
  delete child;
  return true;
}

void CContainerUI::RemoveAll() {
  std::vector<CControlUI*> children;
  children.swap(children_);
  for (CControlUI* child : children) delete child;
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return children_[static_cast<size_t>(index)];
}

CControlUI* CContainerUI::FindControl(const CStdString& name) {
  if (CControlUI* self = CControlUI::FindControl(name)) return self;
  for (CControlUI* child : children_)
    if (CControlUI* found = child->FindControl(name)) return found;
  return nullptr;
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
  CControlUI::SetManager(manager, parent);
  for (CControlUI* child : children_) child->SetManager(manager, this);
}

// ---- CLabelUI ----

CLabelUI::CLabelUI() {
  auto* label = new QLabel();
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  SetWidget(label);
}

void CLabelUI::SetText(const CStdString& text) {
  text_ = text;
  static_cast<QLabel*>(widget_.data())->setText(text);
}

void CLabelUI::SetAttribute(const QString& name, const QString& value) {
  auto* label = static_cast<QLabel*>(widget_.data());
  if (name == "align") label->setAlignment(ParseAlign(value));
  else if (name == "wordwrap") label->setWordWrap(ParseBool(value));
  else CControlUI::SetAttribute(name, value);
}

// ---- CButtonUI ----

CButtonUI::CButtonUI() {
  auto* button = new QPushButton();
  button->setFocusPolicy(Qt::TabFocus);
  QObject::connect(button, &QPushButton::clicked, [this] { Notify(click_type_); });
  SetWidget(button);
}

void CButtonUI::SetText(const CStdString& text) {
  text_ = text;
  static_cast<QPushButton*>(widget_.data())->setText(text);
}

void CButtonUI::Activate() {
  if (enabled_ && mouse_enabled_) static_cast<QPushButton*>(widget_.data())->click();
}

// ---- COptionUI ----

COptionUI::COptionUI() {
  auto* box = new QCheckBox();
  SetWidget(box);
  QObject::connect(box, &QAbstractButton::toggled, [this] { Notify("selectchanged"); });
}

QAbstractButton* COptionUI::button() const { return static_cast<QAbstractButton*>(widget_.data()); }

void COptionUI::SetText(const CStdString& text) {
  text_ = text;
  button()->setText(text);
}

void COptionUI::SetAttribute(const QString& name, const QString& value) {
  if (name == "group") {
    // A grouped option is a radio button: selecting one deselects the
    // others of its group (see SetManager).
    group_ = value;
    QRect geometry = widget_->geometry();
    QString text = button()->text();
    delete widget_.data();
    auto* radio = new QRadioButton(text);
    radio->setObjectName(name_);
    radio->setAutoExclusive(false);
    radio->setGeometry(geometry);
    SetWidget(radio);
    QObject::connect(radio, &QAbstractButton::toggled, [this](bool on) {
      if (on && manager_ != nullptr && parent_ != nullptr) {
        // Deselect the rest of the group first, as the user expects.
        if (auto* container = dynamic_cast<CContainerUI*>(parent_))
          for (int i = 0; i < container->GetCount(); ++i)
            if (auto* other = dynamic_cast<COptionUI*>(container->GetItemAt(i)))
              if (other != this && other->group_ == group_ && other->IsSelected()) other->Selected(false);
      }
      Notify("selectchanged");
    });
  } else if (name == "selected") {
    Selected(ParseBool(value));
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

void COptionUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
  CControlUI::SetManager(manager, parent);
}

bool COptionUI::IsSelected() const { return button()->isChecked(); }

void COptionUI::Selected(bool selected) { button()->setChecked(selected); }

// ---- CEditUI ----

namespace {
class FocusLineEdit : public QLineEdit {
 public:
  std::function<void()> on_focus_out;

 protected:
  void focusOutEvent(QFocusEvent* event) override {
    QLineEdit::focusOutEvent(event);
    if (on_focus_out) on_focus_out();
  }
};
}  // namespace

CEditUI::CEditUI() {
  auto* edit = new FocusLineEdit();
  edit->on_focus_out = [this] { Notify("killfocus"); };
  SetWidget(edit);
}

QLineEdit* CEditUI::edit() const { return static_cast<QLineEdit*>(widget_.data()); }
CStdString CEditUI::GetText() const { return edit()->text(); }
void CEditUI::SetText(const CStdString& text) {
  text_ = text;
  edit()->setText(text);
  edit()->setCursorPosition(0);
}
void CEditUI::SetReadOnly(bool read_only) { edit()->setReadOnly(read_only); }
bool CEditUI::IsReadOnly() const { return edit()->isReadOnly(); }
void CEditUI::SetPasswordMode(bool password) {
  edit()->setEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
}
void CEditUI::SetMaxChar(int count) { edit()->setMaxLength(count); }

void CEditUI::SetAttribute(const QString& name, const QString& value) {
  if (name == "readonly") SetReadOnly(ParseBool(value));
  else if (name == "password") SetPasswordMode(ParseBool(value));
  else if (name == "maxchar") SetMaxChar(value.toInt());
  else CControlUI::SetAttribute(name, value);
}

// ---- CRichEditUI ----

CRichEditUI::CRichEditUI() {
  auto* edit = new QTextEdit();
  edit->setReadOnly(true);
  SetWidget(edit);
}
QTextEdit* CRichEditUI::edit() const { return static_cast<QTextEdit*>(widget_.data()); }
CStdString CRichEditUI::GetText() const { return edit()->toPlainText(); }
void CRichEditUI::SetText(const CStdString& text) { edit()->setPlainText(text); }
void CRichEditUI::AppendText(const CStdString& text) {
  edit()->moveCursor(QTextCursor::End);
  edit()->insertPlainText(text);
}

// ---- CComboUI ----

CComboUI::CComboUI() {
  auto* combo = new QComboBox();
  combo->setFocusPolicy(Qt::StrongFocus);
  QObject::connect(combo, &QComboBox::currentIndexChanged, [this](int index) {
    if (index >= 0) Notify("itemselect", static_cast<WPARAM>(index));
  });
  SetWidget(combo);
}

QComboBox* CComboUI::combo() const { return static_cast<QComboBox*>(widget_.data()); }

bool CComboUI::Add(const CStdString& entry) {
  QSignalBlocker block(combo());  // adding the first entry selects nothing
  combo()->addItem(entry);
  combo()->setCurrentIndex(-1);
  return true;
}

void CComboUI::RemoveAll() {
  QSignalBlocker block(combo());
  combo()->clear();
}

int CComboUI::GetCount() const { return combo()->count(); }
int CComboUI::GetCurSel() const { return combo()->currentIndex(); }

bool CComboUI::SelectItem(int index) {
  if (index < 0 || index >= combo()->count()) return false;
  if (combo()->currentIndex() == index) {
    // Selecting the selected entry again still reports it.
    Notify("itemselect", static_cast<WPARAM>(index));
    return true;
  }
  combo()->setCurrentIndex(index);
  return true;
}

CStdString CComboUI::GetItemText(int index) const { return combo()->itemText(index); }

void CComboUI::SetAttribute(const QString& name, const QString& value) {
  if (name == "item") Add(value);
  else CControlUI::SetAttribute(name, value);
}

// ---- CListHeaderItemUI ----

CListHeaderItemUI::CListHeaderItemUI() {
  auto* button = new QPushButton();
  button->setFocusPolicy(Qt::NoFocus);
  button->setProperty("listHeader", true);
  QObject::connect(button, &QPushButton::clicked, [this] { Notify("headerclick"); });
  SetWidget(button);
}

void CListHeaderItemUI::SetText(const CStdString& text) {
  text_ = text;
  static_cast<QPushButton*>(widget_.data())->setText(text);
}

void CListHeaderItemUI::SetAttribute(const QString& name, const QString& value) {
  if (name == "width") width_ = std::max(8, value.toInt());
  else CControlUI::SetAttribute(name, value);
}

void CListHeaderItemUI::Activate() {
  if (mouse_enabled_) static_cast<QPushButton*>(widget_.data())->click();
}

int CListTextElementUI::GetIndex() const { return owner_ ? owner_->GetItemIndex(this) : -1; }

// ---- CListUI ----

class CListUI::Model : public QAbstractTableModel {
 public:
  explicit Model(CListUI* list) : list_(list) {}
  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : list_->GetCount(); }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : std::max(1, list_->GetHeaderCount());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    return QString(list_->CellText(index.row(), index.column()));
  }
  void BeginInsert(int row) { beginInsertRows({}, row, row); }
  void EndInsert() { endInsertRows(); }
  void BeginRemove(int first, int last) { beginRemoveRows({}, first, last); }
  void EndRemove() { endRemoveRows(); }
  void Refresh() {
    if (rowCount({}) > 0) emit dataChanged(index(0, 0), index(rowCount({}) - 1, columnCount({}) - 1));
  }
  void ResetAll() {
    beginResetModel();
    endResetModel();
  }

 private:
  CListUI* list_;
};

namespace {
class ListFrame : public QWidget {
 public:
  std::function<void()> on_resize;

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    if (on_resize) on_resize();
  }
};

class ListView : public QTreeView {
 public:
  std::function<void(QPoint)> on_menu;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override {
    if (on_menu) on_menu(event->globalPos());
  }
};
}  // namespace

CListUI::CListUI() {
  auto* frame = new ListFrame();
  frame->on_resize = [this] { Relayout(); };
  frame->setObjectName("paliskList");
  header_bar_ = new QWidget(frame);
  header_bar_->setObjectName("paliskListHeader");
  auto* view = new ListView();
  view->setParent(frame);
  view_ = view;
  model_ = new Model(this);
  view_->setModel(model_);
  view_->setHeaderHidden(true);
  view_->setRootIsDecorated(false);
  view_->setUniformRowHeights(true);
  view_->setAllColumnsShowFocus(true);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setTextElideMode(Qt::ElideMiddle);
  view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view_->header()->setStretchLastSection(true);
  QObject::connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged,
                   [this](const QModelIndex& current, const QModelIndex&) {
                     if (!quiet_ && current.isValid()) Notify("itemselect", static_cast<WPARAM>(current.row()));
                   });
  QObject::connect(view_, &QAbstractItemView::doubleClicked, [this](const QModelIndex& index) {
    if (CListTextElementUI* row = GetItemAt(index.row())) Notify("itemactivate", 0, 0, row);
  });
  QObject::connect(view_, &QAbstractItemView::clicked, [this](const QModelIndex& index) {
    if (CListTextElementUI* row = GetItemAt(index.row())) Notify("itemclick", 0, 0, row);
  });
  view->on_menu = [this](QPoint) { Notify("menu"); };
  SetWidget(frame);
  Relayout();
}

CListUI::~CListUI() {
  view_->setModel(nullptr);
  delete model_;
  for (CListTextElementUI* row : rows_) delete row;
  for (CListHeaderItemUI* header : headers_) delete header;
}

std::vector<QWidget*> CListUI::InputWidgets() const {
  std::vector<QWidget*> widgets{view_, view_->viewport()};
  for (CListHeaderItemUI* header : headers_) widgets.push_back(header->GetWidget());
  return widgets;
}

void CListUI::Relayout() {
  QWidget* frame = widget_;
  const int header_height = headers_.empty() ? 0 : 24;
  header_bar_->setGeometry(0, 0, frame->width(), header_height);
  view_->setGeometry(0, header_height, frame->width(), std::max(0, frame->height() - header_height));
  int x = 0;
  for (size_t i = 0; i < headers_.size(); ++i) {
    int width = headers_[i]->GetWidth();
    if (i + 1 == headers_.size()) width = std::max(width, frame->width() - x);
    headers_[i]->GetWidget()->setGeometry(x, 0, width, header_height);
    // The last column fills what the view has left (scroll bar, frame).
    if (i + 1 < headers_.size()) view_->setColumnWidth(static_cast<int>(i), width);
    x += width;
  }
}

void CListUI::SetTextCallback(IListCallbackUI* callback) {
  callback_ = callback;
  NeedUpdate();
}

CStdString CListUI::CellText(int row, int column) const {
  CListTextElementUI* element = GetItemAt(row);
  if (element == nullptr) return {};
  if (callback_ != nullptr) return callback_->GetItemText(element, row, column);
  return element->GetText();
}

bool CListUI::Add(CListTextElementUI* row) {
  if (row == nullptr || row->owner_ != nullptr) return false;
  row->owner_ = this;
  row->SetManager(manager_, this);
  quiet_ = true;
  model_->BeginInsert(GetCount());
  rows_.push_back(row);
  model_->EndInsert();
  quiet_ = false;
  return true;
}

bool CListUI::RemoveAt(int index) {
  if (index < 0 || index >= GetCount()) return false;
  quiet_ = true;
  model_->BeginRemove(index, index);
  CListTextElementUI* row = rows_[static_cast<size_t>(index)];
  rows_.erase(rows_.begin() + index);
  model_->EndRemove();
  quiet_ = false;
  delete row;
  return true;
}

void CListUI::RemoveAll() {
  std::vector<CListTextElementUI*> rows;
  rows.swap(rows_);
  quiet_ = true;
  model_->ResetAll();
  quiet_ = false;
  for (CListTextElementUI* row : rows) delete row;
}

CListTextElementUI* CListUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return rows_[static_cast<size_t>(index)];
}

int CListUI::GetItemIndex(const CControlUI* row) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i] == row) return static_cast<int>(i);
  return -1;
}

int CListUI::GetCurSel() const {
  QModelIndex current = view_->currentIndex();
  if (!current.isValid() || !view_->selectionModel()->isRowSelected(current.row(), {})) return -1;
  return current.row();
}

bool CListUI::SelectItem(int index) {
  if (index < 0 || index >= GetCount()) return false;
  view_->setCurrentIndex(model_->index(index, 0));
  view_->scrollTo(model_->index(index, 0));
  return true;
}

void CListUI::AddHeader(CListHeaderItemUI* header) {
  headers_.push_back(header);
  header->GetWidget()->setParent(header_bar_);
  header->GetWidget()->show();
  header->SetManager(manager_, this);
  if (!mouse_enabled_) {
    header->GetWidget()->setAttribute(Qt::WA_TransparentForMouseEvents, true);
  }
  model_->ResetAll();
  Relayout();
}

CListHeaderItemUI* CListUI::GetHeaderAt(int index) const {
  if (index < 0 || index >= GetHeaderCount()) return nullptr;
  return headers_[static_cast<size_t>(index)];
}

void CListUI::NeedUpdate() {
  Relayout();
  model_->Refresh();
  view_->viewport()->update();
}

CControlUI* CListUI::FindControl(const CStdString& name) {
  if (CControlUI* self = CControlUI::FindControl(name)) return self;
  for (CListHeaderItemUI* header : headers_)
    if (CControlUI* found = header->FindControl(name)) return found;
  return nullptr;
}

void CListUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
  CControlUI::SetManager(manager, parent);
  for (CListHeaderItemUI* header : headers_) header->SetManager(manager, this);
  for (CListTextElementUI* row : rows_) row->SetManager(manager, this);
}

}  // namespace palisk
