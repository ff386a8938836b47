#include "frontend/ProgressHandOver.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/HostProgress.h"
#include "engine/ProgressLines.h"
#include "frontend/BatchState.h"
#include "frontend/TCUtilities.h"
#include "frontend/ZentavoProgress.h"
#include "platform/Boundary.h"
#include "platform/Lock.h"
#include "platform/TextConv.h"

namespace zv {

TForegroundWindowQuery ForegroundWindowQuery = ::GetForegroundWindow;

namespace {

// The host's own procedure, kept on the window it was taken from: a window
// carries it from the replacement until the procedure goes back.
constexpr wchar_t SavedProcProp[] = L"ZentavoSavedHostWndProc";

// Which panels exist. Every panel is destroyed on the thread of the window it
// is docked in; until then it is listed here. Current is the running batch's
// panel, the one the lines go to; a panel whose batch has ended waits in the
// list for its thread to destroy it.
struct TPanelEntry {
  std::unique_ptr<TZentavoProgressForm> Panel;
  HWND Dock;
};

TCriticalSection PanelLock;
std::vector<TPanelEntry> Panels;               // under PanelLock
TZentavoProgressForm* Current = nullptr;       // under PanelLock
HWND CurrentDock = nullptr;                    // under PanelLock
// Changes at every opening and closing, so that a creation message of an
// opening that has since been closed (or superseded) makes no panel.
uint32_t OpeningSerial = 0;                    // under PanelLock
HWND WantedDock = nullptr;                     // under PanelLock: the open batch's window
// The windows whose procedure is ours, so that unloading can give them back.
std::vector<HWND> HookedWindows;               // under PanelLock

// The receiver of the engine's lines while a panel exists: it outlives every
// panel, so a reader that got it just before the panel went calls it safely.
class TPanelLines : public IProgressLines {
public:
  void SetLoadText(const std::wstring& text) override { Set(plLoad, text); }
  void SetStatusText(const std::wstring& text) override { Set(plStatus, text); }
  void SetProcessingText(const std::wstring& text) override { Set(plProcessing, text); }
  void SetInputText(const std::wstring& text) override { Set(plInput, text); }
  void SetOutputText(const std::wstring& text) override { Set(plOutput, text); }

private:
  // No failure of the panel may stop a file.
  static void Set(int line, const std::wstring& text) {
    GuardBoundary([&] {
      TLockGuard guard(PanelLock);
      if (Current) Current->SetLineText(line, text);
    });
  }
};
TPanelLines PanelLines;

class THostProgressCallback : public IHostProgress {
public:
  bool CallHostProgress(const std::wstring& sourceName, const std::wstring& targetName, int32_t percent) override {
    const TProgressProc proc = ProgressProc;
    if (!proc) return false;
    std::string source = WideToAnsi(sourceName), target = WideToAnsi(targetName);
    return proc(PluginNumber, source.data(), target.data(), percent) > 0;
  }
};
THostProgressCallback HostProgressCallback;
const bool HostProgressRegistered = (HostProgress = &HostProgressCallback, true);

// Under PanelLock.
void PublishCurrent(std::unique_ptr<TZentavoProgressForm> panel, HWND dock) {
  Current = panel.get();
  CurrentDock = dock;
  Panels.push_back({std::move(panel), dock});
  ProgressLines = &PanelLines;
}

// Under PanelLock: the lines go nowhere from now on.
void RetireCurrent() {
  ProgressLines = nullptr;
  Current = nullptr;
  CurrentDock = nullptr;
}

// Destroys the panels docked in the window (the current one only when asked),
// on the calling thread, which must be the window's.
void DestroyPanels(HWND dock, bool currentToo) {
  std::vector<std::unique_ptr<TZentavoProgressForm>> doomed;
  {
    TLockGuard guard(PanelLock);
    for (auto it = Panels.begin(); it != Panels.end();) {
      if (it->Dock != dock || (!currentToo && it->Panel.get() == Current)) {
        ++it;
        continue;
      }
      if (it->Panel.get() == Current) RetireCurrent();
      doomed.push_back(std::move(it->Panel));
      it = Panels.erase(it);
    }
  }
  doomed.clear();  // outside the lock: destroying windows sends messages to the host's window
}

// On the window's thread: the panel of the opening with this serial number,
// unless that opening has been closed or another panel already exists.
void CreatePanel(HWND dock, uint32_t serial) {
  const auto wanted = [&] { return serial == OpeningSerial && dock == WantedDock && !Current; };
  {
    TLockGuard guard(PanelLock);
    if (!wanted()) return;
  }
  DestroyPanels(dock, false);  // a panel of an ended batch would leave a gap
  auto panel = GuardBoundary(std::unique_ptr<TZentavoProgressForm>(),
                             [&] { return AttachFormBelowWindow<TZentavoProgressForm>(dock); });
  if (!panel) return;
  TLockGuard guard(PanelLock);
  // Otherwise the batch ended while the panel was made: it goes right here,
  // after the lock (the guard was made after the panel).
  if (wanted()) PublishCurrent(std::move(panel), dock);
}

void ShowQueuedLine(HWND dock, int line) {
  TZentavoProgressForm* panel;
  std::unique_ptr<std::wstring> text;
  {
    TLockGuard guard(PanelLock);
    if (!Current || CurrentDock != dock) return;
    panel = Current;
    text = panel->TakeQueuedText(line);
  }
  // Drawn outside the lock, so that the file thread, which takes it for every
  // line it sets, never waits for a repaint. Only this thread destroys the
  // panel, so it outlives the call.
  if (text) panel->ShowLine(line, *text);
}

// Replaces the window's procedure unless it is replaced already. False when
// that cannot be done (the window is gone).
bool HookHostWindow(HWND wnd) {
  TLockGuard guard(PanelLock);
  if (::GetPropW(wnd, SavedProcProp)) return true;
  const LONG_PTR saved = ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HostWindowHookProc));
  if (!saved) return false;
  if (::SetPropW(wnd, SavedProcProp, reinterpret_cast<HANDLE>(saved))) {
    HookedWindows.push_back(wnd);
    return true;
  }
  ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, saved);
  return false;
}

