#include "core/string_pool.h"

#include <cstring>
#include <new>
#include <utility>

namespace qel::core {

// A chunk: this header, then blocks of [owner pointer][text][NUL], each 8-byte aligned.
struct StringPool::Chunk {
  std::size_t live;  // blocks not yet freed
  std::size_t used;  // bytes carved, header included
  std::size_t size;  // bytes of the chunk
  bool retired;      // the pool no longer carves from it
};

namespace {

constexpr std::size_t kAlign = alignof(void*);
constexpr std::size_t kMaxChunk = 64 * 1024;
constexpr std::size_t RoundUp(std::size_t n) {
  return (n + kAlign - 1) & ~(kAlign - 1);
}

}  // namespace

StringPool::~StringPool() {
  Retire();
}

StringPool::StringPool(StringPool&& other) noexcept
    : current_(std::exchange(other.current_, nullptr)),
      next_size_(std::exchange(other.next_size_, 256)) {}

StringPool& StringPool::operator=(StringPool&& other) noexcept {
  if (this != &other) {
    Retire();
    current_ = std::exchange(other.current_, nullptr);
    next_size_ = std::exchange(other.next_size_, 256);
  }
  return *this;
}

void StringPool::Retire() {
  if (current_ == nullptr) return;
  current_->retired = true;
  if (current_->live == 0) ::operator delete(current_);
  current_ = nullptr;
}

char* StringPool::Copy(char const* s, std::size_t n) {
  std::size_t need = RoundUp(sizeof(Chunk*) + n + 1);
  constexpr std::size_t header = RoundUp(sizeof(Chunk));
  Chunk* chunk = current_;
  // Once every block of the current chunk is freed, it is carved again from the start.
  if (chunk != nullptr && chunk->live == 0) chunk->used = header;
  if (chunk == nullptr || chunk->used + need > chunk->size) {
    if (header + need > kMaxChunk / 4) {
      // A long string gets a chunk of its own, retired from the start.
      chunk = static_cast<Chunk*>(::operator new(header + need));
      *chunk = Chunk{0, header, header + need, true};
    } else {
      std::size_t size = next_size_;
      while (size < header + need) size *= 2;
      chunk = static_cast<Chunk*>(::operator new(size));
      *chunk = Chunk{0, header, size, false};
      Retire();
      current_ = chunk;
      if (next_size_ < kMaxChunk) next_size_ *= 2;
    }
  }
  auto* base = reinterpret_cast<unsigned char*>(chunk) + chunk->used;
  std::memcpy(base, &chunk, sizeof chunk);
  char* text = reinterpret_cast<char*>(base + sizeof(Chunk*));
  std::memcpy(text, s, n);
  text[n] = '\0';
  chunk->used += need;
  ++chunk->live;
  return text;
}

void StringPool::Free(char* block) {
  if (block == nullptr) return;
  Chunk* chunk;
  std::memcpy(&chunk, block - sizeof(Chunk*), sizeof chunk);
  if (--chunk->live == 0 && chunk->retired) ::operator delete(chunk);
}

}  // namespace qel::core
