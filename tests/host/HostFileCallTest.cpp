// The file calls through the test host: both directions of a rename or
// move, a get that moves, the runner's boxes and panel lines as the host
// sees them, which sources a move may delete, and a destination that runs
// full part way through a save.
#include <gtest/gtest.h>

#include "host/TestHost.h"
#include "platform/Module.h"
#include "platform/TextConv.h"
#include "support/GuiDriver.h"
#include "support/HostWindowThread.h"

namespace zvtest {
namespace {

constexpr char SettingsEntry[] = "\\Press enter here to display settings...";

// Copies and moves from the batch's folder and into it (the old path outside
// it); a virtual side ends the call before anything is read or written.
TEST(HostFileCalls, RenMovCopiesAndMovesBothWaysAndRefusesVirtualSides) {
  TTestHost host(TPipe{{"passthru", {}}});
  for (const wchar_t* dir : {L"view", L"other"}) ::CreateDirectoryW((host.Work / dir).c_str(), nullptr);
  const struct {
    const char* What;
    std::wstring Old, New;  // below the work folder; empty: a virtual path
    BOOL Move;
    int Result;
  } rows[] = {
      {"from the view, copied", L"view\\a.txt", L"other\\a2.txt", FALSE, fsOk},
      {"into the view, copied", L"other\\b.txt", L"view\\b2.txt", FALSE, fsOk},
      {"into the view, moved", L"other\\c.txt", L"view\\c2.txt", TRUE, fsOk},
      {"old side virtual", L"", L"view\\d2.txt", TRUE, fsUserAbort},
      {"new side virtual", L"view\\e.txt", L"", TRUE, fsUserAbort},
  };
  const auto bytes = [](size_t row) { return Bytes(1000 + row, static_cast<unsigned char>(row)); };
  for (size_t i = 0; i < std::size(rows); ++i)
    if (!rows[i].Old.empty()) WriteFileBytes(host.Work / rows[i].Old, bytes(i));
  host.Operate({opRenMov, host.Work / L"view", [&] {
    for (const auto& row : rows) {
      const std::string from = row.Old.empty() ? SettingsEntry : host.View(row.Old);
      const std::string to = row.New.empty() ? "\\" : host.View(row.New);
      EXPECT_EQ(host.Fs<int>("FsRenMovFile", from.c_str(), to.c_str(), row.Move, FALSE, nullptr), row.Result) << row.What;
    }
  }});
  EXPECT_TRUE(host.Boxes.empty());
  for (size_t i = 0; i < std::size(rows); ++i) {
    const auto& row = rows[i];
    SCOPED_TRACE(row.What);
    const bool done = row.Result == fsOk;
    EXPECT_TRUE(row.Old.empty() || Holds(host.Work / row.Old, bytes(i)) == !(done && row.Move));
    EXPECT_TRUE(row.New.empty() || Holds(host.Work / row.New, bytes(i)) == done);
  }
}

// A get that moves: the source goes once its output is written; it stays
// when the overwrite question is answered No or a failed save is ignored.
// The two boxes read as the runner words them.
TEST(HostFileCalls, GetMovesAndTheRunnersBoxes) {
  TTestHost host(TPipe{{"passthru", {}}});
  for (const wchar_t* dir : {L"view", L"local", L"local\\c.txt"}) ::CreateDirectoryW((host.Work / dir).c_str(), nullptr);
  WriteFileBytes(host.Work / L"local\\b.txt", {1});
  const TBytes bytes = Bytes(3000, 5);
  for (const std::wstring name : {L"a.txt", L"b.txt", L"c.txt"}) WriteFileBytes(host.Work / (L"view\\" + name), bytes);
  host.Operate({opGet, host.Work / L"view", [&] {
    for (const std::wstring name : {L"a.txt", L"b.txt", L"c.txt"})
      EXPECT_EQ(host.Fs<int>("FsGetFile", host.View(L"view\\" + name).c_str(),
                             host.Local(L"local\\" + name).c_str(), copyMove, nullptr),
                fsOk);
  }, L"Start", false, {IDNO, IDIGNORE}});
  EXPECT_EQ(host.Boxes, (std::vector<std::wstring>{
                            L"Confirm: The \"b.txt\" file already exists. Shall I overwrite it?",
                            L"Error: Failed to save the \"" + host.Work / L"local\\c.txt" + L"\" file."}));
  EXPECT_TRUE(Holds(host.Work / L"local\\a.txt", bytes));
  EXPECT_FALSE(FileExists(host.Work / L"view\\a.txt"));
  EXPECT_TRUE(Holds(host.Work / L"view\\b.txt", bytes));
  EXPECT_TRUE(Holds(host.Work / L"view\\c.txt", bytes));
}

// A run stopped after the first of a splitter's outputs: the next files run
// from their own sources, as if they came first, and each source goes once
// its own bytes are written; the stopped file's source stays.
TEST(HostMove, ASourceGoesOnlyWhenItsOwnRunReadIt) {
  TTestHost host({{"passthru", {L"Results=string:6 2"}}, {"rename", {L"Results=string:0 2"}}});
  for (const wchar_t* dir : {L"view", L"local"}) ::CreateDirectoryW((host.Work / dir).c_str(), nullptr);
  const TBytes a = Bytes(2000, 1), b = Bytes(3000, 2), c = Bytes(4000, 3);
  const struct { const wchar_t* Name; const TBytes& Data; int Result; } files[] = {
      {L"a.txt", a, fsUserAbort}, {L"b.txt", b, fsOk}, {L"c.txt", c, fsOk}};
  for (const auto& file : files) WriteFileBytes(host.Work / L"local" + L"\\" + file.Name, file.Data);
  host.Operate({opPut, host.Work / L"view", [&] {
    for (const auto& file : files)
      EXPECT_EQ(host.Fs<int>("FsPutFile", host.Local(std::wstring(L"local\\") + file.Name).c_str(),
                             host.View(std::wstring(L"view\\") + file.Name).c_str(), copyMove),
                file.Result);
  }});
  EXPECT_EQ(host.Boxes, std::vector<std::wstring>{L"Error: The \"rename\" plugin has cancelled the transformation "
                                                  L"due to an unknown error. The transformation process is "
                                                  L"terminating."});
  EXPECT_TRUE(Holds(host.Work / L"local\\a.txt", a));
  EXPECT_FALSE(FileExists(host.Work / L"view\\a.txt"));
  for (const auto& file : {files[1], files[2]}) {
    EXPECT_TRUE(Holds(host.Work / L"view\\" + file.Name, file.Data));
    EXPECT_FALSE(FileExists(host.Work / L"local\\" + file.Name));
  }
}

// The panel's line to the right of a caption ("Status:", "Memory usage:", ...).
std::wstring LineBeside(HWND window, const std::wstring& caption) {
  const HWND panel = FindChild(window, L"Zentavo progress"), label = panel ? FindChild(panel, caption) : nullptr;
  if (!label) return L"<no panel>";
  const RECT at = GetScreenRect(label);
  HWND nearest = nullptr;
  for (HWND child = ::GetWindow(panel, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    const RECT r = GetScreenRect(child);
    if (r.left > at.left && r.top <= at.bottom && r.bottom >= at.top &&
        (!nearest || r.left < GetScreenRect(nearest).left))
      nearest = child;
  }
  return nearest ? GetText(nearest) : L"<none>";
}

// The lines the runner writes, as the host's copy window shows them at each
// progress call, when the file calls run on that window's thread: two files
// into a merging stage (which renames its output), then the last pass.
TEST(HostPanel, StatusMemoryInputAndOutputLines) {
  TTestHost host(TPipe{{"merge", {L"Extension=string:out"}}});
  for (const wchar_t* dir : {L"view", L"local"}) ::CreateDirectoryW((host.Work / dir).c_str(), nullptr);
  for (const std::wstring name : {L"a.txt", L"b.txt"}) WriteFileBytes(host.Work / (L"local\\" + name), Bytes(100, 1));
  THostWindowThread copyWindow(400, 120);
  host.Start(opPut, host.Work / L"view");
  copyWindow.BringToForeground();
  std::vector<std::wstring> seen;  // status | input | output
  TTestHost::OnProgress = [&] {
    const std::wstring memory = LineBeside(copyWindow.Handle(), L"Memory usage:");
    EXPECT_TRUE(memory.size() >= 2 && memory.back() == L'%' &&
                memory.find_first_not_of(L"0123456789") == memory.size() - 1) << zv::WideToAnsi(memory);
    seen.push_back(LineBeside(copyWindow.Handle(), L"Status:") + L" | " + LineBeside(copyWindow.Handle(), L"Input:") +
                   L" | " + LineBeside(copyWindow.Handle(), L"Output:"));
  };
  copyWindow.Run([&] {
    for (const std::wstring name : {L"a.txt", L"b.txt"})
      EXPECT_EQ(host.Fs<int>("FsPutFile", host.Local(L"local\\" + name).c_str(),
                             host.View(L"view\\" + name).c_str(), 0),
                fsOk);
    host.Fs<void>("FsStatusInfo", host.View(L"view").c_str(), 1, opPut);
  });
  TTestHost::OnProgress = nullptr;
  const std::wstring inA = host.Work / L"local\\a.txt", inB = host.Work / L"local\\b.txt",
                     outA = host.Work / L"view\\a.txt", outAOut = host.Work / L"view\\a.out";
  EXPECT_EQ(seen, (std::vector<std::wstring>{
                      L"Transforming | " + inA + L" | " + outA,
                      L"Transforming | " + inA + L" | " + outAOut,
                      L"Transforming | " + inB + L" | " + outAOut,
                      L"Transforming | " + inB + L" | " + outAOut,
                      L"Post processing | No input | " + outAOut,
                      L"Post processing | No input | " + outAOut,
                      L"Writing output [100%] | No input | " + outAOut,
                  }));
  EXPECT_EQ(FindChild(copyWindow.Handle(), L"Zentavo progress"), nullptr);
}


// A destination that runs full part way through a 1 MiB output (a small
// tmpfs that the test run mounts): whatever the answer to the save-failure
// box, no short file stays under the output's name, and a move keeps its
// source.
TEST(HostSmallDisk, ASaveThatRunsOutOfSpaceLeavesNoFile) {
  const std::wstring disk = zv::GetModuleDir() + L"\\smalldisk";
  ULARGE_INTEGER size{};
  if (!::GetDiskFreeSpaceExW((disk + L"\\").c_str(), nullptr, &size, nullptr) || size.QuadPart > 1u << 20)
    GTEST_SKIP() << "no small disk at " << zv::WideToAnsi(disk) << ": the test run mounts one when run as root";
  const struct {
    const char* What;
    int Flags;
    std::vector<int> Answers;
    int Result;
  } rows[] = {
      {"a move, aborted", copyMove, {IDABORT}, fsUserAbort},
      {"a copy, ignored", 0, {IDIGNORE}, fsOk},
      {"a move, retried, then ignored", copyMove, {IDRETRY, IDIGNORE}, fsOk},
  };
  const TBytes data = Bytes(1 << 20, 9);
  const std::wstring view = disk + L"\\view", target = view + L"\\a.bin";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.What);
    TTestHost host(TPipe{{"passthru", {}}});
    ::CreateDirectoryW(view.c_str(), nullptr);
    WriteFileBytes(host.Work / L"a.bin", data);
    host.Operate({opPut, view, [&] {
      EXPECT_EQ(host.Fs<int>("FsPutFile", host.Local(L"a.bin").c_str(), TTestHost::HostPath(target).c_str(), row.Flags),
                row.Result);
    }, L"Start", false, row.Answers});
    EXPECT_EQ(host.Boxes,
              std::vector<std::wstring>(row.Answers.size(), L"Error: Failed to save the \"" + target + L"\" file."));
    EXPECT_FALSE(FileExists(target));
    EXPECT_TRUE(Holds(host.Work / L"a.bin", data));
    RemoveTree(view);
  }
}

}  // namespace
}  // namespace zvtest
