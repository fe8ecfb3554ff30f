// The GDI floor: device contexts, bitmaps, brushes, fonts and icons by handle, with the
// desktop platform's calls and results. Every call checks its handles: a null, deleted or
// wrong-kind handle makes it fail (0 / null) and touch nothing. The calls hosts need to
// make and free the controls' bitmaps and icons (CreateBitmap, DeleteObject, DestroyIcon,
// the image loaders) are public, declared in qelshare/window.h.
#ifndef QELSHARE_PLATFORM_GDI_GDI_H_
#define QELSHARE_PLATFORM_GDI_GDI_H_

#include <string>
#include <string_view>

#include "platform/gdi/raster.h"
#include "qelshare/window.h"

// --- Objects.
HDC CreateCompatibleDC(HDC dc);
int DeleteDC(HDC dc);
// A bitmap like the one selected into dc (1-bit when dc holds a monochrome bitmap, else
// 32-bit), black. Width or height 0 gives an empty bitmap; negative ones fail.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateHatchBrush(int hatch, COLORREF color);
HBRUSH CreateBrushIndirect(tagLOGBRUSH const* brush);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);

// --- Context state.
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
COLORREF GetBkColor(HDC dc);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);

// --- Drawing.
int FillRect(HDC dc, tagRECT const* rect, HBRUSH brush);
int BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int xSrc, int ySrc,
           unsigned long rop);
int MaskBlt(HDC dest, int x, int y, int width, int height, HDC source, int xSrc, int ySrc,
            HBITMAP mask, int xMask, int yMask, unsigned long rop);
int DrawIconEx(HDC dc, int x, int y, HICON icon, int cx, int cy, UINT step, HBRUSH flicker,
               UINT flags);
int DrawTextA(HDC dc, char const* text, int count, tagRECT* rect, UINT format);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
// The classic fixed system colours; 0 for an unknown index.
COLORREF GetSysColor(int index);

namespace qel::gdi {

// The surface a bitmap handle holds, or null.
Surface* SurfaceOf(HBITMAP bitmap);
// The surface a context draws on (its selected bitmap or its window's image), or null.
Surface* SurfaceOf(HDC dc);
// A context drawing on a surface owned elsewhere (a window's backing image).
HDC CreateSurfaceDC(Surface* target);
// The face and pixel height of a font handle; false for an invalid one.
bool FontOf(HFONT font, std::string& face, int& pixelHeight);
HFONT CreateFontObject(std::string_view face, int pixelHeight);
// The font selected into a context (a default CJK font when none was).
HFONT CurrentFont(HDC dc);

// A bitmap holding the surface's pixels (1 or 32 bits).
HBITMAP CreateBitmapFromSurface(Surface surface);
// An icon from its image (32-bit) and its AND mask (1-bit), both width x height.
HICON CreateIconFromSurfaces(Surface image, Surface mask);
// The size of an icon; false for an invalid handle.
bool IconSize(HICON icon, int& width, int& height);
// The icon's image and mask; null for an invalid handle.
Surface const* IconImage(HICON icon);
Surface const* IconMask(HICON icon);

// Test seam: with false, MaskBlt fails as on platforms without it.
void SetMaskBltAvailable(bool available);

}  // namespace qel::gdi

#endif  // QELSHARE_PLATFORM_GDI_GDI_H_
