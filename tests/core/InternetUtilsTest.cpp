// Addresses, intervals, the online state and opening the browser.
#include "core/InternetUtils.h"

#include "platform/inet/WinInet.h"
#include "platform/shell/OnlineState.h"
#include "platform/shell/ShellHooks.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <net/if.h>
#include <sys/stat.h>

#include <cstdlib>

using namespace taluvo::test;

namespace {

QString Canonical(const QString& url)
{
    char16_t buffer[8192];
    DWORD length = 8192;
    if (!InternetCanonicalizeUrl(
            reinterpret_cast<LPCWSTR>(url.utf16()), buffer, &length, ICU_BROWSER_MODE | ICU_NO_META))
        return QStringLiteral("<fails>");
    return QString::fromUtf16(buffer, length);
}

TEST(InternetUtils, CanonicalFormInBrowserMode)
{
    struct Case {
        const char16_t* url;
        const char16_t* canonical;
    };
    const Case cases[] = {
        { u"http://www.example.com", u"http://www.example.com/" },
        { u"HTTP://Example.COM/Path", u"http://Example.COM/Path" },
        { u"  http://example.com/a b  ", u"http://example.com/a%20b" },
        { u"http://example.com/a b?c d#e f", u"http://example.com/a%20b?c d#e f" },
        { u"http://example.com/a?q= x ", u"http://example.com/a?q= x " },
        { u"http://example.com/a/../b/./c", u"http://example.com/a/../b/./c" },
        { u"http://example.com/\u00e4\u20ac", u"http://example.com/%C3%A4%E2%82%AC" },
        { u"http://example.com/<x>\"{}|\\^`", u"http://example.com/%3Cx%3E%22%7B%7D%7C%5C%5E%60" },
        { u"http://example.com/100%25/%zz", u"http://example.com/100%25/%zz" },
        { u"http://example.com/tab\there", u"http://example.com/tab%09here" },
        { u"http://example.com?q", u"http://example.com/?q" },
        { u"http://example.com#top", u"http://example.com/#top" },
        { u"https://user:pw@example.com:8443/x", u"https://user:pw@example.com:8443/x" },
        { u"http://[::1]:8080/p q", u"http://[::1]:8080/p%20q" },
        { u"www.example.com", u"<fails>" },
        { u"", u"<fails>" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Canonical(QString::fromUtf16(c.url)), QString::fromUtf16(c.canonical))
            << QString::fromUtf16(c.url).toStdString();
}

struct CrackCase {
    const char16_t* url;
    bool ok;
    const char16_t* host;
    const char16_t* path;
    INTERNET_SCHEME scheme;
    INTERNET_PORT port;
};

const CrackCase kCrackCases[] = {
    { u"https://example.com/a/b?c=1#d", true, u"example.com", u"/a/b?c=1#d", INTERNET_SCHEME_HTTPS, 443 },
    { u"http://example.com", true, u"example.com", u"/", INTERNET_SCHEME_HTTP, 80 },
    { u"http://Example.com:8080/x", true, u"Example.com", u"/x", INTERNET_SCHEME_HTTP, 8080 },
    { u"https://h:/p", true, u"h", u"/p", INTERNET_SCHEME_HTTPS, 443 },
    { u"http://[::1]:8080/p", true, u"::1", u"/p", INTERNET_SCHEME_HTTP, 8080 },
    { u"http://user:pw@h.example/p?q=a b", true, u"h.example", u"/p?q=a b", INTERNET_SCHEME_HTTP, 80 },
    { u"http://h/a b/\u00e4?x", true, u"h", u"/a%20b/%C3%A4?x", INTERNET_SCHEME_HTTP, 80 },
    { u"http://h/./a/../b", true, u"h", u"/./a/../b", INTERNET_SCHEME_HTTP, 80 },
    { u"http://127.0.0.1:65535/", true, u"127.0.0.1", u"/", INTERNET_SCHEME_HTTP, 65535 },
    { u"ftp://files.example/pub", true, u"files.example", u"/pub", INTERNET_SCHEME_FTP, 21 },
    { u"www.example.com", false, u"", u"", 0, 0 },
    { u"http:///path", false, u"", u"", 0, 0 },
    { u"http://h:0/", false, u"", u"", 0, 0 },
    { u"http://h:65536/", false, u"", u"", 0, 0 },
};

TEST(InternetUtils, CrackUrlSplitsTheCanonicalAddress)
{
    for (const CrackCase& c : kCrackCases) {
        const QString url = QString::fromUtf16(c.url);
        QString host, path;
        INTERNET_SCHEME scheme = -5;
        INTERNET_PORT port = 0;
        const BOOL ok = CrackUrl(url, host, path, scheme, &port);
        ASSERT_EQ(ok != FALSE, c.ok) << url.toStdString();
        if (!c.ok)
            continue;
        EXPECT_EQ(host, QString::fromUtf16(c.host)) << url.toStdString();
        EXPECT_EQ(path, QString::fromUtf16(c.path)) << url.toStdString();
        EXPECT_EQ(scheme, c.scheme) << url.toStdString();
        EXPECT_EQ(port, c.port) << url.toStdString();
    }
}

TEST(InternetUtils, CrackUrlAgreesWithPythonsSplit)
{
    // The split of every canonical address is checked against urllib.parse.
    TempDir dir;
    QJsonArray urls;
    for (const CrackCase& c : kCrackCases) {
        if (c.ok)
            urls.append(Canonical(QString::fromUtf16(c.url)));
    }
    WriteFile(dir.File("in.json"), QJsonDocument(urls).toJson().toStdString());
    WriteFile(dir.File("split.py"), R"(
import json, sys, urllib.parse
defaults = {"http": 80, "https": 443, "ftp": 21}
out = []
for url in json.load(open(sys.argv[1])):
    s = urllib.parse.urlsplit(url)
    rest = url[len(s.scheme) + 3 + len(s.netloc):]
    out.append({"host": s.hostname, "port": s.port or defaults[s.scheme], "scheme": s.scheme, "path": rest})
json.dump(out, open(sys.argv[2], "w"))
)");
    const std::string command
        = "/usr/bin/python3 " + dir.File("split.py") + " " + dir.File("in.json") + " " + dir.File("out.json");
    ASSERT_EQ(std::system(command.c_str()), 0);
    const QJsonArray expected
        = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(dir.File("out.json")))).array();
    ASSERT_EQ(expected.size(), urls.size());
    for (qsizetype i = 0; i < urls.size(); ++i) {
        const QString url = urls[i].toString();
        const QJsonObject python = expected[i].toObject();
        QString host, path;
        INTERNET_SCHEME scheme = 0;
        INTERNET_PORT port = 0;
        ASSERT_TRUE(CrackUrl(url, host, path, scheme, &port)) << url.toStdString();
        EXPECT_EQ(host.toLower(), python["host"].toString()) << url.toStdString();
        EXPECT_EQ(path, python["path"].toString()) << url.toStdString();
        EXPECT_EQ(port, python["port"].toInt()) << url.toStdString();
        const QString schemeName = python["scheme"].toString();
        EXPECT_EQ(scheme,
            schemeName == QLatin1String("https")      ? INTERNET_SCHEME_HTTPS
                : schemeName == QLatin1String("http") ? INTERNET_SCHEME_HTTP
                                                      : INTERNET_SCHEME_FTP);
    }
}

