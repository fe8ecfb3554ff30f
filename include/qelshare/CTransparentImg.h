// CTransparentImg: a bitmap static control that draws its bitmap with one colour made
// transparent.
//
// The bitmap is the one the static holds (STM_SETIMAGE / CStatic::SetBitmap), drawn at
// (0, 0) neither stretched nor clipped to fit: a smaller bitmap leaves a magenta band to
// its right and below, unless magenta is the key colour. Pixels of exactly the key colour
// leave the window's background visible. Without a bitmap the control paints as a plain
// static control.
#ifndef QELSHARE_CTRANSPARENTIMG_H_
#define QELSHARE_CTRANSPARENTIMG_H_

#include "qelshare/export.h"
#include "qelshare/window.h"

class QELSHARE_API CTransparentImg : public CStatic {
 public:
  // The key colour starts as white.
  CTransparentImg();
  ~CTransparentImg() override;
  // Sets the key colour; it takes effect at the next paint.
  void SetBkColor(unsigned long crColor);

  COLORREF m_crTransparent;

 protected:
  void OnPaint();
  AFX_MSGMAP const* GetMessageMap() const override;
  static AFX_MSGMAP const* GetThisMessageMap();
};

#endif  // QELSHARE_CTRANSPARENTIMG_H_
