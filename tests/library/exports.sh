#!/usr/bin/env bash
# Every dynamic symbol libqelshare defines belongs to an exported class (members,
# vtables, type information) or to the search API in namespace qel, to a framework interface named in exported signatures,
# or is one of the exported C functions. Anything else is an internal that leaked.
set -euo pipefail
lib=$1
# Read the listing once: grep -q on a live nm pipe would stop early and fail nm.
symbols=$(nm -D --defined-only --demangle "$lib" | awk '{ $1=""; $2=""; sub(/^  /, ""); sub(/@.*/, ""); print }')
allowed='^(C[A-Z][A-Za-z0-9_]*::|qel::(Collection|Session|Result|Record|Status|LibraryWriter)::|qel::(BuildIndex|CheckIndex|LoadPostgres|IsPgAddress|ShowPgAddress)\(|I[A-Z][A-Za-z0-9_]*::|(vtable|typeinfo|typeinfo name) for [CI][A-Z][A-Za-z0-9_]*$|GlobalAlloc$|GlobalFree$|QelShareVersion$|StgOpenStorage$|StgCreateDocfile$|GetModuleHandleA$|LoadImageA$|LoadImageFromMemory$|LoadIconA$|CreateBitmap$|DeleteObject$|DestroyIcon$|QELSHARE_1$)'
stray=$(grep -v -E "$allowed" <<<"$symbols" || true)
if [ -n "$stray" ]; then
  echo "symbols that should not be exported:"
  echo "$stray"
  exit 1
fi
for must in 'CStringArr::Add(char const*, int)' 'CPublicFun::SplitString' 'typeinfo for CStringArr' \
  GlobalAlloc 'CAnalyseExpression::Analyse(char const*)' 'typeinfo for CAnalyseExpression' \
  StgOpenStorage StgCreateDocfile 'CBkMidi::Open(CWnd*, char const*)' 'qel::Collection::Open(' \
  'qel::Session::Search(' 'qel::Result::Read(' 'qel::LibraryWriter::Add(' 'qel::BuildIndex(' \
  'qel::CheckIndex(' 'qel::LoadPostgres(' 'qel::IsPgAddress(' \
  'qel::ShowPgAddress('; do
  grep -F -q -e "$must" <<<"$symbols" || { echo "missing export: $must"; exit 1; }
done
# A build with the window floor exports the window classes and the framework they use.
if grep -q -F 'CWnd::' <<<"$symbols"; then
  for must in 'CSmallButton::DoCreate(char const*, tagRECT const&, CWnd*, unsigned int, HICON__*, HICON__*)' \
    'CSmallButton::SetColor(unsigned long)' 'CSmallButton::GetColor()' 'CSmallButton::OnPaint()' \
    'CSmallButton::OnLButtonDown(unsigned int, CPoint)' 'CSmallButton::OnEnable(int)' \
    'CTransparentImg::SetBkColor(unsigned long)' 'CTransparentImg::OnPaint()' \
    'CEditListCtrl::OnVScroll(unsigned int, unsigned int, CScrollBar*)' \
    'CEditListCtrl::OnHScroll(unsigned int, unsigned int, CScrollBar*)' \
    'CPublicFun::BrowseFolder' 'CPublicFun::GetCmdFromMenu(CMenu*, std::vector<unsigned int, std::allocator<unsigned int> >&)' \
    'CPublicFun::SaveGif(HINSTANCE__*, unsigned int, char const*)' \
    'CPublicFun::AnimateWindow(HWND__*, unsigned long, unsigned long, int)' \
    'typeinfo for CSmallButton' 'vtable for CTransparentImg' 'CWnd::WindowProc(unsigned int, unsigned long, long)'; do
    grep -F -q -e "$must" <<<"$symbols" || { echo "missing export: $must"; exit 1; }
  done
  # ... and the C calls and Qt conversions a host makes the controls' bitmaps and icons with.
  for must in GetModuleHandleA LoadImageA LoadImageFromMemory LoadIconA CreateBitmap DeleteObject \
    DestroyIcon 'CQtBridge::BitmapFromImage(QImage const&)' 'CQtBridge::IconFromImage(QImage const&)'; do
    grep -F -x -q -e "$must" <<<"$symbols" || { echo "missing export: $must"; exit 1; }
  done
fi
soname=$(objdump -p "$lib" | awk '/SONAME/ { print $2 }')
case "$soname" in libqelshare.so.[0-9]*) ;; *) echo "unexpected SONAME '$soname'"; exit 1 ;; esac
echo "exports: $(wc -l <<<"$symbols") symbols, SONAME $soname"
