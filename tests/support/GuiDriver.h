// Drives windows of the test process from a second thread while the test's
// own thread sits in a modal loop (a form's ShowModal, a message box, an open
// dialog). Every wait is bounded; a wait that times out throws EGuiTimeout.
//
//   zvtest::TGuiDriver driver([] {
//     HWND form = zvtest::WaitForWindow(L"Zentavo About");
//     zvtest::ClickButton(form, L"Close");
//   });
//   int result = form.ShowModal();   // on the test's thread
//   driver.Join();                   // the script's failures become test failures
//   EXPECT_EQ(result, mrClose);
//
// Buttons are pressed with posted messages, so a click that opens a further
// modal window never blocks the driver.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace zvtest {

constexpr DWORD DefaultGuiTimeoutMs = 10000;

class EGuiTimeout : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// --- finding windows (this process only) -----------------------------------

// A visible top-level window whose caption and/or class match (an empty text
// matches anything); null when there is none.
HWND FindTopWindow(const std::wstring& caption, const std::wstring& className = L"");
// Waits for such a window to exist and be visible.
HWND WaitForWindow(const std::wstring& caption, const std::wstring& className = L"",
                   DWORD timeoutMs = DefaultGuiTimeoutMs);
// A message box or platform dialog (class "#32770"), optionally by caption.
inline HWND WaitForMessageBox(const std::wstring& caption = L"", DWORD timeoutMs = DefaultGuiTimeoutMs) {
  return WaitForWindow(caption, L"#32770", timeoutMs);
}

// A descendant by text and/or class and/or control id (id -1 = any); null when none.
HWND FindChild(HWND parent, const std::wstring& text, const std::wstring& className = L"", int id = -1);

// --- reading state -------------------------------------------------------------

std::wstring GetText(HWND window);
// The focused control of the window's thread, else the window itself.
HWND FocusOf(HWND window);
inline bool IsEnabled(HWND window) { return ::IsWindowEnabled(window) != FALSE; }
inline RECT GetScreenRect(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return r;
}
// The text of a message box's message (its static text item, id 0xFFFF).
std::wstring MessageBoxText(HWND box);

// --- acting ----------------------------------------------------------------------

// Presses a button the way a mouse click does (BM_CLICK, posted).
void Click(HWND button);
// Finds a button by its caption (mnemonic "&" included) and presses it; throws when missing.
void ClickButton(HWND parent, const std::wstring& caption);
// Presses the button with the given control id (message boxes: IDOK, IDYES, ...;
// platform dialogs such as the open-file dialog) by posting its command.
void PressButtonId(HWND dialog, int id);
// Posts a key press (down and up) straight to a control (it need not have the
// focus), or to the focused control of the window's thread.
void PressKeyOn(HWND control, WORD virtualKey);
inline void PressKey(HWND window, WORD virtualKey) { PressKeyOn(FocusOf(window), virtualKey); }
// Posts Alt+letter (a mnemonic, "&Yes") to the focused control of the window's thread.
void PressMnemonic(HWND window, wchar_t letter);
// Posts a left click at a point of the control's client area.
void ClickAt(HWND control, POINT clientPoint);
// Clicks the middle of a window with the mouse (SendInput), as a user does:
// unlike Click, nothing reaches a disabled window or a control of a disabled
// dialog. Throws when another window covers that point.
void MouseClick(HWND window);
// Asks the window to close the way the caption's close button does (SC_CLOSE, posted).
inline void SystemClose(HWND window) { ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }
// Sets a control's text (WM_SETTEXT, sent).
void SetText(HWND window, const std::wstring& text);
// Types file names (a quoted list for several) into the open-file dialog of
// that title and presses its OK button until the dialog takes them.
void ChooseFiles(const std::wstring& title, const std::wstring& names);
// Waits until the condition holds; throws EGuiTimeout otherwise.
void WaitUntil(const std::function<bool()>& condition, const std::string& what,
               DWORD timeoutMs = DefaultGuiTimeoutMs);

// Answers each box (class "#32770", and the confirmation box) this thread
// shows while it lives, at once: with the next given button id (0: closes
// it), then OK (No where it has no OK, Abort where it has neither).
class TBoxAnswerer {
public:
  struct TBox {
    std::wstring Caption, Text;
    HWND Window;
  };
  explicit TBoxAnswerer(std::vector<int> answers = {});
  ~TBoxAnswerer();
  TBoxAnswerer(const TBoxAnswerer&) = delete;
  TBoxAnswerer& operator=(const TBoxAnswerer&) = delete;
  // "<caption>: <text>" of the one box shown, else "<count> boxes".
  std::wstring Said() const;

  std::vector<TBox> Boxes;
  // Runs before each answer, on the thread that shows the box.
  std::function<void(const TBox&)> OnBox;

private:
  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
  std::vector<int> FAnswers;
  HHOOK FHook;
};

// Runs a script on its own thread. Join() (or the destructor) waits for it;
// a script that threw is reported as a test failure. A safety net: when the
// test's thread is still inside a modal loop after the script has ended (or
// failed) for longer than the timeout, the driver closes the visible windows of
// this process so that the test can go on and fail instead of hanging.
class TGuiDriver {
public:
  explicit TGuiDriver(std::function<void()> script, DWORD timeoutMs = DefaultGuiTimeoutMs);
  ~TGuiDriver();
  TGuiDriver(const TGuiDriver&) = delete;
  TGuiDriver& operator=(const TGuiDriver&) = delete;

  // Waits for the script; records its failure with ADD_FAILURE. Returns true when it succeeded.
  bool Join();

private:
  void Body(std::function<void()> script);

  DWORD FTimeoutMs;
  std::atomic<bool> FJoining{false};
  std::string FError;
  std::thread FThread;
  bool FJoined = false;
};

}  // namespace zvtest
