// The window framework of libqelshare's window classes.
//
// The controls keep the desktop platform's window model: windows with control
// identifiers, style bits and message numbers, device contexts with raster operations,
// and message maps that route each message to a handler. This header declares that model
// as the controls' signatures need it; the library runs it on Qt 6 Widgets (see
// qelshare/qt.h for Qt hosts), and no Qt type appears here.
//
// All of it belongs to the user-interface thread, except CWnd::PostMessage, which any
// thread may call. Text is 8-bit code page 936 (GBK).
#ifndef QELSHARE_WINDOW_H_
#define QELSHARE_WINDOW_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "qelshare/export.h"
#include "qelshare/types.h"

using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HDC = struct HDC__*;
using HBRUSH = struct HBRUSH__*;
using HFONT = struct HFONT__*;
using HCURSOR = struct HCURSOR__*;
using HGDIOBJ = void*;

// --- Message numbers and their parameters.
enum : UINT {
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_SIZE = 0x0005,
  WM_SETFOCUS = 0x0007,
  WM_KILLFOCUS = 0x0008,
  WM_ENABLE = 0x000A,
  WM_SETTEXT = 0x000C,
  WM_PAINT = 0x000F,
  WM_ERASEBKGND = 0x0014,
  WM_SETCURSOR = 0x0020,
  WM_SETFONT = 0x0030,
  WM_COPYDATA = 0x004A,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_COMMAND = 0x0111,
  WM_HSCROLL = 0x0114,
  WM_VSCROLL = 0x0115,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_RBUTTONDBLCLK = 0x0206,
  WM_USER = 0x0400,
  STM_SETICON = 0x0170,
  STM_GETICON = 0x0171,
  STM_SETIMAGE = 0x0172,
  STM_GETIMAGE = 0x0173,
  MM_MCINOTIFY = 0x03B9,
};

// Key and button flags of mouse messages.
enum : UINT { MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08 };
// Scroll-bar codes of WM_HSCROLL and WM_VSCROLL.
enum : UINT {
  SB_LINEUP = 0,
  SB_LINEDOWN = 1,
  SB_PAGEUP = 2,
  SB_PAGEDOWN = 3,
  SB_THUMBPOSITION = 4,
  SB_THUMBTRACK = 5,
  SB_TOP = 6,
  SB_BOTTOM = 7,
  SB_ENDSCROLL = 8,
};
// Notification codes in the high word of WM_COMMAND's wParam.
enum : UINT { BN_CLICKED = 0, EN_CHANGE = 0x0300, CBN_SELCHANGE = 1 };

// --- Window styles.
enum : unsigned long {
  WS_OVERLAPPED = 0x00000000,
  WS_TABSTOP = 0x00010000,
  WS_GROUP = 0x00020000,
  WS_THICKFRAME = 0x00040000,
  WS_HSCROLL = 0x00100000,
  WS_VSCROLL = 0x00200000,
  WS_DLGFRAME = 0x00400000,
  WS_BORDER = 0x00800000,
  WS_DISABLED = 0x08000000,
  WS_VISIBLE = 0x10000000,
  WS_CHILD = 0x40000000,
  WS_POPUP = 0x80000000,
  WS_EX_DLGMODALFRAME = 0x00000001,
  WS_EX_TRANSPARENT = 0x00000020,
  WS_EX_WINDOWEDGE = 0x00000100,
  WS_EX_CLIENTEDGE = 0x00000200,
  WS_EX_STATICEDGE = 0x00020000,
  // Edit boxes.
  ES_LEFT = 0x0000,
  ES_CENTER = 0x0001,
  ES_RIGHT = 0x0002,
  ES_MULTILINE = 0x0004,
  ES_UPPERCASE = 0x0008,
  ES_LOWERCASE = 0x0010,
  ES_PASSWORD = 0x0020,
  ES_AUTOVSCROLL = 0x0040,
  ES_AUTOHSCROLL = 0x0080,
  ES_READONLY = 0x0800,
  // Statics.
  SS_LEFT = 0x0000,
  SS_CENTER = 0x0001,
  SS_RIGHT = 0x0002,
  SS_ICON = 0x0003,
  SS_BITMAP = 0x000E,
  SS_TYPEMASK = 0x001F,
  SS_NOTIFY = 0x0100,
  SS_CENTERIMAGE = 0x0200,
  // Buttons.
  BS_PUSHBUTTON = 0x0000,
  BS_DEFPUSHBUTTON = 0x0001,
  BS_CHECKBOX = 0x0002,
  BS_AUTOCHECKBOX = 0x0003,
  BS_GROUPBOX = 0x0007,
  BS_TYPEMASK = 0x000F,
  // Combo boxes.
  CBS_SIMPLE = 0x0001,
  CBS_DROPDOWN = 0x0002,
  CBS_DROPDOWNLIST = 0x0003,
  CBS_SORT = 0x0100,
  // List views.
  LVS_ICON = 0x0000,
  LVS_REPORT = 0x0001,
  LVS_SMALLICON = 0x0002,
  LVS_LIST = 0x0003,
  LVS_TYPEMASK = 0x0003,
  LVS_SINGLESEL = 0x0004,
};

