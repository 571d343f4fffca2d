// The options sheet driven through the test hooks as a user would: its refusals (a beep recorded
// by the layer, a box only where the page asks for one), what a page writes into the sheet's copy
// and when, the enabled states of the first view, and the buttons that play sounds, browse and
// test the e-mail settings.
#include "tests/dialogs/OptionsSheetTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include "platform/base/UserFolders.h"
#include "platform/ui/Controls.h"
#include "platform/ui/FileDialogs.h"
#include "platform/ui/ScrollBar.h"
#include "platform/ui/Trackbar.h"

#include <QByteArray>
#include <QDir>

#include <cstring>

namespace taluvo::test {
namespace {

namespace uitest = taluvo::ui::test;

QByteArray RecordBytes(const CPreferences& prefs)
{
    return QByteArray(reinterpret_cast<const char*>(&prefs.m_blob), sizeof(prefs.m_blob));
}

using OptionsSheet = DialogTest;

struct SNumberCase {
    int page;
    int field;
    const char* text;
    bool accepted;
    bool box; // the text is no number and the page answers with a box
    const char* setting;
    int saved;
};

TEST_F(OptionsSheet, NumberFieldsRefuseWithABeepAndOnlyTheAlertPageShowsABoxForText)
{
    const SNumberCase cases[] = {
        { kUpdateAlerts, IDC_POPUP_ALERT_TIMEOUT, "4", false, false, kPopupAlertTimeout, 0 },
        { kUpdateAlerts, IDC_POPUP_ALERT_TIMEOUT, "61", false, false, kPopupAlertTimeout, 0 },
        { kUpdateAlerts, IDC_POPUP_ALERT_TIMEOUT, "5", true, false, kPopupAlertTimeout, 5 },
        { kUpdateAlerts, IDC_POPUP_ALERT_TIMEOUT, "60", true, false, kPopupAlertTimeout, 60 },
        { kUpdateAlerts, IDC_POPUP_ALERT_TIMEOUT, "", false, true, kPopupAlertTimeout, 0 },
        { kUpdateAlerts, IDC_POPUP_ALERT_TIMEOUT, "ten", false, true, kPopupAlertTimeout, 0 },
        { kUpdateAlerts, IDC_POPUP_ALERT_ITEMS, "0", false, false, kPopupAlertItems, 0 },
        { kUpdateAlerts, IDC_POPUP_ALERT_ITEMS, "21", false, false, kPopupAlertItems, 0 },
        { kUpdateAlerts, IDC_POPUP_ALERT_ITEMS, "1", true, false, kPopupAlertItems, 1 },
        { kUpdateAlerts, IDC_POPUP_ALERT_ITEMS, "20", true, false, kPopupAlertItems, 20 },
        { kProxy, IDC_PROXY_PORT, "1023", false, false, kProxyPort, 0 },
        { kProxy, IDC_PROXY_PORT, "65536", false, false, kProxyPort, 0 },
        { kProxy, IDC_PROXY_PORT, "port", false, false, kProxyPort, 0 },
        { kProxy, IDC_PROXY_PORT, "1024", true, false, kProxyPort, 1024 },
        { kProxy, IDC_PROXY_PORT, "65535", true, false, kProxyPort, 65535 },
    };
    for (const SNumberCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "page " << c.page << " field " << c.field << " \"" << c.text << "\"");
        m_messages.clear();
        CPreferences source;
        // A disabled field cannot take the focus; the port is checked with the proxy on or off.
        source.GetParam(kUseProxy)->SetBool(true);
        CPreferencesDlg dlg(&source, QStringLiteral("Preferences"));
        std::vector<UINT> beeps;
        bool focusOnField = false;
        int activeAfterOk = -1;
        const INT_PTR result = RunSheet(dlg, [&](HWND sheet) {
            ASSERT_TRUE(uitest::WaitForActiveWindow(sheet));
            ASSERT_TRUE(uitest::SelectSheetTab(sheet, c.page));
            const HWND field = Control(sheet, c.page, c.field);
            Retype(field, QString::fromUtf8(c.text));
            uitest::BeepRecorder recorder;
            uitest::PressSheetButton(sheet, PSBTN_OK);
            beeps = recorder.Beeps();
            if (!c.accepted) {
                focusOnField = ::GetFocus() == field;
                activeAfterOk = ActiveIndex(sheet);
                uitest::PressSheetButton(sheet, PSBTN_CANCEL);
            }
        });
        if (c.accepted) {
            EXPECT_EQ(result, IDOK);
            EXPECT_TRUE(beeps.empty());
            EXPECT_TRUE(m_messages.empty());
            EXPECT_EQ(dlg.m_prefs.GetParam(c.setting)->GetInt(), c.saved);
            continue;
        }
        EXPECT_EQ(result, 0);
        EXPECT_EQ(beeps, std::vector<UINT> { 0xFFFFFFFFu });
        EXPECT_TRUE(focusOnField);
        EXPECT_EQ(activeAfterOk, c.page);
        if (c.box)
            EXPECT_EQ(m_messages,
                std::vector<QString> { QStringLiteral("Error: Invalid value in element which has focus now.") });
        else
            EXPECT_TRUE(m_messages.empty());
        // Nothing of a refused page reached the copy.
        EXPECT_EQ(RecordBytes(dlg.m_prefs), RecordBytes(source));
    }
}

TEST_F(OptionsSheet, AStoredPortOutOfRangeHoldsTheProxyPageUntilFixedYetCancelCloses)
{
    CPreferences source;
    source.GetParam(kProxyPort)->SetInt(80);
    CPreferencesDlg dlg(&source, QStringLiteral("Preferences"));
    bool leftWhileOff = true;
    bool leftWhenFixed = false;
    std::vector<UINT> beeps;
    const INT_PTR result = RunSheet(dlg, [&](HWND sheet) {
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kProxy));
        uitest::BeepRecorder recorder;
        // The proxy is off and its port field disabled, yet the port is checked.
        leftWhileOff = uitest::SelectSheetTab(sheet, kMisc);
        beeps = recorder.Beeps();
        uitest::Click(Control(sheet, kProxy, IDC_USE_PROXY));
        Retype(Control(sheet, kProxy, IDC_PROXY_PORT), QStringLiteral("8080"));
        leftWhenFixed = uitest::SelectSheetTab(sheet, kMisc);
        uitest::PressSheetButton(sheet, PSBTN_CANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(leftWhileOff);
    EXPECT_EQ(beeps, std::vector<UINT> { 0xFFFFFFFFu });
    EXPECT_TRUE(leftWhenFixed);
    EXPECT_EQ(source.GetParam(kProxyPort)->GetInt(), 80);
}

TEST_F(OptionsSheet, IntervalShowsDaysHoursMinutesStepsByOneAndRefusesZero)
{
    CPreferences source; // 86400 seconds
    CPreferencesDlg dlg(&source, QStringLiteral("Preferences"));
    std::vector<int> shown;
    QString captionFirst, captionLast;
    int afterPageStep = -1;
    const INT_PTR result = RunSheet(dlg, [&](HWND sheet) {
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kDefaultInterval));
        const HWND minutes = Control(sheet, kDefaultInterval, IDC_INTERVAL_MINUTES);
        const HWND hours = Control(sheet, kDefaultInterval, IDC_INTERVAL_HOURS);
        const HWND days = Control(sheet, kDefaultInterval, IDC_INTERVAL_DAYS);
        shown = { ::GetScrollPos(days, SB_CTL), ::GetScrollPos(hours, SB_CTL), ::GetScrollPos(minutes, SB_CTL) };
        captionFirst = ::GetWindowText(Control(sheet, kDefaultInterval, IDC_INTERVAL_CAPTION));
        uitest::ScrollControl(hours, SB_PAGEDOWN);
        afterPageStep = ::GetScrollPos(hours, SB_CTL);
        uitest::DragThumb(days, 31);
        uitest::DragThumb(hours, 23);
        uitest::DragThumb(minutes, 59);
        captionLast = ::GetWindowText(Control(sheet, kDefaultInterval, IDC_INTERVAL_CAPTION));
        uitest::PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(shown, (std::vector<int> { 1, 0, 0 }));
    EXPECT_EQ(captionFirst, QStringLiteral("Interval between checks: 1 day"));
    EXPECT_EQ(afterPageStep, 1);
    EXPECT_EQ(captionLast, QStringLiteral("Interval between checks: 31 days, 23 hours, 59 minutes"));
    EXPECT_EQ(dlg.m_prefs.GetParam(kDefaultUpdateInterval)->GetInt(), 2764740);

    // All three at zero: a box, and neither OK nor a tab change leaves the page.
    CPreferencesDlg zero(&source, QStringLiteral("Preferences"));
    bool tabRefused = false;
    int activeAfterOk = -1;
    const INT_PTR zeroResult = RunSheet(zero, [&](HWND sheet) {
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kDefaultInterval));
        uitest::DragThumb(Control(sheet, kDefaultInterval, IDC_INTERVAL_DAYS), 0);
        tabRefused = !uitest::SelectSheetTab(sheet, kMisc);
        uitest::PressSheetButton(sheet, PSBTN_OK);
        activeAfterOk = ActiveIndex(sheet);
        uitest::PressSheetButton(sheet, PSBTN_CANCEL);
    });
    EXPECT_EQ(zeroResult, 0);
    EXPECT_TRUE(tabRefused);
    EXPECT_EQ(activeAfterOk, kDefaultInterval);
    EXPECT_EQ(m_messages, std::vector<QString>(2, QStringLiteral("Error: Interval between check cannot be zero.")));
    EXPECT_EQ(zero.m_prefs.GetParam(kDefaultUpdateInterval)->GetInt(), 86400);
}

