#include "qelshare/CExpStack.h"

#include <cstdint>
#include <cstring>

#include "qelshare/memory.h"

namespace {

// Sixty-four bytes as one value: the compiler keeps these in vector registers (one AVX-512
// register, two AVX2 or four SSE2 registers on x86-64, NEON elsewhere) without any
// target-specific header. Loads and stores go through memcpy, which makes no assumption of
// alignment.
using Chunk = std::uint64_t __attribute__((vector_size(64)));

constexpr std::size_t kChunk = sizeof(Chunk);

// On x86-64 each operation is compiled for AVX-512, AVX2 and the baseline, and the loader
// picks the widest the processor has. Not under ThreadSanitizer: the loader runs the
// choosing function before the sanitizer's runtime is up, and its instrumented code
// crashes there.
#if defined(__SANITIZE_THREAD__)
#define QEL_WIDEST
#elif defined(__x86_64__) && defined(__GNUC__) && defined(__ELF__)
#define QEL_WIDEST __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define QEL_WIDEST
#endif

#define QEL_INLINE inline __attribute__((always_inline))

enum class Op { kAnd, kOr, kSub, kNot };

// a = a op b on chunks and on bytes. Chunks travel by reference: a vector passed by value
// would have a different calling convention in each clone.
template <Op kOp, typename T>
QEL_INLINE void Apply(T& a, T const& b) {
  if constexpr (kOp == Op::kAnd) a &= b;
  if constexpr (kOp == Op::kOr) a |= b;
  if constexpr (kOp == Op::kSub) a &= ~b;
  if constexpr (kOp == Op::kNot) a = ~a;
}

// left[i] = left[i] op right[i] for every byte below n: four chunks per step, then single
// chunks, then the tail byte by byte.
template <Op kOp>
QEL_INLINE void Combine(unsigned char* left, unsigned char const* right, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 * kChunk <= n; i += 4 * kChunk) {
    Chunk a0, a1, a2, a3, b0, b1, b2, b3;
    std::memcpy(&a0, left + i, kChunk);
    std::memcpy(&a1, left + i + kChunk, kChunk);
    std::memcpy(&a2, left + i + 2 * kChunk, kChunk);
    std::memcpy(&a3, left + i + 3 * kChunk, kChunk);
    std::memcpy(&b0, right + i, kChunk);
    std::memcpy(&b1, right + i + kChunk, kChunk);
    std::memcpy(&b2, right + i + 2 * kChunk, kChunk);
    std::memcpy(&b3, right + i + 3 * kChunk, kChunk);
    Apply<kOp>(a0, b0);
    Apply<kOp>(a1, b1);
    Apply<kOp>(a2, b2);
    Apply<kOp>(a3, b3);
    std::memcpy(left + i, &a0, kChunk);
    std::memcpy(left + i + kChunk, &a1, kChunk);
    std::memcpy(left + i + 2 * kChunk, &a2, kChunk);
    std::memcpy(left + i + 3 * kChunk, &a3, kChunk);
  }
  for (; i + kChunk <= n; i += kChunk) {
    Chunk a, b;
    std::memcpy(&a, left + i, kChunk);
    std::memcpy(&b, right + i, kChunk);
    Apply<kOp>(a, b);
    std::memcpy(left + i, &a, kChunk);
  }
  for (; i < n; ++i) {
    unsigned char a = left[i];
    Apply<kOp>(a, static_cast<unsigned char>(right[i]));
    left[i] = a;
  }
}

QEL_WIDEST void AndBytes(unsigned char* l, unsigned char const* r, std::size_t n) {
  Combine<Op::kAnd>(l, r, n);
}
QEL_WIDEST void OrBytes(unsigned char* l, unsigned char const* r, std::size_t n) {
  Combine<Op::kOr>(l, r, n);
}
QEL_WIDEST void SubBytes(unsigned char* l, unsigned char const* r, std::size_t n) {
  Combine<Op::kSub>(l, r, n);
}
QEL_WIDEST void NotBytes(unsigned char* bits, std::size_t n) {
  Combine<Op::kNot>(bits, bits, n);
}

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
  AndBytes(m_pSlot[m_nTop - 2], m_pSlot[m_nTop - 1], m_nBytes);
  Pop();
  return 1;
}

int CExpStack::Or() {
  if (m_nTop < 2) return 0;
  OrBytes(m_pSlot[m_nTop - 2], m_pSlot[m_nTop - 1], m_nBytes);
  Pop();
  return 1;
}

int CExpStack::Sub() {
  if (m_nTop < 2) return 0;
  SubBytes(m_pSlot[m_nTop - 2], m_pSlot[m_nTop - 1], m_nBytes);
  Pop();
  return 1;
}

int CExpStack::Not() {
  if (m_nTop < 1) return 0;
  NotBytes(m_pSlot[m_nTop - 1], m_nBytes);
  return 1;
}

int CExpStack::GetResult(unsigned char*& pResult) {
  if (m_nTop != 1) return 0;
  pResult = m_pSlot[0];
  m_pSlot[0] = nullptr;
  m_nTop = 0;
  return 1;
}
