#include <gmock/gmock.h>

#include <atomic>
#include <thread>

#include "plugins/registry/RegistryTest.h"

using namespace zv;
using namespace zvtest;
using ::testing::HasSubstr;
using TRegistry = TPluginRegistryTest;

TEST(PluginPaths, OnlyFilesInsideTheLibraryDirectoryAreStoredRelative) {
  const wchar_t* const cases[][4] = {  // library directory, file, as stored, stored as found again
      {L"C:\\Tools\\Zv", L"c:\\TOOLS\\zv\\sub\\P.zvx", L".\\sub\\P.zvx", L"C:\\Tools\\Zv\\sub\\P.zvx"},
      {L"C:\\Tools\\Zv", L"C:\\Tools\\Zvx\\p.zvx", L"C:\\Tools\\Zvx\\p.zvx", L"C:\\Tools\\Zvx\\p.zvx"},
      {L"C:\\", L"C:\\p.zvx", L".\\p.zvx", L"C:\\p.zvx"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TPluginManager::StoredFileName(c[1], c[0]), c[2]) << c[1];
    EXPECT_EQ(TPluginManager::FullFileName(c[2], c[0]), c[3]) << c[1];
  }
}

// Each outcome is told in one "Information" box; only a success is stored and
// uses up an index, which is never given twice and never wraps.
TEST_F(TRegistry, InstallTellsEveryOutcomeOnceAndStoresOnlySuccess) {
  WriteFileBytes(Temp / L"text.zvx", {'M', 'Z'});
  const std::wstring copy = Temp / L"p.zvx", failed = L"Information: Failed to install the \"p.zvx\" plugin!";
  ::CopyFileW(FixturePath().c_str(), copy.c_str(), FALSE);
  const struct { std::wstring File, Name, Box, Installed; } cases[] = {
      {Temp / L"text.zvx", L"X", L"Information: The file \"text.zvx\" is not a valid Zentavo plugin!", L""},
      {copy, L" ", failed, L""}, {copy, L"a\\b", failed, L""}, {copy, L"a\tb", failed, L""},
      {copy, L"Packer  ", L"0 boxes", L"Packer"},
      {Temp.Path() + L"\\P.ZVX", L"Other", L"Information: The \"Packer\" plugin has been installed already!", L"Packer"},
  };
  for (const auto& c : cases) {
    const TBoxAnswerer boxes;
    const TPlugin* plugin = Install(c.File, c.Name);
    EXPECT_EQ(plugin ? plugin->Name : L"", c.Installed) << c.Name;
    EXPECT_EQ(boxes.Said(), c.Box) << c.Name;
  }
  Plugins->UninstallPlugin(InstallCopy(L"B"));
  EXPECT_EQ(InstallCopy(L"C")->Index, 3);
  Settings->WriteString(skPlugins, L"", L"2147483647", L"x.zvx|Max");
  Restart();
  const TBoxAnswerer boxes;
  EXPECT_EQ(InstallCopy(L"D"), nullptr);
  EXPECT_EQ(boxes.Said(), L"Information: The installation of the \"D\" plugin has been failed.");
  EXPECT_EQ(Listed(*Plugins), L"1=" + Temp / L"p.zvx|Packer 3=" + Temp / L"C.zvx|C 2147483647=x.zvx|Max ");
}

// A failed ZV_LoadA is told once (to the error entry with the plug-in's text,
// else in a box) and leaves nothing loaded: no library copy, no reference on
// the plug-in's settings file, which its two loaded entries share.
TEST_F(TRegistry, EntriesShareOneSettingsFileAndFailedLoadsLeaveNothing) {
  const TPlugin* a = InstallCopy(L"A");
  TPluginEntry first = Load(a);
  for (const wchar_t* failure : {L"fail", L"fail:broken"}) {
    ::SetEnvironmentVariableW(L"ZVT_LOAD", failure);
    const TBoxAnswerer boxes;
    EXPECT_FALSE(Load(a));
    EXPECT_EQ(boxes.Said(), Errors.Reports.empty() ? L"Error: Failed to load the \"A\" plugin." : L"0 boxes");
  }
  ASSERT_EQ(Errors.Reports.size(), 1u);
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

  const TBoxAnswerer boxes;
  EXPECT_FALSE(Plugins->LoadPluginByIndex(99, skSettings, L"[99]X"));
  EXPECT_EQ(boxes.Said(), L"0 boxes");
  // Neither the main file nor the library itself becomes a plug-in's settings file.
  for (const wchar_t* file : {L"Zentavo.zvx", L"x.cfg"}) {
    const TPluginEntry entry = Load(InstallCopy(file, file));
    EXPECT_TRUE(entry && !ConfigOpen(entry->Index)) << file;
  }
}

