#include "frontend/Lifetime.h"

#include "config/ProfileManager.h"
#include "config/SettingsManager.h"
#include "engine/CreatedDirectories.h"
#include "frontend/BatchState.h"
#include "frontend/OperationBracket.h"
#include "frontend/ProgressHandOver.h"
#include "frontend/TCUtilities.h"
#include "platform/Boundary.h"
#include "plugins/PluginManager.h"
#include "plugins/TransformBridge.h"
#include "services/ServiceManager.h"
#include "services/ServiceWorkers.h"

namespace zv {

namespace {

// Makes a manager unless it exists. A failing constructor leaves none, and
// the managers after it are made all the same: each caller copes with a
// missing one.
template <typename TManager, typename TMake>
void MakeManager(TManager*& global, TMake make) {
  if (!global) global = GuardBoundary(static_cast<TManager*>(nullptr), make);
}

// Takes the manager out of its global before freeing it, so that what its
// destructor calls finds it gone rather than half freed.
template <typename TManager>
void FreeManager(TManager*& global) {
  TManager* manager = global;
  global = nullptr;
  GuardBoundary([&] { delete manager; });
}

}  // namespace

HWND FindHostMainWindow() {
  const DWORD self = ::GetCurrentProcessId();
  for (HWND window = ::FindWindowExW(nullptr, nullptr, HostMainWindowClass, nullptr); window;
       window = ::FindWindowExW(nullptr, window, HostMainWindowClass, nullptr)) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == self) return window;
  }
  return ::GetActiveWindow();
}

void InitLibrary(int32_t pluginNr, TProgressProc progressProc) {
  HostMainWindow = FindHostMainWindow();
  InitTransformBridge();
  InitPluginAPI();
  MakeManager(GlobalSettingsManager, [] { return new TSettingsManager(); });
  MakeManager(GlobalPluginManager, [] { return new TPluginManager(); });
  MakeManager(GlobalProfileManager, [] { return new TProfileManager(skProfiles); });
  // The online services' workers register themselves while the library is
  // loaded; naming them here also links them into the library.
  ServiceWorkerFactory = &OnlineServiceWorkers();
  MakeManager(GlobalServiceManager, [] { return new TServiceManager(); });
  PluginNumber = pluginNr;
  ProgressProc = progressProc;
  // A running batch keeps its state; it ends with the host's end of it.
  if (TransformActive) return;
  CreatedDirectories.reset();
  ProgressFormClosed = true;
  ParentWindow = HostMainWindow.load();
}

void UnloadLibrary(bool processExit) {
  if (!processExit) {
    AbandonOperation();
    ReleaseHostWindows();
  }
  // A report that ended unhandled (its thread ended, or the process exits) is
  // remembered while the settings manager can still keep it.
  if (TServiceManager* services = GlobalServiceManager) services->FinishEndedErrorReport();
  // The registry's end would unload the entries still waiting for their
  // plug-in's call: at exit that would call into plug-ins from the loader's
  // notification, so they are left as everything else is.
  if (processExit && GlobalPluginManager) GlobalPluginManager->AbandonWaiting();
  FreeManager(GlobalProfileManager);
  FreeManager(GlobalSettingsManager);
  FreeManager(GlobalPluginManager);
  FreeManager(GlobalServiceManager);
}

}  // namespace zv
