#include "plugins/TransformBridge.h"

#include "engine/GeneralStream.h"
#include "engine/TransformProgress.h"
#include "platform/Dialogs.h"
#include "platform/ZvError.h"
#include "plugins/CallbackEntry.h"
#include "plugins/ServicesBridge.h"
#include "plugins/SettingsBridge.h"
#include "plugins/StreamBridge.h"
#include "plugins/ZentavoAPI.h"

namespace zv {

namespace {

constexpr TEntryName Unreported{0, L"", L""};

// Longest texts taken from these entries, in characters (status: bytes).
constexpr size_t MaxStatusBytes = 255;
constexpr size_t MaxPromptLength = 255;
constexpr size_t MaxOutputNameLength = 260;
constexpr size_t MaxErrorTextLength = 255;
constexpr size_t MaxErrorDetailsLength = 1023;

// ---- the transform record ----

BOOL __stdcall SetProgress(int32_t percent) {
  return RunEntry(Unreported, FALSE, [&](TLoadedPlugin&) {
    ITransformProgress* runner = ActiveTransformManager;
    return AsBool(runner && runner->SetProgress(percent));
  });
}

void __stdcall SetStatusA(const char* status) {
  RunEntry(Unreported, 0, [&](TLoadedPlugin&) {
    const std::string copy = CopyPluginText(status, MaxStatusBytes);
    if (ITransformProgress* runner = ActiveTransformManager) runner->SetStatus(status ? copy.c_str() : nullptr);
    return 0;
  });
}

// True only when the user confirmed a name and the output stream took it.
BOOL __stdcall AskOutputNameA(const char* prompt, const char* defaultName) {
  return RunEntry(Unreported, FALSE, [&](TLoadedPlugin& entry) -> BOOL {
    if (!entry.OutputStream) return FALSE;  // no name could be applied: ask nothing
    const std::wstring label = CopyPluginChars(prompt, MaxPromptLength);
    std::wstring name = CopyPluginChars(defaultName, MaxOutputNameLength);
    if (!InputQuery(L"Set a name for the output stream", label, name)) return FALSE;
    entry.OutputStream->SetFileName(name);
    return AsBool(true);
  });
}

// ---- the API root's error setter ----

BOOL __stdcall SetErrorA(uint32_t code, const char* message, const char* details) {
  return RunEntry(Unreported, FALSE, [&](TLoadedPlugin& entry) -> BOOL {
    if (code >= ecPluginCodeLimit || !message || !entry.PluginFile) return FALSE;
    const std::wstring text = CopyPluginChars(message, MaxErrorTextLength);
    if (text.empty()) return FALSE;
    entry.PluginFile->SetLastError(code, text, CopyPluginChars(details, MaxErrorDetailsLength));
    return AsBool(true);
  });
}

// ---- the resources table ----

TPluginFile& FileOf(TLoadedPlugin& entry) {
  if (!entry.PluginFile) throw EZvError(L"The pipe entry has no library");
  return *entry.PluginFile;
}

BOOL __stdcall FreeResource(void* block) {
  return RunEntry(Unreported, FALSE, [&](TLoadedPlugin& entry) { return AsBool(FileOf(entry).FreeResource(block)); });
}

void __stdcall FreeAllResources() {
  RunEntry(Unreported, 0, [](TLoadedPlugin& entry) {
    FileOf(entry).FreeAllResources();
    return 0;
  });
}

int32_t __stdcall GetResourceSize(void* block) {
  return RunEntry(Unreported, -1, [&](TLoadedPlugin& entry) { return FileOf(entry).GetResourceSize(block); });
}

}  // namespace

void InitTransformBridge() {
  InitStreamBridge();
  TTransformInterface& transform = *GetTransformInterface();
  transform.SetProgress = SetProgress;
  transform.SetStatusA = SetStatusA;
  transform.AskOutputNameA = AskOutputNameA;
}

void InitPluginAPI() {
  *GetExternalResourcesInterface() = {FreeResource, FreeAllResources, GetResourceSize};
  InitSettingsBridge();
  InitServicesBridge();
  *GetPluginAPI() = {SetErrorA, GetExternalResourcesInterface(), GetSettingsInterface(), GetServicesInterface()};
}

}  // namespace zv
