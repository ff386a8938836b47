// The registry store on the real registry under HKCU\Software\Zentavo.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "config/RegistrySettings.h"
#include "support/RegistryFixture.h"
#include "ConfigTestUtil.h"

using namespace zv;
using namespace zvtest;

namespace {

class RegistryStore : public TRegistryTest {
protected:
  TRegistrySettings FStore;
};

TEST_F(RegistryStore, WritesUseTheLayoutTypesAndNestedKeysReplacingAnyType) {
  const unsigned char block[] = {0x00, 0x7F, 0xFF};
  RegSetText(L"S", L"N", L"text");
  EXPECT_TRUE(FStore.WriteNumber(L"S", L"N", -2));
  EXPECT_TRUE(FStore.WriteString(L"S", L"T", L"ab"));
  EXPECT_TRUE(FStore.WriteData(L"Profiles\\Work\\[1][3]Zip", L"D", block, 3));
  EXPECT_TRUE(FStore.WriteData(L"S", L"E", nullptr, 5));
  EXPECT_FALSE(FStore.WriteData(L"S", L"Negative", block, -1));  // no size the registry takes
  EXPECT_EQ(FStore.GetValueType(L"S", L"Negative"), svNone);
  // No line syntax here: what the file store refuses is kept as it is.
  EXPECT_TRUE(FStore.WriteString(L"S", L";A=\r\n[B", L"x\r\ny"));
  EXPECT_EQ(FStore.ReadString(L"S", L";A=\r\n[B", L""), L"x\r\ny");
  const std::tuple<const wchar_t*, const wchar_t*, DWORD, Bytes> expected[] = {
      {L"S", L"N", REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF}}, {L"S", L"T", REG_SZ, {'a', 0, 'b', 0, 0, 0}},
      {L"Profiles\\Work\\[1][3]Zip", L"D", REG_BINARY, {0x00, 0x7F, 0xFF}}, {L"S", L"E", REG_BINARY, {}}};
  for (const auto& [key, name, type, data] : expected) {
    DWORD actualType = 0;
    Bytes actual;
    ASSERT_TRUE(RegGetRaw(key, name, actualType, actual)) << name;
    EXPECT_EQ(actualType, type) << name;
    EXPECT_EQ(actual, data) << name;
  }
}

// What each read answers for each kind of stored value.
TEST_F(RegistryStore, ReadsPerValueType) {
  const struct {
    const wchar_t* Name;
    DWORD Type;
    Bytes Data;
    int32_t Number;
    const wchar_t* String;  // null: the default
    int32_t Size, Read;     // ReadData without and with a buffer
    TSettingValueType ValueType;
  } cases[] = {
      {L"Dword", REG_DWORD, {12, 0, 0, 0}, 12, nullptr, 4, -1, svNumber},
      {L"Text", REG_SZ, {'1', 0, '2', 0, 0, 0}, -1, L"12", 6, -1, svString},
      {L"NoTerminator", REG_SZ, {'h', 0, 'i', 0}, -1, L"hi", 4, -1, svString},
      {L"Inner", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0}, -1, L"a", 8, -1, svString},
      {L"Expand", REG_EXPAND_SZ, {'%', 0, 'T', 0, '%', 0, 0, 0}, -1, L"%T%", 8, -1, svNone},
      {L"Multi", REG_MULTI_SZ, {'m', 0, 0, 0, 0, 0}, -1, nullptr, 6, 6, svNone},
      {L"Binary", REG_BINARY, {1, 2, 3, 4}, -1, nullptr, 4, 4, svData},
      {L"EmptyBinary", REG_BINARY, {}, -1, L"", 0, 0, svData},
      {L"Missing", REG_NONE, {}, -1, nullptr, -1, -1, svNone},
  };
  for (const auto& c : cases)
    if (c.Type != REG_NONE) RegSetRaw(L"S", c.Name, c.Type, c.Data);
  for (const auto& c : cases) {
    EXPECT_EQ(FStore.ReadNumber(L"S", c.Name, -1), c.Number) << c.Name;
    EXPECT_EQ(FStore.ReadString(L"S", c.Name, L"D"), c.String ? c.String : L"D") << c.Name;
    EXPECT_EQ(FStore.ReadData(L"S", c.Name, nullptr, 0), c.Size) << c.Name;
    Bytes buffer(16, 0x55);
    EXPECT_EQ(FStore.ReadData(L"S", c.Name, buffer.data(), 16), c.Read) << c.Name;
    if (c.Read > 0) {
      EXPECT_TRUE(std::equal(c.Data.begin(), c.Data.end(), buffer.begin())) << c.Name;
    }
    EXPECT_EQ(FStore.GetValueType(L"S", c.Name), c.ValueType) << c.Name;
  }
  // Another writer lets the value grow after the size query: nothing is
  // copied beyond the capacity the caller sized from that query.
  RegSetRaw(L"S", L"Binary", REG_BINARY, {1, 2, 3, 4, 5, 6});
  Bytes buffer(8, 0x55);
  EXPECT_EQ(FStore.ReadData(L"S", L"Binary", buffer.data(), 4), -1);
  EXPECT_EQ(buffer, Bytes(8, 0x55));
}

