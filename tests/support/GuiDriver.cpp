#include "support/GuiDriver.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/TextConv.h"

namespace zvtest {

namespace {

constexpr DWORD PollMs = 10;

bool OfThisProcess(HWND window) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  return pid == ::GetCurrentProcessId();
}

struct TSearch {
  std::wstring Text, ClassName;
  int Id;
  bool TopLevel;
  HWND Found = nullptr;
};

BOOL CALLBACK FindProc(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<TSearch*>(param);
  if (s->TopLevel && (!OfThisProcess(window) || !::IsWindowVisible(window))) return TRUE;
  wchar_t className[256] = {};
  ::GetClassNameW(window, className, 256);
  if (!s->ClassName.empty() && _wcsicmp(className, s->ClassName.c_str()) != 0) return TRUE;
  if (!s->Text.empty() && GetText(window) != s->Text) return TRUE;
  if (s->Id != -1 && ::GetDlgCtrlID(window) != s->Id) return TRUE;
  s->Found = window;
  return FALSE;
}

template <typename F>
auto Poll(F probe, const std::string& what, DWORD timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (auto found = probe()) return found;
    if (std::chrono::steady_clock::now() >= deadline) throw EGuiTimeout("timed out waiting for " + what);
    ::Sleep(PollMs);
  }
}

BOOL CALLBACK CloseProc(HWND window, LPARAM) {
  if (OfThisProcess(window) && ::IsWindowVisible(window)) ::PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus)
    return info.hwndFocus;
  return window;
}

