// A renderer whose working members the tests can reach, and a memory context with a pinned font
// for the parsers that measure text or read the context's resolution.
#pragma once

#include "Controls/HtmlRenderer.h"

#include "tests/platform/ui/UiTestSupport.h"

class CTestHtmlRenderer : public CHtmlRenderer {
public:
    using CHtmlRenderer::m_bUseColors;
    using CHtmlRenderer::m_clrDisabled;
    using CHtmlRenderer::m_clrImageShadow;
    using CHtmlRenderer::m_colors;
    using CHtmlRenderer::m_curStyle;
    using CHtmlRenderer::m_hDC;
    using CHtmlRenderer::m_hHandCursor;
    using CHtmlRenderer::m_nHoverLink;
    using CHtmlRenderer::m_nTabSize;
    using CHtmlRenderer::m_selectors;
    using CHtmlRenderer::m_strMarkup;
    using CHtmlRenderer::m_tags;
    using CHtmlRenderer::m_arrTables;
    using CHtmlRenderer::m_lines;
    using CHtmlRenderer::m_linkAreas;
    using CHtmlRenderer::m_animations;
    using CHtmlRenderer::m_lf;
    using CHtmlRenderer::CreateFontFromDescription;
    using CHtmlRenderer::m_imageBoxes;
    using CHtmlRenderer::m_nLine;
    using CHtmlRenderer::m_work;

    QString Prepared(const QString& text)
    {
        m_strMarkup = text;
        PreprocessText();
        return m_strMarkup;
    }
};

// A 32-bit memory context with a 16-pixel DejaVu Sans selected.
class CHtmlTestDc {
public:
    CHtmlTestDc()
    {
        taluvo::test::EnsureUiApplication();
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, 64, 64);
        oldBitmap = SelectObject(dc, bitmap);
        font = CreateFont(16, 0, 0, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"DejaVu Sans");
        oldFont = SelectObject(dc, font);
    }
    ~CHtmlTestDc()
    {
        SelectObject(dc, oldFont);
        DeleteObject(font);
        SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    int Width(const QString& text) const
    {
        SIZE size;
        GetTextExtentPoint32(dc, text, &size);
        return size.cx;
    }
    TEXTMETRIC Metrics() const
    {
        TEXTMETRIC tm;
        GetTextMetrics(dc, &tm);
        return tm;
    }

    HDC dc = nullptr;

private:
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    HFONT font = nullptr;
    HFONT oldFont = nullptr;
};
