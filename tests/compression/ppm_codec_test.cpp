// The PPM codec against the golden vectors of tests/data/ppm (MANIFEST.tsv),
// plus its failure contract: bad info words, short buffers, hostile data.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "compression/ppm/ppm_codec.h"
#include "compression/ppm/ppm_layout.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Inputs that are cheaper to make than to keep in the repository.
bool Generate(const std::string& name, Bytes& out) {
  if (name == "zeros1m.in") {
    out.assign(1 << 20, 0);
  } else if (name == "letterA1m.in") {
    out.assign(1 << 20, 'A');
  } else if (name == "phrase100k.in") {
    const std::string phrase = "Hello, world! ";
    out.clear();
    while (out.size() < 100000) out.push_back(static_cast<uint8_t>(phrase[out.size() % phrase.size()]));
  } else if (name == "ramp200k.in") {
    out.clear();
    for (uint32_t i = 0; i < 50000; ++i) {
      const uint32_t w = i * 2654435761u;
      for (int b = 0; b < 4; ++b) out.push_back(static_cast<uint8_t>(w >> (8 * b)));
    }
  } else {
    return false;
  }
  return true;
}

// The full vector set lives beside the repository; the large inputs not
// copied into tests/data are used from there when it is present.
fs::path SharedVectors() {
  return fs::path(BREVION_TEST_DATA) / ".." / ".." / ".." / "shared" / "testdata" / "ppm";
}

bool LoadVector(const std::string& name, Bytes& out) {
  const fs::path local = fs::path(BREVION_TEST_DATA) / "ppm" / name;
  if (fs::exists(local)) {
    out = ToBytes(testsupport::ReadFile(local));
    return true;
  }
  if (Generate(name, out)) return true;
  const fs::path shared = SharedVectors() / name;
  if (fs::exists(shared)) {
    out = ToBytes(testsupport::ReadFile(shared));
    return true;
  }
  return false;
}

struct Row {
  std::string kind, input, payload, expectedLength, restarts, description;
  int order = 0, memoryMb = 0;
};

std::vector<Row> ReadManifest() {
  std::istringstream in(testsupport::ReadTestData("ppm/MANIFEST.tsv"));
  std::vector<Row> rows;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) f.push_back(cell);
    if (f.size() < 13) continue;
    Row r;
    r.kind = f[0];
    r.input = f[1];
    r.payload = f[2];
    r.order = std::stoi(f[3]);
    r.memoryMb = std::stoi(f[4]);
    r.expectedLength = f[9];
    r.restarts = f[11];
    r.description = f[12];
    rows.push_back(r);
  }
  return rows;
}

size_t EncoderCapacity(size_t length) { return length + length / 20 + 50; }

ptrdiff_t DecodeInto(ppm::Codec& codec, const Bytes& payload, size_t expected, Bytes& out) {
  out.assign(expected, 0);
  const ptrdiff_t n = codec.Decode(payload.data(), payload.size(), out.data(), expected);
  if (n >= 0) out.resize(static_cast<size_t>(n));
  return n;
}

TEST(PpmCodec, ManifestVectors) {
  const std::vector<Row> rows = ReadManifest();
  ASSERT_GE(rows.size(), 30u);
  ppm::Codec codec;
  int checked = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind + " " + row.payload + " expected " + row.expectedLength);
    Bytes payload, input;
    if (!LoadVector(row.payload, payload)) continue;  // only the 3 MiB vector may be absent
    const size_t expected = std::stoul(row.expectedLength);
    if (row.kind == "encode") {
      ASSERT_TRUE(LoadVector(row.input, input));
      Bytes out(EncoderCapacity(input.size()));
      const size_t n = codec.Encode(input.data(), input.size(), out.data(), out.size(), row.order,
                                    row.memoryMb);
      out.resize(n);
      EXPECT_EQ(out, payload);
      EXPECT_EQ(std::to_string(codec.LastRestartCount()), row.restarts);
    }
    Bytes decoded;
    const ptrdiff_t n = DecodeInto(codec, payload, expected, decoded);
    if (row.input == "-") {
      EXPECT_EQ(n, -1) << "an expected length one byte short must fail";
    } else {
      ASSERT_TRUE(LoadVector(row.input, input));
      EXPECT_EQ(n, static_cast<ptrdiff_t>(input.size()));
      EXPECT_TRUE(decoded == input);
      EXPECT_EQ(std::to_string(codec.LastRestartCount()), row.restarts);
      EXPECT_EQ(DecodeInto(codec, payload, expected - 1, decoded), -1);
    }
    ++checked;
  }
  EXPECT_GE(checked, static_cast<int>(rows.size()) - 1);
}

