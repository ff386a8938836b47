// Text to 32-bit integer as the stored numbers and plug-in keys are written:
// leading spaces, one optional sign, then decimal digits, or hexadecimal digits
// after "$", "x", "X", "0x" or "0X".
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

// False for an empty text, any other character, or a decimal number outside
// the signed 32-bit range. Hexadecimal takes up to 32 bits, read as signed.
bool TryTextToInt(std::wstring_view text, int32_t& value);

// The same conversion; raises EZvConvertError when the text does not convert.
int32_t TextToInt(std::wstring_view text);

// The value of a hexadecimal digit in either case (ASCII only), -1 for any
// other character.
int HexDigitValue(wchar_t c);

}  // namespace zv
