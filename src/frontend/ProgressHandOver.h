// Opening and closing the progress panel of a batch, and the hand-over of its
// lines to the thread of the host's copy-progress window.
//
// The panel docks into the foreground window at the batch's first file (the
// host's copy-progress window) and is created, written and destroyed only on
// that window's thread. When the file calls run on another thread, the window's
// procedure is replaced (once per window, until the window hides or is
// destroyed) so that our registered message reaches the window's thread: it
// creates the panel, shows the queued line texts and destroys a panel whose
// batch has ended. One lock guards which panel exists; nobody holding it waits
// for another thread (only posts), so neither thread can block the other.
//
// While a panel exists, a long-lived receiver is registered as ProgressLines
// (engine/ProgressLines.h); the host's progress callback is reached through
// HostProgress (engine/HostProgress.h), registered when the library is loaded.
#pragma once
#include <windows.h>

namespace zv {

// At every file of a batch (the file calls' thread); acts at the first only.
// A foreground window of another process (the user switched away) gets no
// panel and does not own the batch's boxes: they stay with HostMainWindow.
void ShowProgressForm();
// At the batch's end, on whatever thread the host ends it. A panel of another
// thread is left to that thread: it is asked by message to destroy it.
void HideProgressForm();

// At unload: every host window whose procedure we replaced gets its own
// back, and every panel is destroyed (one of another thread loses our
// procedures and is closed by its thread), so that no window calls into the
// unloaded library. Takes only the panels' lock, whose holders never wait.
void ReleaseHostWindows();

// The replacement procedure of a host window that shows a panel for another thread.
LRESULT CALLBACK HostWindowHookProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The foreground-window query of ShowProgressForm; tests replace it.
using TForegroundWindowQuery = HWND(WINAPI*)();
extern TForegroundWindowQuery ForegroundWindowQuery;

}  // namespace zv
