// Batches through the test host: the Processor dialog, the file calls on
// the host's worker thread, the panel in its copy window, the last pass, and
// what a move may delete.
#include <gtest/gtest.h>

#include "host/TestHost.h"
#include "platform/TextConv.h"
#include "support/GuiDriver.h"
#include "support/HostWindowThread.h"

namespace zvtest {
namespace {

// Through two stages (the first drops the third file, the second renames
// every output): the local directory left empty by the dropped file goes at
// the end.
TEST(HostBatch, GetOfATreeThroughTwoStages) {
  TTestHost host({{"passthru", {L"Results=string:2 2 7"}}, {"rename", {L"Extension=string:out"}}});
  const TBytes a = Bytes(5000, 1), b = Bytes(70000, 2);
  for (const wchar_t* dir : {L"src", L"src\\one", L"src\\two", L"dst", L"dst\\one", L"dst\\two"})
    ::CreateDirectoryW((host.Work / dir).c_str(), nullptr);
  WriteFileBytes(host.Work / L"src\\a.txt", a);
  WriteFileBytes(host.Work / L"src\\one\\b.txt", b);
  WriteFileBytes(host.Work / L"src\\two\\c.txt", a);
  host.Operate({opGet, host.Work / L"src", [&] {
    for (const std::wstring name : {L"a.txt", L"one\\b.txt", L"two\\c.txt"})
      EXPECT_EQ(host.Fs<int>("FsGetFile", host.View(L"src\\" + name).c_str(), host.Local(L"dst\\" + name).c_str(), 0, nullptr), fsOk);
  }});
  EXPECT_TRUE(host.ProcessorCentred);
  EXPECT_TRUE(host.PanelDocked);
  EXPECT_EQ(ReadFileBytes(host.Work / L"dst\\a.out"), a);
  EXPECT_EQ(ReadFileBytes(host.Work / L"dst\\one\\b.out"), b);
  EXPECT_FALSE(FileExists(host.Work / L"dst\\two"));
  EXPECT_TRUE(FileExists(host.Work / L"src\\two\\c.txt"));
}

// A put that moves, a rename inside the view, a merge written by
// the last pass, and a start cancelled in the dialog (its file calls abort
// and directories are made again); each ended in both orders of hiding the
// copy window and ending the operation.
TEST(HostBatch, PutRenameSplitMergeAndCancel) {
  const TBytes a = Bytes(3000, 3), b = Bytes(4000, 4), ab = [&] { TBytes j = a; j.insert(j.end(), b.begin(), b.end()); return j; }();
  const struct {
    const char* What;
    const char* Stage;
    int Operation;
    const wchar_t* Answer;
    std::vector<std::pair<std::wstring, TBytes>> Expected;  // below the view; no bytes: no such file
  } cases[] = {
      {"put move", "passthru", opPut, L"Start", {{L"a.txt", a}, {L"b.txt", b}, {L"..\\local\\a.txt", {}}}},
      {"rename", "passthru", opRenMov, L"Start", {{L"a2.txt", a}, {L"b2.txt", b}, {L"a.txt", {}}}},
      {"merge", "merge", opPut, L"Start", {{L"a.txt", ab}, {L"b.txt", {}}}},
      {"cancel", "passthru", opPut, L"Cancel", {{L"a.txt", {}}, {L"..\\local\\a.txt", a}}},
  };
  for (const bool endBeforeHide : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.What) + (endBeforeHide ? ", end before hide" : ", hide before end"));
      TTestHost host(TPipe{{c.Stage, {}}});
      for (const wchar_t* dir : {L"view", L"local"}) ::CreateDirectoryW((host.Work / dir).c_str(), nullptr);
      const std::wstring from = c.Operation == opRenMov ? L"view\\" : L"local\\";
      WriteFileBytes(host.Work / (from + L"a.txt"), a);
      WriteFileBytes(host.Work / (from + L"b.txt"), b);
      const bool started = std::wstring(c.Answer) == L"Start";
      host.Operate({c.Operation, host.Work / L"view", [&] {
        for (const std::wstring name : {L"a", L"b"}) {
          EXPECT_EQ(c.Operation == opRenMov
                        ? host.Fs<int>("FsRenMovFile", host.View(L"view\\" + name + L".txt").c_str(),
                                             host.View(L"view\\" + name + L"2.txt").c_str(), TRUE, FALSE, nullptr)
                        : host.Fs<int>("FsPutFile", host.Local(L"local\\" + name + L".txt").c_str(),
                                          host.View(L"view\\" + name + L".txt").c_str(), copyMove),
                    started ? fsOk : fsUserAbort);
        }
        EXPECT_EQ(host.Fs("FsMkDir", host.View(L"view\\made").c_str()), started ? -1 : TRUE);  // the runner makes them
      }, c.Answer, endBeforeHide});
      EXPECT_EQ(FileExists(host.Work / L"view\\made"), !started);
      for (const auto& [name, bytes] : c.Expected) {
        const std::wstring path = host.Work / (L"view\\" + name);
        EXPECT_TRUE(bytes.empty() ? !FileExists(path) : Holds(path, bytes)) << zv::WideToAnsi(name);
      }
    }
  }
}

