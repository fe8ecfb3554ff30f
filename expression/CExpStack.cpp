#include "qelshare/CExpStack.h"

#include <cstdint>
#include <cstring>

#include "qelshare/memory.h"

namespace {

// Sixteen bytes as one value: the compiler keeps these in vector registers (SSE2 on x86-64,
// NEON on ARM) without any target-specific header. Loads and stores go through memcpy
// because pushed blocks need not be aligned.
using Chunk = std::uint64_t __attribute__((vector_size(16)));

constexpr std::size_t kChunk = sizeof(Chunk);

inline Chunk Load(unsigned char const* p) {
  Chunk c;
  std::memcpy(&c, p, kChunk);
  return c;
}

inline void Store(unsigned char* p, Chunk c) {
  std::memcpy(p, &c, kChunk);
}

// left[i] = op(left[i], right[i]) for every byte below n, four chunks per step, then the
// tail byte by byte. op works alike on chunks and on bytes.
template <typename Op>
void Combine(unsigned char* left, unsigned char const* right, std::size_t n, Op op) {
  std::size_t i = 0;
  for (; i + 4 * kChunk <= n; i += 4 * kChunk) {
    Chunk a0 = op(Load(left + i), Load(right + i));
    Chunk a1 = op(Load(left + i + kChunk), Load(right + i + kChunk));
    Chunk a2 = op(Load(left + i + 2 * kChunk), Load(right + i + 2 * kChunk));
    Chunk a3 = op(Load(left + i + 3 * kChunk), Load(right + i + 3 * kChunk));
    Store(left + i, a0);
    Store(left + i + kChunk, a1);
    Store(left + i + 2 * kChunk, a2);
    Store(left + i + 3 * kChunk, a3);
  }
  for (; i + kChunk <= n; i += kChunk) Store(left + i, op(Load(left + i), Load(right + i)));
  for (; i < n; ++i) left[i] = static_cast<unsigned char>(op(left[i], right[i]));
}

void Invert(unsigned char* bits, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 * kChunk <= n; i += 4 * kChunk) {
    Chunk a0 = ~Load(bits + i);
    Chunk a1 = ~Load(bits + i + kChunk);
    Chunk a2 = ~Load(bits + i + 2 * kChunk);
    Chunk a3 = ~Load(bits + i + 3 * kChunk);
    Store(bits + i, a0);
    Store(bits + i + kChunk, a1);
    Store(bits + i + 2 * kChunk, a2);
    Store(bits + i + 3 * kChunk, a3);
  }
  for (; i + kChunk <= n; i += kChunk) Store(bits + i, ~Load(bits + i));
  for (; i < n; ++i) bits[i] = static_cast<unsigned char>(~bits[i]);
}

struct AndOp {
  template <typename T>
  T operator()(T a, T b) const {
    return a & b;
  }
};
struct OrOp {
  template <typename T>
  T operator()(T a, T b) const {
    return a | b;
  }
};
struct SubOp {
  template <typename T>
  T operator()(T a, T b) const {
    return a & ~b;
  }
};

}  // namespace

CExpStack::CExpStack(unsigned long nBits)
    : m_nTop(0),
      m_pSlot{},
      m_nBytes(static_cast<long>(nBits / 8 + (nBits % 8 != 0 ? 1 : 0))),
      m_nBits(nBits) {}

CExpStack::~CExpStack() {
  FreeAll();
}

CExpStack::CExpStack(CExpStack const& other)
    : m_nTop(0), m_pSlot{}, m_nBytes(other.m_nBytes), m_nBits(other.m_nBits) {
  for (int i = 0; i < other.m_nTop; ++i) {
    auto* copy = static_cast<unsigned char*>(GlobalAlloc(GMEM_FIXED, m_nBytes));
    if (copy == nullptr) break;  // a partial copy is still a valid, smaller stack
    std::memcpy(copy, other.m_pSlot[i], m_nBytes);
    m_pSlot[m_nTop++] = copy;
  }
}

CExpStack& CExpStack::operator=(CExpStack const& other) {
  if (this != &other) {
    CExpStack copy(other);
    FreeAll();
    m_nBytes = copy.m_nBytes;
    m_nBits = copy.m_nBits;
    m_nTop = copy.m_nTop;
    for (int i = 0; i < kMaxDepth; ++i) {
      m_pSlot[i] = copy.m_pSlot[i];
      copy.m_pSlot[i] = nullptr;
    }
    copy.m_nTop = 0;
  }
  return *this;
}

void CExpStack::FreeAll() {
  for (auto& slot : m_pSlot) {
    if (slot != nullptr) GlobalFree(slot);
    slot = nullptr;
  }
  m_nTop = 0;
}

int CExpStack::Push(unsigned char* pBits) {
  if (m_nTop >= kMaxDepth) return 0;
  if (pBits == nullptr) {
    pBits = static_cast<unsigned char*>(GlobalAlloc(GPTR, m_nBytes));
    if (pBits == nullptr) return 0;
  }
  m_pSlot[m_nTop++] = pBits;
  return 1;
}

void CExpStack::Pop() {
  --m_nTop;
  GlobalFree(m_pSlot[m_nTop]);
  m_pSlot[m_nTop] = nullptr;
}

int CExpStack::And() {
  if (m_nTop < 2) return 0;
  Combine(m_pSlot[m_nTop - 2], m_pSlot[m_nTop - 1], m_nBytes, AndOp{});
  Pop();
  return 1;
}

int CExpStack::Or() {
  if (m_nTop < 2) return 0;
  Combine(m_pSlot[m_nTop - 2], m_pSlot[m_nTop - 1], m_nBytes, OrOp{});
  Pop();
  return 1;
}

int CExpStack::Sub() {
  if (m_nTop < 2) return 0;
  Combine(m_pSlot[m_nTop - 2], m_pSlot[m_nTop - 1], m_nBytes, SubOp{});
  Pop();
  return 1;
}

int CExpStack::Not() {
  if (m_nTop < 1) return 0;
  Invert(m_pSlot[m_nTop - 1], m_nBytes);
  return 1;
}

int CExpStack::GetResult(unsigned char*& pResult) {
  if (m_nTop != 1) return 0;
  pResult = m_pSlot[0];
  m_pSlot[0] = nullptr;
  m_nTop = 0;
  return 1;
}
