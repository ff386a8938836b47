#include "config/PluginConfigFiles.h"

namespace zv {

IPluginConfigFiles* PluginConfigFiles = nullptr;

}  // namespace zv
