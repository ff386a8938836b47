#include <gtest/gtest.h>

#include <memory>

#include "config/SettingsManager.h"
#include "services/ServiceFakes.h"
#include "services/ServiceManager.h"
#include "support/TestFiles.h"

using namespace zv;
using namespace zvtest;

namespace {

class TFakePlugins : public IInstalledPlugins {
public:
  TFakePlugins() { InstalledPlugins = this; }
  ~TFakePlugins() { InstalledPlugins = nullptr; }
  std::vector<TInstalledPluginInfo> GetPlugins() override { return List; }
  std::vector<TInstalledPluginInfo> List{{L"Packer", L"C:\\Plugins\\packer.zvx"}};
};

class TUpdateCheckTest : public ::testing::Test {
protected:
  TUpdateCheckTest() { GlobalSettingsManager = &Settings; }
  ~TUpdateCheckTest() override {
    Workers.ReleaseWorkers();
    Manager.reset();
    GlobalSettingsManager = nullptr;
  }

  TTempDir Temp;
  TSettingsManager Settings{Temp / L"Zentavo.cfg"};
  TFakeWorkers Workers;
  TFakePlugins Plugins;
  std::unique_ptr<TServiceManager> Manager;
};

}  // namespace

TEST(UpdateCheckDue, WhenOnAndTheIntervalHasPassed) {
  const struct {
    bool Enabled;
    double Last;
    int32_t Interval;
    bool Due;
  } cases[] = {
      {true, 0.0, 7, true},         // never checked
      {true, 45000.0, 7, true},     // 45007 < 45008
      {true, 45001.0, 7, false},    // 45008 is not before 45008
      {true, 45007.5, 1, false},  // half a day to go
      {false, 0.0, 7, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUpdateCheckDue(c.Enabled, c.Last, c.Interval, 45008.0), c.Due) << c.Last;
  EXPECT_GT(CurrentDateTime(), 45000.0);  // after 2023-03-15
}

TEST_F(TUpdateCheckTest, StartsByItselfWhenDueWithTheInstalledPlugIns) {
  for (const bool due : {false, true}) {
    Settings.SetLastCheckUpdate(due ? 0.0 : CurrentDateTime());
    Manager = std::make_unique<TServiceManager>();
    ASSERT_EQ(Workers.CheckedPlugins.size(), due ? 1u : 0u);
  }
  EXPECT_EQ(Workers.CheckedPlugins[0][0].Name, L"Packer");
  EXPECT_EQ(Workers.CheckedPlugins[0][0].Path, L"C:\\Plugins\\packer.zvx");
  ASSERT_TRUE(PumpUntil([&] { return Workers.Freed == 1; }));
  EXPECT_EQ(Workers.ShownResults, std::vector<bool>{false});
}

TEST_F(TUpdateCheckTest, RunsOneCheckAtATimeAndNoneWithoutPlugInsOrWorkers) {
  Settings.SetCheckForUpdates(false);
  Manager = std::make_unique<TServiceManager>();
  Workers.HoldWorkers();
  Manager->CheckForUpdates(true);
  Manager->CheckForUpdates(false);  // dropped while the first runs
  EXPECT_EQ(Workers.CheckedPlugins.size(), 1u);
  Workers.ReleaseWorkers();
  ASSERT_TRUE(PumpUntil([&] { return Workers.Freed == 1; }));
  EXPECT_EQ(Workers.ShownResults, std::vector<bool>{true});

  Plugins.List.clear();
  Manager->CheckForUpdates(true);
  Plugins.List.push_back({L"Packer", L"p.zvx"});
  ServiceWorkerFactory = nullptr;
  Manager->CheckForUpdates(true);
  ServiceWorkerFactory = &Workers;
  EXPECT_EQ(Workers.CheckedPlugins.size(), 1u);
  Manager->CheckForUpdates(false);
  EXPECT_EQ(Workers.CheckedPlugins.size(), 2u);
}
