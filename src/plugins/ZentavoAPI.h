// The tables of entry addresses a plug-in reaches the system through: the
// root record handed to ZV_LoadA, the record handed to ZV_TransformA, and the
// tables hanging from them. They are the binary interface between separately
// built libraries: 32-bit fields in this order, every entry standard calling
// convention, BOOL 32 bits (we answer -1 for true), texts zero-terminated
// ANSI, 64-bit values signed and passed low half first.
//
// One process-wide instance of each record exists. They stay zero until the
// callback tables are set up at FsInit (InitTransformBridge, then
// InitPluginAPI), which fill them through the accessors below before any
// plug-in is loaded.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace zv {

struct TExternalResourcesInterface {
  BOOL(__stdcall* FreeResource)(void* block);
  void(__stdcall* FreeAllResources)();
  int32_t(__stdcall* GetResourceSize)(void* block);
};

struct TServicesInterface {
  int32_t(__stdcall* GetZentavoVersion)();
  HWND(__stdcall* GetParentWindow)();
};

// A plug-in's callback for EnumerateIDA: non-zero goes on, 0 stops.
using TEnumerateIDCallback = BOOL(__stdcall*)(const char* id);

struct TSettingsInterface {
  int32_t(__stdcall* ReadNumberA)(const char* id, int32_t defaultValue);
  const char*(__stdcall* ReadStringA)(const char* id, const char* defaultValue);
  void*(__stdcall* ReadDataA)(const char* id, void* defaultValue);
  BOOL(__stdcall* WriteNumberA)(const char* id, int32_t value);
  BOOL(__stdcall* WriteStringA)(const char* id, const char* value);
  BOOL(__stdcall* WriteDataA)(const char* id, const void* data, int32_t size);
  int32_t(__stdcall* GetDataSizeA)(const char* id);
  BOOL(__stdcall* DeleteIDA)(const char* id);
  BOOL(__stdcall* EnumerateIDA)(TEnumerateIDCallback callback);
};

struct TPluginAPI {
  BOOL(__stdcall* SetErrorA)(uint32_t code, const char* message, const char* details);
  TExternalResourcesInterface* ExternalResources;
  TSettingsInterface* Settings;
  TServicesInterface* Services;
};

struct TStreamInterface {
  const char*(__stdcall* GetPathA)();
  BOOL(__stdcall* SetPathA)(const char* path);
  const char*(__stdcall* GetNameA)();
  BOOL(__stdcall* SetNameA)(const char* name);
  const char*(__stdcall* GetExtensionA)();
  BOOL(__stdcall* SetExtensionA)(const char* extension);
  BOOL(__stdcall* GetSize)(int64_t* size);
  BOOL(__stdcall* SetSize)(int64_t size);
  BOOL(__stdcall* GetPosition)(int64_t* position);
  BOOL(__stdcall* Seek)(int64_t offset, int32_t moveType);
  int32_t(__stdcall* Read)(void* buffer, int32_t count);
  int32_t(__stdcall* Write)(const void* buffer, int32_t count);
  BOOL(__stdcall* IsEndOfStream)();
};

struct TTransformInterface {
  TStreamInterface* Input;   // null when the stage has no input stream
  TStreamInterface* Output;  // null when the stage has no output stream
  BOOL(__stdcall* SetProgress)(int32_t percent);
  void(__stdcall* SetStatusA)(const char* status);
  BOOL(__stdcall* AskOutputNameA)(const char* prompt, const char* defaultName);
};

static_assert(sizeof(void*) == 4, "the plug-in interface is 32-bit");
static_assert(sizeof(TExternalResourcesInterface) == 12 && offsetof(TExternalResourcesInterface, GetResourceSize) == 8);
static_assert(sizeof(TServicesInterface) == 8 && offsetof(TServicesInterface, GetParentWindow) == 4);
static_assert(sizeof(TSettingsInterface) == 36 && offsetof(TSettingsInterface, WriteNumberA) == 12 &&
              offsetof(TSettingsInterface, EnumerateIDA) == 32);
static_assert(sizeof(TPluginAPI) == 16 && offsetof(TPluginAPI, ExternalResources) == 4 &&
              offsetof(TPluginAPI, Settings) == 8 && offsetof(TPluginAPI, Services) == 12);
static_assert(sizeof(TStreamInterface) == 52 && offsetof(TStreamInterface, GetSize) == 24 &&
              offsetof(TStreamInterface, Seek) == 36 && offsetof(TStreamInterface, IsEndOfStream) == 48);
static_assert(sizeof(TTransformInterface) == 20 && offsetof(TTransformInterface, Output) == 4 &&
              offsetof(TTransformInterface, SetProgress) == 8 && offsetof(TTransformInterface, AskOutputNameA) == 16);

// The process-wide records. ZV_LoadA receives GetPluginAPI(); ZV_TransformA
// receives GetTransformInterface() with Input and Output set by the guarded
// call to the two stream tables, or to null where the stage lacks a stream.
TPluginAPI* GetPluginAPI();
TTransformInterface* GetTransformInterface();
TStreamInterface* GetInputStreamInterface();
TStreamInterface* GetOutputStreamInterface();
TExternalResourcesInterface* GetExternalResourcesInterface();
TSettingsInterface* GetSettingsInterface();
TServicesInterface* GetServicesInterface();

}  // namespace zv
