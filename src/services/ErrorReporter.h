// The error reporter: sends one plug-in error to the product's web service on
// a worker thread. Fields, in this order: "Service=ReportError", "PluginID=",
// "PluginVersion=", "ErrorMsg=" (the text the user saw), "ErrorCode=",
// "ErrorText=", "AdditionalInfo=" (sent empty when empty). The answer's body
// means nothing; only a 2xx answer makes the report a success.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "plugins/ErrorStruct.h"
#include "services/ServiceThread.h"
#include "services/ServiceWorkers.h"

namespace zv {

class TErrorReporter final : public IErrorReporter {
public:
  // Copies its inputs and starts the report; raises when it cannot start.
  TErrorReporter(HWND notifyWnd, uint32_t pluginID, uint32_t pluginVersion, const std::wstring& message,
                 const TErrorStruct& error);
  ~TErrorReporter() override;

  bool HasEnded() override;
  bool GetSuccess() override;
  uint32_t GetPluginID() override;
  uint32_t GetPluginVersion() override;
  uint32_t GetErrorCode() override;

private:
  struct TReport;
  std::shared_ptr<TReport> FReport;
  TServiceThread FThread;
};

}  // namespace zv
