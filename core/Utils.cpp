#include "core/Utils.h"

#include "platform/base/FileStatus.h"
#include "platform/base/Format.h"
#include "platform/base/Process.h"
#include "platform/base/TextCodec.h"
#include "platform/base/Time.h"

QString FormatTime(int64_t t)
{
    SYSTEMTIME local;
    if (!taluvo::ToLocalTime(t, local))
        return QStringLiteral("Invalid time");
    return taluvo::Format(u"%.2d/%.2d/%.4d %.2d:%.2d:%.2d", local.wDay, local.wMonth, local.wYear, local.wHour,
        local.wMinute, local.wSecond);
}

BOOL HasInvalidEMailChars(const QString& text)
{
    static const QString allowed = QStringLiteral("1234567890_-.abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    for (const QChar c : text) {
        if (c.unicode() & 0x80)
            return TRUE;
        if (c != QLatin1Char('@') && !allowed.contains(c))
            return TRUE;
    }
    return FALSE;
}

int CountChar(const QString& text, QChar c)
{
    return static_cast<int>(text.count(c));
}

BOOL IsValidEMail(const QString& text)
{
    if (text.isNull())
        return FALSE;
    return !HasInvalidEMailChars(text) && CountChar(text, QLatin1Char('@')) == 1 && !text.startsWith(QLatin1Char('@'))
            && !text.endsWith(QLatin1Char('@')) && !text.endsWith(QLatin1Char('.'))
            && !text.contains(QLatin1String(".."))
        ? TRUE
        : FALSE;
}

QString PathJoin(const QString& folder, const QString& name)
{
    if (folder.isNull() || name.isNull())
        return QString(QLatin1String(""));
    const bool separated = folder.endsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('/'));
    return separated ? folder + name : folder + QLatin1Char('/') + name;
}

QString FileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

BOOL FileExists(const QString& path)
{
    return taluvo::RegularFileExists(path) ? TRUE : FALSE;
}

QString GetModuleDirectory()
{
    return taluvo::ProgramFolder();
}

BOOL GetFileSize64(const QString& path, uint64_t& size)
{
    taluvo::SFileStatus status;
    if (!taluvo::GetFileStatus(taluvo::AnsiEncode(path).toStdString(), status))
        return FALSE;
    size = status.size;
    return TRUE;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

BOOL HexToBytes(const char* text, size_t length, BYTE* out)
{
    if (!text || !out || length == 0 || length % 2 != 0)
        return FALSE;
    for (size_t i = 0; i < length; i += 2) {
        const int high = HexDigitValue(text[i]);
        const int low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0)
            return FALSE;
        out[i / 2] = static_cast<BYTE>((high << 4) | low);
    }
    return TRUE;
}

BOOL BytesToHex(const BYTE* bytes, size_t length, char* out)
{
    if (!bytes || !out)
        return FALSE;
    static const char digits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < length; ++i) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    return TRUE;
}
