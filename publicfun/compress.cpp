// Block compression (an LZSS coder with a 4 KiB window), its decoders, and SimpleCode.
//
// Block format: the first three input bytes as they are, then groups of a flag byte and
// up to eight items, the flag's bits from 0x80 down telling each item's kind: a literal
// byte (bit clear) or a two-byte reference (bit set) B1 B2 with length (B1 >> 4) + 3 and
// source W + (((B1 & 0x0F) << 8) | B2), where the window start W is max(0, P - 4096) for
// the output position P after the previous item. References may overlap their output.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/coding/coding.h"
#include "publicfun/block_codec.h"
#include "qelshare/CPublicFun.h"

namespace {

constexpr std::size_t kWindow = 4096;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 18;
constexpr unsigned long kMinInput = 30;

// The coder's answer for a position is fixed by the format's rules: the earliest
// position Q in [W, P - 3] among those whose match with P (capped at 18 bytes and at the
// end of the input) is longest, when that length is at least 3.
//
// Positions are chained per hash of their first three bytes (every candidate shares
// these with P), and P's chain is walked from its newest position back to the window
// start, a longest match as long as the best so far replacing it. Adding a position
// costs a few stores and no test, which is most of the work on text, where chains are
// short. Where many positions of a chain match 18 bytes (repeated lines and markup), the
// walk goes from the oldest position in the window instead, up to the first that matches
// the cap. Positions inside runs of one byte or one two-byte unit (indentation, ruled
// lines) would make the longest chains; runs of four bytes and more are kept apart as
// whole runs, whose matches follow from where the runs end (class Runs).

// The first eight bytes at p as a little-endian number.
using qel::coding::Get64;

// Hash chains over positions, newest first: each slot holds the newest position with its
// hash, and each position links to the one before it on its chain. Adding a position
// takes two stores and no test, and a walk ends at the first position before the window,
// so neither needs to know where a chain starts or whether it is still alive. A walk from
// the newest cannot stop at the first 18-byte match, as an older one may match as far;
// where many positions match that far (repeated lines, periods of three bytes and more),
// the walk goes from the oldest position in the window instead, following links to the
// position after each one (class MatchIndex, OldestFirst). Those links are set only for
// the chains such walks use, when a walk first needs them.
//
// A walk only follows positions less than a ring's length behind the newest position
// added (kRing), so the links live in rings of slots indexed by position (in the
// first-level cache) instead of one slot per input byte. Positions are stored biased by
// kBias (above the window), so that an empty slot, all zero, reads as a position that
// left every window long ago, and the tables start out as zeroed memory.
class Chains {
 public:
  static constexpr std::uint32_t kBias = kWindow + 1;

  explicit Chains(int bits) : newest_(std::size_t{1} << bits), oldest_(std::size_t{1} << bits) {}

  // Appends biased position b to the chain in slot.
  void Add(std::size_t slot, std::uint32_t b) {
    older_[b & (kRing - 1)] = newest_[slot];
    newest_[slot] = b;
  }

  // The newest position of the chain in slot.
  std::uint32_t Newest(std::size_t slot) const { return newest_[slot]; }

  // The position before b (in the window) on its chain.
  std::uint32_t Older(std::uint32_t b) const { return older_[b & (kRing - 1)]; }

  // The newest position up to top on the chain through b.
  std::uint32_t Below(std::uint32_t b, std::uint32_t top) const {
    while (b > top) b = Older(b);
    return b;
  }

  // The position after b on its chain, for b on the chain less than a ring behind newest
  // (the chain's newest position): the link kept for b when it leads to a position up to
  // newest whose link back is b, else the links are set first, walking back from newest
  // to b. A kept link that fails this was left by the position a ring's length before b,
  // or set before newest came; a position on no chain links back to zero or to a
  // position more than a ring behind it, never to b.
  std::uint32_t Later(std::uint32_t b, std::uint32_t newest) {
    std::uint32_t const next = later_[b & (kRing - 1)];
    if (next > b && next <= newest && Older(next) == b) return next;
    for (std::uint32_t c = newest; c > b;) {
      std::uint32_t const o = Older(c);
      later_[o & (kRing - 1)] = c;
      c = o;
    }
    return later_[b & (kRing - 1)];
  }