TEST_F(OptionsSheet, CancelAfterEveryPageKeepsTheSourceAndOkSavesOnlyTheActivePage)
{
    CPreferences source;
    source.GetParam(kLogFilePath)->SetString(QStringLiteral("/var/log/taluvo"));
    source.GetParam(kProxyPort)->SetInt(8080);
    const QByteArray before = RecordBytes(source);

    // Every page visited and a box changed on it: each saved into the copy on leaving.
    CPreferencesDlg visited(&source, QStringLiteral("Preferences"));
    const int boxes[kPageCount] = { IDC_POPUP_ALERT_ENABLE, IDC_ERROR_SOUND_ENABLE, IDC_LOG_ENABLE,
        IDC_CONNECTION_MANUAL, IDC_USE_PROXY, IDC_SHOW_TOOLBAR, IDC_USER_BROWSER, IDC_INTERVAL_DAYS, IDC_USE_EMAIL,
        IDC_AUTO_DOWNLOAD, IDC_MIN_TO_TRAY };
    const INT_PTR cancelled = RunSheet(visited, [&](HWND sheet) {
        for (int page = 0; page < kPageCount; ++page) {
            ASSERT_TRUE(uitest::SelectSheetTab(sheet, page));
            if (page != kDefaultInterval)
                uitest::Click(Control(sheet, page, boxes[page]));
        }
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kUpdateAlerts));
        EXPECT_NE(RecordBytes(visited.m_prefs), before);
        uitest::PressSheetButton(sheet, PSBTN_CANCEL);
    });
    EXPECT_EQ(cancelled, 0);
    EXPECT_EQ(RecordBytes(source), before);
    EXPECT_TRUE(m_messages.empty());

    // OK asks only the active page: a bad number typed on a page that is not active stays unsaved
    // and refuses nothing.
    CPreferencesDlg okOnly(&source, QStringLiteral("Preferences"));
    const INT_PTR ok = RunSheet(okOnly, [&](HWND sheet) {
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kMisc));
        ::SetWindowText(Control(sheet, kUpdateAlerts, IDC_POPUP_ALERT_TIMEOUT), QStringLiteral("4"));
        uitest::Click(Control(sheet, kMisc, IDC_MIN_TO_TRAY));
        uitest::PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(ok, IDOK);
    EXPECT_EQ(okOnly.m_prefs.GetParam(kPopupAlertTimeout)->GetInt(), 10);
    EXPECT_FALSE(okOnly.m_prefs.GetParam(kMinToTray)->GetBool());
    EXPECT_EQ(okOnly.m_prefs.GetParam(kLogFilePath)->GetString(), QStringLiteral("/var/log/taluvo"));
    EXPECT_EQ(okOnly.m_prefs.GetParam(kProxyPort)->GetInt(), 8080);
}

