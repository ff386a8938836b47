// Saving a 256 MiB output held in memory (TMixedStream within a memory budget)
// through TGeneralStream::SaveToFile, against a plain WriteFile loop of the
// same bytes in 256 KiB chunks. Best of several alternating rounds each.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/MixedStream.h"
#include "engine/OutputStream.h"
#include "engine/TransformProgress.h"
#include "platform/WinHandle.h"

using namespace zv;

namespace {

constexpr int32_t DataSize = 256 * 1024 * 1024;
constexpr int Rounds = 15;

double Now() {
  LARGE_INTEGER counter, frequency;
  ::QueryPerformanceCounter(&counter);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The baseline: the bytes straight from one buffer to the file.
bool WriteLoop(const std::wstring& fileName, const char* data) {
  TScopedFile file(::CreateFileW(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  for (int32_t offset = 0; offset < DataSize; offset += SaveChunkSize) {
    DWORD done = 0;
    if (!::WriteFile(file.Get(), data + offset, SaveChunkSize, &done, nullptr) ||
        done != static_cast<DWORD>(SaveChunkSize))
      return false;
  }
  return true;
}

// Answers every chunk, as the pipe runner does, and never aborts.
class TCountingProgress : public ITransformProgress {
public:
  bool SetProgress(int32_t) override { return false; }
  void SetStatus(const char*) override {}
  bool SetWriteProgress(int32_t) override {
    ++Calls;
    return false;
  }
  int Calls = 0;
};

std::wstring BenchFolder() {
  wchar_t base[MAX_PATH];
  ::GetTempPathW(MAX_PATH, base);
  return std::wstring(base) + L"zvbench-save-" + std::to_wstring(::GetCurrentProcessId());
}

}  // namespace

int main() {
  const std::wstring folder = BenchFolder();
  ::CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring baselineFile = folder + L"\\baseline.bin";

  std::vector<char> data(DataSize);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + (i >> 12));

  InitMemoryManagement();
  const bool inMemory = GlobalMemoryManager != nullptr;
  int exitCode = 0;
  {
    auto mixed = std::make_unique<TMixedStream>();
    if (mixed->Write(data.data(), DataSize) != DataSize) {
      std::printf("cannot fill the stream\n");
      return 1;
    }
    const bool overflowed = mixed->HasOverflowFile();
    TOutputStream out(std::move(mixed), TFileProperties{folder, L"", L"saved", L"bin"});
    TCountingProgress progress;
    ActiveTransformManager = &progress;

    double bestBaseline = 1e9, bestSave = 1e9;
    auto timeBaseline = [&] {
      const double start = Now();
      if (!WriteLoop(baselineFile, data.data())) exitCode = 1;
      bestBaseline = std::min(bestBaseline, Now() - start);
      ::DeleteFileW(baselineFile.c_str());
    };
    auto timeSave = [&] {
      const double start = Now();
      if (out.SaveToFile() != srSaved) exitCode = 1;
      bestSave = std::min(bestSave, Now() - start);
      ::DeleteFileW(out.GetFullName().c_str());
    };
    // Alternating which goes first evens out what one run leaves the next.
    for (int round = 0; round < Rounds; ++round) {
      if (round % 2 == 0) {
        timeBaseline();
        timeSave();
      } else {
        timeSave();
        timeBaseline();
      }
    }
    ActiveTransformManager = nullptr;

    const double mib = DataSize / 1048576.0;
    std::printf("SaveToFile of %d MiB (data %s%s), best of %d rounds\n", DataSize / 1048576,
                inMemory ? "in the memory budget" : "in an overflow file",
                overflowed ? ", partly overflowed" : "", Rounds);
    std::printf("  WriteFile loop, 256 KiB chunks: %8.1f ms  %8.1f MiB/s\n", bestBaseline * 1000,
                mib / bestBaseline);
    std::printf("  TGeneralStream::SaveToFile:     %8.1f ms  %8.1f MiB/s\n", bestSave * 1000,
                mib / bestSave);
    std::printf("  ratio (baseline time / SaveToFile time): %.2fx (goal >= 0.90x)\n",
                bestBaseline / bestSave);
    std::printf("  progress calls per save: %d\n", progress.Calls / Rounds);
    if (exitCode) std::printf("a write failed\n");
  }
  DoneMemoryManagement();
  ::RemoveDirectoryW(folder.c_str());
  return exitCode;
}
