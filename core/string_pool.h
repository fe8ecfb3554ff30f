// Block storage of the strings of one CStringArr.
//
// Strings are carved from chunks of growing size (256 bytes up to 64 KiB) instead of one
// heap block each: appending a short string costs a pointer bump, and the strings of a
// list lie together in memory, which is what sorting and searching walk. Each block is
// freed individually: a chunk counts its live blocks and is returned to the heap when the
// last one goes and the pool has moved on to a newer chunk; the current chunk, once empty,
// is carved again from its start, so a list that is cleared and refilled allocates nothing. Blocks
// never move, so a pointer to a string stays valid until that string is freed.
#ifndef QELSHARE_CORE_STRING_POOL_H_
#define QELSHARE_CORE_STRING_POOL_H_

#include <cstddef>

namespace qel::core {

class StringPool {
 public:
  StringPool() = default;
  ~StringPool();
  StringPool(StringPool const&) = delete;
  StringPool& operator=(StringPool const&) = delete;
  StringPool(StringPool&& other) noexcept;
  StringPool& operator=(StringPool&& other) noexcept;

  // A block for n bytes of text plus a NUL, holding a copy of s[0..n) and the NUL.
  char* Copy(char const* s, std::size_t n);

  // Frees a block that Copy returned (of any pool); null is ignored.
  static void Free(char* block);

 private:
  struct Chunk;
  void Retire();

  Chunk* current_ = nullptr;
  std::size_t next_size_ = 256;
};

}  // namespace qel::core

#endif  // QELSHARE_CORE_STRING_POOL_H_
