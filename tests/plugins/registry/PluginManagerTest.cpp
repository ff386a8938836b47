#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "config/ConfigFileSettings.h"
#include "plugins/registry/RegistryTest.h"

using namespace zv;
using namespace zvtest;
using ::testing::HasSubstr;

namespace {

using TRegistry = TPluginRegistryTest;

// The installed plug-ins as "<index>=<file>|<name>", by index.
std::wstring Listed(TPluginManager& plugins) {
  std::vector<TPlugin*> list = plugins.GetPlugins();
  std::sort(list.begin(), list.end(), [](auto* a, auto* b) { return a->Index < b->Index; });
  std::wstring text;
  for (const TPlugin* p : list) text += std::to_wstring(p->Index) + L"=" + p->FileName + L"|" + p->Name + L" ";
  return text;
}

std::wstring StoredNames(TSettingsManager& settings) {
  TStringList names = settings.GetValueNames(skPlugins, L"").value_or(TStringList());
  std::sort(names.begin(), names.end());
  std::wstring text;
  for (const std::wstring& name : names) text += name + L" ";
  return text;
}

}  // namespace

TEST(PluginPaths, OnlyFilesInsideTheLibraryDirectoryAreStoredRelative) {
  const struct {
    const wchar_t *Dir, *File, *Stored, *Full;
  } cases[] = {
      {L"C:\\Tools\\Zv", L"C:\\Tools\\Zv\\plugins\\p.zvx", L".\\plugins\\p.zvx", L"C:\\Tools\\Zv\\plugins\\p.zvx"},
      {L"C:\\Tools\\Zv", L"c:\\TOOLS\\zv\\P.zvx", L".\\P.zvx", L"C:\\Tools\\Zv\\P.zvx"},
      {L"C:\\Tools\\Zv", L"C:\\Tools\\Zvx\\p.zvx", L"C:\\Tools\\Zvx\\p.zvx", L"C:\\Tools\\Zvx\\p.zvx"},
      {L"C:\\Tools\\Zv", L"D:\\p.zvx", L"D:\\p.zvx", L"D:\\p.zvx"},
      {L"C:\\", L"C:\\p.zvx", L".\\p.zvx", L"C:\\p.zvx"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TPluginManager::StoredFileName(c.File, c.Dir), c.Stored) << c.File;
    EXPECT_EQ(TPluginManager::FullFileName(c.Stored, c.Dir), c.Full) << c.File;
  }
}

// The list as a user may have edited it, in the file and in the registry
// (the main file locked): malformed lines are skipped, "07" and "$A" load,
// twins are one plug-in, and uninstalling removes every line of the plug-in.
TEST_F(TRegistry, StoredListKeepsHandEditsAndHoldsOneLinePerPlugin) {
  const std::pair<const wchar_t*, const wchar_t*> lines[] = {
      {L"3", L".\\a.zvx|A"}, {L"9", L"C:\\b.zvx|B|x"}, {L"abc", L".\\c.zvx|C"}, {L"4", L""}, {L"5", L"nobar"},
      {L"07", L".\\d.zvx|D"}, {L"$A", L".\\e.zvx|E"}, {L"+3", L".\\twin.zvx|Twin"}};
  for (const bool inFile : {true, false}) {
    SCOPED_TRACE(inFile ? "file" : "registry");
    std::wstring text = L"[Plugins]\r\n";
    for (const auto& [name, value] : lines) {
      text += std::wstring(name) + L"=string:" + value + L"\r\n";
      if (!inFile) RegSetText(L"Plugins", name, value);
    }
    // Which twin the registry lists first is its own affair.
    if (!inFile) RegSetText(L"Plugins", L"+3", L".\\a.zvx|A");
    Stop();
    WriteCfg(ConfigFile(), inFile ? text : L"");
    UseStore(inFile);
    EXPECT_EQ(Listed(*Plugins), L"3=.\\a.zvx|A 7=.\\d.zvx|D 9=C:\\b.zvx|B|x 10=.\\e.zvx|E ");
    EXPECT_EQ(Install(FixturePath(), L"P")->Index, 11);
    Plugins->UninstallPlugin(ByIndex(7));
    Plugins->UninstallPlugin(ByIndex(3));
    Restart();
    EXPECT_EQ(Listed(*Plugins), L"9=C:\\b.zvx|B|x 10=.\\e.zvx|E 11=.\\fixtures\\ZvFixture.zvx|P ");
    EXPECT_EQ(StoredNames(*Settings), L"$A 11 4 5 9 abc ");
    if (inFile) {
      EXPECT_THAT(ReadCfg(ConfigFile()), HasSubstr(L"\r\n11=string:.\\fixtures\\ZvFixture.zvx|P\r\n"));
    }
    DeleteZentavoKey();
  }
}

