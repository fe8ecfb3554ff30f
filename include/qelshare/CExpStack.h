// CExpStack: evaluates a postfix retrieval stream over hit bitmaps.
//
// A hit set is a bitmap with one bit per record of the searched library. The host walks the
// postfix stream of CAnalyseExpression: for every leaf item it pushes that leaf's bitmap,
// for the operator items "AND", "OR", "SUB" and "NOT" it calls the member of the same name,
// and at the end it takes the one remaining bitmap with GetResult. The stack knows nothing
// of records or of bit order inside a byte: it combines equal-length byte arrays, all
// m_nBytes bytes of them (the bits of the last byte past m_nBits included).
//
// Ownership: every bitmap on the stack is a fixed block of GlobalAlloc (qelshare/memory.h)
// of at least m_nBytes bytes. A block pushed onto the stack becomes the stack's; the one
// taken with GetResult becomes the caller's, who frees it with GlobalFree.
//
// Every member reports failure only by returning 0 and then leaves the stack unchanged.
// The operations run over machine words; results are those of the byte-wise definitions.
// Copies are deep: a copy owns copies of the source's bitmaps.
#ifndef QELSHARE_CEXPSTACK_H_
#define QELSHARE_CEXPSTACK_H_

#include "qelshare/export.h"
#include "qelshare/types.h"

class QELSHARE_API CExpStack {
 public:
  // Capacity of the stack in bitmaps.
  static constexpr int kMaxDepth = 200;

  // An empty stack for bitmaps of nBits bits (nBits / 8 bytes, plus one for a remainder).
  // Allocates nothing.
  explicit CExpStack(unsigned long nBits);
  // Frees every bitmap still on the stack.
  virtual ~CExpStack();

  CExpStack(CExpStack const& other);
  CExpStack& operator=(CExpStack const& other);

  // Puts a bitmap on top and returns 1. With pBits null it allocates a zeroed bitmap; with
  // pBits not null the stack takes that block itself. Returns 0, taking nothing, when 200
  // bitmaps are already on the stack or the zeroed bitmap cannot be allocated.
  int Push(unsigned char* pBits);
  // Second = second AND top, then the top is freed. 0 with fewer than two bitmaps.
  int And();
  // Second = second OR top, then the top is freed. 0 with fewer than two bitmaps.
  int Or();
  // Second = second AND NOT top (left operand without the right), then the top is freed.
  // 0 with fewer than two bitmaps.
  int Sub();
  // Inverts every byte of the top bitmap in place. 0 on an empty stack.
  int Not();
  // With exactly one bitmap on the stack: hands it to the caller in pResult, empties the
  // stack and returns 1. Otherwise returns 0 and changes neither pResult nor the stack.
  int GetResult(unsigned char*& pResult);

  int m_nTop;                         // bitmaps on the stack, 0 to 200
  unsigned char* m_pSlot[kMaxDepth];  // bottom first; unused slots are null
  long m_nBytes;                      // bytes of every bitmap
  unsigned long m_nBits;              // bits (records) given to the constructor

 private:
  // Frees the top bitmap after a two-operand operation.
  void Pop();
  void FreeAll();
};

#endif  // QELSHARE_CEXPSTACK_H_
