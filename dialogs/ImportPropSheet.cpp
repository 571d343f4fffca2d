#include "dialogs/ImportPropSheet.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Exceptions.h"
#include "core/Globals.h"
#include "core/Utils.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "engine/BookmarkImport.h"
#include "platform/base/OneLine.h"
#include "platform/base/Process.h"
#include "platform/shell/Launch.h"

#include <algorithm>

TRACE_MODULE("CImportPropSheet");

namespace {

constexpr int kColumnWidth = 200;

} // namespace

SImportData::SImportData(CMutex* lock, CSqlDatabase* db, std::vector<QByteArray> titles, std::vector<WORD> ids)
    : m_pLock(lock)
    , m_pDB(db)
    , m_groupTitles(std::move(titles))
    , m_groupIds(std::move(ids))
{
}

// ---------------------------------------------------------------------------------------------
// Source page

CImportPropSheet_ImportSource::CImportPropSheet_ImportSource(SImportData* data)
    : CPropertyPageImpl<CImportPropSheet_ImportSource>(QStringLiteral("Select import source"))
    , m_pData(data)
{
}

LRESULT CImportPropSheet_ImportSource::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    taluvo::ui::SetRadioGroupIndex(m_hWnd, IDC_IMPORT_FROM_IE, m_pData->m_nSource);
    return TRUE;
}

