#include "qelshare/CCtrlSizeWnd.h"

#include <string>

#include "controls/size_frame_logic.h"
#include "platform/gdi/gdi.h"
#include "platform/ui/ui.h"

namespace {

namespace qc = qel::controls;

constexpr COLORREF kHatch = 0x404040;
constexpr COLORREF kCorner = 0x848484;
constexpr COLORREF kOrderBox = 0xFF0000;

qc::FrameRect FromRect(tagRECT const& r) {
  return {r.left, r.top, r.right, r.bottom};
}
tagRECT ToRect(qc::FrameRect const& r) {
  return {r.left, r.top, r.right, r.bottom};
}

}  // namespace

CCtrlSizeWnd::CCtrlSizeWnd()
    : m_bActive(0), m_nID(0), m_ptLast(0, 0), m_nMode(qc::kFrameIdle), m_pFriend(nullptr) {}

CCtrlSizeWnd::~CCtrlSizeWnd() = default;

AFX_MSGMAP const* CCtrlSizeWnd::GetThisMessageMap() {
  static AFX_MSGMAP_ENTRY const entries[] = {
      {WM_PAINT, AfxSig_v, AfxHandler(&CCtrlSizeWnd::OnPaint)},
      {WM_LBUTTONDOWN, AfxSig_vwp, AfxHandler(&CCtrlSizeWnd::OnLButtonDown)},
      {WM_MOUSEMOVE, AfxSig_vwp, AfxHandler(&CCtrlSizeWnd::OnMouseMove)},
      {WM_LBUTTONUP, AfxSig_vwp, AfxHandler(&CCtrlSizeWnd::OnLButtonUp)},
      {0, AfxSig_end, nullptr},
  };
  static AFX_MSGMAP const map = {&CWnd::GetThisMessageMap, entries};
  return &map;
}

AFX_MSGMAP const* CCtrlSizeWnd::GetMessageMap() const {
  return GetThisMessageMap();
}

int CCtrlSizeWnd::DoCreate(CWnd* pParent, unsigned int nID) {
  CWnd::RegisterClass("CtrlSizeClass", CS_HREDRAW | CS_VREDRAW, LoadCursorA(nullptr, IDC_ARROW),
                      nullptr);
  int created =
      Create("CtrlSizeClass", "", WS_CHILD | WS_BORDER, tagRECT{0, 0, 0, 0}, pParent, nID + 100);
  m_pFriend = nullptr;
  m_nMode = qc::kFrameIdle;
  m_bActive = 0;
  m_nID = static_cast<int>(nID);
  return created;
}

void CCtrlSizeWnd::SetFriendWnd(CWnd* pWnd) {
  m_pFriend = pWnd;
}

void CCtrlSizeWnd::SetID(int nID) {
  m_nID = nID;
}

int CCtrlSizeWnd::IsActive() {
  return m_bActive;
}

namespace {

// The control's rectangle in the client coordinates of the frame's parent.
tagRECT FriendRect(CWnd* frame, CWnd* control) {
  tagRECT r{};
  if (!control) return r;
  control->GetWindowRect(&r);
  if (CWnd* parent = frame->GetParent()) parent->ScreenToClient(&r);
  return r;
}

// Moves the control to r and the frame to r, grown by the band when `around`; then the
// frame is painted at once.
void Place(CWnd* frame, CWnd* control, tagRECT r, bool around) {
  if (control) control->MoveWindow(&r, 1);
  tagRECT f = around ? ToRect(qc::GrowByBand(FromRect(r))) : r;
  frame->MoveWindow(&f, 1);
  frame->InvalidateRect(nullptr, 1);
  frame->UpdateWindow();
}

// Sends the parent one notification: three integers, the third the frame's number.
void Notify(CWnd* frame, std::uintptr_t code, int a, int b, int id) {
  std::int32_t data[3] = {a, b, id};
  tagCOPYDATASTRUCT block = {code, sizeof data, data};
  SendMessageA(GetParent(frame->m_hWnd), WM_COPYDATA, reinterpret_cast<WPARAM>(frame->m_hWnd),
               reinterpret_cast<LPARAM>(&block));
}

bool ShiftDown() {
  return GetKeyState(VK_SHIFT) < 0;
}

}  // namespace

void CCtrlSizeWnd::OnFocus(int bShow, int bActive) {
  if (!bShow) {
    ShowWindow(SW_HIDE);
    return;
  }
  m_bActive = bActive;
  ShowWindow(SW_SHOW);
  BringWindowToTop(m_hWnd);
  Place(this, nullptr, FriendRect(this, m_pFriend), true);
}

void CCtrlSizeWnd::Order(int bOrder) {
  if (bOrder) {
    m_nMode = qc::kFrameOrder;
    ShowWindow(SW_SHOW);
    BringWindowToTop(m_hWnd);
    Place(this, nullptr, FriendRect(this, m_pFriend), true);
    return;
  }
  m_nMode = qc::kFrameIdle;
  if (m_pFriend) m_pFriend->ShowWindow(SW_SHOW);
  m_bActive = 0;
  ShowWindow(SW_HIDE);
}

void CCtrlSizeWnd::Simulate(unsigned int nMsg, int x, int y) {
  switch (nMsg) {
    case WM_MOUSEMOVE: {
      tagRECT r = ToRect(qc::Offset(FromRect(FriendRect(this, m_pFriend)), x, y));
      Place(this, m_pFriend, r, false);
      break;
    }
    case WM_LBUTTONDOWN:
      m_nMode = qc::kFrameMirrored;
      break;
    case WM_LBUTTONUP:
      m_nMode = qc::kFrameIdle;
      Place(this, m_pFriend, FriendRect(this, m_pFriend), true);
      break;
    default:
      break;
  }
}

