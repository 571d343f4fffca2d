// Measuring and drawing the update popup (20 changed pages) and a tree tooltip with the HTML
// renderer, against Qt's QTextDocument laying out and drawing the same markup in the same run.
// After the Google Benchmark table the program prints both times per call and their ratio
// (renderer / QTextDocument; at most 1.0 is the target).
#include "Controls/HtmlRenderer.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kWidth = 480, kHeight = 600;

QString PopupMarkup(int pages)
{
    QString text = QStringLiteral("<body><table><tr><td colspan=2><center><h2>Updated web page:</h2><br><hr "
                                  "color=blue></center><br></td></tr>");
    for (int i = 0; i < pages; ++i) {
        const QString url = QStringLiteral("http://www.example.test/news/section-%1/index.html").arg(i);
        text
            += QStringLiteral("<tr><td><icon idres=128 width=16 height=16></td><td><a msg=\"1,%1,%2\">%3</a></td></tr>")
                   .arg(i + 1)
                   .arg(url, url);
    }
    return text + QStringLiteral("</table></body>");
}

QString ToolTipMarkup()
{
    return QStringLiteral(
        "<body><table><tr><td colspan=2><center><h2>Page: Daily news:</h2><br><hr color=blue></center>"
        "<br></td></tr><tr><td>Group:</td><td>News</td></tr><tr><td>Enable:</td><td>Yes</td></tr>"
        "<tr><td>Url:</td><td><a msg=\"2,7,http://www.example.test/\">http://www.example.test/</a></td>"
        "</tr><tr><td>Status:</td><td>New</td></tr><tr><td>Interval:</td><td>1 day</td></tr>"
        "<tr><td>Last checked:</td><td>12/10/2026 14:00:00</td></tr></table></body>");
}

struct Target {
    Target()
    {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, kWidth, kHeight);
        old = SelectObject(dc, bitmap);
    }
    ~Target()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

// One owner's round: measure, then draw into the measured size.
void RendererRound(CHtmlRenderer& renderer, HDC dc, const QString& markup)
{
    SIZE size;
    renderer.MeasureHtml(dc, markup, &size);
    const RECT rect { 0, 0, size.cx, size.cy };
    renderer.RenderHtml(dc, &rect);
}

void QtRound(QImage& image, const QString& markup)
{
    QTextDocument document;
    document.setHtml(markup);
    document.setTextWidth(document.idealWidth());
    QPainter painter(&image);
    document.drawContents(&painter);
}

void BM_RendererPopup20(benchmark::State& state)
{
    Target target;
    CHtmlRenderer renderer;
    const QString markup = PopupMarkup(20);
    for (auto _ : state)
        RendererRound(renderer, target.dc, markup);
}
BENCHMARK(BM_RendererPopup20)->Unit(benchmark::kMicrosecond);

void BM_QTextDocumentPopup20(benchmark::State& state)
{
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    const QString markup = PopupMarkup(20);
    for (auto _ : state)
        QtRound(image, markup);
}
BENCHMARK(BM_QTextDocumentPopup20)->Unit(benchmark::kMicrosecond);

void BM_RendererToolTip(benchmark::State& state)
{
    Target target;
    CHtmlRenderer renderer;
    const QString markup = ToolTipMarkup();
    for (auto _ : state)
        RendererRound(renderer, target.dc, markup);
}
BENCHMARK(BM_RendererToolTip)->Unit(benchmark::kMicrosecond);

void BM_QTextDocumentToolTip(benchmark::State& state)
{
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    const QString markup = ToolTipMarkup();
    for (auto _ : state)
        QtRound(image, markup);
}
BENCHMARK(BM_QTextDocumentToolTip)->Unit(benchmark::kMicrosecond);

// A megabyte of hostile markup: one table row of cells followed by entities, breaks and a long
// justified paragraph under a wrapping width.
QString HostileMarkup()
{
    QString text = QStringLiteral("<table><tr>") + QStringLiteral("<td>x&quot;</td>").repeated(30000)
        + QStringLiteral("</tr></table>");
    text += QStringLiteral("&lt;table&gt;&amp;<br=99999999>").repeated(5000);
    text += QStringLiteral("<justify>") + QStringLiteral("justified words of a long line ").repeated(12000);
    return text;
}

// Microseconds per call over a fixed number of calls after a warm-up.
template <class F> double PerCall(F&& round, int calls = 200)
{
    for (int i = 0; i < std::min(calls, 5); ++i)
        round();
    const int kCalls = calls;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kCalls; ++i)
        round();
    return double(timer.nsecsElapsed()) / 1000.0 / kCalls;
}

void PrintComparison(const char* name, const QString& markup, int maxWidth = 0, int calls = 200)
{
    Target target;
    CHtmlRenderer renderer;
    renderer.m_nMaxWidth = maxWidth;
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    const double ours = PerCall([&] { RendererRound(renderer, target.dc, markup); }, calls);
    const double qt = PerCall([&] { QtRound(image, markup); }, calls);
    std::printf("%-22s renderer %9.1f us   QTextDocument %9.1f us   ratio %.2f\n", name, ours, qt, ours / qt);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintComparison("update popup, 20 pages", PopupMarkup(20));
    PrintComparison("tree tooltip", ToolTipMarkup());
    const QString hostile = HostileMarkup();
    std::printf("hostile markup: %lld characters\n", static_cast<long long>(hostile.size()));
    PrintComparison("1 MB hostile markup", hostile, kWidth, 1);
    return 0;
}
