// Conversions at the host and plug-in boundaries: ANSI there, UTF-16 inside.
#pragma once
#include <string>
#include <string_view>

namespace zv {

// ANSI text in the system's ANSI code page (CP_ACP) to UTF-16, and back.
std::wstring AnsiToWide(std::string_view text);
// Characters the code page lacks become "?", never a look-alike.
std::string WideToAnsi(std::wstring_view text);
// The same for any code page (CP_UTF8 for the web service). Bytes that are no
// character of the code page become U+FFFD, unpaired surrogates likewise.
std::wstring MultiByteToWide(std::string_view text, unsigned codePage);
std::string WideToMultiByte(std::wstring_view text, unsigned codePage);

// The text in double quotes, as the messages name plug-ins, files and profiles.
inline std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// A null-terminated ANSI text from a foreign caller; null gives the empty text.
std::wstring AnsiZToWide(const char* text);

// Bytes one character of the ANSI code page takes at most, so that a foreign
// text limited in characters is never read further than that needs.
size_t AnsiMaxCharSize();

// The length of the longest prefix of an ANSI text in the given code page that
// fits in maxBytes and does not end inside a double-byte character.
size_t AnsiPrefixLength(std::string_view text, size_t maxBytes, unsigned codePage);

}  // namespace zv
