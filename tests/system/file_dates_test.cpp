#include "system/file_dates.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

TEST(DosDateTime, PackingMatchesTheBitLayout) {
  // 2020-06-15 13:45:30: date 40<<9 | 6<<5 | 15, time 13<<11 | 45<<5 | 15.
  const sys::DosFields fields{2020, 6, 15, 13, 45, 30};
  EXPECT_EQ(sys::PackDosDateTime(fields), static_cast<int32_t>(0x50CF6DAF));
  EXPECT_EQ(sys::UnpackDosDateTime(0x50CF6DAF), fields);
  // Odd seconds round down to the two-second step.
  EXPECT_EQ(sys::PackDosDateTime({2020, 6, 15, 13, 45, 31}), static_cast<int32_t>(0x50CF6DAF));
  // Years outside the format's range are clamped.
  EXPECT_EQ(sys::PackDosDateTime({1970, 5, 5, 5, 5, 5}), 0x00210000);
  EXPECT_EQ(sys::UnpackDosDateTime(sys::PackDosDateTime({2200, 1, 1, 0, 0, 0})),
            (sys::DosFields{2107, 12, 31, 23, 59, 58}));
  // Dates from 2044 on set the top bit: negative as a signed value.
  EXPECT_LT(sys::PackDosDateTime({2050, 1, 1, 0, 0, 0}), 0);
  EXPECT_EQ(sys::UnpackDosDateTime(sys::PackDosDateTime({2050, 1, 1, 0, 0, 0})).year, 2050);
}

TEST(DosDateTime, LocalTimeRoundTrip) {
  const sys::DosFields winterNoon{2021, 1, 20, 12, 0, 10};
  auto time = sys::FileTimeFromDosDateTime(sys::PackDosDateTime(winterNoon));
  ASSERT_TRUE(time.has_value());
  EXPECT_EQ(sys::UnpackDosDateTime(sys::DosDateTimeFromFileTime(*time)), winterNoon);
  EXPECT_FALSE(sys::FileTimeFromDosDateTime(0).has_value());  // month 0
  EXPECT_FALSE(sys::FileTimeFromDosDateTime(sys::PackDosDateTime({2021, 13, 1, 0, 0, 0})));
}

TEST(FileDates, SetAndReadBackOnRealFiles) {
  testsupport::TempDir temp;
  const std::string file = temp.Write("f.txt", "x");
  const int32_t stamp = sys::PackDosDateTime({2019, 3, 4, 5, 6, 8});
  ASSERT_TRUE(sys::SetFileDosDateTime(file, stamp));
  EXPECT_EQ(sys::FileDosDateTime(file), stamp);

  ASSERT_TRUE(sys::SetFileModifiedTime(file, sys::FileTime{1600000001}));
  EXPECT_EQ(sys::GetFileModifiedTime(file), sys::FileTime{1600000001});

  // Folders carry dates too.
  ASSERT_TRUE(sys::SetFileDosDateTime(temp.dir(), stamp));
  EXPECT_EQ(sys::FileDosDateTime(temp.dir()), stamp);

  const std::string missing = temp.dir() + "missing";
  EXPECT_EQ(sys::FileDosDateTime(missing), 0);
  EXPECT_FALSE(sys::SetFileDosDateTime(missing, stamp));
  EXPECT_FALSE(sys::GetFileModifiedTime(missing).has_value());
  EXPECT_FALSE(sys::SetFileDosDateTime(file, 0));
}

}  // namespace
