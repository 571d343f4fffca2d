// Free helpers for time stamps, paths, files, e-mail addresses and hexadecimal text.
// They keep no state and throw nothing.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

#include <cstdint>

// "dd/mm/yyyy hh:mm:ss" in local time; "Invalid time" when t cannot be converted (negative times).
QString FormatTime(int64_t t);

BOOL IsValidEMail(const QString& text);
BOOL HasInvalidEMailChars(const QString& text);
int CountChar(const QString& text, QChar c);

// folder + "/" + name, with exactly one separator between them; empty when either is null.
QString PathJoin(const QString& folder, const QString& name);
// The part after the last '/', or the whole path.
QString FileNamePart(const QString& path);
// TRUE for an existing regular file (relative paths against the current folder).
BOOL FileExists(const QString& path);
// The program's folder, without a trailing '/'.
QString GetModuleDirectory();
BOOL GetFileSize64(const QString& path, uint64_t& size);

int HexDigitValue(char c);
BOOL HexToBytes(const char* text, size_t length, BYTE* out);
// Writes 2 * length upper-case hexadecimal digits, without a terminator.
BOOL BytesToHex(const BYTE* bytes, size_t length, char* out);
