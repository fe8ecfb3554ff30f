// Fuzzes the file members' text handling that never touches the disk: quoted name lists
// of GetFileName, CreateShotName, the desktop wildcard matcher and path helpers, and the
// split of a library base that is the address of a library in PostgreSQL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/fs/path.h"
#include "platform/fs/wildcard.h"
#include "platform/text/mbcs.h"
#include "qelshare/CPublicFun.h"
#include "search/pg_library.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  if (size == 0) return 0;
  std::string input(reinterpret_cast<char const*>(data) + 1, size - 1);
  std::string text(input.c_str());  // the members take NUL-terminated text
  switch (data[0] % 5) {
    case 0: {
      // A quoted list: the disk is never asked, every name is trimmed and non-empty.
      std::string file_spec = "\"" + text;
      CStringArr out;
      CPublicFun::GetFileName(file_spec.c_str(), data[0] & 0x10, &out);
      for (int i = 0; i < out.GetSize(); ++i) {
        char const* name = out.Get(i);
        if (name == nullptr || *name == '\0' || *name == ' ' || std::strchr(name, '"')) abort();
      }
      break;
    }
    case 1: {
      int number = size > 4 ? static_cast<int>(data[1] | data[2] << 8 | data[3] << 16) : 0;
      CString name = CPublicFun::CreateShotName(text.c_str(), number);
      // Name, a dot and an extension. (A name ending in a lone lead byte pairs with the
      // dot when read as GBK, as the bytes are joined; so the test is on bytes.)
      if (name.size() < 3 || name.find('.') == std::string::npos) abort();
      if (qel::text::FindAnyOf(name, "/\\") != qel::text::npos) abort();
      break;
    }
    case 2: {
      std::size_t cut = text.find('\n');
      std::string pattern = text.substr(0, cut);
      std::string name = cut == std::string::npos ? "" : text.substr(cut + 1);
      bool match = qel::fs::MatchName(pattern, name);
      // A pattern without wildcards matches exactly its own case-folded text.
      if (!qel::fs::HasWildcards(pattern) && !qel::fs::MatchName(pattern, pattern)) abort();
      if (pattern == "*" && !match) abort();
      break;
    }
    case 4: {
      // An address splits without a server into a table and what people are shown;
      // whatever splits is routed to PostgreSQL by a collection.
      qel::search::PgAddress address;
      std::string error;
      bool is_address = qel::search::IsPgAddress(text);
      if (qel::search::ParsePgAddress(text, address, error)) {
        if (!is_address || address.table.empty()) abort();
        if (address.shown.rfind("postgresql://", 0) != 0) abort();
        if (!address.shown.ends_with("?table=" + address.table)) abort();
      } else if (error.empty()) {
        abort();
      }
      break;
    }
    default: {
      std::string slashed = qel::fs::Slashes(text);
      if (slashed.size() != text.size()) abort();
      std::string absolute = qel::fs::Absolute(text);
      if (absolute.empty() || absolute[0] != '/') abort();
      qel::fs::LastSeparator(text);
      qel::fs::ToOs(text);
      qel::fs::FromOs(text);
      break;
    }
  }
  return 0;
}
