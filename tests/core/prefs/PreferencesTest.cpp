#include "core/prefs/Preferences.h"

#include "platform/base/TextCodec.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using taluvo::test::TempDir;
using taluvo::test::WriteFile;

BYTE* Record(CPreferences& prefs)
{
    return reinterpret_cast<BYTE*>(&prefs.m_blob);
}

std::vector<std::pair<std::string, std::string>> Recipients(const CPreferences& prefs)
{
    std::vector<std::pair<std::string, std::string>> list;
    for (const auto& r : prefs.m_recipients)
        list.emplace_back(r.first.toStdString(), r.second.toStdString());
    return list;
}

} // namespace

TEST(Preferences, NewStoreHoldsTheDefaults)
{
    CPreferences prefs;
    ASSERT_EQ(prefs.m_paramsList.size(), 45u);

    struct IntCase {
        const char* name;
        int value;
    };
    const IntCase ints[]
        = { { kPopupAlertTimeout, 10 }, { kPopupAlertItems, 5 }, { kConnectTimeout, 30 }, { kRecvTimeout, 15 },
              { kSendTimeout, 15 }, { kProxyPort, 3128 }, { kDefaultUpdateInterval, 86400 }, { kWorkMode, 0 } };
    for (const IntCase& c : ints)
        EXPECT_EQ(prefs.GetParam(c.name)->GetInt(), c.value) << c.name;

    const char* const on[] = { kPopupAlertEnable, kAlertSoundEnable, kAlertSoundDefault, kErrorSoundEnable,
        kErrorSoundDefault, kAutoDetectOnline, kShowToolBar, kShowStatusBar, kUseDefaultBrowser, kOpenNewWindow,
        kAutoDownloadOnline, kAutoSetDescr, kAutoCheckFrames, kBrowserResetNewStatus, kRunWithWindows, kMinToTray,
        kConfirmDelete, kReportEmptyPages, kUseHeadersData };
    for (const char* name : on)
        EXPECT_TRUE(prefs.GetParam(name)->GetBool()) << name;
    const char* const off[]
        = { kRunCmdEnable, kLogEnable, kUseProxy, kProxyUseAuth, kUseEMailNotification, kWorkOffline };
    for (const char* name : off)
        EXPECT_FALSE(prefs.GetParam(name)->GetBool()) << name;

    const char* const texts[] = { kAlertSoundFilePath, kErrorSoundFilePath, kRunCmdText, kLogFilePath, kProxyServer,
        kProxyUserName, kProxyPassword, kProxyExcludeList, kUserBrowserPath, kCSVFile, kSmtpServer, kEMailFromAddr };
    for (const char* name : texts)
        EXPECT_TRUE(prefs.GetParam(name)->GetString().isEmpty()) << name;
    EXPECT_TRUE(prefs.m_recipients.empty());
}

TEST(Preferences, UnknownNamesThrowWithTheName)
{
    CPreferences prefs;
    for (const char* name : { "Bogus", "workoffline", "WORKMODE", "" }) {
        try {
            prefs.GetParam(name);
            ADD_FAILURE() << "no exception for " << name;
        } catch (CCmnException& e) {
            const QString expected = QStringLiteral("Unknown parameter \"%1\"\nFile: ").arg(QLatin1String(name));
            EXPECT_TRUE(e.GetMessage().startsWith(expected)) << e.GetMessage().toStdString();
            EXPECT_TRUE(e.GetMessage().contains(QStringLiteral("Expr.: m_paramsList.end() != it")));
        }
    }
    prefs.m_paramsList[QByteArray("Hollow")] = nullptr;
    try {
        prefs.GetParam("Hollow");
        ADD_FAILURE() << "no exception for an empty entry";
    } catch (CCmnException& e) {
        EXPECT_EQ(e.GetShortText(), QStringLiteral("Parameter \"Hollow\" is NULL."));
    }
}

