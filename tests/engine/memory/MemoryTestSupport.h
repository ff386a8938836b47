// Sets up the globals a pipe run gives its streams, with a chosen allocator.
#pragma once
#include <memory>
#include <string>

#include "engine/MixedStream.h"

namespace zvtest {

inline constexpr uint32_t MiB = zv::MemoryBlockSize;

class TRunMemory {
public:
  // slots < 0: no allocator, every stream lives in its overflow file.
  TRunMemory(int32_t slots, const std::wstring& tempFolder, int32_t heapBlockLimit = -1) {
    if (slots >= 0)
      zv::GlobalMemoryManager = std::make_unique<zv::TMemoryManager>(slots * MiB, heapBlockLimit);
    zv::MemoryLock = std::make_unique<zv::TCriticalSection>();
    zv::StreamTempFolder = tempFolder;
  }
  ~TRunMemory() {
    zv::DoneMemoryManagement();
    zv::StreamTempFolder.clear();
  }
  TRunMemory(const TRunMemory&) = delete;
  TRunMemory& operator=(const TRunMemory&) = delete;
};

}  // namespace zvtest
