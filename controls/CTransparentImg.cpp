#include "qelshare/CTransparentImg.h"

#include "platform/gdi/gdi.h"
#include "platform/ui/ui.h"

CTransparentImg::CTransparentImg() : m_crTransparent(RGB(255, 255, 255)) {}

CTransparentImg::~CTransparentImg() = default;

AFX_MSGMAP const* CTransparentImg::GetThisMessageMap() {
  static AFX_MSGMAP_ENTRY const entries[] = {
      {WM_PAINT, AfxSig_v, AfxHandler(&CTransparentImg::OnPaint)},
      {0, AfxSig_end, nullptr},
  };
  static AFX_MSGMAP const map = {&CWnd::GetThisMessageMap, entries};
  return &map;
}

AFX_MSGMAP const* CTransparentImg::GetMessageMap() const {
  return GetThisMessageMap();
}

void CTransparentImg::SetBkColor(unsigned long crColor) {
  m_crTransparent = static_cast<COLORREF>(crColor);
}

void CTransparentImg::OnPaint() {
  auto bitmap = reinterpret_cast<HBITMAP>(SendMessage(STM_GETIMAGE, IMAGE_BITMAP, 0));
  if (!bitmap) {
    Default();
    return;
  }
  CPaintDC dc(this);
  tagRECT client;
  GetClientRect(&client);
  int w = client.right, h = client.bottom;

  // The image copy: magenta, then the bitmap at (0, 0), cut at the client size.
  CDC image;
  image.CreateCompatibleDC(&dc);
  HBITMAP imageBitmap = CreateCompatibleBitmap(dc.m_hDC, w, h);
  HGDIOBJ imageOld = image.SelectObject(imageBitmap);
  image.FillSolidRect(0, 0, w, h, RGB(255, 0, 255));
  CDC picture;
  picture.CreateCompatibleDC(&dc);
  HGDIOBJ pictureOld = picture.SelectObject(bitmap);
  image.BitBlt(0, 0, w, h, &picture, 0, 0, SRCCOPY);
  picture.SelectObject(pictureOld);

  // The mask: 1 where the image copy has the key colour.
  CDC mask;
  mask.CreateCompatibleDC(&dc);
  HBITMAP maskBitmap = CreateBitmap(w, h, 1, 1, nullptr);
  HGDIOBJ maskOld = mask.SelectObject(maskBitmap);
  COLORREF oldBk = image.SetBkColor(m_crTransparent);
  mask.BitBlt(0, 0, w, h, &image, 0, 0, SRCCOPY);
  image.SetBkColor(oldBk);

  if (!dc.MaskBlt(0, 0, w, h, &image, 0, 0, maskBitmap, 0, 0, 0xCCAA0020)) {
    // Without MaskBlt: background AND mask, image without its key pixels, OR, copy.
    CDC work;
    work.CreateCompatibleDC(&dc);
    HBITMAP workBitmap = CreateCompatibleBitmap(dc.m_hDC, w, h);
    HGDIOBJ workOld = work.SelectObject(workBitmap);
    work.BitBlt(0, 0, w, h, &dc, 0, 0, SRCCOPY);
    work.BitBlt(0, 0, w, h, &mask, 0, 0, SRCAND);
    image.BitBlt(0, 0, w, h, &mask, 0, 0, 0x220326);
    work.BitBlt(0, 0, w, h, &image, 0, 0, SRCPAINT);
    dc.BitBlt(0, 0, w, h, &work, 0, 0, SRCCOPY);
    work.SelectObject(workOld);
    DeleteObject(workBitmap);
  }
  mask.SelectObject(maskOld);
  image.SelectObject(imageOld);
  DeleteObject(maskBitmap);
  DeleteObject(imageBitmap);
}
