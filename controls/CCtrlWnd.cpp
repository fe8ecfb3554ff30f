#include "qelshare/CCtrlWnd.h"

#include <cstring>
#include <string_view>

#include "controls/ctrl_desc.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/icon_file.h"
#include "platform/resources/resources.h"
#include "platform/ui/ui.h"
#include "qelshare/CCtrlSizeWnd.h"

int CCtrlWnd::s_nNextID = 1000;

CCtrlWnd::CCtrlWnd() : m_hIcon(nullptr), m_pSizeWnd(nullptr) {}

CCtrlWnd::~CCtrlWnd() {
  if (m_hIcon) DestroyIcon(m_hIcon);
}

AFX_MSGMAP const* CCtrlWnd::GetThisMessageMap() {
  static AFX_MSGMAP_ENTRY const entries[] = {
      {WM_LBUTTONDOWN, AfxSig_vwp, AfxHandler(&CCtrlWnd::OnLButtonDown)},
      {WM_LBUTTONDBLCLK, AfxSig_vwp, AfxHandler(&CCtrlWnd::OnLButtonDblClk)},
      {0, AfxSig_end, nullptr},
  };
  static AFX_MSGMAP const map = {&CWnd::GetThisMessageMap, entries};
  return &map;
}

AFX_MSGMAP const* CCtrlWnd::GetMessageMap() const {
  return GetThisMessageMap();
}

int CCtrlWnd::DoCreate(char const* desc, CWnd* pParent, CFont* pFont, CWnd* pSizeWnd) {
  if (!desc) return 0;
  namespace qc = qel::controls;
  qc::Description d = qc::ParseDescription(std::string_view(desc, std::strlen(desc)));
  // Each text field is kept as soon as it was read, even when the line breaks off later.
  if (d.stored >= 1) m_strType.assign(d.type);
  if (d.stored >= 2) m_strCaption.assign(d.caption);
  if (d.stored >= 3) m_strMark.assign(d.mark);
  if (d.stored >= 4) m_strHelp.assign(d.help);
  if (d.stored >= 5) m_strStyle.assign(d.style);
  if (!d.ok()) return 0;
  qc::ControlPlan plan = qc::PlanControl(d);
  if (plan.kind < 0) return 0;

  // The identifier is used up before the creation, which may still fail.
  UINT id = static_cast<UINT>(s_nNextID);
  s_nNextID = static_cast<int>(static_cast<unsigned>(s_nNextID) + 1u);
  tagRECT rect = {plan.left, plan.top, plan.right, plan.bottom};
  int created = plan.iconButton
                    ? Create(plan.windowClass, m_strCaption.c_str(), plan.style, rect, pParent, id)
                    : CreateEx(plan.exStyle, plan.windowClass, m_strCaption.c_str(), plan.style,
                               rect, pParent, id);
  if (!created) return 0;
  if (plan.iconButton) {
    if (plan.icon) {
      m_hIcon = LoadImageA(qel::res::LibraryModule(), plan.icon, IMAGE_ICON, plan.iconSize,
                           plan.iconSize, LR_DEFAULTCOLOR);
    }
    SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(m_hIcon), 0);
  }
  SendMessage(WM_SETFONT, pFont ? reinterpret_cast<WPARAM>(pFont->m_hObject) : 0, 1);
  m_pSizeWnd = pSizeWnd;
  return 1;
}

CString CCtrlWnd::GetType() {
  return IsWindow(m_hWnd) ? m_strType : CString();
}

CString CCtrlWnd::GetCaption() {
  return IsWindow(m_hWnd) ? m_strCaption : CString();
}

void CCtrlWnd::SetCaption(char const* caption) {
  if (IsWindow(m_hWnd)) m_strCaption = caption ? caption : "";
}

CString CCtrlWnd::GetMark() {
  return IsWindow(m_hWnd) ? m_strMark : CString();
}

CString CCtrlWnd::GetHelp() {
  return IsWindow(m_hWnd) ? m_strHelp : CString();
}

void CCtrlWnd::SetHelp(char const* help) {
  if (IsWindow(m_hWnd)) m_strHelp = help ? help : "";
}

CString CCtrlWnd::GetStyle() {
  return IsWindow(m_hWnd) ? m_strStyle : CString();
}

void CCtrlWnd::SetStyle(char const* style) {
  if (IsWindow(m_hWnd)) m_strStyle = style ? style : "";
}

CString CCtrlWnd::GetString() {
  if (!IsWindow(m_hWnd)) return {};
  tagRECT r;
  GetWindowRect(&r);
  if (CWnd* parent = GetParent()) parent->ScreenToClient(&r);
  return qel::controls::FormatDescription(m_strType, m_strCaption, r.left, r.top, r.right, r.bottom,
                                          m_strMark, m_strHelp, m_strStyle);
}

void CCtrlWnd::SetBeginID(int nID) {
  s_nNextID = nID;
}

int CCtrlWnd::GetSysResideCount() {
  return qel::controls::kSysMarkCount;
}

CString CCtrlWnd::GetSysResideString(int i) {
  return qel::controls::SysMarkDescription(i);
}

char const* CCtrlWnd::GetSysResideMark(int i) {
  return qel::controls::SysMark(i);
}

void CCtrlWnd::OnLButtonDown(unsigned int nFlags, CPoint) {
  if (!m_pSizeWnd) {
    Default();
    return;
  }
  // Design mode: the click selects the control in the designer instead of reaching it.
  tagCOPYDATASTRUCT block = {(nFlags & MK_CONTROL) ? 1u : 0u, 0, nullptr};
  SendMessageA(::GetParent(m_hWnd), WM_COPYDATA, reinterpret_cast<WPARAM>(m_hWnd),
               reinterpret_cast<LPARAM>(&block));
  if (auto* frame = dynamic_cast<CCtrlSizeWnd*>(m_pSizeWnd)) frame->OnFocus(1, 1);
}

void CCtrlWnd::OnLButtonDblClk(unsigned int, CPoint) {
  if (!m_pSizeWnd) {
    long id = GetWindowLongA(m_hWnd, GWL_ID);
    if (m_strType == "LIST") {
      PostMessageA(::GetParent(m_hWnd), WM_COMMAND, static_cast<WPARAM>(id & 0xFFFF), 0);
    }
  }
  Default();
}
