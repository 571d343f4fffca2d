#include "crash/CrashReportDlg.h"

#include "crash/CrashReporter.h"
#include "crash/zip/ZipWriter.h"
#include "platform/base/Format.h"
#include "platform/base/Process.h"
#include "platform/base/TextCodec.h"
#include "platform/debug/SystemInfo.h"
#include "platform/shell/MailClient.h"
#include "platform/ui/Application.h"

#include <cstdio>

// Where reports go, fixed when the program is built; empty: the user picks the recipient.
#ifndef TALUVO_CRASH_SUPPORT_ADDRESS
#define TALUVO_CRASH_SUPPORT_ADDRESS ""
#endif
#ifndef TALUVO_CRASH_SUPPORT_NAME
#define TALUVO_CRASH_SUPPORT_NAME ""
#endif

namespace {

// The warning's text is cut as a 2000-character buffer would hold it.
constexpr qsizetype kWarningCapacity = 1999;

const char16_t* Wide(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

QString FileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

CCrashReportDlg::CCrashReportDlg(const QString& programPath, const QString& reportPath, const QString& dumpPath)
    : m_szModulePath(programPath)
    , m_szReportPath(reportPath)
    , m_szDumpPath(dumpPath)
{
}

CCrashReportDlg::~CCrashReportDlg()
{
    if (m_headlineFont)
        ::DeleteObject(m_headlineFont);
}

LRESULT CCrashReportDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    CenterWindow(GetParent());
    m_szModuleName = FileNamePart(m_szModulePath);
    SetWindowText(m_szModuleName);
    for (auto [control, id] : { std::pair<CColorStatic*, int> { &m_band, IDC_CRASH_BAND },
             { &m_headline, IDC_CRASH_HEADLINE }, { &m_icon, IDC_CRASH_ICON } }) {
        if (control->SubclassWindow(GetDlgItem(id)))
            control->ResetColors();
    }
    if (HICON icon = ::LoadIcon(nullptr, MAKEINTRESOURCE(IDI_CRASH_ICON)))
        SendDlgItemMessage(IDC_CRASH_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon));
    // The white band under the headline and the icon.
    const COLORREF white = RGB(255, 255, 255);
    m_icon.SetDialogColor(white);
    for (CColorStatic* control : { &m_band, &m_headline }) {
        control->SetTextColor(RGB(0, 0, 0));
        control->SetBkColor(white);
    }
    SetDlgItemText(
        IDC_CRASH_HEADLINE, taluvo::Format(u"%s has encountered a problem and needs to close.", m_szModuleName));
    m_headlineFont = ::CreateFont(14, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, u"MS Sans Serif");
    SendDlgItemMessage(IDC_CRASH_HEADLINE, WM_SETFONT, reinterpret_cast<WPARAM>(m_headlineFont), TRUE);
    // Headline and icon follow the band in the z-order; being transparent, they are painted over it.
    for (int id : { IDC_CRASH_HEADLINE, IDC_CRASH_ICON })
        ::SetWindowPos(
            GetDlgItem(id), GetDlgItem(IDC_CRASH_BAND), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    // The link to the report's contents is not offered: the template keeps it hidden with its
    // caption, and its command does nothing.
    if (m_link.SubclassWindow(GetDlgItem(IDC_CRASH_LINK)))
        m_link.SetHyperLinkExtendedStyle(HLINK_COMMANDBUTTON | HLINK_ACTONPRESS);
    return TRUE;
}

LRESULT CCrashReportDlg::OnSend(WORD, WORD, HWND, BOOL&)
{
    m_szDescription = GetDlgItemText(IDC_CRASH_DESCRIPTION);
    const QString subject = taluvo::Format(u"Error report for %s", m_szModuleName);
    ZipReport();
    const QString address = QStringLiteral(TALUVO_CRASH_SUPPORT_ADDRESS);
    if (!SendReportMail(
            m_hWnd, address, QStringLiteral(TALUVO_CRASH_SUPPORT_NAME), subject, m_szDescription, m_szZipPath)) {
        // A build without a support address names no recipient rather than ending in "to .".
        const QString warning = address.isEmpty()
            ? taluvo::FormatN(kWarningCapacity + 1,
                u"!!! THE ERROR REPORT WAS NOT SENT !!!.\nPlease send the file:\r\n'%s'.", m_szZipPath)
            : taluvo::FormatN(kWarningCapacity + 1,
                u"!!! THE ERROR REPORT WAS NOT SENT !!!.\nPlease send the file:\r\n'%s'\r\nto %s.", m_szZipPath,
                address);
        MessageBox(warning, m_szModuleName, MB_OK | MB_ICONWARNING);
    }
    EndDialog(IDOK);
    return 0;
}

LRESULT CCrashReportDlg::OnExit(WORD, WORD, HWND, BOOL&)
{
    EndDialog(IDCANCEL);
    return 0;
}

QString CCrashReportDlg::ArchivePathFor(const QString& reportPath)
{
    return taluvo::ChangeExtension(reportPath, QStringLiteral("zip"));
}

int CCrashReportDlg::ZipReport()
{
    // The report's own path, as the report step built it, names the archive and the entry: the
    // two steps cannot disagree about where the report is.
    m_szZipPath = ArchivePathFor(m_szReportPath);
    std::remove(taluvo::AnsiEncode(m_szZipPath).constData());
    HZIP zip = ZipWriterCreate(Wide(m_szZipPath), 0, ZipKindFile);
    if (!zip)
        return 0;
    int count = 0;
    if (ZipWriterAdd(zip, u"Crash.dmp", Wide(m_szDumpPath), 0, ZipKindFile) == ZipResultOk)
        ++count;
    QString entry = FileNamePart(m_szReportPath);
    if (entry.isEmpty())
        entry = QStringLiteral("Crash report.RPT");
    if (ZipWriterAdd(zip, Wide(entry), Wide(m_szReportPath), 0, ZipKindFile) == ZipResultOk)
        ++count;
    ZipWriterClose(zip);
    return count;
}

bool CCrashReportDlg::SendReportMail(HWND owner, const QString& address, const QString& /*name*/,
    const QString& subject, const QString& body, const QString& attachment)
{
    // The mail client takes addresses only; the display name has no place on its command line.
    // Without an address the client opens with no recipient, for the user to fill in.
    const BOOL ownerWasDisabled = owner ? ::EnableWindow(owner, FALSE) : FALSE;
    using taluvo::shell::MailResult;
    const MailResult result = taluvo::shell::SendToMailClient(
        address, subject, body, attachment.isEmpty() ? QStringList() : QStringList { attachment });
    if (owner) {
        if (!ownerWasDisabled)
            ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
        ::SetFocus(owner);
    }
    if (result == MailResult::NoClient)
        ::MessageBox(nullptr, QStringLiteral("Failed to start the mail client (xdg-email)."),
            QStringLiteral("Crash Report"), MB_OK | MB_ICONERROR);
    return result == MailResult::Accepted;
}

void InstallCrashDialog(CCrashReporter& reporter, CrashDialogRequest& request)
{
    reporter.m_hooks.showCrashDialog = [&request](CCrashReporter& r) {
        request.pending = true;
        request.programPath
            = taluvo::AnsiDecode(QByteArray::fromStdString(taluvo::debug::ProcessExecutable(r.Process())));
        request.reportPath = r.GetReportPath();
        request.dumpPath = r.GetDumpPath();
    };
}

void ShowCrashDialog(const CrashDialogRequest& request, int& argc, char** argv)
{
    if (!request.pending)
        return;
    taluvo::ui::CUiApplication app(argc, argv);
    CCrashReportDlg dialog(request.programPath, request.reportPath, request.dumpPath);
    dialog.DoModal(nullptr);
}
