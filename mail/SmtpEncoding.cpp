// Transfer encodings of MIME parts: the choice of an encoding and 7bit, 8bit, quoted-printable
// and base64 with their line rules.
#include "mail/SmtpMsg.h"

#include "mail/Base64Coder.h"
#include "platform/base/DebugOutput.h"
#include "platform/base/Format.h"
#include "platform/base/TextCodec.h"
#include "platform/base/Time.h"

namespace {

constexpr int kLineLimit = 76;
// The longest line SMTP carries (without its CR LF). A 7bit or 8bit part chosen by the caller
// keeps its lines whole up to it: a hard break inside a line changes the text the reader gets.
constexpr int kTransportLineLimit = 998;
const QString kBreakChars = QStringLiteral(" -;.,?!");

bool IsLatin1Label(const QString& label)
{
    static const char* const names[] = { "iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "latin-1", "l1" };
    for (const char* name : names)
        if (label.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool IsUtf8Label(const QString& label)
{
    return label.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0
        || label.compare(QLatin1String("utf8"), Qt::CaseInsensitive) == 0;
}

// The bytes of a text part in its charset. A label the program cannot encode in (or one the text
// does not fit) is replaced by "utf-8" unless the text is plain ASCII, which every charset shares.
QByteArray EncodeInCharset(const QString& text, QString* charset)
{
    bool ascii = true, latin1 = true;
    for (QChar c : text) {
        ascii = ascii && c.unicode() < 0x80;
        latin1 = latin1 && c.unicode() <= 0xFF;
    }
    if (ascii)
        return text.toLatin1();
    if (charset && IsLatin1Label(*charset) && latin1)
        return text.toLatin1();
    if (charset && !IsUtf8Label(*charset))
        *charset = QStringLiteral("utf-8");
    return taluvo::AnsiEncode(text);
}

QString CutAtNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

QByteArray CutAtNul(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

} // namespace

SmtpEncoding CSmtpMsg::GuessEncoding(const BYTE* bytes, DWORD count)
{
    // Nothing to send needs nothing from the encoding.
    if (count == 0 || !bytes)
        return encoding7Bit;
    DWORD printable = 0, nonPrintable = 0;
    // Every line is measured, the first and the last included: a line longer than the limit sent
    // as it is would be cut by a hard break, and a long address in it would reach the reader
    // broken. Quoted-printable cuts it with soft breaks, which the reader's program joins again.
    bool longLine = false;
    DWORD lineLength = 0;
    for (DWORD k = 0; k < count; ++k) {
        const BYTE b = bytes[k];
        if ((b >= 32 && b <= 126) || b == 9 || b == 10 || b == 13)
            ++printable;
        else
            ++nonPrintable;
        if (b == '\r' || b == '\n')
            lineLength = 0;
        else if (++lineLength > kLineLimit)
            longLine = true;
    }
    if (static_cast<uint64_t>(printable) * 100 / count <= 89)
        return encodingBase64;
    if (longLine)
        return encodingQuotedPrintable;
    if (nonPrintable)
        return encoding8Bit;
    return encoding7Bit;
}

void CSmtpMsg::EncodeSevenBit(QString& out, const QString& in)
{
    out = in;
    for (QChar& c : out)
        if (c.unicode() > 126)
            c = QLatin1Char('?');
}

void CSmtpMsg::WrapLines(QString& out, const QString& in, int limit)
{
    out.clear();
    if (in.isEmpty() || limit <= 0)
        return;
    out.reserve(in.size() + in.size() / 60 * 2 + 2);
    const qsizetype n = in.size();
    qsizetype i = 0;
    while (i < n) {
        qsizetype j = i;
        while (j < n && in[j] != u'\r' && in[j] != u'\n')
            ++j;
        QStringView rest = QStringView(in).mid(i, j - i);
        while (rest.size() > limit) {
            qsizetype cut = limit;
            for (qsizetype k = limit - 1; k >= 0; --k)
                if (kBreakChars.contains(rest[k])) {
                    cut = k + 1;
                    break;
                }
            // Never separate the halves of a surrogate pair.
            if (cut > 1 && rest[cut - 1].isHighSurrogate())
                --cut;
            out += rest.first(cut);
            out += QLatin1String("\r\n");
            rest = rest.sliced(cut);
        }
        out += rest;
        if (j < n) {
            out += QLatin1String("\r\n");
            if (in[j] == u'\r' && j + 1 < n && in[j + 1] == u'\n')
                ++j;
        }
        i = j + 1;
    }
}

void CSmtpMsg::EncodeQuotedPrintable(QByteArray& out, const QByteArray& in, bool textLineEnds)
{
    static const char hex[] = "0123456789ABCDEF";
    out.clear();
    if (in.isEmpty())
        return;
    auto escape = [](QByteArray& to, BYTE b) {
        to += '=';
        to += hex[b >> 4];
        to += hex[b & 0x0F];
    };
    const qsizetype n = in.size();
    qsizetype i = 0;
    while (i < n) {
        // One line: its escaped text, up to the line end.
        QByteArray line;
        qsizetype j = i;
        bool ended = false;
        for (; j < n; ++j) {
            const BYTE b = static_cast<BYTE>(in[j]);
            const bool crlf = b == '\r' && j + 1 < n && in[j + 1] == '\n';
            if (crlf || (textLineEnds && (b == '\r' || b == '\n'))) {
                ended = true;
                if (crlf)
                    ++j;
                break;
            }
            if (b == '=' || b > 126 || (b < 32 && b != '\t'))
                escape(line, b);
            else
                line += static_cast<char>(b);
        }
        // Soft breaks keep every written line within 76 characters without splitting an escape;
        // white space at a line's end is escaped, since transports may strip it.
        QByteArrayView rest(line);
        QByteArray tail;
        for (;;) {
            if (rest.size() > kLineLimit) {
                qsizetype cut = kLineLimit - 1;
                if (rest[kLineLimit - 2] == '=')
                    cut = kLineLimit - 2;
                else if (rest[kLineLimit - 3] == '=')
                    cut = kLineLimit - 3;
                out += rest.first(cut);
                out += "=\r\n";
                rest = rest.sliced(cut);
                continue;
            }
            if (!rest.isEmpty() && (rest.back() == ' ' || rest.back() == '\t')) {
                tail = rest.first(rest.size() - 1).toByteArray();
                escape(tail, static_cast<BYTE>(rest.back()));
                rest = QByteArrayView(tail);
                if (rest.size() > kLineLimit)
                    continue;
            }
            out += rest;
            break;
        }
        if (ended)
            out += "\r\n";
        i = j + 1;
    }
}

void CSmtpMsg::EncodeText(
    SmtpEncoding encoding, QString& text, QString& name, const BYTE* data, DWORD size, QString* charset)
{
    const DWORD started = GetTickCount();
    const bool isText = data == nullptr;
    const QString source = isText ? text : QString();
    const QByteArray bytes = isText ? EncodeInCharset(source, charset)
                                    : QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (encoding == encodingGuess)
        encoding = GuessEncoding(reinterpret_cast<const BYTE*>(bytes.constData()), static_cast<DWORD>(bytes.size()));

    // Characters to wrap and the way back to bytes: a text keeps its characters (a line is never
    // cut inside one), raw data is taken byte by byte.
    auto asChars = [&]() { return isText ? CutAtNul(source) : QString::fromLatin1(CutAtNul(bytes)); };
    auto toBytes = [&](const QString& chars) { return isText ? EncodeInCharset(chars, charset) : chars.toLatin1(); };

    QString result;
    switch (encoding) {
    case encoding7Bit: {
        name = QStringLiteral("7bit");
        QString seven;
        EncodeSevenBit(seven, isText ? CutAtNul(source) : taluvo::AnsiDecode(CutAtNul(bytes)));
        WrapLines(result, seven, kTransportLineLimit);
        break;
    }
    case encoding8Bit: {
        name = QStringLiteral("8bit");
        QString wrapped;
        WrapLines(wrapped, asChars(), kTransportLineLimit);
        result = taluvo::AnsiDecode(toBytes(wrapped));
        break;
    }
    case encodingQuotedPrintable: {
        name = QStringLiteral("quoted-printable");
        QByteArray qp;
        EncodeQuotedPrintable(qp, CutAtNul(bytes), isText);
        result = QString::fromLatin1(qp);
        break;
    }
    case encodingBase64: {
        name = QStringLiteral("base64");
        CBase64Coder coder;
        coder.Encode(reinterpret_cast<const BYTE*>(bytes.constData()), static_cast<DWORD>(bytes.size()));
        const QString encoded = QString::fromLatin1(coder.GetEncodedBuffer(), coder.GetEncodedLength());
        WrapLines(result, encoded, kLineLimit);
        break;
    }
    default:
        break;
    }
    text = result;
    taluvo::OutputDebugText(taluvo::Format(u"Encoding took %dms\n", static_cast<int>(GetTickCount() - started)));
}
