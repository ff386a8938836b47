// Routing of every stored value between Zentavo.cfg, a plug-in's own file and
// the registry, with the fall-backs when a file store fails.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <thread>

#include "config/ConfigFileSettings.h"
#include "config/PluginConfigFiles.h"
#include "config/SettingsManager.h"
#include "platform/ZvError.h"
#include "support/RegistryFixture.h"
#include "ConfigTestUtil.h"

using namespace zv;
using namespace zvtest;

namespace {

// The installed-plug-in registry's part: open plug-in files by index.
class TFakePluginFiles : public IPluginConfigFiles {
public:
  TConfigFileSettings* GetPluginConfigFile(int32_t index) override {
    ++Lookups;
    const auto it = Files.find(index);
    return it == Files.end() ? nullptr : it->second.get();
  }
  void FreePluginConfigFile(int32_t index) override {
    Freed.push_back(index);
    Files.erase(index);
  }
  std::map<int32_t, std::unique_ptr<TConfigFileSettings>> Files;
  std::vector<int32_t> Freed;
  int Lookups = 0;
};

class SettingsRouting : public TRegistryTest {
protected:
  void SetUp() override {
    TRegistryTest::SetUp();
    PluginConfigFiles = &FPlugins;
  }
  void TearDown() override {
    PluginConfigFiles = nullptr;
    TRegistryTest::TearDown();
  }
  std::wstring MainFile() const { return FDir / L"Zentavo.cfg"; }
  std::wstring PluginFile(int index) const { return FDir / (L"Plugin" + std::to_wstring(index) + L".cfg"); }
  void OpenPluginFile(int index, const std::wstring& text) {
    WriteCfg(PluginFile(index), text);
    FPlugins.Files[index] = std::make_unique<TConfigFileSettings>(PluginFile(index));
  }
  int32_t RegistryNumber(const std::wstring& path, const std::wstring& name) {
    DWORD type = 0;
    std::vector<unsigned char> data;
    if (!RegGetRaw(path, name, type, data) || type != REG_DWORD || data.size() != 4) return -9999;
    return static_cast<int32_t>(data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24);
  }

