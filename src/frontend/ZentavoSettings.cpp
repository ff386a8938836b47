#include "frontend/ZentavoSettings.h"

#include <algorithm>

#include "ResourceIds.h"
#include "config/ProfileManager.h"
#include "config/SettingsManager.h"
#include "frontend/BatchState.h"
#include "frontend/TCUtilities.h"
#include "frontend/ZentavoAbout.h"
#include "platform/PngImage.h"
#include "platform/TextConv.h"
#include "plugins/PluginManager.h"
#include "plugins/PluginSettings.h"
#include "services/ErrorEntry.h"
#include "services/ServiceManager.h"

namespace zv {

namespace {

constexpr short MinInterval = 1;
constexpr short MaxInterval = 32767;

TPlugin* PluginOf(const TListBox& list, int index) { return static_cast<TPlugin*>(list.Object(index)); }

// The plug-in's changed settings become its stored defaults; a store that
// fails, or refuses a value, is told with the reason.
void SaveDefaults(HWND owner, const TLoadedPlugin& entry, const std::wstring& key) {
  std::wstring reason;
  try {
    if (entry.PluginSettings->Save(skSettings, key)) return;
    reason = L"The settings store refused a value.";
  } catch (...) {
    reason = CurrentExceptionMessage();
  }
  ShowMessageBoxOwned(owner,
                      L"An error occured while saving the settings of the " + Quoted(entry.Name) + L" plugin: " + reason,
                      L"Error", MB_ICONERROR);
}

}  // namespace

void ShowNoSettingsBox(HWND owner, const std::wstring& name) {
  ShowMessageBoxOwned(owner, L"The " + Quoted(name) + L" plugin doesn't have settings section.", L"Information",
                      MB_ICONINFORMATION);
}

void ReportSettingsError(HWND owner, TPluginFile& file, const std::wstring& name) {
  const TErrorStruct error = file.GetLastError();
  if (error.Text.empty()) {
    ShowMessageBoxOwned(owner, L"An unknown error occured while editing the settings of the " + Quoted(name) + L" plugin.",
                        L"Error", MB_ICONERROR);
    return;
  }
  if (IErrorEntry* entry = GlobalErrorEntry)
    entry->ReportError(&file,
                       L"The following error occured while editing the settings of the " + Quoted(name) +
                           L" plugin: " + Quoted(error.Text) + L".",
                       error);
}

void RestoreParentWindow(HWND dialog) {
  HWND expected = dialog;
  ParentWindow.compare_exchange_strong(expected, HostMainWindow);
}

TZentavoSettingsForm::TZentavoSettingsForm(HWND owner)
    : TForm(owner, {L"Zentavo Settings", 444, 406, TBorderStyle::Dialog, biSystemMenu | biHelp}) {
  SetHelpKeyword(SettingsTopic);
  PageControl1 = Add<TPageControl>(TBounds{8, 8, 427, 353});
  TabSheet1 = PageControl1->AddPage(L"Plugins");
  TabSheet2 = PageControl1->AddPage(L"Settings");
  CreatePluginsPage();
  CreateSettingsPage();
  PageControl1->SetActivePageIndex(0);

  AboutBtn = Add<TButton>(TBounds{8, 373, 75, 25}, L"About...");
  AboutBtn->OnClick = EventHandler(this, &TZentavoSettingsForm::AboutBtnClick);
  HelpBtn = Add<TButton>(TBounds{89, 373, 75, 25}, L"Help");
  HelpBtn->OnClick = EventHandler(this, &TZentavoSettingsForm::HelpBtnClick);
  DonateBtn = Add<TImage>(TBounds{170, 367, 62, 31}, LoadPngBitmap(ThisModule(), MAKEINTRESOURCEW(IDR_PNG_DONATE)));
  DonateBtn->SetHandCursor(true);
  DonateBtn->OnClick = EventHandler(this, &TZentavoSettingsForm::DonateBtnClick);
  SaveCloseBtn = Add<TButton>(TBounds{335, 372, 100, 25}, L"Save && Close");
  SaveCloseBtn->SetDefault(true);
  SaveCloseBtn->SetCancel(true);
  SaveCloseBtn->SetModalResult(mrOk);
  SaveCloseBtn->OnClick = EventHandler(this, &TZentavoSettingsForm::SaveCloseBtnClick);
  SetActiveControl(SaveCloseBtn);

  PluginOpenDialog.Title = L"Install Zentavo plugin(s)";
  PluginOpenDialog.Filter = L"Zentavo plugin(s) (*.zvx; *.dll)|*.zvx;*.dll";
  PluginOpenDialog.DefaultExt = L"zvx";
  PluginOpenDialog.MultiSelect = true;
  FormCreate();
}

void TZentavoSettingsForm::CreatePluginsPage() {
  GroupBox3 = TabSheet1->Add<TGroupBox>(TBounds{8, 8, 404, 305}, L" Installed Zentavo plugins ");
  PluginListBox = GroupBox3->Add<TListBox>(TBounds{11, 24, 380, 193}, TListBox::TOptions{true, true, 0});
  PluginListBox->OnClick = EventHandler(this, &TZentavoSettingsForm::PluginListBoxClick);
  PluginListBox->OnDblClick = EventHandler(this, &TZentavoSettingsForm::PluginListBoxDblClick);
  const struct {
    TButton*& Button;
    TBounds Bounds;
    const wchar_t* Caption;
    void (TZentavoSettingsForm::*Click)();
  } buttons[] = {
      {PluginAboutBtn, {11, 223, 75, 25}, L"About...", &TZentavoSettingsForm::PluginAboutBtnClick},
      {PluginSettingsBtn, {92, 223, 75, 25}, L"Settings...", &TZentavoSettingsForm::PluginSettingsBtnClick},
      {PluginInstallBtn, {235, 223, 75, 25}, L"Install...", &TZentavoSettingsForm::PluginInstallBtnClick},
      {PluginRemoveBtn, {316, 223, 75, 25}, L"Remove", &TZentavoSettingsForm::PluginRemoveBtnClick},
  };
  for (const auto& b : buttons) {
    b.Button = GroupBox3->Add<TButton>(b.Bounds, b.Caption);
    b.Button->OnClick = EventHandler(this, b.Click);
  }
  UpdatePluginButtons(true);
  GetSDKLinkLabel = GroupBox3->Add<TLinkLabel>(
      TBounds{11, 256, 0, 0}, L"Would you like to create an own plugin? Click here to open the Plugin SDK page!");
  GetSDKLinkLabel->OnClick = EventHandler(this, &TZentavoSettingsForm::GetSDKLinkLabelClick);
  GetPluginsLinkLabel = GroupBox3->Add<TLinkLabel>(TBounds{218, 275, 0, 0}, L"Get Zentavo plugins!");
  GetPluginsLinkLabel->OnClick = EventHandler(this, &TZentavoSettingsForm::GetPluginsLinkLabelClick);
}

void TZentavoSettingsForm::CreateSettingsPage() {
  GroupBox1 = TabSheet2->Add<TGroupBox>(TBounds{8, 8, 404, 57}, L" Temporary files  ");
  TempFolderEdit = GroupBox1->Add<TEdit>(TBounds{10, 24, 300, 21}, L"", TAlignment::Left, true);
  TempBrowseBtn = GroupBox1->Add<TButton>(TBounds{316, 24, 75, 21}, L"Browse...");
  TempBrowseBtn->OnClick = EventHandler(this, &TZentavoSettingsForm::TempBrowseBtnClick);

  GroupBox2 = TabSheet2->Add<TGroupBox>(TBounds{8, 71, 403, 90}, L" Memory usage ");
  MemUsageCheckBox = GroupBox2->Add<TCheckBox>(TBounds{11, 23, 0, 17}, L"Use free physical memory for transformations");
  MemUsageCheckBox->OnClick = EventHandler(this, &TZentavoSettingsForm::MemUsageCheckBoxClick);
  MemUsageTrackBar = GroupBox2->Add<TTrackBar>(TBounds{3, 46, 364, 30}, 10, 90, 75, 5);
  MemUsageTrackBar->OnChange = EventHandler(this, &TZentavoSettingsForm::MemUsageTrackBarChange);
  MemUsageLabel = GroupBox2->Add<TLabel>(TBounds{368, 48, 23, 17}, L"75%", false, TAlignment::Right);

  GroupBox4 = TabSheet2->Add<TGroupBox>(TBounds{8, 167, 403, 90}, L" Updates ");
  CheckForUpdatesCheckBox = GroupBox4->Add<TCheckBox>(TBounds{11, 25, 0, 17}, L"Check for updates");
  CheckForUpdatesCheckBox->OnClick = EventHandler(this, &TZentavoSettingsForm::CheckForUpdatesCheckBoxClick);
  CheckingIntervalLabel = GroupBox4->Add<TLabel>(TBounds{11, 56, 0, 0}, L"Checking interval (in days):");
  CheckingIntervalEdit = GroupBox4->Add<TEdit>(TBounds{148, 53, 125, 21}, L"7", TAlignment::Right);
  CheckingIntervalEdit->OnExit = EventHandler(this, &TZentavoSettingsForm::CheckingIntervalEditExit);
  CheckingIntervalUpDown =
      GroupBox4->Add<TUpDown>(TBounds{273, 53, 0, 0}, CheckingIntervalEdit, MinInterval, MaxInterval, short(7));
  CheckNowBtn = GroupBox4->Add<TButton>(TBounds{303, 53, 88, 21}, L"Check now...");
  CheckNowBtn->OnClick = EventHandler(this, &TZentavoSettingsForm::CheckNowBtnClick);

  GroupBox5 = TabSheet2->Add<TGroupBox>(TBounds{8, 263, 403, 50}, L" Error reporting ");
  NotifyErrorCheckBox = GroupBox5->Add<TCheckBox>(
      TBounds{11, 24, 0, 17}, L"Notify the author(s) of the plugin automatically when an error occures");
}

TZentavoSettingsForm::~TZentavoSettingsForm() { RestoreParentWindow(Handle()); }

void TZentavoSettingsForm::FormCreate() {
  TSettingsManager& options = Global(GlobalSettingsManager);
  TempFolderEdit->SetText(options.GetTempFolder());
  MemUsageCheckBox->SetChecked(options.GetMemEnabled());
  MemUsageTrackBar->SetPosition(options.GetMemUsage());  // the track bar keeps it within 10..90
  MemUsageCheckBoxClick();
  MemUsageTrackBarChange();
  CheckForUpdatesCheckBox->SetChecked(options.GetCheckForUpdates());
  CheckingIntervalUpDown->SetPosition(
      static_cast<short>(std::clamp<int32_t>(options.GetCheckUpdateInterval(), MinInterval, MaxInterval)));
  CheckForUpdatesCheckBoxClick();
  NotifyErrorCheckBox->SetChecked(options.GetNotifyError());
  for (TPlugin* plugin : Global(GlobalPluginManager).GetPlugins()) PluginListBox->AddItem(plugin->Name, plugin);
  // Boxes of other parts shown while the dialog is open (installation, error
  // reports) are owned by it.
  ParentWindow = Handle();
}

void TZentavoSettingsForm::FormClose(TCloseAction& action) {
  GuardBoundary([] { Global(GlobalSettingsManager).Flush(); });
  RestoreParentWindow(Handle());
}

bool TZentavoSettingsForm::FormHelp(UINT command, ULONG_PTR data, bool& callHelp) {
  if (command == HelpCommandKeyword) HelpBtnClick();
  callHelp = false;
  return true;
}

void TZentavoSettingsForm::UpdatePluginButtons(bool oneForAboutAndSettings) {
  const int selected = PluginListBox->SelCount();
  PluginRemoveBtn->SetEnabled(selected > 0);
  const bool single = oneForAboutAndSettings ? selected == 1 : selected > 0;
  PluginAboutBtn->SetEnabled(single);
  PluginSettingsBtn->SetEnabled(single);
}

void TZentavoSettingsForm::PluginListBoxClick() { UpdatePluginButtons(true); }

void TZentavoSettingsForm::PluginListBoxDblClick() {
  if (PluginListBox->ItemAtCursor() >= 0) PluginSettingsBtnClick();
}

void TZentavoSettingsForm::PluginInstallBtnClick() {
  if (!PluginOpenDialog.Execute(Handle())) return;
  const TFormDisabler busy(*this);  // each plug-in runs ZV_InstallA
  TPluginManager& plugins = Global(GlobalPluginManager);
  for (const std::wstring& file : PluginOpenDialog.Files()) {
    TPlugin* plugin = plugins.InstallPlugin(Handle(), file);
    if (plugin && PluginListBox->IndexOfObject(plugin) < 0) PluginListBox->AddItem(plugin->Name, plugin);
  }
}

void TZentavoSettingsForm::PluginRemoveBtnClick() {
  if (PluginListBox->SelCount() == 0) return;
  TProfileManager& profiles = Global(GlobalProfileManager);
  TProfileManager storedPipe(skTransformPipe);
  const bool storedExists = storedPipe.ProfileExists(L"Stored");
  for (int i = PluginListBox->Count() - 1; i >= 0; --i) {
    if (!PluginListBox->Selected(i)) continue;
    TPlugin* plugin = PluginOf(*PluginListBox, i);
    const bool usedInProfiles = profiles.IsPluginUsed(plugin->Index);
    const bool usedInStored = storedExists && storedPipe.IsPluginUsed(plugin->Index);
    if ((usedInProfiles || usedInStored) &&
        ShowMessageBoxOwned(Handle(),
                            L"The " + Quoted(plugin->Name) +
                                L" plugin already exists in one or more profile(s) and/or in the stored Transform "
                                L"Pipe. If you delete it then it will be deleted from the profile(s) and/or from the "
                                L"stored Transform Pipe too. Are you sure you want to do this?",
                            L"Question", MB_YESNO | MB_ICONQUESTION) != IDYES)
      continue;
    if (usedInProfiles) profiles.RemovePluginFromProfiles(plugin->Index);
    if (usedInStored) storedPipe.RemovePluginFromProfiles(plugin->Index);
    Global(GlobalPluginManager).UninstallPlugin(plugin);
    PluginListBox->Delete(i);
  }
  UpdatePluginButtons(false);
}

void TZentavoSettingsForm::PluginAboutBtnClick() {
  const int index = PluginListBox->ItemIndex();
  if (index < 0) return;
  // From loading to unloading the plug-in runs and may show windows of its
  // own: the dialog takes no input meanwhile (no Remove, no close).
  const TFormDisabler busy(*this);
  const TPlugin& plugin = *PluginOf(*PluginListBox, index);
  const TPluginEntry entry =
      Global(GlobalPluginManager).LoadPlugin(plugin, skSettings, TPluginManager::GetPluginKeyName(plugin));
  if (!entry) return;  // loading has told the user
  if (entry->PluginFile->HasAbout())
    entry->PluginFile->About();
  else
    ShowMessageBoxOwned(Handle(), L"The " + Quoted(entry->Name) + L" plugin doesn't have about section.",
                        L"Information", MB_ICONINFORMATION);
}

void TZentavoSettingsForm::PluginSettingsBtnClick() {
  const int index = PluginListBox->ItemIndex();
  if (index < 0) return;
  const TFormDisabler busy(*this);  // as for About
  const TPlugin& plugin = *PluginOf(*PluginListBox, index);
  const std::wstring key = TPluginManager::GetPluginKeyName(plugin);
  const TPluginEntry entry = Global(GlobalPluginManager).LoadPlugin(plugin, skSettings, key);
  if (!entry) return;
  TPluginFile& file = *entry->PluginFile;
  if (!file.HasSettings()) {
    ShowNoSettingsBox(Handle(), entry->Name);
    return;
  }
  switch (file.Settings(true)) {
    case ZVS_CHANGED:
      SaveDefaults(Handle(), *entry, key);
      break;
    case ZVS_ERROR:
      ReportSettingsError(Handle(), file, entry->Name);
      break;
    default:
      break;
  }
}

void TZentavoSettingsForm::TempBrowseBtnClick() {
  std::wstring folder = TempFolderEdit->Text();
  if (!SelectFolder(Handle(), L"Select a folder for temporary files", folder)) return;
  TempFolderEdit->SetText(folder);
  Global(GlobalSettingsManager).SetTempFolder(folder);
}

void TZentavoSettingsForm::MemUsageCheckBoxClick() {
  MemUsageTrackBar->SetEnabled(MemUsageCheckBox->Checked());
  MemUsageLabel->SetEnabled(MemUsageCheckBox->Checked());
}

void TZentavoSettingsForm::MemUsageTrackBarChange() {
  MemUsageLabel->SetCaption(std::to_wstring(MemUsageTrackBar->Position()) + L"%");
}

void TZentavoSettingsForm::CheckForUpdatesCheckBoxClick() {
  const bool enabled = CheckForUpdatesCheckBox->Checked();
  CheckingIntervalUpDown->SetEnabled(enabled);
  CheckingIntervalEdit->SetEnabled(enabled);
  CheckingIntervalLabel->SetEnabled(enabled);
}

// The up-down takes a valid text as its position and keeps its last valid
// position for any other; leaving the edit shows that position again.
void TZentavoSettingsForm::CheckingIntervalEditExit() {
  CheckingIntervalUpDown->SetPosition(CheckingIntervalUpDown->Position());
}

void TZentavoSettingsForm::CheckNowBtnClick() { Global(GlobalServiceManager).CheckForUpdates(true); }

void TZentavoSettingsForm::SaveCloseBtnClick() {
  TSettingsManager& options = Global(GlobalSettingsManager);
  options.SetMemEnabled(MemUsageCheckBox->Checked());
  options.SetMemUsage(MemUsageTrackBar->Position());
  options.SetCheckForUpdates(CheckForUpdatesCheckBox->Checked());
  options.SetCheckUpdateInterval(std::clamp<short>(CheckingIntervalUpDown->Position(), MinInterval, MaxInterval));
  options.SetNotifyError(NotifyErrorCheckBox->Checked());
}

void TZentavoSettingsForm::AboutBtnClick() { ShowModalCentered<TZentavoAboutForm>(Handle()); }

void TZentavoSettingsForm::HelpBtnClick() { ShowHelp(SettingsTopic); }

void TZentavoSettingsForm::DonateBtnClick() { OpenWebPage.load()(DonationPageAddress()); }

void TZentavoSettingsForm::GetPluginsLinkLabelClick() { OpenWebPage.load()(ProductWebPage(PluginsPage)); }

void TZentavoSettingsForm::GetSDKLinkLabelClick() { OpenWebPage.load()(ProductWebPage(DevToolsPage)); }

}  // namespace zv
