#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "CallbackTest.h"
#include "config/SettingsManager.h"

using namespace zv;
using namespace zvtest;

namespace {

const std::wstring kRefusal = L"Changing settings can only be done in the \"ZV_Settings\" function";

// What the plug-in's enumeration callback does with each ID.
std::function<BOOL(const char*)>* OnID;
BOOL __stdcall EnumerateIDCallback(const char* id) { return (*OnID)(id); }
BOOL* volatile Unmapped = reinterpret_cast<BOOL*>(16);
BOOL __stdcall FaultingCallback(const char*) { return *Unmapped = TRUE; }

class TSettingsTableTest : public TCallbackTest {
protected:
  // The IDs seen, in order.
  std::vector<std::string> Enumerate(std::function<BOOL(const char*)> react, uint32_t result) {
    std::vector<std::string> seen;
    std::function<BOOL(const char*)> record = [&](const char* id) { return seen.push_back(id), react(id); };
    OnID = &record;
    EXPECT_EQ(Call(ftSettings, 8, {Arg(&EnumerateIDCallback)}), result);
    return seen;
  }
};

}  // namespace

TEST_F(TSettingsTableTest, EntriesReadAlwaysAndChangeOnlyInsideZVSettings) {
  Entry.PluginSettings->WriteNumber(L"Kept", 1);
  Inside(fiTransformA, [&] {
    RunRows({
        {ftSettings, 0, {Arg("kept"), 0}, 1},
        {ftSettings, 3, {Arg("New"), 1}, 0, 14003, kRefusal},
        {ftSettings, 4, {Arg("New"), Arg("x")}, 0, 14004, kRefusal},
        {ftSettings, 5, {Arg("New"), Arg("x"), 1}, 0, 14005, kRefusal},
        {ftSettings, 7, {Arg("Kept")}, 0, 14007, kRefusal},
    });
  });
  const std::string longID(300, 'k'), cutID(255, 'k');
  Inside(fiSettings, [&] {
    RunRows({
        {ftSettings, 3, {Arg("Foo"), 1}, True},
        {ftSettings, 3, {Arg("FOO"), 2}, True},
        {ftSettings, 0, {Arg("foo"), 9}, 2},
        {ftSettings, 3, {Arg("\xC4"), 5}, True},  // non-ASCII letters are not folded
        {ftSettings, 0, {Arg("\xE4"), 9}, 9},
        {ftSettings, 3, {Arg(longID.c_str()), 3}, True},
        {ftSettings, 0, {Arg(cutID.c_str()), 9}, 3},
        {ftSettings, 4, {Arg("Text"), Arg("")}, True},
        {ftSettings, 0, {Arg("Text"), 9}, 9},
        {ftSettings, 6, {Arg("Foo")}, Failed},
        {ftSettings, 5, {Arg("Empty"), Arg("x"), 0}, True},
        {ftSettings, 6, {Arg("Empty")}, 0},
        {ftSettings, 2, {Arg("Empty"), 77}, 77},
        {ftSettings, 4, {Arg("Text"), 0}, 0},
        {ftSettings, 5, {Arg("Data"), 0, 4}, 0},
        {ftSettings, 5, {Arg("Data"), Arg("abcd"), Failed}, 0},
        {ftSettings, 8, {0}, 0},
        {ftSettings, 5, {Arg("Data"), Arg("abcd"), 4}, True},
        {ftSettings, 7, {Arg("\xC4")}, True},
        {ftSettings, 7, {Arg("\xC4")}, 0},
        {ftSettings, 3, {0, 1}, 0, 14003, L"The ID is a null pointer"},
        // The new value is made before the old one goes.
        {ftSettings, 5, {Arg("Foo"), Arg("abcd"), 0x7FFFFFFF}, 0, 14005, L"std::bad_alloc"},
        {ftSettings, 0, {Arg("Foo"), 9}, 2},
    });
    EXPECT_STREQ(reinterpret_cast<const char*>(Call(ftSettings, 1, {Arg("TEXT"), Arg("default")})), "");
    const auto data = reinterpret_cast<const char*>(Call(ftSettings, 2, {Arg("data"), 0}));
    EXPECT_EQ(std::string(data, 4), "abcd");
    EXPECT_EQ(Call(ftResources, 2, {Arg(data)}), 4u);
  });
  std::set<std::wstring> names;
  Entry.PluginSettings->EnumerateIDs([&](const std::wstring& name) { return names.insert(name).second; });
  EXPECT_EQ(names, (std::set<std::wstring>{L"Kept", L"Foo", std::wstring(255, L'k'), L"Text", L"Empty", L"Data"}));
}

