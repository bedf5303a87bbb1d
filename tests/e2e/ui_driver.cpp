// A user at the keyboard, for end-to-end runs of the Windows program under
// Wine: finds the program's windows by class or caption and clicks, types
// and answers as the steps on its command line say. Each step waits (up to
// 30 seconds) for what it needs to appear; the first step that cannot be
// done ends the driver with status 1 and names the step.
//
//   ui_driver STEP...
//     wait WINDOW          a visible top-level window whose class or caption
//                          is WINDOW (e.g. TDInstallMain, BrevionInputBox)
//     gone WINDOW          until no such window is visible
//     click CAPTION        a visible, enabled button with that caption (the
//                          accelerator marker "&" ignored), in any window
//     type WINDOW TEXT     the text of the first visible edit box of WINDOW
//                          (a message box or the folder dialog: "#32770")
//     field WINDOW TEXT    until the first visible edit box of WINDOW reads
//                          TEXT, in any letter case (the folder dialog's
//                          field names the selected folder once the tree
//                          has opened down to it)
//     answer CAPTION       clicks a button of a visible dialog box ("#32770")
//     sleep MILLISECONDS
//
// Clicks are posted (BM_CLICK), never sent: a click that opens a modal box
// must not block the driver until the box closes.
#include <windows.h>

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
  if (verb == "sleep") {
    Sleep(static_cast<DWORD>(std::atoi(next().c_str())));
    return true;
  }
  std::fprintf(stderr, "ui_driver: unknown step %s\n", verb.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  for (size_t at = 0; at < words.size();) {
    size_t step_start = at;
    if (!RunStep(words, at)) {
      std::string step;
      for (size_t i = step_start; i < at; ++i) step += (i > step_start ? " " : "") + words[i];
      std::fprintf(stderr, "ui_driver: could not do: %s\n", step.c_str());
      return 1;
    }
    std::printf("ui_driver: done: %s\n", words[step_start].c_str());
    std::fflush(stdout);
  }
  return 0;
}
