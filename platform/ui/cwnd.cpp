// CWnd on Qt widgets: creation, the model's state, geometry, and the road of Qt's input
// into WindowProc.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCursor>
#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QScrollBar>
#include <QWindow>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/gdi/gdi.h"
#include "platform/ui/ui.h"
#include "platform/ui/window_state.h"
#include "qelshare/qt.h"

// Reaches the protected and private parts of CWnd for the floor's dispatch.
class CWndAccess {
 public:
  static LRESULT Proc(CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam, bool* leftDefault) {
    CWnd::CurrentMessage saved = wnd->m_current;
    bool savedFlag = wnd->m_defaultCalled;
    wnd->m_current = {message, wParam, lParam};
    wnd->m_defaultCalled = false;
    LRESULT r = wnd->WindowProc(message, wParam, lParam);
    if (leftDefault) *leftDefault = wnd->m_defaultCalled;
    wnd->m_current = saved;
    wnd->m_defaultCalled = savedFlag;
    return r;
  }
  static void MarkDefault(CWnd* wnd) { wnd->m_defaultCalled = true; }
  static bool IsCurrent(CWnd* wnd, UINT message) { return wnd->m_current.message == message; }
};

namespace qel::ui {
namespace {

std::mutex g_windowsMutex;
std::unordered_map<HWND, std::unique_ptr<WindowState>>& Windows() {
  static std::unordered_map<HWND, std::unique_ptr<WindowState>> windows;
  return windows;
}
std::map<std::string, WindowClass>& Classes() {
  static std::map<std::string, WindowClass> classes;
  return classes;
}
bool g_richEditLoaded = false;

CPoint PointOf(LPARAM lParam) {
  return CPoint(static_cast<std::int16_t>(lParam & 0xFFFF),
                static_cast<std::int16_t>((lParam >> 16) & 0xFFFF));
}

UINT KeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  UINT f = 0;
  if (buttons & Qt::LeftButton) f |= MK_LBUTTON;
  if (buttons & Qt::RightButton) f |= MK_RBUTTON;
  if (mods & Qt::ShiftModifier) f |= MK_SHIFT;
  if (mods & Qt::ControlModifier) f |= MK_CONTROL;
  return f;
}

// The window message of a mouse event.
UINT MouseMessage(WindowState const& state, QMouseEvent const* me) {
  bool left = me->button() == Qt::LeftButton;
  switch (me->type()) {
    case QEvent::MouseMove:
      return WM_MOUSEMOVE;
    case QEvent::MouseButtonPress:
      return left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN;
    case QEvent::MouseButtonRelease:
      return left ? WM_LBUTTONUP : WM_RBUTTONUP;
    default: {
      bool dbl = state.cls.style & CS_DBLCLKS || state.kind != Kind::kRegistered;
      return left ? (dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN)
                  : (dbl ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN);
    }
  }
}

// The event's point in the window's client coordinates, as a message's lParam.
LPARAM MousePoint(WindowState const& state, QMouseEvent const* me) {
  QPoint p = state.widget->mapFromGlobal(me->globalPosition().toPoint());
  int border = BorderOf(state);
  return MakeLParam(p.x() - border, p.y() - border);
}

// The press the press filter has delivered and left to the widget, which its bridge then
// lets through without delivering it again; forgotten at the next press.
struct PendingPress {
  HWND hwnd = nullptr;
  QEvent::Type type = QEvent::None;
  quint64 time = 0;
};
PendingPress g_pendingPress;

// Turns Qt's input on a window's widget into the window's messages before the widget acts.
class Bridge : public QObject {
 public:
  explicit Bridge(HWND hwnd, QObject* parent) : QObject(parent), hwnd_(hwnd) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    WindowState* state = StateOf(hwnd_);
    if (!state || !state->widget) return false;
    QWidget* widget = state->widget;
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove: {
        // A disabled window gets no input.
        if (!widget->isEnabled()) return false;
        auto* me = static_cast<QMouseEvent*>(event);
        // Also when the widget ignores the press and Qt hands it to a parent widget of the
        // same window (a view's viewport, then the view).
        PendingPress const& pending = g_pendingPress;
        if (pending.hwnd == hwnd_ && pending.type == event->type() &&
            pending.time == me->timestamp()) {
          return false;
        }
        UINT message = MouseMessage(*state, me);
        SetMouseWindow(hwnd_);
        unsigned cursorChanges = CursorChanges();
        bool leftToWidget = false;
        Deliver(*state, message, KeyFlags(me->buttons(), me->modifiers()), MousePoint(*state, me),
                &leftToWidget);
        // The window may be gone after its handler ran.
        WindowState* still = StateOf(hwnd_);
        if (!still) return true;
        // Over a registered window the class cursor shows unless the handler set another
        // or a window holds the mouse.
        if (message == WM_MOUSEMOVE && still->kind == Kind::kRegistered && !still->attached &&
            !::GetCapture() && CursorChanges() == cursorChanges) {
          ShowClassCursor(*still);
        }
        return !leftToWidget;
      }
      case QEvent::Paint: {
        if (state->kind == Kind::kRegistered || watched != widget) return false;
        PaintNow(*state);
        if (!state->painting && state->ownPaint) {
          PresentBacking(*state, widget);
          return true;
        }
        return false;
      }
      default:
        return false;
    }
  }

 private:
  HWND hwnd_;
};

