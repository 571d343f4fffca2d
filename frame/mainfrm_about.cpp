// Help > About: the about box, owned by whichever window is active when the command arrives.
#include "frame/mainfrm.h"

#include "core/DebugTracer.h"
#include "dialogs/AboutDlg.h"

TRACE_MODULE("CMainFrame");

LRESULT CMainFrame::OnAppAbout(WORD, WORD, HWND, BOOL&)
{
    TRACE_SCOPE(u"CMainFrame::OnAppAbout");
    CAboutDlg dlg;
    dlg.DoModal(::GetActiveWindow());
    return 0;
}
