#include <gtest/gtest.h>

#include "config/ProfileManager.h"
#include "engine/TransformManager.h"
#include "frontend/ZentavoProcessor.h"
#include "frontend/dialogs/DialogTest.h"

using namespace zv;
using namespace zvtest;

namespace {

void Add(TZentavoProcessorForm& f, const std::wstring& plugin) {
  f.PluginComboBox->SetItemIndex(f.PluginComboBox->IndexOf(plugin));
  f.PluginAddBtn->Click();
}

// Saves the pipe under a name typed into the save box; what the boxes said.
std::wstring SaveAs(TZentavoProcessorForm& f, const std::wstring& typed, std::vector<int> answers = {}) {
  TBoxAnswerer boxes(std::move(answers));
  TGuiDriver driver([typed] {
    HWND box = WaitForWindow(L"Save to profiles");
    SetText(FindChild(box, L"", L"Edit"), typed);
    ClickButton(box, L"OK");
  });
  f.SaveToProfilesBtn->Click();
  driver.Join();
  return boxes.Said();
}

// Clicks that wait in the queue for the modal loop.
void Post(TControl* control) { ::PostMessageW(control->Handle(), BM_CLICK, 0, 0); }

}  // namespace

using TProcessorDialog = TDialogTest;

TEST_F(TProcessorDialog, BlocksMoveInsideTheListAndSettingsEditsKeepOrDropTheCopy) {
  const int unloads = Unloads();
  {
    TZentavoProcessorForm f(Host);
    EXPECT_EQ(ParentWindow, f.Handle());
    TListBox& list = *f.TransformListBox;
    for (const wchar_t* plugin : {L"A", L"B", L"Bare", L"A"}) Add(f, plugin);
    EXPECT_EQ(Items(list), L"A|B|Bare|A*");
    SelectItems(list, {1, 2});
    f.UpperPluginBtn->Click();
    EXPECT_EQ(Items(list), L"B*|Bare*|A|A");
    f.UpperPluginBtn->OnClick();  // past the disabled button: nothing leaves the list
    for (int i = 0; i < 3; ++i) f.LowerPluginBtn->OnClick();
    EXPECT_EQ(Items(list), L"A|A|B*|Bare*");
    EXPECT_TRUE(f.UpperPluginBtn->Enabled() && !f.LowerPluginBtn->Enabled() && !f.PluginSettingsBtn->Enabled());

    SelectItems(list, {0});
    TLoadedPlugin& a = *static_cast<TLoadedPlugin*>(list.Object(0));
    const struct {
      int32_t Answer;
      const wchar_t* ErrorText;
      std::wstring Said, Report, Caption;
      int32_t Edits;
    } edits[] = {
        {ZVS_CANCEL, L"", L"0 boxes", L"", L"A", 0},
        {ZVS_CHANGED, L"", L"0 boxes", L"", L"A [1 edits]", 1},
        {ZVS_ERROR, L"", L"Error: An unknown error occured while editing the settings of the \"A\" plugin.", L"",
         L"A [1 edits]", 1},
        {ZVS_ERROR, L"disk full", L"0 boxes",
         L"The following error occured while editing the settings of the \"A\" plugin: \"disk full\".", L"A [1 edits]", 1},
    };
    for (const auto& e : edits) {
      a.PluginSettings->WriteNumber(L"Answer", e.Answer);
      a.PluginSettings->WriteString(L"ErrorText", e.ErrorText);
      Errors.Reports.clear();
      TBoxAnswerer boxes;
      f.PluginSettingsBtn->Click();
      EXPECT_EQ(boxes.Said(), e.Said);
      EXPECT_EQ(Errors.Reports.empty() ? L"" : Errors.Reports[0].Message, e.Report);
      EXPECT_EQ(list.Item(0) + L" " + std::to_wstring(a.PluginSettings->ReadNumber(L"Edits", 0)),
                e.Caption + L" " + std::to_wstring(e.Edits));
    }
    // A fault inside the plug-in is the guarded call's report; the settings stay.
    TFixtureControl(*a.PluginFile).Set(fiSettings, fbAccessViolation);
    Errors.Reports.clear();
    f.PluginSettingsBtn->Click();
    ASSERT_EQ(Errors.Reports.size(), 1u);
    EXPECT_EQ(Errors.Reports[0].Error.Code * 10 + a.PluginSettings->ReadNumber(L"Edits", 0), 110091u);

    // A double-click opens the settings of an item under the cursor only.
    SelectItems(list, {3});
    for (const LONG dy : {2, 30}) {
      POINT at{5, list.ItemRect(3).top + dy};
      ::ClientToScreen(list.Handle(), &at);
      ::SetCursorPos(at.x, at.y);
      TBoxAnswerer boxes;
      list.OnDblClick();
      EXPECT_EQ(boxes.Said(), dy == 2 ? L"Information: The \"Bare\" plugin doesn't have settings section." : L"0 boxes");
    }
    SelectItems(list, {0, 1});
    f.PluginRemoveBtn->Click();
    EXPECT_EQ(Items(list), L"B|Bare");
    EXPECT_EQ(Unloads(), unloads + 2);
    Post(f.CancelBtn);
    EXPECT_EQ(ShowFormModalCentered(f, Host), mrCancel);
    EXPECT_EQ(Unloads(), unloads + 4);
    EXPECT_EQ(ParentWindow, Host);
  }
  EXPECT_EQ(::GetModuleHandleW((Temp / L"A.zvx").c_str()), nullptr);
  EXPECT_TRUE(ListFiles(Temp.Path(), L"zvx*.tmp").empty()) << "private copies left";
}