// Sees each press on a top-level window before Qt hands it to a widget. Qt gives the click
// focus before any filter of the widget runs, while on the desktop platform a standard
// control takes the focus in its own processing of the press: a handler that keeps the
// press from the control (a design-mode control) keeps the focus where it was.
class PressFilter : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick) {
      return false;
    }
    if (!watched->isWindowType()) return false;
    g_pendingPress = {};
    // Popups and a window holding the mouse get the press by Qt's own road.
    if (QApplication::activePopupWidget() || QWidget::mouseGrabber()) return false;
    QWidget* top = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (static_cast<QObject*>(w->windowHandle()) == watched) {
        top = w;
        break;
      }
    }
    if (!top) return false;
    auto* me = static_cast<QMouseEvent*>(event);
    QWidget* target = top->childAt(me->position().toPoint());
    if (!target) target = top;
    HWND hwnd = HandleOf(target);
    if (!hwnd) {
      auto* area = qobject_cast<QAbstractScrollArea*>(target->parentWidget());
      if (area && area->viewport() == target) hwnd = HandleOf(area);
    }
    WindowState* state = StateOf(hwnd);
    if (!state || !state->widget || state->kind == Kind::kRegistered || state->attached ||
        !target->isEnabled() || !state->widget->isEnabled()) {
      return false;
    }
    bool leftToWidget = false;
    SetMouseWindow(hwnd);
    Deliver(*state, MouseMessage(*state, me), KeyFlags(me->buttons(), me->modifiers()),
            MousePoint(*state, me), &leftToWidget);
    if (!StateOf(hwnd) || !leftToWidget) return true;
    g_pendingPress = {hwnd, event->type(), me->timestamp()};
    return false;
  }
};

void EnsurePressFilter() {
  static QPointer<PressFilter> filter;
  if (filter) return;
  filter = new PressFilter;
  // Lives as long as the application, on the user-interface thread.
  filter->setParent(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(filter);
}

// The widget of a registered class: shows its backing image.
class Canvas : public QWidget {
 public:
  Canvas(HWND hwnd, QWidget* parent) : QWidget(parent), hwnd_(hwnd) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    WindowState* state = StateOf(hwnd_);
    if (!state) return;
    PaintNow(*state);
    PresentBacking(*state, this);
  }

 private:
  HWND hwnd_;
};

}  // namespace

WindowState* StateOf(HWND hwnd) {
  if (!hwnd) return nullptr;
  std::lock_guard lock(g_windowsMutex);
  auto it = Windows().find(hwnd);
  return it == Windows().end() ? nullptr : it->second.get();
}

