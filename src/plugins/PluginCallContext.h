// The pipe entry whose plug-in is being called right now. Callbacks from a
// plug-in carry no identity, so they act on this process-wide entry; the
// plug-in host sets it around every call into a pipe entry's plug-in and puts
// back the entry it found after. The pipe entry (TLoadedPlugin) implements
// this interface; CurrentPlugin() is its typed view of the same variable.
#pragma once
#include <atomic>
#include <string>

namespace zv {

class TPluginFile;  // the loaded plug-in library

class IPluginCallContext {
public:
  virtual ~IPluginCallContext() = default;

  // The pipe entry's plug-in name, as shown in messages.
  virtual std::wstring PluginName() = 0;
  // The library of the plug-in; the error entry needs it to name the culprit.
  virtual TPluginFile* GetPluginFile() = 0;
  // A fresh zero-terminated ANSI copy of the text, kept by the plug-in's block
  // store so the pointer stays valid after the callback; null when it fails.
  virtual const char* StoreAnsiString(const std::wstring& text) = 0;
};

// None outside a plug-in call: texts cannot then be handed out and errors
// cannot be attributed. Set and cleared by the plug-in host around each call
// into a plug-in, on the thread that makes the call (the host's file thread
// during a run, the user-interface thread in the dialogs).
inline std::atomic<IPluginCallContext*> CurrentPluginContext{nullptr};

}  // namespace zv
