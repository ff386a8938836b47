// Saving what leaves the pipe (overwrite question, failed saves, refused
// names, aborts), what a run leaves behind, plug-in failures and the memory
// budget.
#include <gmock/gmock.h>

#include <algorithm>

#include "engine/HostProgress.h"
#include "engine/ProgressLines.h"
#include "engine/pipe/PipeTest.h"
#include "platform/WinHandle.h"
#include "platform/ZvError.h"

using namespace zvtest;
using zv::mrCancel, zv::mrNo, zv::mrNoToAll, zv::mrYes, zv::mrYesToAll;

namespace {

// The host's progress callback and the panel's lines, recorded; the host
// asks to abort from a percentage on.
struct TRecordingHost : zv::IHostProgress, zv::IProgressLines {
  TRecordingHost() { zv::HostProgress = this, zv::ProgressLines = this; }
  ~TRecordingHost() override { zv::HostProgress = nullptr, zv::ProgressLines = nullptr; }
  bool CallHostProgress(const std::wstring& source, const std::wstring&, int32_t percent) override {
    Source = source;
    Percents.push_back(percent);
    return percent >= AbortAt;
  }
  void SetLoadText(const std::wstring& text) override { Lines[0] = text; }
  void SetStatusText(const std::wstring& text) override { Lines[1] = text; }
  void SetProcessingText(const std::wstring& text) override { Lines[2] = text, Processing.push_back(text); }
  void SetInputText(const std::wstring& text) override { Lines[3] = text; }
  void SetOutputText(const std::wstring& text) override { Lines[4] = text; }

  int32_t AbortAt = 101;
  std::wstring Source, Lines[5];
  std::vector<int32_t> Percents;
  std::vector<std::wstring> Processing;
};

std::string Joined(const std::vector<std::wstring>& files) {
  std::string all;
  for (const std::wstring& file : files) all.append(all.empty() ? "" : "|").append(TPipeTest::ReadText(file));
  return all;
}

}  // namespace

