#include "host/TestHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/Module.h"
#include "platform/TextConv.h"
#include "support/GuiDriver.h"

namespace zvtest {

std::vector<TTestHost::TProgressCall> TTestHost::Progress;
bool TTestHost::AbortProgress = false;
std::function<void()> TTestHost::OnProgress;

namespace {

// The test plug-ins the .cfg installs: their tags, by installation index from 1.
const char* const Fixtures[] = {"passthru", "rename", "merge", "slow", "split"};

std::wstring FixtureFile(const char* tag) { return L"Zv" + std::wstring(1, towupper(*tag)) + zv::AnsiToWide(tag + 1) + L".zvx"; }

int WINAPI RecordProgress(int pluginNr, char*, char*, int percent) {
  TTestHost::Progress.push_back({pluginNr, percent});
  if (TTestHost::OnProgress) TTestHost::OnProgress();
  return TTestHost::AbortProgress && percent > 0 && percent < 100;
}

void WINAPI NeverCalled() { ADD_FAILURE() << "the log or request callback was called"; }

void WriteConfig(const std::wstring& path, const std::wstring& folder, const TPipe& pipe) {
  std::wstring text = L"[Settings]\r\nCheckForUpdates=number:0\r\nTempFolder=string:" + folder +
                      L"\\temp\r\nStoreTransformPipe=number:1\r\n[Plugins]\r\n";
  for (size_t i = 0; i < std::size(Fixtures); ++i) text += std::to_wstring(i + 1) + L"=string:.\\" + FixtureFile(Fixtures[i]) + L"|" + zv::AnsiToWide(Fixtures[i]) + L"\r\n";
  for (size_t position = 0; position < pipe.size(); ++position) {
    const auto index = std::find(std::begin(Fixtures), std::end(Fixtures), pipe[position].Fixture) - Fixtures + 1;
    text += L"[TransformPipe\\Stored\\[" + std::to_wstring(position + 1) + L"][" + std::to_wstring(index) + L"]" +
            zv::AnsiToWide(pipe[position].Fixture) + L"]\r\n";
    for (const std::wstring& line : pipe[position].Settings) text += line + L"\r\n";
  }
  std::vector<unsigned char> bytes{0xFF, 0xFE};
  for (const wchar_t c : text) bytes.insert(bytes.end(), {static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8)});
  WriteFileBytes(path, bytes);
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(window, msg, wParam, lParam);
}

HWND MakeWindow(const wchar_t* className, int x, int y) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = PlainWindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = className;
  ::RegisterClassExW(&wc);  // fails harmlessly for the second host
  return ::CreateWindowExW(0, className, className, WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, 500, 300, nullptr,
                           nullptr, wc.hInstance, nullptr);
}

void Pump() {
  for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) ::DispatchMessageW(&msg);
}

bool HasPanel(HWND window) { return FindChild(window, L"Processing:") != nullptr; }

// Windows (top-level and message-only) of a module.
size_t WindowsOf(HMODULE module) {
  size_t count = 0;
  for (HWND parent : {static_cast<HWND>(nullptr), HWND_MESSAGE})
    for (HWND window = ::FindWindowExW(parent, nullptr, nullptr, nullptr); window;
         window = ::FindWindowExW(parent, window, nullptr, nullptr))
      count += reinterpret_cast<HMODULE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE)) == module;
  return count;
}

}  // namespace

bool CentredOver(HWND window, HWND over) {
  const RECT a = GetScreenRect(window), b = GetScreenRect(over);
  return std::abs((a.left + a.right) - (b.left + b.right)) <= 2 && std::abs((a.top + a.bottom) - (b.top + b.bottom)) <= 2;
}

