// The page properties command: the selected page's stored facts and when its next check is due,
// shown read only.
#include "frame/mainfrm.h"

#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/db/Database.h"
#include "dialogs/PagePropertiesDlg.h"
#include "engine/PageProperties.h"
#include "engine/PageRows.h"

TRACE_MODULE("CMainFrame");

LRESULT CMainFrame::OnPageProperties(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnPageProperties");
    CommandFrame(u"CMainFrame::OnPageProperties", [this] {
        const SPageItem page = SelectedPage();
        CPagePropertiesDlg dlg;
        {
            // Read, then let go: toolbar threads must not wait behind a dialog left open.
            AUTO_DB_LOCKER();
            SqlGuard([&] {
                CSqlQuery row = ReadPageRow(m_db, page.nGroupId, page.nPageId);
                const SPagePropertiesTexts texts = PagePropertiesTexts(row, m_clock());
                dlg.m_strUrl = texts.url;
                dlg.m_strDescr = texts.descr;
                dlg.m_strStatus = texts.status;
                dlg.m_strHttpCode = texts.httpCode;
                dlg.m_strInterval = texts.interval;
                dlg.m_strLastChecked = texts.lastChecked;
                dlg.m_strLastModified = texts.lastModified;
                dlg.m_strCheckDue = texts.checkDue;
                dlg.m_strCheckDueIn = texts.checkDueIn;
                dlg.m_strCheckSum = texts.checkSum;
                dlg.m_strStartCheck = texts.startCheck;
                dlg.m_strStopCheck = texts.stopCheck;
            });
        }
        dlg.DoModal(::GetActiveWindow(), 0);
    });
    return 0;
}
