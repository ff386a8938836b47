#include "services/ServiceManager.h"

#include <algorithm>
#include <atomic>

#include "config/SettingsManager.h"
#include "frontend/TCUtilities.h"
#include "platform/Dialogs.h"
#include "platform/Module.h"
#include "platform/ZvError.h"
#include "plugins/PluginFile.h"

namespace zv {

TServiceManager* GlobalServiceManager = nullptr;

namespace {

// The error codes of an exception inside the plug-in's ID and version queries.
constexpr uint32_t ecGetPluginIDException = ecExportExceptionBase + fiGetPluginID - 1;
constexpr uint32_t ecGetPluginVersionException = ecExportExceptionBase + fiGetPluginVersion - 1;

void ShowPlainErrorBox(const std::wstring& message) {
  ShowMessageBoxOwned(ParentWindow, message, L"Error", MB_ICONERROR);
}

// A notify window is turned over to the system's default procedure, so that
// none of our code runs for it again, and asked to close when its thread next
// dispatches (if that thread has ended, so has the window). It is never
// destroyed here: a worker learns from its thread's next dispatch that no
// handling of its completion is running there any more (ServiceThread.h),
// and a window may be destroyed only by its own thread anyway.
void ReleaseNotifyWindow(HWND wnd) {
  if (!wnd || !::IsWindow(wnd)) return;
  ::SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
  ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcW));
  ::PostMessageW(wnd, WM_CLOSE, 0, 0);
}

// "<ID>:<Version>", both unsigned decimal; an empty part reads as 0.
std::optional<std::pair<uint32_t, uint32_t>> ParseErrorsValueName(const std::wstring& name) {
  const size_t colon = name.find(L':');
  uint32_t id = 0, version = 0;
  if (colon == std::wstring::npos || !TryBaseToInt(name.substr(0, colon), 10, id) ||
      !TryBaseToInt(name.substr(colon + 1), 10, version))
    return std::nullopt;
  return std::pair(id, version);
}

}  // namespace

double CurrentDateTime() {
  SYSTEMTIME local;
  ::GetLocalTime(&local);
  FILETIME time;
  ::SystemTimeToFileTime(&local, &time);
  const double ticks = static_cast<double>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  constexpr double TicksPerDay = 864000000000.0;       // 100 ns units
  constexpr double DaysFrom1601To1899 = 109205.0;      // 1601-01-01 to 1899-12-30
  return ticks / TicksPerDay - DaysFrom1601To1899;
}

bool IsUpdateCheckDue(bool enabled, double lastCheck, int32_t intervalDays, double now) {
  return enabled && lastCheck + intervalDays < now;
}

// ---- life ----

TServiceManager::TServiceManager() {
  // One window class per load of the library: a class left registered by an
  // earlier load (its windows outlived it on a thread that never closed
  // them) can then never lend its stale procedure to our windows.
  static std::atomic<unsigned> loads{0};
  FWindowClass = L"ZentavoServiceNotify." + std::to_wstring(::GetCurrentProcessId()) + L"." +
                 std::to_wstring(reinterpret_cast<uintptr_t>(ThisModule())) + L"." + std::to_wstring(++loads) +
                 L"." + std::to_wstring(::GetTickCount64());
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &TServiceManager::NotifyWndProc;
  windowClass.hInstance = ThisModule();
  windowClass.lpszClassName = FWindowClass.c_str();
  ::RegisterClassExW(&windowClass);  // without it no worker starts; errors are still shown

  GlobalErrorEntry = this;
  if (TSettingsManager* settings = GlobalSettingsManager) {
    if (IsUpdateCheckDue(settings->GetCheckForUpdates(), settings->GetLastCheckUpdate(),
                         settings->GetCheckUpdateInterval(), CurrentDateTime()))
      CheckForUpdates(false);
  }
}

TServiceManager::~TServiceManager() {
  IErrorEntry* self = this;
  GlobalErrorEntry.compare_exchange_strong(self, nullptr);
  Dispose(FUpdateChecker);
  Dispose(FErrorReporter);
  ::UnregisterClassW(FWindowClass.c_str(), ThisModule());
}

