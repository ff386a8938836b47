#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <tuple>

#include "config/SettingsManager.h"
#include "plugins/PluginFile.h"
#include "services/ServiceFakes.h"
#include "services/ServiceManager.h"
#include "support/PluginFixtures.h"
#include "support/RegistryFixture.h"
#include "support/TestFiles.h"

using namespace zv;
using namespace zvtest;

namespace {

using TBytes = std::vector<unsigned char>;

// The service manager with real boxes and settings, a pipe entry on the test
// plug-in, fake workers and an installed plug-in.
class TServiceManagerTest : public TRegistryTest {
protected:
  void SetUp() override {
    TRegistryTest::SetUp();
    Settings = std::make_unique<TSettingsManager>(Temp / L"Zentavo.cfg");
    Settings->SetCheckForUpdates(false);
    GlobalSettingsManager = Settings.get();
    Entry.Name = L"Entry";
    LoadEntry(L"ZvFixture");
    Plugin(1000000000, 120);
    Manager = std::make_unique<TServiceManager>();
  }
  void TearDown() override {
    Workers.ReleaseWorkers();
    Manager.reset();
    GlobalSettingsManager = nullptr;
    TRegistryTest::TearDown();
  }

  void LoadEntry(const std::wstring& fixture) {
    Entry.PluginFile.reset();
    Entry.PluginFile = std::make_unique<TPluginFile>(FixturePath(fixture), &Entry);
    ASSERT_TRUE(Entry.PluginFile->ResolveExports());
  }
  // The ID and version the plug-in answers.
  void Plugin(uint32_t id, uint32_t version) {
    TFixtureControl control(*Entry.PluginFile);
    if (Entry.PluginFile->HasGetPluginID()) control.Returns(fiGetPluginID, id);
    if (Entry.PluginFile->HasGetPluginVersion()) control.Returns(fiGetPluginVersion, version);
  }
  void Report(uint32_t code) {
    Manager->ReportError(Entry.PluginFile.get(), L"Something failed", {code, L"Something failed", L"details"});
  }
  std::vector<TSeenBox> ReportAndAnswer(uint32_t code, int boxes = 1, int answer = IDOK) {
    return AnswerBoxes([&] { Report(code); }, boxes, answer);
  }
  // Lets the started reports finish and handles their completion messages.
  void FinishReports() {
    Workers.ReleaseWorkers();
    EXPECT_TRUE(PumpUntil([&] { return Workers.Freed == static_cast<int>(Workers.Reports.size()); }));
  }

  TTempDir Temp;
  std::unique_ptr<TSettingsManager> Settings;
  TFakeWorkers Workers;
  TFakePlugins Plugins;
  TLoadedPlugin Entry;
  std::unique_ptr<TServiceManager> Manager;
};

}  // namespace

// Which box an error brings and whether it is reported, by the option and the
// plug-in's eligibility; a report in flight makes later errors show nothing,
// and a report is remembered, in the registry and at once, only when it succeeded.
TEST_F(TServiceManagerTest, ShowsReportsOrOffersToReportByTheOptionAndTheEligibilityAndRemembersSuccess) {
  const struct {
    const char* Case;
    uint32_t Code;
    bool NotifyError;
    uint32_t ID, Version;
    bool WithWorkers;
    int Answer;
    bool ReportBox;  // else the plain box
    bool Reported;
    bool Succeeds = true;
  } cases[] = {
      {"code 0", 0, true, 1000000000, 120, true, IDOK, false, false},
      {"ID one below", 7, true, 999999999, 120, true, IDOK, false, false},
      {"version 99", 7, true, 1000000000, 99, true, IDOK, false, false},
      {"on, eligible", 7, true, 1000000000, 100, true, IDOK, false, true},
      {"on, eligible, the report fails", 7, true, 1000000000, 120, true, IDOK, false, true, false},
      {"on, reported before", 9, true, 1000000000, 120, true, IDOK, false, false},
      {"off, eligible, OK", 7, false, 1000000000, 120, true, IDOK, true, false},
      {"off, eligible, Report error", 7, false, 1000000000, 120, true, IDCANCEL, true, true},
      {"off, not eligible", 7, false, 5, 120, true, IDOK, false, false},
      {"no worker to report with", 7, true, 1000000000, 120, false, IDOK, false, false},
      {"no ID and version queries", 7, true, 0, 0, true, IDOK, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    DeleteZentavoKey();
    RegSetRaw(L"Errors", L"1000000000:120", REG_BINARY, {9, 0});
    Settings->SetNotifyError(c.NotifyError);
    LoadEntry(c.ID ? L"ZvFixture" : L"ZvFixtureRequired");
    Plugin(c.ID, c.Version);
    Manager = std::make_unique<TServiceManager>();  // loads "Errors" anew
    const size_t before = Workers.Reports.size();
    if (!c.WithWorkers) ServiceWorkerFactory = nullptr;
    Workers.ReportSucceeds = c.Succeeds;
    Workers.HoldWorkers();

    const std::vector<TSeenBox> boxes = ReportAndAnswer(c.Code, 1, c.Answer);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, L"Something failed");
    EXPECT_EQ(boxes[0].HasReportButton, c.ReportBox);
    ASSERT_EQ(Workers.Reports.size() - before, c.Reported ? 1u : 0u);
    if (c.Reported) {
      const TStartedReport& r = Workers.Reports.back();
      EXPECT_EQ(std::tie(r.PluginID, r.PluginVersion, r.Error.Code), std::tie(c.ID, c.Version, c.Code));
      EXPECT_EQ(r.Message + L"|" + r.Error.Text + L"|" + r.Error.AdditionalInfo, L"Something failed|Something failed|details");
      EXPECT_EQ(CountShownWindows([&] { Report(5); }), 0) << "a report in flight shows nothing";
    }
    ServiceWorkerFactory = &Workers;
    FinishReports();
    if (c.Reported && c.Succeeds) {
      ReportAndAnswer(c.Code);
      EXPECT_EQ(Workers.Reports.size() - before, 1u) << "remembered at once";
    }
    TBytes stored = c.ID == 1000000000 && c.Version == 120 ? TBytes{9, 0} : TBytes{};
    if (c.Reported && c.Succeeds) stored.insert(stored.end(), {7, 0});
    EXPECT_EQ(StoredErrors(std::to_wstring(c.ID) + L":" + std::to_wstring(c.Version)), stored);
  }
}

