#include "platform/TextConv.h"

#include <windows.h>
#include <cstring>

namespace zv {

std::wstring AnsiToWide(std::string_view text) {
  if (text.empty()) return {};
  const int len = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), len, nullptr, 0);
  std::wstring out(n, L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), len, out.data(), n);
  return out;
}

std::string WideToAnsi(std::wstring_view text) {
  if (text.empty()) return {};
  const int len = static_cast<int>(text.size());
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), len, nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), len, out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring AnsiZToWide(const char* text) {
  return text ? AnsiToWide(std::string_view(text, std::strlen(text))) : std::wstring();
}

}  // namespace zv
