// A user at the keyboard, for end-to-end runs of the Windows program under
// Wine: finds the program's windows by class or caption and clicks, types
// and answers as the steps on its command line say. Each step waits (up to
// 30 seconds) for what it needs to appear; the first step that cannot be
// done ends the driver with status 1 and names the step. Progress goes to
// standard error; standard output carries only what the steps read back
// (readlink, regget).
//
//   ui_driver STEP...
//     wait WINDOW          a visible top-level window whose class or caption
//                          is WINDOW (e.g. TDInstallMain, BrevionInputBox)
//     gone WINDOW          until no such window is visible
//     see TEXT             until a visible control of any visible window
//                          holds TEXT in its text (a panel being shown, a
//                          status line, a question)
//     click CAPTION        a visible, enabled button with that caption (the
//                          accelerator marker "&" ignored), in any window
//     type WINDOW TEXT     the text of the first visible edit box of WINDOW
//                          (a message box or the folder dialog: "#32770")
//     field WINDOW TEXT    until the first visible edit box of WINDOW reads
//                          TEXT, in any letter case (the folder dialog's
//                          field names the selected folder once the tree
//                          has opened down to it)
//     answer CAPTION       clicks a button of a visible dialog box ("#32770")
//     shot NAME WINDOW     a screenshot of WINDOW once it has painted: asks
//                          the taker watching the folder UI_DRIVER_SHOTS by
//                          writing NAME.req there (the window's left, top,
//                          width and height on the screen) and waits until
//                          the taker has removed it
//     readlink LINK        prints the shell link's target=, arguments=,
//                          workdir= and icon= (file,index; empty when none)
//     regget KEY           prints the default string value of the registry
//                          key KEY, which begins with HKCR, HKCU or HKLM
//     launch LINK          starts what the shell link starts: its target
//                          with its arguments, in its working folder
//     ended                until the launched program has ended; its exit
//                          status must be 0
//     key KEY              presses KEY on the keyboard, as the user would, for
//                          the window that has the focus: Enter, Escape, Tab,
//                          Shift+Tab, Space, Up, Down, Left, Right or Alt+X
//                          (X a letter or digit)
//     focus CAPTION        until the control holding the keyboard focus has
//                          that caption (accelerator marker ignored), or is
//                          an edit box when CAPTION is "Edit"
//     sleep MILLISECONDS
//
// Clicks are posted (BM_CLICK), never sent: a click that opens a modal box
// must not block the driver until the box closes.
#include <windows.h>
#include <shlobj.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPatienceMs = 30000;
constexpr DWORD kPollMs = 100;

std::string TextOf(HWND window) {
  char text[1024] = {};
  DWORD_PTR ignored = 0;
  // The window belongs to another process that may be busy: ask with a limit.
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                      &ignored);
  return text;
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string WithoutAccelerator(const std::string& caption) {
  std::string plain;
  for (char c : caption) {
    if (c != '&') plain += c;
  }
  return plain;
}

std::vector<HWND> VisibleTopWindows() {
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND window, LPARAM list) -> BOOL {
        if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

bool Matches(HWND window, const std::string& class_or_caption) {
  return ClassOf(window) == class_or_caption || TextOf(window) == class_or_caption;
}

HWND FindTopWindow(const std::string& class_or_caption) {
  for (HWND window : VisibleTopWindows()) {
    if (Matches(window, class_or_caption)) return window;
  }
  return nullptr;
}

bool IsButton(HWND window) { return ClassOf(window) == "Button"; }

// A reachable button with the caption inside `top`, or nullptr.
HWND FindButton(HWND top, const std::string& caption) {
  for (HWND child : Descendants(top)) {
    if (IsButton(child) && IsWindowVisible(child) && IsWindowEnabled(child) &&
        WithoutAccelerator(TextOf(child)) == caption) {
      return child;
    }
  }
  return nullptr;
}

// Polls `attempt` until it succeeds or the patience runs out.
template <typename Attempt>
bool Eventually(Attempt attempt) {
  for (DWORD waited = 0; waited < kPatienceMs; waited += kPollMs) {
    if (attempt()) return true;
    Sleep(kPollMs);
  }
  return false;
}

bool Click(const std::string& caption, const std::string& only_class) {
  return Eventually([&] {
    for (HWND top : VisibleTopWindows()) {
      if (!only_class.empty() && ClassOf(top) != only_class) continue;
      if (HWND button = FindButton(top, caption)) {
        PostMessageA(button, BM_CLICK, 0, 0);
        return true;
      }
    }
    return false;
  });
}

bool Type(const std::string& window_name, const std::string& text) {
  return Eventually([&] {
    HWND top = FindTopWindow(window_name);
    if (!top) return false;
    for (HWND child : Descendants(top)) {
      if (ClassOf(child) == "Edit" && IsWindowVisible(child)) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 2000,
                            &ignored);
        return TextOf(child) == text;
      }
    }
    return false;
  });
}

