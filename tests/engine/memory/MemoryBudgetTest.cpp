// The run's memory budget and the globals a pipe run sets up from the options.
#include <gtest/gtest.h>

#include <windows.h>

#include "config/SettingsManager.h"
#include "platform/FileSystem.h"
#include "MemoryTestSupport.h"
#include "support/TestFiles.h"

using namespace zv;
using zvtest::MiB;

TEST(MemoryBudget, ComputeMemoryBudget) {
  constexpr uint64_t Plenty = 23ull << 30;
  constexpr uint32_t Range2G = 0x7FFEFFFF, Range4G = 0xFFFEFFFF;  // from 0x10000: 2147352575 bytes / 4 GiB
  struct { bool enabled; int32_t usage; uint64_t availPhys; uint32_t maxAddress; uint32_t budget; } cases[] = {
      // A share of the smaller of address range and free memory, halves to even.
      {true, 75, Plenty, Range2G, 1610514431u},  // .25 rounds down
      {true, 50, 10 * MiB + 1, Range2G, 5 * MiB},      // 5242880.5
      {true, 50, 10 * MiB + 3, Range2G, 5 * MiB + 2},  // 5242881.5
      // Off, not positive, or below the 5 MiB an allocator needs.
      {false, 75, Plenty, Range2G, 0},
      {true, 0, Plenty, Range2G, 0},
      {true, 50, 10 * MiB, Range2G, 5 * MiB},
      {true, 50, 10 * MiB - 2, Range2G, 0},
      // A stored usage above 100 is taken as given but bounded to 32 bits.
      {true, 150, 1000 * MiB, Range2G, 1500 * MiB},
      {true, 100, Plenty, Range4G, 0xFFFDFFFFu},
      {true, 0x7FFFFFFF, Plenty, Range4G, 0xFFFFFFFFu},
  };
  for (const auto& c : cases) {
    const TMemoryBudgetInput input{c.enabled, c.usage, c.availPhys, 0x10000, c.maxAddress};
    EXPECT_EQ(ComputeMemoryBudget(input), c.budget)
        << c.enabled << " " << c.usage << "% of " << c.availPhys << " / " << c.maxAddress;
  }
}

TEST(MemoryManagement, InitFollowsTheOptionsOrTheirDefaults) {
  ASSERT_EQ(GlobalSettingsManager, nullptr);
  InitMemoryManagement();
  ASSERT_NE(GlobalMemoryManager, nullptr);  // 75 % of what this machine has is far above 5 MiB
  EXPECT_GT(GlobalMemoryManager->SlotCount(), 5);
  EXPECT_EQ(StreamTempFolder, SystemTempFolder());
  DoneMemoryManagement();
  EXPECT_EQ(GlobalMemoryManager, nullptr);
  EXPECT_EQ(MemoryLock, nullptr);
  EXPECT_EQ(GetMemoryUsagePercent(), 0);

  zvtest::TTempDir dir;
  TSettingsManager settings(dir / L"Zentavo.cfg");
  ASSERT_TRUE(settings.HasConfigFile());
  GlobalSettingsManager = &settings;
  struct TRestore { ~TRestore() { GlobalSettingsManager = nullptr; } } restore;
  settings.SetTempFolder(dir.Path());

  settings.SetMemEnabled(false);
  InitMemoryManagement();
  EXPECT_EQ(GlobalMemoryManager, nullptr);
  EXPECT_NE(MemoryLock, nullptr);
  {
    // Every stream of such a run lives in its overflow file, in the chosen
    // folder, and the file goes with the stream.
    TMixedStream stream;
    ASSERT_EQ(stream.Write("abc", 3), 3);
    EXPECT_EQ(zvtest::ListFiles(dir.Path(), L"zvq*.tmp").size(), 1u);
  }
  EXPECT_TRUE(zvtest::ListFiles(dir.Path(), L"zvq*").empty());
  DoneMemoryManagement();

  settings.SetMemEnabled(true);
  // An empty or missing folder would fail every spill: the system's folder serves.
  for (const std::wstring& unusable : {std::wstring(), dir / L"missing"}) {
    settings.SetTempFolder(unusable);
    InitMemoryManagement();
    EXPECT_EQ(StreamTempFolder, SystemTempFolder());
    DoneMemoryManagement();
  }
  StreamTempFolder.clear();
}

// A stream left over after its run keeps reading its own memory, also while a
// later run allocates anew.
TEST(MemoryManagement, AStreamOutlivingItsRunKeepsItsMemory) {
  zvtest::TTempDir dir;
  std::unique_ptr<TMixedStream> late;
  {
    zvtest::TRunMemory run(10, dir.Path());
    late = std::make_unique<TMixedStream>();
    ASSERT_EQ(late->Write("late", 4), 4);
    EXPECT_EQ(StreamsHoldingMemory(), 1);
  }
  zvtest::TRunMemory next(10, dir.Path());
  TMixedStream fresh;
  ASSERT_EQ(fresh.Write("next", 4), 4);
  char text[4] = {};
  EXPECT_EQ(late->Seek(0, soBeginning), 0);
  EXPECT_EQ(late->Read(text, 4), 4);
  EXPECT_EQ(std::string(text, 4), "late");
  late.reset();
  EXPECT_EQ(StreamsHoldingMemory(), 1);
}
