// One loaded instance of a Zentavo plug-in library, every call into it, and
// the pipe entry that owns it.
//
// Each call into the plug-in goes through one guarded operation: it marks the
// running export and, for the calls made while a pipe entry works (ids 4 to
// 11), the current pipe entry; it calls the export under the structured
// exception guard; it reads a returned text inside that guard, bounded; and it
// checks a result the interface bounds. An exception leaving the plug-in is
// reported once through the error entry, with the code 10999 + id, and the
// operation answers its failure value. Whatever the plug-in does, no
// exception leaves these operations.
//
// Nested calls (a plug-in dialog of one entry calling into another, or the
// error entry asking a plug-in for its ID while that plug-in's call runs) put
// back the current pipe entry and the running export they found, so the
// outer call goes on as it was.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "platform/Lock.h"
#include "plugins/ErrorStruct.h"
#include "plugins/ExternalResources.h"
#include "plugins/PluginCallContext.h"
#include "plugins/ZentavoPlugin.h"

namespace zv {

class TGeneralStream;
class TPluginSettings;
struct TLoadedPlugin;

// Longest texts taken from ZV_InstallA and ZV_SettingsInfoA, in characters.
inline constexpr size_t MaxInstallNameLength = 40;
inline constexpr size_t MaxSettingsInfoLength = 255;

class TPluginFile {
public:
  // Loads the library at fileName. When that path is loaded in the process
  // already (a second pipe entry of the plug-in, or a probe of one in the
  // pipe), a private copy named "zvx....tmp" in the temporary folder is loaded
  // instead, so that each instance has its own module and globals. Never
  // fails by itself: a library that cannot be loaded leaves Handle() null and
  // no copy behind. owner: the pipe entry, null for a probe (a probe only
  // calls Install, GetPluginID and GetPluginVersion).
  TPluginFile(const std::wstring& fileName, TLoadedPlugin* owner);
  // Frees the library, deletes a private copy, then frees every block still
  // handed to the plug-in.
  ~TPluginFile();
  TPluginFile(const TPluginFile&) = delete;
  TPluginFile& operator=(const TPluginFile&) = delete;

  // Looks up all eleven exports by name; true only when the library is loaded
  // and exports ZV_InstallA, ZV_LoadA and ZV_TransformA.
  bool ResolveExports();
  bool HasGetPluginID() const { return Has(fiGetPluginID); }
  bool HasGetPluginVersion() const { return Has(fiGetPluginVersion); }
  bool HasUnload() const { return Has(fiUnload); }
  bool HasInitTransform() const { return Has(fiInitTransform); }
  bool HasDoneTransform() const { return Has(fiDoneTransform); }
  bool HasSettingsInfo() const { return Has(fiSettingsInfoA); }
  bool HasSettings() const { return Has(fiSettings); }
  bool HasAbout() const { return Has(fiAbout); }

  // The guarded calls. They call their export without testing for it: the
  // caller tests with Has* first. Failure values after an exception: empty
  // texts, 0, false, ZVR_CANCEL and ZVS_CANCEL.
  std::wstring Install(HWND parentWindow);  // the first 40 characters of the name
  uint32_t GetPluginID();
  uint32_t GetPluginVersion();
  bool Load();  // hands over the process-wide plug-in API record
  void Unload();
  bool InitTransform();
  void DoneTransform();
  // Hands over the process-wide transform record with the owner's streams.
  // A result of 8 or more becomes ZVR_ERROR with error 10000.
  uint32_t Transform();
  std::wstring GetSettingsInfo();  // the first 255 characters
  // global: the stored defaults are edited (passed as -1), not one pipe
  // entry (0). A result of 3 or more becomes ZVS_ERROR with error 10001.
  uint32_t Settings(bool global);
  void About();

  // The instance's last error: set by the plug-in through the API table, by
  // result checks and by the pipe stage; cleared at the start of calls 4..11.
  void SetLastError(uint32_t code, const std::wstring& text, const std::wstring& additionalInfo);
  TErrorStruct GetLastError();
  void ClearLastError();
  // Counts SetLastError calls, so that a caller can tell whether an error
  // was set while something ran (the same error may be set again).
  uint32_t LastErrorChanges();
  // The id of the export running now, 0 when none; settings may change only
  // while it is fiSettings.
  int32_t GetCurrentFunction() const { return FCurrentFunction; }
  // Whether a call into this library is on a stack now (nested calls
  // included): its code must not be freed until it returns.
  bool IsCallRunning() const { return FCurrentFunction != fiNone; }

