#include <gtest/gtest.h>

#include <memory>

#include "config/SettingsManager.h"
#include "plugins/PluginFile.h"
#include "support/PluginFixtures.h"
#include "support/TestFiles.h"

using namespace zv;
using namespace zvtest;

namespace {

// A settings manager whose temporary folder is a fresh folder of the test.
class TPluginLoadingTest : public ::testing::Test {
protected:
  TPluginLoadingTest() {
    GlobalSettingsManager = &Settings;
    Settings.SetTempFolder(Temp.Path());
  }
  ~TPluginLoadingTest() override { GlobalSettingsManager = nullptr; }

  std::vector<std::wstring> Copies() const { return ListFiles(Temp.Path(), L"zvx*.tmp"); }

  TTempDir Temp;
  TTempDir ConfigDir;
  TSettingsManager Settings{ConfigDir / L"Zentavo.cfg"};
};

}  // namespace

TEST_F(TPluginLoadingTest, OnlyLoadableLibrariesWithTheThreeRequiredExportsByNameArePlugIns) {
  WriteFileBytes(Temp / L"text.zvx", {'n', 'o', 't', ' ', 'P', 'E'});
  const struct {
    std::wstring Path;
    bool Loads, Resolves, HasOptional;
  } cases[] = {
      {Temp / L"text.zvx", false, false, false},
      {Temp / (std::wstring(MAX_PATH, L'x') + L".zvx"), false, false, false},
      {FixturePath(L"ZvFixtureDllMainFaults"), false, false, false},
      {FixturePath(L"ZvFixture"), true, true, true},
      {FixturePath(L"ZvFixtureRequired"), true, true, false},
      {FixturePath(L"ZvFixtureDecorated"), true, false, true},  // ZV_LoadA@4
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Path.substr(c.Path.find_last_of(L'\\'), 40)));
    TPluginFile file(c.Path, nullptr);
    EXPECT_EQ(file.Handle() != nullptr, c.Loads);
    EXPECT_EQ(file.ResolveExports(), c.Resolves);
    for (const bool has : {file.HasGetPluginID(), file.HasGetPluginVersion(), file.HasUnload(),
                           file.HasInitTransform(), file.HasDoneTransform(), file.HasSettingsInfo(), file.HasSettings(),
                           file.HasAbout()})
      EXPECT_EQ(has, c.HasOptional);
  }
  EXPECT_TRUE(Copies().empty());
}

// A second instance and a probe of a loaded library run from private copies
// with globals of their own; only a copy's instance deletes a file, whichever
// of the two instances goes first. Stale copies go before a new copy is made,
// while loaded copies and files not named as ours stay.
TEST_F(TPluginLoadingTest, ASecondInstanceAndAProbeRunFromPrivateCopiesThatGoWithThem) {
  for (const wchar_t* name : {L"zvx1.tmp", L"zvxBEEF.tmp", L"zvxNOTHEX.tmp", L"zvx12345.tmp", L"other.tmp"})
    WriteFileBytes(Temp / name, {'s'});
  for (const bool firstGoesFirst : {true, false}) {
    TLoadedPlugin firstEntry, secondEntry;
    auto first = std::make_unique<TPluginFile>(FixturePath(), &firstEntry);
    auto second = std::make_unique<TPluginFile>(FixturePath(), &secondEntry);
    auto probe = std::make_unique<TPluginFile>(FixturePath(), nullptr);
    ASSERT_TRUE(first->ResolveExports() && second->ResolveExports() && probe->ResolveExports());
    EXPECT_FALSE(first->IsTempCopy());
    EXPECT_TRUE(second->IsTempCopy() && probe->IsTempCopy());
    uint32_t id = 7;
    for (TPluginFile* file : {first.get(), second.get(), probe.get()}) TFixtureControl(*file).Returns(fiGetPluginID, id++);
    EXPECT_EQ(first->GetPluginID() * 100 + second->GetPluginID() * 10 + probe->GetPluginID(), 789u);

    probe.reset();
    EXPECT_EQ(Copies().size(), 3u);  // the second instance's and the two that are not ours
    (firstGoesFirst ? first : second).reset();
    EXPECT_EQ(Copies().size(), firstGoesFirst ? 3u : 2u);
    (firstGoesFirst ? second : first).reset();
    EXPECT_EQ(Copies().size(), 2u);
  }
  EXPECT_FALSE(FileExists(Temp / L"zvx1.tmp") || FileExists(Temp / L"zvxBEEF.tmp"));
  EXPECT_TRUE(FileExists(Temp / L"other.tmp"));
}

TEST_F(TPluginLoadingTest, APrivateCopyThatCannotBeMadeLeavesNothingBehind) {
  // A folder that exists, but where even the shortest copy name would pass MAX_PATH.
  const std::wstring longFolder = Temp.Path() + L"\\" + std::wstring(MAX_PATH - 9 - Temp.Path().size(), L'y');
  ::CreateDirectoryW((L"\\\\?\\" + longFolder).c_str(), nullptr);
  TPluginFile loaded(FixturePath(), nullptr);
  for (const std::wstring& folder : {Temp / L"missing", longFolder}) {
    Settings.SetTempFolder(folder);
    TPluginFile second(FixturePath(), nullptr);
    EXPECT_EQ(second.Handle(), nullptr);
    EXPECT_FALSE(second.ResolveExports() || second.IsTempCopy());
  }
  EXPECT_TRUE(Copies().empty());
  ::RemoveDirectoryW((L"\\\\?\\" + longFolder).c_str());
}
