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
  // Loads the plug-ins of the given indexes and saves them as a profile; A
  // keeps a setting, B and C none.
  TProfile* Save(TProfileManager& profiles, const std::wstring& name, std::initializer_list<int32_t> indexes) {
    std::vector<TPluginEntry> entries;
    std::vector<const TLoadedPlugin*> list;
    for (const int32_t index : indexes) {
      entries.push_back(Load(ByIndex(index)));
      if (index == 1) entries.back()->PluginSettings->WriteNumber(L"Level", 4);
      list.push_back(entries.back().get());
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
    for (const TProfileEntry& e : profile->Plugins)
      text += std::to_wstring(e.Position) + L":" + std::to_wstring(e.Index) + L" ";
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

TEST(ProfileEntryNames, PositionAndIndexFollowTheNumberRule) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"[2][7]Zip", L"2:7"}, {L"[2][7]", L"2:7"},  {L"[ 2][7]Zip", L"2:7"}, {L"[$A][0x10]x", L"10:16"},
      {L"[2]Zip", L""},       {L"[x][7]Zip", L""},  {L"2][7]Zip", L""},    {L"[2][7", L""},
      {L"[2]", L""},          {L"", L""},
  };
  for (const auto& [name, expected] : cases) {
    TProfileEntry e;
    const bool parsed = TProfileManager::ParseEntryName(name, e);
    EXPECT_EQ(parsed ? std::to_wstring(e.Position) + L":" + std::to_wstring(e.Index) : L"", expected) << name;
  }
}

TEST_F(TProfiles, StoredTreesLoadSortedAndOnlySubSectionsMakeProfiles) {
  Stop();
  WriteCfg(ConfigFile(),
           L"[Profiles\\Work\\[10][4]A]\r\n[Profiles\\Work\\[2][5]B]\r\n[Profiles\\Odd\\[x]Zip]\r\n"
           L"[Profiles\\Work\\[1][6]C]\r\n[Profiles\\Bare]\r\nStray=number:1\r\n"
           L"[TransformPipe\\Stored\\[2][7]Zip]\r\n[TransformPipe\\Stored\\[1][3]Pack]\r\n");
  Start();
  EXPECT_EQ(Dump(*Profiles), L"Odd() Work(1:6 2:5 10:4 ) ");
  TProfileManager pipe(skTransformPipe);
  EXPECT_EQ(Dump(pipe), L"Stored(1:3 2:7 ) ");
  const TBoxAnswerer boxes;
  EXPECT_EQ(Names(Profiles->LoadProfile(L"Odd", false)), L"");
  EXPECT_EQ(Names(Profiles->LoadProfile(L"Missing", false)), L"none");
  EXPECT_TRUE(boxes.Boxes.empty());
}

// A profile naming a plug-in that is gone asks whether to go on.
TEST_F(TProfiles, AMissingPluginAsksAndNoLeavesNothingLoaded) {
  Save(*Profiles, L"Work", {1, 2, 3});
  Plugins->UninstallPlugin(ByIndex(2));
  const struct {
    bool StoredPipe;
    int Answer;
    const wchar_t *Loaded, *Question;
    int Unloads;
  } cases[] = {
      {false, IDYES, L"A C ", L"Would you like to continue loading the profile?", 2},
      {true, IDNO, L"none", L"Would you like to continue loading the previously stored Transform Pipe?", 1},
  };
  for (const auto& c : cases) {
    TBoxAnswerer boxes({c.Answer});
    const int unloads = Unloads();
    EXPECT_EQ(Names(Profiles->LoadProfile(L"Work", c.StoredPipe)), c.Loaded);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Caption + L": " + boxes.Boxes[0].Text, std::wstring(L"Question: ") + c.Question);
    EXPECT_EQ(Unloads() - unloads, c.Unloads);
    EXPECT_FALSE(ConfigOpen(1));
  }
}

// What the Settings dialog does before it uninstalls a plug-in used in
// profiles and in the stored pipe; all of it is gone after a restart.
TEST_F(TProfiles, UninstallFlowRemovesThePluginEverywhere) {
  Save(*Profiles, L"Work", {1, 2, 3});
  Save(*Profiles, L"Solo", {2});
  TProfileManager pipe(skTransformPipe);
  Save(pipe, L"Stored", {2, 1});
  Settings->WriteNumber(skSettings, L"[2]B", L"Level", 1);
  Profiles->RemovePluginFromProfiles(99);
  for (TProfileManager* profiles : {Profiles.get(), &pipe}) {
    ASSERT_TRUE(profiles->IsPluginUsed(2));
    profiles->RemovePluginFromProfiles(2);
  }
  Plugins->UninstallPlugin(ByIndex(2));
  Restart();
  EXPECT_EQ(Dump(*Profiles), L"Work(1:1 3:3 ) ");
  TProfileManager pipeAfter(skTransformPipe);
  EXPECT_EQ(Dump(pipeAfter), L"Stored(2:1 ) ");
  EXPECT_EQ(Plugins->GetPluginName(2), L"");
  EXPECT_FALSE(RegKeyExists(L"Settings\\[2]B"));
  auto work = Profiles->LoadProfile(L"Work", false);
  std::vector<const TLoadedPlugin*> entries;
  for (const TPluginEntry& entry : *work) entries.push_back(entry.get());
  Profiles->SaveProfile(L"Work", entries);
  EXPECT_EQ(Dump(*Profiles), L"Work(1:1 2:3 ) ");
}

// An entry whose plug-in keeps no settings comes back after a restart, its
// neighbours with their settings, in the file and in the registry.
TEST_F(TProfiles, EntriesWithoutSettingsSurviveARestart) {
  for (const bool inFile : {true, false}) {
    SCOPED_TRACE(inFile ? "file" : "registry");
    Use(inFile);
    ASSERT_TRUE(Save(*Profiles, L"Backup", {1, 2, 3}));
    Restart();
    const auto entries = Profiles->LoadProfile(L"Backup", false);
    EXPECT_EQ(Names(entries), L"A B C ");
    EXPECT_EQ(entries->at(0)->PluginSettings->ReadNumber(L"Level", 0), 4);
    if (inFile) {
      EXPECT_THAT(ReadCfg(ConfigFile()), HasSubstr(L"[Profiles\\Backup\\[2][2]B]\r\n\r\n[Profiles\\Backup\\[3][3]C]"));
    }
  }
}

// Names differing only in letter case are one profile, as the stores see
// them; names the layout cannot hold are refused.
TEST_F(TProfiles, OneProfilePerNameIgnoringCaseAndUnstorableNamesRefused) {
  for (const bool inFile : {true, false}) {
    SCOPED_TRACE(inFile ? "file" : "registry");
    Use(inFile);
    Save(*Profiles, L"Work", {1, 3});
    EXPECT_TRUE(Profiles->ProfileExists(L"WORK"));
    Save(*Profiles, L"WORK", {2});
    EXPECT_EQ(Dump(*Profiles), L"WORK(1:2 ) ");
    for (const wchar_t* name : {L"a\\b", L"a\nb", L""}) EXPECT_FALSE(Save(*Profiles, name, {1})) << name;
    Restart();
    EXPECT_EQ(Dump(*Profiles), L"WORK(1:2 ) ");
    Profiles->DeleteProfile(L"work");
    Restart();
    EXPECT_EQ(Dump(*Profiles), L"");
  }
}
