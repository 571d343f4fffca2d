#include "dialogs/ProgressText.h"

#include "engine/CheckNotice.h"

QString UpdaterProgressText(LPARAM lParam)
{
    const SCheckNotice notice = ReadNotice(lParam);
    switch (notice.state) {
    case stateResolvingName:
        return QStringLiteral("Resolving name ...");
    case stateNameResolved:
        return QStringLiteral("Name resolved.");
    case stateConnecting:
        return QStringLiteral("Connecting to server ...");
    case stateConnected:
        return QStringLiteral("Connected.");
    case stateReadingData:
        if (notice.percent)
            return QStringLiteral(" Reading data - %1 %").arg(notice.amount);
        return QStringLiteral(" Reading data - %1 KBytes").arg(notice.amount);
    default:
        return QString();
    }
}
