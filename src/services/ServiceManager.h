// The owner of the online services and the one entry through which every
// plug-in error reaches the user: each error is shown, and errors of
// plug-ins that take part in reporting are reported once per plug-in version
// and code, automatically or when the user chooses "Report error". Which
// codes were reported is kept in the settings section "Errors" (always the
// registry) as "<ID>:<Version>" = the codes as 16-bit little-endian words.
//
// Threads: the entry runs on the thread of its caller (the user-interface
// thread or the host's file thread) and takes no lock. Each worker's notify
// window is made on the thread that started the worker, so its completion is
// handled when that thread next dispatches messages; a report whose thread
// has ended is also finished by the next error and at unload, since the file
// thread may never dispatch again, or end.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "services/ErrorEntry.h"
#include "services/ServiceWorkers.h"

namespace zv {

class TServiceManager final : public IErrorEntry {
public:
  // Becomes the error entry, then starts the update check when it is due.
  TServiceManager();
  // Frees both workers and their windows, and stops being the error entry.
  ~TServiceManager() override;
  TServiceManager(const TServiceManager&) = delete;
  TServiceManager& operator=(const TServiceManager&) = delete;

  // Starts an update check unless one runs or no plug-in is installed.
  // interactive: asked for by the user, who is then told every outcome.
  void CheckForUpdates(bool interactive) noexcept;
  // Shows the error (message: the full text, naming the plug-in and the
  // operation) and reports it where allowed. While a report is in flight it
  // shows nothing.
  void ReportError(TPluginFile* pluginFile, const std::wstring& message, const TErrorStruct& error) noexcept override;
  // Finishes a report whose thread has ended but whose completion was not
  // handled, as its completion would have: the unload calls it while the
  // settings manager, which keeps the reported errors, still exists.
  void FinishEndedErrorReport() noexcept;

private:
  template <typename TWorker>
  struct TWorkerSlot {
    std::unique_ptr<TWorker> Worker;
    HWND Window = nullptr;
  };
  using TPluginKey = std::pair<uint32_t, uint32_t>;  // plug-in ID and version

  static LRESULT CALLBACK NotifyWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND CreateNotifyWindow();
  template <typename TWorker>
  static void Dispose(TWorkerSlot<TWorker>& slot) noexcept;

  void StartErrorReporter(IServiceWorkerFactory& workers, uint32_t pluginID, uint32_t pluginVersion,
                          const std::wstring& message, const TErrorStruct& error);
  void FinishErrorReport();
  void FinishUpdateCheck();
  void LoadReportedErrors();
  void RememberReportedError(uint32_t pluginID, uint32_t pluginVersion, uint32_t code);
  bool WasReported(uint32_t pluginID, uint32_t pluginVersion, uint32_t code) const;

  std::wstring FWindowClass;
  bool FInteractive = false;
  TWorkerSlot<IUpdateChecker> FUpdateChecker;
  TWorkerSlot<IErrorReporter> FErrorReporter;
  bool FReportingDisabled = false;
  std::optional<std::map<TPluginKey, std::vector<uint32_t>>> FReportedErrors;  // loaded at the first error
  bool FNoPluginID = false;
  bool FNoPluginVersion = false;
};

// The single instance, made by FsInit after the other managers and freed last.
extern TServiceManager* GlobalServiceManager;

// Plug-ins take part in reporting with an ID of at least 1000000000 and a
// version of at least 100 (1.0).
inline constexpr uint32_t MinReportablePluginID = 1000000000;
inline constexpr uint32_t MinReportablePluginVersion = 100;

// The local date and time as days since 1899-12-30, as LastCheckUpdate stores it.
double CurrentDateTime();
// The automatic check is due when it is on and the interval has passed.
bool IsUpdateCheckDue(bool enabled, double lastCheck, int32_t intervalDays, double now);

}  // namespace zv
