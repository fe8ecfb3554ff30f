// Framework value types of libqelshare's exported signatures.
//
// The library's classes were designed against a desktop application framework whose
// value, list and handle types appear in their signatures. This edition maps each of
// them once, here, onto the C++ standard library or onto a plain struct with the
// framework's field names and widths:
//
//  - Owned values (CString, the framework arrays) are standard containers, so hosts get
//    RAII, moves and the usual algorithms. Text is always 8-bit code page 936 (GBK)
//    bytes; the library never converts it, and a CString may hold any byte.
//  - Handles (HWND, HICON, ...) are opaque pointers: the library only passes them to its
//    own platform floor, never dereferences them.
//  - Plain records (_GUID, tagRECT, tagVARIANT, ...) keep the framework's layout and
//    fixed 32-bit widths where the framework's LONG/DWORD are 32-bit, so binary data
//    written by other programs reads the same.
#ifndef QELSHARE_TYPES_H_
#define QELSHARE_TYPES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An owned 8-bit string, returned by value.
using CString = std::string;
// A growable array of bytes.
using CByteArray = std::vector<unsigned char>;
// A growable array of owned strings; empty elements are allowed.
using CStringArray = std::vector<std::string>;
// A growable array of unsigned integers (command identifiers and the like).
using CUIntArray = std::vector<unsigned int>;

// Opaque handles of the platform floor.
using HANDLE = void*;
using HGLOBAL = void*;
using HWND = struct HWND__*;
using HICON = struct HICON__*;
using HINSTANCE = struct HINSTANCE__*;
using HBITMAP = struct HBITMAP__*;
using HMENU = struct HMENU__*;

// A colour as 0x00BBGGRR.
using COLORREF = std::uint32_t;

inline constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b) {
  return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16);
}

// A rectangle in pixels; right and bottom are exclusive.
struct tagRECT {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;
};
using RECT = tagRECT;

// A point in pixels.
struct tagPOINT {
  std::int32_t x;
  std::int32_t y;
};
using POINT = tagPOINT;

// A 128-bit globally unique identifier in the framework's field layout.
struct _GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using GUID = _GUID;

// One dimension of a safe array.
struct tagSAFEARRAYBOUND {
  std::uint32_t cElements;
  std::int32_t lLbound;
};

// A self-describing array as automation variants carry it; pvData holds
// cElements * cbElements bytes of the (first) dimension.
struct tagSAFEARRAY {
  std::uint16_t cDims;
  std::uint16_t fFeatures;
  std::uint32_t cbElements;
  std::uint32_t cLocks;
  void* pvData;
  tagSAFEARRAYBOUND rgsabound[1];
};

// Variant type codes used by the library (bit flags combine with base types).
enum : std::uint16_t {
  VT_EMPTY = 0,
  VT_VARIANT = 12,
  VT_UI1 = 17,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};

// An automation variant: a type code and a value whose meaning the type code gives.
// Only the members the library reads are named; the union keeps the framework's size.
struct tagVARIANT {
  std::uint16_t vt;
  std::uint16_t wReserved1;
  std::uint16_t wReserved2;
  std::uint16_t wReserved3;
  union {
    std::int64_t llVal;
    std::int32_t lVal;
    tagVARIANT* pvarVal;   // VT_BYREF | VT_VARIANT
    tagSAFEARRAY* parray;  // VT_ARRAY | base type
    void* byref;           // any VT_BYREF
    void* pad[2];
  };
};
using VARIANT = tagVARIANT;

#endif  // QELSHARE_TYPES_H_
