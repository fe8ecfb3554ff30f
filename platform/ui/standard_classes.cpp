// The standard window classes as real Qt widgets, their style bits mapped onto the
// widgets' properties.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>

#include "platform/gdi/gdi.h"
#include "platform/text/codepage.h"
#include "platform/ui/ui.h"
#include "platform/ui/window_state.h"

namespace qel::ui {
using gdi::Surface;

bool RichEditLoaded();

namespace {

QString Text(char const* text) {
  return FromGbk(text ? text : "");
}

Qt::Alignment HorizontalAlignment(unsigned long style) {
  if ((style & 3) == ES_CENTER) return Qt::AlignHCenter;
  if ((style & 3) == ES_RIGHT) return Qt::AlignRight;
  return Qt::AlignLeft;
}

// Posts the parent a WM_COMMAND with the window's identifier and a notification code.
void NotifyParent(HWND hwnd, UINT code) {
  WindowState* s = StateOf(hwnd);
  if (!s || !s->parent) return;
  PostMessageA(s->parent, WM_COMMAND, (s->id & 0xFFFF) | (code << 16),
               reinterpret_cast<LPARAM>(hwnd));
}

UINT ScrollCode(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
      return SB_LINEDOWN;
    case QAbstractSlider::SliderSingleStepSub:
      return SB_LINEUP;
    case QAbstractSlider::SliderPageStepAdd:
      return SB_PAGEDOWN;
    case QAbstractSlider::SliderPageStepSub:
      return SB_PAGEUP;
    case QAbstractSlider::SliderToMinimum:
      return SB_TOP;
    case QAbstractSlider::SliderToMaximum:
      return SB_BOTTOM;
    default:
      return SB_THUMBTRACK;
  }
}

// Scroll-bar actions reach the window as WM_HSCROLL / WM_VSCROLL before the view moves.
void BridgeScrollBars(HWND hwnd, QAbstractScrollArea* area) {
  auto hook = [hwnd](QScrollBar* bar, UINT message) {
    QObject::connect(bar, &QAbstractSlider::actionTriggered, bar, [hwnd, bar, message](int a) {
      WindowState* s = StateOf(hwnd);
      if (!s) return;
      WPARAM wp = ScrollCode(a) | (static_cast<WPARAM>(bar->sliderPosition() & 0xFFFF) << 16);
      bool leftToWidget = false;
      s->barAction = true;
      Deliver(*s, message, wp, 0, &leftToWidget);
      if (WindowState* still = StateOf(hwnd)) still->barAction = false;
    });
  };
  hook(area->horizontalScrollBar(), WM_HSCROLL);
  hook(area->verticalScrollBar(), WM_VSCROLL);
}

}  // namespace

void ScrollByCode(WindowState& state, UINT message, WPARAM wParam) {
  auto* area = qobject_cast<QAbstractScrollArea*>(state.widget.data());
  if (!area) return;
  QScrollBar* bar = message == WM_HSCROLL ? area->horizontalScrollBar() : area->verticalScrollBar();
  int position = static_cast<int>((wParam >> 16) & 0xFFFF);
  // setValue, not the bar's actions, which would report themselves as scroll messages again.
  switch (wParam & 0xFFFF) {
    case SB_LINEUP:
      bar->setValue(bar->value() - bar->singleStep());
      break;
    case SB_LINEDOWN:
      bar->setValue(bar->value() + bar->singleStep());
      break;
    case SB_PAGEUP:
      bar->setValue(bar->value() - bar->pageStep());
      break;
    case SB_PAGEDOWN:
      bar->setValue(bar->value() + bar->pageStep());
      break;
    case SB_TOP:
      bar->setValue(bar->minimum());
      break;
    case SB_BOTTOM:
      bar->setValue(bar->maximum());
      break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      bar->setValue(position);
      break;
    default:
      break;  // SB_ENDSCROLL
  }
}

namespace {

QImage ImageOf(Surface const& surface) {
  QImage image(surface.width, surface.height, QImage::Format_RGB32);
  for (int y = 0; y < surface.height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < surface.width; ++x) {
      std::size_t at = static_cast<std::size_t>(y) * surface.width + x;
      line[x] = surface.bits == 1 ? (surface.mono[at] ? 0xFFFFFFFF : 0xFF000000)
                                  : (0xFF000000 | surface.pixels[at]);
    }
  }
  return image;
}

}  // namespace

QString FromGbk(std::string_view text) {
  std::u16string utf16;
  text::GbkToUtf16(text, utf16);
  return QString::fromStdU16String(utf16);
}

std::string ToGbk(QString const& text) {
  std::string gbk;
  text::Utf8ToGbkReplacing(text.toStdString(), gbk);
  return gbk;
}