  TTempDir FDir;
  TFakePluginFiles FPlugins;
};

TEST(SettingsManagerNames, SectionPathsPluginIdsAndPluginSections) {
  EXPECT_EQ(TSettingsManager::GetSectionName(skSettings, L""), L"Settings");
  EXPECT_EQ(TSettingsManager::GetSectionName(skPlugins, L""), L"Plugins");
  EXPECT_EQ(TSettingsManager::GetSectionName(skProfiles, L"Work\\[1][3]Packer"), L"Profiles\\Work\\[1][3]Packer");
  EXPECT_EQ(TSettingsManager::GetSectionName(skTransformPipe, L" x "), L"TransformPipe\\ x ");
  EXPECT_EQ(TSettingsManager::GetSectionName(skErrors, L""), L"Errors");
  EXPECT_EQ(TSettingsManager::GetSectionName(static_cast<TSettingKind>(5), L""), L"");
  EXPECT_EQ(TSettingsManager::GetSectionName(static_cast<TSettingKind>(200), L"x"), L"\\x");

  EXPECT_EQ(TSettingsManager::ParsePluginID(L"[3]Packer"), 3);
  EXPECT_EQ(TSettingsManager::ParsePluginID(L"x5]Packer"), 5);
  EXPECT_EQ(TSettingsManager::ParsePluginID(L"[$10]Hex"), 16);
  EXPECT_EQ(TSettingsManager::ParsePluginID(L"[-2]]Odd"), -2);
  for (const wchar_t* bad : {L"abc", L"[x]Packer", L"]Packer", L"[]Packer", L"[3", L"[3 ]P", L"[99999999999]P"})
    EXPECT_THROW(TSettingsManager::ParsePluginID(bad), EZvConvertError) << bad;

  EXPECT_EQ(TSettingsManager::GetPluginFileSection(L"[3]Packer"), L"Settings");
  EXPECT_EQ(TSettingsManager::GetPluginFileSection(L"[3]Packer\\Extra\\Deep"), L"Settings\\Extra\\Deep");
  EXPECT_EQ(TSettingsManager::GetPluginFileSection(L"[3]Packer\\"), L"Settings\\");
}

TEST_F(SettingsRouting, MainFileServesEveryKindButErrorsAndNeverAsksTheRegistry) {
  RegSetDword(L"Settings", L"MemUsage", 50);
  RegSetDword(L"Errors", L"11001", 1);
  WriteCfg(MainFile(), L"[Errors]\r\n11001=number:7\r\n");
  {
    TSettingsManager manager(MainFile());
    ASSERT_TRUE(manager.HasConfigFile());
    // Missing in the open file: the default, not the registry's value.
    EXPECT_EQ(manager.ReadNumber(skSettings, L"", L"MemUsage", 75), 75);
    EXPECT_EQ(manager.ReadNumber(skErrors, L"", L"11001", 0), 1);
    EXPECT_TRUE(manager.WriteNumber(skErrors, L"", L"11002", 2));
    EXPECT_TRUE(manager.WriteNumber(skSettings, L"", L"A", 1));
    EXPECT_TRUE(manager.WriteNumber(skPlugins, L"", L"B", 2));
    EXPECT_TRUE(manager.WriteNumber(skProfiles, L"Work\\[1][3]Zip", L"C", 3));
    EXPECT_TRUE(manager.WriteNumber(skTransformPipe, L"Stored", L"D", 4));
    EXPECT_TRUE(manager.WriteNumber(static_cast<TSettingKind>(7), L"", L"E", 5));
    EXPECT_EQ(*manager.GetKeyNames(skProfiles, L""), TStringList{L"Work"});
    EXPECT_EQ(*manager.GetValueNames(skErrors, L""), (TStringList{L"11001", L"11002"}));
  }
  EXPECT_EQ(ReadCfg(MainFile()), L"[Errors]\r\n11001=number:7\r\n\r\n[Settings]\r\nA=number:1\r\n\r\n"
                                 L"[Plugins]\r\nB=number:2\r\n\r\n[Profiles\\Work\\[1][3]Zip]\r\nC=number:3\r\n\r\n"
                                 L"[TransformPipe\\Stored]\r\nD=number:4\r\n\r\n[]\r\nE=number:5\r\n\r\n");
  EXPECT_EQ(RegistryNumber(L"Errors", L"11002"), 2);
  EXPECT_EQ(RegistryNumber(L"Settings", L"A"), -9999);
  for (const wchar_t* key : {L"Plugins", L"Profiles", L"TransformPipe"}) EXPECT_FALSE(RegKeyExists(key)) << key;
}

TEST_F(SettingsRouting, PluginKeyGoesToThatPluginsOwnFileWhileItIsOpen) {
  OpenPluginFile(3, L"[Settings]\r\nLevel=number:9\r\n[Settings\\Extra]\r\nMode=string:fast\r\n");
  RegSetDword(L"Settings\\[3]Packer", L"Other", 4);
  TSettingsManager manager(MainFile());
  EXPECT_EQ(manager.ReadNumber(skSettings, L"[3]Packer", L"Level", 5), 9);
  EXPECT_EQ(manager.ReadNumber(skSettings, L"[3]Other", L"Level", 5), 9);  // only the index counts
  EXPECT_EQ(manager.ReadString(skSettings, L"[3]Packer\\Extra", L"Mode", L""), L"fast");
  EXPECT_EQ(manager.ReadNumber(skSettings, L"[3]Packer", L"Other", 5), 5);  // not looked for in the registry
  EXPECT_TRUE(manager.WriteNumber(skSettings, L"[3]Packer", L"New", 1));
  EXPECT_EQ(FPlugins.Files[3]->ReadNumber(L"Settings", L"New", 0), 1);
  EXPECT_EQ(manager.GetValueType(skSettings, L"[3]Packer\\Extra", L"Mode"), svString);
  EXPECT_EQ(RegistryNumber(L"Settings\\[3]Packer", L"New"), -9999);
  EXPECT_TRUE(FPlugins.Freed.empty());
}

TEST_F(SettingsRouting, PluginKeyWithoutAnOpenFileGoesToTheRegistryWithTheFullPath) {
  RegSetDword(L"Settings\\[3]Packer", L"Level", 4);
  RegSetDword(L"Settings\\[3]Packer\\Extra", L"Level", 6);
  TSettingsManager manager(MainFile());
  EXPECT_EQ(manager.ReadNumber(skSettings, L"[3]Packer", L"Level", 5), 4);
  EXPECT_EQ(manager.ReadNumber(skSettings, L"[3]Packer\\Extra", L"Level", 5), 6);
  EXPECT_EQ(manager.ReadNumber(skSettings, L"[3]Other", L"Level", 5), 5);
  EXPECT_TRUE(manager.WriteNumber(skSettings, L"[99]Packer", L"L", 8));
  EXPECT_EQ(RegistryNumber(L"Settings\\[99]Packer", L"L"), 8);
  // With no plug-in registry at all the answer is the same.
  PluginConfigFiles = nullptr;
  EXPECT_EQ(manager.ReadNumber(skSettings, L"[3]Packer", L"Level", 5), 4);
}

TEST_F(SettingsRouting, UnparsablePluginKeyFailsBeforeAnyStoreIsTouched) {
  WriteCfg(MainFile(), L"[Settings]\r\nA=number:1\r\n\r\n");
  const auto before = ReadFileBytes(MainFile());
  TSettingsManager manager(MainFile());
  unsigned char buffer[4] = {};
  for (const wchar_t* subKey : {L"abc", L"[x]Packer"}) {
    EXPECT_THROW(manager.ReadNumber(skSettings, subKey, L"A", 0), EZvConvertError);
    EXPECT_THROW(manager.ReadString(skSettings, subKey, L"A", L""), EZvConvertError);
    EXPECT_THROW(manager.ReadData(skSettings, subKey, L"A", buffer), EZvConvertError);
    EXPECT_THROW(manager.WriteNumber(skSettings, subKey, L"A", 1), EZvConvertError);
    EXPECT_THROW(manager.WriteString(skSettings, subKey, L"A", L"x"), EZvConvertError);
    EXPECT_THROW(manager.WriteData(skSettings, subKey, L"A", buffer, 4), EZvConvertError);
    EXPECT_THROW(manager.DeleteValue(skSettings, subKey, L"A"), EZvConvertError);
    EXPECT_THROW(manager.GetValueType(skSettings, subKey, L"A"), EZvConvertError);
    EXPECT_THROW(manager.GetValueNames(skSettings, subKey), EZvConvertError);
    EXPECT_THROW(manager.GetKeyNames(skSettings, subKey), EZvConvertError);
  }
  EXPECT_EQ(FPlugins.Lookups, 0);
  EXPECT_FALSE(RegKeyExists(L"Settings"));
  EXPECT_TRUE(manager.HasConfigFile());
  // DeleteKey never parses: it removes the registry key of that path.
  RegSetDword(L"Settings\\abc", L"A", 1);
  RegSetDword(L"Settings\\[x]Packer", L"A", 1);
  manager.DeleteKey(skSettings, L"abc");
  manager.DeleteKey(skSettings, L"[x]Packer");
  EXPECT_FALSE(RegKeyExists(L"Settings\\abc"));
  EXPECT_FALSE(RegKeyExists(L"Settings\\[x]Packer"));
  manager.Flush();
  EXPECT_EQ(ReadFileBytes(MainFile()), before);
}

TEST_F(SettingsRouting, DeleteKeyOfAPluginKeyTouchesOnlyTheRegistry) {
  OpenPluginFile(3, L"[Settings]\r\nLevel=number:9\r\n");
  RegSetDword(L"Settings\\[3]Packer", L"Level", 4);
  TSettingsManager manager(MainFile());
  manager.DeleteKey(skSettings, L"[3]Packer");
  EXPECT_FALSE(RegKeyExists(L"Settings\\[3]Packer"));
  EXPECT_EQ(FPlugins.Files[3]->ReadNumber(L"Settings", L"Level", 0), 9);
  EXPECT_EQ(FPlugins.Lookups, 0);
}

TEST_F(SettingsRouting, DeleteKeyOfOtherKindsGoesToTheFileOnlyWhileItIsOpen) {
  WriteCfg(MainFile(), L"[Profiles\\Work\\[1][3]Zip]\r\nL=number:1\r\n[Profiles\\Home]\r\n");
  RegSetDword(L"Profiles\\Work", L"Left", 1);
  RegSetDword(L"Errors", L"1", 1);
  {
    TSettingsManager manager(MainFile());
    manager.DeleteKey(skProfiles, L"Work");
    EXPECT_EQ(*manager.GetKeyNames(skProfiles, L""), TStringList{L"Home"});
    manager.DeleteKey(skErrors, L"");
  }
  EXPECT_TRUE(RegKeyExists(L"Profiles\\Work"));  // left from an earlier fall-back, stays
  EXPECT_FALSE(RegKeyExists(L"Errors"));
  EXPECT_EQ(ReadCfg(MainFile()), L"[Profiles\\Home]\r\n\r\n");

  TExclusiveOpen holder(MainFile());
  TSettingsManager manager(MainFile());
  ASSERT_FALSE(manager.HasConfigFile());
  manager.DeleteKey(skProfiles, L"Work");
  EXPECT_FALSE(RegKeyExists(L"Profiles\\Work"));
}

// ---- failures

TEST_F(SettingsRouting, MainFileHeldByAnotherProcessSendsEverythingToTheRegistry) {
  WriteCfg(MainFile(), L"[Settings]\r\nMemUsage=number:60\r\n");
  const auto before = ReadFileBytes(MainFile());
  TExclusiveOpen holder(MainFile());
  ASSERT_TRUE(holder.Valid());
  {
    TSettingsManager manager(MainFile());
    EXPECT_FALSE(manager.HasConfigFile());
    EXPECT_EQ(manager.ReadNumber(skSettings, L"", L"MemUsage", 75), 75);
    EXPECT_TRUE(manager.WriteNumber(skSettings, L"", L"MemUsage", 40));
    EXPECT_TRUE(manager.WriteString(skPlugins, L"", L"1", L"a|b"));
    EXPECT_EQ(manager.ReadNumber(skSettings, L"", L"MemUsage", 75), 40);
    manager.Flush();
  }
  holder.Close();
  EXPECT_EQ(RegistryNumber(L"Settings", L"MemUsage"), 40);
  EXPECT_EQ(ReadFileBytes(MainFile()), before);
}

TEST_F(SettingsRouting, MissingMainFileIsCreatedByTheFirstOperation) {
  TSettingsManager manager(MainFile());
  EXPECT_TRUE(manager.HasConfigFile());
  EXPECT_FALSE(FileExists(MainFile()));
  EXPECT_EQ(manager.GetValueType(skPlugins, L"", L"1"), svNone);
  EXPECT_EQ(ReadFileBytes(MainFile()), (std::vector<unsigned char>{0xFF, 0xFE}));
  EXPECT_FALSE(RegKeyExists(L""));
}

TEST_F(SettingsRouting, MainFileThatFailsItsFirstWriteIsDroppedAndTheCallRepeatedOnTheRegistry) {
  const std::wstring folder = FDir / L"gone";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  TSettingsManager manager(folder + L"\\Zentavo.cfg");
  ASSERT_TRUE(::RemoveDirectoryW(folder.c_str()));
  EXPECT_TRUE(manager.WriteString(skPlugins, L"", L"1", L".\\Zip.zvx|Zip"));
  EXPECT_FALSE(manager.HasConfigFile());
  EXPECT_EQ(manager.ReadString(skPlugins, L"", L"1", L""), L".\\Zip.zvx|Zip");
  EXPECT_EQ(*manager.GetValueNames(skPlugins, L""), TStringList{L"1"});
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));  // too late: dropped until unload
  manager.WriteNumber(skSettings, L"", L"MemUsage", 20);
  EXPECT_EQ(RegistryNumber(L"Settings", L"MemUsage"), 20);
  EXPECT_FALSE(FileExists(folder + L"\\Zentavo.cfg"));
}

