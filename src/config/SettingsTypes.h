// Types shared by the settings stores and the settings manager.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zv {

// The section a stored value belongs to; the numbers are stored by callers.
enum TSettingKind : uint8_t {
  skSettings = 0,
  skPlugins = 1,
  skProfiles = 2,
  skTransformPipe = 3,
  skErrors = 4,
};

// The kind of a stored value as the stores report it.
enum TSettingValueType : uint8_t {
  svNone = 0,
  svNumber = 1,
  svString = 2,
  svData = 3,
};

using TStringList = std::vector<std::wstring>;

}  // namespace zv
