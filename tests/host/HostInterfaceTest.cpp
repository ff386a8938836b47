// The exports outside a batch: set-up, browsing, the action entries and the
// plain file operations, with the host's bad input.
#include <gtest/gtest.h>

#include <thread>

#include "host/TestHost.h"
#include "platform/TextConv.h"
#include "support/GuiDriver.h"

extern "C" {
#include "CallChecked.h"
}

namespace zvtest {
namespace {

constexpr char SettingsEntry[] = "\\Press enter here to display settings...";

std::vector<WIN32_FIND_DATAA> List(TTestHost& host, const char* path) {
  std::vector<WIN32_FIND_DATAA> entries(1);
  const HANDLE handle = host.Fs<HANDLE>("FsFindFirst", path, &entries[0]);
  if (handle == INVALID_HANDLE_VALUE) return {};
  for (WIN32_FIND_DATAA next{}; host.Fs("FsFindNext", handle, &next);) entries.push_back(next);
  host.Fs<int>("FsFindClose", handle);
  return entries;
}

TEST(HostInterface, ExportsKeepTheStackRootNameAndVersionTest) {
  TTestHost host({}, 2, 0, false);
  const uint32_t none[5] = {};
  const std::pair<const char*, int> exports[] = {  // name, argument count; FsInit last
      {"FsSetTime", 4}, {"FsSetAttr", 2}, {"FsMkDir", 1}, {"FsRemoveDir", 1}, {"FsDeleteFile", 1}, {"FsRenMovFile", 5},
      {"FsPutFile", 3}, {"FsGetFile", 4}, {"FsStatusInfo", 3}, {"FsExecuteFile", 3}, {"FsFindClose", 1}, {"FsFindNext", 2},
      {"FsFindFirst", 2}, {"FsGetDefRootName", 2}, {"FsSetDefaultParams", 1}, {"FsInit", 4}};
  for (const auto& [name, count] : exports)  // null arguments everywhere, before FsInit
    CallChecked(reinterpret_cast<const void*>(::GetProcAddress(host.Library, name)), count, none);
  EXPECT_EQ(StackFaults, 0);

  for (const auto& [maxLen, expected] : {std::pair{-1, "#"}, {0, "#"}, {1, ""}, {4, "Zen"}, {8, "Zentavo"}, {99, "Zentavo"}}) {
    char buffer[16] = "#";
    host.Fs<void>("FsGetDefRootName", buffer, maxLen);
    EXPECT_STREQ(buffer, expected) << maxLen;
  }
  // An older host (both parts below 2.40, signed) lists the root without a
  // listing start, and sees the action entries' size high word as 0.
  const struct { int High, Low; bool Old; } versions[] = {{1, 39, true}, {1, 40, false}, {2, 0, false}, {-1, -5, true}, {INT_MIN, 40, false}};
  for (const auto& v : versions) {
    TTestHost versioned({}, v.High, v.Low);
    const auto root = List(versioned, "\\");
    EXPECT_EQ(!root.empty(), v.Old) << v.High << "." << v.Low;
    EXPECT_TRUE(root.empty() || root.back().nFileSizeHigh == 0);
  }
}

TEST(HostBrowsing, RootDrivesFailuresAndRootListingBetweenRealEnumerationSteps) {
  TTestHost host;
  host.Fs<void>("FsStatusInfo", "\\", 0, opList);
  const auto root = List(host, "\\");
  ASSERT_GE(root.size(), 3u);
  for (size_t i = 0; i < root.size(); ++i) {
    const bool drive = i + 2 < root.size();
    EXPECT_EQ(root[i].dwFileAttributes, drive ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL) << root[i].cFileName;
    EXPECT_EQ(root[i].nFileSizeHigh, drive ? 0u : 0xFFFFFFFFu);
    EXPECT_EQ(root[i].ftLastWriteTime.dwHighDateTime, 0xFFFFFFFFu);
  }
  EXPECT_STREQ(root[root.size() - 2].cFileName, SettingsEntry + 1);
  EXPECT_STREQ(root.back().cFileName, "Press enter here to display help...");
  WIN32_FIND_DATAA direct{};
  ::FindClose(::FindFirstFileA("C:\\*.*", &direct));
  EXPECT_STREQ(List(host, "\\C: (x)").at(0).cFileName, direct.cFileName);  // a drive entry lists its root

  const std::string tooLong = host.View(std::wstring(300, L'x'));
  for (const char* path : {static_cast<const char*>(nullptr), "", "\\C: (x)\\no such dir", tooLong.c_str()}) {
    WIN32_FIND_DATAA data{};
    EXPECT_EQ(host.Fs<HANDLE>("FsFindFirst", path, &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES)) << (path ? path : "null");
  }
  EXPECT_EQ(host.Fs<HANDLE>("FsFindFirst", "\\", nullptr), INVALID_HANDLE_VALUE);
  for (HANDLE never : {static_cast<HANDLE>(nullptr), reinterpret_cast<HANDLE>(0x1234), INVALID_HANDLE_VALUE}) {
    WIN32_FIND_DATAA data{};
    EXPECT_FALSE(host.Fs("FsFindNext", never, &data));
    EXPECT_EQ(host.Fs<int>("FsFindClose", never), 0);
  }

  // A real directory's enumeration stays open while the root is listed on the
  // same thread and on another: each gets its own entries.
  for (const wchar_t* name : {L"a", L"b", L"c"}) WriteFileBytes(host.Work / name, {1});
  WIN32_FIND_DATAA data{};
  const HANDLE real = host.Fs<HANDLE>("FsFindFirst", host.View().c_str(), &data);
  std::vector<std::string> names{data.cFileName};
  const auto listRoot = [&] { EXPECT_STREQ(List(host, "\\").back().cFileName, "Press enter here to display help..."); };
  listRoot();
  names.push_back(host.Fs("FsFindNext", real, &data) ? data.cFileName : "");
  std::thread(listRoot).join();
  while (host.Fs("FsFindNext", real, &data)) names.push_back(data.cFileName);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a", "b", "c"}));
  EXPECT_EQ(host.Fs<int>("FsFindClose", real), 0);
  EXPECT_FALSE(host.Fs("FsFindNext", real, &data));  // closed

  host.Fs<void>("FsStatusInfo", "\\", 0, opGet);  // outside a listing the root and the drives are empty
  EXPECT_TRUE(List(host, "\\").empty());
  EXPECT_TRUE(List(host, "\\C: (x)").empty());
}

TEST(HostOperations, PlainOperationsActOnRealPathsOnly) {
  TTestHost host;
  WriteFileBytes(host.Work / L"f", {1});
  for (const wchar_t* dir : {L"empty", L"hidden"}) ::CreateDirectoryW((host.Work / dir).c_str(), nullptr);
  ::SetFileAttributesW((host.Work / L"hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
  FILETIME time{0x12345678, 0x01D00000};
  const auto at = [&](const wchar_t* name) { return host.View(name); };
  const struct { const char* What; BOOL Result, Expected; } cases[] = {  // in order
      {"delete a file", host.Fs("FsDeleteFile", at(L"f").c_str()), TRUE},
      {"delete a missing file", host.Fs("FsDeleteFile", at(L"f").c_str()), FALSE},
      {"delete an action entry", host.Fs("FsDeleteFile", SettingsEntry), -1},
      {"delete null", host.Fs("FsDeleteFile", nullptr), -1},
      {"remove a drive entry", host.Fs("FsRemoveDir", "\\C: (x)"), -1},
      {"remove an empty directory", host.Fs("FsRemoveDir", at(L"empty").c_str()), TRUE},
      {"make a directory", host.Fs("FsMkDir", at(L"made").c_str()), TRUE},
      {"make the root", host.Fs("FsMkDir", "\\"), -1},
      {"attributes 0 of a directory", host.Fs("FsSetAttr", at(L"hidden").c_str(), 0), TRUE},
      {"attributes of a missing file", host.Fs("FsSetAttr", at(L"missing").c_str(), FILE_ATTRIBUTE_READONLY), FALSE},
      {"time of a directory", host.Fs("FsSetTime", at(L"made").c_str(), nullptr, nullptr, &time), TRUE},
      {"time of a missing file", host.Fs("FsSetTime", at(L"missing").c_str(), nullptr, nullptr, &time), FALSE},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Result, c.Expected) << c.What;
  EXPECT_FALSE(FileExists(host.Work / L"f"));
  EXPECT_EQ(::GetFileAttributesW((host.Work / L"hidden").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  WIN32_FILE_ATTRIBUTE_DATA made{};
  ::GetFileAttributesExW((host.Work / L"made").c_str(), GetFileExInfoStandard, &made);
  EXPECT_EQ(made.ftLastWriteTime.dwLowDateTime, time.dwLowDateTime);
}

TEST(HostOperations, ExecuteOpensRealFilesAndTheSettingsDialog) {
  TTestHost host;
  const std::string script = "@cd > part\r\n@move part cwd\r\n";  // writes the folder it runs in, whole
  WriteFileBytes(host.Work / L"cwd.bat", std::vector<unsigned char>(script.begin(), script.end()));
  const struct { const char* Name; const char* Verb; int Expected; } cases[] = {
      {nullptr, nullptr, 0}, {"", "open", 0}, {"\\C: (x)", "open", 0}, {"\\C: (x)\\no such file.exe", "open", 1},
      {"\\C: (x)\\no such file.exe", "Open", 0}, {"\\Press enter here to display help...", "edit", 0}};
  for (const auto& c : cases) EXPECT_EQ(host.Fs<int>("FsExecuteFile", host.MainWindow, c.Name, c.Verb), c.Expected) << c.Name;
  EXPECT_EQ(host.Fs<int>("FsExecuteFile", host.MainWindow, host.View(L"cwd.bat").c_str(), "open"), 0);
  WaitUntil([&] { return FileExists(host.Work / L"cwd"); }, "the script");
  const std::vector<unsigned char> cwd = ReadFileBytes(host.Work / L"cwd");
  EXPECT_EQ(zv::AnsiToWide(std::string(cwd.begin(), cwd.end())), host.Work.Path() + L"\r\n");

  // The Settings dialog, centred over the host's window.
  for (const auto& [name, verb] : {std::pair{SettingsEntry, "open"}, {SettingsEntry, "properties"}, {"\\", "properties"}}) {
    bool centred = false;
    TGuiDriver driver([&] {
      const HWND form = WaitForWindow(L"Zentavo Settings");
      centred = CentredOver(form, host.MainWindow);
      ClickButton(form, L"Save && Close");
    });
    EXPECT_EQ(host.Fs<int>("FsExecuteFile", host.MainWindow, name, verb), 0);
    driver.Join();
    EXPECT_TRUE(centred) << name << " " << verb;
  }
}

}  // namespace
}  // namespace zvtest