int CImportPropSheet_ImportSource::OnSetActive()
{
    ::PostMessage(GetPropertySheet(), PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
    return 0;
}

int CImportPropSheet_ImportSource::OnWizardNext()
{
    m_pData->m_nSource = taluvo::ui::GetRadioGroupIndex(m_hWnd, IDC_IMPORT_FROM_IE);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// List page

CImportPropSheet_IEFavorites::CImportPropSheet_IEFavorites(SImportData* data)
    : CPropertyPageImpl<CImportPropSheet_IEFavorites>(QStringLiteral("Import bookmarks"))
    , m_pData(data)
{
}

LRESULT CImportPropSheet_IEFavorites::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    m_lvBookmarks = GetDlgItem(IDC_IMPORT_BOOKMARKS);
    // An address longer than the list can show is shown whole under the pointer.
    m_lvBookmarks.SetExtendedListViewStyle(
        LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    m_lvBookmarks.InsertColumn(0, QStringLiteral("Name"), LVCFMT_LEFT, kColumnWidth);
    m_lvBookmarks.InsertColumn(1, QStringLiteral("Url"), LVCFMT_LEFT, kColumnWidth);
    m_lvBookmarks.DeleteAllItems();

    m_bClearGroup = FALSE;
    DoDataExchange(FALSE);

    m_cbGroups = GetDlgItem(IDC_IMPORT_GROUP);
    for (size_t i = 0; i < m_pData->m_groupTitles.size() && i < m_pData->m_groupIds.size(); ++i) {
        const int index = m_cbGroups.AddString(CAnsiToWide(m_pData->m_groupTitles[i]).Get());
        if (index >= 0)
            m_cbGroups.SetItemData(index, m_pData->m_groupIds[i]);
    }
    // Without a group the import makes one; the user sees its name where the groups would be.
    if (m_cbGroups.GetCount() == 0) {
        const int index = m_cbGroups.AddString(QString::fromUtf16(kImportedGroupTitle));
        if (index >= 0)
            m_cbGroups.SetItemData(index, kNewImportGroup);
    }
    m_cbGroups.SetCurSel(0);
    return TRUE;
}

int CImportPropSheet_IEFavorites::OnSetActive()
{
    FillBookmarks();
    SetWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
    return 0;
}

void CImportPropSheet_IEFavorites::FillBookmarks()
{
    m_lvBookmarks.DeleteAllItems();
    bool homeKnown = true;
    if (m_pData->m_nSource == 0) {
        WalkFavoritesTree(m_pData->m_favoritesReader.Read(), *this, &CImportPropSheet_IEFavorites::AddBookmark);
    } else {
        try {
            m_pData->m_fireFoxReader.ImportBookmarks(FALSE);
        } catch (CCmnException& e) {
            TRACE0(u"CImportPropSheet_IEFavorites::OnInitDialog. Exception: %s.\r\n", e.GetMessage());
            homeKnown = false;
        }
        for (const SBookmark& bookmark : m_pData->m_fireFoxReader.m_bookmarks)
            AddBookmark(bookmark.m_strTitle, bookmark.m_strHref);
    }

    // An empty list alone would look like a browser without bookmarks: say where the import
    // looked instead, in the list's place.
    const bool empty = m_lvBookmarks.GetItemCount() == 0;
    const QString note = empty ? (homeKnown ? EmptyListNote()
                                            : QStringLiteral("No bookmarks were found: the "
                                                             "program cannot tell your home folder."))
                               : QString();
    SetDlgItemText(IDC_IMPORT_EMPTY_NOTE, note);
    ::ShowWindow(GetDlgItem(IDC_IMPORT_EMPTY_NOTE), empty ? SW_SHOW : SW_HIDE);
    m_lvBookmarks.ShowWindow(empty ? SW_HIDE : SW_SHOW);
    ::EnableWindow(GetDlgItem(IDC_IMPORT_SELECT_ALL), empty ? FALSE : TRUE);
    ::EnableWindow(GetDlgItem(IDC_IMPORT_SELECT_NONE), empty ? FALSE : TRUE);
    if (empty)
        TRACE1(u"CImportPropSheet_IEFavorites::FillBookmarks. %s\r\n", note);
    else
        FitColumns();
}

QString CImportPropSheet_IEFavorites::EmptyListNote() const
{
    const auto quoted = [](const QString& path) { return QStringLiteral("\n    %1\n").arg(path); };
    QString text = QStringLiteral("No bookmarks were found.\n\n");
    if (m_pData->m_nSource == 0) {
        const QString folder = m_pData->m_favoritesReader.Folder();
        text += QStringLiteral("The Internet Explorer import reads the Internet shortcut files (*.url) in the folder")
            + quoted(folder) + QStringLiteral("and in the folders below it. ");
        text += taluvo::FolderExists(folder) ? QStringLiteral("None of them holds a web address.")
                                             : QStringLiteral("That folder does not exist.");
        return text;
    }
    const CFireFoxReader& reader = m_pData->m_fireFoxReader;
    const QString profiles = reader.Folder() + QStringLiteral("/profiles.ini");
    text += QStringLiteral("The FireFox import reads the file bookmarks.html of the first profile that")
        + quoted(profiles) + QStringLiteral("names. ");
    if (!FileExists(profiles))
        return text + QStringLiteral("That file does not exist.");
    const QString bookmarks = reader.BookmarksPath();
    if (bookmarks.isEmpty())
        return text
            + QStringLiteral("It names no profile the program can read (section Profile0 with Name, "
                             "IsRelative and Path).");
    if (!FileExists(bookmarks))
        return text + QStringLiteral("The profile's file") + quoted(bookmarks)
            + QStringLiteral("does not exist: FireFox writes it only when asked to, when the setting "
                             "browser.bookmarks.autoExportHTML is true (about:config) or when the bookmarks are "
                             "exported to HTML into the profile's folder.");
    return text + QStringLiteral("Its file") + quoted(bookmarks) + QStringLiteral("holds no link with a web address.");
}

void CImportPropSheet_IEFavorites::FitColumns()
{
    // The address is what tells bookmarks apart: it gets the room the names do not need, and the
    // last column fills the list, so no space stays empty beside a cut address.
    m_lvBookmarks.SetColumnWidth(0, LVSCW_AUTOSIZE);
    m_lvBookmarks.SetColumnWidth(1, LVSCW_AUTOSIZE);
    const int names = m_lvBookmarks.GetColumnWidth(0);
    const int addresses = m_lvBookmarks.GetColumnWidth(1);
    m_lvBookmarks.SetColumnWidth(0, names);
    m_lvBookmarks.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER);
    const int room = names + m_lvBookmarks.GetColumnWidth(1);
    if (m_lvBookmarks.GetColumnWidth(1) >= addresses)
        return;
    // Names give way down to a quarter of the list before an address is cut.
    m_lvBookmarks.SetColumnWidth(0, std::max(room - addresses, std::min(names, room / 4)));
    m_lvBookmarks.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER);
}