HWND HandleOf(QWidget const* widget) {
  if (!widget) return nullptr;
  std::lock_guard lock(g_windowsMutex);
  for (auto& [h, s] : Windows()) {
    if (s->widget == widget) return h;
  }
  return nullptr;
}

int BorderOf(WindowState const& state) {
  if (state.kind != Kind::kRegistered && state.kind != Kind::kStatic) return 0;
  if (state.style & WS_THICKFRAME) return 4;
  if (state.style & WS_DLGFRAME) return 3;
  if (state.exStyle & WS_EX_CLIENTEDGE) return 2;
  if (state.exStyle & WS_EX_STATICEDGE) return 1;
  if (state.style & WS_BORDER) return 1;
  return 0;
}

void PresentBacking(WindowState& state, QWidget* widget) {
  QPainter painter(widget);
  int border = BorderOf(state);
  tagRECT const& hole = state.seeThrough;
  if (hole.right > hole.left && hole.bottom > hole.top) {
    QRegion shown(widget->rect());
    shown -= QRegion(hole.left + border, hole.top + border, hole.right - hole.left,
                     hole.bottom - hole.top);
    painter.setClipRegion(shown);
  }
  if (border > 0) {
    painter.fillRect(widget->rect(), QColor(128, 128, 128));
    if (border > 1) {
      painter.fillRect(widget->rect().adjusted(1, 1, -1, -1), QColor(64, 64, 64));
    }
  }
  if (state.backing.width > 0 && state.backing.height > 0) {
    QImage image(reinterpret_cast<uchar const*>(state.backing.pixels.data()), state.backing.width,
                 state.backing.height, state.backing.width * 4, QImage::Format_RGB32);
    painter.drawImage(border, border, image);
  }
}

void PaintNow(WindowState& state) {
  if (!state.invalid || state.painting || !state.widget) return;
  int border = BorderOf(state);
  int w = std::max(state.widget->width() - 2 * border, 0);
  int h = std::max(state.widget->height() - 2 * border, 0);
  if (state.backing.width != w || state.backing.height != h) state.backing.Resize(w, h);
  if (state.erase) {
    // The class background (or the dialog colour behind standard controls) clears the area.
    HDC dc = gdi::CreateSurfaceDC(&state.backing);
    tagRECT all = {0, 0, w, h};
    if (state.cls.background) {
      FillRect(dc, &all, state.cls.background);
    } else if (state.kind != Kind::kRegistered) {
      HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
      FillRect(dc, &all, face);
      DeleteObject(face);
    }
    DeleteDC(dc);
  }
  HWND hwnd = state.wnd ? state.wnd->m_hWnd : nullptr;
  state.painting = true;
  bool leftToWidget = false;
  Deliver(state, WM_PAINT, 0, 0, &leftToWidget);
  if (WindowState* still = StateOf(hwnd)) {
    still->painting = false;
    still->invalid = false;
    still->erase = false;
    // A standard control whose handler left painting to it draws itself.
    still->ownPaint = !leftToWidget || still->kind == Kind::kRegistered;
  }
}

LRESULT Deliver(WindowState& state, UINT message, WPARAM wParam, LPARAM lParam,
                bool* wantsDefault) {
  if (!state.wnd) return 0;
  return CWndAccess::Proc(state.wnd, message, wParam, lParam, wantsDefault);
}

