#include "plugins/SettingsBridge.h"

#include <cstdint>

#include "platform/TextConv.h"
#include "platform/ZvError.h"
#include "plugins/CallbackEntry.h"
#include "plugins/PluginSettings.h"
#include "plugins/ZentavoAPI.h"
#include "services/ErrorEntry.h"

namespace zv {

namespace {

constexpr size_t MaxIDLength = 255;  // bytes of a plug-in's ID that count

template <typename TResult, typename TBody>
TResult Run(uint32_t n, TResult failure, TBody body) noexcept {
  return RunEntry(TEntryName{ecSettingsExceptionBase + n, L"", SettingsEntryNames[n]}, failure, body);
}

std::wstring PluginID(const char* id) {
  if (!id) throw EZvError(L"The ID is a null pointer");
  return AnsiToWide(CopyPluginText(id, MaxIDLength));
}

TPluginSettings& SettingsOf(TLoadedPlugin& entry) {
  if (!entry.PluginSettings || !entry.PluginFile) throw EZvError(L"The pipe entry has no settings");
  return *entry.PluginSettings;
}

// Settings are the user's: a plug-in changes them only inside the dialog
// call that lets the user edit them.
TPluginSettings& ChangeableSettingsOf(TLoadedPlugin& entry) {
  TPluginSettings& settings = SettingsOf(entry);
  if (entry.PluginFile->GetCurrentFunction() != fiSettings)
    throw EZvError(L"Changing settings can only be done in the \"ZV_Settings\" function");
  return settings;
}

int32_t __stdcall ReadNumberA(const char* id, int32_t defaultValue) {
  return Run(0, defaultValue, [&](TLoadedPlugin& e) { return SettingsOf(e).ReadNumber(PluginID(id), defaultValue); });
}

const char* __stdcall ReadStringA(const char* id, const char* defaultValue) {
  return Run(1, defaultValue, [&](TLoadedPlugin& e) {
    const std::optional<std::wstring> text = SettingsOf(e).ReadString(PluginID(id));
    const char* copy = text ? e.PluginFile->StoreAnsiString(*text) : nullptr;
    return copy ? copy : defaultValue;
  });
}

void* __stdcall ReadDataA(const char* id, void* defaultValue) {
  return Run(2, defaultValue, [&](TLoadedPlugin& e) {
    const std::optional<TSettingData> data = SettingsOf(e).ReadData(PluginID(id));
    void* copy = data ? e.PluginFile->StoreData(data->data(), static_cast<int32_t>(data->size())) : nullptr;
    return copy ? copy : defaultValue;
  });
}

BOOL __stdcall WriteNumberA(const char* id, int32_t value) {
  return Run(3, FALSE, [&](TLoadedPlugin& e) {
    TPluginSettings& settings = ChangeableSettingsOf(e);
    return AsBool(settings.WriteNumber(PluginID(id), value));
  });
}

BOOL __stdcall WriteStringA(const char* id, const char* value) {
  return Run(4, FALSE, [&](TLoadedPlugin& e) -> BOOL {
    TPluginSettings& settings = ChangeableSettingsOf(e);
    const std::wstring key = PluginID(id);
    if (!value) return FALSE;
    return AsBool(settings.WriteString(key, AnsiToWide(CopyPluginText(value, SIZE_MAX))));
  });
}

BOOL __stdcall WriteDataA(const char* id, const void* data, int32_t size) {
  return Run(5, FALSE, [&](TLoadedPlugin& e) -> BOOL {
    TPluginSettings& settings = ChangeableSettingsOf(e);
    const std::wstring key = PluginID(id);
    if (!data || size < 0) return FALSE;
    // Allocated before the setting is touched: a size that cannot be had
    // fails here and the old value stays.
    TSettingData copy(static_cast<size_t>(size));
    TSehFault fault;
    if (size > 0 && !SehCopyBytes(copy.data(), data, copy.size(), fault)) RaiseFault(fault);
    return AsBool(settings.WriteData(key, std::move(copy)));
  });
}

int32_t __stdcall GetDataSizeA(const char* id) {
  return Run(6, -1, [&](TLoadedPlugin& e) { return SettingsOf(e).GetDataSize(PluginID(id)); });
}

BOOL __stdcall DeleteIDA(const char* id) {
  return Run(7, FALSE, [&](TLoadedPlugin& e) {
    TPluginSettings& settings = ChangeableSettingsOf(e);
    return AsBool(settings.DeleteID(PluginID(id)));
  });
}

// The plug-in stopped the enumeration and said why through API.SetErrorA.
void ReportCallbackError(TLoadedPlugin& entry, const TErrorStruct& error) {
  IErrorEntry* errors = GlobalErrorEntry;
  if (!errors) return;
  const std::wstring message = L"The following error occured in the EnumerateIDCallback function in the \"" +
                               entry.Name + L"\" plugin: \"" + error.Text + L"\".";
  errors->ReportError(entry.PluginFile.get(), message, error);
}

BOOL __stdcall EnumerateIDA(TEnumerateIDCallback callback) {
  return Run(8, FALSE, [&](TLoadedPlugin& e) -> BOOL {
    TPluginSettings& settings = SettingsOf(e);
    if (!callback) return FALSE;
    TPluginFile& file = *e.PluginFile;
    // An error set before the enumeration is about something else.
    const uint32_t errorsBefore = file.LastErrorChanges();
    bool stopped = false;
    settings.EnumerateIDs([&](const std::wstring& name) {
      const std::string id = WideToAnsi(name);  // valid during the call only
      uint32_t goOn = 0;
      TSehFault fault;
      if (!SehCall(reinterpret_cast<const void*>(callback), {SehArg(id.c_str())}, goOn, fault)) RaiseFault(fault);
      stopped = goOn == 0;
      return !stopped;
    });
    if (!stopped || file.LastErrorChanges() == errorsBefore) return AsBool(true);
    const TErrorStruct error = file.GetLastError();
    if (error.Text.empty()) return AsBool(true);
    ReportCallbackError(e, error);
    return FALSE;
  });
}

}  // namespace

void InitSettingsBridge() {
  *GetSettingsInterface() = {ReadNumberA,  ReadStringA,  ReadDataA, WriteNumberA, WriteStringA,
                             WriteDataA,   GetDataSizeA, DeleteIDA, EnumerateIDA};
}

}  // namespace zv
