// The test plug-ins (tests/plugins/fixtures) as the tests drive them: where
// they lie, their test-only exports, and a recording error entry.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Module.h"
#include "plugins/PluginFile.h"
#include "services/ErrorEntry.h"

namespace zvtest {

// What an export of the configurable test plug-in does (ZVT_Configure).
enum TFixtureBehaviour : int {
  fbReturn = 0,           // return the value
  fbAccessViolation = 1,  // write to the address given as the value
  fbDivideByZero = 2,
  fbStackOverflow = 3,
  fbRaise = 4,            // RaiseException with the value as its code
  fbFaultInOwnFrame = 5,  // fault under an exception frame of the plug-in's own
  fbCallHost = 6,         // call the stdcall function given as the value, return its result
  fbNoAccessText = 7,     // a text of value characters without a zero, ending at a no-access page
};

inline std::wstring FixturePath(const std::wstring& name = L"ZvFixture") {
  return zv::GetModuleDir() + L"\\fixtures\\" + name + L".zvx";
}

// The test-only exports of one loaded instance of a test plug-in.
class TFixtureControl {
public:
  explicit TFixtureControl(HMODULE module)
      : FConfigure(reinterpret_cast<TConfigure>(::GetProcAddress(module, "ZVT_Configure"))),
        FCallCount(reinterpret_cast<TCount>(::GetProcAddress(module, "ZVT_CallCount"))),
        FUnwindCount(reinterpret_cast<TCount>(::GetProcAddress(module, "ZVT_UnwindCount"))),
        FLastArgument(reinterpret_cast<TLastArgument>(::GetProcAddress(module, "ZVT_LastArgument"))) {
    EXPECT_TRUE(FConfigure && FCallCount && FUnwindCount && FLastArgument) << "not a test plug-in";
  }
  explicit TFixtureControl(const zv::TPluginFile& file) : TFixtureControl(file.Handle()) {}

  void Set(zv::TFunctionId id, TFixtureBehaviour behaviour, uintptr_t value = 0) { FConfigure(id, behaviour, value); }
  void Returns(zv::TFunctionId id, uintptr_t value) { Set(id, fbReturn, value); }
  LONG CallCount() { return FCallCount(); }
  LONG UnwindCount() { return FUnwindCount(); }
  uintptr_t LastArgument(zv::TFunctionId id, int index = 0) { return FLastArgument(id, index); }

private:
  using TConfigure = void(__stdcall*)(int, int, uintptr_t);
  using TCount = LONG(__stdcall*)();
  using TLastArgument = uintptr_t(__stdcall*)(int, int);
  TConfigure FConfigure;
  TCount FCallCount;
  TCount FUnwindCount;
  TLastArgument FLastArgument;
};

// Records every error that reaches the entry; registered while it lives.
class TRecordingErrorEntry : public zv::IErrorEntry {
public:
  struct TReport {
    zv::TPluginFile* PluginFile;
    std::wstring Message;
    zv::TErrorStruct Error;
  };

  TRecordingErrorEntry() { zv::GlobalErrorEntry = this; }
  ~TRecordingErrorEntry() override { zv::GlobalErrorEntry = nullptr; }
  void ReportError(zv::TPluginFile* pluginFile, const std::wstring& message,
                   const zv::TErrorStruct& error) override {
    Reports.push_back({pluginFile, message, error});
    if (OnReport) OnReport();
  }

  std::vector<TReport> Reports;
  std::function<void()> OnReport;
};

}  // namespace zvtest
