#include "dialogs/ProgressText.h"

#include "engine/Updater.h"

QString UpdaterProgressText(LPARAM lParam)
{
    const DWORD value = static_cast<DWORD>(lParam);
    switch (value & 0xFF) {
    case stateResolvingName:
        return QStringLiteral("Resolving name ...");
    case stateNameResolved:
        return QStringLiteral("Name resolved.");
    case stateConnecting:
        return QStringLiteral("Connecting to server ...");
    case stateConnected:
        return QStringLiteral("Connected.");
    case stateReadingData:
        if (value & 0x80000000u)
            return QStringLiteral(" Reading data - %1 %").arg((value >> 16) & 0x7FFF);
        return QStringLiteral(" Reading data - %1 KBytes").arg(value >> 16);
    default:
        return QString();
    }
}

void CancelDownload(SPageCtx& ctx)
{
    ctx.m_dwErrorCode = ERROR_CANCELLED;
    ctx.m_bCancelled = TRUE;
    if (ctx.m_hSignalEvent.IsValid())
        SetEvent(ctx.m_hSignalEvent);
    if (ctx.m_pUpdater)
        ctx.m_pUpdater->CancelUpdate();
}
