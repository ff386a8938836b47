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

// The installed-plug-in registry's part: open plug-in files by index, with one
// reference of its own on each and one more for every borrower.
class TFakePluginFiles : public IPluginConfigFiles {
public:
  ~TFakePluginFiles() {
    for (const auto& [index, store] : Files) {
      EXPECT_TRUE(store->Release()) << "a borrowed reference was kept";
      delete store;
    }
  }
  TConfigFileSettings* GetPluginConfigFile(int32_t index) override {
    ++Lookups;
    const auto it = Files.find(index);
    if (it == Files.end()) return nullptr;
    it->second->AddRef();
    return it->second;
  }
  void FreePluginConfigFile(int32_t index) override {
    Freed.push_back(index);
    TConfigFileSettings* store = Files.at(index);
    Files.erase(index);
    // The manager still uses the store: its borrowed reference keeps it alive.
    EXPECT_FALSE(store->Release());
  }
  std::map<int32_t, TConfigFileSettings*> Files;
  std::vector<int32_t> Freed;
  int Lookups = 0;
};

class SettingsRouting : public TRegistryTest {
protected:
  SettingsRouting() { PluginConfigFiles = &FPlugins; }
  ~SettingsRouting() override { PluginConfigFiles = nullptr; }
  std::wstring MainFile() const { return FDir / L"Zentavo.cfg"; }
  void OpenPluginFile(int index, const std::wstring& text) {
    const std::wstring path = FDir / (L"Plugin" + std::to_wstring(index) + L".cfg");
    WriteCfg(path, text);
    FPlugins.Files[index] = new TConfigFileSettings(path);
  }
  // A write that lands in the registry under the full section path and reads back.
  static void ExpectRegistryServes(TSettingsManager& manager, TSettingKind kind, const std::wstring& subKey) {
    EXPECT_TRUE(manager.WriteNumber(kind, subKey, L"V", 7));
    EXPECT_EQ(RegGetNumber(TSettingsManager::GetSectionName(kind, subKey), L"V"), 7);
    EXPECT_EQ(manager.ReadNumber(kind, subKey, L"V", 0), 7);
  }

  TTempDir FDir;
  TFakePluginFiles FPlugins;
};

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
    const std::pair<TSettingKind, const wchar_t*> kinds[] = {{skSettings, L""}, {skPlugins, L""},
        {skProfiles, L"Work\\[1][3]Zip"}, {skTransformPipe, L"Stored"}, {static_cast<TSettingKind>(7), L""}};
    for (const auto& [kind, subKey] : kinds) EXPECT_TRUE(manager.WriteNumber(kind, subKey, L"V", kind));
    EXPECT_EQ(*manager.GetKeyNames(skProfiles, L""), TStringList{L"Work"});
    EXPECT_EQ(*manager.GetValueNames(skErrors, L""), (TStringList{L"11001", L"11002"}));
  }  // written by the destructor
  EXPECT_EQ(ReadCfg(MainFile()), L"[Errors]\r\n11001=number:7\r\n\r\n[Settings]\r\nV=number:0\r\n\r\n"
                                 L"[Plugins]\r\nV=number:1\r\n\r\n[Profiles\\Work\\[1][3]Zip]\r\nV=number:2\r\n\r\n"
                                 L"[TransformPipe\\Stored]\r\nV=number:3\r\n\r\n[]\r\nV=number:7\r\n\r\n");
  EXPECT_EQ(RegGetNumber(L"Errors", L"11002"), 2);
  EXPECT_EQ(RegGetNumber(L"Settings", L"V"), std::nullopt);
  for (const wchar_t* key : {L"Plugins", L"Profiles", L"TransformPipe"}) EXPECT_FALSE(RegKeyExists(key)) << key;
}

TEST_F(SettingsRouting, PluginKeyGoesToItsOwnFileWhileOpenElseToTheRegistry) {
  OpenPluginFile(3, L"[Settings]\r\nLevel=number:9\r\n[Settings\\Extra]\r\nMode=string:fast\r\n");
  RegSetDword(L"Settings\\[3]Packer", L"Other", 4);
  RegSetDword(L"Settings\\[4]Crypt\\Extra", L"Level", 6);
  TSettingsManager manager(MainFile());
  EXPECT_EQ(manager.ReadNumber(skSettings, L"[3]Other", L"Level", 5), 9);  // only the index counts
  EXPECT_EQ(manager.ReadString(skSettings, L"[3]Packer\\Extra", L"Mode", L""), L"fast");
  EXPECT_EQ(manager.ReadNumber(skSettings, L"[3]Packer", L"Other", 5), 5);  // not looked for in the registry
  EXPECT_TRUE(manager.WriteNumber(skSettings, L"[3]Packer", L"New", 1));
  EXPECT_EQ(FPlugins.Files[3]->ReadNumber(L"Settings", L"New", 0), 1);
  EXPECT_EQ(RegGetNumber(L"Settings\\[3]Packer", L"New"), std::nullopt);

  EXPECT_EQ(manager.ReadNumber(skSettings, L"[4]Crypt\\Extra", L"Level", 5), 6);
  ExpectRegistryServes(manager, skSettings, L"[99]Packer");
  PluginConfigFiles = nullptr;  // no plug-in registry at all: the same answer
  EXPECT_EQ(manager.ReadNumber(skSettings, L"[4]Crypt\\Extra", L"Level", 5), 6);
  EXPECT_TRUE(FPlugins.Freed.empty());
}

