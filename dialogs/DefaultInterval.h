// Options page "Default Interval": the check interval new pages get, set in days, hours and
// minutes on three scroll bars. While the page is open the three values live in the bars'
// positions.
#pragma once

#include "dialogs/PreferencesPage.h"
#include "platform/ui/ScrollBar.h"
#include "res/DialogIds.h"

class CDefaultInterval : public CPreferencesPage {
public:
    enum { IDD = IDD_DEFAULT_INTERVAL };
    CDefaultInterval();

    BEGIN_MSG_MAP(CDefaultInterval)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_HSCROLL, OnHScroll)
    CHAIN_MSG_MAP(CPropertyPageImplBase)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnHScroll(UINT, WPARAM wParam, LPARAM lParam, BOOL&);
    BOOL Save() override;

    int m_nInterval = 0; // seconds
    CScrollBar m_minutesBar;
    CScrollBar m_hoursBar;
    CScrollBar m_daysBar;

private:
    void UpdateCaption();
};
