// Shows one scene of the form layer for scripts/screenshot.sh: forms laid out
// like the system's dialogs (every control kind), and each box. Leaves by
// itself after a few seconds. Usage: FormsDemo.exe SCENE [milliseconds]
#include <windows.h>

#include <algorithm>
#include <string>

#include "ResourceIds.h"
#include "frontend/TCUtilities.h"
#include "frontend/ZentavoProgress.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/Form.h"
#include "platform/PngImage.h"
#include "services/ZentavoUpdates.h"

using namespace zv;

namespace {

HBITMAP Png(int id) { return LoadPngBitmap(ThisModule(), MAKEINTRESOURCEW(id)); }

void CALLBACK LeaveNow(HWND, UINT, UINT_PTR, DWORD) { ::ExitProcess(0); }

void Place(TForm& form, int left, int top) { form.SetBounds(left, top, form.Width(), form.Height()); }

class TProcessorDemo : public TForm {
public:
  TProcessorDemo()
      : TForm(nullptr, {L"Zentavo Processor", 425, 417, TBorderStyle::Dialog, biSystemMenu | biHelp}) {
    auto* group1 = Add<TGroupBox>(TBounds{10, 10, 403, 86}, L" Profiles ");
    auto* profiles = group1->Add<TComboBox>(TBounds{10, 25, 380, 21}, true);
    profiles->AddItem(L"Compress and encrypt");
    profiles->SetItemIndex(0);
    group1->Add<TButton>(TBounds{234, 52, 75, 25}, L"Delete");
    group1->Add<TButton>(TBounds{315, 52, 75, 25}, L"Load");
    auto* group2 = Add<TGroupBox>(TBounds{8, 102, 405, 265}, L" Transform Pipe ");
    auto* plugins = group2->Add<TComboBox>(TBounds{12, 25, 299, 21}, true);
    plugins->AddItem(L"Zip compressor");
    plugins->SetItemIndex(0);
    group2->Add<TButton>(TBounds{317, 25, 75, 21}, L"Add");
    auto* list = group2->Add<TListBox>(TBounds{12, 52, 351, 147}, TListBox::TOptions{true, false, 13});
    list->AddItem(L"Zip compressor [level 9]");
    list->AddItem(L"AES encryptor");
    list->AddItem(L"Splitter [100 MB]");
    list->SetSelected(1, true);
    group2->Add<TPictureButton>(TBounds{369, 52, 23, 72}, Png(IDR_PNG_MOVE_UP), Png(IDR_PNG_MOVE_UP_DISABLED));
    auto* lower =
        group2->Add<TPictureButton>(TBounds{369, 127, 23, 72}, Png(IDR_PNG_MOVE_DOWN), Png(IDR_PNG_MOVE_DOWN_DISABLED));
    lower->SetEnabled(false);
    group2->Add<TButton>(TBounds{12, 205, 109, 25}, L"Save to profiles...");
    group2->Add<TButton>(TBounds{236, 205, 75, 25}, L"Settings...");
    group2->Add<TButton>(TBounds{317, 205, 75, 25}, L"Remove");
    auto* store = group2->Add<TCheckBox>(TBounds{12, 238, 195, 17}, L"Store Transform Pipe");
    store->SetChecked(true);
    group2->Add<TLinkLabel>(TBounds{217, 239, 175, 13}, L"Get Zentavo plugins!");
    Add<TButton>(TBounds{8, 384, 75, 25}, L"Help");
    auto* donate = Add<TImage>(TBounds{89, 378, 62, 31}, Png(IDR_PNG_DONATE));
    donate->SetHandCursor(true);
    auto* start = Add<TButton>(TBounds{257, 384, 75, 25}, L"Start");
    start->SetDefault(true);
    Add<TButton>(TBounds{338, 384, 75, 25}, L"Cancel")->SetCancel(true);
    SetActiveControl(plugins);
  }
};

class TSettingsDemo : public TForm {
public:
  explicit TSettingsDemo(int page)
      : TForm(nullptr, {L"Zentavo Settings", 444, 406, TBorderStyle::Dialog, biSystemMenu | biHelp}) {
    auto* pages = Add<TPageControl>(TBounds{8, 8, 427, 353});
    TTabSheet* tab1 = pages->AddPage(L"Plugins");
    TTabSheet* tab2 = pages->AddPage(L"Settings");
    auto* group3 = tab1->Add<TGroupBox>(TBounds{8, 8, 404, 305}, L" Installed Zentavo plugins ");
    auto* list = group3->Add<TListBox>(TBounds{11, 24, 380, 193}, TListBox::TOptions{true, true, 0});
    list->AddItem(L"Zip compressor");
    list->AddItem(L"AES encryptor");
    group3->Add<TButton>(TBounds{11, 223, 75, 25}, L"About...")->SetEnabled(false);
    group3->Add<TButton>(TBounds{92, 223, 75, 25}, L"Settings...")->SetEnabled(false);
    group3->Add<TButton>(TBounds{235, 223, 75, 25}, L"Install...");
    group3->Add<TButton>(TBounds{316, 223, 75, 25}, L"Remove")->SetEnabled(false);
    group3->Add<TLinkLabel>(TBounds{11, 256, 0, 0},
                            L"Would you like to create an own plugin? Click here to open the Plugin SDK page!");
    group3->Add<TLinkLabel>(TBounds{218, 275, 0, 0}, L"Get Zentavo plugins!");

    auto* group1 = tab2->Add<TGroupBox>(TBounds{8, 8, 404, 57}, L" Temporary files  ");
    group1->Add<TEdit>(TBounds{10, 24, 300, 21}, L"C:\\users\\zentavo\\Temp", TAlignment::Left, true);
    group1->Add<TButton>(TBounds{316, 24, 75, 21}, L"Browse...");
    auto* group2 = tab2->Add<TGroupBox>(TBounds{8, 71, 403, 90}, L" Memory usage ");
    auto* mem = group2->Add<TCheckBox>(TBounds{11, 23, 0, 17}, L"Use free physical memory for transformations");
    auto* track = group2->Add<TTrackBar>(TBounds{3, 46, 364, 30}, 10, 90, 75, 5);
    auto* label = group2->Add<TLabel>(TBounds{368, 48, 23, 17}, L"75%", false, TAlignment::Right);
    track->OnChange = [track, label] { label->SetCaption(std::to_wstring(track->Position()) + L"%"); };
    mem->OnClick = [mem, track, label] {
      track->SetEnabled(mem->Checked());
      label->SetEnabled(mem->Checked());
    };
    mem->SetChecked(true);
    track->SetPosition(60);
    auto* group4 = tab2->Add<TGroupBox>(TBounds{8, 167, 403, 90}, L" Updates ");
    group4->Add<TCheckBox>(TBounds{11, 25, 0, 17}, L"Check for updates");
    auto* intervalLabel = group4->Add<TLabel>(TBounds{11, 56, 0, 0}, L"Checking interval (in days):");
    auto* interval = group4->Add<TEdit>(TBounds{148, 53, 125, 21}, L"7", TAlignment::Right);
    auto* upDown = group4->Add<TUpDown>(TBounds{273, 53, 0, 0}, interval, short(1), short(32767), short(7));
    intervalLabel->SetEnabled(false);
    interval->SetEnabled(false);
    upDown->SetEnabled(false);
    group4->Add<TButton>(TBounds{303, 53, 88, 21}, L"Check now...");
    auto* group5 = tab2->Add<TGroupBox>(TBounds{8, 263, 403, 50}, L" Error reporting ");
    group5->Add<TCheckBox>(TBounds{11, 24, 0, 17},
                           L"Notify the author(s) of the plugin automatically when an error occures");
    pages->SetActivePageIndex(page);

    Add<TButton>(TBounds{8, 373, 75, 25}, L"About...");
    Add<TButton>(TBounds{89, 373, 75, 25}, L"Help");
    Add<TImage>(TBounds{170, 367, 62, 31}, Png(IDR_PNG_DONATE))->SetHandCursor(true);
    auto* save = Add<TButton>(TBounds{335, 372, 100, 25}, L"Save && Close");
    save->SetDefault(true);
    save->SetCancel(true);
    SetActiveControl(save);
  }
};

class TAboutDemo : public TForm {
public:
  TAboutDemo() : TForm(nullptr, {L"Zentavo About", 364, 429}) {
    auto* close = Add<TButton>(TBounds{281, 396, 75, 25}, L"Close");
    close->SetDefault(true);
    close->SetCancel(true);
    close->SetModalResult(mrClose);
    auto* panel = Add<TPanel>(TBounds{8, 8, 345, 378}, L"", TPanelBevel::Lowered);
    panel->Add<TImage>(TBounds{16, 16, 64, 64}, Png(IDR_PNG_ICON));
    panel->Add<TImage>(TBounds{92, 16, 234, 64}, Png(IDR_PNG_LOGO));
    panel->Add<TBevel>(TBounds{16, 91, 310, 3}, TBevelShape::TopLine);
    auto* text = panel->Add<TRichEdit>(TBounds{16, 104, 310, 227}, true, false);
    text->SetRichFont(TFontDesc{L"Tahoma", -13, 0, EASTEUROPE_CHARSET});
    text->SetBackgroundColor(::GetSysColor(COLOR_BTNFACE));
    text->SetLines({L"Zentavo 1.0", L"Edition for Total Commander", L"Copyright (c) 2026", L"Zentavo authors", L"",
                    L"Thanks to the translator of this text", L"", L"Comments and suggestions", L"for further development",
                    L"are welcome at the address below.", L"", L"Support development", L"by donating through",
                    L"the payment logo."});
    text->SetParagraphAlignment(TAlignment::Center);
    panel->Add<TLinkLabel>(TBounds{96, 345, 0, 0}, L"https://zentavo.example.org");
  }
};

// A stand-in for the host's copy-progress window that the panel docks into.
class THostDemo : public TForm {
public:
  THostDemo() : TForm(nullptr, {L"Copying (host)", 520, 120}) {
    Add<TLabel>(TBounds{10, 10, 0, 0}, L"The host's own progress window");
    Add<TButton>(TBounds{430, 80, 75, 25}, L"Cancel");
  }
};

class TEveryControlDemo : public TForm {
public:
  TEveryControlDemo() : TForm(nullptr, {L"Zentavo forms demo", 560, 330, TBorderStyle::Dialog, biSystemMenu | biHelp}) {
    Add<TLabel>(TBounds{10, 10, 0, 0}, L"Label (auto size)");
    Add<TLabel>(TBounds{150, 10, 80, 17}, L"Right", false, TAlignment::Right);
    Add<TLinkLabel>(TBounds{250, 10, 0, 0}, L"A link label");
    Add<TEdit>(TBounds{10, 32, 120, 21}, L"Editable");
    Add<TEdit>(TBounds{140, 32, 120, 21}, L"Read-only", TAlignment::Left, true);
    auto* number = Add<TEdit>(TBounds{270, 32, 100, 21}, L"", TAlignment::Right);
    Add<TUpDown>(TBounds{370, 32, 0, 0}, number, short(1), short(32767), short(42));
    Add<TCheckBox>(TBounds{10, 60, 0, 17}, L"Check box")->SetChecked(true);
    Add<TButton>(TBounds{140, 58, 75, 25}, L"Default")->SetDefault(true);
    Add<TButton>(TBounds{220, 58, 75, 25}, L"Disabled")->SetEnabled(false);
    Add<TPictureButton>(TBounds{380, 58, 23, 72}, Png(IDR_PNG_MOVE_UP), Png(IDR_PNG_MOVE_UP_DISABLED));
    Add<TPictureButton>(TBounds{408, 58, 23, 72}, Png(IDR_PNG_MOVE_DOWN), Png(IDR_PNG_MOVE_DOWN_DISABLED))
        ->SetEnabled(false);
    Add<TImage>(TBounds{440, 58, 0, 0}, Png(IDR_PNG_ICON));
    auto* group = Add<TGroupBox>(TBounds{10, 90, 360, 110}, L" Group box ");
    auto* list = group->Add<TListBox>(TBounds{10, 20, 150, 80}, TListBox::TOptions{true, true, 13});
    for (const wchar_t* item : {L"delta", L"alpha", L"charlie", L"bravo"}) list->AddItem(item);
    list->SetSelected(1, true);
    auto* combo = group->Add<TComboBox>(TBounds{170, 20, 180, 21}, true);
    combo->AddItem(L"Drop-down list");
    combo->SetItemIndex(0);
    group->Add<TTrackBar>(TBounds{165, 50, 190, 30}, 10, 90, 75, 5);
    Add<TPanel>(TBounds{10, 208, 360, 18}, L"Panel, lowered bevel, text left", TPanelBevel::Lowered, 1,
                TAlignment::Left);
    Add<TBevel>(TBounds{10, 232, 360, 3}, TBevelShape::TopLine);
    auto* pages = Add<TPageControl>(TBounds{380, 140, 170, 140});
    pages->AddPage(L"Page 1")->Add<TLabel>(TBounds{8, 8, 0, 0}, L"First page");
    pages->AddPage(L"Page 2");
    auto* box = Add<TScrollBox>(TBounds{10, 242, 200, 80});
    box->Add<TPanel>(TBounds{0, 0, 300, 150}, L"Scrolled content", TPanelBevel::Raised);
    auto* rich = Add<TRichEdit>(TBounds{220, 242, 150, 80}, true, true, true);
    rich->SetLines({L"Rich edit", L"read-only", L"centred lines", L"4", L"5", L"6"});
    rich->SetParagraphAlignment(TAlignment::Center);
    Add<TImage>(TBounds{380, 290, 0, 0}, Png(IDR_PNG_DONATE));
  }
};

}  // namespace

