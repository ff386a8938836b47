// Failed saves, what a run leaves behind, progress and plug-in failures.
// Large data within a small budget is the mixed stream's case.
#include <gmock/gmock.h>

#include "engine/HostProgress.h"
#include "engine/ProgressLines.h"
#include "engine/pipe/PipeTest.h"
#include "platform/WinHandle.h"
#include "platform/ZvError.h"

using namespace zvtest;

namespace {

// The host's progress callback and the panel's status and processing lines.
struct TRecordingHost : zv::IHostProgress, zv::IProgressLines {
  TRecordingHost() { zv::HostProgress = this, zv::ProgressLines = this; }
  ~TRecordingHost() override { zv::HostProgress = nullptr, zv::ProgressLines = nullptr; }
  bool CallHostProgress(const std::wstring& source, const std::wstring&, int32_t percent) override {
    Percents.push_back(percent);
    Source = source;
    return false;
  }
  void SetLoadText(const std::wstring&) override {}
  void SetStatusText(const std::wstring& text) override { Status = text; }
  void SetProcessingText(const std::wstring& text) override { Processing.push_back(text); }
  void SetInputText(const std::wstring&) override {}
  void SetOutputText(const std::wstring&) override {}
  std::wstring Source, Status;
  std::vector<int32_t> Percents;
  std::vector<std::wstring> Processing;
};

}  // namespace