// Size query and read on the one store that serves the value.
TEST_F(SettingsRouting, DataBlocksAreReadWholeOrNotAtAll) {
  OpenPluginFile(3, L"[Settings]\r\nB=data:0aff\r\n");
  WriteCfg(MainFile(), L"[Settings]\r\nE=data:\r\nBad=data:0g\r\nS=string:x\r\n");
  RegSetRaw(L"Errors", L"1:0", REG_BINARY, {1, 2, 3});
  TSettingsManager manager(MainFile());
  EXPECT_EQ(manager.ReadDataBlock(skSettings, L"[3]Packer", L"B"), (Bytes{0x0A, 0xFF}));
  EXPECT_EQ(manager.ReadDataBlock(skSettings, L"", L"E"), Bytes{});
  EXPECT_EQ(manager.ReadDataBlock(skErrors, L"", L"1:0"), (Bytes{1, 2, 3}));
  for (const wchar_t* name : {L"Bad", L"S", L"Missing"})
    EXPECT_EQ(manager.ReadDataBlock(skSettings, L"", name), std::nullopt) << name;
}

// "[<index>]<name>": the first character is not looked at. Every call but
// DeleteKey takes one routing path: a read and a write stand for all.
TEST_F(SettingsRouting, UnparsablePluginKeyFailsBeforeAnyStoreIsTouched) {
  const std::pair<const wchar_t*, int32_t> ids[] = {{L"[3]P", 3}, {L"x5]P", 5}, {L"[$10]P", 16}, {L"[-2]]P", -2}};
  for (const auto& [subKey, id] : ids) EXPECT_EQ(TSettingsManager::ParsePluginID(subKey), id) << subKey;
  for (const wchar_t* bad : {L"abc", L"[x]Packer", L"]Packer", L"[]Packer", L"[3", L"[3 ]P", L"[99999999999]P"})
    EXPECT_THROW(TSettingsManager::ParsePluginID(bad), EZvConvertError) << bad;
  WriteCfg(MainFile(), L"[Settings]\r\nA=number:1\r\n\r\n");
  const Bytes before = ReadFileBytes(MainFile());
  TSettingsManager manager(MainFile());
  for (const wchar_t* subKey : {L"abc", L"[x]Packer"}) {
    EXPECT_THROW(manager.ReadNumber(skSettings, subKey, L"A", 0), EZvConvertError) << subKey;
    EXPECT_THROW(manager.WriteNumber(skSettings, subKey, L"A", 1), EZvConvertError) << subKey;
  }
  EXPECT_EQ(FPlugins.Lookups, 0);
  EXPECT_FALSE(RegKeyExists(L"Settings"));
  EXPECT_TRUE(manager.HasConfigFile());
  manager.Flush();
  EXPECT_EQ(ReadFileBytes(MainFile()), before);
}

// DeleteKey never parses a plug-in key and deletes it in the registry only;
// other kinds go to the file while it is open, Errors always to the registry.
TEST_F(SettingsRouting, DeleteKeyRouting) {
  OpenPluginFile(3, L"[Settings]\r\nLevel=number:9\r\n");
  WriteCfg(MainFile(), L"[Profiles\\Work\\[1][3]Zip]\r\nL=number:1\r\n[Profiles\\Home]\r\n");
  for (const wchar_t* key : {L"Settings\\[3]Packer", L"Settings\\abc", L"Profiles\\Work", L"Errors"})
    RegSetDword(key, L"A", 1);
  {
    TSettingsManager manager(MainFile());
    for (const wchar_t* subKey : {L"[3]Packer", L"abc"}) manager.DeleteKey(skSettings, subKey);
    manager.DeleteKey(skProfiles, L"Work");
    manager.DeleteKey(skErrors, L"");
  }
  EXPECT_FALSE(RegKeyExists(L"Settings\\[3]Packer"));
  EXPECT_FALSE(RegKeyExists(L"Settings\\abc"));
  EXPECT_EQ(FPlugins.Files[3]->ReadNumber(L"Settings", L"Level", 0), 9);
  EXPECT_EQ(FPlugins.Lookups, 0);
  EXPECT_TRUE(RegKeyExists(L"Profiles\\Work"));  // left from an earlier fall-back, stays
  EXPECT_FALSE(RegKeyExists(L"Errors"));
  EXPECT_EQ(ReadCfg(MainFile()), L"[Profiles\\Home]\r\n\r\n");
}

// ---- failures

