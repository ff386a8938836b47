#include "platform/Stream.h"

#include "platform/ZvError.h"

namespace zv {

int64_t TStream::GetSize() {
  const int64_t position = Seek(0, soCurrent);
  const int64_t size = Seek(0, soEnd);
  Seek(position, soBeginning);
  return size;
}

int32_t TStream::WriteChunkTo(TStream& target, void* buffer, int32_t count) {
  int32_t n;
  try {
    n = Read(buffer, count);
  } catch (const std::exception&) {
    return -1;
  }
  if (n < 0 || n > count) return -1;
  if (n > 0 && target.Write(buffer, n) != n) throw EZvError(L"The file could not be written completely.");
  return n;
}

namespace {
DWORD AccessOf(TFileMode mode) {
  return mode == TFileMode::OpenRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
}
DWORD DispositionOf(TFileMode mode) {
  return mode == TFileMode::Create ? CREATE_ALWAYS : OPEN_EXISTING;
}
}  // namespace

TFileStream::TFileStream(const std::wstring& fileName, TFileMode mode, DWORD shareMode,
                         DWORD flagsAndAttributes)
    : FFileName(fileName),
      FHandle(::CreateFileW(fileName.c_str(), AccessOf(mode), shareMode, nullptr,
                            DispositionOf(mode), flagsAndAttributes, nullptr)) {
  if (!FHandle) RaiseLastOSError();
}

int64_t TFileStream::GetSize() {
  LARGE_INTEGER size;
  return ::GetFileSizeEx(FHandle.Get(), &size) ? size.QuadPart : -1;
}

void TFileStream::SetSize(int64_t newSize) {
  const int64_t position = Seek(0, soCurrent);
  if (Seek(newSize, soBeginning) != newSize || !::SetEndOfFile(FHandle.Get()))
    RaiseLastOSError();
  if (position < newSize) Seek(position, soBeginning);
}

int32_t TFileStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  DWORD done = 0;
  if (!::ReadFile(FHandle.Get(), buffer, static_cast<DWORD>(count), &done, nullptr))
    RaiseLastOSError();
  return static_cast<int32_t>(done);
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  DWORD done = 0;
  if (!::WriteFile(FHandle.Get(), buffer, static_cast<DWORD>(count), &done, nullptr))
    RaiseLastOSError();
  return static_cast<int32_t>(done);
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  LARGE_INTEGER distance, result;
  distance.QuadPart = offset;
  const DWORD method = origin == soCurrent ? FILE_CURRENT : origin == soEnd ? FILE_END : FILE_BEGIN;
  return ::SetFilePointerEx(FHandle.Get(), distance, &result, method) ? result.QuadPart : -1;
}

}  // namespace zv
