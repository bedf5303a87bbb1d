#include "app/elevation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "system/win32/wide_text.h"
#endif

namespace {

using Words = std::vector<std::string>;

TEST(Elevation, CommandLineQuotesAsTheSystemSplits) {
  struct Case {
    Words words;
    std::string line;
  };
  const Case cases[] = {
      {{"install", "C:\\Setup\\notes.exe"}, "install C:\\Setup\\notes.exe"},
      {{"--dir=C:\\Program Files\\Notes\\"}, "\"--dir=C:\\Program Files\\Notes\\\\\""},
      {{""}, "\"\""},
      {{"say \"hi\""}, "\"say \\\"hi\\\"\""},
      {{"a\\\\\"b c"}, "\"a\\\\\\\\\\\"b c\""},
      {{"tab\there", "x"}, "\"tab\there\" x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(app::WindowsCommandLine(c.words), c.line);
#ifdef _WIN32
    // The system's own splitter reads the same words back (after a program
    // name, which it treats differently).
    int count = 0;
    const std::wstring wide = sys::win32::Widen("prog " + c.line);
    wchar_t** split = CommandLineToArgvW(wide.c_str(), &count);
    ASSERT_NE(split, nullptr);
    Words back;
    for (int i = 1; i < count; ++i) back.push_back(sys::win32::Narrow(split[i]));
    LocalFree(split);
    EXPECT_EQ(back, c.words) << c.line;
#endif
  }
}

TEST(Elevation, ElevatedRunCarriesTheChoicesMade) {
  app::UnattendedOptions given;
  given.logFile = "C:\\logs\\setup.txt";
  EXPECT_EQ(app::ElevatedArguments({"install", "C:\\setup.exe"}, given, "D:\\Apps\\Notes\\", false, false),
            (Words{"install", "C:\\setup.exe", "--silent", "--scope=machine", "--dir=D:\\Apps\\Notes\\",
                   "--log=C:\\logs\\setup.txt"}));
  given.logFile.clear();
  given.allowDowngrade = true;
  EXPECT_EQ(app::ElevatedArguments({"install", "s.exe"}, given, "D:\\N\\", true, true),
            (Words{"install", "s.exe", "--silent", "--scope=machine", "--dir=D:\\N\\", "--no-shortcuts",
                   "--allow-downgrade"}));
  // One box unticked is carried as it was.
  EXPECT_EQ(app::ElevatedArguments({"install", "s.exe"}, given, "D:\\N\\", false, true),
            (Words{"install", "s.exe", "--silent", "--scope=machine", "--dir=D:\\N\\", "--no-shortcuts=startmenu",
                   "--allow-downgrade"}));
}

// The program never asks for elevation when it starts: an installation for
// the current user, a build or an archive needs none.
TEST(Elevation, ManifestRunsAsInvoker) {
  const std::string manifest = testsupport::ReadFile(std::string(BREVION_TEST_DATA) + "/../../res/brevion.manifest");
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
  EXPECT_EQ(manifest.find("requireAdministrator"), std::string::npos);
}

}  // namespace
