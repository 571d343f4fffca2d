// The settings store: every user setting lives in one packed record that the database keeps whole,
// and each setting is reached by name through a CParam that locks just that setting.
#pragma once

#include "core/Exceptions.h"
#include "core/Mutex.h"
#include "core/prefs/PrefNames.h"
#include "platform/base/CriticalSection.h"
#include "platform/base/WinTypes.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <utility>
#include <vector>

// A text setting: ANSI bytes, NUL-terminated, at most kPrefsTextMax bytes of text.
constexpr size_t kPrefsTextSize = 260;
constexpr size_t kPrefsTextMax = kPrefsTextSize - 1;

// The stored layout: packed, little-endian. The field order is the byte order of the record, which
// differs from the order the settings are registered in (the run-command pair sits between the two
// sound groups).
#pragma pack(push, 1)
struct PreferencesBlob_t {
    BYTE PopupAlertEnable;
    INT PopupAlertTimeout;
    INT PopupAlertItems;
    BYTE AlertSoundEnable;
    BYTE AlertSoundDefault;
    char AlertSoundFilePath[kPrefsTextSize];
    BYTE RunCmdEnable;
    char RunCmdText[kPrefsTextSize];
    BYTE ErrorSoundEnable;
    BYTE ErrorSoundDefault;
    char ErrorSoundFilePath[kPrefsTextSize];
    BYTE LogEnable;
    char LogFilePath[kPrefsTextSize];
    BYTE AutoDetectOnline;
    INT ConnectTimeout;
    INT RecvTimeout;
    INT SendTimeout;
    BYTE UseProxy;
    char ProxyServer[kPrefsTextSize];
    INT ProxyPort;
    BYTE ProxyUseAuth;
    char ProxyUserName[kPrefsTextSize];
    char ProxyPassword[kPrefsTextSize];
    char ProxyExcludeList[kPrefsTextSize];
    BYTE ShowToolBar;
    BYTE ShowStatusBar;
    BYTE UseDefaultBrowser;
    BYTE OpenNewWindow;
    char UserBrowserPath[kPrefsTextSize];
    INT DefaultUpdateInterval;
    BYTE UseEMailNotification;
    char CSVFile[kPrefsTextSize];
    char SmtpServer[kPrefsTextSize];
    char EMailFromAddr[kPrefsTextSize];
    BYTE AutoDownloadOnline;
    BYTE AutoSetDescr;
    BYTE AutoCheckFrames;
    BYTE BrowserResetNewStatus;
    BYTE RunWithWindows;
    BYTE MinToTray;
    BYTE ConfirmDelete;
    BYTE ReportEmptyPages;
    BYTE UseHeadersData;
    BYTE WorkOffline;
    INT WorkMode;
};
#pragma pack(pop)
static_assert(sizeof(PreferencesBlob_t) == 3177, "the stored settings record is 3177 bytes");

// One setting: where it lies in its store's record. It does not know its kind; the caller uses the
// accessor that matches the setting.
class CParam {
public:
    CParam(BYTE* record, DWORD offset);
    ~CParam();
    CParam(const CParam&) = delete;
    CParam& operator=(const CParam&) = delete;

    bool GetBool();
    CParam& SetBool(bool value);
    INT GetInt();
    CParam& SetInt(INT value);
    QString GetString();
    // Stores at most kPrefsTextMax bytes of the ANSI form, cut on a character boundary.
    CParam& SetString(const QString& value);
    bool operator==(bool value);

private:
    BYTE* m_pRecord;
    DWORD m_dwOffset;
    CRITICAL_SECTION m_cs;
};

class CPreferences {
public:
    using Recipient = std::pair<QByteArray, QByteArray>; // address, name (ANSI)

    CPreferences();
    ~CPreferences();
    CPreferences(const CPreferences&) = delete;

    // Copies the other store's record and recipients; the own mutex and parameters stay.
    CPreferences& operator=(const CPreferences& rhs);
    // The record as stored: cleared, then the given record copied in.
    CPreferences& operator=(const PreferencesBlob_t* rhs)
    {
        AssignRecord(rhs, rhs ? sizeof(PreferencesBlob_t) : 0);
        return *this;
    }
    // A stored record of any length: a shorter one leaves the rest zero, a longer one is cut.
    void AssignRecord(const void* rhs, size_t length)
    {
        FAIL_CHECK(rhs, QStringLiteral("CPreferences::operator = (PreferencesBlob_t* x). Invalid parameter."));
        CopyRecord(rhs, length);
    }

    // Case-sensitive lookup by one of the names of PrefNames.h; an unknown name is a programming error
    // and throws.
    CParam* GetParam(const char* name)
    {
        const auto it = m_paramsList.find(QByteArray(name ? name : ""));
        FAIL_CHECK_FMT(m_paramsList.end() != it, u"Unknown parameter \"%hs\"", name);
        FAIL_CHECK_FMT(it->second, u"Parameter \"%hs\" is NULL.", name);
        return it->second.get();
    }

    // Puts back to its default every setting whose value would break the program: a time-out,
    // interval or count of zero or below, a flag byte other than 0 or 1. Returns the names of the
    // settings so reset that begin within the first storedLength bytes of the record, the
    // values a stored record of that length really held; the rest (zeros after a shorter record)
    // lose nothing of the user's. Out-of-range values that harm nothing are kept.
    std::vector<QByteArray> ResetBrokenValues(size_t storedLength = sizeof(PreferencesBlob_t));

    // Replaces the recipients with those of a CSV file ("address;name" per line); FALSE, with the
    // list unchanged, when the file is missing or unreadable.
    BOOL ParseCsvFile(const QString& path);

    CMutex m_mutex;
    std::map<QByteArray, std::unique_ptr<CParam>> m_paramsList;
    PreferencesBlob_t m_blob;
    std::vector<Recipient> m_recipients;

private:
    void CopyRecord(const void* bytes, size_t length);
};