HWND FirstVisibleEdit(HWND top) {
  for (HWND child : Descendants(top)) {
    if (ClassOf(child) == "Edit" && IsWindowVisible(child)) return child;
  }
  return nullptr;
}

bool FieldReads(const std::string& window_name, const std::string& text) {
  return Eventually([&] {
    HWND top = FindTopWindow(window_name);
    HWND field = top ? FirstVisibleEdit(top) : nullptr;
    return field && lstrcmpiA(TextOf(field).c_str(), text.c_str()) == 0;
  });
}

// True when a visible control of a visible top-level window holds `text`.
bool SomeControlShows(const std::string& text) {
  for (HWND top : VisibleTopWindows()) {
    for (HWND child : Descendants(top)) {
      if (IsWindowVisible(child) && WithoutAccelerator(TextOf(child)).find(text) != std::string::npos) return true;
    }
  }
  return false;
}

// Lets the window's thread finish what it has queued (painting comes when
// the queue is empty) and Wine hand the painted surface to the display.
void LetPaint(HWND window) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  Sleep(300);
  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

bool Shot(const std::string& name, const std::string& window_name) {
  const char* folder = std::getenv("UI_DRIVER_SHOTS");
  if (!folder || !*folder) {
    std::fprintf(stderr, "ui_driver: shot needs UI_DRIVER_SHOTS, the folder a screenshot taker watches\n");
    return false;
  }
  HWND top = nullptr;
  if (!Eventually([&] { return (top = FindTopWindow(window_name)) != nullptr; })) return false;
  LetPaint(top);
  RECT area{};
  GetWindowRect(top, &area);
  const std::string request = std::string(folder) + "\\" + name + ".req";
  const std::string draft = request + ".part";
  // Written aside and renamed, so that the taker never reads half a request.
  FILE* file = std::fopen(draft.c_str(), "w");
  if (!file) {
    std::fprintf(stderr, "ui_driver: cannot write %s\n", draft.c_str());
    return false;
  }
  std::fprintf(file, "%ld %ld %ld %ld\n", area.left, area.top, area.right - area.left, area.bottom - area.top);
  std::fclose(file);
  if (!MoveFileExA(draft.c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
  if (Eventually([&] { return GetFileAttributesA(request.c_str()) == INVALID_FILE_ATTRIBUTES; })) return true;
  std::fprintf(stderr, "ui_driver: no screenshot taker answered %s\n", request.c_str());
  DeleteFileA(request.c_str());
  return false;
}

struct ShellLink {
  std::string target, arguments, workdir, icon;
  int icon_index = 0;
};

// Reads a shell link file through the shell's own link object.
bool ReadShellLink(const std::string& path, ShellLink& link) {
  IShellLinkA* shell_link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&shell_link)))) {
    std::fprintf(stderr, "ui_driver: no shell link object\n");
    return false;
  }
  IPersistFile* file = nullptr;
  bool loaded = false;
  if (SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    std::wstring wide(MAX_PATH * 2, L'\0');
    wide.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()))));
    loaded = !wide.empty() && SUCCEEDED(file->Load(wide.c_str(), STGM_READ));
    file->Release();
  }
  if (loaded) {
    char text[4096] = {};
    shell_link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    link.target = text;
    text[0] = '\0';
    shell_link->GetArguments(text, sizeof text);
    link.arguments = text;
    text[0] = '\0';
    shell_link->GetWorkingDirectory(text, MAX_PATH);
    link.workdir = text;
    text[0] = '\0';
    shell_link->GetIconLocation(text, MAX_PATH, &link.icon_index);
    link.icon = text;
  } else {
    std::fprintf(stderr, "ui_driver: cannot read the shell link %s\n", path.c_str());
  }
  shell_link->Release();
  return loaded;
}