LRESULT ClassProc(WindowState& state, UINT message, WPARAM wParam, LPARAM lParam,
                  bool* leftToWidget) {
  *leftToWidget = false;
  switch (message) {
    case STM_SETICON: {
      if (state.kind != Kind::kStatic) return 0;
      HICON old = state.icon;
      state.icon = reinterpret_cast<HICON>(wParam);
      ShowStaticImage(state);
      return reinterpret_cast<LRESULT>(old);
    }
    case WM_SETFONT: {
      if (!state.widget || state.kind == Kind::kRegistered) return 0;
      std::string face;
      int height = 0;
      if (wParam && gdi::FontOf(reinterpret_cast<HFONT>(wParam), face, height)) {
        QFont font(QString::fromStdString(face));
        if (height != 0) font.setPixelSize(height < 0 ? -height : height);
        state.widget->setFont(font);
      } else {
        state.widget->setFont(QFont());
      }
      if (lParam) state.widget->update();
      return 0;
    }
    case STM_GETICON:
      return state.kind == Kind::kStatic ? reinterpret_cast<LRESULT>(state.icon) : 0;
    case STM_SETIMAGE: {
      if (state.kind != Kind::kStatic) return 0;
      if (wParam == IMAGE_ICON) {
        HICON old = state.icon;
        state.icon = reinterpret_cast<HICON>(lParam);
        ShowStaticImage(state);
        return reinterpret_cast<LRESULT>(old);
      }
      if (wParam != IMAGE_BITMAP) return 0;
      HBITMAP old = state.bitmap;
      state.bitmap = reinterpret_cast<HBITMAP>(lParam);
      ShowStaticImage(state);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE:
      if (state.kind != Kind::kStatic) return 0;
      if (wParam == IMAGE_ICON) return reinterpret_cast<LRESULT>(state.icon);
      return wParam == IMAGE_BITMAP ? reinterpret_cast<LRESULT>(state.bitmap) : 0;
    case WM_PAINT:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
      // Input and painting the widget itself handles after WindowProc.
      *leftToWidget = true;
      return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
      // A scroll bar moves itself after reporting its action; a message sent by anyone
      // else scrolls the window here.
      if (state.barAction) {
        *leftToWidget = true;
      } else {
        ScrollByCode(state, message, wParam);
      }
      return 0;
    default:
      return 0;
  }
}

void EnsurePostTarget();

int RegisterWindowClass(WindowClass cls) {
  if (cls.name.empty()) return 0;
  Classes().emplace(cls.name, std::move(cls));
  return 1;
}

bool RichEditLoaded() {
  return g_richEditLoaded;
}

}  // namespace qel::ui

using namespace qel::ui;

// --- The message map machinery.

CWnd::CWnd() : m_hWnd(nullptr) {}

CWnd::~CWnd() {
  DestroyWindow();
}

AFX_MSGMAP const* CWnd::GetThisMessageMap() {
  static AFX_MSGMAP_ENTRY const entries[] = {{0, AfxSig_end, nullptr}};
  static AFX_MSGMAP const map = {nullptr, entries};
  return &map;
}

AFX_MSGMAP const* CWnd::GetMessageMap() const {
  return GetThisMessageMap();
}

namespace {

// Map entries hold every handler as void (CWnd::*)(); the entry's signature code tells
// the real shape, restored here.
template <typename Pmf>
Pmf HandlerAs(void (CWnd::*pfn)()) {
  Pmf real;
  static_assert(sizeof(real) == sizeof(pfn));
  std::memcpy(&real, &pfn, sizeof(real));
  return real;
}

}  // namespace

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  for (AFX_MSGMAP const* map = GetMessageMap(); map;
       map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (AFX_MSGMAP_ENTRY const* e = map->lpEntries; e->nSig != AfxSig_end; ++e) {
      if (e->nMessage != message) continue;
      switch (e->nSig) {
        case AfxSig_v:
          (this->*e->pfn)();
          return 0;
        case AfxSig_vwp:
          (this->*HandlerAs<void (CWnd::*)(UINT, CPoint)>(e->pfn))(static_cast<UINT>(wParam),
                                                                   PointOf(lParam));
          return 0;
        case AfxSig_vb:
          (this->*HandlerAs<void (CWnd::*)(int)>(e->pfn))(static_cast<int>(wParam));
          return 0;
        case AfxSig_vwwScroll:
          (this->*HandlerAs<void (CWnd::*)(UINT, UINT, CScrollBar*)>(e->pfn))(
              static_cast<UINT>(wParam & 0xFFFF), static_cast<UINT>((wParam >> 16) & 0xFFFF),
              static_cast<CScrollBar*>(CWnd::FromHandle(reinterpret_cast<HWND>(lParam))));
          return 0;
        default:
          break;
      }
    }
  }
  return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  WindowState* state = StateOf(m_hWnd);
  if (!state) return 0;
  bool leftToWidget = false;
  LRESULT r = ClassProc(*state, message, wParam, lParam, &leftToWidget);
  if (leftToWidget && CWndAccess::IsCurrent(this, message)) CWndAccess::MarkDefault(this);
  return r;
}

