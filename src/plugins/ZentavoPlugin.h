// The export interface of a Zentavo plug-in: the eleven ZV_* functions with
// their ids, the result codes, and the error codes the plug-in host produces
// with the function names their messages carry. Every export uses the
// standard calling convention; texts are zero-terminated ANSI; BOOL is 32
// bits, 0 false, any other value true (we pass -1 for true).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace zv {

struct TPluginAPI;
struct TTransformInterface;

// The system's version as plug-ins see it (ZV_InstallA, Services.GetZentavoVersion).
inline constexpr uint32_t ZentavoVersion = 100;

// Results of ZV_TransformA.
enum : uint32_t {
  ZVR_ERROR = 0,
  ZVR_CANCEL = 1,
  ZVR_OK = 2,
  ZVR_ANOTHERINPUT = 3,
  ZVR_USEINPUT = 4,
  ZVR_WAITMOREINPUT = 5,
  ZVR_MOREOUTPUT = 6,
  ZVR_NOOUTPUT = 7,
};

// Results of ZV_Settings.
enum : uint32_t {
  ZVS_ERROR = 0,
  ZVS_CANCEL = 1,
  ZVS_CHANGED = 2,
};

// The exports in id order; the id also picks the error code of an exception
// inside the export (ecExportExceptionBase + id - 1).
enum TFunctionId : int32_t {
  fiNone = 0,
  fiInstallA = 1,
  fiGetPluginID,
  fiGetPluginVersion,
  fiLoadA,
  fiUnload,
  fiInitTransform,
  fiDoneTransform,
  fiTransformA,
  fiSettingsInfoA,
  fiSettings,
  fiAbout,
};
inline constexpr int32_t ExportCount = 11;

// The export names, looked up exactly as written; they are also the function
// names of the exception messages. Index: id - 1.
inline constexpr const char* ExportNames[ExportCount] = {
    "ZV_InstallA",      "ZV_GetPluginID",  "ZV_GetPluginVersion", "ZV_LoadA",
    "ZV_Unload",        "ZV_InitTransform", "ZV_DoneTransform",   "ZV_TransformA",
    "ZV_SettingsInfoA", "ZV_Settings",     "ZV_About",
};

using TZVInstallA = const char*(__stdcall*)(HWND parentWindow, uint32_t zentavoVersion);
using TZVGetPluginID = uint32_t(__stdcall*)();
using TZVGetPluginVersion = uint32_t(__stdcall*)();
using TZVLoadA = BOOL(__stdcall*)(TPluginAPI* api);
using TZVUnload = void(__stdcall*)();
using TZVInitTransform = BOOL(__stdcall*)();
using TZVDoneTransform = void(__stdcall*)();
using TZVTransformA = uint32_t(__stdcall*)(TTransformInterface* transform);
using TZVSettingsInfoA = const char*(__stdcall*)();
using TZVSettings = uint32_t(__stdcall*)(BOOL global);
using TZVAbout = void(__stdcall*)();

// Error codes (TErrorStruct::Code). A plug-in's own codes lie below 10000;
// everything from 10000 on is the system's.
inline constexpr uint32_t ecPluginCodeLimit = 10000;
inline constexpr uint32_t ecInvalidTransformResult = 10000;  // ZV_TransformA returned 8 or more
inline constexpr uint32_t ecInvalidSettingsResult = 10001;   // ZV_Settings returned 3 or more
inline constexpr uint32_t ecInvalidNullInputResult = 10002;  // more input asked for without input
inline constexpr uint32_t ecInvalidMoveType = 10003;         // a stream seek with an unknown move type
inline constexpr uint32_t ecExportExceptionBase = 11000;     // + id - 1: inside a ZV_* export
inline constexpr uint32_t ecInputStreamExceptionBase = 12000;   // + entry: input stream table
inline constexpr uint32_t ecOutputStreamExceptionBase = 13000;  // + entry: output stream table
inline constexpr uint32_t ecSettingsExceptionBase = 14000;      // + entry: settings table

// Entry names of the stream tables in table order; the reported function name
// is "IStream." or "OStream." followed by the entry name.
inline constexpr const wchar_t* StreamEntryNames[13] = {
    L"GetPathA", L"SetPathA", L"GetNameA",    L"SetNameA", L"GetExtensionA", L"SetExtensionA", L"GetSize",
    L"SetSize",  L"GetPosition", L"Seek",     L"Read",     L"Write",         L"IsEndOfStream",
};
// Reported names of the settings table's entries in table order.
inline constexpr const wchar_t* SettingsEntryNames[9] = {
    L"Settings.ReadNumberA",  L"Settings.ReadStringA",  L"Settings.ReadDataA",
    L"Settings.WriteNumberA", L"Settings.WriteStringA", L"Settings.WriteDataA",
    L"Settings.GetDataSizeA", L"Settings.DeleteIDA",    L"Settings.EnumerateIDA",
};

// The function name an exception report carries for an export id.
inline std::wstring ExportFunctionName(TFunctionId id) {
  const char* name = ExportNames[id - 1];
  return std::wstring(name, name + std::char_traits<char>::length(name));
}

// The exception message's first text, the same for exports and every callback:
// An exception occured while processing the "<function>" function in the "<plugin>" plugin!
inline std::wstring ExceptionText(const std::wstring& functionName, const std::wstring& pluginName) {
  return L"An exception occured while processing the \"" + functionName + L"\" function in the \"" + pluginName +
         L"\" plugin!";
}
// Its details: "Exception message: <message>" and an empty stack trace line.
inline std::wstring ExceptionDetails(const std::wstring& exceptionMessage) {
  return L"Exception message: " + exceptionMessage + L"\r\nStacktrace: ";
}

}  // namespace zv