TEST_F(TPipeTest, AFailedSaveIsRetriedIgnoredOrAborted) {
  const std::wstring target = Out() + L"\\a.txt";
  const struct {
    int Answer;
    bool Ended;
    std::string Content;
  } rows[] = {{IDRETRY, true, "new"}, {IDIGNORE, true, "old"}, {IDABORT, false, "old"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Answer);
    Restart();
    WriteText(target, "old");
    zv::TScopedFile lock(::CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    Pipe(Stage(L"Passthru"));
    Answer({zv::mrYes, row.Answer}, [&](const TBoxAnswerer::TBox& box) {
      if (box.Caption == L"Error") lock.Reset();  // so that a retry succeeds
    });
    EXPECT_EQ(RunFile(L"a.txt", "new"), row.Ended);
    lock.Reset();
    EXPECT_EQ(ReadText(target), row.Content);
    EXPECT_EQ(Outcome().Unwritten.size(), row.Answer == IDIGNORE ? 1u : 0u);
    EXPECT_EQ(Said().size(), 2u);
  }

  // An output named after its source, which is still open for reading.
  Restart();
  WriteText(target, "source");
  Pipe(Stage(L"Passthru", {{L"Results", L"4"}}));
  Answer({zv::mrYes, IDIGNORE});
  const zv::TFileProperties both = Props(Out(), L"a.txt");
  EXPECT_TRUE(Runner->Run(&both, &both));
  EXPECT_EQ(ReadText(target), "source");
  EXPECT_EQ(Outcome().Unwritten, std::vector<std::wstring>{target});
  EXPECT_EQ(Said(), (std::vector<std::wstring>{L"Confirm: The \"a.txt\" file already exists. Shall I overwrite it?",
                                               L"Error: Failed to save the \"" + target + L"\" file."}));
}

TEST_F(TPipeTest, TellsWhatARunOpenedSavedAndLeftParked) {
  Pipe(Stage(L"Merge"));
  EXPECT_TRUE(RunFile(L"a.txt"));
  EXPECT_TRUE(Outcome().SourceOpened && Outcome().Parked && Outcome().Saved.empty());
  EXPECT_TRUE(Pass());
  EXPECT_TRUE(!Outcome().SourceOpened && !Outcome().Parked && Outcome().Unwritten.empty());
  EXPECT_EQ(Outcome().Saved, std::vector<std::wstring>{Out() + L"\\a.txt"});

  const zv::TFileProperties missing = Props(In(), L"missing.txt");
  EXPECT_FALSE(Runner->Run(&missing, &missing));
  EXPECT_FALSE(Outcome().SourceOpened);
  EXPECT_EQ(Said(), std::vector<std::wstring>{L"Error: Failed to create the input stream. The transformation "
                                              L"process is terminating."});
  // Refused before anything is opened: a source without a destination, a
  // missing entry, a file for an empty pipe.
  EXPECT_FALSE(Runner->Run(&missing, nullptr));
  std::vector<zv::TPluginEntry> missingEntry(1);
  EXPECT_THROW(zv::TTransformManager{std::move(missingEntry)}, zv::EZvError);
  Pipe();
  EXPECT_FALSE(RunFile(L"a.txt"));
  EXPECT_TRUE(Pass());
}

// Also: a stage stopped on its first file keeps that call's streams, which
// the next file must not lose (the test's end finds no memory held, no file).
// The host's abort, in a stage and while saving, is the test host's case of
// what a move leaves.
TEST_F(TPipeTest, ReportsProgressWithinBounds) {
  TRecordingHost host;
  Pipe(Stage(L"Slow", {{L"Steps", 4}}));
  EXPECT_TRUE(RunFile(L"a.txt", "abc"));
  EXPECT_EQ(host.Percents, (std::vector<int32_t>{0, 25, 50, 75, 100, 100, 100}));
  EXPECT_EQ(host.Source, L"slow input stream");
  EXPECT_THAT(host.Processing, testing::Contains(L"slow [50%] (working)"));
  EXPECT_EQ(host.Status, L"Writing output [100%]");

  Restart();
  Pipe(Stage(L"Passthru"), Stage(L"Fail", {{L"Results", L"0 2"}}));
  EXPECT_FALSE(RunFile(L"a.txt"));
  EXPECT_EQ(Said(), std::vector<std::wstring>{L"Error: The \"fail\" plugin has cancelled the transformation due "
                                              L"to an unknown error. The transformation process is terminating."});
  const std::string unterminated(300, 'x');
  const struct {
    int32_t Percent, HostPercent;
    const char* Status;
    std::wstring Line;
  } calls[] = {{150, 100, "ab", L"fail [100%] (ab)"},
               {-1, 100, nullptr, L"fail [100%]"},
               {40, 40, "", L"fail [40%] ()"},
               {7, 7, unterminated.data(), L"fail [7%] (" + std::wstring(255, L'x') + L")"}};
  for (const auto& call : calls) {
    Runner->SetProgress(call.Percent);
    Runner->SetStatus(call.Status);
    EXPECT_EQ(host.Processing.back(), call.Line);
    EXPECT_EQ(host.Percents.back(), call.HostPercent);
  }
  EXPECT_TRUE(RunFile(L"b.txt"));
  EXPECT_EQ(Outputs(), (std::map<std::wstring, std::string>{{L"b.txt", "data"}}));
  const size_t reported = host.Percents.size();  // no stage is current now
  EXPECT_FALSE(Runner->SetProgress(5));
  EXPECT_EQ(host.Percents.size(), reported);
}

TEST_F(TPipeTest, AFaultIsReportedOnceAndOutputsSavedBeforeALaterFailureStay) {
  for (int fault : {1, 2}) {
    Restart();
    Pipe(Stage(L"Fault", {{L"Fault", fault}}));
    EXPECT_FALSE(RunFile(L"a.txt"));
    ASSERT_EQ(Errors.Reports.size(), 1u);
    EXPECT_EQ(Errors.Reports[0].Error.Code, 11007u);
  }
  Restart();
  Pipe(Stage(L"Split", {{L"Parts", 3}}), Stage(L"Fail", {{L"Results", L"2 0"}}));
  EXPECT_FALSE(RunFile(L"a.txt", "abc"));
  EndPipe();
  EXPECT_EQ(Said().size(), 1u);
  EXPECT_EQ(Outputs(), (std::map<std::wstring, std::string>{{L"a_1.txt", "a"}}));
  EXPECT_EQ(ReadText(In() + L"\\a.txt"), "abc");
  EXPECT_THAT(Log(), testing::EndsWith("split done\nsplit unload\nfail unload\n"));
}
