// The pipe runner on the pipe test plug-ins: a settings manager on a fresh
// Zentavo.cfg whose temporary folder is the test's, the plug-ins installed in
// the registry of installed plug-ins, sources in "in", outputs in "out", one
// log of every plug-in call, every error recorded, and every box answered
// from a list and recorded. A test ends with no stream holding memory, no
// temporary file and no box it did not expect.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/SettingsManager.h"
#include "engine/MixedStream.h"
#include "engine/TransformManager.h"
#include "platform/Form.h"
#include "plugins/PluginManager.h"
#include "plugins/PluginSettings.h"
#include "plugins/TransformBridge.h"
#include "support/GuiDriver.h"
#include "support/PluginFixtures.h"
#include "support/TestFiles.h"

namespace zvtest {

using TPipeSettings = std::vector<std::pair<std::wstring, zv::TSettingValue>>;

// Answers boxes in turn from a list (a button id; 0 or nothing left: close a
// confirmation box, Abort or OK a message box) and records "<caption>: <text>".
class TBoxAnswerer {
public:
  TBoxAnswerer() : FThread([this] { Loop(); }) {}
  ~TBoxAnswerer() {
    FStop = true;
    FThread.join();
  }
  // onBox sees the text of each box before it is answered.
  void Answer(std::vector<int> answers, std::function<void(const std::wstring&)> onBox = {}) {
    const std::lock_guard<std::mutex> lock(FMutex);
    FAnswers.assign(answers.begin(), answers.end());
    FOnBox = std::move(onBox);
  }
  std::vector<std::wstring> Take() {
    const std::lock_guard<std::mutex> lock(FMutex);
    return std::exchange(FTexts, {});
  }

private:
  static std::wstring LabelText(HWND box) {
    for (HWND child = nullptr; (child = ::FindWindowExW(box, child, L"Static", nullptr));)
      if (!GetText(child).empty()) return GetText(child);
    return std::wstring();
  }
  void Loop() {
    while (!FStop) {
      HWND box = FindTopWindow(L"Confirm");
      const bool confirm = box != nullptr;
      if (!confirm) box = FindTopWindow(L"", L"#32770");
      if (!box) {
        ::Sleep(5);
        continue;
      }
      int answer = 0;
      {
        const std::lock_guard<std::mutex> lock(FMutex);
        FTexts.push_back(GetText(box) + L": " + (confirm ? LabelText(box) : MessageBoxText(box)));
        if (!FAnswers.empty()) answer = FAnswers.front(), FAnswers.pop_front();
        if (FOnBox) FOnBox(FTexts.back());
      }
      if (confirm && !answer) SystemClose(box);
      else PressButtonId(box, answer ? answer : ::GetDlgItem(box, IDABORT) ? IDABORT : IDOK);
      try {
        WaitForWindowGone(box);
      } catch (const EGuiTimeout&) {
      }
    }
  }

  std::mutex FMutex;
  std::deque<int> FAnswers;
  std::function<void(const std::wstring&)> FOnBox;
  std::vector<std::wstring> FTexts;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

class TPipeTest : public ::testing::Test {
public:
  static zv::TFileProperties Props(const std::wstring& root, const std::wstring& name) {
    const size_t dot = name.rfind(L'.');
    return {root, L"", name.substr(0, dot), name.substr(dot + 1)};
  }
  static std::string ReadText(const std::wstring& path) {
    if (!FileExists(path)) return "<none>";
    const std::vector<unsigned char> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
  }
  static void WriteText(const std::wstring& path, const std::string& text) {
    WriteFileBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
  }

protected:
  TPipeTest() {
    zv::InitTransformBridge();
    zv::InitPluginAPI();
    for (const std::wstring& folder : {In(), Out()}) ::CreateDirectoryW(folder.c_str(), nullptr);
    Settings = std::make_unique<zv::TSettingsManager>(Temp / L"Zentavo.cfg");
    zv::GlobalSettingsManager = Settings.get();
    Settings->SetTempFolder(Temp.Path());
    Plugins = std::make_unique<zv::TPluginManager>();
    zv::GlobalPluginManager = Plugins.get();
  }
  ~TPipeTest() override {
    Runner.reset();
    EXPECT_EQ(zv::StreamsHoldingMemory(), 0);
    EXPECT_TRUE(ListFiles(Temp.Path(), L"zvq*").empty() && ListFiles(Temp.Path(), L"zvx*").empty());
    EXPECT_EQ(Boxes.Take(), std::vector<std::wstring>());
    zv::GlobalPluginManager = nullptr;
    Plugins.reset();
    zv::GlobalSettingsManager = nullptr;
    Settings.reset();
  }

  // A pipe entry of the test plug-in Zv<plugin>, logging to the test's log.
  zv::TLoadedPlugin* Stage(const std::wstring& plugin, const TPipeSettings& settings = {}) {
    const std::wstring path = FixturePath(L"Zv" + plugin);
    zv::TPlugin* installed = Plugins->FindPluginByFile(path);
    if (!installed) installed = Plugins->InstallPlugin(nullptr, path);
    zv::TLoadedPlugin* entry =
        Plugins->LoadPlugin(*installed, zv::skSettings, zv::TPluginManager::GetPluginKeyName(*installed)).release();
    entry->PluginSettings->WriteString(L"Log", Temp / L"log.txt");
    for (const auto& [id, value] : settings) entry->PluginSettings->Write(id, value);
    return entry;
  }
  void Pipe(const std::vector<zv::TLoadedPlugin*>& entries) {
    Runner = std::make_unique<zv::TTransformManager>(entries);
  }
  // Makes in\<name> and runs it to out\<name>.
  bool RunFile(const std::wstring& name, const std::string& data = "data") {
    WriteText(In() + L"\\" + name, data);
    const zv::TFileProperties input = Props(In(), name), output = Props(Out(), name);
    return Runner->Run(&input, &output);
  }
  bool Pass() { return Runner->Run(nullptr, nullptr); }
  const zv::TRunOutcome& Outcome() const { return Runner->LastOutcome(); }
  // A new pipe, log, inputs and outputs.
  void Restart() {
    Runner.reset();
    ::DeleteFileW((Temp / L"log.txt").c_str());
    for (const std::wstring& folder : {In(), Out()}) RemoveTree(folder), ::CreateDirectoryW(folder.c_str(), nullptr);
  }

  std::string Log() const { return ReadText(Temp / L"log.txt"); }
  // Every output file with its content.
  std::map<std::wstring, std::string> Outputs() const {
    std::map<std::wstring, std::string> files;
    for (const std::wstring& name : ListFiles(Out(), L"*")) files[name] = ReadText(Out() + L"\\" + name);
    return files;
  }
  std::wstring In() const { return Temp / L"in"; }
  std::wstring Out() const { return Temp / L"out"; }

  TTempDir Temp;
  TRecordingErrorEntry Errors;
  TBoxAnswerer Boxes;
  std::unique_ptr<zv::TSettingsManager> Settings;
  std::unique_ptr<zv::TPluginManager> Plugins;
  std::unique_ptr<zv::TTransformManager> Runner;
};

}  // namespace zvtest
