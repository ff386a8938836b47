// The pipe runner on the pipe test plug-ins, installed in the registry of
// installed plug-ins over a fresh Zentavo.cfg whose temporary folder is the
// test's: sources in "in", outputs in "out", one log of every plug-in call,
// errors recorded, boxes answered from a list. A test ends with the calling
// convention kept, no stream holding memory, no temporary file and no box
// it did not look at. Large data within a small budget is the mixed
// stream's case; the host's abort and what a move leaves, the test host's.
#include <windows.h>

#include <gmock/gmock.h>

#include <map>
#include <optional>

#include "config/SettingsManager.h"
#include "engine/HostProgress.h"
#include "engine/MixedStream.h"
#include "engine/ProgressLines.h"
#include "engine/TransformManager.h"
#include "platform/Form.h"
#include "platform/WinHandle.h"
#include "platform/ZvError.h"
#include "plugins/PluginManager.h"
#include "plugins/PluginSettings.h"
#include "plugins/TransformBridge.h"
#include "support/GuiDriver.h"
#include "support/PluginFixtures.h"
#include "support/TestFiles.h"

using namespace zvtest;

namespace {

using TPipeSettings = std::vector<std::pair<std::wstring, zv::TSettingValue>>;
using TStages = std::vector<std::pair<std::wstring, TPipeSettings>>;

std::string ReadText(const std::wstring& path) {
  if (!FileExists(path)) return "<none>";
  const std::vector<unsigned char> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::wstring& path, const std::string& text) {
  WriteFileBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
}

// "a.txt" below root.
zv::TFileProperties Props(const std::wstring& root, const std::wstring& name) {
  const size_t dot = name.rfind(L'.');
  return {root, L"", name.substr(0, dot), name.substr(dot + 1)};
}

class TPipeTest : public ::testing::Test {
protected:
  TPipeTest() {
    zv::InitTransformBridge();
    zv::InitPluginAPI();
    Settings = std::make_unique<zv::TSettingsManager>(Temp / L"Zentavo.cfg");
    zv::GlobalSettingsManager = Settings.get();
    Settings->SetTempFolder(Temp.Path());
    Plugins = std::make_unique<zv::TPluginManager>();
    zv::GlobalPluginManager = Plugins.get();
    Restart();
    Answer({});
  }
  ~TPipeTest() override {
    EndPipe();
    EXPECT_EQ(zv::StreamsHoldingMemory(), 0);
    EXPECT_EQ(ListFiles(Temp.Path(), L"zv?*.tmp"), std::vector<std::wstring>());
    EXPECT_EQ(Said(), std::vector<std::wstring>());
    zv::GlobalPluginManager = nullptr;
    Plugins.reset();
    zv::GlobalSettingsManager = nullptr;
    Settings.reset();
  }

  // A pipe of the test plug-ins Zv<plugin>, each logging to the test's log.
  void Pipe(const TStages& stages = {}) {
    std::vector<zv::TPluginEntry> entries;
    for (const auto& [plugin, settings] : stages) {
      const std::wstring path = FixturePath(L"Zv" + plugin);
      zv::TPlugin* installed = Plugins->FindPluginByFile(path);
      if (!installed) installed = Plugins->InstallPlugin(nullptr, path);
      zv::TPluginEntry& entry = entries.emplace_back(
          Plugins->LoadPlugin(*installed, zv::skSettings, zv::TPluginManager::GetPluginKeyName(*installed)));
      entry->PluginSettings->WriteString(L"Log", Temp / L"log.txt");
      for (const auto& [id, value] : settings) entry->PluginSettings->Write(id, value);
    }
    Runner = std::make_unique<zv::TTransformManager>(std::move(entries));
  }
  // Frees the pipe, whose plug-ins must have kept the calling convention.
  void EndPipe() {
    for (int32_t i = 0; Runner && i < Runner->StageCount(); ++i)
      EXPECT_EQ(TFixtureControl(*Runner->Stage(i).GetEntry()->PluginFile).StackFaults(), 0);
    Runner.reset();
  }
  // A new pipe, log, inputs, outputs and errors.
  void Restart() {
    EndPipe();
    Errors.Reports.clear();
    ::DeleteFileW((Temp / L"log.txt").c_str());
    for (const std::wstring& folder : {In(), Out()}) RemoveTree(folder), ::CreateDirectoryW(folder.c_str(), nullptr);
  }

