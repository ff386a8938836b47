#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "frontend/ZentavoSettings.h"
#include "frontend/dialogs/DialogTest.h"
#include "services/ServiceFakes.h"
#include "services/ServiceManager.h"

using namespace zv;
using namespace zvtest;

using TSettingsDialog = TDialogTest;

// Stored values out of range are shown and written back clamped; a typed
// interval that is no position in 1..32767 gives way to the last valid one.
TEST_F(TSettingsDialog, OptionsAreShownWithinTheirRangesAndWrittenOnlyBySaveAndClose) {
  const struct {
    int32_t MemUsage, Interval;
    const wchar_t* Typed;
    std::wstring Label, Shown;
    int32_t WrittenUsage, WrittenInterval;
  } rows[] = {
      {5, -1, L"", L"10%", L"1", 10, 1},       {200, 99999, L"abc", L"90%", L"32767", 90, 32767},
      {-1, 7, L"0", L"10%", L"7", 10, 7},      {50, 7, L"-5", L"50%", L"7", 50, 7},
      {75, 7, L"99999", L"75%", L"7", 75, 7},  {75, 7, L"12", L"75%", L"12", 75, 12},
  };
  for (const auto& r : rows) {
    Settings->SetMemUsage(r.MemUsage);
    Settings->SetCheckUpdateInterval(r.Interval);
    TZentavoSettingsForm f(Host);
    EXPECT_EQ(f.MemUsageLabel->Caption(), r.Label);
    if (*r.Typed) SetText(f.CheckingIntervalEdit->Handle(), r.Typed);
    f.CheckingIntervalEdit->OnExit();
    EXPECT_EQ(f.CheckingIntervalEdit->Text(), r.Shown) << r.Typed;
    f.SaveCloseBtn->Click();
    EXPECT_EQ(Settings->GetMemUsage() * 100000 + Settings->GetCheckUpdateInterval(),
              r.WrittenUsage * 100000 + r.WrittenInterval) << r.Typed;
  }
  // Browse writes the chosen folder at once, whatever closes the dialog later; Cancel writes nothing.
  Settings->DeleteValue(skSettings, L"", L"TempFolder");
  TZentavoSettingsForm f(Host);
  for (const int button : {IDCANCEL, IDOK}) {
    bool titled = false;
    TGuiDriver driver([&] {
      HWND dialog = WaitForMessageBox();
      titled = FindChild(dialog, L"Select a folder for temporary files") != nullptr;
      HWND tree = FindChild(dialog, L"", L"SysTreeView32");
      WaitUntil([&] { return ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) != 0; }, "a folder", 60000);
      PressButtonId(dialog, button);
    }, 60000);
    f.TempBrowseBtn->Click();
    driver.Join();
    EXPECT_TRUE(titled);
    EXPECT_EQ(Settings->GetValueType(skSettings, L"", L"TempFolder") != svNone, button == IDOK);
  }
  const DWORD chosen = ::GetFileAttributesW(f.TempFolderEdit->Text().c_str());
  EXPECT_TRUE(chosen != INVALID_FILE_ATTRIBUTES && (chosen & FILE_ATTRIBUTE_DIRECTORY)) << "a folder of the disk";
  EXPECT_EQ(Settings->GetTempFolder(), f.TempFolderEdit->Text());

  // Check now starts an update check that tells the user every outcome, with no automatic check besides.
  Settings->SetCheckForUpdates(false);
  const TFakeWorkers workers;
  TServiceManager services;
  GlobalServiceManager = &services;
  f.CheckNowBtn->Click();
  EXPECT_TRUE(PumpUntil([&] { return !workers.ShownResults.empty(); }));
  EXPECT_EQ(workers.ShownResults, std::vector<bool>{true});
  GlobalServiceManager = nullptr;
}

// Changed defaults with a text the plug-in's own .cfg file refuses (a line
// break) are not taken for saved.
TEST_F(TSettingsDialog, ChangedDefaultsTheStoreRefusesAreReported) {
  {
    const TPluginEntry entry = Load(A);
    entry->PluginSettings->WriteNumber(L"Answer", ZVS_CHANGED);
    ASSERT_TRUE(entry->PluginSettings->Save(skSettings, TPluginManager::GetPluginKeyName(*A)));
  }
  TZentavoSettingsForm f(Host);
  SelectItems(*f.PluginListBox, {0});
  ::SetEnvironmentVariableW(L"ZVT_SETTINGS_NOTE", L"a\r\nb");
  const TBoxAnswerer boxes;
  f.PluginSettingsBtn->Click();
  ::SetEnvironmentVariableW(L"ZVT_SETTINGS_NOTE", nullptr);
  EXPECT_EQ(boxes.Said(), L"Error: An error occured while saving the settings of the \"A\" plugin: The settings store "
                          L"refused a value.");
}