// Class styles of registered window classes.
enum : UINT {
  CS_VREDRAW = 0x0001,
  CS_HREDRAW = 0x0002,
  CS_DBLCLKS = 0x0008,
  CS_PARENTDC = 0x0080,
};

// ShowWindow commands, GetWindowLongA indexes, virtual keys, image kinds.
enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOW = 5, SW_SHOWNA = 8 };
enum : int { GWL_STYLE = -16, GWL_EXSTYLE = -20, GWL_ID = -12 };
enum : int { VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_ESCAPE = 0x1B };
enum : UINT { IMAGE_BITMAP = 0, IMAGE_ICON = 1, IMAGE_CURSOR = 2 };
// LoadImageA flags: a file instead of a resource, the standard icon size (32 x 32) when cx
// or cy is 0, and the desktop platform's sharing request (accepted; the handle is still
// the caller's).
enum : UINT {
  LR_DEFAULTCOLOR = 0x0000,
  LR_LOADFROMFILE = 0x0010,
  LR_DEFAULTSIZE = 0x0040,
  LR_SHARED = 0x8000,
};

// A resource name made of a numeric identifier, for LoadImageA and LoadIconA.
inline char const* MAKEINTRESOURCEA(unsigned id) {
  return reinterpret_cast<char const*>(static_cast<std::uintptr_t>(id & 0xFFFFu));
}
// Whether a resource name is a numeric identifier (MAKEINTRESOURCEA) rather than text.
inline bool IS_INTRESOURCE(char const* name) {
  return reinterpret_cast<std::uintptr_t>(name) >> 16 == 0;
}

// Stock cursors (LoadCursorA with a null instance).
enum : std::uintptr_t {
  IDC_ARROW = 32512,
  IDC_IBEAM = 32513,
  IDC_WAIT = 32514,
  IDC_CROSS = 32515,
  IDC_SIZENWSE = 32642,
  IDC_SIZENESW = 32643,
  IDC_SIZEWE = 32644,
  IDC_SIZENS = 32645,
  IDC_SIZEALL = 32646,
  IDC_HAND = 32649,
};

// Window animation flags.
enum : unsigned long {
  AW_HOR_POSITIVE = 0x00000001,
  AW_HOR_NEGATIVE = 0x00000002,
  AW_VER_POSITIVE = 0x00000004,
  AW_VER_NEGATIVE = 0x00000008,
  AW_CENTER = 0x00000010,
  AW_HIDE = 0x00010000,
  AW_ACTIVATE = 0x00020000,
  AW_SLIDE = 0x00040000,
  AW_BLEND = 0x00080000,
};

// --- Device contexts.

