// CSmallButton: a flat tool-bar button drawn by the library.
//
// An icon is centred on the button face; the button shows a raised edge while the pointer
// hovers over it, a sunken edge while it is pressed, and a greyed icon while disabled. A
// click (press and release while still sunken) posts WM_COMMAND to the parent with the
// button's identifier in the low word and lParam 0. The picture is named by the part of
// the text before its first "/" (new, edit, del, up, down, right, left, tool, check,
// record, save, scan; color shows a swatch of GetColor() instead of an icon).
#ifndef QELSHARE_CSMALLBUTTON_H_
#define QELSHARE_CSMALLBUTTON_H_

#include "qelshare/export.h"
#include "qelshare/window.h"

class QELSHARE_API CSmallButton : public CWnd {
 public:
  // Icon size 16, flat, not captured, no icons, black swatch.
  CSmallButton();
  // Destroys both icons (also those handed in to DoCreate), then the window.
  ~CSmallButton() override;

  // Creates the button (class "SmallButtonClass", style WS_CHILD | WS_VISIBLE, the whole
  // text as window text) and chooses its picture; icons handed in are owned by the button
  // and drawn at 32 x 32. Returns 0 when the window cannot be created (nothing is loaded).
  int DoCreate(char const* text, tagRECT const& rect, CWnd* pParent, unsigned int nID, HICON hIcon,
               HICON hIconDisabled);
  // Sets the swatch colour and repaints.
  void SetColor(unsigned long crColor);
  unsigned long GetColor();

  int m_nIconSize;        // 16, or 32 for "scan" and for icons handed in
  COLORREF m_crColor;     // swatch colour of a colour button
  int m_nLook;            // 0 flat, 1 raised, -1 sunken
  int m_nCapture;         // 0 none, 1 captured for hover, -1 captured by a press
  HICON m_hIcon;          // drawn while enabled
  HICON m_hIconDisabled;  // drawn while disabled

 protected:
  void OnPaint();
  void OnLButtonDown(unsigned int nFlags, CPoint point);
  void OnLButtonUp(unsigned int nFlags, CPoint point);
  void OnMouseMove(unsigned int nFlags, CPoint point);
  void OnEnable(int bEnable);
  AFX_MSGMAP const* GetMessageMap() const override;
  static AFX_MSGMAP const* GetThisMessageMap();

 private:
  void Redraw();
};

#endif  // QELSHARE_CSMALLBUTTON_H_
