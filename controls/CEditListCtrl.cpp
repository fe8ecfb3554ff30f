#include "qelshare/CEditListCtrl.h"

CEditListCtrl::CEditListCtrl() = default;

CEditListCtrl::~CEditListCtrl() = default;

AFX_MSGMAP const* CEditListCtrl::GetThisMessageMap() {
  static AFX_MSGMAP_ENTRY const entries[] = {
      {WM_HSCROLL, AfxSig_vwwScroll, AfxHandler(&CEditListCtrl::OnHScroll)},
      {WM_VSCROLL, AfxSig_vwwScroll, AfxHandler(&CEditListCtrl::OnVScroll)},
      {0, AfxSig_end, nullptr},
  };
  static AFX_MSGMAP const map = {&CWnd::GetThisMessageMap, entries};
  return &map;
}

AFX_MSGMAP const* CEditListCtrl::GetMessageMap() const {
  return GetThisMessageMap();
}

void CEditListCtrl::OnHScroll(unsigned int nSBCode, unsigned int nPos, CScrollBar* pScrollBar) {
  SetFocus();
  CWnd::OnHScroll(nSBCode, nPos, pScrollBar);
}

void CEditListCtrl::OnVScroll(unsigned int nSBCode, unsigned int nPos, CScrollBar* pScrollBar) {
  SetFocus();
  CWnd::OnVScroll(nSBCode, nPos, pScrollBar);
}
