#include "mail/SmtpMsg.h"

#include "platform/base/TextCodec.h"
#include "tests/mail/MailTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <random>

namespace {

QByteArray Wire(CSmtpMsg& message)
{
    QString text;
    EXPECT_TRUE(message.Render(text));
    return taluvo::AnsiEncode(text);
}

// Header names of the rendered text in order, up to the first blank line.
QStringList HeaderNames(const QByteArray& wire)
{
    QStringList names;
    for (const QByteArray& line : wire.left(wire.indexOf("\r\n\r\n")).split('\n'))
        if (!line.startsWith('\t') && !line.startsWith(' ') && line.contains(':'))
            names.append(QString::fromLatin1(line.left(line.indexOf(':'))));
    return names;
}

QJsonArray Parse(const QList<QByteArray>& wires)
{
    QJsonArray hex;
    for (const QByteArray& wire : wires)
        hex.append(mailtest::Hex(wire));
    return mailtest::RunOracle({ { "op", "parse" }, { "messages", hex } }).array();
}

QString Header(const QJsonObject& parsed, const char* name)
{
    for (const auto& pair : parsed.value("headers").toArray())
        if (pair.toArray().at(0).toString() == QLatin1String(name))
            return pair.toArray().at(1).toString();
    return QString();
}

QString Crlf(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

CSmtpMsg BaseMessage()
{
    CSmtpMsg message;
    message.m_from = CSmtpMsgAddress(u"taluvo@example.com", u"Taluvo");
    message.m_to = CSmtpMsgAddress(u"ann@example.com", u"Ann");
    message.m_cc.push_back(CSmtpMsgAddress(u"bob@example.com", u"Bob"));
    message.m_cc.push_back(CSmtpMsgAddress(u"carl@example.com"));
    message.m_bcc.push_back(CSmtpMsgAddress(u"hidden@example.com", u"Hidden"));
    message.m_strSubject = QStringLiteral("Page is updated.");
    return message;
}

QString WriteAttachment(const taluvo::test::TempDir& dir, const std::string& name, const QByteArray& bytes)
{
    taluvo::test::WriteFile(dir.File(name), bytes.toStdString());
    return QString::fromStdString(dir.File(name));
}

} // namespace

TEST(SmtpMsg, OneTextPartRendersAsTheUpdateNotice)
{
    CSmtpMsg message = BaseMessage();
    message.m_bcc.clear();
    CSmtpMsgBody body(nullptr, u"text/plain", u"iso-8859-1", encodingGuess);
    body = QStringLiteral("Page \"http://example.com/\" was updated.");
    message.m_bodies.push_back(body);
    const QByteArray wire = Wire(message);
    EXPECT_EQ(HeaderNames(wire),
        QStringList({ "From", "To", "Subject", "Date", "Importance", "X-MSMail-Priority", "X-Priority", "MIME-Version",
            "Content-Type", "Content-Transfer-Encoding" }));
    EXPECT_TRUE(
        wire.startsWith("From: \"Taluvo\" <taluvo@example.com>\r\n"
                        "To: \"Ann\" <ann@example.com>,\r\n\t\"Bob\" <bob@example.com>,\r\n\t<carl@example.com>\r\n"
                        "Subject: Page is updated.\r\nDate: "));
    EXPECT_TRUE(wire.endsWith("\r\nImportance: Normal\r\nX-MSMail-Priority: Normal\r\nX-Priority: 3 (Normal)\r\n"
                              "MIME-Version: 1.0\r\nContent-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n"
                              "Content-Transfer-Encoding: 7bit\r\n\r\nPage \"http://example.com/\" was updated."))
        << wire.toStdString();
    EXPECT_FALSE(wire.contains("hidden"));
}

TEST(SmtpMsg, EveryShapeParsesWithPythonEmail)
{
    taluvo::test::TempDir dir;
    std::mt19937 rng(11);
    QByteArray binary(5000, '\0');
    for (char& c : binary)
        c = static_cast<char>(rng() & 0xFF);
    const QString attachmentPath = WriteAttachment(dir, "report.pdf", binary);
    const QString plain = QStringLiteral("First line\r\n.starts with a period\r\nGrüße, 5 €\r\n");
    const QString html = QStringLiteral("<p>Hello</p>\r\n");

    struct Shape {
        const char* what;
        int bodies;
        bool attachment;
        SmtpMimeType mime;
        const char* outerType;
        QStringList leafTypes;
    };
    const QList<Shape> shapes = {
        { "one text part", 1, false, mimeAuto, "text/plain", { "text/plain" } },
        { "two parts", 2, false, mimeAuto, "multipart/alternative", { "text/plain", "text/html" } },
        { "part and attachment", 1, true, mimeAuto, "multipart/mixed", { "text/plain", "application/pdf" } },
        { "two parts and attachment", 2, true, mimeAuto, "multipart/mixed",
            { "text/plain", "text/html", "application/pdf" } },
        { "related", 2, false, mimeRelated, "multipart/related", { "text/plain", "text/html" } },
    };
    QList<QByteArray> wires;
    for (const Shape& shape : shapes) {
        CSmtpMsg message = BaseMessage();
        message.m_mimeType = shape.mime;
        message.m_bodies.push_back(CSmtpMsgBody(plain, QStringLiteral("text/plain"), QStringLiteral("iso-8859-1")));
        if (shape.bodies > 1)
            message.m_bodies.push_back(
                CSmtpMsgBody(html, QStringLiteral("text/html"), QStringLiteral("utf-8"), encodingQuotedPrintable));
        if (shape.attachment)
            message.m_attachments.push_back(
                CSmtpMsgAttachment(reinterpret_cast<const char16_t*>(attachmentPath.utf16())));
        wires.append(Wire(message));
        const QStringList names = HeaderNames(wires.back());
        if (shape.bodies + shape.attachment > 1) {
            // The multipart Content-Type is the last header line, then the preamble.
            EXPECT_EQ(names.last(), QStringLiteral("Content-Type")) << shape.what;
            EXPECT_TRUE(wires.back().contains("\r\n\r\nThis is a multipart message in MIME format\r\n")) << shape.what;
        }
        EXPECT_EQ(wires.back().contains("CSmtpMsgPart123X456_001_"), shape.bodies > 1 && shape.attachment)
            << shape.what;
    }
    const QJsonArray parsed = Parse(wires);
    ASSERT_EQ(parsed.size(), shapes.size());
    for (qsizetype i = 0; i < shapes.size(); ++i) {
        const Shape& shape = shapes[i];
        const QJsonObject message = parsed[i].toObject();
        EXPECT_TRUE(message.value("defects").toArray().isEmpty()) << shape.what;
        EXPECT_EQ(message.value("content_type").toString(), QLatin1String(shape.outerType)) << shape.what;
        EXPECT_EQ(Header(message, "Subject"), QStringLiteral("Page is updated."));
        EXPECT_EQ(Header(message, "From"), QStringLiteral("Taluvo <taluvo@example.com>"));
        EXPECT_EQ(message.value("addresses").toObject().value("To").toArray().size(), 3) << shape.what;
        const QJsonArray parts = message.value("parts").toArray();
        ASSERT_EQ(parts.size(), shape.leafTypes.size()) << shape.what;
        for (qsizetype k = 0; k < parts.size(); ++k) {
            const QJsonObject part = parts[k].toObject();
            EXPECT_TRUE(part.value("defects").toArray().isEmpty()) << shape.what;
            EXPECT_EQ(part.value("content_type").toString(), shape.leafTypes[k]) << shape.what;
            if (shape.leafTypes[k] == QLatin1String("text/plain")) {
                EXPECT_EQ(Crlf(part.value("text").toString()), Crlf(plain)) << shape.what;
                // "€" does not fit ISO-8859-1: the part went out as UTF-8 and says so.
                EXPECT_EQ(part.value("charset").toString(), QStringLiteral("utf-8"));
            } else if (shape.leafTypes[k] == QLatin1String("text/html")) {
                EXPECT_EQ(Crlf(part.value("text").toString()), Crlf(html)) << shape.what;
            } else {
                EXPECT_EQ(mailtest::FromHex(part.value("payload").toString()), binary) << shape.what;
                EXPECT_EQ(part.value("filename").toString(), QStringLiteral("report.pdf"));
                EXPECT_EQ(part.value("disposition").toString(), QStringLiteral("attachment"));
            }
        }
    }
}

TEST(SmtpMsg, NamesAndSubjectsSurviveQuotingAndEncodedWords)
{
    struct Case {
        QString toName;
        QString subject;
    };
    const QList<Case> cases = {
        { "Ann \"The Boss\" \\ Smith", "Plain subject" },
        { "Jürgen Groß", "Größe: 5 € — überall" },
        { "Ω", QString(120, QChar(0x4E2D)) },
        { "", "A long subject " + QString("word ").repeated(40).trimmed() },
        { "", "Änderung " + QString("ä").repeated(60) },
        // ASCII that a reader would take for an encoded word and decode.
        { "", "=?utf-8?B?SGk=?=" },
    };
    QList<QByteArray> wires;
    for (const Case& c : cases) {
        CSmtpMsg message = BaseMessage();
        message.m_cc.clear();
        message.m_to.m_strName = c.toName;
        message.m_strSubject = c.subject;
        message.m_bodies.push_back(CSmtpMsgBody(u"x", u"text/plain", u"us-ascii"));
        wires.append(Wire(message));
        for (const QByteArray& line : wires.back().split('\n'))
            EXPECT_LT(line.size(), 100) << line.toStdString(); // folded or encoded into short lines
        // Lines with encoded words hold at most 76 characters, the first with "Subject: " too.
        const QList<QByteArray> lines = wires.back().split('\n');
        for (qsizetype k = 0; k < lines.size(); ++k) {
            if (!lines[k].startsWith("Subject: "))
                continue;
            for (qsizetype j = k; j < lines.size() && (j == k || lines[j].startsWith(' ')); ++j)
                if (lines[j].contains("=?")) {
                    EXPECT_LE(lines[j].trimmed().size(), 76) << lines[j].toStdString();
                }
        }
    }
    const QJsonArray parsed = Parse(wires);
    ASSERT_EQ(parsed.size(), cases.size());
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const QJsonObject message = parsed[i].toObject();
        EXPECT_TRUE(message.value("defects").toArray().isEmpty()) << i;
        EXPECT_EQ(Header(message, "Subject"), cases[i].subject) << i;
        const QJsonArray to = message.value("addresses").toObject().value("To").toArray().at(0).toArray();
        EXPECT_EQ(to.at(0).toString(), cases[i].toName) << i;
        EXPECT_EQ(to.at(1).toString(), QStringLiteral("ann@example.com")) << i;
    }
}

