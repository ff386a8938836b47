#include "plugins/PluginFile.h"

#include <cwctype>
#include <iterator>
#include <vector>

#include "config/SettingsManager.h"
#include "platform/Boundary.h"
#include "platform/SehGuard.h"
#include "platform/TextConv.h"
#include "platform/WinHandle.h"
#include "platform/ZvError.h"
#include "plugins/CallbackEntry.h"
#include "plugins/PluginSettings.h"
#include "plugins/ZentavoAPI.h"
#include "services/ErrorEntry.h"

namespace zv {

namespace {

constexpr wchar_t PrivateCopyPrefix[] = L"zvx";

// Libraries load without the system's critical-error boxes (a missing or
// unreadable file must not ask the user anything).
class TQuietErrorMode {
public:
  TQuietErrorMode() { ::SetThreadErrorMode(::GetThreadErrorMode() | SEM_FAILCRITICALERRORS, &FOld); }
  ~TQuietErrorMode() { ::SetThreadErrorMode(FOld, nullptr); }
  TQuietErrorMode(const TQuietErrorMode&) = delete;
  TQuietErrorMode& operator=(const TQuietErrorMode&) = delete;

private:
  DWORD FOld = 0;
};

// Loading and freeing run the plug-in's DllMain: through the guard, which
// also puts back floating-point settings its start-up code may change.
HMODULE LoadModule(const std::wstring& path) {
  uint32_t module = 0;
  TSehFault fault;
  const bool returned =
      SehCall(reinterpret_cast<const void*>(&::LoadLibraryW), {SehArg(path.c_str())}, module, fault);
  return returned ? reinterpret_cast<HMODULE>(module) : nullptr;
}

void UnloadModule(HMODULE module) {
  uint32_t ignored;
  TSehFault fault;
  SehCall(reinterpret_cast<const void*>(&::FreeLibrary), {SehArg(module)}, ignored, fault);
}

// A name the temporary-file service gives: the prefix, one to four hex digits, ".tmp".
bool IsPrivateCopyName(const std::wstring& name) {
  const size_t prefix = std::size(PrivateCopyPrefix) - 1;
  if (name.size() < prefix + 5 || name.size() > prefix + 8) return false;
  if (_wcsnicmp(name.c_str(), PrivateCopyPrefix, prefix) != 0) return false;
  if (_wcsicmp(name.c_str() + name.size() - 4, L".tmp") != 0) return false;
  for (size_t i = prefix; i < name.size() - 4; ++i)
    if (!std::iswxdigit(name[i])) return false;
  return true;
}

// Copies left by a host that ended without unloading us would pile up until
// the temporary names run out. A copy that is loaded, or being made by
// another process, cannot be deleted, so deleting every one is safe.
void DeleteStalePrivateCopies(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  const TScopedFind find(::FindFirstFileW((folder + L"\\" + PrivateCopyPrefix + L"*.tmp").c_str(), &data));
  if (!find) return;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsPrivateCopyName(data.cFileName))
      ::DeleteFileW((folder + L"\\" + data.cFileName).c_str());
  } while (::FindNextFileW(find.Get(), &data));
}

