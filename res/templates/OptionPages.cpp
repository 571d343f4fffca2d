// The eleven pages of the options sheet. Every page has the same size; group boxes span the page
// with a margin of 7, their contents start 8 inside, and dependent controls are indented 12
// further under the check box or radio button that enables them.
#include "res/templates/Templates.h"

#include "res/DialogIds.h"
#include "res/templates/TemplateItems.h"

namespace taluvo::res::templates {
namespace {

using taluvo::ui::DialogTemplate;

constexpr short kGroupX = 7, kGroupW = kOptionPageWidth - 14; // 7 .. 283
constexpr short kInX = 15, kInRight = kOptionPageWidth - 15; // 15 .. 275
constexpr short kInW = kInRight - kInX;
constexpr short kIndentX = 27;
constexpr short kButtonW = 46;
constexpr short kButtonX = kInRight - kButtonW; // a button at the group's right

DialogTemplate Page(WORD id, std::vector<DialogItem> items)
{
    return { id, nullptr, kPageStyle, kOptionPageWidth, kOptionPageHeight, nullptr, 0, std::move(items) };
}

// A sound choice: the two radio buttons, then the file field with Browse and Test on one row.
void AddSoundChoice(
    std::vector<DialogItem>& items, short y, int defaultId, int customId, int pathId, int browseId, int testId)
{
    constexpr short testW = 40, testX = kInRight - testW;
    constexpr short browseX = testX - 4 - kButtonW;
    items.push_back(RadioButton(defaultId, u"Default sound", kIndentX, y, 120, true));
    items.push_back(RadioButton(customId, u"Custom sound", kIndentX, y + 13, 120, false));
    items.push_back(EditField(pathId, kIndentX + 12, y + 27, browseX - 4 - (kIndentX + 12), WS_GROUP));
    items.push_back(PushButton(browseId, u"Browse", browseX, y + 26, kButtonW));
    items.push_back(PushButton(testId, u"Test", testX, y + 26, testW));
}

DialogTemplate UpdateAlerts()
{
    std::vector<DialogItem> items {
        GroupBox(IDC_STATIC, u"Pop-up alerts:", kGroupX, 7, kGroupW, 60),
        CheckBox(IDC_POPUP_ALERT_ENABLE, u"Display a popup alert when an update found", kInX, 19, kInW),
        EditField(IDC_POPUP_ALERT_TIMEOUT, kIndentX, 33, 30),
        Label(u"Timeout for automatically close (5 ... 60 sec.)", kIndentX + 36, 35, kInRight - kIndentX - 36, 8,
            IDC_POPUP_ALERT_TIMEOUT_LABEL),
        EditField(IDC_POPUP_ALERT_ITEMS, kIndentX, 49, 30),
        Label(u"Number of items in popup window  (1 ... 20)", kIndentX + 36, 51, kInRight - kIndentX - 36, 8,
            IDC_POPUP_ALERT_ITEMS_LABEL),
        GroupBox(IDC_STATIC, u"Alert sound:", kGroupX, 72, kGroupW, 73),
        CheckBox(IDC_ALERT_SOUND_ENABLE, u"Play a sound when a update page is found", kInX, 84, kInW),
    };
    AddSoundChoice(items, 98, IDC_ALERT_SOUND_DEFAULT, IDC_ALERT_SOUND_CUSTOM, IDC_ALERT_SOUND_PATH,
        IDC_ALERT_SOUND_BROWSE, IDC_ALERT_SOUND_TEST);
    items.insert(items.end(),
        {
            GroupBox(IDC_STATIC, u"Run command:", kGroupX, 150, kGroupW, 54),
            CheckBox(IDC_RUN_CMD_ENABLE, u"Run the following command when an update is found", kInX, 162, kInW),
            EditField(IDC_RUN_CMD_TEXT, kIndentX, 176, kInRight - kIndentX),
            Label(u"%1 - URL", kIndentX, 191, 100, 8, IDC_STATIC, SS_LEFT | WS_DISABLED | WS_GROUP),
        });
    return Page(IDD_UPDATE_ALERTS, std::move(items));
}

DialogTemplate ErrorAlerts()
{
    std::vector<DialogItem> items {
        GroupBox(IDC_STATIC, u"Error alert sound:", kGroupX, 7, kGroupW, 73),
        CheckBox(IDC_ERROR_SOUND_ENABLE, u"Play a sound when a download error occurs", kInX, 19, kInW),
    };
    AddSoundChoice(items, 33, IDC_ERROR_SOUND_DEFAULT, IDC_ERROR_SOUND_CUSTOM, IDC_ERROR_SOUND_PATH,
        IDC_ERROR_SOUND_BROWSE, IDC_ERROR_SOUND_TEST);
    return Page(IDD_ERROR_ALERTS, std::move(items));
}

DialogTemplate Logging()
{
    return Page(IDD_LOGGING,
        {
            GroupBox(IDC_STATIC, u"Plain-text format logging:", kGroupX, 7, kGroupW, 64),
            CheckBox(IDC_LOG_ENABLE, u"Enable logging", kInX, 19, kInW),
            EditField(IDC_LOG_PATH, kIndentX, 47, kButtonX - 4 - kIndentX),
            PushButton(IDC_LOG_BROWSE, u"Browse", kButtonX, 46, kButtonW),
            Label(u"Path to log file:", kIndentX, 35, kInRight - kIndentX),
        });
}

DialogTemplate Connections()
{
    constexpr short labelW = 78, barX = kInX + labelW + 2, valueW = 38, valueX = kInRight - valueW;
    constexpr short barW = valueX - 4 - barX;
    return Page(IDD_CONNECTIONS,
        {
            GroupBox(IDC_STATIC, u"Connection type:", kGroupX, 7, kGroupW, 44),
            RadioButton(IDC_CONNECTION_MANUAL, u"Manually specify when on-line", kInX, 20, kInW, true),
            RadioButton(IDC_CONNECTION_AUTODETECT, u"Automatically detect a dial-up networking connection", kInX, 34,
                kInW, false),
            GroupBox(IDC_STATIC, u"Timeouts:", kGroupX, 57, kGroupW, 80),
            { IDC_CONNECT_TIMEOUT, TRACKBAR_CLASS, nullptr, TBS_AUTOTICKS | WS_TABSTOP | WS_GROUP, barX, 70, barW, 16 },
            Label(u"Connection timeout:", kInX, 74, labelW),
            Trackbar(IDC_RECV_TIMEOUT, barX, 92, barW),
            Label(u"Receive timeout:", kInX, 96, labelW),
            Label(u"0 sec.", valueX, 74, valueW, 8, IDC_CONNECT_TIMEOUT_LABEL),
            Label(u"0 sec.", valueX, 96, valueW, 8, IDC_RECV_TIMEOUT_LABEL),
            Label(u"Send timeout:", kInX, 118, labelW),
            Trackbar(IDC_SEND_TIMEOUT, barX, 114, barW),
            Label(u"0 sec.", valueX, 118, valueW, 8, IDC_SEND_TIMEOUT_LABEL),
        });
}

DialogTemplate ProxyServer()
{
    constexpr short serverLabelW = 52, serverX = kInX + serverLabelW + 2;
    constexpr short portW = 36, portX = kInRight - portW, portLabelX = portX - 24;
    constexpr short userLabelW = 42, userX = kIndentX + userLabelW + 2;
    constexpr short passwordX = kInRight - 76, passwordLabelX = passwordX - userLabelW - 2;
    return Page(IDD_PROXY_SERVER,
        {
            CheckBox(IDC_USE_PROXY, u"User proxy server", kGroupX, 7, kGroupW),
            EditField(IDC_PROXY_SERVER, serverX, 35, portLabelX - 6 - serverX),
            EditField(IDC_PROXY_PORT, portX, 35, portW),
            EditField(IDC_PROXY_USER, userX, 67, passwordLabelX - 8 - userX),
            EditField(IDC_PROXY_PASSWORD, passwordX, 67, kInRight - passwordX, ES_PASSWORD),
            EditField(IDC_PROXY_EXCLUDE, kInX, 108, kInW),
            GroupBox(IDC_STATIC, u"Proxy server:", kGroupX, 21, kGroupW, 107),
            Label(u"Server name:", kInX, 37, serverLabelW, 8, IDC_PROXY_SERVER_LABEL),
            Label(u"Port:", portLabelX, 37, 22, 8, IDC_PROXY_PORT_LABEL),
            CheckBox(IDC_PROXY_USE_AUTH, u"Proxy server requires authentication", kInX, 53, kInW),
            Label(u"Username:", kIndentX, 69, userLabelW, 8, IDC_PROXY_USER_LABEL),
            Label(u"Password:", passwordLabelX, 69, userLabelW, 8, IDC_PROXY_PASSWORD_LABEL),
            Label(u"Don't use proxy server to monitor pages that are on the following servers:", kInX, 87, kInW, 18,
                IDC_PROXY_EXCLUDE_LABEL),
            Label(u"* PROXY SERVER CHANGES WILL BE APPLY AFTER APPLICATION RESTART *", kGroupX, 136, kGroupW, 18,
                IDC_STATIC, SS_CENTER),
        });
}

DialogTemplate VisualSettings()
{
    return Page(IDD_VISUAL_SETTINGS,
        {
            GroupBox(IDC_STATIC, u"Visual settings:", kGroupX, 7, kGroupW, 45),
            CheckBox(IDC_SHOW_TOOLBAR, u"Show tool bar", kInX, 20, kInW),
            CheckBox(IDC_SHOW_STATUSBAR, u"Show status bar", kInX, 34, kInW),
        });
}

DialogTemplate WebBrowser()
{
    return Page(IDD_WEB_BROWSER,
        {
            GroupBox(IDC_STATIC, u" Opening pages in a web browser", kGroupX, 7, kGroupW, 76),
            RadioButton(IDC_DEFAULT_BROWSER, u"Use the system default web browser", kInX, 20, kInW, true),
            CheckBox(IDC_OPEN_NEW_WINDOW, u"Open pages in a new browser window", kIndentX, 33, kInRight - kIndentX),
            RadioButton(IDC_USER_BROWSER, u"Specify web browser:", kInX, 47, kInW, false),
            EditField(IDC_USER_BROWSER_PATH, kIndentX, 62, kButtonX - 4 - kIndentX, WS_GROUP),
            PushButton(IDC_USER_BROWSER_BROWSE, u"Browse", kButtonX, 61, kButtonW),
        });
}

DialogTemplate DefaultInterval()
{
    constexpr short labelW = 36, barX = kInX + labelW + 2;
    return Page(IDD_DEFAULT_INTERVAL,
        {
            GroupBox(IDC_INTERVAL_CAPTION, u"Interval between checks:", kGroupX, 7, kGroupW, 64),
            HorizontalScrollBar(IDC_INTERVAL_MINUTES, barX, 22, kInRight - barX),
            HorizontalScrollBar(IDC_INTERVAL_HOURS, barX, 37, kInRight - barX),
            HorizontalScrollBar(IDC_INTERVAL_DAYS, barX, 52, kInRight - barX),
            Label(u"Minutes:", kInX, 23, labelW),
            Label(u"Hours:", kInX, 38, labelW),
            Label(u"Days:", kInX, 53, labelW),
        });
}

DialogTemplate SmtpNotify()
{
    constexpr short labelW = 56, fieldX = kInX + labelW + 2;
    return Page(IDD_SMTP_NOTIFY,
        {
            CheckBox(IDC_USE_EMAIL, u"Use e-mail notifications", kGroupX, 7, kGroupW),
            EditField(IDC_SMTP_SERVER, fieldX, 35, kInRight - fieldX),
            EditField(IDC_EMAIL_FROM, fieldX, 51, kButtonX - 4 - fieldX),
            PushButton(IDC_EMAIL_TEST, u"Test", kButtonX, 50, kButtonW),
            EditField(IDC_CSV_FILE, kInX, 82, kButtonX - 4 - kInX),
            PushButton(IDC_CSV_BROWSE, u"Browse", kButtonX, 81, kButtonW),
            GroupBox(IDC_STATIC, u"E-Mail notifications:", kGroupX, 21, kGroupW, 82),
            Label(u"SMTP server:", kInX, 37, labelW, 8, IDC_SMTP_SERVER_LABEL),
            Label(u"From address:", kInX, 53, labelW, 8, IDC_EMAIL_FROM_LABEL),
            Label(u"Notification e-mails recipients (.CSV file):", kInX, 70, kInW, 8, IDC_CSV_FILE_LABEL),
        });
}

DialogTemplate Automation()
{
    return Page(IDD_AUTOMATION,
        {
            GroupBox(IDC_STATIC, u"Automation settings: ", kGroupX, 7, kGroupW, 72),
            CheckBox(
                IDC_AUTO_DOWNLOAD, u"When online, automatically download after entering an address", kInX, 20, kInW),
            CheckBox(IDC_AUTO_SET_DESCR, u"Automatically set a web page's description from its title", kIndentX, 34,
                kInRight - kIndentX),
            CheckBox(IDC_AUTO_CHECK_FRAMES, u"Check web pages for a frameset HTML tag when entering addresses",
                kIndentX, 48, kInRight - kIndentX),
            CheckBox(IDC_BROWSER_RESET_NEW, u"Reset 'new' status when opening pages in a web browser", kInX, 62, kInW),
            GroupBox(IDC_STATIC, u"Startup options:", kGroupX, 85, kGroupW, 31),
            CheckBox(IDC_RUN_WITH_WINDOWS, u"Start with the desktop session", kInX, 98, kInW),
        });
}

DialogTemplate Misc()
{
    return Page(IDD_MISC,
        {
            GroupBox(IDC_STATIC, u"Application settings:", kGroupX, 7, kGroupW, 31),
            CheckBox(IDC_MIN_TO_TRAY, u"Minimize to the tray instead of taskbar", kInX, 20, kInW),
            GroupBox(IDC_STATIC, u"Warnings and confirmations: ", kGroupX, 44, kGroupW, 31),
            CheckBox(IDC_CONFIRM_DELETE, u"Confirm web page and groups deletions", kInX, 57, kInW),
            GroupBox(IDC_STATIC, u"Advanced settings:", kGroupX, 81, kGroupW, 45),
            CheckBox(IDC_REPORT_EMPTY_PAGES, u"Report an error if downloaded page contains no data", kInX, 94, kInW),
            CheckBox(IDC_USE_HEADERS_DATA, u"Use Last-Modified and If-Modified-Since HTTP headers to speed up checks",
                kInX, 108, kInW),
        });
}

} // namespace

void RegisterOptionPageTemplates()
{
    for (const DialogTemplate& page : { UpdateAlerts(), ErrorAlerts(), Logging(), Connections(), ProxyServer(),
             VisualSettings(), WebBrowser(), DefaultInterval(), SmtpNotify(), Automation(), Misc() })
        taluvo::ui::RegisterDialogTemplate(page);
}

} // namespace taluvo::res::templates
