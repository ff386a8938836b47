#include "support/HostWindowThread.h"

#include <stdexcept>

namespace zvtest {

namespace {
// A thread message that runs the function in lParam (none ends the loop), then
// signals the event in wParam, if any.
constexpr UINT RunMessage = WM_APP + 0x100;
constexpr DWORD WaitMs = 10000;
}  // namespace

THostWindowThread::THostWindowThread(int clientWidth, int clientHeight)
    : FReady(::CreateEventW(nullptr, FALSE, FALSE, nullptr)), FReleased(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  FThread = std::thread([=, this] { Loop(clientWidth, clientHeight); });
  ::WaitForSingleObject(FReady, INFINITE);
  if (!FWindow) {
    FThread.join();
    throw std::runtime_error("the host window did not come up");
  }
}

THostWindowThread::~THostWindowThread() {
  Release();
  ::PostThreadMessageW(FThreadId, RunMessage, 0, 0);
  FThread.join();
  ::CloseHandle(FReady);
  ::CloseHandle(FReleased);
}

void THostWindowThread::Loop(int clientWidth, int clientHeight) {
  WNDCLASSEXW wc{sizeof(wc)};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"ZvTestHostWindow";
  ::RegisterClassExW(&wc);  // fails harmlessly when registered by an earlier host
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
  RECT r{0, 0, clientWidth, clientHeight};
  ::AdjustWindowRectEx(&r, style, FALSE, 0);
  FThreadId = ::GetCurrentThreadId();
  FWindow = ::CreateWindowExW(0, wc.lpszClassName, L"Copying (test host)", style, 40, 40, r.right - r.left,
                              r.bottom - r.top, nullptr, nullptr, wc.hInstance, this);
  MSG msg;
  ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before anyone posts
  ::SetEvent(FReady);
  while (FWindow && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd || msg.message != RunMessage) {
      ::DispatchMessageW(&msg);
    } else if (msg.lParam) {
      (*reinterpret_cast<const std::function<void()>*>(msg.lParam))();
      if (msg.wParam) ::SetEvent(reinterpret_cast<HANDLE>(msg.wParam));
    } else {
      break;
    }
  }
  OnMessage = nullptr;  // what it recorded into may be gone
  if (::IsWindow(FWindow)) ::DestroyWindow(FWindow);
}

LRESULT CALLBACK THostWindowThread::WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE)
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  auto* self = reinterpret_cast<THostWindowThread*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && self->OnMessage) self->OnMessage(msg, wParam, lParam);
  return ::DefWindowProcW(window, msg, wParam, lParam);
}

void THostWindowThread::Run(const std::function<void()>& fn) {
  HANDLE done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ::PostThreadMessageW(FThreadId, RunMessage, reinterpret_cast<WPARAM>(done), reinterpret_cast<LPARAM>(&fn));
  const DWORD waited = ::WaitForSingleObject(done, WaitMs);
  ::CloseHandle(done);
  if (waited != WAIT_OBJECT_0) throw std::runtime_error("the host window's thread did not run the function");
}

void THostWindowThread::Hold() {
  ::ResetEvent(FReleased);
  FHold = [this] { ::WaitForSingleObject(FReleased, WaitMs); };
  // Messages posted after this one wait behind it.
  ::PostThreadMessageW(FThreadId, RunMessage, 0, reinterpret_cast<LPARAM>(&FHold));
}

}  // namespace zvtest
