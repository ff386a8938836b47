#include "support/TestFiles.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/WinHandle.h"

namespace zvtest {

TTempDir::TTempDir() {
  wchar_t base[MAX_PATH];
  ::GetTempPathW(MAX_PATH, base);
  static LONG counter = 0;
  for (;;) {
    FPath = std::wstring(base) + L"zvtest-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(::InterlockedIncrement(&counter));
    if (::CreateDirectoryW(FPath.c_str(), nullptr)) return;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create temp dir");
  }
}

TTempDir::~TTempDir() { RemoveTree(FPath); }

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW fd;
  zv::TScopedFind find(::FindFirstFileW((path + L"\\*").c_str(), &fd));
  if (find) {
    do {
      const std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring full = path + L"\\" + name;
      ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
      else ::DeleteFileW(full.c_str());
    } while (::FindNextFileW(find.Get(), &fd));
  }
  find.Reset();
  ::RemoveDirectoryW(path.c_str());
}

std::vector<unsigned char> ReadFileBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot open file for reading");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::wstring& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  if (!out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())).flush())
    throw std::runtime_error("cannot write file");
}

bool FileExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> ListFiles(const std::wstring& folder, const std::wstring& pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW fd;
  zv::TScopedFind find(::FindFirstFileW((folder + L"\\" + pattern).c_str(), &fd));
  if (!find) return names;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
  } while (::FindNextFileW(find.Get(), &fd));
  return names;
}

}  // namespace zvtest
