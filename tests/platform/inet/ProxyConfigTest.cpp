#include "platform/inet/ProxyConfig.h"

#include <gtest/gtest.h>

using taluvo::inet::BypassMatches;
using taluvo::inet::ParseProxyList;

TEST(ProxyConfig, BypassListSyntax)
{
    struct Case {
        const char* list;
        const char* scheme;
        const char* host;
        int port;
        bool bypass;
    };
    const Case cases[] = {
        { "", "http", "www.example.com", 80, false },
        { "www.example.com", "http", "www.example.com", 80, true },
        { "WWW.Example.COM", "http", "www.example.com", 80, true },
        { "www.example.com", "http", "example.com", 80, false },
        { "*.example.com", "http", "www.example.com", 80, true },
        { "*.example.com", "http", "example.com", 80, false },
        { "*.example.com", "http", "a.b.example.com", 80, true },
        { "*example*", "http", "myexample.org", 80, true },
        { "192.168.*", "http", "192.168.1.20", 80, true },
        { "192.168.*", "http", "10.192.168.1", 80, false },
        { "*", "https", "anything", 443, true },
        { "a.com;b.com ; c.com", "http", "c.com", 80, true },
        { "a.com, b.com", "http", "b.com", 80, true },
        { ";;", "http", "a.com", 80, false },
        { "<local>", "http", "intranet", 80, true },
        { "<LOCAL>", "http", "intranet", 80, true },
        { "<local>", "http", "www.example.com", 80, false },
        { "<local>", "http", "127.0.0.1", 80, false },
        { "<local>", "http", "::1", 80, false },
        { "www.example.com:8080", "http", "www.example.com", 8080, true },
        { "www.example.com:8080", "http", "www.example.com", 80, false },
        { "https://secure.example.com", "https", "secure.example.com", 443, true },
        { "https://secure.example.com", "http", "secure.example.com", 80, false },
        { "http://*.example.com:81", "http", "a.example.com", 81, true },
        { "[::1]:8080", "http", "::1", 8080, true },
        { "::1", "http", "::1", 80, true },
        { "a*b*c", "http", "abxxbc", 80, true },
        { "a*b*c", "http", "acb", 80, false },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BypassMatches(
                      QString::fromLatin1(c.list), QString::fromLatin1(c.scheme), QString::fromLatin1(c.host), c.port),
            c.bypass)
            << "list \"" << c.list << "\" host " << c.scheme << "://" << c.host << ":" << c.port;
    }
}

TEST(ProxyConfig, ProxyListNamesAProxyPerScheme)
{
    struct Case {
        const char* list;
        const char* http;
        const char* https;
        bool httpUnusable = false;
        bool httpsUnusable = false;
    };
    const Case cases[] = {
        { "http=proxy:3128 https=proxy:3129", "http://proxy:3128", "http://proxy:3129" },
        { "proxy:8080", "http://proxy:8080", "http://proxy:8080" },
        { "proxy", "http://proxy:80", "http://proxy:80" },
        { "http=http://proxy:3128", "http://proxy:3128", "" },
        { "https=secure:443;http=plain:80", "http://plain:80", "http://secure:443" },
        { "common:1 https=special:2", "http://common:1", "http://special:2" },
        { "ftp=f:21 http=h:8", "http://h:8", "" },
        { "http=[::1]:3128", "http://[::1]:3128", "" },
        { "http=proxy:99999", "", "", true, false },
        { "http=:8080 https=:8080", "", "", true, true },
        { "", "", "" },
    };
    for (const Case& c : cases) {
        const taluvo::inet::ProxyList list = ParseProxyList(QString::fromLatin1(c.list));
        EXPECT_EQ(list.http, QString::fromLatin1(c.http)) << c.list;
        EXPECT_EQ(list.https, QString::fromLatin1(c.https)) << c.list;
        EXPECT_EQ(list.httpUnusable, c.httpUnusable) << c.list;
        EXPECT_EQ(list.httpsUnusable, c.httpsUnusable) << c.list;
    }
}