TEST(InternetUtils, CrackUrlGrowsItsBufferForALongCanonicalForm)
{
    // 2084 characters whose canonical form is longer: the first canonicalisation asks for room.
    QString url = QStringLiteral("http://h/");
    url += QStringLiteral("a b c");
    url += QString(2084 - url.size(), QLatin1Char('x'));
    ASSERT_EQ(url.size(), 2084);
    QString host, path;
    INTERNET_SCHEME scheme = 0;
    ASSERT_TRUE(CrackUrl(url, host, path, scheme));
    EXPECT_EQ(path.size(), 2076 + 4);
    EXPECT_TRUE(path.startsWith(QStringLiteral("/a%20b%20c")));
    // A path beyond the 2084 characters the caller has room for fails.
    QString longer = QStringLiteral("http://h/") + QString(3000, QLatin1Char('y'));
    EXPECT_FALSE(CrackUrl(longer, host, path, scheme));
}

TEST(InternetUtils, IntervalsSplitAndFormat)
{
    struct Split {
        DWORD seconds;
        int days, hours, minutes;
    };
    for (const Split& c : { Split { 3600, 0, 1, 0 }, Split { 86400, 1, 0, 0 }, Split { 86400 + 3600 + 60 + 1, 1, 1, 1 },
             Split { 59, 0, 0, 0 }, Split { 0, 0, 0, 0 }, Split { 1439 * 60, 0, 23, 59 },
             Split { 0xFFFFFFFFu, 49710, 6, 28 } }) {
        int d = -1, h = -1, m = -1;
        SplitInterval(c.seconds, d, h, m);
        EXPECT_EQ(d, c.days) << c.seconds;
        EXPECT_EQ(h, c.hours) << c.seconds;
        EXPECT_EQ(m, c.minutes) << c.seconds;
    }
    struct Format {
        int days, hours, minutes;
        const char* text;
    };
    for (const Format& c : { Format { 0, 0, 0, "Invalid interval" }, Format { 2, 0, 0, "2 days" },
             Format { 0, 1, 1, "1 hour, 1 minute" }, Format { 1, 2, 30, "1 day, 2 hours, 30 minutes" },
             Format { 0, 0, 1, "1 minute" }, Format { -1, 0, 5, "5 minutes" }, Format { -1, -2, 0, "" } }) {
        EXPECT_EQ(FormatInterval(c.days, c.hours, c.minutes), QString::fromLatin1(c.text));
    }
}

