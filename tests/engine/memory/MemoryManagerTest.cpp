// The block allocator: whole 1 MiB slots, a per-allocation limit, a LIFO free
// stack, and failures that leave the allocation exactly as it was.
#include <gtest/gtest.h>

#include <vector>

#include "engine/MemoryManager.h"

using namespace zv;
using TSlots = std::vector<int32_t>;
constexpr uint32_t MiB = MemoryBlockSize;

TEST(MemoryManager, SlotCountAndPerAllocationLimit) {
  struct { uint32_t budget; int32_t slots, maxPerAllocation; } cases[] = {
      {5 * MiB, 5, 4}, {5 * MiB - 1, 4, 4}, {15 * MiB, 15, 14}, {25 * MiB, 25, 22}, {0xFFFFFFFFu, 4095, 3686},
  };
  for (const auto& c : cases) {
    TMemoryManager m(c.budget);
    EXPECT_EQ(m.SlotCount(), c.slots) << c.budget;
    EXPECT_EQ(m.MaxBlocksPerAllocation(), c.maxPerAllocation) << c.budget;
  }
}

// Streams start from an empty allocation and grow it (the limits are
// Reallocate's cases). One not listed here, another allocator's or one
// freed already, is left alone.
TEST(MemoryManager, AllocationsStartEmptyAndOnlyOwnOnesAreFreed) {
  TMemoryManager m(10 * MiB), other(10 * MiB);
  PMemoryAllocation a = m.Allocate(0, false);
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->Blocks.empty());
  ASSERT_TRUE(m.Reallocate(a, 2 * MiB + 5, false));
  EXPECT_EQ(a->Blocks, (TSlots{0, 1, 2}));
  PMemoryAllocation foreign = other.Allocate(2 * MiB, false);
  m.Deallocate(foreign);
  EXPECT_EQ(foreign->Size, 2 * MiB);
  m.Deallocate(a);
  m.Deallocate(a);
  EXPECT_EQ(m.FreeSlotCount(), 10);
}

TEST(MemoryManager, ReallocateShrinksAndGrowsInPlace) {
  TMemoryManager m(10 * MiB);
  PMemoryAllocation a = m.Allocate(3 * MiB, false);
  ASSERT_TRUE(m.Reallocate(a, MiB + 7, false));
  EXPECT_EQ(a->Blocks, (TSlots{0, 1}));
  EXPECT_EQ(m.FreeSlotCount(), 8);
  ASSERT_TRUE(m.Reallocate(a, 2 * MiB, false));  // the same block count
  EXPECT_EQ(a->Size, 2 * MiB);
  ASSERT_TRUE(m.Reallocate(a, 4 * MiB - 1, false));
  EXPECT_EQ(a->Blocks, (TSlots{0, 1, 2, 3}));

  // Growing beyond the free slots or the limit fails and changes nothing.
  PMemoryAllocation other = m.Allocate(4 * MiB, false);
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(m.Reallocate(a, 7 * MiB, false));   // 2 free, 3 needed
  EXPECT_FALSE(m.Reallocate(a, 10 * MiB, false));  // above the 9-slot limit
  EXPECT_EQ(a->Size, 4 * MiB - 1);
  EXPECT_EQ(a->Blocks.size(), 4u);
  EXPECT_EQ(m.FreeSlotCount(), 2);

  // A partial grow takes what is left and counts whole blocks.
  ASSERT_TRUE(m.Reallocate(a, 8 * MiB, true));
  EXPECT_EQ(a->Size, 6 * MiB);
  // No free slot: still true, with the full capacity of the slots held.
  ASSERT_TRUE(m.Reallocate(other, 4 * MiB - 3, false));
  ASSERT_TRUE(m.Reallocate(other, 9 * MiB, true));
  EXPECT_EQ(other->Size, 4 * MiB);
  // The per-allocation limit caps a partial grow as well.
  m.Deallocate(other);
  ASSERT_TRUE(m.Reallocate(a, 0xFFFFFFFFu, true));
  EXPECT_EQ(a->Size, 9 * MiB);

  ASSERT_TRUE(m.Reallocate(a, 0, false));
  EXPECT_TRUE(a->Blocks.empty());
  EXPECT_EQ(m.FreeSlotCount(), 10);
}

