// The installed-plug-in registry and the profiles on real stores: a settings
// manager on a fresh Zentavo.cfg (and an empty Software\Zentavo key), copies
// of the test plug-in in a temporary folder (so their .cfg files are the
// test's), a recording error entry, and every box shown answered.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "config/ConfigTestUtil.h"
#include "config/ProfileManager.h"
#include "config/SettingsManager.h"
#include "plugins/PluginManager.h"
#include "plugins/TransformBridge.h"
#include "support/GuiDriver.h"
#include "support/PluginFixtures.h"
#include "support/RegistryFixture.h"

namespace zvtest {

class TPluginRegistryTest : public TRegistryTest {
protected:
  void SetUp() override {
    TRegistryTest::SetUp();
    zv::InitPluginAPI();
    ::SetEnvironmentVariableW(L"ZVT_LOAD", L"ok");
    ::SetEnvironmentVariableW(L"ZVT_UNLOADS", nullptr);
    Start();
  }
  void TearDown() override {
    Stop();
    Held.reset();
    for (const wchar_t* name : {L"ZVT_LOAD", L"ZVT_UNLOADS", L"ZVT_INSTALL_NAME"}) ::SetEnvironmentVariableW(name, nullptr);
    TRegistryTest::TearDown();
  }

  // The managers in the order the library makes them, freed in the order its unloading frees them.
  void Start() {
    Settings = std::make_unique<zv::TSettingsManager>(ConfigFile());
    zv::GlobalSettingsManager = Settings.get();
    Settings->SetTempFolder(Temp.Path());
    Plugins = std::make_unique<zv::TPluginManager>();
    zv::GlobalPluginManager = Plugins.get();
    Profiles = std::make_unique<zv::TProfileManager>(zv::skProfiles);
    zv::GlobalProfileManager = Profiles.get();
  }
  void Stop() {
    zv::GlobalProfileManager = nullptr;
    Profiles.reset();
    zv::GlobalSettingsManager = nullptr;
    Settings.reset();
    zv::GlobalPluginManager = nullptr;
    Plugins.reset();
  }
  void Restart() {
    Stop();
    Start();
  }
  // Starts again on the main file, or on the registry with the file locked.
  void UseStore(bool inFile) {
    Stop();
    Held.reset();
    if (!inFile) {
      if (!FileExists(ConfigFile())) WriteCfg(ConfigFile(), L"");
      Held.emplace(ConfigFile());
    }
    Start();
  }

  std::wstring ConfigFile() const { return Temp / L"Zentavo.cfg"; }
  zv::TPlugin* Install(const std::wstring& path, const std::wstring& name) {
    ::SetEnvironmentVariableW(L"ZVT_INSTALL_NAME", name.c_str());
    return Plugins->InstallPlugin(nullptr, path);
  }
  // A copy of the test plug-in named "<name>.zvx", installed as name.
  zv::TPlugin* InstallCopy(const std::wstring& name) {
    const std::wstring path = Temp / (name + L".zvx");
    ::CopyFileW(FixturePath().c_str(), path.c_str(), FALSE);
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
  // Whether the plug-in's own settings file is open now.
  bool ConfigOpen(int32_t index) {
    zv::TConfigFileSettings* store = Plugins->GetPluginConfigFile(index);
    Settings->ReleasePluginConfigFile(store);
    return store != nullptr;
  }
  static int Unloads() {
    wchar_t count[16] = L"0";
    ::GetEnvironmentVariableW(L"ZVT_UNLOADS", count, 16);
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
