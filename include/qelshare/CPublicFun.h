// CPublicFun: the library's utility functions, as static members of a class without data.
//
// Each group of members lives in its own source under publicfun/ (split, compress, dates,
// keydata, packing, files, text, system). All text is 8-bit code page 936 (GBK). Results
// follow the library's conventions: 1 for success or yes, 0 for failure or no, an empty
// CString where a text member has nothing to give; no member throws across the interface.
#ifndef QELSHARE_CPUBLICFUN_H_
#define QELSHARE_CPUBLICFUN_H_

#include "qelshare/CStringArr.h"
#include "qelshare/config.h"
#include "qelshare/export.h"
#include "qelshare/types.h"

class IStorage;
class CMenu;

class QELSHARE_API CPublicFun {
 public:
  CPublicFun() = default;
  virtual ~CPublicFun();
  CPublicFun(CPublicFun const&) = default;
  CPublicFun& operator=(CPublicFun const&) = default;

  // --- String splitting (publicfun/split.cpp)

  // Clears parts, then appends the pieces of s that lie between runs of the byte sep, in
  // text order. Bytes are scanned one by one (a trail byte equal to sep also splits); runs
  // of separators count as one and separators at either end produce nothing, so no empty
  // piece is ever added. Blanks are kept. Returns parts.GetSize(); 0 for a null or empty s.
  static int SplitString(char const* s, CStringArr& parts, char sep);

  // --- Block compression and simple coding (publicfun/compress.cpp)

  // Compresses srcLen bytes into dst (room for srcLen bytes) in the library's block
  // format: the first three bytes, then groups of a flag byte and up to eight items, each
  // a literal or a two-byte reference of 3 to 18 bytes into the last 4096 bytes. The
  // output is fully determined by the input (other readers and writers of the format
  // rely on it). Returns 1 with *dstLen set (always < srcLen); 0 with *dstLen unchanged
  // when srcLen < 30, when the output reaches srcLen - 2 bytes before the input is used
  // up, or when working memory cannot be had. The block holds no length: keep srcLen.
  static int Compress(unsigned char* src, unsigned long srcLen, unsigned char* dst,
                      unsigned long* dstLen);
  // Decodes a block of srcLen (>= 3) bytes into dst, which has room for the uncompressed
  // length. Always returns 1. Decoding never reads past the block and ends early at a
  // reference to output not produced yet; blocks from outside the process are better
  // decoded with a known size (qel::block::ExpandChecked), which also reports damage.
  static int Expand(unsigned char* src, unsigned long srcLen, unsigned char* dst);
  // Swaps each pair of neighbouring bits (0-1, 2-3, 4-5, 6-7) of len bytes in place;
  // applying it twice restores the data. Always returns 1.
  static int SimpleCode(unsigned char* buf, unsigned long len);

  // --- Date, time and currency normalisers (publicfun/dates.cpp)

  // The date and time members accept ASCII and full-width digits, the Chinese words for
  // year, month, hour, o'clock and minute, full-width punctuation, and the whole texts
  // "CurrentDay", "CurrentTime", "CurrentDayTime" (any case) for the present local
  // moment. A numeric field is the leading integer of its text (white space and one
  // sign allowed, 0 without digits); values beyond the int range saturate at its limits.

  // Date "yyyy.mm.dd": year, month and day between the separators . / , - in that order;
  // a missing month or day is 00. Years below 0 become 1900, 0-99 get 1900 added; the
  // month is clamped to 0-12, the day to 0-31. "" for a null or empty s.
  static CString StandardDate(char const* s);
  // Time "hh:mm:ss" from fields between the separators : ' " . / , -; hour clamped to
  // 0-23, minute and second to 0-59. "" for a null or empty s or one with no separator.
  static CString StandardTime(char const* s);
  // Date-time "yyyy.mm.dd hh:mm:ss": a date as StandardDate reads it, a space or hyphen,
  // then a time as StandardTime reads it. Reading stops at the first missing step; the
  // fields not read are 0 (year 1900), so the result is never empty.
  static CString StandardDateTime(char const* s);
  // Amount "%d.%s": the integer before the first "." and the ten bytes after it, cut or
  // padded with "0" (no rounding, no check that they are digits). "0.0" for null or "".
  static CString StandardCy(char const* s);
  // Reads a date and time by a template of the text's shape: y m d h t s (either case)
  // stand for one digit of year, month, day, hour, minute, second; every other byte must
  // stand in the text. Full-width digits count as digits and digit runs are padded to
  // pairs (2005-4-3 reads as 2005-04-03) before the leftmost match is taken. Returns
  // "%4d.%02d.%02d" (years below 100 get 1900 added), followed by " hh:mm:ss" when hour,
  // minute and second are all non-zero, or the time alone when there is no date at all;
  // "" when nothing matches or the year is outside 10-2026, the month 0-12, the day 0-31.
  static CString GetFormatDate(char const* source, char const* format);

