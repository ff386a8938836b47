#include "engine/MemoryManager.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/ZvError.h"

namespace zv {

int64_t RoundedRatio(int64_t value, int64_t numerator, int64_t denominator) {
  const int64_t product = value * numerator;
  int64_t quotient = product / denominator;
  const int64_t twiceRemainder = 2 * (product % denominator);
  if (twiceRemainder > denominator || (twiceRemainder == denominator && (quotient & 1) != 0))
    ++quotient;
  return quotient;
}

namespace {
// UsedSize of the last block of an allocation of size bytes (size > 0).
uint32_t LastBlockUsed(uint32_t size) { return (size - 1) % MemoryBlockSize + 1; }
}  // namespace

TMemoryManager::TMemoryManager(uint32_t budget, int32_t heapBlockLimit)
    : FHeap(::HeapCreate(0, 0, 0)), FHeapBlockLimit(heapBlockLimit) {
  if (!FHeap) throw EZvError(L"Failed to create the memory manager.");
  const int32_t slots = static_cast<int32_t>(budget / MemoryBlockSize);
  FBlocks.resize(slots);
  // A tenth of the slots stays free for the other streams of the run.
  FMaxBlocksPerAllocation = static_cast<int32_t>(RoundedRatio(slots, 9, 10));
  FFreeBlocks.reserve(slots);
  for (int32_t slot = slots - 1; slot >= 0; --slot) FFreeBlocks.push_back(slot);
}

// The blocks go with the private heap.
TMemoryManager::~TMemoryManager() = default;

int32_t TMemoryManager::GetUsagePercent() const {
  if (FBlocks.empty()) return 0;
  // In extended precision, ratio first: the figure shown is what that gives,
  // which is not always the exactly rounded one (59 of 200 slots give 29).
  const long double ratio = static_cast<long double>(FAllocatedBlockCount) / static_cast<long double>(SlotCount());
  return static_cast<int32_t>(std::nearbyint(ratio * 100.0L));
}

int32_t TMemoryManager::TakeSlot() {
  const int32_t slot = FFreeBlocks.back();
  FFreeBlocks.pop_back();
  TMemoryBlock& block = FBlocks[slot];
  if (!block.Memory && (FHeapBlockLimit < 0 || FAllocatedBlockCount < FHeapBlockLimit)) {
    // Not zeroed: the stream zeroes the gaps it leaves, so reused and new
    // blocks cost the same.
    block.Memory = ::HeapAlloc(FHeap.Get(), 0, MemoryBlockSize);
    if (block.Memory) ++FAllocatedBlockCount;
  }
  if (block.Memory) return slot;
  ReleaseSlot(slot);
  return -1;
}

PMemoryAllocation TMemoryManager::Allocate(uint32_t size, bool allowPartial) {
  int32_t n = static_cast<int32_t>(BlocksForSize(size));
  if (n > FreeSlotCount() || n > FMaxBlocksPerAllocation) {
    if (!allowPartial) return nullptr;
    n = std::min(FreeSlotCount(), FMaxBlocksPerAllocation);
    size = static_cast<uint32_t>(n) * MemoryBlockSize;
  }
  // Everything that can fail for lack of memory comes before the first slot is
  // taken, so that no slot gets lost on the way.
  auto allocation = std::make_unique<TMemoryAllocation>();
  allocation->Blocks.reserve(n);
  FAllocations.reserve(FAllocations.size() + 1);
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t slot = TakeSlot();
    if (slot < 0) {
      if (!allowPartial) {
        for (auto it = allocation->Blocks.rbegin(); it != allocation->Blocks.rend(); ++it) ReleaseSlot(*it);
        return nullptr;
      }
      size = static_cast<uint32_t>(allocation->Blocks.size()) * MemoryBlockSize;
      break;
    }
    allocation->Blocks.push_back(slot);
    FBlocks[slot].UsedSize = i < n ? MemoryBlockSize : LastBlockUsed(size);
  }
  allocation->Size = size;
  FAllocations.push_back(std::move(allocation));
  return FAllocations.back().get();
}

