#include "system/file_dates.h"

#include <algorithm>

#include "system/platform.h"

namespace sys {
namespace {

constexpr int kDosFirstYear = 1980;
constexpr int kDosLastYear = 2107;  // 7 bits of years

}  // namespace

int32_t PackDosDateTime(const DosFields& fields) {
  DosFields f = fields;
  if (f.year < kDosFirstYear) f = DosFields{};
  if (f.year > kDosLastYear) f = DosFields{kDosLastYear, 12, 31, 23, 59, 58};
  const uint32_t date = (static_cast<uint32_t>(f.year - kDosFirstYear) << 9) |
                        (static_cast<uint32_t>(f.month & 0x0F) << 5) |
                        static_cast<uint32_t>(f.day & 0x1F);
  const uint32_t time = (static_cast<uint32_t>(f.hour & 0x1F) << 11) |
                        (static_cast<uint32_t>(f.minute & 0x3F) << 5) |
                        static_cast<uint32_t>((f.second / 2) & 0x1F);
  return static_cast<int32_t>((date << 16) | time);
}

DosFields UnpackDosDateTime(int32_t dosDateTime) {
  const uint32_t value = static_cast<uint32_t>(dosDateTime);
  const uint32_t date = value >> 16, time = value & 0xFFFF;
  DosFields f;
  f.year = kDosFirstYear + static_cast<int>(date >> 9);
  f.month = static_cast<int>((date >> 5) & 0x0F);
  f.day = static_cast<int>(date & 0x1F);
  f.hour = static_cast<int>(time >> 11);
  f.minute = static_cast<int>((time >> 5) & 0x3F);
  f.second = static_cast<int>(time & 0x1F) * 2;
  return f;
}

int32_t DosDateTimeFromFileTime(FileTime time) {
  const platform::LocalDateTime local = platform::ToLocalDateTime(time.unixSeconds);
  return PackDosDateTime({local.year, local.month, local.day, local.hour, local.minute,
                          local.second});
}

std::optional<FileTime> FileTimeFromDosDateTime(int32_t dosDateTime) {
  // The zone conversion reads the zone rules anew on every call, while the
  // files of one archive share few dates: the last answer is kept.
  thread_local int32_t lastDosDateTime = 0;
  thread_local std::optional<FileTime> lastTime;
  if (dosDateTime != 0 && dosDateTime == lastDosDateTime) return lastTime;
  const DosFields f = UnpackDosDateTime(dosDateTime);
  if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour > 23 ||
      f.minute > 59 || f.second > 59)
    return std::nullopt;
  auto seconds = platform::FromLocalDateTime({f.year, f.month, f.day, f.hour, f.minute, f.second});
  lastDosDateTime = dosDateTime;
  lastTime = seconds ? std::optional<FileTime>(FileTime{*seconds}) : std::nullopt;
  return lastTime;
}

std::optional<FileTime> GetFileModifiedTime(const std::string& path) {
  auto seconds = platform::GetModifiedTime(path);
  if (!seconds) return std::nullopt;
  return FileTime{*seconds};
}

bool SetFileModifiedTime(const std::string& path, FileTime time) {
  return platform::SetModifiedTime(path, time.unixSeconds);
}

int32_t FileDosDateTime(const std::string& path) {
  auto time = GetFileModifiedTime(path);
  return time ? DosDateTimeFromFileTime(*time) : 0;
}

bool SetFileDosDateTime(const std::string& path, int32_t dosDateTime) {
  auto time = FileTimeFromDosDateTime(dosDateTime);
  return time && SetFileModifiedTime(path, *time);
}

}  // namespace sys
