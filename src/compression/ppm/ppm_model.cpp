// Model maintenance: start, rescaling, model update and successor creation.
#include "compression/ppm/ppm_model.h"

#include <cstring>

namespace ppm {

using namespace layout;

namespace {

constexpr uint16_t kInitBinEsc[16] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x5FFB, 0x5545,
                                      0x63D1, 0x5D9D, 0x64A1, 0x5ABC, 0x6632, 0x6051,
                                      0x68F6, 0x549B, 0x6BCA, 0x3AB0};

// Frequencies above this trigger rescaling of a multi-symbol context.
constexpr uint32_t kMaxFreq = 124;

// Creation modes of CreateSuccessors.
constexpr int kWithFoundState = 0;   // the found state gets a new successor too
constexpr int kSkipFoundState = 1;   // the found state's pending successor becomes a context
constexpr int kFromMaxOrder = 2;     // as 1, starting one suffix further down

}  // namespace

uint8_t* Model::FindState(uint8_t* context, uint8_t symbol) const {
  uint8_t* stats = Ptr(Stats(context));
  const uint32_t n = NumStats(context);
  const uint32_t i = FindSymbol(stats, n, symbol);
  return i < n ? stats + i * kStateSize : nullptr;
}

void Model::InitTables() {
  for (int row = 0; row < 128; ++row) {
    for (int col = 0; col < 16; ++col) {
      binSumm_[row][col] = static_cast<uint16_t>(16384 - kInitBinEsc[col] / (row + 2));
    }
  }
  for (int row = 0; row < 43; ++row) {
    for (int col = 0; col < 8; ++col) {
      see_[row][col] = See{static_cast<uint16_t>((4 * row + 10) << 3), 3, 3};
    }
  }
  dummySee_ = See{0, 7, 64};
}

void Model::Start(int order) {
  restarts_ = 0;
  broken_ = false;
  BuildInitialModel(order);
}

void Model::BuildInitialModel(int order) {
  maxOrder_ = order;
  base_ = heap_.base();
  heap_.Reset();
  ClearMasks();

  // Order 0: all 256 symbols with frequency 1. The allocations cannot fail
  // in a freshly reset memory of at least 1 MB.
  const Ref order0 = heap_.AllocContext();
  const Ref stats = heap_.AllocUnits(128);
  uint8_t* c0 = Ptr(order0);
  SetNumStats(c0, 256);
  SetSummFreq(c0, 257);
  SetStats(c0, stats);
  SetSuffix(c0, 0);
  for (int i = 0; i < 256; ++i) {
    SetState(Ptr(stats) + i * kStateSize, static_cast<uint8_t>(i), 1, 0);
  }
  prevSuccess_ = 0;
  orderFall_ = 1;

  // A chain of one-symbol contexts for the symbol 0 up to the model order;
  // the last one stays pending.
  Ref previous = order0;
  Ref state = stats;
  for (int i = 1;; ++i) {
    const Ref c = heap_.AllocContext();
    uint8_t* pc = Ptr(c);
    SetNumStats(pc, 1);
    SetSuffix(pc, previous);
    SetSuccessor(Ptr(state), c);
    if (i == order) {
      SetNumStats(pc, 0);
      SetState(OneState(pc), 0, 0, 0);
      pending_ = c;
      minContext_ = maxContext_ = previous;
      break;
    }
    SetState(OneState(pc), 0, 1, 0);
    state = c + kContextOneState;
    previous = c;
  }
  foundState_ = 0;
  InitTables();
}

void Model::Restart() {
  BuildInitialModel(maxOrder_);
  ++restarts_;
}

