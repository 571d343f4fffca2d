// One e-mail message before it is sent, and its rendering into the MIME text that follows DATA.
//
// The rendered text is wide, but every character stands for the byte the SMTP client puts on the
// wire: ASCII, or (for 8bit parts in ISO-8859-1) a byte escape of the program's ANSI codec, so
// CWideToAnsi of the text gives exactly the bytes of the message. The text is not dot-stuffed:
// that belongs to the SMTP transport.
#pragma once

#include "platform/base/WinTypes.h"

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

enum SmtpEncoding : int32_t {
    encodingGuess = 0,
    encoding7Bit = 1,
    encoding8Bit = 2,
    encodingQuotedPrintable = 3,
    encodingBase64 = 4,
};

enum SmtpMimeType : int32_t {
    mimeAuto = 0,
    mimeMixed = 1,
    mimeAlternative = 2,
    mimeRelated = 3,
};

class CSmtpMsgAddress {
public:
    CSmtpMsgAddress(const char16_t* address = nullptr, const char16_t* name = nullptr);
    CSmtpMsgAddress(const QString& address, const QString& name = QString());
    CSmtpMsgAddress& operator=(const QString& address);

    QString m_strName;
    QString m_strAddress;
};

class CSmtpMsgPart {
public:
    QString m_strContentType;
    QString m_strCharset;
    QString m_strContentId;
    SmtpEncoding m_nEncoding = encodingGuess;
};

class CSmtpMsgBody : public CSmtpMsgPart {
public:
    CSmtpMsgBody(const char16_t* text = nullptr, const char16_t* contentType = nullptr,
        const char16_t* charset = nullptr, SmtpEncoding encoding = encodingGuess);
    CSmtpMsgBody(
        const QString& text, const QString& contentType, const QString& charset, SmtpEncoding encoding = encodingGuess);
    CSmtpMsgBody& operator=(const QString& text);
    CSmtpMsgBody& operator=(const char16_t* text);

    QString m_strText;
};

class CSmtpMsgAttachment : public CSmtpMsgPart {
public:
    CSmtpMsgAttachment(const char16_t* path = nullptr, const char16_t* name = nullptr, BOOL inlineDisposition = FALSE,
        const char16_t* contentType = nullptr, const char16_t* charset = nullptr,
        SmtpEncoding encoding = encodingGuess);
    CSmtpMsgAttachment& operator=(const QString& path);

    QString m_strPath;
    QString m_strName; // empty: the file name of the path
    BOOL m_bInline = FALSE;
};

// Header lines in the order they were added; a name may occur more than once; names compare
// exactly.
class CSmtpMsgHeaders {
public:
    void Add(const QString& name, const QString& value) { m_pairs.emplace_back(name, value); }
    // Removes the first pair with that name; false when there is none.
    bool Remove(const QString& name);
    // The value of the first pair with that name; null when there is none.
    QString Lookup(const QString& name) const;
    bool Contains(const QString& name) const;
    qsizetype Count() const { return qsizetype(m_pairs.size()); }
    const std::pair<QString, QString>& At(qsizetype i) const { return m_pairs.at(size_t(i)); }

private:
    std::vector<std::pair<QString, QString>> m_pairs;
};

class CSmtpMsg {
public:
    CSmtpMsg();

    // Replaces out with the whole message. Also rewrites the generated headers in m_headers and
    // may set m_mimeType. FALSE, with out empty, when a header value, address, name or part field
    // holds a line break: such a message could add headers of its own choosing.
    BOOL Render(QString& out);
    // EncodeText, but an 8bit result is made quoted-printable unless m_allow8Bit; m_has8Bit
    // records an 8bit part.
    void EncodePart(SmtpEncoding encoding, QString& text, QString& name, const BYTE* data = nullptr, DWORD size = 0,
        QString* charset = nullptr);
    void BuildHeaders();
    // Whether every text that goes into a header line or an SMTP command is free of line breaks.
    BOOL IsWellFormed() const;

    // Encodes a part's content. Without data the input is text, converted to the charset
    // *charset names (ISO-8859-1 only when every character fits, otherwise UTF-8, in which case
    // *charset becomes "utf-8"); with data the input is those bytes. name receives the
    // Content-Transfer-Encoding; an unknown encoding leaves it and gives an empty text.
    static void EncodeText(SmtpEncoding encoding, QString& text, QString& name, const BYTE* data = nullptr,
        DWORD size = 0, QString* charset = nullptr);
    static SmtpEncoding GuessEncoding(const BYTE* bytes, DWORD count);
    // Quoted-printable of bytes. With textLineEnds, CR, LF and CR LF all end a line; otherwise
    // only CR LF does and a lone CR or LF is escaped, so binary data survives.
    static void EncodeQuotedPrintable(QByteArray& out, const QByteArray& in, bool textLineEnds = true);
    static void EncodeSevenBit(QString& out, const QString& in);
    // Breaks lines longer than limit after their last break character (" -;.,?!") within the
    // limit, else after limit characters; every line end (CR, LF or CR LF) becomes CR LF.
    static void WrapLines(QString& out, const QString& in, int limit);

    CSmtpMsgAddress m_from;
    CSmtpMsgAddress m_to;
    QString m_strSubject;
    std::vector<CSmtpMsgBody> m_bodies;
    std::vector<CSmtpMsgAddress> m_cc;
    std::vector<CSmtpMsgAddress> m_bcc;
    std::vector<CSmtpMsgAttachment> m_attachments;
    CSmtpMsgHeaders m_headers;
    SYSTEMTIME m_time;
    SmtpMimeType m_mimeType = mimeAuto;
    QString m_strMessageId;
    // Whether parts may go as 8bit (the server takes 8BITMIME); otherwise they go quoted-printable.
    bool m_allow8Bit = false;
    // Set by Render: a part went as 8bit.
    bool m_has8Bit = false;
    int m_nTimeZone = 0; // hours * 100 + minutes east of UTC (+0530 is 530, -0330 is -330)
};
