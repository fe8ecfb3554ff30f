// CPublicFun: the library's utility functions, as static members of a class without data.
//
// Each group of members lives in its own source under publicfun/ (split, compress, dates,
// keydata, packing, files, text, system). All text is 8-bit code page 936 (GBK). Results
// follow the library's conventions: 1 for success or yes, 0 for failure or no, an empty
// CString where a text member has nothing to give; no member throws across the interface.
#ifndef QELSHARE_CPUBLICFUN_H_
#define QELSHARE_CPUBLICFUN_H_

#include "qelshare/CStringArr.h"
#include "qelshare/export.h"
#include "qelshare/types.h"

class IStorage;

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
  // format. Returns 1 with *dstLen set (always < srcLen); 0 with *dstLen unchanged when
  // srcLen < 30 or the block would not come out shorter.
  static int Compress(unsigned char* src, unsigned long srcLen, unsigned char* dst,
                      unsigned long* dstLen);
  // Decodes a block of srcLen (>= 3) bytes into dst, which has room for the uncompressed
  // length. Always returns 1.
  static int Expand(unsigned char* src, unsigned long srcLen, unsigned char* dst);
  // Codes len bytes in place; applying it twice restores the data. Always returns 1.
  static int SimpleCode(unsigned char* buf, unsigned long len);

  // --- Date, time and currency normalisers (publicfun/dates.cpp)

  static CString StandardDate(char const* s);
  static CString StandardTime(char const* s);
  static CString StandardDateTime(char const* s);
  static CString StandardCy(char const* s);
  static CString GetFormatDate(char const* source, char const* format);

  // --- Key data texts in compound files (publicfun/keydata.cpp)

  static CString GetKeyData(char const* storageFile, char const* storageName,
                            char const* streamName);
  static int WriteKeyData(char const* storageFile, char const* storageName,
                          char const* streamName, char const* value);

  // --- Packages of files in compound files (publicfun/packing.cpp)

  static int ZipFile(CStringArr* files, IStorage* storage, char const* streamName);
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
  // Clears out, then fills it with the full path of every file spec names. A spec that
  // starts with a double quote is a list of quoted names ("a" "b"), added trimmed and
  // without consulting the disk. With recurse, the subfolders of spec's folder part are
  // searched too (each with ScanDir); a spec without a folder part then gives nothing.
  // Failures leave out empty.
  static void GetFileName(char const* spec, int recurse, CStringArr* out);
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
  // Writes the top-level stream streamName of the compound file storageFile to destFile.
  // 1 on success, 0 on any failure.
  static int CopyCmbFile(char const* destFile, char const* storageFile, char const* streamName);
  // Creates dstDir (CreateDir), then copies the files of srcDir, not its subfolders, into
  // it, overwriting. 0 when a folder is null or empty or dstDir cannot be made, else 1.
  // The third argument is ignored.
  static int CopyAccFile(char const* srcDir, char const* dstDir, int ignored);

  // --- Text and web string helpers (publicfun/text.cpp)

  static int IsValueChar(char const* s);
  static int IsNumberAscii(char c);
  static int IsAscii(unsigned char c);
  static int IsCharAscii(char c, char const* exclude);
  static int IsEnglishWord(char const* s, char const* exclude);
  static CString FilterString(char const* text, char const* switches);
  static CString Text2Html(char const* text);
  static CString WebStr2Str(char const* s, int len);
  static int GetHtmlFormVal(tagVARIANT* data, CStringArr* names, CStringArr* values);
  static int GetHtmlFormVal(CByteArray* data, CStringArr* names, CStringArr* values);
  static CString GUID2STR(_GUID guid);
  static _GUID STR2GUID(char const* s);

  // --- Shell, registry and network helpers (publicfun/system.cpp)

  // The full path of an installed program: the "Path" value (any case, among the first
  // twelve values) of the key <exeName> under HKEY_LOCAL_MACHINE's
  // SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths, followed directly by exeName. "" when the key or
  // value is missing, a value overflows its buffer (name 100, data 512 bytes), the path
  // does not fit 512 bytes, or no such file exists. The registry is the REGEDIT4 file
  // $QEL_REGISTRY, else qelshare/registry.reg in the user's XDG configuration folder.
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
};

#endif  // QELSHARE_CPUBLICFUN_H_
