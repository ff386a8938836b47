#include <gtest/gtest.h>

#include <memory>
#include <thread>

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
    UseTempFolder(Temp.Path());
  }
  ~TPluginLoadingTest() override { GlobalSettingsManager = nullptr; }

  void UseTempFolder(const std::wstring& folder) { Settings.SetTempFolder(folder); }
  std::vector<std::wstring> Copies() const { return ListFiles(Temp.Path(), L"zvx*.tmp"); }

  TTempDir Temp;
  TTempDir ConfigDir;
  TSettingsManager Settings{ConfigDir / L"Zentavo.cfg"};
};

}  // namespace

TEST_F(TPluginLoadingTest, LibrariesThatCannotBeLoadedLeaveNoHandleAndNoCopy) {
  WriteFileBytes(Temp / L"text.zvx", {'n', 'o', 't', ' ', 'a', ' ', 'D', 'L', 'L'});
  WriteFileBytes(Temp / L"empty.zvx", {});
  const std::wstring folder = Temp / L"folder.zvx";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  const struct {
    const char* Case;
    std::wstring Path;
  } cases[] = {
      {"missing file", Temp / L"missing.zvx"},
      {"folder", folder},
      {"text file", Temp / L"text.zvx"},
      {"empty file", Temp / L"empty.zvx"},
      {"64-bit library", FixturePath(L"ZvFixture64")},
      {"DllMain fails", FixturePath(L"ZvFixtureDllMainFails")},
      {"DllMain faults", FixturePath(L"ZvFixtureDllMainFaults")},
      {"import missing", FixturePath(L"ZvFixtureMissingImport")},
      {"path over MAX_PATH", Temp / (std::wstring(MAX_PATH, L'x') + L".zvx")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    if (std::string(c.Case) == "64-bit library" && !FileExists(c.Path)) {
      ADD_FAILURE() << "the 64-bit test plug-in was not built (x86-64 mingw missing)";
      continue;
    }
    TPluginFile file(c.Path, nullptr);
    EXPECT_EQ(file.Handle(), nullptr);
    EXPECT_FALSE(file.ResolveExports());
    EXPECT_FALSE(file.HasAbout());
  }
  EXPECT_TRUE(Copies().empty());
}

TEST_F(TPluginLoadingTest, OnlyTheThreeRequiredExportsByNameMakeAPlugin) {
  const struct {
    const wchar_t* Fixture;
    bool Resolves;
    bool HasOptional;
  } cases[] = {
      {L"ZvFixture", true, true},
      {L"ZvFixtureRequired", true, false},
      {L"ZvFixtureNoLoad", false, true},
      {L"ZvFixtureDecorated", false, true},  // ZV_LoadA@4
      {L"ZvFixtureOrdinal", false, true},    // ZV_TransformA by ordinal only
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.Fixture)));
    TPluginFile file(FixturePath(c.Fixture), nullptr);
    ASSERT_NE(file.Handle(), nullptr);
    EXPECT_EQ(file.ResolveExports(), c.Resolves);
    for (const bool has : {file.HasGetPluginID(), file.HasGetPluginVersion(), file.HasUnload(),
                           file.HasInitTransform(), file.HasDoneTransform(), file.HasSettingsInfo(), file.HasSettings(),
                           file.HasAbout()})
      EXPECT_EQ(has, c.HasOptional);
  }
}

