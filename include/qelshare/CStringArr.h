// CStringArr: the library's list of 8-bit strings.
//
// Every member of libqelshare that hands a list of strings across its interface fills a
// CStringArr: field names and keys of the expression engine, the lists of the descriptor
// reader, file lists, split results. One structure serves two uses: an unsorted list
// filled by appending, and a sorted set of unique strings kept in order by binary-search
// insertion (FindInsert).
//
// Entries are either a string of one or more bytes in its own block (length + NUL), or
// absent (a null pointer): adding or setting a null or empty string stores an absent
// entry, which still counts. Strings never move once stored, so a pointer returned by
// Get stays valid until that very entry is replaced (Set), removed (RemoveAt), or the
// array is cleared or destroyed; Add, FindInsert, Sort and RemoveAt of other entries
// keep it valid.
//
// Order (Find, FindInsert, Sort): the locale-aware collation of code page 936 text
// (pinyin order for Chinese characters, see platform/text), ties broken by bytes so that
// only identical strings compare equal. An absent entry orders as the empty string.
//
// Copies are deep: a copy owns its own table and strings. None of the members throws
// except on exhausted memory.
#ifndef QELSHARE_CSTRINGARR_H_
#define QELSHARE_CSTRINGARR_H_

#include <memory>

#include "qelshare/export.h"
#include "qelshare/types.h"

namespace qel::core {
class StringPool;
}

class QELSHARE_API CStringArr {
 public:
  // An empty array: count 0, no table.
  CStringArr();
  // Frees every string and the table (same as RemoveAll).
  virtual ~CStringArr();

  // Deep copies; a moved-from array is empty.
  CStringArr(CStringArr const& other);
  CStringArr& operator=(CStringArr const& other);
  CStringArr(CStringArr&& other) noexcept;
  CStringArr& operator=(CStringArr&& other) noexcept;

  // Appends one entry: the first n bytes of s (n >= 0; the caller guarantees n <= strlen(s)),
  // or all of s (n < 0). A null or empty s, or n == 0, appends an absent entry.
  void Add(char const* s, int n);
  // Like Add, but appends nothing at all when s is null or empty or n is 0.
  void AddIgnoreNULL(char const* s, int n);
  // Number of entries, absent ones included.
  int GetSize();
  // The string of entry i, writable in place and owned by the array; null when the entry
  // is absent or i is out of range.
  char* Get(int i);
  // Replaces entry i by a copy of the whole of s (absent for a null or empty s).
  // An out-of-range i changes nothing.
  void Set(int i, char const* s);
  // Removes entry i; later entries move down by one. An out-of-range i changes nothing.
  void RemoveAt(int i);
  // Frees every string and the table; the array is empty and reusable.
  void RemoveAll();
  // Appends a copy of every entry of src in order (absent entries stay absent).
  // src must be another array.
  void Append(CStringArr& src);
  // Appends every element of a framework array in order; empty elements become absent.
  void Append(CStringArray& src);
  // Binary search of key among entries first..last (inclusive, ascending, within range).
  // Sets *pFound to 1 and returns the index of an equal entry (the first the probe
  // sequence meets), or sets it to 0 and returns the index where key would be inserted.
  // A range outside the array, or with first > last, finds nothing and returns first.
  int Find(char const* key, int first, int last, int* pFound);
  // Inserts a copy of key into a sorted set unless an equal entry exists. Returns the
  // index of the equal entry; *pInserted is 1 when it inserted, 0 when it was there.
  int FindInsert(char const* key, int* pInserted);
  // Reorders the entries: ascending when ascending is non-zero, descending otherwise.
  void Sort(int ascending);

  int m_nCount;    // number of entries
  char** m_pData;  // table of m_nCount string pointers (null when there is no entry)

 private:
  // Slots allocated behind m_pData; spare slots make appending linear. Strings never move.
  int m_nCapacity;
  // Storage of the strings (created with the first string).
  std::unique_ptr<qel::core::StringPool> m_pool;

  void Reserve(int wanted);
  void InsertAt(int index, char* owned);
  char* CopyOf(char const* s, std::size_t n);
};

#endif  // QELSHARE_CSTRINGARR_H_