template <typename TWorker>
void TServiceManager::Dispose(TWorkerSlot<TWorker>& slot) noexcept {
  // The window first: once the worker is let go, nothing of ours may handle it.
  ReleaseNotifyWindow(slot.Window);
  slot.Window = nullptr;
  slot.Worker.reset();
}

// ---- notify windows ----

HWND TServiceManager::CreateNotifyWindow() {
  return ::CreateWindowExW(0, FWindowClass.c_str(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), this);
}

LRESULT CALLBACK TServiceManager::NotifyWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* manager = reinterpret_cast<TServiceManager*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
  if (!manager) return ::DefWindowProcW(wnd, msg, wParam, lParam);
  try {
    return manager->WndProc(wnd, msg, wParam, lParam);
  } catch (...) {
    // The completion is lost: the worker stays held and nothing further is
    // started, which is what a failed start would have left too.
    return 0;
  }
}

LRESULT TServiceManager::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_REPORTERROR_DONE && wnd == FErrorReporter.Window) {
    FinishErrorReport();
    return 0;
  }
  if (msg == WM_CHECKUPDATE_DONE && wnd == FUpdateChecker.Window) {
    FinishUpdateCheck();
    return 0;
  }
  return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

// ---- update check ----

void TServiceManager::CheckForUpdates(bool interactive) noexcept {
  try {
    if (FUpdateChecker.Worker) return;  // one at a time; a second request is dropped
    FInteractive = interactive;
    IServiceWorkerFactory* workers = ServiceWorkerFactory;
    IInstalledPlugins* registry = InstalledPlugins;
    if (!workers || !registry) return;
    const std::vector<TInstalledPluginInfo> plugins = registry->GetPlugins();
    if (plugins.empty()) return;
    const HWND window = CreateNotifyWindow();
    if (!window) return;
    try {
      FUpdateChecker.Worker = workers->CreateUpdateChecker(window, plugins);
    } catch (...) {
      // Not started: nothing runs, nothing is shown.
    }
    if (FUpdateChecker.Worker) {
      FUpdateChecker.Window = window;
    } else {
      ReleaseNotifyWindow(window);
    }
  } catch (...) {
    // No plug-in list (out of memory): no check.
  }
}

void TServiceManager::FinishUpdateCheck() {
  try {
    FUpdateChecker.Worker->ShowResult(FInteractive);
  } catch (...) {
    // What could not be shown is dropped; the checker is freed all the same.
  }
  Dispose(FUpdateChecker);
}

// ---- the error entry ----

void TServiceManager::ReportError(TPluginFile* pluginFile, const std::wstring& message,
                                  const TErrorStruct& error) noexcept {
  try {
    FinishEndedErrorReport();
    if (FErrorReporter.Worker) return;  // a report is in flight: nothing is shown
    if (!FReportedErrors) LoadReportedErrors();
    if (FReportingDisabled || error.Code == 0) {
      ShowPlainErrorBox(message);
      return;
    }
    // Set before the queries, so a failing query is not asked again by the
    // error it reports itself (through this entry, nested).
    FNoPluginID = FNoPluginID || error.Code == ecGetPluginIDException;
    FNoPluginVersion = FNoPluginVersion || error.Code == ecGetPluginVersionException;
    // A plug-in no longer loaded (an update probe's) is asked nothing.
    const uint32_t id = pluginFile && !FNoPluginID && pluginFile->HasGetPluginID() ? pluginFile->GetPluginID() : 0;
    const uint32_t version = pluginFile && !FNoPluginVersion && pluginFile->HasGetPluginVersion()
                                 ? pluginFile->GetPluginVersion()
                                 : 0;

    IServiceWorkerFactory* workers = ServiceWorkerFactory;
    const bool eligible = id >= MinReportablePluginID && version >= MinReportablePluginVersion;
    if (!workers || !eligible || WasReported(id, version, error.Code)) {
      ShowPlainErrorBox(message);
      return;
    }
    TSettingsManager* settings = GlobalSettingsManager;
    if (!settings || settings->GetNotifyError()) {
      // The report travels while the box is open.
      StartErrorReporter(*workers, id, version, message, error);
      ShowPlainErrorBox(message);
    } else if (ShowReportErrorBox(ParentWindow, message, L"Error") == IDCANCEL) {
      StartErrorReporter(*workers, id, version, message, error);
    }
  } catch (...) {
    // Out of memory on the way: the error cannot be shown any more.
  }
}

