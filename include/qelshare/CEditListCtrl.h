// CEditListCtrl: a list view that takes the keyboard focus before it scrolls, so that a
// cell editor the host placed over it loses the focus (and can save its text) before the
// rows move. Otherwise it is the platform's list view.
#ifndef QELSHARE_CEDITLISTCTRL_H_
#define QELSHARE_CEDITLISTCTRL_H_

#include "qelshare/export.h"
#include "qelshare/window.h"

class QELSHARE_API CEditListCtrl : public CListCtrl {
 public:
  CEditListCtrl();
  ~CEditListCtrl() override;

 protected:
  // WM_HSCROLL / WM_VSCROLL: focus to the list, then the list's own scrolling.
  void OnHScroll(unsigned int nSBCode, unsigned int nPos, CScrollBar* pScrollBar);
  void OnVScroll(unsigned int nSBCode, unsigned int nPos, CScrollBar* pScrollBar);
  AFX_MSGMAP const* GetMessageMap() const override;
  static AFX_MSGMAP const* GetThisMessageMap();
};

#endif  // QELSHARE_CEDITLISTCTRL_H_
