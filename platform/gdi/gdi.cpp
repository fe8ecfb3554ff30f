#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace qel::gdi {
namespace {

enum class Kind { kBitmap, kBrush, kFont, kDc, kIcon };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  Kind kind;
};

struct BitmapObject : Object {
  BitmapObject(int w, int h, int bits) : Object(Kind::kBitmap), surface(w, h, bits) {}
  Surface surface;
  int selections = 0;  // contexts holding it
};

struct BrushObject : Object {
  BrushObject() : Object(Kind::kBrush) {}
  UINT style = BS_SOLID;
  COLORREF color = 0;
  int hatch = -1;
};

struct FontObject : Object {
  FontObject() : Object(Kind::kFont) {}
  std::string face;
  int pixelHeight = 12;
};

struct IconObject : Object {
  IconObject() : Object(Kind::kIcon) {}
  Surface image;
  Surface mask;
};

struct DcObject : Object {
  DcObject() : Object(Kind::kDc), stock(1, 1, 1) {}
  Surface stock;                // the 1 x 1 monochrome bitmap of a fresh memory context
  Surface* external = nullptr;  // a window's backing image
  BitmapObject* bitmap = nullptr;
  BrushObject* brush = nullptr;
  FontObject* font = nullptr;
  COLORREF text = 0;
  COLORREF bk = 0xFFFFFF;
  int bkMode = OPAQUE;
  Surface* target() { return external ? external : bitmap ? &bitmap->surface : &stock; }
};

// Every live object by address: handles are checked against it before use.
std::unordered_map<void*, std::unique_ptr<Object>>& Live() {
  static std::unordered_map<void*, std::unique_ptr<Object>> objects;
  return objects;
}

template <typename T>
T* Find(void* handle, Kind kind) {
  if (!handle) return nullptr;
  auto it = Live().find(handle);
  if (it == Live().end() || it->second->kind != kind) return nullptr;
  return static_cast<T*>(it->second.get());
}

template <typename T>
T* Add(std::unique_ptr<T> object) {
  T* raw = object.get();
  Live().emplace(raw, std::move(object));
  return raw;
}

DcObject* Dc(HDC dc) {
  return Find<DcObject>(dc, Kind::kDc);
}
BitmapObject* Bitmap(void* h) {
  return Find<BitmapObject>(h, Kind::kBitmap);
}
BrushObject* Brush(void* h) {
  return Find<BrushObject>(h, Kind::kBrush);
}

BrushObject& StockWhiteBrush() {
  static BrushObject brush = [] {
    BrushObject b;
    b.color = 0xFFFFFF;
    return b;
  }();
  return brush;
}

// The handle SelectObject gives back for a fresh context's 1 x 1 bitmap; selecting it
// again deselects the bitmap.
int g_stockBitmap;
HGDIOBJ StockBitmap() {
  return &g_stockBitmap;
}

bool g_maskBltAvailable = true;

Pattern PatternOf(BrushObject const& brush, DcObject const& dc) {
  Pattern p;
  p.fore = PixelOf(brush.color);
  p.back = PixelOf(dc.bk);
  if (brush.style == BS_HATCHED) {
    p.hatch = brush.hatch;
    p.transparentGaps = dc.bkMode == TRANSPARENT;
  }
  return p;
}

Conversion ConversionOf(DcObject const& dest, DcObject const* source) {
  Conversion c;
  c.monoZero = PixelOf(dest.text);
  c.monoOne = PixelOf(dest.bk);
  c.sourceBk = source ? PixelOf(source->bk) : 0xFFFFFF;
  return c;
}

}  // namespace

Surface* SurfaceOf(HBITMAP bitmap) {
  BitmapObject* b = Bitmap(bitmap);
  return b ? &b->surface : nullptr;
}

Surface* SurfaceOf(HDC dc) {
  DcObject* d = Dc(dc);
  return d ? d->target() : nullptr;
}

HDC CreateSurfaceDC(Surface* target) {
  if (!target) return nullptr;
  auto dc = std::make_unique<DcObject>();
  dc->external = target;
  return reinterpret_cast<HDC>(Add(std::move(dc)));
}

bool FontOf(HFONT font, std::string& face, int& pixelHeight) {
  auto* f = Find<FontObject>(font, Kind::kFont);
  if (!f) return false;
  face = f->face;
  pixelHeight = f->pixelHeight;
  return true;
}

HFONT CreateFontObject(std::string_view face, int pixelHeight) {
  auto font = std::make_unique<FontObject>();
  font->face = std::string(face);
  font->pixelHeight = pixelHeight == 0 ? 12 : std::abs(pixelHeight);
  return reinterpret_cast<HFONT>(Add(std::move(font)));
}