TEST_F(TSettingsTableTest, EnumerationStopsReportsAndSurvivesDeletions) {
  Inside(fiSettings, [&] {
    EXPECT_TRUE(Enumerate([](const char*) { return TRUE; }, True).empty());
    for (const char* id : {"a", "b", "c", "d"}) Call(ftSettings, 3, {Arg(id), 1});
    // Each visit deletes the record it sees, which must still be there, and one not seen yet.
    std::set<std::string> deleted;
    const auto deleting = [&](const char* id) -> BOOL {
      EXPECT_EQ(Call(ftSettings, 7, {Arg(id)}), True) << id;
      deleted.insert(id);
      for (const char* other : {"a", "b", "c", "d"})
        if (deleted.insert(other).second) return Call(ftSettings, 7, {Arg(other)}) == True;
      return TRUE;
    };
    EXPECT_EQ(Enumerate(deleting, True).size(), 2u);

    Call(ftSettings, 3, {Arg("e"), 1});
    EXPECT_EQ(Enumerate([](const char*) { return FALSE; }, True).size(), 1u);
    // An error set before the enumeration does not make a plain stop a failure.
    Call(ftAPI, 0, {7, Arg("earlier"), 0});
    EXPECT_EQ(Enumerate([](const char*) { return FALSE; }, True).size(), 1u);
    EXPECT_TRUE(Errors.Reports.empty());
    Enumerate([&](const char*) { return Call(ftAPI, 0, {7, Arg("stop"), 0}), FALSE; }, 0);
    ASSERT_EQ(Errors.Reports.size(), 1u);
    EXPECT_EQ(Errors.Reports[0].Message,
              L"The following error occured in the EnumerateIDCallback function in the \"Fixture\" plugin: \"stop\".");
    EXPECT_EQ(Errors.Reports[0].Error.Code, 7u);
    Errors.Reports.clear();
    RunRows({{ftSettings, 8, {Arg(&FaultingCallback)}, 0, 14008, L"Access violation"}});
  });
}

// Saving replaces the stored section with what is held, under the names as first stored.
TEST(PluginSettings, LoadAndSaveBackWhatIsHeld) {
  const TTempDir temp;
  TSettingsManager store(temp / L"Zentavo.cfg");
  GlobalSettingsManager = &store;
  const std::wstring key = L"Stored\\[0]Fixture";
  const uint8_t bytes[] = {1, 0, 255};
  store.WriteNumber(skProfiles, key, L"Level", 7);
  store.WriteString(skProfiles, key, L"Title", L"abc");
  store.WriteData(skProfiles, key, L"Blob", bytes, 3);
  store.WriteData(skProfiles, key, L"Empty", bytes, 0);

  TPluginSettings settings(skProfiles, key);
  EXPECT_EQ(settings.ReadString(L"title"), L"abc");
  EXPECT_EQ(settings.ReadData(L"Blob"), TSettingData(bytes, bytes + 3));
  EXPECT_EQ(settings.GetDataSize(L"empty"), 0);
  EXPECT_TRUE(settings.WriteNumber(L"level", 8));
  EXPECT_TRUE(settings.DeleteID(L"TITLE"));
  EXPECT_TRUE(settings.WriteString(L"New", L"x"));
  EXPECT_TRUE(settings.Save(skProfiles, key));
  TStringList names = store.GetValueNames(skProfiles, key).value_or(TStringList{});
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (TStringList{L"Blob", L"Empty", L"Level", L"New"}));
  EXPECT_EQ(store.ReadNumber(skProfiles, key, L"Level", 0), 8);
  // A text the file refuses fails the save; the other values are written all the same.
  settings.WriteString(L"Lines", L"a\r\nb");
  settings.WriteNumber(L"Level", 9);
  EXPECT_FALSE(settings.Save(skProfiles, key));
  EXPECT_EQ(store.GetValueType(skProfiles, key, L"Lines"), svNone);
  EXPECT_EQ(store.ReadNumber(skProfiles, key, L"Level", 0), 9);
  GlobalSettingsManager = nullptr;
}
