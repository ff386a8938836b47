#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "config/SettingsManager.h"
#include "plugins/PluginSettings.h"
#include "support/TestFiles.h"

using namespace zv;
using namespace zvtest;

namespace {

const std::wstring kKey = L"Stored\\[0]Fixture";

class TPluginSettingsTest : public ::testing::Test {
protected:
  TPluginSettingsTest() { GlobalSettingsManager = &Store; }
  ~TPluginSettingsTest() override { GlobalSettingsManager = nullptr; }

  TStringList StoredNames() {
    TStringList names = Store.GetValueNames(skProfiles, kKey).value_or(TStringList{});
    std::sort(names.begin(), names.end());
    return names;
  }

  TTempDir Temp;
  TSettingsManager Store{Temp / L"Zentavo.cfg"};
};

}  // namespace

TEST_F(TPluginSettingsTest, LoadsEveryKindSavesBackWhatIsHeldAndCopiesIndependently) {
  const uint8_t bytes[] = {1, 0, 255};
  Store.WriteNumber(skProfiles, kKey, L"Level", 7);
  Store.WriteString(skProfiles, kKey, L"Title", L"abc");
  Store.WriteData(skProfiles, kKey, L"Blob", bytes, 3);
  Store.WriteData(skProfiles, kKey, L"Empty", bytes, 0);

  TPluginSettings settings(skProfiles, kKey);
  EXPECT_EQ(settings.ReadNumber(L"LEVEL", -1), 7);
  EXPECT_EQ(settings.ReadString(L"title"), L"abc");
  EXPECT_EQ(settings.ReadData(L"Blob"), TSettingData(bytes, bytes + 3));
  EXPECT_EQ(settings.GetDataSize(L"empty"), 0);
  EXPECT_EQ(settings.ReadNumber(L"Title", -1), -1);
  EXPECT_EQ(settings.GetDataSize(L"Level"), -1);

  const std::unique_ptr<TPluginSettings> copy = TPluginSettings::CreateCopy(settings);
  EXPECT_TRUE(settings.WriteNumber(L"level", 8));  // the stored case stays
  EXPECT_TRUE(settings.DeleteID(L"TITLE"));
  EXPECT_FALSE(settings.DeleteID(L"Title"));
  EXPECT_TRUE(settings.WriteString(L"New", L"x"));
  EXPECT_TRUE(settings.WriteNumber(L"Blob", 1));  // another kind replaces kind and value
  settings.Save(skProfiles, kKey);

  EXPECT_EQ(StoredNames(), (TStringList{L"Blob", L"Empty", L"Level", L"New"}));
  EXPECT_EQ(Store.ReadNumber(skProfiles, kKey, L"Level", 0), 8);
  EXPECT_EQ(Store.ReadNumber(skProfiles, kKey, L"Blob", 0), 1);
  EXPECT_EQ(copy->ReadNumber(L"Level", -1), 7);
  EXPECT_EQ(copy->ReadString(L"Title"), L"abc");
  EXPECT_EQ(copy->ReadData(L"Blob"), TSettingData(bytes, bytes + 3));

  // The copy saved over the same section brings the deleted name back and drops the new one.
  copy->Save(skProfiles, kKey);
  EXPECT_EQ(StoredNames(), (TStringList{L"Blob", L"Empty", L"Level", L"Title"}));
}