// Raster operations (ternary codes: pattern, source, destination).
enum : unsigned long {
  SRCCOPY = 0x00CC0020,
  SRCPAINT = 0x00EE0086,
  SRCAND = 0x008800C6,
  SRCINVERT = 0x00660046,
  SRCERASE = 0x00440328,
  NOTSRCCOPY = 0x00330008,
  NOTSRCERASE = 0x001100A6,
  MERGECOPY = 0x00C000CA,
  MERGEPAINT = 0x00BB0226,
  PATCOPY = 0x00F00021,
  PATPAINT = 0x00FB0A09,
  PATINVERT = 0x005A0049,
  DSTINVERT = 0x00550009,
  BLACKNESS = 0x00000042,
  WHITENESS = 0x00FF0062,
};

// Background modes, brush styles and hatches, DrawIconEx and DrawText flags.
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : UINT { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2 };
enum : int {
  HS_HORIZONTAL = 0,
  HS_VERTICAL = 1,
  HS_FDIAGONAL = 2,
  HS_BDIAGONAL = 3,
  HS_CROSS = 4,
  HS_DIAGCROSS = 5,
};
enum : UINT { DI_MASK = 1, DI_IMAGE = 2, DI_NORMAL = 3 };
enum : UINT {
  DT_TOP = 0x0000,
  DT_LEFT = 0x0000,
  DT_CENTER = 0x0001,
  DT_RIGHT = 0x0002,
  DT_VCENTER = 0x0004,
  DT_BOTTOM = 0x0008,
  DT_WORDBREAK = 0x0010,
  DT_SINGLELINE = 0x0020,
  DT_NOCLIP = 0x0100,
  DT_CALCRECT = 0x0400,
  DT_NOPREFIX = 0x0800,
};

// System colour indexes of GetSysColor.
enum : int {
  COLOR_SCROLLBAR = 0,
  COLOR_BACKGROUND = 1,
  COLOR_WINDOW = 5,
  COLOR_WINDOWFRAME = 6,
  COLOR_WINDOWTEXT = 8,
  COLOR_HIGHLIGHT = 13,
  COLOR_HIGHLIGHTTEXT = 14,
  COLOR_BTNFACE = 15,
  COLOR_BTNSHADOW = 16,
  COLOR_GRAYTEXT = 17,
  COLOR_BTNTEXT = 18,
  COLOR_BTNHIGHLIGHT = 20,
  COLOR_3DDKSHADOW = 21,
  COLOR_3DLIGHT = 22,
  COLOR_INFOTEXT = 23,
  COLOR_INFOBK = 24,
};

// A brush description (CreateBrushIndirect).
struct tagLOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  std::uintptr_t lbHatch;
};

// The block WM_COPYDATA carries.
struct tagCOPYDATASTRUCT {
  std::uintptr_t dwData;
  std::uint32_t cbData;
  void* lpData;
};

// A point with constructors.
class CPoint : public tagPOINT {
 public:
  CPoint() : tagPOINT{0, 0} {}
  CPoint(int x0, int y0) : tagPOINT{x0, y0} {}
};

class CWnd;

// A GDI object (bitmap, brush, font) owned through its handle.
class QELSHARE_API CGdiObject {
 public:
  CGdiObject();
  virtual ~CGdiObject();
  CGdiObject(CGdiObject const&) = delete;
  CGdiObject& operator=(CGdiObject const&) = delete;
  // Deletes the object the handle names; 1 when there was one.
  int DeleteObject();
  // Takes ownership of an object handle; 1 unless the object already holds one.
  int Attach(HGDIOBJ object);
  HGDIOBJ m_hObject;
};

// A font: a face and a size in pixels. Text is drawn through the platform's font engine
// (CJK faces included); unknown faces fall back to the platform's default CJK face.
class QELSHARE_API CFont : public CGdiObject {
 public:
  CFont();
  ~CFont() override;
  // A font of pointSize tenths of a point (at 96 dots per inch) of the given face.
  int CreatePointFont(int pointSize, char const* faceName);
  // A font of the given pixel height (negative values are the character height).
  int CreateFont(int height, char const* faceName);
};

// A device context: a surface (a window's backing image or a selected bitmap) with text
// and background colours, a background mode, a brush and a font. Drawing is exact to the
// pixel, clipped to the surface; a null or invalid context draws nothing and returns 0.
class QELSHARE_API CDC {
 public:
  CDC();
  virtual ~CDC();
  CDC(CDC const&) = delete;
  CDC& operator=(CDC const&) = delete;