HFONT CurrentFont(HDC dc) {
  DcObject* d = Dc(dc);
  if (!d) return nullptr;
  if (d->font) return reinterpret_cast<HFONT>(d->font);
  static HFONT stock = CreateFontObject("", 12);
  return stock;
}

HBITMAP CreateBitmapFromSurface(Surface surface) {
  auto bitmap = std::make_unique<BitmapObject>(0, 0, surface.bits);
  bitmap->surface = std::move(surface);
  return reinterpret_cast<HBITMAP>(Add(std::move(bitmap)));
}

HICON CreateIconFromSurfaces(Surface image, Surface mask) {
  if (image.bits != 32 || mask.bits != 1 || image.width != mask.width ||
      image.height != mask.height || image.width <= 0 || image.height <= 0) {
    return nullptr;
  }
  auto icon = std::make_unique<IconObject>();
  icon->image = std::move(image);
  icon->mask = std::move(mask);
  return reinterpret_cast<HICON>(Add(std::move(icon)));
}

bool IconSize(HICON icon, int& width, int& height) {
  auto* i = Find<IconObject>(icon, Kind::kIcon);
  if (!i) return false;
  width = i->image.width;
  height = i->image.height;
  return true;
}

Surface const* IconImage(HICON icon) {
  auto* i = Find<IconObject>(icon, Kind::kIcon);
  return i ? &i->image : nullptr;
}

Surface const* IconMask(HICON icon) {
  auto* i = Find<IconObject>(icon, Kind::kIcon);
  return i ? &i->mask : nullptr;
}

void SetMaskBltAvailable(bool available) {
  g_maskBltAvailable = available;
}

}  // namespace qel::gdi

using namespace qel::gdi;

HDC CreateCompatibleDC(HDC dc) {
  if (dc && !Dc(dc)) return nullptr;
  return reinterpret_cast<HDC>(Add(std::make_unique<DcObject>()));
}

int DeleteDC(HDC dc) {
  DcObject* d = Dc(dc);
  if (!d) return 0;
  if (d->bitmap) --d->bitmap->selections;
  Live().erase(d);
  return 1;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  DcObject* d = Dc(dc);
  if (!d || width < 0 || height < 0) return nullptr;
  int bits = d->target()->bits;
  return reinterpret_cast<HBITMAP>(Add(std::make_unique<BitmapObject>(width, height, bits)));
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount, void const* bits) {
  if (width < 0 || height < 0 || planes != 1 || (bitCount != 1 && bitCount != 32)) return nullptr;
  auto bitmap = std::make_unique<BitmapObject>(width, height, static_cast<int>(bitCount));
  if (bits) {
    auto const* bytes = static_cast<unsigned char const*>(bits);
    Surface& s = bitmap->surface;
    if (bitCount == 1) {
      std::size_t stride = ((static_cast<std::size_t>(width) + 15) / 16) * 2;
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          s.MonoRow(y)[x] = (bytes[y * stride + x / 8] >> (7 - x % 8)) & 1;
        }
      }
    } else {
      std::memcpy(s.pixels.data(), bytes, s.pixels.size() * 4);
      for (auto& p : s.pixels) p &= 0xFFFFFF;
    }
  }
  return reinterpret_cast<HBITMAP>(Add(std::move(bitmap)));
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto brush = std::make_unique<BrushObject>();
  brush->color = color & 0xFFFFFF;
  return reinterpret_cast<HBRUSH>(Add(std::move(brush)));
}

HBRUSH CreateHatchBrush(int hatch, COLORREF color) {
  if (hatch < HS_HORIZONTAL || hatch > HS_DIAGCROSS) return nullptr;
  auto brush = std::make_unique<BrushObject>();
  brush->style = BS_HATCHED;
  brush->color = color & 0xFFFFFF;
  brush->hatch = hatch;
  return reinterpret_cast<HBRUSH>(Add(std::move(brush)));
}