  // Makes in\<name> and runs it to out\<name>.
  bool RunFile(const std::wstring& name, const std::string& data = "data") {
    WriteText(In() + L"\\" + name, data);
    const zv::TFileProperties input = Props(In(), name), output = Props(Out(), name);
    return Runner->Run(&input, &output);
  }
  bool Pass() { return Runner->Run(nullptr, nullptr); }
  const zv::TRunOutcome& Outcome() const { return Runner->LastOutcome(); }

  // The coming boxes get these answers in turn (see TBoxAnswerer); onBox
  // sees each before it is answered.
  void Answer(std::vector<int> answers, std::function<void(const TBoxAnswerer::TBox&)> onBox = {}) {
    EXPECT_EQ(Said(), std::vector<std::wstring>());
    Boxes.reset();
    Boxes.emplace(std::move(answers));
    Boxes->OnBox = std::move(onBox);
  }
  // "<caption>: <text>" of every box shown since the last look.
  std::vector<std::wstring> Said() {
    std::vector<std::wstring> said;
    for (const TBoxAnswerer::TBox& box : Boxes ? std::exchange(Boxes->Boxes, {}) : std::vector<TBoxAnswerer::TBox>())
      said.push_back(box.Caption + L": " + box.Text);
    return said;
  }

  std::string Log() const { return ReadText(Temp / L"log.txt"); }
  // Every output file with its content.
  std::map<std::wstring, std::string> Outputs() const {
    std::map<std::wstring, std::string> files;
    for (const std::wstring& name : ListFiles(Out(), L"*")) files[name] = ReadText(Out() + L"\\" + name);
    return files;
  }
  std::wstring In() const { return Temp / L"in"; }
  std::wstring Out() const { return Temp / L"out"; }

  TTempDir Temp;
  TRecordingErrorEntry Errors;
  std::optional<TBoxAnswerer> Boxes;
  std::unique_ptr<zv::TSettingsManager> Settings;
  std::unique_ptr<zv::TPluginManager> Plugins;
  std::unique_ptr<zv::TTransformManager> Runner;
};

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

std::string Repeat(const std::string& text, int times) {
  std::string all;
  while (times-- > 0) all += text;
  return all;
}

std::wstring FileName(size_t i) { return std::wstring(1, static_cast<wchar_t>(L'a' + i)) + L".txt"; }

struct TBracketRow {
  const char* Case;
  std::wstring Plugin;
  TPipeSettings Settings;
  int Files;   // a.txt, b.txt, ...
  bool Pass;
  bool Ended;  // the last run's answer
  std::string Log;
  uint32_t Code = 0;  // of the one error reported; 0: none
  std::wstring Mentions = L"";
  std::vector<std::wstring> Boxes = {};
};

// A pipe over the files a.txt, b.txt, ... with the given contents (then the
// last pass when asked), outputs that exist before ("old"; a name ending in
// "\" is a folder), boxes answered in turn; afterwards the outputs and the
// last run's answer, its outputs left unwritten and the boxes shown.
struct TScenario {
  const char* Case;
  TStages Stages;
  std::vector<std::string> Files;
  bool Pass;
  std::map<std::wstring, std::string> Outputs;
  std::vector<std::wstring> Existing = {};
  std::vector<int> Answers = {};
  bool Ended = true;
  size_t Unwritten = 0, Boxes = 0;
};

}  // namespace

