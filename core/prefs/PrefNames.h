// The name of every setting, as CPreferences::GetParam looks it up. Code names a setting only through
// these constants, so a misspelt name fails the build instead of throwing at run time. Each text is
// the name of its field in PreferencesBlob_t; the registration checks that at compile time.
#pragma once

inline constexpr char kPopupAlertEnable[] = "PopupAlertEnable";
inline constexpr char kPopupAlertTimeout[] = "PopupAlertTimeout";
inline constexpr char kPopupAlertItems[] = "PopupAlertItems";
inline constexpr char kAlertSoundEnable[] = "AlertSoundEnable";
inline constexpr char kAlertSoundDefault[] = "AlertSoundDefault";
inline constexpr char kAlertSoundFilePath[] = "AlertSoundFilePath";
inline constexpr char kErrorSoundEnable[] = "ErrorSoundEnable";
inline constexpr char kErrorSoundDefault[] = "ErrorSoundDefault";
inline constexpr char kErrorSoundFilePath[] = "ErrorSoundFilePath";
inline constexpr char kRunCmdEnable[] = "RunCmdEnable";
inline constexpr char kRunCmdText[] = "RunCmdText";
inline constexpr char kLogEnable[] = "LogEnable";
inline constexpr char kLogFilePath[] = "LogFilePath";
inline constexpr char kAutoDetectOnline[] = "AutoDetectOnline";
inline constexpr char kConnectTimeout[] = "ConnectTimeout";
inline constexpr char kRecvTimeout[] = "RecvTimeout";
inline constexpr char kSendTimeout[] = "SendTimeout";
inline constexpr char kUseProxy[] = "UseProxy";
inline constexpr char kProxyServer[] = "ProxyServer";
inline constexpr char kProxyPort[] = "ProxyPort";
inline constexpr char kProxyUseAuth[] = "ProxyUseAuth";
inline constexpr char kProxyUserName[] = "ProxyUserName";
inline constexpr char kProxyPassword[] = "ProxyPassword";
inline constexpr char kProxyExcludeList[] = "ProxyExcludeList";
inline constexpr char kShowToolBar[] = "ShowToolBar";
inline constexpr char kShowStatusBar[] = "ShowStatusBar";
inline constexpr char kUseDefaultBrowser[] = "UseDefaultBrowser";
inline constexpr char kOpenNewWindow[] = "OpenNewWindow";
inline constexpr char kUserBrowserPath[] = "UserBrowserPath";
inline constexpr char kDefaultUpdateInterval[] = "DefaultUpdateInterval";
inline constexpr char kUseEMailNotification[] = "UseEMailNotification";
inline constexpr char kCSVFile[] = "CSVFile";
inline constexpr char kSmtpServer[] = "SmtpServer";
inline constexpr char kEMailFromAddr[] = "EMailFromAddr";
inline constexpr char kAutoDownloadOnline[] = "AutoDownloadOnline";
inline constexpr char kAutoSetDescr[] = "AutoSetDescr";
inline constexpr char kAutoCheckFrames[] = "AutoCheckFrames";
inline constexpr char kBrowserResetNewStatus[] = "BrowserResetNewStatus";
inline constexpr char kRunWithWindows[] = "RunWithWindows";
inline constexpr char kMinToTray[] = "MinToTray";
inline constexpr char kConfirmDelete[] = "ConfirmDelete";
inline constexpr char kReportEmptyPages[] = "ReportEmptyPages";
inline constexpr char kUseHeadersData[] = "UseHeadersData";
inline constexpr char kWorkOffline[] = "WorkOffline";
inline constexpr char kWorkMode[] = "WorkMode";
