// Win32 side of the private folders: the system's random source, the
// temporary folder of GetTempPath2 where the system has it, and folders whose
// access list admits the user and SYSTEM alone.
#include <windows.h>

#include <bcrypt.h>
#include <sddl.h>

#include <vector>

#include "system/platform.h"
#include "system/win32/wide_text.h"

namespace sys::platform {

namespace {

// Frees memory that a Win32 call allocated with LocalAlloc.
template <typename T>
class LocalMemory {
 public:
  LocalMemory() = default;
  ~LocalMemory() {
    if (memory_) LocalFree(memory_);
  }
  LocalMemory(const LocalMemory&) = delete;
  LocalMemory& operator=(const LocalMemory&) = delete;
  T* put() { return &memory_; }
  T get() const { return memory_; }

 private:
  T memory_ = nullptr;
};

// The current user's security identifier in its text form ("S-1-5-..."),
// or "" when the process token does not tell.
std::wstring UserSidText() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  const bool read = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  CloseHandle(token);
  if (!read) return {};
  LocalMemory<LPWSTR> text;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, text.put())) return {};
  return text.get();
}

}  // namespace

bool RandomBytes(void* buffer, size_t count) {
  auto* out = static_cast<UCHAR*>(buffer);
  while (count > 0) {
    const ULONG part = count > 0x10000000 ? 0x10000000UL : static_cast<ULONG>(count);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, part, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
    out += part;
    count -= part;
  }
  return true;
}

std::string PrivateTempRoot() {
  // GetTempPath2W (newer systems) gives SYSTEM a folder of its own instead
  // of the Windows temporary folder that every user may write to.
  using TempPathCall = DWORD(WINAPI*)(DWORD, LPWSTR);
  TempPathCall call = &GetTempPathW;
  if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
    // Through void*: FARPROC names no signature of its own.
    if (void* found = reinterpret_cast<void*>(GetProcAddress(kernel, "GetTempPath2W"))) {
      call = reinterpret_cast<TempPathCall>(found);
    }
  }
  wchar_t buffer[MAX_PATH + 2] = {};
  const DWORD length = call(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH + 1) return {};
  std::string root = win32::Narrow(std::wstring_view(buffer, length));
  if (!root.empty() && root.back() != '\\') root += '\\';
  return root;
}

bool CreatePrivateFolder(const std::string& path) {
  const std::wstring user = UserSidText();
  if (user.empty()) return false;
  // Protected (nothing inherited from the parent), full control for the
  // user and for SYSTEM, passed on to every file and folder made inside.
  const std::wstring sddl = L"D:P(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;SY)";
  LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, descriptor.put(),
                                                            nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = descriptor.get();
  attributes.bInheritHandle = FALSE;
  std::wstring wide = win32::Widen(path);
  while (wide.size() > 3 && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
  // CreateDirectoryW fails on any existing name, links and junctions
  // included, so an existing folder is never taken over.
  return !wide.empty() && CreateDirectoryW(wide.c_str(), &attributes);
}

}  // namespace sys::platform
