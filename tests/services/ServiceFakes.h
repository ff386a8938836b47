// Stand-ins for the service tests: workers whose threads post their
// completion messages to the manager's real notify windows when the test
// lets them, a factory that records what it started, and ways to see boxes.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "services/ServiceWorkers.h"
#include "support/GuiDriver.h"

namespace zvtest {

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
    return std::make_unique<TWorker>(*this, notifyWnd, zv::WM_CHECKUPDATE_DONE, TStartedReport{});
  }
  std::unique_ptr<zv::IErrorReporter> CreateErrorReporter(HWND notifyWnd, uint32_t pluginID, uint32_t pluginVersion,
                                                          const std::wstring& message,
                                                          const zv::TErrorStruct& error) override {
    Reports.push_back({pluginID, pluginVersion, message, error});
    return std::make_unique<TWorker>(*this, notifyWnd, zv::WM_REPORTERROR_DONE, Reports.back());
  }

  // Workers end at once while the gate is open.
  void HoldWorkers() { ::ResetEvent(Gate); }
  void ReleaseWorkers() { ::SetEvent(Gate); }

  bool ReportSucceeds = true;
  std::vector<TStartedReport> Reports;
  std::vector<std::vector<zv::TInstalledPluginInfo>> CheckedPlugins;
  std::vector<bool> ShownResults;  // the interactive flag of each checker's ShowResult
  int Freed = 0;
  std::atomic<int> Ended{0};  // threads
  HANDLE Gate = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);

private:
  // Either worker: waits for the gate, posts its message, counts itself as ended.
  class TWorker : public zv::IErrorReporter, public zv::IUpdateChecker {
  public:
    TWorker(TFakeWorkers& owner, HWND wnd, UINT doneMessage, const TStartedReport& report)
        : FOwner(owner), FReport(report), FSuccess(owner.ReportSucceeds), FThread([this, wnd, doneMessage] {
            ::WaitForSingleObject(FOwner.Gate, INFINITE);
            ::PostMessageW(wnd, doneMessage, 0, 0);
            FEnded = true;
            ++FOwner.Ended;
          }) {}
    ~TWorker() override {
      FThread.join();
      ++FOwner.Freed;
    }
    bool HasEnded() override { return FEnded; }
    bool GetSuccess() override { return FSuccess; }
    uint32_t GetPluginID() override { return FReport.PluginID; }
    uint32_t GetPluginVersion() override { return FReport.PluginVersion; }
    uint32_t GetErrorCode() override { return FReport.Error.Code; }
    void ShowResult(bool interactive) override { FOwner.ShownResults.push_back(interactive); }

  private:
    TFakeWorkers& FOwner;
    TStartedReport FReport;
    bool FSuccess;
    std::atomic<bool> FEnded{false};
    std::thread FThread;
  };
};

// The installed plug-ins the service manager sees; registered while it lives.
class TFakePlugins : public zv::IInstalledPlugins {
public:
  TFakePlugins() { zv::InstalledPlugins = this; }
  ~TFakePlugins() { zv::InstalledPlugins = nullptr; }
  std::vector<zv::TInstalledPluginInfo> GetPlugins() override { return List; }
  std::vector<zv::TInstalledPluginInfo> List{{L"Packer", L"C:\\Plugins\\packer.zvx"}};
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

// A box as the user saw it.
struct TSeenBox {
  std::wstring Text;
  bool HasReportButton;
  std::wstring Caption;
  DWORD Thread;  // that showed it
};

// Runs act on this thread while a driver answers the next `count` boxes of
// the caption with the button of id `answer` (IDCANCEL is "Report error");
// then dispatches until they are answered (boxes that a worker's completion
// brings come after act).
inline std::vector<TSeenBox> AnswerBoxes(const std::function<void()>& act, int count, int answer = IDOK,
                                         const std::wstring& caption = L"Error") {
  std::vector<TSeenBox> boxes;
  std::atomic<int> answered{0};
  TGuiDriver driver([&] {
    for (int i = 0; i < count; ++i) {
      HWND box = WaitForMessageBox(caption);
      boxes.push_back({MessageBoxText(box), FindChild(box, L"Report error") != nullptr, GetText(box),
                       ::GetWindowThreadProcessId(box, nullptr)});
      PressButtonId(box, answer);
      WaitForWindowGone(box);
      ++answered;
    }
  });
  act();
  PumpUntil([&] { return answered == count; });
  driver.Join();
  return boxes;
}

// Runs act on this thread and counts the windows it brings up there, closing
// each at once: for acts that must show nothing.
inline thread_local int ShownWindows = 0;
inline LRESULT CALLBACK CountAndClose(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    ++ShownWindows;
    ::PostMessageW(reinterpret_cast<HWND>(wParam), WM_CLOSE, 0, 0);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
inline int CountShownWindows(const std::function<void()>& act) {
  ShownWindows = 0;
  HHOOK hook = ::SetWindowsHookExW(WH_CBT, &CountAndClose, nullptr, ::GetCurrentThreadId());
  act();
  ::UnhookWindowsHookEx(hook);
  return ShownWindows;
}

}  // namespace zvtest
