#include "mail/SmtpMsg.h"

#include "mail/Base64Coder.h"
#include "platform/base/FileRead.h"
#include "platform/base/Format.h"
#include "platform/base/TextCodec.h"
#include "platform/base/Time.h"
#include "platform/shell/MimeTypes.h"

#include <QStringList>

#include <algorithm>

#include <ctime>

namespace {

// An attachment is read whole into the message; a file that is not a regular one (a pipe that
// would hold the mail thread) or that is larger than this is left out like a missing one.
constexpr size_t kMaxAttachmentBytes = size_t(256) << 20;

QString FromWide(const char16_t* text)
{
    return text ? QString::fromUtf16(text) : QString();
}

bool HasLineBreak(const QString& text)
{
    for (QChar c : text)
        if (c == u'\r' || c == u'\n' || c == u'\0')
            return true;
    return false;
}

bool IsAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

bool StartsWithText(const QString& contentType)
{
    return contentType.startsWith(QLatin1String("text/"), Qt::CaseInsensitive);
}

// RFC 2047 encoded words ("=?utf-8?B?...?="), each at most 75 characters and never splitting a
// character, separated by blanks (which a reader drops between encoded words).
// firstRoom: the characters left on the first line for the first word.
QString EncodedWords(const QString& text, const QString& separator, qsizetype firstRoom = 76)
{
    const QByteArray bytes = taluvo::AnsiEncode(text);
    constexpr qsizetype kChunk = 45; // 60 base64 characters + 12 of the frame
    constexpr qsizetype kFrame = 12; // "=?utf-8?B?" and "?="
    QString out;
    CBase64Coder coder;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype chunk = i == 0 ? std::clamp((firstRoom - kFrame) / 4 * 3, qsizetype { 3 }, kChunk) : kChunk;
        qsizetype end = std::min(i + chunk, bytes.size());
        while (end < bytes.size() && end > i + 1 && (static_cast<BYTE>(bytes[end]) & 0xC0) == 0x80)
            --end;
        coder.Encode(reinterpret_cast<const BYTE*>(bytes.constData() + i), static_cast<DWORD>(end - i));
        if (!out.isEmpty())
            out += separator;
        out += QLatin1String("=?utf-8?B?") + QString::fromLatin1(coder.GetEncodedBuffer()) + QLatin1String("?=");
        i = end;
    }
    return out;
}

// An unstructured value such as the subject: encoded words when it is not ASCII, otherwise the
// text itself, folded before blanks so lines stay short.
QString UnstructuredValue(const QString& name, const QString& value)
{
    // A word that reads as an encoded word would be decoded by the reader: encode the text then.
    const QStringList words = value.split(QLatin1Char(' '));
    const bool looksEncoded = std::any_of(words.begin(), words.end(),
        [](const QString& word) { return word.startsWith(QLatin1String("=?")) && word.endsWith(QLatin1String("?=")); });
    if (!IsAscii(value) || looksEncoded)
        return EncodedWords(value, QStringLiteral("\r\n "), 76 - (name.size() + 2));
    QString out;
    qsizetype lineLength = name.size() + 2;
    for (qsizetype k = 0; k < words.size(); ++k) {
        const QString& word = words[k];
        if (k == 0) {
            out = word;
            lineLength += word.size();
        } else if (!word.isEmpty() && lineLength + 1 + word.size() > 76 && lineLength > name.size() + 2) {
            out += QLatin1String("\r\n ") + word;
            lineLength = 1 + word.size();
        } else {
            out += QLatin1Char(' ') + word;
            lineLength += 1 + word.size();
        }
    }
    return out;
}

// "name" <address>: a display name as a quoted string (quotes and backslashes escaped), or as
// encoded words when it is not ASCII.
QString DisplayName(const QString& name)
{
    if (!IsAscii(name))
        return EncodedWords(name, QStringLiteral(" ")) + QLatin1Char(' ');
    QString quoted = name;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + quoted + QLatin1String("\" ");
}

// A parameter such as name="report.pdf"; a name that is not ASCII is given in the RFC 2231 form.
QString Parameter(const char* key, const QString& value)
{
    if (IsAscii(value)) {
        QString quoted = value;
        quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
        return QString::fromLatin1(key) + QLatin1String("=\"") + quoted + QLatin1Char('"');
    }
    static const char hex[] = "0123456789ABCDEF";
    QString encoded;
    for (char ch : taluvo::AnsiEncode(value)) {
        const BYTE b = static_cast<BYTE>(ch);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '.' || b == '-'
            || b == '_') {
            encoded += QLatin1Char(static_cast<char>(b));
        } else {
            encoded += QLatin1Char('%');
            encoded += QLatin1Char(hex[b >> 4]);
            encoded += QLatin1Char(hex[b & 0x0F]);
        }
    }
    return QString::fromLatin1(key) + QLatin1String("*=utf-8''") + encoded;
}

