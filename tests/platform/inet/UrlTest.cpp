// The component protocol of InternetCrackUrl and the buffer protocol of InternetCanonicalizeUrl.
// The splitting and canonicalising rules themselves are tables in the core suite (CrackUrl).
#include "platform/base/KernelObjects.h"
#include "platform/inet/WinInet.h"

#include <gtest/gtest.h>

#include <QString>

TEST(Url, CrackCopiesOrPointsIntoTheAddress)
{
    const char16_t* url = u"https://user:pw@Example.com:8443/a/b?q=1#frag";
    char16_t host[256];
    char16_t path[64];
    URL_COMPONENTS uc {};
    uc.dwStructSize = sizeof(uc);
    uc.lpszHostName = host;
    uc.dwHostNameLength = 256;
    uc.lpszUrlPath = path;
    uc.dwUrlPathLength = 64;
    uc.dwUserNameLength = 1; // asked for, no buffer: a pointer into the address
    ASSERT_TRUE(InternetCrackUrl(url, 0, 0, &uc));
    EXPECT_EQ(QString::fromUtf16(host), QStringLiteral("Example.com"));
    EXPECT_EQ(uc.dwHostNameLength, 11u);
    EXPECT_EQ(QString::fromUtf16(path), QStringLiteral("/a/b?q=1#frag"));
    EXPECT_EQ(uc.nScheme, INTERNET_SCHEME_HTTPS);
    EXPECT_EQ(uc.nPort, 8443);
    EXPECT_EQ(QString::fromUtf16(uc.lpszUserName, uc.dwUserNameLength), QStringLiteral("user"));
    EXPECT_EQ(uc.lpszUserName, url + 8);

    // With the extra information asked for, the path stops before it.
    char16_t extra[64];
    uc.lpszUserName = nullptr;
    uc.dwUserNameLength = 0;
    uc.dwHostNameLength = 256; // the lengths came back as the copied lengths
    uc.lpszUrlPath = path;
    uc.dwUrlPathLength = 64;
    uc.lpszExtraInfo = extra;
    uc.dwExtraInfoLength = 64;
    ASSERT_TRUE(InternetCrackUrl(url, 0, 0, &uc));
    EXPECT_EQ(QString::fromUtf16(path), QStringLiteral("/a/b"));
    EXPECT_EQ(QString::fromUtf16(extra), QStringLiteral("?q=1#frag"));

    // A buffer without room for the component and its NUL.
    uc = {};
    uc.dwStructSize = sizeof(uc);
    uc.lpszHostName = host;
    uc.dwHostNameLength = 11;
    EXPECT_FALSE(InternetCrackUrl(url, 0, 0, &uc));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(uc.dwHostNameLength, 12u);

    // The length limits the address.
    uc = {};
    uc.dwStructSize = sizeof(uc);
    uc.lpszHostName = host;
    uc.dwHostNameLength = 256;
    ASSERT_TRUE(InternetCrackUrl(u"http://short.example/and/more", 20, 0, &uc));
    EXPECT_EQ(QString::fromUtf16(host), QStringLiteral("short.example"));
}

TEST(Url, CrackRefusesWhatIsNoAddress)
{
    struct Case {
        const char16_t* url;
        DWORD error;
    };
    const Case cases[] = {
        { u"www.example.com/page", ERROR_INTERNET_UNRECOGNIZED_SCHEME },
        { u"", ERROR_INTERNET_UNRECOGNIZED_SCHEME },
        { u"http://", ERROR_INTERNET_INVALID_URL },
        { u"http://host:99999/", ERROR_INTERNET_INVALID_URL },
        { u"http://host:12ab/", ERROR_INTERNET_INVALID_URL },
        { u"http://[::1/", ERROR_INTERNET_INVALID_URL },
    };
    for (const Case& c : cases) {
        URL_COMPONENTS uc {};
        uc.dwStructSize = sizeof(uc);
        uc.dwHostNameLength = 1;
        EXPECT_FALSE(InternetCrackUrl(c.url, 0, 0, &uc)) << QString::fromUtf16(c.url).toStdString();
        EXPECT_EQ(GetLastError(), c.error) << QString::fromUtf16(c.url).toStdString();
    }
}

TEST(Url, CanonicalizeAsksForTheRoomItNeeds)
{
    const char16_t* url = u"http://example.com/a b";
    char16_t small[8];
    DWORD length = 8;
    EXPECT_FALSE(InternetCanonicalizeUrl(url, small, &length, ICU_BROWSER_MODE | ICU_NO_META));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, 25u); // "http://example.com/a%20b" and its NUL
    std::vector<char16_t> buffer(length);
    ASSERT_TRUE(InternetCanonicalizeUrl(url, buffer.data(), &length, ICU_BROWSER_MODE | ICU_NO_META));
    EXPECT_EQ(length, 24u);
    EXPECT_EQ(QString::fromUtf16(buffer.data()), QStringLiteral("http://example.com/a%20b"));
}

TEST(Url, CanonicalizeFlagsOtherThanBrowserMode)
{
    struct Case {
        const char16_t* url;
        DWORD flags;
        const char16_t* canonical;
    };
    const Case cases[] = {
        { u"http://h/a/./b/../c?x y", 0, u"http://h/a/c?x%20y" },
        { u"http://h/a/./b/../c?x y", ICU_NO_META, u"http://h/a/./b/../c?x%20y" },
        { u"http://h/a<b> c", ICU_ENCODE_SPACES_ONLY, u"http://h/a<b>%20c" },
        { u"http://h/a b", ICU_NO_ENCODE, u"http://h/a b" },
    };
    for (const Case& c : cases) {
        char16_t buffer[256];
        DWORD length = 256;
        ASSERT_TRUE(InternetCanonicalizeUrl(c.url, buffer, &length, c.flags));
        EXPECT_EQ(QString::fromUtf16(buffer), QString::fromUtf16(c.canonical));
    }
}