// A stage that leaves an invalid-operation flag pending, which the host's
// control word unmasks, before its progress callbacks, its reads and writes
// and its normal return: the file is copied whole and nothing is reported,
// and the library's own arithmetic afterwards (the save's percentages, on
// the host's thread) raises nothing.
TEST(HostBatch, AStageLeavingAFloatingPointFlagPendingHasNotFailed) {
  TTestHost host({{"passthru", {L"Fault=number:3", L"Steps=number:4"}}});
  const TBytes a = Bytes(300000, 5);
  WriteFileBytes(host.Work / L"a.txt", a);
  ::CreateDirectoryW((host.Work / L"dst").c_str(), nullptr);
  uint16_t controlWord = 0, flags = 0;
  host.Operate({opGet, host.Work.Path(), [&] {
    EXPECT_EQ(host.Fs<int>("FsGetFile", host.View(L"a.txt").c_str(), host.Local(L"dst\\a.txt").c_str(), 0, nullptr), fsOk);
    controlWord = X87ControlWord();
    flags = X87PendingFlags();
  }});
  EXPECT_EQ(host.Boxes, std::vector<std::wstring>{});
  EXPECT_TRUE(Holds(host.Work / L"dst\\a.txt", a));
  EXPECT_EQ(controlWord, HostControlWordRead);
  EXPECT_EQ(flags & 0x0D, 0) << "an unmasked flag left for the host";
  EXPECT_GE(TTestHost::Progress.size(), 2u);
}

