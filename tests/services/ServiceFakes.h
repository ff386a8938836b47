// Stand-ins for the service tests: workers whose threads post their real
// completion messages to the manager's real notify windows when the test lets
// them, a worker factory that records what it started, and the answering of
// the error boxes.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "services/ServiceWorkers.h"
#include "support/GuiDriver.h"

namespace zvtest {

// A worker thread that waits for the gate to open, then posts its completion
// message as its last act and counts itself as ended.
class TFakeThread {
public:
  TFakeThread(HWND notifyWnd, UINT doneMessage, HANDLE gate, std::atomic<int>& endedCount)
      : FThread([this, notifyWnd, doneMessage, gate, &endedCount] {
          ::WaitForSingleObject(gate, INFINITE);
          ::PostMessageW(notifyWnd, doneMessage, 0, 0);
          FEnded = true;
          ++endedCount;
        }) {}
  ~TFakeThread() { FThread.join(); }
  bool Ended() const { return FEnded; }

private:
  std::atomic<bool> FEnded{false};
  std::thread FThread;
};

struct TStartedReport {
  uint32_t PluginID, PluginVersion;
  std::wstring Message;
  zv::TErrorStruct Error;
};

class TFakeWorkers : public zv::IServiceWorkerFactory {
public:
  TFakeWorkers() { zv::ServiceWorkerFactory = this; }
  ~TFakeWorkers() {
    zv::ServiceWorkerFactory = nullptr;
    ::CloseHandle(Gate);
  }

  std::unique_ptr<zv::IUpdateChecker> CreateUpdateChecker(
      HWND notifyWnd, const std::vector<zv::TInstalledPluginInfo>& plugins) override {
    CheckedPlugins.push_back(plugins);
    return std::make_unique<TChecker>(*this, notifyWnd);
  }
  std::unique_ptr<zv::IErrorReporter> CreateErrorReporter(HWND notifyWnd, uint32_t pluginID, uint32_t pluginVersion,
                                                          const std::wstring& message,
                                                          const zv::TErrorStruct& error) override {
    Reports.push_back({pluginID, pluginVersion, message, error});
    return std::make_unique<TReporter>(*this, notifyWnd, Reports.back());
  }

  // Workers finish at once while the gate is open.
  void HoldWorkers() { ::ResetEvent(Gate); }
  void ReleaseWorkers() { ::SetEvent(Gate); }

  bool ReportSucceeds = true;
  std::vector<TStartedReport> Reports;
  std::vector<std::vector<zv::TInstalledPluginInfo>> CheckedPlugins;
  std::vector<bool> ShownResults;  // the interactive flag of each ShowResult
  int Freed = 0;                   // workers destroyed
  std::atomic<int> Ended{0};       // worker threads ended
  HANDLE Gate = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);

private:
  class TReporter : public zv::IErrorReporter {
  public:
    TReporter(TFakeWorkers& owner, HWND wnd, const TStartedReport& report)
        : FOwner(owner), FReport(report), FSuccess(owner.ReportSucceeds), FThread(wnd, zv::WM_REPORTERROR_DONE, owner.Gate, owner.Ended) {}
    ~TReporter() override { ++FOwner.Freed; }
    bool HasEnded() override { return FThread.Ended(); }
    bool GetSuccess() override { return FSuccess; }
    uint32_t GetPluginID() override { return FReport.PluginID; }
    uint32_t GetPluginVersion() override { return FReport.PluginVersion; }
    uint32_t GetErrorCode() override { return FReport.Error.Code; }

  private:
    TFakeWorkers& FOwner;
    TStartedReport FReport;
    bool FSuccess;
    TFakeThread FThread;
  };

  class TChecker : public zv::IUpdateChecker {
  public:
    TChecker(TFakeWorkers& owner, HWND wnd) : FOwner(owner), FThread(wnd, zv::WM_CHECKUPDATE_DONE, owner.Gate, owner.Ended) {}
    ~TChecker() override { ++FOwner.Freed; }
    bool HasEnded() override { return FThread.Ended(); }
    void ShowResult(bool interactive) override { FOwner.ShownResults.push_back(interactive); }

  private:
    TFakeWorkers& FOwner;
    TFakeThread FThread;
  };
};

// Dispatches this thread's messages until the condition holds (bounded).
inline bool PumpUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 500 && !condition(); ++i) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(10);
  }
  return condition();
}

// A message box as the user saw it.
struct TSeenBox {
  std::wstring Text;
  bool HasReportButton;
};

// Runs act on this thread while a driver answers the next `count` error boxes
// with the button of id `answer` (IDCANCEL is "Report error").
inline std::vector<TSeenBox> AnswerBoxes(const std::function<void()>& act, int count, int answer = IDOK) {
  std::vector<TSeenBox> boxes;
  TGuiDriver driver([&] {
    for (int i = 0; i < count; ++i) {
      HWND box = WaitForMessageBox(L"Error");
      boxes.push_back({MessageBoxText(box), FindChild(box, L"Report error") != nullptr});
      PressButtonId(box, answer);
      WaitForWindowGone(box);
    }
  });
  act();
  driver.Join();
  return boxes;
}

namespace detail {
inline thread_local int ActivatedWindows = 0;
inline LRESULT CALLBACK CloseEachActivated(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    ++ActivatedWindows;
    ::PostMessageW(reinterpret_cast<HWND>(wParam), WM_CLOSE, 0, 0);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace detail

// Runs act on this thread and counts the windows it brings up there, closing
// each at once: for acts that must show nothing.
inline int CountShownWindows(const std::function<void()>& act) {
  detail::ActivatedWindows = 0;
  HHOOK hook = ::SetWindowsHookExW(WH_CBT, &detail::CloseEachActivated, nullptr, ::GetCurrentThreadId());
  act();
  ::UnhookWindowsHookEx(hook);
  return detail::ActivatedWindows;
}

}  // namespace zvtest
