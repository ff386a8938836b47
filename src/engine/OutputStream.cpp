#include "engine/OutputStream.h"

#include "engine/ProgressOutputLine.h"

namespace zv {

bool TOutputStream::SetPathA(const char* text) { return Renamed(TGeneralStream::SetPathA(text)); }

bool TOutputStream::SetNameA(const char* text) { return Renamed(TGeneralStream::SetNameA(text)); }

bool TOutputStream::SetExtensionA(const char* text) {
  return Renamed(TGeneralStream::SetExtensionA(text));
}

bool TOutputStream::Renamed(bool accepted) {
  if (IProgressOutputLine* line = ProgressOutputLine; accepted && line)
    line->SetOutputText(GetFullName());
  return accepted;
}

}  // namespace zv
