#include "engine/HttpTexts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>

namespace {

// The reference: Python's RFC 1123 formatter for HTTP dates.
std::string PythonHttpDate(long long t)
{
    const std::string command = "/usr/bin/python3 -c 'import email.utils,sys; print(email.utils.formatdate("
        + std::to_string(t) + ", usegmt=True))'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return {};
    char line[128] = {};
    if (!fgets(line, sizeof line, pipe.get()))
        return {};
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace

TEST(HttpTexts, HttpDatesMatchPython)
{
    EXPECT_EQ(FormatHttpDate(0), QStringLiteral("Thu, 01 Jan 1970 00:00:00 GMT"));
    EXPECT_EQ(FormatHttpDate(-1), QStringLiteral("Unknown"));
    std::mt19937 rng(3);
    std::uniform_int_distribution<long long> times(0, 4102444799LL);
    for (long long t : { 951782400LL, 1796759100LL, 2147483647LL, times(rng), times(rng), times(rng) })
        EXPECT_EQ(FormatHttpDate(t).toStdString(), PythonHttpDate(t)) << t;
}

TEST(HttpTexts, StatusTexts)
{
    EXPECT_EQ(GetHttpStatusText(200), QStringLiteral("The request completed successfully."));
    EXPECT_EQ(GetHttpStatusText(402), QStringLiteral(" Not implemented in the HTTP protocol."));
    EXPECT_EQ(
        GetHttpStatusText(404), QStringLiteral("The server has not found anything that matches the requested URI. "));
    EXPECT_EQ(GetHttpStatusText(418), QStringLiteral("Unknown HTTP status code. Code: 418."));
    EXPECT_EQ(GetHttpStatusText(306), QStringLiteral("Unknown HTTP status code. Code: 306."));
}

TEST(HttpTexts, ErrorTexts)
{
    EXPECT_EQ(GetInternetErrorText(0), QStringLiteral("No error."));
    EXPECT_EQ(GetInternetErrorText(12002), QStringLiteral("The operation timed out"));
    EXPECT_EQ(GetInternetErrorText(12029), QStringLiteral("A connection with the server could not be established"));
    EXPECT_EQ(GetInternetErrorText(1223), QStringLiteral("The operation was canceled by the user."));
    EXPECT_EQ(
        GetInternetErrorText(12175), QStringLiteral("Unable to get error description.")); // outside the library's range
    EXPECT_EQ(GetInternetErrorText(424242), QStringLiteral("Unable to get error description."));
}