HBRUSH CreateBrushIndirect(tagLOGBRUSH const* brush) {
  if (!brush) return nullptr;
  switch (brush->lbStyle) {
    case BS_SOLID:
      return CreateSolidBrush(brush->lbColor);
    case BS_HATCHED:
      return CreateHatchBrush(static_cast<int>(brush->lbHatch), brush->lbColor);
    case BS_NULL: {
      auto b = std::make_unique<BrushObject>();
      b->style = BS_NULL;
      return reinterpret_cast<HBRUSH>(Add(std::move(b)));
    }
    default:
      return nullptr;
  }
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  DcObject* d = Dc(dc);
  if (!d || !object) return nullptr;
  if (BitmapObject* b = Bitmap(object)) {
    // A bitmap is selected into one memory context at a time; window contexts take none.
    if (d->external || (b->selections > 0 && d->bitmap != b)) return nullptr;
    BitmapObject* old = d->bitmap;
    if (old) --old->selections;
    d->bitmap = b;
    ++b->selections;
    return old ? static_cast<HGDIOBJ>(old) : StockBitmap();
  }
  if (BrushObject* b = Brush(object)) {
    HGDIOBJ old = d->brush ? static_cast<HGDIOBJ>(d->brush) : &StockWhiteBrush();
    d->brush = b;
    return old;
  }
  if (auto* f = Find<FontObject>(object, Kind::kFont)) {
    HGDIOBJ old = d->font ? static_cast<HGDIOBJ>(d->font) : CurrentFont(dc);
    d->font = f;
    return old;
  }
  // The stock objects returned by earlier selections restore the defaults.
  if (object == &StockWhiteBrush()) {
    HGDIOBJ old = d->brush ? static_cast<HGDIOBJ>(d->brush) : &StockWhiteBrush();
    d->brush = nullptr;
    return old;
  }
  if (object == StockBitmap() && !d->external) {
    HGDIOBJ old = d->bitmap ? static_cast<HGDIOBJ>(d->bitmap) : StockBitmap();
    if (d->bitmap) --d->bitmap->selections;
    d->bitmap = nullptr;
    return old;
  }
  return nullptr;
}

int DeleteObject(HGDIOBJ object) {
  auto it = Live().find(object);
  if (!object || it == Live().end() || it->second->kind == Kind::kDc ||
      it->second->kind == Kind::kIcon) {
    return 0;
  }
  if (it->second->kind == Kind::kBitmap &&
      static_cast<BitmapObject*>(it->second.get())->selections > 0) {
    return 0;  // still selected into a context
  }
  // Contexts holding a deleted brush or font fall back to the defaults.
  for (auto& [handle, obj] : Live()) {
    if (obj->kind != Kind::kDc) continue;
    auto* d = static_cast<DcObject*>(obj.get());
    if (d->brush == object) d->brush = nullptr;
    if (d->font == object) d->font = nullptr;
  }
  Live().erase(it);
  return 1;
}

int DestroyIcon(HICON icon) {
  if (!Find<IconObject>(icon, Kind::kIcon)) return 0;
  Live().erase(icon);
  return 1;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
  DcObject* d = Dc(dc);
  if (!d) return 0xFFFFFFFF;
  COLORREF old = d->text;
  d->text = color & 0xFFFFFF;
  return old;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
  DcObject* d = Dc(dc);
  if (!d) return 0xFFFFFFFF;
  COLORREF old = d->bk;
  d->bk = color & 0xFFFFFF;
  return old;
}

COLORREF GetTextColor(HDC dc) {
  DcObject* d = Dc(dc);
  return d ? d->text : 0xFFFFFFFF;
}

COLORREF GetBkColor(HDC dc) {
  DcObject* d = Dc(dc);
  return d ? d->bk : 0xFFFFFFFF;
}

int SetBkMode(HDC dc, int mode) {
  DcObject* d = Dc(dc);
  if (!d || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int old = d->bkMode;
  d->bkMode = mode;
  return old;
}

int GetBkMode(HDC dc) {
  DcObject* d = Dc(dc);
  return d ? d->bkMode : 0;
}

int FillRect(HDC dc, tagRECT const* rect, HBRUSH brush) {
  DcObject* d = Dc(dc);
  BrushObject* b = Brush(brush);
  if (!d || !b || !rect) return 0;
  if (b->style == BS_NULL) return 1;
  Fill(*d->target(), rect->left, rect->top, rect->right, rect->bottom, PatternOf(*b, *d));
  return 1;
}

int BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int xSrc, int ySrc,
           unsigned long rop) {
  DcObject* d = Dc(dest);
  DcObject* s = Dc(source);
  if (!d || (source && !s)) return 0;
  auto code = static_cast<std::uint8_t>(rop >> 16);
  bool needSource = ((code >> 2) ^ code) & 0x33;
  if (needSource && !s) return 0;
  BrushObject const& brush = d->brush ? *d->brush : StockWhiteBrush();
  Pattern pattern = PatternOf(brush, *d);
  pattern.transparentGaps = false;
  Blit(*d->target(), x, y, width, height, s ? s->target() : nullptr, xSrc, ySrc,
       ConversionOf(*d, s), pattern, code);
  return 1;
}