TEST_F(TProcessorDialog, ProfileNamesThatDifferInCaseAreOneProfileUnderTheNameSavedLast) {
  const std::wstring longName(1000, L'x');
  {
    TZentavoProcessorForm f(Host);
    Add(f, L"A");
    EXPECT_EQ(SaveAs(f, L"Daily"), L"0 boxes");
    f.PluginRemoveBtn->Click();
    Add(f, L"B");
    const std::wstring question = L"Question: The \"Daily\" profile already exists. Shall i overwrite it?";
    EXPECT_EQ(SaveAs(f, L"daily", {IDNO}), question);
    EXPECT_EQ(Items(*f.ProfilesComboBox), L"Daily");
    EXPECT_EQ(SaveAs(f, L"daily", {IDYES}), question);
    EXPECT_EQ(Items(*f.ProfilesComboBox), L"daily");
    f.PluginRemoveBtn->Click();
    f.LoadProfileBtn->Click();
    EXPECT_EQ(Items(*f.TransformListBox), L"B");

    // A name the store cannot hold is refused; names are trimmed; a blank one does nothing.
    const struct {
      std::wstring Typed, Said, Profiles;
    } names[] = {
        {L"a\\b", L"Error: An error occured while saving the profile.", L"daily"},
        {L" \t Weekly \r\n", L"0 boxes", L"daily|Weekly"},
        {L" \t ", L"0 boxes", L"daily|Weekly"},
        {longName, L"0 boxes", L"daily|Weekly|" + longName},
    };
    for (const auto& n : names) {
      EXPECT_EQ(SaveAs(f, n.Typed), n.Said);
      EXPECT_EQ(Items(*f.ProfilesComboBox), n.Profiles);
    }
    EXPECT_FALSE(Profiles->ProfileExists(L"a\\b") || Profiles->ProfileExists(L"a"));
    f.ProfilesComboBox->SetItemIndex(1);
    for (const int answer : {IDNO, IDYES}) {
      TBoxAnswerer boxes({answer});
      f.DeleteProfileBtn->Click();
      EXPECT_EQ(boxes.Said(), L"Question: Are you sure you want to delete the \"Weekly\" profile?");
    }
    EXPECT_EQ(Items(*f.ProfilesComboBox), L"daily|" + longName);
  }
  // New managers read one profile under the name saved last, with what was saved.
  const int32_t b = B->Index;
  Restart();
  TZentavoProcessorForm f(Host);
  EXPECT_EQ(Items(*f.ProfilesComboBox), L"daily|" + longName);
  f.LoadProfileBtn->Click();
  EXPECT_EQ(Items(*f.TransformListBox), L"B");
  // A profile that cannot be loaded leaves the pipe as it was.
  Plugins->UninstallPlugin(ByIndex(b));
  TBoxAnswerer boxes({IDNO});
  f.LoadProfileBtn->Click();
  ASSERT_EQ(boxes.Boxes.size(), 2u);
  EXPECT_EQ(boxes.Boxes[1].Text, L"Failed to load the \"daily\" profile.");
  EXPECT_EQ(Items(*f.TransformListBox), L"B");
}