void CCtrlSizeWnd::OnLButtonDown(unsigned int, CPoint point) {
  if (m_nMode == qc::kFrameOrder) {
    Notify(this, WM_LBUTTONDOWN, point.x, point.y, m_nID);
    return;
  }
  if (m_nMode != qc::kFrameIdle) return;
  tagRECT q;
  GetClientRect(&q);
  qc::FrameZone zone = qc::HitZone(q.right, q.bottom, point.x, point.y);
  if (zone.mode != qc::kFrameIdle) {
    SetCursor(LoadCursorA(nullptr, zone.cursor));
    SetCapture();
    m_nMode = zone.mode;
    if (zone.mode == qc::kFrameMove) Notify(this, WM_LBUTTONDOWN, point.x, point.y, m_nID);
  }
  m_ptLast = point;
}

void CCtrlSizeWnd::OnMouseMove(unsigned int, CPoint point) {
  switch (m_nMode) {
    case qc::kFrameIdle: {
      tagRECT q;
      GetClientRect(&q);
      qc::FrameZone zone = qc::HitZone(q.right, q.bottom, point.x, point.y);
      if (zone.cursor) SetCursor(LoadCursorA(nullptr, zone.cursor));
      return;
    }
    case qc::kFrameMove:
      if (ShiftDown()) {
        tagPOINT screen = point;
        ClientToScreen(&screen);
        Notify(this, 3, screen.x, screen.y, m_nID);
        return;
      }
      [[fallthrough]];
    case qc::kFrameLeft:
    case qc::kFrameTop:
    case qc::kFrameRight:
    case qc::kFrameBottom: {
      qc::FrameRect f = FromRect(FriendRect(this, m_pFriend));
      qc::FrameRect moved = qc::DragStep(m_nMode, f, point.x, point.y, m_ptLast.x, m_ptLast.y);
      Place(this, m_pFriend, ToRect(moved), false);
      if (m_nMode == qc::kFrameMove) {
        Notify(this, WM_MOUSEMOVE, moved.left - f.left, moved.top - f.top, m_nID);
      }
      return;
    }
    default:
      return;  // mirrored and the order view
  }
}

void CCtrlSizeWnd::OnLButtonUp(unsigned int, CPoint point) {
  if (m_nMode == qc::kFrameOrder || m_nMode == qc::kFrameIdle) return;
  if (m_nMode == qc::kFrameMove && ShiftDown()) {
    ReleaseCapture();
    m_nMode = qc::kFrameIdle;
    tagPOINT screen = point;
    ClientToScreen(&screen);
    Notify(this, 2, screen.x, screen.y, m_nID);
    return;
  }
  ReleaseCapture();
  m_nMode = qc::kFrameIdle;
  Place(this, m_pFriend, FriendRect(this, m_pFriend), true);
  Notify(this, WM_LBUTTONUP, point.x, point.y, m_nID);
}

void CCtrlSizeWnd::OnPaint() {
  CPaintDC dc(this);
  tagRECT q;
  GetClientRect(&q);
  auto hatched = [&dc, &q] {
    tagLOGBRUSH lb = {BS_HATCHED, kHatch, HS_BDIAGONAL};
    HBRUSH brush = CreateBrushIndirect(&lb);
    dc.FillRect(&q, brush);
    DeleteObject(brush);
  };
  auto repaintFriend = [this] {
    m_pFriend->InvalidateRect(nullptr, 1);
    m_pFriend->UpdateWindow();
  };
  if (m_nMode == qc::kFrameIdle) {
    hatched();
    if (m_bActive) {
      dc.FillSolidRect(q.left, q.top, 5, 5, kCorner);
      dc.FillSolidRect(q.right - 5, q.top, 5, 5, kCorner);
      dc.FillSolidRect(q.right - 5, q.bottom - 5, 5, 5, kCorner);
      dc.FillSolidRect(q.left, q.bottom - 5, 5, 5, kCorner);
    }
    if (m_pFriend) {
      repaintFriend();
      // The control, painted after the frame, covers the frame's inner part.
      tagRECT inner;
      m_pFriend->GetWindowRect(&inner);
      ScreenToClient(&inner);
      qel::ui::SetSeeThrough(m_hWnd, &inner);
    } else {
      qel::ui::SetSeeThrough(m_hWnd, nullptr);
    }
    return;
  }
  qel::ui::SetSeeThrough(m_hWnd, nullptr);
  if (m_nMode == qc::kFrameOrder) {
    hatched();
    if (m_pFriend) m_pFriend->ShowWindow(SW_HIDE);
    tagRECT box = {q.left, q.top, q.left + 30, q.top + 20};
    dc.FillSolidRect(&box, kOrderBox);
    dc.SetTextColor(0xFFFFFF);
    dc.SetBkMode(TRANSPARENT);
    std::string number = std::to_string(static_cast<int>(static_cast<unsigned>(m_nID) + 1u));
    dc.DrawText(number.c_str(), -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    return;
  }
  if (m_pFriend) repaintFriend();
  dc.FillSolidRect(&q, 0xFFFFFF);
  dc.Draw3dRect(&q, 0, 0);
}
