// A name lookup that never ends, given up: by the caller's close, or by the request's own connect
// time-out. The test runs in a private network and mount namespace of its own, where the system
// resolver asks a name server of the test's that reads every query and never answers, as a name
// server behind a dead link does. A loopback page fetched right after must be served as if no
// lookup had ever been under way: the transfers' one thread must not wait for the lookup's end.
#include "platform/base/KernelObjects.h"
#include "platform/inet/WinInet.h"
#include "tests/platform/inet/InetTestSupport.h"
#include "tests/support/PrivateNamespace.h"
#include "tests/support/SilentNameServer.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <string>

using namespace taluvo::test;

namespace {

TEST(InternetLookup, ALookupGivenUpHoldsNoOtherTransfer)
{
    // The system resolver of the namespace: this test's name server alone, one try that lasts
    // its longest (30 s), and names looked up in the hosts file and then by DNS.
    TempDir dir;
    if (!IsNamespaceChild()) {
        WriteFile(dir.File("resolv.conf"), "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n");
        WriteFile(dir.File("nsswitch.conf"), "hosts: files dns\n");
    }
    const std::string notPermitted = " || exit " + std::to_string(kNamespaceNotPermitted) + "\n";
    std::string output;
    const NamespaceRun run = RunAgainInNamespace("-rmn",
        "ip link set lo up" + notPermitted + "mount --bind " + ShellQuoted(dir.File("resolv.conf"))
            + " /etc/resolv.conf" + notPermitted + "mount --bind " + ShellQuoted(dir.File("nsswitch.conf"))
            + " /etc/nsswitch.conf" + notPermitted,
        output);
    if (run == NamespaceRun::NotPermitted)
        GTEST_SKIP() << "this system allows no private network and mount namespace with its own resolv.conf "
                        "and nsswitch.conf (unshare -rmn, mount --bind, ip link): "
                     << output;
    if (run != NamespaceRun::Child) {
        EXPECT_EQ(run, NamespaceRun::Passed) << output;
        return;
    }

    SilentNameServer names;
    ASSERT_TRUE(names.Listening()) << "no name server on 127.0.0.1 port 53 in the namespace";
    PeerProcess server({ "http", "A" });
    FetchOptions page;
    page.port = server.Port();
    page.object = QStringLiteral("/body?size=5000");

    const struct {
        const char* how;
        const char16_t* host;
        bool closed; // by the caller; else by the request's own connect time-out
    } cases[] = {
        { "closed by its caller", u"closed.lookup.test", true },
        { "ended by its connect time-out", u"timed.lookup.test", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        HINTERNET lostSession = OpenAsyncSession();
        DWORD connectTimeout = 1000;
        ASSERT_TRUE(
            InternetSetOption(lostSession, INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout, sizeof connectTimeout));
        Recorder lost;
        const auto context = reinterpret_cast<DWORD_PTR>(&lost);
        HINTERNET connect
            = InternetConnect(lostSession, c.host, 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, context);
        ASSERT_NE(connect, nullptr);
        LPCWSTR accept[] = { u"text/*", nullptr };
        HINTERNET request = HttpOpenRequest(connect, u"GET", u"/", nullptr, nullptr, accept, 0, context);
        ASSERT_NE(request, nullptr);
        const int queriesBefore = names.Queries();
        ASSERT_FALSE(HttpSendRequestEx(request, nullptr, nullptr, HSR_ASYNC, context));
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
        // The lookup is under way once the name server has its query.
        ASSERT_TRUE(WaitUntil([&] { return names.Queries() > queriesBefore; })) << "the lookup never asked";
        if (!c.closed) {
            INTERNET_ASYNC_RESULT result {};
            ASSERT_TRUE(lost.WaitCompletion(result)) << "the request did not end at its connect time-out";
            EXPECT_NE(result.dwError, 0u);
        }
        InternetCloseHandle(request);
        InternetCloseHandle(connect);

        // The page on loopback, requested right after: its steps complete within the recorder's
        // bound, as they do with no lookup about.
        HINTERNET session = OpenAsyncSession();
        Recorder recorder;
        const FetchResult fetched = Fetch(session, recorder, page);
        EXPECT_EQ(fetched.error, 0u);
        EXPECT_EQ(fetched.statusCode, 200u);
        EXPECT_EQ(fetched.Body(), Pattern(5000));
        InternetCloseHandle(session);
        InternetCloseHandle(lostSession);
    }
    // The lookups given up still wait for their name server: the layer has let them go all the same.
    EXPECT_TRUE(taluvo::inet::WaitForRunningRequests(5000));
}

} // namespace
