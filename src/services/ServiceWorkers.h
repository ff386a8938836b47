// What the service manager needs of its two workers (the update checker and
// the error reporter) and of the installed-plug-in registry. The online
// services unit registers the worker factory, the registry the plug-in list;
// with nothing registered no update check starts, and errors that could be
// reported are only shown.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugins/ErrorStruct.h"

namespace zv {

// Completion messages a worker posts to its notify window, wParam and lParam 0.
inline constexpr UINT WM_CHECKUPDATE_DONE = WM_USER + 1;
inline constexpr UINT WM_REPORTERROR_DONE = WM_USER + 2;

// A worker thread. The service manager owns it and its notify window; the
// worker only posts its completion message there, as the last thing its job
// does, and never calls back into the manager.
//
// For unloading: a worker keeps our library loaded while its thread runs
// (it takes a reference on our module before the thread starts and drops it
// with FreeLibraryAndExitThread), so the library is never unloaded under a
// running worker and no waiting is needed at unload. The reference lasts
// until the manager has let the worker go and the window's thread has left
// the handling of its completion (services/ServiceThread.h). The manager
// therefore turns the window over to the system before it frees the worker,
// and that final unload may run on the worker's own thread, where the
// destructor does not wait.
class IServiceWorker {
public:
  virtual ~IServiceWorker() = default;
  // True once the work has ended and its results are final, whether or not
  // its completion message has been handled: the thread that made the notify
  // window may never dispatch messages (the host's file thread), and the
  // manager then finishes the work on its next call.
  virtual bool HasEnded() = 0;
};

class IUpdateChecker : public IServiceWorker {
public:
  // Tells the user what the check found (the waiting for the owner window,
  // the boxes, the updates dialog and the time of the last check), on the
  // thread that handles the completion message. interactive: the user asked
  // for the check.
  virtual void ShowResult(bool interactive) = 0;
};

class IErrorReporter : public IServiceWorker {
public:
  // Read only after the thread has ended.
  virtual bool GetSuccess() = 0;
  virtual uint32_t GetPluginID() = 0;
  virtual uint32_t GetPluginVersion() = 0;
  virtual uint32_t GetErrorCode() = 0;
};

// An installed plug-in as the update check sees it.
struct TInstalledPluginInfo {
  std::wstring Name;  // the name given at installation
  std::wstring Path;  // the library's full path
};

class IServiceWorkerFactory {
public:
  // Each starts a worker at lower priority that copies its inputs (the caller
  // may free them at once) and posts its completion message to notifyWnd.
  // Raise when the worker cannot be started.
  virtual std::unique_ptr<IUpdateChecker> CreateUpdateChecker(HWND notifyWnd,
                                                              const std::vector<TInstalledPluginInfo>& plugins) = 0;
  virtual std::unique_ptr<IErrorReporter> CreateErrorReporter(HWND notifyWnd, uint32_t pluginID,
                                                              uint32_t pluginVersion, const std::wstring& message,
                                                              const TErrorStruct& error) = 0;

protected:
  ~IServiceWorkerFactory() = default;
};

class IInstalledPlugins {
public:
  // Every installed plug-in, in no particular order.
  virtual std::vector<TInstalledPluginInfo> GetPlugins() = 0;

protected:
  ~IInstalledPlugins() = default;
};

// Set by the online services unit and by the installed-plug-in registry while
// they live (user-interface thread, at FsInit and unload); read by the
// service manager.
inline std::atomic<IServiceWorkerFactory*> ServiceWorkerFactory{nullptr};
inline std::atomic<IInstalledPlugins*> InstalledPlugins{nullptr};

// The real workers (the update checker and the error reporter over HTTP),
// registered in ServiceWorkerFactory while their unit is linked in.
IServiceWorkerFactory& OnlineServiceWorkers();

}  // namespace zv
