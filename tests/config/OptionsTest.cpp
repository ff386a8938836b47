// The system's options: keys, storage kinds, defaults and how they read back.
#include <gtest/gtest.h>

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

// The defaults, the exact keys and kinds the setters store, and how odd stored
// values read back: booleans by their low eight bits, numbers and an empty
// folder as stored, the date only from exactly eight bytes.
TEST_F(Options, DefaultsStoredFormAndOddStoredValues) {
  wchar_t path[MAX_PATH] = {}, longPath[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, path);
  ::GetLongPathNameW(path, longPath, MAX_PATH);
  auto manager = Open(L"");
  EXPECT_EQ(manager->GetTempFolder(), std::wstring(longPath, wcslen(longPath) - 1));  // no final backslash
  EXPECT_TRUE(manager->GetMemEnabled());
  EXPECT_EQ(manager->GetMemUsage(), 75);
  EXPECT_FALSE(manager->GetStoreTransformPipe());
  EXPECT_TRUE(manager->GetCheckForUpdates());
  EXPECT_EQ(manager->GetCheckUpdateInterval(), 7);
  EXPECT_EQ(manager->GetLastCheckUpdate(), 0.0);
  EXPECT_TRUE(manager->GetNotifyError());

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
  EXPECT_EQ(manager->GetLastCheckUpdate(), 1.0);

  manager = Open(L"[Settings]\r\nMemEnabled=number:256\r\nCheckForUpdates=number:2\r\n"
                 L"NotifyError=number:-256\r\nStoreTransformPipe=number:$1FF\r\nMemUsage=number:150\r\n"
                 L"CheckUpdateInterval=number:-5\r\nTempFolder=string:\r\nLastCheckUpdate=data:00000000\r\n");
  EXPECT_FALSE(manager->GetMemEnabled());
  EXPECT_TRUE(manager->GetCheckForUpdates());
  EXPECT_FALSE(manager->GetNotifyError());
  EXPECT_TRUE(manager->GetStoreTransformPipe());
  EXPECT_EQ(manager->GetMemUsage(), 150);
  EXPECT_EQ(manager->GetCheckUpdateInterval(), -5);
  EXPECT_EQ(manager->GetTempFolder(), L"");  // stored empty beats the default
  EXPECT_EQ(manager->GetLastCheckUpdate(), 0.0);
}

}  // namespace
