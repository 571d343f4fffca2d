// The page modify dialog: the enable flag, the address, the description, the check interval and
// the address opened in the web browser of one page, and, through the content-selection dialog,
// its watched part. The caller fills the fields, runs it and stores the fields and the page
// context after IDOK; the dialogs opened from here leave their downloads and choices in the
// context.
#pragma once

#include "engine/PageCtx.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/HyperLink.h"
#include "platform/ui/ScrollBar.h"
#include "res/DialogIds.h"

#include <QString>

class CPageModifyDlg : public CDialogImpl<CPageModifyDlg> {
public:
    enum { IDD = IDD_PAGE_MODIFY };
    // The longest address a link opens; a longer one opens nothing.
    static constexpr int kMaxLinkAddress = 2084;

    BEGIN_MSG_MAP(CPageModifyDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDC_PAGE_ENABLE, BN_CLICKED, OnEnable)
    COMMAND_ID_HANDLER(IDC_PAGE_CONTENT_FOR_CHECK, OnContentForCheck)
    COMMAND_ID_HANDLER(IDC_PAGE_MODIFY_URL, OnModifyUrl)
    COMMAND_ID_HANDLER(IDC_PAGE_MODIFY_BROWSER_URL, OnModifyBrowserUrl)
    COMMAND_ID_HANDLER(IDC_PAGE_URL_LINK, OnUrlClick)
    COMMAND_ID_HANDLER(IDC_PAGE_BROWSER_LINK, OnUrlClick)
    COMMAND_ID_HANDLER(IDOK, OnOk)
    COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
    MESSAGE_HANDLER(WM_HSCROLL, OnHScroll)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnEnable(WORD, WORD, HWND, BOOL&);
    LRESULT OnContentForCheck(WORD, WORD, HWND, BOOL&);
    LRESULT OnModifyUrl(WORD, WORD, HWND, BOOL&);
    LRESULT OnModifyBrowserUrl(WORD, WORD, HWND, BOOL&);
    LRESULT OnUrlClick(WORD, WORD wID, HWND, BOOL&);
    LRESULT OnOk(WORD, WORD, HWND, BOOL&);
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&);
    LRESULT OnHScroll(UINT, WPARAM wParam, LPARAM lParam, BOOL&);

    CScrollBar m_sbMinutes;
    CScrollBar m_sbHours;
    CScrollBar m_sbDays;
    CHyperLink m_linkUrl;
    CHyperLink m_linkBrowserUrl;
    SPageCtx* m_pPageCtx = nullptr;
    BOOL m_bEnable = TRUE;
    QString m_strUrl;
    QString m_strUrlBrowser;
    QString m_strDescr;
    DWORD m_nInterval = 0;
    // Set when the context's check results belong to an address other than m_strUrl (a test
    // download of an address that was then not taken): the caller must not store them.
    bool m_bCheckStateStale = false;

private:
    void UpdateIntervalLabel();
    void ShowLink(CHyperLink& link, const QString& address);
};
