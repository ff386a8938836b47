#include "config/RegistrySettings.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/WinHandle.h"

namespace zv {

namespace {

// Opens the section's key, creating it and its parents when absent; an
// invalid holder when that fails.
TScopedHKey OpenSection(const std::wstring& key) {
  HKEY handle = nullptr;
  const LONG rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, TRegistrySettings::KeyPath(key).c_str(), 0, nullptr,
                                    REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &handle, nullptr);
  return TScopedHKey(rc == ERROR_SUCCESS ? handle : nullptr);
}

struct TValueInfo {
  DWORD Type = REG_NONE;
  DWORD Size = 0;
};

bool QueryInfo(HKEY key, const std::wstring& name, TValueInfo& info) {
  return ::RegQueryValueExW(key, name.c_str(), nullptr, &info.Type, nullptr, &info.Size) == ERROR_SUCCESS;
}

// The value's data, re-sized as long as the value keeps changing under us.
bool QueryData(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data) {
  DWORD size = 0;
  if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  for (int attempt = 0; attempt < 8; ++attempt) {
    data.resize(size);
    DWORD got = size;
    const LONG rc = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.empty() ? nullptr : data.data(), &got);
    if (rc == ERROR_SUCCESS) {
      data.resize(got);
      return true;
    }
    if (rc != ERROR_MORE_DATA) return false;
    size = got > size ? got : size * 2 + 16;
  }
  return false;
}

bool SetValue(const std::wstring& key, const std::wstring& name, DWORD type, const void* data, DWORD size) {
  const TScopedHKey handle = OpenSection(key);
  if (!handle) return false;
  return ::RegSetValueExW(handle.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
         ERROR_SUCCESS;
}

// Names from one of the two enumerations, growing the buffer when a name is longer.
template <typename TEnum>
TStringList EnumNames(TEnum enumerate) {
  TStringList names;
  std::vector<wchar_t> buffer(256);
  for (DWORD index = 0;;) {
    DWORD length = static_cast<DWORD>(buffer.size());
    const LONG rc = enumerate(index, buffer.data(), &length);
    if (rc == ERROR_MORE_DATA && buffer.size() < 65536) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(buffer.data(), length);
    ++index;
  }
  return names;
}

TStringList SubKeyNames(HKEY key) {
  return EnumNames([key](DWORD index, wchar_t* name, DWORD* length) {
    return ::RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

// Deletes every sub-key of an open key with its tree, last enumeration index first.
void DeleteSubKeys(HKEY key) {
  DWORD count = 0;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::vector<wchar_t> name(256);
  for (DWORD index = count; index-- > 0;) {
    DWORD length = static_cast<DWORD>(name.size());
    LONG rc = ::RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) {
      name.resize(65536);
      length = static_cast<DWORD>(name.size());
      rc = ::RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    }
    if (rc != ERROR_SUCCESS) continue;
    const std::wstring child(name.data(), length);
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(key, child.c_str(), 0, KEY_ALL_ACCESS, &handle) == ERROR_SUCCESS) {
      TScopedHKey childKey(handle);
      DeleteSubKeys(childKey.Get());
    }
    ::RegDeleteKeyW(key, child.c_str());
  }
}

}  // namespace

std::wstring TRegistrySettings::KeyPath(const std::wstring& key) { return L"Software\\Zentavo\\" + key; }

int32_t TRegistrySettings::ReadNumber(const std::wstring& key, const std::wstring& name, int32_t defaultValue) {
  const TScopedHKey handle = OpenSection(key);
  if (!handle) return defaultValue;
  DWORD type = REG_NONE;
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (::RegQueryValueExW(handle.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD)
    return defaultValue;
  return static_cast<int32_t>(value);
}

std::wstring TRegistrySettings::ReadString(const std::wstring& key, const std::wstring& name,
                                           const std::wstring& defaultValue) {
  const TScopedHKey handle = OpenSection(key);
  if (!handle) return defaultValue;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (!QueryData(handle.Get(), name, type, data)) return defaultValue;
  if (data.empty()) return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ) return defaultValue;
  std::wstring text(data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  const size_t end = text.find(L'\0');
  if (end != std::wstring::npos) text.resize(end);
  return text;
}

int32_t TRegistrySettings::ReadData(const std::wstring& key, const std::wstring& name, void* buffer,
                                    int32_t capacity) {
  const TScopedHKey handle = OpenSection(key);
  if (!handle) return -1;
  if (!buffer) {
    TValueInfo info;
    return QueryInfo(handle.Get(), name, info) ? static_cast<int32_t>(info.Size) : -1;
  }
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (!QueryData(handle.Get(), name, type, data)) return -1;
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD) return -1;
  if (capacity < 0 || data.size() > static_cast<size_t>(capacity)) return -1;
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  return static_cast<int32_t>(data.size());
}

bool TRegistrySettings::WriteNumber(const std::wstring& key, const std::wstring& name, int32_t value) {
  const DWORD data = static_cast<DWORD>(value);
  return SetValue(key, name, REG_DWORD, &data, sizeof(data));
}

bool TRegistrySettings::WriteString(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
  return SetValue(key, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool TRegistrySettings::WriteData(const std::wstring& key, const std::wstring& name, const void* buffer,
                                  int32_t size) {
  // A negative size is no size the registry takes: refused like any other
  // value it will not store, after the key is opened as by every operation.
  if (size < 0) {
    OpenSection(key);
    return false;
  }
  // No block to read from counts as an empty block.
  const DWORD count = buffer ? static_cast<DWORD>(size) : 0;
  return SetValue(key, name, REG_BINARY, count ? buffer : nullptr, count);
}

bool TRegistrySettings::DeleteValue(const std::wstring& key, const std::wstring& name) {
  const TScopedHKey handle = OpenSection(key);
  return handle && ::RegDeleteValueW(handle.Get(), name.c_str()) == ERROR_SUCCESS;
}

TSettingValueType TRegistrySettings::GetValueType(const std::wstring& key, const std::wstring& name) {
  const TScopedHKey handle = OpenSection(key);
  TValueInfo info;
  if (!handle || !QueryInfo(handle.Get(), name, info)) return svNone;
  switch (info.Type) {
    case REG_DWORD: return svNumber;
    case REG_SZ: return svString;
    case REG_BINARY: return svData;
    default: return svNone;
  }
}

std::optional<TStringList> TRegistrySettings::GetValueNames(const std::wstring& key) {
  const TScopedHKey handle = OpenSection(key);
  if (!handle) return std::nullopt;
  HKEY raw = handle.Get();
  return EnumNames([raw](DWORD index, wchar_t* name, DWORD* length) {
    return ::RegEnumValueW(raw, index, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

std::optional<TStringList> TRegistrySettings::GetKeyNames(const std::wstring& key) {
  const TScopedHKey handle = OpenSection(key);
  if (!handle) return std::nullopt;
  return SubKeyNames(handle.Get());
}

void TRegistrySettings::DeleteKey(const std::wstring& key) {
  // A key of nothing but separators names Software\Zentavo itself: deleting
  // that would wipe every stored value, so, as in the file store, nothing goes.
  if (key.find_first_not_of(L'\\') == std::wstring::npos) return;
  const std::wstring path = KeyPath(key);
  HKEY handle = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS) return;
  {
    TScopedHKey root(handle);
    DeleteSubKeys(root.Get());
  }
  ::RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
}

}  // namespace zv
