#include "frontend/TCUtilities.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "platform/ActivationContext.h"
#include "platform/Dialogs.h"
#include "platform/Form.h"
#include "platform/ZvError.h"

namespace zv {

std::atomic<HWND> ParentWindow{nullptr};

namespace {
// The form layer's boxes without an explicit owner go to ParentWindow.
HWND ParentWindowOwner() { return ParentWindow; }
const bool OwnerHookSet = (DefaultOwnerHook = &ParentWindowOwner, true);
}  // namespace

namespace {

// The hook of the error box being opened on this thread. Per thread: the error
// entry may open a box on the host's file-operation thread while the
// user-interface thread opens another.
thread_local HHOOK ReportHookHandle = nullptr;

void RemoveReportHook() {
  if (ReportHookHandle) ::UnhookWindowsHookEx(ReportHookHandle);
  ReportHookHandle = nullptr;
}

constexpr UINT_PTR ReportBoxSubclassId = 0x5A56;  // "ZV"

// Some platforms (Wine) activate a message box before laying out its buttons,
// which undoes the widening. Once the box is shown its layout is final: the
// button gets its extra width again when it lost it.
LRESULT CALLBACK ReportBoxSubclassProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR wantedWidth) {
  const LRESULT result = ::DefSubclassProc(box, msg, wParam, lParam);
  if ((msg == WM_SHOWWINDOW && wParam) || msg == WM_NCDESTROY) {
    HWND button = ::GetDlgItem(box, IDCANCEL);
    RECT r;
    if (msg == WM_SHOWWINDOW && button && ::GetWindowRect(button, &r) && r.right - r.left != LONG(wantedWidth))
      ::SetWindowPos(button, nullptr, 0, 0, r.right - r.left + 10, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    ::RemoveWindowSubclass(box, ReportBoxSubclassProc, id);
  }
  return result;
}

// HtmlHelpW of hhctrl.ocx, loaded on first use and kept for the life of the
// process (unloading it from our library's unload would be unsafe).
using THtmlHelpW = HWND(WINAPI*)(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);
constexpr UINT HhDisplayTopic = 0;

THtmlHelpW HtmlHelpFunction() {
  static const THtmlHelpW function = [] {
    HMODULE library = LoadSystemLibrary(L"hhctrl.ocx");
    return library ? reinterpret_cast<THtmlHelpW>(::GetProcAddress(library, "HtmlHelpW")) : nullptr;
  }();
  return function;
}

// COM for the shell's folder dialog; every successful initialisation (also
// "already initialised") is balanced by its own uninitialisation.
class TComApartment {
public:
  TComApartment() : FInitialized(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~TComApartment() {
    if (FInitialized) ::CoUninitialize();
  }
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;

private:
  bool FInitialized;
};

constexpr auto DonationPageScrambled = ScrambleString(L"https://www.example.org/zentavo/donate.html");

}  // namespace

LRESULT CALLBACK ReportButtonHookProc(int code, WPARAM wParam, LPARAM lParam) {
  bool changed = false;
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    HWND button = ::GetDlgItem(box, IDCANCEL);
    RECT r;
    if (button && ::GetWindowRect(button, &r)) {
      const int width = r.right - r.left + 10;
      ::SetWindowTextW(button, L"Report error");
      ::SetWindowPos(button, nullptr, 0, 0, width, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
      if (!::IsWindowVisible(box)) ::SetWindowSubclass(box, ReportBoxSubclassProc, ReportBoxSubclassId, width);
      changed = true;
    }
  }
  const LRESULT result = ::CallNextHookEx(ReportHookHandle, code, wParam, lParam);
  if (changed) RemoveReportHook();
  return result;
}

int ShowReportErrorBox(HWND wnd, const std::wstring& text, const std::wstring& caption) {
  RemoveReportHook();
  ReportHookHandle = ::SetWindowsHookExW(WH_CBT, ReportButtonHookProc, nullptr, ::GetCurrentThreadId());
  int answer;
  {
    TActivationScope scope;
    answer = ::MessageBoxW(wnd, text.c_str(), caption.c_str(), MB_OKCANCEL | MB_ICONERROR);
  }
  // A box that never came up leaves the hook waiting; it would rename the
  // Cancel button of whatever dialog this thread shows next.
  RemoveReportHook();
  return answer;
}

void ShowHelp(const std::wstring& topic) { HelpViewer.load()(topic); }

void ShellOpenWebPage(const std::wstring& url) {
  ::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void ShowHtmlHelp(const std::wstring& topic) {
  const THtmlHelpW htmlHelp = HtmlHelpFunction();
  if (!htmlHelp) return;
  const std::wstring file = GetModuleDir() + L"\\" + HelpFileName;
  htmlHelp(nullptr, file.c_str(), HhDisplayTopic, reinterpret_cast<DWORD_PTR>(topic.c_str()));
}

int ShowFormModalCentered(TForm& form, HWND parentWnd) {
  form.SetOwnerWindow(parentWnd);
  form.CenterOver(parentWnd);
  return form.ShowModal();
}

int ShowModalCentered(const TFormFactory& createForm, HWND parentWnd) {
  std::unique_ptr<TForm> form = createForm(parentWnd);
  return ShowFormModalCentered(*form, parentWnd);
}

std::unique_ptr<TForm> AttachFormBelowWindow(const TFormFactory& createForm, HWND wnd) {
  WINDOWINFO info{};
  info.cbSize = sizeof(info);
  if (!wnd || !::GetWindowInfo(wnd, &info)) return nullptr;

  std::unique_ptr<TForm> form = createForm(nullptr);
  form->SetParentWindow(wnd);
  const int formHeight = form->Height();
  const int clientWidth = info.rcClient.right - info.rcClient.left;
  const int clientHeight = info.rcClient.bottom - info.rcClient.top;

  // Grow the window by exactly the form's height: the client rectangle made
  // taller, turned back into a window rectangle.
  RECT grown = info.rcClient;
  grown.bottom += formHeight;
  ::AdjustWindowRectEx(&grown, info.dwStyle, FALSE, info.dwExStyle);
  ::SetWindowPos(wnd, nullptr, 0, 0, grown.right - grown.left, grown.bottom - grown.top, SWP_NOMOVE | SWP_NOZORDER);

  form->SetBounds(0, clientHeight, clientWidth, formHeight);
  form->ShowModeless();
  return form;
}

int CALLBACK BrowseFolderCallback(HWND wnd, UINT msg, LPARAM lParam, LPARAM data) {
  if (msg == BFFM_INITIALIZED && data) ::SendMessageW(wnd, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

bool SelectFolder(HWND parentWnd, const std::wstring& title, std::wstring& folder) {
  TComApartment com;
  wchar_t buffer[MAX_PATH + 1] = {};
  // A start folder too long for the buffer is not preselected: a cut path
  // could name a different folder.
  const bool preselect = folder.size() <= MAX_PATH;
  if (preselect) folder.copy(buffer, MAX_PATH);

  BROWSEINFOW info{};
  info.hwndOwner = parentWnd;
  info.pidlRoot = nullptr;
  info.pszDisplayName = buffer;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseFolderCallback;
  info.lParam = preselect ? reinterpret_cast<LPARAM>(buffer) : 0;

  PIDLIST_ABSOLUTE chosen;
  {
    TActivationScope scope;
    chosen = ::SHBrowseForFolderW(&info);
  }
  if (!chosen) return false;
  if (::SHGetPathFromIDListW(chosen, buffer)) folder = buffer;
  ::CoTaskMemFree(chosen);
  return true;
}

std::wstring IntToBase(uint32_t value, uint32_t base, uint32_t minDigits) {
  // Base 0 would divide by zero and base 1 never end.
  if (base < 2) throw EZvError(L"Invalid number base " + std::to_wstring(base) + L".");
  std::wstring text;
  do {
    const uint32_t digit = value % base;
    text.insert(text.begin(), digit < 10 ? wchar_t(L'0' + digit) : wchar_t(L'A' + digit - 10));
    value /= base;
    if (minDigits > 0) --minDigits;
  } while (minDigits > 0 || value > 0);
  return text;
}

bool TryBaseToInt(const std::wstring& text, uint32_t base, uint32_t& value) {
  value = 0;
  for (wchar_t c : text) {
    // ASCII upper-casing only: other scripts' letters must not turn into digits.
    if (c >= L'a' && c <= L'z') c = wchar_t(c - L'a' + L'A');
    // The characters between "9" and "A", and those below "0", are no digit of any base.
    uint32_t digit = UINT32_MAX;
    if (c >= L'0' && c <= L'9')
      digit = uint32_t(c) - L'0';
    else if (base > 10 && c >= L'A')
      digit = uint32_t(c) - L'A' + 10;
    if (digit >= base) return false;
    const uint64_t next = uint64_t(value) * base + digit;
    if (next > 0xFFFFFFFFu) return false;
    value = uint32_t(next);
  }
  return true;
}

std::wstring UnscrambleString(std::wstring_view scrambled) {
  std::wstring plain(scrambled);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = wchar_t(plain[i] ^ ScrambleKey(i));
  return plain;
}

std::wstring DonationPageAddress() {
  return UnscrambleString(std::wstring_view(DonationPageScrambled.data(), DonationPageScrambled.size()));
}

}  // namespace zv
