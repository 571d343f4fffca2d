#include "platform/base/Profile.h"

#include "platform/base/TextCodec.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <optional>

namespace taluvo {
namespace {

struct Line {
    QString text; // without its line end
    QString lineEnd; // "\r\n", "\n" or "" for a last line without one
};

std::vector<Line> ReadLines(const QString& file, bool* exists = nullptr)
{
    std::vector<Line> lines;
    QFile f(file);
    if (exists)
        *exists = false;
    if (file.isEmpty() || !f.open(QIODevice::ReadOnly))
        return lines;
    if (exists)
        *exists = true;
    const QString content = AnsiDecode(f.readAll());
    qsizetype pos = 0;
    while (pos < content.size()) {
        qsizetype nl = content.indexOf(QLatin1Char('\n'), pos);
        Line line;
        if (nl < 0) {
            line.text = content.mid(pos);
            pos = content.size();
        } else {
            line.text = content.mid(pos, nl - pos);
            line.lineEnd = QStringLiteral("\n");
            pos = nl + 1;
        }
        if (line.text.endsWith(QLatin1Char('\r'))) {
            line.text.chop(1);
            line.lineEnd.prepend(QLatin1Char('\r'));
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::optional<QString> SectionName(const QString& line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return std::nullopt;
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    return (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
}

bool KeyOf(const QString& line, QString& key, QString& value)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    key = line.left(eq).trimmed();
    value = line.mid(eq + 1).trimmed();
    return true;
}

QString Unquote(const QString& value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

bool Same(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

std::optional<QString> Lookup(const QString& section, const QString& key, const QString& file)
{
    bool inSection = false;
    for (const Line& line : ReadLines(file)) {
        if (auto name = SectionName(line.text)) {
            inSection = Same(*name, section);
            continue;
        }
        QString k, v;
        if (inSection && KeyOf(line.text, k, v) && Same(k, key))
            return Unquote(v);
    }
    return std::nullopt;
}

} // namespace

QString GetProfileText(const QString& section, const QString& key, const QString& defaultValue, const QString& file)
{
    if (auto value = Lookup(section, key, file))
        return *value;
    return defaultValue.isNull() ? QString(QLatin1String("")) : defaultValue.trimmed();
}

UINT GetProfileInt(const QString& section, const QString& key, INT defaultValue, const QString& file)
{
    const QString value = GetProfileText(section, key, QString(), file);
    if (value.isEmpty())
        return static_cast<UINT>(defaultValue);
    qsizetype i = 0;
    bool negative = false;
    if (value[0] == QLatin1Char('-') || value[0] == QLatin1Char('+')) {
        negative = value[0] == QLatin1Char('-');
        ++i;
    }
    uint64_t result = 0;
    for (; i < value.size() && value[i].isDigit() && value[i].unicode() < 0x80; ++i) {
        result = result * 10 + static_cast<uint64_t>(value[i].unicode() - '0');
        if (result > 0xFFFFFFFFull)
            result = 0xFFFFFFFFull; // as a 32-bit register would saturate the parse
    }
    const uint32_t low = static_cast<uint32_t>(result);
    return negative ? static_cast<UINT>(0u - low) : low;
}

bool WriteProfileText(const QString& section, const QString& key, const QString& value, const QString& file)
{
    if (file.isEmpty() || section.isNull())
        return false;
    bool exists = false;
    std::vector<Line> lines = ReadLines(file, &exists);
    QString newline = QStringLiteral("\r\n");
    for (const Line& line : lines)
        if (!line.lineEnd.isEmpty()) {
            newline = line.lineEnd; // keep the file's own line ends
            break;
        }

    // Find the section's lines: [first, end).
    std::optional<size_t> first;
    size_t end = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionName(lines[i].text)) {
            if (first) {
                end = i;
                break;
            }
            if (Same(*name, section))
                first = i;
        }
    }

    if (key.isNull()) {
        if (!first)
            return true;
        lines.erase(lines.begin() + static_cast<ptrdiff_t>(*first), lines.begin() + static_cast<ptrdiff_t>(end));
    } else if (!first) {
        if (value.isNull())
            return true;
        if (!lines.empty() && lines.back().lineEnd.isEmpty())
            lines.back().lineEnd = newline;
        lines.push_back({ QLatin1Char('[') + section + QLatin1Char(']'), newline });
        lines.push_back({ key + QLatin1Char('=') + value, newline });
    } else {
        std::optional<size_t> at;
        size_t lastKey = *first;
        for (size_t i = *first + 1; i < end; ++i) {
            QString k, v;
            if (KeyOf(lines[i].text, k, v)) {
                lastKey = i;
                if (Same(k, key) && !at)
                    at = i;
            }
        }
        if (at) {
            if (value.isNull())
                lines.erase(lines.begin() + static_cast<ptrdiff_t>(*at));
            else
                lines[*at].text = key + QLatin1Char('=') + value;
        } else if (!value.isNull()) {
            if (lines[lastKey].lineEnd.isEmpty())
                lines[lastKey].lineEnd = newline;
            lines.insert(
                lines.begin() + static_cast<ptrdiff_t>(lastKey + 1), Line { key + QLatin1Char('=') + value, newline });
        } else {
            return true;
        }
    }

    QString content;
    for (const Line& line : lines)
        content += line.text + line.lineEnd;
    // Written to a temporary file and renamed, so a failure never leaves half a file behind.
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = AnsiEncode(content);
    if (out.write(bytes) != bytes.size())
        return false;
    return out.commit();
}

} // namespace taluvo

namespace {
QString FromWide(const char16_t* text)
{
    return text ? QString::fromUtf16(text) : QString();
}
} // namespace

DWORD GetPrivateProfileString(const char16_t* section, const char16_t* key, const char16_t* defaultValue,
    char16_t* buffer, DWORD size, const char16_t* file)
{
    if (!buffer || size == 0)
        return 0;
    const QString value
        = taluvo::GetProfileText(FromWide(section), FromWide(key), FromWide(defaultValue), FromWide(file));
    const qsizetype n = std::min<qsizetype>(value.size(), static_cast<qsizetype>(size) - 1);
    std::copy(value.utf16(), value.utf16() + n, buffer);
    buffer[n] = 0;
    return static_cast<DWORD>(n);
}

UINT GetPrivateProfileInt(const char16_t* section, const char16_t* key, INT defaultValue, const char16_t* file)
{
    return taluvo::GetProfileInt(FromWide(section), FromWide(key), defaultValue, FromWide(file));
}

BOOL WritePrivateProfileString(
    const char16_t* section, const char16_t* key, const char16_t* value, const char16_t* file)
{
    return taluvo::WriteProfileText(FromWide(section), FromWide(key), FromWide(value), FromWide(file)) ? TRUE : FALSE;
}
