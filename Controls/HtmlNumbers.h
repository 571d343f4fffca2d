// Number reading as the Windows C runtime does it, which the markup's attribute and style values
// rely on: "0x1F" and "017" are valid sizes and colours, and a number ends at the first character
// that is not one of its digits.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

namespace taluvo::html {

// wcstoul with a 32-bit unsigned long: leading white space, an optional sign (a minus negates the
// result modulo 2^32), then digits of the base. Base 0 picks the base from the prefix: "0x" or
// "0X" hexadecimal, a leading "0" octal, else decimal; base 16 also accepts the "0x" prefix.
// No digits give 0; a value beyond 32 bits gives 0xFFFFFFFF. `consumed`, when given, receives the
// number of characters read (0 when no number was read).
DWORD StrToUL(const QString& text, int base, qsizetype* consumed = nullptr);

// _wtoi: leading white space, an optional sign and decimal digits; no digits give 0, and a value
// beyond the int range gives INT_MAX or INT_MIN.
int AtoI(const QString& text);

} // namespace taluvo::html