TEST(SmtpMsg, ToHeaderListsPrimaryAndCopies)
{
    CSmtpMsg message;
    message.m_from = CSmtpMsgAddress(u"a@example.com");
    message.m_to = CSmtpMsgAddress(u"first@example.com");
    message.m_cc = { CSmtpMsgAddress(u"second@example.com", u"Second"), CSmtpMsgAddress(u"third@example.com") };
    message.BuildHeaders();
    EXPECT_EQ(message.m_headers.Lookup("To"),
        QStringLiteral("<first@example.com>,\r\n\t\"Second\" <second@example.com>,\r\n\t<third@example.com>"));
    EXPECT_EQ(message.m_headers.Lookup("From"), QStringLiteral("<a@example.com>"));

    message.m_to = CSmtpMsgAddress(nullptr, u"Only Name");
    message.m_cc = { CSmtpMsgAddress(u"cc@example.com") };
    message.BuildHeaders();
    EXPECT_EQ(message.m_headers.Lookup("To"), QStringLiteral("\"Only Name\" ,\r\n\t<cc@example.com>"));
}

TEST(SmtpMsg, DateHasEnglishNamesTwoDigitHourAndZone)
{
    struct Case {
        int zone;
        const char* expected;
    };
    const Case cases[] = {
        { 300, "Mon, 9 Jan 2006 09:05:03 +0300" },
        { -500, "Mon, 9 Jan 2006 09:05:03 -0500" },
        { 530, "Mon, 9 Jan 2006 09:05:03 +0530" },
        { 0, "Mon, 9 Jan 2006 09:05:03 -0000" },
    };
    for (const Case& c : cases) {
        CSmtpMsg message;
        message.m_time = SYSTEMTIME { 2006, 1, 1, 9, 9, 5, 3, 0 };
        message.m_nTimeZone = c.zone;
        message.BuildHeaders();
        EXPECT_EQ(message.m_headers.Lookup("Date"), QLatin1String(c.expected));
    }
    // The zone of a new message is the system's offset now.
    const time_t now = time(nullptr);
    tm local {};
    localtime_r(&now, &local);
    const long minutes = local.tm_gmtoff / 60;
    EXPECT_EQ(CSmtpMsg().m_nTimeZone, static_cast<int>(minutes / 60 * 100 + minutes % 60));
}

