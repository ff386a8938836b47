// A plug-in error record: what the error entry shows and the error reporter sends.
#pragma once
#include <cstdint>
#include <string>

namespace zv {

struct TErrorStruct {
  uint32_t Code = 0;  // 0 = no error
  std::wstring Text;
  std::wstring AdditionalInfo;
};

}  // namespace zv
