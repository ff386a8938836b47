// The test build of the library: its own objects plus exports that only the
// unload tests call; never shipped. ZVT_Start makes the settings manager, an
// installed-plug-in list and the service manager as the library's start-up
// will (an update check is due), and the unload frees them in its order.
#include <windows.h>

#include <vector>

#include "config/SettingsManager.h"
#include "platform/Boundary.h"
#include "plugins/PluginFile.h"
#include "plugins/PluginManager.h"
#include "plugins/TransformBridge.h"
#include "services/HttpTransport.h"
#include "services/ServiceManager.h"
#include "services/ServiceThread.h"
#include "support/PluginFixtures.h"

namespace {

struct TPlugins final : zv::IInstalledPlugins {
  std::vector<zv::TInstalledPluginInfo> GetPlugins() override { return List; }
  ~TPlugins() { zv::InstalledPlugins = nullptr; }
  std::vector<zv::TInstalledPluginInfo> List;
} Plugins;

zv::TPluginEntry Held;

// Lets go of the entry from inside its own ZV_Settings, as a dialog left
// usable by the plug-in's window would.
uintptr_t __stdcall LetGoOfTheEntry() {
  Held.reset();
  return zv::ZVS_CHANGED;
}

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

// The settings manager on configFile and the plug-in registry, as FsInit
// makes them, with the test plug-in at `plugin` installed (under the name the
// environment gives) and one pipe entry of it let go of during its own
// ZV_Settings, so that the entry waits in the registry for the unload. The
// entry's ZV_Unload calls `unloaded`; its stored defaults get a value that
// only the unload writes to the plug-in's own settings file. True when the
// entry waits: its library still loaded after the call.
extern "C" __declspec(dllexport) BOOL __stdcall ZVT_LeaveEntryWaiting(const wchar_t* configFile, const wchar_t* plugin,
                                                                      uintptr_t(__stdcall* unloaded)()) {
  return zv::GuardBoundary(FALSE, [&]() -> BOOL {
    zv::InitPluginAPI();
    zv::GlobalSettingsManager = new zv::TSettingsManager(configFile);
    zv::GlobalPluginManager = new zv::TPluginManager();
    const zv::TPlugin* installed = zv::GlobalPluginManager->InstallPlugin(nullptr, plugin);
    if (!installed) return FALSE;
    const std::wstring key = zv::TPluginManager::GetPluginKeyName(*installed);
    Held = zv::GlobalPluginManager->LoadPlugin(*installed, zv::skSettings, key);
    if (!Held) return FALSE;
    zv::GlobalSettingsManager->WriteNumber(zv::skSettings, key, L"Level", 7);
    zv::TPluginFile& file = *Held->PluginFile;
    const HMODULE module = file.Handle();
    zvtest::TFixtureControl fixture(file);
    fixture.Set(zv::fiSettings, zvtest::fbCallHost, reinterpret_cast<uintptr_t>(&LetGoOfTheEntry));
    fixture.Set(zv::fiUnload, zvtest::fbCallHost, reinterpret_cast<uintptr_t>(unloaded));
    if (file.Settings(false) != zv::ZVS_CHANGED || Held) return FALSE;
    wchar_t name[MAX_PATH];
    return ::GetModuleFileNameW(module, name, MAX_PATH) != 0;
  });
}
