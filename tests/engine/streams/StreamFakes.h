// Stand-ins for the stream tests: an in-memory data stream that can be made to
// fail, recording fakes of the running plug-in, the error entry, the save
// progress receiver and the panel's output line, and a lock probe.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <list>
#include <string>
#include <vector>

#include "engine/GeneralStream.h"
#include "engine/ProgressLines.h"
#include "engine/TransformProgress.h"
#include "platform/TextConv.h"
#include "platform/ZvError.h"
#include "plugins/PluginCallContext.h"
#include "support/PluginFixtures.h"

namespace zvtest {

// Bytes 0, 1, 2, ... wrapping at 251, so that a misplaced chunk shows.
inline std::vector<char> Pattern(size_t size) {
  std::vector<char> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

// Data in a vector. Once FailReadAfter bytes were delivered, reads answer -1
// (or raise with ThrowOnFail). Counts reads; reports its destruction.
class TMemStream : public zv::TStream {
public:
  explicit TMemStream(std::vector<char> data = {}) : Data(std::move(data)) {}
  ~TMemStream() override { if (Destroyed) *Destroyed = true; }
  int64_t GetSize() override { return ClaimedSize >= 0 ? ClaimedSize : static_cast<int64_t>(Data.size()); }
  void SetSize(int64_t size) override { Data.resize(static_cast<size_t>(size)); }
  int32_t Read(void* buffer, int32_t count) override {
    ++ReadCalls;
    if (FailReadAfter >= 0 && Position >= FailReadAfter) {
      if (ThrowOnFail) throw zv::EZvError(L"read failed");
      return -1;
    }
    const int32_t n = static_cast<int32_t>(std::clamp<int64_t>(std::ssize(Data) - Position, 0, count));
    std::memcpy(buffer, Data.data() + Position, n);
    Position += n;
    return n;
  }
  int32_t Write(const void* buffer, int32_t count) override {
    Data.resize(std::max<size_t>(Data.size(), Position + count));
    std::memcpy(Data.data() + Position, buffer, count);
    Position += count;
    return count;
  }
  int64_t Seek(int64_t offset, zv::TSeekOrigin origin) override {
    const int64_t target = offset + (origin == zv::soCurrent ? Position : origin == zv::soEnd ? GetSize() : 0);
    return target < 0 ? -1 : Position = target;
  }

  std::vector<char> Data;
  int64_t Position = 0;
  int64_t ClaimedSize = -1;  // a size that the data does not hold, when >= 0
  int64_t FailReadAfter = -1;
  bool ThrowOnFail = false;
  int ReadCalls = 0;
  bool* Destroyed = nullptr;
};

class TFakePlugin : public zv::IPluginCallContext {
public:
  std::wstring PluginName() override { return L"Fake Plugin"; }
  zv::TPluginFile* GetPluginFile() override { return reinterpret_cast<zv::TPluginFile*>(this); }
  const char* StoreAnsiString(const std::wstring& text) override {
    return Stored.emplace_back(zv::WideToAnsi(text)).c_str();
  }
  std::list<std::string> Stored;  // a list: earlier pointers stay valid
};

// Also checks how the streams fill the record, and lets a test act while a report is made.
class TFakeErrorEntry : public TRecordingErrorEntry {
public:
  void ReportError(zv::TPluginFile* file, const std::wstring& message, const zv::TErrorStruct& error) override {
    EXPECT_EQ(error.Text, message);
    EXPECT_EQ(error.AdditionalInfo, L"");
    TRecordingErrorEntry::ReportError(file, message, error);
    if (OnReport) OnReport();
  }
  std::function<void()> OnReport;
};

class TFakeWriteProgress : public zv::ITransformProgress {
public:
  bool SetProgress(int32_t) override { return false; }
  void SetStatus(const char*) override {}
  bool SetWriteProgress(int32_t percent) override {
    Percents.push_back(percent);
    return static_cast<int>(Percents.size()) == AbortAtCall;
  }
  std::vector<int32_t> Percents;
  int AbortAtCall = 0;  // 1-based call that answers "abort"; 0 never
};

class TFakeOutputLine : public zv::IProgressLines {
public:
  void SetLoadText(const std::wstring&) override {}
  void SetStatusText(const std::wstring&) override {}
  void SetProcessingText(const std::wstring&) override {}
  void SetInputText(const std::wstring&) override {}
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
    zv::ActiveTransformManager = &Progress;
    zv::ProgressLines = &OutputLine;
  }
  void TearDown() override {
    zv::CurrentPluginContext = nullptr;
    zv::ActiveTransformManager = nullptr;
    zv::ProgressLines = nullptr;
  }

  TFakePlugin Plugin;
  TFakeErrorEntry Errors;
  TFakeWriteProgress Progress;
  TFakeOutputLine OutputLine;
};

// Fails unless another thread can take the stream's lock (through
// GetPosition). A lock this thread still holds would block that thread for
// good, so the process then ends instead of hanging.
inline void ExpectLockFree(zv::TGeneralStream& stream) {
  auto done = std::async(std::launch::async, [&stream] {
    int64_t position;
    stream.GetPosition(&position);
  });
  if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return;
  ADD_FAILURE() << "the stream's lock is still held";
  std::fflush(stdout);
  std::_Exit(3);
}

}  // namespace zvtest
