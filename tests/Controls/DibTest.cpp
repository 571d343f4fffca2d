// The packed bitmap: layout, palette work, drawing, and BMP files read back by ImageMagick.
#include "Controls/Dib.h"

#include "tests/platform/ui/GdiCanvas.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QtEndian>

namespace {

class DibTest : public ::testing::Test {
protected:
    void SetUp() override { taluvo::test::EnsureUiApplication(); }
};

TEST_F(DibTest, LayoutFollowsTheDepth)
{
    struct Case {
        int w, h;
        WORD bpp;
        int stride, palette;
    } cases[]
        = { { 10, 3, 8, 12, 256 }, { 10, 3, 24, 32, 0 }, { 1, 1, 1, 4, 2 }, { 9, 2, 4, 8, 16 }, { 3, 2, 32, 12, 0 } };
    for (const auto& c : cases) {
        CDib dib;
        ASSERT_NE(dib.Create(c.w, c.h, c.bpp), nullptr);
        EXPECT_EQ(dib.GetStride(), c.stride);
        EXPECT_EQ(dib.GetPaletteCount(), c.palette);
        EXPECT_EQ(dib.GetSize(), 40 + 4 * c.palette + c.stride * c.h);
        const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(dib.GetBlock());
        EXPECT_EQ(header->biSizeImage, DWORD(c.stride * c.h));
        EXPECT_EQ(header->biBitCount, c.bpp);
    }
    CDib empty;
    EXPECT_EQ(empty.Create(0, 5, 8), nullptr);
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.GetBits(), nullptr);
}

TEST_F(DibTest, PixelIndicesCountRowsFromTheTopAndIgnoreOutsiders)
{
    CDib dib;
    dib.Create(4, 3, 8);
    dib.Fill(9);
    dib.SetPixelIndex(0, 0, 1);
    dib.SetPixelIndex(3, 2, 2);
    dib.SetPixelIndex(4, 0, 7);
    dib.SetPixelIndex(0, -1, 7);
    const BYTE* bits = dib.GetBits();
    EXPECT_EQ(bits[2 * 4 + 0], 1); // the top row is the last in memory
    EXPECT_EQ(bits[3], 2);
    for (int i = 0; i < 12; ++i)
        EXPECT_NE(bits[i], 7);
    dib.SetGrayPalette();
    dib.BlendPalette(RGB(10, 20, 30), 250);
    const auto* palette = reinterpret_cast<const RGBQUAD*>(dib.GetBlock() + 40);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(palette[i].rgbRed, 10);
        EXPECT_EQ(palette[i].rgbBlue, 30);
    }
    EXPECT_EQ(CDib::ColorToPalette(RGB(1, 2, 3)), 0x010203u);
}

TEST_F(DibTest, DrawShowsThePixelsOfTheMomentAndCaptureFillsTheSection)
{
    CDib dib;
    dib.Create(2, 1, 8);
    dib.SetPaletteEntry(0, 255, 0, 0);
    dib.SetPaletteEntry(1, 0, 0, 255);
    dib.Fill(0);
    const taluvo::test::Canvas target(4, 4);
    HDC dc = target.dc;
    dib.Draw(dc, 1, 1);
    EXPECT_EQ(GetPixel(dc, 2, 1), RGB(255, 0, 0));
    dib.SetPixelIndex(1, 0, 1);
    dib.Draw(dc, 1, 1);
    EXPECT_EQ(GetPixel(dc, 2, 1), RGB(0, 0, 255));
    CDib copy;
    copy.CopyFrom(dib);
    EXPECT_EQ(copy.GetSize(), dib.GetSize());
    EXPECT_EQ(0, memcmp(copy.GetBlock(), dib.GetBlock(), size_t(dib.GetSize())));
}

QString RunTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitCode() != 0)
        return QStringLiteral("<failed: ") + QString::fromLocal8Bit(process.readAllStandardError()) + u'>';
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

