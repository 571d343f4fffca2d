// The page address dialog: asks for one web page address, normalises it and, for a page to be
// watched, downloads it once before accepting it (the test download). The download runs on the
// caller's page context, so its outcome stays there as the page's first check. Three uses, chosen
// by the creation parameter: a new page's address, a changed address, and a changed address for
// the web browser (never downloaded).
#pragma once

#include "engine/CheckNotice.h"
#include "engine/PageCheck.h"
#include "platform/ui/AtlWin.h"
#include "res/DialogIds.h"

#include <QString>

#include <memory>

class CPageAddDlg : public CDialogImpl<CPageAddDlg> {
public:
    enum { IDD = IDD_PAGE_ADD };
    enum : int {
        modeAddPage = 0,
        modeModifyUrl = 1,
        modeModifyBrowserUrl = 2,
    };

    CPageAddDlg() = default;
    // A test download still running (the dialog was ended from outside, as a shutdown does) is
    // cancelled and waited for by its check, so its worker never outlives the caller's context.
    ~CPageAddDlg() = default;

    BEGIN_MSG_MAP(CPageAddDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_UPDATER_NOTIFY, OnUpdaterNotify)
    COMMAND_ID_HANDLER(IDOK, OnOk)
    COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL&);
    LRESULT OnUpdaterNotify(UINT, WPARAM wParam, LPARAM lParam, BOOL&);
    LRESULT OnOk(WORD, WORD, HWND, BOOL&);
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&);

    // The address the last finished test download fetched (empty when none finished): a caller
    // tells by it whether the context's download belongs to the address it got back.
    const QString& DownloadedUrl() const { return m_strDownloadedUrl; }

    BOOL m_bTested = FALSE;
    SPageCtx* m_pPageCtx = nullptr;
    QString m_strCheckedUrl;
    int m_nMode = modeAddPage;
    QString m_strUrl;
    QString m_strDescr;

private:
    void TakeClipboardAddress();
    void SetProgress(const QString& text);
    void CloseWithoutDownload();
    void StartTestDownload();
    void OnTestFinished();

    // The test download on the caller's context; kept after its finished notice until the next
    // one or the dialog's end, since its worker is still inside that notice.
    std::unique_ptr<CPageCheck> m_check;
    // From the good start of a test download until its finished notice has been handled.
    bool m_bDownloading = false;
    QString m_strDownloadedUrl;
};
