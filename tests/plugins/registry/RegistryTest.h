// The installed-plug-in registry and the profiles on real stores: Zentavo.cfg
// in a temporary folder or, with that file locked, the registry; copies of the
// test plug-in beside it (so their .cfg files are the test's); a recording
// error entry; the environment the test plug-in follows (Fixture.c).
#pragma once
#include <memory>
#include <optional>

#include "config/ConfigTestUtil.h"
#include "config/ProfileManager.h"
#include "config/SettingsManager.h"
#include "plugins/TransformBridge.h"
#include "support/GuiDriver.h"
#include "support/PluginFixtures.h"
#include "support/RegistryFixture.h"

namespace zvtest {

// The installed plug-ins as "<index>=<file>|<name>", by index.
inline std::wstring Listed(zv::TPluginManager& plugins) {
  std::wstring text;
  for (const zv::TPlugin* p : plugins.GetPlugins())
    text += std::to_wstring(p->Index) + L"=" + p->FileName + L"|" + p->Name + L" ";
  return text;
}

class TPluginRegistryTest : public TRegistryTest {
protected:
  void SetUp() override {
    TRegistryTest::SetUp();
    zv::InitPluginAPI();
    ::SetEnvironmentVariableW(L"ZVT_LOAD", L"ok");
    UseStore(true);
  }
  void TearDown() override {
    Stop();
    Held.reset();
    for (const wchar_t* name : {L"ZVT_LOAD", L"ZVT_UNLOADS", L"ZVT_INSTALL_NAME"}) ::SetEnvironmentVariableW(name, nullptr);
    TRegistryTest::TearDown();
  }

  // Frees the managers in the order unloading the library does, then makes
  // them in FsInit's order, on the main file or on the registry.
  void UseStore(bool inFile) {
    Stop();
    Held.reset();
    if (!inFile && !FileExists(ConfigFile())) WriteCfg(ConfigFile(), L"");
    if (!inFile) Held.emplace(ConfigFile());
    zv::GlobalSettingsManager = (Settings = std::make_unique<zv::TSettingsManager>(ConfigFile())).get();
    Settings->SetTempFolder(Temp.Path());
    zv::GlobalPluginManager = (Plugins = std::make_unique<zv::TPluginManager>()).get();
    zv::GlobalProfileManager = (Profiles = std::make_unique<zv::TProfileManager>(zv::skProfiles)).get();
  }
  void Restart() { UseStore(!Held); }
  void Stop() {
    zv::GlobalProfileManager = nullptr;
    Profiles.reset();
    zv::GlobalSettingsManager = nullptr;
    Settings.reset();
    zv::GlobalPluginManager = nullptr;
    Plugins.reset();
  }

  std::wstring ConfigFile() const { return Temp / L"Zentavo.cfg"; }
  zv::TPlugin* Install(const std::wstring& path, const std::wstring& name) {
    ::SetEnvironmentVariableW(L"ZVT_INSTALL_NAME", name.c_str());
    return Plugins->InstallPlugin(nullptr, path);
  }
  // A copy of a test plug-in named file (by default "<name>.zvx"), installed as name.
  zv::TPlugin* InstallCopy(const std::wstring& name, std::wstring file = L"", const std::wstring& fixture = L"ZvFixture") {
    const std::wstring path = Temp / (file.empty() ? name + L".zvx" : file);
    ::CopyFileW(FixturePath(fixture).c_str(), path.c_str(), FALSE);
    return Install(path, name);
  }
  zv::TPlugin* ByIndex(int32_t index) {
    for (zv::TPlugin* plugin : Plugins->GetPlugins())
      if (plugin->Index == index) return plugin;
    return nullptr;
  }
  zv::TPluginEntry Load(const zv::TPlugin* plugin) {
    return Plugins->LoadPlugin(*plugin, zv::skSettings, zv::TPluginManager::GetPluginKeyName(*plugin));
  }
  bool ConfigOpen(int32_t index) {  // the plug-in's own settings file
    zv::TConfigFileSettings* store = Plugins->GetPluginConfigFile(index);
    Settings->ReleasePluginConfigFile(store);
    return store != nullptr;
  }
  // ZV_Unload (or, by the counter's name, ZV_About) calls of every instance so far.
  static int Unloads(const wchar_t* counter = L"ZVT_UNLOADS") {
    wchar_t count[16] = L"0";
    ::GetEnvironmentVariableW(counter, count, 16);
    return _wtoi(count);
  }

  TTempDir Temp;
  std::optional<THeldFile> Held;
  TRecordingErrorEntry Errors;
  std::unique_ptr<zv::TSettingsManager> Settings;
  std::unique_ptr<zv::TPluginManager> Plugins;
  std::unique_ptr<zv::TProfileManager> Profiles;
};

}  // namespace zvtest
