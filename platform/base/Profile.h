// INI files with the Windows profile semantics: sections and keys match without regard to case,
// values are trimmed and lose one pair of surrounding quotes, and writing one key keeps the rest
// of the file as it was. Text is the ANSI code page.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

namespace taluvo {

// The value, or defaultValue when the file, the section or the key is missing.
QString GetProfileText(const QString& section, const QString& key, const QString& defaultValue, const QString& file);

// The leading decimal integer of the value (with sign); defaultValue when the key is missing or empty.
UINT GetProfileInt(const QString& section, const QString& key, INT defaultValue, const QString& file);

// Sets key = value in section (created at the end when missing; the file too). A null value deletes
// the key; a null key deletes the whole section. False when the file cannot be written.
bool WriteProfileText(const QString& section, const QString& key, const QString& value, const QString& file);

} // namespace taluvo

// The Windows call shapes, for code written against them.
DWORD GetPrivateProfileString(const char16_t* section, const char16_t* key, const char16_t* defaultValue,
    char16_t* buffer, DWORD size, const char16_t* file);
UINT GetPrivateProfileInt(const char16_t* section, const char16_t* key, INT defaultValue, const char16_t* file);
BOOL WritePrivateProfileString(
    const char16_t* section, const char16_t* key, const char16_t* value, const char16_t* file);