  // A memory context compatible with dc (or with the display when dc is null); it holds
  // a 1 x 1 monochrome bitmap until one is selected. 1 on success.
  int CreateCompatibleDC(CDC* dc);
  // Deletes a context made by CreateCompatibleDC; 1 on success.
  int DeleteDC();
  // Selects a bitmap, brush or font; returns the object it replaces (null on failure).
  HGDIOBJ SelectObject(HGDIOBJ object);
  static HGDIOBJ SelectGdiObject(HDC dc, HGDIOBJ object);

  COLORREF SetTextColor(COLORREF color);
  COLORREF SetBkColor(COLORREF color);
  COLORREF GetTextColor() const;
  COLORREF GetBkColor() const;
  // TRANSPARENT or OPAQUE; returns the former mode.
  int SetBkMode(int mode);
  CFont* SelectObject(CFont* font);

  // Fills rect (right and bottom exclusive) with a brush; hatched brushes fill the gaps
  // with the background colour in OPAQUE mode and leave them in TRANSPARENT mode.
  void FillRect(tagRECT const* rect, HBRUSH brush);
  // Fills rect with one colour; the context's colours are left as they were.
  void FillSolidRect(tagRECT const* rect, COLORREF color);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
  // A one-pixel frame: top and left lines in topLeft, right and bottom in bottomRight.
  void Draw3dRect(tagRECT const* rect, COLORREF topLeft, COLORREF bottomRight);
  void Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight);
  // Draws count bytes of text (-1: up to the NUL) in rect with the DT_ format; returns the
  // text height. With DT_CALCRECT nothing is drawn and rect receives the text's extent.
  int DrawText(char const* text, int count, tagRECT* rect, UINT format);
  // Combines the source rectangle with this context by the raster operation rop;
  // monochrome and colour surfaces convert by the contexts' colours. 1 on success.
  int BitBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc,
             unsigned long rop);
  // As BitBlt, with a monochrome mask choosing per pixel between the foreground code
  // (mask 1, bits 16-23 of rop) and the background code (mask 0, bits 24-31).
  int MaskBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, HBITMAP mask,
              int xMask, int yMask, unsigned long rop);
  // Draws an icon (its mask, then its image) scaled to cx x cy (0: its own size).
  int DrawIconEx(int x, int y, HICON icon, int cx, int cy, UINT flags);
  COLORREF GetPixel(int x, int y) const;
  COLORREF SetPixel(int x, int y, COLORREF color);

  HDC GetSafeHdc() const { return m_hDC; }
  HDC m_hDC;
};

// The context of one WM_PAINT: painting lands in the window's backing image.
class QELSHARE_API CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* window);
  ~CPaintDC() override;

 protected:
  CWnd* m_pWnd;
};

