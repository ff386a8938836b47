#include "services/ErrorReporter.h"

#include "frontend/TCUtilities.h"
#include "services/HttpTransport.h"

namespace zv {

// The worker's data, copies of the inputs; the thread and the reporter share it.
struct TErrorReporter::TReport {
  void Execute(HANDLE cancel);

  uint32_t PluginID;
  uint32_t PluginVersion;
  std::wstring Message;
  TErrorStruct Error;
  bool Success = false;
};

void TErrorReporter::TReport::Execute(HANDLE cancel) {
  Success = false;
  try {
    if (auto fault = ServiceJobFaultHook.load()) fault();
    RequestService({{L"Service", L"ReportError"},
                    {L"PluginID", IntToBase(PluginID, 10)},
                    {L"PluginVersion", IntToBase(PluginVersion, 10)},
                    {L"ErrorMsg", Message},
                    {L"ErrorCode", IntToBase(Error.Code, 10)},
                    {L"ErrorText", Error.Text},
                    {L"AdditionalInfo", Error.AdditionalInfo}},
                   cancel);
    Success = true;
  } catch (...) {
    // Not sent: not remembered either, so the error is offered again next time.
    Success = false;
  }
}

TErrorReporter::TErrorReporter(HWND notifyWnd, uint32_t pluginID, uint32_t pluginVersion, const std::wstring& message,
                               const TErrorStruct& error)
    : FReport(std::make_shared<TReport>(TReport{pluginID, pluginVersion, message, error})),
      FThread(notifyWnd, WM_REPORTERROR_DONE, [report = FReport](HANDLE released) { report->Execute(released); }) {}

TErrorReporter::~TErrorReporter() = default;

bool TErrorReporter::HasEnded() { return FThread.HasEnded(); }
bool TErrorReporter::GetSuccess() { return FReport->Success; }
uint32_t TErrorReporter::GetPluginID() { return FReport->PluginID; }
uint32_t TErrorReporter::GetPluginVersion() { return FReport->PluginVersion; }
uint32_t TErrorReporter::GetErrorCode() { return FReport->Error.Code; }

}  // namespace zv
