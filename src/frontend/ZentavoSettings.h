// The Settings dialog: the installed plug-ins (install, remove, a plug-in's
// about box and its stored default settings) and the system's options
// (temporary folder, memory usage, update check, automatic error reports).
//
// What is written when: the temporary folder at once after Browse; the other
// options only by "Save && Close" (Enter and Escape press it too; the
// caption's close button discards them); installations, removals and a
// plug-in's stored defaults at once; the configuration file at every close.
// A plug-in is loaded only for one About or Settings click.
#pragma once
#include <windows.h>

#include <string>

#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/Form.h"
#include "platform/ZvError.h"

namespace zv {

class TPluginFile;

class TZentavoSettingsForm : public TForm {
public:
  explicit TZentavoSettingsForm(HWND owner);
  ~TZentavoSettingsForm() override;

  TPageControl* PageControl1;
  TTabSheet* TabSheet1;
  TTabSheet* TabSheet2;
  TGroupBox* GroupBox3;
  TListBox* PluginListBox;
  TButton* PluginAboutBtn;
  TButton* PluginSettingsBtn;
  TButton* PluginInstallBtn;
  TButton* PluginRemoveBtn;
  TLinkLabel* GetSDKLinkLabel;
  TLinkLabel* GetPluginsLinkLabel;
  TGroupBox* GroupBox1;
  TEdit* TempFolderEdit;
  TButton* TempBrowseBtn;
  TGroupBox* GroupBox2;
  TCheckBox* MemUsageCheckBox;
  TTrackBar* MemUsageTrackBar;
  TLabel* MemUsageLabel;
  TGroupBox* GroupBox4;
  TCheckBox* CheckForUpdatesCheckBox;
  TLabel* CheckingIntervalLabel;
  TEdit* CheckingIntervalEdit;
  TUpDown* CheckingIntervalUpDown;
  TButton* CheckNowBtn;
  TGroupBox* GroupBox5;
  TCheckBox* NotifyErrorCheckBox;
  TButton* AboutBtn;
  TButton* HelpBtn;
  TImage* DonateBtn;
  TButton* SaveCloseBtn;
  TOpenDialog PluginOpenDialog;

protected:
  void FormClose(TCloseAction& action) override;
  bool FormHelp(UINT command, ULONG_PTR data, bool& callHelp) override;

private:
  void CreatePluginsPage();
  void CreateSettingsPage();
  void FormCreate();
  void UpdatePluginButtons(bool oneForAboutAndSettings);
  void PluginListBoxClick();
  void PluginListBoxDblClick();
  void PluginInstallBtnClick();
  void PluginRemoveBtnClick();
  void PluginAboutBtnClick();
  void PluginSettingsBtnClick();
  void TempBrowseBtnClick();
  void MemUsageCheckBoxClick();
  void MemUsageTrackBarChange();
  void CheckForUpdatesCheckBoxClick();
  void CheckingIntervalEditExit();
  void CheckNowBtnClick();
  void SaveCloseBtnClick();
  void AboutBtnClick();
  void HelpBtnClick();
  void DonateBtnClick();
  void GetPluginsLinkLabelClick();
  void GetSDKLinkLabelClick();
};

// What both dialogs tell about a plug-in's settings: it has none (an
// "Information" box), or its ZV_Settings failed (through the error entry when
// the plug-in gave an error text, else an "Error" box). Boxes are owned by owner.
void ShowNoSettingsBox(HWND owner, const std::wstring& name);
void ReportSettingsError(HWND owner, TPluginFile& file, const std::wstring& name);

// Gives the owner of boxes back to the host's main window when a dialog that
// took it over closes (also one that is freed without being closed).
void RestoreParentWindow(HWND dialog);

// A process-wide manager a dialog works with; FsInit has made them all
// before any dialog can open.
template <typename TManager>
TManager& Global(TManager* manager) {
  if (!manager) throw EZvError(L"Zentavo has not been initialised.");
  return *manager;
}

}  // namespace zv