QString ContentTypeForName(const QString& name)
{
    QString type = QStringLiteral("application/octet-stream");
    const qsizetype first = name.indexOf(QLatin1Char('.'));
    if (first < 0)
        return type;
    // The whole extension from the first period names compound types; the last one is what the
    // system's list holds for ordinary names such as "report.v2.pdf".
    QString found = taluvo::shell::ContentTypeForExtension(name.mid(first + 1));
    if (found.isNull())
        found = taluvo::shell::ContentTypeForExtension(name.mid(name.lastIndexOf(QLatin1Char('.')) + 1));
    return found.isNull() ? type : found;
}

// Names that Render writes itself: whatever a caller left under them is replaced.
bool IsGeneratedHeader(const QString& name)
{
    static const char* const names[]
        = { "Content-Type", "MIME-Version", "Message-ID", "Date", "Subject", "To", "From" };
    for (const char* generated : names)
        if (name == QLatin1String(generated))
            return true;
    return false;
}

} // namespace

CSmtpMsgAddress::CSmtpMsgAddress(const char16_t* address, const char16_t* name)
    : m_strName(FromWide(name))
    , m_strAddress(FromWide(address))
{
}

CSmtpMsgAddress::CSmtpMsgAddress(const QString& address, const QString& name)
    : m_strName(name)
    , m_strAddress(address)
{
}

CSmtpMsgAddress& CSmtpMsgAddress::operator=(const QString& address)
{
    m_strAddress = address;
    return *this;
}

CSmtpMsgBody::CSmtpMsgBody(
    const char16_t* text, const char16_t* contentType, const char16_t* charset, SmtpEncoding encoding)
    : CSmtpMsgBody(FromWide(text), FromWide(contentType), FromWide(charset), encoding)
{
}

CSmtpMsgBody::CSmtpMsgBody(
    const QString& text, const QString& contentType, const QString& charset, SmtpEncoding encoding)
    : m_strText(text)
{
    m_strContentType = contentType;
    m_strCharset = charset;
    m_nEncoding = encoding;
}

CSmtpMsgBody& CSmtpMsgBody::operator=(const QString& text)
{
    m_strText = text;
    return *this;
}

CSmtpMsgBody& CSmtpMsgBody::operator=(const char16_t* text)
{
    m_strText = FromWide(text);
    return *this;
}

CSmtpMsgAttachment::CSmtpMsgAttachment(const char16_t* path, const char16_t* name, BOOL inlineDisposition,
    const char16_t* contentType, const char16_t* charset, SmtpEncoding encoding)
    : m_strPath(FromWide(path))
    , m_strName(FromWide(name))
    , m_bInline(inlineDisposition)
{
    m_strContentType = FromWide(contentType);
    m_strCharset = FromWide(charset);
    m_nEncoding = encoding;
}

CSmtpMsgAttachment& CSmtpMsgAttachment::operator=(const QString& path)
{
    m_strPath = path;
    return *this;
}

bool CSmtpMsgHeaders::Remove(const QString& name)
{
    const auto found
        = std::find_if(m_pairs.begin(), m_pairs.end(), [&](const auto& pair) { return pair.first == name; });
    if (found == m_pairs.end())
        return false;
    m_pairs.erase(found);
    return true;
}

QString CSmtpMsgHeaders::Lookup(const QString& name) const
{
    for (const auto& pair : m_pairs)
        if (pair.first == name)
            return pair.second.isNull() ? QStringLiteral("") : pair.second;
    return QString();
}

bool CSmtpMsgHeaders::Contains(const QString& name) const
{
    for (const auto& pair : m_pairs)
        if (pair.first == name)
            return true;
    return false;
}

CSmtpMsg::CSmtpMsg()
{
    GetLocalTime(&m_time);
    // The offset of local time from UTC now, as hours * 100 + minutes with the offset's sign.
    const time_t now = time(nullptr);
    tm local {};
    localtime_r(&now, &local);
    const long minutes = local.tm_gmtoff / 60;
    m_nTimeZone = static_cast<int>((minutes / 60) * 100 + minutes % 60);
}

