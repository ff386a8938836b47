#include "engine/InputStream.h"

#include "platform/ZvError.h"

namespace zv {

bool TInputStream::SetPathA(const char*) {
  throw EZvError(L"Setting the path for the input stream is not allowed");
}

bool TInputStream::SetNameA(const char*) {
  throw EZvError(L"Setting the name for the input stream is not allowed");
}

bool TInputStream::SetExtensionA(const char*) {
  throw EZvError(L"Setting the extension for the input stream is not allowed");
}

bool TInputStream::SetSize(int64_t) {
  throw EZvError(L"Setting the size for the input stream is not allowed");
}

int32_t TInputStream::Write(const void*, int32_t) {
  throw EZvError(L"Writing in the input stream is not allowed");
}

}  // namespace zv
