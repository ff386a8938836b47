#include "services/ServiceThread.h"

#include "platform/Boundary.h"
#include "platform/ZvError.h"

namespace zv {

namespace {

enum TStage : int { stWorking, stPosted, stCancelled };

// The longest wait for a cancelled job: cancelling ends an exchange at once,
// but not the start-up code of a plug-in library being probed.
constexpr DWORD MaxCancelWaitMs = 5000;

}  // namespace

// Shared by the owner and the thread, so that neither outlives what it uses.
struct TServiceThread::TState {
  std::function<void(HANDLE)> Job;
  HWND NotifyWnd = nullptr;
  UINT DoneMessage = 0;
  TScopedKernelHandle Released{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  TScopedKernelHandle JobDone{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  TScopedKernelHandle WindowThread;  // handles the completion message
  HMODULE Module = nullptr;    // our library, referenced for the thread
  std::atomic<int> Stage{stWorking};
  std::atomic<bool> Ended{false};
  std::atomic<bool> Dispatched{false};
};

TServiceThread::TServiceThread(HWND notifyWnd, UINT doneMessage, std::function<void(HANDLE released)> job)
    : FState(std::make_shared<TState>()) {
  TState& state = *FState;
  state.Job = std::move(job);
  state.NotifyWnd = notifyWnd;
  state.DoneMessage = doneMessage;
  if (!state.Released || !state.JobDone) RaiseLastOSError();
  state.WindowThread.Reset(::OpenThread(SYNCHRONIZE, FALSE, ::GetWindowThreadProcessId(notifyWnd, nullptr)));
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ThreadProc),
                            &state.Module))
    RaiseLastOSError();
  auto* parameter = new std::shared_ptr<TState>(FState);
  FThread.Reset(::CreateThread(nullptr, 0, &ThreadProc, parameter, CREATE_SUSPENDED, nullptr));
  if (!FThread) {
    const DWORD error = ::GetLastError();
    delete parameter;
    ::FreeLibrary(state.Module);  // the caller's own reference keeps us loaded
    RaiseOSError(error);
  }
  ::SetThreadPriority(FThread.Get(), THREAD_PRIORITY_BELOW_NORMAL);
  ::ResumeThread(FThread.Get());
}

TServiceThread::~TServiceThread() {
  ::SetEvent(FState->Released.Get());
  int working = stWorking;
  if (FState->Stage.compare_exchange_strong(working, stCancelled)) {
    // At its job: cancelled, and gone from the job's data before we go on.
    const HANDLE ends[2] = {FState->JobDone.Get(), FThread.Get()};
    ::WaitForMultipleObjects(2, ends, FALSE, MaxCancelWaitMs);
  }
}

bool TServiceThread::HasEnded() const { return FState->Ended; }

DWORD WINAPI TServiceThread::ThreadProc(void* parameter) {
  HMODULE module;
  {
    const std::shared_ptr<TState> state = *static_cast<std::shared_ptr<TState>*>(parameter);
    delete static_cast<std::shared_ptr<TState>*>(parameter);
    module = state->Module;
    GuardBoundary([&] { state->Job(state->Released.Get()); });
    state->Ended = true;
    GuardBoundary([&] { Finish(*state); });
  }
  // Nothing of ours may run after this call: it may unload the library.
  ::FreeLibraryAndExitThread(module, 0);
}

void CALLBACK TServiceThread::Answered(HWND, UINT, ULONG_PTR state, LRESULT) {
  reinterpret_cast<TState*>(state)->Dispatched = true;
}

// Posts the completion unless the owner has let go, and waits until no code
// of ours can run for it any more (see the header).
void TServiceThread::Finish(TState& state) {
  int working = stWorking;
  const bool posted = state.Stage.compare_exchange_strong(working, stPosted) &&
                      ::PostMessageW(state.NotifyWnd, state.DoneMessage, 0, 0);
  ::SetEvent(state.JobDone.Get());
  if (!posted) return;
  const HANDLE windowThread = state.WindowThread.Get();
  const HANDLE letGo[2] = {state.Released.Get(), windowThread};
  if (::WaitForMultipleObjects(windowThread ? 2 : 1, letGo, FALSE, INFINITE) != WAIT_OBJECT_0) return;
  // The window's procedure is the system's by now; its thread answers this
  // message the next time it dispatches, and the answer comes back to us as
  // a call of the callback while we dispatch.
  if (!::SendMessageCallbackW(state.NotifyWnd, WM_NULL, 0, 0, &Answered, reinterpret_cast<ULONG_PTR>(&state)))
    return;  // the window is gone: its thread has dispatched its close, or ended
  while (!state.Dispatched) {
    const DWORD waited =
        ::MsgWaitForMultipleObjectsEx(windowThread ? 1 : 0, &windowThread, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (windowThread && waited == WAIT_OBJECT_0) return;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
}

}  // namespace zv
