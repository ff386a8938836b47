// File helpers for tests: a private temporary folder and whole-file access.
#pragma once
#include <string>
#include <vector>

namespace zvtest {

// A fresh folder below the system's temporary folder, removed with its content.
class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::wstring& Path() const { return FPath; }
  std::wstring operator/(const std::wstring& name) const { return FPath + L"\\" + name; }

private:
  std::wstring FPath;
};

std::vector<unsigned char> ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::vector<unsigned char>& bytes);
bool FileExists(const std::wstring& path);
// Files in a folder whose names match a wildcard pattern ("zvq*.tmp").
std::vector<std::wstring> ListFiles(const std::wstring& folder, const std::wstring& pattern);
void RemoveTree(const std::wstring& path);

}  // namespace zvtest
