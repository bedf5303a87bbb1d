// File modification dates and MS-DOS date-times.
//
// A DOS date-time packs a local date and time into 32 bits: the high 16 bits
// hold years since 1980 (bits 15-9), month (8-5) and day (4-0); the low 16
// bits hold hours (15-11), minutes (10-5) and seconds / 2 (4-0). Archives
// store it as a signed 32-bit value; 0 means "no date".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sys {

// A moment in time: seconds since 1970-01-01 00:00 UTC.
struct FileTime {
  int64_t unixSeconds = 0;
  auto operator<=>(const FileTime&) const = default;
};

// Local calendar fields of a DOS date-time.
struct DosFields {
  int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  bool operator==(const DosFields&) const = default;
};

// Packs local calendar fields. Years before 1980 give 1980-01-01 00:00:00,
// years after 2107 give 2107-12-31 23:59:58; odd seconds round down.
int32_t PackDosDateTime(const DosFields& fields);
// Unpacks a DOS date-time (no range check of month or day).
DosFields UnpackDosDateTime(int32_t dosDateTime);

// A moment as a DOS date-time in the user's local time zone.
int32_t DosDateTimeFromFileTime(FileTime time);
// The moment of a local DOS date-time; nullopt when it names no valid time.
std::optional<FileTime> FileTimeFromDosDateTime(int32_t dosDateTime);

// The modification time of a file or folder; nullopt when it is missing.
std::optional<FileTime> GetFileModifiedTime(const std::string& path);
// Sets the modification time. True on success.
bool SetFileModifiedTime(const std::string& path, FileTime time);

// The modification time as a DOS date-time; 0 when the path is missing.
int32_t FileDosDateTime(const std::string& path);
// Sets the modification time from a DOS date-time. True on success; false
// for an invalid date-time or a missing path.
bool SetFileDosDateTime(const std::string& path, int32_t dosDateTime);

}  // namespace sys
