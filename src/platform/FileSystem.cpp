#include "platform/FileSystem.h"

#include "platform/WinHandle.h"

namespace zv {

std::wstring SystemTempFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  wchar_t longPath[MAX_PATH + 1] = {};
  const DWORD n = ::GetTempPathW(MAX_PATH, path);
  if (n == 0 || n >= MAX_PATH) return {};
  const DWORD m = ::GetLongPathNameW(path, longPath, MAX_PATH);
  std::wstring folder = (m > 0 && m < MAX_PATH) ? longPath : path;
  if (!folder.empty()) folder.pop_back();
  return folder;
}

bool DirectoryExists(const std::wstring& path) {
  const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<TFileIdentity> FileIdentityOf(const std::wstring& path) {
  // No access asked and every sharing allowed, so that a file others hold
  // open can be told apart too; the flag lets directories open.
  const TScopedFile file(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !::GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
  return TFileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

}  // namespace zv