WNDPROC SavedProcOf(HWND wnd) {
  // Under the lock: the file thread may be between replacing the procedure and storing the old one.
  TLockGuard guard(PanelLock);
  return reinterpret_cast<WNDPROC>(::GetPropW(wnd, SavedProcProp));
}

// Puts the host's procedure back, unless somebody replaced ours meanwhile:
// taking ours out would then cut them off, so we stay in the chain.
void UnhookHostWindow(HWND wnd, WNDPROC saved, bool destroyed) {
  TLockGuard guard(PanelLock);
  const bool ours =
      reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(wnd, GWLP_WNDPROC)) == HostWindowHookProc;
  if (ours && saved) ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved));
  if (!ours && !destroyed) return;
  ::RemovePropW(wnd, SavedProcProp);
  std::erase(HookedWindows, wnd);
}

// A panel of another thread cannot be destroyed from here. Its windows get
// the system's default procedure, which runs none of our code, and the panel
// is asked to close: its own thread then destroys it with its children.
BOOL CALLBACK UseDefaultProc(HWND window, LPARAM) {
  ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcW));
  return TRUE;
}

void DetachForeignPanel(HWND panel) {
  ::EnumChildWindows(panel, UseDefaultProc, 0);
  UseDefaultProc(panel, 0);
  ::PostMessageW(panel, WM_CLOSE, 0, 0);
}

// Our part of a host window's message; true when the procedure should go back.
bool HandleHostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == ProgressMessageID) {
    const int code = LOBYTE(wParam);
    if (code == pmCreatePanel)
      CreatePanel(wnd, static_cast<uint32_t>(lParam));
    else if (code == pmClosePanel)
      DestroyPanels(wnd, false);
    else if (code >= plLoad && code <= plOutput)
      ShowQueuedLine(wnd, code);
    return false;
  }
  const bool hiding = msg == WM_WINDOWPOSCHANGING && lParam &&
                      (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_HIDEWINDOW);
  if (!hiding && msg != WM_NCDESTROY) return false;
  DestroyPanels(wnd, true);
  return true;
}