void ShowStaticImage(WindowState& state) {
  auto* label = qobject_cast<QLabel*>(state.widget.data());
  if (!label) return;
  if (Surface const* image = gdi::IconImage(state.icon)) {
    Surface const* mask = gdi::IconMask(state.icon);
    QImage argb(image->width, image->height, QImage::Format_ARGB32);
    for (int y = 0; y < image->height; ++y) {
      for (int x = 0; x < image->width; ++x) {
        std::size_t at = static_cast<std::size_t>(y) * image->width + x;
        argb.setPixel(x, y, mask->mono[at] ? 0u : (0xFF000000 | image->pixels[at]));
      }
    }
    label->setPixmap(QPixmap::fromImage(argb));
  } else if (Surface* bitmap = gdi::SurfaceOf(state.bitmap)) {
    label->setPixmap(QPixmap::fromImage(ImageOf(*bitmap)));
  } else {
    label->setPixmap(QPixmap());
  }
  InvalidateRect(state.wnd ? state.wnd->m_hWnd : nullptr, nullptr, 1);
}

QWidget* CreateStandardWidget(WindowState& state, std::string const& className, char const* text,
                              QWidget* parent) {
  HWND hwnd = reinterpret_cast<HWND>(&state);
  unsigned long style = state.style;
  auto is = [&](char const* name) {
    return QString::fromStdString(className).compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
  };
  if (is("EDIT") || (is("RICHEDIT") && RichEditLoaded())) {
    if (is("RICHEDIT") || (style & ES_MULTILINE)) {
      QWidget* widget = nullptr;
      if (is("RICHEDIT")) {
        auto* edit = new QTextEdit(parent);
        edit->setPlainText(Text(text));
        edit->setReadOnly(style & ES_READONLY);
        widget = edit;
        state.kind = Kind::kRichEdit;
      } else {
        auto* edit = new QPlainTextEdit(Text(text), parent);
        edit->setReadOnly(style & ES_READONLY);
        widget = edit;
        state.kind = Kind::kEdit;
      }
      return widget;
    }
    auto* edit = new QLineEdit(Text(text), parent);
    state.kind = Kind::kEdit;
    edit->setAlignment(HorizontalAlignment(style) | Qt::AlignVCenter);
    if (style & ES_PASSWORD) edit->setEchoMode(QLineEdit::Password);
    edit->setReadOnly(style & ES_READONLY);
    if (style & (ES_UPPERCASE | ES_LOWERCASE)) {
      bool upper = style & ES_UPPERCASE;
      QObject::connect(edit, &QLineEdit::textEdited, edit, [edit, upper](QString const& t) {
        QString cased = upper ? t.toUpper() : t.toLower();
        if (cased != t) {
          int cursor = edit->cursorPosition();
          edit->setText(cased);
          edit->setCursorPosition(cursor);
        }
      });
    }
    QObject::connect(edit, &QLineEdit::textEdited, edit, [hwnd] { NotifyParent(hwnd, EN_CHANGE); });
    return edit;
  }
  if (is("STATIC")) {
    auto* label = new QLabel(parent);
    state.kind = Kind::kStatic;
    UINT type = style & SS_TYPEMASK;
    if (type != SS_ICON && type != SS_BITMAP) label->setText(Text(text));
    Qt::Alignment align = type == SS_CENTER  ? Qt::AlignHCenter
                          : type == SS_RIGHT ? Qt::AlignRight
                                             : Qt::AlignLeft;
    label->setAlignment(align | ((style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop));
    label->setAutoFillBackground(true);
    return label;
  }
  if (is("COMBOBOX")) {
    auto* combo = new QComboBox(parent);
    state.kind = Kind::kComboBox;
    combo->setEditable((style & 3) != CBS_DROPDOWNLIST);
    if (combo->isEditable()) combo->setEditText(Text(text));
    QObject::connect(combo, &QComboBox::currentIndexChanged, combo,
                     [hwnd] { NotifyParent(hwnd, CBN_SELCHANGE); });
    return combo;
  }
  if (is("BUTTON")) {
    state.kind = Kind::kButton;
    UINT type = style & BS_TYPEMASK;
    if (type == BS_GROUPBOX) return new QGroupBox(Text(text), parent);
    QAbstractButton* button = nullptr;
    if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) {
      button = new QCheckBox(Text(text), parent);
    } else {
      auto* push = new QPushButton(Text(text), parent);
      push->setDefault(type == BS_DEFPUSHBUTTON);
      button = push;
    }
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [hwnd] { NotifyParent(hwnd, BN_CLICKED); });
    return button;
  }
  if (is("SysListView32")) {
    auto* list = new QListWidget(parent);
    state.kind = Kind::kListView;
    if ((style & LVS_TYPEMASK) == LVS_LIST) {
      list->setFlow(QListView::TopToBottom);
      list->setWrapping(true);
      list->setResizeMode(QListView::Adjust);
    }
    list->setSelectionMode((style & LVS_SINGLESEL) ? QAbstractItemView::SingleSelection
                                                   : QAbstractItemView::ExtendedSelection);
    list->setMouseTracking(true);
    BridgeScrollBars(hwnd, list);
    return list;
  }
  return nullptr;
}

}  // namespace qel::ui
