// Sample content for the compression tests: text-like bytes that compress
// well but not trivially, reproducible from a seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compression/codecs.h"

namespace compressiontest {

inline compression::Buffer SampleContent(size_t size, uint32_t seed = 1) {
  static const char* const kWords[] = {"archive ", "block ", "stream ", "header ", "zlib ", "level ",
                                       "install ", "data\r\n", "0123 ", "payload ", "Brevion ", "\x01\xfe"};
  compression::Buffer content;
  content.reserve(size);
  uint32_t state = seed;
  while (content.size() < size) {
    state = state * 1664525u + 1013904223u;
    const char* word = kWords[(state >> 24) % 12];
    for (const char* c = word; *c && content.size() < size; ++c) content.push_back(static_cast<uint8_t>(*c));
    if ((state & 0xFF) < 8 && content.size() < size) content.push_back(static_cast<uint8_t>(state >> 8));
  }
  return content;
}

inline std::string AsString(const compression::Buffer& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace compressiontest