  // The block store: copies handed to the plug-in, kept until it frees them
  // or the instance goes. Every operation holds the lock, since a plug-in may
  // free blocks on a thread of its own.
  const char* StoreAnsiString(const std::wstring& text);
  void* StoreData(const void* data, int32_t size);
  bool FreeResource(void* block);
  void FreeAllResources();
  int32_t GetResourceSize(const void* block);

  // Reports an exception caught at a call into this plug-in through the error
  // entry: code, the function's name and the exception's message.
  void ReportException(const std::wstring& exceptionMessage, uint32_t code, const std::wstring& functionName) noexcept;

  // The plug-in as messages name it: the pipe entry's name, for a probe the
  // library's file name without its folder.
  std::wstring PluginName() const;
  const std::wstring& FileName() const { return FFileName; }
  TLoadedPlugin* Owner() const { return FOwner; }
  HMODULE Handle() const { return FHandle; }
  bool IsTempCopy() const { return FIsTempCopy; }

private:
  class TCallScope;

  bool Has(TFunctionId id) const { return FExports[id - 1] != nullptr; }
  void LoadLibraryFile();
  void BeginCall();
  void EndCall(IPluginCallContext* savedContext);
  template <typename TResult, typename TBody>
  TResult Guarded(TFunctionId id, TResult failure, TBody body) noexcept;
  // The export's 32-bit result; a fault inside it raises.
  uint32_t Invoke(TFunctionId id, std::initializer_list<uint32_t> args);
  void CallWithoutResult(TFunctionId id);
  static std::wstring ReadText(uint32_t address, size_t maxLength);
  std::wstring InvalidResultText(const wchar_t* function, uint32_t value) const;

  TCriticalSection FLock;
  const void* FExports[ExportCount] = {};
  TExternalResources FResources;
  HMODULE FHandle = nullptr;
  std::wstring FFileName;
  TLoadedPlugin* FOwner;
  bool FIsTempCopy = false;
  TErrorStruct FLastError;
  uint32_t FLastErrorChanges = 0;
  // The running export; read by an unload that may come from another thread.
  std::atomic<int32_t> FCurrentFunction{fiNone};
};

// A pipe entry: one loaded plug-in instance with its settings and, during a
// transformation, its streams. Made and disposed by the installed-plug-in
// registry. It owns its library and its settings and frees them in that
// order, as the registry lets them go. It is the call context that
// callbacks act on while its plug-in runs.
struct TLoadedPlugin final : IPluginCallContext {
  TLoadedPlugin();
  ~TLoadedPlugin() override;
  TLoadedPlugin(const TLoadedPlugin&) = delete;
  TLoadedPlugin& operator=(const TLoadedPlugin&) = delete;

  int32_t Index = 0;  // the installation index, not the plug-in's own ID
  std::wstring Name;  // the installed plug-in name
  std::unique_ptr<TPluginFile> PluginFile;
  std::unique_ptr<TPluginSettings> PluginSettings;
  TGeneralStream* InputStream = nullptr;   // set by the pipe stage; not owned
  TGeneralStream* OutputStream = nullptr;  // set by the pipe stage; not owned

  std::wstring PluginName() override { return Name; }
  TPluginFile* GetPluginFile() override { return PluginFile.get(); }
  const char* StoreAnsiString(const std::wstring& text) override {
    return PluginFile ? PluginFile->StoreAnsiString(text) : nullptr;
  }
};

// The pipe entry whose plug-in code runs now: the plug-in host's typed view
// of CurrentPluginContext (the one variable behind both names). Null outside
// the calls 4..11 into a pipe entry.
inline TLoadedPlugin* CurrentPlugin() { return dynamic_cast<TLoadedPlugin*>(CurrentPluginContext.load()); }

}  // namespace zv