void Model::Rescale() {
  uint8_t* mc = Ptr(minContext_);
  const Ref statsRef = Stats(mc);
  uint8_t* stats = Ptr(statsRef);
  const uint32_t numStats = NumStats(mc);

  // The found state moves to the front.
  {
    uint8_t* s = Ptr(foundState_);
    uint8_t tmp[kStateSize];
    std::memcpy(tmp, s, kStateSize);
    std::memmove(stats + kStateSize, stats, static_cast<size_t>(s - stats));
    std::memcpy(stats, tmp, kStateSize);
  }
  uint32_t escFreq = SummFreq(mc) - Freq(stats);
  const uint32_t adder = orderFall_ != 0 ? 1 : 0;
  SetFreq(stats, (Freq(stats) + 4 + adder) >> 1);
  uint32_t sumFreq = Freq(stats);

  uint8_t* s = stats;
  for (uint32_t i = 1; i < numStats; ++i) {
    s += kStateSize;
    escFreq -= Freq(s);
    SetFreq(s, (Freq(s) + adder) >> 1);
    sumFreq += Freq(s);
    if (Freq(s) > Freq(s - kStateSize)) {
      uint8_t tmp[kStateSize];
      std::memcpy(tmp, s, kStateSize);
      uint8_t* s1 = s;
      do {
        std::memcpy(s1, s1 - kStateSize, kStateSize);
        s1 -= kStateSize;
      } while (s1 != stats && tmp[kStateFreq] > Freq(s1 - kStateSize));
      std::memcpy(s1, tmp, kStateSize);
    }
  }

  if (Freq(s) == 0) {
    // Drop the states that fell to 0; they sit at the end.
    uint32_t zeros = 0;
    do {
      ++zeros;
      s -= kStateSize;
    } while (Freq(s) == 0);
    escFreq += zeros;
    const uint32_t newNumStats = numStats - zeros;
    SetNumStats(mc, newNumStats);
    if (newNumStats == 1) {
      uint8_t tmp[kStateSize];
      std::memcpy(tmp, stats, kStateSize);
      do {
        tmp[kStateFreq] = static_cast<uint8_t>(tmp[kStateFreq] - (tmp[kStateFreq] >> 1));
        escFreq >>= 1;
      } while (escFreq > 1);
      heap_.FreeUnits(statsRef, (numStats + 1) >> 1);
      std::memcpy(OneState(mc), tmp, kStateSize);
      foundState_ = minContext_ + kContextOneState;
      return;
    }
    const uint32_t oldUnits = (numStats + 1) >> 1;
    const uint32_t newUnits = (newNumStats + 1) >> 1;
    if (oldUnits != newUnits) SetStats(mc, heap_.ShrinkUnits(statsRef, oldUnits, newUnits));
  }
  SetSummFreq(mc, sumFreq + escFreq - (escFreq >> 1));
  foundState_ = Stats(mc);
}

bool Model::CreateSuccessors(int mode, Ref remembered) {
  uint8_t* found = Ptr(foundState_);
  const uint8_t symbol = Symbol(found);
  const Ref up = Successor(found);
  Ref list[kMaxOrder + 2];
  int listed = 0;
  Ref pc = minContext_;

  bool walk = true;
  if (mode == kWithFoundState) {
    list[listed++] = foundState_;
    walk = Suffix(Ptr(pc)) != 0;
  } else if (mode == kFromMaxOrder) {
    pc = Suffix(Ptr(pc));
    if (!pc) return broken_ = true, false;
  }
  while (walk) {
    Ref state;
    pc = Suffix(Ptr(pc));
    if (!pc) return broken_ = true, false;
    if (remembered) {
      state = remembered;
      remembered = 0;
    } else if (NumStats(Ptr(pc)) == 1) {
      state = pc + kContextOneState;
    } else {
      uint8_t* s = FindState(Ptr(pc), symbol);
      if (!s) return broken_ = true, false;
      state = RefOf(s);
    }
    const Ref successor = Successor(Ptr(state));
    if (successor != up) {
      pc = successor;
      break;
    }
    if (listed == kMaxOrder + 2) return broken_ = true, false;
    list[listed++] = state;
    walk = Suffix(Ptr(pc)) != 0;
  }

  // The new contexts' one state: the pending context's symbol and next
  // pending context, with a frequency inherited from the continuation.
  if (!up || !pc) return broken_ = true, false;
  uint8_t* upState = OneState(Ptr(up));
  uint8_t* cont = Ptr(pc);
  uint32_t freq;
  if (NumStats(cont) == 1) {
    freq = Freq(OneState(cont));
  } else {
    uint8_t* s = FindState(cont, Symbol(upState));
    if (!s) return broken_ = true, false;
    const uint32_t cf = Freq(s) - 1u;
    const uint32_t s0 = SummFreq(cont) - NumStats(cont) - cf;
    if (2 * cf > s0) {
      if (s0 == 0) return broken_ = true, false;
      freq = 1 + (2 * cf + 3 * s0 - 1) / (2 * s0);
    } else {
      freq = 1 + (5 * cf > s0 ? 1 : 0);
    }
  }
  SetFreq(upState, freq);

  while (listed > 0) {
    const Ref c1 = heap_.AllocContext();
    if (!c1) return false;
    uint8_t* p1 = Ptr(c1);
    SetNumStats(p1, 1);
    std::memcpy(OneState(p1), upState, kStateSize);
    SetSuffix(p1, pc);
    SetSuccessor(Ptr(list[--listed]), c1);
    pc = c1;
  }
  if (orderFall_ == 0) {
    SetNumStats(Ptr(up), 1);
    SetSuffix(Ptr(up), pc);
  }
  return true;
}