TEST(InternetUtils, OnlineStateOfTheInterfaces)
{
    using taluvo::shell::NetworkInterface;
    const unsigned up = IFF_UP | IFF_RUNNING;
    const NetworkInterface lo { QStringLiteral("lo"), up | IFF_LOOPBACK, true };
    const NetworkInterface eth { QStringLiteral("eth0"), up | IFF_BROADCAST, true };
    const NetworkInterface ppp { QStringLiteral("ppp0"), up | IFF_POINTOPOINT, true };
    const NetworkInterface wg { QStringLiteral("wg0"), up | IFF_NOARP, true };
    const NetworkInterface ethDown { QStringLiteral("eth1"), IFF_UP | IFF_BROADCAST, true }; // no carrier
    const NetworkInterface ethNoAddress { QStringLiteral("eth2"), up | IFF_BROADCAST, false };
    const NetworkInterface pppDown { QStringLiteral("ppp1"), IFF_POINTOPOINT, true };
    struct Case {
        const char* name;
        std::vector<NetworkInterface> interfaces;
        BOOL connected;
        DWORD flags;
        BOOL dialUp;
    };
    const Case cases[] = {
        { "nothing", {}, FALSE, 0, FALSE },
        { "loopback only", { lo }, FALSE, 0, FALSE },
        { "LAN", { lo, eth }, TRUE, INTERNET_CONNECTION_LAN, FALSE },
        { "point-to-point only", { lo, ppp }, TRUE, INTERNET_CONNECTION_MODEM | INTERNET_RAS_INSTALLED, TRUE },
        { "wireguard by name", { lo, wg }, TRUE, INTERNET_CONNECTION_MODEM | INTERNET_RAS_INSTALLED, TRUE },
        { "LAN and point-to-point", { lo, eth, ppp }, TRUE, INTERNET_CONNECTION_LAN | INTERNET_RAS_INSTALLED, TRUE },
        { "LAN without carrier or address", { lo, ethDown, ethNoAddress }, FALSE, 0, FALSE },
        { "LAN and a link that is down", { lo, eth, pppDown }, TRUE, INTERNET_CONNECTION_LAN | INTERNET_RAS_INSTALLED,
            FALSE },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<NetworkInterface> interfaces = c.interfaces;
        taluvo::shell::SetInterfaceSource([interfaces] {
            // NOLINTNEXTLINE(performance-no-automatic-move): asked more than once, so each call hands out a copy
            return interfaces;
        });
        DWORD flags = 0xDEAD;
        EXPECT_EQ(InternetGetConnectedState(&flags, 0), c.connected);
        EXPECT_EQ(flags, c.flags);
        EXPECT_EQ(CountActiveRasConnections(), c.dialUp);
    }
    taluvo::shell::SetInterfaceSource({});
}