  // The oldest position from the biased window start bw on, of the chain in slot up to
  // newest (at bw or later); positions below end are added. The answer of the last call
  // for the slot is kept and followed on by Later when it is still on the chain (less
  // than a ring behind end); else the chain is walked back from newest, setting the
  // links to the position after each one on the way.
  std::uint32_t Oldest(std::size_t slot, std::uint32_t newest, std::uint32_t bw,
                       std::uint32_t end) {
    std::uint32_t h = oldest_[slot];
    if (h >= kBias && h + kRing > end && h <= newest) {
      while (h < bw) h = Later(h, newest);
    } else {
      h = newest;
      for (std::uint32_t b = Older(h); b >= bw; b = Older(b)) {
        later_[b & (kRing - 1)] = h;
        h = b;
      }
    }
    oldest_[slot] = h;
    return h;
  }

  // The links of a position are overwritten once the position this far after it is
  // added.
  static constexpr std::size_t kRing = 2 * kWindow;

 private:
  std::vector<std::uint32_t> newest_;
  std::vector<std::uint32_t> oldest_;  // the last answer of Oldest per slot
  std::uint32_t older_[kRing] = {};    // the position before each one on its chain
  std::uint32_t later_[kRing] = {};    // the position after each one, set when needed
};

// Stretches where every byte equals the one two before: runs of one byte or of one
// two-byte unit (spaces, ruled lines). A position whose first three bytes read x y x
// ("periodic") can only match positions that read x y x too, and the length of such a
// match follows from where the two stretches end, so periodic positions are kept as
// whole stretches instead of one chain entry each: a stretch of any length is one record
// per phase (its first position; the positions of a phase follow every byte, or every
// other byte for a two-byte unit).
//
// A stretch of three bytes (a lone periodic position: on text, mostly two hanzi that
// share a lead byte) has a single position and nothing to gain from a record. These are
// as many as all the other stretches on text, so they stay on their chains, and a search
// from a periodic position looks at both (MatchIndex::Periodic).
//
// Records are chained oldest first by their unit x y, and once more by x y and the byte
// after the stretch, in hashed tables over a ring of records. A record is dead once its
// stretch ends less than three bytes after the window start; no live record is older
// than kRing / 2 records, so a chain whose newest record is older is dead too.
class Runs {
 public:
  struct Record {
    std::uint32_t first;    // biased first position of the phase
    std::uint32_t end;      // biased end of the stretch
    std::uint32_t next[2];  // the next record on either chain
  };
  enum Chain { kByUnit = 0, kByUnitAndAfter = 1 };
  static constexpr int kBits = 11;

  Runs()
      : ends_{std::vector<Ends>(std::size_t{1} << kBits),
              std::vector<Ends>(std::size_t{1} << kBits)},
        records_(std::make_unique_for_overwrite<Record[]>(kRing)) {}

  static std::size_t Slot(std::uint32_t key) {
    return static_cast<std::size_t>((key * 0x9E3779B1u) >> (32 - kBits));
  }

  // Adds a record, on the second chain only when it has a byte after.
  void Add(std::size_t unit, std::size_t after, bool hasAfter, std::uint32_t first,
           std::uint32_t end) {
    std::uint32_t const s = ++count_;
    records_[s & (kRing - 1)] = {first, end, {0, 0}};
    Append(kByUnit, unit, s);
    if (hasAfter) Append(kByUnitAndAfter, after, s);
  }

  // The oldest and newest live record of a chain for the biased window start bw; head
  // is 0 when there is none.
  struct Span {
    std::uint32_t head;
    std::uint32_t last;
  };
  Span Find(Chain k, std::size_t slot, std::uint32_t bw) {
    Ends& e = ends_[k][slot];
    if (e.last == 0 || count_ - e.last >= kRing / 2 || At(e.last).end < bw + 3) return {0, 0};
    while (At(e.head).end < bw + 3) e.head = At(e.head).next[k];
    return {e.head, e.last};
  }

