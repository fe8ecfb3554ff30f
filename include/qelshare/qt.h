// For Qt hosts: the widget behind a library window, and a host widget as a parent.
//
// Optional: include it only in hosts built against Qt 6 Widgets. The library's windows
// are real QWidgets; a host puts them into its own layouts through GetWidget, and makes
// one of its own widgets the parent of library windows through Attach.
#ifndef QELSHARE_QT_H_
#define QELSHARE_QT_H_

#include "qelshare/export.h"
#include "qelshare/window.h"

class QWidget;

class QELSHARE_API CQtBridge {
 public:
  // The widget showing window, or null when it has no window.
  static QWidget* GetWidget(CWnd* window);
  // Makes the host's widget the window of an object without one (registered-class
  // behaviour: messages reach its WindowProc, children can be created in it). The widget
  // stays the host's; Detach (or the widget's destruction) ends the link. 1 on success.
  static int Attach(CWnd* window, QWidget* widget, UINT id = 0);
  static void Detach(CWnd* window);
};

#endif  // QELSHARE_QT_H_
