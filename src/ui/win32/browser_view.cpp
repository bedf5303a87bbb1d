#include "ui/win32/browser_view.h"

#include <exdisp.h>
#include <mshtml.h>
#include <ole2.h>

#include <cctype>

#include "system/win32/wide_text.h"
#include "ui/html_text.h"

namespace ui {

namespace {

constexpr wchar_t kHostClass[] = L"BrevionBrowser";

using sys::win32::Narrow;
using sys::win32::Widen;
// How long DocumentComplete waits for the browser before giving up on a page.
constexpr DWORD kLoadPatienceMs = 15000;

// The HTML engine's document class: when it cannot be created, the browser
// control would open but never show a page.
constexpr CLSID kHtmlDocumentClass = {0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A page's bytes as UTF-8: valid UTF-8 (a byte-order mark dropped) stays as
// it is; anything else is legacy text in the ANSI code page.
std::string PageText(const std::string& bytes) {
  std::string_view text = bytes;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const int size = static_cast<int>(text.size());
  if (size == 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0) > 0) {
    return std::string(text);
  }
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
  return Narrow(wide);
}

// Reads a page through the system rather than the C++ streams, which would
// add their locale machinery to the program.
bool ReadWholeFile(const std::string& path, std::string& content) {
  HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  content.clear();
  char buffer[16384];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
  CloseHandle(file);
  return true;
}

// A ".txt" page (a readme) is shown as it is, not as HTML.
bool IsPlainTextFile(const std::string& file) {
  return file.size() >= 4 && Lower(file.substr(file.size() - 4)) == ".txt";
}

// Line breaks as an edit box wants them: CR LF.
std::string WithCrLf(const std::string& text) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result += '\r';
    result += text[i];
  }
  return result;
}

// The container side of the browser control: the smallest set of OLE site
// interfaces that in-place activation asks for, all answering for `host`.
class BrowserSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  explicit BrowserSite(HWND host) : host_(host) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IOleClientSite)) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(id, IID_IOleInPlaceSite) || IsEqualIID(id, IID_IOleWindow)) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(id, IID_IOleInPlaceFrame) || IsEqualIID(id, IID_IOleInPlaceUIWindow)) {
      *out = static_cast<IOleInPlaceFrame*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the site and the frame)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    *window = host_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                             LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    *frame = this;
    AddRef();
    *document = nullptr;
    GetClientRect(host_, position);
    GetClientRect(host_, clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(host_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow / IOleInPlaceFrame
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  HWND host_;
  ULONG references_ = 1;
};

template <typename T>
void ReleaseAndClear(T*& pointer) {
  if (pointer) pointer->Release();
  pointer = nullptr;
}

}  // namespace

// The web-browser control, in-place active inside the host window.
class BrowserView::Browser {
 public:
  // nullptr when the control or its HTML engine is not available.
  static std::unique_ptr<Browser> Create(HWND host) {
    IUnknown* engine = nullptr;
    if (FAILED(CoCreateInstance(kHtmlDocumentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&engine)))) {
      return nullptr;
    }
    engine->Release();
    auto browser = std::unique_ptr<Browser>(new Browser(host));
    return browser->Activate() ? std::move(browser) : nullptr;
  }

  ~Browser() {
    ReleaseAndClear(web_);
    if (object_) {
      object_->Close(OLECLOSE_NOSAVE);
      object_->SetClientSite(nullptr);
    }
    ReleaseAndClear(object_);
    ReleaseAndClear(site_);
  }

  void Resize() {
    RECT area;
    GetClientRect(host_, &area);
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
      inPlace->SetObjectRects(&area, &area);
      inPlace->Release();
    }
  }

  bool Navigate(const std::string& file) {
    BSTR address = SysAllocString(Widen(file).c_str());
    VARIANT empty;
    VariantInit(&empty);
    HRESULT result = web_->Navigate(address, &empty, &empty, &empty, &empty);
    SysFreeString(address);
    return SUCCEEDED(result);
  }

  bool Complete() const {
    READYSTATE state = READYSTATE_UNINITIALIZED;
    return SUCCEEDED(web_->get_ReadyState(&state)) && state == READYSTATE_COMPLETE;
  }

  void HideBodyOverflow() {
    IDispatch* dispatch = nullptr;
    IHTMLDocument2* document = nullptr;
    IHTMLElement* body = nullptr;
    IHTMLStyle* style = nullptr;
    if (SUCCEEDED(web_->get_Document(&dispatch)) && dispatch &&
        SUCCEEDED(dispatch->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&document))) &&
        SUCCEEDED(document->get_body(&body)) && body && SUCCEEDED(body->get_style(&style)) && style) {
      BSTR hidden = SysAllocString(L"hidden");
      style->put_overflow(hidden);
      SysFreeString(hidden);
    }
    ReleaseAndClear(style);
    ReleaseAndClear(body);
    ReleaseAndClear(document);
    ReleaseAndClear(dispatch);
  }

 private:
  explicit Browser(HWND host) : host_(host), site_(new BrowserSite(host)) {}

  bool Activate() {
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object_)))) {
      return false;
    }
    IOleClientSite* client = site_;
    if (FAILED(object_->SetClientSite(client))) return false;
    OleSetContainedObject(object_, TRUE);
    RECT area;
    GetClientRect(host_, &area);
    if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, client, -1, host_, &area))) return false;
    return SUCCEEDED(object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&web_)));
  }

  HWND host_;
  BrowserSite* site_;
  IOleObject* object_ = nullptr;
  IWebBrowser2* web_ = nullptr;
};