// --- Bitmaps and icons for the controls.
//
// A host makes the bitmaps that CStatic::SetBitmap and CTransparentImg show, and the icons
// of CStatic::SetIcon and CSmallButton::DoCreate, with these calls (qelshare/qt.h adds Qt
// images). Every handle they return is the caller's, also with LR_SHARED: a bitmap is freed
// with DeleteObject, an icon with DestroyIcon, once no control shows it any more (a static
// shows but does not own its image; a CSmallButton destroys the icons handed to it).
// Loaded bitmaps are 32-bit colour bitmaps; an image's alpha channel is not kept in a
// bitmap (the colours stay as stored), in an icon it becomes the mask (alpha below 128 is
// transparent). Failures return null and leave nothing behind.
extern "C" {
// The module of a loaded library, for its resources: "qelshare" is this library. The name
// may be a file name ("QelShare.dll", "libqelshare.so.1", with or without a folder); case
// does not matter. Null for any other name and for null (no program module holds
// resources here). The handle stays valid while the process runs; it is not freed.
QELSHARE_API HINSTANCE GetModuleHandleA(char const* moduleName);
// Loads a bitmap (IMAGE_BITMAP) or an icon (IMAGE_ICON).
//  - With LR_LOADFROMFILE, name is the path of a file (GBK text, "/" or "\" separating
//    folders) and instance is ignored: a bitmap from a .bmp file (uncompressed or
//    bit-field pixels of 1, 4, 8, 16, 24 or 32 bits, bottom-up or top-down) or a PNG
//    file, an icon from a .ico file (images of 1 to 32 bits per pixel, or PNG images).
//  - Otherwise name is MAKEINTRESOURCEA(id) of a resource of instance (GetModuleHandleA):
//    the library's own icons are 22000 to 22024 (without 22004), 16 x 16 of 16 colours
//    except 22015 (32 x 32 and 16 x 16) and 22021 and 22022 (32 x 32). Resources have no
//    text names.
// An icon file or resource holding several images gives the one nearest to cx x cy (an
// exact size first, then the most colours), scaled to cx x cy when its size differs; a
// bitmap is scaled to cx x cy. A cx or cy of 0 means the image's own size (of an icon's
// first image), or 32 with LR_DEFAULTSIZE for icons. Scaling takes the nearest pixel.
// Returns an HBITMAP or an HICON as the type asks; null for a missing or unreadable
// file, data that is not an image of that type, a missing resource, another type
// (IMAGE_CURSOR), a negative size, or an image larger than 32767 pixels a side or
// 64 Mi pixels in all (icons: 1024 a side).
QELSHARE_API HANDLE LoadImageA(HINSTANCE instance, char const* name, UINT type, int cx, int cy,
                               UINT flags);
// As LoadImageA, from the bytes of a file held in memory (size bytes at data): a .bmp
// file, a bitmap without its 14-byte file header (the header of a device-independent
// bitmap first) or a PNG file for IMAGE_BITMAP; a .ico file for IMAGE_ICON. The bytes
// are only read. Null when data is null or the bytes are not such an image.
QELSHARE_API HANDLE LoadImageFromMemory(void const* data, std::size_t size, UINT type, int cx,
                                        int cy, UINT flags);
// An icon resource at the standard size, 32 x 32 (scaled when the resource has no such
// image): LoadImageA(instance, name, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE). Unlike the desktop
// platform's shared icons, the icon is the caller's (DestroyIcon). Null for a missing
// resource; the desktop platform's stock icons (a null instance) do not exist here.
QELSHARE_API HICON LoadIconA(HINSTANCE instance, char const* name);
// A bitmap of width x height (0 gives an empty bitmap) with one plane of 1 or 32 bits per
// pixel; bits, when not null, holds its rows top-down: 1-bit rows padded to 16 bits, the
// leftmost pixel in the high bit, 1 white; 32-bit pixels 0x00RRGGBB (the bytes blue,
// green, red, unused). Null for other planes or bit counts and negative sizes.
QELSHARE_API HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount,
                                  void const* bits);
// Frees a bitmap (or another GDI object: brush, font). 1 on success; 0 for null, an icon,
// a handle that names no live object, or a bitmap still selected into a device context.
QELSHARE_API int DeleteObject(HGDIOBJ object);
// Frees an icon. 1 on success; 0 for null, a bitmap or a handle that names no live icon.
QELSHARE_API int DestroyIcon(HICON icon);
}

// A menu: items with command identifiers, separators (identifier 0) and submenus
// (identifier -1 in GetMenuItemID). The menu owns its submenus.
class QELSHARE_API CMenu {
 public:
  CMenu();
  virtual ~CMenu();
  CMenu(CMenu const&) = delete;
  CMenu& operator=(CMenu const&) = delete;
  int CreateMenu();
  int CreatePopupMenu();
  int DestroyMenu();
  // Appends a command (id, text), a separator (text null or flags MF_SEPARATOR) or, with
  // MF_POPUP, the submenu whose handle is id (the menu takes it over).
  int AppendMenu(UINT flags, std::uintptr_t id = 0, char const* text = nullptr);
  int GetMenuItemCount() const;
  UINT GetMenuItemID(int position) const;
  // The submenu at position, or null; owned by this menu.
  CMenu* GetSubMenu(int position) const;
  // Shows the menu at a screen point and returns the chosen command (0 when dismissed).
  int TrackPopupMenu(UINT flags, int x, int y, CWnd* owner);
  HMENU m_hMenu;
};
enum : UINT { MF_STRING = 0x0000, MF_POPUP = 0x0010, MF_SEPARATOR = 0x0800 };

