// The PPM model of variant G: contexts with their state arrays in the model
// memory, the one-symbol probability table, the secondary escape estimation
// (SEE) contexts, rescaling, the model update with successor creation, and
// the model restart when the memory runs out.
//
// EncodeBlock and DecodeBlock code a whole block through the range coder,
// symbol by symbol; both directions walk the model identically, so the two
// sides stay in step. A Model is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "compression/ppm/ppm_layout.h"
#include "compression/ppm/ppm_range_coder.h"
#include "compression/ppm/ppm_suballocator.h"

namespace ppm {

inline constexpr int kMinOrder = 2;
inline constexpr int kMaxOrder = 16;

class Model {
 public:
  explicit Model(SubAllocator& heap) : heap_(heap) {}

  // Builds the initial model for `order` (2-16) in freshly reset memory.
  void Start(int order);

  // Codes `length` bytes and the end-of-data escape. Returns false when the
  // output buffer is full or the model reached a state it cannot continue
  // from (never for models built by this code).
  bool EncodeBlock(RangeEncoder& rc, const uint8_t* input, size_t length);

  // Decodes up to the end-of-data escape. Returns the number of bytes
  // produced, or -1 when more than `capacity` bytes would come out or the
  // data drove the coder or the model into a state no encoder produces.
  ptrdiff_t DecodeBlock(RangeDecoder& rc, uint8_t* output, size_t capacity);

  // How often the model memory ran out since Start.
  int restarts() const { return restarts_; }

 private:
  static constexpr int kEndOfData = -1;
  static constexpr int kBroken = -2;

  struct See {
    uint16_t summ;
    uint8_t shift;
    uint8_t count;
  };

  uint8_t* Ptr(layout::Ref r) const { return base_ + r; }
  layout::Ref RefOf(const uint8_t* p) const { return static_cast<layout::Ref>(p - base_); }

  // Codes `symbol` (0-255), or the end-of-data escape for -1.
  bool EncodeSymbol(RangeEncoder& rc, int symbol);
  // Returns 0-255, kEndOfData or kBroken.
  int DecodeSymbol(RangeDecoder& rc);

  // Coding steps shared by both directions.
  uint16_t* BinProbability(uint8_t* context);
  uint8_t* BinHit(uint16_t* prob, uint8_t* state);
  void BinMiss(uint16_t* prob, uint8_t* state);
  // Each returns the found state where it stands after the update.
  uint8_t* FirstHitAt0(uint8_t* context, uint8_t* state);
  uint8_t* FirstHitLater(uint8_t* context, uint8_t* state);
  void FirstEscape(uint8_t* context);
  See* MakeEscapeFreq(uint8_t* context, uint32_t diff, uint32_t* escapeFreq);
  uint32_t CollectUnmasked(uint8_t* context, uint32_t diff, uint8_t** taken, uint32_t* sum);
  template <bool kKeepQuadSums>
  uint32_t SumUnmasked(const uint8_t* s, uint32_t n, uint32_t* weight, uint32_t* quadSums = nullptr) const;
  void Mask(uint8_t symbol) { unmasked_[symbol] = 0; }
  void ClearMasks() { std::memset(unmasked_, 0xFF, sizeof unmasked_); }
  void MaskedEscape(uint8_t* context, See* see, uint32_t total);
  // Chooses the interval of `symbol` (or of the escape) in a context
  // reached by escapes and updates the model as for a coded symbol.
  struct Interval {
    uint32_t low, size, total;
  };
  Interval EncodeMasked(uint8_t* context, int symbol);
  void DecodeMasked(RangeDecoder& rc, uint8_t* context);
  void MaskedHit(uint8_t* context, See* see, uint8_t* state);
  bool EscapeToSuffix();
  void AfterFound(const uint8_t* found);

  // Model maintenance.
  void BuildInitialModel(int order);
  void Restart();
  void InitTables();
  void Rescale();
  void UpdateModel();
  bool UpdateModelSteps();
  bool AddSymbolToContexts(uint8_t symbol, uint32_t freq, layout::Ref successor);
  bool CreateSuccessors(int mode, layout::Ref remembered);
  uint8_t* FindState(uint8_t* context, uint8_t symbol) const;

  SubAllocator& heap_;
  uint8_t* base_ = nullptr;
  int maxOrder_ = 0;
  int restarts_ = 0;
  bool broken_ = false;

  layout::Ref minContext_ = 0;  // current context
  layout::Ref maxContext_ = 0;
  layout::Ref pending_ = 0;     // the last successor created
  layout::Ref foundState_ = 0;  // 0 after an escape
  int orderFall_ = 0;
  uint32_t initEsc_ = 0;
  uint32_t numMasked_ = 0;
  uint8_t prevSuccess_ = 0;

  // 0xFFFF for a symbol that may still be coded in the current attempt, 0
  // for one masked by a context escaped from: the AND mask of its frequency
  // in the scans. (Byte entries would cost the scans an extension per state,
  // wider ones a longer clearing after every masked hit.)
  uint16_t unmasked_[256] = {};
  uint16_t binSumm_[128][16] = {};
  See see_[43][8] = {};
  See dummySee_ = {};
};

}  // namespace ppm
