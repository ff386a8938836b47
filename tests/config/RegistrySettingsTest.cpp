// The registry store on the real registry under HKCU\Software\Zentavo.
#include <gtest/gtest.h>

#include <algorithm>

#include "config/RegistrySettings.h"
#include "support/RegistryFixture.h"

using namespace zv;
using namespace zvtest;

namespace {

using Bytes = std::vector<unsigned char>;

class RegistryStore : public TRegistryTest {
protected:
  TRegistrySettings FStore;
};

TEST_F(RegistryStore, WritesUseTheLayoutTypesAndNestedKeys) {
  const unsigned char block[] = {0x00, 0x7F, 0xFF};
  EXPECT_TRUE(FStore.WriteNumber(L"Settings", L"MemUsage", -2));
  EXPECT_TRUE(FStore.WriteString(L"Plugins", L"1", L"ab"));
  EXPECT_TRUE(FStore.WriteData(L"Profiles\\Work\\[1][3]Zip", L"Key", block, 3));
  EXPECT_TRUE(FStore.WriteData(L"Settings", L"Empty", block, 0));

  DWORD type = 0;
  Bytes data;
  ASSERT_TRUE(RegGetRaw(L"Settings", L"MemUsage", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(data, (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
  ASSERT_TRUE(RegGetRaw(L"Plugins", L"1", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(data, (Bytes{'a', 0, 'b', 0, 0, 0}));
  ASSERT_TRUE(RegGetRaw(L"Profiles\\Work\\[1][3]Zip", L"Key", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(data, (Bytes{0x00, 0x7F, 0xFF}));
  ASSERT_TRUE(RegGetRaw(L"Settings", L"Empty", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(FStore.ReadData(L"Settings", L"Empty", nullptr), 0);
  EXPECT_EQ(FStore.GetValueType(L"Settings", L"Empty"), svData);
}

TEST_F(RegistryStore, WriteReplacesAValueOfAnyType) {
  RegSetText(L"S", L"V", L"text");
  EXPECT_TRUE(FStore.WriteNumber(L"S", L"V", 7));
  EXPECT_EQ(FStore.ReadNumber(L"S", L"V", 0), 7);
  EXPECT_EQ(FStore.GetValueType(L"S", L"V"), svNumber);
}

TEST_F(RegistryStore, ReadsLeaveAnEmptyKeyBehind) {
  EXPECT_EQ(FStore.ReadNumber(L"Missing\\Deep", L"A", 42), 42);
  EXPECT_TRUE(RegKeyExists(L"Missing\\Deep"));
  const auto names = FStore.GetValueNames(L"Fresh");
  ASSERT_TRUE(names.has_value());
  EXPECT_TRUE(names->empty());
}

TEST_F(RegistryStore, ReadsAnswerTheDefaultForOtherTypes) {
  RegSetText(L"S", L"Text", L"12");
  RegSetDword(L"S", L"Dword", 12);
  RegSetRaw(L"S", L"EmptyBinary", REG_BINARY, {});
  RegSetRaw(L"S", L"Expand", REG_EXPAND_SZ, {'%', 0, 'T', 0, '%', 0, 0, 0});
  RegSetRaw(L"S", L"NoTerminator", REG_SZ, {'h', 0, 'i', 0});
  RegSetRaw(L"S", L"Inner", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0});
  RegSetRaw(L"S", L"Multi", REG_MULTI_SZ, {'m', 0, 0, 0, 0, 0});
  RegSetRaw(L"S", L"Binary", REG_BINARY, {1, 2, 3, 4});

  EXPECT_EQ(FStore.ReadNumber(L"S", L"Text", -1), -1);
  EXPECT_EQ(FStore.ReadNumber(L"S", L"Binary", -1), -1);
  EXPECT_EQ(FStore.ReadString(L"S", L"Dword", L"D"), L"D");
  EXPECT_EQ(FStore.ReadString(L"S", L"EmptyBinary", L"D"), L"");
  EXPECT_EQ(FStore.ReadString(L"S", L"Expand", L"D"), L"%T%");
  EXPECT_EQ(FStore.ReadString(L"S", L"NoTerminator", L"D"), L"hi");
  EXPECT_EQ(FStore.ReadString(L"S", L"Inner", L"D"), L"a");
  EXPECT_EQ(FStore.ReadString(L"S", L"Multi", L"D"), L"D");
  EXPECT_EQ(FStore.ReadString(L"S", L"Missing", L"D"), L"D");

  EXPECT_EQ(FStore.GetValueType(L"S", L"Text"), svString);
  EXPECT_EQ(FStore.GetValueType(L"S", L"Dword"), svNumber);
  EXPECT_EQ(FStore.GetValueType(L"S", L"Expand"), svNone);
  EXPECT_EQ(FStore.GetValueType(L"S", L"Multi"), svNone);
  EXPECT_EQ(FStore.GetValueType(L"S", L"Missing"), svNone);
}

TEST_F(RegistryStore, DataReadsSizeAnyTypeButCopyOnlyBlocks) {
  ASSERT_TRUE(FStore.WriteString(L"S", L"Text", L"ab"));
  RegSetDword(L"S", L"Dword", 5);
  RegSetRaw(L"S", L"Multi", REG_MULTI_SZ, {'m', 0, 0, 0, 0, 0});
  unsigned char buffer[8] = {};
  EXPECT_EQ(FStore.ReadData(L"S", L"Text", nullptr), 6);
  EXPECT_EQ(FStore.ReadData(L"S", L"Text", buffer), -1);
  EXPECT_EQ(FStore.ReadData(L"S", L"Dword", nullptr), 4);
  EXPECT_EQ(FStore.ReadData(L"S", L"Dword", buffer), -1);
  EXPECT_EQ(FStore.ReadData(L"S", L"Multi", buffer), 6);
  EXPECT_EQ(buffer[0], 'm');
  EXPECT_EQ(FStore.ReadData(L"S", L"Missing", nullptr), -1);
  EXPECT_EQ(FStore.ReadData(L"S", L"Missing", buffer), -1);
  const unsigned char block[] = {9, 8, 7};
  ASSERT_TRUE(FStore.WriteData(L"S", L"Block", block, 3));
  EXPECT_EQ(FStore.ReadData(L"S", L"Block", buffer), 3);
  EXPECT_EQ(buffer[2], 7);
}

TEST_F(RegistryStore, DeleteValueReportsWhetherSomethingWent) {
  FStore.WriteNumber(L"S", L"A", 1);
  EXPECT_TRUE(FStore.DeleteValue(L"S", L"A"));
  EXPECT_FALSE(FStore.DeleteValue(L"S", L"A"));
  EXPECT_EQ(FStore.ReadNumber(L"S", L"A", 3), 3);
}

TEST_F(RegistryStore, ListsValueNamesAndDirectSubKeysOnly) {
  FStore.WriteNumber(L"Plugins", L"1", 1);
  FStore.WriteString(L"Plugins", L"2", L"x");
  FStore.WriteNumber(L"Profiles\\P1\\[1][3]Zip", L"L", 1);
  FStore.WriteNumber(L"Profiles\\P1\\[2][4]Crypt", L"L", 1);
  FStore.WriteNumber(L"Profiles\\P2\\[1][3]Zip", L"L", 1);
  auto values = FStore.GetValueNames(L"Plugins");
  ASSERT_TRUE(values.has_value());
  std::sort(values->begin(), values->end());
  EXPECT_EQ(*values, (TStringList{L"1", L"2"}));
  auto keys = FStore.GetKeyNames(L"Profiles");
  ASSERT_TRUE(keys.has_value());
  std::sort(keys->begin(), keys->end());
  EXPECT_EQ(*keys, (TStringList{L"P1", L"P2"}));
}

TEST_F(RegistryStore, LongNamesAreListedWhole) {
  const std::wstring name(300, L'n');
  ASSERT_TRUE(FStore.WriteNumber(L"S", name, 1));
  const auto values = FStore.GetValueNames(L"S");
  ASSERT_TRUE(values.has_value());
  EXPECT_EQ(*values, TStringList{name});
}

TEST_F(RegistryStore, DeleteKeyRemovesTheWholeTreeAndCreatesNothing) {
  for (const wchar_t* path : {L"Profiles\\Work\\[1][3]Zip\\Deep", L"Profiles\\Work\\[2][4]Crypt",
                              L"Profiles\\Work\\[3][5]Any", L"Profiles\\Home\\[1][3]Zip"})
    FStore.WriteNumber(path, L"L", 1);
  FStore.WriteNumber(L"Profiles\\Work", L"Own", 1);
  FStore.DeleteKey(L"Profiles\\Work");
  EXPECT_FALSE(RegKeyExists(L"Profiles\\Work"));
  EXPECT_TRUE(RegKeyExists(L"Profiles\\Home\\[1][3]Zip"));
  FStore.DeleteKey(L"Nothing\\Here");
  EXPECT_FALSE(RegKeyExists(L"Nothing"));
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
  EXPECT_EQ(FStore.ReadData(bad, L"A", nullptr), -1);
  EXPECT_EQ(FStore.ReadData(bad, L"A", buffer), -1);
  EXPECT_FALSE(FStore.DeleteValue(bad, L"A"));
  EXPECT_EQ(FStore.GetValueType(bad, L"A"), svNone);
  EXPECT_FALSE(FStore.GetValueNames(bad).has_value());
  EXPECT_FALSE(FStore.GetKeyNames(bad).has_value());
  EXPECT_NO_THROW(FStore.DeleteKey(bad));
}

}  // namespace
