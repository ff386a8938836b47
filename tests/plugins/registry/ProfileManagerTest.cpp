#include <gmock/gmock.h>

#include <algorithm>

#include "plugins/PluginSettings.h"
#include "plugins/registry/RegistryTest.h"

using namespace zv;
using namespace zvtest;
using ::testing::HasSubstr;

namespace {

// A, B and C installed with indexes 1, 2 and 3, in the file or the registry.
class TProfiles : public TPluginRegistryTest {
protected:
  void SetUp() override {
    TPluginRegistryTest::SetUp();
    Use(true);
  }
  void Use(bool inFile) {
    UseStore(inFile);
    if (Plugins->GetPlugins().empty())
      for (const wchar_t* name : {L"A", L"B", L"C"}) InstallCopy(name);
  }
  // Saves entries of the given plug-ins as a profile; A's keeps a setting.
  TProfile* Save(TProfileManager& profiles, const std::wstring& name, std::initializer_list<int32_t> indexes) {
    std::vector<TPluginEntry> entries;
    std::vector<const TLoadedPlugin*> list;
    for (const int32_t index : indexes) {
      list.push_back(entries.emplace_back(Load(ByIndex(index))).get());
      if (index == 1) entries.back()->PluginSettings->WriteNumber(L"Level", 4);
    }
    return profiles.SaveProfile(name, list);
  }
};

// Every profile as "<name>(<position>:<index> ...)", by name.
std::wstring Dump(TProfileManager& profiles) {
  std::vector<TProfile*> list = profiles.GetProfiles();
  std::sort(list.begin(), list.end(), [](auto* a, auto* b) { return a->Name < b->Name; });
  std::wstring text;
  for (const TProfile* profile : list) {
    text += profile->Name + L"(";
    for (const TProfileEntry& e : profile->Plugins) text += std::to_wstring(e.Position) + L":" + std::to_wstring(e.Index) + L" ";
    text += L") ";
  }
  return text;
}
std::wstring Names(const std::optional<std::vector<TPluginEntry>>& entries) {
  if (!entries) return L"none";
  std::wstring text;
  for (const TPluginEntry& entry : *entries) text += entry->Name + L" ";
  return text;
}

}  // namespace

// A list and trees edited by hand: malformed lines and sections are skipped;
// indexes and positions follow the number rule ("07", "$A", "[ 3]", "0x10");
// twins are one plug-in, and uninstalling removes every line of the plug-in;
// entries sort by position whatever the stored order, and a profile is there
// when it has a sub-section.
TEST_F(TProfiles, HandEditedListsAndTreesLoadByTheNumberRule) {
  Stop();
  std::wstring text = L"[Plugins]\r\n3=string:.\\a.zvx|A\r\n9=string:C:\\b.zvx|B|x\r\nabc=string:.\\c.zvx|C\r\n4=string:\r\n"
                      L"5=string:nobar\r\n07=string:.\\d.zvx|D\r\n$A=string:.\\e.zvx|E\r\n+3=string:.\\a.zvx|A\r\n";
  for (const wchar_t* entry : {L"[10][4]A", L"[2][5]B", L"[1][6]C", L"[ 3][7]Zip", L"[$B][0x10]", L"[2]Zip",
                               L"[x][7]Zip", L"2][7]Zip", L"[2][7", L"[2]"})
    text += L"[Profiles\\Work\\" + std::wstring(entry) + L"]\r\n";
  WriteCfg(ConfigFile(), text + L"[Profiles\\Odd\\[x]Zip]\r\n[Profiles\\Bare]\r\nStray=number:1\r\n"
                                L"[TransformPipe\\Stored\\[2][7]Zip]\r\n[TransformPipe\\Stored\\[1][3]Pack]\r\n");
  UseStore(true);
  EXPECT_EQ(Listed(*Plugins), L"3=.\\a.zvx|A 7=.\\d.zvx|D 9=C:\\b.zvx|B|x 10=.\\e.zvx|E ");
  EXPECT_EQ(Dump(*Profiles), L"Odd() Work(1:6 2:5 3:7 10:4 11:16 ) ");
  EXPECT_EQ(Dump(*std::make_unique<TProfileManager>(skTransformPipe)), L"Stored(1:3 2:7 ) ");
  {
    const TBoxAnswerer boxes;
    EXPECT_EQ(Names(Profiles->LoadProfile(L"Odd", false)), L"");
    EXPECT_EQ(Names(Profiles->LoadProfile(L"Missing", false)), L"none");
    EXPECT_EQ(boxes.Said(), L"0 boxes");
  }
  EXPECT_EQ(Install(FixturePath(), L"P")->Index, 11);
  Plugins->UninstallPlugin(ByIndex(7));
  Plugins->UninstallPlugin(ByIndex(3));
  Restart();
  EXPECT_EQ(Listed(*Plugins), L"9=C:\\b.zvx|B|x 10=.\\e.zvx|E 11=.\\fixtures\\ZvFixture.zvx|P ");
  EXPECT_THAT(ReadCfg(ConfigFile()), HasSubstr(L"\r\n11=string:.\\fixtures\\ZvFixture.zvx|P\r\n"));
}

