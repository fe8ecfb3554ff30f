// Shared by the compound-file commands: one phrase per compound-file result code, and
// the split of an element path ("a/b/c") into GBK names.
#ifndef QEL_TOOLS_STORAGE_ERRORS_H_
#define QEL_TOOLS_STORAGE_ERRORS_H_

#include <string>
#include <vector>

#include "host.h"
#include "qelshare/storage.h"

namespace qel::cli {

inline std::string Describe(HRESULT hr) {
  switch (hr) {
    case STG_E_FILENOTFOUND:
      return "does not exist";
    case STG_E_FILEALREADYEXISTS:
      return "already exists";
    case STG_E_ACCESSDENIED:
      return "cannot be opened for that (access denied or already open)";
    case STG_E_SHAREVIOLATION:
      return "is in use by another program";
    case STG_E_INVALIDHEADER:
      return "is not a compound file";
    case STG_E_DOCFILECORRUPT:
      return "is damaged";
    case STG_E_INVALIDNAME:
      return "is not a valid element name (1 to 31 characters, none of / \\ : !)";
    case STG_E_WRITEFAULT:
    case STG_E_MEDIUMFULL:
      return "could not be written";
    case STG_E_READFAULT:
      return "could not be read";
    default:
      return "failed (code " + std::to_string(static_cast<unsigned>(hr)) + ")";
  }
}

// Exit code of a failed open or create of the compound file itself.
inline int FileExit(HRESULT hr) {
  return hr == STG_E_INVALIDFLAG ? kUsage : kIo;
}

// Names of an element path separated by '/', converted to GBK; empty pieces dropped.
inline std::vector<std::string> SplitPath(Context const& ctx, std::string const& path) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) names.push_back(ToLibrary(ctx, path.substr(start, end - start), "PATH"));
    start = end + 1;
  }
  return names;
}

// Releases a compound-file object at the end of a scope.
template <typename T>
struct Held {
  T* p = nullptr;
  Held() = default;
  Held(Held const&) = delete;
  Held& operator=(Held const&) = delete;
  ~Held() {
    if (p != nullptr) p->Release();
  }
  T* operator->() const { return p; }
};

}  // namespace qel::cli

#endif  // QEL_TOOLS_STORAGE_ERRORS_H_