TEST_F(TPipeTest, BracketsEveryTransformationAndReportsTheErrorTheCallLeft) {
  const std::wstring cancelled =
      L"The \"fail\" plugin has cancelled the transformation because of the following error: ";
  const TBracketRow rows[] = {
      {"no bracket exports", L"Plain", {}, 3, false, true, Repeat("plain transform in 2\n", 3) + "plain unload\n"},
      {"a bracket per file", L"Passthru", {}, 3, false, true,
       Repeat("passthru init\npassthru transform in 2\npassthru done\n", 3) + "passthru unload\n"},
      {"one bracket around 6, 6, 2", L"Split", {{L"Parts", 3}}, 1, false, true,
       "split init\nsplit transform in 6\nsplit transform in 6\nsplit transform in 2\nsplit done\nsplit unload\n"},
      {"initialisation refused", L"Passthru", {{L"Init", L"0"}}, 1, false, false, "passthru init\npassthru unload\n", 0,
       L"",
       {L"Error: An unknown error occured while initializing the transformation of the \"passthru\" plugin.  The "
        L"transformation process is terminating."}},
      {"done without init", L"DoneOnly", {}, 1, false, true, "doneonly transform in 2\ndoneonly unload\n"},
      {"ended when freed", L"Merge", {}, 1, false, true,
       "merge init\nmerge transform in 5\nmerge done\nmerge unload\n"},
      {"a pass without waiting stages", L"Passthru", {}, 0, true, true, "passthru unload\n"},
      {"more input without input", L"Fail", {{L"Results", L"5"}}, 1, true, false,
       "fail init\nfail transform in 5\nfail transform none 5\nfail done\nfail unload\n", 10002,
       L"(The ZV_Transform function returns \"ZVR_WAITMOREINPUT\" value when the input stream is NULL)\". The"},
      {"the plug-in's text", L"Fail", {{L"ErrorText", L"disk full"}}, 1, false, false,
       "fail init\nfail transform in 0\nfail done\nfail unload\n", 7,
       cancelled + L"\"disk full\". The transformation process is terminating."},
      {"a result out of range", L"Fail", {{L"Results", L"8"}}, 1, false, false,
       "fail init\nfail transform in 8\nfail done\nfail unload\n", 10000,
       cancelled + L"\"ZV_Transform (fail): Invalid"},
      {"the input passed on without input", L"Merge", {{L"Flush", L"4"}}, 1, true, false,
       "merge init\nmerge transform in 5\nmerge transform none 4\nmerge done\nmerge unload\n", 10002,
       L"returns \"ZVR_USEINPUT\" value when the input stream is NULL"},
  };
  for (const TBracketRow& row : rows) {
    SCOPED_TRACE(row.Case);
    Restart();
    Pipe({{row.Plugin, row.Settings}});
    bool ended = true;
    for (int i = 0; i < row.Files; ++i) ended = RunFile(FileName(i));
    if (row.Pass) ended = Pass();
    EndPipe();
    EXPECT_EQ(ended, row.Ended);
    EXPECT_EQ(Log(), row.Log);
    EXPECT_EQ(Said(), row.Boxes);
    ASSERT_EQ(Errors.Reports.size(), row.Code ? 1u : 0u);
    if (!row.Code) continue;
    EXPECT_EQ(Errors.Reports[0].Error.Code, row.Code);
    EXPECT_NE(Errors.Reports[0].Message.find(row.Mentions), std::wstring::npos);
  }
}