BOOL CSmtpMsg::IsWellFormed() const
{
    auto addressOk
        = [](const CSmtpMsgAddress& a) { return !HasLineBreak(a.m_strName) && !HasLineBreak(a.m_strAddress); };
    if (HasLineBreak(m_strSubject) || HasLineBreak(m_strMessageId) || !addressOk(m_from) || !addressOk(m_to))
        return FALSE;
    for (const auto* list : { &m_cc, &m_bcc })
        for (const CSmtpMsgAddress& a : *list)
            if (!addressOk(a))
                return FALSE;
    auto partOk = [](const CSmtpMsgPart& p) {
        return !HasLineBreak(p.m_strContentType) && !HasLineBreak(p.m_strCharset) && !HasLineBreak(p.m_strContentId);
    };
    for (const CSmtpMsgBody& body : m_bodies)
        if (!partOk(body))
            return FALSE;
    for (const CSmtpMsgAttachment& attachment : m_attachments)
        if (!partOk(attachment) || HasLineBreak(attachment.m_strName) || HasLineBreak(attachment.m_strPath))
            return FALSE;
    for (qsizetype i = 0; i < m_headers.Count(); ++i) {
        const auto& [name, value] = m_headers.At(i);
        if (IsGeneratedHeader(name))
            continue;
        if (name.isEmpty() || HasLineBreak(name) || name.contains(QLatin1Char(':')) || name.contains(QLatin1Char(' '))
            || HasLineBreak(value))
            return FALSE;
    }
    return TRUE;
}

