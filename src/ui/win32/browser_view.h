// An HTML view: a "BrevionBrowser" child window that hosts the system's
// web-browser control (in-place activated through a minimal OLE container)
// and opens local files in it.
//
// Where the browser control or its HTML engine cannot be created, the host
// holds a read-only multi-line edit box instead and shows each page's text
// with the tags stripped (ui/html_text.h), so that a wizard page can still
// be read and its buttons used; such a view is always complete.
#pragma once

#include <memory>
#include <string>

#include "ui/win32/win32_api.h"

namespace ui {

class BrowserView {
 public:
  // Creates the host window inside `parent` at `bounds` (parent's client
  // coordinates) and tries the browser control; `font` is the fallback
  // edit box's font.
  BrowserView(HWND parent, const RECT& bounds, bool visible, HFONT font);
  ~BrowserView();
  BrowserView(const BrowserView&) = delete;
  BrowserView& operator=(const BrowserView&) = delete;

  HWND window() const { return host_; }
  // True when the system's browser control is in use.
  bool native() const;

  // Opens a local file (a missing file shows a "cannot be displayed" text in
  // the fallback; the browser control shows its own error page).
  void Navigate(const std::string& file);
  // True when the document has loaded, or when the browser has not finished
  // within a while after Navigate (a page that never completes must not
  // keep its caller waiting forever).
  bool DocumentComplete() const;
  // Sets the overflow style of the document's body to "hidden".
  void HideBodyOverflow();
  // The text fallback's font (after a change of resolution).
  void SetFont(HFONT font);

 private:
  class Browser;
  void CreateFallback(HFONT font);
  static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Resize();

  HWND host_ = nullptr;
  HWND fallback_ = nullptr;
  std::unique_ptr<Browser> browser_;
  DWORD navigatedAt_ = 0;
};

}  // namespace ui