// A plug-in's text with a line break: the .cfg file refuses it, so saving a
// profile and storing the pipe each say so; the profile is stored all the
// same but for that text, and the session's list and loads follow the store.
// The registry keeps the text, and both give it back whole after a restart.
TEST_F(TProcessorDialog, ASettingTheStoreRefusesFailsTheSaveWhileTheRegistryKeepsItWhole) {
  const std::wstring note = L"a\r\nb";
  for (const bool inFile : {true, false}) {
    SCOPED_TRACE(inFile ? "file" : "registry");
    if (!inFile) {
      UseStore(false);
      A = InstallCopy(L"A");
      B = InstallCopy(L"B");
    }
    TZentavoProcessorForm f(Host);
    const auto first = [&f] { return static_cast<TLoadedPlugin*>(f.TransformListBox->Object(0)); };
    Add(f, L"B");
    EXPECT_EQ(SaveAs(f, L"Daily"), L"0 boxes");
    f.PluginRemoveBtn->Click();
    Add(f, L"A");
    first()->PluginSettings->WriteString(L"Note", note);
    first()->PluginSettings->WriteNumber(L"Kept", 7);
    EXPECT_EQ(SaveAs(f, L"Lines"), inFile ? L"Error: An error occured while saving the profile." : L"0 boxes");
    EXPECT_EQ(SaveAs(f, L"Daily", {IDYES}),
              inFile ? L"2 boxes" : L"Question: The \"Daily\" profile already exists. Shall i overwrite it?");
    EXPECT_EQ(Items(*f.ProfilesComboBox), L"Daily|Lines");
    EXPECT_TRUE(Profiles->IsPluginUsed(A->Index) && !Profiles->IsPluginUsed(B->Index));
    for (const wchar_t* name : {L"Daily", L"Lines"}) {
      f.PluginRemoveBtn->Click();
      f.ProfilesComboBox->SetItemIndex(f.ProfilesComboBox->IndexOf(name));
      const TBoxAnswerer boxes;
      f.LoadProfileBtn->Click();
      EXPECT_EQ(Items(*f.TransformListBox) + L" " + boxes.Said(), L"A 0 boxes") << name;
      if (f.TransformListBox->Count() != 1) continue;
      TPluginSettings& loaded = *first()->PluginSettings;
      EXPECT_EQ(loaded.ReadString(L"Note").value_or(L"none") + L" " + std::to_wstring(loaded.ReadNumber(L"Kept", 0)),
                (inFile ? L"none" : note) + L" 7")
          << name;
      SelectItems(*f.TransformListBox, {0});
    }
    if (f.TransformListBox->Count() == 0) Add(f, L"A");
    first()->PluginSettings->WriteString(L"Note", note);
    f.StoreTPCheckBox->SetChecked(true);
    const TBoxAnswerer boxes;
    Post(f.CancelBtn);
    ShowFormModalCentered(f, Host);
    EXPECT_EQ(boxes.Said(), inFile ? L"Error: An error occured while storing the Transform Pipe." : L"0 boxes");
  }
  Restart();
  for (const auto& [kind, name] : {std::pair{skProfiles, L"Lines"}, {skTransformPipe, L"Stored"}}) {
    const auto entries = TProfileManager(kind).LoadProfile(name, kind == skTransformPipe);
    ASSERT_TRUE(entries && entries->size() == 1u) << name;
    EXPECT_EQ(entries->front()->PluginSettings->ReadString(L"Note").value_or(L"none"), note);
  }
}

namespace {
TZentavoProcessorForm* Shown;
HWND BoxOwner;
std::wstring PipeAfterBox;
// Help that shows a box over the dialog, which activates the dialog again;
// then the first entry goes and the dialog is cancelled.
void ShowBoxThenCancel(const std::wstring&) {
  BoxOwner = ParentWindow;
  ShowMessageBox(L"Over the dialog", L"Information", MB_OK);
  PipeAfterBox = Items(*Shown->TransformListBox);
  SelectItems(*Shown->TransformListBox, {0});
  Shown->PluginRemoveBtn->Click();
  Post(Shown->CancelBtn);
}

size_t StoredEntries() {
  TProfileManager stored(skTransformPipe);
  return stored.ProfileExists(L"Stored") ? stored.GetProfiles()[0]->Plugins.size() : 0;
}
}  // namespace

