#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/MemoryManager.h"
#include "MemoryTestSupport.h"

using namespace zv;
using zvtest::MiB;

namespace {

std::vector<int32_t> Slots(PMemoryAllocation a) { return a->Blocks; }

// The slots the next allocation of n blocks would get, without changing anything visible.
std::vector<int32_t> NextSlots(TMemoryManager& m, uint32_t n) {
  PMemoryAllocation probe = m.Allocate(n * MiB, false);
  EXPECT_NE(probe, nullptr);
  std::vector<int32_t> slots = probe ? probe->Blocks : std::vector<int32_t>{};
  m.Deallocate(probe);
  return slots;
}

}  // namespace

TEST(MemoryManager, SlotCountAndPerAllocationLimit) {
  struct { uint32_t budget; int32_t slots, maxPerAllocation; } cases[] = {
      {5 * MiB, 5, 4}, {5 * MiB - 1, 4, 4}, {10 * MiB, 10, 9}, {15 * MiB, 15, 14},
      {25 * MiB, 25, 22}, {1000 * MiB, 1000, 900}, {0xFFFFFFFFu, 4095, 3686},
  };
  for (const auto& c : cases) {
    TMemoryManager m(c.budget);
    EXPECT_EQ(m.SlotCount(), c.slots) << c.budget;
    EXPECT_EQ(m.FreeSlotCount(), c.slots) << c.budget;
    EXPECT_EQ(m.MaxBlocksPerAllocation(), c.maxPerAllocation) << c.budget;
    EXPECT_EQ(m.GetUsagePercent(), 0);
  }
}

TEST(MemoryManager, AllocateTakesSlotsFromTheTopOfTheFreeStack) {
  TMemoryManager m(10 * MiB);
  PMemoryAllocation empty = m.Allocate(0, false);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->Size, 0u);
  EXPECT_TRUE(empty->Blocks.empty());

  PMemoryAllocation a = m.Allocate(1, false);
  PMemoryAllocation b = m.Allocate(1, false);
  EXPECT_EQ(Slots(a), std::vector<int32_t>{0});
  EXPECT_EQ(Slots(b), std::vector<int32_t>{1});
  EXPECT_EQ(m.BlockUsedSize(0), 1u);

  PMemoryAllocation c = m.Allocate(2 * MiB + 5, false);
  EXPECT_EQ(Slots(c), (std::vector<int32_t>{2, 3, 4}));
  EXPECT_EQ(c->Size, 2 * MiB + 5);
  EXPECT_EQ(m.BlockUsedSize(2), MiB);
  EXPECT_EQ(m.BlockUsedSize(3), MiB);
  EXPECT_EQ(m.BlockUsedSize(4), 5u);
  EXPECT_EQ(m.GetAllocationSize(c), 2 * MiB + 5);
}

TEST(MemoryManager, AllocateBeyondFreeSlotsOrLimit) {
  TMemoryManager m(10 * MiB);
  // More than the 9 one allocation may hold.
  EXPECT_EQ(m.Allocate(10 * MiB, false), nullptr);
  EXPECT_EQ(m.FreeSlotCount(), 10);
  PMemoryAllocation big = m.Allocate(10 * MiB, true);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->Size, 9 * MiB);
  EXPECT_EQ(big->Blocks.size(), 9u);

  // One slot left.
  EXPECT_EQ(m.Allocate(MiB + 1, false), nullptr);
  EXPECT_EQ(m.FreeSlotCount(), 1);
  PMemoryAllocation partial = m.Allocate(MiB + 1, true);
  ASSERT_NE(partial, nullptr);
  EXPECT_EQ(partial->Size, MiB);
  EXPECT_EQ(Slots(partial), std::vector<int32_t>{9});
  EXPECT_EQ(m.BlockUsedSize(9), MiB);

  // None left: a partial request still gets an (empty) allocation.
  PMemoryAllocation none = m.Allocate(3, true);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->Size, 0u);
  EXPECT_TRUE(none->Blocks.empty());
  EXPECT_EQ(m.Allocate(3, false), nullptr);
}

