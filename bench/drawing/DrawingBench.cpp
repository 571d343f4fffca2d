// Cost of the drawing manager's fills, shadows and blends on a popup-sized area, into a
// compatible bitmap and into a 32-bit DIB section (whose pixels the layer reads and writes back at
// every call), and of text output; Qt's own fill of the same area is the reference.
#include "Controls/DrawManager.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

namespace {

constexpr int kWidth = 320, kHeight = 200;

struct Surface {
    explicit Surface(bool section)
    {
        dc = CreateCompatibleDC(nullptr);
        if (section) {
            BITMAPINFO info {};
            info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            info.bmiHeader.biWidth = kWidth;
            info.bmiHeader.biHeight = kHeight;
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            void* bits = nullptr;
            bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        } else {
            bitmap = CreateCompatibleBitmap(dc, kWidth, kHeight);
        }
        old = SelectObject(dc, bitmap);
    }
    ~Surface()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

void BM_FillEffect(benchmark::State& state)
{
    Surface surface(state.range(1) != 0);
    CDrawManager manager;
    const RECT rect { 0, 0, kWidth, kHeight };
    for (auto _ : state)
        manager.FillEffect(
            surface.dc, UINT(state.range(0)), &rect, RGB(255, 255, 255), RGB(240, 247, 255), RGB(192, 192, 208), 5, 5);
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
// Solid, vertical gradient, soft bump, metal; into a compatible bitmap (0) and a DIB section (1).
BENCHMARK(BM_FillEffect)->ArgsProduct({ { 0, 2, 13, 15 }, { 0, 1 } })->Unit(benchmark::kMicrosecond);

void BM_QtFillReference(benchmark::State& state)
{
    QImage image(kWidth, kHeight, QImage::Format_ARGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.fillRect(image.rect(), QColor(255, 255, 255));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_QtFillReference)->Unit(benchmark::kMicrosecond);

void BM_BlurredShadow(benchmark::State& state)
{
    Surface surface(false);
    CDrawManager manager;
    HBITMAP shape = CreateCompatibleBitmap(nullptr, kWidth, kHeight);
    for (auto _ : state)
        manager.DrawShadow(surface.dc, 0, 0, kWidth, kHeight, shape, TRUE, int(state.range(0)), int(state.range(0)));
    DeleteObject(shape);
}
BENCHMARK(BM_BlurredShadow)->Arg(3)->Arg(15)->Unit(benchmark::kMicrosecond);

void BM_BlendRect(benchmark::State& state)
{
    Surface dest(false), src(false);
    CDrawManager manager;
    for (auto _ : state)
        manager.BlendRect(dest.dc, 0, 0, kWidth, kHeight, src.dc, 0, 0, 40);
}
BENCHMARK(BM_BlendRect)->Unit(benchmark::kMicrosecond);

void BM_TextOut(benchmark::State& state)
{
    Surface surface(false);
    HFONT font = CreateFont(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"DejaVu Sans");
    HFONT old = SelectObject(surface.dc, font);
    SetBkMode(surface.dc, TRANSPARENT);
    const QString text = QStringLiteral("A page you watch has changed");
    for (auto _ : state)
        TextOut(surface.dc, 4, 4, text);
    SelectObject(surface.dc, old);
    DeleteObject(font);
}
BENCHMARK(BM_TextOut)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
