// Shows one scene for scripts/screenshot.sh: the system's dialogs, which hold
// every control kind of the form layer, and each box. Leaves by
// itself after a few seconds. Usage: FormsDemo.exe SCENE [milliseconds]
#include <windows.h>

#include <string>

#include <shellapi.h>

#include "config/ProfileManager.h"
#include "config/SettingsManager.h"
#include "frontend/TCUtilities.h"
#include "frontend/ZentavoAbout.h"
#include "frontend/ZentavoProcessor.h"
#include "frontend/ZentavoProgress.h"
#include "frontend/ZentavoSettings.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/Form.h"
#include "plugins/PluginSettings.h"
#include "plugins/TransformBridge.h"
#include "services/ZentavoUpdates.h"

using namespace zv;

namespace {

void CALLBACK LeaveNow(HWND, UINT, UINT_PTR, DWORD) { ::ExitProcess(0); }

void Place(TForm& form, int left, int top) { form.SetBounds(left, top, form.Width(), form.Height()); }

// The real dialogs over a configuration of their own in <demo exe>\demo:
// two copies of the test plug-in installed, a profile and a stored pipe of both.
void SetUpDialogs() {
  const std::wstring dir = GetModuleDir() + L"\\demo";
  ::CreateDirectoryW(dir.c_str(), nullptr);
  ::DeleteFileW((dir + L"\\Zentavo.cfg").c_str());  // the rest is written over
  ::SetEnvironmentVariableW(L"ZVT_LOAD", L"ok");
  ::SetEnvironmentVariableW(L"ZVT_SETTINGS", L"1");
  InitPluginAPI();
  GlobalSettingsManager = new TSettingsManager(dir + L"\\Zentavo.cfg");
  GlobalSettingsManager->SetTempFolder(dir);
  GlobalSettingsManager->SetStoreTransformPipe(true);
  GlobalPluginManager = new TPluginManager();
  GlobalProfileManager = new TProfileManager(skProfiles);
  std::vector<TPluginEntry> entries;
  std::vector<const TLoadedPlugin*> pipe;
  for (const auto& [name, fixture] : {std::pair{L"Zip compressor", L"ZvFixture"}, {L"AES encryptor", L"ZvFixtureBare"}}) {
    const std::wstring file = dir + L"\\" + fixture + L".zvx";
    ::CopyFileW((GetModuleDir() + L"\\fixtures\\" + fixture + L".zvx").c_str(), file.c_str(), FALSE);
    ::SetEnvironmentVariableW(L"ZVT_INSTALL_NAME", name);
    const TPlugin* plugin = GlobalPluginManager->InstallPlugin(nullptr, file);
    const std::wstring key = TPluginManager::GetPluginKeyName(*plugin);
    pipe.push_back(entries.emplace_back(GlobalPluginManager->LoadPlugin(*plugin, skSettings, key)).get());
  }
  entries[0]->PluginSettings->WriteNumber(L"Edits", 9);
  GlobalProfileManager->SaveProfile(L"Daily backup", pipe);
  TProfileManager(skTransformPipe).SaveProfile(L"Stored", pipe);
}

}  // namespace

// Shows one dialog modally at the screenshot's usual place.
template <typename TDemo, typename... TArgs>
int ShowScene(TArgs... args) {
  TDemo form(args...);
  Place(form, 20, 20);
  return form.ShowModal();
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  const std::wstring scene = argc > 1 ? argv[1] : L"processor";
  const UINT lifetime = argc > 2 ? static_cast<UINT>(_wtoi(argv[2])) : 4000;
  ::SetTimer(nullptr, 0, lifetime, LeaveNow);

  if (scene == L"processor" || scene.starts_with(L"settings")) SetUpDialogs();
  if (scene == L"processor") return ShowScene<TZentavoProcessorForm>(HWND());
  if (scene.starts_with(L"settings")) {
    TZentavoSettingsForm form(nullptr);
    form.PageControl1->SetActivePageIndex(scene == L"settings2" ? 1 : 0);
    Place(form, 20, 20);
    return form.ShowModal();
  }
  if (scene == L"about") return ShowScene<TZentavoAboutForm>(HWND());
  if (scene == L"updates") {
    ShowUpdates({150, L"https://zentavo.example.org/download.php"},
                {{L"Zip compressor", 1000000000, 120, 130, L"https://zentavo.example.org/download.php?id=1000000000"},
                 {L"AES & Twofish encryptor", 1000000007, 200, 201, L"https://zentavo.example.org/aes"}});
    return 0;
  }
  if (scene == L"progress") {
    // A stand-in for the host's copy-progress window that the panel docks into.
    TForm host(nullptr, {L"Copying (host)", 520, 120});
    host.Add<TLabel>(TBounds{10, 10, 0, 0}, L"The host's own progress window");
    host.Add<TButton>(TBounds{430, 80, 75, 25}, L"Cancel");
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