TEST_F(TPipeTest, AsksBeforeOverwritingAndKeepsTheAnswersToAll) {
  const struct {
    const char* Case;
    std::vector<int> Answers;
    bool Ended;
    std::string Files;  // a_1, a_2, a_3 (a_1 and a_3 exist)
    size_t Questions, Unwritten;
  } rows[] = {
      {"yes, yes", {mrYes, mrYes}, true, "a|b|c", 2, 0},
      {"no, yes", {mrNo, mrYes}, true, "old|b|c", 2, 1},
      {"no, no", {mrNo, mrNo}, true, "old|b|old", 2, 2},
      {"no to all", {mrNoToAll}, true, "old|b|old", 1, 2},
      {"yes to all", {mrYesToAll}, true, "a|b|c", 1, 0},
      {"cancel", {mrCancel}, false, "old|<none>|old", 1, 0},
      {"closed", {0}, false, "old|<none>|old", 1, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    Restart();
    const std::vector<std::wstring> files = {Out() + L"\\a_1.txt", Out() + L"\\a_2.txt", Out() + L"\\a_3.txt"};
    WriteText(files[0], "old");
    WriteText(files[2], "old");
    Pipe(Stage(L"Split", {{L"Parts", 3}}));
    Answer(row.Answers);
    EXPECT_EQ(RunFile(L"a.txt", "abc"), row.Ended);
    EXPECT_EQ(Joined(files), row.Files);
    EXPECT_EQ(Outcome().Unwritten.size(), row.Unwritten);
    const std::vector<std::wstring> boxes = Said();
    ASSERT_EQ(boxes.size(), row.Questions);
    EXPECT_EQ(boxes[0], L"Confirm: The \"a_1.txt\" file already exists. Shall I overwrite it?");
  }
}

TEST_F(TPipeTest, AFailedSaveIsRetriedIgnoredOrAborted) {
  const struct {
    const char* Case;
    int Answer;
    bool Ended;
    std::string Content;
    size_t Unwritten;
  } rows[] = {
      {"retry after the target was released", IDRETRY, true, "new", 0},
      {"ignore", IDIGNORE, true, "old", 1},
      {"abort", IDABORT, false, "old", 0},
  };
  const std::wstring target = Out() + L"\\a.txt";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    Restart();
    WriteText(target, "old");
    zv::TScopedFile lock(::CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    Pipe(Stage(L"Passthru"));
    Answer({mrYes, row.Answer}, [&](const TBoxAnswerer::TBox& box) {
      if (box.Caption == L"Error") lock.Reset();
    });
    EXPECT_EQ(RunFile(L"a.txt", "new"), row.Ended);
    lock.Reset();
    EXPECT_EQ(ReadText(target), row.Content);
    EXPECT_EQ(Outcome().Unwritten.size(), row.Unwritten);
    EXPECT_EQ(Said().size(), 2u);
  }

  // An output named after its source, which is still open for reading.
  Restart();
  WriteText(target, "source");
  Pipe(Stage(L"Passthru", {{L"Results", L"4"}}));
  Answer({mrYes, IDIGNORE});
  const zv::TFileProperties both = Props(Out(), L"a.txt");
  EXPECT_TRUE(Runner->Run(&both, &both));
  EXPECT_EQ(ReadText(target), "source");
  EXPECT_EQ(Outcome().Unwritten, std::vector<std::wstring>{target});
  EXPECT_EQ(Said(), (std::vector<std::wstring>{L"Confirm: The \"a.txt\" file already exists. Shall I overwrite it?",
                                                     L"Error: Failed to save the \"" + target + L"\" file."}));
}

TEST_F(TPipeTest, RefusesOutputNamesThatLeadElsewhere) {
  const struct {
    std::wstring Name, Extension, Path;
    std::wstring SavedAs;  // below out; empty: refused
  } rows[] = {
      {L"a:b", L"", L"", L""},          {L"nul", L"", L"", L""},
      {L"con", L"log", L"", L""},       {L"", L"", L"C:\\x", L""},
      {L"sub", L"", L"", L""},          {L"", L"", L"..\\up", L"a.txt"},
      {L"x", L"", L"deep\\er", L"deep\\er\\x.txt"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "name " << row.Name << " path " << row.Path);
    Restart();
    ::CreateDirectoryW((Out() + L"\\sub.txt").c_str(), nullptr);
    TPipeSettings names;
    const std::pair<const wchar_t*, std::wstring> fields[] = {
        {L"Name", row.Name}, {L"Extension", row.Extension}, {L"Path", row.Path}};
    for (const auto& [id, value] : fields)
      if (!value.empty()) names.emplace_back(id, value);
    Pipe(Stage(L"Rename", names));
    Answer({IDIGNORE});
    EXPECT_TRUE(RunFile(L"a.txt"));
    EXPECT_EQ(Outcome().Saved.size() + Outcome().Unwritten.size(), 1u);
    if (row.SavedAs.empty()) {
      EXPECT_EQ(Said().size(), 1u);
      EXPECT_TRUE(Outputs().empty());
    } else {
      EXPECT_EQ(Outcome().Saved, std::vector<std::wstring>{Out() + L"\\" + row.SavedAs});
      EXPECT_EQ(ReadText(Out() + L"\\" + row.SavedAs), "data");
    }
  }
}

TEST_F(TPipeTest, TellsWhatARunLeftUnwrittenOrParked) {
  Pipe(Stage(L"Merge"));
  EXPECT_TRUE(RunFile(L"a.txt"));
  EXPECT_TRUE(Outcome().SourceOpened && Outcome().Parked && Outcome().Saved.empty());
  EXPECT_TRUE(Pass());
  EXPECT_TRUE(!Outcome().SourceOpened && !Outcome().Parked && Outcome().Unwritten.empty());
  EXPECT_EQ(Outcome().Saved, std::vector<std::wstring>{Out() + L"\\a.txt"});

  const zv::TFileProperties missing = Props(In(), L"missing.txt"), output = Props(Out(), L"missing.txt");
  EXPECT_FALSE(Runner->Run(&missing, &output));
  EXPECT_FALSE(Outcome().SourceOpened);
  EXPECT_EQ(Said(),
            std::vector<std::wstring>{L"Error: Failed to create the input stream. The transformation process is terminating."});
  // Refused before anything is opened.
  EXPECT_FALSE(Runner->Run(&output, nullptr));
  std::vector<zv::TPluginEntry> missingEntry(1);
  EXPECT_THROW(zv::TTransformManager{std::move(missingEntry)}, zv::EZvError);
  Runner.reset();
  Pipe(std::vector<zv::TPluginEntry>());
  EXPECT_FALSE(RunFile(L"a.txt"));
  EXPECT_TRUE(Pass());
  EXPECT_FALSE(Outcome().SourceOpened);
}

TEST_F(TPipeTest, ProgressGoesToThePanelAndTheHostWhoseAbortStopsTheRun) {
  TRecordingHost host;
  Pipe(Stage(L"Slow", {{L"Steps", 4}}));
  EXPECT_TRUE(RunFile(L"a.txt", "abc"));
  EXPECT_EQ(host.Percents, (std::vector<int32_t>{0, 25, 50, 75, 100, 100, 100}));
  EXPECT_EQ(host.Source, L"slow input stream");
  EXPECT_NE(std::find(host.Processing.begin(), host.Processing.end(), L"slow [50%] (working)"), host.Processing.end());
  EXPECT_EQ(host.Lines[0].back(), L'%');
  EXPECT_EQ(host.Lines[1], L"Writing output [100%]");
  EXPECT_EQ(host.Lines[2], L"slow [100%]");
  EXPECT_EQ(host.Lines[3], In() + L"\\a.txt");
  EXPECT_EQ(host.Lines[4], Out() + L"\\a.txt");

  // Inside the plug-in, which cancels; and while a 64 MiB output is saved.
  host.AbortAt = 50;
  Restart();
  Pipe(Stage(L"Slow", {{L"Steps", 4}}));
  EXPECT_FALSE(RunFile(L"a.txt"));
  Restart();
  Pipe(Stage(L"Passthru"));
  EXPECT_FALSE(RunFile(L"a.txt", std::string(64 << 20, 'x')));
  EXPECT_EQ(host.Percents.back(), 50);
  EXPECT_TRUE(Outputs().empty());
  EXPECT_EQ(ReadText(In() + L"\\a.txt").size(), 64u << 20);
}

// A stage stopped on its first file keeps that call's streams; the next file
// must not lose them (the end of the test finds no memory held and no file).
TEST_F(TPipeTest, AStoppedFileLeavesNothingBehindAndTheEntryPointsBoundTheirInput) {
  TRecordingHost host;
  Pipe(Stage(L"Passthru"), Stage(L"Fail", {{L"Results", L"0 2"}}));
  EXPECT_FALSE(RunFile(L"a.txt"));
  EXPECT_EQ(Said(), std::vector<std::wstring>{L"Error: The \"fail\" plugin has cancelled the transformation due "
                                                    L"to an unknown error. The transformation process is terminating."});
  const std::string unterminated(300, 'x');
  const struct {
    int32_t Percent;
    const char* Status;
    std::wstring Line;
    int32_t HostPercent;
  } calls[] = {
      {150, "ab", L"fail [100%] (ab)", 100},
      {-1, nullptr, L"fail [100%]", 100},
      {40, "", L"fail [40%] ()", 40},
      {7, unterminated.data(), L"fail [7%] (" + std::wstring(255, L'x') + L")", 7},
  };
  for (const auto& call : calls) {
    Runner->SetProgress(call.Percent);
    Runner->SetStatus(call.Status);
    EXPECT_EQ(host.Lines[2], call.Line);
    EXPECT_EQ(host.Percents.back(), call.HostPercent);
  }
  EXPECT_TRUE(RunFile(L"b.txt"));
  EXPECT_EQ(Outputs(), (std::map<std::wstring, std::string>{{L"b.txt", "data"}}));
  // No stage is current now.
  const size_t reported = host.Percents.size();
  EXPECT_FALSE(Runner->SetProgress(5));
  Runner->SetStatus("late");
  EXPECT_EQ(host.Percents.size(), reported);
}

TEST_F(TPipeTest, AFaultInsideThePluginIsReportedOnceAndEarlierOutputsStay) {
  for (int fault : {1, 2}) {
    Restart();
    Errors.Reports.clear();
    Pipe(Stage(L"Fault", {{L"Fault", fault}}));
    EXPECT_FALSE(RunFile(L"a.txt"));
    ASSERT_EQ(Errors.Reports.size(), 1u);
    EXPECT_EQ(Errors.Reports[0].Error.Code, 11007u);
  }
  Restart();
  Pipe(Stage(L"Split", {{L"Parts", 3}}), Stage(L"Fail", {{L"Results", L"2 0"}}));
  EXPECT_FALSE(RunFile(L"a.txt", "abc"));
  Runner.reset();
  EXPECT_EQ(Said().size(), 1u);
  EXPECT_EQ(Outputs(), (std::map<std::wstring, std::string>{{L"a_1.txt", "a"}}));
  EXPECT_EQ(ReadText(In() + L"\\a.txt"), "abc");
  EXPECT_THAT(Log(), testing::EndsWith("split done\nsplit unload\nfail unload\n"));
}

TEST_F(TPipeTest, LargeFilesPassWithinTheMemoryBudget) {
  const int32_t part = 50 << 20;
  std::string all;
  all.reserve(3 * part);
  for (int file = 0; file < 3; ++file)
    for (int32_t i = 0; i < part; ++i) all += static_cast<char>(i * 31 + file);
  for (bool memory : {true, false}) {
    SCOPED_TRACE(memory ? "MemUsage 1" : "memory off");
    Restart();
    Settings->SetMemEnabled(memory);
    Settings->SetMemUsage(1);
    Pipe(Stage(L"Split", {{L"Parts", 3}}), Stage(L"Merge"));
    EXPECT_EQ(zv::GlobalMemoryManager != nullptr, memory);
    for (int file = 0; file < 3; ++file)
      EXPECT_TRUE(RunFile(std::wstring(1, L'a' + file) + L".txt", all.substr(file * part, part)));
    EXPECT_TRUE(Pass());
    if (memory) {
      EXPECT_LE(zv::GlobalMemoryManager->AllocatedBlockCount(), zv::GlobalMemoryManager->SlotCount());
    }
    EXPECT_TRUE(ReadText(Out() + L"\\a_1.txt") == all);
  }
}