TTestHost::TTestHost(TPipe storedPipe, int interfaceHigh, int interfaceLow, bool init) {
  static std::atomic<int> loads{0};
  // The build tree: the library at its top, the test plug-ins below tests.
  const std::wstring build = zv::GetModuleDir() + L"\\..";
  FLibraryPath = Folder / (L"Zentavo" + std::to_wstring(++loads) + L".wfx");
  ::CopyFileW((build + L"\\Zentavo.wfx").c_str(), FLibraryPath.c_str(), FALSE);
  for (const char* fixture : Fixtures) {
    FFixturePaths.push_back(Folder / FixtureFile(fixture));
    ::CopyFileW((build + L"\\tests\\fixtures\\" + FixtureFile(fixture)).c_str(), FFixturePaths.back().c_str(), FALSE);
  }
  ::CreateDirectoryW((Folder / L"temp").c_str(), nullptr);
  WriteConfig(Folder / L"Zentavo.cfg", Folder.Path(), storedPipe);
  Progress.clear();
  AbortProgress = false;
  OnProgress = nullptr;

  MainWindow = MakeWindow(L"TTOTAL_CMD", 200, 150);
  Library = ::LoadLibraryW(FLibraryPath.c_str());
  if (!Library) throw std::runtime_error("the library did not load");
  int32_t params[3 + MAX_PATH / 4] = {static_cast<int32_t>(sizeof(params)), interfaceLow, interfaceHigh};
  Fs<void>("FsSetDefaultParams", params);
  if (init) Fs<int>("FsInit", 7, &RecordProgress, &NeverCalled, &NeverCalled);
}

TTestHost::~TTestHost() {
  if (!FUnloaded) Unload();
  ::DestroyWindow(MainWindow);
}

std::string TTestHost::HostPath(const std::wstring& realPath) {
  std::string path = "\\";
  path += zv::WideToAnsi(realPath.substr(0, 2));
  path += " (test)";
  return path += zv::WideToAnsi(realPath.substr(2));
}

std::string TTestHost::Local(const std::wstring& name) const { return zv::WideToAnsi(Work / name); }

void TTestHost::Start(int operation, const std::wstring& remoteDir, const std::wstring& answer) {
  TGuiDriver driver([&] {
    const HWND form = WaitForWindow(L"Zentavo Processor");
    if (answer == L"Start") WaitUntil([&] { return IsEnabled(FindChild(form, L"Start")); }, "the stored pipe");
    ProcessorCentred = CentredOver(form, MainWindow);
    ClickButton(form, answer);
  });
  Fs<void>("FsStatusInfo", HostPath(remoteDir).c_str(), 0, operation);
  driver.Join();
}

void TTestHost::Operate(const TOperation& op) {
  const std::string dir = HostPath(op.RemoteDir);
  Start(op.Operation, op.RemoteDir, op.Answer);

  const HWND copyWindow = MakeWindow(L"Copying", 300, 250);
  ::SetForegroundWindow(copyWindow);
  const HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread worker([&] {
    const TX87ControlWord floatingPoint;
    {
      TBoxAnswerer answerer(op.BoxAnswers);
      if (op.Files) op.Files();
      if (op.EndBeforeHide) Fs<void>("FsStatusInfo", dir.c_str(), 1, op.Operation);
      for (const auto& box : answerer.Boxes) Boxes.push_back(box.Caption + L": " + box.Text);
    }
    ::SetEvent(done);
  });
  for (PanelDocked = false; ::MsgWaitForMultipleObjects(1, &done, FALSE, 60000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1;) {
    Pump();
    PanelDocked = PanelDocked || HasPanel(copyWindow);
  }
  worker.join();
  ::CloseHandle(done);
  Pump();
  ::ShowWindow(copyWindow, SW_HIDE);
  if (!op.EndBeforeHide) Fs<void>("FsStatusInfo", dir.c_str(), 1, op.Operation);
  Pump();
  // Whichever came first, the panel is gone and the window has its own procedure.
  EXPECT_FALSE(HasPanel(copyWindow));
  EXPECT_EQ(::GetWindowLongPtrW(copyWindow, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(PlainWindowProc));
  ::DestroyWindow(copyWindow);
}

void TTestHost::Unload(const std::function<void()>& afterFree) {
  FUnloaded = true;
  EXPECT_TRUE(::FreeLibrary(Library));
  if (afterFree) afterFree();
  Pump();
  EXPECT_EQ(::GetModuleHandleW(FLibraryPath.c_str()), nullptr);
  EXPECT_EQ(WindowsOf(Library), 0u);
  for (const std::wstring& fixture : FFixturePaths) EXPECT_EQ(::GetModuleHandleW(fixture.c_str()), nullptr);
  EXPECT_TRUE(ListFiles(Folder / L"temp", L"zv*").empty());
}

}  // namespace zvtest