TEST_F(TProfiles, AMissingPluginAsksAndNoLeavesNothingLoaded) {
  Save(*Profiles, L"Work", {1, 2, 3});
  Plugins->UninstallPlugin(ByIndex(2));
  const struct { bool StoredPipe; int Answer; const wchar_t *Loaded, *Question; int Unloads; } cases[] = {
      {false, IDYES, L"A C ", L"Would you like to continue loading the profile?", 2},
      {true, IDNO, L"none", L"Would you like to continue loading the previously stored Transform Pipe?", 1},
  };
  for (const auto& c : cases) {
    const TBoxAnswerer boxes({c.Answer});
    const int unloads = Unloads();
    EXPECT_EQ(Names(Profiles->LoadProfile(L"Work", c.StoredPipe)), c.Loaded);
    EXPECT_EQ(boxes.Said(), std::wstring(L"Question: ") + c.Question);
    EXPECT_EQ(Unloads() - unloads, c.Unloads);
    EXPECT_FALSE(ConfigOpen(1));
  }
}

// In the file and in the registry: names differing only in letter case are
// one profile, as the stores see them, and names the layout cannot hold are
// refused; an entry whose plug-in keeps no settings comes back after a
// restart, its neighbours with their settings.
TEST_F(TProfiles, OneProfilePerNameIgnoringCaseAndEntriesWithoutSettingsSurviveARestart) {
  for (const bool inFile : {true, false}) {
    SCOPED_TRACE(inFile ? "file" : "registry");
    Use(inFile);
    Save(*Profiles, L"Work", {1, 3});
    EXPECT_TRUE(Profiles->ProfileExists(L"WORK"));
    Save(*Profiles, L"WORK", {2});
    ASSERT_TRUE(Save(*Profiles, L"Backup", {1, 2, 3}));
    for (const wchar_t* name : {L"a\\b", L"a\nb", L""}) EXPECT_FALSE(Save(*Profiles, name, {1})) << name;
    const std::wstring backup = L"Backup(1:1 2:2 3:3 ) ";
    EXPECT_EQ(Dump(*Profiles), backup + L"WORK(1:2 ) ");
    Restart();
    EXPECT_EQ(Dump(*Profiles), backup + L"WORK(1:2 ) ");
    Profiles->DeleteProfile(L"work");
    Restart();
    EXPECT_EQ(Dump(*Profiles), backup);
    const auto entries = Profiles->LoadProfile(L"Backup", false);
    EXPECT_EQ(Names(entries), L"A B C ");
    EXPECT_EQ(entries->at(0)->PluginSettings->ReadNumber(L"Level", 0), 4);
    if (inFile) {
      EXPECT_THAT(ReadCfg(ConfigFile()), HasSubstr(L"[Profiles\\Backup\\[2][2]B]\r\n\r\n[Profiles\\Backup\\[3][3]C]"));
    }
  }
}