// A runner that cannot be made leaves the dialog open with its entries; the
// pipe stored at the close after Start is the one handed over. The stored
// pipe is loaded once per showing and written at every close.
TEST_F(TProcessorDialog, StartHandsTheEntriesInListOrderToTheBatchsRunnerAndEveryCloseStoresThePipe) {
  const int unloads = Unloads();
  {
    TZentavoProcessorForm f(Host);
    f.StoreTPCheckBox->SetChecked(true);
    Add(f, L"A");
    Add(f, L"B");
    f.UpperPluginBtn->Click();
    TLoadedPlugin& a = *static_cast<TLoadedPlugin*>(f.TransformListBox->Object(1));
    std::unique_ptr<TPluginFile> library = std::move(a.PluginFile);
    const TBoxAnswerer boxes;
    f.StartBtn->Click();
    EXPECT_EQ(boxes.Boxes.size() + f.ModalResult() * 10, 1u) << boxes.Said();
    EXPECT_EQ(Items(*f.TransformListBox) + (ActiveRunner() ? L" runner" : L""), L"B*|A");
    a.PluginFile = std::move(library);
    Post(f.StartBtn);
    Post(f.CancelBtn);  // should Start not end the dialog
    EXPECT_EQ(ShowFormModalCentered(f, Host), mrOk);
  }
  TTransformManager* runner = ActiveRunner();
  ASSERT_TRUE(runner && runner->StageCount() == 2);
  EXPECT_EQ(runner->Stage(0).GetName() + runner->Stage(1).GetName(), L"BA");
  EXPECT_EQ(Unloads(), unloads);
  EXPECT_EQ(StoredEntries(), 2u);
  delete runner;
  EXPECT_EQ(Unloads(), unloads + 2);
  {
    TZentavoProcessorForm f(Host);
    Shown = &f;
    HelpViewer = &ShowBoxThenCancel;
    const TBoxAnswerer boxes;
    Post(f.HelpBtn);
    EXPECT_EQ(ShowFormModalCentered(f, Host), mrCancel);
    EXPECT_EQ(PipeAfterBox, L"B|A");
    EXPECT_EQ(BoxOwner, f.Handle());
  }
  EXPECT_EQ(StoredEntries(), 1u);
  // Unticked at the first activation: ticking the box later and closing a box
  // over the dialog (a new activation) loads nothing.
  Settings->SetStoreTransformPipe(false);
  {
    TZentavoProcessorForm f(Host);
    Shown = &f;
    const TBoxAnswerer boxes;
    Post(f.StoreTPCheckBox);
    Post(f.HelpBtn);
    EXPECT_EQ(ShowFormModalCentered(f, Host), mrCancel);
    EXPECT_EQ(PipeAfterBox, L"");
  }
  {
    TZentavoProcessorForm f(Host);
    Post(f.StoreTPCheckBox);
    Post(f.CancelBtn);
    ShowFormModalCentered(f, Host);
  }
  EXPECT_FALSE(StoredEntries() || Settings->GetStoreTransformPipe());
  EXPECT_EQ(Unloads(), unloads + 4);
}

// A plug-in's settings box without an owner leaves the dialog without input,
// as an owned box would: real clicks on Remove, Load and Cancel do nothing to
// the entry; after the box the dialog is the foreground window again, focused,
// also past another application's window on screen, and Start works. So it is
// after a box the plug-in shows while the stored pipe loads.
TEST_F(TProcessorDialog, APluginsOwnWindowLeavesTheDialogWithoutInputUntilItCloses) {
  {
    const TPluginEntry b = Load(B);
    Profiles->SaveProfile(L"Daily", {b.get()});
    TProfileManager(skTransformPipe).SaveProfile(L"Stored", {b.get()});
  }
  Settings->SetStoreTransformPipe(true);
  const int unloads = Unloads();
  ::SetEnvironmentVariableW(L"ZVT_OWN_BOX", L"Own window");
  TZentavoProcessorForm f(Host);
  Add(f, L"A");
  ::SetEnvironmentVariableW(L"ZVT_OWN_BOX_IN_LOAD", L"1");
  const TOtherApplicationWindow other;
  const HWND form = f.Handle(), settings = f.PluginSettingsBtn->Handle(), start = f.StartBtn->Handle();
  const int result = ShowDriven(f, [&] {
    MouseClick(WaitForOwnBoxButton());
    ::SetEnvironmentVariableW(L"ZVT_OWN_BOX_IN_LOAD", nullptr);
    WaitUntil([&] { return TakesInputAgain(form); }, "the dialog after the stored pipe");
    Click(settings);
    const HWND ok = WaitForOwnBoxButton();
    for (const TButton* button : {f.PluginRemoveBtn, f.LoadProfileBtn, f.CancelBtn}) MouseClick(button->Handle());
    MouseClick(ok);  // taken after the clicks before it
    WaitUntil([&] { return !::IsWindow(ok) && TakesInputAgain(form); }, "the dialog back");
    MouseClick(start);
  });
  EXPECT_EQ(Unloads(L"ZVT_UNLOADS_IN_BOX"), 0);
  ASSERT_EQ(result, mrOk);
  std::unique_ptr<TTransformManager> runner(ActiveRunner());
  ASSERT_TRUE(runner && runner->StageCount() == 2);
  EXPECT_EQ(runner->Stage(0).GetName() + runner->Stage(1).GetName(), L"AB");
  runner.reset();
  EXPECT_EQ(Unloads() - unloads, 2);
}
