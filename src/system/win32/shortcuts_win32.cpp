// Shortcuts on Windows: shell links written and read through the shell's
// link object (IShellLinkA) and its IPersistFile interface.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <stdexcept>
#include <vector>

#include "system/shortcuts.h"

namespace sys::platform {
namespace {

constexpr int kTextBufferSize = 1024;

// The component object model for the duration of one call. A thread that
// already runs it in another model keeps it as it is.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

// One shell link object with both interfaces, released on every path out.
class ShellLinkObject {
 public:
  ShellLinkObject() {
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link_))) ||
        !link_)
      throw std::runtime_error("Could not create the shell link object.");
    if (FAILED(link_->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file_))) ||
        !file_) {
      link_->Release();
      throw std::runtime_error("Could not create the shell link object.");
    }
  }
  ~ShellLinkObject() {
    file_->Release();
    link_->Release();
  }
  ShellLinkObject(const ShellLinkObject&) = delete;
  ShellLinkObject& operator=(const ShellLinkObject&) = delete;

  IShellLinkA* link() const { return link_; }
  IPersistFile* file() const { return file_; }

 private:
  IShellLinkA* link_ = nullptr;
  IPersistFile* file_ = nullptr;
};

// The path in UTF-16, as IPersistFile takes it (from the ANSI code page).
std::wstring WidePath(const std::string& path) {
  int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (length <= 0) return {};
  std::vector<wchar_t> buffer(static_cast<size_t>(length));
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, buffer.data(), length);
  return buffer.data();
}

}  // namespace

void WriteShellLink(const ShortcutInfo& link, const std::string& linkPath) {
  ComScope com;
  ShellLinkObject object;
  // The link's own results are not examined: a link that cannot be written
  // is simply not there afterwards.
  object.link()->SetPath(link.target.c_str());
  object.link()->SetWorkingDirectory(link.workingFolder.c_str());
  object.link()->SetArguments(link.arguments.c_str());
  if (!link.iconFile.empty()) object.link()->SetIconLocation(link.iconFile.c_str(), 0);
  object.file()->Save(WidePath(linkPath).c_str(), FALSE);
}

std::optional<ShortcutInfo> ReadShellLink(const std::string& linkPath) {
  ComScope com;
  ShellLinkObject object;
  if (FAILED(object.file()->Load(WidePath(linkPath).c_str(), STGM_READ))) return std::nullopt;
  char buffer[kTextBufferSize] = {};
  ShortcutInfo link;
  if (SUCCEEDED(object.link()->GetPath(buffer, kTextBufferSize, nullptr, SLGP_RAWPATH)))
    link.target = buffer;
  buffer[0] = 0;
  if (SUCCEEDED(object.link()->GetArguments(buffer, kTextBufferSize))) link.arguments = buffer;
  buffer[0] = 0;
  if (SUCCEEDED(object.link()->GetWorkingDirectory(buffer, kTextBufferSize)))
    link.workingFolder = buffer;
  buffer[0] = 0;
  int index = 0;
  if (SUCCEEDED(object.link()->GetIconLocation(buffer, kTextBufferSize, &index))) {
    link.iconFile = buffer;
    link.iconIndex = index;
  }
  return link;
}

const char* const kShortcutExtension = ".lnk";

}  // namespace sys::platform
