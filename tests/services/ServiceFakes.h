// Stand-ins for the service tests: workers whose threads post their
// completion messages to the manager's real notify windows when the test
// lets them, a factory that records what it started, and ways to see boxes
// and the record of reported errors.
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
#include "support/RegistryFixture.h"

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
  std::wstring Caption, Text;
  bool HasReportButton;
};

// Runs act on this thread, answering each box this thread shows with the
// button of id `answer` (IDCANCEL is "Report error"), and dispatches until
// `count` boxes came (boxes that a worker's completion brings come after act).
inline std::vector<TSeenBox> AnswerBoxes(const std::function<void()>& act, size_t count, int answer = IDOK) {
  std::vector<TSeenBox> seen;
  TBoxAnswerer boxes(std::vector<int>(count, answer));
  boxes.OnBox = [&](const TBoxAnswerer::TBox& box) {
    seen.push_back({box.Caption, box.Text, FindChild(box.Window, L"Report error") != nullptr});
  };
  act();
  PumpUntil([&] { return seen.size() >= count; });
  return seen;
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

// The stored record of the errors reported for "<id>:<version>"; empty when there is none.
inline std::vector<unsigned char> StoredErrors(const std::wstring& name) {
  DWORD type = 0;
  std::vector<unsigned char> bytes;
  RegGetRaw(L"Errors", name, type, bytes);
  return bytes;
}

}  // namespace zvtest