// A stand-in browser that writes its argv, NUL-separated, to a file.
class GotoUrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string root = m_dir.Path();
        for (const char* sub : { "/config", "/data", "/data/applications", "/empty", "/bin", "/my browser" })
            mkdir((root + sub).c_str(), 0755);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (root + "/empty").c_str(), 1);
        setenv("XDG_DATA_DIRS", (root + "/empty").c_str(), 1);
        m_browser = root + "/my browser/recorder";
        WriteArgvRecorder(m_browser, m_dir.File("browser.out"));
    }

    void RegisterBrowser(const std::string& exec)
    {
        WriteFile(m_dir.File("config/mimeapps.list"),
            "[Added Associations]\nx-scheme-handler/http=other.desktop;\n"
            "[Default "
            "Applications]\ntext/html=other.desktop\nx-scheme-handler/http=missing.desktop;stand-in.desktop;\n");
        WriteFile(m_dir.File("data/applications/stand-in.desktop"),
            "[Desktop Entry]\nType=Application\nName=Stand-in\nExec=" + exec + "\n");
    }

    TempDir m_dir;
    std::string m_browser;
};

TEST_F(GotoUrlTest, NewWindowRunsTheWholeExecLineWithTheAddressAsOneArgument)
{
    // A second stand-in where a wrapper (flatpak) would be.
    const std::string wrapper = m_dir.File("bin/flatpak");
    WriteArgvRecorder(wrapper, m_dir.File("browser.out"));
    const std::string quoted = "\"" + m_browser + "\"";
    struct Case {
        std::string exec; // as written in the desktop file
        std::vector<std::string> arguments; // what the started program gets after its own name; "@" is the address
        std::string program;
    };
    const Case cases[] = {
        { quoted + " --new-window %u", { "--new-window", "@" }, m_browser },
        // env runs the browser only when it gets the whole line (it took the address for a
        // variable or a program before).
        { "env TALUVO_TEST_VAR=1 " + quoted + " %u", { "@" }, m_browser },
        { wrapper + " run org.example.Browser %U", { "run", "org.example.Browser", "@" }, wrapper },
        // Field codes without a value vanish with their argument; "%%" is a percent sign.
        { quoted + " --icon %i --name=%c %k 100%% %u", { "--icon", "--name=", "100%", "@" }, m_browser },
        // Quoting by the desktop-entry rules: a quoted blank and an escaped quote stay in their
        // argument (the file's "\\" is one backslash once the value is read).
        { quoted + " \"--title=a b \\\\\"c\\\\\"\" %u", { "--title=a b \"c\"", "@" }, m_browser },
        // No place for the address: it is appended.
        { quoted, { "@" }, m_browser },
    };
    const char* addresses[] = {
        "http://example.com/page",
        "http://example.com/a b?q=\"quoted\" 'single'&x=$(id);`uname`%u",
        "http://example.com/\" --evil-flag \"",
    };
    for (const Case& c : cases) {
        RegisterBrowser(c.exec);
        for (const char* address : addresses) {
            SCOPED_TRACE(c.exec + " / " + address);
            std::remove(m_dir.File("browser.out").c_str());
            EXPECT_EQ(GotoURL(nullptr, QString::fromUtf8(address), TRUE), 33);
            std::vector<std::string> expected { c.program };
            for (const std::string& argument : c.arguments)
                expected.push_back(argument == "@" ? address : argument);
            EXPECT_EQ(ReadArgv(m_dir.File("browser.out")), expected);
        }
    }
}

TEST_F(GotoUrlTest, WithoutARegisteredBrowserTheDesktopHandlerOpensTheAddress)
{
    WriteArgvRecorder(m_dir.File("bin/xdg-open"), m_dir.File("xdg.out"));
    const std::string path = m_dir.File("bin") + ":" + std::getenv("PATH");
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(GotoURL(nullptr, QStringLiteral("http://example.com/x y"), TRUE), 33);
    EXPECT_EQ(ReadArgv(m_dir.File("xdg.out")),
        (std::vector<std::string> { m_dir.File("bin/xdg-open"), "http://example.com/x y" }));
}

