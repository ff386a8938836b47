// The entry of every test executable. The current user's hive is mapped to a
// scratch key first, so that no test can touch a developer's real settings
// under HKEY_CURRENT_USER\Software\Zentavo.
#include <windows.h>

#include <gmock/gmock.h>

#include <cstdio>
#include <string>

#include "platform/WinHandle.h"
#include "services/HttpTransport.h"

namespace {

const wchar_t kScratchParent[] = L"Software\\Zentavo test hives";

// A run holds a mutex of its scratch key's name while it lives, so a key
// without one was left by a process that was killed (a test kills its child).
std::wstring RunMarker(const std::wstring& scratchName) { return L"Local\\Zentavo test hive " + scratchName; }

void RemoveStaleScratchKeys() {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kScratchParent, 0, KEY_ALL_ACCESS, &raw) != ERROR_SUCCESS) return;
  const zv::TScopedHKey parent(raw);
  wchar_t name[64];
  for (DWORD index = 0, length = 64;
       ::RegEnumKeyExW(parent.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       length = 64) {
    const zv::TScopedKernelHandle marker(::OpenMutexW(SYNCHRONIZE, FALSE, RunMarker(name).c_str()));
    if (marker || ::RegDeleteTreeW(parent.Get(), name) != ERROR_SUCCESS) ++index;
  }
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleMock(&argc, argv);

  RemoveStaleScratchKeys();
  const std::wstring name = std::to_wstring(::GetCurrentProcessId()) + L"." + std::to_wstring(::GetTickCount64());
  const zv::TScopedKernelHandle marker(::CreateMutexW(nullptr, FALSE, RunMarker(name).c_str()));
  const std::wstring scratch = std::wstring(kScratchParent) + L"\\" + name;
  HKEY hive = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, scratch.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &hive, nullptr) != ERROR_SUCCESS ||
      ::RegOverridePredefKey(HKEY_CURRENT_USER, hive) != ERROR_SUCCESS) {
    std::fprintf(stderr, "cannot map HKEY_CURRENT_USER to a scratch key; no test runs\n");
    return 1;
  }
  ::RegCloseKey(hive);  // the mapping keeps its own reference

  // No test reaches the product's web service: until a test names its
  // loopback server, the services' requests go to a closed local port.
  zv::SetServiceEndpoint(zv::THttpEndpoint{L"127.0.0.1", 1, 1000, 1000, 2000});

  const int result = RUN_ALL_TESTS();

  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str());  // the key itself goes too
  ::RegDeleteKeyW(HKEY_CURRENT_USER, kScratchParent);     // fails while another run uses it
  return result;
}
