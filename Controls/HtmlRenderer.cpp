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
        DestroyIcon(m_hHandCursor);
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
    // The platform offers no cursor resources yet; links then keep the owner's cursor.
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

int CHtmlRenderer::TextWidth(const QString& text, int count) const
{
    if (count < 0 || count > text.size())
        count = int(text.size());
    SIZE size;
    if (!m_hDC || count == 0 || !GetTextExtentPoint32(m_hDC, reinterpret_cast<LPCWSTR>(text.utf16()), count, &size))
        return 0;
    return size.cx;
}

void CHtmlRenderer::PreprocessText()
{
    // Entities in ascending order of their text, each in one left-to-right sweep, so a later
    // entity sees what an earlier one produced ("&amp;lt;" ends as the escape "<<").
    for (const auto& [entity, replacement] : m_entities)
        m_strMarkup.replace(entity, replacement);
    m_strMarkup.remove(u'\r');
    if (m_bEscapes) {
        m_strMarkup.replace(u'\n', QStringLiteral("<br>"));
        m_strMarkup.replace(u'\t', QStringLiteral("<t>"));
    } else {
        m_strMarkup.remove(u'\n');
        m_strMarkup.remove(u'\t');
    }
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
    if (!entity.isEmpty())
        m_entities[entity] = replacement;
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
