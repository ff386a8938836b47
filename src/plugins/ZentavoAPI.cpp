#include "plugins/ZentavoAPI.h"

namespace zv {

namespace {
// Zero until the callback tables are set up; then fixed for the process,
// except the stream pointers of the transform record.
TPluginAPI PluginAPIRecord{};
TTransformInterface TransformRecord{};
TStreamInterface InputStreamTable{};
TStreamInterface OutputStreamTable{};
TExternalResourcesInterface ExternalResourcesTable{};
TSettingsInterface SettingsTable{};
TServicesInterface ServicesTable{};
}  // namespace

TPluginAPI* GetPluginAPI() { return &PluginAPIRecord; }
TTransformInterface* GetTransformInterface() { return &TransformRecord; }
TStreamInterface* GetInputStreamInterface() { return &InputStreamTable; }
TStreamInterface* GetOutputStreamInterface() { return &OutputStreamTable; }
TExternalResourcesInterface* GetExternalResourcesInterface() { return &ExternalResourcesTable; }
TSettingsInterface* GetSettingsInterface() { return &SettingsTable; }
TServicesInterface* GetServicesInterface() { return &ServicesTable; }

}  // namespace zv
