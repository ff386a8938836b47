#include "services/ServiceWorkers.h"

#include "services/ErrorReporter.h"
#include "services/UpdateChecker.h"

namespace zv {

namespace {

class TOnlineServiceWorkers final : public IServiceWorkerFactory {
public:
  std::unique_ptr<IUpdateChecker> CreateUpdateChecker(HWND notifyWnd,
                                                      const std::vector<TInstalledPluginInfo>& plugins) override {
    return std::make_unique<TUpdateChecker>(notifyWnd, plugins);
  }
  std::unique_ptr<IErrorReporter> CreateErrorReporter(HWND notifyWnd, uint32_t pluginID, uint32_t pluginVersion,
                                                      const std::wstring& message,
                                                      const TErrorStruct& error) override {
    return std::make_unique<TErrorReporter>(notifyWnd, pluginID, pluginVersion, message, error);
  }
};

TOnlineServiceWorkers Workers;

// Registered from the library's start to its unload.
const struct TRegistration {
  TRegistration() { ServiceWorkerFactory = &Workers; }
  ~TRegistration() {
    IServiceWorkerFactory* registered = &Workers;
    ServiceWorkerFactory.compare_exchange_strong(registered, nullptr);
  }
} Registration;

}  // namespace

IServiceWorkerFactory& OnlineServiceWorkers() { return Workers; }

}  // namespace zv