TEST(MemoryManager, ReallocateShrinksAndGrows) {
  TMemoryManager m(10 * MiB);
  PMemoryAllocation a = m.Allocate(3 * MiB, false);
  ASSERT_TRUE(m.Reallocate(a, MiB + 7, false));
  EXPECT_EQ(Slots(a), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(a->Size, MiB + 7);
  EXPECT_EQ(m.BlockUsedSize(1), 7u);
  EXPECT_EQ(m.FreeSlotCount(), 8);

  // Same block count: only the last block's share changes.
  ASSERT_TRUE(m.Reallocate(a, 2 * MiB, false));
  EXPECT_EQ(m.BlockUsedSize(1), MiB);
  EXPECT_EQ(a->Size, 2 * MiB);

  ASSERT_TRUE(m.Reallocate(a, 4 * MiB - 1, false));
  EXPECT_EQ(Slots(a), (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(m.BlockUsedSize(1), MiB);
  EXPECT_EQ(m.BlockUsedSize(3), MiB - 1);

  ASSERT_TRUE(m.Reallocate(a, 0, false));
  EXPECT_EQ(a->Size, 0u);
  EXPECT_TRUE(a->Blocks.empty());
  EXPECT_EQ(m.FreeSlotCount(), 10);
  // Returned last-first: slot 0 is on top again.
  EXPECT_EQ(NextSlots(m, 2), (std::vector<int32_t>{0, 1}));
}

TEST(MemoryManager, ReallocateGrowBeyondLimitLeavesEverythingUnchanged) {
  TMemoryManager m(10 * MiB);
  PMemoryAllocation a = m.Allocate(2 * MiB + 100, false);
  PMemoryAllocation other = m.Allocate(5 * MiB, false);
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(m.Reallocate(a, 7 * MiB, false));  // 3 free, 4 needed
  EXPECT_FALSE(m.Reallocate(a, 10 * MiB, false)); // above the 9-slot limit
  EXPECT_EQ(a->Size, 2 * MiB + 100);
  EXPECT_EQ(a->Blocks.size(), 3u);
  EXPECT_EQ(m.BlockUsedSize(a->Blocks.back()), 100u);
  EXPECT_EQ(m.FreeSlotCount(), 2);
}

TEST(MemoryManager, PartialGrowTakesWhatIsLeft) {
  TMemoryManager m(10 * MiB);
  PMemoryAllocation a = m.Allocate(MiB + 10, false);
  PMemoryAllocation b = m.Allocate(6 * MiB, false);
  ASSERT_NE(b, nullptr);
  // 2 free: a can reach 4 slots.
  ASSERT_TRUE(m.Reallocate(a, 8 * MiB, true));
  EXPECT_EQ(a->Size, 4 * MiB);
  EXPECT_EQ(a->Blocks.size(), 4u);
  for (int32_t slot : a->Blocks) EXPECT_EQ(m.BlockUsedSize(slot), MiB);

  // No free slot: still true, with the full capacity of the slots held.
  ASSERT_TRUE(m.Reallocate(b, 6 * MiB - 3, false));
  EXPECT_EQ(m.BlockUsedSize(b->Blocks.back()), MiB - 3);
  ASSERT_TRUE(m.Reallocate(b, 9 * MiB, true));
  EXPECT_EQ(b->Size, 6 * MiB);
  EXPECT_EQ(m.BlockUsedSize(b->Blocks.back()), MiB);

  // The per-allocation limit caps a partial grow as well.
  m.Deallocate(b);
  ASSERT_TRUE(m.Reallocate(a, 0xFFFFFFFFu, true));
  EXPECT_EQ(a->Size, 9 * MiB);
  EXPECT_EQ(m.FreeSlotCount(), 1);
}

TEST(MemoryManager, FreedSlotsAreReusedLastInFirstOut) {
  TMemoryManager m(10 * MiB);
  PMemoryAllocation a = m.Allocate(3 * MiB, false);
  EXPECT_EQ(Slots(a), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(m.GetUsagePercent(), 30);
  m.Deallocate(a);
  EXPECT_EQ(m.GetUsagePercent(), 30);
  PMemoryAllocation again = m.Allocate(3 * MiB, false);
  EXPECT_EQ(Slots(again), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(m.GetUsagePercent(), 30);
  EXPECT_EQ(m.AllocatedBlockCount(), 3);

  PMemoryAllocation b = m.Allocate(MiB, false);  // slot 3
  m.Deallocate(again);
  PMemoryAllocation c = m.Allocate(MiB, false);
  EXPECT_EQ(Slots(c), std::vector<int32_t>{0});
  EXPECT_EQ(Slots(b), std::vector<int32_t>{3});
  EXPECT_EQ(m.GetUsagePercent(), 40);
}

TEST(MemoryManager, UsagePercentIsThePeakRoundedHalfToEven) {
  TMemoryManager m(8 * MiB);
  PMemoryAllocation a = m.Allocate(1, false);
  EXPECT_EQ(m.GetUsagePercent(), 12);  // 12.5
  PMemoryAllocation b = m.Allocate(2 * MiB, false);
  EXPECT_EQ(m.GetUsagePercent(), 38);  // 37.5
  m.Deallocate(a);
  m.Deallocate(b);
  EXPECT_EQ(m.GetUsagePercent(), 38);
}

TEST(MemoryManager, DeallocateOfAForeignAllocationDoesNothing) {
  TMemoryManager m(10 * MiB);
  TMemoryManager other(10 * MiB);
  PMemoryAllocation mine = m.Allocate(MiB, false);
  PMemoryAllocation foreign = other.Allocate(2 * MiB, false);
  m.Deallocate(foreign);
  EXPECT_EQ(m.FreeSlotCount(), 9);
  EXPECT_EQ(foreign->Size, 2 * MiB);
  m.Deallocate(mine);
  m.Deallocate(mine);  // already gone
  EXPECT_EQ(m.FreeSlotCount(), 10);
}

TEST(MemoryManager, ReadAndWriteAcrossBlocks) {
  TMemoryManager m(10 * MiB);
  PMemoryAllocation a = m.Allocate(3 * MiB + 10, false);
  std::vector<unsigned char> data(2 * MiB + 20);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 + i / 4093);
  const uint32_t offset = MiB - 10;
  ASSERT_TRUE(m.Write(data.data(), a, offset, static_cast<uint32_t>(data.size())));
  std::vector<unsigned char> back(data.size());
  ASSERT_TRUE(m.Read(back.data(), a, offset, static_cast<uint32_t>(back.size())));
  EXPECT_EQ(back, data);

  // A piece of it, from inside the second block.
  std::vector<unsigned char> part(100);
  ASSERT_TRUE(m.Read(part.data(), a, MiB + 5, 100));
  EXPECT_TRUE(std::equal(part.begin(), part.end(), data.begin() + 15));
}

TEST(MemoryManager, ReadAndWriteStopAtTheAllocationSize) {
  TMemoryManager m(10 * MiB);
  PMemoryAllocation a = m.Allocate(MiB + 4, false);
  const char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_TRUE(m.Write(bytes, a, MiB, 4));
  EXPECT_FALSE(m.Write(bytes + 4, a, MiB, 5));
  char back[8] = {};
  EXPECT_FALSE(m.Read(back, a, MiB + 1, 4));
  EXPECT_EQ(back[0], 0);  // nothing copied
  EXPECT_TRUE(m.Read(back, a, MiB, 4));
  EXPECT_EQ(std::memcmp(back, bytes, 4), 0);
  // An offset and count whose 32-bit sum wraps around must not pass.
  EXPECT_FALSE(m.Write(bytes, a, 0xFFFFFFF8u, 16));
  EXPECT_FALSE(m.Read(back, a, 16, 0xFFFFFFF8u));
}

TEST(MemoryManager, HeapExhaustionWithoutPartialRestoresTheState) {
  TMemoryManager m(10 * MiB, 4);  // the heap gives 4 blocks, no more
  PMemoryAllocation a = m.Allocate(MiB + MiB / 2, false);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(m.Allocate(3 * MiB, false), nullptr);
  EXPECT_EQ(m.FreeSlotCount(), 8);
  EXPECT_EQ(m.AllocatedBlockCount(), 4);  // the blocks got keep their memory

  EXPECT_FALSE(m.Reallocate(a, 5 * MiB, false));
  EXPECT_EQ(a->Size, MiB + MiB / 2);
  EXPECT_EQ(Slots(a), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(m.BlockUsedSize(1), MiB / 2);
  EXPECT_EQ(m.FreeSlotCount(), 8);
  // Slots 2 and 3 have memory and lie on top of the stack, in order.
  EXPECT_EQ(NextSlots(m, 2), (std::vector<int32_t>{2, 3}));
}

TEST(MemoryManager, HeapExhaustionWithPartialKeepsWhatItGot) {
  TMemoryManager m(10 * MiB, 3);
  PMemoryAllocation a = m.Allocate(5 * MiB, true);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Size, 3 * MiB);
  EXPECT_EQ(Slots(a), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(m.FreeSlotCount(), 7);

  ASSERT_TRUE(m.Reallocate(a, MiB + 1, false));
  ASSERT_TRUE(m.Reallocate(a, 6 * MiB, true));
  EXPECT_EQ(a->Size, 3 * MiB);
  EXPECT_EQ(m.BlockUsedSize(a->Blocks.back()), MiB);

  PMemoryAllocation none = m.Allocate(MiB, true);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->Size, 0u);
  EXPECT_EQ(m.FreeSlotCount(), 7);
}
