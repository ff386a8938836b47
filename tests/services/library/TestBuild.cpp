// The test build of the library: its own objects plus an export that only the
// unload tests call; never shipped. ZVT_Start makes the settings manager, an
// installed-plug-in list and the service manager as the library's start-up
// will (an update check is due), and the unload frees them in its order.
#include <windows.h>

#include <vector>

#include "config/SettingsManager.h"
#include "plugins/PluginFile.h"
#include "services/HttpTransport.h"
#include "services/ServiceManager.h"
#include "services/ServiceThread.h"

namespace {

struct TPlugins final : zv::IInstalledPlugins {
  std::vector<zv::TInstalledPluginInfo> GetPlugins() override { return List; }
  ~TPlugins() { zv::InstalledPlugins = nullptr; }
  std::vector<zv::TInstalledPluginInfo> List;
} Plugins;

}  // namespace

// The service on the loopback port with 1 s time-outs; plugin: the one
// installed plug-in. The hooks of this copy of the library (a stand-in for the
// name server, and one run on each worker's thread as its job starts) are set
// first.
extern "C" __declspec(dllexport) void __stdcall ZVT_Start(const wchar_t* configFile, const wchar_t* plugin, int port,
                                                          void (*lookup)(const wchar_t*), void (*job)()) {
  zv::NameLookupHook = lookup;
  zv::ServiceJobFaultHook = job;
  zv::SetServiceEndpoint(zv::THttpEndpoint{L"127.0.0.1", static_cast<uint16_t>(port), 1000, 1000, 2000});
  // The managers belong to the library's globals, as FsInit's do: its unload frees them.
  zv::GlobalSettingsManager = new zv::TSettingsManager(configFile);
  zv::GlobalSettingsManager->SetCheckForUpdates(true);
  zv::GlobalSettingsManager->SetLastCheckUpdate(0.0);
  Plugins.List = {{L"Plugin", plugin}};
  zv::InstalledPlugins = &Plugins;
  zv::ServiceWorkerFactory = &zv::OnlineServiceWorkers();
  zv::GlobalServiceManager = new zv::TServiceManager();
}

// An error of the plug-in at `plugin` to the error entry, on the calling thread.
extern "C" __declspec(dllexport) void __stdcall ZVT_ReportError(const wchar_t* plugin, uint32_t code) {
  zv::TPluginFile probe(plugin, nullptr);
  if (probe.ResolveExports()) zv::GlobalServiceManager->ReportError(&probe, L"Failed", {code, L"t", L""});
}
