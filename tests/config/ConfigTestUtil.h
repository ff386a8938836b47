// Helpers shared by the configuration tests: .cfg files from text and back,
// and the ways a file store is made to fail.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace zvtest {

using Bytes = std::vector<unsigned char>;
inline const Bytes kBomOnly{0xFF, 0xFE};

inline Bytes Utf16Bytes(const std::wstring& text, bool withBom = true) {
  Bytes bytes;
  if (withBom) bytes = kBomOnly;
  for (wchar_t c : text) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  }
  return bytes;
}

inline void WriteCfg(const std::wstring& path, const std::wstring& text, bool withBom = true) {
  WriteFileBytes(path, Utf16Bytes(text, withBom));
}

// The file's text after its byte-order mark; the mark must be there.
inline std::wstring ReadCfg(const std::wstring& path) {
  const Bytes bytes = ReadFileBytes(path);
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return L"<no byte-order mark>";
  std::wstring text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
  return text;
}

// Holds a file open as another process would. With no sharing the store cannot
// open it at all; without delete sharing it cannot replace it.
class THeldFile {
public:
  explicit THeldFile(const std::wstring& path, DWORD share = 0)
      : FHandle(::CreateFileW(path.c_str(), GENERIC_READ | (share ? 0 : GENERIC_WRITE), share, nullptr,
                              OPEN_EXISTING, 0, nullptr)) {
    if (!Valid()) ADD_FAILURE() << "cannot hold the file open";
  }
  ~THeldFile() {
    if (Valid()) ::CloseHandle(FHandle);
  }
  THeldFile(const THeldFile&) = delete;
  THeldFile& operator=(const THeldFile&) = delete;
  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE; }  // else the test failed already

private:
  HANDLE FHandle;
};
constexpr DWORD kNoDeleteSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// A folder taken away after a store opened a (missing) file in it: the
// store's first operation, which must create the file, then fails.
class TVanishingFolder {
public:
  explicit TVanishingFolder(std::wstring path) : FPath(std::move(path)) { ::CreateDirectoryW(FPath.c_str(), nullptr); }
  std::wstring operator/(const std::wstring& name) const { return FPath + L"\\" + name; }
  bool Remove() { return ::RemoveDirectoryW(FPath.c_str()) != FALSE; }

private:
  std::wstring FPath;
};

}  // namespace zvtest