  Record const& At(std::uint32_t s) const { return records_[s & (kRing - 1)]; }

 private:
  static constexpr std::uint32_t kRing = 4 * kWindow;

  struct Ends {
    std::uint32_t head = 0;
    std::uint32_t last = 0;
  };

  void Append(Chain k, std::size_t slot, std::uint32_t s) {
    Ends& e = ends_[k][slot];
    if (e.last == 0 || s - e.last >= kRing / 2) {
      e.head = s;
    } else {
      records_[e.last & (kRing - 1)].next[k] = s;
      while (s - e.head >= kRing / 2) e.head = At(e.head).next[k];
    }
    e.last = s;
  }

  std::vector<Ends> ends_[2];
  std::unique_ptr<Record[]> records_;
  std::uint32_t count_ = 0;
};

// Chain table size for an input: small inputs cannot fill a large table and would
// spend their time clearing it.
inline int ChainBits(std::size_t len) {
  return std::clamp(static_cast<int>(std::bit_width(len)) - 4, 10, 15);
}

// The chain slot of a position whose first three bytes are b0 b1 b2, in a table of
// 2^(16 - shift) slots: the top bits of a sum of 16-bit products, which vector units
// compute for many positions at once.
inline std::uint32_t Slot(unsigned b0, unsigned b1, unsigned b2, int shift) {
  auto const h = static_cast<std::uint16_t>(b0 * 0x6A09u + b1 * 0xE667u + b2 * 0xBB67u);
  return std::uint32_t{h} >> shift;
}

class MatchIndex {
 public:
  // Indexes positions from first on, a chunk at a time ahead of the searches; searches
  // must come at first + 4096 or later (or from first = 0 on), so that every window they
  // see is indexed. Chains hold positions relative to first in 32 bits: an index must
  // stay below 4 GiB - 8 KiB past first, which the segments that CompressBlock parses
  // in do.
  MatchIndex(unsigned char const* src, std::size_t len, std::size_t first = 0)
      : src_(src),
        len_(len),
        first_(first),
        base_(first),
        ready_(first),
        delta_(first - Chains::kBias),
        shift_(16 - ChainBits(len)),
        chains_(ChainBits(len)),
        slots_(1 + kChunk + kAhead, 0) {}

  // Best match for p with at most limit (3..18) bytes among positions from window on,
  // for p at or after the last search. Returns the length (0 when below 3) and sets
  // *from.
  //
  // Positions are indexed ahead of the searches, the whole chunk of p at once: a loop
  // of a fixed count runs without a mispredicted end, and every search is then just a
  // test and a walk. p itself is on its chain, so the walk starts from the position
  // before p, in the ring of links, not from the slot's newest (a further, less cached
  // load); later positions on the chain (up to p - 2, by chance) are stepped over.
  [[gnu::always_inline]] std::size_t Find(std::size_t p, std::size_t window, std::size_t limit,
                                          std::size_t* from) {
    if (p >= ready_) [[unlikely]] {
      IndexUpTo(p);
    }
    std::uint32_t const slot = slots_[1 + p - base_];
    if (slot == kPeriodic) [[unlikely]] {
      return Periodic(p, window, limit, from, slots_[2 + p - base_]);
    }
    auto const bw = static_cast<std::uint32_t>(window - delta_);
    auto const top = static_cast<std::uint32_t>(p - kMinMatch - delta_);
    std::uint32_t newest = chains_.Older(top + kMinMatch);
    if (newest > top) [[unlikely]] {
      newest = chains_.Below(newest, top);
    }
    std::size_t const best = Walk(slot, newest, p, bw, limit, from);
    return best >= kMinMatch ? best : 0;
  }

 private:
  // Positions are indexed a chunk at a time. The slots of a few more are kept: a
  // periodic search looks at the next position's. A walk may then see positions up to
  // a chunk ahead of the search, so their links must last that much longer.
  static constexpr std::size_t kChunk = 2048;
  static constexpr std::size_t kAhead = 8;
  static_assert(kWindow + kChunk + kMinMatch < Chains::kRing);
  // The slot value of periodic positions.
  static constexpr std::uint32_t kPeriodic = 0xFFFFFFFF;

