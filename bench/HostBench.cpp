// The whole road of a copy through the library as the file manager drives
// it (the exports, the progress panel docked in the host's copy window, the
// runner with one pass-through stage, the save), by the test host, against
// a plain copy of the same files (CopyFileW) in the same run: one 512 MiB
// file, and 1,000 files of 4 KiB. Each round is one put batch; its file
// calls are timed, not the dialog. Best of several rounds, alternating which
// goes first.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "host/TestHost.h"

using namespace zvtest;

namespace {

double Now() {
  LARGE_INTEGER counter, frequency;
  ::QueryPerformanceCounter(&counter);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct TResult {
  double Plain = 1e9, Pipe = 1e9;
  bool Failed = false;
};

// names: the files below host.Work\local, copied to host.Work\view.
TResult Measure(TTestHost& host, const std::vector<std::wstring>& names, int rounds) {
  TResult result;
  const auto clear = [&] {
    for (const std::wstring& name : names) ::DeleteFileW((host.Work / (L"view\\" + name)).c_str());
  };
  const auto plain = [&] {
    const double start = Now();
    for (const std::wstring& name : names)
      result.Failed |= !::CopyFileW((host.Work / (L"local\\" + name)).c_str(), (host.Work / (L"view\\" + name)).c_str(), FALSE);
    result.Plain = std::min(result.Plain, Now() - start);
    clear();
  };
  const auto pipe = [&] {
    double elapsed = 0;
    host.Operate({opPut, host.Work / L"view", [&] {
      const double start = Now();
      for (const std::wstring& name : names)
        result.Failed |= host.Fs<int>("FsPutFile", host.Local(L"local\\" + name).c_str(), host.View(L"view\\" + name).c_str(), 0) != fsOk;
      elapsed = Now() - start;
    }});
    result.Pipe = std::min(result.Pipe, elapsed);
    clear();
    TTestHost::Progress.clear();
  };
  for (int round = 0; round < rounds; ++round) {
    if (round % 2 == 0) {
      plain();
      pipe();
    } else {
      pipe();
      plain();
    }
  }
  return result;
}

void WriteFilled(const std::wstring& path, size_t size) {
  std::vector<unsigned char> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 31 + (i >> 12));
  WriteFileBytes(path, bytes);
}

}  // namespace

int main() {
  TTestHost host(TPipe{{"passthru", {}}});
  for (const wchar_t* dir : {L"local", L"view"}) ::CreateDirectoryW((host.Work / dir).c_str(), nullptr);
  std::vector<std::wstring> small;
  for (int i = 0; i < 1000; ++i) {
    small.push_back(L"s" + std::to_wstring(i) + L".bin");
    WriteFilled(host.Work / (L"local\\" + small.back()), 4096);
  }
  const TResult smallFiles = Measure(host, small, 5);
  WriteFilled(host.Work / L"local\\large.bin", 512u << 20);
  const TResult largeFile = Measure(host, {L"large.bin"}, 3);

  std::printf("Copy through the library (test host, one pass-through stage) against CopyFileW, best of rounds\n");
  std::printf("  1 file of 512 MiB:     plain %8.1f ms, pipe %8.1f ms, ratio (plain / pipe) %.2fx (goal >= 0.80x)\n",
              largeFile.Plain * 1000, largeFile.Pipe * 1000, largeFile.Plain / largeFile.Pipe);
  std::printf("  1,000 files of 4 KiB:  plain %8.3f ms/file, pipe %8.3f ms/file, ratio %.2fx (goal >= 0.50x)\n",
              smallFiles.Plain, smallFiles.Pipe, smallFiles.Plain / smallFiles.Pipe);
  if (smallFiles.Failed || largeFile.Failed) std::printf("a copy failed\n");
  return smallFiles.Failed || largeFile.Failed;
}
