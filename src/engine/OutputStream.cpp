#include "engine/OutputStream.h"

#include "engine/ProgressLines.h"

namespace zv {

bool TOutputStream::SetPathA(const char* text) { return Renamed(TGeneralStream::SetPathA(text)); }

bool TOutputStream::SetNameA(const char* text) { return Renamed(TGeneralStream::SetNameA(text)); }

bool TOutputStream::SetExtensionA(const char* text) {
  return Renamed(TGeneralStream::SetExtensionA(text));
}

bool TOutputStream::Renamed(bool accepted) {
  if (IProgressLines* lines = ProgressLines; accepted && lines) lines->SetOutputText(GetOutputDisplayName(this));
  return accepted;
}

}  // namespace zv