bool IsWindowOfThisProcess(HWND wnd) {
  DWORD process = 0;
  return wnd && ::GetWindowThreadProcessId(wnd, &process) && process == ::GetCurrentProcessId();
}

}  // namespace

LRESULT CALLBACK HostWindowHookProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const WNDPROC saved = SavedProcOf(wnd);
  bool unhook = msg == WM_NCDESTROY;
  GuardBoundary([&] { unhook = HandleHostMessage(wnd, msg, wParam, lParam) || unhook; });
  const LRESULT result =
      saved ? ::CallWindowProcW(saved, wnd, msg, wParam, lParam) : ::DefWindowProcW(wnd, msg, wParam, lParam);
  if (unhook) UnhookHostWindow(wnd, saved, msg == WM_NCDESTROY);
  return result;
}

void ShowProgressForm() {
  if (!ProgressFormClosed) return;
  ProgressFormClosed = false;
  HWND window = ForegroundWindowQuery();
  // Another program's window (the user switched away) must not own our boxes
  // (they would disable it) nor get a panel.
  if (!IsWindowOfThisProcess(window)) {
    ParentWindow = HostMainWindow.load();
    return;
  }
  ParentWindow = window;
  IsForeignThread = ::GetWindowThreadProcessId(window, nullptr) != ::GetCurrentThreadId();
  uint32_t serial;
  {
    TLockGuard guard(PanelLock);
    serial = ++OpeningSerial;
    WantedDock = window;
  }
  if (!IsForeignThread)
    CreatePanel(window, serial);
  else if (HookHostWindow(window))
    ::PostMessageW(window, ProgressMessageID, pmCreatePanel, static_cast<LPARAM>(serial));
}

void ReleaseHostWindows() {
  std::vector<std::unique_ptr<TZentavoProgressForm>> panels;
  {
    TLockGuard guard(PanelLock);
    ++OpeningSerial;
    WantedDock = nullptr;
    RetireCurrent();
    for (const HWND wnd : HookedWindows) {
      const auto saved = reinterpret_cast<LONG_PTR>(::GetPropW(wnd, SavedProcProp));
      if (saved && ::GetWindowLongPtrW(wnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(HostWindowHookProc))
        ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, saved);
      ::RemovePropW(wnd, SavedProcProp);
    }
    HookedWindows.clear();
    for (TPanelEntry& entry : Panels) {
      if (entry.Panel->ThreadId() != ::GetCurrentThreadId()) DetachForeignPanel(entry.Panel->Handle());
      panels.push_back(std::move(entry.Panel));
    }
    Panels.clear();
  }
  panels.clear();  // outside the lock, as DestroyPanels does
  ProgressFormClosed = true;
}

void HideProgressForm() {
  if (ProgressFormClosed) return;
  std::unique_ptr<TZentavoProgressForm> ownPanel;
  HWND foreignDock = nullptr;
  {
    TLockGuard guard(PanelLock);
    ++OpeningSerial;
    WantedDock = nullptr;
    if (Current && Current->ThreadId() == ::GetCurrentThreadId()) {
      for (auto it = Panels.begin(); it != Panels.end(); ++it) {
        if (it->Panel.get() != Current) continue;
        ownPanel = std::move(it->Panel);
        Panels.erase(it);
        break;
      }
    } else if (Current) {
      foreignDock = CurrentDock;
    }
    RetireCurrent();
  }
  ownPanel.reset();
  // The panel's thread destroys it when it gets to the request; the window's
  // procedure may have gone back meanwhile (a panel made on the window's own
  // thread), so it is replaced again where needed.
  if (foreignDock && HookHostWindow(foreignDock)) ::PostMessageW(foreignDock, ProgressMessageID, pmClosePanel, 0);
  ProgressFormClosed = true;
  ParentWindow = HostMainWindow.load();
}

}  // namespace zv