TEST(Preferences, ValuesLandAtTheirOffsetsLittleEndian)
{
    CPreferences prefs;
    prefs.GetParam(kWorkMode)->SetInt(0x01020304);
    prefs.GetParam(kPopupAlertTimeout)->SetInt(-2);
    const BYTE* record = Record(prefs);
    EXPECT_EQ(std::memcmp(record + 3173, "\x04\x03\x02\x01", 4), 0);
    EXPECT_EQ(std::memcmp(record + 1, "\xFE\xFF\xFF\xFF", 4), 0);
    EXPECT_EQ(prefs.GetParam(kPopupAlertTimeout)->GetInt(), -2);

    // A flag is true only as the byte 1; setters write 0 or 1.
    CParam* flag = prefs.GetParam(kWorkOffline);
    Record(prefs)[3172] = 2;
    EXPECT_FALSE(flag->GetBool());
    EXPECT_TRUE(*flag == false);
    flag->SetBool(true);
    EXPECT_EQ(Record(prefs)[3172], 1);
    EXPECT_TRUE(*flag == true);
    EXPECT_EQ(&flag->SetBool(false), flag);
    EXPECT_EQ(Record(prefs)[3172], 0);
}

TEST(Preferences, TextsStayInsideTheirField)
{
    CPreferences prefs;
    CParam* proxy = prefs.GetParam(kProxyServer); // 1069..1328, followed by ProxyPort
    const INT port = prefs.GetParam(kProxyPort)->GetInt();

    proxy->SetString(QString(300, QLatin1Char('a')));
    EXPECT_EQ(proxy->GetString(), QString(259, QLatin1Char('a')));
    EXPECT_EQ(Record(prefs)[1069 + 259], 0);
    EXPECT_EQ(prefs.GetParam(kProxyPort)->GetInt(), port);

    // Cut on a character boundary: a two-byte character that would end at byte 260 is dropped whole.
    const QString accented = QString(258, QLatin1Char('b')) + QChar(0x00E9) + QStringLiteral("tail");
    proxy->SetString(accented);
    EXPECT_EQ(proxy->GetString(), QString(258, QLatin1Char('b')));

    // Bytes that are not UTF-8 survive a round trip.
    const QString escaped = taluvo::AnsiDecode(QByteArray("\xFF\xFE ok"));
    proxy->SetString(escaped);
    EXPECT_EQ(proxy->GetString(), escaped);

    // A stored field without its terminator is read to the field's end and no further.
    std::memset(Record(prefs) + 1069, 'c', 260);
    EXPECT_EQ(proxy->GetString(), QString(260, QLatin1Char('c')));

    proxy->SetString(QString());
    EXPECT_TRUE(proxy->GetString().isEmpty());
    for (int i = 0; i < 260; ++i)
        ASSERT_EQ(Record(prefs)[1069 + i], 0) << i;
}

TEST(Preferences, RecordAssignmentClearsWhatIsNotGiven)
{
    CPreferences prefs;
    std::vector<BYTE> bytes(100, 1);
    prefs.AssignRecord(bytes.data(), bytes.size());
    for (size_t i = 100; i < sizeof(PreferencesBlob_t); ++i)
        ASSERT_EQ(Record(prefs)[i], 0) << i;
    EXPECT_TRUE(prefs.GetParam(kPopupAlertEnable)->GetBool());
    EXPECT_FALSE(prefs.GetParam(kRunWithWindows)->GetBool());
    EXPECT_EQ(prefs.GetParam(kDefaultUpdateInterval)->GetInt(), 0);
    EXPECT_TRUE(prefs.GetParam(kCSVFile)->GetString().isEmpty());

    // A longer record is cut at the record's size.
    std::vector<BYTE> longer(5000, 7);
    prefs.AssignRecord(longer.data(), longer.size());
    EXPECT_EQ(prefs.GetParam(kWorkMode)->GetInt(), 0x07070707);

    try {
        prefs = static_cast<const PreferencesBlob_t*>(nullptr);
        ADD_FAILURE() << "no exception for a null record";
    } catch (CCmnException& e) {
        EXPECT_TRUE(e.GetMessage().contains(QStringLiteral("\nExpr.: rhs\n")));
        EXPECT_EQ(
            e.GetShortText(), QStringLiteral("CPreferences::operator = (PreferencesBlob_t* x). Invalid parameter."));
    }
    EXPECT_EQ(prefs.GetParam(kWorkMode)->GetInt(), 0x07070707);
}