TEST_F(TPipeTest, SteersTheDataAndSavesItWhereTheUserAgrees) {
  using zv::mrCancel, zv::mrNo, zv::mrNoToAll, zv::mrYes, zv::mrYesToAll;
  const std::pair<std::wstring, TPipeSettings> split3 = {L"Split", {{L"Parts", 3}}};
  const std::map<std::wstring, std::string> kept = {{L"a_1.txt", "old"}, {L"a_2.txt", "b"}, {L"a_3.txt", "old"}},
                                             written = {{L"a_1.txt", "a"}, {L"a_2.txt", "b"}, {L"a_3.txt", "c"}},
                                             stopped = {{L"a_1.txt", "old"}, {L"a_3.txt", "old"}};
  const std::vector<std::wstring> two = {L"a_1.txt", L"a_3.txt"}, folder = {L"sub.txt\\"};
  const TScenario rows[] = {
      {"passed on", {{L"Passthru", {}}}, {"abc"}, false, {{L"a.txt", "abc"}}},
      {"the input under the output's name", {{L"Rename", {{L"Results", L"4"}, {L"Name", L"b"}}}}, {"abc"}, false,
       {{L"b.txt", "abc"}}},
      {"another input at the first stage", {{L"Passthru", {{L"Results", L"3"}}}}, {"abc"}, false, {}},
      {"a drop flushes the waiting stage behind it", {{L"Passthru", {{L"Results", L"2 7"}}}, {L"Merge", {}}},
       {"A", "B"}, false, {{L"a.txt", "A"}}},
      {"two waiting stages", {{L"Merge", {}}, {L"Merge", {}}}, {"A", "B"}, true, {{L"a.txt", "AB"}}},
      {"split into a merge", {split3, {L"Merge", {}}}, {"abcdef", "ghijkl"}, true, {{L"a_1.txt", "abcdefghijkl"}}},
      {"every output of a flush", {{L"Merge", {{L"Flush", L"6 6 2"}}}}, {"A", "B"}, true,
       {{L"a_1.txt", "AB"}, {L"a_2.txt", "part 2"}, {L"a_3.txt", "part 3"}}},
      {"split at the end of the data", {{L"Merge", {}}, {L"Split", {}}}, {"ab", "cd"}, true,
       {{L"a_1.txt", "ab"}, {L"a_2.txt", "cd"}}},
      // The overwrite question, asked again for each existing file until an answer for all.
      {"no, yes", {split3}, {"abc"}, false, {{L"a_1.txt", "old"}, {L"a_2.txt", "b"}, {L"a_3.txt", "c"}}, two,
       {mrNo, mrYes}, true, 1, 2},
      {"no to all", {split3}, {"abc"}, false, kept, two, {mrNoToAll}, true, 2, 1},
      {"yes to all", {split3}, {"abc"}, false, written, two, {mrYesToAll}, true, 0, 1},
      {"cancel", {split3}, {"abc"}, false, stopped, two, {mrCancel}, false, 0, 1},
      {"closed", {split3}, {"abc"}, false, stopped, two, {0}, false, 0, 1},
      // Names that lead out of the destination are refused like a failed save (answered Ignore).
      {"a stream", {{L"Rename", {{L"Name", L"a:b"}}}}, {"data"}, false, {}, {}, {IDIGNORE}, true, 1, 1},
      {"a device", {{L"Rename", {{L"Name", L"con"}, {L"Extension", L"log"}}}}, {"data"}, false, {}, {}, {IDIGNORE},
       true, 1, 1},
      {"a folder", {{L"Rename", {{L"Name", L"sub"}}}}, {"data"}, false, {}, folder, {IDIGNORE}, true, 1, 1},
      {"a path up", {{L"Rename", {{L"Path", L"..\\up"}}}}, {"data"}, false, {{L"a.txt", "data"}}},
  };
  for (const TScenario& row : rows) {
    SCOPED_TRACE(row.Case);
    Restart();
    for (const std::wstring& name : row.Existing) {
      if (name.back() == L'\\') ::CreateDirectoryW((Out() + L"\\" + name).c_str(), nullptr);
      else WriteText(Out() + L"\\" + name, "old");
    }
    Pipe(row.Stages);
    Answer(row.Answers);
    bool ended = true;
    for (size_t i = 0; i < row.Files.size(); ++i) ended = RunFile(FileName(i), row.Files[i]);
    if (row.Pass) ended = Pass();
    EXPECT_EQ(ended, row.Ended);
    EXPECT_EQ(Outputs(), row.Outputs);
    EXPECT_EQ(Outcome().Unwritten.size(), row.Unwritten);
    EXPECT_EQ(Said().size(), row.Boxes);
  }
}

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
    Pipe({{L"Passthru", {}}});
    Answer({zv::mrYes, row.Answer}, [&](const TBoxAnswerer::TBox& box) {
      if (box.Caption == L"Error") lock.Reset();  // so that a retry succeeds
    });
    EXPECT_EQ(RunFile(L"a.txt", "new"), row.Ended);
    lock.Reset();
    EXPECT_EQ(ReadText(target), row.Content);
    EXPECT_EQ(Outcome().Unwritten.size(), row.Answer == IDIGNORE ? 1u : 0u);
    EXPECT_EQ(Said().size(), 2u);
  }
}

TEST_F(TPipeTest, TellsWhatARunOpenedSavedAndLeftParked) {
  Pipe({{L"Merge", {}}});
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

// Also: a stage stopped on its first file is still the current one for a
// plug-in's late reports, and the next file runs anew (the test's end finds
// no memory held, no file).
TEST_F(TPipeTest, ReportsProgressWithinBounds) {
  TRecordingHost host;
  Pipe({{L"Slow", {{L"Steps", 4}}}});
  EXPECT_TRUE(RunFile(L"a.txt", "abc"));
  EXPECT_EQ(host.Percents, (std::vector<int32_t>{0, 25, 50, 75, 100, 100, 100}));
  EXPECT_EQ(host.Source, L"slow input stream");
  EXPECT_THAT(host.Processing, testing::Contains(L"slow [50%] (working)"));
  EXPECT_EQ(host.Status, L"Writing output [100%]");

  Restart();
  Pipe({{L"Passthru", {}}, {L"Fail", {{L"Results", L"0 2"}}}});
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
  Pipe({{L"Fault", {{L"Fault", 1}}}});
  EXPECT_FALSE(RunFile(L"a.txt"));
  ASSERT_EQ(Errors.Reports.size(), 1u);
  EXPECT_EQ(Errors.Reports[0].Error.Code, 11007u);
  Restart();
  Pipe({{L"Split", {{L"Parts", 3}}}, {L"Fail", {{L"Results", L"2 0"}}}});
  EXPECT_FALSE(RunFile(L"a.txt", "abc"));
  EndPipe();
  EXPECT_EQ(Said().size(), 1u);
  EXPECT_EQ(Outputs(), (std::map<std::wstring, std::string>{{L"a_1.txt", "a"}}));
  EXPECT_EQ(ReadText(In() + L"\\a.txt"), "abc");
  EXPECT_THAT(Log(), testing::EndsWith("split done\nsplit unload\nfail unload\n"));
}
