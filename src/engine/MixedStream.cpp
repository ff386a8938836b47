#include "engine/MixedStream.h"

#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "config/SettingsManager.h"
#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "platform/ZvError.h"

namespace zv {

std::unique_ptr<TMemoryManager> GlobalMemoryManager;
std::wstring StreamTempFolder;
std::unique_ptr<TCriticalSection> MemoryLock;

// ---- The memory budget ----

uint32_t ComputeMemoryBudget(const TMemoryBudgetInput& input) {
  if (!input.MemEnabled || input.MemUsage <= 0) return 0;
  uint64_t space = static_cast<uint32_t>(input.MaximumAddress - input.MinimumAddress);
  space = std::min(space, input.AvailPhys);
  // Extended precision, division first, halves to even (the default rounding mode).
  const long double budget =
      std::nearbyint(static_cast<long double>(space) * (static_cast<long double>(input.MemUsage) / 100.0L));
  // A stored MemUsage above 100 must not wrap the 32-bit byte count.
  constexpr long double maxBudget = std::numeric_limits<uint32_t>::max();
  const uint32_t bytes = budget >= maxBudget ? std::numeric_limits<uint32_t>::max() : static_cast<uint32_t>(budget);
  return bytes >= MinMemoryBudget ? bytes : 0;
}

namespace {

std::atomic<int32_t> LiveAllocations{0};

// An empty or missing folder would make every spill fail, and with it every
// stage write, under a plug-in error that hides the cause.
std::wstring OverflowFolder(TSettingsManager* settings) {
  const std::wstring folder = settings ? settings->GetTempFolder() : std::wstring();
  return DirectoryExists(folder) ? folder : SystemTempFolder();
}

// Zero when the system cannot tell how much memory is free.
uint32_t BudgetFromSystem(bool memEnabled, int32_t memUsage) {
  if (!memEnabled || memUsage <= 0) return 0;
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);
  if (!::GlobalMemoryStatusEx(&status)) return 0;
  SYSTEM_INFO info = {};
  ::GetSystemInfo(&info);
  TMemoryBudgetInput input;
  input.MemEnabled = memEnabled;
  input.MemUsage = memUsage;
  input.AvailPhys = status.ullAvailPhys;
  input.MinimumAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.lpMinimumApplicationAddress));
  input.MaximumAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.lpMaximumApplicationAddress));
  return ComputeMemoryBudget(input);
}

void ShowError(const std::wstring& message) {
  ShowMessageBox(message, L"Error", MB_ICONERROR);
}

}  // namespace

void InitMemoryManagement() {
  GlobalMemoryManager.reset();
  TSettingsManager* settings = GlobalSettingsManager;
  const uint32_t budget =
      settings ? BudgetFromSystem(settings->GetMemEnabled(), settings->GetMemUsage()) : BudgetFromSystem(true, 75);
  if (budget > 0) {
    try {
      GlobalMemoryManager = std::make_unique<TMemoryManager>(budget);
    } catch (const EZvError& e) {
      ShowError(e.Message());
    } catch (const std::bad_alloc&) {
      ShowError(L"Out of memory.");
    }
  }
  StreamTempFolder = OverflowFolder(settings);
  MemoryLock = std::make_unique<TCriticalSection>();
}

void DoneMemoryManagement() {
  MemoryLock.reset();
  // A stream that outlives its run is a fault of its owner; it must still
  // not read freed memory.
  if (LiveAllocations == 0)
    GlobalMemoryManager.reset();
  else
    GlobalMemoryManager.release();  // still in use: its blocks must stay valid
}

int32_t StreamsHoldingMemory() { return LiveAllocations; }

int32_t GetMemoryUsagePercent() {
  return GlobalMemoryManager ? GlobalMemoryManager->GetUsagePercent() : 0;
}

// ---- TMixedStream ----

namespace {

// Runs op under MemoryLock; the lock may be missing only outside a pipe run.
template <typename TOp>
auto UnderMemoryLock(TOp op) {
  if (!MemoryLock) return op();
  TLockGuard guard(*MemoryLock);
  return op();
}

}  // namespace

TMixedStream::TMixedStream() : FManager(GlobalMemoryManager.get()) {
  if (!FManager) return;
  FAllocation = UnderMemoryLock([this] { return FManager->Allocate(0, false); });
  if (FAllocation) ++LiveAllocations;
}

TMixedStream::~TMixedStream() {
  if (FAllocation) {
    UnderMemoryLock([this] { FManager->Deallocate(FAllocation); });
    --LiveAllocations;
  }
  if (FFile) DropTempFile();
}

