// The renderer object: construction, owner settings, text preparation, vocabulary look-ups and
// string resources.
#include "Controls/HtmlRenderer.h"

#include "platform/ui/Menu.h"

#include <QStringList>

#include <algorithm>

namespace {

// Pointer-or-id arguments, as the Windows resource functions take them.
bool IsResourceId(LPCWSTR text)
{
    return reinterpret_cast<uintptr_t>(text) < 0x10000;
}

} // namespace

CHtmlRenderer::CHtmlRenderer()
{
    BuildTagTable();
    BuildEntityTable();
    BuildColorTable();
    LoadHandCursor();
    EnableEscapes(TRUE);
    m_nMaxWidth = 0;
    SetShadow(4, 4, 50, TRUE, 7, 7);
    m_nTabSize = 32;
    LoadDefaultStyleSheet();
    m_bUseColors = TRUE;
    m_clrDisabled = GetSysColor(COLOR_BTNSHADOW);
}

CHtmlRenderer::~CHtmlRenderer()
{
    SetResourceDll(nullptr, 0);
    if (m_hHandCursor)
        DestroyCursor(m_hHandCursor);
    if (m_hImageList)
        ImageList_Destroy(m_hImageList);
    if (m_hFont)
        DeleteObject(m_hFont);
}

void CHtmlRenderer::SetRepaintNotify(HWND hwnd, UINT message, LPARAM lParam)
{
    m_hRepaintWnd = hwnd;
    m_nRepaintMsg = hwnd ? message : 0;
    m_lRepaintParam = hwnd ? lParam : 0;
}

void CHtmlRenderer::SetLinkNotify(HWND hwnd, UINT message, LPARAM lParam)
{
    m_hLinkWnd = hwnd;
    m_nLinkMsg = hwnd ? message : 0;
    m_lLinkParam = hwnd ? lParam : 0;
}

void CHtmlRenderer::SetShadow(int dx, int dy, BYTE darkness, BOOL soft, int depthX, int depthY)
{
    m_nImageShadowDx = dx;
    m_nImageShadowDy = dy;
    m_nImageShadowDarkness = std::min<int>(darkness, 100);
    m_bImageShadowSoft = soft;
    m_nImageShadowDepthX = depthX;
    m_nImageShadowDepthY = depthY;
    const BYTE grey = BYTE(MulDiv(255, 100 - m_nImageShadowDarkness, 100));
    m_clrImageShadow = RGB(grey, grey, grey);
}

void CHtmlRenderer::SetResourceDll(LPCWSTR, DWORD)
{
    // Nothing is ever loaded (see the header), so there is never an owned module to free.
    m_hResModule = nullptr;
    m_bOwnResModule = FALSE;
}

void CHtmlRenderer::LoadHandCursor()
{
    // The desktop's own pointing hand, the cursor links show everywhere else.
    if (!m_hHandCursor)
        m_hHandCursor = ::LoadCursor(nullptr, IDC_HAND);
}

QString CHtmlRenderer::TextOrResource(LPCWSTR text) const
{
    if (!text)
        return QString();
    if (IsResourceId(text)) {
        // A string that cannot be loaded is an empty text, never the null argument.
        const QString loaded = LoadResString(UINT(reinterpret_cast<uintptr_t>(text)));
        return loaded.isNull() ? QStringLiteral("") : loaded;
    }
    return QString::fromUtf16(text);
}

int CHtmlRenderer::TextWidth(QStringView text, int count) const
{
    if (count < 0 || count > text.size())
        count = int(text.size());
    m_work.measured += count;
    if (!m_hDC || count == 0)
        return 0;
    auto extent = [this](QStringView part) {
        SIZE size { 0, 0 };
        if (!part.isEmpty())
            GetTextExtentPoint32(m_hDC, reinterpret_cast<LPCWSTR>(part.utf16()), int(part.size()), &size);
        return int(size.cx);
    };
    if (m_curStyle.m_nAlign != 3)
        return extent(text.left(count));
    int width = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= count; ++i) {
        if (i < count && text[i] != u' ')
            continue;
        width += extent(text.mid(start, i - start));
        if (i < count) {
            if (m_nSpaceWidth < 0)
                m_nSpaceWidth = extent(u" ");
            width += m_nSpaceWidth;
        }
        start = i + 1;
    }
    return width;
}