  // --- Key data texts in compound files (publicfun/keydata.cpp)
  //
  // A value lives in the compound file storageFile, in the stream streamName of the
  // child storage storageName of the root, as its bytes plus one NUL. Every open is
  // exclusive, so a second user of the same file fails while one is at work.

  // The stored text (up to its first NUL); empty when a name is null or empty or the
  // file, storage or stream cannot be opened or read.
  static CString GetKeyData(char const* storageFile, char const* storageName,
                            char const* streamName);
  // Stores value (replacing the stream) or, for a null or empty value, deletes the
  // stream; creates a missing storage but never the file. The change is committed to
  // disk untearably before 1 is returned; 0 for a null or empty file or storage name or
  // any failure.
  static int WriteKeyData(char const* storageFile, char const* storageName, char const* streamName,
                          char const* value);

  // --- Packages of files in compound files (publicfun/packing.cpp)
  //
  // A package stream holds one entry per file: a 16-byte head (u16 name length, u32
  // size, u32 stored size or 0 for raw data, 6 zero bytes), the bare file name, then the
  // compressed block or the raw bytes. storage stays the caller's (not committed, not
  // released); include qelshare/storage.h for IStorage.

  // Writes the package of the files listed (full paths) as the stream streamName of
  // storage, replacing it; .jpg .gif .pdf .png .avi .mpg .mid .wav files and files the
  // compressor declines are stored raw. A null list writes the empty package (16 zero
  // bytes). Returns 1; 0 for an empty list (nothing written) or any failure, after which
  // no stream streamName remains.
  static int ZipFile(CStringArr* files, IStorage* storage, char const* streamName);
  // Writes every file of the package streamName into folder under its stored name.
  // Returns 1 at the end of the package, 0 when the stream cannot be opened or an entry
  // is cut short or damaged (files written before stay). An entry that cannot be written,
  // or whose name is empty, "." or "..", or holds / or \, is skipped.
  static int UnzipFile(char const* folder, IStorage* storage, char const* streamName);

  // --- File and directory operations (publicfun/files.cpp, files_create.cpp,
  //     files_transfer.cpp)
  //
  // Paths may separate their parts with "/" or "\"; paths the members hand back use "/".
  // Directory searches take "*" and "?" as the desktop does ("*.*" matches every name,
  // ASCII letters match in any case) and list entries in the file system's order. Walks
  // skip "." and "..", never follow symbolic links, and keep one open search per level.
  // Read-only means the owner may not write.