const std::wstring& TMixedStream::OverflowFileName() const {
  static const std::wstring none;
  return FFile ? FFile->FileName() : none;
}

uint32_t TMixedStream::GetMemoryCapacity() const { return FAllocation ? FAllocation->Size : 0; }

bool TMixedStream::ResizeMemory(uint32_t newSize, bool allowPartial) {
  if (!FAllocation) return false;
  return UnderMemoryLock([&] { return FManager->Reallocate(FAllocation, newSize, allowPartial); });
}

bool TMixedStream::CreateTempFile() {
  wchar_t name[MAX_PATH] = {};
  if (::GetTempFileNameW(StreamTempFolder.c_str(), L"zvq", 0, name) == 0) return false;
  try {
    // Deleted by the system when the handle closes, so that a crash or a
    // killed host leaves no overflow file behind.
    FFile = std::make_unique<TFileStream>(name, TFileMode::Create, FILE_SHARE_DELETE,
                                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
  } catch (...) {
    ::DeleteFileW(name);  // the empty file the name service made
    return false;
  }
  // Sparse, so that a write far beyond the data end (a plug-in may seek
  // anywhere) takes no disk space for the gap; where the file system cannot,
  // the gap is plain zeros.
  DWORD unused = 0;
  ::DeviceIoControl(FFile->Handle(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
  FFileSeekNeeded = true;
  return true;
}

void TMixedStream::DropTempFile() {
  const std::wstring name = FFile->FileName();
  FFile.reset();  // normally removes the file already (delete on close)
  ::DeleteFileW(name.c_str());
}

void TMixedStream::UpdateSize() {
  FDataEnd = std::max(FDataEnd, FPosition);
  FSize = std::max(FSize, FDataEnd);
}

bool TMixedStream::PositionFile(int64_t target) {
  // 64-bit positioning: the file part may reach beyond 2 GiB.
  const int64_t fileOffset = target - GetMemoryCapacity();
  if (FFile->Seek(fileOffset, soBeginning) != fileOffset) return false;
  FFileSeekNeeded = false;
  return true;
}

void TMixedStream::TakeFilePosition() {
  const int64_t filePosition = FFile->Seek(0, soCurrent);
  if (filePosition >= 0) FPosition = GetMemoryCapacity() + filePosition;
  FFileSeekNeeded = true;
}

int64_t TMixedStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  switch (origin) {
    case soBeginning: base = 0; break;
    case soCurrent: base = FPosition; break;
    case soEnd: base = FSize; break;
    default: base = FPosition; offset = 0; break;
  }
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) return -1;
  if (FFile && target >= GetMemoryCapacity()) {
    if (!PositionFile(target)) return -1;
  } else {
    FFileSeekNeeded = true;
  }
  FPosition = target;
  return target;
}

int32_t TMixedStream::Read(void* buffer, int32_t count) {
  if (count < 0) return -1;
  try {
    return DoRead(buffer, count);
  } catch (...) {
    return -1;
  }
}

int32_t TMixedStream::WriteChunkTo(TStream& target, void* buffer, int32_t count) {
  // Only a chunk that lies whole in one written memory block goes directly,
  // so the chunk is exactly what Read would have delivered.
  const int64_t wanted = std::min<int64_t>(count, FSize - FPosition);
  uint32_t contiguous = 0;
  const char* memory = nullptr;
  if (FAllocation && wanted > 0 && FPosition + wanted <= FDataEnd && FPosition + wanted <= GetMemoryCapacity())
    memory = FManager->AddressOf(FAllocation, static_cast<uint32_t>(FPosition), contiguous);
  if (!memory || contiguous < wanted) return TStream::WriteChunkTo(target, buffer, count);
  const int32_t n = static_cast<int32_t>(wanted);
  if (target.Write(memory, n) != n) throw EZvError(L"The file could not be written completely.");
  FPosition += n;
  FFileSeekNeeded = true;
  return n;
}

TMixedStream::TSplit TMixedStream::SplitAtPosition(int64_t count) const {
  const int64_t capacity = GetMemoryCapacity();
  const int64_t memory = FAllocation && FPosition < capacity ? std::min(count, capacity - FPosition) : 0;
  return {memory, FFile ? count - memory : 0};
}

int32_t TMixedStream::DoRead(void* buffer, int32_t count) {
  int64_t got = 0;
  if (FPosition < FDataEnd) {
    const int64_t avail = std::min<int64_t>(count, FDataEnd - FPosition);
    if (avail > 0) {
      const auto [mem, fileCount] = SplitAtPosition(avail);
      if (mem > 0) {
        FFileSeekNeeded = true;
        if (!FManager->Read(buffer, FAllocation, static_cast<uint32_t>(FPosition), static_cast<uint32_t>(mem)))
          return -1;
        FPosition += mem;
      }
      if (fileCount > 0) {
        if (FFileSeekNeeded && !PositionFile(FPosition)) return -1;
        int32_t done = 0;
        try {
          done = FFile->Read(static_cast<char*>(buffer) + mem, static_cast<int32_t>(fileCount));
        } catch (...) {
          TakeFilePosition();
          return -1;
        }
        FPosition += done;
        if (done < fileCount) return -1;
      }
      got = mem + fileCount;
    }
  }
  // A hole: never written, so it reads as zeros, whatever the reused memory
  // or the file hold there. The file was not moved along, so the next file
  // access must position it first.
  if (FPosition < FSize && count > got) {
    const int64_t extra = std::min<int64_t>(count - got, FSize - FPosition);
    std::memset(static_cast<char*>(buffer) + got, 0, static_cast<size_t>(extra));
    got += extra;
    FPosition += extra;
    FFileSeekNeeded = true;
  }
  return static_cast<int32_t>(got);
}

int32_t TMixedStream::Write(const void* buffer, int32_t count) {
  if (count < 0) return -1;
  // Nothing to store: no reason to grow memory or make a file for it.
  if (count == 0) return 0;
  if (FPosition > std::numeric_limits<int64_t>::max() - count) return -1;
  try {
    return DoWrite(buffer, count);
  } catch (...) {
    return -1;
  }
}

bool TMixedStream::PrepareWrite(int64_t end) {
  if (end <= FDataEnd || FFile) return true;
  if (FAllocation) {
    // The memory part grows only until the first spill; beyond 4 GiB ask for
    // the most, so the allocator grants what it can.
    constexpr int64_t maxSize = std::numeric_limits<uint32_t>::max();
    ResizeMemory(static_cast<uint32_t>(std::min(end, maxSize)), true);
    if (GetMemoryCapacity() >= end) return true;
  }
  return CreateTempFile();
}

// The gap before a write beyond the data end must read as zeros: memory
// blocks are reused without zeroing, and a SetSize that kept the overflow file
// left bytes in it beyond the data end. Cutting the file there lets the
// system supply the zeros (sparse: without taking disk space).
bool TMixedStream::ClearGap() {
  const int64_t capacity = GetMemoryCapacity();
  if (FAllocation && FDataEnd < capacity) {
    const int64_t end = std::min(FPosition, capacity);
    if (!FManager->Zero(FAllocation, static_cast<uint32_t>(FDataEnd), static_cast<uint32_t>(end - FDataEnd)))
      return false;
  }
  const int64_t fileDataEnd = std::max<int64_t>(FDataEnd - capacity, 0);
  if (FFile && FFile->GetSize() > fileDataEnd) {
    FFile->SetSize(fileDataEnd);
    FFileSeekNeeded = true;
  }
  return true;
}

int32_t TMixedStream::DoWrite(const void* buffer, int32_t count) {
  if (!PrepareWrite(FPosition + count)) return -1;
  if (FPosition > FDataEnd && !ClearGap()) return -1;
  const auto [mem, fileCount] = SplitAtPosition(count);
  if (mem > 0) {
    FFileSeekNeeded = true;
    if (!FManager->Write(buffer, FAllocation, static_cast<uint32_t>(FPosition), static_cast<uint32_t>(mem)))
      return -1;
    FPosition += mem;
    UpdateSize();
  }
  if (fileCount > 0) {
    if (FFileSeekNeeded && !PositionFile(FPosition)) return -1;
    int32_t done = 0;
    try {
      done = FFile->Write(static_cast<const char*>(buffer) + mem, static_cast<int32_t>(fileCount));
    } catch (...) {
      TakeFilePosition();
      UpdateSize();
      return -1;
    }
    FPosition += done;
    UpdateSize();
    if (done < fileCount) return -1;
  }
  return static_cast<int32_t>(mem + fileCount);
}

void TMixedStream::SetSize(int64_t newSize) {
  if (newSize < 0 || newSize == FSize) return;
  if (newSize < FDataEnd) {
    if (FAllocation && !FFile) {
      ResizeMemory(static_cast<uint32_t>(newSize), false);
    } else if (FAllocation && GetMemoryCapacity() >= newSize) {
      // Everything left fits in memory: the file part is no longer needed.
      ResizeMemory(static_cast<uint32_t>(newSize), false);
      DropTempFile();
    }
    // Otherwise the file keeps its bytes; those beyond the new data end are never read.
    FDataEnd = newSize;
  }
  FSize = newSize;
  FPosition = newSize;
  FFileSeekNeeded = true;
}

}  // namespace zv
