#include "core/prefs/Preferences.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Utils.h"
#include "core/prefs/RecipientsFile.h"
#include "platform/base/TextCodec.h"

#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

TRACE_MODULE("CPreferences");

CPreferences g_prefs;

namespace {

enum class Kind { Flag, Integer, Text };

// The record keeps its integers little-endian, whatever the machine's order.
int32_t ReadLittleEndian32(const BYTE* p)
{
    return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

void WriteLittleEndian32(int32_t value, BYTE* p)
{
    const auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<BYTE>(bits >> (8 * i));
}

// What a value must be for the program to work with it.
enum class Range { Any, Positive };

struct SSetting {
    const char* name;
    size_t offset;
    Kind kind;
    INT defaultValue; // flags and integers; texts start empty
    Range range = Range::Any;
};

// A setting's name constant must spell its record field, so the name the program looks up and the
// field it reaches can never part; a mismatch is not a constant expression and fails the build.
consteval const char* FieldName(const char* name, const char* field)
{
    size_t i = 0;
    for (; name[i] != '\0' && name[i] == field[i]; ++i) { }
    if (name[i] != field[i])
        throw "a setting's name differs from its record field";
    return name;
}

#define PREFS_SETTING(field, kind, value)                                                                              \
    {                                                                                                                  \
        FieldName(k##field, #field), offsetof(PreferencesBlob_t, field), Kind::kind, value                             \
    }
// Time-outs, intervals and counts: zero or below stalls timers, checks and the popup.
#define PREFS_POSITIVE(field, value)                                                                                   \
    {                                                                                                                  \
        FieldName(k##field, #field), offsetof(PreferencesBlob_t, field), Kind::Integer, value, Range::Positive         \
    }

// In registration order.
const SSetting kSettings[] = {
    PREFS_SETTING(PopupAlertEnable, Flag, 1),
    PREFS_POSITIVE(PopupAlertTimeout, 10),
    PREFS_POSITIVE(PopupAlertItems, 5),
    PREFS_SETTING(AlertSoundEnable, Flag, 1),
    PREFS_SETTING(AlertSoundDefault, Flag, 1),
    PREFS_SETTING(AlertSoundFilePath, Text, 0),
    PREFS_SETTING(ErrorSoundEnable, Flag, 1),
    PREFS_SETTING(ErrorSoundDefault, Flag, 1),
    PREFS_SETTING(ErrorSoundFilePath, Text, 0),
    PREFS_SETTING(RunCmdEnable, Flag, 0),
    PREFS_SETTING(RunCmdText, Text, 0),
    PREFS_SETTING(LogEnable, Flag, 0),
    PREFS_SETTING(LogFilePath, Text, 0),
    PREFS_SETTING(AutoDetectOnline, Flag, 1),
    PREFS_POSITIVE(ConnectTimeout, 30),
    PREFS_POSITIVE(RecvTimeout, 15),
    PREFS_POSITIVE(SendTimeout, 15),
    PREFS_SETTING(UseProxy, Flag, 0),
    PREFS_SETTING(ProxyServer, Text, 0),
    PREFS_SETTING(ProxyPort, Integer, 3128),
    PREFS_SETTING(ProxyUseAuth, Flag, 0),
    PREFS_SETTING(ProxyUserName, Text, 0),
    PREFS_SETTING(ProxyPassword, Text, 0),
    PREFS_SETTING(ProxyExcludeList, Text, 0),
    PREFS_SETTING(ShowToolBar, Flag, 1),
    PREFS_SETTING(ShowStatusBar, Flag, 1),
    PREFS_SETTING(UseDefaultBrowser, Flag, 1),
    PREFS_SETTING(OpenNewWindow, Flag, 1),
    PREFS_SETTING(UserBrowserPath, Text, 0),
    PREFS_POSITIVE(DefaultUpdateInterval, 86400),
    PREFS_SETTING(UseEMailNotification, Flag, 0),
    PREFS_SETTING(CSVFile, Text, 0),
    PREFS_SETTING(SmtpServer, Text, 0),
    PREFS_SETTING(EMailFromAddr, Text, 0),
    PREFS_SETTING(AutoDownloadOnline, Flag, 1),
    PREFS_SETTING(AutoSetDescr, Flag, 1),
    PREFS_SETTING(AutoCheckFrames, Flag, 1),
    PREFS_SETTING(BrowserResetNewStatus, Flag, 1),
    PREFS_SETTING(RunWithWindows, Flag, 1),
    PREFS_SETTING(MinToTray, Flag, 1),
    PREFS_SETTING(ConfirmDelete, Flag, 1),
    PREFS_SETTING(ReportEmptyPages, Flag, 1),
    PREFS_SETTING(UseHeadersData, Flag, 1),
    PREFS_SETTING(WorkOffline, Flag, 0),
    PREFS_SETTING(WorkMode, Integer, 0),
};

#undef PREFS_POSITIVE
#undef PREFS_SETTING

static_assert(std::size(kSettings) == 45);

bool ReadWholeFile(const QByteArray& path, QByteArray& bytes)
{
    FILE* file = std::fopen(path.constData(), "rb");
    if (!file)
        return false;
    char chunk[16384];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes.append(chunk, static_cast<qsizetype>(n));
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return !failed;
}

} // namespace

CParam::CParam(BYTE* record, DWORD offset)
    : m_pRecord(record)
    , m_dwOffset(offset)
{
    InitializeCriticalSection(&m_cs);
}

CParam::~CParam()
{
    DeleteCriticalSection(&m_cs);
}

bool CParam::GetBool()
{
    CCritSecLocker guard(m_cs);
    return m_pRecord[m_dwOffset] == 1;
}

CParam& CParam::SetBool(bool value)
{
    CCritSecLocker guard(m_cs);
    m_pRecord[m_dwOffset] = value ? 1 : 0;
    return *this;
}

INT CParam::GetInt()
{
    CCritSecLocker guard(m_cs);
    return ReadLittleEndian32(m_pRecord + m_dwOffset);
}

CParam& CParam::SetInt(INT value)
{
    CCritSecLocker guard(m_cs);
    WriteLittleEndian32(value, m_pRecord + m_dwOffset);
    return *this;
}

QString CParam::GetString()
{
    CCritSecLocker guard(m_cs);
    const char* text = reinterpret_cast<const char*>(m_pRecord + m_dwOffset);
    // A field without its terminator ends at the field's end, never in the next setting.
    const void* nul = std::memchr(text, 0, kPrefsTextSize);
    const qsizetype length = nul ? static_cast<const char*>(nul) - text : static_cast<qsizetype>(kPrefsTextSize);
    return taluvo::AnsiDecode(text, length);
}

CParam& CParam::SetString(const QString& value)
{
    CCritSecLocker guard(m_cs);
    BYTE* field = m_pRecord + m_dwOffset;
    std::memset(field, 0, kPrefsTextSize);
    if (!value.isEmpty()) {
        const QByteArray ansi = taluvo::AnsiTruncate(taluvo::AnsiEncode(value), kPrefsTextMax);
        std::memcpy(field, ansi.constData(), static_cast<size_t>(ansi.size()));
    }
    return *this;
}

bool CParam::operator==(bool value)
{
    CCritSecLocker guard(m_cs);
    return GetBool() == value;
}

CPreferences::CPreferences()
{
    CMutexLocker lock(m_mutex);
    BYTE* record = reinterpret_cast<BYTE*>(&m_blob);
    std::memset(record, 0, sizeof(m_blob));
    for (const SSetting& setting : kSettings) {
        auto param = std::make_unique<CParam>(record, static_cast<DWORD>(setting.offset));
        switch (setting.kind) {
        case Kind::Flag:
            param->SetBool(setting.defaultValue != 0);
            break;
        case Kind::Integer:
            param->SetInt(setting.defaultValue);
            break;
        case Kind::Text:
            break;
        }
        m_paramsList.emplace(QByteArray(setting.name), std::move(param));
    }
    m_recipients.clear();
}

CPreferences::~CPreferences()
{
    m_paramsList.clear();
    m_recipients.clear();
}

CPreferences& CPreferences::operator=(const CPreferences& rhs)
{
    if (this != &rhs) {
        CopyRecord(&rhs.m_blob, sizeof(rhs.m_blob));
        m_recipients = rhs.m_recipients;
    }
    return *this;
}

void CPreferences::CopyRecord(const void* bytes, size_t length)
{
    BYTE* record = reinterpret_cast<BYTE*>(&m_blob);
    if (bytes == record)
        return;
    std::memset(record, 0, sizeof(m_blob));
    std::memcpy(record, bytes, std::min(length, sizeof(m_blob)));
}

std::vector<QByteArray> CPreferences::ResetBrokenValues(size_t storedLength)
{
    std::vector<QByteArray> stored;
    const BYTE* record = reinterpret_cast<const BYTE*>(&m_blob);
    for (const SSetting& setting : kSettings) {
        CParam* param = GetParam(setting.name);
        bool broken = false;
        switch (setting.kind) {
        case Kind::Flag:
            broken = record[setting.offset] > 1;
            break;
        case Kind::Integer:
            broken = setting.range == Range::Positive && param->GetInt() <= 0;
            break;
        case Kind::Text:
            break;
        }
        if (!broken)
            continue;
        if (setting.kind == Kind::Flag)
            param->SetBool(setting.defaultValue != 0);
        else
            param->SetInt(setting.defaultValue);
        if (setting.offset < storedLength)
            stored.emplace_back(setting.name);
    }
    return stored;
}

BOOL CPreferences::ParseCsvFile(const QString& path)
{
    TRACE_SCOPE(u"CPreferences::ParseCsvFile");
    if (path.isEmpty() || !FileExists(path))
        return FALSE;

    QByteArray content;
    if (!ReadWholeFile(CWideToAnsi(path).Get(), content)) {
        TRACE0(u"CPreferences::ParseCsvFile. Unable to open CSV file: %s.\r\n", path);
        return FALSE;
    }
    m_recipients.clear();
    for (const QByteArray& line : taluvo::prefs::RecipientFileLines(content)) {
        TRACE2(u"CPreferences::ParseCsvFile. Parse line: %hs\r\n", line);

        const taluvo::prefs::SRecipientLine fields = taluvo::prefs::ReadRecipientLine(CAnsiToWide(line).Get());
        if (fields.kind == taluvo::prefs::SRecipientLine::blank)
            continue;
        if (fields.kind == taluvo::prefs::SRecipientLine::invalidAddress) {
            TRACE2(u"CPreferences::ParseCsvFile. Invalid email: %s.\r\n)", fields.address);
            continue;
        }
        const QByteArray ansiAddress = CWideToAnsi(fields.address).Get();
        bool known = false;
        for (const Recipient& recipient : m_recipients) {
            if (recipient.first == ansiAddress) {
                known = true;
                break;
            }
        }
        if (known) {
            TRACE2(u"CPreferences::ParseCsvFile. Email: \"%hs\" alread exists.\r\n", ansiAddress);
            continue;
        }
        if (fields.kind == taluvo::prefs::SRecipientLine::noName)
            continue;
        const QByteArray ansiName = CWideToAnsi(fields.name).Get();
        TRACE2(
            u"CPreferences::ParseCsvFile. Add pair to emails. EMail: \"%hs\", Name: \"%hs\".\n", ansiAddress, ansiName);
        m_recipients.emplace_back(ansiAddress, ansiName);
    }
    return TRUE;
}
