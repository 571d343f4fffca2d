#include "core/Exceptions.h"

#include "platform/base/KernelObjects.h"

#include <gtest/gtest.h>

TEST(Exceptions, FailExceptionCarriesLocationAndShortText)
{
    CFailException e(
        QStringLiteral("Unable to save pereferences."), "core/db/PrefsRow.cpp", 1744, "(1 == m_db.execDML(bufSQL))");
    const QString message = e.GetMessage();
    EXPECT_TRUE(message.startsWith(QStringLiteral("Unable to save pereferences.\nFile: ")));
    EXPECT_TRUE(message.contains(QStringLiteral("core/db/PrefsRow.cpp(1744)\n")));
    EXPECT_TRUE(message.endsWith(QStringLiteral("\nExpr.: (1 == m_db.execDML(bufSQL))\n")));
    EXPECT_EQ(e.GetShortText(), QStringLiteral("Unable to save pereferences."));
    // The short text replaces the message: the whole text is gone afterwards.
    EXPECT_EQ(e.GetMessage(), QStringLiteral("Unable to save pereferences."));
}

TEST(Exceptions, ShortTextCutsAtCarriageReturnFirst)
{
    struct Case {
        const char16_t* message;
        const char16_t* shortText;
    };
    const Case cases[] = {
        { u"First\r\nSecond\nFile: x.cpp(1)", u"First" },
        { u"Whole message\nFile: x.cpp(1)\nExpr.: e\n", u"Whole message" },
        { u"No markers at all", u"No markers at all" },
        { u"", u"" },
    };
    for (const Case& c : cases) {
        CCmnException e { QString::fromUtf16(c.message) };
        EXPECT_EQ(e.GetShortText(), QString::fromUtf16(c.shortText)) << QString::fromUtf16(c.message).toStdString();
    }
    CCmnException empty;
    EXPECT_TRUE(empty.GetShortText().isNull());
}

TEST(Exceptions, FormattedFailureFillsArgumentsAndIsBounded)
{
    CFailExceptionFmt e("core/prefs/Preferences.cpp", 12, "(pParam)", u"Unknown parameter \"%hs\"", "Bogus");
    EXPECT_TRUE(
        e.GetMessage().startsWith(QStringLiteral("Unknown parameter \"Bogus\"\nFile: core/prefs/Preferences.cpp(12)")));
    EXPECT_EQ(e.GetShortText(), QStringLiteral("Unknown parameter \"Bogus\""));

    const QString huge(10000, QLatin1Char('x'));
    CFailExceptionFmt big("f.cpp", 1, "e", u"%s", huge);
    EXPECT_EQ(big.GetMessage().size(), 4095);
}

TEST(Exceptions, CopiesAreIndependent)
{
    CFailException original(QStringLiteral("Text"), "a.cpp", 1, "x");
    CCmnException copy = original;
    copy.GetShortText();
    EXPECT_EQ(copy.GetMessage(), QStringLiteral("Text"));
    EXPECT_TRUE(original.GetMessage().contains(QStringLiteral("\nFile: a.cpp(1)")));
}

TEST(Exceptions, ThrowMacrosKeepTheExpressionText)
{
    int rows = 0;
    try {
        FAIL_CHECK((1 == rows), QStringLiteral("Unable to save."));
        FAIL() << "no throw";
    } catch (const CCmnException& e) {
        EXPECT_TRUE(e.GetMessage().endsWith(QStringLiteral("\nExpr.: (1 == rows)\n")));
    }
    EXPECT_THROW(FAIL_CHECK_FMT(rows > 0, u"Rows: %d", rows), CFailExceptionFmt);
    EXPECT_NO_THROW(FAIL_CHECK(rows == 0, QStringLiteral("never")));
}

TEST(Exceptions, SocketExceptionReadsTheLastSocketError)
{
    WSASetLastError(10061);
    CSocketException e(QStringLiteral("Unable to connect."), "net.cpp", 7, "(connect(s) == 0)");
    EXPECT_EQ(e.GetErrorCode(), 10061);
    EXPECT_EQ(e.GetMessage(),
        QStringLiteral(
            "Unable to connect.\nFile: net.cpp(7)\nError: Connection refused (10061)\nExpr.: (connect(s) == 0)"));
}

TEST(ErrorTexts, SocketTable)
{
    EXPECT_EQ(QString::fromUtf16(GetSocketErrorText(10061)), QStringLiteral("Connection refused"));
    EXPECT_EQ(QString::fromUtf16(GetSocketErrorText(0)), QStringLiteral("No error."));
    EXPECT_EQ(QString::fromUtf16(GetSocketErrorText(12345)), QStringLiteral("Unknown error"));
    EXPECT_EQ(QString::fromUtf16(GetSocketErrorText(11001)), QStringLiteral("Host not found."));
}

TEST(ErrorTexts, DescriptionsDropTheLineBreak)
{
    EXPECT_EQ(GetErrorDescription(1223), QStringLiteral("The operation was canceled by the user."));
    EXPECT_EQ(GetErrorDescription(12002, u"wininet.dll"), QStringLiteral("The operation timed out"));
    EXPECT_EQ(GetErrorDescription(12002, u"WININET.DLL"), QStringLiteral("The operation timed out"));
    EXPECT_EQ(GetErrorDescription(987654), QStringLiteral("Unable to get error description."));
    EXPECT_EQ(GetErrorDescription(1223, u"nosuch.dll"), QStringLiteral("Unable to get error description."));
}