// What a move leaves. It keeps every source whose data was written nowhere
// and still answers success for it: an overwrite declined, a failed save
// ignored, a source saved over itself, data a merging stage held when the
// last file failed (the batch then ends without the last pass); once the
// last pass has written the merged data, its source goes. When the host's
// callback answers abort, inside a stage's progress or while a 3 MiB output
// is saved, the move stops and nothing reaches the destination.
TEST(HostBatch, WhatAMoveLeaves) {
  const struct {
    const char* What;
    const char* Stage;
    const wchar_t* View;    // below the work folder; "" is the source's own folder
    const wchar_t* Target;  // what stands at the destination: "file", "directory" or ""
    size_t Size;
    bool Abort, FailingLastFile, SourceStays;
    std::vector<int> Boxes;  // the overwrite question, the save failure, the missing input
  } cases[] = {
      {"overwrite declined", "passthru", L"\\view", L"file", 2000, false, false, true, {IDNO}},
      {"save failed, ignored", "passthru", L"\\view", L"directory", 2000, false, false, true, {IDIGNORE}},
      {"saved over itself", "passthru", L"", L"", 2000, false, false, true, {IDYES}},
      {"merged, last file failed", "merge", L"\\view", L"", 2000, false, true, true, {IDOK}},
      {"merged, last pass wrote it", "merge", L"\\view", L"", 2000, false, false, false, {}},
      {"aborted in the stage", "slow", L"\\view", L"", 3 << 20, true, false, true, {}},
      {"aborted while saved", "passthru", L"\\view", L"", 3 << 20, true, false, true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TTestHost host(TPipe{{c.Stage, {}}});
    const std::wstring view = host.Work.Path() + c.View, target = view + L"\\a.txt";
    const TBytes a = Bytes(c.Size, 8);
    ::CreateDirectoryW(view.c_str(), nullptr);
    WriteFileBytes(host.Work / L"a.txt", a);
    if (std::wstring(c.Target) == L"file") WriteFileBytes(target, {1});
    if (std::wstring(c.Target) == L"directory") ::CreateDirectoryW(target.c_str(), nullptr);
    TTestHost::AbortProgress = c.Abort;
    host.Operate({opPut, view, [&] {
      const auto put = [&](const wchar_t* from, const std::wstring& to) {
        return host.Fs<int>("FsPutFile", host.Local(from).c_str(), TTestHost::HostPath(to).c_str(), copyMove);
      };
      EXPECT_EQ(put(L"a.txt", target), c.Abort ? fsUserAbort : fsOk);
      if (c.FailingLastFile) {
        EXPECT_EQ(put(L"gone", view + L"\\g"), fsUserAbort);
      }
    }, L"Start", false, c.Boxes});
    EXPECT_EQ(host.Boxes.size(), c.Boxes.size());
    EXPECT_EQ(Holds(host.Work / L"a.txt", a), c.SourceStays);
    EXPECT_EQ(Holds(target, a), !c.SourceStays || *c.View == 0);  // written, or the source itself
    for (const auto& call : TTestHost::Progress) EXPECT_TRUE(call.PluginNr == 7 && call.Percent >= 0 && call.Percent <= 100);
  }
}

// A transforming start while a batch runs shows no dialog and is balanced by
// the next end; an end without a start does nothing; the next batch's dialog
// opens with the pipe stored when the last one started.
TEST(HostBatch, NestedStartsAndStrayCalls) {
  TTestHost host(TPipe{{"passthru", {}}});
  const std::string made = host.View(L"made");
  host.Fs<void>("FsStatusInfo", host.View().c_str(), 1, opGet);
  host.Start(opGet, host.Work.Path());
  TGuiDriver noDialog([] {
    for (int i = 0; i < 30; ++i, ::Sleep(10))
      if (const HWND form = ::FindWindowW(nullptr, L"Zentavo Processor")) {  // asks no window, busy or not
        ADD_FAILURE() << "a second dialog";
        ClickButton(form, L"Cancel");
      }
  });
  host.Fs<void>("FsStatusInfo", host.View().c_str(), 0, opPut);
  noDialog.Join();
  for (const BOOL expected : {-1, -1, TRUE}) {  // while the batch runs no directory is made
    EXPECT_EQ(host.Fs("FsMkDir", made.c_str()), expected);
    host.Fs<void>("FsStatusInfo", host.View().c_str(), 1, opGet);
  }
  host.Start(opPut, host.Work.Path());  // the next one starts with the pipe stored by the last
  host.Fs<void>("FsStatusInfo", host.View().c_str(), 1, opPut);
}

// The library is freed while the host's copy window, on a thread of its
// own that is busy, still shows the batch's panel: the window gets its own
// procedure back and the panel goes when the thread gets to it.
TEST(HostBatch, UnloadWhileAPanelLivesOnTheHostWindowsThread) {
  TTestHost host(TPipe{{"passthru", {}}});
  THostWindowThread copyWindow(400, 120);
  WriteFileBytes(host.Work / L"a.txt", Bytes(10, 10));
  host.Start(opGet, host.Work.Path());
  copyWindow.BringToForeground();
  EXPECT_EQ(host.Fs<int>("FsGetFile", host.View(L"a.txt").c_str(), host.Local(L"b.txt").c_str(), 0, nullptr), fsOk);
  WaitUntil([&] { copyWindow.Sync(); return FindChild(copyWindow.Handle(), L"Processing:") != nullptr; }, "the panel");
  copyWindow.Hold();
  host.Unload([&] {  // the host never ended its operation
    copyWindow.Release();
    copyWindow.Sync();
  });
  EXPECT_EQ(::GetWindowLongPtrW(copyWindow.Handle(), GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(THostWindowThread::OwnProc()));
  EXPECT_EQ(FindChild(copyWindow.Handle(), L"Processing:"), nullptr);
}

}  // namespace
}  // namespace zvtest
