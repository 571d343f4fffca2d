#include "dialogs/PreferencesPage.h"

#include "platform/ui/FileDialogs.h"

#include <initializer_list>

CPreferencesPage::CPreferencesPage(WORD templateId, const QString& title)
    : CPropertyPageImplBase(templateId, title)
{
    // Every page is made when the sheet opens, so every page has read its settings (and set its
    // controls' enabled states) before the user sees the first tab.
    m_psp.dwFlags |= PSP_USETITLE | PSP_USECALLBACK | PSP_PREMATURE;
}

void CPreferencesPage::EnableControls(std::initializer_list<int> ids, bool enable)
{
    for (int id : ids)
        ::EnableWindow(GetDlgItem(id), enable ? TRUE : FALSE);
}

void CPreferencesPage::TracePageFailure(DWORD traceLevel, const char16_t* where, CCmnException& e)
{
    const DWORD s_dwTraceModuleLevel = traceLevel;
    TRACE0(u"%s. Exception: %s.\r\n", QString::fromUtf16(where), e.GetMessage());
}

QString CPreferencesPage::PickFile(const char16_t* defaultExtension, const char16_t* filter)
{
    CFileDialog dlg(TRUE, defaultExtension, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter);
    if (dlg.DoModal(::GetActiveWindow()) != IDOK)
        return QString();
    return dlg.m_szFileName;
}
