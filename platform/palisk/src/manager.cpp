// The paint manager and the dialog builder (see manager.h).
//
// Layouts are the program's own small XML schema:
//   <Window size="w,h" caption="left,top,right,bottom" roundcorner="cx,cy"
//           style="...Qt style sheet...">
//     <Container pos="x,y,w,h" ...> controls... </Container>
//   </Window>
// with the elements Container, Control, Label, Button, MenuItem, Option, Edit,
// RichEdit, Combo (with <Item text=""/> children) and List (with
// <Header name="" width="" text=""/> children). The caption rectangle's
// left, right and top are insets from the window's edges and its bottom is
// the caption's height. An element of any other class is offered to the
// builder's callback, and skipped with its children when the callback
// makes nothing.
#include "palisk/manager.h"

#include <algorithm>

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QXmlStreamReader>

#include <archive.h>
#include <archive_entry.h>

#include "palisk/window.h"
#include "win32/module.h"

namespace palisk {
namespace {

struct Globals {
  void* instance = nullptr;
  CStdString resource_path;
  CStdString resource_zip;
};

Globals& Global() {
  static Globals globals;
  return globals;
}

QString JoinPath(const QString& folder, const QString& name) {
  if (folder.isEmpty()) return name;
  if (folder.endsWith('/')) return folder + name;
  return folder + '/' + name;
}

// The entry `name` of the zip archive at `path` (names compared ignoring
// case, with or without a folder in the archive). Entries are read up to
// 4 MiB: a layout is a few kilobytes.
std::optional<QByteArray> ReadZipEntry(const QString& path, const QString& name) {
  struct archive* a = archive_read_new();
  archive_read_support_format_zip(a);
  std::optional<QByteArray> result;
  if (archive_read_open_filename(a, QFile::encodeName(path).constData(), 16384) == ARCHIVE_OK) {
    struct archive_entry* entry = nullptr;
    while (archive_read_next_header(a, &entry) == ARCHIVE_OK) {
      QString entry_name = QString::fromUtf8(archive_entry_pathname(entry));
      QString base = entry_name.section('/', -1);
      if (entry_name.compare(name, Qt::CaseInsensitive) != 0 && base.compare(name, Qt::CaseInsensitive) != 0)
        continue;
      constexpr la_int64_t kLimit = 4 << 20;
      la_int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
      if (size > kLimit) break;
      QByteArray data;
      char buffer[8192];
      la_ssize_t got;
      while ((got = archive_read_data(a, buffer, sizeof buffer)) > 0) {
        data.append(buffer, static_cast<qsizetype>(got));
        if (data.size() > kLimit) break;
      }
      if (got == 0) result = data;
      break;
    }
  }
  archive_read_free(a);
  return result;
}

SIZE ParseSize(const QString& text) {
  QStringList parts = text.split(',');
  if (parts.size() != 2) return {};
  return {parts[0].trimmed().toInt(), parts[1].trimmed().toInt()};
}

}  // namespace

// ---- static part ----

void CPaintManagerUI::SetInstance(void* instance) { Global().instance = instance; }
void* CPaintManagerUI::GetInstance() { return Global().instance; }

CStdString CPaintManagerUI::GetInstancePath() {
  std::string file, folder;
  if (!win32::ModulePath(reinterpret_cast<const void*>(&CPaintManagerUI::GetInstancePath), &file, &folder))
    return CStdString();
  // The instance is the program, not this library: prefer the program's
  // folder when the library sits elsewhere.
  QString program = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
  if (!program.isEmpty()) return CStdString(program.endsWith('/') ? program : program + '/');
  return CStdString(QString::fromStdString(folder));
}

void CPaintManagerUI::SetResourcePath(const CStdString& path) { Global().resource_path = path; }
CStdString CPaintManagerUI::GetResourcePath() { return Global().resource_path; }
void CPaintManagerUI::SetResourceZip(const CStdString& zip, bool /*cached*/) { Global().resource_zip = zip; }
CStdString CPaintManagerUI::GetResourceZip() { return Global().resource_zip; }

void CPaintManagerUI::ReloadAllImages() {
  for (QWidget* w : QApplication::topLevelWidgets()) w->update();
}

int CPaintManagerUI::MessageLoop() { return QApplication::exec(); }

std::optional<QByteArray> CPaintManagerUI::LoadResource(const CStdString& name) {
  const Globals& g = Global();
  if (!g.resource_zip.isEmpty()) return ReadZipEntry(JoinPath(g.resource_path, g.resource_zip), name);
  QFile file(JoinPath(g.resource_path, name));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return file.readAll();
}

// ---- one window's manager ----

CPaintManagerUI::CPaintManagerUI() : alive_(std::make_shared<int>(0)) {}

CPaintManagerUI::~CPaintManagerUI() { ReapObjects(); }

void CPaintManagerUI::Init(HWND paint_window) {
  paint_window_ = paint_window;
  round_corner_ = {};
  caption_ = {};
  init_size_ = {};
  style_sheet_.clear();
}

bool CPaintManagerUI::AttachDialog(CControlUI* root) {
  if (root == nullptr || paint_window_ == nullptr) return false;
  ReapObjects();
  root_ = root;
  QWidget* widget = root->GetWidget();
  widget->setParent(paint_window_);
  paint_window_->setStyleSheet(style_sheet_);
  // The layout's size, where it gives one, wins over the size the window
  // was made with: a layout is drawn for its own size.
  if (init_size_.cx > 0 && init_size_.cy > 0) paint_window_->resize(init_size_.cx, init_size_.cy);
  widget->setGeometry(0, 0, paint_window_->width(), paint_window_->height());
  widget->show();
  root->SetManager(this, nullptr);
  return true;
}

void CPaintManagerUI::ReapObjects() {
  CControlUI* root = root_;
  root_ = nullptr;
  delete root;
}

bool CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
  if (std::find(notifiers_.begin(), notifiers_.end(), notifier) != notifiers_.end()) return false;
  notifiers_.push_back(notifier);
  return true;
}

