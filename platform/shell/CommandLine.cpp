#include "platform/shell/CommandLine.h"

namespace taluvo::shell {
namespace {

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

bool IsEscapableInQuotes(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\');
}

QString ReplacePercent1(const QString& argument, const QString& address, bool& substituted)
{
    QString out;
    qsizetype from = 0;
    for (qsizetype at = argument.indexOf(QLatin1String("%1")); at >= 0;
         at = argument.indexOf(QLatin1String("%1"), from)) {
        out += QStringView(argument).mid(from, at - from);
        out += address;
        from = at + 2;
        substituted = true;
    }
    out += QStringView(argument).mid(from);
    return out;
}

// False when the argument consisted of dropped field codes only (it is then left out).
bool ExpandFieldCodes(const QString& argument, const QString& address, QString& out, bool& substituted)
{
    out.clear();
    bool keptSomething = argument.isEmpty(); // "" stays an empty argument
    for (qsizetype i = 0; i < argument.size(); ++i) {
        const QChar c = argument[i];
        if (c != QLatin1Char('%') || i + 1 == argument.size()) {
            out += c;
            keptSomething = true;
            continue;
        }
        const char16_t code = argument[++i].unicode();
        switch (code) {
        case u'u':
        case u'U':
        case u'f':
        case u'F':
            out += address;
            keptSomething = true;
            substituted = true;
            break;
        case u'%':
            out += QLatin1Char('%');
            keptSomething = true;
            break;
        default:
            break; // icon, name, location and the deprecated codes: nothing to put in
        }
    }
    return keptSomething;
}

} // namespace

QStringList SplitCommandLine(const QString& commandLine)
{
    QStringList argv;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < commandLine.size(); ++i) {
        const QChar c = commandLine[i];
        if (c == QLatin1Char('"')) {
            inQuotes = !inQuotes;
            inArgument = true;
        } else if (inQuotes && c == QLatin1Char('\\') && i + 1 < commandLine.size()
            && IsEscapableInQuotes(commandLine[i + 1])) {
            current += commandLine[++i];
        } else if (!inQuotes && IsBlank(c)) {
            if (inArgument)
                argv.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        argv.push_back(current);
    return argv;
}

QStringList SplitCommandLine(const QString& commandLine, const QString& address, Placeholders style, bool* substituted)
{
    bool found = false;
    QStringList argv;
    for (const QString& argument : SplitCommandLine(commandLine)) {
        if (style == Placeholders::Percent1) {
            argv.push_back(ReplacePercent1(argument, address, found));
            continue;
        }
        QString expanded;
        if (ExpandFieldCodes(argument, address, expanded, found))
            argv.push_back(expanded);
    }
    if (substituted)
        *substituted = found;
    return argv;
}

} // namespace taluvo::shell
