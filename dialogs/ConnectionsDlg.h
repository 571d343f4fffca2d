// Options page "Connection": automatic online detection and the three time-outs of a page check.
#pragma once

#include "dialogs/PreferencesPage.h"
#include "platform/ui/DataExchange.h"
#include "platform/ui/Trackbar.h"
#include "res/DialogIds.h"

class CConnectionsDlg : public CPreferencesPage, public CWinDataExchange<CConnectionsDlg> {
public:
    enum { IDD = IDD_CONNECTIONS };
    CConnectionsDlg();

    BEGIN_MSG_MAP(CConnectionsDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_HSCROLL, OnHScroll)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    CHAIN_MSG_MAP(CPropertyPageImplBase)
    END_MSG_MAP()

    BEGIN_DDX_MAP(CConnectionsDlg)
    DDX_RADIO(IDC_CONNECTION_MANUAL, m_nConnectionType)
    END_DDX_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnHScroll(UINT, WPARAM wParam, LPARAM lParam, BOOL&);
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled);
    BOOL Save() override;

    int m_nConnectionType = 0; // 0 the user says when online, 1 automatic detection
    int m_nConnectTimeout = 0; // seconds
    int m_nRecvTimeout = 0;
    int m_nSendTimeout = 0;
    CTrackBarCtrl m_connectBar;
    CTrackBarCtrl m_recvBar;
    CTrackBarCtrl m_sendBar;

private:
    void UpdateLabels();
};