TEST_F(TRegistry, InstallTellsEveryOutcomeInOneBoxAndStoresOnlySuccess) {
  WriteFileBytes(Temp / L"text.zvx", {'M', 'Z'});
  const std::wstring copy = Temp / L"p.zvx", upper = Temp.Path() + L"\\P.ZVX";
  ::CopyFileW(FixturePath().c_str(), copy.c_str(), FALSE);
  const struct {
    std::wstring File, Name, Box, Installed;
  } cases[] = {
      {Temp / L"text.zvx", L"X", L"The file \"text.zvx\" is not a valid Zentavo plugin!", L""},
      {FixturePath(L"ZvFixtureNoLoad"), L"X", L"The file \"ZvFixtureNoLoad.zvx\" is not a valid Zentavo plugin!", L""},
      {copy, L" ", L"Failed to install the \"p.zvx\" plugin!", L""},
      {copy, L"a\\b", L"Failed to install the \"p.zvx\" plugin!", L""},
      {copy, L"a\tb", L"Failed to install the \"p.zvx\" plugin!", L""},
      {copy, L"Packer  ", L"", L"Packer"},
      {upper, L"Other", L"The \"Packer\" plugin has been installed already!", L"Packer"},
  };
  for (const auto& c : cases) {
    TBoxAnswerer boxes;
    const TPlugin* plugin = Install(c.File, c.Name);
    EXPECT_EQ(plugin ? plugin->Name : L"", c.Installed) << c.Name;
    ASSERT_EQ(boxes.Boxes.size(), c.Box.empty() ? 0u : 1u) << c.Name;
    if (!c.Box.empty()) {
      EXPECT_EQ(boxes.Boxes[0].Caption + L": " + boxes.Boxes[0].Text, L"Information: " + c.Box);
    }
  }
  EXPECT_EQ(StoredNames(*Settings), L"1 ");
}

TEST_F(TRegistry, IndexesAreNeverGivenTwiceAndNeverWrap) {
  EXPECT_EQ(InstallCopy(L"A")->Index, 1);
  Plugins->UninstallPlugin(InstallCopy(L"B"));
  EXPECT_EQ(InstallCopy(L"C")->Index, 3);
  Settings->WriteString(skPlugins, L"", L"2147483647", L"x.zvx|Max");
  Restart();
  TBoxAnswerer boxes;
  EXPECT_EQ(InstallCopy(L"D"), nullptr);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, L"The installation of the \"D\" plugin has been failed.");
  EXPECT_EQ(StoredNames(*Settings), L"1 2147483647 3 ");
}