TEST_F(GotoUrlTest, AnAddressThatLooksLikeAnOptionReachesNoProgram)
{
    RegisterBrowser("\"" + m_browser + "\" %u");
    WriteArgvRecorder(m_dir.File("bin/xdg-open"), m_dir.File("xdg.out"));
    const std::string path = m_dir.File("bin") + ":" + std::getenv("PATH");
    setenv("PATH", path.c_str(), 1);
    for (const char* address : { "--remote-debugging-port=9222", "-new-instance", "" }) {
        SCOPED_TRACE(address);
        EXPECT_LE(GotoURL(nullptr, QString::fromUtf8(address), TRUE), 32);
        EXPECT_LE(GotoURL(nullptr, QString::fromUtf8(address), FALSE), 32);
    }
    // Nothing was started: a harmless address afterwards is the first either program sees.
    EXPECT_EQ(GotoURL(nullptr, QStringLiteral("http://x/-y"), TRUE), 33);
    EXPECT_EQ(GotoURL(nullptr, QStringLiteral("http://x/-z"), FALSE), 33);
    EXPECT_EQ(ReadArgv(m_dir.File("browser.out")), (std::vector<std::string> { m_browser, "http://x/-y" }));
    EXPECT_EQ(
        ReadArgv(m_dir.File("xdg.out")), (std::vector<std::string> { m_dir.File("bin/xdg-open"), "http://x/-z" }));
}

TEST_F(GotoUrlTest, TheRequestGoesThroughTheShellHook)
{
    RegisterBrowser("\"" + m_browser + "\" %u");
    std::vector<taluvo::shell::Request> seen;
    taluvo::shell::SetRequestHook([&](const taluvo::shell::Request& request) {
        seen.push_back(request);
        return true;
    });
    EXPECT_EQ(GotoURL(nullptr, QStringLiteral("http://a.example/x y"), TRUE), 33);
    EXPECT_GT(GotoURL(nullptr, QStringLiteral("http://b.example/"), FALSE), 32);
    taluvo::shell::SetRequestHook({});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].kind, taluvo::shell::RequestKind::RunProgram);
    EXPECT_EQ(
        seen[0].arguments, (QStringList { QString::fromStdString(m_browser), QStringLiteral("http://a.example/x y") }));
    EXPECT_EQ(seen[1].kind, taluvo::shell::RequestKind::OpenUrl);
    EXPECT_EQ(seen[1].arguments, QStringList { QStringLiteral("http://b.example/") });
    EXPECT_NE(access(m_dir.File("browser.out").c_str(), F_OK), 0);
}

TEST_F(GotoUrlTest, WithoutNewWindowTheDesktopHandlerOpensTheAddress)
{
    WriteArgvRecorder(m_dir.File("bin/xdg-open"), m_dir.File("xdg.out"));
    const std::string path = m_dir.File("bin") + ":" + std::getenv("PATH");
    setenv("PATH", path.c_str(), 1);
    const char* address = "http://example.com/a b?c=\"d\"";
    EXPECT_EQ(GotoURL(nullptr, QString::fromUtf8(address), FALSE), 33);
    const std::vector<std::string> argv = ReadArgv(m_dir.File("xdg.out"));
    ASSERT_EQ(argv.size(), 2u);
    EXPECT_EQ(argv[1], address);
}

TEST_F(GotoUrlTest, FailuresAreResultsAtOrBelow32)
{
    // No browser registered and no desktop handler: 32, and nothing is started.
    setenv("PATH", m_dir.File("empty").c_str(), 1);
    EXPECT_EQ(GotoURL(nullptr, QStringLiteral("http://example.com/"), TRUE), 32);
    // A registered browser whose program is missing, or whose interpreter is (the file is there
    // and executable, but exec fails): 31, so no caller takes the page for opened.
    RegisterBrowser("/nonexistent/browser %u");
    EXPECT_EQ(GotoURL(nullptr, QStringLiteral("http://example.com/"), TRUE), 31);
    WriteFile(m_dir.File("bin/broken"), "#!/nonexistent/interpreter\n");
    chmod(m_dir.File("bin/broken").c_str(), 0755);
    RegisterBrowser(m_dir.File("bin/broken") + " %u");
    EXPECT_EQ(GotoURL(nullptr, QStringLiteral("http://example.com/"), TRUE), 31);
    // A line that names no program.
    RegisterBrowser("%u");
    EXPECT_EQ(GotoURL(nullptr, QStringLiteral("http://example.com/"), TRUE), 31);
    // No desktop handler on the PATH.
    EXPECT_LE(GotoURL(nullptr, QStringLiteral("http://example.com/"), FALSE), 32);
}

} // namespace
