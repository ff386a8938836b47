#include <windows.h>

#include <gtest/gtest.h>

#include "engine/TransformManager.h"
#include "frontend/ZentavoAbout.h"
#include "frontend/ZentavoProcessor.h"
#include "frontend/ZentavoSettings.h"
#include "frontend/dialogs/DialogTest.h"

using namespace zv;
using namespace zvtest;

namespace {

// Help by F1, by the help message and by the Help button, each link and the
// donate picture; Help last, as Enter would press the focused button.
void AskHelpAndFollowLinks(HWND form, const std::vector<TControl*>& links, TControl* help) {
  PressKey(form, VK_F1);
  HELPINFO info{sizeof(info), HELPINFO_WINDOW, 0, form, 0, {}};
  ::SendMessageW(form, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
  for (TControl* link : links) ClickAt(link->Handle(), {2, 2});
  Click(help->Handle());
}

}  // namespace

using TDialogLayout = TDialogTest;

// With no profile and an empty pipe only the choice of a plug-in is on.
TEST_F(TDialogLayout, Processor) {
  TZentavoProcessorForm f(Host);
  ExpectTabStops(f.Handle(), {{f.ProfilesComboBox}, {f.DeleteProfileBtn, false}, {f.LoadProfileBtn, false},
                              {f.PluginComboBox}, {f.PluginAddBtn}, {f.TransformListBox},
                              {f.SaveToProfilesBtn, false}, {f.PluginSettingsBtn, false}, {f.PluginRemoveBtn, false},
                              {f.StoreTPCheckBox}, {f.HelpBtn}, {f.StartBtn, false}, {f.CancelBtn}});
  EXPECT_FALSE(f.UpperPluginBtn->Enabled() || f.LowerPluginBtn->Enabled());
  EXPECT_EQ(f.PluginComboBox->Text(), L"A");
}

TEST_F(TDialogLayout, Settings) {
  TZentavoSettingsForm f(Host);
  ExpectTabStops(f.Handle(), {{f.PageControl1}, {f.PluginListBox}, {f.PluginAboutBtn, false},
                              {f.PluginSettingsBtn, false}, {f.PluginInstallBtn}, {f.PluginRemoveBtn, false},
                              {f.TempFolderEdit}, {f.TempBrowseBtn}, {f.MemUsageCheckBox}, {f.MemUsageTrackBar},
                              {f.CheckForUpdatesCheckBox}, {f.CheckingIntervalEdit}, {f.CheckNowBtn},
                              {f.NotifyErrorCheckBox}, {f.AboutBtn}, {f.HelpBtn}, {f.SaveCloseBtn}});
  EXPECT_EQ(f.TempFolderEdit->Text(), Temp.Path());
}

using TDialogKeys = TDialogTest;

TEST_F(TDialogKeys, Processor) {
  TZentavoProcessorForm f(Host);
  HWND focus = nullptr;
  EXPECT_EQ(ShowDriven(f, [&] {
    HWND form = WaitForWindow(L"Zentavo Processor");
    focus = FocusOf(form);
    PressKey(form, VK_RETURN);  // Start is disabled while the pipe is empty
    AskHelpAndFollowLinks(form, {f.GetPluginsLinkLabel, f.DonateBtn}, f.HelpBtn);
    PressKey(form, VK_ESCAPE);
  }), mrCancel);
  EXPECT_EQ(focus, f.PluginComboBox->Handle());
  const std::wstring help = TransformationsTopic;
  EXPECT_EQ(Opened, (std::vector<std::wstring>{help, help, ProductWebPage(PluginsPage), DonationPageAddress(), help}));
  EXPECT_EQ(ParentWindow, Host);
  // With a pipe, Enter starts it.
  TZentavoProcessorForm g(Host);
  g.PluginAddBtn->Click();
  EXPECT_EQ(ShowDriven(g, [] { PressKey(WaitForWindow(L"Zentavo Processor"), VK_RETURN); }), mrOk);
  EXPECT_NE(ActiveRunner(), nullptr);
  delete ActiveRunner();
}

// Enter and Escape press "Save && Close"; the caption's close button discards the options.
TEST_F(TDialogKeys, Settings) {
  for (const WORD key : {WORD(VK_RETURN), WORD(VK_ESCAPE), WORD(0)}) {
    Settings->SetNotifyError(true);
    TZentavoSettingsForm f(Host);
    f.NotifyErrorCheckBox->SetChecked(false);
    HWND focus = nullptr;
    Opened.clear();
    EXPECT_EQ(ShowDriven(f, [&] {
      HWND form = WaitForWindow(L"Zentavo Settings");
      focus = FocusOf(form);
      if (key == VK_ESCAPE) AskHelpAndFollowLinks(form, {f.GetSDKLinkLabel, f.GetPluginsLinkLabel, f.DonateBtn}, f.HelpBtn);
      key ? PressKey(form, key) : SystemClose(form);
    }), key ? mrOk : mrCancel);
    EXPECT_EQ(focus, f.SaveCloseBtn->Handle());
    EXPECT_EQ(Settings->GetNotifyError(), key == 0) << key;
    EXPECT_EQ(ParentWindow, Host);
    if (key != VK_ESCAPE) continue;
    const std::wstring help = SettingsTopic;
    EXPECT_EQ(Opened, (std::vector<std::wstring>{help, help, ProductWebPage(DevToolsPage), ProductWebPage(PluginsPage),
                                                 DonationPageAddress(), help}));
  }
}

// Enter and Escape close the box with 11, also while the about text has the focus (by Tab or a click).
TEST_F(TDialogKeys, About) {
  for (const WORD key : {VK_RETURN, VK_ESCAPE}) {
    TZentavoAboutForm f(Host);
    HWND focus = nullptr;
    EXPECT_EQ(ShowDriven(f, [&] {
      HWND form = WaitForWindow(L"Zentavo About");
      focus = FocusOf(form);
      if (key == VK_RETURN) PressKey(form, VK_TAB);  // into the panel that holds the text
      if (key == VK_ESCAPE) ClickAt(f.WebSiteLinkLabel->Handle(), {2, 2});
      if (key == VK_ESCAPE) ClickAt(f.AboutTextRichEdit->Handle(), {20, 20});
      WaitUntil([&] { return FocusOf(form) == f.AboutTextRichEdit->Handle(); }, "focus");
      PressKey(form, key);
    }), mrClose);
    EXPECT_EQ(focus, f.Button1->Handle());
  }
  EXPECT_EQ(Opened, std::vector<std::wstring>{ProductWebSite});
}

// The about text is view-only: focused, it shows no caret.
TEST_F(TDialogKeys, AboutTextIsViewOnly) {
  TZentavoAboutForm f(Host);
  f.ShowModeless();
  f.AboutTextRichEdit->SetFocus();
  GUITHREADINFO info{sizeof(info)};
  ::GetGUIThreadInfo(::GetCurrentThreadId(), &info);
  EXPECT_EQ(info.hwndFocus, f.AboutTextRichEdit->Handle());
  EXPECT_EQ(info.hwndCaret, nullptr);
}