bool CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
  auto it = std::find(notifiers_.begin(), notifiers_.end(), notifier);
  if (it == notifiers_.end()) return false;
  notifiers_.erase(it);
  return true;
}

bool CPaintManagerUI::MessageHandler(UINT msg, WPARAM /*wparam*/, LPARAM lparam, LRESULT& result) {
  if (msg == WM_SIZE && root_ != nullptr && root_->GetWidget() != nullptr) {
    root_->GetWidget()->setGeometry(0, 0, LowWord(lparam), HighWord(lparam));
  }
  result = 0;
  return false;
}

CControlUI* CPaintManagerUI::FindControl(const CStdString& name) const {
  return root_ ? root_->FindControl(name) : nullptr;
}

CControlUI* CPaintManagerUI::FindControl(POINT point) const {
  if (root_ == nullptr || paint_window_ == nullptr) return nullptr;
  QWidget* child = paint_window_->childAt(point.x, point.y);
  CControlUI* control = child ? CControlUI::FromWidget(child) : nullptr;
  return Contains(control) ? control : nullptr;
}

bool CPaintManagerUI::Contains(const CControlUI* control) const {
  if (control == nullptr || root_ == nullptr) return false;
  for (const CControlUI* c = control; c != nullptr; c = c->GetParent())
    if (c == root_) return c->GetManager() == this;
  return false;
}

void CPaintManagerUI::SendNotify(TNotifyUI& msg, bool async) {
  if (!async) {
    // A notifier may remove itself or others while being told.
    std::vector<INotifyUI*> notifiers = notifiers_;
    for (INotifyUI* notifier : notifiers)
      if (std::find(notifiers_.begin(), notifiers_.end(), notifier) != notifiers_.end()) notifier->Notify(msg);
    return;
  }
  std::weak_ptr<int> alive = alive_;
  TNotifyUI copy = msg;
  QTimer::singleShot(0, QCoreApplication::instance(), [this, alive, copy]() mutable {
    // The manager or the sender may be gone by the time the loop runs.
    if (alive.expired()) return;
    if (copy.pSender != nullptr && !Contains(copy.pSender)) return;
    SendNotify(copy, false);
  });
}

void CPaintManagerUI::SendNotify(CControlUI* control, const CStdString& type, WPARAM wparam, LPARAM lparam,
                                 bool async) {
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = control;
  msg.wParam = wparam;
  msg.lParam = lparam;
  SendNotify(msg, async);
}

// ---- dialog builder ----

namespace {

class Builder {
 public:
  Builder(IDialogBuilderCallback* callback, CPaintManagerUI* manager) : callback_(callback), manager_(manager) {}

