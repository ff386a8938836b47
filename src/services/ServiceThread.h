// The worker thread of the online services (the update checker's and the
// error reporter's): created suspended, one step below normal priority, and
// started at the end of its constructor. It runs its job, then posts its
// completion message to the notify window.
//
// Unloading: the thread holds a reference on our library from before it
// starts until FreeLibraryAndExitThread, so the library is never unloaded
// under a running worker and nobody waits for one under the loader lock.
// The reference must also cover the handling of the completion message on
// the notify window's thread, which may run after the host has freed the
// library: after posting, the thread waits until its owner lets it go (the
// service manager frees the worker at the end of that handling and turns the
// window over to the system's procedure), then until the window's thread has
// dispatched once more, which it can only do outside that handling. Only then
// is the reference dropped, and no code of ours runs for the worker again.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

#include "platform/WinHandle.h"

namespace zv {

class TServiceThread {
public:
  // job: the work, run on the new thread with an event that is set when the
  // owner lets go (it cancels what the job waits for); it catches its own
  // failures, and one that escapes is dropped. Raises when no thread starts.
  TServiceThread(HWND notifyWnd, UINT doneMessage, std::function<void(HANDLE released)> job);
  // Lets the thread go. A thread still at its job is cancelled and waited
  // for (bounded) and posts nothing; one that has posted its completion ends
  // by itself once the window's thread has dispatched again.
  ~TServiceThread();
  TServiceThread(const TServiceThread&) = delete;
  TServiceThread& operator=(const TServiceThread&) = delete;

  // The job is over and its results final; its completion may still be unhandled.
  bool HasEnded() const;

private:
  struct TState;
  static DWORD WINAPI ThreadProc(void* parameter);
  static void Finish(TState& state);
  static void CALLBACK Answered(HWND, UINT, ULONG_PTR state, LRESULT);

  std::shared_ptr<TState> FState;
  TScopedKernelHandle FThread;
};

// For tests only: called at the start of every worker's job; a hook that
// throws stands for any unforeseen failure inside a job.
inline std::atomic<void (*)()> ServiceJobFaultHook{nullptr};

}  // namespace zv
