// Byte layout of the PPM model records inside the model memory.
//
// The model memory is counted in 12-byte units. Records refer to each other
// by 32-bit offsets from the start of the memory block (0 means "none"), so
// the layout is the same whatever the pointer size of the host.
//
//   State (6 bytes)              Context (12 bytes)
//   +0  symbol      u8           +0  number of symbols      u16
//   +1  frequency   u8           +2  frequency total        u16  \  or, with exactly
//   +2  successor   u32 (ref)    +4  state array            ref  /  one symbol, the
//                                +8  suffix context         ref     state inline (+2..+7)
//
// A context with 0 symbols is pending: created as a successor and not yet
// filled; its inline state records the symbol that followed it and the next
// pending context.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ppm::layout {

static_assert(std::endian::native == std::endian::little,
              "the model records are read and written in host order");

using Ref = uint32_t;

inline constexpr uint32_t kUnitSize = 12;

inline constexpr uint32_t kStateSize = 6;
inline constexpr uint32_t kStateSymbol = 0;
inline constexpr uint32_t kStateFreq = 1;
inline constexpr uint32_t kStateSuccessor = 2;

inline constexpr uint32_t kContextNumStats = 0;
inline constexpr uint32_t kContextSummFreq = 2;
inline constexpr uint32_t kContextStats = 4;
inline constexpr uint32_t kContextOneState = 2;
inline constexpr uint32_t kContextSuffix = 8;

inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void Store16(uint8_t* p, uint32_t v) {
  const uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(p, &w, sizeof w);
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

// State fields.
inline uint8_t Symbol(const uint8_t* s) { return s[kStateSymbol]; }
inline uint8_t Freq(const uint8_t* s) { return s[kStateFreq]; }
inline void SetFreq(uint8_t* s, uint32_t f) { s[kStateFreq] = static_cast<uint8_t>(f); }
inline Ref Successor(const uint8_t* s) { return Load32(s + kStateSuccessor); }
inline void SetSuccessor(uint8_t* s, Ref r) { Store32(s + kStateSuccessor, r); }
inline void SetState(uint8_t* s, uint8_t symbol, uint8_t freq, Ref successor) {
  s[kStateSymbol] = symbol;
  s[kStateFreq] = freq;
  SetSuccessor(s, successor);
}
inline void SwapStates(uint8_t* a, uint8_t* b) {
  uint8_t tmp[kStateSize];
  std::memcpy(tmp, a, kStateSize);
  std::memcpy(a, b, kStateSize);
  std::memcpy(b, tmp, kStateSize);
}

// States are searched in groups of 8 (48 bytes); a search may read up to
// this many bytes past the end of the last state of an array, so the model
// memory keeps that many readable bytes after its last unit.
inline constexpr uint32_t kSearchSlack = 48;

// Index of the first of the `count` states at `states` that holds `symbol`,
// or `count` when none does.
inline uint32_t FindSymbol(const uint8_t* states, uint32_t count, uint8_t symbol) {
#if defined(__SSE2__)
  // One bit per byte of the 48-byte group; the symbol bytes are every sixth.
  constexpr uint64_t kSymbolBytes = 0x041041041041ull;
  static_assert(8 * kStateSize == 48);
  const __m128i key = _mm_set1_epi8(static_cast<char>(symbol));
  for (uint32_t i = 0; i < count; i += 8, states += 8 * kStateSize) {
    auto equal = [&](int offset) -> uint64_t {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(states + offset));
      return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, key)));
    };
    const uint64_t hits = (equal(0) | equal(16) << 16 | equal(32) << 32) & kSymbolBytes;
    if (hits) {
      const uint32_t found = i + static_cast<uint32_t>(std::countr_zero(hits)) / kStateSize;
      return found < count ? found : count;
    }
  }
  return count;
#else
  uint32_t i = 0;
  while (i < count && states[i * kStateSize + kStateSymbol] != symbol) ++i;
  return i;
#endif
}

// Context fields.
inline uint32_t NumStats(const uint8_t* c) { return Load16(c + kContextNumStats); }
inline void SetNumStats(uint8_t* c, uint32_t n) { Store16(c + kContextNumStats, n); }
// For a one-symbol context this reads the inline state's symbol and
// frequency as one 16-bit value, as the record layout implies.
inline uint32_t SummFreq(const uint8_t* c) { return Load16(c + kContextSummFreq); }
inline void SetSummFreq(uint8_t* c, uint32_t v) { Store16(c + kContextSummFreq, v); }
inline Ref Stats(const uint8_t* c) { return Load32(c + kContextStats); }
inline void SetStats(uint8_t* c, Ref r) { Store32(c + kContextStats, r); }
inline Ref Suffix(const uint8_t* c) { return Load32(c + kContextSuffix); }
inline void SetSuffix(uint8_t* c, Ref r) { Store32(c + kContextSuffix, r); }
inline uint8_t* OneState(uint8_t* c) { return c + kContextOneState; }

}  // namespace ppm::layout