struct SEnabledCase {
    const char* setting;
    bool value;
    int page;
    std::vector<int> enabled;
    std::vector<int> disabled;
};

TEST_F(OptionsSheet, FirstViewOfEveryPageShowsTheEnabledStatesOfTheLoadedValues)
{
    const SEnabledCase cases[] = {
        { kPopupAlertEnable, false, kUpdateAlerts, { IDC_POPUP_ALERT_ENABLE },
            { IDC_POPUP_ALERT_TIMEOUT, IDC_POPUP_ALERT_TIMEOUT_LABEL, IDC_POPUP_ALERT_ITEMS,
                IDC_POPUP_ALERT_ITEMS_LABEL } },
        { kAlertSoundEnable, false, kUpdateAlerts, {},
            { IDC_ALERT_SOUND_DEFAULT, IDC_ALERT_SOUND_CUSTOM, IDC_ALERT_SOUND_PATH, IDC_ALERT_SOUND_BROWSE,
                IDC_ALERT_SOUND_TEST } },
        // Sound on with the built-in sound: only the file and its Browse are off.
        { kAlertSoundDefault, true, kUpdateAlerts, { IDC_ALERT_SOUND_DEFAULT, IDC_ALERT_SOUND_TEST },
            { IDC_ALERT_SOUND_PATH, IDC_ALERT_SOUND_BROWSE } },
        { kAlertSoundDefault, false, kUpdateAlerts, { IDC_ALERT_SOUND_PATH, IDC_ALERT_SOUND_BROWSE }, {} },
        { kRunCmdEnable, false, kUpdateAlerts, {}, { IDC_RUN_CMD_TEXT } },
        { kErrorSoundDefault, false, kErrorAlerts, { IDC_ERROR_SOUND_PATH, IDC_ERROR_SOUND_BROWSE }, {} },
        { kErrorSoundEnable, false, kErrorAlerts, {},
            { IDC_ERROR_SOUND_DEFAULT, IDC_ERROR_SOUND_PATH, IDC_ERROR_SOUND_BROWSE, IDC_ERROR_SOUND_TEST } },
        { kLogEnable, false, kLogging, {}, { IDC_LOG_PATH, IDC_LOG_BROWSE } },
        { kLogEnable, true, kLogging, { IDC_LOG_PATH, IDC_LOG_BROWSE }, {} },
        { kUseProxy, false, kProxy, { IDC_USE_PROXY },
            { IDC_PROXY_SERVER, IDC_PROXY_PORT, IDC_PROXY_USE_AUTH, IDC_PROXY_USER, IDC_PROXY_PASSWORD,
                IDC_PROXY_EXCLUDE, IDC_PROXY_EXCLUDE_LABEL } },
        // Proxy on, authentication off (the default).
        { kUseProxy, true, kProxy, { IDC_PROXY_SERVER, IDC_PROXY_PORT, IDC_PROXY_USE_AUTH, IDC_PROXY_EXCLUDE },
            { IDC_PROXY_USER, IDC_PROXY_USER_LABEL, IDC_PROXY_PASSWORD, IDC_PROXY_PASSWORD_LABEL } },
        { kUseDefaultBrowser, true, kWebBrowser, { IDC_OPEN_NEW_WINDOW },
            { IDC_USER_BROWSER_PATH, IDC_USER_BROWSER_BROWSE } },
        { kUseDefaultBrowser, false, kWebBrowser, { IDC_USER_BROWSER_PATH, IDC_USER_BROWSER_BROWSE },
            { IDC_OPEN_NEW_WINDOW } },
        { kUseEMailNotification, false, kSmtpNotify, { IDC_USE_EMAIL },
            { IDC_SMTP_SERVER, IDC_EMAIL_FROM, IDC_CSV_FILE, IDC_SMTP_SERVER_LABEL, IDC_EMAIL_FROM_LABEL,
                IDC_CSV_FILE_LABEL, IDC_EMAIL_TEST, IDC_CSV_BROWSE } },
        { kAutoDownloadOnline, false, kAutomation, { IDC_BROWSER_RESET_NEW, IDC_RUN_WITH_WINDOWS },
            { IDC_AUTO_SET_DESCR, IDC_AUTO_CHECK_FRAMES } },
    };
    for (const SEnabledCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.setting << "=" << c.value);
        CPreferences source;
        source.GetParam(c.setting)->SetBool(c.value);
        CPreferencesDlg dlg(&source, QStringLiteral("Preferences"));
        RunSheet(dlg, [&](HWND sheet) {
            // Seen before the page's tab is ever chosen: every page was made when the sheet opened.
            for (int id : c.enabled)
                EXPECT_TRUE(::IsWindowEnabled(Control(sheet, c.page, id))) << id;
            for (int id : c.disabled)
                EXPECT_FALSE(::IsWindowEnabled(Control(sheet, c.page, id))) << id;
            uitest::PressSheetButton(sheet, PSBTN_CANCEL);
        });
    }
}

