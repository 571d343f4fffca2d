// Content types by file extension, from the system's list (/etc/mime.types of Debian's
// media-types: a type, then the extensions that name it).
#include "platform/shell/MimeTypes.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

namespace taluvo::shell {
namespace {

QHash<QString, QString> LoadTypes()
{
    QHash<QString, QString> types;
    QFile file(QStringLiteral("/etc/mime.types"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return types;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        for (qsizetype i = 1; i < fields.size(); ++i)
            if (!types.contains(fields[i].toLower())) // the first type listed for an extension wins
                types.insert(fields[i].toLower(), fields[0]);
    }
    return types;
}

} // namespace

QString ContentTypeForExtension(const QString& extension)
{
    static const QHash<QString, QString> types = LoadTypes();
    if (extension.isEmpty())
        return QString();
    return types.value(extension.toLower());
}

} // namespace taluvo::shell
