// A stand-in for the host's copy-progress window: a plain top-level window on
// a thread of its own with a message loop, as the host's user-interface thread
// keeps it while file calls run elsewhere. Functions run on that thread in
// turn with what was posted to the window before them.
#pragma once
#include <windows.h>

#include <functional>
#include <thread>

namespace zvtest {

class THostWindowThread {
public:
  THostWindowThread(int clientWidth, int clientHeight);
  // Destroys the window (if it still exists) on its thread and ends the thread.
  ~THostWindowThread();

  HWND Handle() const { return FWindow; }
  DWORD ThreadId() const { return FThreadId; }
  static WNDPROC OwnProc() { return WindowProc; }  // the window's procedure, as the host made it

  // Runs fn on the window's thread after what was posted before, and waits for it.
  void Run(const std::function<void()>& fn);
  void Sync() { Run([] {}); }
  // The window's thread handles nothing more until Release.
  void Hold();
  void Release() { ::SetEvent(FReleased); }
  void BringToForeground() { Run([this] { ::SetForegroundWindow(FWindow); }); }

  // Sees every message that reaches the window's own procedure; set it through Run.
  std::function<void(UINT msg, WPARAM wParam, LPARAM lParam)> OnMessage;

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  void Loop(int clientWidth, int clientHeight);

  HWND FWindow = nullptr;
  DWORD FThreadId = 0;
  HANDLE FReady, FReleased;  // the window is up; a Hold may end
  std::function<void()> FHold;
  std::thread FThread;
};

}  // namespace zvtest