TEST(PpmCodec, InfoWordsOfTheThreeLevels) {
  EXPECT_EQ(ppm::PpmInfoWord(5, 25), 0x00006184u);
  EXPECT_EQ(ppm::PpmInfoWord(13, 100), 0x0000663Cu);
  EXPECT_EQ(ppm::PpmInfoWord(2, 10), 0x00006091u);
  EXPECT_EQ(ppm::PpmInfoWord(16, 256), 0x00006FFFu);

  const Bytes text = ToBytes("prefix check");
  struct Level {
    int order, memoryMb;
    Bytes prefix;
  } levels[] = {{5, 25, {0x84, 0x61, 0, 0}}, {13, 100, {0x3C, 0x66, 0, 0}}, {2, 10, {0x91, 0x60, 0, 0}}};
  ppm::Codec codec;
  for (const Level& level : levels) {
    Bytes out(EncoderCapacity(text.size()));
    const size_t n = codec.Encode(text.data(), text.size(), out.data(), out.size(), level.order,
                                  level.memoryMb);
    ASSERT_GT(n, 4u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), level.prefix);
  }
}

TEST(PpmCodec, RejectsForeignInfoWordsAndUnsupportedParameters) {
  Bytes payload;
  ASSERT_TRUE(LoadVector("text1118.o5m25.ppm", payload));
  ppm::Codec codec;
  Bytes out;
  const uint32_t badWords[] = {
      0x00005184,  // variant F
      0x00007184,  // variant H
      0x00016184,  // bit 16 set
      0x80006184,  // bit 31 set
      0x00006180,  // order 1
  };
  for (uint32_t word : badWords) {
    SCOPED_TRACE(word);
    Bytes bad = payload;
    for (int i = 0; i < 4; ++i) bad[i] = static_cast<uint8_t>(word >> (8 * i));
    EXPECT_EQ(DecodeInto(codec, bad, 1118, out), -1);
  }
  EXPECT_EQ(DecodeInto(codec, Bytes{0x84, 0x61, 0}, 10, out), -1) << "no room for the info word";

  const Bytes input = ToBytes("abc");
  Bytes enc(64);
  EXPECT_EQ(codec.Encode(input.data(), input.size(), enc.data(), enc.size(), 1, 10), 0u);
  EXPECT_EQ(codec.Encode(input.data(), input.size(), enc.data(), enc.size(), 17, 10), 0u);
  EXPECT_EQ(codec.Encode(input.data(), input.size(), enc.data(), enc.size(), 5, 0), 0u);
  EXPECT_EQ(codec.Encode(input.data(), input.size(), enc.data(), enc.size(), 5, 257), 0u);
}

TEST(PpmCodec, OneByteRoundTripsAtEveryLevel) {
  ppm::Codec codec;
  for (int level : {0, 1, 2}) {
    const int order = level == 0 ? 2 : level == 1 ? 5 : 13;
    const int memory = level == 0 ? 10 : level == 1 ? 25 : 100;
    for (uint8_t byte : {0x00, 0x41, 0xFF}) {
      Bytes out(EncoderCapacity(1));
      const size_t n = codec.Encode(&byte, 1, out.data(), out.size(), order, memory);
      ASSERT_GT(n, 4u);
      EXPECT_LE(n, 12u);
      out.resize(n);
      Bytes back;
      EXPECT_EQ(DecodeInto(codec, out, 1, back), 1);
      EXPECT_EQ(back, Bytes{byte});
    }
  }
}

TEST(PpmCodec, IncompressibleBlockFitsTheEncoderBufferAndTightBuffersFail) {
  Bytes input;
  ASSERT_TRUE(LoadVector("jpeglike9155.in", input));
  ASSERT_EQ(EncoderCapacity(input.size()), 9155u + 457 + 50);
  ppm::Codec codec;
  Bytes out(EncoderCapacity(input.size()));
  const size_t n = codec.Encode(input.data(), input.size(), out.data(), out.size(), 5, 25);
  ASSERT_GT(n, input.size()) << "already compressed data expands";

  // One byte short of the payload, and shorter than the info word: the
  // encoder fails and leaves the bytes beyond its capacity alone.
  for (size_t capacity : {n - 1, n / 2, size_t{3}}) {
    SCOPED_TRACE(capacity);
    Bytes guarded(capacity + 64, 0xA5);
    EXPECT_EQ(codec.Encode(input.data(), input.size(), guarded.data(), capacity, 5, 25), 0u);
    for (size_t i = capacity; i < guarded.size(); ++i) ASSERT_EQ(guarded[i], 0xA5) << i;
  }
  // The exact capacity is enough.
  Bytes exact(n);
  EXPECT_EQ(codec.Encode(input.data(), input.size(), exact.data(), n, 5, 25), n);
}

