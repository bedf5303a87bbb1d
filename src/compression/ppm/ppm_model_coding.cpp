// Coding one symbol: the one-symbol contexts, the first attempt in a
// multi-symbol context, the attempts after an escape with SEE, and the
// bookkeeping after a found symbol. The encoder and the decoder share every
// model step; they differ only in how the interval is chosen.
#include <algorithm>
#include <cstring>

#include "compression/ppm/ppm_model.h"

namespace ppm {

using namespace layout;

namespace {

constexpr uint32_t kMaxFreq = 124;
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

struct Tables {
  uint8_t suffixColumn[256];  // one-symbol column by the suffix's symbols - 1
  uint8_t escapeRow[256];     // SEE row by the unmasked symbols - 1
  constexpr Tables() : suffixColumn(), escapeRow() {
    for (int n = 0; n < 256; ++n) {
      suffixColumn[n] = static_cast<uint8_t>(n < 6 ? 2 * n : n < 50 ? 12 : 14);
      escapeRow[n] = static_cast<uint8_t>(n < 4    ? n
                                          : n < 12 ? 4 + (n - 4) / 2
                                          : n < 44 ? 8 + (n - 12) / 4
                                                   : 16 + (n - 44) / 8);
    }
  }
};
constexpr Tables kTables;
static_assert(kTables.escapeRow[255] == 42);

}  // namespace

uint16_t* Model::BinProbability(uint8_t* context) {
  const uint8_t* state = OneState(context);
  const uint32_t suffixStats = NumStats(Ptr(Suffix(context)));
  const uint32_t row = (Freq(state) - 1u) & 127;
  const uint32_t col = prevSuccess_ + kTables.suffixColumn[(suffixStats - 1) & 255];
  return &binSumm_[row][col];
}

uint8_t* Model::BinHit(uint16_t* prob, uint8_t* state) {
  foundState_ = RefOf(state);
  const uint32_t f = Freq(state);
  SetFreq(state, f + (f < 128 ? 1 : 0));
  *prob = static_cast<uint16_t>(*prob + 128 - ((*prob + 32) >> 7));
  prevSuccess_ = 1;
  return state;
}

void Model::BinMiss(uint16_t* prob, uint8_t* state) {
  *prob = static_cast<uint16_t>(*prob - ((*prob + 32) >> 7));
  initEsc_ = kExpEscape[*prob >> 10];
  numMasked_ = 1;
  Mask(Symbol(state));
  prevSuccess_ = 0;
  foundState_ = 0;
}

uint8_t* Model::FirstHitAt0(uint8_t* context, uint8_t* state) {
  const uint32_t f = Freq(state);
  const uint32_t summ = SummFreq(context);
  prevSuccess_ = 2 * f > summ ? 1 : 0;
  foundState_ = RefOf(state);
  SetFreq(state, f + 4);
  SetSummFreq(context, summ + 4);
  if (f + 4 > kMaxFreq) [[unlikely]] {
    Rescale();
    return Ptr(foundState_);
  }
  return state;
}

uint8_t* Model::FirstHitLater(uint8_t* context, uint8_t* state) {
  prevSuccess_ = 0;
  const uint32_t f = Freq(state) + 4;
  SetFreq(state, f);
  SetSummFreq(context, SummFreq(context) + 4);
  uint8_t* const before = state - kStateSize;
  if (f > Freq(before)) {
    SwapStates(state, before);
    foundState_ = RefOf(before);
    if (f > kMaxFreq) [[unlikely]] {
      Rescale();
      return Ptr(foundState_);
    }
    return before;
  }
  foundState_ = RefOf(state);
  return state;
}

void Model::FirstEscape(uint8_t* context) {
  prevSuccess_ = 0;
  const uint32_t n = NumStats(context);
  const uint8_t* s = Ptr(Stats(context));
  for (uint32_t i = 0; i < n; ++i, s += kStateSize) Mask(Symbol(s));
  numMasked_ = n;
  foundState_ = 0;
}

Model::See* Model::MakeEscapeFreq(uint8_t* context, uint32_t diff, uint32_t* escapeFreq) {
  const uint32_t ns = NumStats(context);
  if (ns == 256) {
    *escapeFreq = 1;
    return &dummySee_;
  }
  const Ref suffix = Suffix(context);
  const uint32_t suffixStats = suffix ? NumStats(Ptr(suffix)) : 0;
  const uint32_t col = (diff < suffixStats - ns ? 1 : 0) +
                       2 * (SummFreq(context) < 11 * ns ? 1 : 0) +
                       4 * (numMasked_ > diff ? 1 : 0);
  See* see = &see_[kTables.escapeRow[(diff - 1) & 255]][col];
  const uint32_t e = see->summ >> see->shift;
  see->summ = static_cast<uint16_t>(see->summ - e);
  const uint32_t estimate = e & 0x3FF;
  *escapeFreq = estimate ? estimate : 1;
  return see;
}

void Model::MaskedHit(uint8_t* context, See* see, uint8_t* state) {
  if (see->shift < 7 && --see->count == 0) {
    see->summ = static_cast<uint16_t>(see->summ * 2);
    see->count = static_cast<uint8_t>(3 << see->shift++);
  }
  foundState_ = RefOf(state);
  SetFreq(state, Freq(state) + 4);
  SetSummFreq(context, SummFreq(context) + 4);
  if (Freq(state) > kMaxFreq) Rescale();
  ClearMasks();
}

// Lists the first `diff` unmasked states of a context in array order and
// sums their frequencies: the coded set after an escape. The fast paths
// below scan every state instead; they fall back to this when a context
// holds more than `diff` unmasked states, which a consistent model never
// does.
uint32_t Model::CollectUnmasked(uint8_t* context, uint32_t diff, uint8_t** taken, uint32_t* sum) {
  uint32_t count = 0, total = 0;
  const uint8_t* end = Ptr(Stats(context)) + NumStats(context) * kStateSize;
  for (uint8_t* s = Ptr(Stats(context)); s != end && count < diff; s += kStateSize) {
    if (!unmasked_[Symbol(s)]) continue;
    taken[count++] = s;
    total += Freq(s);
  }
  *sum = total;
  return count;
}

void Model::MaskedEscape(uint8_t* context, See* see, uint32_t total) {
  see->summ = static_cast<uint16_t>(see->summ + total);
  const uint8_t* s = Ptr(Stats(context));
  for (uint32_t n = NumStats(context); n != 0; --n, s += kStateSize) Mask(Symbol(s));
  numMasked_ = NumStats(context);
}

// The frequencies of the unmasked states among the `n` states at `s`,
// summed; their masks (0xFFFF each) are added to `*weight`. Branch-free and
// unrolled: this scan is the codec's hottest loop. With
// kKeepQuadSums, also the running sum before every fourth state:
// quadSums[k] is the sum of the states before state 4k, and the entry after
// the last (partial) quad holds the total.
template <bool kKeepQuadSums>
inline uint32_t Model::SumUnmasked(const uint8_t* s, uint32_t n, uint32_t* weight,
                                   uint32_t* quadSums) const {
  uint32_t sum = 0, w = 0;
  for (uint32_t quads = n / 4; quads != 0; --quads, s += 4 * kStateSize) {
    if constexpr (kKeepQuadSums) *quadSums++ = sum;
    const uint32_t m0 = unmasked_[Symbol(s)], m1 = unmasked_[Symbol(s + kStateSize)];
    const uint32_t m2 = unmasked_[Symbol(s + 2 * kStateSize)];
    const uint32_t m3 = unmasked_[Symbol(s + 3 * kStateSize)];
    sum += (Freq(s) & m0) + (Freq(s + kStateSize) & m1) + (Freq(s + 2 * kStateSize) & m2) +
           (Freq(s + 3 * kStateSize) & m3);
    w += m0 + m1 + m2 + m3;
  }
  if constexpr (kKeepQuadSums) {
    if (n % 4 != 0) *quadSums++ = sum;
  }
  for (n %= 4; n != 0; --n, s += kStateSize) {
    const uint32_t m = unmasked_[Symbol(s)];
    sum += Freq(s) & m;
    w += m;
  }
  if constexpr (kKeepQuadSums) *quadSums = sum;
  *weight += w;
  return sum;
}

Model::Interval Model::EncodeMasked(uint8_t* mc, int symbol) {
  const uint32_t diff = NumStats(mc) - numMasked_;
  uint32_t escFreq;
  See* see = MakeEscapeFreq(mc, diff, &escFreq);
  // Masked states are skipped branch-free: which ones are masked is
  // unpredictable. The coded symbol itself is never masked.
  uint8_t* s = Ptr(Stats(mc));
  const uint32_t n = NumStats(mc);
  // The end marker (-1) matches no state.
  const uint32_t at = symbol < 0 ? n : FindSymbol(s, n, static_cast<uint8_t>(symbol));
  uint32_t weight = 0;
  const uint32_t low = SumUnmasked<false>(s, at, &weight);
  uint32_t sum = low + SumUnmasked<false>(s + at * kStateSize, n - at, &weight);
  uint8_t* hit = at < n ? s + at * kStateSize : nullptr;
  if (weight > diff * 0xFFFFu) {
    uint8_t* taken[257];
    const uint32_t numTaken = CollectUnmasked(mc, diff, taken, &sum);
    uint32_t k = 0, before = 0;
    while (k < numTaken && Symbol(taken[k]) != symbol) before += Freq(taken[k++]);
    if (k < numTaken) {
      const Interval coded{before, Freq(taken[k]), sum + escFreq};
      MaskedHit(mc, see, taken[k]);
      return coded;
    }
    see->summ = static_cast<uint16_t>(see->summ + sum + escFreq);
    for (k = 0; k < numTaken; ++k) Mask(Symbol(taken[k]));
    numMasked_ = NumStats(mc);
    return {sum, escFreq, sum + escFreq};
  }
  if (hit) {
    const Interval coded{low, Freq(hit), sum + escFreq};
    MaskedHit(mc, see, hit);
    return coded;
  }
  MaskedEscape(mc, see, sum + escFreq);
  return {sum, escFreq, sum + escFreq};
}

void Model::DecodeMasked(RangeDecoder& rc, uint8_t* mc) {
  const uint32_t diff = NumStats(mc) - numMasked_;
  uint32_t escFreq;
  See* see = MakeEscapeFreq(mc, diff, &escFreq);
  uint8_t* const stats = Ptr(Stats(mc));
  uint32_t weight = 0;
  uint32_t quadSums[256 / 4 + 1];
  uint32_t sum = SumUnmasked<true>(stats, NumStats(mc), &weight, quadSums);
  if (weight > diff * 0xFFFFu) {
    uint8_t* taken[257];
    const uint32_t numTaken = CollectUnmasked(mc, diff, taken, &sum);
    const uint32_t total = sum + escFreq;
    const uint32_t target = rc.GetCount(total);
    if (target < sum) {
      uint32_t k = 0;
      uint32_t high = Freq(taken[0]);
      while (high <= target) high += Freq(taken[++k]);
      rc.Decode(high - Freq(taken[k]), Freq(taken[k]));
      MaskedHit(mc, see, taken[k]);
    } else {
      rc.Decode(sum, escFreq);
      see->summ = static_cast<uint16_t>(see->summ + total);
      for (uint32_t k = 0; k < numTaken; ++k) Mask(Symbol(taken[k]));
      numMasked_ = NumStats(mc);
    }
    return;
  }
  const uint32_t total = sum + escFreq;
  const uint32_t target = rc.GetCount(total);
  if (target < sum) {
    // Walk to the quad, then to the state, whose interval holds the target.
    uint32_t quad = 0;
    while (quadSums[quad + 1] <= target) ++quad;
    uint8_t* s = stats + quad * 4 * kStateSize;
    uint32_t left = target - quadSums[quad];
    for (;; s += kStateSize) {
      left -= Freq(s) & unmasked_[Symbol(s)];
      if (static_cast<int32_t>(left) < 0) break;
    }
    const uint32_t high = target - left;
    rc.Decode(high - Freq(s), Freq(s));
    MaskedHit(mc, see, s);
  } else {
    rc.Decode(sum, escFreq);
    MaskedEscape(mc, see, total);
  }
}

// Moves down the suffix chain to the next context with unmasked symbols.
// Returns false at the end of the chain (or when the model is broken).
bool Model::EscapeToSuffix() {
  int steps = 0;
  do {
    ++orderFall_;
    minContext_ = Suffix(Ptr(minContext_));
    if (!minContext_) return false;
    if (++steps > kMaxOrder + 1) return broken_ = true, false;
  } while (NumStats(Ptr(minContext_)) == numMasked_);
  const uint32_t n = NumStats(Ptr(minContext_));
  if (n < numMasked_ || n > 256) return broken_ = true, false;
  return true;
}

// Moves to the found state's successor, or updates the model when that is
// not a context of the highest order yet.
[[gnu::always_inline]] inline void Model::AfterFound(const uint8_t* found) {
  const Ref successor = Successor(found);
  if (orderFall_ == 0 && successor && NumStats(Ptr(successor)) != 0) [[likely]] {
    minContext_ = maxContext_ = successor;
    return;
  }
  UpdateModel();
}

// The found state is carried in a local along the common paths: every store
// into the model memory may alias the members, which would be read again.
[[gnu::always_inline]] inline bool Model::EncodeSymbol(RangeEncoder& rc, int symbol) {
  uint8_t* mc = Ptr(minContext_);
  const uint32_t n = NumStats(mc);
  uint8_t* found = nullptr;
  if (n <= 1) {
    if (n == 0) return false;
    uint8_t* state = OneState(mc);
    uint16_t* prob = BinProbability(mc);
    if (Symbol(state) == symbol) {
      rc.EncodeBin(0, *prob);
      found = BinHit(prob, state);
    } else {
      rc.EncodeBin(*prob, kBinTotal - *prob);
      BinMiss(prob, state);
    }
  } else {
    uint8_t* s = Ptr(Stats(mc));
    const uint32_t total = SummFreq(mc);
    if (Symbol(s) == symbol) {
      rc.Encode(0, Freq(s), total);
      found = FirstHitAt0(mc, s);
    } else {
      uint32_t low = Freq(s);
      uint32_t i = 1;
      for (s += kStateSize; i < n && Symbol(s) != symbol; ++i, s += kStateSize) low += Freq(s);
      if (i < n) {
        rc.Encode(low, Freq(s), total);
        found = FirstHitLater(mc, s);
      } else {
        rc.Encode(low, total - low, total);
        FirstEscape(mc);
      }
    }
  }

  if (!found) {
    while (!foundState_) {
      rc.Normalize();
      if (!EscapeToSuffix()) return !broken_ && symbol < 0;
      const Interval coded = EncodeMasked(Ptr(minContext_), symbol);
      rc.Encode(coded.low, coded.size, coded.total);
    }
    if (symbol < 0) return false;  // the end marker can never be found
    found = Ptr(foundState_);
  }
  AfterFound(found);
  rc.Normalize();
  return !broken_;
}

[[gnu::always_inline]] inline int Model::DecodeSymbol(RangeDecoder& rc) {
  uint8_t* mc = Ptr(minContext_);
  const uint32_t n = NumStats(mc);
  uint8_t* found = nullptr;
  if (n <= 1) {
    if (n == 0) return kBroken;
    uint8_t* state = OneState(mc);
    uint16_t* prob = BinProbability(mc);
    rc.ScaleBin();
    if (rc.Below(*prob)) {
      rc.Decode(0, *prob);
      found = BinHit(prob, state);
    } else {
      rc.Decode(*prob, kBinTotal - *prob);
      BinMiss(prob, state);
    }
  } else {
    uint8_t* s = Ptr(Stats(mc));
    const uint32_t total = SummFreq(mc);
    rc.Scale(total);
    uint32_t high = Freq(s);
    if (rc.Below(high)) {
      rc.Decode(0, high);
      found = FirstHitAt0(mc, s);
    } else {
      // Past the first state a division once is cheaper than a product
      // per state.
      const uint32_t count = rc.Count();
      uint32_t i = n - 1;
      for (;;) {
        s += kStateSize;
        high += Freq(s);
        if (high > count) {
          rc.Decode(high - Freq(s), Freq(s));
          found = FirstHitLater(mc, s);
          break;
        }
        if (--i == 0) {
          rc.Decode(high, total - high);
          FirstEscape(mc);
          break;
        }
      }
    }
  }

  if (!found) {
    while (!foundState_) {
      rc.Normalize();
      if (!EscapeToSuffix()) return broken_ || rc.broken() ? kBroken : kEndOfData;
      // A copy keeps the caller's coder out of memory on the common path.
      RangeDecoder spill = rc;
      DecodeMasked(spill, Ptr(minContext_));
      rc = spill;
    }
    found = Ptr(foundState_);
  }
  const int symbol = Symbol(found);
  AfterFound(found);
  rc.Normalize();
  if (broken_ || rc.broken()) return kBroken;
  return symbol;
}

bool Model::EncodeBlock(RangeEncoder& rc, const uint8_t* input, size_t length) {
  // A local coder whose address never escapes stays in registers; stores
  // into the model memory could alias the caller's. A failed coder only
  // drops bytes, so it is looked at once per stretch of input.
  constexpr size_t kStretch = 4096;
  RangeEncoder coder = rc;
  bool ok = true;
  for (size_t start = 0; start < length && ok; start += kStretch) {
    const uint8_t* p = input + start;
    const uint8_t* const end = p + std::min(kStretch, length - start);
    while (p != end && ok) ok = EncodeSymbol(coder, *p++);
    ok = ok && !coder.failed();
  }
  ok = ok && EncodeSymbol(coder, -1) && !coder.failed();
  rc = coder;
  return ok;
}

ptrdiff_t Model::DecodeBlock(RangeDecoder& rc, uint8_t* output, size_t capacity) {
  // Every round either produces a byte or ends, so the loop is bounded by
  // the capacity.
  RangeDecoder coder = rc;
  uint8_t* out = output;
  uint8_t* const end = output + capacity;
  ptrdiff_t result;
  for (;;) {
    const int symbol = DecodeSymbol(coder);
    if (symbol < 0 || out == end) [[unlikely]] {
      result = symbol == kEndOfData ? out - output : -1;
      break;
    }
    *out++ = static_cast<uint8_t>(symbol);
  }
  rc = coder;
  return result;
}

}  // namespace ppm