bool PrintShellLink(const std::string& path) {
  ShellLink link;
  if (!ReadShellLink(path, link)) return false;
  std::printf("target=%s\narguments=%s\nworkdir=%s\n", link.target.c_str(), link.arguments.c_str(),
              link.workdir.c_str());
  if (link.icon.empty()) {
    std::printf("icon=\n");
  } else {
    std::printf("icon=%s,%d\n", link.icon.c_str(), link.icon_index);
  }
  return true;
}

bool PrintDefaultValue(const std::string& key) {
  const struct {
    const char* prefix;
    HKEY root;
  } roots[] = {{"HKCR\\", HKEY_CLASSES_ROOT}, {"HKCU\\", HKEY_CURRENT_USER}, {"HKLM\\", HKEY_LOCAL_MACHINE}};
  for (const auto& root : roots) {
    if (key.rfind(root.prefix, 0) != 0) continue;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root.root, key.c_str() + 5, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
      std::fprintf(stderr, "ui_driver: no registry key %s\n", key.c_str());
      return false;
    }
    char data[4096] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    LONG status = RegQueryValueExA(opened, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
      std::fprintf(stderr, "ui_driver: no default string value in %s\n", key.c_str());
      return false;
    }
    std::printf("%s\n", data);
    return true;
  }
  std::fprintf(stderr, "ui_driver: %s does not begin with HKCR\\, HKCU\\ or HKLM\\\n", key.c_str());
  return false;
}

HANDLE launched = nullptr;

bool Launch(const std::string& path) {
  ShellLink link;
  if (!ReadShellLink(path, link)) return false;
  std::string command = "\"" + link.target + "\"";
  if (!link.arguments.empty()) command += " " + link.arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      link.workdir.empty() ? nullptr : link.workdir.c_str(), &startup, &process)) {
    std::fprintf(stderr, "ui_driver: cannot start %s (error %lu)\n", command.c_str(), GetLastError());
    return false;
  }
  CloseHandle(process.hThread);
  if (launched) CloseHandle(launched);
  launched = process.hProcess;
  return true;
}

bool LaunchedEnded() {
  if (!launched) {
    std::fprintf(stderr, "ui_driver: nothing was launched\n");
    return false;
  }
  if (WaitForSingleObject(launched, kPatienceMs) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "ui_driver: the launched program is still running\n");
    return false;
  }
  DWORD status = 1;
  GetExitCodeProcess(launched, &status);
  if (status != 0) std::fprintf(stderr, "ui_driver: the launched program ended with status %lu\n", status);
  return status == 0;
}

// The key's virtual-key code and whether it goes with Shift or Alt.
bool ParseKey(const std::string& name, WORD& key, bool& shift, bool& alt) {
  shift = name.rfind("Shift+", 0) == 0;
  alt = name.rfind("Alt+", 0) == 0;
  std::string base = name.substr(shift ? 6 : alt ? 4 : 0);
  static const std::pair<const char*, WORD> kNamed[] = {{"Enter", VK_RETURN}, {"Escape", VK_ESCAPE}, {"Tab", VK_TAB},
                                                         {"Space", VK_SPACE},  {"Up", VK_UP},          {"Down", VK_DOWN},
                                                         {"Left", VK_LEFT},    {"Right", VK_RIGHT}};
  for (const auto& [word, code] : kNamed) {
    if (base == word) {
      key = code;
      return true;
    }
  }
  if (base.size() == 1 && std::isalnum(static_cast<unsigned char>(base[0]))) {
    key = static_cast<WORD>(std::toupper(static_cast<unsigned char>(base[0])));
    return true;
  }
  return false;
}