TEST_F(TServiceManagerTest, ReadsTheReportedErrorsAndSkipsWhatDoesNotParse) {
  RegSetRaw(L"Errors", L"1000000000:120", REG_BINARY, {0x11, 0x27, 0x12, 0x27});
  RegSetRaw(L"Errors", L"1000000000:121", REG_BINARY, {0x11, 0x27, 0x12, 0x27, 0x13});
  RegSetText(L"Errors", L"1000000000:122", L"10001");
  for (const wchar_t* name : {L"abc", L"12", L"1:2:3", L"4294967296:100", L"1000000000:123x"})
    RegSetRaw(L"Errors", name, REG_BINARY, {0x11, 0x27});
  const struct {
    uint32_t Version, Code;
    bool Reported;
  } cases[] = {
      {120, 10001, false}, {120, 10002, false}, {121, 10002, false}, {121, 0x13, true}, {122, 10001, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Version) + ", " + std::to_string(c.Code));
    const size_t before = Workers.Reports.size();
    Plugin(1000000000, c.Version);
    ReportAndAnswer(c.Code);
    EXPECT_EQ(Workers.Reports.size() - before, c.Reported ? 1u : 0u);
    FinishReports();
  }
  // Without a settings manager nothing can be read or kept: reporting stays off.
  Manager = std::make_unique<TServiceManager>();
  GlobalSettingsManager = nullptr;
  ReportAndAnswer(4);
  GlobalSettingsManager = Settings.get();
  EXPECT_EQ(Workers.Reports.size(), 2u);
}

TEST_F(TServiceManagerTest, AFailingQueryReportsItselfFirstAndIsNeverAskedAgain) {
  for (const TFunctionId query : {fiGetPluginID, fiGetPluginVersion}) {
    SCOPED_TRACE(ExportNames[query - 1]);
    Manager = std::make_unique<TServiceManager>();
    Plugin(1000000000, 120);
    TFixtureControl control(*Entry.PluginFile);
    control.Set(query, fbAccessViolation);
    const std::vector<TSeenBox> boxes = ReportAndAnswer(7, 2);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].Text, L"An exception occured while processing the \"" + ExportFunctionName(query) +
                                 L"\" function in the \"Entry\" plugin!");
    EXPECT_EQ(boxes[1].Text, L"Something failed");

    Plugin(1000000000, 120);  // answers again, but is not asked
    const LONG calls = control.CallCount();
    ReportAndAnswer(8);
    EXPECT_EQ(control.CallCount() - calls, 1) << "only the other query is asked";
    EXPECT_TRUE(Workers.Reports.empty());
  }
}

TEST_F(TServiceManagerTest, AReportFinishedOnAThreadThatNeverDispatchesIsHandledByTheNextError) {
  Workers.HoldWorkers();
  std::vector<TSeenBox> boxes;
  // The host's file thread: it shows boxes, but between them it never
  // dispatches, so the first report's completion message waits unhandled.
  std::thread fileThread([&] {
    boxes = AnswerBoxes([&] { Report(5); }, 1);
    Workers.ReleaseWorkers();
    while (Workers.Ended == 0) ::Sleep(1);
    Workers.HoldWorkers();
    const std::vector<TSeenBox> second = AnswerBoxes([&] { Report(6); }, 1);
    boxes.insert(boxes.end(), second.begin(), second.end());
  });
  fileThread.join();
  EXPECT_EQ(boxes.size(), 2u);
  ASSERT_EQ(Workers.Reports.size(), 2u);
  EXPECT_EQ(StoredErrors(L"1000000000:120"), (TBytes{5, 0}));
}

// Only a check due at the start is started; a second check while one runs is
// the silent-server test's case.
TEST_F(TServiceManagerTest, StartsWhenDueAndNoneWithoutPlugInsOrWorkers) {
  Settings->SetCheckForUpdates(true);
  for (const bool due : {false, true}) {
    Settings->SetLastCheckUpdate(due ? 0.0 : CurrentDateTime());
    Manager = std::make_unique<TServiceManager>();
    ASSERT_EQ(Workers.CheckedPlugins.size(), due ? 1u : 0u);
  }
  EXPECT_EQ(Workers.CheckedPlugins[0][0].Path, L"C:\\Plugins\\packer.zvx");
  ASSERT_TRUE(PumpUntil([&] { return Workers.Freed == 1; }));
  EXPECT_EQ(Workers.ShownResults, std::vector<bool>{false});

  ServiceWorkerFactory = nullptr;
  Manager->CheckForUpdates(true);
  ServiceWorkerFactory = &Workers;
  Plugins.List.clear();
  Manager->CheckForUpdates(true);
  EXPECT_EQ(Workers.CheckedPlugins.size(), 1u);
}
