// The system's options: keys, storage kinds, defaults and how they read back.
#include <gtest/gtest.h>

#include <cstring>

#include "config/SettingsManager.h"
#include "support/RegistryFixture.h"
#include "ConfigTestUtil.h"

using namespace zv;
using namespace zvtest;

namespace {

class Options : public TRegistryTest {
protected:
  std::wstring MainFile() const { return FDir / L"Zentavo.cfg"; }
  std::unique_ptr<TSettingsManager> Open(const std::wstring& text) {
    WriteCfg(MainFile(), text);
    return std::make_unique<TSettingsManager>(MainFile());
  }
  TTempDir FDir;
};

std::wstring SystemTempFolder() {
  wchar_t path[MAX_PATH] = {}, longPath[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, path);
  ::GetLongPathNameW(path, longPath, MAX_PATH);
  std::wstring folder = longPath;
  folder.pop_back();
  return folder;
}

TEST_F(Options, DefaultsWithNothingStored) {
  auto manager = Open(L"");
  const std::wstring temp = manager->GetTempFolder();
  EXPECT_EQ(temp, SystemTempFolder());
  EXPECT_NE(temp.back(), L'\\');
  EXPECT_TRUE(manager->GetMemEnabled());
  EXPECT_EQ(manager->GetMemUsage(), 75);
  EXPECT_FALSE(manager->GetStoreTransformPipe());
  EXPECT_TRUE(manager->GetCheckForUpdates());
  EXPECT_EQ(manager->GetCheckUpdateInterval(), 7);
  EXPECT_EQ(manager->GetLastCheckUpdate(), 0.0);
  EXPECT_TRUE(manager->GetNotifyError());
}

TEST_F(Options, SettersWriteTheExactKeysAndKinds) {
  auto manager = Open(L"");
  manager->SetTempFolder(L"D:\\Scratch");
  manager->SetMemEnabled(false);
  manager->SetMemUsage(60);
  manager->SetStoreTransformPipe(true);
  manager->SetCheckForUpdates(false);
  manager->SetCheckUpdateInterval(14);
  manager->SetLastCheckUpdate(1.0);  // 1899-12-31: 00 00 00 00 00 00 f0 3f
  manager->SetNotifyError(false);
  manager->Flush();
  EXPECT_EQ(ReadCfg(MainFile()), L"[Settings]\r\nTempFolder=string:D:\\Scratch\r\nMemEnabled=number:0\r\n"
                                 L"MemUsage=number:60\r\nStoreTransformPipe=number:1\r\nCheckForUpdates=number:0\r\n"
                                 L"CheckUpdateInterval=number:14\r\nLastCheckUpdate=data:000000000000f03f\r\n"
                                 L"NotifyError=number:0\r\n\r\n");
  EXPECT_EQ(manager->GetTempFolder(), L"D:\\Scratch");
  EXPECT_FALSE(manager->GetMemEnabled());
  EXPECT_TRUE(manager->GetStoreTransformPipe());
  EXPECT_FALSE(manager->GetCheckForUpdates());
  EXPECT_EQ(manager->GetCheckUpdateInterval(), 14);
  EXPECT_FALSE(manager->GetNotifyError());
}

TEST_F(Options, BooleansReadTheirLowEightBits) {
  auto manager = Open(L"[Settings]\r\nMemEnabled=number:256\r\nCheckForUpdates=number:2\r\n"
                      L"NotifyError=number:-256\r\nStoreTransformPipe=number:$1FF\r\n");
  EXPECT_FALSE(manager->GetMemEnabled());
  EXPECT_TRUE(manager->GetCheckForUpdates());
  EXPECT_FALSE(manager->GetNotifyError());
  EXPECT_TRUE(manager->GetStoreTransformPipe());
  manager->SetMemEnabled(true);
  EXPECT_EQ(manager->ReadNumber(skSettings, L"", L"MemEnabled", 0), 1);
}

TEST_F(Options, NumbersAndTextsComeBackUnchanged) {
  auto manager = Open(L"[Settings]\r\nMemUsage=number:150\r\nCheckUpdateInterval=number:-5\r\n"
                      L"TempFolder=string:\r\n");
  EXPECT_EQ(manager->GetMemUsage(), 150);
  EXPECT_EQ(manager->GetCheckUpdateInterval(), -5);
  EXPECT_EQ(manager->GetTempFolder(), L"");  // stored empty beats the default
  manager->SetMemUsage(-5);
  EXPECT_EQ(manager->GetMemUsage(), -5);
}

TEST_F(Options, LastCheckUpdateNeedsExactlyEightBytes) {
  auto manager = Open(L"[Settings]\r\nLastCheckUpdate=data:00000000\r\n");
  EXPECT_EQ(manager->GetLastCheckUpdate(), 0.0);
  manager->WriteData(skSettings, L"", L"LastCheckUpdate", "123456789", 9);
  EXPECT_EQ(manager->GetLastCheckUpdate(), 0.0);
  manager->WriteString(skSettings, L"", L"LastCheckUpdate", L"12345678");
  EXPECT_EQ(manager->GetLastCheckUpdate(), 0.0);
  const double when = 46000.123456789;
  manager->SetLastCheckUpdate(when);
  EXPECT_EQ(manager->GetLastCheckUpdate(), when);
}

TEST_F(Options, OptionsFallBackToTheRegistryWithTheSameKinds) {
  WriteCfg(MainFile(), L"");
  TExclusiveOpen holder(MainFile());
  TSettingsManager manager(MainFile());
  ASSERT_FALSE(manager.HasConfigFile());
  EXPECT_EQ(manager.GetMemUsage(), 75);
  manager.SetMemUsage(33);
  manager.SetMemEnabled(true);
  manager.SetTempFolder(L"E:\\T");
  const double when = 45000.5;
  manager.SetLastCheckUpdate(when);

  DWORD type = 0;
  std::vector<unsigned char> data;
  ASSERT_TRUE(RegGetRaw(L"Settings", L"MemUsage", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(data, (std::vector<unsigned char>{33, 0, 0, 0}));
  ASSERT_TRUE(RegGetRaw(L"Settings", L"MemEnabled", type, data));
  EXPECT_EQ(data, (std::vector<unsigned char>{1, 0, 0, 0}));
  ASSERT_TRUE(RegGetRaw(L"Settings", L"TempFolder", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  ASSERT_TRUE(RegGetRaw(L"Settings", L"LastCheckUpdate", type, data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(data.size(), 8u);
  EXPECT_EQ(std::memcmp(data.data(), &when, 8), 0);
  EXPECT_EQ(manager.GetLastCheckUpdate(), when);
  EXPECT_EQ(manager.GetTempFolder(), L"E:\\T");

  RegSetRaw(L"Settings", L"LastCheckUpdate", REG_BINARY, {1, 2, 3, 4});
  EXPECT_EQ(manager.GetLastCheckUpdate(), 0.0);
}

}  // namespace