// Stages unload on the host's file thread while the Settings dialog installs,
// uninstalls and writes settings on the user-interface thread; uninstalling
// writes the settings file of an entry still loaded.
TEST_F(TRegistry, UnloadsRaceNeitherInstallsNorSettingsWritesAndUninstallWritesAnOpenSettingsFile) {
  TPlugin* a = InstallCopy(L"A");
  constexpr int kRounds = 500;
  std::atomic<bool> done{false};
  std::thread stages([&] {
    const TBoxAnswerer boxes;
    for (int round = 0; round < kRounds; ++round) Load(a);
    done = true;
  });
  const TBoxAnswerer boxes;
  for (int round = 0; !done; ++round) {
    Plugins->UninstallPlugin(InstallCopy(L"B"));
    Settings->WriteNumber(skSettings, L"[1]A", L"Level", round);
  }
  stages.join();
  EXPECT_EQ(Unloads(), kRounds);
  EXPECT_EQ(Listed(*Plugins), L"1=" + Temp / L"A.zvx|A ");
  EXPECT_FALSE(ConfigOpen(1));
  EXPECT_THAT(ReadCfg(Temp / L"A.cfg"), HasSubstr(L"[Settings]\r\nLevel=number:"));

  TPluginEntry entry = Load(a);
  Settings->WriteNumber(skSettings, L"[1]A", L"Level", -7);
  Plugins->UninstallPlugin(a);
  EXPECT_THAT(ReadCfg(Temp / L"A.cfg"), HasSubstr(L"[Settings]\r\nLevel=number:-7\r\n"));
  entry.reset();
  EXPECT_EQ(Unloads(), kRounds + 1);
}

namespace {
TPluginEntry* LetGo;
HMODULE LetGoModule;
bool MappedAfterLettingGo, UnloadedDuringCall;
// Lets go of the entry from inside its own ZV_Settings, as a dialog left
// usable by the plug-in's window would.
uintptr_t __stdcall LetGoOfTheEntry() {
  LetGo->reset();
  wchar_t name[MAX_PATH];
  MappedAfterLettingGo = ::GetModuleFileNameW(LetGoModule, name, MAX_PATH) != 0;
  UnloadedDuringCall = ::GetEnvironmentVariableW(L"ZVT_UNLOADS", nullptr, 0) != 0;  // counts ZV_Unload
  return ZVS_CHANGED;
}
}  // namespace

// An entry let go of while a call into its plug-in runs keeps its library
// until that call has returned; the next unload finishes it.
TEST_F(TRegistry, AnEntryLetGoOfDuringItsOwnCallKeepsItsLibraryUntilTheCallReturns) {
  const TPlugin* a = InstallCopy(L"A");
  TPluginEntry entry = Load(a);
  TPluginFile& file = *entry->PluginFile;
  TFixtureControl(file).Set(fiSettings, fbCallHost, reinterpret_cast<uintptr_t>(&LetGoOfTheEntry));
  LetGo = &entry;
  LetGoModule = file.Handle();
  EXPECT_EQ(file.Settings(false), uint32_t(ZVS_CHANGED));  // a normal return, not a fault
  EXPECT_TRUE(MappedAfterLettingGo && !UnloadedDuringCall);
  Load(a).reset();
  EXPECT_EQ(Unloads(), 2);
  EXPECT_EQ(::GetModuleHandleW((Temp / L"A.zvx").c_str()), nullptr);
  EXPECT_FALSE(ConfigOpen(a->Index));
}
