#include "platform/FileSystem.h"

#include <windows.h>

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

}  // namespace zv
