#include "support/RegistryFixture.h"

#include <stdexcept>

#include "platform/WinHandle.h"

namespace zvtest {

namespace {
// The key below Software\Zentavo, opened for reading or created; empty when it cannot be.
zv::TScopedHKey OpenKey(const std::wstring& path, bool create) {
  const std::wstring full = path.empty() ? L"Software\\Zentavo" : L"Software\\Zentavo\\" + path;
  HKEY key = nullptr;
  const LONG result = create ? ::RegCreateKeyExW(HKEY_CURRENT_USER, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr)
                             : ::RegOpenKeyExW(HKEY_CURRENT_USER, full.c_str(), 0, KEY_READ, &key);
  return zv::TScopedHKey(result == ERROR_SUCCESS ? key : nullptr);
}
}  // namespace

void DeleteZentavoKey() {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Zentavo");
  ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Zentavo");
}

bool RegKeyExists(const std::wstring& path) { return static_cast<bool>(OpenKey(path, false)); }

void RegSetRaw(const std::wstring& path, const std::wstring& name, DWORD type,
               const std::vector<unsigned char>& data) {
  const zv::TScopedHKey key = OpenKey(path, true);
  if (!key || ::RegSetValueExW(key.Get(), name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                               static_cast<DWORD>(data.size())) != ERROR_SUCCESS)
    throw std::runtime_error("cannot set registry value");
}

void RegSetDword(const std::wstring& path, const std::wstring& name, DWORD value) {
  const auto* p = reinterpret_cast<const unsigned char*>(&value);
  RegSetRaw(path, name, REG_DWORD, std::vector<unsigned char>(p, p + 4));
}

void RegSetText(const std::wstring& path, const std::wstring& name, const std::wstring& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.c_str());
  RegSetRaw(path, name, REG_SZ, std::vector<unsigned char>(p, p + (text.size() + 1) * 2));
}

bool RegGetRaw(const std::wstring& path, const std::wstring& name, DWORD& type, std::vector<unsigned char>& data) {
  const zv::TScopedHKey key = OpenKey(path, false);
  DWORD size = 0;
  if (!key || ::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  data.resize(size);
  return ::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, data.empty() ? nullptr : data.data(), &size) ==
         ERROR_SUCCESS;
}

std::optional<int32_t> RegGetNumber(const std::wstring& path, const std::wstring& name) {
  DWORD type = 0;
  std::vector<unsigned char> data;
  if (!RegGetRaw(path, name, type, data) || type != REG_DWORD || data.size() != 4) return std::nullopt;
  return static_cast<int32_t>(data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24);
}

}  // namespace zvtest
