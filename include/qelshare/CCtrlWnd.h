// CCtrlWnd: a child control made from one line of text, the control description.
//
// A search form is a list of such lines, one per control:
//   TYPE,"CAPTION",X,Y,W,H,"MARK","HELP",STYLE
// TYPE is one of EDIT, TEXT, COMBO, GROUP, CHECK, BUTTON, SMBUTTON, LIST (any letter
// case); X, Y are the top-left corner in the parent's client area and W, H the width and
// height less one; MARK binds the control to a function of the form (one of the system
// marks below, or the form's own text); STYLE is a list of words separated by "|" that
// the kind may honour (edge words 3D, CLIENTEDGE, DLGMODALFRAME, STATICEDGE, BORDER;
// alignment LEFT, CENTER, RIGHT; for EDIT also UPPER, LOWER, PASSWORD, MULTLINE, RICH;
// for TEXT SS_ETCHEDFRAME). A caption ends at the first quote followed by ",", so it may
// hold other quotes. DoCreate parses the line and creates the matching standard window as
// this object; GetString writes the line back from the live window, so a designer can
// move and resize controls and save the form again.
//
// A control works in run mode (no sizing frame: it behaves as the standard control, and a
// double click on a "LIST" posts WM_COMMAND with its identifier to the parent) or in
// design mode (a CCtrlSizeWnd given: a click does not reach the control but sends
// WM_COPYDATA to the parent, dwData 1 with Ctrl held and 0 without, cbData 0, and
// activates the frame). Identifiers come from one process-wide counter that starts at 1000.
#ifndef QELSHARE_CCTRLWND_H_
#define QELSHARE_CCTRLWND_H_

#include "qelshare/export.h"
#include "qelshare/window.h"

class QELSHARE_API CCtrlWnd : public CWnd {
 public:
  // No window, no icon, no frame, empty texts.
  CCtrlWnd();
  // Destroys the icon of an icon button, then the window.
  ~CCtrlWnd() override;

  // Parses desc, creates the control as a child of pParent with the font of pFont (the
  // system font when null) and remembers pSizeWnd (design mode when not null). Each of the
  // five text fields is stored as soon as it is read, so after a syntax error the fields
  // read so far hold their new values. Returns 1 on success; 0 on a syntax error, a kind
  // not in the table (no identifier used) or a failed creation (its identifier used up).
  int DoCreate(char const* desc, CWnd* pParent, CFont* pFont, CWnd* pSizeWnd);

  // The fields as stored; empty on a null object or before the window exists.
  CString GetType();
  CString GetCaption();
  CString GetMark();
  CString GetHelp();
  CString GetStyle();
  // Store a new caption, help text or style words while the window exists; the window's
  // text and style bits stay as they are.
  void SetCaption(char const* caption);
  void SetHelp(char const* help);
  void SetStyle(char const* style);
  // The control's description line from its current rectangle in the parent's client
  // area; DoCreate of it gives the same rectangle. Requires the window.
  CString GetString();

  // Sets the identifier the next created control receives.
  static void SetBeginID(int nID);
  // The table of system marks, the form functions a control can be bound to: 14 rows,
  // "_SYS_STATIC", "_SYS_BT_OK", ..., "_SYS_BT_AGAIN". The description (GBK) of row i, or
  // empty; the mark of row i, or an empty text when i is out of range.
  static int GetSysResideCount();
  static CString GetSysResideString(int i);
  static char const* GetSysResideMark(int i);

  HICON m_hIcon;      // icon of an icon button (owned), else null
  CString m_strType;  // kind as written
  CString m_strCaption;
  CString m_strMark;
  CString m_strHelp;
  CString m_strStyle;  // style words separated by "|"
  CWnd* m_pSizeWnd;    // the CCtrlSizeWnd in design mode (not owned), else null

 protected:
  void OnLButtonDown(unsigned int nFlags, CPoint point);
  void OnLButtonDblClk(unsigned int nFlags, CPoint point);
  AFX_MSGMAP const* GetMessageMap() const override;
  static AFX_MSGMAP const* GetThisMessageMap();

 private:
  static int s_nNextID;
};

#endif  // QELSHARE_CCTRLWND_H_