TEST_F(OptionsSheet, DisabledFieldsAreStillSavedAsShown)
{
    CPreferences source;
    source.GetParam(kProxyServer)->SetString(QStringLiteral("proxy.example"));
    source.GetParam(kProxyUserName)->SetString(QStringLiteral("me"));
    source.GetParam(kAutoSetDescr)->SetBool(false);
    source.GetParam(kAutoDownloadOnline)->SetBool(false);
    source.GetParam(kLogFilePath)->SetString(QStringLiteral("/tmp/logs"));
    CPreferencesDlg dlg(&source, QStringLiteral("Preferences"));
    const INT_PTR result = RunSheet(dlg, [&](HWND sheet) {
        for (int page : { kLogging, kProxy, kAutomation, kMisc })
            ASSERT_TRUE(uitest::SelectSheetTab(sheet, page));
        uitest::PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dlg.m_prefs.GetParam(kProxyServer)->GetString(), QStringLiteral("proxy.example"));
    EXPECT_EQ(dlg.m_prefs.GetParam(kProxyUserName)->GetString(), QStringLiteral("me"));
    EXPECT_EQ(dlg.m_prefs.GetParam(kLogFilePath)->GetString(), QStringLiteral("/tmp/logs"));
    EXPECT_FALSE(dlg.m_prefs.GetParam(kAutoSetDescr)->GetBool());
    EXPECT_EQ(RecordBytes(dlg.m_prefs), RecordBytes(source));
}

TEST_F(OptionsSheet, TimeoutsKeepAStoredValueBeyondTheTrackbarUntilItIsMoved)
{
    CPreferences source;
    source.GetParam(kConnectTimeout)->SetInt(120);
    source.GetParam(kRecvTimeout)->SetInt(15);
    CPreferencesDlg dlg(&source, QStringLiteral("Preferences"));
    int thumb = 0;
    QString connectLabel, recvLabel, sendLabel;
    const INT_PTR result = RunSheet(dlg, [&](HWND sheet) {
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kConnections));
        thumb = CTrackBarCtrl(Control(sheet, kConnections, IDC_CONNECT_TIMEOUT)).GetPos();
        connectLabel = ::GetWindowText(Control(sheet, kConnections, IDC_CONNECT_TIMEOUT_LABEL));
        uitest::ScrollControl(Control(sheet, kConnections, IDC_RECV_TIMEOUT), TB_LINEDOWN);
        uitest::DragThumb(Control(sheet, kConnections, IDC_SEND_TIMEOUT), 60);
        recvLabel = ::GetWindowText(Control(sheet, kConnections, IDC_RECV_TIMEOUT_LABEL));
        sendLabel = ::GetWindowText(Control(sheet, kConnections, IDC_SEND_TIMEOUT_LABEL));
        uitest::Click(Control(sheet, kConnections, IDC_CONNECTION_MANUAL));
        uitest::PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(thumb, 90);
    EXPECT_EQ(connectLabel, QStringLiteral("120 sec."));
    EXPECT_EQ(recvLabel, QStringLiteral("16 sec."));
    EXPECT_EQ(sendLabel, QStringLiteral("60 sec."));
    EXPECT_EQ(dlg.m_prefs.GetParam(kConnectTimeout)->GetInt(), 120);
    EXPECT_EQ(dlg.m_prefs.GetParam(kRecvTimeout)->GetInt(), 16);
    EXPECT_EQ(dlg.m_prefs.GetParam(kSendTimeout)->GetInt(), 60);
    EXPECT_FALSE(dlg.m_prefs.GetParam(kAutoDetectOnline)->GetBool());
}

TEST_F(OptionsSheet, SoundTestPlaysWhatTheFieldSaysNow)
{
    CPreferences source;
    source.GetParam(kAlertSoundFilePath)->SetString(QStringLiteral("/stored/old.wav"));
    source.GetParam(kAlertSoundDefault)->SetBool(false);
    source.GetParam(kErrorSoundDefault)->SetBool(false);
    CPreferencesDlg dlg(&source, QStringLiteral("Preferences"));
    uitest::ShellRequestCapture capture;
    RunSheet(dlg, [&](HWND sheet) {
        const HWND path = Control(sheet, kUpdateAlerts, IDC_ALERT_SOUND_PATH);
        Retype(path, QStringLiteral("/typed/new.wav"));
        uitest::Click(Control(sheet, kUpdateAlerts, IDC_ALERT_SOUND_TEST));
        uitest::Click(Control(sheet, kUpdateAlerts, IDC_ALERT_SOUND_DEFAULT));
        uitest::Click(Control(sheet, kUpdateAlerts, IDC_ALERT_SOUND_TEST));
        // A custom sound without a path plays nothing.
        ASSERT_TRUE(uitest::SelectSheetTab(sheet, kErrorAlerts));
        uitest::Click(Control(sheet, kErrorAlerts, IDC_ERROR_SOUND_TEST));
        Retype(Control(sheet, kErrorAlerts, IDC_ERROR_SOUND_PATH), QStringLiteral("/typed/error.wav"));
        uitest::Click(Control(sheet, kErrorAlerts, IDC_ERROR_SOUND_TEST));
        uitest::PressSheetButton(sheet, PSBTN_CANCEL);
    });
    const auto requests = capture.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].kind, taluvo::shell::RequestKind::PlaySound);
    EXPECT_EQ(requests[0].arguments, QStringList { QStringLiteral("/typed/new.wav") });
    // The built-in sound: the program's own file, not the typed path.
    ASSERT_EQ(requests[1].arguments.size(), 1);
    EXPECT_TRUE(requests[1].arguments[0].endsWith(QStringLiteral(".wav"))) << requests[1].arguments[0].toStdString();
    EXPECT_NE(requests[1].arguments[0], QStringLiteral("/typed/new.wav"));
    EXPECT_EQ(requests[2].arguments, QStringList { QStringLiteral("/typed/error.wav") });
}

