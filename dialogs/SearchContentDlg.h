// The content-selection dialog: shows a downloaded copy of the page and lets the user choose the
// watched part by a start text and a stop text (typed, or taken from a selection through the
// context menu), marked in the text as they are found. On OK the texts go into the page context
// and, when a download is there, the checksum of the new part with them.
//
// Where the texts stand and how they are coloured is worked out by MarkContent on the text alone;
// the rich edit only shows the result.
#pragma once

#include "engine/CheckNotice.h"
#include "engine/ContentMarking.h"
#include "engine/PageCheck.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/DialogResize.h"
#include "platform/ui/GdiTypes.h"
#include "res/DialogIds.h"

#include <QString>

#include <memory>

class CPageModifyDlg;

class CSearchContentDlg : public CDialogImpl<CSearchContentDlg>, public CDialogResize<CSearchContentDlg> {
public:
    enum { IDD = IDD_SEARCH_CONTENT };

    explicit CSearchContentDlg(SPageCtx* pPageCtx);
    ~CSearchContentDlg() override;

    BEGIN_DLGRESIZE_MAP(CSearchContentDlg)
    DLGRESIZE_CONTROL(IDC_START_FRAME, DLSZ_SIZE_X)
    DLGRESIZE_CONTROL(IDC_START_FROM_BEGINNING, DLSZ_SIZE_X)
    DLGRESIZE_CONTROL(IDC_START_TEXT, DLSZ_SIZE_X)
    DLGRESIZE_CONTROL(IDC_STOP_FRAME, DLSZ_SIZE_X)
    DLGRESIZE_CONTROL(IDC_STOP_AT_END, DLSZ_SIZE_X)
    DLGRESIZE_CONTROL(IDC_STOP_TEXT, DLSZ_SIZE_X)
    DLGRESIZE_CONTROL(IDC_PAGE_TEXT, DLSZ_SIZE_X | DLSZ_SIZE_Y)
    DLGRESIZE_CONTROL(IDC_PAGE_PROGRESS, DLSZ_SIZE_X | DLSZ_MOVE_Y)
    DLGRESIZE_CONTROL(IDC_PROGRESS_FRAME, DLSZ_SIZE_X | DLSZ_MOVE_Y)
    DLGRESIZE_CONTROL(IDC_DOWNLOAD_PAGE, DLSZ_MOVE_Y)
    DLGRESIZE_CONTROL(IDOK, DLSZ_MOVE_X | DLSZ_MOVE_Y)
    DLGRESIZE_CONTROL(IDCANCEL, DLSZ_MOVE_X | DLSZ_MOVE_Y)
    END_DLGRESIZE_MAP()

    BEGIN_MSG_MAP(CSearchContentDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_ID_HANDLER(IDOK, OnOk)
    COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
    COMMAND_ID_HANDLER(IDC_DOWNLOAD_PAGE, OnDownload)
    MESSAGE_HANDLER(WM_CONTEXTMENU, OnContextMenu)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    CHAIN_MSG_MAP(CDialogResize<CSearchContentDlg>)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_UPDATER_NOTIFY, OnUpdaterNotify)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL&);
    LRESULT OnOk(WORD, WORD wID, HWND, BOOL&);
    LRESULT OnCancel(WORD, WORD wID, HWND, BOOL&);
    LRESULT OnDownload(WORD, WORD, HWND, BOOL&);
    LRESULT OnContextMenu(UINT, WPARAM, LPARAM lParam, BOOL&);
    LRESULT OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& bHandled);
    LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL& bHandled);
    LRESULT OnUpdaterNotify(UINT, WPARAM, LPARAM lParam, BOOL&);

    // True from the good start of a download until its finished notice has been handled.
    bool IsDownloading() const { return m_bDownloading; }

    HFONT m_font = nullptr;
    HDC m_dc = nullptr;
    BOOL m_bStartFound = FALSE;
    int m_nVisibleLines = 0;
    int m_iStartPos = -1;
    int m_iStopPos = -1;
    WORD m_nCloseCode = IDCANCEL;
    BOOL m_bClosePending = FALSE;
    CPageModifyDlg* m_pOwnerDlg = nullptr;
    SPageCtx* m_pPageCtx = nullptr;
    // The download on the page context; kept after its finished notice until the next download or
    // the dialog's end, since its worker is still inside that notice.
    std::unique_ptr<CPageCheck> m_check;
    QString m_strStartText;
    QString m_strStopText;
    CWindow m_htmlCtrl;

private:
    void CalcVisibleLines();
    BOOL SetFormatRange(int first, int last, COLORREF colour);
    void SyncCtxToHtml();
    // Marks the texts as they stand; scrolls to the start or the stop text when asked and found.
    void ShowMarking(bool scrollToStart, bool scrollToStop);
    void ScrollIntoView(int position);
    // The start or stop edit changed: its radio buttons follow an emptied edit.
    void OnTextChanged(bool start, bool scroll);
    void TakeTextsIntoContext();
    void CloseWith(WORD code);
    void StopDownload();

    bool m_bDownloading = false;
};
