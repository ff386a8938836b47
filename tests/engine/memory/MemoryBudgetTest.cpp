#include <gtest/gtest.h>

#include <windows.h>

#include "config/SettingsManager.h"
#include "engine/MixedStream.h"
#include "MemoryTestSupport.h"
#include "support/TestFiles.h"

using namespace zv;
using zvtest::MiB;

namespace {

constexpr uint64_t PlentyOfRam = 23ull << 30;

TMemoryBudgetInput Input(int32_t usage, uint64_t availPhys, uint32_t minAddress = 0x10000,
                         uint32_t maxAddress = 0x7FFEFFFF) {
  TMemoryBudgetInput input;
  input.MemUsage = usage;
  input.AvailPhys = availPhys;
  input.MinimumAddress = minAddress;
  input.MaximumAddress = maxAddress;
  return input;
}

}  // namespace

TEST(MemoryBudget, ShareOfTheSmallerOfAddressRangeAndFreeMemory) {
  // 0x7FFEFFFF - 0x10000 = 2147352575 bytes of address range.
  EXPECT_EQ(ComputeMemoryBudget(Input(75, PlentyOfRam)), 1610514431u);  // .25 rounds down
  EXPECT_EQ(ComputeMemoryBudget(Input(25, PlentyOfRam)), 536838144u);    // .75 rounds up
  EXPECT_EQ(ComputeMemoryBudget(Input(50, 100 * MiB)), 50 * MiB);
  EXPECT_EQ(ComputeMemoryBudget(Input(10, 200 * MiB)), 20 * MiB);
}

TEST(MemoryBudget, NoBudgetWhenOffOrNotPositive) {
  TMemoryBudgetInput off = Input(75, PlentyOfRam);
  off.MemEnabled = false;
  EXPECT_EQ(ComputeMemoryBudget(off), 0u);
  EXPECT_EQ(ComputeMemoryBudget(Input(0, PlentyOfRam)), 0u);
  EXPECT_EQ(ComputeMemoryBudget(Input(-5, PlentyOfRam)), 0u);
  EXPECT_EQ(ComputeMemoryBudget(Input(75, 0)), 0u);
}

TEST(MemoryBudget, FiveMebibytesIsTheSmallestBudget) {
  EXPECT_EQ(ComputeMemoryBudget(Input(50, 10 * MiB)), 5 * MiB);
  EXPECT_EQ(ComputeMemoryBudget(Input(50, 10 * MiB - 2)), 0u);
  // Halves go to the even neighbour: 5242880.5 and 5242881.5.
  EXPECT_EQ(ComputeMemoryBudget(Input(50, 10 * MiB + 1)), 5 * MiB);
  EXPECT_EQ(ComputeMemoryBudget(Input(50, 10 * MiB + 3)), 5 * MiB + 2);
}

TEST(MemoryBudget, LargeUsageIsBoundedToWhatThirtyTwoBitsHold) {
  // A 4 GiB address range (large-address-aware host).
  const uint32_t top = 0xFFFEFFFF;
  EXPECT_EQ(ComputeMemoryBudget(Input(101, PlentyOfRam, 0x10000, top)), 0xFFFFFFFFu);
  EXPECT_EQ(ComputeMemoryBudget(Input(150, PlentyOfRam, 0x10000, top)), 0xFFFFFFFFu);
  EXPECT_EQ(ComputeMemoryBudget(Input(0x7FFFFFFF, PlentyOfRam, 0x10000, top)), 0xFFFFFFFFu);
  EXPECT_EQ(ComputeMemoryBudget(Input(100, PlentyOfRam, 0x10000, top)), 0xFFFDFFFFu);
  // Above 100 but still within 32 bits: taken as given.
  EXPECT_EQ(ComputeMemoryBudget(Input(150, 1000 * MiB)), 1500 * MiB);
}

TEST(MemoryManagement, InitWithoutSettingsUsesTheDefaults) {
  ASSERT_EQ(GlobalSettingsManager, nullptr);
  InitMemoryManagement();
  ASSERT_NE(MemoryLock, nullptr);
  // 75 % of the free memory or the address range is far above 5 MiB here.
  ASSERT_NE(GlobalMemoryManager, nullptr);
  EXPECT_GT(GlobalMemoryManager->SlotCount(), 5);
  EXPECT_EQ(GetMemoryUsagePercent(), 0);

  wchar_t temp[MAX_PATH];
  wchar_t longTemp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  ::GetLongPathNameW(temp, longTemp, MAX_PATH);
  std::wstring expected = longTemp;
  expected.pop_back();
  EXPECT_EQ(StreamTempFolder, expected);

  {
    TMixedStream stream;
    const char data[3] = {1, 2, 3};
    EXPECT_EQ(stream.Write(data, 3), 3);
    EXPECT_FALSE(stream.HasOverflowFile());
    EXPECT_GT(GetMemoryUsagePercent(), -1);
  }
  DoneMemoryManagement();
  EXPECT_EQ(GlobalMemoryManager, nullptr);
  EXPECT_EQ(MemoryLock, nullptr);
  EXPECT_EQ(GetMemoryUsagePercent(), 0);
  StreamTempFolder.clear();
}

namespace {
// Makes a settings manager the process-wide one for a scope.
struct TGlobalSettings {
  explicit TGlobalSettings(TSettingsManager& settings) { GlobalSettingsManager = &settings; }
  ~TGlobalSettings() { GlobalSettingsManager = nullptr; }
};
}  // namespace

TEST(MemoryManagement, InitFollowsTheOptions) {
  zvtest::TTempDir dir;
  TSettingsManager settings(dir / L"Zentavo.cfg");
  ASSERT_TRUE(settings.HasConfigFile());
  TGlobalSettings global(settings);
  settings.SetTempFolder(dir.Path());

  settings.SetMemEnabled(false);
  InitMemoryManagement();
  EXPECT_EQ(GlobalMemoryManager, nullptr);
  EXPECT_EQ(StreamTempFolder, dir.Path());
  EXPECT_NE(MemoryLock, nullptr);
  {
    // Every stream of such a run lives in its overflow file, in the chosen folder.
    TMixedStream stream;
    ASSERT_EQ(stream.Write("abc", 3), 3);
    EXPECT_EQ(zvtest::ListFiles(dir.Path(), L"zvq*.tmp").size(), 1u);
  }
  DoneMemoryManagement();

  settings.SetMemEnabled(true);
  for (int32_t usage : {0, -5}) {
    settings.SetMemUsage(usage);
    InitMemoryManagement();
    EXPECT_EQ(GlobalMemoryManager, nullptr) << usage;
    DoneMemoryManagement();
  }

  // 1 % of at most the 2 GiB address range: a small allocator.
  settings.SetMemUsage(1);
  InitMemoryManagement();
  ASSERT_NE(GlobalMemoryManager, nullptr);
  EXPECT_GE(GlobalMemoryManager->SlotCount(), 5);
  EXPECT_LE(GlobalMemoryManager->SlotCount(), 41);
  DoneMemoryManagement();
  StreamTempFolder.clear();
}