TEST_F(OptionsSheet, BrowseButtonsPutThePickedPathIntoTheirFields)
{
    CPreferences source;
    source.GetParam(kLogEnable)->SetBool(true);
    source.GetParam(kUseDefaultBrowser)->SetBool(false);
    source.GetParam(kUseEMailNotification)->SetBool(true);
    source.GetParam(kAlertSoundDefault)->SetBool(false);
    std::vector<uitest::FileDialogRequest> asked;
    uitest::ScopedFileDialogHook files([&](const uitest::FileDialogRequest& request) {
        asked.push_back(request);
        if (request.kind == uitest::FileDialogRequest::Kind::Folder)
            return QStringLiteral("/picked/folder");
        if (request.defaultExtension.isEmpty())
            return QStringLiteral("/picked/My Browser/browser");
        return QStringLiteral("/picked/file.") + request.defaultExtension;
    });
    CPreferencesDlg dlg(&source, QStringLiteral("Preferences"));
    const INT_PTR result = RunSheet(dlg, [&](HWND sheet) {
        const std::pair<int, int> buttons[] = { { kUpdateAlerts, IDC_ALERT_SOUND_BROWSE }, { kLogging, IDC_LOG_BROWSE },
            { kWebBrowser, IDC_USER_BROWSER_BROWSE }, { kSmtpNotify, IDC_CSV_BROWSE } };
        for (const auto& [page, button] : buttons) {
            ASSERT_TRUE(uitest::SelectSheetTab(sheet, page));
            uitest::Click(Control(sheet, page, button));
        }
        uitest::PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[0].nameFilters,
        (QStringList { QStringLiteral("WAV files (*.wav) (*.wav)"), QStringLiteral("All Files (*.*) (*)") }));
    EXPECT_EQ(asked[1].kind, uitest::FileDialogRequest::Kind::Folder);
    EXPECT_EQ(asked[1].title, QStringLiteral("Please select LOG file path:"));
    // Programs have no extension: the browser's picker lists every file and adds none.
    EXPECT_EQ(asked[2].nameFilters,
        (QStringList { QStringLiteral("Executable files (*)"), QStringLiteral("All Files (*.*) (*)") }));
    EXPECT_TRUE(asked[2].defaultExtension.isEmpty());
    EXPECT_EQ(asked[3].defaultExtension, QStringLiteral("csv"));
    EXPECT_EQ(dlg.m_prefs.GetParam(kAlertSoundFilePath)->GetString(), QStringLiteral("/picked/file.wav"));
    EXPECT_EQ(dlg.m_prefs.GetParam(kLogFilePath)->GetString(), QStringLiteral("/picked/folder"));
    EXPECT_EQ(dlg.m_prefs.GetParam(kUserBrowserPath)->GetString(), QStringLiteral("/picked/My Browser/browser"));
    EXPECT_EQ(dlg.m_prefs.GetParam(kCSVFile)->GetString(), QStringLiteral("/picked/file.csv"));
}

TEST_F(OptionsSheet, SmtpTestShowsTheValuesTypedOnThePageAndBringsNothingBack)
{
    CPreferences source;
    source.GetParam(kUseEMailNotification)->SetBool(true);
    source.GetParam(kSmtpServer)->SetString(QStringLiteral("stored.example"));
    CPreferencesDlg dlg(&source, QStringLiteral("Preferences"));
    std::vector<QString> fields;
    QString serverAfter;
    RunSheet(
        dlg,
        [&](HWND sheet) {
            ASSERT_TRUE(uitest::SelectSheetTab(sheet, kSmtpNotify));
            Retype(Control(sheet, kSmtpNotify, IDC_SMTP_SERVER), QStringLiteral("typed.example"));
            Retype(Control(sheet, kSmtpNotify, IDC_EMAIL_FROM), QStringLiteral("me@typed.example"));
            uitest::Click(Control(sheet, kSmtpNotify, IDC_EMAIL_TEST));
            serverAfter = ::GetWindowText(Control(sheet, kSmtpNotify, IDC_SMTP_SERVER));
            uitest::PressSheetButton(sheet, PSBTN_CANCEL);
        },
        [&](HWND test, WORD id) {
            EXPECT_EQ(id, IDD_EMAIL_TEST);
            for (int field : { IDC_TEST_SMTP_SERVER, IDC_TEST_FROM_NAME, IDC_TEST_FROM_ADDRESS, IDC_TEST_TO_NAME,
                     IDC_TEST_TO_ADDRESS, IDC_TEST_SUBJECT, IDC_TEST_MESSAGE })
                fields.push_back(::GetDlgItemText(test, field));
            ::SetDlgItemText(test, IDC_TEST_SMTP_SERVER, QStringLiteral("changed.example"));
            ::SendMessage(test, WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(fields,
        (std::vector<QString> { QStringLiteral("typed.example"), QStringLiteral("Taluvo"),
            QStringLiteral("me@typed.example"), QStringLiteral("Taluvo"), QStringLiteral("me@typed.example"),
            QStringLiteral("This is a test message from Taluvo"), QStringLiteral("Simple text") }));
    EXPECT_EQ(serverAfter, QStringLiteral("typed.example"));
    EXPECT_EQ(source.GetParam(kSmtpServer)->GetString(), QStringLiteral("stored.example"));
}

// The log folder picker opens in the folder the field names, else in the user's home; never at the
// root of the file system.
TEST_F(OptionsSheet, TheLogFolderPickerStartsAtTheFieldsFolderElseAtHome)
{
    TempDir dir;
    const QString logs = QString::fromStdString(dir.Path()) + QStringLiteral("/logs");
    QDir().mkpath(logs);
    const QString home = taluvo::UserHomeFolder();
    ASSERT_FALSE(home.isEmpty());
    const std::pair<QString, QString> cases[] = { { logs, logs }, { logs + QStringLiteral("/"), logs },
        { QStringLiteral("/no/such/folder"), home }, { QString(), home } };
    for (const auto& c : cases) {
        // Named references, not a structured binding: the sheet's lambda captures the field.
        const QString& field = c.first;
        const QString& start = c.second;

        SCOPED_TRACE(field.toStdString());
        CPreferences source;
        source.GetParam(kLogEnable)->SetBool(true);

        source.GetParam(kLogFilePath)->SetString(QStringLiteral("/stored/elsewhere"));
        std::vector<uitest::FileDialogRequest> asked;
        uitest::ScopedFileDialogHook files([&](const uitest::FileDialogRequest& request) {
            asked.push_back(request);
            return QString();
        });
        CPreferencesDlg dlg(&source, QStringLiteral("Preferences"));
        RunSheet(dlg, [&](HWND sheet) {
            ASSERT_TRUE(uitest::SelectSheetTab(sheet, kLogging));
            // What the field shows now counts, typed or stored.
            Retype(Control(sheet, kLogging, IDC_LOG_PATH), field);
            uitest::Click(Control(sheet, kLogging, IDC_LOG_BROWSE));
            uitest::PressSheetButton(sheet, PSBTN_CANCEL);
        });
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].title, QStringLiteral("Please select LOG file path:"));
        EXPECT_EQ(QDir::cleanPath(asked[0].folder), QDir::cleanPath(start));
    }
}

// Recipients the alerts cannot use are named where the user can act: by Test, before anything is
// tried, and on OK, which then offers to go back to the page (No) or keep the settings (Yes).
TEST_F(OptionsSheet, RecipientsThatReachNobodyAreNamedByTestAndOnOk)
{
    TempDir dir;
    const QString csv = QString::fromStdString(dir.File("recipients.csv"));
    WriteFile(csv.toStdString(), "ann@example.com\nbob@example.com, Bob\ncarl@example.com;Carl\n");
    CPreferences source;
    source.GetParam(kUseEMailNotification)->SetBool(true);
    source.GetParam(kSmtpServer)->SetString(QStringLiteral("127.0.0.1"));
    source.GetParam(kEMailFromAddr)->SetString(QStringLiteral("me@example.org"));
    source.GetParam(kCSVFile)->SetString(csv);
    CPreferencesDlg dlg(&source, QStringLiteral("Preferences"));

    std::vector<QString> boxes;
    int answer = IDNO;
    uitest::ScopedMessageBoxHook hook([&](const uitest::MessageBoxRequest& box) {
        boxes.push_back(box.caption + QStringLiteral(": ") + box.text);
        return answer;
    });
    QString output;
    bool openAfterCancel = false;
    bool backOnTheMailPage = false;
    const INT_PTR result = RunSheet(
        dlg,
        [&](HWND sheet) {
            ASSERT_TRUE(uitest::SelectSheetTab(sheet, kSmtpNotify));
            uitest::Click(Control(sheet, kSmtpNotify, IDC_EMAIL_TEST));
            ASSERT_TRUE(uitest::SelectSheetTab(sheet, kLogging));
            uitest::PressSheetButton(sheet, PSBTN_OK);
            openAfterCancel = IsWindow(sheet) && IsWindowVisible(sheet);
            backOnTheMailPage = reinterpret_cast<HWND>(SendMessage(sheet, PSM_GETCURRENTPAGEHWND, 0, 0))
                == GetParent(Control(sheet, kSmtpNotify, IDC_USE_EMAIL));
            answer = IDYES;
            uitest::PressSheetButton(sheet, PSBTN_OK);
        },
        [&](HWND test, WORD id) {
            EXPECT_EQ(id, IDD_EMAIL_TEST);
            output = ::GetDlgItemText(test, IDC_TEST_OUTPUT);
            ::SendMessage(test, WM_COMMAND, IDCANCEL, 0);
        });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(openAfterCancel) << "No in the box keeps the sheet open";
    EXPECT_TRUE(backOnTheMailPage) << "on the page that names the file";

    const QString named = QStringLiteral("The recipients file \"%1\" has lines without a usable recipient; change "
                                         "alerts go to the one recipient it gives.")
                              .arg(csv);
    const QString line1 = QStringLiteral("Line 1: \"ann@example.com\" (no name after the address)");
    const QString line2 = QStringLiteral("Line 2: \"bob@example.com, Bob\" (separated by commas, not by a semicolon)");
    EXPECT_TRUE(output.startsWith(named)) << output.toStdString();
    EXPECT_TRUE(output.contains(line1) && output.contains(line2)) << output.toStdString();
    ASSERT_EQ(boxes.size(), 2u);
    for (const QString& box : boxes) {
        EXPECT_TRUE(box.startsWith(QStringLiteral("E-mail notification: ") + named)) << box.toStdString();
        EXPECT_TRUE(box.contains(line1) && box.contains(line2)) << box.toStdString();
        EXPECT_TRUE(box.endsWith(QStringLiteral("Keep these settings? No goes back to the page.")));
    }
    EXPECT_EQ(dlg.m_prefs.GetParam(kCSVFile)->GetString(), csv);
}

// A usable file, or e-mail notification off, asks nothing on OK.
TEST_F(OptionsSheet, UsableRecipientsOrNoMailAskNothingOnOk)
{
    TempDir dir;
    const QString good = QString::fromStdString(dir.File("good.csv"));
    WriteFile(good.toStdString(), "ann@example.com;Ann\n");
    for (const auto& [mail, csv] : { std::pair { true, good }, std::pair { false, QStringLiteral("/no/such.csv") } }) {
        m_messages.clear();
        CPreferences source;
        source.GetParam(kUseEMailNotification)->SetBool(mail);
        source.GetParam(kCSVFile)->SetString(csv);
        CPreferencesDlg dlg(&source, QStringLiteral("Preferences"));
        const INT_PTR result = RunSheet(dlg, [&](HWND sheet) {
            ASSERT_TRUE(uitest::SelectSheetTab(sheet, kSmtpNotify));
            uitest::PressSheetButton(sheet, PSBTN_OK);
        });
        EXPECT_EQ(result, IDOK);
        EXPECT_TRUE(m_messages.empty()) << m_messages.front().toStdString();
    }
}

} // namespace
} // namespace taluvo::test
