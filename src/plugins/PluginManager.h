// The registry of installed Zentavo plug-ins and the only place where plug-in
// libraries become pipe entries. The list lives in the settings section
// "Plugins", one value "<index>" = "<file>|<name>" per plug-in, where <file> is
// an absolute path or ".\" and a path below our library's directory. Each
// plug-in's own settings file ("<library without extension>.cfg") is opened
// by its first loaded pipe entry and shared by all of them until the last
// one is unloaded; the settings manager borrows it for the plug-in's sub-keys.
//
// Threads: installing, uninstalling and loading run on the user-interface
// thread (the dialogs); a pipe stage unloads its entry on the thread that ends
// the batch, possibly the host's file thread; the settings manager borrows the
// plug-in files on any thread. One lock guards the list, the next index, the
// file references and the entries waiting to be unloaded. It is taken after
// the settings manager's lock and is never held around a call into the
// settings manager, a plug-in or a box.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/PluginConfigFiles.h"
#include "config/SettingsTypes.h"
#include "platform/Lock.h"
#include "plugins/PluginFile.h"
#include "services/ServiceWorkers.h"

namespace zv {

// One installed plug-in as its callers see it. The record belongs to the
// manager and lives until UninstallPlugin or the manager's end.
struct TPlugin {
  int32_t Index = 0;      // the installation index: the value name in "Plugins" and the "[n]" of its keys
  std::wstring FileName;  // as stored: absolute, or ".\" + a path below our library's directory
  std::wstring Name;      // what ZV_InstallA gave at installation
};

// A loaded pipe entry, owned by whoever holds it: letting go of it unloads
// the entry through GlobalPluginManager (ZV_Unload, the library, its
// settings, its reference on the plug-in's settings file, in that order).
struct TUnloadPlugin {
  void operator()(TLoadedPlugin* entry) const noexcept;
};
using TPluginEntry = std::unique_ptr<TLoadedPlugin, TUnloadPlugin>;

class TPluginManager final : public IPluginConfigFiles {
public:
  // Reads the installed list through GlobalSettingsManager, then serves the
  // plug-in files and the plug-in list to the settings manager and the update
  // check for as long as it lives.
  TPluginManager();
  // Frees every plug-in file still open (writing it when modified), then the
  // records. An entry unloaded later keeps no reference to either.
  ~TPluginManager();
  TPluginManager(const TPluginManager&) = delete;
  TPluginManager& operator=(const TPluginManager&) = delete;

  // Installs the library at fileName (the full path the user chose), telling
  // the user every outcome but success in an "Information" box owned by
  // parentWnd. The plug-in installed before when the file is installed
  // already; null when nothing was installed.
  TPlugin* InstallPlugin(HWND parentWnd, const std::wstring& fileName);
  // Removes the plug-in from "Plugins" and its stored defaults from the
  // settings, then disposes the record. Its entries that are still loaded
  // keep working; its settings file is written and closed now.
  void UninstallPlugin(TPlugin* plugin);
  // The installed plug-in whose library path equals fileName ignoring case.
  TPlugin* FindPluginByFile(const std::wstring& fileName);
  std::wstring GetPluginPath(const TPlugin& plugin) const;
  // Every installed plug-in, in no particular order.
  std::vector<TPlugin*> GetPlugins();
  std::wstring GetPluginName(int32_t index);
  // "[<index>]<name>": the plug-in's sub-key of its stored defaults.
  static std::wstring GetPluginKeyName(const TPlugin& plugin);

  // A new pipe entry with its own library instance and its settings loaded
  // from (kind, key), after the plug-in's ZV_LoadA. Null after exactly one
  // report of the failure (the error entry when the plug-in left an error
  // text, else an "Error" box owned by ParentWindow); nothing stays loaded.
  TPluginEntry LoadPlugin(const TPlugin& plugin, TSettingKind kind, const std::wstring& key);
  // The same by installation index; null without a message when no plug-in
  // has that index.
  TPluginEntry LoadPluginByIndex(int32_t index, TSettingKind kind, const std::wstring& key);
  // Takes the entry and unloads it (what letting go of a TPluginEntry does).
  // An entry whose plug-in is still inside a call (a settings window that
  // lets the user act meanwhile) stays loaded until that call has returned:
  // a later unload, or the manager's end (unless the process exits, see
  // AbandonWaiting), finishes it.
  void UnloadPlugin(TLoadedPlugin* entry) noexcept;
  // At process exit, before the manager ends: the entries still waiting are
  // left loaded, as everything else is left then (their plug-ins may be
  // detached already, and the loader's notification is no place to call into
  // them or free a library). The manager's end still writes their plug-ins'
  // settings files.
  void AbandonWaiting() noexcept;

  // The settings manager's side of the plug-in files (see PluginConfigFiles.h).
  TConfigFileSettings* GetPluginConfigFile(int32_t index) override;
  void FreePluginConfigFile(int32_t index) override;

  // Where an installed plug-in's file is stored, and back: ".\" + the rest
  // when fileName lies below moduleDir, else fileName as it is.
  static std::wstring StoredFileName(const std::wstring& fileName, const std::wstring& moduleDir);
  static std::wstring FullFileName(const std::wstring& storedName, const std::wstring& moduleDir);

private:
  struct TRecord;
  // The plug-in list as the update check sees it.
  class TInstalledList final : public IInstalledPlugins {
  public:
    explicit TInstalledList(TPluginManager& manager) : FManager(manager) {}
    std::vector<TInstalledPluginInfo> GetPlugins() override;

  private:
    TPluginManager& FManager;
  };

  void LoadPluginList();
  TRecord* Find(int32_t index);  // with the lock held
  // Gives the entry a reference on the plug-in's settings file, opening it
  // when no entry holds it; and takes it back, closing the file with the last.
  void OpenPluginConfigFile(int32_t index, const std::wstring& libraryPath, const TLoadedPlugin& holder);
  void ClosePluginConfigFile(const TLoadedPlugin& holder);
  // Reports a failed load through the error entry when the plug-in left an
  // error text; false when the caller is to show its box instead.
  bool ReportLoadFailure(TLoadedPlugin& entry);
  // ZV_Unload, the library, the settings and the settings-file reference.
  void ReleaseLoaded(TLoadedPlugin& entry) noexcept;
  // Unloads the waiting entries whose calls have all returned (all of them
  // when the manager ends).
  void ReleaseWaiting(bool all) noexcept;

  TCriticalSection FLock;
  std::map<int32_t, std::unique_ptr<TRecord>> FPlugins;
  // Entries let go of while a call into their plug-in ran.
  std::vector<std::unique_ptr<TLoadedPlugin>> FWaitingUnloads;
  int64_t FNextIndex = 0;  // wide, so that an index of 2147483647 cannot wrap it
  TInstalledList FInstalledList{*this};
};

// The process-wide registry, made after the settings manager and freed after it.
extern TPluginManager* GlobalPluginManager;

}  // namespace zv