  // Indexes the chunks up to the one of p.
  [[gnu::noinline]] void IndexUpTo(std::size_t p) {
    do {
      Refill();
      // The slots and the bias in locals: the stores to the chains would otherwise have
      // them read again at every position. Positions from len - 2 on have no slot.
      std::uint32_t const* const s = slots_.data();
      auto const bias = static_cast<std::uint32_t>(base_ - delta_);
      std::size_t const stop = std::min(ready_, len_ >= 2 ? len_ - 2 : 0);
      for (std::size_t i = 0; base_ + i < stop; ++i) AddAt(i, s, bias);
    } while (p >= ready_);
  }

  // Adds position base_ + i, whose slot is s[i + 1] and biased form bias + i.
  [[gnu::always_inline]] void AddAt(std::size_t i, std::uint32_t const* s, std::uint32_t bias) {
    std::uint32_t const slot = s[i + 1];
    if (slot != kPeriodic) [[likely]] {
      chains_.Add(slot, bias + static_cast<std::uint32_t>(i));
    } else if (s[i] != kPeriodic) {
      std::size_t const q = i + base_;
      if (s[i + 2] != kPeriodic) {  // lone: a stretch of three bytes
        chains_.Add(Slot(src_[q], src_[q + 1], src_[q + 2], shift_),
                    bias + static_cast<std::uint32_t>(i));
      } else {
        AddRun(q);  // the first periodic position of a longer stretch
      }
    }
  }

  // Computes the slots of the next kChunk positions from ready_ on (and kAhead more):
  // the chain slot of the first three bytes, or kPeriodic; slots_[0] is the slot of the
  // position before (kPeriodic or not).
  [[gnu::noinline]] void Refill() {
    base_ = ready_;
    std::size_t const end = std::min(base_ + kChunk + kAhead, len_ >= 2 ? len_ - 2 : 0);
    unsigned char const* const src = src_;
    int const shift = shift_;
    slots_[0] = base_ > first_ && base_ < end && src[base_ - 1] == src[base_ + 1] ? kPeriodic : 0;
    std::uint32_t* const out = slots_.data() + 1;  // out[i] for position base_ + i
    std::size_t q = base_;
    // Without branches: whether a position is periodic is as good as random on text.
    for (; q < end; ++q) {
      unsigned const b0 = src[q], b1 = src[q + 1], b2 = src[q + 2];
      out[q - base_] = Slot(b0, b1, b2, shift) | (0u - std::uint32_t{b0 == b2});
    }
    std::fill(out + (q - base_), out + kChunk + kAhead, 0);
    ready_ = base_ + kChunk;
  }

  // The end of the stretch through periodic position q: the first position from q + 3 on
  // whose byte differs from the one two before (or the input's end). A search that needs
  // to know only whether the end comes before stop may be answered with stop or later.
  std::size_t StretchEnd(std::size_t q, std::size_t stop = SIZE_MAX) const {
    std::size_t e = q + 3;
    for (; e + 8 <= len_ && e < stop; e += 8) {
      std::uint64_t const x = Get64(src_ + e) ^ Get64(src_ + e - 2);
      if (x != 0) return e + std::countr_zero(x) / 8;
    }
    while (e < len_ && e < stop && src_[e] == src_[e - 2]) ++e;
    return e;
  }

  // Records the stretch that starts at periodic position q: its phases from q and q + 1.
  [[gnu::noinline]] void AddRun(std::size_t q) {
    std::size_t const e = StretchEnd(q);
    auto const be = static_cast<std::uint32_t>(e - delta_);
    bool const hasAfter = e < len_;
    std::uint32_t const after = hasAfter ? std::uint32_t{src_[e]} << 16 : 0;
    std::uint32_t const x = src_[q], y = src_[q + 1];
    runs_.Add(Runs::Slot(x | (y << 8)), Runs::Slot(x | (y << 8) | after), hasAfter,
              static_cast<std::uint32_t>(q - delta_), be);
    if (x != y && q + 4 <= e) {
      runs_.Add(Runs::Slot(y | (x << 8)), Runs::Slot(y | (x << 8) | after), hasAfter,
                static_cast<std::uint32_t>(q + 1 - delta_), be);
    }
  }

