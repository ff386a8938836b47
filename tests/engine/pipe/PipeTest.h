// The pipe runner on the pipe test plug-ins, installed in the registry of
// installed plug-ins over a fresh Zentavo.cfg whose temporary folder is the
// test's: sources in "in", outputs in "out", one log of every plug-in call,
// errors recorded, boxes answered from a list. A test ends with the calling
// convention kept, no stream holding memory, no temporary file and no box
// it did not look at.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
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

inline std::string ReadText(const std::wstring& path) {
  if (!FileExists(path)) return "<none>";
  const std::vector<unsigned char> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

inline void WriteText(const std::wstring& path, const std::string& text) {
  WriteFileBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
}

// "a.txt" below root.
inline zv::TFileProperties Props(const std::wstring& root, const std::wstring& name) {
  const size_t dot = name.rfind(L'.');
  return {root, L"", name.substr(0, dot), name.substr(dot + 1)};
}

class TPipeTest : public ::testing::Test {
protected:
  TPipeTest() {
    zv::InitTransformBridge();
    zv::InitPluginAPI();
    Settings = std::make_unique<zv::TSettingsManager>(Temp / L"Zentavo.cfg");
    zv::GlobalSettingsManager = Settings.get();
    Settings->SetTempFolder(Temp.Path());
    Plugins = std::make_unique<zv::TPluginManager>();
    zv::GlobalPluginManager = Plugins.get();
    Restart();
    Answer({});
  }
  ~TPipeTest() override {
    EndPipe();
    EXPECT_EQ(zv::StreamsHoldingMemory(), 0);
    EXPECT_EQ(ListFiles(Temp.Path(), L"zv?*.tmp"), std::vector<std::wstring>());
    EXPECT_EQ(Said(), std::vector<std::wstring>());
    zv::GlobalPluginManager = nullptr;
    Plugins.reset();
    zv::GlobalSettingsManager = nullptr;
    Settings.reset();
  }

  // A pipe entry of the test plug-in Zv<plugin>, logging to the test's log.
  zv::TPluginEntry Stage(const std::wstring& plugin, const TPipeSettings& settings = {}) {
    const std::wstring path = FixturePath(L"Zv" + plugin);
    zv::TPlugin* installed = Plugins->FindPluginByFile(path);
    if (!installed) installed = Plugins->InstallPlugin(nullptr, path);
    zv::TPluginEntry entry =
        Plugins->LoadPlugin(*installed, zv::skSettings, zv::TPluginManager::GetPluginKeyName(*installed));
    entry->PluginSettings->WriteString(L"Log", Temp / L"log.txt");
    for (const auto& [id, value] : settings) entry->PluginSettings->Write(id, value);
    return entry;
  }
  void Pipe(std::vector<zv::TPluginEntry> entries) {
    Runner = std::make_unique<zv::TTransformManager>(std::move(entries));
  }
  template <typename... TEntries>
  void Pipe(TEntries... entries) {
    std::vector<zv::TPluginEntry> list;
    (list.push_back(std::move(entries)), ...);
    Pipe(std::move(list));
  }
  // Frees the pipe, whose plug-ins must have kept the calling convention.
  void EndPipe() {
    for (int32_t i = 0; Runner && i < Runner->StageCount(); ++i)
      EXPECT_EQ(TFixtureControl(*Runner->Stage(i).GetEntry()->PluginFile).StackFaults(), 0);
    Runner.reset();
  }
  // A new pipe, log, inputs, outputs and errors.
  void Restart() {
    EndPipe();
    Errors.Reports.clear();
    ::DeleteFileW((Temp / L"log.txt").c_str());
    for (const std::wstring& folder : {In(), Out()}) RemoveTree(folder), ::CreateDirectoryW(folder.c_str(), nullptr);
  }

  // Makes in\<name> and runs it to out\<name>.
  bool RunFile(const std::wstring& name, const std::string& data = "data") {
    WriteText(In() + L"\\" + name, data);
    const zv::TFileProperties input = Props(In(), name), output = Props(Out(), name);
    return Runner->Run(&input, &output);
  }
  bool Pass() { return Runner->Run(nullptr, nullptr); }
  const zv::TRunOutcome& Outcome() const { return Runner->LastOutcome(); }

  // The coming boxes get these answers in turn (see TBoxAnswerer); onBox
  // sees each before it is answered.
  void Answer(std::vector<int> answers, std::function<void(const TBoxAnswerer::TBox&)> onBox = {}) {
    EXPECT_EQ(Said(), std::vector<std::wstring>());
    Boxes.reset();
    Boxes.emplace(std::move(answers));
    Boxes->OnBox = std::move(onBox);
  }
  // "<caption>: <text>" of every box shown since the last look.
  std::vector<std::wstring> Said() {
    std::vector<std::wstring> said;
    for (const TBoxAnswerer::TBox& box : Boxes ? std::exchange(Boxes->Boxes, {}) : std::vector<TBoxAnswerer::TBox>())
      said.push_back(box.Caption + L": " + box.Text);
    return said;
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
  std::optional<TBoxAnswerer> Boxes;
  std::unique_ptr<zv::TSettingsManager> Settings;
  std::unique_ptr<zv::TPluginManager> Plugins;
  std::unique_ptr<zv::TTransformManager> Runner;
};

}  // namespace zvtest
