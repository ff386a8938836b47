#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "engine/TransformManager.h"
#include "frontend/ViewOnlyU.h"
#include "frontend/ZentavoAbout.h"
#include "frontend/ZentavoProcessor.h"
#include "frontend/ZentavoSettings.h"
#include "frontend/dialogs/DialogTest.h"

using namespace zv;
using namespace zvtest;

namespace {

// Caption, client size, font, the caption's help button, help keyword, default and cancel button.
std::wstring FormLook(TForm& f) {
  const bool help = ::GetWindowLongPtrW(f.Handle(), GWL_EXSTYLE) & WS_EX_CONTEXTHELP;
  return f.Caption() + L" " + std::to_wstring(f.ClientWidth()) + L"x" + std::to_wstring(f.ClientHeight()) + L" " +
         f.Font().Name + std::to_wstring(f.Font().Height) + (help ? L" ? " : L" ") + f.HelpKeyword() + L" " +
         f.DefaultButton()->Caption() + L"/" + f.CancelButton()->Caption();
}

bool HasStyle(const TControl* control, LONG_PTR bits) {
  return (::GetWindowLongPtrW(control->Handle(), GWL_STYLE) & bits) == bits;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

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

TEST_F(TDialogLayout, Processor) {
  TZentavoProcessorForm f(Host);
  EXPECT_EQ(FormLook(f), L"Zentavo Processor 425x417 Tahoma-11 ? transformations.html Start/Cancel");
  ExpectPlaces({{f.GroupBox1, L"10,10,403x86", L" Profiles "},
                {f.ProfilesComboBox, L"10,25", L"", true, true},
                {f.DeleteProfileBtn, L"234,52,75x25", L"Delete", false, true},
                {f.LoadProfileBtn, L"315,52,75x25", L"Load", false, true},
                {f.GroupBox2, L"8,102,405x265", L" Transform Pipe "},
                {f.PluginComboBox, L"12,25", L"A", true, true},
                {f.PluginAddBtn, L"317,25,75x21", L"Add", true, true},
                {f.TransformListBox, L"12,52,351x147", L"", true, true},
                {f.UpperPluginBtn, L"369,52,23x72", L"", false},
                {f.LowerPluginBtn, L"369,127,23x72", L"", false},
                {f.SaveToProfilesBtn, L"12,205,109x25", L"Save to profiles...", false, true},
                {f.PluginSettingsBtn, L"236,205,75x25", L"Settings...", false, true},
                {f.PluginRemoveBtn, L"317,205,75x25", L"Remove", false, true},
                {f.StoreTPCheckBox, L"12,238,195x17", L"Store Transform Pipe", true, true},
                {f.GetPluginsLinkLabel, L"217,239,175x13", L"Get Zentavo plugins!"},
                {f.HelpBtn, L"8,384,75x25", L"Help", true, true},
                {f.DonateBtn, L"89,378,62x31", L""},
                {f.StartBtn, L"257,384,75x25", L"Start", false, true},
                {f.CancelBtn, L"338,384,75x25", L"Cancel", true, true}},
               f.Handle());
  EXPECT_TRUE(HasStyle(f.ProfilesComboBox, CBS_SORT | CBS_DROPDOWNLIST) && HasStyle(f.PluginComboBox, CBS_SORT));
  EXPECT_TRUE(HasStyle(f.TransformListBox, LBS_EXTENDEDSEL) && !HasStyle(f.TransformListBox, LBS_SORT));
  EXPECT_EQ(::SendMessageW(f.TransformListBox->Handle(), LB_GETITEMHEIGHT, 0, 0), 13);
  EXPECT_EQ(f.StartBtn->ModalResult() * 10 + f.CancelBtn->ModalResult(), 12);
}

TEST_F(TDialogLayout, Settings) {
  TZentavoSettingsForm f(Host);
  EXPECT_EQ(FormLook(f), L"Zentavo Settings 444x406 Tahoma-11 ? settings.html Save && Close/Save && Close");
  ExpectPlaces({{f.PageControl1, L"8,8,427x353", L"", true, true},
                {f.GroupBox3, L"8,8,404x305", L" Installed Zentavo plugins "},
                {f.PluginListBox, L"11,24,380x193", L"", true, true},
                {f.PluginAboutBtn, L"11,223,75x25", L"About...", false, true},
                {f.PluginSettingsBtn, L"92,223,75x25", L"Settings...", false, true},
                {f.PluginInstallBtn, L"235,223,75x25", L"Install...", true, true},
                {f.PluginRemoveBtn, L"316,223,75x25", L"Remove", false, true},
                {f.GetSDKLinkLabel, L"11,256",
                 L"Would you like to create an own plugin? Click here to open the Plugin SDK page!"},
                {f.GetPluginsLinkLabel, L"218,275", L"Get Zentavo plugins!"},
                {f.GroupBox1, L"8,8,404x57", L" Temporary files  "},
                {f.TempFolderEdit, L"10,24,300x21", Temp.Path(), true, true},
                {f.TempBrowseBtn, L"316,24,75x21", L"Browse...", true, true},
                {f.GroupBox2, L"8,71,403x90", L" Memory usage "},
                {f.MemUsageCheckBox, L"11,23", L"Use free physical memory for transformations", true, true},
                {f.MemUsageTrackBar, L"3,46,364x30", L"", true, true},
                {f.MemUsageLabel, L"368,48,23x17", L"75%"},
                {f.GroupBox4, L"8,167,403x90", L" Updates "},
                {f.CheckForUpdatesCheckBox, L"11,25", L"Check for updates", true, true},
                {f.CheckingIntervalLabel, L"11,56", L"Checking interval (in days):"},
                {f.CheckingIntervalEdit, L"148,53,125x21", L"7", true, true},
                {f.CheckingIntervalUpDown, L"273,53", L""},
                {f.CheckNowBtn, L"303,53,88x21", L"Check now...", true, true},
                {f.GroupBox5, L"8,263,403x50", L" Error reporting "},
                {f.NotifyErrorCheckBox, L"11,24",
                 L"Notify the author(s) of the plugin automatically when an error occures", true, true},
                {f.AboutBtn, L"8,373,75x25", L"About...", true, true},
                {f.HelpBtn, L"89,373,75x25", L"Help", true, true},
                {f.DonateBtn, L"170,367,62x31", L""},
                {f.SaveCloseBtn, L"335,372,100x25", L"Save && Close", true, true}},
               f.Handle());
  EXPECT_EQ(f.PageControl1->ActivePageIndex(), 0);
  EXPECT_TRUE(HasStyle(f.PluginListBox, LBS_EXTENDEDSEL | LBS_SORT) && HasStyle(f.TempFolderEdit, ES_READONLY) &&
              HasStyle(f.CheckingIntervalEdit, ES_RIGHT));
  EXPECT_EQ(f.MemUsageTrackBar->Min() * 100 + f.MemUsageTrackBar->Max(), 1090);
}

TEST_F(TDialogLayout, About) {
  TZentavoAboutForm f(Host);
  EXPECT_EQ(FormLook(f), L"Zentavo About 364x429 Tahoma-11  Close/Close");
  std::wstring text;
  for (const std::wstring& line : AboutText()) text += (text.empty() ? L"" : L"\r\n") + line;
  ExpectPlaces({{f.Button1, L"281,396,75x25", L"Close", true, true},
                {f.Panel1, L"8,8,345x378", L""},
                {f.Image1, L"16,16,64x64", L""},
                {f.Image2, L"92,16,234x64", L""},
                {f.Bevel1, L"16,91,310x3", L"", false},
                {f.AboutTextRichEdit, L"16,104,310x227", text, true, true},
                {f.WebSiteLinkLabel, L"96,345", ProductWebSite}},
               f.Handle());
  EXPECT_EQ(AboutText().size(), 14u);
  EXPECT_EQ(f.Button1->ModalResult(), mrClose);
  EXPECT_EQ(f.AboutTextRichEdit->Font().Height * 1000 + f.AboutTextRichEdit->Font().Charset, -13000 + EASTEUROPE_CHARSET);
  EXPECT_NE(FindHookControl(f.AboutTextRichEdit), nullptr);
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
  const std::wstring help = L"transformations.html";
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
    const std::wstring help = L"settings.html";
    EXPECT_EQ(Opened, (std::vector<std::wstring>{help, help, ProductWebPage(DevToolsPage), ProductWebPage(PluginsPage),
                                                 DonationPageAddress(), help}));
  }
}

// Enter and Escape close the box with 11, also while the about text has the focus.
TEST_F(TDialogKeys, About) {
  for (const WORD key : {VK_RETURN, VK_ESCAPE}) {
    for (const bool inText : {false, true}) {
      TZentavoAboutForm f(Host);
      HWND focus = nullptr;
      EXPECT_EQ(ShowDriven(f, [&] {
        HWND form = WaitForWindow(L"Zentavo About");
        focus = FocusOf(form);
        if (!inText && key == VK_ESCAPE) ClickAt(f.WebSiteLinkLabel->Handle(), {2, 2});
        if (inText) ClickAt(f.AboutTextRichEdit->Handle(), {20, 20});
        WaitUntil([&] { return FocusOf(form) == (inText ? f.AboutTextRichEdit->Handle() : f.Button1->Handle()); }, "focus");
        PressKey(form, key);
      }), mrClose);
      EXPECT_EQ(focus, f.Button1->Handle());
    }
  }
  EXPECT_EQ(Opened, std::vector<std::wstring>{ProductWebSite});
}
