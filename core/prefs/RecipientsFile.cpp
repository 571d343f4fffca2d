#include "core/prefs/RecipientsFile.h"

#include "core/Conversion.h"
#include "core/Utils.h"

#include <QStringList>

#include <cstdio>
#include <set>
#include <utility>

namespace taluvo::prefs {

namespace {

// Only A to Z: the rest of an address is checked as it stands.
QString LowerAsciiLetters(QString text)
{
    for (QChar& c : text) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return text;
}

bool ReadWholeFile(const QByteArray& path, QByteArray& bytes)
{
    FILE* file = std::fopen(path.constData(), "rb");
    if (!file)
        return false;
    char chunk[16384];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes.append(chunk, static_cast<qsizetype>(n));
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return !failed;
}

QString Quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

SRecipientLine ReadRecipientLine(const QString& line)
{
    SRecipientLine result;
    const QStringList tokens = line.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (tokens.isEmpty())
        return result;
    result.address = LowerAsciiLetters(tokens[0]);
    if (!IsValidEMail(result.address))
        result.kind = SRecipientLine::invalidAddress;
    else if (tokens.size() < 2)
        result.kind = SRecipientLine::noName;
    else {
        result.kind = SRecipientLine::usable;
        result.name = tokens[1];
    }
    return result;
}

std::vector<QByteArray> RecipientFileLines(QByteArray content)
{
    // Files saved by editors may begin with a byte-order mark.
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3);
    std::vector<QByteArray> lines;
    const auto split = content.split('\n');
    for (qsizetype i = 0; i < split.size(); ++i) {
        QByteArray line = split[i];
        if (i == split.size() - 1 && line.isEmpty())
            break; // the file ended with its last line feed
        if (line.endsWith('\r'))
            line.chop(1);
        lines.push_back(line);
    }
    return lines;
}

SRecipientsFileCheck CheckRecipientsFile(const QString& path)
{
    SRecipientsFileCheck check;
    if (path.isEmpty())
        return check;
    if (!FileExists(path)) {
        check.file = SRecipientsFileCheck::missing;
        return check;
    }
    QByteArray content;
    if (!ReadWholeFile(CWideToAnsi(path).Get(), content)) {
        check.file = SRecipientsFileCheck::unreadable;
        return check;
    }
    check.file = SRecipientsFileCheck::read;
    std::vector<std::pair<QString, SRecipientLine>> lines;
    std::set<QString> addresses;
    for (const QByteArray& bytes : RecipientFileLines(content)) {
        const QString text = CAnsiToWide(bytes).Get();
        lines.emplace_back(text, ReadRecipientLine(text));
        if (lines.back().second.kind == SRecipientLine::usable)
            addresses.insert(lines.back().second.address);
    }
    check.usable = static_cast<int>(addresses.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const SRecipientLine& line = lines[i].second;
        if (line.kind == SRecipientLine::blank || line.kind == SRecipientLine::usable)
            continue;
        // An address without a name that another line gives with one still gets its mail.
        if (line.kind == SRecipientLine::noName && addresses.count(line.address))
            continue;
        check.unusable.push_back({ static_cast<int>(i + 1), lines[i].first.trimmed(), line.kind });
    }
    return check;
}

QString DescribeRecipientsProblem(const QString& path, const SRecipientsFileCheck& check, int maxLines)
{
    const QString nobody = QStringLiteral("change alerts reach nobody.");
    switch (check.file) {
    case SRecipientsFileCheck::noPath:
        return QStringLiteral("No recipients file is named: ") + nobody;
    case SRecipientsFileCheck::missing:
        return QStringLiteral("The recipients file %1 does not exist: ").arg(Quoted(path)) + nobody;
    case SRecipientsFileCheck::unreadable:
        return QStringLiteral("The recipients file %1 cannot be read: ").arg(Quoted(path)) + nobody;
    case SRecipientsFileCheck::read:
        break;
    }
    if (check.usable > 0 && check.unusable.empty())
        return QString();

    QString text;
    if (check.usable == 0)
        text = QStringLiteral("The recipients file %1 holds no usable recipient: ").arg(Quoted(path)) + nobody;
    else
        text = QStringLiteral("The recipients file %1 has lines without a usable recipient; change alerts go to "
                              "the %2 it gives.")
                   .arg(Quoted(path))
                   .arg(check.usable == 1 ? QStringLiteral("one recipient")
                                          : QStringLiteral("%1 recipients").arg(check.usable));
    text += QStringLiteral("\nEach line needs an address and a name, separated by a semicolon: address;name");
    if (check.unusable.empty())
        return text; // an empty file
    text += QStringLiteral("\n");
    int shown = 0;
    for (const SRecipientsFileCheck::SLine& line : check.unusable) {
        if (shown == maxLines)
            break;
        QString why = QStringLiteral("no e-mail address before the first semicolon");
        if (line.kind == SRecipientLine::noName)
            why = QStringLiteral("no name after the address");
        else if (line.text.contains(QLatin1Char(',')) && !line.text.contains(QLatin1Char(';')))
            why = QStringLiteral("separated by commas, not by a semicolon");
        text += QStringLiteral("\nLine %1: %2 (%3)").arg(line.number).arg(Quoted(line.text), why);
        ++shown;
    }
    const int more = static_cast<int>(check.unusable.size()) - shown;
    if (more > 0)
        text += QStringLiteral("\n... and %1 more such line%2.").arg(more).arg(more == 1 ? "" : "s");
    return text;
}

} // namespace taluvo::prefs
