#include "config/SettingsManager.h"

#include <windows.h>

#include <cstring>

#include "config/ConfigFileSettings.h"
#include "config/NumberText.h"
#include "config/PluginConfigFiles.h"
#include "config/RegistrySettings.h"
#include "platform/FileSystem.h"
#include "platform/Module.h"

namespace zv {

TSettingsManager* GlobalSettingsManager = nullptr;

namespace {
const wchar_t* const kSectionNames[] = {L"Settings", L"Plugins", L"Profiles", L"TransformPipe", L"Errors"};
const wchar_t* const kOptionsSubKey = L"";  // the options live in "Settings" itself

// A reference on a plug-in's file store, dropped (and the store freed with the
// last one) when the routed call that borrowed it ends, still under the lock.
struct TReleaseConfigFile {
  void operator()(TConfigFileSettings* store) const {
    if (store->Release()) delete store;
  }
};
using TBorrowedConfigFile = std::unique_ptr<TConfigFileSettings, TReleaseConfigFile>;
}  // namespace

// The path is found inside the guard too: whatever fails, the registry serves.
template <typename TPath>
void TSettingsManager::OpenConfig(TPath path) {
  try {
    FConfigFileName = path();
    FConfig = std::make_unique<TConfigFileSettings>(FConfigFileName);
  } catch (...) {
    // Without the file every section but a plug-in's own goes to the registry.
  }
}

TSettingsManager::TSettingsManager() : FRegistry(std::make_unique<TRegistrySettings>()) {
  OpenConfig([] { return GetModuleDir() + L"\\Zentavo.cfg"; });
}

TSettingsManager::TSettingsManager(const std::wstring& configFileName)
    : FRegistry(std::make_unique<TRegistrySettings>()) {
  OpenConfig([&] { return configFileName; });
}

TSettingsManager::~TSettingsManager() {
  FConfig.reset();  // writes the file when it holds changes
  FRegistry.reset();
}

std::wstring TSettingsManager::GetSectionName(TSettingKind kind, const std::wstring& subKey) {
  std::wstring section = kind <= skErrors ? kSectionNames[kind] : L"";
  if (!subKey.empty()) section += L'\\' + subKey;
  return section;
}

int32_t TSettingsManager::ParsePluginID(const std::wstring& subKey) {
  // "[<index>]<name>": the first character is skipped untested.
  const size_t close = subKey.find(L']');
  const std::wstring_view index =
      (close == std::wstring::npos || close == 0) ? std::wstring_view() : std::wstring_view(subKey).substr(1, close - 1);
  return TextToInt(index);
}

std::wstring TSettingsManager::GetPluginFileSection(const std::wstring& subKey) {
  const size_t slash = subKey.find(L'\\');
  return slash == std::wstring::npos ? std::wstring(L"Settings") : L"Settings\\" + subKey.substr(slash + 1);
}

// Picks the store for one call and falls back to the registry when a file
// store raises; op(store, key) runs the operation on either store class.
template <typename TOp>
auto TSettingsManager::Route(TSettingKind kind, const std::wstring& subKey, TOp op) {
  TLockGuard lock(FLock);
  const std::wstring section = GetSectionName(kind, subKey);
  if (kind == skErrors) return op(*FRegistry, section);

  if (kind == skSettings && !subKey.empty()) {
    const int32_t index = ParsePluginID(subKey);
    IPluginConfigFiles* files = PluginConfigFiles;
    if (const TBorrowedConfigFile store{files ? files->GetPluginConfigFile(index) : nullptr}) {
      try {
        return op(*store, GetPluginFileSection(subKey));
      } catch (...) {
        files->FreePluginConfigFile(index);
      }
    }
    return op(*FRegistry, section);
  }

  if (FConfig) {
    try {
      return op(*FConfig, section);
    } catch (...) {
      FConfig.reset();  // dropped until unload
    }
  }
  return op(*FRegistry, section);
}

int32_t TSettingsManager::ReadNumber(TSettingKind kind, const std::wstring& subKey, const std::wstring& name,
                                     int32_t defaultValue) {
  return Route(kind, subKey, [&](auto& store, const std::wstring& key) -> int32_t {
    return store.ReadNumber(key, name, defaultValue);
  });
}

std::wstring TSettingsManager::ReadString(TSettingKind kind, const std::wstring& subKey, const std::wstring& name,
                                          const std::wstring& defaultValue) {
  return Route(kind, subKey, [&](auto& store, const std::wstring& key) -> std::wstring {
    return store.ReadString(key, name, defaultValue);
  });
}

std::optional<std::vector<uint8_t>> TSettingsManager::ReadDataBlock(TSettingKind kind, const std::wstring& subKey,
                                                                   const std::wstring& name) {
  return Route(kind, subKey, [&](auto& store, const std::wstring& key) -> std::optional<std::vector<uint8_t>> {
    const int32_t size = store.ReadData(key, name, nullptr, 0);
    if (size < 0) return std::nullopt;
    // One byte more, so that an empty block is read through a real buffer too
    // (a null buffer would only ask the size again).
    std::vector<uint8_t> block(static_cast<size_t>(size) + 1);
    if (store.ReadData(key, name, block.data(), size) != size) return std::nullopt;
    block.pop_back();
    return block;
  });
}

bool TSettingsManager::WriteNumber(TSettingKind kind, const std::wstring& subKey, const std::wstring& name,
                                   int32_t value) {
  return Route(kind, subKey, [&](auto& store, const std::wstring& key) -> bool {
    return store.WriteNumber(key, name, value);
  });
}

bool TSettingsManager::WriteString(TSettingKind kind, const std::wstring& subKey, const std::wstring& name,
                                   const std::wstring& value) {
  return Route(kind, subKey, [&](auto& store, const std::wstring& key) -> bool {
    return store.WriteString(key, name, value);
  });
}

bool TSettingsManager::WriteData(TSettingKind kind, const std::wstring& subKey, const std::wstring& name,
                                 const void* buffer, int32_t size) {
  return Route(kind, subKey, [&](auto& store, const std::wstring& key) -> bool {
    return store.WriteData(key, name, buffer, size);
  });
}

bool TSettingsManager::DeleteValue(TSettingKind kind, const std::wstring& subKey, const std::wstring& name) {
  return Route(kind, subKey, [&](auto& store, const std::wstring& key) -> bool {
    return store.DeleteValue(key, name);
  });
}

TSettingValueType TSettingsManager::GetValueType(TSettingKind kind, const std::wstring& subKey,
                                                 const std::wstring& name) {
  return Route(kind, subKey, [&](auto& store, const std::wstring& key) -> TSettingValueType {
    return store.GetValueType(key, name);
  });
}

std::optional<TStringList> TSettingsManager::GetValueNames(TSettingKind kind, const std::wstring& subKey) {
  return Route(kind, subKey, [&](auto& store, const std::wstring& key) -> std::optional<TStringList> {
    return store.GetValueNames(key);
  });
}

std::optional<TStringList> TSettingsManager::GetKeyNames(TSettingKind kind, const std::wstring& subKey) {
  return Route(kind, subKey, [&](auto& store, const std::wstring& key) -> std::optional<TStringList> {
    return store.GetKeyNames(key);
  });
}

// Unlike the other operations, a plug-in key is deleted in the registry only,
// and is not parsed.
void TSettingsManager::DeleteKey(TSettingKind kind, const std::wstring& subKey) {
  TLockGuard lock(FLock);
  const std::wstring section = GetSectionName(kind, subKey);
  if (kind != skErrors && !(kind == skSettings && !subKey.empty()) && FConfig) {
    try {
      FConfig->DeleteKey(section);
      return;
    } catch (...) {
      FConfig.reset();
    }
  }
  FRegistry->DeleteKey(section);
}

void TSettingsManager::Flush() {
  TLockGuard lock(FLock);
  if (!FConfig) return;
  try {
    FConfig->Flush();
  } catch (...) {
    FConfig.reset();
  }
}

void TSettingsManager::ReleasePluginConfigFile(TConfigFileSettings* store) {
  TLockGuard lock(FLock);
  if (store && store->Release()) delete store;
}

bool TSettingsManager::HasConfigFile() {
  TLockGuard lock(FLock);
  return FConfig != nullptr;
}

// ---- options

bool TSettingsManager::ReadBool(const wchar_t* name, bool defaultValue) {
  return (ReadNumber(skSettings, kOptionsSubKey, name, defaultValue ? 1 : 0) & 0xFF) != 0;
}

void TSettingsManager::WriteBool(const wchar_t* name, bool value) {
  WriteNumber(skSettings, kOptionsSubKey, name, value ? 1 : 0);
}

std::wstring TSettingsManager::GetTempFolder() {
  return ReadString(skSettings, kOptionsSubKey, L"TempFolder", SystemTempFolder());
}

void TSettingsManager::SetTempFolder(const std::wstring& value) {
  WriteString(skSettings, kOptionsSubKey, L"TempFolder", value);
}

bool TSettingsManager::GetMemEnabled() { return ReadBool(L"MemEnabled", true); }
void TSettingsManager::SetMemEnabled(bool value) { WriteBool(L"MemEnabled", value); }

int32_t TSettingsManager::GetMemUsage() { return ReadNumber(skSettings, kOptionsSubKey, L"MemUsage", 75); }
void TSettingsManager::SetMemUsage(int32_t value) { WriteNumber(skSettings, kOptionsSubKey, L"MemUsage", value); }

bool TSettingsManager::GetStoreTransformPipe() { return ReadBool(L"StoreTransformPipe", false); }
void TSettingsManager::SetStoreTransformPipe(bool value) { WriteBool(L"StoreTransformPipe", value); }

bool TSettingsManager::GetCheckForUpdates() { return ReadBool(L"CheckForUpdates", true); }
void TSettingsManager::SetCheckForUpdates(bool value) { WriteBool(L"CheckForUpdates", value); }

int32_t TSettingsManager::GetCheckUpdateInterval() {
  return ReadNumber(skSettings, kOptionsSubKey, L"CheckUpdateInterval", 7);
}
void TSettingsManager::SetCheckUpdateInterval(int32_t value) {
  WriteNumber(skSettings, kOptionsSubKey, L"CheckUpdateInterval", value);
}

double TSettingsManager::GetLastCheckUpdate() {
  const auto block = ReadDataBlock(skSettings, kOptionsSubKey, L"LastCheckUpdate");
  double value = 0.0;
  if (block && block->size() == sizeof(value)) std::memcpy(&value, block->data(), sizeof(value));
  return value;
}

void TSettingsManager::SetLastCheckUpdate(double value) {
  WriteData(skSettings, kOptionsSubKey, L"LastCheckUpdate", &value, sizeof(value));
}

bool TSettingsManager::GetNotifyError() { return ReadBool(L"NotifyError", true); }
void TSettingsManager::SetNotifyError(bool value) { WriteBool(L"NotifyError", value); }

}  // namespace zv
