// For Qt hosts: the widget behind a library window, and a host widget as a parent.
//
// Optional: include it only in hosts built against Qt 6 Widgets. The library's windows
// are real QWidgets; a host puts them into its own layouts through GetWidget, and makes
// one of its own widgets the parent of library windows through Attach. Its pictures
// (QImage, any format) become the bitmaps and icons the controls take through
// BitmapFromImage and IconFromImage.
#ifndef QELSHARE_QT_H_
#define QELSHARE_QT_H_

#include "qelshare/export.h"
#include "qelshare/window.h"

class QImage;
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

  // A 32-bit bitmap of the image's colours, for CStatic::SetBitmap and CTransparentImg
  // (whose key colour then makes pixels transparent): the alpha channel is dropped and
  // the colours stay as stored, not premultiplied. The caller frees it with DeleteObject.
  // Null for a null image.
  static HBITMAP BitmapFromImage(QImage const& image);
  // An icon of the image, for CStatic::SetIcon and CSmallButton::DoCreate: pixels of
  // alpha below 128 are transparent, the others opaque in their colour. The caller frees
  // it with DestroyIcon (a CSmallButton destroys the icons handed to it). Null for a null
  // image.
  static HICON IconFromImage(QImage const& image);
};

#endif  // QELSHARE_QT_H_
