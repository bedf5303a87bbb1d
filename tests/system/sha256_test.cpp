#include "system/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace sys {
namespace {

// The published test vectors, each also fed in uneven pieces so that the
// buffering across block boundaries is exercised; with the processor's SHA
// instructions (where it has them) and with the portable code.
TEST(Sha256, PublishedVectorsWholeAndInPieces) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
  };
  const bool processor = Sha256UsesProcessor();
  for (const bool useProcessor : {processor, false}) {
    SetSha256UsesProcessor(useProcessor);
    for (const auto& c : cases) {
      EXPECT_EQ(HexOf(Sha256Of(c.message.data(), c.message.size())), c.digest) << c.message.size();
      Sha256 pieces;
      for (size_t at = 0, step = 1; at < c.message.size(); at += step, step = step * 3 % 97 + 1) {
        pieces.Update(c.message.data() + at, std::min(step, c.message.size() - at));
      }
      EXPECT_EQ(HexOf(pieces.Finish()), c.digest) << c.message.size() << (useProcessor ? " processor" : "");
    }
  }
  SetSha256UsesProcessor(processor);
  // An empty vector's data is null.
  EXPECT_EQ(HexOf(Sha256Of(nullptr, 0)), cases[3].digest);
}

}  // namespace
}  // namespace sys
