// CWindowWnd and its Qt host (see window.h).
#include "palisk/window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScreen>
#include <QThread>
#include <QWheelEvent>
#include <QWindow>

#include "palisk/services.h"

namespace palisk {
namespace {

// The wake-up for one message queued by PostMessage; the message itself
// waits in the window's own queue.
QEvent::Type PostedKind() {
  static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
  return kind;
}

int VirtualKey(int qt_key) {
  switch (qt_key) {
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Escape: return VK_ESCAPE;
    default: return 0;
  }
}

}  // namespace

bool IsUserInterfaceThread() {
  return QCoreApplication::instance() != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

void PostQuitMessage(int code) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), [code] { QCoreApplication::exit(code); },
                            Qt::QueuedConnection);
}

// ---- CWindowWnd ----

CWindowWnd::CWindowWnd() = default;

CWindowWnd::~CWindowWnd() {
  if (WindowHost* host = hwnd_.exchange(nullptr)) {
    host->Detach();
    delete host;
  }
}

HWND CWindowWnd::Create(HWND parent, const CStdString& name, uint32_t style, uint32_t ex_style, int x, int y,
                        int cx, int cy) {
  Qt::WindowFlags flags = Qt::Window | Qt::FramelessWindowHint;
  // A pop-up tool window is a menu: it closes itself on a click outside.
  if ((ex_style & WS_EX_TOOLWINDOW) && (style & WS_POPUP) && !(style & WS_OVERLAPPEDWINDOW))
    flags = Qt::Popup | Qt::FramelessWindowHint;
  else if (ex_style & WS_EX_TOOLWINDOW)
    flags = Qt::Tool | Qt::FramelessWindowHint;
  auto* host = new WindowHost(this, parent, flags);
  host->setObjectName(GetWindowClassName());
  host->setWindowTitle(name);
  if (icon_ != 0) host->setWindowIcon(LoadIconResource(icon_));
  style_ = style;
  if (cx > 0 && cy > 0 && cx != CW_USEDEFAULT) host->resize(cx, cy);
  if (x != CW_USEDEFAULT) host->move(x, y);
  hwnd_.store(host);
  HandleMessage(WM_CREATE, 0, 0);
  return hwnd_.load();
}

void CWindowWnd::SetIcon(unsigned resource) {
  icon_ = resource;
  if (WindowHost* host = hwnd_.load()) host->setWindowIcon(LoadIconResource(resource));
}

void CWindowWnd::CenterWindow() {
  WindowHost* host = hwnd_.load();
  if (host == nullptr) return;
  QRect area;
  if (QWidget* parent = host->parentWidget()) {
    area = parent->window()->geometry();
  } else {
    RECT work = Services().WorkArea(host);
    area = QRect(work.left, work.top, work.Width(), work.Height());
  }
  QRect frame = host->geometry();
  host->move(area.center().x() - frame.width() / 2, area.center().y() - frame.height() / 2);
}

void CWindowWnd::ShowWindow(bool show, bool take_focus) {
  WindowHost* host = hwnd_.load();
  if (host == nullptr) return;
  if (!show) {
    host->hide();
    return;
  }
  host->show();
  if (take_focus) {
    host->raise();
    host->activateWindow();
  }
}

void CWindowWnd::Close(UINT /*result*/) { PostMessage(WM_CLOSE); }

void CWindowWnd::DestroyWindow() {
  WindowHost* host = hwnd_.load();
  if (host == nullptr) return;
  HandleMessage(WM_DESTROY, 0, 0);
  host->hide();
  hwnd_.store(nullptr);
  host->Detach();
  host->deleteLater();
  OnFinalMessage(host);
}

LRESULT CWindowWnd::SendMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (hwnd_.load() == nullptr) return 0;
  return HandleMessage(msg, wparam, lparam);
}

void CWindowWnd::PostMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  WindowHost* host = hwnd_.load();
  if (host == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(posted_guard_);
    posted_.push_back({msg, wparam, lparam});
  }
  QCoreApplication::postEvent(host, new QEvent(PostedKind()));
}

void CWindowWnd::DeliverPosted() {
  Posted message;
  {
    std::lock_guard<std::mutex> lock(posted_guard_);
    if (posted_.empty()) return;
    message = posted_.front();
    posted_.pop_front();
  }
  HandleMessage(message.msg, message.wparam, message.lparam);
}

LRESULT CWindowWnd::HandleMessage(UINT msg, WPARAM wparam, LPARAM /*lparam*/) {
  switch (msg) {
    case WM_CLOSE:
      DestroyWindow();
      return 0;
    case WM_SYSCOMMAND:
      if (wparam == SC_MINIMIZE) {
        if (WindowHost* host = hwnd_.load()) host->showMinimized();
        return 0;
      }
      return kDefaultAction;
    case WM_NCHITTEST:
      return HTCLIENT;
    default:
      return kDefaultAction;
  }
}

void CWindowWnd::OnFinalMessage(HWND) {}

// ---- WindowHost ----

WindowHost::WindowHost(CWindowWnd* owner, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), owner_(owner) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  QCoreApplication::instance()->installEventFilter(this);
}

