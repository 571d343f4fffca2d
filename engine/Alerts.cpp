#include "engine/Alerts.h"

#include "core/Conversion.h"
#include "core/DebugTracer.h"
#include "core/Mutex.h"
#include "core/prefs/Preferences.h"
#include "mail/Smtp.h"
#include "mail/SmtpMsg.h"
#include "platform/base/Format.h"
#include "platform/base/OneLine.h"

TRACE_MODULE("CMainFrame");

namespace {

const QString kRowStart = QStringLiteral("<tr><td><icon idres=");

} // namespace

QString HtmlEscape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += QStringLiteral("&amp;");
            break;
        case u'<':
            out += QStringLiteral("&lt;");
            break;
        case u'>':
            out += QStringLiteral("&gt;");
            break;
        case u'"':
            out += QStringLiteral("&quot;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString BuildPopupRow(WORD nGroupId, WORD nPageId, const QString& urlBrowser, const QString& url)
{
    return taluvo::Format(u"<tr><td><icon idres=%d width=16 height=16></td><td><a msg=\"%d,%d,%s\">%s</a></td></tr>",
        128, nGroupId, nPageId, HtmlEscape(urlBrowser), HtmlEscape(taluvo::OneLine(url)));
}

int CountPopupRows(const QString& lines)
{
    return static_cast<int>(lines.count(kRowStart));
}

bool AddPopupRow(QString& lines, const QString& row, bool popupVisible, int maxItems)
{
    if (!popupVisible) {
        lines.clear();
    } else if (CountPopupRows(lines) >= maxItems) {
        // One row is dropped per alert: the oldest.
        const qsizetype second = lines.indexOf(kRowStart, kRowStart.size());
        if (second < 0)
            lines.clear();
        else
            lines.remove(0, second);
    }
    const qsizetype comma = row.indexOf(QLatin1Char(','));
    const QString key = comma < 0 ? row : row.mid(comma);
    if (lines.contains(key))
        return false;
    lines += row;
    return true;
}

SMailAlertSettings ReadMailAlertSettings(CPreferences& prefs)
{
    SMailAlertSettings settings;
    CMutexLocker guard(prefs.m_mutex);
    settings.server = prefs.GetParam(kSmtpServer)->GetString();
    settings.fromAddress = prefs.GetParam(kEMailFromAddr)->GetString();
    settings.connectTimeout = prefs.GetParam(kConnectTimeout)->GetInt();
    settings.sendTimeout = prefs.GetParam(kSendTimeout)->GetInt();
    settings.recvTimeout = prefs.GetParam(kRecvTimeout)->GetInt();
    for (const auto& recipient : prefs.m_recipients)
        settings.recipients.emplace_back(recipient.first, recipient.second);
    return settings;
}

int SendUpdateMail(CPreferences& prefs, const QString& url)
{
    return SendUpdateMail(ReadMailAlertSettings(prefs), url);
}

int SendUpdateMail(const SMailAlertSettings& settings, const QString& url)
{
    const auto& recipients = settings.recipients;
    if (recipients.empty() || settings.server.isEmpty()) {
        TRACE1(u"CMainFrame::OnUpdaterNotify. No emails for send, or no recipients, or no SMTP server.\r\n");
        return -1;
    }
    CSmtpMsg message;
    CSmtpMsgBody body(
        QString(), QStringLiteral("text/plain"), QStringLiteral("iso-8859-1"), static_cast<SmtpEncoding>(0));
    CSmtp smtp;
    smtp.m_nConnectTimeout = settings.connectTimeout;
    smtp.m_nSendTimeout = settings.sendTimeout;
    smtp.m_nRecvTimeout = settings.recvTimeout;
    smtp.m_nPort = static_cast<uint16_t>((settings.port >> 8) | (settings.port << 8)); // network byte order
    message.m_to = CSmtpMsgAddress(CAnsiToWide(recipients[0].first).Get(), CAnsiToWide(recipients[0].second).Get());
    for (size_t i = 1; i < recipients.size(); ++i)
        message.m_cc.push_back(
            CSmtpMsgAddress(CAnsiToWide(recipients[i].first).Get(), CAnsiToWide(recipients[i].second).Get()));
    if (!smtp.Connect(settings.server)) {
        TRACE1(u"CMainFrame::OnUpdaterNotify. Connect to SMTP server: %s - FAIL.\r\n", settings.server);
        return -1;
    }
    // One line whatever the address holds: a line break in it would start lines of its own.
    body = taluvo::Format(u"Page \"%s\" was updated.", taluvo::OneLine(url));
    message.m_bodies.push_back(body);
    message.m_strSubject = QStringLiteral("Page is updated.");
    message.m_from = CSmtpMsgAddress(settings.fromAddress, QStringLiteral("Taluvo"));
    const int result = smtp.SendMessage(message);
    smtp.Disconnect();
    TRACE1(u"CMainFrame::OnUpdaterNotify. Sending alert message - %s.\r\n", result == 0 ? u"SUCCESS" : u"FAIL");
    return result;
}