TEST_F(SettingsRouting, MainFileHeldByAnotherProcessSendsEverythingToTheRegistry) {
  WriteCfg(MainFile(), L"[Settings]\r\nV=number:60\r\n[Profiles\\Work]\r\n");
  const Bytes before = ReadFileBytes(MainFile());
  RegSetDword(L"Profiles\\Work", L"L", 1);
  {
    THeldFile holder(MainFile());
    TSettingsManager manager(MainFile());
    EXPECT_FALSE(manager.HasConfigFile());
    ExpectRegistryServes(manager, skSettings, L"");
    ExpectRegistryServes(manager, skPlugins, L"");
    manager.DeleteKey(skProfiles, L"Work");
    EXPECT_FALSE(RegKeyExists(L"Profiles\\Work"));
    manager.Flush();
  }
  EXPECT_EQ(ReadFileBytes(MainFile()), before);
}

// A file store whose first operation fails (its file cannot be created) is
// dropped until unload, a plug-in's file freed, and the call repeated on the registry.
TEST_F(SettingsRouting, StoreThatRaisesIsDroppedAndTheCallRepeatedOnTheRegistry) {
  RegSetDword(L"Profiles\\Work\\[1][3]Zip", L"L", 1);
  TTempDir gone;
  FPlugins.Files[3] = new TConfigFileSettings(gone / L"Packer.cfg");
  TSettingsManager writer(gone / L"Zentavo.cfg"), deleter(gone / L"Zentavo.cfg");
  ASSERT_TRUE(::RemoveDirectoryW(gone.Path().c_str()));
  ExpectRegistryServes(writer, skSettings, L"[3]Packer\\Extra");
  EXPECT_EQ(FPlugins.Freed, std::vector<int32_t>{3});
  EXPECT_TRUE(writer.HasConfigFile());  // a plug-in file's failure leaves the main file
  ExpectRegistryServes(writer, skPlugins, L"");
  EXPECT_FALSE(writer.HasConfigFile());
  deleter.DeleteKey(skProfiles, L"Work");
  EXPECT_FALSE(deleter.HasConfigFile());
  EXPECT_FALSE(RegKeyExists(L"Profiles\\Work"));
  EXPECT_TRUE(RegKeyExists(L"Profiles"));
  ::CreateDirectoryW(gone.Path().c_str(), nullptr);  // too late: dropped until unload
  ExpectRegistryServes(writer, skSettings, L"");
  EXPECT_FALSE(FileExists(gone / L"Zentavo.cfg"));
}

// A user's file in UTF-8 reads as UTF-16 (its values are not found) and is
// never overwritten: changes go to the registry.
TEST_F(SettingsRouting, AUtf8FileStaysByteForByte) {
  const std::string utf8 = "\xEF\xBB\xBF[Settings]\r\nMemUsage=number:50\r\n";
  const Bytes before(utf8.begin(), utf8.end());
  WriteFileBytes(MainFile(), before);
  {
    TSettingsManager manager(MainFile());
    EXPECT_EQ(manager.GetMemUsage(), 75);
    ExpectRegistryServes(manager, skSettings, L"");
    manager.DeleteKey(skProfiles, L"Work");
    manager.Flush();
  }
  EXPECT_EQ(ReadFileBytes(MainFile()), before);
}

// The main file fails while loaded (its replacement is refused): values
// written after the fall-back read back until unload, the file is neither
// damaged nor written again later, no temporary file is left beside it, and
// the next load reads the file again and not the registry.
TEST_F(SettingsRouting, FailedFlushDropsTheFileWithoutLosingOrDoublingWrites) {
  WriteCfg(MainFile(), L"[Plugins]\r\n1=string:.\\Zip.zvx|Zip\r\n\r\n");
  const Bytes before = ReadFileBytes(MainFile());
  {
    TSettingsManager manager(MainFile());
    manager.WriteNumber(skSettings, L"", L"MemUsage", 30);
    {
      const THeldFile reader(MainFile(), kNoDeleteSharing);
      EXPECT_NO_THROW(manager.Flush());
    }
    EXPECT_FALSE(manager.HasConfigFile());
    EXPECT_EQ(ReadFileBytes(MainFile()), before);
    EXPECT_EQ(ListFiles(FDir.Path(), L"*"), std::vector<std::wstring>{L"Zentavo.cfg"});
    EXPECT_TRUE(manager.WriteString(skPlugins, L"", L"2", L"C:\\Crypt.zvx|Crypt"));
    EXPECT_EQ(manager.ReadString(skPlugins, L"", L"2", L""), L"C:\\Crypt.zvx|Crypt");
    ExpectRegistryServes(manager, skSettings, L"");
    manager.Flush();  // nothing to do without the file
  }
  EXPECT_EQ(ReadFileBytes(MainFile()), before);

  TSettingsManager reloaded(MainFile());
  EXPECT_TRUE(reloaded.HasConfigFile());
  EXPECT_EQ(reloaded.ReadString(skPlugins, L"", L"2", L"none"), L"none");
  EXPECT_EQ(reloaded.ReadString(skPlugins, L"", L"1", L""), L".\\Zip.zvx|Zip");
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
