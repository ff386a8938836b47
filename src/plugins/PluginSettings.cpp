#include "plugins/PluginSettings.h"

#include <algorithm>

#include "config/IniDocument.h"
#include "config/SettingsManager.h"
#include "platform/ZvError.h"

namespace zv {

namespace {

TSettingsManager& Store() {
  TSettingsManager* store = GlobalSettingsManager;
  if (!store) throw EZvError(L"The settings store is not open");
  return *store;
}

// One stored value as a record; none when it is missing, of a type the
// stores do not know, or changed under us.
std::optional<TSetting> LoadValue(TSettingsManager& store, TSettingKind kind, const std::wstring& key,
                                  const std::wstring& name) {
  switch (store.GetValueType(kind, key, name)) {
    case svNumber: return TSetting{name, store.ReadNumber(kind, key, name, 0)};
    case svString: return TSetting{name, store.ReadString(kind, key, name, std::wstring())};
    case svData:
      if (std::optional<TSettingData> data = store.ReadDataBlock(kind, key, name)) return TSetting{name, std::move(*data)};
      return std::nullopt;
    default: return std::nullopt;
  }
}

}  // namespace

TPluginSettings::TPluginSettings(TSettingKind kind, const std::wstring& key) { Load(kind, key); }

std::unique_ptr<TPluginSettings> TPluginSettings::CreateCopy(const TPluginSettings& source) {
  auto copy = std::make_unique<TPluginSettings>();
  TLockGuard lock(source.FLock);
  copy->FSettings = source.FSettings;
  return copy;
}

void TPluginSettings::Load(TSettingKind kind, const std::wstring& key) {
  TSettingsManager* store = GlobalSettingsManager;
  if (!store) return;
  std::optional<TStringList> names;
  try {
    names = store->GetValueNames(kind, key);
  } catch (...) {
    return;  // a key the store cannot route: nothing to load
  }
  if (!names) return;
  for (const std::wstring& name : *names) {
    try {
      if (std::optional<TSetting> setting = LoadValue(*store, kind, key, name))
        FSettings.try_emplace(AsciiLower(name), std::move(*setting));
    } catch (...) {
      // A value that cannot be read is left out; the others still load.
    }
  }
}

bool TPluginSettings::Save(TSettingKind kind, const std::wstring& key) const {
  TSettingsManager& store = Store();
  std::optional<TStringList> stale = store.GetValueNames(kind, key);
  bool stored = true;
  for (const auto& [id, setting] : FSettings) {
    const bool written = std::visit(
        [&](const auto& value) {
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, int32_t>) {
            return store.WriteNumber(kind, key, setting.Name, value);
          } else if constexpr (std::is_same_v<T, std::wstring>) {
            return store.WriteString(kind, key, setting.Name, value);
          } else {
            return store.WriteData(kind, key, setting.Name, value.data(), static_cast<int32_t>(value.size()));
          }
        },
        setting.Value);
    if (!written) stored = false;
    // The stores compare names without regard to case: the name just
    // written is the stored one of any case.
    if (stale) {
      const std::wstring folded = FoldName(setting.Name);
      std::erase_if(*stale, [&](const std::wstring& name) { return FoldName(name) == folded; });
    }
  }
  if (stale)
    for (const std::wstring& name : *stale)
      if (!store.DeleteValue(kind, key, name)) stored = false;
  return stored;
}

const TSetting* TPluginSettings::Find(const std::wstring& id) const {
  const auto found = FSettings.find(AsciiLower(id));
  return found == FSettings.end() ? nullptr : &found->second;
}

int32_t TPluginSettings::ReadNumber(const std::wstring& id, int32_t defaultValue) {
  TLockGuard lock(FLock);
  const TSetting* setting = Find(id);
  const int32_t* number = setting ? std::get_if<int32_t>(&setting->Value) : nullptr;
  return number ? *number : defaultValue;
}

std::optional<std::wstring> TPluginSettings::ReadString(const std::wstring& id) {
  TLockGuard lock(FLock);
  const TSetting* setting = Find(id);
  const std::wstring* text = setting ? std::get_if<std::wstring>(&setting->Value) : nullptr;
  return text ? std::optional(*text) : std::nullopt;
}

std::optional<TSettingData> TPluginSettings::ReadData(const std::wstring& id) {
  TLockGuard lock(FLock);
  const TSetting* setting = Find(id);
  const TSettingData* data = setting ? std::get_if<TSettingData>(&setting->Value) : nullptr;
  return data ? std::optional(*data) : std::nullopt;
}

int32_t TPluginSettings::GetDataSize(const std::wstring& id) {
  TLockGuard lock(FLock);
  const TSetting* setting = Find(id);
  const TSettingData* data = setting ? std::get_if<TSettingData>(&setting->Value) : nullptr;
  return data ? static_cast<int32_t>(data->size()) : -1;
}

bool TPluginSettings::Write(const std::wstring& id, TSettingValue value) {
  std::wstring key = AsciiLower(id);
  TLockGuard lock(FLock);
  if (const auto found = FSettings.find(key); found != FSettings.end()) {
    found->second.Value = std::move(value);  // moves never fail: the old value goes only now
    return true;
  }
  try {
    FSettings.emplace(std::move(key), TSetting{id, std::move(value)});
  } catch (const std::bad_alloc&) {
    return false;  // no record could be made; the others are as they were
  }
  return true;
}

bool TPluginSettings::DeleteID(const std::wstring& id) {
  TLockGuard lock(FLock);
  return FSettings.erase(AsciiLower(id)) > 0;
}

void TPluginSettings::EnumerateIDs(const std::function<bool(const std::wstring& name)>& visit) {
  TLockGuard lock(FLock);
  // visit may delete or add records (the lock is re-entrant): walk a list of
  // the keys and look each one up again, so no released record is visited.
  std::vector<std::wstring> keys;
  keys.reserve(FSettings.size());
  for (const auto& entry : FSettings) keys.push_back(entry.first);
  for (const std::wstring& key : keys) {
    const auto found = FSettings.find(key);
    if (found == FSettings.end()) continue;
    const std::wstring name = found->second.Name;  // visit may delete the record
    if (!visit(name)) return;
  }
}

}  // namespace zv
