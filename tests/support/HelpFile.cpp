#include "support/HelpFile.h"

#include <urlmon.h>

#include "frontend/TCUtilities.h"
#include "platform/Module.h"
#include "platform/TextConv.h"

namespace zvtest {

namespace {

// The system's protocol for the files inside a compiled help file ("its:"),
// through which the help viewer reads its pages.
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

}  // namespace

std::wstring BuiltHelpFile() { return zv::GetModuleDir() + L"\\..\\" + zv::HelpFileName; }

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

std::string HelpSystemText(uint16_t code) {
  // A version number, then records: a code, a length (little-endian 16-bit numbers) and the text.
  const std::string system = ReadFromHelpFile(L"#SYSTEM").value_or("");
  const auto number = [&](size_t at) { return static_cast<uint8_t>(system[at]) | static_cast<uint8_t>(system[at + 1]) << 8; };
  for (size_t at = 4; at + 4 <= system.size(); at += 4 + number(at + 2))
    if (number(at) == code) return system.substr(at + 4, number(at + 2)).c_str();
  return "";
}

testing::AssertionResult BuiltHelpHolds(const std::wstring& topic) {
  if (ReadFromHelpFile(topic)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << zv::WideToAnsi(BuiltHelpFile()) << " holds no " << zv::WideToAnsi(topic);
}

}  // namespace zvtest
