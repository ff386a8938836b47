// How the settings manager reaches a plug-in's own configuration file. The
// installed-plug-in registry owns those files; the manager borrows one per call.
#pragma once
#include <atomic>
#include <cstdint>

namespace zv {

class TConfigFileSettings;

class IPluginConfigFiles {
public:
  // The plug-in's open file store, or null when no plug-in has that index or
  // none of its pipe entries is loaded. No reference is taken.
  virtual TConfigFileSettings* GetPluginConfigFile(int32_t index) = 0;
  // Frees the plug-in's file store whatever its reference count, so that later
  // calls find no file until the plug-in is loaded again.
  virtual void FreePluginConfigFile(int32_t index) = 0;

protected:
  ~IPluginConfigFiles() = default;
};

// Set by the installed-plug-in registry's constructor and cleared by its
// destructor (both in the user-interface thread, at FsInit and unload); read
// by the settings manager on any thread. Null means no plug-in file is open,
// so plug-in settings go to the registry.
extern std::atomic<IPluginConfigFiles*> PluginConfigFiles;

}  // namespace zv