TEST_F(RegistryStore, ListsAndDeletesAndReadsLeaveEmptyKeysBehind) {
  EXPECT_EQ(FStore.ReadNumber(L"Missing\\Deep", L"A", 42), 42);
  EXPECT_TRUE(RegKeyExists(L"Missing\\Deep"));
  EXPECT_EQ(FStore.GetValueNames(L"Fresh"), TStringList{});

  const std::wstring longName(300, L'n');
  FStore.WriteNumber(L"Plugins", L"1", 1);
  FStore.WriteString(L"Plugins", longName, L"x");
  FStore.WriteNumber(L"Profiles\\P1\\[1][3]Zip", L"L", 1);
  FStore.WriteNumber(L"Profiles\\P1\\[2][4]Crypt", L"L", 1);
  FStore.WriteNumber(L"Profiles\\P2\\[1][3]Zip", L"L", 1);
  auto values = FStore.GetValueNames(L"Plugins").value_or(TStringList{});
  std::sort(values.begin(), values.end());
  EXPECT_EQ(values, (TStringList{L"1", longName}));
  auto keys = FStore.GetKeyNames(L"Profiles").value_or(TStringList{});
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (TStringList{L"P1", L"P2"}));

  EXPECT_TRUE(FStore.DeleteValue(L"Plugins", L"1"));
  EXPECT_FALSE(FStore.DeleteValue(L"Plugins", L"1"));

  FStore.WriteNumber(L"Profiles\\P1\\[1][3]Zip\\Deep", L"L", 1);
  FStore.DeleteKey(L"Profiles\\P1");  // the whole tree
  EXPECT_FALSE(RegKeyExists(L"Profiles\\P1"));
  EXPECT_TRUE(RegKeyExists(L"Profiles\\P2\\[1][3]Zip"));
  FStore.DeleteKey(L"Nothing\\Here");  // creates nothing
  EXPECT_FALSE(RegKeyExists(L"Nothing"));
  for (const wchar_t* key : {L"", L"\\", L"\\\\"}) FStore.DeleteKey(key);  // never the whole Software\Zentavo
  EXPECT_TRUE(RegKeyExists(L"Profiles\\P2\\[1][3]Zip"));
}

// A key name beyond the registry's limit of 255 characters cannot be created:
// every operation answers its failure result and none raises.
TEST_F(RegistryStore, RegistryFailuresAnswerFailureResults) {
  const std::wstring bad = L"S\\" + std::wstring(300, L'k');
  unsigned char buffer[4] = {};
  EXPECT_FALSE(FStore.WriteNumber(bad, L"A", 1));
  EXPECT_FALSE(FStore.WriteString(bad, L"A", L"x"));
  EXPECT_FALSE(FStore.WriteData(bad, L"A", buffer, 4));
  EXPECT_EQ(FStore.ReadNumber(bad, L"A", 5), 5);
  EXPECT_EQ(FStore.ReadString(bad, L"A", L"D"), L"D");
  EXPECT_EQ(FStore.ReadData(bad, L"A", nullptr, 0), -1);
  EXPECT_EQ(FStore.ReadData(bad, L"A", buffer, 4), -1);
  EXPECT_FALSE(FStore.DeleteValue(bad, L"A"));
  EXPECT_EQ(FStore.GetValueType(bad, L"A"), svNone);
  EXPECT_FALSE(FStore.GetValueNames(bad).has_value());
  EXPECT_FALSE(FStore.GetKeyNames(bad).has_value());
  EXPECT_NO_THROW(FStore.DeleteKey(bad));
}

}  // namespace
