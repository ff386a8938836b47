#include "engine/ProgressLines.h"

#include "engine/GeneralStream.h"

namespace zv {

std::wstring GetInputDisplayName(const TGeneralStream* stream) {
  return stream ? stream->GetFullName() : L"No input";
}

std::wstring GetOutputDisplayName(const TGeneralStream* stream) {
  return stream ? stream->GetFullName() : L"No output";
}

}  // namespace zv
