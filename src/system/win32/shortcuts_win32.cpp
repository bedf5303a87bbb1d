// Shortcuts on Windows: shell links written and read through the shell's
// link object (IShellLinkW) and its IPersistFile interface; the texts
// arrive and leave in UTF-8.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <stdexcept>

#include "system/shortcuts.h"
#include "system/win32/shell_path.h"
#include "system/win32/wide_text.h"

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
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
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

  IShellLinkW* link() const { return link_; }
  IPersistFile* file() const { return file_; }

 private:
  IShellLinkW* link_ = nullptr;
  IPersistFile* file_ = nullptr;
};


// The link's target: the path of its item identifier list, which names the
// file in UTF-16 in every shell; else the path text stored beside it (some
// shells keep that one only in the ANSI code page).
std::string TargetOf(IShellLinkW* link) {
  std::string target;
  LPITEMIDLIST list = nullptr;
  if (SUCCEEDED(link->GetIDList(&list)) && list) {
    target = win32::PathOfItemList(list);
    CoTaskMemFree(list);
  }
  if (target.empty()) {
    wchar_t buffer[kTextBufferSize] = {};
    if (SUCCEEDED(link->GetPath(buffer, kTextBufferSize, nullptr, SLGP_RAWPATH))) target = win32::Narrow(buffer);
  }
  return target;
}

}  // namespace

void WriteShellLink(const ShortcutInfo& link, const std::string& linkPath) {
  ComScope com;
  ShellLinkObject object;
  // The link's own results are not examined: a link that cannot be written
  // is simply not there afterwards.
  object.link()->SetPath(win32::Widen(link.target).c_str());
  object.link()->SetWorkingDirectory(win32::Widen(link.workingFolder).c_str());
  object.link()->SetArguments(win32::Widen(link.arguments).c_str());
  if (!link.iconFile.empty()) object.link()->SetIconLocation(win32::Widen(link.iconFile).c_str(), 0);
  object.file()->Save(win32::Widen(linkPath).c_str(), FALSE);
}

std::optional<ShortcutInfo> ReadShellLink(const std::string& linkPath) {
  ComScope com;
  ShellLinkObject object;
  if (FAILED(object.file()->Load(win32::Widen(linkPath).c_str(), STGM_READ))) return std::nullopt;
  wchar_t buffer[kTextBufferSize] = {};
  ShortcutInfo link;
  link.target = TargetOf(object.link());
  if (SUCCEEDED(object.link()->GetArguments(buffer, kTextBufferSize))) link.arguments = win32::Narrow(buffer);
  buffer[0] = 0;
  if (SUCCEEDED(object.link()->GetWorkingDirectory(buffer, kTextBufferSize)))
    link.workingFolder = win32::Narrow(buffer);
  buffer[0] = 0;
  int index = 0;
  if (SUCCEEDED(object.link()->GetIconLocation(buffer, kTextBufferSize, &index))) {
    link.iconFile = win32::Narrow(buffer);
    link.iconIndex = index;
  }
  return link;
}

const char* const kShortcutExtension = ".lnk";

}  // namespace sys::platform