  // Best match for periodic p, whose next position has the slot next: the better of
  // the recorded stretches' match and the chain's (the longer, else the earlier). A
  // stretch of three bytes on the chain matches p for exactly three bytes unless p's
  // stretch holds three bytes too (p + 1 is not periodic), so the chain is walked only
  // then, or when no recorded stretch matches p for four bytes.
  [[gnu::noinline]] std::size_t Periodic(std::size_t p, std::size_t window, std::size_t cap,
                                         std::size_t* from, std::uint32_t next) {
    std::size_t best = RunWalk(p, window, cap, from);
    if (best >= 4 && next == kPeriodic) return best;
    auto const bw = static_cast<std::uint32_t>(window - delta_);
    std::size_t at = 0;
    std::uint32_t const slot = Slot(src_[p], src_[p + 1], src_[p + 2], shift_);
    auto const top = static_cast<std::uint32_t>(p - kMinMatch - delta_);
    std::size_t const chained =
        Walk(slot, chains_.Below(chains_.Newest(slot), top), p, bw, cap, &at);
    if (chained > best || (chained == best && at < *from)) {
      best = chained;
      *from = at;
    }
    return best >= kMinMatch ? best : 0;
  }

  // Best match for periodic p among the recorded stretches. The stretch from p holds r
  // bytes; a position whose stretch holds t bytes matches min(t, r) of them, and when
  // t == r the bytes after both stretches may match on. So: below the cap, a position
  // with t == r whose bytes after match furthest; else the earliest with t >= r (all
  // of them match r bytes); else the earliest with the longest t.
  [[gnu::noinline]] std::size_t RunWalk(std::size_t p, std::size_t window, std::size_t cap,
                                        std::size_t* from) {
    std::uint32_t const x = src_[p], y = src_[p + 1];
    auto const bw = static_cast<std::uint32_t>(window - delta_);
    auto const [unitHead, unitLast] = runs_.Find(Runs::kByUnit, Runs::Slot(x | (y << 8)), bw);
    if (unitHead == 0) return 0;             // no stretch of this unit in the window
    std::size_t const odd = x == y ? 0 : 1;  // the positions of a phase are every other byte
    std::size_t const r = std::min(StretchEnd(p, p + cap) - p, cap);
    if (r < cap) {
      // The stretch from p ends at p + r with byte z: candidates end with z too.
      std::uint32_t const z = src_[p + r];
      auto const [head, last] =
          runs_.Find(Runs::kByUnitAndAfter, Runs::Slot(x | (y << 8) | (z << 16)), bw);
      std::size_t ext = 0, extAt = 0;
      for (std::uint32_t s = head; s != 0; s = runs_.At(s).next[Runs::kByUnitAndAfter]) {
        Runs::Record const& rec = runs_.At(s);
        std::size_t const f = rec.first + delta_;
        if (f + 3 > p) break;  // this stretch and the later ones start after p - 3
        std::size_t const e = rec.end + delta_;
        std::size_t lo = std::max(f, window);
        lo += (lo - f) & odd;
        std::size_t const q = e - r;  // where its stretch holds r bytes
        if (lo + r <= e && q + 3 <= p && ((q - lo) & odd) == 0 && src_[f] == x &&
            src_[f + 1] == y && src_[e] == z) {
          std::size_t const n = 1 + CommonLength(src_ + e + 1, src_ + p + r + 1, cap - r - 1);
          if (n > ext) {
            ext = n;
            extAt = q;
            if (n == cap - r) break;
          }
        }
        if (s == last) break;
      }
      if (ext > 0) {
        *from = extAt;
        return r + ext;
      }
    }
    std::size_t low = 0, lowAt = 0;
    for (std::uint32_t s = unitHead; s != 0; s = runs_.At(s).next[Runs::kByUnit]) {
      Runs::Record const& rec = runs_.At(s);
      std::size_t const f = rec.first + delta_;
      if (f + 3 > p) break;
      std::size_t const e = rec.end + delta_;
      if (src_[f] == x && src_[f + 1] == y) {
        std::size_t lo = std::max(f, window);
        lo += (lo - f) & odd;
        if (lo + 3 <= std::min(e, p)) {
          std::size_t const t = e - lo;
          if (t >= r) {
            *from = lo;
            return r;
          }
          if (t > low) {
            low = t;
            lowAt = lo;
          }
        }
      }
      if (s == unitLast) break;
    }
    *from = lowAt;
    return low;
  }