namespace {

// Loads an instance and a second one of the same library, which runs from a
// private copy with globals of its own, then frees them in the given order.
void LoadTwiceAndFree(bool firstGoesFirst, const std::function<std::vector<std::wstring>()>& copies) {
  TLoadedPlugin firstEntry, secondEntry;
  auto first = std::make_unique<TPluginFile>(FixturePath(), &firstEntry);
  auto second = std::make_unique<TPluginFile>(FixturePath(), &secondEntry);
  TPluginFile probe(FixturePath(), nullptr);
  ASSERT_TRUE(first->ResolveExports() && second->ResolveExports() && probe.ResolveExports());
  EXPECT_FALSE(first->IsTempCopy());
  EXPECT_TRUE(second->IsTempCopy());
  EXPECT_TRUE(probe.IsTempCopy());
  EXPECT_EQ(copies().size(), 2u);

  TFixtureControl(*first).Returns(fiGetPluginID, 7);
  TFixtureControl(*second).Returns(fiGetPluginID, 8);
  TFixtureControl(probe).Returns(fiGetPluginID, 9);
  EXPECT_EQ(first->GetPluginID(), 7u);
  EXPECT_EQ(second->GetPluginID(), 8u);
  EXPECT_EQ(probe.GetPluginID(), 9u);
  EXPECT_EQ(TFixtureControl(*second).CallCount(), 1);

  (firstGoesFirst ? first : second).reset();
  EXPECT_EQ(copies().size(), firstGoesFirst ? 2u : 1u);
  (firstGoesFirst ? second : first).reset();
  EXPECT_EQ(copies().size(), 1u);
}

}  // namespace

TEST_F(TPluginLoadingTest, ASecondInstanceAndAProbeRunFromPrivateCopiesThatGoWithThem) {
  for (const bool firstGoesFirst : {true, false}) {
    SCOPED_TRACE(firstGoesFirst ? "first freed first" : "second freed first");
    LoadTwiceAndFree(firstGoesFirst, [this] { return Copies(); });
    EXPECT_TRUE(Copies().empty());
  }
  std::thread worker([this] { LoadTwiceAndFree(true, [this] { return Copies(); }); });
  worker.join();
  EXPECT_TRUE(Copies().empty());
}

TEST_F(TPluginLoadingTest, APrivateCopyThatCannotBeMadeLeavesNothingBehind) {
  WriteFileBytes(Temp / L"a file", {'x'});
  TPluginFile loaded(FixturePath(), nullptr);
  // A folder that exists, but where even the shortest copy name would pass MAX_PATH.
  const std::wstring longFolder = Temp.Path() + L"\\" + std::wstring(MAX_PATH - 9 - Temp.Path().size(), L'y');
  ::CreateDirectoryW((L"\\\\?\\" + longFolder).c_str(), nullptr);
  for (const std::wstring& folder : {Temp / L"missing", Temp / L"a file", longFolder}) {
    SCOPED_TRACE(testing::PrintToString(folder));
    UseTempFolder(folder);
    TPluginFile second(FixturePath(), nullptr);
    EXPECT_EQ(second.Handle(), nullptr);
    EXPECT_FALSE(second.ResolveExports());
    EXPECT_FALSE(second.IsTempCopy());
  }
  EXPECT_TRUE(Copies().empty());
  ::RemoveDirectoryW((L"\\\\?\\" + longFolder).c_str());
}

TEST_F(TPluginLoadingTest, StaleCopiesGoBeforeANewCopyWhileLoadedOnesAndOtherFilesStay) {
  TPluginFile original(FixturePath(), nullptr);
  TPluginFile copy(FixturePath(), nullptr);
  ASSERT_TRUE(copy.IsTempCopy());
  for (const wchar_t* name : {L"zvx1.tmp", L"zvxBEEF.tmp", L"zvxNOTHEX.tmp", L"zvx12345.tmp", L"other.tmp"})
    WriteFileBytes(Temp / name, {'s'});

  TPluginFile another(FixturePath(), nullptr);
  ASSERT_TRUE(another.IsTempCopy());
  EXPECT_FALSE(FileExists(Temp / L"zvx1.tmp"));
  EXPECT_FALSE(FileExists(Temp / L"zvxBEEF.tmp"));
  for (const wchar_t* name : {L"zvxNOTHEX.tmp", L"zvx12345.tmp", L"other.tmp"}) EXPECT_TRUE(FileExists(Temp / name));
  EXPECT_EQ(Copies().size(), 4u);  // the two loaded copies and the two that do not look like ours
}
