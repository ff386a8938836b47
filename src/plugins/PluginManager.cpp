#include "plugins/PluginManager.h"

#include <algorithm>
#include <climits>
#include <cwctype>
#include <utility>

#include "config/ConfigFileSettings.h"
#include "config/NumberText.h"
#include "config/SettingsManager.h"
#include "frontend/TCUtilities.h"
#include "platform/Dialogs.h"
#include "platform/Module.h"
#include "platform/TextConv.h"
#include "plugins/PluginSettings.h"
#include "services/ErrorEntry.h"

namespace zv {

TPluginManager* GlobalPluginManager = nullptr;

// What the manager keeps of an installed plug-in beyond what callers see.
// ConfigFile and ConfigHolders change only under the manager's lock.
struct TPluginManager::TRecord : TPlugin {
  // Every value name of "Plugins" read as this index ("7", and a hand-made
  // twin "07"): uninstalling deletes them all, so that none brings the
  // plug-in back at the next start.
  std::vector<std::wstring> ValueNames;
  // The plug-in's own settings file, with the one reference it was opened
  // with, while an entry holds it.
  TConfigFileSettings* ConfigFile = nullptr;
  // The entries holding ConfigFile. An entry loaded before the file was
  // dropped early is not among them, so it cannot close a file opened after.
  std::vector<const TLoadedPlugin*> ConfigHolders;
};

namespace {

const std::wstring kNoSubKey;

std::wstring Lower(std::wstring text) {
  if (!text.empty()) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// The file-name part of a path: the text after its last "\" or ":".
std::wstring FilePart(const std::wstring& path) { return path.substr(path.find_last_of(L"\\:") + 1); }

void Inform(HWND owner, const std::wstring& text) {
  ShowMessageBoxOwned(owner, text, L"Information", MB_ICONINFORMATION);
}

// The name a plug-in gave, as the stored list can keep it: trailing blanks go
// (the file's reader drops them, so the name would change at the next start);
// empty when it cannot be installed under it: nothing left, a "\" (it would
// split the plug-in's keys) or a control character (a line break would split
// the stored line and the section headers).
std::wstring InstallableName(std::wstring name) {
  while (!name.empty() && name.back() == L' ') name.pop_back();
  const bool refused = std::any_of(name.begin(), name.end(), [](wchar_t c) { return c == L'\\' || std::iswcntrl(c); });
  return refused ? std::wstring() : name;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  const auto full = [](const std::wstring& path) {
    wchar_t buffer[MAX_PATH];
    const DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
    return Lower(n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : path);
  };
  return full(a) == full(b);
}

// "<library without extension>.cfg"; empty when that is the main settings
// file or the library itself (a plug-in named "x.cfg"): neither may become a
// plug-in's store.
std::wstring PluginConfigFileName(const std::wstring& libraryPath) {
  const size_t dot = libraryPath.find_last_of(L'.');
  const size_t slash = libraryPath.find_last_of(L"\\:");
  const bool hasExtension = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
  std::wstring fileName = (hasExtension ? libraryPath.substr(0, dot) : libraryPath) + L".cfg";
  const TSettingsManager* settings = GlobalSettingsManager;
  if (SamePath(fileName, libraryPath) || (settings && SamePath(fileName, settings->ConfigFileName()))) return {};
  return fileName;
}

// Drops the manager's reference on a plug-in file. Under the settings
// manager's lock, so that no routed call is inside the store when it goes;
// without a settings manager nobody can borrow it.
void LetGo(TConfigFileSettings* store) noexcept {
  if (!store) return;
  if (TSettingsManager* settings = GlobalSettingsManager) settings->ReleasePluginConfigFile(store);
  else if (store->Release()) delete store;
}

// ZV_Unload, then the library and the settings, in that order.
void ReleaseEntry(TLoadedPlugin& entry) noexcept {
  if (entry.PluginFile && entry.PluginFile->HasUnload()) entry.PluginFile->Unload();
  entry.PluginFile.reset();
  entry.PluginSettings.reset();
}

}  // namespace

void TUnloadPlugin::operator()(TLoadedPlugin* entry) const noexcept {
  if (TPluginManager* manager = GlobalPluginManager) return manager->UnloadPlugin(entry);
  const std::unique_ptr<TLoadedPlugin> owned(entry);
  ReleaseEntry(*owned);
}

// ---- life

TPluginManager::TPluginManager() {
  LoadPluginList();
  PluginConfigFiles = this;
  InstalledPlugins = &FInstalledList;
}

TPluginManager::~TPluginManager() {
  ReleaseWaiting(true);
  IInstalledPlugins* list = &FInstalledList;
  InstalledPlugins.compare_exchange_strong(list, nullptr);
  IPluginConfigFiles* files = this;
  PluginConfigFiles.compare_exchange_strong(files, nullptr);
  // Entries still loaded would leave their file unwritten: it goes now.
  for (auto& [index, record] : FPlugins) LetGo(std::exchange(record->ConfigFile, nullptr));
}

void TPluginManager::LoadPluginList() {
  TSettingsManager* settings = GlobalSettingsManager;
  const auto names = settings ? settings->GetValueNames(skPlugins, kNoSubKey) : std::nullopt;
  for (const std::wstring& valueName : names ? *names : TStringList()) {
    int32_t index = 0;
    if (!TryTextToInt(valueName, index)) continue;
    const std::wstring value = settings->ReadString(skPlugins, kNoSubKey, valueName, std::wstring());
    const size_t bar = value.find(L'|');
    if (bar == std::wstring::npos) continue;
    // Twins ("1" and "01") are one plug-in: the first line read wins.
    std::unique_ptr<TRecord>& record = FPlugins[index];
    if (!record) {
      record = std::make_unique<TRecord>();
      record->Index = index;
      record->FileName = value.substr(0, bar);
      record->Name = value.substr(bar + 1);
    }
    record->ValueNames.push_back(valueName);
    FNextIndex = std::max<int64_t>(FNextIndex, index);
  }
  ++FNextIndex;
}

TPluginManager::TRecord* TPluginManager::Find(int32_t index) {
  const auto it = FPlugins.find(index);
  return it == FPlugins.end() ? nullptr : it->second.get();
}

// ---- the installed list

std::wstring TPluginManager::StoredFileName(const std::wstring& fileName, const std::wstring& moduleDir) {
  std::wstring prefix = Lower(moduleDir);
  if (prefix.empty() || prefix.back() != L'\\') prefix += L'\\';
  if (fileName.size() > prefix.size() && Lower(fileName.substr(0, prefix.size())) == prefix)
    return L".\\" + fileName.substr(prefix.size());
  return fileName;
}

std::wstring TPluginManager::FullFileName(const std::wstring& storedName, const std::wstring& moduleDir) {
  if (storedName.compare(0, 2, L".\\") != 0) return storedName;
  // A drive root comes with its backslash.
  const bool rooted = !moduleDir.empty() && moduleDir.back() == L'\\';
  return moduleDir + (rooted ? L"" : L"\\") + storedName.substr(2);
}

std::wstring TPluginManager::GetPluginPath(const TPlugin& plugin) const {
  return FullFileName(plugin.FileName, GetModuleDir());
}

TPlugin* TPluginManager::FindPluginByFile(const std::wstring& fileName) {
  const std::wstring wanted = Lower(fileName);
  const std::wstring moduleDir = GetModuleDir();
  TLockGuard lock(FLock);
  for (const auto& [index, record] : FPlugins)
    if (Lower(FullFileName(record->FileName, moduleDir)) == wanted) return record.get();
  return nullptr;
}

TPlugin* TPluginManager::InstallPlugin(HWND parentWnd, const std::wstring& fileName) {
  if (TPlugin* existing = FindPluginByFile(fileName)) {
    Inform(parentWnd, L"The " + Quoted(existing->Name) + L" plugin has been installed already!");
    return existing;
  }
  std::wstring name;
  {
    TPluginFile probe(fileName, nullptr);
    if (!probe.ResolveExports()) {
      Inform(parentWnd, L"The file " + Quoted(FilePart(fileName)) + L" is not a valid Zentavo plugin!");
      return nullptr;
    }
    name = InstallableName(probe.Install(parentWnd));
  }
  if (name.empty()) {
    Inform(parentWnd, L"Failed to install the " + Quoted(FilePart(fileName)) + L" plugin!");
    return nullptr;
  }

  auto record = std::make_unique<TRecord>();
  record->Name = name;
  record->FileName = StoredFileName(fileName, GetModuleDir());
  int64_t next;
  {
    TLockGuard lock(FLock);
    next = FNextIndex;
  }
  // The index is used up only by a successful write, and never wraps.
  TSettingsManager* settings = GlobalSettingsManager;
  const bool written = next <= INT32_MAX && settings &&
                       settings->WriteString(skPlugins, kNoSubKey, std::to_wstring(next),
                                             record->FileName + L"|" + record->Name);
  if (!written) {
    Inform(parentWnd, L"The installation of the " + Quoted(name) + L" plugin has been failed.");
    return nullptr;
  }
  const auto index = static_cast<int32_t>(next);
  record->Index = index;
  record->ValueNames.push_back(std::to_wstring(index));
  TLockGuard lock(FLock);
  FNextIndex = next + 1;
  return (FPlugins[index] = std::move(record)).get();
}

void TPluginManager::UninstallPlugin(TPlugin* plugin) {
  std::vector<std::wstring> valueNames;
  {
    TLockGuard lock(FLock);
    if (!plugin || Find(plugin->Index) != plugin) return;
    valueNames = static_cast<TRecord*>(plugin)->ValueNames;
  }
  if (TSettingsManager* settings = GlobalSettingsManager) {
    for (const std::wstring& valueName : valueNames) settings->DeleteValue(skPlugins, kNoSubKey, valueName);
    settings->DeleteKey(skSettings, GetPluginKeyName(*plugin));
  }
  std::unique_ptr<TRecord> record;
  {
    TLockGuard lock(FLock);
    const auto it = FPlugins.find(plugin->Index);
    if (it == FPlugins.end() || it->second.get() != plugin) return;
    record = std::move(it->second);
    FPlugins.erase(it);
  }
  // Entries still loaded find no record when they unload: the file is written
  // and closed now, or its changes would never reach it.
  LetGo(std::exchange(record->ConfigFile, nullptr));
}

std::vector<TPlugin*> TPluginManager::GetPlugins() {
  TLockGuard lock(FLock);
  std::vector<TPlugin*> plugins;
  plugins.reserve(FPlugins.size());
  for (const auto& [index, record] : FPlugins) plugins.push_back(record.get());
  return plugins;
}

std::vector<TInstalledPluginInfo> TPluginManager::TInstalledList::GetPlugins() {
  const std::wstring moduleDir = GetModuleDir();
  TLockGuard lock(FManager.FLock);
  std::vector<TInstalledPluginInfo> plugins;
  for (const auto& [index, record] : FManager.FPlugins)
    plugins.push_back({record->Name, FullFileName(record->FileName, moduleDir)});
  return plugins;
}

std::wstring TPluginManager::GetPluginName(int32_t index) {
  TLockGuard lock(FLock);
  const TRecord* record = Find(index);
  return record ? record->Name : std::wstring();
}

std::wstring TPluginManager::GetPluginKeyName(const TPlugin& plugin) {
  return L"[" + std::to_wstring(plugin.Index) + L"]" + plugin.Name;
}

// ---- pipe entries

TPluginEntry TPluginManager::LoadPluginByIndex(int32_t index, TSettingKind kind, const std::wstring& key) {
  TPlugin plugin;
  {
    TLockGuard lock(FLock);
    const TRecord* record = Find(index);
    if (!record) return nullptr;
    plugin = *record;
  }
  return LoadPlugin(plugin, kind, key);
}

TPluginEntry TPluginManager::LoadPlugin(const TPlugin& plugin, TSettingKind kind, const std::wstring& key) {
  bool reported = false;
  try {
    auto entry = std::make_unique<TLoadedPlugin>();
    entry->Index = plugin.Index;
    entry->Name = plugin.Name;
    const std::wstring path = GetPluginPath(plugin);
    entry->PluginFile = std::make_unique<TPluginFile>(path, entry.get());
    if (entry->PluginFile->ResolveExports()) {
      OpenPluginConfigFile(plugin.Index, path, *entry);
      try {
        entry->PluginSettings = std::make_unique<TPluginSettings>(kind, key);
        if (entry->PluginFile->Load()) return TPluginEntry(entry.release());
        reported = ReportLoadFailure(*entry);
      } catch (...) {
        // A failed load like any other: the box below tells the user.
      }
      entry->PluginSettings.reset();
      ClosePluginConfigFile(*entry);
    }
    // The library goes with the entry.
  } catch (...) {
    // Nothing was handed out; the box below tells the user.
  }
  if (!reported)
    ShowMessageBoxOwned(ParentWindow, L"Failed to load the " + Quoted(plugin.Name) + L" plugin.", L"Error",
                        MB_ICONERROR);
  return nullptr;
}

// An error text the plug-in left goes to the error entry; without one (or
// without an entry to take it) the caller shows its box.
bool TPluginManager::ReportLoadFailure(TLoadedPlugin& entry) {
  const TErrorStruct error = entry.PluginFile->GetLastError();
  IErrorEntry* errorEntry = GlobalErrorEntry;
  if (error.Text.empty() || !errorEntry) return false;
  errorEntry->ReportError(entry.PluginFile.get(),
                          L"Failed to load the " + Quoted(entry.Name) + L" plugin because of the following error: " +
                              Quoted(error.Text) + L".",
                          error);
  return true;
}

// Freeing a library while one of its calls is on the stack would return that
// call into unmapped code. The owner has already let go and cannot take the
// entry back, so the manager keeps it, loaded, until the call has returned;
// not at the call's very return either, since the caller that made the call
// may still read the entry afterwards.
void TPluginManager::UnloadPlugin(TLoadedPlugin* entry) noexcept {
  std::unique_ptr<TLoadedPlugin> owned(entry);
  if (owned && owned->PluginFile && owned->PluginFile->IsCallRunning()) {
    try {
      TLockGuard lock(FLock);
      FWaitingUnloads.push_back(std::move(owned));
    } catch (...) {
      (void)owned.release();  // out of memory: a lost entry, but no code freed under its call
    }
  }
  if (owned) ReleaseLoaded(*owned);
  ReleaseWaiting(false);
}

void TPluginManager::AbandonWaiting() noexcept {
  TLockGuard lock(FLock);
  for (std::unique_ptr<TLoadedPlugin>& entry : FWaitingUnloads) (void)entry.release();
  FWaitingUnloads.clear();
}

void TPluginManager::ReleaseLoaded(TLoadedPlugin& entry) noexcept {
  ReleaseEntry(entry);
  ClosePluginConfigFile(entry);
}

void TPluginManager::ReleaseWaiting(bool all) noexcept {
  std::vector<std::unique_ptr<TLoadedPlugin>> idle;
  try {
    TLockGuard lock(FLock);
    for (auto it = FWaitingUnloads.begin(); it != FWaitingUnloads.end();) {
      if (all || !(*it)->PluginFile->IsCallRunning()) {
        idle.push_back(std::move(*it));
        it = FWaitingUnloads.erase(it);
      } else {
        ++it;
      }
    }
  } catch (...) {
    // Out of memory: the entries not moved wait for the next unload.
  }
  for (const std::unique_ptr<TLoadedPlugin>& entry : idle) ReleaseLoaded(*entry);
}

// ---- the plug-ins' own settings files

void TPluginManager::OpenPluginConfigFile(int32_t index, const std::wstring& libraryPath,
                                          const TLoadedPlugin& holder) {
  const std::wstring fileName = PluginConfigFileName(libraryPath);
  TLockGuard lock(FLock);
  TRecord* record = Find(index);
  if (!record) return;
  if (!record->ConfigFile) {
    if (fileName.empty()) return;
    try {
      record->ConfigFile = new TConfigFileSettings(fileName);
    } catch (...) {
      return;  // the plug-in's settings go to the registry
    }
  }
  record->ConfigHolders.push_back(&holder);
}

void TPluginManager::ClosePluginConfigFile(const TLoadedPlugin& holder) {
  TConfigFileSettings* store = nullptr;
  {
    TLockGuard lock(FLock);
    TRecord* record = Find(holder.Index);
    if (!record) return;
    std::vector<const TLoadedPlugin*>& holders = record->ConfigHolders;
    const auto it = std::find(holders.begin(), holders.end(), &holder);
    if (it == holders.end()) return;
    holders.erase(it);
    if (holders.empty()) store = std::exchange(record->ConfigFile, nullptr);
  }
  LetGo(store);
}

TConfigFileSettings* TPluginManager::GetPluginConfigFile(int32_t index) {
  TLockGuard lock(FLock);
  const TRecord* record = Find(index);
  if (!record || !record->ConfigFile) return nullptr;
  record->ConfigFile->AddRef();
  return record->ConfigFile;
}

void TPluginManager::FreePluginConfigFile(int32_t index) {
  TConfigFileSettings* store = nullptr;
  {
    TLockGuard lock(FLock);
    TRecord* record = Find(index);
    if (!record) return;
    store = std::exchange(record->ConfigFile, nullptr);
    record->ConfigHolders.clear();
  }
  LetGo(store);
}

}  // namespace zv