class CScrollBar;

// Message map machinery: a window class's table of handled messages and its base's.
class CCmdTarget;
struct AFX_MSGMAP_ENTRY;
struct AFX_MSGMAP {
  AFX_MSGMAP const* (*pfnGetBaseMap)();
  AFX_MSGMAP_ENTRY const* lpEntries;
};
// Handler shapes of the map entries.
enum AfxSig : UINT {
  AfxSig_end = 0,
  AfxSig_v,          // void ()
  AfxSig_vwp,        // void (UINT, CPoint)
  AfxSig_vb,         // void (int)
  AfxSig_vwwScroll,  // void (UINT, UINT, CScrollBar*)
};
struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nSig;
  void (CWnd::*pfn)();
};
// A handler of a class derived from CWnd as the map stores it; its shape is restored by
// the entry's signature code.
template <typename T, typename... Args>
void (CWnd::*AfxHandler(void (T::*pfn)(Args...)))() {
  auto base = static_cast<void (CWnd::*)(Args...)>(pfn);
  void (CWnd::*stored)();
  static_assert(sizeof(stored) == sizeof(base));
  std::memcpy(&stored, &base, sizeof(stored));
  return stored;
}

// A window. The object owns the model (handle, identifier, style bits, rectangles,
// parent); the platform shows it as a real widget. Messages reach WindowProc, which routes
// them through the message maps to the handlers; Default() lets the widget do its own
// processing of the current message. A CWnd without a window answers 0 / null.
class QELSHARE_API CWnd {
 public:
  CWnd();
  virtual ~CWnd();
  CWnd(CWnd const&) = delete;
  CWnd& operator=(CWnd const&) = delete;

  // Registers a window class by name: class style (CS_), cursor (null: the arrow) and
  // background brush (null: none, the window paints all of it). Registering a name again
  // keeps the first registration and succeeds. 1 on success, 0 for a null or empty name.
  static int RegisterClass(char const* className, UINT classStyle, HCURSOR cursor,
                           HBRUSH background);
  // Loads the rich edit control, after which the class "RICHEDIT" can be created.
  static int LoadRichEdit();

  // Creates the window: a registered class or one of the standard classes "EDIT",
  // "RICHEDIT", "STATIC", "COMBOBOX", "BUTTON", "SysListView32". Returns 0 for an unknown
  // class, a WS_CHILD window without a parent, or an object that already has a window.
  virtual int Create(char const* className, char const* windowName, unsigned long style,
                     tagRECT const& rect, CWnd* parent, UINT id);
  virtual int CreateEx(unsigned long exStyle, char const* className, char const* windowName,
                       unsigned long style, tagRECT const& rect, CWnd* parent, UINT id);
  virtual int DestroyWindow();
  // The object of a window handle, or null.
  static CWnd* FromHandle(HWND hwnd);
  HWND GetSafeHwnd() const { return m_hWnd; }

  int GetDlgCtrlID() const;
  unsigned long GetStyle() const;
  unsigned long GetExStyle() const;
  // Adds and removes style bits; 1 when the window exists.
  int ModifyStyle(unsigned long remove, unsigned long add);
  CWnd* GetParent() const;
  void SetWindowText(char const* text);
  void GetWindowText(CString& text) const;
  CString GetWindowText() const;

