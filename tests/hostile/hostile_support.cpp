#include "hostile/hostile_support.h"

#include "archive/archive.h"
#include "archive/checksum.h"
#include "system/platform.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace hostile {

using archive::testing::Int64Bytes;

std::string RawEntry(const std::string& content) {
  return "\x80" + Int64Bytes(static_cast<int64_t>(content.size())) + content;
}

std::string CompressedEntry(const std::string& container) {
  return "\x81" + Int64Bytes(static_cast<int64_t>(container.size())) + container;
}

std::string ArchiveBytes(const std::vector<StoredEntry>& entries, const std::vector<std::string>& folders) {
  std::string body, table, names = "@f", letters = "|@fa", folderNames = "|@d", folderLetters = "|@da";
  for (const StoredEntry& entry : entries) {
    table += Int64Bytes(static_cast<int64_t>(body.size())) + Int64Bytes(archive::testing::kDate2020);
    body += entry.bytes;
    names += "|" + entry.name;
    letters += "|" + entry.letters;
  }
  table += Int64Bytes(static_cast<int64_t>(body.size()));
  for (const std::string& folder : folders) {
    folderNames += "|" + folder;
    folderLetters += "|d";
  }
  const std::string directory = names + letters + folderNames + folderLetters;
  return body + directory + table + Int64Bytes(static_cast<int64_t>(2 * entries.size() + 1)) +
         Int64Bytes(static_cast<int64_t>(directory.size())) + Int64Bytes(0) + Int64Bytes(1);
}

std::string WriteArchive(const testsupport::TempDir& dir, const std::string& name, const std::string& bytes) {
  const std::string path = dir.Write(name, bytes);
  archive::ArchiveWriteChecksum(path, nullptr, nullptr);
  return path;
}

TreeSnapshot Snapshot(const fs::path& root) {
  TreeSnapshot snapshot;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::end(it); it.increment(error)) {
    const std::string relative = fs::relative(it->path(), root).generic_string();
    if (it->is_symlink()) {
      snapshot[relative] = "<link>" + fs::read_symlink(it->path(), error).generic_string();
      it.disable_recursion_pending();
    } else if (it->is_directory()) {
      snapshot[relative] = "<dir>";
    } else {
      snapshot[relative] = testsupport::ReadFile(it->path());
    }
  }
  return snapshot;
}

TreeSnapshot Without(TreeSnapshot snapshot, const std::string& relative) {
  std::erase_if(snapshot, [&](const auto& entry) {
    return entry.first == relative || entry.first.starts_with(relative + "/");
  });
  return snapshot;
}

bool OnWindows() { return sys::platform::kPathSeparator == '\\'; }

#ifndef _WIN32

std::optional<std::string> PlantFolderLink(const fs::path& target, const fs::path& link) {
  std::error_code error;
  fs::create_directory_symlink(target, link, error);
  if (error) return "no symbolic link could be made: " + error.message();
  return std::nullopt;
}

std::optional<std::string> PlantFileLink(const fs::path& target, const fs::path& link) {
  std::error_code error;
  fs::create_symlink(target, link, error);
  if (error) return "no symbolic link could be made: " + error.message();
  return std::nullopt;
}

#else

namespace {

// The layout of a mount-point (junction) reparse buffer.
struct MountPointBuffer {
  DWORD tag;
  WORD dataLength;
  WORD reserved;
  WORD substituteOffset;
  WORD substituteLength;
  WORD printOffset;
  WORD printLength;
  WCHAR paths[1];
};

constexpr DWORD kTagMountPoint = 0xA0000003;
constexpr DWORD kSetReparsePoint = 0x000900A4;
constexpr DWORD kUnprivilegedCreate = 0x2;

std::optional<std::string> PlantJunction(const fs::path& target, const fs::path& link) {
  std::error_code error;
  fs::create_directory(link, error);
  if (error) return "the junction's folder could not be made: " + error.message();
  const std::wstring substitute = L"\\??\\" + fs::absolute(target).make_preferred().wstring();
  std::vector<char> bytes(sizeof(MountPointBuffer) + (substitute.size() + 2) * sizeof(WCHAR));
  auto* buffer = reinterpret_cast<MountPointBuffer*>(bytes.data());
  buffer->tag = kTagMountPoint;
  buffer->substituteOffset = 0;
  buffer->substituteLength = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
  buffer->printOffset = static_cast<WORD>(buffer->substituteLength + sizeof(WCHAR));
  buffer->printLength = 0;
  std::copy(substitute.begin(), substitute.end(), buffer->paths);
  buffer->paths[substitute.size()] = 0;
  buffer->paths[substitute.size() + 1] = 0;
  buffer->dataLength = static_cast<WORD>(8 + buffer->printOffset + sizeof(WCHAR));
  HANDLE handle = CreateFileW(link.wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return "the junction's folder could not be opened";
  DWORD returned = 0;
  const BOOL set = DeviceIoControl(handle, kSetReparsePoint, buffer, 8 + buffer->dataLength, nullptr, 0,
                                   &returned, nullptr);
  CloseHandle(handle);
  if (!set) {
    fs::remove(link, error);
    return "neither symbolic links nor junctions can be made here (error " + std::to_string(GetLastError()) + ")";
  }
  return std::nullopt;
}

bool IsLink(const fs::path& link) {
  const DWORD attributes = GetFileAttributesW(link.wstring().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

std::optional<std::string> PlantFolderLink(const fs::path& target, const fs::path& link) {
  const std::wstring absolute = fs::absolute(target).make_preferred().wstring();
  if (CreateSymbolicLinkW(link.wstring().c_str(), absolute.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | kUnprivilegedCreate) &&
      IsLink(link)) {
    return std::nullopt;
  }
  return PlantJunction(target, link);
}

std::optional<std::string> PlantFileLink(const fs::path& target, const fs::path& link) {
  const std::wstring absolute = fs::absolute(target).make_preferred().wstring();
  if (CreateSymbolicLinkW(link.wstring().c_str(), absolute.c_str(), kUnprivilegedCreate) && IsLink(link)) {
    return std::nullopt;
  }
  return "file symbolic links cannot be made here (error " + std::to_string(GetLastError()) + ")";
}

#endif

}  // namespace hostile
