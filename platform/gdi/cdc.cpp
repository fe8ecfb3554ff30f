// CDC, CGdiObject and CFont over the GDI floor's handles.
#include <cstring>

#include "platform/gdi/gdi.h"

CGdiObject::CGdiObject() : m_hObject(nullptr) {}

CGdiObject::~CGdiObject() {
  DeleteObject();
}

int CGdiObject::DeleteObject() {
  if (!m_hObject) return 0;
  int ok = ::DeleteObject(m_hObject);
  m_hObject = nullptr;
  return ok;
}

int CGdiObject::Attach(HGDIOBJ object) {
  if (m_hObject || !object) return 0;
  m_hObject = object;
  return 1;
}

CFont::CFont() = default;
CFont::~CFont() = default;

int CFont::CreatePointFont(int pointSize, char const* faceName) {
  if (m_hObject || pointSize <= 0) return 0;
  // Tenths of a point at 96 dots per inch, rounded to whole pixels.
  int pixels = (pointSize * 96 + 360) / 720;
  m_hObject = qel::gdi::CreateFontObject(faceName ? faceName : "", pixels);
  return m_hObject != nullptr;
}

int CFont::CreateFont(int height, char const* faceName) {
  if (m_hObject) return 0;
  m_hObject = qel::gdi::CreateFontObject(faceName ? faceName : "", height);
  return m_hObject != nullptr;
}

CDC::CDC() : m_hDC(nullptr) {}

CDC::~CDC() {
  DeleteDC();
}

int CDC::CreateCompatibleDC(CDC* dc) {
  if (m_hDC) return 0;
  m_hDC = ::CreateCompatibleDC(dc ? dc->m_hDC : nullptr);
  return m_hDC != nullptr;
}

int CDC::DeleteDC() {
  if (!m_hDC) return 0;
  int ok = ::DeleteDC(m_hDC);
  m_hDC = nullptr;
  return ok;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ object) {
  return ::SelectObject(m_hDC, object);
}

HGDIOBJ CDC::SelectGdiObject(HDC dc, HGDIOBJ object) {
  return ::SelectObject(dc, object);
}

CFont* CDC::SelectObject(CFont* font) {
  if (font) ::SelectObject(m_hDC, font->m_hObject);
  return nullptr;
}

COLORREF CDC::SetTextColor(COLORREF color) {
  return ::SetTextColor(m_hDC, color);
}
COLORREF CDC::SetBkColor(COLORREF color) {
  return ::SetBkColor(m_hDC, color);
}
COLORREF CDC::GetTextColor() const {
  return ::GetTextColor(m_hDC);
}
COLORREF CDC::GetBkColor() const {
  return ::GetBkColor(m_hDC);
}
int CDC::SetBkMode(int mode) {
  return ::SetBkMode(m_hDC, mode);
}

void CDC::FillRect(tagRECT const* rect, HBRUSH brush) {
  ::FillRect(m_hDC, rect, brush);
}

void CDC::FillSolidRect(tagRECT const* rect, COLORREF color) {
  if (!rect) return;
  FillSolidRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, color);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
  qel::gdi::Surface* surface = qel::gdi::SurfaceOf(m_hDC);
  if (!surface) return;
  // Negative extents count from the far edge, as the platform's rectangles do.
  int left = cx < 0 ? x + cx : x;
  int top = cy < 0 ? y + cy : y;
  qel::gdi::Pattern solid;
  solid.fore = qel::gdi::PixelOf(color);
  qel::gdi::Fill(*surface, left, top, left + std::abs(cx), top + std::abs(cy), solid);
}

void CDC::Draw3dRect(tagRECT const* rect, COLORREF topLeft, COLORREF bottomRight) {
  if (!rect) return;
  Draw3dRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, topLeft,
             bottomRight);
}

void CDC::Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight) {
  FillSolidRect(x, y, cx - 1, 1, topLeft);
  FillSolidRect(x, y, 1, cy - 1, topLeft);
  FillSolidRect(x + cx, y, -1, cy, bottomRight);
  FillSolidRect(x, y + cy, cx, -1, bottomRight);
}

int CDC::DrawText(char const* text, int count, tagRECT* rect, UINT format) {
  return ::DrawTextA(m_hDC, text, count, rect, format);
}

int CDC::BitBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc,
                unsigned long rop) {
  return ::BitBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, xSrc, ySrc, rop);
}

int CDC::MaskBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, HBITMAP mask,
                 int xMask, int yMask, unsigned long rop) {
  return ::MaskBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, xSrc, ySrc, mask,
                   xMask, yMask, rop);
}

int CDC::DrawIconEx(int x, int y, HICON icon, int cx, int cy, UINT flags) {
  return ::DrawIconEx(m_hDC, x, y, icon, cx, cy, 0, nullptr, flags);
}

COLORREF CDC::GetPixel(int x, int y) const {
  return ::GetPixel(m_hDC, x, y);
}
COLORREF CDC::SetPixel(int x, int y, COLORREF color) {
  return ::SetPixel(m_hDC, x, y, color);
}
