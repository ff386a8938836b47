#include "engine/GeneralStream.h"

#include <windows.h>
#include <cmath>
#include <cstring>
#include <exception>

#include "engine/TransformProgress.h"
#include "platform/FileSystem.h"
#include "platform/TextConv.h"
#include "platform/ZvError.h"
#include "plugins/PluginCallContext.h"
#include "services/ErrorEntry.h"

namespace zv {

std::wstring TFileProperties::Directory() const {
  return Path.empty() ? Root : Root + L"\\" + Path;
}

std::wstring TFileProperties::FullName() const {
  return Directory() + L"\\" + Name + L"." + Extension;
}

size_t LastPos(std::wstring_view subStr, std::wstring_view s) {
  if (subStr.empty() || s.empty() || subStr.size() > s.size()) return 0;
  const size_t p = s.rfind(subStr);
  return p == std::wstring_view::npos ? 0 : p + 1;
}

namespace {

// A plug-in's text: up to its terminating zero, never beyond the length limit.
std::wstring PluginText(const char* text) {
  return AnsiToWide(std::string_view(text, ::strnlen(text, MaxPluginTextLength)));
}

// Drops everything up to and including the last directory separator. A forward
// slash separates as well as a backslash in Win32 paths, so both count: a name
// must never lead out of its directory.
std::wstring WithoutDirectory(const std::wstring& text) {
  const size_t p = text.find_last_of(L"\\/");
  return p == std::wstring::npos ? text : text.substr(p + 1);
}

// Creates dir with every missing parent.
bool ForceDirectories(std::wstring dir) {
  while (dir.size() > 1 && dir.back() == L'\\') dir.pop_back();
  if (dir.empty()) return false;
  if (DirectoryExists(dir)) return true;
  const size_t p = dir.find_last_of(L'\\');
  if (p != std::wstring::npos && p > 0 && !ForceDirectories(dir.substr(0, p))) return false;
  // Someone else may have made it meanwhile: that counts as success.
  return ::CreateDirectoryW(dir.c_str(), nullptr) || DirectoryExists(dir);
}

const char* StoreForPlugin(const std::wstring& text) {
  IPluginCallContext* context = CurrentPluginContext;
  return context ? context->StoreAnsiString(text) : nullptr;
}

}  // namespace

// ---- construction ----

TGeneralStream::TGeneralStream(TCreateFromFile, const TFileProperties& props)
    : TGeneralStream(std::make_unique<TFileStream>(props.FullName(), TFileMode::OpenRead, 0),
                     props) {}

TGeneralStream::TGeneralStream(std::unique_ptr<TStream> stream, const TFileProperties& props)
    : FData(nullptr), FFileProperties(props) {
  if (!stream) throw EZvError(L"A stream needs data to work on");
  auto data = std::make_unique<TSharedStreamData>();
  data->Stream = std::move(stream);
  FData = data.release();
}

TGeneralStream::TGeneralStream(TCreateShared, TGeneralStream& other)
    : FData(other.FData), FFileProperties(other.FFileProperties) {
  FData->Stream->Seek(0, soBeginning);
  ++FData->RefCount;
}

TGeneralStream::~TGeneralStream() {
  if (--FData->RefCount == 0) delete FData;
}

// ---- names ----

void TGeneralStream::SetFileName(const std::wstring& text) {
  TLockGuard lock(FData->Lock);
  if (text.empty()) return;
  const std::wstring name = WithoutDirectory(text);
  const size_t dot = LastPos(L".", name);
  if (dot > 0) {
    FFileProperties.Name = name.substr(0, dot - 1);
    FFileProperties.Extension = name.substr(dot);
  } else {
    FFileProperties.Name = name;
  }
}

const char* TGeneralStream::GetPathA() {
  TLockGuard lock(FData->Lock);
  return StoreForPlugin(FFileProperties.Path);
}

const char* TGeneralStream::GetNameA() {
  TLockGuard lock(FData->Lock);
  return StoreForPlugin(FFileProperties.Name);
}

const char* TGeneralStream::GetExtensionA() {
  TLockGuard lock(FData->Lock);
  return StoreForPlugin(FFileProperties.Extension);
}

bool TGeneralStream::SetPathA(const char* text) {
  TLockGuard lock(FData->Lock);
  std::wstring path = text ? PluginText(text) : std::wstring();
  if (path.find(L"..") != std::wstring::npos) return false;
  if (!path.empty() && path.front() == L'\\') path.erase(0, 1);
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  FFileProperties.Path = std::move(path);
  return true;
}

bool TGeneralStream::SetNameA(const char* text) {
  if (!text) return false;
  TLockGuard lock(FData->Lock);
  const std::wstring given = PluginText(text);
  if (given.empty()) return false;
  std::wstring name = WithoutDirectory(given);
  if (const size_t dot = LastPos(L".", name); dot > 0) name.erase(dot - 1);
  FFileProperties.Name = std::move(name);
  return true;
}

bool TGeneralStream::SetExtensionA(const char* text) {
  TLockGuard lock(FData->Lock);
  std::wstring extension = text ? PluginText(text) : std::wstring();
  if (const size_t dot = LastPos(L".", extension); dot > 0) extension.erase(0, dot);
  FFileProperties.Extension = std::move(extension);
  return true;
}

// ---- data ----

bool TGeneralStream::GetSize(int64_t* size) {
  if (!size) return false;
  TLockGuard lock(FData->Lock);
  *size = FData->Stream->GetSize();
  return true;
}

bool TGeneralStream::SetSize(int64_t size) {
  if (size < 0) return false;  // no data has a negative size; answering true would claim a change
  TLockGuard lock(FData->Lock);
  FData->Stream->SetSize(size);
  return true;
}

bool TGeneralStream::GetPosition(int64_t* position) {
  if (!position) return false;
  TLockGuard lock(FData->Lock);
  *position = FData->Stream->GetPosition();
  return true;
}

bool TGeneralStream::Seek(int64_t offset, int32_t moveType) {
  if (moveType < smFromBeginning || moveType > smFromEnd) {
    IPluginCallContext* context = CurrentPluginContext;
    const std::wstring pluginName = context ? context->PluginName() : std::wstring();
    ReportError(ecInvalidMoveType, L"TTransformStream.Seek (" + pluginName +
                                       L"): Invalid MoveType value (" +
                                       std::to_wstring(moveType) + L").");
    return false;
  }
  TLockGuard lock(FData->Lock);
  return FData->Stream->Seek(offset, static_cast<TSeekOrigin>(moveType)) >= 0;
}

int32_t TGeneralStream::Read(void* buffer, int32_t count) {
  // A plug-in's bad buffer or count must not reach the data stream.
  if (count < 0 || (!buffer && count > 0)) return -1;
  TLockGuard lock(FData->Lock);
  return FData->Stream->Read(buffer, count);
}

int32_t TGeneralStream::Write(const void* buffer, int32_t count) {
  if (count < 0 || (!buffer && count > 0)) return -1;
  TLockGuard lock(FData->Lock);
  return FData->Stream->Write(buffer, count);
}

bool TGeneralStream::IsEndOfStream() {
  TLockGuard lock(FData->Lock);
  const int64_t size = FData->Stream->GetSize();
  return FData->Stream->GetPosition() == size;
}

void TGeneralStream::ReportError(uint32_t code, const std::wstring& message) {
  // Without a running plug-in there is nobody to blame, and without the error
  // entry nowhere to show it.
  IPluginCallContext* context = CurrentPluginContext;
  IErrorEntry* entry = GlobalErrorEntry;
  if (!context || !entry) return;
  entry->ReportError(context->GetPluginFile(), message, TErrorStruct{code, message, std::wstring()});
}

// ---- saving ----

namespace {

enum class TCopyOutcome { Saved, Failed, ReadFailed, Aborted };

int32_t PercentOf(int64_t written, int64_t size) {
  // Rounds to nearest, halves to even (the default floating-point rounding),
  // in extended precision like the allocator's figures, so that a ratio just
  // off a half rounds the same way whatever the compiler keeps in registers.
  return static_cast<int32_t>(
      std::nearbyint(static_cast<long double>(written) / static_cast<long double>(size) * 100.0L));
}

}  // namespace

// One chunk of the data into the file, under the data's lock. A failed write
// raises; a failed read gives -1.
int32_t TGeneralStream::WriteChunkTo(TFileStream& file, char* buffer) {
  TLockGuard lock(FData->Lock);
  return FData->Stream->WriteChunkTo(file, buffer, SaveChunkSize);
}

int32_t TGeneralStream::SaveToFile() {
  const std::wstring fileName = GetFullName();
  if (!ForceDirectories(GetDirectory())) return srFailed;

  bool created = false;
  TCopyOutcome outcome = TCopyOutcome::Failed;
  try {
    TFileStream file(fileName, TFileMode::Create);
    created = true;
    // Zeroed, so that no byte of an earlier file or of the heap can reach
    // this one whatever a stream leaves uncopied.
    const auto buffer = std::make_unique<char[]>(SaveChunkSize);
    int64_t size = 0;
    if (GetSize(&size) && Seek(0, smFromBeginning)) {
      outcome = TCopyOutcome::Saved;
      int64_t written = 0;
      while (size > 0) {
        const int32_t n = WriteChunkTo(file, buffer.get());
        // A failed read would leave the file short: that is no saved file.
        if (n < 0) {
          outcome = TCopyOutcome::ReadFailed;
          break;
        }
        written += n;
        ITransformProgress* progress = ActiveTransformManager;
        if (progress && progress->SetWriteProgress(PercentOf(written, size))) {
          outcome = TCopyOutcome::Aborted;
          break;
        }
        if (n < SaveChunkSize) break;
      }
      // The data ended before its size: the file would be short.
      if (outcome == TCopyOutcome::Saved && written < size) outcome = TCopyOutcome::ReadFailed;
    }
  } catch (const std::exception&) {
    outcome = TCopyOutcome::Failed;
  }

  // A file we made that does not hold the whole data (an abort, a failed
  // read, a write that failed part way on a full disk or a lost share) would
  // pass for a whole one under the output's real name: remove it. A retry
  // makes the file anew anyway.
  if (created && outcome != TCopyOutcome::Saved) ::DeleteFileW(fileName.c_str());
  switch (outcome) {
    case TCopyOutcome::Saved: return srSaved;
    case TCopyOutcome::Aborted: return srAborted;
    default: return srFailed;
  }
}

}  // namespace zv
