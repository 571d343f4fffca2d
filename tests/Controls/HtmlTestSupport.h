// A renderer whose working members the tests can reach, and a memory context with a pinned font
// for the parsers that measure text or read the context's resolution.
#pragma once

#include "Controls/HtmlRenderer.h"

#include "platform/ui/UserApi.h"
#include "tests/platform/ui/GdiCanvas.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>

class CTestHtmlRenderer : public CHtmlRenderer {
public:
    using CHtmlRenderer::CreateFontFromDescription;
    using CHtmlRenderer::m_animations;
    using CHtmlRenderer::m_arrTables;
    using CHtmlRenderer::m_bUseColors;
    using CHtmlRenderer::m_clrDisabled;
    using CHtmlRenderer::m_clrImageShadow;
    using CHtmlRenderer::m_colors;
    using CHtmlRenderer::m_curStyle;
    using CHtmlRenderer::m_hDC;
    using CHtmlRenderer::m_hHandCursor;
    using CHtmlRenderer::m_imageBoxes;
    using CHtmlRenderer::m_lf;
    using CHtmlRenderer::m_lines;
    using CHtmlRenderer::m_linkAreas;
    using CHtmlRenderer::m_nHoverLink;
    using CHtmlRenderer::m_nLine;
    using CHtmlRenderer::m_nTabSize;
    using CHtmlRenderer::m_selectors;
    using CHtmlRenderer::m_strMarkup;
    using CHtmlRenderer::m_tags;
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
    CHtmlTestDc() { oldFont = SelectObject(dc, font); }
    ~CHtmlTestDc()
    {
        SelectObject(dc, oldFont);
        DeleteObject(font);
    }
    CHtmlTestDc(const CHtmlTestDc&) = delete;
    CHtmlTestDc& operator=(const CHtmlTestDc&) = delete;

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

private:
    // Fonts need the application before the first context is made.
    bool m_application = (taluvo::test::EnsureUiApplication(), true);

public:
    taluvo::test::Canvas canvas { 64, 64 };
    HDC dc = canvas.dc;

private:
    HFONT font = CreateFont(16, 0, 0, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"DejaVu Sans");
    HFONT oldFont = nullptr;
};

constexpr int kBodyPx = 13;
constexpr int kH2Px = 17;

// A renderer whose fonts are DejaVu Sans at pixel sizes, and a context of the given size.
class HtmlCanvasTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        r.SetSelectorStyle(
            QStringLiteral("body"), QStringLiteral("font-size:13px; color:black; font-family:DejaVu Sans"));
        r.SetSelectorStyle(QStringLiteral("h2"),
            QStringLiteral("font-size:17px; color:#ff9900; font-family:DejaVu Sans; font-weight:bold"));
        Resize(400, 300);
    }

    // A white picture of the given size in the test's context.
    void Resize(int width, int height) { dc.canvas.Resize(width, height); }

    SIZE Measure(const QString& text)
    {
        SIZE size { -1, -1 };
        r.MeasureHtml(dc.dc, text, &size);
        return size;
    }
    // Measures, then draws at the origin into the measured size.
    SIZE Layout(const QString& text)
    {
        const SIZE size = Measure(text);
        const RECT rect { 0, 0, size.cx, size.cy };
        r.RenderHtml(dc.dc, &rect);
        return size;
    }

    // Width and metrics of a text in DejaVu Sans of the given pixel size and weight.
    int WidthOf(const QString& text, int px = kBodyPx, int weight = 400) const
    {
        HFONT font = CreateFont(px, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"DejaVu Sans");
        HFONT previous = SelectObject(dc.dc, font);
        SIZE size { 0, 0 };
        GetTextExtentPoint32(dc.dc, text, &size);
        SelectObject(dc.dc, previous);
        DeleteObject(font);
        return size.cx;
    }
    TEXTMETRIC MetricsOf(int px = kBodyPx, int weight = 400) const
    {
        HFONT font = CreateFont(px, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"DejaVu Sans");
        HFONT previous = SelectObject(dc.dc, font);
        TEXTMETRIC tm;
        GetTextMetrics(dc.dc, &tm);
        SelectObject(dc.dc, previous);
        DeleteObject(font);
        return tm;
    }

    // The context keeps alpha 0 as a Windows DIB does; the picture is opaque.
    QImage Snapshot() const
    {
        return taluvo::ui::ImageOfBitmap(dc.canvas.bitmap).convertToFormat(QImage::Format_RGB32);
    }

    CHtmlTestDc dc;
    CTestHtmlRenderer r;
};

// Screenshots for people to look at, in the suite's build folder "artefacts".
inline QString ArtefactPath(const QString& name)
{
    const QDir folder(QStringLiteral(TALUVO_CONTROLS_ARTEFACT_DIR));
    folder.mkpath(QStringLiteral("."));
    return folder.filePath(name);
}

// The popup's page icon, as the program's resources provide it.
inline void RegisterPopupIcon()
{
    static bool done = false;
    if (done)
        return;
    const QString path = QDir(qEnvironmentVariable("TALUVO_HOME")).filePath(QStringLiteral("icon128.png"));
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(QColor(0, 128, 0));
    ASSERT_TRUE(icon.save(path));
    taluvo::ui::RegisterIconResource(128, path);
    done = true;
}