void CHtmlRenderer::PreprocessText()
{
    // Entities are not touched here: they are expanded in text runs and attribute values once the
    // tags around them are read (ExpandEntities), so an escaped quote or "<" never becomes markup.
    // Line feeds and tabs likewise become breaks and tab stops only where a text run holds them.
    m_strMarkup.remove(u'\r');
    if (!m_bEscapes) {
        m_strMarkup.remove(u'\n');
        m_strMarkup.remove(u'\t');
    }
}

QString CHtmlRenderer::ExpandEntities(QStringView text) const
{
    // One left-to-right sweep: what an entity yields is text and is never read again, so
    // "&amp;lt;" shows as "&lt;". Where two entities start at one place the longer one wins.
    QString out;
    qsizetype done = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!m_strEntityStarts.contains(text[i]))
            continue;
        const QString* replacement = nullptr;
        qsizetype length = 0;
        for (const auto& [entity, value] : m_entities) {
            if (entity.size() > length && text.mid(i).startsWith(entity)) {
                replacement = &value;
                length = entity.size();
            }
        }
        if (!replacement)
            continue;
        out += text.mid(done, i - done);
        out += *replacement;
        done = i + length;
        i = done - 1;
    }
    if (done == 0)
        return text.toString();
    out += text.mid(done);
    return out;
}

QString CHtmlRenderer::NextAttribute(const QString& attributes, int& pos, QString& name) const
{
    return ExpandEntities(GetNextAttribute(attributes, pos, name));
}

int CHtmlRenderer::GetTagId(QString name, QString& styleName, BOOL& closing) const
{
    styleName.clear();
    closing = !name.isEmpty() && name[0] == u'/';
    if (closing)
        name.remove(0, 1);
    const auto it = m_tags.find(name);
    if (it == m_tags.end())
        return TAG_NONE;
    styleName = it->second.strStyle;
    return it->second.nId;
}

COLORREF CHtmlRenderer::ColorByName(const QString& name, COLORREF defaultColor) const
{
    if (!m_bUseColors)
        return m_clrDisabled;
    const auto it = m_colors.find(name);
    return it == m_colors.end() ? defaultColor : it->second;
}

void CHtmlRenderer::AddTag(const QString& name, int id, const QString& style)
{
    m_tags[name] = SHtmlTag { id, style };
}

void CHtmlRenderer::AddTag(LPCWSTR name, int id, LPCWSTR style)
{
    AddTag(TextOrResource(name), id, TextOrResource(style));
}

void CHtmlRenderer::AddEntity(const QString& entity, const QString& replacement)
{
    // An empty pattern would be found between every two characters of every text.
    if (entity.isEmpty())
        return;
    m_entities[entity] = replacement;
    if (!m_strEntityStarts.contains(entity[0]))
        m_strEntityStarts += entity[0];
}

void CHtmlRenderer::AddEntity(LPCWSTR entity, LPCWSTR replacement)
{
    AddEntity(TextOrResource(entity), TextOrResource(replacement));
}

void CHtmlRenderer::AddColor(const QString& name, COLORREF color)
{
    m_colors[name] = color;
}

void CHtmlRenderer::AddColor(LPCWSTR name, COLORREF color)
{
    AddColor(TextOrResource(name), color);
}

QString CHtmlRenderer::LoadResString(UINT id) const
{
    // The string table hands out whole strings, whatever their length.
    QString text;
    if (id == 0 || !taluvo::ui::LoadStringResource(id, &text))
        return QStringLiteral("");
    return text;
}

QString CHtmlRenderer::LoadResStringFromDll(UINT id, LPCWSTR library) const
{
    // A named library is never loaded (see SetResourceDll); without one the owner's resource
    // module would be used, and there is none on this platform.
    (void)id;
    (void)library;
    return QStringLiteral("");
}

QString CHtmlRenderer::GetResStringLine(UINT id, int line) const
{
    const QStringList lines = LoadResString(id).split(u'\n');
    if (line < 0 || line >= lines.size())
        return QStringLiteral("");
    return lines[line];
}
