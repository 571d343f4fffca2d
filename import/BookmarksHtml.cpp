#include "import/BookmarksHtml.h"

#include "core/Exceptions.h"
#include "import/UserFolders.h"
#include "platform/base/FileRead.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

namespace {

constexpr size_t kPieceSize = size_t(256) * 1024;

QString ErrnoText(int error)
{
    char buffer[256] = {};
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

bool IsHtmlBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// innerText of plain text: runs of white space become one space, none at either end.
QString CollapseBlanks(const std::string& text)
{
    std::string collapsed;
    collapsed.reserve(text.size());
    bool pendingBlank = false;
    for (char c : text) {
        if (IsHtmlBlank(c)) {
            pendingBlank = !collapsed.empty();
            continue;
        }
        if (pendingBlank)
            collapsed += ' ';
        pendingBlank = false;
        collapsed += c;
    }
    return QString::fromUtf8(collapsed.data(), static_cast<qsizetype>(collapsed.size()));
}

// Turns a byte stream into valid UTF-8: every maximal ill-formed subsequence becomes U+FFFD (the
// replacement practice of the Unicode standard). A sequence cut at the end of a piece is carried
// into the next one. libxml2 would instead reread everything after the first bad byte as Latin-1.
class CUtf8Sanitizer {
public:
    void Append(const char* data, size_t size, std::string& out)
    {
        for (size_t i = 0; i < size; ++i)
            Push(static_cast<unsigned char>(data[i]), out);
    }
    void Finish(std::string& out)
    {
        if (m_need > 0)
            out += kReplacement;
        m_pending.clear();
        m_need = 0;
    }

private:
    static constexpr const char* kReplacement = "\xEF\xBF\xBD";

    void Push(unsigned char byte, std::string& out)
    {
        if (m_need > 0) {
            if (byte >= m_low && byte <= m_high) {
                m_pending += static_cast<char>(byte);
                m_low = 0x80, m_high = 0xBF;
                if (--m_need == 0) {
                    out += m_pending;
                    m_pending.clear();
                }
                return;
            }
            // The sequence broke off: replace what was taken of it and look at this byte afresh.
            out += kReplacement;
            m_pending.clear();
            m_need = 0;
        }
        if (byte < 0x80) {
            out += static_cast<char>(byte);
            return;
        }
        m_low = 0x80, m_high = 0xBF;
        if (byte >= 0xC2 && byte <= 0xDF)
            m_need = 1;
        else if (byte >= 0xE0 && byte <= 0xEF) {
            m_need = 2;
            if (byte == 0xE0)
                m_low = 0xA0;
            else if (byte == 0xED)
                m_high = 0x9F;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            m_need = 3;
            if (byte == 0xF0)
                m_low = 0x90;
            else if (byte == 0xF4)
                m_high = 0x8F;
        } else {
            out += kReplacement;
            return;
        }
        m_pending.assign(1, static_cast<char>(byte));
    }

    std::string m_pending;
    int m_need = 0;
    unsigned char m_low = 0x80;
    unsigned char m_high = 0xBF;
};

bool IsTag(const xmlChar* name, const char* tag)
{
    return name && xmlStrcasecmp(name, reinterpret_cast<const xmlChar*>(tag)) == 0;
}

// Collects anchors from the parser's events. libxml2 reports the elements it closes implicitly
// too, so the element boundaries are those of the document tree the parser would build. Text goes
// to the innermost open anchor only, so the titles together never hold more than the file's text.
class CAnchorCollector {
public:
    explicit CAnchorCollector(std::vector<SBookmark>& bookmarks)
        : m_bookmarks(bookmarks)
    {
        static std::once_flag initialised;
        std::call_once(initialised, [] { xmlInitParser(); });

        htmlSAXHandler sax;
        std::memset(&sax, 0, sizeof sax);
        sax.startElement = &CAnchorCollector::OnStartElement;
        sax.endElement = &CAnchorCollector::OnEndElement;
        sax.characters = &CAnchorCollector::OnCharacters;
        sax.ignorableWhitespace = &CAnchorCollector::OnCharacters;
        // Script and style text arrives as CDATA; innerText leaves it out.
        sax.cdataBlock = [](void*, const xmlChar*, int) {};
        m_ctxt = htmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
        FAIL_CHECK(m_ctxt, QStringLiteral("Unable to create the HTML parser."));
        // The browser writes the file in UTF-8 whatever it declares; the sanitizer keeps it valid.
        htmlCtxtUseOptions(m_ctxt,
            HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC);
    }

    ~CAnchorCollector()
    {
        if (m_ctxt) {
            if (m_ctxt->myDoc)
                xmlFreeDoc(m_ctxt->myDoc);
            htmlFreeParserCtxt(m_ctxt);
        }
    }
    CAnchorCollector(const CAnchorCollector&) = delete;
    CAnchorCollector& operator=(const CAnchorCollector&) = delete;

    // False once the parser has given up on the input (it keeps what it found).
    bool Feed(const char* data, size_t size)
    {
        while (size > 0 && !m_bStopped) {
            const size_t piece = std::min(size, kPieceSize);
            m_valid.clear();
            m_sanitizer.Append(data, piece, m_valid);
            htmlParseChunk(m_ctxt, m_valid.data(), static_cast<int>(m_valid.size()), 0);
            data += piece;
            size -= piece;
        }
        return !m_bStopped;
    }

    void Finish()
    {
        if (!m_bStopped) {
            m_valid.clear();
            m_sanitizer.Finish(m_valid);
            htmlParseChunk(m_ctxt, m_valid.data(), static_cast<int>(m_valid.size()), 1);
        }
        // Anchors still open when the input ended (or parsing stopped) end here.
        while (!m_open.empty())
            CloseAnchor();
        if (m_bOutOfMemory)
            throw std::bad_alloc();
    }

private:
    struct SOpenAnchor {
        size_t index;
        std::string text;
    };

    static void OnStartElement(void* ctx, const xmlChar* name, const xmlChar** attributes)
    {
        if (!IsTag(name, "a"))
            return;
        auto* self = static_cast<CAnchorCollector*>(ctx);
        self->Guard([&] {
            const char* href = "";
            for (const xmlChar** a = attributes; a && a[0]; a += 2) {
                if (IsTag(a[0], "href")) {
                    href = a[1] ? reinterpret_cast<const char*>(a[1]) : "";
                    break;
                }
            }
            self->m_bookmarks.emplace_back(QString(), QString::fromUtf8(href));
            self->m_open.push_back({ self->m_bookmarks.size() - 1, std::string() });
        });
    }

    static void OnEndElement(void* ctx, const xmlChar* name)
    {
        auto* self = static_cast<CAnchorCollector*>(ctx);
        if (IsTag(name, "a") && !self->m_open.empty())
            self->Guard([&] { self->CloseAnchor(); });
    }

    static void OnCharacters(void* ctx, const xmlChar* text, int length)
    {
        auto* self = static_cast<CAnchorCollector*>(ctx);
        if (!self->m_open.empty() && length > 0)
            self->Guard([&] { self->m_open.back().text.append(reinterpret_cast<const char*>(text), size_t(length)); });
    }

    // The innermost open anchor ends. Its text is not copied into an anchor around it: valid HTML
    // never nests anchors, and in broken markup the copies would grow with the square of the file.
    void CloseAnchor()
    {
        SOpenAnchor& anchor = m_open.back();
        m_bookmarks[anchor.index].m_strTitle = CollapseBlanks(anchor.text);
        m_open.pop_back();
    }

    // No exception may cross libxml2's C frames: a failure stops the parser instead.
    template <typename F> void Guard(F&& work)
    {
        try {
            work();
        } catch (const std::bad_alloc&) {
            m_bOutOfMemory = true;
            m_bStopped = true;
            xmlStopParser(m_ctxt);
        }
    }

    std::vector<SBookmark>& m_bookmarks;
    std::vector<SOpenAnchor> m_open;
    CUtf8Sanitizer m_sanitizer;
    std::string m_valid;
    htmlParserCtxtPtr m_ctxt = nullptr;
    bool m_bStopped = false;
    bool m_bOutOfMemory = false;
};

} // namespace

namespace taluvo::import {

void ParseBookmarksHtml(const char* data, size_t size, std::vector<SBookmark>& bookmarks)
{
    CAnchorCollector collector(bookmarks);
    collector.Feed(data, size);
    collector.Finish();
}

void ReadBookmarksHtml(const QString& path, std::vector<SBookmark>& bookmarks, const std::function<bool()>& shouldStop)
{
    FAIL_CHECK(!path.isEmpty(), QStringLiteral("No bookmarks file was found."));
    std::string contents;
    int error = 0;
    switch (taluvo::ReadRegularFile(
        NativePath(path).native(), static_cast<size_t>(kMaxBookmarksFileSize), contents, &error)) {
    case taluvo::EFileRead::ok:
        break;
    case taluvo::EFileRead::cannotOpen:
        FAIL_CHECK_FMT(false, u"Unable to open bookmarks file \"%s\": %s.", path, ErrnoText(error));
        break;
    case taluvo::EFileRead::notRegular:
        FAIL_CHECK_FMT(false, u"Bookmarks file \"%s\" is not a regular file.", path);
        break;
    case taluvo::EFileRead::tooLarge:
        FAIL_CHECK_FMT(false, u"Bookmarks file \"%s\" is too large: more than %I64d bytes are not read.", path,
            kMaxBookmarksFileSize);
        break;
    case taluvo::EFileRead::readError:
        FAIL_CHECK_FMT(false, u"Unable to read bookmarks file \"%s\": %s.", path, ErrnoText(error));
        break;
    }

    CAnchorCollector collector(bookmarks);
    for (size_t offset = 0; offset < contents.size(); offset += kPieceSize) {
        if (shouldStop && shouldStop())
            break;
        if (!collector.Feed(contents.data() + offset, std::min(kPieceSize, contents.size() - offset)))
            break;
    }
    collector.Finish();
}

} // namespace taluvo::import
