#include "engine/PageCtx.h"

#include "core/DebugTracer.h"
#include "engine/WatchedPart.h"
#include "platform/base/OneLine.h"

TRACE_MODULE("CUpdater");

SPageCtx::SPageCtx()
{
    m_hSignalEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    m_hHandlesClosed = CreateEvent(nullptr, TRUE, FALSE, nullptr);
}

SPageCtx::~SPageCtx()
{
    m_hRequest.Close();
    m_hConnect.Close();
    m_hSignalEvent.Close();
    m_hHandlesClosed.Close();
}

void SPageCtx::Reset()
{
    if (m_hSignalEvent.IsValid())
        ResetEvent(m_hSignalEvent);
    m_hRequest.Close();
    m_hConnect.Close();
    m_hNotifyWnd = nullptr;
    m_iStage = stageConnect;
    m_nGroupId = 0xFFFF;
    m_nPageId = 0xFFFF;
    m_strDescr.clear();
    m_strStartCheckMask.clear();
    m_strStopCheckMask.clear();
    m_dwErrorCode = 0;
    m_dwContentLength = 0;
    m_dwHttpStatusCode = 0;
    m_dwCheckSum = kNoChecksum;
    m_tLastModified = kNoTime;
    m_tLastChecked = kNoTime;
    m_iStatus = statusUnknown;
    m_strHtml.clear();
    m_pUpdater = nullptr;
    m_bCancelled = FALSE;
}

DWORD SPageCtx::UpdateCRC32(const CWholePageChecksum* read)
{
    const DWORD old = m_dwCheckSum;
    DWORD result = old;
    if (m_strHtml.isEmpty()) {
        TRACE2(u"SPageCtx::GetCRC32. Html page is EMPTY.\n");
        return old;
    }
    DWORD checksum = 0;
    bool taken = false;
    if (read && m_strStartCheckMask.isEmpty() && m_strStopCheckMask.isEmpty()) {
        TRACE2(u"SPageCtx::GetCRC32. StartPos: %d, StopPos: %d\n", 0, m_strHtml.size() - 1);
        taken = read->Finish(m_strHtml, checksum);
    } else {
        const SWatchedPartCut cut = CutWatchedPart(m_strHtml, m_strStartCheckMask, m_strStopCheckMask);
        TRACE2(u"SPageCtx::GetCRC32. StartPos: %d, StopPos: %d\n", cut.startPos, cut.stopPos);
        taken = WatchedPartChecksum(cut.part, checksum);
    }
    if (taken) {
        result = checksum;
        TRACE2(u"SPageCtx::GetCRC32. Interest html part CRC: 0x%x\n", result);
    }
    if (result != old) {
        if (old != kNoChecksum)
            m_iStatus = statusNew;
        m_dwCheckSum = result;
    }
    return result;
}

QString SPageCtx::GetHtmlTitle() const
{
    static const QString open = QStringLiteral("<title>");
    static const QString close = QStringLiteral("</title>");
    const qsizetype start = m_strHtml.indexOf(open, 0, Qt::CaseInsensitive);
    if (start < 0)
        return QString();
    const qsizetype from = start + open.size();
    const qsizetype end = m_strHtml.indexOf(close, from, Qt::CaseInsensitive);
    if (end < 0)
        return QString();
    // The title becomes a description, written into the update log, the e-mail, the popup and the
    // tree: a page's line breaks or control characters in it must not start lines of their own.
    return taluvo::SimplifiedLine(m_strHtml.mid(from, end - from));
}