// A new, empty file "zvx<hex>.tmp" in the folder, made the way the system's
// temporary-file service does it, but opened at once without delete sharing:
// nobody can delete the copy from now until it is loaded.
TScopedFile CreatePrivateCopyFile(const std::wstring& folder, std::wstring& path) {
  const DWORD start = (::GetTickCount() ^ ::GetCurrentThreadId()) & 0xFFFF;
  for (DWORD i = 0; i < 0x10000; ++i) {
    const DWORD unique = (start + i) & 0xFFFF;
    if (unique == 0) continue;
    wchar_t name[16];
    swprintf(name, 16, L"%ls%X.tmp", PrivateCopyPrefix, static_cast<unsigned>(unique));
    path = folder + L"\\" + name;
    if (path.size() >= MAX_PATH) return {};
    TScopedFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return file;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

bool CopyFileInto(const std::wstring& source, HANDLE target) {
  const TScopedFile from(::CreateFileW(source.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!from) return false;
  std::vector<char> buffer(65536);
  for (;;) {
    DWORD read = 0, written = 0;
    if (!::ReadFile(from.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
    if (read == 0) return true;
    if (!::WriteFile(target, buffer.data(), read, &written, nullptr) || written != read) return false;
  }
}

// Copies the library to a new private file and loads that; the file is gone
// again when anything fails.
HMODULE LoadPrivateCopy(const std::wstring& fileName, std::wstring folder) {
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  DeleteStalePrivateCopies(folder);
  std::wstring path;
  TScopedFile writer = CreatePrivateCopyFile(folder, path);
  if (!writer) return nullptr;
  const bool copied = CopyFileInto(fileName, writer.Get());
  // The loader opens the file for reading and lets others read it; this
  // holder lets the loader in and keeps deleters out until the module is
  // mapped, after which the mapping itself keeps the file.
  TScopedFile holder(copied ? ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr)
                            : INVALID_HANDLE_VALUE);
  writer.Reset();
  HMODULE module = holder ? LoadModule(path) : nullptr;
  holder.Reset();
  if (!module) ::DeleteFileW(path.c_str());
  return module;
}

std::wstring TemporaryFolder() {
  if (TSettingsManager* settings = GlobalSettingsManager) return settings->GetTempFolder();
  wchar_t path[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, path);
  return n > 0 && n <= MAX_PATH ? std::wstring(path, n) : std::wstring();
}

std::wstring ModuleFileName(HMODULE module) {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(path, n) : std::wstring();
}

}  // namespace

// ---- the pipe entry ----

TLoadedPlugin::TLoadedPlugin() = default;

TLoadedPlugin::~TLoadedPlugin() {
  PluginFile.reset();
  PluginSettings.reset();
}

// ---- the call context ----

// Marks one guarded call: the running export, and for the calls a pipe entry
// makes (ids 4..11) the current pipe entry with a cleared last error. Puts
// back what it found, so that a nested call leaves the outer one intact.
class TPluginFile::TCallScope {
public:
  TCallScope(TPluginFile& file, TFunctionId id) noexcept
      : FFile(file), FSetsContext(id >= fiLoadA), FSavedContext(CurrentPluginContext.load()),
        FSavedFunction(file.FCurrentFunction) {
    if (FSetsContext) FFile.BeginCall();
    FFile.FCurrentFunction = id;
  }
  ~TCallScope() {
    FFile.FCurrentFunction = FSavedFunction;
    if (FSetsContext) FFile.EndCall(FSavedContext);
  }
  TCallScope(const TCallScope&) = delete;
  TCallScope& operator=(const TCallScope&) = delete;

private:
  TPluginFile& FFile;
  const bool FSetsContext;
  IPluginCallContext* const FSavedContext;
  const int32_t FSavedFunction;
};

void TPluginFile::BeginCall() {
  CurrentPluginContext = FOwner;
  ClearLastError();
}

void TPluginFile::EndCall(IPluginCallContext* savedContext) { CurrentPluginContext = savedContext; }

// ---- loading and unloading ----

TPluginFile::TPluginFile(const std::wstring& fileName, TLoadedPlugin* owner) : FFileName(fileName), FOwner(owner) {
  try {
    LoadLibraryFile();
  } catch (...) {
    // Whatever failed on the way (the settings, memory), the library is not
    // loaded and the callers see it by the handle.
  }
  ClearLastError();
  FCurrentFunction = fiNone;
}

void TPluginFile::LoadLibraryFile() {
  const TQuietErrorMode quiet;
  // The loader's own limit on Windows; some platforms would go beyond it.
  if (FFileName.empty() || FFileName.size() >= MAX_PATH) return;
  if (!::GetModuleHandleW(FFileName.c_str())) {
    FHandle = LoadModule(FFileName);
    return;
  }
  FHandle = LoadPrivateCopy(FFileName, TemporaryFolder());
  FIsTempCopy = FHandle != nullptr;
}

TPluginFile::~TPluginFile() {
  const std::wstring copy = FIsTempCopy ? ModuleFileName(FHandle) : std::wstring();
  if (FHandle) {
    const TQuietErrorMode quiet;
    UnloadModule(FHandle);
  }
  if (!copy.empty()) ::DeleteFileW(copy.c_str());
  // The blocks go with FResources, before the lock.
}

bool TPluginFile::ResolveExports() {
  if (!FHandle) return false;
  for (int32_t id = fiInstallA; id <= fiAbout; ++id)
    FExports[id - 1] = reinterpret_cast<const void*>(::GetProcAddress(FHandle, ExportNames[id - 1]));
  return Has(fiInstallA) && Has(fiLoadA) && Has(fiTransformA);
}

// ---- guarded calls ----

// body answers the operation's result; whatever it raises (a fault inside
// the plug-in, a bad text it returned, a failure on our side) is reported
// once as an exception of the export, and the failure value is the result.
template <typename TResult, typename TBody>
TResult TPluginFile::Guarded(TFunctionId id, TResult failure, TBody body) noexcept {
  const TCallScope scope(*this, id);
  return GuardBoundary(std::move(failure), body, [&] {
    ReportException(CurrentExceptionMessage(), ecExportExceptionBase + id - 1, ExportFunctionName(id));
  });
}

uint32_t TPluginFile::Invoke(TFunctionId id, std::initializer_list<uint32_t> args) {
  uint32_t result = 0;
  TSehFault fault;
  if (!SehCall(FExports[id - 1], args, result, fault)) RaiseFault(fault);
  return result;
}

// A text the plug-in returned, read inside the guard and never past its
// length limit: a bad or unterminated pointer is that export's exception.
std::wstring TPluginFile::ReadText(uint32_t address, size_t maxLength) {
  return CopyPluginChars(reinterpret_cast<const char*>(address), maxLength);
}

std::wstring TPluginFile::InvalidResultText(const wchar_t* function, uint32_t value) const {
  return std::wstring(function) + L" (" + PluginName() + L"): Invalid return value (" +
         std::to_wstring(static_cast<int32_t>(value)) + L").";
}

std::wstring TPluginFile::Install(HWND parentWindow) {
  return Guarded(fiInstallA, std::wstring(), [&] {
    return ReadText(Invoke(fiInstallA, {SehArg(parentWindow), ZentavoVersion}), MaxInstallNameLength);
  });
}

uint32_t TPluginFile::GetPluginID() {
  return Guarded(fiGetPluginID, 0u, [&] { return Invoke(fiGetPluginID, {}); });
}

uint32_t TPluginFile::GetPluginVersion() {
  return Guarded(fiGetPluginVersion, 0u, [&] { return Invoke(fiGetPluginVersion, {}); });
}

bool TPluginFile::Load() {
  return Guarded(fiLoadA, false, [&] { return Invoke(fiLoadA, {SehArg(GetPluginAPI())}) != 0; });
}

bool TPluginFile::InitTransform() {
  return Guarded(fiInitTransform, false, [&] { return Invoke(fiInitTransform, {}) != 0; });
}

void TPluginFile::CallWithoutResult(TFunctionId id) {
  Guarded(id, 0u, [&] { return Invoke(id, {}); });
}

void TPluginFile::Unload() { CallWithoutResult(fiUnload); }
void TPluginFile::DoneTransform() { CallWithoutResult(fiDoneTransform); }
void TPluginFile::About() { CallWithoutResult(fiAbout); }

uint32_t TPluginFile::Transform() {
  return Guarded(fiTransformA, static_cast<uint32_t>(ZVR_CANCEL), [&]() -> uint32_t {
    TTransformInterface* transform = GetTransformInterface();
    transform->Input = FOwner && FOwner->InputStream ? GetInputStreamInterface() : nullptr;
    transform->Output = FOwner && FOwner->OutputStream ? GetOutputStreamInterface() : nullptr;
    const uint32_t code = Invoke(fiTransformA, {SehArg(transform)});
    if (code <= ZVR_NOOUTPUT) return code;
    SetLastError(ecInvalidTransformResult, InvalidResultText(L"ZV_Transform", code), std::wstring());
    return ZVR_ERROR;
  });
}

std::wstring TPluginFile::GetSettingsInfo() {
  return Guarded(fiSettingsInfoA, std::wstring(),
                 [&] { return ReadText(Invoke(fiSettingsInfoA, {}), MaxSettingsInfoLength); });
}

uint32_t TPluginFile::Settings(bool global) {
  return Guarded(fiSettings, static_cast<uint32_t>(ZVS_CANCEL), [&]() -> uint32_t {
    const uint32_t code = Invoke(fiSettings, {global ? 0xFFFFFFFFu : 0u});
    if (code <= ZVS_CHANGED) return code;
    SetLastError(ecInvalidSettingsResult, InvalidResultText(L"ZV_Settings", code), std::wstring());
    return ZVS_ERROR;
  });
}

// ---- errors ----

void TPluginFile::SetLastError(uint32_t code, const std::wstring& text, const std::wstring& additionalInfo) {
  TLockGuard lock(FLock);
  FLastError = TErrorStruct{code, text, additionalInfo};
  ++FLastErrorChanges;
}

uint32_t TPluginFile::LastErrorChanges() {
  TLockGuard lock(FLock);
  return FLastErrorChanges;
}

TErrorStruct TPluginFile::GetLastError() {
  TLockGuard lock(FLock);
  return FLastError;
}

void TPluginFile::ClearLastError() {
  TLockGuard lock(FLock);
  FLastError.Code = 0;
  FLastError.Text.clear();
  FLastError.AdditionalInfo.clear();
}

std::wstring TPluginFile::PluginName() const {
  if (FOwner) return FOwner->Name;
  return FFileName.substr(FFileName.find_last_of(L"\\:") + 1);
}

void TPluginFile::ReportException(const std::wstring& exceptionMessage, uint32_t code,
                                  const std::wstring& functionName) noexcept {
  try {
    IErrorEntry* entry = CurrentErrorEntry();
    if (!entry) return;
    const std::wstring text = ExceptionText(functionName, PluginName());
    entry->ReportError(this, text, TErrorStruct{code, text, ExceptionDetails(exceptionMessage)});
  } catch (...) {
    // Out of memory while building the report: there is nothing left to
    // report it with, and the call's failure value still tells the caller.
  }
}

// ---- the block store ----

const char* TPluginFile::StoreAnsiString(const std::wstring& text) {
  TLockGuard lock(FLock);
  return FResources.AllocAnsiString(text);
}

void* TPluginFile::StoreData(const void* data, int32_t size) {
  TLockGuard lock(FLock);
  return FResources.AllocData(data, size);
}

bool TPluginFile::FreeResource(void* block) {
  TLockGuard lock(FLock);
  return FResources.Release(block);
}

void TPluginFile::FreeAllResources() {
  TLockGuard lock(FLock);
  FResources.ReleaseAll();
}

int32_t TPluginFile::GetResourceSize(const void* block) {
  TLockGuard lock(FLock);
  return FResources.GetSize(block);
}

}  // namespace zv
