#include "platform/TextConv.h"

#include <windows.h>
#include <cstring>

namespace zv {

std::wstring MultiByteToWide(std::string_view text, unsigned codePage) {
  if (text.empty()) return {};
  const int len = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(codePage, 0, text.data(), len, nullptr, 0);
  std::wstring out(n, L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), len, out.data(), n);
  return out;
}

std::string WideToMultiByte(std::wstring_view text, unsigned codePage) {
  if (text.empty()) return {};
  const int len = static_cast<int>(text.size());
  // No best fit: it would turn look-alikes (U+2215, U+FF3C, ...) into "/" or
  // "\\", and a name handed to a plug-in would gain a path. They become "?".
  // UTF-8 has every character and takes no such flag.
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int n = ::WideCharToMultiByte(codePage, flags, text.data(), len, nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  ::WideCharToMultiByte(codePage, flags, text.data(), len, out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring AnsiToWide(std::string_view text) { return MultiByteToWide(text, CP_ACP); }
std::string WideToAnsi(std::wstring_view text) { return WideToMultiByte(text, CP_ACP); }

std::wstring AnsiZToWide(const char* text) {
  return text ? AnsiToWide(std::string_view(text, std::strlen(text))) : std::wstring();
}

size_t AnsiMaxCharSize() {
  CPINFO info;
  return ::GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 0 ? info.MaxCharSize : 4;
}

size_t AnsiPrefixLength(std::string_view text, size_t maxBytes, unsigned codePage) {
  size_t length = 0;
  while (length < text.size()) {
    const size_t next =
        length + (::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[length])) && length + 1 < text.size() ? 2 : 1);
    if (next > maxBytes) break;
    length = next;
  }
  return length;
}

}  // namespace zv
