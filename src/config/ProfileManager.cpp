#include "config/ProfileManager.h"

#include <algorithm>
#include <cwctype>

#include "config/IniDocument.h"
#include "config/NumberText.h"
#include "config/SettingsManager.h"
#include "frontend/TCUtilities.h"
#include "platform/Dialogs.h"
#include "platform/ZvError.h"
#include "plugins/PluginSettings.h"

namespace zv {

TProfileManager* GlobalProfileManager = nullptr;

namespace {

const std::wstring kNoSubKey;
// Written and deleted again to leave an entry's sub-section in the file store,
// which keeps a section only while a value makes it.
const wchar_t kSectionMarker[] = L"Zentavo";

TSettingsManager& Settings() {
  TSettingsManager* settings = GlobalSettingsManager;
  if (!settings) throw EZvError(L"No settings manager.");
  return *settings;
}

// "[<number>]" at the start of text: the number and the rest after "]".
bool TakeBracketedNumber(std::wstring_view& text, int32_t& number) {
  if (text.empty() || text.front() != L'[') return false;
  const size_t close = text.find(L']');
  if (close == std::wstring_view::npos || !TryTextToInt(text.substr(1, close - 1), number)) return false;
  text.remove_prefix(close + 1);
  return true;
}

// "[<position>][<index>]" at the start of a stored entry name; whatever
// follows (the plug-in's name when it was saved) is not read.
bool ParseEntryName(const std::wstring& entryName, TProfileEntry& entry) {
  std::wstring_view rest(entryName);
  return TakeBracketedNumber(rest, entry.Position) && TakeBracketedNumber(rest, entry.Index);
}

// A name the layout can hold: not empty (that would be the whole section),
// no "\" (one level deeper) and no control character (a line break would
// split the section headers).
bool IsStorableName(const std::wstring& name) {
  return !name.empty() &&
         std::none_of(name.begin(), name.end(), [](wchar_t c) { return c == L'\\' || std::iswcntrl(c); });
}

std::wstring EntryKey(const std::wstring& profileName, int32_t position, int32_t index, const std::wstring& pluginName) {
  return profileName + L"\\[" + std::to_wstring(position) + L"][" + std::to_wstring(index) + L"]" + pluginName;
}

}  // namespace

TProfileManager::TProfileManager(TSettingKind kind) : FKind(kind) { LoadProfiles(); }

void TProfileManager::LoadProfiles() {
  TSettingsManager* settings = GlobalSettingsManager;
  const auto names = settings ? settings->GetKeyNames(FKind, kNoSubKey) : std::nullopt;
  if (!names) return;
  for (const std::wstring& name : *names)
    // Spellings of one name share a stored tree: the first one listed is the profile.
    if (auto profile = ReadStored(*settings, name)) FProfiles.try_emplace(FoldName(name), std::move(profile));
}

std::unique_ptr<TProfile> TProfileManager::ReadStored(TSettingsManager& settings, const std::wstring& name) const {
  const auto entryNames = settings.GetKeyNames(FKind, name);
  if (!entryNames || entryNames->empty()) return nullptr;  // no sub-section: no profile
  auto profile = std::make_unique<TProfile>();
  profile->Name = name;
  for (const std::wstring& entryName : *entryNames) {
    TProfileEntry entry;
    if (ParseEntryName(entryName, entry)) profile->Plugins.push_back(entry);
  }
  std::stable_sort(profile->Plugins.begin(), profile->Plugins.end(), [](const auto& a, const auto& b) {
    return a.Position != b.Position ? a.Position < b.Position : a.Index < b.Index;
  });
  return profile;
}

void TProfileManager::RereadStored(const std::wstring& name) {
  TSettingsManager& settings = Settings();
  const std::wstring folded = FoldName(name);
  std::unique_ptr<TProfile> stored;
  const auto names = settings.GetKeyNames(FKind, kNoSubKey);
  for (const std::wstring& storedName : names ? *names : TStringList())
    if (FoldName(storedName) == folded && (stored = ReadStored(settings, storedName))) break;
  const auto it = FProfiles.find(folded);
  if (!stored) {
    if (it != FProfiles.end()) FProfiles.erase(it);
  } else if (it == FProfiles.end()) {
    FProfiles.emplace(folded, std::move(stored));
  } else {
    *it->second = std::move(*stored);
  }
}

TProfile& TProfileManager::KeepStored(const std::wstring& name, std::vector<TProfileEntry> pairs) {
  std::unique_ptr<TProfile>& slot = FProfiles[FoldName(name)];
  if (!slot) slot = std::make_unique<TProfile>();
  slot->Name = name;
  slot->Plugins = std::move(pairs);
  return *slot;
}

TProfile* TProfileManager::Find(const std::wstring& name) const {
  const auto it = FProfiles.find(FoldName(name));
  return it == FProfiles.end() ? nullptr : it->second.get();
}

void TProfileManager::DeleteStoredTree(const std::wstring& name) {
  TSettingsManager& settings = Settings();
  const std::wstring folded = FoldName(name);
  const auto names = settings.GetKeyNames(FKind, kNoSubKey);
  settings.DeleteKey(FKind, name);
  for (const std::wstring& stored : names ? *names : TStringList())
    if (stored != name && FoldName(stored) == folded) settings.DeleteKey(FKind, stored);
}

std::optional<std::vector<TPluginEntry>> TProfileManager::LoadProfile(const std::wstring& name, bool isStoredPipe) {
  const TProfile* profile = Find(name);
  TPluginManager* plugins = GlobalPluginManager;
  if (!profile || !plugins) return std::nullopt;
  // A copy: the boxes below run a message loop, in which the record may go.
  const std::wstring profileName = profile->Name;
  const std::vector<TProfileEntry> pairs = profile->Plugins;
  std::vector<TPluginEntry> entries;  // unloaded again on every way out but the last
  try {
    for (const TProfileEntry& pair : pairs) {
      // The settings lie under the plug-in's name as installed now.
      const std::wstring key = EntryKey(profileName, pair.Position, pair.Index, plugins->GetPluginName(pair.Index));
      if (TPluginEntry entry = plugins->LoadPluginByIndex(pair.Index, FKind, key)) {
        entries.push_back(std::move(entry));
        continue;
      }
      const wchar_t* question = isStoredPipe ? L"Would you like to continue loading the previously stored Transform Pipe?"
                                             : L"Would you like to continue loading the profile?";
      if (ShowMessageBoxOwned(ParentWindow, question, L"Question", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return std::nullopt;
    }
  } catch (...) {
    return std::nullopt;
  }
  return entries;
}

TProfile* TProfileManager::SaveProfile(const std::wstring& name, const std::vector<const TLoadedPlugin*>& entries) {
  if (!IsStorableName(name)) return nullptr;
  try {
    TSettingsManager& settings = Settings();
    std::vector<TProfileEntry> pairs;
    DeleteStoredTree(name);
    int32_t position = 0;
    bool refused = false;
    for (const TLoadedPlugin* entry : entries) {
      ++position;
      const std::wstring key = EntryKey(name, position, entry->Index, entry->Name);
      if (entry->PluginSettings && !entry->PluginSettings->Save(FKind, key)) refused = true;
      // An entry without settings is found again only through its sub-section.
      const auto values = settings.GetValueNames(FKind, key);
      if (!values || values->empty()) {
        settings.WriteString(FKind, key, kSectionMarker, std::wstring());
        settings.DeleteValue(FKind, key, kSectionMarker);
      }
      pairs.push_back({position, entry->Index});
    }
    // The store holds the new pipe also when it refused a setting (as little
    // as possible is missing), so the record follows it: a load in this
    // session gives what the next start would. The caller still tells the
    // user, who would otherwise find the setting gone at the next load.
    TProfile& profile = KeepStored(name, std::move(pairs));
    return refused ? nullptr : &profile;
  } catch (...) {
    // The store failed part way: the record follows what it holds now. When
    // even that cannot be read, the record stays as it was.
    try {
      RereadStored(name);
    } catch (...) {
    }
    return nullptr;
  }
}

void TProfileManager::DeleteProfile(const std::wstring& name) {
  const auto it = FProfiles.find(FoldName(name));
  if (it == FProfiles.end()) return;
  const std::wstring storedName = it->second->Name;
  FProfiles.erase(it);
  DeleteStoredTree(storedName);
}

std::vector<TProfile*> TProfileManager::GetProfiles() {
  std::vector<TProfile*> profiles;
  profiles.reserve(FProfiles.size());
  for (const auto& [folded, profile] : FProfiles) profiles.push_back(profile.get());
  return profiles;
}

bool TProfileManager::ProfileExists(const std::wstring& name) const { return Find(name) != nullptr; }

bool TProfileManager::IsPluginUsed(int32_t index) const {
  return std::any_of(FProfiles.begin(), FProfiles.end(), [&](const auto& item) {
    const std::vector<TProfileEntry>& pairs = item.second->Plugins;
    return std::any_of(pairs.begin(), pairs.end(), [&](const TProfileEntry& pair) { return pair.Index == index; });
  });
}

void TProfileManager::RemovePluginFromProfiles(int32_t index) {
  TPluginManager* plugins = GlobalPluginManager;
  const std::wstring pluginName = plugins ? plugins->GetPluginName(index) : std::wstring();
  if (pluginName.empty()) return;
  TSettingsManager& settings = Settings();
  for (auto it = FProfiles.begin(); it != FProfiles.end();) {
    TProfile& profile = *it->second;
    std::vector<TProfileEntry>& pairs = profile.Plugins;
    for (auto pair = pairs.begin(); pair != pairs.end();) {
      if (pair->Index != index) {
        ++pair;
        continue;
      }
      settings.DeleteKey(FKind, EntryKey(profile.Name, pair->Position, index, pluginName));
      pair = pairs.erase(pair);
    }
    if (!pairs.empty()) {
      ++it;
      continue;
    }
    const std::wstring name = profile.Name;
    it = FProfiles.erase(it);
    DeleteStoredTree(name);
  }
}

}  // namespace zv
