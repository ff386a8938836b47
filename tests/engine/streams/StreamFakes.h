// Stand-ins for the stream tests: an in-memory data stream that can be made to
// fail, and recording fakes of the running plug-in, the error entry, the save
// progress receiver and the panel's output line.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <list>
#include <string>
#include <thread>
#include <vector>

#include "engine/GeneralStream.h"
#include "engine/WriteProgress.h"
#include "frontend/ProgressOutputLine.h"
#include "platform/TextConv.h"
#include "platform/ZvError.h"
#include "plugins/PluginCallContext.h"
#include "services/ErrorEntry.h"

namespace zvtest {

// Data in a vector. FailReadAfter: once that many bytes were delivered, reads
// answer -1 (or raise with ThrowOnFail). Counts reads; reports its destruction.
class TMemStream : public zv::TStream {
public:
  explicit TMemStream(std::vector<char> data = {}) : Data(std::move(data)) {}
  ~TMemStream() override {
    if (Destroyed) *Destroyed = true;
  }

  int64_t GetSize() override {
    return ClaimedSize >= 0 ? ClaimedSize : static_cast<int64_t>(Data.size());
  }
  void SetSize(int64_t newSize) override {
    if (newSize < 0) throw zv::EZvError(L"negative size");
    Data.resize(static_cast<size_t>(newSize));
    if (Position > newSize) Position = newSize;
  }
  int32_t Read(void* buffer, int32_t count) override {
    ++ReadCalls;
    if (OnRead) OnRead();
    if (FailReadAfter >= 0 && Delivered >= FailReadAfter) {
      if (ThrowOnFail) throw zv::EZvError(L"read failed");
      return -1;
    }
    const int64_t left = static_cast<int64_t>(Data.size()) - Position;
    const int32_t n = left <= 0 ? 0 : static_cast<int32_t>(std::min<int64_t>(count, left));
    if (n > 0) std::memcpy(buffer, Data.data() + Position, n);
    Position += n;
    Delivered += n;
    return n;
  }
  int32_t Write(const void* buffer, int32_t count) override {
    if (Position + count > static_cast<int64_t>(Data.size())) Data.resize(static_cast<size_t>(Position + count));
    std::memcpy(Data.data() + Position, buffer, count);
    Position += count;
    return count;
  }
  int64_t Seek(int64_t offset, zv::TSeekOrigin origin) override {
    const int64_t base = origin == zv::soCurrent ? Position : origin == zv::soEnd ? GetSize() : 0;
    if (base + offset < 0) return -1;
    return Position = base + offset;
  }

  std::vector<char> Data;
  int64_t Position = 0;
  int64_t ClaimedSize = -1;  // a size that the data does not hold, when >= 0
  int64_t FailReadAfter = -1;
  bool ThrowOnFail = false;
  int64_t Delivered = 0;
  int ReadCalls = 0;
  bool* Destroyed = nullptr;
  std::function<void()> OnRead;
};

// Bytes 0, 1, 2, ... wrapping at 251, so that a misplaced chunk shows.
inline std::vector<char> Pattern(size_t size) {
  std::vector<char> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

class TFakePlugin : public zv::IPluginCallContext {
public:
  std::wstring PluginName() override { return L"Fake Plugin"; }
  zv::TPluginFile* PluginFile() override { return reinterpret_cast<zv::TPluginFile*>(&FIdentity); }
  const char* StoreAnsiString(const std::wstring& text) override {
    Stored.push_back(zv::WideToAnsi(text));
    return Stored.back().c_str();
  }
  std::list<std::string> Stored;  // a list: earlier pointers stay valid

private:
  int FIdentity = 0;
};

struct TReportedError {
  zv::TPluginFile* PluginFile;
  std::wstring Message;
  zv::TErrorStruct Error;
};

class TFakeErrorEntry : public zv::IErrorEntry {
public:
  void ReportError(zv::TPluginFile* pluginFile, const std::wstring& message,
                   const zv::TErrorStruct& error) override {
    Reports.push_back({pluginFile, message, error});
    if (OnReport) OnReport();
  }
  std::vector<TReportedError> Reports;
  std::function<void()> OnReport;
};

class TFakeWriteProgress : public zv::IWriteProgress {
public:
  bool SetWriteProgress(int32_t percent) override {
    Percents.push_back(percent);
    return static_cast<int>(Percents.size()) == AbortAtCall;
  }
  std::vector<int32_t> Percents;
  int AbortAtCall = 0;  // 1-based call that answers "abort"; 0 never
};

class TFakeOutputLine : public zv::IProgressOutputLine {
public:
  void SetOutputText(const std::wstring& text) override {
    Texts.push_back(text);
    if (OnText) OnText();
  }
  std::vector<std::wstring> Texts;
  std::function<void()> OnText;
};

// Registers the fakes for one test and removes them after it.
class TStreamTest : public ::testing::Test {
protected:
  void SetUp() override {
    zv::CurrentPluginContext = &Plugin;
    zv::GlobalErrorEntry = &Errors;
    zv::ActiveWriteProgress = &Progress;
    zv::ProgressOutputLine = &OutputLine;
  }
  void TearDown() override {
    zv::CurrentPluginContext = nullptr;
    zv::GlobalErrorEntry = nullptr;
    zv::ActiveWriteProgress = nullptr;
    zv::ProgressOutputLine = nullptr;
  }

  static zv::TFileProperties Props(std::wstring root, std::wstring path, std::wstring name,
                                   std::wstring extension) {
    return {std::move(root), std::move(path), std::move(name), std::move(extension)};
  }

  TFakePlugin Plugin;
  TFakeErrorEntry Errors;
  TFakeWriteProgress Progress;
  TFakeOutputLine OutputLine;
};

// Whether another thread can take the stream's lock (through GetPosition)
// within a few seconds. Called while the lock is held by this thread, it
// answers false, and the helper thread finishes once the lock is released.
class TLockProbe {
public:
  explicit TLockProbe(zv::TGeneralStream& stream)
      : FThread([&stream, this] {
          int64_t position;
          stream.GetPosition(&position);
          FDone.set_value();
        }) {}
  ~TLockProbe() { FThread.join(); }
  // Call once. Generous for "free", short for "held" (the held answer cannot be
  // wrong: the helper cannot pass a lock this thread holds).
  bool FinishedWithin(std::chrono::milliseconds wait) {
    return FDone.get_future().wait_for(wait) == std::future_status::ready;
  }
  bool FinishedSoon() { return FinishedWithin(std::chrono::seconds(5)); }

private:
  std::promise<void> FDone;
  std::thread FThread;
};

}  // namespace zvtest