  // Rectangles: the window in screen coordinates; the client area (origin 0, 0) inside
  // the border the style bits give (WS_BORDER 1, WS_EX_CLIENTEDGE 2, WS_EX_STATICEDGE 1,
  // WS_DLGFRAME 3, WS_THICKFRAME 4 pixels on each side).
  void GetWindowRect(tagRECT* rect) const;
  void GetClientRect(tagRECT* rect) const;
  void ClientToScreen(tagPOINT* point) const;
  void ClientToScreen(tagRECT* rect) const;
  void ScreenToClient(tagPOINT* point) const;
  void ScreenToClient(tagRECT* rect) const;
  // Moves the window (coordinates of the parent's client area, or the screen).
  void MoveWindow(int x, int y, int width, int height, int repaint = 1);
  void MoveWindow(tagRECT const* rect, int repaint = 1);

  int ShowWindow(int command);
  int IsWindowVisible() const;
  // Enables or disables the window and sends it WM_ENABLE; returns 1 when it was disabled.
  int EnableWindow(int enable = 1);
  int IsWindowEnabled() const;
  // Gives the keyboard focus; returns the window that had it.
  CWnd* SetFocus();
  static CWnd* GetFocus();
  // Captures the mouse: moves anywhere go to this window until ReleaseCapture.
  CWnd* SetCapture();
  static CWnd* GetCapture();

  // Marks the whole client area (or rect) for painting; UpdateWindow paints now.
  void Invalidate(int erase = 1);
  void InvalidateRect(tagRECT const* rect, int erase = 1);
  void UpdateWindow();

  // Calls the window's WindowProc at once and returns its result.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // Queues the message for the window's thread; safe from any thread. 1 when queued.
  int PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  HWND m_hWnd;

 protected:
  // Routes a message through the message maps; unhandled messages go to DefWindowProc.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The widget's own processing of the message being handled.
  LRESULT Default();
  virtual AFX_MSGMAP const* GetMessageMap() const;
  static AFX_MSGMAP const* GetThisMessageMap();

  // Default handlers: each lets the widget do its own processing.
  void OnPaint();
  void OnLButtonDown(UINT flags, CPoint point);
  void OnLButtonUp(UINT flags, CPoint point);
  void OnLButtonDblClk(UINT flags, CPoint point);
  void OnMouseMove(UINT flags, CPoint point);
  void OnEnable(int enable);
  void OnHScroll(UINT code, UINT position, CScrollBar* scrollBar);
  void OnVScroll(UINT code, UINT position, CScrollBar* scrollBar);

 private:
  friend class CWndAccess;
  struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  CurrentMessage m_current{};
  bool m_defaultCalled = false;
};

// A scroll bar (the one WM_HSCROLL and WM_VSCROLL name; null for a window's own bars).
class QELSHARE_API CScrollBar : public CWnd {
 public:
  CScrollBar();
  ~CScrollBar() override;
};

// A static control: text, an icon (SS_ICON) or a bitmap (SS_BITMAP).
class QELSHARE_API CStatic : public CWnd {
 public:
  CStatic();
  ~CStatic() override;
  using CWnd::Create;
  int Create(char const* text, unsigned long style, tagRECT const& rect, CWnd* parent,
             UINT id = 0xFFFF);
  // STM_SETICON and STM_GETICON: the control shows, but does not own, the icon.
  HICON SetIcon(HICON icon);
  HICON GetIcon() const;
  // STM_SETIMAGE and STM_GETIMAGE with IMAGE_BITMAP.
  HBITMAP SetBitmap(HBITMAP bitmap);
  HBITMAP GetBitmap() const;
};

// A list view ("SysListView32"): rows of text; LVS_LIST mode, LVS_SINGLESEL selection.
class QELSHARE_API CListCtrl : public CWnd {
 public:
  CListCtrl();
  ~CListCtrl() override;
  using CWnd::Create;
  int Create(unsigned long style, tagRECT const& rect, CWnd* parent, UINT id);
  // Inserts a row at index (clamped to the count); returns its index or -1.
  int InsertItem(int index, char const* text);
  int GetItemCount() const;
  CString GetItemText(int index, int subItem) const;
  int DeleteAllItems();
  // The first selected row, or -1.
  int GetSelectionMark() const;
  // Index of the first visible row.
  int GetTopIndex() const;
};

#endif  // QELSHARE_WINDOW_H_
