// The options sheet: eleven pages over a private copy of the settings store. The sheet never
// touches the store it was built from; after OK the caller reads m_prefs back.
#pragma once

#include "core/prefs/Preferences.h"
#include "dialogs/AutomationDlg.h"
#include "dialogs/ConnectionsDlg.h"
#include "dialogs/DefaultInterval.h"
#include "dialogs/ErrorAlertsDlg.h"
#include "dialogs/LoggingDlg.h"
#include "dialogs/MiscDlg.h"
#include "dialogs/ProxyServerDlg.h"
#include "dialogs/SMTPNotifyDlg.h"
#include "dialogs/UpdateAlertsDlg.h"
#include "dialogs/VisualSettingsDlg.h"
#include "dialogs/WebBrowserDlg.h"
#include "platform/ui/PropertySheet.h"

#include <QString>

class CPreferencesDlg : public CPropertySheetImpl<CPreferencesDlg> {
public:
    // source is only read, and only here. parent null: the window active when the sheet runs.
    CPreferencesDlg(CPreferences* source, const QString& caption, UINT startPage = 0, HWND parent = nullptr);

    BEGIN_MSG_MAP(CPreferencesDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL& bHandled);

    // The pages, in tab order.
    CUpdateAlertsDlg m_updateAlerts;
    CErrorAlertsDlg m_errorAlerts;
    CLoggingDlg m_logging;
    CConnectionsDlg m_connections;
    CProxyServerDlg m_proxyServer;
    CVisualSettingsDlg m_visualSettings;
    CWebBrowserDlg m_webBrowser;
    CDefaultInterval m_defaultInterval;
    CSMTPNotifyDlg m_smtpNotify;
    CAutomationDlg m_automation;
    CMiscDlg m_misc;

    // The copy the pages edit: the source's record and recipient list.
    CPreferences m_prefs;
};
