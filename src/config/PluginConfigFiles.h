// How the settings manager reaches a plug-in's own configuration file. The
// registry of installed plug-ins opens and closes those files with the
// plug-in's pipe entries; the manager borrows one for each routed call.
//
// A file store has no lock of its own: the settings manager's lock guards it.
// The registry keeps these rules so that no store is used while it is freed:
//
// - Lock order: the settings manager's lock, then the registry's own lock.
//   The manager calls both operations below with its lock held, and they take
//   the registry's lock. So the registry never calls into the settings manager
//   (a routed call, Flush, ReleasePluginConfigFile) while it holds its own lock.
// - References: the registry holds one reference on each store it opened (the
//   one the constructor gives) and counts the plug-in's pipe entries itself.
//   Every borrower holds one more, so the store's count says nothing about
//   the entries: the registry decides from its own count when to let go,
//   never from Release's answer.
// - Letting go (the last entry of the plug-in unloaded): under its own lock
//   the registry clears its pointer to the store; then, with its lock
//   released, it drops its reference with
//   TSettingsManager::ReleasePluginConfigFile. That frees the store (which
//   writes the file when modified) under the settings manager's lock when no
//   borrower holds it, else the last borrower frees it when its call ends.
//   A plug-in store is never deleted or flushed any other way.
// - The count is atomic: GetPluginConfigFile's AddRef needs no further lock.
#pragma once
#include <atomic>
#include <cstdint>

namespace zv {

class TConfigFileSettings;

class IPluginConfigFiles {
public:
  // The plug-in's open file store with one reference taken for the caller, or
  // null when no plug-in has that index or none of its pipe entries is loaded.
  // The registry takes the reference in the same hold of its lock in which it
  // reads its pointer, so a concurrent unload cannot free the store in between.
  // The caller (the settings manager) holds the reference for its whole call
  // and drops it under its own lock.
  virtual TConfigFileSettings* GetPluginConfigFile(int32_t index) = 0;
  // An operation on the store raised: the registry lets go of the store now,
  // as above, whatever its entries (the settings manager's lock is re-entrant,
  // so ReleasePluginConfigFile may be called from here). Later calls find no
  // file until the plug-in is loaded again; entries loaded before must not
  // count against a store opened after. The caller still borrows the store,
  // so it is not freed within this call.
  virtual void FreePluginConfigFile(int32_t index) = 0;

protected:
  ~IPluginConfigFiles() = default;
};

// Set by the registry of installed plug-ins when it is created and cleared
// when it is destroyed (both on the user-interface thread, at FsInit and
// unload); read by the settings manager on any thread. Null means no plug-in
// file is open, so plug-in settings go to the registry.
extern std::atomic<IPluginConfigFiles*> PluginConfigFiles;

}  // namespace zv
