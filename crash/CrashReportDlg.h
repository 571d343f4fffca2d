// The crash dialog the crash helper shows once a report is complete: it tells the user that the
// program has to close, takes a description of what they were doing, and on Send packs the
// minidump and the report into a ZIP archive beside them and hands a mail with the archive to the
// desktop's mail client. When the mail cannot be handed over, a warning names the archive so the
// user can send it by hand.
#pragma once

#include "crash/ColorStatic.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/HyperLink.h"
#include "res/DialogIds.h"

#include <QString>

class CCrashReporter;

enum : int {
    IDI_CRASH_ICON = 4005,
};

class CCrashReportDlg : public CDialogImpl<CCrashReportDlg> {
public:
    enum { IDD = IDD_CRASH_REPORT };

    // programPath: the crashed program; reportPath and dumpPath: the files the report step wrote.
    CCrashReportDlg(const QString& programPath, const QString& reportPath, const QString& dumpPath);
    ~CCrashReportDlg();

    BEGIN_MSG_MAP(CCrashReportDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_ID_HANDLER(IDOK, OnSend)
    COMMAND_ID_HANDLER(IDCANCEL, OnExit)
    COMMAND_ID_HANDLER(IDC_CRASH_LINK, OnLink)
    REFLECT_NOTIFICATIONS()
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnSend(WORD, WORD, HWND, BOOL&);
    LRESULT OnExit(WORD, WORD, HWND, BOOL&);
    LRESULT OnLink(WORD, WORD, HWND, BOOL&) { return 0; }

    // Packs "Crash.dmp" and the report into the archive beside the report (replacing an older
    // one); returns the number of files added (0 to 2).
    int ZipReport();
    const QString& GetArchivePath() const { return m_szZipPath; }
    const QString& GetDescription() const { return m_szDescription; }

    // Hands the mail to the mail client; true when the client accepted it. The owner is disabled
    // meanwhile, as for any modal step.
    static bool SendReportMail(HWND owner, const QString& address, const QString& name, const QString& subject,
        const QString& body, const QString& attachment);

    // The archive beside a report: the report's path with the extension "zip".
    static QString ArchivePathFor(const QString& reportPath);

private:
    QString m_szDescription;
    CHyperLink m_link; // command 4000 on a press, as a command link
    CColorStatic m_band, m_headline, m_icon;
    HFONT m_headlineFont = nullptr;
    QString m_szModulePath;
    QString m_szModuleName;
    QString m_szReportPath;
    QString m_szDumpPath;
    QString m_szZipPath;
};

// The dialog the helper owes the user after the first report of a crash. The reporter's hook
// notes what the dialog needs while the crashed program still exists; the helper shows it after
// it has let the program end, so a user who takes their time is never mistaken for a helper that
// hangs, and the program does not stay frozen behind the dialog.
struct CrashDialogRequest {
    bool pending = false;
    QString programPath, reportPath, dumpPath;
};
void InstallCrashDialog(CCrashReporter& reporter, CrashDialogRequest& request);
// Makes the helper's user-interface application (no sooner than needed) and runs the dialog.
void ShowCrashDialog(const CrashDialogRequest& request, int& argc, char** argv);