HWND FindTopWindow(const std::wstring& caption, const std::wstring& className) {
  TSearch search{caption, className, -1, true};
  ::EnumWindows(FindProc, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

HWND WaitForWindow(const std::wstring& caption, const std::wstring& className, DWORD timeoutMs) {
  return Poll([&] { return FindTopWindow(caption, className); },
              "window \"" + zv::WideToAnsi(caption) + "\" class \"" + zv::WideToAnsi(className) + "\"", timeoutMs);
}

HWND FindChild(HWND parent, const std::wstring& text, const std::wstring& className, int id) {
  TSearch search{text, className, id, false};
  ::EnumChildWindows(parent, FindProc, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

std::wstring GetText(HWND window) {
  // Sent with a timeout: a hung UI thread must not hang the driver.
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, DefaultGuiTimeoutMs, &length))
    return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, DefaultGuiTimeoutMs, &copied);
  text.resize(copied);
  return text;
}

std::wstring MessageBoxText(HWND box) {
  HWND text = ::GetDlgItem(box, 0xFFFF);
  return text ? GetText(text) : std::wstring();
}

void Click(HWND button) {
  if (!button) throw std::runtime_error("no button to click");
  ::PostMessageW(button, BM_CLICK, 0, 0);
}

void ClickButton(HWND parent, const std::wstring& caption) {
  HWND button = FindChild(parent, caption, L"Button");
  if (!button) throw std::runtime_error("no button \"" + zv::WideToAnsi(caption) + "\"");
  Click(button);
}

void PressButtonId(HWND dialog, int id) {
  // A direct child first: platform dialogs hold inner windows that reuse small ids.
  HWND button = ::GetDlgItem(dialog, id);
  if (!button) button = FindChild(dialog, L"", L"", id);
  if (button) {
    // The command itself, to the button's parent: some platform dialogs ignore
    // a BM_CLICK while they are not the active window. A disabled button does nothing.
    if (::IsWindowEnabled(button))
      ::PostMessageW(::GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  } else {
    // Message boxes answer a command with the id even without such a button (IDCANCEL).
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  }
}

void PressKeyOn(HWND control, WORD virtualKey) {
  const UINT scan = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  ::PostMessageW(control, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
  ::PostMessageW(control, WM_KEYUP, virtualKey, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

void PressMnemonic(HWND window, wchar_t letter) {
  // The context bit (29) tells that Alt is down; dialogs look for mnemonics on WM_SYSCHAR.
  ::PostMessageW(FocusOf(window), WM_SYSCHAR, static_cast<WPARAM>(letter), 1 | (1u << 29));
}

void ClickAt(HWND control, POINT pt) {
  const LPARAM at = MAKELPARAM(pt.x, pt.y);
  ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::PostMessageW(control, WM_LBUTTONUP, 0, at);
}

void MouseClick(HWND window) {
  const RECT r = GetScreenRect(window);
  const POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  const HWND top = ::GetAncestor(::WindowFromPoint(at), GA_ROOT);
  if (!window || top != ::GetAncestor(window, GA_ROOT))
    throw std::runtime_error("\"" + zv::WideToAnsi(GetText(top)) + "\" covers \"" + zv::WideToAnsi(GetText(window)) +
                             "\"");
  // The point travels with the clicks: the system's cursor may still follow an earlier move.
  INPUT clicks[2] = {};
  for (INPUT& click : clicks) {
    click.type = INPUT_MOUSE;
    click.mi.dx = (at.x * 65536 + 65535) / ::GetSystemMetrics(SM_CXSCREEN);
    click.mi.dy = (at.y * 65536 + 65535) / ::GetSystemMetrics(SM_CYSCREEN);
  }
  clicks[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
  clicks[1].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
  if (::SendInput(2, clicks, sizeof(INPUT)) != 2) throw std::runtime_error("SendInput failed");
}

void SetText(HWND window, const std::wstring& text) {
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                        DefaultGuiTimeoutMs, &ignored);
}

void ChooseFiles(const std::wstring& title, const std::wstring& names) {
  HWND box = WaitForWindow(title, L"#32770");
  // The file name field: an edit (edt1), or the edit inside a combo box (cmb13).
  HWND name = FindChild(box, L"", L"", 0x480);
  if (!name) name = FindChild(FindChild(box, L"", L"", 0x47C), L"", L"Edit");
  if (!name) throw std::runtime_error("no file name field");
  // The dialog may still be filling itself in and clear the field: retry a few times.
  for (int attempt = 0; attempt < 10 && ::IsWindow(box) && ::IsWindowVisible(box); ++attempt) {
    SetText(name, names);
    PressButtonId(box, IDOK);
    try {
      WaitUntil([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, "the dialog to go", 1000);
    } catch (const EGuiTimeout&) {
    }
  }
}

void WaitUntil(const std::function<bool()>& condition, const std::string& what, DWORD timeoutMs) {
  Poll([&] { return condition(); }, what, timeoutMs);
}

TGuiDriver::TGuiDriver(std::function<void()> script, DWORD timeoutMs) : FTimeoutMs(timeoutMs) {
  FThread = std::thread([this, script = std::move(script)]() mutable { Body(std::move(script)); });
}

TGuiDriver::~TGuiDriver() {
  if (!FJoined) Join();
}

void TGuiDriver::Body(std::function<void()> script) {
  try {
    script();
  } catch (const std::exception& e) {
    FError = e.what();
  } catch (...) {
    FError = "unknown exception in the GUI script";
  }
  // Until the test's thread comes back from its modal loop and joins us.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(FTimeoutMs);
  while (!FJoining.load()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      if (FError.empty()) FError = "the test's thread did not come back from its modal loop";
      // Close whatever is open (boxes first, then forms) until the test thread returns.
      const auto hardStop = std::chrono::steady_clock::now() + std::chrono::milliseconds(FTimeoutMs);
      while (!FJoining.load() && std::chrono::steady_clock::now() < hardStop) {
        ::EnumWindows(CloseProc, 0);
        ::Sleep(100);
      }
      return;
    }
    ::Sleep(PollMs);
  }
}

bool TGuiDriver::Join() {
  if (FJoined) return FError.empty();
  FJoining.store(true);
  if (FThread.joinable()) FThread.join();
  FJoined = true;
  if (!FError.empty()) ADD_FAILURE() << "GUI script: " << FError;
  return FError.empty();
}

// ---- TBoxAnswerer

namespace {
thread_local TBoxAnswerer* CurrentAnswerer = nullptr;
}  // namespace

TBoxAnswerer::TBoxAnswerer(std::vector<int> answers)
    : FAnswers(std::move(answers)), FHook(::SetWindowsHookExW(WH_CBT, &HookProc, nullptr, ::GetCurrentThreadId())) {
  CurrentAnswerer = this;
}

TBoxAnswerer::~TBoxAnswerer() {
  ::UnhookWindowsHookEx(FHook);
  CurrentAnswerer = nullptr;
}

std::wstring TBoxAnswerer::Said() const {
  return Boxes.size() == 1 ? Boxes[0].Caption + L": " + Boxes[0].Text : std::to_wstring(Boxes.size()) + L" boxes";
}

namespace {

// The confirmation box's question: its one label with a text.
std::wstring LabelText(HWND box) {
  for (HWND child = nullptr; (child = ::FindWindowExW(box, child, L"Static", nullptr));)
    if (!GetText(child).empty()) return GetText(child);
  return std::wstring();
}

}  // namespace

LRESULT CALLBACK TBoxAnswerer::HookProc(int code, WPARAM wParam, LPARAM lParam) {
  const auto box = reinterpret_cast<HWND>(wParam);
  wchar_t className[16] = {};
  TBoxAnswerer* self = CurrentAnswerer;
  if (code != HCBT_ACTIVATE || !self || !::GetClassNameW(box, className, 16) ||
      (!self->Boxes.empty() && self->Boxes.back().Window == box))
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  const bool confirmation = std::wstring(className) == L"ZentavoWindow" && GetText(box) == L"Confirm";
  if (confirmation || std::wstring(className) == L"#32770") {
    const size_t answered = self->Boxes.size();
    self->Boxes.push_back({GetText(box), confirmation ? LabelText(box) : MessageBoxText(box), box});
    if (self->OnBox) self->OnBox(self->Boxes.back());
    const int answer = answered < self->FAnswers.size() ? self->FAnswers[answered]
                       : ::GetDlgItem(box, IDOK)        ? IDOK
                       : ::GetDlgItem(box, IDNO)        ? IDNO
                                                        : IDABORT;
    if (answer == 0) SystemClose(box);
    else if (confirmation) PressButtonId(box, answer);  // a form: the command comes from the button
    else ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace zvtest
