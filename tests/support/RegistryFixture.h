// Registry helpers for tests of the settings stores: each test starts from an
// empty HKEY_CURRENT_USER\Software\Zentavo and can look at raw values there.
// HKEY_CURRENT_USER is a scratch key for the whole test run (TestMain.cpp).
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zvtest {

// Removes HKEY_CURRENT_USER\Software\Zentavo with its whole tree.
void DeleteZentavoKey();

// Paths are relative to HKEY_CURRENT_USER\Software\Zentavo ("" is that key).
bool RegKeyExists(const std::wstring& path);
void RegSetRaw(const std::wstring& path, const std::wstring& name, DWORD type,
               const std::vector<unsigned char>& data);
void RegSetDword(const std::wstring& path, const std::wstring& name, DWORD value);
void RegSetText(const std::wstring& path, const std::wstring& name, const std::wstring& text);
// False when the value is missing.
bool RegGetRaw(const std::wstring& path, const std::wstring& name, DWORD& type, std::vector<unsigned char>& data);
// A REG_DWORD value; none when missing or of another type.
std::optional<int32_t> RegGetNumber(const std::wstring& path, const std::wstring& name);

// A test that owns a clean Software\Zentavo key for its duration.
class TRegistryTest : public ::testing::Test {
protected:
  void SetUp() override { DeleteZentavoKey(); }
  void TearDown() override { DeleteZentavoKey(); }
};

}  // namespace zvtest