TEST(SmtpMsg, LineBreaksInHeaderTextsAreRefused)
{
    const QList<std::function<void(CSmtpMsg&)>> injections = {
        [](CSmtpMsg& m) { m.m_strSubject = QStringLiteral("Hi\r\nBcc: victim@example.com"); },
        [](CSmtpMsg& m) { m.m_to.m_strName = QStringLiteral("Ann\nX-Evil: 1"); },
        [](CSmtpMsg& m) { m.m_from.m_strAddress = QStringLiteral("a@example.com>\r\nX: <"); },
        [](CSmtpMsg& m) { m.m_cc[0].m_strAddress = QStringLiteral("b@example.com\r"); },
        [](CSmtpMsg& m) { m.m_bcc[0].m_strAddress = QStringLiteral("c@example.com\nDATA"); },
        [](CSmtpMsg& m) { m.m_headers.Add(QStringLiteral("X-Mine"), QStringLiteral("a\r\nb: c")); },
        [](CSmtpMsg& m) { m.m_headers.Add(QStringLiteral("X-Mine\r\nX"), QStringLiteral("v")); },
        [](CSmtpMsg& m) { m.m_strMessageId = QStringLiteral("id\r\n@x"); },
        [](CSmtpMsg& m) { m.m_bodies[0].m_strCharset = QStringLiteral("utf-8\"\r\nX: y"); },
        [](CSmtpMsg& m) { m.m_bodies[0].m_strContentId = QStringLiteral("cid\n"); },
    };
    for (qsizetype i = 0; i < injections.size(); ++i) {
        CSmtpMsg message = BaseMessage();
        message.m_bodies.push_back(CSmtpMsgBody(u"x", u"text/plain", u"us-ascii"));
        injections[i](message);
        QString out = QStringLiteral("old");
        EXPECT_FALSE(message.Render(out)) << i;
        EXPECT_TRUE(out.isEmpty()) << i;
    }
}

