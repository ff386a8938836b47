// The settings of one plug-in instance (one pipe entry): named, typed values
// held in memory, filled from one section of the settings store when the
// entry is made, read and changed by the plug-in through its settings table,
// and written back only by their owners (the Settings dialog for a plug-in's
// stored defaults, the profile manager for a profile's entries).
//
// IDs are compared with the ASCII letters folded (Foo and FOO are one
// setting; non-ASCII letters are not folded); a record keeps the case in
// which it was first written or stored.
//
// The value operations hold a re-entrant lock for their whole work, so a
// plug-in's enumeration callback may use them too. Loading, saving, copying
// and destruction take no lock: their callers use them only while no call
// into the plug-in runs on the entry.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "config/SettingsTypes.h"
#include "platform/Lock.h"

namespace zv {

using TSettingData = std::vector<uint8_t>;
// A number (signed 32-bit), a text, or a block of bytes (possibly empty).
using TSettingValue = std::variant<int32_t, std::wstring, TSettingData>;

struct TSetting {
  std::wstring Name;  // in the case of the first write or of the store
  TSettingValue Value;

  TSettingValueType Kind() const {
    return Value.index() == 0 ? svNumber : Value.index() == 1 ? svString : svData;
  }
};

class TPluginSettings {
public:
  // Empty.
  TPluginSettings() = default;
  // Create: the values of the section (kind, key) of the settings store.
  TPluginSettings(TSettingKind kind, const std::wstring& key);
  ~TPluginSettings() = default;
  TPluginSettings(const TPluginSettings&) = delete;
  TPluginSettings& operator=(const TPluginSettings&) = delete;

  // A deep copy of every record: the Processor dialog edits a pipe entry on
  // one and keeps it only when the plug-in reports a change.
  static std::unique_ptr<TPluginSettings> CreateCopy(const TPluginSettings& source);

  // Adds the values of one section of the store. Never fails as a whole:
  // a value that cannot be read, or whose ID folds onto one loaded before,
  // is skipped.
  void Load(TSettingKind kind, const std::wstring& key);
  // Writes every record to the section and deletes from it the names no
  // longer held. False when the store refused a value or a deletion (the
  // .cfg file takes no line break): the rest is written all the same, and a
  // refused value keeps what the store held under its name. Store
  // exceptions go on.
  [[nodiscard]] bool Save(TSettingKind kind, const std::wstring& key) const;

  // Reads: a missing ID or one of another kind gives the default (none).
  int32_t ReadNumber(const std::wstring& id, int32_t defaultValue);
  std::optional<std::wstring> ReadString(const std::wstring& id);
  std::optional<TSettingData> ReadData(const std::wstring& id);
  // -1 when missing or not a block.
  int32_t GetDataSize(const std::wstring& id);

  // Writes: the record takes the new kind and value; a new record takes the
  // ID's case. The value is complete before the old one is let go, so a
  // failed allocation never costs the setting it was meant to replace.
  bool Write(const std::wstring& id, TSettingValue value);
  bool WriteNumber(const std::wstring& id, int32_t value) { return Write(id, value); }
  bool WriteString(const std::wstring& id, std::wstring value) { return Write(id, std::move(value)); }
  bool WriteData(const std::wstring& id, TSettingData data) { return Write(id, std::move(data)); }
  // True when a record existed.
  bool DeleteID(const std::wstring& id);

  // Calls visit with the stored name of every record, under the lock, until
  // it answers false. Records that visit deletes are not visited afterwards;
  // records it adds may or may not be.
  void EnumerateIDs(const std::function<bool(const std::wstring& name)>& visit);

private:
  using TSettings = std::unordered_map<std::wstring, TSetting>;  // key: ASCII-lower-cased ID

  const TSetting* Find(const std::wstring& id) const;

  mutable TCriticalSection FLock;
  TSettings FSettings;
};

}  // namespace zv