  CControlUI* Build(const QByteArray& data, CStdString* error) {
    QXmlStreamReader xml(data);
    CControlUI* root = nullptr;
    while (!xml.atEnd() && !xml.hasError()) {
      if (xml.readNext() != QXmlStreamReader::StartElement) continue;
      if (xml.name() == u"Window") {
        ReadWindow(xml.attributes());
        continue;
      }
      root = ReadControl(xml, 0);
      break;
    }
    if (xml.hasError()) {
      *error = QString("%1 at line %2").arg(xml.errorString()).arg(xml.lineNumber());
      delete root;
      return nullptr;
    }
    if (root == nullptr) *error = "the layout holds no control";
    return root;
  }

 private:
  void ReadWindow(const QXmlStreamAttributes& attributes) {
    if (manager_ == nullptr) return;
    for (const QXmlStreamAttribute& a : attributes) {
      QString name = a.name().toString(), value = a.value().toString();
      if (name == "size") {
        SIZE s = ParseSize(value);
        manager_->SetInitSize(s.cx, s.cy);
      } else if (name == "roundcorner") {
        SIZE s = ParseSize(value);
        manager_->SetRoundCorner(s.cx, s.cy);
      } else if (name == "caption") {
        QStringList p = value.split(',');
        if (p.size() == 4)
          manager_->SetCaptionRect({p[0].toInt(), p[1].toInt(), p[2].toInt(), p[3].toInt()});
      } else if (name == "style") {
        manager_->SetWindowStyleSheet(value);
      }
    }
  }

  CControlUI* Make(const QString& cls) {
    if (cls == "Container") return new CContainerUI();
    if (cls == "Control") return new CControlUI();
    if (cls == "Label") return new CLabelUI();
    if (cls == "Button") return new CButtonUI();
    if (cls == "MenuItem") return new CMenuItemUI();
    if (cls == "Option") return new COptionUI();
    if (cls == "Edit") return new CEditUI();
    if (cls == "RichEdit") return new CRichEditUI();
    if (cls == "Combo") return new CComboUI();
    if (cls == "List") return new CListUI();
    if (callback_ != nullptr) return callback_->CreateControl(cls);
    return nullptr;
  }

  // Reads the element the reader stands on, through its end.
  CControlUI* ReadControl(QXmlStreamReader& xml, int depth) {
    QString cls = xml.name().toString();
    CControlUI* control = depth > 64 ? nullptr : Make(cls);
    if (control == nullptr) {
      xml.skipCurrentElement();
      return nullptr;
    }
    if (control->GetWidget() == nullptr) {
      // A control without a widget of its own cannot stand in a layout.
      delete control;
      xml.skipCurrentElement();
      return nullptr;
    }
    // "group" replaces an option's widget: it goes first.
    QXmlStreamAttributes attributes = xml.attributes();
    if (attributes.hasAttribute("group")) control->SetAttribute("group", attributes.value("group").toString());
    for (const QXmlStreamAttribute& a : attributes)
      if (a.name() != u"group") control->SetAttribute(a.name().toString(), a.value().toString());

    while (xml.readNextStartElement()) {
      QString child = xml.name().toString();
      if (child == "Item") {
        if (auto* combo = dynamic_cast<CComboUI*>(control)) combo->Add(xml.attributes().value("text").toString());
        xml.skipCurrentElement();
      } else if (child == "Header") {
        if (auto* list = dynamic_cast<CListUI*>(control)) {
          auto* header = new CListHeaderItemUI();
          for (const QXmlStreamAttribute& a : xml.attributes())
            header->SetAttribute(a.name().toString(), a.value().toString());
          list->AddHeader(header);
        }
        xml.skipCurrentElement();
      } else if (auto* container = dynamic_cast<CContainerUI*>(control)) {
        if (CControlUI* built = ReadControl(xml, depth + 1)) container->Add(built);
      } else {
        xml.skipCurrentElement();
      }
    }
    return control;
  }

  IDialogBuilderCallback* callback_;
  CPaintManagerUI* manager_;
};

}  // namespace

CControlUI* CDialogBuilder::Create(const CStdString& xml, const CStdString& /*type*/,
                                   IDialogBuilderCallback* callback, CPaintManagerUI* manager,
                                   CControlUI* parent) {
  error_.clear();
  std::optional<QByteArray> data = CPaintManagerUI::LoadResource(xml);
  if (!data) {
    error_ = "cannot read the layout " + xml;
    return nullptr;
  }
  Builder builder(callback, manager);
  CControlUI* root = builder.Build(*data, &error_);
  if (root != nullptr && manager != nullptr) root->SetManager(manager, parent);
  return root;
}

}  // namespace palisk