TEST(PpmCodec, EmptyInputCodesOnlyTheEnd) {
  ppm::Codec codec;
  Bytes out(50);
  const size_t n = codec.Encode(nullptr, 0, out.data(), out.size(), 5, 25);
  ASSERT_GT(n, 4u);
  out.resize(n);
  Bytes back;
  EXPECT_EQ(DecodeInto(codec, out, 1, back), 0);
}

// Random or cut payloads behind a valid info word either fail or stop within
// the expected length; the sanitizer build checks that nothing is touched
// out of bounds.
TEST(PpmCodec, HostilePayloadsStayWithinBounds) {
  std::mt19937 rng(1234);
  ppm::Codec codec;
  for (int round = 0; round < 40; ++round) {
    const int order = 2 + round % 15;
    Bytes payload(4 + rng() % 600);
    for (auto& b : payload) b = static_cast<uint8_t>(rng());
    const uint32_t word = ppm::PpmInfoWord(order, 1);
    for (int i = 0; i < 4; ++i) payload[i] = static_cast<uint8_t>(word >> (8 * i));
    const size_t expected = 1 + rng() % 5000;
    Bytes out;
    const ptrdiff_t n = DecodeInto(codec, payload, expected, out);
    EXPECT_TRUE(n == -1 || (n >= 0 && static_cast<size_t>(n) <= expected));
  }

  Bytes input, payload;
  ASSERT_TRUE(LoadVector("text1118.in", input));
  ASSERT_TRUE(LoadVector("text1118.o5m25.ppm", payload));
  for (size_t cut = 0; cut < payload.size(); cut += 37) {
    const Bytes prefix(payload.begin(), payload.begin() + static_cast<ptrdiff_t>(cut));
    Bytes out;
    const ptrdiff_t n = DecodeInto(codec, prefix, input.size(), out);
    EXPECT_LE(n, static_cast<ptrdiff_t>(input.size()));
  }
}

TEST(PpmCodec, SeparateCodecsRunInParallel) {
  Bytes input, payload;
  ASSERT_TRUE(LoadVector("code200k.in", input));
  ASSERT_TRUE(LoadVector("code200k.o8m1.ppm", payload));
  Bytes results[2];
  std::vector<std::thread> threads;
  for (Bytes& result : results) {
    threads.emplace_back([&input, &result] {
      ppm::Codec codec;
      result.resize(EncoderCapacity(input.size()));
      result.resize(codec.Encode(input.data(), input.size(), result.data(), result.size(), 8, 1));
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(results[0], payload);
  EXPECT_EQ(results[1], payload);
}

}  // namespace

// The state search reads whole groups of 8 states: a match must be reported
// at its first position, and one lying in the bytes past the last state (or
// in a frequency or successor byte) must not count.
TEST(PpmLayout, FindSymbolSeesOnlyTheSymbolBytesOfTheGivenStates) {
  using ppm::layout::FindSymbol;
  using ppm::layout::kStateSize;
  constexpr uint8_t kKey = 0xA7;
  for (uint32_t count = 0; count <= 40; ++count) {
    Bytes states((count + 8) * kStateSize + ppm::layout::kSearchSlack, 0);
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t* s = states.data() + i * kStateSize;
      s[0] = static_cast<uint8_t>(i);
      s[1] = kKey;  // frequency and successor bytes that look like the key
      s[2] = s[5] = kKey;
    }
    // Past the end: a state holding the key.
    states[count * kStateSize] = kKey;
    EXPECT_EQ(FindSymbol(states.data(), count, kKey), count) << count;
    for (uint32_t at = 0; at < count; ++at) {
      Bytes copy = states;
      copy[at * kStateSize] = kKey;
      if (at + 3 < count) copy[(at + 3) * kStateSize] = kKey;  // a later duplicate
      EXPECT_EQ(FindSymbol(copy.data(), count, kKey), at) << count << " " << at;
    }
  }
}
