#include "config/NumberText.h"

#include "platform/ZvError.h"

namespace zv {

int HexDigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

bool TryTextToInt(std::wstring_view text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == L' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && (text[i] == L'$' || text[i] == L'x' || text[i] == L'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return false;

  // 64 bits hold any 32-bit value plus one more digit, so overflow shows before it wraps.
  uint64_t magnitude = 0;
  const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  for (; i < text.size(); ++i) {
    int digit;
    if (hex) {
      digit = HexDigitValue(text[i]);
    } else {
      digit = (text[i] >= L'0' && text[i] <= L'9') ? text[i] - L'0' : -1;
    }
    if (digit < 0) return false;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (magnitude > limit) return false;
  }
  uint32_t bits = static_cast<uint32_t>(magnitude);
  if (negative) bits = 0u - bits;
  value = static_cast<int32_t>(bits);
  return true;
}

int32_t TextToInt(std::wstring_view text) {
  int32_t value = 0;
  if (!TryTextToInt(text, value))
    throw EZvConvertError(L"'" + std::wstring(text) + L"' is not a valid integer value");
  return value;
}

}  // namespace zv
