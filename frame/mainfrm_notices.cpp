// What the main window tells the user outside of a command: check results or the update log that
// cannot be written (and that they work again), and stored settings that could not be used. A box
// is never shown inside a worker's send or while the window is being made: it is queued and shown
// from a posted message.
#include "frame/mainfrm.h"

#include "core/DebugTracer.h"
#include "platform/base/Format.h"

TRACE_MODULE("CMainFrame");

void CMainFrame::PostNotice(const QString& text, const QString& caption, UINT icon)
{
    m_notices.push_back({ text, caption, icon });
    PostMessage(WM_SHOW_NOTICE);
}

LRESULT CMainFrame::OnShowNotice(UINT, WPARAM, LPARAM, BOOL&)
{
    if (m_notices.empty())
        return 0;
    const SNotice notice = m_notices.front();
    m_notices.pop_front();
    MessageBox(notice.text, notice.caption, MB_OK | notice.icon);
    return 0;
}

void CMainFrame::SetStatusText(const QString& text)
{
    if (m_hWndStatusBar)
        CStatusBarCtrl(m_hWndStatusBar).SetText(0, text);
}

void CMainFrame::NoteResultStore(const CSqlException* failure)
{
    if (failure && !m_bResultsNotStored) {
        m_bResultsNotStored = true;
        const QString reason = SqlErrorReason(*failure);
        TRACE0(u"CMainFrame::OnUpdaterNotify. Check results cannot be stored: %s\r\n", reason);
        SetStatusText(taluvo::Format(u"Check results cannot be stored: %s", reason));
        PostNotice(taluvo::Format(u"Check results cannot be stored in the database.\n%hs: %s\n"
                                  u"Pages are checked again until their results can be stored.",
                       m_db.fileName(), reason),
            QStringLiteral("Error"), MB_ICONERROR);
    } else if (!failure && m_bResultsNotStored) {
        m_bResultsNotStored = false;
        TRACE0(u"CMainFrame::OnUpdaterNotify. Check results are stored again.\r\n");
        SetStatusText(QStringLiteral("Check results are stored again."));
        PostNotice(QStringLiteral("Check results are stored in the database again."), QStringLiteral("Information"),
            MB_ICONINFORMATION);
    }
}

void CMainFrame::NoteUpdateLog(bool written)
{
    if (!written && !m_bLogNotWritten) {
        m_bLogNotWritten = true;
        SetStatusText(taluvo::Format(u"The update log \"%s\" cannot be written.", m_logFile.GetFileName()));
    } else if (written && m_bLogNotWritten) {
        m_bLogNotWritten = false;
        SetStatusText(QStringLiteral("The update log is written again."));
    }
}

void CMainFrame::ReportStoredPrefsProblem(const SStoredPrefsProblem& problem)
{
    if (problem.what.isEmpty())
        return;
    const QString kept = problem.asidePath.isEmpty()
        ? QStringLiteral("They could not be copied aside and stay in the database as they are.")
        : taluvo::Format(u"They were copied to \"%s\".", problem.asidePath);
    PostNotice(taluvo::Format(u"The stored settings %s.\n%s\nThe settings that could not be used have their "
                              u"default values.",
                   problem.what, kept),
        QStringLiteral("Warning"), MB_ICONWARNING);
}