// A failed ZV_LoadA is told once (the error entry with the plug-in's text,
// else a box) and leaves nothing loaded: no library copy, no reference on the
// plug-in's settings file, which its two loaded entries share.
TEST_F(TRegistry, EntriesShareOneSettingsFileAndFailedLoadsLeaveNothing) {
  const TPlugin* a = InstallCopy(L"A");
  TPluginEntry first = Load(a);
  ASSERT_TRUE(first);
  const struct {
    const wchar_t* Load;
    size_t Boxes, Reports;
  } failures[] = {{L"fail", 1, 0}, {L"fail:broken", 0, 1}};
  for (const auto& f : failures) {
    ::SetEnvironmentVariableW(L"ZVT_LOAD", f.Load);
    TBoxAnswerer boxes;
    EXPECT_FALSE(Load(a));
    ASSERT_EQ(boxes.Boxes.size(), f.Boxes) << f.Load;
    if (f.Boxes) {
      EXPECT_EQ(boxes.Boxes[0].Caption + L": " + boxes.Boxes[0].Text, L"Error: Failed to load the \"A\" plugin.");
    }
    ASSERT_EQ(Errors.Reports.size(), f.Reports) << f.Load;
  }
  EXPECT_EQ(Errors.Reports[0].Message, L"Failed to load the \"A\" plugin because of the following error: \"broken\".");
  ::SetEnvironmentVariableW(L"ZVT_LOAD", L"ok");
  TPluginEntry second = Load(a);
  Settings->WriteNumber(skSettings, L"[1]A", L"Level", 5);
  first.reset();
  EXPECT_TRUE(ConfigOpen(1));
  second.reset();
  EXPECT_FALSE(ConfigOpen(1));
  EXPECT_THAT(ReadCfg(Temp / L"A.cfg"), HasSubstr(L"[Settings]\r\nLevel=number:5\r\n"));
  EXPECT_EQ(Unloads(), 2);
  EXPECT_TRUE(ListFiles(Temp.Path(), L"zvx*.tmp").empty());

  TBoxAnswerer boxes;
  EXPECT_FALSE(Plugins->LoadPluginByIndex(99, skSettings, L"[99]X"));
  EXPECT_EQ(Plugins->GetPluginName(99), L"");
  EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(TRegistry, NeitherTheMainFileNorTheLibraryBecomesAPluginSettingsFile) {
  for (const wchar_t* name : {L"Zentavo.zvx", L"x.cfg"}) {
    const std::wstring path = Temp / name;
    ::CopyFileW(FixturePath().c_str(), path.c_str(), FALSE);
    const TPluginEntry entry = Load(Install(path, name));
    ASSERT_TRUE(entry) << name;
    EXPECT_FALSE(ConfigOpen(entry->Index)) << name;
  }
}

// Stages unload on the host's file thread while the Settings dialog installs,
// uninstalls and writes settings on the user-interface thread.
TEST_F(TRegistry, UnloadsRaceNeitherInstallsNorSettingsWrites) {
  const TPlugin* a = InstallCopy(L"A");
  const std::wstring b = Temp / L"B.zvx";
  ::CopyFileW(FixturePath().c_str(), b.c_str(), FALSE);
  ::SetEnvironmentVariableW(L"ZVT_INSTALL_NAME", L"B");
  constexpr int kRounds = 500;
  std::atomic<bool> done{false};
  std::thread stages([&] {
    const TBoxAnswerer boxes;
    for (int round = 0; round < kRounds; ++round) Load(a);
    done = true;
  });
  const TBoxAnswerer boxes;
  for (int round = 0; !done; ++round) {
    Plugins->UninstallPlugin(Plugins->InstallPlugin(nullptr, b));
    Settings->WriteNumber(skSettings, L"[1]A", L"Level", round);
  }
  stages.join();
  EXPECT_EQ(Unloads(), kRounds);
  EXPECT_EQ(Listed(*Plugins), L"1=" + Temp / L"A.zvx|A ");
  EXPECT_FALSE(ConfigOpen(1));
  EXPECT_THAT(ReadCfg(Temp / L"A.cfg"), HasSubstr(L"[Settings]\r\nLevel=number:"));
}

TEST_F(TRegistry, UninstallWritesTheSettingsFileOfAnEntryStillLoaded) {
  TPlugin* a = InstallCopy(L"A");
  TPluginEntry entry = Load(a);
  Settings->WriteNumber(skSettings, L"[1]A", L"Level", 7);
  Plugins->UninstallPlugin(a);
  EXPECT_THAT(ReadCfg(Temp / L"A.cfg"), HasSubstr(L"[Settings]\r\nLevel=number:7\r\n"));
  entry.reset();
  EXPECT_EQ(Unloads(), 1);
}