// The usage figure is the peak, rounded halves to even.
TEST(MemoryManager, UsageIsThePeak) {
  TMemoryManager m(8 * MiB);
  PMemoryAllocation a = m.Allocate(1, false);
  EXPECT_EQ(m.GetUsagePercent(), 12);  // 12.5
  ASSERT_TRUE(m.Reallocate(a, 3 * MiB, false));
  EXPECT_EQ(m.GetUsagePercent(), 38);  // 37.5
  m.Deallocate(a);
  EXPECT_EQ(m.GetUsagePercent(), 38);

  // The figure is worked out in extended precision, ratio first: 59 of 200
  // slots come out just below 29.5 there, where exact rounding would give 30.
  TMemoryManager wide(200 * MiB);
  ASSERT_NE(wide.Allocate(59 * MiB, false), nullptr);
  EXPECT_EQ(wide.GetUsagePercent(), 29);
}

// Copies across blocks are the random stream run's. Ranges reaching past
// Size copy nothing, also when offset + count wraps at 32 bits.
TEST(MemoryManager, RangesBeyondTheSizeCopyNothing) {
  TMemoryManager m(10 * MiB);
  PMemoryAllocation a = m.Allocate(3 * MiB + 10, false);
  const std::vector<unsigned char> data(16, 7);
  std::vector<unsigned char> back(8, 0);
  EXPECT_TRUE(m.Write(data.data(), a, 3 * MiB + 6, 4));
  EXPECT_FALSE(m.Write(data.data(), a, 3 * MiB + 6, 5));
  EXPECT_FALSE(m.Read(back.data(), a, 3 * MiB + 7, 4));
  EXPECT_EQ(back[0], 0);
  EXPECT_FALSE(m.Write(data.data(), a, 0xFFFFFFF8u, 16));
  EXPECT_FALSE(m.Read(back.data(), a, 16, 0xFFFFFFF8u));
}

// The heap gives out fewer blocks than the slots promise.
TEST(MemoryManager, HeapExhaustion) {
  {
    // Without partial: the allocation and the free stack are restored exactly.
    TMemoryManager m(10 * MiB, 4);
    PMemoryAllocation a = m.Allocate(MiB + MiB / 2, false);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(m.Allocate(3 * MiB, false), nullptr);
    EXPECT_EQ(m.FreeSlotCount(), 8);
    EXPECT_EQ(m.AllocatedBlockCount(), 4);  // the blocks got keep their memory
    EXPECT_FALSE(m.Reallocate(a, 5 * MiB, false));
    EXPECT_EQ(a->Size, MiB + MiB / 2);
    EXPECT_EQ(a->Blocks, (TSlots{0, 1}));
    EXPECT_EQ(m.FreeSlotCount(), 8);
    // Slots 2 and 3 have memory and lie on top of the stack, in order.
    EXPECT_EQ(m.Allocate(2 * MiB, false)->Blocks, (TSlots{2, 3}));
  }
  {
    // With partial: what was got is kept.
    TMemoryManager m(10 * MiB, 3);
    PMemoryAllocation a = m.Allocate(5 * MiB, true);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Blocks, (TSlots{0, 1, 2}));
    ASSERT_TRUE(m.Reallocate(a, MiB + 1, false));
    ASSERT_TRUE(m.Reallocate(a, 6 * MiB, true));
    EXPECT_EQ(a->Size, 3 * MiB);
    PMemoryAllocation none = m.Allocate(MiB, true);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->Size, 0u);
    EXPECT_EQ(m.FreeSlotCount(), 7);
  }
}
