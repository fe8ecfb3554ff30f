// CCtrlSizeWnd: the form designer's handle frame around one described control.
//
// In design mode every CCtrlWnd has a frame of its own, a hidden sibling child window of
// the same parent. While the control is selected the frame lies around it, 5 pixels wider
// on every side; that band is the grip: dragging its left, top, right or bottom edge
// resizes the control, dragging inside moves it (the four corners are no grip). The frame
// moves and resizes the control itself and tells the parent (the designer) with
// WM_COPYDATA sent synchronously: wParam the frame's handle, lParam a COPYDATASTRUCT with
// cbData 12 and three 32-bit integers, the third always m_nID. dwData says what happened:
//   0x201  button down inside (start of a move), or any click in the order view: x, y of
//          the click in frame client coordinates;
//   0x200  each move step without Shift: dx, dy just applied to the control;
//   0x202  button up ending a move or resize: x, y of the release (frame client);
//   3      move step with Shift held (the control stays): pointer x, y on the screen;
//   2      button up of a Shift move: release x, y on the screen.
// The block lives only for the call; a receiver copies what it keeps. The designer mirrors
// a drag on the other selected frames with Simulate. The order view (Order) hides the
// control and shows its number m_nID + 1 in a blue box.
#ifndef QELSHARE_CCTRLSIZEWND_H_
#define QELSHARE_CCTRLSIZEWND_H_

#include "qelshare/export.h"
#include "qelshare/window.h"

class QELSHARE_API CCtrlSizeWnd : public CWnd {
 public:
  // No window until DoCreate.
  CCtrlSizeWnd();
  ~CCtrlSizeWnd() override;

  // Registers the class "CtrlSizeClass" and creates the frame hidden: style WS_CHILD |
  // WS_BORDER, empty rectangle, control identifier nID + 100. Then no friend, mode idle,
  // not active, m_nID = nID. Returns the result of the creation (nonzero on success).
  int DoCreate(CWnd* pParent, unsigned int nID);
  // The control this frame moves and resizes; must be set before the frame is shown.
  void SetFriendWnd(CWnd* pWnd);
  // Renumbers the frame (its order number less one).
  void SetID(int nID);
  // 1 when the frame marks the active selection (grey corner squares).
  int IsActive();
  // bShow 0 hides the frame. Otherwise sets m_bActive = bActive, shows the frame and
  // places it around the control (5 pixels on every side). The mode does not change.
  void OnFocus(int bShow, int bActive);
  // Nonzero enters the order view (mode -1, frame shown around the control, which painting
  // hides); 0 leaves it: mode idle, control shown, not active, frame hidden.
  void Order(int bOrder);
  // Mirrors another frame's drag: WM_MOUSEMOVE (0x200) offsets the control by (x, y) with
  // the frame on the very same rectangle; WM_LBUTTONDOWN (0x201) enters mode 6 without
  // moving anything; WM_LBUTTONUP (0x202) returns to idle and places the frame around the
  // control again. Other messages do nothing. Sends no notification.
  void Simulate(unsigned int nMsg, int x, int y);

  int m_bActive;    // active selection: corner squares drawn
  int m_nID;        // order number less one; sent in every notification
  CPoint m_ptLast;  // button-down point, frame client coordinates
  int m_nMode;      // 0 idle, 1 left, 2 top, 3 right, 4 bottom, 5 move, 6 mirrored, -1 order
  CWnd* m_pFriend;  // the control (not owned)

 protected:
  void OnPaint();
  void OnLButtonDown(unsigned int nFlags, CPoint point);
  void OnMouseMove(unsigned int nFlags, CPoint point);
  void OnLButtonUp(unsigned int nFlags, CPoint point);
  AFX_MSGMAP const* GetMessageMap() const override;
  static AFX_MSGMAP const* GetThisMessageMap();
};

#endif  // QELSHARE_CCTRLSIZEWND_H_
