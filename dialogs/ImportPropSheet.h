// The bookmark import wizard: the user picks a browser, ticks bookmarks and a group, and Finish
// stores the ticked bookmarks as pages of that group. Two pages: "Select import source" (which
// browser) and "Import bookmarks" (the list with check boxes, the group, "Clear group before
// import"). The wizard stores through the database and lock it was given; the caller reads
// m_nGroupId and m_bNewGroup of its shared data after it returned IDOK.
#pragma once

#include "core/Mutex.h"
#include "core/db/SqlWrapper.h"
#include "import/FavoritesReader.h"
#include "import/FireFoxReader.h"
#include "platform/ui/Controls.h"
#include "platform/ui/DataExchange.h"
#include "platform/ui/ListView.h"
#include "platform/ui/PropertySheet.h"
#include "res/DialogIds.h"

#include <QByteArray>
#include <QString>

#include <vector>

// What the sheet and its pages share.
struct SImportData {
    SImportData(CMutex* lock, CSqlDatabase* db, std::vector<QByteArray> titles, std::vector<WORD> ids);

    CMutex* m_pLock;
    CSqlDatabase* m_pDB;
    CFavoritesReader m_favoritesReader;
    CFireFoxReader m_fireFoxReader;
    std::vector<QByteArray> m_groupTitles; // in the ANSI code page, in the caller's order
    std::vector<WORD> m_groupIds; // the id of each title: the group is chosen by id
    WORD m_nGroupId = 0xFFFF; // the group that received the import, after Finish
    BOOL m_bNewGroup = FALSE; // Finish created that group
    int m_nSource = 0; // 0 favorites, 1 Firefox, -1 none chosen
};

class CImportPropSheet_ImportSource : public CPropertyPageImpl<CImportPropSheet_ImportSource> {
public:
    enum { IDD = IDD_IMPORT_SOURCE };

    explicit CImportPropSheet_ImportSource(SImportData* data);

    BEGIN_MSG_MAP(CImportPropSheet_ImportSource)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    CHAIN_MSG_MAP(CPropertyPageImpl<CImportPropSheet_ImportSource>)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    int OnSetActive() override;
    int OnWizardNext() override;

    SImportData* m_pData;
};

class CImportPropSheet_IEFavorites : public CPropertyPageImpl<CImportPropSheet_IEFavorites>,
                                     public CWinDataExchange<CImportPropSheet_IEFavorites> {
public:
    enum { IDD = IDD_IMPORT_LIST };

    explicit CImportPropSheet_IEFavorites(SImportData* data);

    BEGIN_MSG_MAP(CImportPropSheet_IEFavorites)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_ID_HANDLER(IDC_IMPORT_SELECT_ALL, OnSelectAll)
    COMMAND_ID_HANDLER(IDC_IMPORT_SELECT_NONE, OnSelectNone)
    CHAIN_MSG_MAP(CPropertyPageImpl<CImportPropSheet_IEFavorites>)
    END_MSG_MAP()

    BEGIN_DDX_MAP(CImportPropSheet_IEFavorites)
    DDX_CHECK(IDC_IMPORT_CLEAR_GROUP, m_bClearGroup)
    END_DDX_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnSelectAll(WORD, WORD, HWND, BOOL&);
    LRESULT OnSelectNone(WORD, WORD, HWND, BOOL&);
    int OnSetActive() override;
    INT_PTR OnWizardFinish() override;

    // Appends a row unless the address is no URL.
    void AddBookmark(const QString& name, const QString& url);
    // Every link of a favorites level, its folders' levels first, in chain order.
    static void WalkFavoritesTree(const SFavoriteNode* head, CImportPropSheet_IEFavorites& page,
        void (CImportPropSheet_IEFavorites::*add)(const QString&, const QString&));

    SImportData* m_pData;
    CListViewCtrl m_lvBookmarks;
    CComboBox m_cbGroups;
    BOOL m_bClearGroup = FALSE;

    // What the page shows in the list's place when the source gave no bookmark: which file or
    // folder the import read and what it found there.
    QString EmptyListNote() const;

private:
    void FillBookmarks();
    void FitColumns();
};

class CImportPropSheet : public CPropertySheetImpl<CImportPropSheet> {
public:
    CImportPropSheet(CMutex* lock, CSqlDatabase* db, std::vector<QByteArray> titles, std::vector<WORD> ids,
        const QString& caption, UINT startPage = 0, HWND parent = nullptr);

    // An empty map: its one case and its default both pass every message on.
    BEGIN_MSG_MAP(CImportPropSheet) // NOLINT(bugprone-branch-clone)
    END_MSG_MAP()

    SImportData m_data;
    CImportPropSheet_IEFavorites m_listPage;
    CImportPropSheet_ImportSource m_sourcePage;
};
