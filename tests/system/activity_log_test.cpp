// The --log file: lines are added after what the file already holds, and a
// text's own line breaks never split a line.
#include "system/activity_log.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

// Each line is "YYYY-MM-DD HH:MM:SS  text\r\n".
constexpr size_t kStampLength = 19;

TEST(ActivityFileTest, AppendsStampedLinesAfterWhatTheFileHolds) {
  testsupport::TempDir sandbox;
  const std::string path = sandbox.Write("run.log", "earlier run\r\n");
  {
    sys::ActivityFile file;
    ASSERT_TRUE(file.Open(path));
    file.Write("first\r\nsecond");
  }
  sys::ActivityFile again;
  ASSERT_TRUE(again.Open(path));
  again.Write("next run");

  const std::string text = testsupport::ReadFile(path);
  const size_t first = 13, second = first + kStampLength + 17;
  ASSERT_EQ(text.size(), second + kStampLength + 12) << text;
  EXPECT_EQ(text.substr(0, first), "earlier run\r\n");
  EXPECT_EQ(text.substr(first + kStampLength, 17), "  first  second\r\n");
  EXPECT_EQ(text.substr(second + kStampLength), "  next run\r\n");
}

TEST(ActivityFileTest, CreatesAMissingFileButNotItsFolder) {
  testsupport::TempDir sandbox;
  sys::ActivityFile file;
  EXPECT_FALSE(file.Open(sandbox.dir() + "no/such/folder/x.log"));
  EXPECT_FALSE(file.IsOpen());
  file.Write("dropped");  // not open: nothing happens
  ASSERT_TRUE(file.Open(sandbox.dir() + "new.log"));
  file.Write("made");
  EXPECT_EQ(testsupport::ReadFile(sandbox.path() / "new.log").substr(kStampLength), "  made\r\n");
}

}  // namespace
