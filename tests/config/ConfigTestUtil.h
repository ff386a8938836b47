// Helpers shared by the configuration tests: .cfg files from text and back,
// and a file held open by another process.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/WinHandle.h"
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
      : FFile(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {
    if (!FFile) ADD_FAILURE() << "cannot hold the file open";
  }

private:
  zv::TScopedFile FFile;
};
constexpr DWORD kNoDeleteSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace zvtest