TEST(SmtpMsg, RenderingAgainMovesGeneratedHeadersAndKeepsCallerOnes)
{
    CSmtpMsg message = BaseMessage();
    message.m_bodies.push_back(CSmtpMsgBody(u"x", u"text/plain", u"us-ascii"));
    message.m_headers.Add(QStringLiteral("X-Priority"), QStringLiteral("1 (Highest)"));
    message.m_headers.Add(QStringLiteral("X-Mailer-Note"), QStringLiteral("mine"));
    message.m_strMessageId = QStringLiteral("1234@example.com");
    QByteArray wire = Wire(message);
    EXPECT_TRUE(wire.contains("X-Priority: 1 (Highest)\r\n"));
    EXPECT_FALSE(wire.contains("3 (Normal)"));
    EXPECT_TRUE(wire.contains("Message-ID: <1234@example.com>\r\n"));
    // The map is written from its end: the caller's own headers come after the generated ones.
    EXPECT_EQ(HeaderNames(wire).mid(0, 10),
        QStringList({ "From", "To", "Subject", "Date", "Importance", "X-MSMail-Priority", "Message-ID", "MIME-Version",
            "X-Mailer-Note", "X-Priority" }));
    message.m_strMessageId.clear();
    wire = Wire(message);
    EXPECT_EQ(HeaderNames(wire).mid(0, 8),
        QStringList(
            { "From", "To", "Subject", "Date", "MIME-Version", "Importance", "X-MSMail-Priority", "X-Mailer-Note" }));
}

TEST(SmtpMsg, AttachmentTypesNamesAndMissingFiles)
{
    taluvo::test::TempDir dir;
    CSmtpMsg message = BaseMessage();
    message.m_bodies.push_back(CSmtpMsgBody(u"see attached", u"text/plain", u"us-ascii"));
    const QByteArray text("plain text\r\n");
    const QList<std::pair<std::string, const char*>> files = {
        { "report.pdf", "application/pdf" },
        { "a.b.txt", "text/plain" },
        { "REPORT.PNG", "image/png" },
        { "noextension", "application/octet-stream" },
        { "weird.zzqq", "application/octet-stream" },
    };
    for (const auto& [name, type] : files)
        message.m_attachments.push_back(
            CSmtpMsgAttachment(reinterpret_cast<const char16_t*>(WriteAttachment(dir, name, text).utf16())));
    // A caller's name and type win; a name that is not ASCII survives; a missing file is left out.
    CSmtpMsgAttachment named(reinterpret_cast<const char16_t*>(WriteAttachment(dir, "x.bin", text).utf16()),
        u"Grüße \"final\".txt", TRUE, u"text/csv", u"utf-8");
    message.m_attachments.push_back(named);
    message.m_attachments.push_back(CSmtpMsgAttachment(u"/nonexistent/file.txt"));

    const QJsonArray parsed = Parse({ Wire(message) });
    ASSERT_EQ(parsed.size(), 1);
    const QJsonObject result = parsed[0].toObject();
    EXPECT_TRUE(result.value("defects").toArray().isEmpty());
    const QJsonArray parts = result.value("parts").toArray();
    ASSERT_EQ(parts.size(), 1 + files.size() + 1);
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QJsonObject part = parts[i + 1].toObject();
        EXPECT_EQ(part.value("content_type").toString(), QLatin1String(files[i].second)) << files[i].first;
        EXPECT_EQ(part.value("filename").toString(), QString::fromStdString(files[i].first));
        EXPECT_EQ(mailtest::FromHex(part.value("payload").toString()), text) << files[i].first;
    }
    const QJsonObject last = parts.last().toObject();
    EXPECT_EQ(last.value("content_type").toString(), QStringLiteral("text/csv"));
    EXPECT_EQ(last.value("filename").toString(), QStringLiteral("Grüße \"final\".txt"));
    EXPECT_EQ(last.value("disposition").toString(), QStringLiteral("inline"));
}