  // 1 when a search for at least one entry of files (a path or wildcard pattern) finds a
  // file or folder, else 0; stops at the first hit. An absent entry names nothing.
  static int IsExistOneFile(CStringArr& files);
  // 1 when a search for path finds something and the first entry found is not a folder.
  static int IsExistFile(char const* path);
  // 1 when a search for path finds something and the first entry found is a folder.
  static int IsExistDir(char const* path);
  // Clears out, then fills it with the full path of every file that file_spec names. A file_spec
  // that starts with a double quote is a list of quoted names ("a" "b"), added trimmed and without
  // consulting the disk. With recurse, the subfolders of file_spec's folder part are searched too
  // (each with ScanDir); a file_spec without a folder part then gives nothing. Failures leave out
  // empty.
  static void GetFileName(char const* file_spec, int recurse, CStringArr* out);
  // Counts the files matching pattern in dir and below (depth first, a folder's files
  // before its subfolders), appending their full paths to out when out is not null.
  // Folders are never counted. Returns the count.
  static int ScanDir(char const* dir, char const* pattern, CStringArr* out);
  // Deletes everything inside dir, read-only files included, going on after failures.
  // With removeSelf 0: 1 when everything went (a missing dir too), else 0. Otherwise the
  // result is that of removing dir itself (0 for a missing dir). 0 for a null or empty dir.
  static int DeleteDir(char const* dir, int removeSelf);
  // 1 when path cannot be written: it is missing, read-only, a "." or ".." entry, or a
  // folder holding something read-only at any depth; else 0.
  static int IsReadOnly(char const* path);
  // Creates every missing folder of path and returns 1 when the chain then exists. The
  // first part of a path of several parts (a drive, the root, a server, or the first folder
  // of a relative path) is taken as existing; the share level under "//server" is passed
  // over when it cannot be made. A one-part path that exists already is probed for writing
  // with a file "~test.tmp" that is created and deleted (a file of that name is left alone).
  static int CreateDir(char const* path);
  // Copies the tree under src into the existing folder dst, overwriting files; copies of
  // read-only files are made writable. dst is not created. Always 1.
  static int CopyDir(char const* src, char const* dst);
  // Copies the file src to dst, overwriting. When that fails, src may also be a wildcard
  // pattern (the files it matches) or a folder (with its tree), and dst an existing folder
  // to copy into, as the desktop shell's copy allows; no dialog is shown. 1 on success.
  static int CopyFileA(char const* src, char const* dst);
  // Moves src to dst (which must not exist). When that fails, the same fall-back as
  // CopyFileA moves instead, replacing an existing target file that is not read-only.
  static int MoveFileA(char const* src, char const* dst);
  // A file name safe to save under, from the last part of a path or address: the text
  // after the last of the 15 unsafe characters (space @ & | ; : ' " ? * % \ / = +), its
  // extension (or "xxx"), and number in "%08d" form instead of the name when number is
  // not 0 or the name is empty.
  static CString CreateShotName(char const* path, int number);
  // Writes the top-level stream streamName of the compound file storageFile to the plain
  // file destFile (created or truncated). 1 on success, 0 on any failure
  // (publicfun/cmbcopy.cpp).
  static int CopyCmbFile(char const* destFile, char const* storageFile, char const* streamName);
  // Creates dstDir (CreateDir), then copies the files of srcDir, not its subfolders, into
  // it, overwriting. 0 when a folder is null or empty or dstDir cannot be made, else 1.
  // The third argument is ignored.
  static int CopyAccFile(char const* srcDir, char const* dstDir, int ignored);

  // --- Text and web string helpers (publicfun/text.cpp)

  // A blank byte is 0x01-0x20; an ASCII letter is A-Z or a-z.

  // 1 when s holds no blank byte and none of - = + , ? / . " : ; \ ( ) *; 1 for "",
  // 0 for null.
  static int IsValueChar(char const* s);
  // 1 for the digits 0 to 9.
  static int IsNumberAscii(char c);
  // 1 for byte values 33 to 128 inclusive.
  static int IsAscii(unsigned char c);
  // Without an exclusion list (null or ""): 1 for an ASCII letter. With one: 1 for a byte
  // from 0x21 to 0x7E that is not in the list.
  static int IsCharAscii(char c, char const* exclude);
  // Without an exclusion list: 1 when every byte of s is an ASCII letter. With one: 1
  // when no byte of s is in the list (any other byte passes). 1 for "", 0 for null.
  static int IsEnglishWord(char const* s, char const* exclude);
  // text transformed by the switches found anywhere in switches, either case: /S trim
  // blanks at both ends, /M delete blanks after the first non-blank, /R delete CR LF
  // pairs (one forward pass), /T all three, /U upper case, /L lower case, /H delete
  // <...> tags (an unclosed "<" ends the deletion). The effects apply in the order trim,
  // upper, lower, squeeze, CR LF, tags. Two-byte characters are stepped over whole.
  static CString FilterString(char const* text, char const* switches);
  // Plain text as HTML: leading control bytes dropped; tags copied as they are; a space
  // kept before an ASCII letter, else "&nbsp" (no semicolon); CR LF before a space
  // "<br>", a blank line "<p>", other CR LF dropped (lines join); conversion stops at a
  // CR one or two bytes before the end or before the end-of-file mark 0x1A.
  static CString Text2Html(char const* text);
  // Percent-decoded text of the first len bytes of s (len -1: all of s), never past its
  // NUL: "+" is a space, "%" and two hex digits a byte (a zero byte is dropped), a "%"
  // without two hex digits stays as it is. "" for null s or len 0 or below -1.
  static CString WebStr2Str(char const* s, int len);
  // Clears both lists and parses form data (name=value pairs joined by "&", each side
  // percent-decoded, an empty side an absent entry) from a reference to a variant that
  // holds a one-dimensional array of bytes, read up to the first NUL. Returns the number
  // of names; 0 for any other shape of variant, which is not read.
  static int GetHtmlFormVal(tagVARIANT* data, CStringArr* names, CStringArr* values);
  // The same parse of the bytes of data up to the first NUL or its end, appended to the
  // lists without clearing them. Returns names->GetSize().
  static int GetHtmlFormVal(CByteArray* data, CStringArr* names, CStringArr* values);
  // The 36-character text form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX, upper case.
  static CString GUID2STR(_GUID guid);
  // The GUID of a 36-character text form (either case; a non-hex digit reads as 0, the
  // hyphen positions are not examined); the all-zero GUID for null or any other length.
  static _GUID STR2GUID(char const* s);