// Values that would stall timers, checks or the popup, and flag bytes that are neither 0 nor 1,
// take their defaults; values that are odd but harm nothing stay.
TEST(Preferences, BrokenValuesTakeTheirDefaultsAndHarmlessOnesStay)
{
    constexpr size_t kInteger = SIZE_MAX; // the setting is an integer, set through its parameter
    struct Case {
        const char* name;
        size_t flagOffset;
        INT stored;
        INT expected;
        bool reset;
    };
    const Case cases[] = {
        { kConnectTimeout, kInteger, 0, 30, true },
        { kRecvTimeout, kInteger, -5, 15, true },
        { kSendTimeout, kInteger, INT(0x80000000), 15, true },
        { kPopupAlertTimeout, kInteger, 0, 10, true },
        { kPopupAlertItems, kInteger, -1, 5, true },
        { kDefaultUpdateInterval, kInteger, 0, 86400, true },
        { kConnectTimeout, kInteger, 120, 120, false },
        { kDefaultUpdateInterval, kInteger, 1, 1, false },
        { kProxyPort, kInteger, 0, 0, false },
        { kWorkMode, kInteger, -3, -3, false },
        { kWorkOffline, offsetof(PreferencesBlob_t, WorkOffline), 197, 0, true },
        { kRunWithWindows, offsetof(PreferencesBlob_t, RunWithWindows), 2, 1, true },
        { kUseProxy, offsetof(PreferencesBlob_t, UseProxy), 1, 1, false },
        { kMinToTray, offsetof(PreferencesBlob_t, MinToTray), 0, 0, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CPreferences prefs;
        CParam* param = prefs.GetParam(c.name);
        if (c.flagOffset == kInteger)
            param->SetInt(c.stored);
        else
            Record(prefs)[c.flagOffset] = static_cast<BYTE>(c.stored);
        const std::vector<QByteArray> reset = prefs.ResetBrokenValues();
        EXPECT_EQ(c.flagOffset == kInteger ? param->GetInt() : INT(Record(prefs)[c.flagOffset]), c.expected);
        EXPECT_EQ(reset, c.reset ? std::vector<QByteArray> { QByteArray(c.name) } : std::vector<QByteArray> {});
    }
}

// After a shorter record the zeros past its end take their defaults without being reported: they
// were never the user's.
TEST(Preferences, ZerosPastAShortRecordAreNotReportedAsStored)
{
    CPreferences prefs;
    std::vector<BYTE> bytes(1060, 0); // ends inside the settings, after AutoDetectOnline
    bytes[1] = 0; // PopupAlertTimeout 0: stored, broken
    prefs.AssignRecord(bytes.data(), bytes.size());
    const std::vector<QByteArray> reset = prefs.ResetBrokenValues(bytes.size());
    EXPECT_EQ(reset, (std::vector<QByteArray> { kPopupAlertTimeout, kPopupAlertItems, kConnectTimeout }));
    EXPECT_EQ(prefs.GetParam(kPopupAlertTimeout)->GetInt(), 10);
    EXPECT_EQ(prefs.GetParam(kRecvTimeout)->GetInt(), 15);
    EXPECT_EQ(prefs.GetParam(kDefaultUpdateInterval)->GetInt(), 86400);
    EXPECT_FALSE(prefs.GetParam(kRunWithWindows)->GetBool());
}

TEST(Preferences, StoreAssignmentCopiesRecordAndRecipientsOnly)
{
    CPreferences original;
    original.GetParam(kSmtpServer)->SetString(QStringLiteral("mail.example.org"));
    original.GetParam(kWorkMode)->SetInt(1);
    original.m_recipients.emplace_back(QByteArray("ann@example.org"), QByteArray("Ann"));

    CPreferences copy;
    copy.m_recipients.emplace_back(QByteArray("old@example.org"), QByteArray("Old"));
    copy = original;
    EXPECT_EQ(std::memcmp(&copy.m_blob, &original.m_blob, sizeof(PreferencesBlob_t)), 0);
    EXPECT_EQ(Recipients(copy), Recipients(original));

    // The copy keeps its own parameters: writing it leaves the original alone.
    copy.GetParam(kSmtpServer)->SetString(QStringLiteral("other"));
    EXPECT_EQ(original.GetParam(kSmtpServer)->GetString(), QStringLiteral("mail.example.org"));
    EXPECT_NE(copy.GetParam(kSmtpServer), original.GetParam(kSmtpServer));

    const CPreferences& itself = copy; // through a reference: the compiler questions a plain x = x
    copy = itself;

    EXPECT_EQ(copy.GetParam(kSmtpServer)->GetString(), QStringLiteral("other"));
}

TEST(Preferences, CsvFileGivesOneRecipientPerAddress)
{
    struct Case {
        const char* label;
        std::string content;
        std::vector<std::pair<std::string, std::string>> expected;
    };
    const Case cases[] = {
        { "case-insensitive duplicates, first wins",
            "Ann.Smith@Example.ORG;Ann\nann.smith@example.org;Other\nbad address@example.org;Bob\n",
            { { "ann.smith@example.org", "Ann" } } },
        { "a line without a name adds nothing", "solo@example.org\nnoname@example.org;\n", {} },
        { "a nameless line does not claim the address", "x@example.org\nx@example.org;Xena\n",
            { { "x@example.org", "Xena" } } },
        { "invalid addresses", "@example.org;A\nb@;B\nc@d..e;C\nc@@d.e;D\nf@g.h.;F\nok@example.org;Ok\n",
            { { "ok@example.org", "Ok" } } },
        { "byte-order mark and CRLF",
            "\xEF\xBB\xBF"
            "one@example.org;One\r\ntwo@example.org;Two\r\n",
            { { "one@example.org", "One" }, { "two@example.org", "Two" } } },
        { "runs of separators and further fields", ";;a@b.cd;;;Name;extra\n\n;\nlast@b.cd;Last",
            { { "a@b.cd", "Name" }, { "last@b.cd", "Last" } } },
        { "names keep their bytes", "n@b.cd;Ren\xC3\xA9\xFF\n", { { "n@b.cd", "Ren\xC3\xA9\xFF" } } },
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.File("recipients.csv");
        WriteFile(path, c.content);
        CPreferences prefs;
        EXPECT_EQ(prefs.ParseCsvFile(QString::fromStdString(path)), TRUE) << c.label;
        EXPECT_EQ(Recipients(prefs), c.expected) << c.label;
    }
}

TEST(Preferences, MissingCsvFileKeepsTheList)
{
    TempDir dir;
    WriteFile(dir.File("plain"), "x");
    CPreferences prefs;
    prefs.m_recipients.emplace_back(QByteArray("keep@example.org"), QByteArray("Keep"));
    const QString paths[] = { QString(), QString(QLatin1String("")), QString::fromStdString(dir.File("none.csv")),
        QString::fromStdString(dir.Path()), QString::fromStdString(dir.File("plain") + "/x.csv") };
    for (const QString& path : paths) {
        EXPECT_EQ(prefs.ParseCsvFile(path), FALSE) << path.toStdString();
        ASSERT_EQ(prefs.m_recipients.size(), 1u);
    }

    // A file that exists but has no valid line empties the list.
    WriteFile(dir.File("empty.csv"), "");
    EXPECT_EQ(prefs.ParseCsvFile(QString::fromStdString(dir.File("empty.csv"))), TRUE);
    EXPECT_TRUE(prefs.m_recipients.empty());
}

TEST(Preferences, ConcurrentReadersNeverSeeHalfWrittenValues)
{
    CPreferences prefs;
    CParam* value = prefs.GetParam(kDefaultUpdateInterval);
    CParam* text = prefs.GetParam(kSmtpServer);
    const QString longText(259, QLatin1Char('z'));
    value->SetInt(0);
    text->SetString(QStringLiteral("a"));
    std::atomic<bool> stop { false };
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            value->SetInt(i % 2 ? -1 : 0);
            text->SetString(i % 2 ? longText : QStringLiteral("a"));
        }
        stop = true;
    });
    int torn = 0;
    while (!stop) {
        const INT v = value->GetInt();
        if (v != 0 && v != -1)
            ++torn;
        const QString t = text->GetString();
        if (t != longText && t != QStringLiteral("a"))
            ++torn;
    }
    writer.join();
    EXPECT_EQ(torn, 0);
}