void TServiceManager::StartErrorReporter(IServiceWorkerFactory& workers, uint32_t pluginID, uint32_t pluginVersion,
                                         const std::wstring& message, const TErrorStruct& error) {
  // An error of the ID query, reported meanwhile, may have started one.
  if (FErrorReporter.Worker) return;
  const HWND window = CreateNotifyWindow();
  if (!window) return;
  try {
    FErrorReporter.Worker = workers.CreateErrorReporter(window, pluginID, pluginVersion, message, error);
  } catch (...) {
    // Not started: the error was shown (or is about to be), and is not remembered.
  }
  if (FErrorReporter.Worker) {
    FErrorReporter.Window = window;
  } else {
    ReleaseNotifyWindow(window);
  }
}

void TServiceManager::FinishErrorReport() {
  IErrorReporter& reporter = *FErrorReporter.Worker;
  if (reporter.GetSuccess())
    RememberReportedError(reporter.GetPluginID(), reporter.GetPluginVersion(), reporter.GetErrorCode());
  Dispose(FErrorReporter);
}

// The thread that made the report's window may never dispatch its messages
// (the host's file thread does not), which would leave the report in flight
// for good: an ended report is finished here as its message would have.
void TServiceManager::FinishEndedErrorReport() noexcept {
  try {
    if (FErrorReporter.Worker && FErrorReporter.Worker->HasEnded()) FinishErrorReport();
  } catch (...) {
    // Remembering is best effort: the report is offered again next time.
  }
}

// ---- the reported errors ----

void TServiceManager::LoadReportedErrors() {
  FReportedErrors.emplace();
  try {
    TSettingsManager* settings = GlobalSettingsManager;
    if (!settings) throw EZvError(L"No settings manager");
    const std::optional<TStringList> names = settings->GetValueNames(skErrors, L"");
    if (!names) return;
    for (const std::wstring& name : *names) {
      const auto key = ParseErrorsValueName(name);
      if (!key) continue;
      // Read in one bounded step: another host process may rewrite the value.
      const std::optional<std::vector<uint8_t>> block = settings->ReadDataBlock(skErrors, L"", name);
      if (!block || block->empty()) continue;
      std::vector<uint32_t> codes;
      for (size_t i = 0; i + 1 < block->size(); i += 2) codes.push_back((*block)[i] | ((*block)[i + 1] << 8));
      // Two names for one pair (07:100 and 7:100): the store is not ours to trust.
      if (!FReportedErrors->emplace(*key, std::move(codes)).second)
        throw EZvError(L"Duplicate entry " + name);
    }
  } catch (...) {
    FReportingDisabled = true;  // until unload; what was read stays
  }
}

bool TServiceManager::WasReported(uint32_t pluginID, uint32_t pluginVersion, uint32_t code) const {
  const auto found = FReportedErrors->find({pluginID, pluginVersion});
  return found != FReportedErrors->end() &&
         std::find(found->second.begin(), found->second.end(), code) != found->second.end();
}

void TServiceManager::RememberReportedError(uint32_t pluginID, uint32_t pluginVersion, uint32_t code) {
  if (!FReportedErrors) FReportedErrors.emplace();
  try {
    std::vector<uint32_t>& codes = (*FReportedErrors)[{pluginID, pluginVersion}];
    codes.push_back(code);
    std::vector<uint8_t> block;
    block.reserve(codes.size() * 2);
    for (const uint32_t c : codes) {
      block.push_back(static_cast<uint8_t>(c & 0xFF));
      block.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
    }
    if (TSettingsManager* settings = GlobalSettingsManager)
      settings->WriteData(skErrors, L"", IntToBase(pluginID, 10) + L":" + IntToBase(pluginVersion, 10), block.data(),
                          static_cast<int32_t>(block.size()));
  } catch (...) {
    // A failed write is silent: the code stays remembered until unload.
  }
}

}  // namespace zv
