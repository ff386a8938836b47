// The settings store over HKEY_CURRENT_USER\Software\Zentavo. Every operation
// opens its key afresh (creating it when absent) and closes it again; registry
// failures never raise: reads give the default, -1 or svNone, writes False,
// listings no list.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "config/SettingsTypes.h"

namespace zv {

class TRegistrySettings {
public:
  TRegistrySettings() = default;
  TRegistrySettings(const TRegistrySettings&) = delete;
  TRegistrySettings& operator=(const TRegistrySettings&) = delete;

  int32_t ReadNumber(const std::wstring& key, const std::wstring& name, int32_t defaultValue);
  std::wstring ReadString(const std::wstring& key, const std::wstring& name, const std::wstring& defaultValue);
  // Null buffer: the value's size. Else copies a block value when it fits in
  // capacity bytes and returns its size; a larger value (another writer, in
  // this process or another, changed it since the size query) answers -1.
  int32_t ReadData(const std::wstring& key, const std::wstring& name, void* buffer, int32_t capacity);
  bool WriteNumber(const std::wstring& key, const std::wstring& name, int32_t value);
  bool WriteString(const std::wstring& key, const std::wstring& name, const std::wstring& value);
  bool WriteData(const std::wstring& key, const std::wstring& name, const void* buffer, int32_t size);
  bool DeleteValue(const std::wstring& key, const std::wstring& name);
  TSettingValueType GetValueType(const std::wstring& key, const std::wstring& name);
  std::optional<TStringList> GetValueNames(const std::wstring& key);
  std::optional<TStringList> GetKeyNames(const std::wstring& key);
  // Removes the key with its whole tree; creates nothing and reports nothing.
  // An empty key (or one of separators only) removes nothing.
  void DeleteKey(const std::wstring& key);

  // The registry path of a section below HKEY_CURRENT_USER.
  static std::wstring KeyPath(const std::wstring& key);
};

}  // namespace zv