int MaskBlt(HDC dest, int x, int y, int width, int height, HDC source, int xSrc, int ySrc,
            HBITMAP mask, int xMask, int yMask, unsigned long rop) {
  if (!g_maskBltAvailable) return 0;
  auto fore = static_cast<std::uint8_t>(rop >> 16);
  if (!mask) return BitBlt(dest, x, y, width, height, source, xSrc, ySrc, rop & 0xFFFFFF);
  DcObject* d = Dc(dest);
  DcObject* s = Dc(source);
  BitmapObject* m = Bitmap(mask);
  if (!d || !s || !m || m->surface.bits != 1) return 0;
  // The mask must cover the whole rectangle.
  if (xMask < 0 || yMask < 0 || xMask + width > m->surface.width ||
      yMask + height > m->surface.height) {
    return 0;
  }
  auto back = static_cast<std::uint8_t>(rop >> 24);
  BrushObject const& brush = d->brush ? *d->brush : StockWhiteBrush();
  Pattern pattern = PatternOf(brush, *d);
  pattern.transparentGaps = false;
  Blit(*d->target(), x, y, width, height, s->target(), xSrc, ySrc, ConversionOf(*d, s), pattern,
       fore, &m->surface, xMask, yMask, back);
  return 1;
}

int DrawIconEx(HDC dc, int x, int y, HICON icon, int cx, int cy, UINT /*step*/, HBRUSH /*flicker*/,
               UINT flags) {
  DcObject* d = Dc(dc);
  auto* i = Find<IconObject>(icon, Kind::kIcon);
  if (!d || !i || (flags & DI_NORMAL) == 0) return 0;
  if (cx <= 0) cx = i->image.width;
  if (cy <= 0) cy = i->image.height;
  Surface& target = *d->target();
  // Nearest-pixel scaling: the mask ANDs, then the image XORs, as the platform draws icons.
  for (int j = 0; j < cy; ++j) {
    int ty = y + j;
    if (ty < 0 || ty >= target.height) continue;
    int sy = j * i->image.height / cy;
    for (int k = 0; k < cx; ++k) {
      int tx = x + k;
      if (tx < 0 || tx >= target.width) continue;
      int sx = k * i->image.width / cx;
      std::size_t at = static_cast<std::size_t>(sy) * i->image.width + sx;
      std::uint32_t m = i->mask.mono[at] ? 0xFFFFFF : 0;
      std::uint32_t c = i->image.pixels[at];
      if (target.bits == 32) {
        std::uint32_t& p = target.Row(ty)[tx];
        if (flags & DI_MASK) p &= m;
        if (flags & DI_IMAGE) p ^= c;
      } else {
        std::uint8_t& p = target.MonoRow(ty)[tx];
        if (flags & DI_MASK) p &= (m ? 1 : 0);
        if (flags & DI_IMAGE) p ^= (c ? 1 : 0);
      }
    }
  }
  return 1;
}

COLORREF GetPixel(HDC dc, int x, int y) {
  DcObject* d = Dc(dc);
  if (!d) return 0xFFFFFFFF;
  Surface& s = *d->target();
  if (x < 0 || y < 0 || x >= s.width || y >= s.height) return 0xFFFFFFFF;
  if (s.bits == 1) return s.MonoRow(y)[x] ? 0xFFFFFF : 0;
  return ColorOf(s.Row(y)[x]);
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  DcObject* d = Dc(dc);
  if (!d) return 0xFFFFFFFF;
  Surface& s = *d->target();
  if (x < 0 || y < 0 || x >= s.width || y >= s.height) return 0xFFFFFFFF;
  if (s.bits == 1) {
    s.MonoRow(y)[x] = (color & 0xFFFFFF) == 0xFFFFFF ? 1 : 0;
    return s.MonoRow(y)[x] ? 0xFFFFFF : 0;
  }
  s.Row(y)[x] = PixelOf(color);
  return color & 0xFFFFFF;
}

COLORREF GetSysColor(int index) {
  // The classic scheme of the desktop platform.
  static constexpr COLORREF kColors[] = {
      RGB(192, 192, 192), RGB(0, 128, 128),   RGB(0, 0, 128),     RGB(128, 128, 128),
      RGB(192, 192, 192), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),
      RGB(0, 0, 0),       RGB(255, 255, 255), RGB(192, 192, 192), RGB(192, 192, 192),
      RGB(128, 128, 128), RGB(0, 0, 128),     RGB(255, 255, 255), RGB(192, 192, 192),
      RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(192, 192, 192),
      RGB(255, 255, 255), RGB(0, 0, 0),       RGB(223, 223, 223), RGB(0, 0, 0),
      RGB(255, 255, 225), RGB(192, 192, 192), RGB(0, 0, 255),     RGB(16, 132, 208),
      RGB(181, 181, 181), RGB(0, 0, 128),     RGB(192, 192, 192),
  };
  if (index < 0 || index >= static_cast<int>(std::size(kColors))) return 0;
  return kColors[index];
}