void CImportPropSheet_IEFavorites::WalkFavoritesTree(const SFavoriteNode* head, CImportPropSheet_IEFavorites& page,
    void (CImportPropSheet_IEFavorites::*add)(const QString&, const QString&))
{
    if (!head)
        return;
    for (const SFavoriteNode* folder = head->m_pNextFolder; folder; folder = folder->m_pNextFolder)
        WalkFavoritesTree(folder->m_pChild, page, add);
    for (const SFavoriteNode* link = head->m_pNextLink; link; link = link->m_pNextLink)
        (page.*add)(link->m_pszName, link->m_pszUrl);
}

void CImportPropSheet_IEFavorites::AddBookmark(const QString& name, const QString& url)
{
    // Only what a check can fetch is listed: a shortcut or bookmark may point at a file, a script
    // or a desktop file, which the program would later hand to the desktop to open.
    if (!taluvo::shell::IsWebAddress(url)) {
        TRACE1(u"CImportPropSheet_IEFavorites::AddBookmark. Left out \"%s\": \"%s\" is no http or https address.\r\n",
            taluvo::OneLine(name), taluvo::OneLine(url));
        return;
    }
    const int row = m_lvBookmarks.AddItem(name);
    if (row >= 0)
        m_lvBookmarks.SetItemText(row, 1, ImportedAddress(url));
}

LRESULT CImportPropSheet_IEFavorites::OnSelectAll(WORD, WORD, HWND, BOOL&)
{
    for (int row = 0; row < m_lvBookmarks.GetItemCount(); ++row)
        m_lvBookmarks.SetCheckState(row, TRUE);
    return 0;
}

LRESULT CImportPropSheet_IEFavorites::OnSelectNone(WORD, WORD, HWND, BOOL&)
{
    for (int row = 0; row < m_lvBookmarks.GetItemCount(); ++row)
        m_lvBookmarks.SetCheckState(row, FALSE);
    return 0;
}

INT_PTR CImportPropSheet_IEFavorites::OnWizardFinish()
{
    DoDataExchange(TRUE);
    const int selected = m_cbGroups.GetCurSel();
    const WORD nGroupId = selected >= 0 ? static_cast<WORD>(m_cbGroups.GetItemData(selected)) : kNewImportGroup;
    std::vector<SImportedBookmark> chosen;
    for (int row = 0; row < m_lvBookmarks.GetItemCount(); ++row) {
        if (m_lvBookmarks.GetCheckState(row))
            chosen.push_back({ m_lvBookmarks.GetItemText(row, 0), m_lvBookmarks.GetItemText(row, 1) });
    }
    try {
        const auto interval = static_cast<uint32_t>(g_prefs.GetParam(kDefaultUpdateInterval)->GetInt());
        CMutexLocker lock(*m_pData->m_pLock);
        try {
            const SImportOutcome outcome = StoreImportedBookmarks(*m_pData->m_pDB, nGroupId,
                QString::fromUtf16(kImportedGroupTitle), m_bClearGroup != FALSE, chosen, interval);
            m_pData->m_nGroupId = outcome.m_nGroupId;
            m_pData->m_bNewGroup = outcome.m_bNewGroup ? TRUE : FALSE;
        } catch (const CSqlException& e) {
            throw CCmnException(SqlErrorText(e));
        }
    } catch (CCmnException& e) {
        TRACE0(u"CImportPropSheet::CImportPropSheet_IEFavorites<>::OnWizardFinish - Exception. Error: %s\r\n",
            e.GetMessage());
        // Nothing was stored: the wizard stays open, so the user can try again or cancel.
        MessageBox(e.GetShortText(), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
        return TRUE;
    }
    return FALSE;
}

// ---------------------------------------------------------------------------------------------
// Sheet

CImportPropSheet::CImportPropSheet(CMutex* lock, CSqlDatabase* db, std::vector<QByteArray> titles,
    std::vector<WORD> ids, const QString& caption, UINT startPage, HWND parent)
    : CPropertySheetImpl<CImportPropSheet>(caption, startPage, parent)
    , m_data(lock, db, std::move(titles), std::move(ids))
    , m_listPage(&m_data)
    , m_sourcePage(&m_data)
{
    SetWizardMode();
    // A page that cannot be made is left out; the wizard runs with the other.
    AddPage(m_sourcePage);
    AddPage(m_listPage);
}