LRESULT CWnd::Default() {
  return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

void CWnd::OnPaint() {
  Default();
}
void CWnd::OnLButtonDown(UINT, CPoint) {
  Default();
}
void CWnd::OnLButtonUp(UINT, CPoint) {
  Default();
}
void CWnd::OnLButtonDblClk(UINT, CPoint) {
  Default();
}
void CWnd::OnMouseMove(UINT, CPoint) {
  Default();
}
void CWnd::OnEnable(int) {
  Default();
}
void CWnd::OnHScroll(UINT, UINT, CScrollBar*) {
  Default();
}
void CWnd::OnVScroll(UINT, UINT, CScrollBar*) {
  Default();
}

// --- Creation and destruction.

int CWnd::RegisterClass(char const* className, UINT classStyle, HCURSOR cursor, HBRUSH background) {
  if (!className) return 0;
  return RegisterWindowClass({className, classStyle, cursor, background});
}

int CWnd::LoadRichEdit() {
  g_richEditLoaded = true;
  return 1;
}

int CWnd::Create(char const* className, char const* windowName, unsigned long style,
                 tagRECT const& rect, CWnd* parent, UINT id) {
  return CreateEx(0, className, windowName, style, rect, parent, id);
}

int CWnd::CreateEx(unsigned long exStyle, char const* className, char const* windowName,
                   unsigned long style, tagRECT const& rect, CWnd* parent, UINT id) {
  if (m_hWnd || !className || !qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
  WindowState* parentState = parent ? StateOf(parent->m_hWnd) : nullptr;
  if ((style & WS_CHILD) && !parentState) return 0;
  auto state = std::make_unique<WindowState>();
  state->wnd = this;
  state->style = style;
  state->exStyle = exStyle;
  state->id = id;
  state->parent = parentState ? parent->m_hWnd : nullptr;
  HWND hwnd = reinterpret_cast<HWND>(state.get());
  QWidget* parentWidget = parentState ? parentState->widget.data() : nullptr;
  std::string name = className;
  QWidget* widget = nullptr;
  auto cls = Classes().find(name);
  if (cls != Classes().end()) {
    state->cls = cls->second;
    widget = new Canvas(hwnd, parentWidget);
  } else {
    widget = CreateStandardWidget(*state, name, windowName, parentWidget);
  }
  if (!widget) return 0;
  EnsurePostTarget();
  EnsurePressFilter();
  state->widget = widget;
  widget->installEventFilter(new Bridge(hwnd, widget));
  if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) {
    area->viewport()->installEventFilter(new Bridge(hwnd, widget));
  }
  if (windowName && state->kind == Kind::kRegistered) {
    widget->setWindowTitle(QString::fromStdString(windowName));
  }
  widget->setProperty("qelWindowText", QByteArray(windowName ? windowName : ""));
  {
    std::lock_guard lock(g_windowsMutex);
    Windows().emplace(hwnd, std::move(state));
  }
  m_hWnd = hwnd;
  int parentBorder = parentState ? BorderOf(*parentState) : 0;
  widget->setGeometry(rect.left + parentBorder, rect.top + parentBorder,
                      std::max(rect.right - rect.left, 0), std::max(rect.bottom - rect.top, 0));
  if (style & WS_DISABLED) widget->setEnabled(false);
  if (style & WS_VISIBLE) widget->show();
  SendMessage(WM_CREATE, 0, 0);
  return 1;
}

int CWnd::DestroyWindow() {
  WindowState* state = StateOf(m_hWnd);
  if (!state) return 0;
  HWND hwnd = m_hWnd;
  SendMessage(WM_DESTROY, 0, 0);
  // Children go first, as their widgets die with this one.
  std::vector<CWnd*> children;
  {
    std::lock_guard lock(g_windowsMutex);
    for (auto& [h, s] : Windows()) {
      if (s->parent == hwnd && s->wnd) children.push_back(s->wnd);
    }
  }
  for (CWnd* child : children) child->DestroyWindow();
  if (::GetCapture() == hwnd) ::ReleaseCapture();
  QWidget* widget = state->attached ? nullptr : state->widget.data();
  {
    std::lock_guard lock(g_windowsMutex);
    Windows().erase(hwnd);
  }
  m_hWnd = nullptr;
  delete widget;
  return 1;
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  WindowState* state = StateOf(hwnd);
  return state ? state->wnd : nullptr;
}

// --- The model.

int CWnd::GetDlgCtrlID() const {
  WindowState* s = StateOf(m_hWnd);
  return s ? static_cast<int>(s->id) : 0;
}

unsigned long CWnd::GetStyle() const {
  WindowState* s = StateOf(m_hWnd);
  if (!s) return 0;
  unsigned long style = s->style & ~(WS_VISIBLE | WS_DISABLED);
  if (s->widget && s->widget->isVisibleTo(s->widget->parentWidget())) style |= WS_VISIBLE;
  if (s->widget && !s->widget->isEnabled()) style |= WS_DISABLED;
  return style;
}

unsigned long CWnd::GetExStyle() const {
  WindowState* s = StateOf(m_hWnd);
  return s ? s->exStyle : 0;
}

int CWnd::ModifyStyle(unsigned long remove, unsigned long add) {
  WindowState* s = StateOf(m_hWnd);
  if (!s) return 0;
  s->style = (s->style & ~remove) | add;
  return 1;
}

CWnd* CWnd::GetParent() const {
  WindowState* s = StateOf(m_hWnd);
  return s ? FromHandle(s->parent) : nullptr;
}

void CWnd::SetWindowText(char const* text) {
  WindowState* s = StateOf(m_hWnd);
  if (!s || !s->widget) return;
  s->widget->setProperty("qelWindowText", QByteArray(text ? text : ""));
  SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void CWnd::GetWindowText(CString& text) const {
  text = GetWindowText();
}

CString CWnd::GetWindowText() const {
  WindowState* s = StateOf(m_hWnd);
  if (!s || !s->widget) return {};
  return s->widget->property("qelWindowText").toByteArray().toStdString();
}

// --- Geometry.

void CWnd::GetWindowRect(tagRECT* rect) const {
  WindowState* s = StateOf(m_hWnd);
  if (!rect) return;
  if (!s || !s->widget) {
    *rect = {0, 0, 0, 0};
    return;
  }
  QPoint origin = s->widget->mapToGlobal(QPoint(0, 0));
  *rect = {origin.x(), origin.y(), origin.x() + s->widget->width(),
           origin.y() + s->widget->height()};
}

void CWnd::GetClientRect(tagRECT* rect) const {
  WindowState* s = StateOf(m_hWnd);
  if (!rect) return;
  if (!s || !s->widget) {
    *rect = {0, 0, 0, 0};
    return;
  }
  int border = BorderOf(*s);
  *rect = {0, 0, std::max(s->widget->width() - 2 * border, 0),
           std::max(s->widget->height() - 2 * border, 0)};
}

void CWnd::ClientToScreen(tagPOINT* point) const {
  WindowState* s = StateOf(m_hWnd);
  if (!s || !s->widget || !point) return;
  int border = BorderOf(*s);
  QPoint p = s->widget->mapToGlobal(QPoint(point->x + border, point->y + border));
  *point = {p.x(), p.y()};
}

void CWnd::ClientToScreen(tagRECT* rect) const {
  if (!rect) return;
  tagPOINT a{rect->left, rect->top}, b{rect->right, rect->bottom};
  ClientToScreen(&a);
  ClientToScreen(&b);
  *rect = {a.x, a.y, b.x, b.y};
}

void CWnd::ScreenToClient(tagPOINT* point) const {
  WindowState* s = StateOf(m_hWnd);
  if (!s || !s->widget || !point) return;
  int border = BorderOf(*s);
  QPoint p = s->widget->mapFromGlobal(QPoint(point->x, point->y));
  *point = {p.x() - border, p.y() - border};
}

void CWnd::ScreenToClient(tagRECT* rect) const {
  if (!rect) return;
  tagPOINT a{rect->left, rect->top}, b{rect->right, rect->bottom};
  ScreenToClient(&a);
  ScreenToClient(&b);
  *rect = {a.x, a.y, b.x, b.y};
}

void CWnd::MoveWindow(int x, int y, int width, int height, int repaint) {
  WindowState* s = StateOf(m_hWnd);
  if (!s || !s->widget) return;
  WindowState* p = StateOf(s->parent);
  int border = p ? BorderOf(*p) : 0;
  s->widget->setGeometry(x + border, y + border, std::max(width, 0), std::max(height, 0));
  if (repaint) Invalidate(1);
}

void CWnd::MoveWindow(tagRECT const* rect, int repaint) {
  if (rect)
    MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
}

// --- Visibility, enabling, focus, capture.

int CWnd::ShowWindow(int command) {
  WindowState* s = StateOf(m_hWnd);
  if (!s || !s->widget) return 0;
  int wasVisible = s->widget->isVisible() ? 1 : 0;
  s->widget->setVisible(command != SW_HIDE);
  return wasVisible;
}

int CWnd::IsWindowVisible() const {
  WindowState* s = StateOf(m_hWnd);
  return s && s->widget && s->widget->isVisible() ? 1 : 0;
}

int CWnd::EnableWindow(int enable) {
  WindowState* s = StateOf(m_hWnd);
  if (!s || !s->widget) return 0;
  int wasDisabled = s->widget->isEnabled() ? 0 : 1;
  s->widget->setEnabled(enable != 0);
  if (wasDisabled == (enable != 0 ? 1 : 0)) SendMessage(WM_ENABLE, enable ? 1 : 0, 0);
  return wasDisabled;
}

int CWnd::IsWindowEnabled() const {
  WindowState* s = StateOf(m_hWnd);
  return s && s->widget && s->widget->isEnabled() ? 1 : 0;
}

CWnd* CWnd::SetFocus() {
  CWnd* old = GetFocus();
  WindowState* s = StateOf(m_hWnd);
  if (s && s->widget) {
    if (s->widget->focusPolicy() == Qt::NoFocus) s->widget->setFocusPolicy(Qt::ClickFocus);
    s->widget->setFocus(Qt::OtherFocusReason);
  }
  return old;
}

CWnd* CWnd::GetFocus() {
  QWidget* w = QApplication::focusWidget();
  while (w) {
    if (HWND h = HandleOf(w)) return FromHandle(h);
    w = w->parentWidget();
  }
  return nullptr;
}

CWnd* CWnd::SetCapture() {
  return FromHandle(::SetCapture(m_hWnd));
}

CWnd* CWnd::GetCapture() {
  return FromHandle(::GetCapture());
}

// --- Painting and messages.

void CWnd::Invalidate(int erase) {
  ::InvalidateRect(m_hWnd, nullptr, erase);
}

void CWnd::InvalidateRect(tagRECT const* rect, int erase) {
  ::InvalidateRect(m_hWnd, rect, erase);
}

void CWnd::UpdateWindow() {
  ::UpdateWindow(m_hWnd);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

int CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

CScrollBar::CScrollBar() = default;
CScrollBar::~CScrollBar() = default;

// --- Calls by handle.

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowState* s = StateOf(hwnd);
  if (!s || !s->wnd) return 0;
  return CWndAccess::Proc(s->wnd, message, wParam, lParam, nullptr);
}

long GetWindowLongA(HWND hwnd, int index) {
  CWnd* w = CWnd::FromHandle(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWL_ID:
      return w->GetDlgCtrlID();
    case GWL_STYLE:
      return static_cast<long>(w->GetStyle());
    case GWL_EXSTYLE:
      return static_cast<long>(w->GetExStyle());
    default:
      return 0;
  }
}

int IsWindow(HWND hwnd) {
  return StateOf(hwnd) ? 1 : 0;
}

int IsWindowEnabled(HWND hwnd) {
  CWnd* w = CWnd::FromHandle(hwnd);
  return w ? w->IsWindowEnabled() : 0;
}

int InvalidateRect(HWND hwnd, tagRECT const*, int erase) {
  WindowState* s = StateOf(hwnd);
  if (!s) return 0;
  s->invalid = true;
  s->erase = s->erase || erase;
  if (s->widget) s->widget->update();
  return 1;
}

int UpdateWindow(HWND hwnd) {
  WindowState* s = StateOf(hwnd);
  if (!s) return 0;
  if (s->kind == Kind::kRegistered || (s->wnd && s->invalid)) PaintNow(*s);
  if (WindowState* still = StateOf(hwnd); still && still->widget) still->widget->update();
  return 1;
}

int GetClientRect(HWND hwnd, tagRECT* rect) {
  CWnd* w = CWnd::FromHandle(hwnd);
  if (!w || !rect) return 0;
  w->GetClientRect(rect);
  return 1;
}

HWND GetParent(HWND hwnd) {
  WindowState* s = StateOf(hwnd);
  return s ? s->parent : nullptr;
}

int BringWindowToTop(HWND hwnd) {
  WindowState* s = StateOf(hwnd);
  if (!s || !s->widget) return 0;
  s->widget->raise();
  return 1;
}

namespace qel::ui {

HDC BackingDC(HWND hwnd) {
  WindowState* s = StateOf(hwnd);
  return s ? gdi::CreateSurfaceDC(&s->backing) : nullptr;
}

int SetSeeThrough(HWND hwnd, tagRECT const* rect) {
  WindowState* s = StateOf(hwnd);
  if (!s) return 0;
  tagRECT hole = rect ? *rect : tagRECT{};
  bool on = hole.right > hole.left && hole.bottom > hole.top;
  if (!on) hole = {};
  if (s->seeThrough.left != hole.left || s->seeThrough.top != hole.top ||
      s->seeThrough.right != hole.right || s->seeThrough.bottom != hole.bottom) {
    s->seeThrough = hole;
    if (s->widget && s->kind == Kind::kRegistered) {
      s->widget->setAttribute(Qt::WA_OpaquePaintEvent, !on);
      s->widget->update();
    }
  }
  return 1;
}

}  // namespace qel::ui

// --- Qt hosts.

QWidget* CQtBridge::GetWidget(CWnd* window) {
  WindowState* s = StateOf(window ? window->m_hWnd : nullptr);
  return s ? s->widget.data() : nullptr;
}

int CQtBridge::Attach(CWnd* window, QWidget* widget, UINT id) {
  if (!window || window->m_hWnd || !widget || HandleOf(widget)) return 0;
  auto state = std::make_unique<WindowState>();
  state->wnd = window;
  state->widget = widget;
  state->id = id;
  state->style = WS_VISIBLE;
  state->attached = true;
  HWND hwnd = reinterpret_cast<HWND>(state.get());
  EnsurePostTarget();
  widget->installEventFilter(new Bridge(hwnd, widget));
  {
    std::lock_guard lock(g_windowsMutex);
    Windows().emplace(hwnd, std::move(state));
  }
  window->m_hWnd = hwnd;
  return 1;
}

void CQtBridge::Detach(CWnd* window) {
  if (window) window->DestroyWindow();
}