TEST_F(DibTest, SavedBitmapsReadBackIdenticallyInImageMagick)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/identify")))
        GTEST_SKIP() << "ImageMagick (Debian imagemagick) is not installed";
    taluvo::test::TempDir dir;
    for (WORD bpp : { 1, 4, 8, 24, 32 }) {
        SCOPED_TRACE(bpp);
        const int w = 13, h = 7;
        CDib dib;
        ASSERT_NE(dib.Create(w, h, bpp), nullptr);
        // Colours per pixel: a palette of distinct colours, or direct values.
        auto expected = [&](int x, int y) -> QRgb {
            if (bpp <= 8) {
                const int count = 1 << bpp;
                const int index = (x * 3 + y * 5) % count;
                return qRgb((index * 37) & 0xFF, (index * 91) & 0xFF, 255 - index);
            }
            return qRgb(x * 19, y * 31, (x + y) * 7);
        };
        if (bpp <= 8)
            for (int i = 0; i < (1 << bpp); ++i)
                dib.SetPaletteEntry(BYTE(i), BYTE((i * 37) & 0xFF), BYTE((i * 91) & 0xFF), BYTE(255 - i));
        BYTE* bits = dib.GetBits();
        for (int y = 0; y < h; ++y) {
            BYTE* row = bits + size_t(h - 1 - y) * dib.GetStride();
            for (int x = 0; x < w; ++x) {
                if (bpp <= 8) {
                    const int index = (x * 3 + y * 5) % (1 << bpp);
                    const int bit = x * bpp;
                    row[bit / 8] = BYTE(row[bit / 8] | (index << (8 - bpp - bit % 8)));
                } else {
                    const QRgb c = expected(x, y);
                    BYTE* p = row + static_cast<ptrdiff_t>(x) * (bpp / 8);

                    p[0] = BYTE(qBlue(c));
                    p[1] = BYTE(qGreen(c));
                    p[2] = BYTE(qRed(c));
                    if (bpp == 32)
                        p[3] = 0;
                }
            }
        }
        const QString bmp = QString::fromStdString(dir.Path()) + QStringLiteral("/b%1.bmp").arg(bpp);
        const QString png = QString::fromStdString(dir.Path()) + QStringLiteral("/b%1.png").arg(bpp);
        ASSERT_TRUE(dib.SaveToFile(bmp));
        QFile file(bmp);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(bytes.startsWith("BM"));
        EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 2), quint32(bytes.size()));
        EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 10), quint32(14 + 40 + dib.GetPaletteSize()));
        EXPECT_EQ(RunTool(QStringLiteral("/usr/bin/identify"),
                      { QStringLiteral("-format"), QStringLiteral("%m %w %h"), bmp }),
            QStringLiteral("BMP3 %1 %2").arg(w).arg(h));
        // A 32-bit BMP with alpha bytes 0 is opaque to every reader; ask for the colours only.
        RunTool(QStringLiteral("/usr/bin/convert"), { bmp, QStringLiteral("-alpha"), QStringLiteral("off"), png });
        const QImage image(png);
        ASSERT_FALSE(image.isNull());
        ASSERT_EQ(image.size(), QSize(w, h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, expected(x, y) & 0xFFFFFF) << x << "," << y;
    }
}

TEST_F(DibTest, SavingFailsVisibly)
{
    taluvo::test::TempDir dir;
    CDib dib;
    EXPECT_FALSE(dib.SaveToFile(QString::fromStdString(dir.Path()) + QStringLiteral("/empty.bmp"))); // empty image
    dib.Create(4, 4, 8);
    EXPECT_FALSE(dib.SaveToFile(QString()));
    taluvo::test::WriteFile(dir.Path() + "/file", "x");
    EXPECT_FALSE(dib.SaveToFile(QString::fromStdString(dir.Path()) + QStringLiteral("/file/under.bmp")));
    // A full device: the write fails and is reported; the device itself stays.
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        EXPECT_FALSE(dib.SaveToFile(QStringLiteral("/dev/full")));
        EXPECT_TRUE(QFile::exists(QStringLiteral("/dev/full")));
    }
}

} // namespace
