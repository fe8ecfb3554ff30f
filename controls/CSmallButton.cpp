#include "qelshare/CSmallButton.h"

#include "controls/small_button_logic.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/icon_file.h"
#include "platform/resources/resources.h"
#include "platform/ui/ui.h"

CSmallButton::CSmallButton()
    : m_nIconSize(16),
      m_crColor(0),
      m_nLook(0),
      m_nCapture(0),
      m_hIcon(nullptr),
      m_hIconDisabled(nullptr) {}

CSmallButton::~CSmallButton() {
  if (m_hIcon) DestroyIcon(m_hIcon);
  if (m_hIconDisabled) DestroyIcon(m_hIconDisabled);
}

AFX_MSGMAP const* CSmallButton::GetThisMessageMap() {
  static AFX_MSGMAP_ENTRY const entries[] = {
      {WM_PAINT, AfxSig_v, AfxHandler(&CSmallButton::OnPaint)},
      {WM_LBUTTONDOWN, AfxSig_vwp, AfxHandler(&CSmallButton::OnLButtonDown)},
      {WM_LBUTTONUP, AfxSig_vwp, AfxHandler(&CSmallButton::OnLButtonUp)},
      {WM_MOUSEMOVE, AfxSig_vwp, AfxHandler(&CSmallButton::OnMouseMove)},
      {WM_ENABLE, AfxSig_vb, AfxHandler(&CSmallButton::OnEnable)},
      {0, AfxSig_end, nullptr},
  };
  static AFX_MSGMAP const map = {&CWnd::GetThisMessageMap, entries};
  return &map;
}

AFX_MSGMAP const* CSmallButton::GetMessageMap() const {
  return GetThisMessageMap();
}

int CSmallButton::DoCreate(char const* text, tagRECT const& rect, CWnd* pParent, unsigned int nID,
                           HICON hIcon, HICON hIconDisabled) {
  CWnd::RegisterClass("SmallButtonClass", CS_PARENTDC | CS_HREDRAW | CS_VREDRAW,
                      LoadCursorA(nullptr, IDC_ARROW), nullptr);
  int created = Create("SmallButtonClass", text, WS_CHILD | WS_VISIBLE, rect, pParent, nID);
  if (!created) return 0;
  qel::controls::ButtonIcons row = qel::controls::IconsForText(text ? text : "");
  m_nIconSize = row.size;
  if (hIcon) {
    m_hIcon = hIcon;
    m_hIconDisabled = hIconDisabled;
    m_nIconSize = 32;
  } else if (row.enabled && row.disabled) {
    HINSTANCE library = qel::res::LibraryModule();
    m_hIcon =
        LoadImageA(library, row.enabled, IMAGE_ICON, m_nIconSize, m_nIconSize, LR_DEFAULTCOLOR);
    m_hIconDisabled =
        LoadImageA(library, row.disabled, IMAGE_ICON, m_nIconSize, m_nIconSize, LR_DEFAULTCOLOR);
  } else {
    m_hIcon = nullptr;
  }
  return created;
}

void CSmallButton::SetColor(unsigned long crColor) {
  m_crColor = static_cast<COLORREF>(crColor);
  Invalidate(1);
}

unsigned long CSmallButton::GetColor() {
  return m_crColor;
}

void CSmallButton::OnPaint() {
  CPaintDC dc(this);
  tagRECT q;
  GetClientRect(&q);
  HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  dc.FillRect(&q, face);
  DeleteObject(face);
  if (!m_hIcon && !m_hIconDisabled) {
    tagRECT swatch = {q.left + 5, q.top + 5, q.right - 5, q.bottom - 5};
    HBRUSH colour = CreateSolidBrush(m_crColor);
    dc.FillRect(&swatch, colour);
    DeleteObject(colour);
  }
  if (m_nLook == 1) {
    dc.Draw3dRect(&q, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
  } else if (m_nLook == -1) {
    dc.Draw3dRect(&q, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
  }
  HICON icon = IsWindowEnabled() ? m_hIcon : m_hIconDisabled;
  if (!icon) return;
  int x = q.left + (q.right - q.left - m_nIconSize) / 2;
  int y = q.top + (q.bottom - q.top - m_nIconSize) / 2;
  dc.DrawIconEx(x, y, icon, m_nIconSize, m_nIconSize, DI_NORMAL);
}

void CSmallButton::Redraw() {
  Invalidate(1);
  UpdateWindow();
}

void CSmallButton::OnMouseMove(unsigned int, CPoint point) {
  tagRECT q;
  GetClientRect(&q);
  qel::controls::ButtonStep step =
      qel::controls::ButtonMouseMove(m_nLook, m_nCapture, PtInRect(&q, point) != 0);
  if (step.capture) SetCapture();
  if (step.release) ReleaseCapture();
  if (step.redraw) Redraw();
}

void CSmallButton::OnLButtonDown(unsigned int, CPoint) {
  qel::controls::ButtonStep step = qel::controls::ButtonDown(m_nLook, m_nCapture);
  if (step.capture) SetCapture();
  if (step.focus) SetFocus();
  if (step.redraw) Redraw();
}

void CSmallButton::OnLButtonUp(unsigned int, CPoint) {
  qel::controls::ButtonStep step = qel::controls::ButtonUp(m_nLook, m_nCapture);
  if (step.release) ReleaseCapture();
  if (step.notify) {
    CWnd* parent = GetParent();
    long id = GetWindowLongA(m_hWnd, GWL_ID);
    if (parent) PostMessageA(parent->m_hWnd, WM_COMMAND, static_cast<WPARAM>(id & 0xFFFF), 0);
  }
  if (step.redraw) Redraw();
}

void CSmallButton::OnEnable(int) {
  Default();
  Invalidate(1);
}
