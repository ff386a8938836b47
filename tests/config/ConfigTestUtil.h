// Small helpers shared by the configuration tests: .cfg files from text and back.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace zvtest {

inline std::vector<unsigned char> Utf16Bytes(const std::wstring& text, bool withBom = true) {
  std::vector<unsigned char> bytes;
  if (withBom) bytes = {0xFF, 0xFE};
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
  const std::vector<unsigned char> bytes = ReadFileBytes(path);
  std::wstring text;
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return L"<no byte-order mark>";
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
  return text;
}

// Holds a file open for reading and writing with no sharing, as another
// process holding Zentavo.cfg would.
class TExclusiveOpen {
public:
  explicit TExclusiveOpen(const std::wstring& path)
      : FHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~TExclusiveOpen() { Close(); }
  TExclusiveOpen(const TExclusiveOpen&) = delete;
  TExclusiveOpen& operator=(const TExclusiveOpen&) = delete;
  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE; }
  void Close() {
    if (FHandle != INVALID_HANDLE_VALUE) ::CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
  }

private:
  HANDLE FHandle;
};

}  // namespace zvtest
