// The whole pipe (runner, stage, the test plug-in ZvPassthru through its
// callbacks, saving) against a plain copy of the same files with ReadFile and
// WriteFile in 256 KiB chunks, in the same run, alternating which goes first,
// best of several rounds: one 512 MiB file (copied by the stage, passed on
// unchanged with ZVR_USEINPUT, and copied with MemUsage 1, where the output
// spills to a temporary file) and 1,000 files of 4 KiB. Each measured batch
// makes its runner, runs every file and frees the runner, as a host's batch
// does. Fails when a run fails or the allocator ever held more blocks than it
// has slots.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "config/SettingsManager.h"
#include "engine/MixedStream.h"
#include "engine/TransformManager.h"
#include "platform/Module.h"
#include "platform/WinHandle.h"
#include "plugins/PluginManager.h"
#include "plugins/PluginSettings.h"
#include "plugins/TransformBridge.h"

using namespace zv;

namespace {

constexpr int64_t LargeSize = 512LL << 20;
constexpr int SmallCount = 1000;
constexpr int SmallSize = 4096;
constexpr int LargeRounds = 3;
constexpr int SmallRounds = 5;

using TFileList = std::vector<std::pair<TFileProperties, TFileProperties>>;

double Now() {
  LARGE_INTEGER counter, frequency;
  ::QueryPerformanceCounter(&counter);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool PlainCopy(const std::wstring& from, const std::wstring& to) {
  static std::vector<char> buffer(262144);
  const TScopedFile in(::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  const TScopedFile out(::CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!in || !out) return false;
  for (;;) {
    DWORD read = 0, written = 0;
    if (!::ReadFile(in.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
    if (read == 0) return true;
    if (!::WriteFile(out.Get(), buffer.data(), read, &written, nullptr) || written != read) return false;
  }
}

bool MakeFile(const std::wstring& name, int64_t size, char seed) {
  std::vector<char> chunk(1 << 20);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31 + seed);
  const TScopedFile file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  for (int64_t done = 0; file && done < size;) {
    const DWORD n = static_cast<DWORD>(std::min<int64_t>(size - done, static_cast<int64_t>(chunk.size())));
    DWORD written = 0;
    if (!::WriteFile(file.Get(), chunk.data(), n, &written, nullptr) || written != n) return false;
    done += n;
  }
  return static_cast<bool>(file);
}

class TPipeBench {
public:
  explicit TPipeBench(const std::wstring& folder) : FFolder(folder) {
    InitTransformBridge();
    InitPluginAPI();
    FSettings = std::make_unique<TSettingsManager>(folder + L"\\Zentavo.cfg");
    GlobalSettingsManager = FSettings.get();
    FSettings->SetTempFolder(folder);
    FPlugins = std::make_unique<TPluginManager>();
    GlobalPluginManager = FPlugins.get();
    FPassthru = FPlugins->InstallPlugin(nullptr, GetModuleDir() + L"\\..\\tests\\fixtures\\ZvPassthru.zvx");
  }
  ~TPipeBench() {
    GlobalPluginManager = nullptr;
    FPlugins.reset();
    GlobalSettingsManager = nullptr;
    FSettings.reset();
  }

  bool Ready() const { return FPassthru != nullptr; }
  TSettingsManager& Settings() { return *FSettings; }

  // One batch through a one-stage pipe; the outputs are deleted afterwards.
  double TimePipe(const TFileList& files, const wchar_t* results) {
    TPluginEntry entry = FPlugins->LoadPlugin(*FPassthru, skSettings, TPluginManager::GetPluginKeyName(*FPassthru));
    if (!entry) return Failed = true, 0;
    if (results) entry->PluginSettings->WriteString(L"Results", results);
    const double start = Now();
    {
      std::vector<TPluginEntry> entries;
      entries.push_back(std::move(entry));
      TTransformManager runner(std::move(entries));
      for (const auto& [input, output] : files) Failed |= !runner.Run(&input, &output);
      if (const TMemoryManager* memory = GlobalMemoryManager.get()) {
        OverBudget |= memory->AllocatedBlockCount() > memory->SlotCount();
        if (memory->AllocatedBlockCount() >= PeakBlocks)
          PeakBlocks = memory->AllocatedBlockCount(), Slots = memory->SlotCount();
      }
    }
    const double time = Now() - start;
    for (const auto& file : files) ::DeleteFileW(file.second.FullName().c_str());
    return time;
  }

  double TimePlain(const TFileList& files) {
    const double start = Now();
    for (const auto& [input, output] : files) Failed |= !PlainCopy(input.FullName(), output.FullName());
    const double time = Now() - start;
    for (const auto& file : files) ::DeleteFileW(file.second.FullName().c_str());
    return time;
  }

  // Best times of the plain copy and the pipe, alternating which goes first.
  std::pair<double, double> Best(const TFileList& files, const wchar_t* results, int rounds) {
    double plain = 1e9, pipe = 1e9;
    for (int round = 0; round < rounds; ++round) {
      if (round % 2 == 0) plain = std::min(plain, TimePlain(files));
      pipe = std::min(pipe, TimePipe(files, results));
      if (round % 2 == 1) plain = std::min(plain, TimePlain(files));
    }
    return {plain, pipe};
  }

  bool Failed = false, OverBudget = false;
  int32_t PeakBlocks = 0, Slots = 0;  // of the runner whose allocator held the most blocks

private:
  std::wstring FFolder;
  std::unique_ptr<TSettingsManager> FSettings;
  std::unique_ptr<TPluginManager> FPlugins;
  TPlugin* FPassthru = nullptr;
};

}  // namespace

int main() {
  wchar_t base[MAX_PATH];
  ::GetTempPathW(MAX_PATH, base);
  const std::wstring folder = std::wstring(base) + L"zvbench-pipe-" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring in = folder + L"\\in", out = folder + L"\\out";
  for (const std::wstring& dir : {folder, in, out}) ::CreateDirectoryW(dir.c_str(), nullptr);

  int exitCode = 0;
  {
    TPipeBench bench(folder);
    if (!bench.Ready()) {
      std::printf("the test plug-in ZvPassthru cannot be installed (build the tests first)\n");
      return 1;
    }
    const TFileList large = {{{in, L"", L"large", L"bin"}, {out, L"", L"large", L"bin"}}};
    TFileList small;
    for (int i = 0; i < SmallCount; ++i) {
      const std::wstring name = L"small" + std::to_wstring(i);
      small.push_back({{in, L"", name, L"bin"}, {out, L"", name, L"bin"}});
      if (!MakeFile(small.back().first.FullName(), SmallSize, static_cast<char>(i))) bench.Failed = true;
    }
    if (!MakeFile(large[0].first.FullName(), LargeSize, 7)) bench.Failed = true;

    const double mib = static_cast<double>(LargeSize) / 1048576.0;
    std::printf("One pass-through stage against a plain 256 KiB ReadFile/WriteFile copy, best of %d rounds "
                "(large) and %d (small)\n", LargeRounds, SmallRounds);
    const struct {
      const char* Name;
      const wchar_t* Results;
      int32_t MemUsage;
    } variants[] = {
        {"copied by the stage", nullptr, 75},
        {"passed on unchanged (ZVR_USEINPUT)", L"4", 75},
        {"copied, MemUsage 1 (spills to a temporary file)", nullptr, 1},
    };
    for (const auto& variant : variants) {
      bench.Settings().SetMemUsage(variant.MemUsage);
      const auto [plain, pipe] = bench.Best(large, variant.Results, LargeRounds);
      std::printf("  %lld MiB, %s:\n    plain %8.1f ms %7.1f MiB/s, pipe %8.1f ms %7.1f MiB/s, ratio (plain time / "
                  "pipe time) %.2fx%s\n", static_cast<long long>(LargeSize >> 20), variant.Name, plain * 1000,
                  mib / plain, pipe * 1000, mib / pipe, plain / pipe,
                  variant.MemUsage == 75 && !variant.Results ? " (goal >= 0.80x)" : "");
    }
    bench.Settings().SetMemUsage(75);
    const auto [plain, pipe] = bench.Best(small, nullptr, SmallRounds);
    std::printf("  %d files of %d KiB: plain %.1f us per file, pipe %.1f us per file, ratio (pipe time / plain time) "
                "%.2fx (goal <= 2.00x)\n", SmallCount, SmallSize / 1024, plain * 1e6 / SmallCount,
                pipe * 1e6 / SmallCount, pipe / plain);
    std::printf("  peak blocks %d of %d slots\n", bench.PeakBlocks, bench.Slots);
    if (bench.OverBudget) std::printf("the allocator held more blocks than it has slots\n"), exitCode = 1;
    if (bench.Failed) std::printf("a run or a copy failed\n"), exitCode = 1;

    for (const auto& file : small) ::DeleteFileW(file.first.FullName().c_str());
    ::DeleteFileW(large[0].first.FullName().c_str());
  }
  for (const std::wstring& dir : {out, in}) ::RemoveDirectoryW(dir.c_str());
  ::DeleteFileW((folder + L"\\Zentavo.cfg").c_str());
  ::RemoveDirectoryW(folder.c_str());
  return exitCode;
}
