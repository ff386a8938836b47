#include "config/PluginConfigFiles.h"

namespace zv {

std::atomic<IPluginConfigFiles*> PluginConfigFiles{nullptr};

}  // namespace zv