  // The longest match of at most cap bytes among the chain's positions from window on
  // up to newest (at most p - 3), the earliest among equals: the walk goes from newest
  // back to the window start, and a match as long as the best so far replaces it.
  [[gnu::always_inline]] std::size_t Walk(std::size_t slot, std::uint32_t newest, std::size_t p,
                                          std::uint32_t bw, std::size_t cap, std::size_t* from) {
    unsigned char const* cur = src_ + p;
    if (p + 24 <= len_) [[likely]] {
      // Most candidates differ within their first eight bytes. The cap is 18 here, so
      // only a longer match needs to be cut to it.
      std::uint64_t const head = Get64(cur);
      return WalkWith(slot, newest, bw, kMaxMatch, from, [&](unsigned char const* cand) {
        std::uint64_t const x = Get64(cand) ^ head;
        return x != 0 ? std::size_t(std::countr_zero(x) / 8)
                      : std::min(8 + TailLength(cand, cur), kMaxMatch);
      });
    }
    return WalkWith(slot, newest, bw, cap, from,
                    [&](unsigned char const* cand) { return ByteLength(cand, cur, cap); });
  }

  // Walk with length(candidate) telling how far a candidate matches (at most cap).
  template <class Length>
  [[gnu::always_inline]] std::size_t WalkWith(std::size_t slot, std::uint32_t newest,
                                              std::uint32_t bw, std::size_t cap, std::size_t* from,
                                              Length const& length) {
    std::size_t best = kMinMatch - 1;
    std::size_t at = 0;
    for (std::uint32_t b = newest; b >= bw; b = chains_.Older(b)) {
      std::size_t const q = b + delta_;
      std::size_t const n = length(src_ + q);
      if (n + best == 2 * cap) [[unlikely]]  // both at the cap
        return OldestFirst(slot, newest, bw, cap, from, length);
      bool const longer = n >= best;
      best = longer ? n : best;
      at = longer ? q : at;
    }
    *from = at;
    return best;
  }

  // Walk for a chain where two positions match cap bytes: from the oldest position in
  // the window up to the first that matches cap bytes.
  template <class Length>
  [[gnu::noinline]] std::size_t OldestFirst(std::size_t slot, std::uint32_t newest,
                                            std::uint32_t bw, std::size_t cap, std::size_t* from,
                                            Length const& length) {
    auto const end = static_cast<std::uint32_t>(ready_ - delta_);
    std::size_t best = 0;
    for (std::uint32_t b = chains_.Oldest(slot, newest, bw, end);; b = chains_.Later(b, newest)) {
      std::size_t const q = b + delta_;
      std::size_t const n = length(src_ + q);
      if (n > best) {
        best = n;
        *from = q;
        if (n == cap) break;
      }
      if (b == newest) break;
    }
    return best;
  }

  // How many bytes at a and b agree, at most limit (below 16), reading eight at a time
  // where 16 bytes past b are in the input (b is the later of the two).
  std::size_t CommonLength(unsigned char const* a, unsigned char const* b,
                           std::size_t limit) const {
    if (b + 16 > src_ + len_) return ByteLength(a, b, limit);
    std::uint64_t x = Get64(a) ^ Get64(b);
    std::size_t n = 0;
    if (x == 0) {
      x = Get64(a + 8) ^ Get64(b + 8);
      n = 8;
    }
    return std::min(n + (x != 0 ? std::countr_zero(x) / 8 : 8), limit);
  }