bool Model::AddSymbolToContexts(uint8_t symbol, uint32_t freq, Ref successor) {
  uint8_t* mc = Ptr(minContext_);
  const uint32_t ns = NumStats(mc);
  const uint32_t s0 = SummFreq(mc) - ns - freq + 1;
  for (Ref c = maxContext_; c != minContext_; c = Suffix(Ptr(c))) {
    if (!c) return broken_ = true, false;
    uint8_t* pc = Ptr(c);
    const uint32_t ns1 = NumStats(pc);
    if (ns1 != 1) {
      if (ns1 == 0 || ns1 >= 256) return broken_ = true, false;
      if ((ns1 & 1) == 0) {
        const Ref grown = heap_.ExpandUnits(Stats(pc), ns1 >> 1);
        if (!grown) return false;
        SetStats(pc, grown);
      }
      uint32_t summ = SummFreq(pc);
      summ += 2 * ((summ <= 8 * ns1) & (4 * ns1 <= ns)) + (2 * ns1 < ns);
      SetSummFreq(pc, summ);
    } else {
      const Ref array = heap_.AllocUnits(1);
      if (!array) return false;
      uint8_t* s = Ptr(array);
      std::memcpy(s, OneState(pc), kStateSize);
      SetStats(pc, array);
      const uint32_t f = Freq(s) < kMaxFreq / 4 - 1 ? Freq(s) * 2u : kMaxFreq - 4;
      SetFreq(s, f);
      SetSummFreq(pc, f + initEsc_ + (ns > 3 ? 1 : 0));
    }
    uint32_t summ = SummFreq(pc);
    uint32_t cf = 2 * freq * (summ + 6);
    const uint32_t sf = s0 + summ;
    if (cf < 6 * sf) {
      cf = 1 + (cf > sf ? 1 : 0) + (cf >= 4 * sf ? 1 : 0);
      summ += 3;
    } else {
      cf = 4 + (cf >= 9 * sf ? 1 : 0) + (cf >= 12 * sf ? 1 : 0) + (cf >= 15 * sf ? 1 : 0);
      summ += cf;
    }
    SetSummFreq(pc, summ);
    SetState(Ptr(Stats(pc)) + ns1 * kStateSize, symbol, static_cast<uint8_t>(cf), successor);
    SetNumStats(pc, ns1 + 1);
  }
  return true;
}

// Returns false when memory ran out (or the model broke) part way.
bool Model::UpdateModelSteps() {
  uint8_t* found = Ptr(foundState_);
  const uint8_t symbol = Symbol(found);
  const uint32_t freq = Freq(found);
  const Ref foundSuccessor = Successor(found);

  // The suffix context learns the symbol too.
  Ref remembered = 0;
  const Ref suffix = Suffix(Ptr(minContext_));
  if (freq < kMaxFreq / 4 && suffix) {
    uint8_t* pc = Ptr(suffix);
    uint8_t* s;
    if (NumStats(pc) == 1) {
      s = OneState(pc);
      if (Freq(s) < 32) SetFreq(s, Freq(s) + 1);
    } else {
      s = FindState(pc, symbol);
      if (!s) return broken_ = true, false;
      if (s != Ptr(Stats(pc)) && Freq(s) >= Freq(s - kStateSize)) {
        SwapStates(s, s - kStateSize);
        s -= kStateSize;
      }
      if (Freq(s) < 108) {
        SetFreq(s, Freq(s) + 2);
        SetSummFreq(pc, SummFreq(pc) + 2);
      }
    }
    remembered = RefOf(s);
  }

  if (orderFall_ == 0) {
    if (!foundSuccessor) return broken_ = true, false;
    if (!CreateSuccessors(kFromMaxOrder, 0)) return false;
    minContext_ = maxContext_ = foundSuccessor;
    return true;
  }

  --orderFall_;
  Ref newSuccessor;
  int mode;
  if (orderFall_ == 0) {
    newSuccessor = foundSuccessor;
    mode = kSkipFoundState;
  } else {
    newSuccessor = heap_.AllocContext();
    if (!newSuccessor) return false;
    uint8_t* p = Ptr(newSuccessor);
    SetNumStats(p, 0);
    SetState(OneState(p), 0, 0, 0);
    SetSuffix(p, 0);
    mode = kWithFoundState;
  }

  uint8_t* pending = Ptr(pending_);
  if (NumStats(pending) == 0) {
    uint8_t* s = OneState(pending);
    s[kStateSymbol] = symbol;
    SetSuccessor(s, newSuccessor);
  }

  if (!AddSymbolToContexts(symbol, freq, newSuccessor)) return false;

  if (foundSuccessor) {
    if (NumStats(Ptr(foundSuccessor)) == 0 && !CreateSuccessors(mode, remembered)) return false;
    minContext_ = Successor(Ptr(foundState_));
  } else {
    SetSuccessor(Ptr(foundState_), newSuccessor);
    ++orderFall_;
  }
  maxContext_ = minContext_;
  pending_ = newSuccessor;
  return true;
}

void Model::UpdateModel() {
  if (!UpdateModelSteps() && !broken_) Restart();
}

}  // namespace ppm
