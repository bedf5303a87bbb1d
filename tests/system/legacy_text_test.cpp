// Text files in UTF-8 or in a legacy ANSI code page, both read into UTF-8.
#include <gtest/gtest.h>

#include "system/legacy_text.h"
#include "system/platform.h"

namespace sys {
namespace {

TEST(LegacyTextTest, WellFormedUtf8IsToldFromEverythingElse) {
  for (const char* valid : {"", "plain", "caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x98\x80",
                            "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF"})
    EXPECT_TRUE(IsValidUtf8(valid)) << valid;
  for (const char* invalid : {"caf\xE9", "\x80", "\xC3", "\xC0\xAF",  // lone, cut short, overlong
                              "\xE0\x80\xAF", "\xED\xA0\x80",         // overlong, a surrogate
                              "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xE6\x97"})
    EXPECT_FALSE(IsValidUtf8(invalid)) << invalid;
}

TEST(LegacyTextTest, FileTextBecomesUtf8) {
  struct Case {
    std::string bytes, text;
  };
  const std::vector<Case> cases = {
      {"#variables\r\n", "#variables\r\n"},
      {"\xEF\xBB\xBFName=\xC5\x81\xC3\xB3\x64\xC5\xBA", "Name=Łódź"},  // the mark goes
      {"Name=\xC5\x81\xC3\xB3\x64\xC5\xBA", "Name=Łódź"},
      {"Name=caf\xE9", "Name=café"},                       // legacy: the whole file is ANSI
      {"\xC3\xA9 and \xE9", "Ã© and é"},                   // one bad byte makes it all legacy
      {"\xEF\xBB\xBF\xC3\xA9 and \xE9", "é and \uFFFD"},  // declared UTF-8 stays UTF-8
  };
  for (const Case& c : cases) EXPECT_EQ(TextFileToUtf8(c.bytes), c.text) << c.bytes;
}

#ifndef _WIN32
// Windows has the system's own ANSI code page; elsewhere it is Windows-1252.
TEST(LegacyTextTest, PosixReadsLegacyTextAsWindows1252) {
  EXPECT_EQ(platform::AnsiToUtf8("\x80\x8A\x81\x9F\xA0\xE9\xFF"), "€Š\u0081Ÿ\u00A0éÿ");
}
#endif

}  // namespace
}  // namespace sys