  static std::size_t ByteLength(unsigned char const* a, unsigned char const* b, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && a[n] == b[n]) ++n;
    return n;
  }

  // How many bytes from index 8 on agree (up to index 24), when the first eight do.
  // Needs 24 readable bytes after both a and b.
  static std::size_t TailLength(unsigned char const* a, unsigned char const* b) {
    std::uint64_t const x = Get64(a + 8) ^ Get64(b + 8);
    if (x != 0) return std::countr_zero(x) / 8;
    return 8 + std::countr_zero((Get64(a + 16) ^ Get64(b + 16)) | (std::uint64_t{1} << 63)) / 8;
  }

  unsigned char const* src_;
  std::size_t len_;
  std::size_t first_;  // the first position indexed
  std::size_t base_;   // the position of slots_[1]
  std::size_t ready_;  // positions below ready_ are indexed (and slots_ holds kAhead more)
  std::size_t delta_;  // a position less its biased form (modulo 2^64)
  int shift_;
  Chains chains_;  // by the first three bytes
  Runs runs_;      // periodic positions
  std::vector<std::uint32_t> slots_;
};
// The window start before an item that begins at output position o.
inline std::size_t WindowStart(std::size_t o) {
  return o > kWindow ? o - kWindow : 0;
}

// Inputs are parsed in segments of this size at most, each with an index of its own (from
// the window before it), so that the index's 32-bit positions never run out.
constexpr std::size_t kSegment = std::size_t{1} << 30;

// Compresses src[0, n) into dst with the greedy parse, writing the items as they come;
// the block's length, or 0 when it would not be shorter. Block layout: the first three
// bytes, then items under their flag bytes; an item is refused once the output has
// reached the input length - 2.
std::size_t CompressBlock(unsigned char const* src, std::size_t n, unsigned char* dst) {
  std::memcpy(dst, src, 3);
  unsigned char* flags = dst + 3;
  *flags = 0;
  unsigned char* o = dst + 4;
  unsigned char const* const full = dst + n - 2;
  unsigned bit = 0x80;
  for (std::size_t p = 3; p < n;) {
    MatchIndex index(src, n, WindowStart(p));
    for (std::size_t const stop = std::min(n, p + kSegment); p < stop;) {
      if (o >= full) return 0;
      std::size_t const limit = std::min(kMaxMatch, n - p);
      std::size_t len = 0;
      std::size_t from = 0;
      std::size_t const w = WindowStart(p);
      if (limit >= kMinMatch) len = index.Find(p, w, limit, &from);
      if (len == 0) {
        *o++ = src[p++];
      } else {
        std::size_t const offset = from - w;
        *flags |= static_cast<unsigned char>(bit);
        o[0] = static_cast<unsigned char>(((len - kMinMatch) << 4) | (offset >> 8));
        o[1] = static_cast<unsigned char>(offset);
        o += 2;
        p += len;
      }
      bit >>= 1;
      if (bit == 0) {
        flags = o++;
        *flags = 0;
        bit = 0x80;
      }
    }
  }
  return static_cast<std::size_t>((bit == 0x80 ? flags : o) - dst);
}

enum class Decoded { kComplete, kDamaged };

template <std::size_t kBytes>
void Move(unsigned char* to, unsigned char const* from) {
  unsigned char chunk[kBytes];
  std::memcpy(chunk, from, kBytes);
  std::memcpy(to, chunk, kBytes);
}

// Copies len (3..18) bytes from out[from] to out[o], byte by byte in increasing order as
// the format says. When the source ends before o the copy cannot see its own output, and
// fixed-size moves that together cover exactly len bytes give the same result faster.
inline void CopyMatch(unsigned char* out, std::size_t o, std::size_t from, std::size_t len) {
  unsigned char* to = out + o;
  unsigned char const* src = out + from;
  if (o - from < len) {
    for (std::size_t k = 0; k < len; ++k) to[k] = src[k];
  } else if (len >= 8) {
    Move<8>(to, src);
    if (len > 16) Move<8>(to + 8, src + 8);
    Move<8>(to + len - 8, src + len - 8);
  } else if (len >= 4) {
    Move<4>(to, src);
    Move<4>(to + len - 4, src + len - 4);
  } else {
    Move<2>(to, src);
    to[2] = src[2];
  }
}

