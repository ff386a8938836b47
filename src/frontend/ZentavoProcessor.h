// The Processor dialog, shown at the start of a copy or move of the host: the
// user assembles the Transform Pipe from installed plug-ins (each addition
// loads a live pipe entry), orders the entries, edits each one's settings,
// loads, saves and deletes named profiles and chooses whether the pipe is
// stored for the next time. Start (modal result 1) hands the entries in list
// order to a new pipe runner; Cancel (2) unloads them. The stored pipe is
// written or deleted at every close, whatever the result.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Controls.h"
#include "platform/Form.h"
#include "plugins/PluginManager.h"

namespace zv {

class TZentavoProcessorForm : public TForm {
public:
  explicit TZentavoProcessorForm(HWND owner);
  ~TZentavoProcessorForm() override;

  TGroupBox* GroupBox1;
  TComboBox* ProfilesComboBox;
  TButton* DeleteProfileBtn;
  TButton* LoadProfileBtn;
  TGroupBox* GroupBox2;
  TComboBox* PluginComboBox;
  TButton* PluginAddBtn;
  TListBox* TransformListBox;
  TPictureButton* UpperPluginBtn;
  TPictureButton* LowerPluginBtn;
  TButton* SaveToProfilesBtn;
  TButton* PluginSettingsBtn;
  TButton* PluginRemoveBtn;
  TCheckBox* StoreTPCheckBox;
  TLinkLabel* GetPluginsLinkLabel;
  TButton* HelpBtn;
  TImage* DonateBtn;
  TButton* StartBtn;
  TButton* CancelBtn;

protected:
  void FormActivate() override;
  void FormClose(TCloseAction& action) override;
  bool FormHelp(UINT command, ULONG_PTR data, bool& callHelp) override;

private:
  void CreateProfilesGroup();
  void CreatePipeGroup();
  void FormCreate();
  void UpdateButtons();
  void LoadStoredPipe();
  void StorePipe();
  void DeleteStoredPipe();

  void DeleteProfileBtnClick();
  void LoadProfileBtnClick();
  void PluginAddBtnClick();
  void TransformListBoxClick();
  void TransformListBoxDblClick();
  void UpperPluginBtnClick();
  void LowerPluginBtnClick();
  void SaveToProfilesBtnClick();
  void PluginSettingsBtnClick();
  void PluginRemoveBtnClick();
  void GetPluginsLinkLabelClick();
  void HelpBtnClick();
  void DonateBtnClick();
  void StartBtnClick();

  // The pipe: the list's items point to entries the dialog owns until Start.
  TLoadedPlugin* EntryAt(int index) const;
  std::vector<const TLoadedPlugin*> PipeEntries() const;
  int AppendEntry(TPluginEntry entry);
  // Takes an entry out of the dialog's hands; letting go of it unloads it.
  TPluginEntry TakeEntry(TLoadedPlugin* entry);
  void UnloadEntry(TLoadedPlugin* entry);
  void UnloadPipe();

  std::wstring FCurrentProfile;     // loaded or saved last: the save box's default name
  bool FStoredPipeDecided = false;  // by the first activation of this showing
  std::vector<TPluginEntry> FEntries;
};

// The text of a pipe entry in the list: its name, followed by " [<info>]"
// when the plug-in gives a settings info text.
std::wstring EntryCaption(TLoadedPlugin& entry);

}  // namespace zv
