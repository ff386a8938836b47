// A stage's input: read-only for the plug-in. Renaming, resizing and writing
// are refused with an exception that the stream callbacks report.
#pragma once
#include "engine/GeneralStream.h"

namespace zv {

class TInputStream : public TGeneralStream {
public:
  using TGeneralStream::TGeneralStream;

  bool SetPathA(const char* text) override;
  bool SetNameA(const char* text) override;
  bool SetExtensionA(const char* text) override;
  bool SetSize(int64_t size) override;
  int32_t Write(const void* buffer, int32_t count) override;
};

}  // namespace zv