// Decodes block into out. With a bounded output (checked), the output must come out
// exactly full and the block exactly used up; without it (Expand's contract, the caller
// guarantees the room), decoding ends with the block. Either way no byte is read past
// the block and a reference to bytes not produced yet ends decoding as damaged.
template <bool kChecked>
Decoded Decode(unsigned char const* in, std::size_t inLen, unsigned char* out, std::size_t outLen) {
  std::size_t const head = kChecked ? 3 : std::min<std::size_t>(3, inLen);
  if (kChecked && (inLen < 3 || outLen < 3)) return Decoded::kDamaged;
  std::memcpy(out, in, head);
  constexpr std::size_t kGroupIn = 17;       // a flag byte and eight references
  constexpr std::size_t kGroupOut = 8 * 18;  // what eight references produce
  std::size_t i = 3;
  std::size_t o = 3;
  while (i < inLen) {
    unsigned flags = in[i++];
    if (i + kGroupIn <= inLen + 1 && (!kChecked || outLen - o >= kGroupOut)) {
      // A whole group far from both ends: no bound can be reached inside it.
      for (int k = 0; k < 8; ++k, flags <<= 1) {
        if (flags & 0x80) {
          std::size_t len = (in[i] >> 4) + kMinMatch;
          std::size_t from = WindowStart(o) + (((in[i] & 0x0Fu) << 8) | in[i + 1]);
          i += 2;
          if (from >= o) return Decoded::kDamaged;
          CopyMatch(out, o, from, len);
          o += len;
        } else {
          out[o++] = in[i++];
        }
      }
      continue;
    }
    if (i == inLen) return Decoded::kDamaged;  // a flag byte without items
    for (unsigned bit = 0x80; bit != 0 && i < inLen; bit >>= 1) {
      if (kChecked && o == outLen) return Decoded::kDamaged;  // bytes left over
      if (flags & bit) {
        if (i + 1 >= inLen) return Decoded::kDamaged;  // reference cut short
        std::size_t len = (in[i] >> 4) + kMinMatch;
        std::size_t from = WindowStart(o) + (((in[i] & 0x0Fu) << 8) | in[i + 1]);
        i += 2;
        if (from >= o) return Decoded::kDamaged;
        if (kChecked && len > outLen - o) return Decoded::kDamaged;
        CopyMatch(out, o, from, len);
        o += len;
      } else {
        out[o++] = in[i++];
      }
    }
  }
  if (kChecked && o != outLen) return Decoded::kDamaged;
  return Decoded::kComplete;
}

}  // namespace

namespace qel::block {

bool ExpandChecked(std::span<unsigned char const> block, std::span<unsigned char> out) {
  return Decode<true>(block.data(), block.size(), out.data(), out.size()) == Decoded::kComplete;
}

}  // namespace qel::block

int CPublicFun::Compress(unsigned char* src, unsigned long srcLen, unsigned char* dst,
                         unsigned long* dstLen) {
  if (src == nullptr || dst == nullptr || dstLen == nullptr) return 0;
  if (srcLen < kMinInput || srcLen > 0xFFFFFFF0ul) return 0;
  try {
    std::size_t const len = CompressBlock(src, srcLen, dst);
    if (len == 0) return 0;
    *dstLen = len;
    return 1;
  } catch (...) {
    return 0;
  }
}

int CPublicFun::Expand(unsigned char* src, unsigned long srcLen, unsigned char* dst) {
  if (src == nullptr || dst == nullptr) return 1;
  Decode<false>(src, srcLen, dst, 0);
  return 1;
}

int CPublicFun::SimpleCode(unsigned char* buf, unsigned long len) {
  if (buf == nullptr) return 1;
  for (unsigned long i = 0; i < len; ++i) {
    unsigned b = buf[i];
    buf[i] = static_cast<unsigned char>(((b << 1) & 0xAA) | ((b >> 1) & 0x55));
  }
  return 1;
}
