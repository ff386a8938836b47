// The block allocator behind the stream data of a pipe run: fixed 1 MiB blocks
// from a private heap, grouped into allocations that grow and shrink by whole
// blocks without moving their data. Callers serialise Allocate, Reallocate and
// Deallocate (MemoryLock); Read, Write and the queries touch only the caller's
// own allocation and run unlocked.
#pragma once
#include <windows.h>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/WinHandle.h"

namespace zv {

inline constexpr uint32_t MemoryBlockSize = 1048576;

// One slot of the allocator. A slot keeps its heap block once it has one,
// also while it is free, so growing again costs no heap call.
struct TMemoryBlock {
  uint32_t UsedSize = 0;     // bytes of this block that belong to its allocation
  void* Memory = nullptr;    // the heap block; null until the slot is first used
};

// Byte o of an allocation lies in slot Blocks[o / MemoryBlockSize] at o % MemoryBlockSize.
struct TMemoryAllocation {
  uint32_t Size = 0;
  std::vector<int32_t> Blocks;
};
using PMemoryAllocation = TMemoryAllocation*;

class TMemoryManager {
public:
  // Budget div 1 MiB slots. Raises EZvError when the private heap cannot be made.
  // heapBlockLimit caps the heap blocks ever taken (-1: no cap); it lets tests
  // provoke heap exhaustion at a chosen point.
  explicit TMemoryManager(uint32_t budget, int32_t heapBlockLimit = -1);
  ~TMemoryManager();
  TMemoryManager(const TMemoryManager&) = delete;
  TMemoryManager& operator=(const TMemoryManager&) = delete;

  // The peak share of slots used at once, in percent; it never goes down.
  int32_t GetUsagePercent() const;

  // Null when the blocks cannot be had. With allowPartial the allocation gets
  // what is available (whole blocks), possibly nothing, but never null.
  PMemoryAllocation Allocate(uint32_t size, bool allowPartial);
  // False when growing is impossible; the allocation is then unchanged. With
  // allowPartial a grow takes what it can and sets Size to the whole blocks held.
  bool Reallocate(PMemoryAllocation allocation, uint32_t newSize, bool allowPartial);
  // Does nothing for an allocation this allocator does not list.
  void Deallocate(PMemoryAllocation allocation);
  uint32_t GetAllocationSize(PMemoryAllocation allocation) const;

  // The address of byte offset of the allocation, and in contiguous how many
  // bytes of the allocation follow it inside the same block; null beyond Size.
  const char* AddressOf(PMemoryAllocation allocation, uint32_t offset, uint32_t& contiguous) const;

  // Copy between buffer and [offset, offset + count) of the allocation; false,
  // with nothing copied, when that range reaches beyond the allocation's Size.
  bool Read(void* buffer, PMemoryAllocation allocation, uint32_t offset, uint32_t count) const;
  bool Write(const void* buffer, PMemoryAllocation allocation, uint32_t offset, uint32_t count);
  // Zeroes [offset, offset + count) of the allocation; false as Write.
  bool Zero(PMemoryAllocation allocation, uint32_t offset, uint32_t count);

  // Inspection, for the progress figures and for tests.
  int32_t SlotCount() const { return static_cast<int32_t>(FBlocks.size()); }
  int32_t FreeSlotCount() const { return static_cast<int32_t>(FFreeBlocks.size()); }
  int32_t MaxBlocksPerAllocation() const { return FMaxBlocksPerAllocation; }
  int32_t AllocatedBlockCount() const { return FAllocatedBlockCount; }
  uint32_t BlockUsedSize(int32_t slot) const { return FBlocks[slot].UsedSize; }

private:
  // Pops a free slot and makes sure it has a heap block; -1 on heap failure
  // (the slot is then back on the stack).
  int32_t TakeSlot();
  void ReleaseSlot(int32_t slot) { FFreeBlocks.push_back(slot); }
  template <typename TCopy>
  bool CopyRange(PMemoryAllocation allocation, uint32_t offset, uint32_t count, TCopy copy) const;

  int32_t FMaxBlocksPerAllocation = 0;
  std::vector<TMemoryBlock> FBlocks;
  std::vector<int32_t> FFreeBlocks;  // a stack: back() is the top
  int32_t FAllocatedBlockCount = 0;
  std::vector<std::unique_ptr<TMemoryAllocation>> FAllocations;
  TScopedHeap FHeap;
  int32_t FHeapBlockLimit;
};

// Slots an allocation of size bytes holds.
inline uint32_t BlocksForSize(uint32_t size) {
  return size == 0 ? 0 : (size - 1) / MemoryBlockSize + 1;
}

// value × numerator / denominator rounded to the nearest integer, halves to
// the even neighbour, in exact integer arithmetic.
int64_t RoundedRatio(int64_t value, int64_t numerator, int64_t denominator);

}  // namespace zv