void CSmtpMsg::BuildHeaders()
{
    if (!m_headers.Contains(QStringLiteral("X-Priority")))
        m_headers.Add(QStringLiteral("X-Priority"), QStringLiteral("3 (Normal)"));
    if (!m_headers.Contains(QStringLiteral("X-MSMail-Priority")))
        m_headers.Add(QStringLiteral("X-MSMail-Priority"), QStringLiteral("Normal"));
    if (!m_headers.Contains(QStringLiteral("Importance")))
        m_headers.Add(QStringLiteral("Importance"), QStringLiteral("Normal"));

    static const char16_t* const days[] = { u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat" };
    static const char16_t* const months[]
        = { u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec" };
    const int zone = m_nTimeZone < 0 ? -m_nTimeZone : m_nTimeZone;
    const QString date = taluvo::Format(u"%s, %d %s %d %02d:%02d:%02d %c%4.4d", days[m_time.wDayOfWeek % 7],
        static_cast<int>(m_time.wDay), months[(m_time.wMonth + 11) % 12], static_cast<int>(m_time.wYear),
        static_cast<int>(m_time.wHour), static_cast<int>(m_time.wMinute), static_cast<int>(m_time.wSecond),
        m_nTimeZone > 0 ? u'+' : u'-', zone);
    m_headers.Remove(QStringLiteral("Date"));
    m_headers.Add(QStringLiteral("Date"), date);

    m_headers.Remove(QStringLiteral("Subject"));
    m_headers.Add(QStringLiteral("Subject"), UnstructuredValue(QStringLiteral("Subject"), m_strSubject));

    QString to;
    if (!m_to.m_strName.isEmpty())
        to += DisplayName(m_to.m_strName);
    if (!m_to.m_strAddress.isEmpty())
        to += QLatin1Char('<') + m_to.m_strAddress + QLatin1Char('>');
    for (const CSmtpMsgAddress& cc : m_cc) {
        if (!to.isEmpty())
            to += QLatin1String(",\r\n\t");
        if (!cc.m_strName.isEmpty())
            to += DisplayName(cc.m_strName);
        to += QLatin1Char('<') + cc.m_strAddress + QLatin1Char('>');
    }
    m_headers.Remove(QStringLiteral("To"));
    m_headers.Add(QStringLiteral("To"), to);

    QString from;
    if (!m_from.m_strName.isEmpty())
        from += DisplayName(m_from.m_strName);
    from += QLatin1Char('<') + m_from.m_strAddress + QLatin1Char('>');
    m_headers.Remove(QStringLiteral("From"));
    m_headers.Add(QStringLiteral("From"), from);
}

void CSmtpMsg::EncodePart(
    SmtpEncoding encoding, QString& text, QString& name, const BYTE* data, DWORD size, QString* charset)
{
    const QString source = text;
    const QString sourceCharset = charset ? *charset : QString();
    EncodeText(encoding, text, name, data, size, charset);
    if (name != QLatin1String("8bit"))
        return;
    if (m_allow8Bit) {
        m_has8Bit = true;
        return;
    }
    text = source;
    if (charset)
        *charset = sourceCharset;
    EncodeText(encodingQuotedPrintable, text, name, data, size, charset);
}

BOOL CSmtpMsg::Render(QString& out)
{
    out.clear();
    m_has8Bit = false;
    if (!IsWellFormed())
        return FALSE;
    const size_t parts = m_bodies.size() + m_attachments.size();
    const bool multipart = parts > 1;
    QString outer, inner;

    m_headers.Remove(QStringLiteral("Content-Type"));
    if (multipart) {
        outer = taluvo::Format(u"CSmtpMsgPart123X456_000_%8.8X", GetTickCount());
        if (m_mimeType == mimeAuto)
            m_mimeType = m_attachments.empty() ? mimeAlternative : mimeMixed;
        const char16_t* subtype = m_mimeType == mimeMixed ? u"mixed"
            : m_mimeType == mimeRelated                   ? u"related"
                                                          : u"alternative";
        m_headers.Add(
            QStringLiteral("Content-Type"), taluvo::Format(u"multipart/%s;\r\n\tboundary=\"%s\"", subtype, outer));
    }
    m_headers.Remove(QStringLiteral("MIME-Version"));
    m_headers.Add(QStringLiteral("MIME-Version"), QStringLiteral("1.0"));
    m_headers.Remove(QStringLiteral("Message-ID"));
    if (!m_strMessageId.isEmpty())
        m_headers.Add(QStringLiteral("Message-ID"), QLatin1Char('<') + m_strMessageId + QLatin1Char('>'));
    BuildHeaders();

    for (qsizetype i = m_headers.Count() - 1; i >= 0; --i)
        out += m_headers.At(i).first + QLatin1String(": ") + m_headers.At(i).second + QLatin1String("\r\n");

    if (multipart)
        out += QLatin1String("\r\nThis is a multipart message in MIME format\r\n");
    if (multipart && m_bodies.size() >= 2 && !m_attachments.empty()) {
        inner = taluvo::Format(u"CSmtpMsgPart123X456_001_%8.8X", GetTickCount());
        out += taluvo::Format(
            u"\r\n--%s\r\nContent-Type: multipart/alternative;\r\n\tboundary=\"%s\"\r\n", outer, inner);
    }

    for (const CSmtpMsgBody& body : m_bodies) {
        if (multipart)
            out += QLatin1String("\r\n--") + (inner.isEmpty() ? outer : inner) + QLatin1String("\r\n");
        QString text = body.m_strText, name;
        QString charset = body.m_strCharset;
        EncodePart(body.m_nEncoding, text, name, nullptr, 0, &charset);
        out += QLatin1String("Content-Type: ") + body.m_strContentType;
        if (StartsWithText(body.m_strContentType)) {
            if (charset.isEmpty())
                charset = IsAscii(body.m_strText) ? QStringLiteral("us-ascii") : QStringLiteral("utf-8");
            out += QLatin1String(";\r\n\tcharset=\"") + charset + QLatin1Char('"');
        }
        out += QLatin1String("\r\nContent-Transfer-Encoding: ") + name;
        if (!body.m_strContentId.isEmpty())
            out += QLatin1String("\r\nContent-ID: <") + body.m_strContentId + QLatin1Char('>');
        out += QLatin1String("\r\n\r\n") + text;
    }
    if (!inner.isEmpty())
        out += QLatin1String("\r\n--") + inner + QLatin1String("--\r\n");

    for (const CSmtpMsgAttachment& attachment : m_attachments) {
        std::string bytes;
        if (taluvo::ReadRegularFile(taluvo::AnsiEncode(attachment.m_strPath).toStdString(), kMaxAttachmentBytes, bytes)
            != taluvo::EFileRead::ok)
            continue;
        const QByteArray data = QByteArray::fromStdString(bytes);
        if (multipart)
            out += QLatin1String("\r\n--") + outer + QLatin1String("\r\n");
        QString name = attachment.m_strName;
        if (name.isEmpty())
            name = attachment.m_strPath.mid(attachment.m_strPath.lastIndexOf(QLatin1Char('/')) + 1);
        const QString type
            = attachment.m_strContentType.isEmpty() ? ContentTypeForName(name) : attachment.m_strContentType;
        out += QLatin1String("Content-Type: ") + type;
        if (StartsWithText(type) && !attachment.m_strCharset.isEmpty())
            out += QLatin1String(";\r\n\tcharset=\"") + attachment.m_strCharset + QLatin1Char('"');
        out += QLatin1String(";\r\n\t") + Parameter("name", name) + QLatin1String("\r\n");
        QString encoded, encodingName;
        EncodePart(attachment.m_nEncoding, encoded, encodingName, reinterpret_cast<const BYTE*>(data.constData()),
            static_cast<DWORD>(data.size()));
        out += QLatin1String("Content-Transfer-Encoding: ") + encodingName + QLatin1String("\r\n");
        out += QLatin1String("Content-Disposition: ")
            + (attachment.m_bInline ? QLatin1String("inline") : QLatin1String("attachment")) + QLatin1String(";\r\n\t")
            + Parameter("filename", name);
        if (!attachment.m_strContentId.isEmpty())
            out += QLatin1String("\r\nContent-ID: <") + attachment.m_strContentId + QLatin1Char('>');
        out += QLatin1String("\r\n\r\n") + encoded;
    }
    if (multipart)
        out += QLatin1String("\r\n--") + outer + QLatin1String("--\r\n");
    return TRUE;
}