BrowserView::BrowserView(HWND parent, const RECT& bounds, bool visible, HFONT font) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW hostClass{};
    hostClass.lpfnWndProc = HostProc;
    hostClass.hInstance = GetModuleHandleW(nullptr);
    hostClass.hCursor = SystemCursor(IDC_ARROW);
    hostClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    hostClass.lpszClassName = kHostClass;
    RegisterClassW(&hostClass);
    registered = true;
  }
  DWORD style = WS_CHILD | WS_CLIPCHILDREN | (visible ? WS_VISIBLE : 0);
  host_ = CreateWindowExW(WS_EX_CONTROLPARENT, kHostClass, L"", style, bounds.left, bounds.top,
                          bounds.right - bounds.left, bounds.bottom - bounds.top, parent, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(host_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  browser_ = Browser::Create(host_);
  if (!browser_) CreateFallback(font);
}

BrowserView::~BrowserView() {
  browser_.reset();
  SetWindowLongPtrW(host_, GWLP_USERDATA, 0);
  DestroyWindow(host_);
}

bool BrowserView::native() const { return browser_ != nullptr; }

void BrowserView::CreateFallback(HFONT font) {
  RECT area;
  GetClientRect(host_, &area);
  DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
  fallback_ = CreateWindowExW(0, L"EDIT", L"", style, 0, 0, area.right, area.bottom, host_, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  SendMessageW(fallback_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void BrowserView::SetFont(HFONT font) {
  if (fallback_) SendMessageW(fallback_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void BrowserView::Resize() {
  RECT area;
  GetClientRect(host_, &area);
  if (browser_) browser_->Resize();
  if (fallback_) MoveWindow(fallback_, 0, 0, area.right, area.bottom, TRUE);
}

LRESULT CALLBACK BrowserView::HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* view = reinterpret_cast<BrowserView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (view && message == WM_SIZE) view->Resize();
  // A read-only edit box asks for its colours like a static text; a page
  // reads better on the window colour.
  if (message == WM_CTLCOLORSTATIC) {
    SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  // The text fallback, a multi-line edit box, asks its parent to close on
  // Escape: the page stays.
  if (message == WM_CLOSE) return 0;
  return DefWindowProcW(window, message, wparam, lparam);
}

void BrowserView::Navigate(const std::string& file) {
  navigatedAt_ = GetTickCount();
  if (browser_) {
    if (!browser_->Navigate(file)) navigatedAt_ = GetTickCount() - kLoadPatienceMs;
    return;
  }
  std::string content;
  std::string text = "This page cannot be displayed.\r\n\r\n" + file;
  if (ReadWholeFile(file, content)) {
    content = PageText(content);
    text = WithCrLf(IsPlainTextFile(file) ? content : HtmlToPlainText(content));
  }
  SetWindowTextW(fallback_, Widen(text).c_str());
}

bool BrowserView::DocumentComplete() const {
  if (!browser_) return true;
  return browser_->Complete() || GetTickCount() - navigatedAt_ >= kLoadPatienceMs;
}

void BrowserView::HideBodyOverflow() {
  if (browser_) browser_->HideBodyOverflow();
}

}  // namespace ui
