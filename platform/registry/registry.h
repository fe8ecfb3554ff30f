// The registry: keys of named values, as the desktop platform keeps them.
//
// Keys are paths of names separated by "\" under one of the platform's root keys
// ("HKEY_LOCAL_MACHINE\SOFTWARE\..."); key and value names are matched without regard to
// the case of ASCII letters. A key holds values in the order they were first set; a value
// has a name ("" for the key's default value), a type number and data bytes. String
// values hold their GBK text and a closing NUL, as the platform's 8-bit calls return them.
//
// The store lives in one text file in the REGEDIT4 format that the desktop registry
// editor exports and imports (version 5 exports, UTF-16 text, are read too), so real
// exports can be imported and the file can be read and edited by people. Its place is
// $QEL_REGISTRY, else "qelshare/registry.reg" under $XDG_CONFIG_HOME (or ~/.config).
// Every read loads the file afresh; writes replace it whole, atomically.
#ifndef QELSHARE_PLATFORM_REGISTRY_REGISTRY_H_
#define QELSHARE_PLATFORM_REGISTRY_REGISTRY_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qel::registry {

// Value types, numbered as on the desktop platform.
inline constexpr std::uint32_t kTypeString = 1;
inline constexpr std::uint32_t kTypeExpandString = 2;
inline constexpr std::uint32_t kTypeBinary = 3;
inline constexpr std::uint32_t kTypeDword = 4;
inline constexpr std::uint32_t kTypeMultiString = 7;

// The root key of the installed programs' settings.
inline constexpr std::string_view kLocalMachine = "HKEY_LOCAL_MACHINE";

struct Value {
  std::string name;
  std::uint32_t type = kTypeString;
  std::string data;  // raw bytes
};

struct Key {
  std::string path;  // as first written, e.g. "HKEY_LOCAL_MACHINE\SOFTWARE\Qel"
  std::vector<Value> values;
};

// String data as stored: the text and a closing NUL.
std::string StringData(std::string_view text);

// A whole registry in memory.
class Store {
 public:
  // Reads a registry file's text (REGEDIT4, or version 5 in UTF-16) and applies it:
  // keys are created, "[-key]" deletes a key with its subkeys, "name"=- deletes a value.
  // On a malformed line returns false with error naming the line; what came before it
  // has been applied.
  bool Import(std::string_view text, std::string& error);
  // The whole store as REGEDIT4 text, keys in order of their paths.
  std::string Export() const;

  // The key at path (root name first; "HKLM" and "HKCU" are accepted), or null.
  Key const* Find(std::string_view path) const;
  // The key at path, created with its parents when missing; null when path does not
  // start with a root key name.
  Key* Create(std::string_view path);
  // Sets (replaces or appends) a value of the key at path, creating the key. False when
  // path has no root key, or name ends in a lone GBK lead byte (no file could hold it).
  bool SetValue(std::string_view path, std::string_view name, std::uint32_t type,
                std::string_view data);
  void DeleteKey(std::string_view path);

  std::size_t size() const { return keys_.size(); }

 private:
  std::map<std::string, Key> keys_;  // by folded path
};

// Where the registry file lives (see above).
std::string DefaultPath();

// Loads the registry file at path; a missing file is an empty registry. False with error
// when it cannot be read or parsed.
bool Load(std::string const& path, Store& store, std::string& error);
// Writes store to path (its folder is created), replacing the file atomically.
bool Save(std::string const& path, Store const& store, std::string& error);

// Results of the key calls, as the platform's registry calls report them.
enum class Status {
  kOk,
  kNotFound,     // no such key
  kNoMoreItems,  // the index is past the last value
  kMoreData,     // the name or the data does not fit the caller's buffer
};

// A key opened for reading, the way the library's members use the registry: open,
// enumerate the values by index, close. The registry file is read at Open.
class KeyReader {
 public:
  // Opens root\subkey ("HKEY_LOCAL_MACHINE", "SOFTWARE\...") of the default registry.
  Status Open(std::string_view root, std::string_view subkey);
  // Value number index. name_capacity counts the name's bytes and its closing NUL,
  // data_capacity the data bytes; when either is too small the result is kMoreData.
  Status EnumValue(std::uint32_t index, std::size_t name_capacity, std::size_t data_capacity,
                   Value* value) const;
  void Close();
  bool is_open() const { return open_; }

 private:
  bool open_ = false;
  Key key_;
};

}  // namespace qel::registry

#endif  // QELSHARE_PLATFORM_REGISTRY_REGISTRY_H_
