// The stream that holds what a pipe stage writes: its first bytes in one
// allocation of the run's block allocator, everything beyond that
// allocation's capacity in a temporary overflow file. Also the run's memory
// budget and the globals the streams share.
#pragma once
#include <windows.h>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/MemoryManager.h"
#include "platform/Lock.h"
#include "platform/Stream.h"

namespace zv {

// The allocator of the current pipe run; null when memory use is off or the
// budget is too small, and then every stream lives in its overflow file.
extern std::unique_ptr<TMemoryManager> GlobalMemoryManager;
// Folder for the overflow files, taken from the options by every InitMemoryManagement.
extern std::wstring StreamTempFolder;
// Held around Allocate, Reallocate and Deallocate on GlobalMemoryManager.
extern std::unique_ptr<TCriticalSection> MemoryLock;

// Smallest budget worth an allocator.
inline constexpr uint32_t MinMemoryBudget = 5 * MemoryBlockSize;

// The facts the budget is worked out from.
struct TMemoryBudgetInput {
  bool MemEnabled = true;
  int32_t MemUsage = 75;            // percent; 0 or below: no budget
  uint64_t AvailPhys = 0;           // free physical memory
  uint32_t MinimumAddress = 0;      // the process's application address range
  uint32_t MaximumAddress = 0;
};

// Bytes for the allocator, or 0 when the run gets none (memory use off,
// MemUsage not positive, or less than MinMemoryBudget). The address range, or
// the free physical memory when smaller, times MemUsage percent, rounded
// halves to even and bounded to what 32 bits hold.
uint32_t ComputeMemoryBudget(const TMemoryBudgetInput& input);

// Set up and release the three globals around a pipe run. The overflow files
// go to the TempFolder option, or to the system's temporary folder when that
// is empty or no folder. Every stream with an allocation must be destroyed
// before DoneMemoryManagement; one that is not keeps its allocator alive
// (leaked) rather than reading freed memory.
void InitMemoryManagement();
void DoneMemoryManagement();
// Streams that hold an allocation now; none once a pipe run has ended.
int32_t StreamsHoldingMemory();
// The allocator's peak usage in percent; 0 without an allocator.
int32_t GetMemoryUsagePercent();

class TMixedStream : public TStream {
public:
  TMixedStream();
  ~TMixedStream() override;
  TMixedStream(const TMixedStream&) = delete;
  TMixedStream& operator=(const TMixedStream&) = delete;

  int64_t GetSize() override { return FSize; }
  // Never fails; a negative size is ignored. Moves the position to the new size.
  void SetSize(int64_t newSize) override;
  // Bytes delivered or written, -1 on failure. A negative count is refused
  // with -1: it has no meaning, and -1 tells a plug-in's loop to stop. Bytes
  // never written (a hole left by SetSize, the gap before a write beyond the
  // data end) read as zeros.
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // The new position, -1 (nothing changed) for a negative target or when the
  // overflow file cannot be positioned there.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  // Data in the memory part goes to target straight from its block, without
  // the copy through buffer; everything else as the base class does it.
  int32_t WriteChunkTo(TStream& target, void* buffer, int32_t count) override;

  // Inspection for tests.
  bool HasOverflowFile() const { return FFile != nullptr; }
  const std::wstring& OverflowFileName() const;
  uint32_t GetMemoryCapacity() const;
  int64_t GetDataEnd() const { return FDataEnd; }

private:
  bool CreateTempFile();
  void DropTempFile();
  bool ResizeMemory(uint32_t newSize, bool allowPartial);
  void UpdateSize();
  // Positions the overflow file for stream position target (at or above the capacity).
  bool PositionFile(int64_t target);
  // Position after a failed file transfer: what did get through counts.
  void TakeFilePosition();
  int32_t DoRead(void* buffer, int32_t count);
  int32_t DoWrite(const void* buffer, int32_t count);
  bool PrepareWrite(int64_t end);
  bool ClearGap();
  // How many of count bytes from the position lie in memory, and how many in the file.
  struct TSplit {
    int64_t Memory, File;
  };
  TSplit SplitAtPosition(int64_t count) const;

  // The allocator the stream's allocation comes from, kept so that the stream
  // never mixes its allocation with the allocator of a later run.
  TMemoryManager* FManager = nullptr;
  int64_t FDataEnd = 0;   // highest position written, lowered only by SetSize
  int64_t FSize = 0;      // never below FDataEnd; above it the bytes form a hole
  int64_t FPosition = 0;  // never negative; may lie beyond FSize
  PMemoryAllocation FAllocation = nullptr;
  std::unique_ptr<TFileStream> FFile;
  bool FFileSeekNeeded = false;
};

}  // namespace zv
