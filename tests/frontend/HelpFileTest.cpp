// The help file that the build puts beside the library holds every topic we
// open (the dialogs' tests check that they ask for these topics). It is read
// through the system's own reader of compiled help, as the help viewer reads
// its pages, which opens only a real compiled help file.
#include <windows.h>
#include <urlmon.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "frontend/TCUtilities.h"
#include "frontend/VirtualRoot.h"
#include "platform/Module.h"
#include "platform/TextConv.h"

// The export itself, built into this test from the library's sources.
extern "C" int WINAPI FsExecuteFile(HWND mainWin, const char* remoteName, const char* verb);

namespace {

using namespace zv;

// The system's protocol for the files inside a compiled help file ("its:").
constexpr CLSID ItsProtocol = {0x9D148291, 0xB9C8, 0x11D0, {0xA4, 0xCC, 0x00, 0x00, 0xF8, 0x01, 0x49, 0xF6}};

// What the protocol reports to and asks for its bind flags; the data is read, not reported.
struct TQuietSink final : IInternetProtocolSink, IInternetBindInfo {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override { return *object = nullptr, E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Switch(PROTOCOLDATA*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ReportProgress(ULONG, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ReportData(DWORD, ULONG, ULONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ReportResult(HRESULT, DWORD, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO*) override { return *flags = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE GetBindString(ULONG, LPOLESTR*, ULONG, ULONG*) override { return E_NOTIMPL; }
};

// The help file the build puts beside the library, one folder above the test executables.
std::wstring BuiltHelpFile() { return GetModuleDir() + L"\\..\\" + HelpFileName; }

// A file the built help file holds at its root; none when it holds no such file.
std::optional<std::string> ReadFromHelpFile(const std::wstring& name) {
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::optional<std::string> bytes;
  IInternetProtocol* protocol = nullptr;
  TQuietSink sink;
  if (SUCCEEDED(::CoCreateInstance(ItsProtocol, nullptr, CLSCTX_INPROC_SERVER, IID_IInternetProtocol,
                                   reinterpret_cast<void**>(&protocol)))) {
    const std::wstring url = L"its:" + BuiltHelpFile() + L"::/" + name;
    if (protocol->Start(url.c_str(), &sink, &sink, 0, 0) == S_OK) {
      bytes.emplace();
      char buffer[4096];
      ULONG read = 0;
      while (SUCCEEDED(protocol->Read(buffer, sizeof buffer, &read)) && read > 0) bytes->append(buffer, read);
    }
    protocol->Terminate(0);
    protocol->Release();
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
  return bytes;
}

// A text of the help file's system record (0 its table of contents, 2 the
// page the viewer opens first): after a version number, records of a code, a
// length (little-endian 16-bit numbers) and the text.
std::string HelpSystemText(uint16_t code) {
  const std::string system = ReadFromHelpFile(L"#SYSTEM").value_or("");
  const auto number = [&](size_t at) { return static_cast<uint8_t>(system[at]) | static_cast<uint8_t>(system[at + 1]) << 8; };
  for (size_t at = 4; at + 4 <= system.size(); at += 4 + number(at + 2))
    if (number(at) == code) return system.substr(at + 4, number(at + 2)).c_str();
  return "";
}

// The built help file holds the topic at its root; a failure says which.
testing::AssertionResult BuiltHelpHolds(const std::wstring& topic) {
  if (ReadFromHelpFile(topic)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << WideToAnsi(BuiltHelpFile()) << " holds no " << WideToAnsi(topic);
}

std::vector<std::wstring> Asked;  // help topics, in order

TEST(HelpFile, IsACompiledHelpFileWithOurTopicsAnIndexPageAndAContentsTable) {
  for (const wchar_t* topic : {HowItWorksTopic, SettingsTopic, TransformationsTopic}) EXPECT_TRUE(BuiltHelpHolds(topic));
  const std::string first = HelpSystemText(2), contents = HelpSystemText(0);
  EXPECT_EQ(first, "index.html");
  EXPECT_TRUE(BuiltHelpHolds(AnsiToWide(first)));
  EXPECT_TRUE(contents.ends_with(".hhc")) << contents;
  EXPECT_TRUE(BuiltHelpHolds(AnsiToWide(contents)));
}

TEST(HelpFile, TheRootsHelpEntryOpensATopicItHolds) {
  HelpViewer = [](const std::wstring& topic) { Asked.push_back(topic); };
  const std::string entry = WideToAnsi(std::wstring(L"\\") + HelpEntryName);
  for (const char* verb : {"open", "properties"}) EXPECT_EQ(FsExecuteFile(nullptr, entry.c_str(), verb), 0) << verb;
  HelpViewer = &ShowHtmlHelp;
  ASSERT_EQ(Asked.size(), 2u);
  for (const std::wstring& topic : Asked) EXPECT_TRUE(BuiltHelpHolds(topic));
}

}  // namespace
