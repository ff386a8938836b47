// The one entry to every stored value: picks the main configuration file, a
// plug-in's own file or the registry for each call, and falls back to the
// registry when a file store fails. Also carries the typed option accessors.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/SettingsTypes.h"
#include "platform/Lock.h"

namespace zv {

class TConfigFileSettings;
class TRegistrySettings;

class TSettingsManager {
public:
  // Opens Zentavo.cfg beside our library.
  TSettingsManager();
  // Opens the given main configuration file instead.
  explicit TSettingsManager(const std::wstring& configFileName);
  ~TSettingsManager();
  TSettingsManager(const TSettingsManager&) = delete;
  TSettingsManager& operator=(const TSettingsManager&) = delete;

  // The routed store operations. A plug-in sub-key of skSettings whose index
  // does not convert raises EZvConvertError (DeleteKey never parses it).
  int32_t ReadNumber(TSettingKind kind, const std::wstring& subKey, const std::wstring& name,
                     int32_t defaultValue);
  std::wstring ReadString(TSettingKind kind, const std::wstring& subKey, const std::wstring& name,
                          const std::wstring& defaultValue);
  // The stored block, asked for its size and read in one go under the lock
  // (on one store, so no writer of ours comes in between). None when missing,
  // not a block, or changed by another writer (another process on the
  // registry) between the size query and the read; empty for an empty block.
  std::optional<std::vector<uint8_t>> ReadDataBlock(TSettingKind kind, const std::wstring& subKey,
                                                    const std::wstring& name);
  bool WriteNumber(TSettingKind kind, const std::wstring& subKey, const std::wstring& name, int32_t value);
  bool WriteString(TSettingKind kind, const std::wstring& subKey, const std::wstring& name,
                   const std::wstring& value);
  bool WriteData(TSettingKind kind, const std::wstring& subKey, const std::wstring& name, const void* buffer,
                 int32_t size);
  bool DeleteValue(TSettingKind kind, const std::wstring& subKey, const std::wstring& name);
  TSettingValueType GetValueType(TSettingKind kind, const std::wstring& subKey, const std::wstring& name);
  // No list when the registry key cannot be opened.
  std::optional<TStringList> GetValueNames(TSettingKind kind, const std::wstring& subKey);
  std::optional<TStringList> GetKeyNames(TSettingKind kind, const std::wstring& subKey);
  void DeleteKey(TSettingKind kind, const std::wstring& subKey);

  // Writes the main file now; a failure drops the file until unload.
  void Flush();

  // Drops one reference to a plug-in's file store under this manager's lock
  // and frees the store (writing it when modified) with the last one; the
  // registry of installed plug-ins lets go of its stores only this way.
  void ReleasePluginConfigFile(TConfigFileSettings* store);

  // True while the main configuration file serves its sections.
  bool HasConfigFile();
  // The main configuration file's path, whether it serves or not (set at
  // creation, so it needs no lock).
  const std::wstring& ConfigFileName() const { return FConfigFileName; }

  static std::wstring GetSectionName(TSettingKind kind, const std::wstring& subKey);
  // The installation index in a plug-in key "[<index>]<name>"; raises EZvConvertError.
  static int32_t ParsePluginID(const std::wstring& subKey);
  // The section inside a plug-in's own file for a plug-in key.
  static std::wstring GetPluginFileSection(const std::wstring& subKey);

  // The system's options, section "Settings".
  std::wstring GetTempFolder();
  void SetTempFolder(const std::wstring& value);
  bool GetMemEnabled();
  void SetMemEnabled(bool value);
  int32_t GetMemUsage();
  void SetMemUsage(int32_t value);
  bool GetStoreTransformPipe();
  void SetStoreTransformPipe(bool value);
  bool GetCheckForUpdates();
  void SetCheckForUpdates(bool value);
  int32_t GetCheckUpdateInterval();
  void SetCheckUpdateInterval(int32_t value);
  // Days since 1899-12-30 in local time; 0.0 for never.
  double GetLastCheckUpdate();
  void SetLastCheckUpdate(double value);
  bool GetNotifyError();
  void SetNotifyError(bool value);

private:
  // Opens the main file after the registry store exists; any failure leaves none.
  template <typename TPath>
  void OpenConfig(TPath path);
  template <typename TOp>
  auto Route(TSettingKind kind, const std::wstring& subKey, TOp op);
  bool ReadBool(const wchar_t* name, bool defaultValue);
  void WriteBool(const wchar_t* name, bool value);

  TCriticalSection FLock;
  std::wstring FConfigFileName;
  std::unique_ptr<TRegistrySettings> FRegistry;
  std::unique_ptr<TConfigFileSettings> FConfig;
};

extern TSettingsManager* GlobalSettingsManager;

}  // namespace zv
