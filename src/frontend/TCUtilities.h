// Small services shared by the front end, the plug-in host, the settings and
// the online services.
#pragma once
#include <windows.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Boundary.h"
#include "platform/Dialogs.h"
#include "platform/Form.h"
#include "platform/Module.h"
#include "platform/ZvError.h"

namespace zv {

// Owner of every message box and modal dialog not owned by a dialog of ours.
// Written on the user-interface thread (dialogs, FsInit) and on the thread
// that opens the progress panel; read by boxes on any thread.
extern std::atomic<HWND> ParentWindow;

// An error box owned by Wnd with the buttons OK and "Report error" (the Cancel
// button renamed and widened). IDOK for OK; IDCANCEL for "Report error",
// Escape and the close button.
int ShowReportErrorBox(HWND wnd, const std::wstring& text, const std::wstring& caption);
// The thread CBT hook behind it: renames the Cancel button of the first
// activated window that has one, then removes itself.
LRESULT CALLBACK ReportButtonHookProc(int code, WPARAM wParam, LPARAM lParam);

// The help file beside our library, built from help/, and the topics of it
// that we open: each is a file at the root of the help file under this name.
inline constexpr wchar_t HelpFileName[] = L"ZentavoHelp.chm";
inline constexpr wchar_t HowItWorksTopic[] = L"how-it-works.html";
inline constexpr wchar_t SettingsTopic[] = L"settings.html";
inline constexpr wchar_t TransformationsTopic[] = L"transformations.html";

// Opens a topic of the help file through HelpViewer.
void ShowHelp(const std::wstring& topic);

// What opens help topics and web pages. Tests put recorders here, so that
// no help viewer or browser starts under a test.
using TShowHelp = void (*)(const std::wstring& topic);
using TOpenWebPage = void (*)(const std::wstring& url);
// HTML Help with the topic; nothing when HTML Help is not installed.
void ShowHtmlHelp(const std::wstring& topic);
// The shell's "open" verb on the address, in a normal window.
void ShellOpenWebPage(const std::wstring& url);
inline std::atomic<TShowHelp> HelpViewer{&ShowHtmlHelp};
inline std::atomic<TOpenWebPage> OpenWebPage{&ShellOpenWebPage};

// A dialog's event bound to its handler behind the boundary guard: a failure
// of the handler is told in an "Error" box owned by the dialog, which stays
// usable.
template <typename TFormClass>
TNotifyEvent EventHandler(TFormClass* form, void (TFormClass::*handler)()) {
  return [form, handler] {
    GuardBoundary(
        0,
        [&] {
          (form->*handler)();
          return 0;
        },
        [&] { ShowMessageBoxOwned(form->Handle(), CurrentExceptionMessage(), L"Error", MB_ICONERROR); });
  };
}

// Makes a new form of one class, owned by the given window (may be null).
using TFormFactory = std::function<std::unique_ptr<TForm>(HWND owner)>;

// Creates a form, shows it modally centred over a window (usually one of the
// host's), frees it and gives its modal result. Without a usable window the
// form is centred on the screen's work area.
int ShowModalCentered(const TFormFactory& createForm, HWND parentWnd);
template <typename TFormClass>
int ShowModalCentered(HWND parentWnd) {
  return ShowModalCentered([](HWND owner) -> std::unique_ptr<TForm> { return std::make_unique<TFormClass>(owner); },
                           parentWnd);
}
// The same for a form that the caller made and keeps.
int ShowFormModalCentered(TForm& form, HWND parentWnd);

// Docks a new form in a foreign window's client area below its content: the
// window grows by the form's height and the form fills the new strip. Null
// when the window's information cannot be read (no such window).
std::unique_ptr<TForm> AttachFormBelowWindow(const TFormFactory& createForm, HWND wnd);
template <typename TFormClass>
std::unique_ptr<TFormClass> AttachFormBelowWindow(HWND wnd) {
  std::unique_ptr<TForm> form = AttachFormBelowWindow(
      [](HWND owner) -> std::unique_ptr<TForm> { return std::make_unique<TFormClass>(owner); }, wnd);
  return std::unique_ptr<TFormClass>(static_cast<TFormClass*>(form.release()));
}

// The folder dialog of the shell, opening on `folder`. True when the user chose
// a folder; `folder` then holds its path (unchanged when it has none).
bool SelectFolder(HWND parentWnd, const std::wstring& title, std::wstring& folder);
// The folder dialog's callback: preselects the folder whose path is `data`.
int CALLBACK BrowseFolderCallback(HWND wnd, UINT msg, LPARAM lParam, LPARAM data);

// Unsigned numbers as text in a base (digits 0-9, then A, B, ...), padded on
// the left with "0" to at least minDigits digits. Raises EZvError for a base below 2.
std::wstring IntToBase(uint32_t value, uint32_t base, uint32_t minDigits = 0);
// Reads such a text (letters in either case). False for any character that is
// not a digit of the base and for a value above 4294967295; `value` then holds
// the number read before the failing character. The empty text is 0.
bool TryBaseToInt(const std::wstring& text, uint32_t base, uint32_t& value);

// The host of the product's web service, which the update check asks and the
// error reports go to. No service of ours runs yet, so the name lies under the
// reserved top-level domain "invalid" (RFC 6761), which never resolves: both
// fail at their reachability test and send nothing, rather than hand the
// installed plug-ins and the users' error texts to a server we do not run.
// Whoever runs the service puts its host name here.
inline constexpr wchar_t ProductWebHost[] = L"zentavo.invalid";
// The product's web site (pages "plugins.php", "devtools.php" below it), only
// ever opened in the user's browser.
inline constexpr wchar_t ProductWebSite[] = L"https://www.example.org/zentavo/";
inline constexpr wchar_t PluginsPage[] = L"plugins.php";
inline constexpr wchar_t DevToolsPage[] = L"devtools.php";
// A page of the product's web site.
inline std::wstring ProductWebPage(const wchar_t* page) { return ProductWebSite + std::wstring(page); }

// Addresses kept in the binary in scrambled form, so that they cannot be found
// and replaced by a plain text search. Scrambling and unscrambling are the same
// operation; ScrambleString runs at compile time.
constexpr wchar_t ScrambleKey(size_t index) { return wchar_t(0x80 | ((index * 37 + 11) & 0x7F)); }
template <size_t N>
constexpr std::array<wchar_t, N - 1> ScrambleString(const wchar_t (&plain)[N]) {
  std::array<wchar_t, N - 1> out{};
  for (size_t i = 0; i + 1 < N; ++i) out[i] = wchar_t(plain[i] ^ ScrambleKey(i));
  return out;
}
std::wstring UnscrambleString(std::wstring_view scrambled);

// The donation page that the donate pictures of the dialogs open.
std::wstring DonationPageAddress();

}  // namespace zv