TEST_F(SettingsRouting, DeleteKeyFallsBackToTheRegistryWhenTheFileRaises) {
  const std::wstring folder = FDir / L"gone";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  RegSetDword(L"Profiles\\Work\\[1][3]Zip", L"L", 1);
  TSettingsManager manager(folder + L"\\Zentavo.cfg");
  ASSERT_TRUE(::RemoveDirectoryW(folder.c_str()));
  manager.DeleteKey(skProfiles, L"Work");
  EXPECT_FALSE(manager.HasConfigFile());
  EXPECT_FALSE(RegKeyExists(L"Profiles\\Work"));
  EXPECT_TRUE(RegKeyExists(L"Profiles"));
}

// The main file fails while loaded: values written after the fall-back read
// back until unload, the file is neither damaged nor written again later,
// and the next load reads the file again and not the registry.
TEST_F(SettingsRouting, FailedFlushDropsTheFileWithoutLosingOrDoublingWrites) {
  WriteCfg(MainFile(), L"[Plugins]\r\n1=string:.\\Zip.zvx|Zip\r\n\r\n");
  const auto before = ReadFileBytes(MainFile());
  {
    TSettingsManager manager(MainFile());
    manager.WriteNumber(skSettings, L"", L"MemUsage", 30);
    HANDLE reader = ::CreateFileW(MainFile().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_NO_THROW(manager.Flush());
    ::CloseHandle(reader);
    EXPECT_FALSE(manager.HasConfigFile());
    EXPECT_EQ(ReadFileBytes(MainFile()), before);

    EXPECT_TRUE(manager.WriteString(skPlugins, L"", L"2", L"C:\\Crypt.zvx|Crypt"));
    EXPECT_EQ(manager.ReadString(skPlugins, L"", L"2", L""), L"C:\\Crypt.zvx|Crypt");
    manager.WriteNumber(skSettings, L"", L"MemUsage", 35);
    EXPECT_EQ(manager.ReadNumber(skSettings, L"", L"MemUsage", 75), 35);
    manager.Flush();  // nothing to do without the file
  }
  EXPECT_EQ(ReadFileBytes(MainFile()), before);

  TSettingsManager reloaded(MainFile());
  EXPECT_TRUE(reloaded.HasConfigFile());
  EXPECT_EQ(reloaded.ReadString(skPlugins, L"", L"2", L"none"), L"none");
  EXPECT_EQ(reloaded.ReadString(skPlugins, L"", L"1", L""), L".\\Zip.zvx|Zip");
}

TEST_F(SettingsRouting, PluginFileThatRaisesIsFreedAndTheCallGoesToTheRegistry) {
  const std::wstring folder = FDir / L"plugin";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  FPlugins.Files[3] = std::make_unique<TConfigFileSettings>(folder + L"\\Packer.cfg");
  ASSERT_TRUE(::RemoveDirectoryW(folder.c_str()));
  TSettingsManager manager(MainFile());
  EXPECT_TRUE(manager.WriteNumber(skSettings, L"[3]Packer\\Extra", L"Level", 7));
  EXPECT_EQ(FPlugins.Freed, std::vector<int32_t>{3});
  EXPECT_EQ(RegistryNumber(L"Settings\\[3]Packer\\Extra", L"Level"), 7);
  EXPECT_EQ(manager.ReadNumber(skSettings, L"[3]Packer\\Extra", L"Level", 0), 7);
  EXPECT_EQ(FPlugins.Freed.size(), 1u);
  EXPECT_TRUE(manager.HasConfigFile());  // the main file is not affected
}

TEST_F(SettingsRouting, DestructionWritesPendingChanges) {
  {
    TSettingsManager manager(MainFile());
    manager.WriteNumber(skSettings, L"", L"MemUsage", 12);
  }
  EXPECT_EQ(ReadCfg(MainFile()), L"[Settings]\r\nMemUsage=number:12\r\n\r\n");
}

// The file store has no lock of its own; the manager serializes callers.
TEST_F(SettingsRouting, ConcurrentCallersDoNotCorruptTheFile) {
  TSettingsManager manager(MainFile());
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&manager, t] {
      const std::wstring key = L"T" + std::to_wstring(t);
      for (int i = 0; i < 300; ++i) {
        manager.WriteNumber(skProfiles, key, L"V" + std::to_wstring(i), i);
        manager.ReadNumber(skProfiles, key, L"V" + std::to_wstring(i / 2), 0);
        manager.GetKeyNames(skProfiles, L"");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(manager.GetValueNames(skProfiles, L"T" + std::to_wstring(t))->size(), 300u);
    EXPECT_EQ(manager.ReadNumber(skProfiles, L"T" + std::to_wstring(t), L"V299", 0), 299);
  }
}

}  // namespace
