// The alert e-mail of an updated page as a real mail server receives it and the reader's mail
// program (Python's email package) decodes it.
#include "engine/Alerts.h"

#include "tests/mail/MailTestSupport.h"

#include <QJsonArray>

#include <gtest/gtest.h>

TEST(AlertMail, ALongPageAddressReachesTheReaderWhole)
{
    mailtest::SmtpServer server;
    ASSERT_TRUE(server.Started());
    SMailAlertSettings settings;
    settings.server = QStringLiteral("127.0.0.1");
    settings.port = server.Port();
    settings.fromAddress = QStringLiteral("watcher@example.com");
    settings.recipients = { { "one@example.com", "One" } };
    // Addresses full of the characters a line may be broken after, one longer than a line of the
    // transport itself, and one with line breaks that would start lines of their own.
    const QStringList urls = {
        QStringLiteral("http://www.example-shop.com/catalogue/garden-tools/spades.html?sort=price;page=2&view=list"),
        QStringLiteral("http://example.com/") + QString(1200, QLatin1Char('a')) + QStringLiteral(".html"),
        QStringLiteral("http://example.com/short"),
        QStringLiteral("http://example.com/a\r\n\r\nForged: yes\r\n.\r\n"),
    };
    const QStringList shown = { urls[0], urls[1], urls[2], QStringLiteral("http://example.com/a Forged: yes . ") };
    for (const QString& url : urls)
        EXPECT_EQ(SendUpdateMail(settings, url), 0) << url.toStdString();
    const auto received = server.Messages();
    ASSERT_EQ(received.size(), static_cast<size_t>(urls.size()));
    QJsonArray messages;
    for (const auto& message : received)
        messages.append(mailtest::Hex(message.data));
    const QJsonDocument parsed = mailtest::RunOracle({ { "op", "parse" }, { "messages", messages } });
    ASSERT_TRUE(parsed.isArray());
    for (qsizetype i = 0; i < urls.size(); ++i) {
        const QJsonObject message = parsed.array().at(i).toObject();
        EXPECT_TRUE(message.value("defects").toArray().isEmpty()) << i;
        // The text ends with the message's own line end.
        QString text = message.value("parts").toArray().at(0).toObject().value("text").toString();
        while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
            text.chop(1);
        EXPECT_EQ(text.toStdString(), ("Page \"" + shown[i] + "\" was updated.").toStdString());
    }
}