TEST_F(TSettingsDialog, PluginsAreLoadedForOneClickAndRemovedFromTheProfilesThatUseThem) {
  TZentavoSettingsForm f(Host);
  TListBox& list = *f.PluginListBox;  // A, B, Bare
  const auto enabled = [&] {
    return std::to_wstring(f.PluginAboutBtn->Enabled()) + std::to_wstring(f.PluginSettingsBtn->Enabled()) +
           std::to_wstring(f.PluginRemoveBtn->Enabled());
  };
  const auto defaults = [&](const wchar_t* id, TSettingValue value) {  // as ZV_Settings leaves them
    TPluginEntry entry = Load(A);
    entry->PluginSettings->Write(id, std::move(value));
    EXPECT_TRUE(entry->PluginSettings->Save(skSettings, TPluginManager::GetPluginKeyName(*A)));
    return entry->PluginSettings->ReadNumber(L"Edits", 0);
  };
  SelectItems(list, {0, 1});
  EXPECT_EQ(enabled(), L"001");
  SelectItems(list, {0});
  EXPECT_EQ(enabled(), L"111");

  // About and Settings each load the plug-in once and unload it again;
  // changed settings become its stored defaults, failed ones do not.
  defaults(L"Answer", int32_t(ZVS_CHANGED));
  int unloads = Unloads(), abouts = Unloads(L"ZVT_ABOUTS");
  f.PluginAboutBtn->Click();
  f.PluginSettingsBtn->Click();
  EXPECT_EQ(Unloads(L"ZVT_ABOUTS") - abouts + Unloads() - unloads, 3);
  defaults(L"Answer", int32_t(ZVS_ERROR));
  EXPECT_EQ(defaults(L"ErrorText", std::wstring(L"no disk")), 1);
  Errors.Reports.clear();
  f.PluginSettingsBtn->Click();  // its report is the Processor dialog's case
  EXPECT_EQ(Errors.Reports.size(), 1u);
  EXPECT_EQ(defaults(L"Answer", int32_t(ZVS_CANCEL)), 1);
  SelectItems(list, {2});
  unloads = Unloads();
  {
    TBoxAnswerer boxes;
    f.PluginAboutBtn->Click();  // its missing settings are the Processor dialog's case
    EXPECT_EQ(boxes.Said(), L"Information: The \"Bare\" plugin doesn't have about section.");
  }
  EXPECT_EQ(Unloads(), unloads + 1);

  // Installing C and A again adds C only.
  ::CopyFileW(FixturePath().c_str(), (Temp / L"C.zvx").c_str(), FALSE);
  ::SetEnvironmentVariableW(L"ZVT_INSTALL_NAME", L"C");
  f.PluginOpenDialog.InitialDir = Temp.Path();
  std::wstring said;
  TGuiDriver choose([&said] {
    ChooseFiles(L"Install Zentavo plugin(s)", L"\"C.zvx\" \"A.zvx\"");
    HWND info = WaitForMessageBox(L"Information");
    said = MessageBoxText(info);
    PressButtonId(info, IDOK);
  }, 60000);
  f.PluginInstallBtn->Click();
  choose.Join();
  EXPECT_EQ(said, L"The \"A\" plugin has been installed already!");
  EXPECT_EQ(list.Item(0) + list.Item(1) + list.Item(2) + list.Item(3), L"ABBareC");

  // Removing three used plug-ins, answering No for two: those stay selected.
  {
    std::vector<TPluginEntry> entries;
    std::vector<const TLoadedPlugin*> pipe;
    for (const TPlugin* plugin : {A, B, Bare}) pipe.push_back(entries.emplace_back(Load(plugin)).get());
    Profiles->SaveProfile(L"Daily", pipe);
    TProfileManager(skTransformPipe).SaveProfile(L"Stored", {pipe[0]});
  }
  const int32_t a = A->Index;
  SelectItems(list, {0, 1, 2});
  TBoxAnswerer boxes({IDNO, IDNO, IDYES});
  f.PluginRemoveBtn->Click();
  ASSERT_EQ(boxes.Boxes.size(), 3u);
  EXPECT_EQ(boxes.Boxes[2].Text,
            L"The \"A\" plugin already exists in one or more profile(s) and/or in the stored Transform Pipe. If you "
            L"delete it then it will be deleted from the profile(s) and/or from the stored Transform Pipe too. Are "
            L"you sure you want to do this?");
  EXPECT_EQ(Items(list), L"B*|Bare*|C");
  EXPECT_EQ(enabled(), L"111");
  list.OnClick();
  EXPECT_EQ(enabled(), L"001");
  EXPECT_FALSE(Profiles->IsPluginUsed(a) || TProfileManager(skTransformPipe).ProfileExists(L"Stored"));
}

// While a plug-in's about or settings box without an owner is up, real clicks
// on Remove and "Save && Close" do nothing; after it the dialog works again,
// the foreground window past another application's window on screen.
TEST_F(TSettingsDialog, APluginsOwnWindowLeavesTheDialogWithoutInputUntilItCloses) {
  const int unloads = Unloads();
  ::SetEnvironmentVariableW(L"ZVT_OWN_BOX", L"Own window");
  const TOtherApplicationWindow other;
  TZentavoSettingsForm f(Host);
  SelectItems(*f.PluginListBox, {0});
  const HWND form = f.Handle(), remove = f.PluginRemoveBtn->Handle(), close = f.SaveCloseBtn->Handle();
  const int result = ShowDriven(f, [&] {
    for (const TButton* button : {f.PluginAboutBtn, f.PluginSettingsBtn}) {
      WaitUntil([&] { return TakesInputAgain(form); }, "the dialog");
      Click(button->Handle());
      const HWND ok = WaitForOwnBoxButton();
      MouseClick(remove);
      MouseClick(close);
      MouseClick(ok);  // taken after the clicks before it
      WaitUntil([&] { return !::IsWindow(ok) && TakesInputAgain(form); }, "the dialog back");
    }
    MouseClick(close);
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(Items(*f.PluginListBox), L"A*|B|Bare");
  EXPECT_EQ(Unloads() - unloads, 2);
  EXPECT_EQ(Unloads(L"ZVT_UNLOADS_IN_BOX"), 0);
}
