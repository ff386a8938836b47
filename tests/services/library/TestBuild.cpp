// The test build of the library: its own objects plus an export that only the
// unload tests call; never shipped. ZVT_Start makes the settings manager, an
// installed-plug-in list and the service manager as the library's start-up
// will (an update check is due), and the unload frees them in its order.
#include <windows.h>

#include <memory>

#include "config/SettingsManager.h"
#include "services/HttpTransport.h"
#include "services/ServiceManager.h"

namespace {

struct TManagers final : zv::IInstalledPlugins {
  std::vector<zv::TInstalledPluginInfo> GetPlugins() override { return Plugins; }
  ~TManagers() {
    zv::GlobalSettingsManager = nullptr;
    Settings.reset();
    zv::InstalledPlugins = nullptr;
    zv::GlobalServiceManager = nullptr;
    Services.reset();
  }
  std::unique_ptr<zv::TSettingsManager> Settings;
  std::vector<zv::TInstalledPluginInfo> Plugins;
  std::unique_ptr<zv::TServiceManager> Services;
} Managers;

}  // namespace

// The service on the loopback port with 1 s time-outs; plugin: the one installed plug-in.
extern "C" __declspec(dllexport) void __stdcall ZVT_Start(const wchar_t* configFile, const wchar_t* plugin, int port) {
  zv::SetServiceEndpoint(zv::THttpEndpoint{L"127.0.0.1", static_cast<uint16_t>(port), 1000, 1000, 2000});
  Managers.Settings = std::make_unique<zv::TSettingsManager>(configFile);
  Managers.Settings->SetCheckForUpdates(true);
  Managers.Settings->SetLastCheckUpdate(0.0);
  zv::GlobalSettingsManager = Managers.Settings.get();
  Managers.Plugins = {{L"Plugin", plugin}};
  zv::InstalledPlugins = &Managers;
  zv::ServiceWorkerFactory = &zv::OnlineServiceWorkers();
  Managers.Services = std::make_unique<zv::TServiceManager>();
  zv::GlobalServiceManager = Managers.Services.get();
}