// Presses and releases the key through the system's input queue, so that it
// reaches whatever window has the focus.
bool PressKey(const std::string& name) {
  WORD key = 0;
  bool shift = false;
  bool alt = false;
  if (!ParseKey(name, key, shift, alt)) {
    std::fprintf(stderr, "ui_driver: unknown key %s\n", name.c_str());
    return false;
  }
  std::vector<INPUT> inputs;
  auto add = [&inputs](WORD code, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  WORD modifier = shift ? VK_SHIFT : alt ? VK_MENU : 0;
  if (modifier) add(modifier, false);
  add(key, false);
  add(key, true);
  if (modifier) add(modifier, true);
  bool sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
  // Lets the program take the key before the next step looks.
  Sleep(400);
  return sent;
}

// The window holding the keyboard focus in the foreground window's thread.
HWND FocusedWindow() {
  HWND foreground = GetForegroundWindow();
  if (!foreground) return nullptr;
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(foreground, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

bool FocusIs(const std::string& caption) {
  bool found = Eventually([&] {
    HWND focus = FocusedWindow();
    if (!focus) return false;
    if (caption == "Edit") return ClassOf(focus) == "Edit";
    return WithoutAccelerator(TextOf(focus)) == caption;
  });
  if (!found) {
    HWND focus = FocusedWindow();
    std::fprintf(stderr, "ui_driver: the focus is on %s \"%s\"\n", focus ? ClassOf(focus).c_str() : "nothing",
                 focus ? TextOf(focus).c_str() : "");
  }
  return found;
}

bool RunStep(const std::vector<std::string>& words, size_t& at) {
  const std::string& verb = words[at++];
  auto next = [&]() -> std::string { return at < words.size() ? words[at++] : ""; };
  if (verb == "wait") {
    std::string name = next();
    return Eventually([&] { return FindTopWindow(name) != nullptr; });
  }
  if (verb == "gone") {
    std::string name = next();
    return Eventually([&] { return FindTopWindow(name) == nullptr; });
  }
  if (verb == "see") {
    std::string text = next();
    return Eventually([&] { return SomeControlShows(text); });
  }
  if (verb == "click") return Click(next(), "");
  if (verb == "answer") return Click(next(), "#32770");
  if (verb == "type") {
    std::string name = next();
    return Type(name, next());
  }
  if (verb == "field") {
    std::string name = next();
    return FieldReads(name, next());
  }
  if (verb == "shot") {
    std::string name = next();
    return Shot(name, next());
  }
  if (verb == "readlink") return PrintShellLink(next());
  if (verb == "regget") return PrintDefaultValue(next());
  if (verb == "launch") return Launch(next());
  if (verb == "ended") return LaunchedEnded();
  if (verb == "key") return PressKey(next());
  if (verb == "focus") return FocusIs(next());
  if (verb == "sleep") {
    Sleep(static_cast<DWORD>(std::atoi(next().c_str())));
    return true;
  }
  std::fprintf(stderr, "ui_driver: unknown step %s\n", verb.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::vector<std::string> words(argv + 1, argv + argc);
  for (size_t at = 0; at < words.size();) {
    size_t step_start = at;
    if (!RunStep(words, at)) {
      std::string step;
      for (size_t i = step_start; i < at; ++i) step += (i > step_start ? " " : "") + words[i];
      std::fprintf(stderr, "ui_driver: could not do: %s\n", step.c_str());
      return 1;
    }
    std::fprintf(stderr, "ui_driver: done: %s\n", words[step_start].c_str());
    std::fflush(stdout);
  }
  return 0;
}
