// Named Transform Pipes. A profile is an ordered list of pipe entries, each
// remembered by its position and its plug-in's installation index and stored
// with that entry's plug-in settings: one sub-section per entry, named
// "<profile>\[<position>][<index>]<plug-in name>", under the manager's
// section kind ("Profiles" for the user's profiles, "TransformPipe" for the
// stored pipe, the profile "Stored"). Nothing else is stored: a profile is
// there exactly when a sub-section lies below its name.
//
// The stores find section names without regard to letter case, so profile
// names are compared the same way: "Work" and "WORK" are one profile, and
// saving or deleting one replaces or removes the stored tree under every
// spelling. A name holding "\" or a control character cannot be stored
// (it would be one level deeper, or split a section header) and is refused.
//
// The dialogs use a manager on the user-interface thread only.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/SettingsTypes.h"
#include "plugins/PluginManager.h"

namespace zv {

class TSettingsManager;

struct TProfileEntry {
  int32_t Position = 0;  // 1-based place in the pipe as stored; gaps may stay
  int32_t Index = 0;     // the plug-in's installation index
};

// One profile; the record belongs to its manager.
struct TProfile {
  std::wstring Name;
  std::vector<TProfileEntry> Plugins;  // by position, then by index
};

class TProfileManager {
public:
  // Reads every profile of the section kind through GlobalSettingsManager.
  explicit TProfileManager(TSettingKind kind);
  TProfileManager(const TProfileManager&) = delete;
  TProfileManager& operator=(const TProfileManager&) = delete;

  // The profile's entries loaded through GlobalPluginManager with the
  // settings stored for them, owned by the caller; none when there is no such
  // profile. An entry that cannot be loaded asks whether to go on ("Question"
  // box owned by ParentWindow): Yes leaves it out, No gives none and leaves
  // nothing loaded, as does any failure.
  std::optional<std::vector<TPluginEntry>> LoadProfile(const std::wstring& name, bool isStoredPipe);
  // Replaces the profile's stored tree by the entries with their settings,
  // numbered 1, 2, 3 in list order; every entry's sub-section exists
  // afterwards, also for a plug-in that keeps no settings. Null when the
  // name is refused, the store failed or it refused a setting (the other
  // entries and settings are written all the same). Whatever the answer, the
  // record under the name then follows what the store holds: a record held
  // before is updated in place (pointers to it stay valid), a new name gets
  // one, and a profile the store no longer holds loses its record (Find
  // tells which). A refused name changes nothing.
  TProfile* SaveProfile(const std::wstring& name, const std::vector<const TLoadedPlugin*>& entries);
  // Removes the profile from memory and store; an unknown name changes nothing.
  void DeleteProfile(const std::wstring& name);
  // Every profile, in no defined order.
  std::vector<TProfile*> GetProfiles();
  bool ProfileExists(const std::wstring& name) const;
  // The record under the name as the stores compare it; null when there is none.
  TProfile* Find(const std::wstring& name) const;
  bool IsPluginUsed(int32_t index) const;
  // Removes the installed plug-in's entries from every profile (the others
  // keep their positions) and the profiles left empty, in memory and store.
  void RemovePluginFromProfiles(int32_t index);

private:
  void LoadProfiles();
  // The profile stored under exactly this spelling; null when no sub-section lies below it.
  std::unique_ptr<TProfile> ReadStored(TSettingsManager& settings, const std::wstring& name) const;
  // Makes the record under the name what the store now holds, or drops it
  // when the store holds no such profile; a record that stays keeps its address.
  void RereadStored(const std::wstring& name);
  // The record under the name, updated in place or made, with these entries.
  TProfile& KeepStored(const std::wstring& name, std::vector<TProfileEntry> pairs);
  // Deletes the profile's stored tree under the given spelling and under
  // every other one the store lists for it.
  void DeleteStoredTree(const std::wstring& name);

  TSettingKind FKind;
  std::map<std::wstring, std::unique_ptr<TProfile>> FProfiles;  // by the name as the stores compare it
};

// The user's profiles ("Profiles"), made after the plug-in registry and freed
// first at unload.
extern TProfileManager* GlobalProfileManager;

}  // namespace zv
