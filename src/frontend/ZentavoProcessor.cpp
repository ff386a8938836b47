#include "frontend/ZentavoProcessor.h"

#include <algorithm>
#include <cwctype>

#include "ResourceIds.h"
#include "config/ProfileManager.h"
#include "config/SettingsManager.h"
#include "engine/TransformManager.h"
#include "frontend/TCUtilities.h"
#include "frontend/ZentavoSettings.h"
#include "platform/Dialogs.h"
#include "platform/PngImage.h"
#include "platform/TextConv.h"
#include "plugins/PluginSettings.h"

namespace zv {

namespace {

const wchar_t StoredPipeName[] = L"Stored";

HBITMAP Picture(int id) { return LoadPngBitmap(ThisModule(), MAKEINTRESOURCEW(id)); }

// A profile name as typed, without blanks and control characters around it.
std::wstring TrimName(const std::wstring& text) {
  const auto blank = [](wchar_t c) { return c <= L' ' || std::iswcntrl(c); };
  const auto first = std::find_if_not(text.begin(), text.end(), blank);
  const auto last = std::find_if_not(text.rbegin(), std::make_reverse_iterator(first), blank).base();
  return std::wstring(first, last);
}

}  // namespace

std::wstring EntryCaption(TLoadedPlugin& entry) {
  TPluginFile* file = entry.PluginFile.get();
  const std::wstring info = file && file->HasSettingsInfo() ? file->GetSettingsInfo() : std::wstring();
  return info.empty() ? entry.Name : entry.Name + L" [" + info + L"]";
}

TZentavoProcessorForm::TZentavoProcessorForm(HWND owner)
    : TForm(owner, {L"Zentavo Processor", 425, 417, TBorderStyle::Dialog, biSystemMenu | biHelp}) {
  SetHelpKeyword(TransformationsTopic);
  CreateProfilesGroup();
  CreatePipeGroup();
  HelpBtn = Add<TButton>(TBounds{8, 384, 75, 25}, L"Help");
  HelpBtn->OnClick = EventHandler(this, &TZentavoProcessorForm::HelpBtnClick);
  DonateBtn = Add<TImage>(TBounds{89, 378, 62, 31}, Picture(IDR_PNG_DONATE));
  DonateBtn->SetHandCursor(true);
  DonateBtn->OnClick = EventHandler(this, &TZentavoProcessorForm::DonateBtnClick);
  StartBtn = Add<TButton>(TBounds{257, 384, 75, 25}, L"Start");
  StartBtn->SetDefault(true);
  StartBtn->SetModalResult(mrOk);
  StartBtn->OnClick = EventHandler(this, &TZentavoProcessorForm::StartBtnClick);
  CancelBtn = Add<TButton>(TBounds{338, 384, 75, 25}, L"Cancel");
  CancelBtn->SetCancel(true);
  CancelBtn->SetModalResult(mrCancel);
  SetActiveControl(PluginComboBox);
  FormCreate();
}

void TZentavoProcessorForm::CreateProfilesGroup() {
  GroupBox1 = Add<TGroupBox>(TBounds{10, 10, 403, 86}, L" Profiles ");
  ProfilesComboBox = GroupBox1->Add<TComboBox>(TBounds{10, 25, 380, 21}, true);
  DeleteProfileBtn = GroupBox1->Add<TButton>(TBounds{234, 52, 75, 25}, L"Delete");
  DeleteProfileBtn->OnClick = EventHandler(this, &TZentavoProcessorForm::DeleteProfileBtnClick);
  LoadProfileBtn = GroupBox1->Add<TButton>(TBounds{315, 52, 75, 25}, L"Load");
  LoadProfileBtn->OnClick = EventHandler(this, &TZentavoProcessorForm::LoadProfileBtnClick);
}

void TZentavoProcessorForm::CreatePipeGroup() {
  GroupBox2 = Add<TGroupBox>(TBounds{8, 102, 405, 265}, L" Transform Pipe ");
  PluginComboBox = GroupBox2->Add<TComboBox>(TBounds{12, 25, 299, 21}, true);
  PluginAddBtn = GroupBox2->Add<TButton>(TBounds{317, 25, 75, 21}, L"Add");
  PluginAddBtn->OnClick = EventHandler(this, &TZentavoProcessorForm::PluginAddBtnClick);
  TransformListBox = GroupBox2->Add<TListBox>(TBounds{12, 52, 351, 147}, TListBox::TOptions{true, false, 13});
  TransformListBox->OnClick = EventHandler(this, &TZentavoProcessorForm::TransformListBoxClick);
  TransformListBox->OnDblClick = EventHandler(this, &TZentavoProcessorForm::TransformListBoxDblClick);
  UpperPluginBtn = GroupBox2->Add<TPictureButton>(TBounds{369, 52, 23, 72}, Picture(IDR_PNG_MOVE_UP),
                                                  Picture(IDR_PNG_MOVE_UP_DISABLED));
  UpperPluginBtn->OnClick = EventHandler(this, &TZentavoProcessorForm::UpperPluginBtnClick);
  LowerPluginBtn = GroupBox2->Add<TPictureButton>(TBounds{369, 127, 23, 72}, Picture(IDR_PNG_MOVE_DOWN),
                                                  Picture(IDR_PNG_MOVE_DOWN_DISABLED));
  LowerPluginBtn->OnClick = EventHandler(this, &TZentavoProcessorForm::LowerPluginBtnClick);
  SaveToProfilesBtn = GroupBox2->Add<TButton>(TBounds{12, 205, 109, 25}, L"Save to profiles...");
  SaveToProfilesBtn->OnClick = EventHandler(this, &TZentavoProcessorForm::SaveToProfilesBtnClick);
  PluginSettingsBtn = GroupBox2->Add<TButton>(TBounds{236, 205, 75, 25}, L"Settings...");
  PluginSettingsBtn->OnClick = EventHandler(this, &TZentavoProcessorForm::PluginSettingsBtnClick);
  PluginRemoveBtn = GroupBox2->Add<TButton>(TBounds{317, 205, 75, 25}, L"Remove");
  PluginRemoveBtn->OnClick = EventHandler(this, &TZentavoProcessorForm::PluginRemoveBtnClick);
  StoreTPCheckBox = GroupBox2->Add<TCheckBox>(TBounds{12, 238, 195, 17}, L"Store Transform Pipe");
  GetPluginsLinkLabel = GroupBox2->Add<TLinkLabel>(TBounds{217, 239, 175, 13}, L"Get Zentavo plugins!", false);
  GetPluginsLinkLabel->OnClick = EventHandler(this, &TZentavoProcessorForm::GetPluginsLinkLabelClick);
}

TZentavoProcessorForm::~TZentavoProcessorForm() { RestoreParentWindow(Handle()); }

void TZentavoProcessorForm::FormCreate() {
  FCurrentProfile.clear();
  for (TProfile* profile : Global(GlobalProfileManager).GetProfiles())
    ProfilesComboBox->AddItem(profile->Name, profile);
  if (ProfilesComboBox->Count() > 0) ProfilesComboBox->SetItemIndex(0);
  for (TPlugin* plugin : Global(GlobalPluginManager).GetPlugins()) PluginComboBox->AddItem(plugin->Name, plugin);
  if (PluginComboBox->Count() > 0) PluginComboBox->SetItemIndex(0);
  PluginAddBtn->SetEnabled(PluginComboBox->Count() > 0);
  StoreTPCheckBox->SetChecked(Global(GlobalSettingsManager).GetStoreTransformPipe());
  UpdateButtons();
  // Boxes of plug-ins and of the system shown while the dialog is open are owned by it.
  ParentWindow = Handle();
}

void TZentavoProcessorForm::UpdateButtons() {
  const bool profiles = ProfilesComboBox->Count() > 0;
  LoadProfileBtn->SetEnabled(profiles);
  DeleteProfileBtn->SetEnabled(profiles);
  const int count = TransformListBox->Count(), selected = TransformListBox->SelCount();
  PluginSettingsBtn->SetEnabled(selected == 1);
  PluginRemoveBtn->SetEnabled(selected > 0);
  StartBtn->SetEnabled(count > 0);
  SaveToProfilesBtn->SetEnabled(count > 0);
  UpperPluginBtn->SetEnabled(selected > 0 && !TransformListBox->Selected(0));
  LowerPluginBtn->SetEnabled(selected > 0 && !TransformListBox->Selected(count - 1));
}

// The first activation decides, ticked or not. Later activations (after a
// box, a plug-in's window or another application) load nothing: a box ticked
// since then means the pipe on the list is to be stored, not added to.
void TZentavoProcessorForm::FormActivate() {
  if (FStoredPipeDecided) return;
  FStoredPipeDecided = true;
  if (StoreTPCheckBox->Checked()) EventHandler(this, &TZentavoProcessorForm::LoadStoredPipe)();
}

void TZentavoProcessorForm::LoadStoredPipe() {
  const TFormDisabler busy(*this);
  TProfileManager storedPipe(skTransformPipe);
  if (!storedPipe.ProfileExists(StoredPipeName)) return;
  auto entries = storedPipe.LoadProfile(StoredPipeName, true);
  if (!entries) {
    ShowMessageBoxOwned(Handle(), L"Failed to load the previously stored Transform Pipe.", L"Error", MB_ICONERROR);
    return;
  }
  for (TPluginEntry& entry : *entries) AppendEntry(std::move(entry));
  UpdateButtons();
}

void TZentavoProcessorForm::StorePipe() {
  TProfileManager storedPipe(skTransformPipe);
  if (!storedPipe.SaveProfile(StoredPipeName, PipeEntries()))
    ShowMessageBoxOwned(Handle(), L"An error occured while storing the Transform Pipe.", L"Error", MB_ICONERROR);
}

void TZentavoProcessorForm::DeleteStoredPipe() {
  TProfileManager storedPipe(skTransformPipe);
  if (storedPipe.ProfileExists(StoredPipeName)) storedPipe.DeleteProfile(StoredPipeName);
}

void TZentavoProcessorForm::FormClose(TCloseAction& action) {
  const bool store = StoreTPCheckBox->Checked();
  GuardBoundary([store] { Global(GlobalSettingsManager).SetStoreTransformPipe(store); });
  EventHandler(this, store ? &TZentavoProcessorForm::StorePipe : &TZentavoProcessorForm::DeleteStoredPipe)();
  GuardBoundary([] { Global(GlobalSettingsManager).Flush(); });  // the option and the pipe reach the file now
  if (ModalResult() == mrCancel) {  // after Start the entries are the runner's
    const TFormDisabler busy(*this);
    UnloadPipe();
  }
  RestoreParentWindow(Handle());
}

bool TZentavoProcessorForm::FormHelp(UINT command, ULONG_PTR data, bool& callHelp) {
  if (command == HelpCommandKeyword) HelpBtnClick();
  callHelp = false;
  return true;
}

TLoadedPlugin* TZentavoProcessorForm::EntryAt(int index) const {
  return static_cast<TLoadedPlugin*>(TransformListBox->Object(index));
}

std::vector<const TLoadedPlugin*> TZentavoProcessorForm::PipeEntries() const {
  std::vector<const TLoadedPlugin*> entries;
  for (int i = 0, n = TransformListBox->Count(); i < n; ++i) entries.push_back(EntryAt(i));
  return entries;
}

int TZentavoProcessorForm::AppendEntry(TPluginEntry entry) {
  TLoadedPlugin* raw = entry.get();
  FEntries.push_back(std::move(entry));
  return TransformListBox->AddItem(EntryCaption(*raw), raw);
}

TPluginEntry TZentavoProcessorForm::TakeEntry(TLoadedPlugin* entry) {
  const auto owned =
      std::find_if(FEntries.begin(), FEntries.end(), [entry](const TPluginEntry& held) { return held.get() == entry; });
  if (owned == FEntries.end()) return nullptr;
  TPluginEntry taken = std::move(*owned);
  FEntries.erase(owned);
  return taken;
}

void TZentavoProcessorForm::UnloadEntry(TLoadedPlugin* entry) { TakeEntry(entry); }

void TZentavoProcessorForm::UnloadPipe() {
  for (int i = 0, n = TransformListBox->Count(); i < n; ++i) UnloadEntry(EntryAt(i));
  TransformListBox->Clear();
}

void TZentavoProcessorForm::DeleteProfileBtnClick() {
  const int index = ProfilesComboBox->ItemIndex();
  if (index < 0) return;
  const std::wstring name = ProfilesComboBox->Item(index);
  if (ShowMessageBoxOwned(Handle(), L"Are you sure you want to delete the " + Quoted(name) + L" profile?",
                          L"Question", MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  Global(GlobalProfileManager).DeleteProfile(name);
  ProfilesComboBox->Delete(index);
  ProfilesComboBox->Invalidate();
  if (ProfilesComboBox->Count() > 0) ProfilesComboBox->SetItemIndex(0);
  UpdateButtons();
}

void TZentavoProcessorForm::LoadProfileBtnClick() {
  const int index = ProfilesComboBox->ItemIndex();
  if (index < 0) return;
  const std::wstring name = ProfilesComboBox->Item(index);
  const TFormDisabler busy(*this);
  auto entries = Global(GlobalProfileManager).LoadProfile(name, false);
  if (!entries) {
    ShowMessageBoxOwned(Handle(), L"Failed to load the " + Quoted(name) + L" profile.", L"Error", MB_ICONERROR);
    return;
  }
  UnloadPipe();
  for (TPluginEntry& entry : *entries) AppendEntry(std::move(entry));
  FCurrentProfile = name;
  UpdateButtons();
}

void TZentavoProcessorForm::PluginAddBtnClick() {
  const int index = PluginComboBox->ItemIndex();
  if (index < 0) return;
  const TPlugin& plugin = *static_cast<TPlugin*>(PluginComboBox->Object(index));
  const TFormDisabler busy(*this);
  // A new entry starts with the plug-in's stored default settings.
  TPluginEntry entry =
      Global(GlobalPluginManager).LoadPlugin(plugin, skSettings, TPluginManager::GetPluginKeyName(plugin));
  if (!entry) return;  // loading has told the user
  const int at = AppendEntry(std::move(entry));
  TransformListBox->ClearSelection();
  TransformListBox->SetSelected(at, true);
  TransformListBox->SetItemIndex(at);
  UpdateButtons();
}

void TZentavoProcessorForm::PluginRemoveBtnClick() {
  const TFormDisabler busy(*this);
  for (int i = 0, n = TransformListBox->Count(); i < n; ++i)
    if (TransformListBox->Selected(i)) UnloadEntry(EntryAt(i));
  for (int i = TransformListBox->Count() - 1; i >= 0; --i)
    if (TransformListBox->Selected(i)) TransformListBox->Delete(i);
  UpdateButtons();
}

void TZentavoProcessorForm::TransformListBoxClick() { UpdateButtons(); }

void TZentavoProcessorForm::TransformListBoxDblClick() {
  if (TransformListBox->ItemAtCursor() >= 0) PluginSettingsBtnClick();
}

// A block of selected entries moves one place as a whole and stays selected;
// an entry at the end it moves towards keeps the block where it is.
void TZentavoProcessorForm::UpperPluginBtnClick() {
  const int count = TransformListBox->Count();
  if (count == 0 || TransformListBox->Selected(0)) return;
  for (int i = 1; i < count; ++i)
    if (TransformListBox->Selected(i)) TransformListBox->Exchange(i, i - 1);
  UpdateButtons();
}

void TZentavoProcessorForm::LowerPluginBtnClick() {
  const int count = TransformListBox->Count();
  if (count == 0 || TransformListBox->Selected(count - 1)) return;
  for (int i = count - 2; i >= 0; --i)
    if (TransformListBox->Selected(i)) TransformListBox->Exchange(i, i + 1);
  UpdateButtons();
}

void TZentavoProcessorForm::SaveToProfilesBtnClick() {
  std::wstring text = FCurrentProfile;
  if (!InputQuery(L"Save to profiles", L"Profile name:", text)) return;
  const std::wstring name = TrimName(text);
  if (name.empty()) return;
  TProfileManager& profiles = Global(GlobalProfileManager);
  // The stores do not tell letter cases apart: "daily" would overwrite
  // "Daily", so the question names the profile that is there.
  const int existing = ProfilesComboBox->IndexOf(name);
  if (profiles.ProfileExists(name)) {
    const std::wstring shown = existing >= 0 ? ProfilesComboBox->Item(existing) : name;
    if (ShowMessageBoxOwned(Handle(), L"The " + Quoted(shown) + L" profile already exists. Shall i overwrite it?",
                            L"Question", MB_YESNO | MB_ICONQUESTION) != IDYES)
      return;
  }
  TProfile* saved = profiles.SaveProfile(name, PipeEntries());
  // A failed save may still have stored the pipe (without a refused setting)
  // or removed the profile: the list follows the record, which follows the
  // store, and is up to date before the box below runs its message loop.
  TProfile* profile = saved ? saved : profiles.Find(name);
  if (profile && existing >= 0 && ProfilesComboBox->Item(existing) == profile->Name) {
    ProfilesComboBox->SetObject(existing, profile);
  } else {
    // One item under the name stored last, wherever the sorting puts it.
    const bool wasCurrent = existing >= 0 && ProfilesComboBox->ItemIndex() == existing;
    if (existing >= 0) ProfilesComboBox->Delete(existing);
    const int at = profile ? ProfilesComboBox->AddItem(profile->Name, profile) : -1;
    if (wasCurrent) ProfilesComboBox->SetItemIndex(at);
  }
  if (ProfilesComboBox->ItemIndex() < 0 && ProfilesComboBox->Count() > 0) ProfilesComboBox->SetItemIndex(0);
  UpdateButtons();
  if (!saved) {
    ShowMessageBoxOwned(Handle(), L"An error occured while saving the profile.", L"Error", MB_ICONERROR);
    return;
  }
  FCurrentProfile = name;
}

void TZentavoProcessorForm::PluginSettingsBtnClick() {
  const int index = TransformListBox->ItemIndex();
  if (index < 0) return;
  TLoadedPlugin& entry = *EntryAt(index);
  TPluginFile& file = *entry.PluginFile;
  if (!file.HasSettings()) {
    ShowNoSettingsBox(Handle(), entry.Name);
    return;
  }
  // The plug-in's own windows need not be owned by the dialog: without
  // input meanwhile, nothing here can unload the entry under the call.
  const TFormDisabler busy(*this);
  // The plug-in edits a copy; the previous settings come back unless it
  // reports a change, also when anything fails on the way.
  std::unique_ptr<TPluginSettings> previous = std::move(entry.PluginSettings);
  try {
    entry.PluginSettings = TPluginSettings::CreateCopy(*previous);
    const uint32_t result = file.Settings(false);
    if (result == ZVS_CHANGED) {
      previous.reset();
      const std::wstring caption = EntryCaption(entry);
      const int at = TransformListBox->IndexOfObject(&entry);
      if (caption != entry.Name && at >= 0) TransformListBox->SetItemText(at, caption);
      return;
    }
    entry.PluginSettings = std::move(previous);
    if (result == ZVS_ERROR) ReportSettingsError(Handle(), file, entry.Name);
  } catch (...) {
    if (previous) entry.PluginSettings = std::move(previous);
    ShowMessageBoxOwned(Handle(), L"The settings of the " + Quoted(entry.Name) + L" plugin can't be shown.", L"Error",
                        MB_ICONERROR);
  }
}

void TZentavoProcessorForm::StartBtnClick() {
  // The list keeps showing the entries: the close that follows stores the
  // pipe from it while the runner holds them.
  std::vector<TPluginEntry> pipe;
  for (int i = 0, n = TransformListBox->Count(); i < n; ++i) pipe.push_back(TakeEntry(EntryAt(i)));
  try {
    // The runner takes the entries in list order and is the batch's
    // ActiveTransformManager from now on; the end of the batch frees it.
    new TTransformManager(std::move(pipe));
  } catch (...) {
    // It refuses before it takes anything: the entries stay the dialog's, and so does the user.
    for (TPluginEntry& entry : pipe) FEntries.push_back(std::move(entry));
    SetModalResult(mrNone);
    ShowMessageBoxOwned(Handle(), L"The Transform Pipe can't be started. " + CurrentExceptionMessage(), L"Error",
                        MB_ICONERROR);
  }
}

void TZentavoProcessorForm::HelpBtnClick() { ShowHelp(TransformationsTopic); }

void TZentavoProcessorForm::DonateBtnClick() { OpenWebPage.load()(DonationPageAddress()); }

void TZentavoProcessorForm::GetPluginsLinkLabelClick() { OpenWebPage.load()(ProductWebPage(PluginsPage)); }

}  // namespace zv
