// Text output for the printing command-line options: a small writer with
// `<<` for text, characters and numbers, over a C stream (standard output
// and error) or a string. The program prints through this rather than
// through the standard streams, whose locale machinery would triple the
// size of the Windows executable.
#pragma once

#include <charconv>
#include <concepts>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

namespace sys {

class TextWriter {
 public:
  virtual ~TextWriter() = default;

  // Appends the bytes as they are.
  virtual void Write(std::string_view text) = 0;

  TextWriter& operator<<(std::string_view text) {
    Write(text);
    return *this;
  }
  TextWriter& operator<<(const std::string& text) { return *this << std::string_view(text); }
  TextWriter& operator<<(const char* text) { return *this << std::string_view(text); }
  TextWriter& operator<<(char c) { return *this << std::string_view(&c, 1); }
  // Whole numbers in decimal, with a minus sign when negative; a bool as
  // "1" or "0".
  template <typename T>
    requires std::integral<T> && (!std::same_as<T, char>)
  TextWriter& operator<<(T value) {
    if constexpr (std::same_as<T, bool>) {
      return *this << (value ? '1' : '0');
    } else {
      char digits[24];
      const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
      return *this << std::string_view(digits, static_cast<size_t>(end - digits));
    }
  }
};

// Writes to a C stream such as stdout or stderr; a Windows console window
// gets the text through its UTF-16 API, anything else the UTF-8 bytes.
class FileWriter : public TextWriter {
 public:
  explicit FileWriter(std::FILE* file) : file_(file) {}
  void Write(std::string_view text) override;
  // Passes buffered text on; false when the stream reports an error.
  bool Flush();

 private:
  std::FILE* file_;
};

// Collects the text in a string.
class StringWriter : public TextWriter {
 public:
  void Write(std::string_view text) override { text_ += text; }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace sys