bool TMemoryManager::Reallocate(PMemoryAllocation allocation, uint32_t newSize, bool allowPartial) {
  if (!allocation) return false;
  std::vector<int32_t>& blocks = allocation->Blocks;
  int32_t n = static_cast<int32_t>(BlocksForSize(newSize));
  const int32_t cur = static_cast<int32_t>(blocks.size());

  if (n <= cur) {
    while (static_cast<int32_t>(blocks.size()) > n) {
      ReleaseSlot(blocks.back());
      blocks.pop_back();
    }
    if (!blocks.empty()) FBlocks[blocks.back()].UsedSize = LastBlockUsed(newSize);
    allocation->Size = newSize;
    return true;
  }

  int32_t need = n - cur;
  if (FreeSlotCount() < need || n > FMaxBlocksPerAllocation) {
    if (allowPartial) {
      n = std::min(FreeSlotCount() + cur, FMaxBlocksPerAllocation);
      need = n - cur;
      newSize = static_cast<uint32_t>(n) * MemoryBlockSize;
    }
    if (FreeSlotCount() < need || n > FMaxBlocksPerAllocation) return false;
  }

  blocks.reserve(n);  // before any slot is taken, as in Allocate
  if (cur > 0) FBlocks[blocks.back()].UsedSize = MemoryBlockSize;
  for (int32_t i = 1; i <= need; ++i) {
    const int32_t slot = TakeSlot();
    if (slot < 0) {
      if (allowPartial) {
        newSize = static_cast<uint32_t>(blocks.size()) * MemoryBlockSize;
        break;
      }
      // Put everything back as it was before the call.
      while (static_cast<int32_t>(blocks.size()) > cur) {
        ReleaseSlot(blocks.back());
        blocks.pop_back();
      }
      if (cur > 0) FBlocks[blocks.back()].UsedSize = LastBlockUsed(allocation->Size);
      return false;
    }
    blocks.push_back(slot);
    FBlocks[slot].UsedSize = i < need ? MemoryBlockSize : LastBlockUsed(newSize);
  }
  allocation->Size = newSize;
  return true;
}

void TMemoryManager::Deallocate(PMemoryAllocation allocation) {
  const auto it = std::find_if(FAllocations.begin(), FAllocations.end(),
                               [allocation](const auto& listed) { return listed.get() == allocation; });
  if (it == FAllocations.end()) return;
  // Last slot first, so that the first one is taken first next time.
  for (auto slot = allocation->Blocks.rbegin(); slot != allocation->Blocks.rend(); ++slot) ReleaseSlot(*slot);
  FAllocations.erase(it);
}

uint32_t TMemoryManager::GetAllocationSize(PMemoryAllocation allocation) const {
  return allocation ? allocation->Size : 0;
}

template <typename TCopy>
bool TMemoryManager::CopyRange(PMemoryAllocation allocation, uint32_t offset, uint32_t count,
                               TCopy copy) const {
  // Summed in 64 bits: a 32-bit sum could wrap and pass the check.
  if (!allocation || uint64_t{offset} + count > allocation->Size) return false;
  size_t block = offset / MemoryBlockSize;
  uint32_t blockOffset = offset % MemoryBlockSize;
  uint32_t done = 0;
  while (done < count) {
    const uint32_t chunk = std::min(count - done, MemoryBlockSize - blockOffset);
    copy(static_cast<char*>(FBlocks[allocation->Blocks[block]].Memory) + blockOffset, done, chunk);
    done += chunk;
    ++block;
    blockOffset = 0;
  }
  return true;
}

const char* TMemoryManager::AddressOf(PMemoryAllocation allocation, uint32_t offset,
                                      uint32_t& contiguous) const {
  if (!allocation || offset >= allocation->Size) return nullptr;
  const uint32_t blockOffset = offset % MemoryBlockSize;
  contiguous = std::min(allocation->Size - offset, MemoryBlockSize - blockOffset);
  return static_cast<const char*>(FBlocks[allocation->Blocks[offset / MemoryBlockSize]].Memory) + blockOffset;
}

bool TMemoryManager::Read(void* buffer, PMemoryAllocation allocation, uint32_t offset, uint32_t count) const {
  return CopyRange(allocation, offset, count, [buffer](const char* memory, uint32_t done, uint32_t chunk) {
    std::memcpy(static_cast<char*>(buffer) + done, memory, chunk);
  });
}

bool TMemoryManager::Write(const void* buffer, PMemoryAllocation allocation, uint32_t offset, uint32_t count) {
  return CopyRange(allocation, offset, count, [buffer](char* memory, uint32_t done, uint32_t chunk) {
    std::memcpy(memory, static_cast<const char*>(buffer) + done, chunk);
  });
}

bool TMemoryManager::Zero(PMemoryAllocation allocation, uint32_t offset, uint32_t count) {
  return CopyRange(allocation, offset, count, [](char* memory, uint32_t, uint32_t chunk) {
    std::memset(memory, 0, chunk);
  });
}

}  // namespace zv
