#include "platform/ZvError.h"

namespace zv {

namespace {
std::wstring SystemMessage(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer ? buffer : L"", n);
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) text = L"System error " + std::to_wstring(code);
  return text;
}
}  // namespace

void RaiseOSError(DWORD code) { throw EZvOSError(code, SystemMessage(code)); }

void RaiseLastOSError() { RaiseOSError(::GetLastError()); }

std::wstring CurrentExceptionMessage() {
  try {
    throw;
  } catch (const EZvError& e) {
    return e.Message();
  } catch (const std::exception& e) {
    const std::string what = e.what();
    return std::wstring(what.begin(), what.end());
  } catch (...) {
    return L"Unknown exception";
  }
}

}  // namespace zv