// Shows one dialog mock-up modally at the screenshot's usual place.
template <typename TDemo, typename... TArgs>
int ShowScene(TArgs... args) {
  TDemo form(args...);
  Place(form, 20, 20);
  return form.ShowModal();
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  const std::wstring scene = argc > 1 ? argv[1] : L"controls";
  const UINT lifetime = argc > 2 ? static_cast<UINT>(_wtoi(argv[2])) : 4000;
  ::SetTimer(nullptr, 0, lifetime, LeaveNow);

  if (scene == L"controls") return ShowScene<TEveryControlDemo>();
  if (scene == L"processor") return ShowScene<TProcessorDemo>();
  if (scene == L"settings1") return ShowScene<TSettingsDemo>(0);
  if (scene == L"settings2") return ShowScene<TSettingsDemo>(1);
  if (scene == L"about") return ShowScene<TAboutDemo>();
  if (scene == L"updates") {
    ShowUpdates({150, L"https://zentavo.example.org/download.php"},
                {{L"Zip compressor", 1000000000, 120, 130, L"https://zentavo.example.org/download.php?id=1000000000"},
                 {L"AES & Twofish encryptor", 1000000007, 200, 201, L"https://zentavo.example.org/aes"}});
    return 0;
  }
  if (scene == L"progress") {
    THostDemo host;
    Place(host, 20, 20);
    host.ShowModeless();
    auto panel = AttachFormBelowWindow<TZentavoProgressForm>(host.Handle());
    panel->SetStatusText(L"Writing output [42%]");
    panel->SetLoadText(L"37%");
    panel->SetProcessingText(L"Zip compressor [42%] (deflating)");
    panel->SetInputText(L"C:\\data\\report & notes.txt");
    panel->SetOutputText(L"D:\\backup\\report & notes.zip");
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    return 0;
  }
  TForm owner(nullptr, {L"Owner", 200, 100});
  Place(owner, 600, 500);
  owner.ShowModeless();
  ParentWindow = owner.Handle();
  if (scene == L"confirm") return ShowConfirmationBox(L"The \"report & notes.txt\" file already exists. Shall I overwrite it?");
  if (scene == L"input") {
    std::wstring name = L"My profile";
    return InputQuery(L"Save to profiles", L"Profile name:", name) ? 1 : 0;
  }
  if (scene == L"message") return ShowMessageBox(L"Failed to load the \"Daily\" profile.", L"Error", MB_ICONERROR);
  if (scene == L"open") {
    TOpenDialog dialog;
    dialog.Title = L"Install Zentavo plugin(s)";
    dialog.Filter = L"Zentavo plugin(s) (*.zvx; *.dll)|*.zvx;*.dll";
    dialog.DefaultExt = L"zvx";
    return dialog.Execute(owner.Handle()) ? 1 : 0;
  }
  return 2;
}