WindowHost::~WindowHost() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
  // Deleted with its parent window: the window object must not keep it.
  if (owner_ != nullptr) owner_->hwnd_.store(nullptr);
}

bool WindowHost::event(QEvent* event) {
  if (event->type() == PostedKind()) {
    if (owner_ != nullptr) owner_->DeliverPosted();
    return true;
  }
  return QWidget::event(event);
}

void WindowHost::closeEvent(QCloseEvent* event) {
  // The window decides: WM_CLOSE either ends it through DestroyWindow or is
  // refused. The widget itself never closes on its own.
  event->ignore();
  if (owner_ != nullptr) owner_->HandleMessage(WM_CLOSE, 0, 0);
}

void WindowHost::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (owner_ != nullptr)
    owner_->HandleMessage(WM_SIZE, isMinimized() ? SIZE_MINIMIZED : SIZE_RESTORED, MakeLParam(width(), height()));
}

void WindowHost::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && owner_ != nullptr)
    owner_->HandleMessage(WM_SIZE, isMinimized() ? SIZE_MINIMIZED : SIZE_RESTORED, MakeLParam(width(), height()));
  if (event->type() == QEvent::ActivationChange && owner_ != nullptr) {
    const bool active = isActiveWindow();
    owner_->HandleMessage(WM_NCACTIVATE, active ? 1 : 0, 0);
    // The focus went to another window (or to none).
    if (!active && owner_ != nullptr)
      owner_->HandleMessage(WM_KILLFOCUS, reinterpret_cast<WPARAM>(QApplication::activeWindow()), 0);
  }
}

void WindowHost::mousePressEvent(QMouseEvent* event) {
  QWidget::mousePressEvent(event);
  if (owner_ == nullptr || event->button() != Qt::LeftButton) return;
  QPoint global = event->globalPosition().toPoint();
  if (owner_->HandleMessage(WM_NCHITTEST, 0, MakeLParam(global.x(), global.y())) == HTCAPTION) {
    if (QWindow* window = windowHandle()) window->startSystemMove();
  }
}

void WindowHost::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  shown_once_ = true;
}

void WindowHost::dragEnterEvent(QDragEnterEvent* event) {
  if (acceptDrops() && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void WindowHost::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  if (!paths.empty() && DropFiles(this, paths)) event->acceptProposedAction();
}

bool WindowHost::eventFilter(QObject* watched, QEvent* event) {
  // Keys pressed and wheels turned anywhere in this window reach the window
  // first, as WM_KEYDOWN and WM_MOUSEWHEEL; an answer other than
  // kDefaultAction consumes them.
  if ((event->type() != QEvent::KeyPress && event->type() != QEvent::Wheel) || owner_ == nullptr ||
      !watched->isWidgetType())
    return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (widget->window() != this) return false;
  if (event->type() == QEvent::Wheel) {
    const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
    return owner_->HandleMessage(WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<uint32_t>(delta) << 16), 0) !=
           kDefaultAction;
  }
  int vk = VirtualKey(static_cast<QKeyEvent*>(event)->key());
  if (vk == 0) return false;
  return owner_->HandleMessage(WM_KEYDOWN, static_cast<WPARAM>(vk), 0) != kDefaultAction;
}

// ---- enabling ----

void EnableWindow(HWND hwnd, bool enable) {
  if (hwnd == nullptr) return;
  hwnd->setProperty("paliskDisabled", !enable);
  // The window's own content only: windows it owns stay live.
  for (QObject* child : hwnd->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget != nullptr && !widget->isWindow()) widget->setEnabled(enable);
  }
}

bool IsWindowEnabled(HWND hwnd) { return hwnd != nullptr && !hwnd->property("paliskDisabled").toBool(); }

HWND GetAncestorRoot(HWND hwnd) {
  HWND root = hwnd;
  while (root != nullptr) {
    auto* parent = root->parentWidget() ? dynamic_cast<WindowHost*>(root->parentWidget()->window()) : nullptr;
    if (parent == nullptr) break;
    root = parent;
  }
  return root;
}

// ---- drag and drop ----

void DragAcceptFiles(HWND hwnd, bool accept) {
  if (hwnd != nullptr) hwnd->setAcceptDrops(accept);
}

bool DragAcceptsFiles(HWND hwnd) { return hwnd != nullptr && hwnd->acceptDrops(); }

unsigned DragQueryFile(HDROP drop, unsigned index, std::string* path) {
  if (drop == nullptr) return 0;
  if (index == 0xFFFFFFFFu) return static_cast<unsigned>(drop->paths.size());
  if (index >= drop->paths.size()) return 0;
  if (path != nullptr) *path = drop->paths[index];
  return static_cast<unsigned>(drop->paths[index].size());
}

void DragFinish(HDROP drop) { delete drop; }

bool DropFiles(HWND hwnd, const std::vector<std::string>& paths) {
  if (hwnd == nullptr || !hwnd->acceptDrops() || hwnd->Owner() == nullptr) return false;
  auto* drop = new DropHandle{paths};
  hwnd->Owner()->SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  return true;
}

}  // namespace palisk