  // --- Shell, registry and network helpers (publicfun/system.cpp)

  // The full path of an installed program: the "Path" value (any case, among the first
  // twelve values) of the key <exeName> under HKEY_LOCAL_MACHINE's
  // SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths, followed directly by exeName. "" when the
  // key or value is missing, a value overflows its buffer (name 100, data 512 bytes), the path does
  // not fit 512 bytes, or no such file exists. The registry is the REGEDIT4 file $QEL_REGISTRY,
  // else qelshare/registry.reg in the user's XDG configuration folder.
  static CString GetExecFilePath(char const* exeName);
  // Fires an http:// address with a GET (agent "QelCommand"; redirections not followed).
  // 1 when the answer is not 401, 301, 302 or 303, its raw header block holds "OK", and up
  // to 8,192 bytes of its body can then be read; otherwise, or without an answer within
  // the timeouts (10 s to connect, 30 s in all), 0.
  static int URLCommand(char const* url);
  // Asks whether an http:// address delivers a file (agent "QelClient"; the body is not
  // read). 1 when the answer is not 401, 301, 302 or 303 and its raw header block holds
  // "200 OK" or "Content-Type:"; otherwise, or without an answer in time, 0.
  static int CheckHttpFile(char const* url);

#if QELSHARE_WINDOWS
  // --- Window-bound helpers (publicfun/window.cpp)

  // Shows a modal folder chooser owned by owner (may be null) with title as its
  // instruction; the chosen folder's path, or "" when cancelled.
  static CString BrowseFolder(HWND owner, char const* title);
  // Appends the command identifiers of menu and, depth-first in place, of its submenus to
  // ids (not cleared first); separators are skipped. A null menu appends nothing.
  static void GetCmdFromMenu(CMenu* menu, CUIntArray& ids);
  // Writes a GIF to target: a copy of "bk.gif" of the current directory when there is
  // one, else the resource of type "GIF" with the low 16 bits of resourceId from the
  // module instance. 0 when neither exists; throws CFileException when target cannot be
  // created or written.
  static int SaveGif(HINSTANCE instance, unsigned int resourceId, char const* target);
  // Shows or hides hwnd with an animation of time milliseconds by the AW_ flags (slide in
  // a direction, grow from the centre, or blend; AW_HIDE hides), then, when redraw is
  // non-zero, invalidates its client area. Nothing for a null window, time 0 or flags 0.
  static void AnimateWindow(HWND hwnd, unsigned long time, unsigned long flags, int redraw);
#endif
};

#if QELSHARE_WINDOWS
// A file that could not be created or written (SaveGif).
class QELSHARE_API CFileException {
 public:
  CFileException(int cause, CString fileName);
  virtual ~CFileException();
  enum { none = 0, generic = 1, accessDenied = 5 };
  int m_cause;
  CString m_strFileName;
};
#endif

#endif  // QELSHARE_CPUBLICFUN_H_
