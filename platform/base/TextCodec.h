// The program's "ANSI code page": UTF-8 with lossless byte escapes.
//
// Every byte that is not part of a valid UTF-8 sequence decodes to the code unit U+DC00+byte,
// and encoding turns such a lone code unit back into its byte, so any byte string survives a
// decode/encode round trip unchanged. Stored checksums and texts therefore stay exact for pages
// in any charset.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>

namespace taluvo {

// Decodes len bytes (len < 0: up to the first NUL). A null pointer gives a null QString.
QString AnsiDecode(const char* bytes, qsizetype len = -1);
QString AnsiDecode(const QByteArray& bytes);

// Encodes code units deterministically: a surrogate pair becomes its 4-byte sequence,
// a lone U+DC80..U+DCFF its escaped byte, any other lone surrogate the UTF-8 of U+FFFD.
QByteArray AnsiEncode(QStringView text);
QByteArray AnsiEncode(const char16_t* text, qsizetype len = -1);
// The same bytes handed to sink in order, a piece of at most 16 KB at a time, without building the
// whole result (a page's checksum needs no copy of it); stops early when sink returns false.
void AnsiEncodePieces(QStringView text, const std::function<bool(const char*, qsizetype)>& sink);

// Cuts encoded text to at most maxBytes bytes without splitting a UTF-8 sequence.
QByteArray AnsiTruncate(const QByteArray& bytes, qsizetype maxBytes);

// Decodes a byte stream that arrives in pieces: an incomplete sequence at the end of one piece
// is carried into the next, so the result never depends on where the pieces were cut.
class CAnsiStreamDecoder {
public:
    QString Feed(const char* bytes, qsizetype len);
    QString Feed(const QByteArray& bytes) { return Feed(bytes.constData(), bytes.size()); }
    // The same text appended to out, without a string of its own for each piece.
    void FeedTo(QString& out, const char* bytes, qsizetype len);
    // Decodes whatever is still carried (as escapes) and starts over.
    QString Finish();
    void FinishTo(QString& out);

private:
    QByteArray m_pending;
};

} // namespace taluvo
