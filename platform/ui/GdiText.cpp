// Fonts (resolved through Qt's font database, which is fontconfig on Linux), text metrics, extents
// and text output.
#include "platform/ui/GdiInternal.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>

#include <cstring>

namespace taluvo::ui::gdi {

namespace {

// A height of 0 asks for the default size.
constexpr int kDefaultPixelSize = 12;

QString FaceOf(const LOGFONT& logFont)
{
    const WCHAR* face = logFont.lfFaceName;
    int length = 0;
    while (length < LF_FACESIZE && face[length])
        ++length;
    return QString::fromUtf16(face, length);
}

QFont BaseFont(const LOGFONT& logFont, int pixelSize)
{
    QFont font;
    const QString face = FaceOf(logFont);
    font.setFamily(face.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont).family() : face);
    font.setPixelSize(std::max(pixelSize, 1));
    font.setWeight(QFont::Weight(std::clamp<int>(logFont.lfWeight ? logFont.lfWeight : FW_NORMAL, 1, 1000)));
    font.setItalic(logFont.lfItalic);
    font.setUnderline(logFont.lfUnderline);
    font.setStrikeOut(logFont.lfStrikeOut);
    // Windows measures strings without kerning; so do we, so widths add up word by word.
    font.setKerning(false);
    return font;
}

} // namespace

void Font::Resolve()
{
    if (resolved)
        return;
    resolved = true;
    const LONG height = logFont.lfHeight;
    int pixelSize = height < 0 ? -height : (height == 0 ? kDefaultPixelSize : height);
    if (height > 0) {
        // A positive height is the cell (ascent + descent): find the em size that gives it.
        const QFontMetrics reference(BaseFont(logFont, 100));
        const int cell100 = std::max(reference.ascent() + reference.descent(), 1);
        pixelSize = std::max(1, int(std::lround(height * 100.0 / cell100)));
        for (int tries = 0; tries < 4; ++tries) {
            const QFontMetrics m(BaseFont(logFont, pixelSize));
            const int cell = m.ascent() + m.descent();
            if (cell > height && pixelSize > 1)
                --pixelSize;
            else if (cell < height
                && QFontMetrics(BaseFont(logFont, pixelSize + 1)).ascent()
                        + QFontMetrics(BaseFont(logFont, pixelSize + 1)).descent()
                    <= height)
                ++pixelSize;
            else
                break;
        }
    }
    font = BaseFont(logFont, pixelSize);
    const QFontMetrics metrics(font);
    ascent = metrics.ascent();
    descent = metrics.descent();
    internalLeading = std::max(0, ascent + descent - pixelSize);
    externalLeading = std::max(0, metrics.leading());
    averageWidth = metrics.averageCharWidth();
    maxWidth = metrics.maxWidth();
}

std::shared_ptr<Font> MakeFont(const LOGFONT& logFont)
{
    auto font = std::make_shared<Font>();
    font->logFont = logFont;
    return font;
}

HFONT DefaultFont()
{
    static HFONT font = [] {
        LOGFONT logFont;
        logFont.lfHeight = -kDefaultPixelSize;
        logFont.lfWeight = FW_NORMAL;
        auto object = MakeFont(logFont);
        object->stock = true;
        return reinterpret_cast<HFONT>(Add(object));
    }();
    return font;
}

} // namespace taluvo::ui::gdi

using namespace taluvo::ui::gdi;

namespace {

std::shared_ptr<Font> SelectedFont(const Dc& dc)
{
    auto font = FindFont(FontObject(dc.state.font));
    if (!font)
        font = FindFont(FontObject(DefaultFont()));
    font->Resolve();
    return font;
}

QString TextOf(LPCWSTR text, int count)
{
    if (!text)
        return QString();
    if (count < 0) {
        count = 0;
        while (text[count])
            ++count;
    }
    return QString::fromUtf16(text, count);
}

// Extra pixels each space of the text gets under SetTextJustification.
std::vector<int> SpaceExtras(const DcState& state, const QString& text)
{
    std::vector<int> extras;
    if (state.justifyCount <= 0 || state.justifyExtra == 0)
        return extras;
    const int each = state.justifyExtra / state.justifyCount;
    const int remainder = state.justifyExtra % state.justifyCount;
    int breaks = 0;
    for (QChar c : text)
        if (c == u' ')
            extras.push_back(each + (breaks++ < remainder ? 1 : 0));
    return extras;
}

int Advance(const Font& font, const QString& text)
{
    return QFontMetrics(font.font).horizontalAdvance(text);
}

int ExtentWidth(const Dc& dc, const Font& font, const QString& text)
{
    int width = Advance(font, text);
    for (int extra : SpaceExtras(dc.state, text))
        width += extra;
    return width;
}

// Draws a line of text with its cell's top-left at (x, y), honouring justification.
void DrawTextRun(Dc& dc, const Font& font, int x, int y, const QString& text, const QRect* clip)
{
    const int width = ExtentWidth(dc, font, text);
    const int height = font.ascent + font.descent;
    QRect bound(x, y, width, height);
    if (dc.state.bkMode == OPAQUE) {
        QImage* image = Target(dc);
        if (image) {
            QRegion area = Allowed(dc, *image, bound);
            if (clip)
                area = area.intersected(*clip);
            FillPixels(*image, area, PixelOf(dc.state.bkColor));
            Done(dc);
        }
    }
    if (clip)
        bound = bound.intersected(*clip);
    // Glyphs may reach a little outside their advance (italics, overhangs).
    QRect paintBound = clip ? bound : bound.adjusted(-height / 2, 0, height / 2, 0);
    const std::vector<int> extras = SpaceExtras(dc.state, text);
    PaintWith(dc, paintBound, [&](QPainter& painter) {
        if (clip)
            painter.setClipRect(*clip, Qt::IntersectClip);
        painter.setFont(font.font);
        painter.setPen(QColor(QRgb(PixelOf(dc.state.textColor))));
        const int baseline = y + font.ascent;
        if (extras.empty()) {
            painter.drawText(QPoint(x, baseline), text);
            return;
        }
        // Word by word, each space widened by its share.
        const QFontMetrics metrics(font.font);
        int pen = x;
        size_t space = 0;
        int start = 0;
        for (int i = 0; i <= text.size(); ++i) {
            if (i < text.size() && text[i] != u' ')
                continue;
            const QString word = text.mid(start, i - start);
            painter.drawText(QPoint(pen, baseline), word);
            pen += metrics.horizontalAdvance(word);
            if (i < text.size()) {
                pen += metrics.horizontalAdvance(QChar(u' ')) + extras[space++];
            }
            start = i + 1;
        }
    });
}

} // namespace

HFONT CreateFontIndirect(const LOGFONT* logFont)
{
    if (!logFont)
        return nullptr;
    return reinterpret_cast<HFONT>(Add(MakeFont(*logFont)));
}

HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
    DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily,
    LPCWSTR face)
{
    LOGFONT lf;
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = BYTE(italic);
    lf.lfUnderline = BYTE(underline);
    lf.lfStrikeOut = BYTE(strikeOut);
    lf.lfCharSet = BYTE(charSet);
    lf.lfOutPrecision = BYTE(outPrecision);
    lf.lfClipPrecision = BYTE(clipPrecision);
    lf.lfQuality = BYTE(quality);
    lf.lfPitchAndFamily = BYTE(pitchAndFamily);
    for (int i = 0; face && face[i] && i < LF_FACESIZE - 1; ++i)
        lf.lfFaceName[i] = face[i];
    return CreateFontIndirect(&lf);
}

BOOL GetTextMetrics(HDC dc, TEXTMETRIC* metrics)
{
    Dc* record = FindDc(dc);
    if (!record || !metrics)
        return FALSE;
    auto font = SelectedFont(*record);
    *metrics = TEXTMETRIC {};
    metrics->tmAscent = font->ascent;
    metrics->tmDescent = font->descent;
    metrics->tmHeight = font->ascent + font->descent;
    metrics->tmInternalLeading = font->internalLeading;
    metrics->tmExternalLeading = font->externalLeading;
    metrics->tmAveCharWidth = font->averageWidth;
    metrics->tmMaxCharWidth = font->maxWidth;
    metrics->tmWeight = font->logFont.lfWeight ? font->logFont.lfWeight : FW_NORMAL;
    metrics->tmItalic = font->logFont.lfItalic;
    metrics->tmUnderlined = font->logFont.lfUnderline;
    metrics->tmStruckOut = font->logFont.lfStrikeOut;
    metrics->tmFirstChar = 0x20;
    metrics->tmLastChar = 0xFFFC;
    metrics->tmDefaultChar = u'?';
    metrics->tmBreakChar = u' ';
    metrics->tmCharSet = font->logFont.lfCharSet;
    metrics->tmDigitizedAspectX = metrics->tmDigitizedAspectY = 96;
    return TRUE;
}

BOOL GetTextExtentPoint32(HDC dc, const QString& text, SIZE* size)
{
    Dc* record = FindDc(dc);
    if (!record || !size)
        return FALSE;
    auto font = SelectedFont(*record);
    size->cx = ExtentWidth(*record, *font, text);
    size->cy = font->ascent + font->descent;
    return TRUE;
}

BOOL GetTextExtentPoint32(HDC dc, LPCWSTR text, int count, SIZE* size)
{
    if (!text && count > 0)
        return FALSE;
    return GetTextExtentPoint32(dc, TextOf(text, std::max(count, 0)), size);
}

BOOL TextOut(HDC dc, int x, int y, const QString& text)
{
    Dc* record = FindDc(dc);
    if (!record)
        return FALSE;
    auto font = SelectedFont(*record);
    const UINT align = record->state.textAlign;
    if (align & TA_UPDATECP) {
        x = record->state.position.x;
        y = record->state.position.y;
    }
    const int width = ExtentWidth(*record, *font, text);
    if ((align & TA_CENTER) == TA_CENTER)
        x -= width / 2;
    else if (align & TA_RIGHT)
        x -= width;
    if ((align & TA_BASELINE) == TA_BASELINE)
        y -= font->ascent;
    else if (align & TA_BOTTOM)
        y -= font->ascent + font->descent;
    DrawTextRun(*record, *font, x, y, text, nullptr);
    if (align & TA_UPDATECP)
        record->state.position.x += width;
    return TRUE;
}

BOOL TextOut(HDC dc, int x, int y, LPCWSTR text, int count)
{
    if (!text && count > 0)
        return FALSE;
    return TextOut(dc, x, y, TextOf(text, std::max(count, 0)));
}

namespace {

struct PreparedLine {
    QString text;
    int underline = -1; // index of the prefixed character, -1 when none
};

// Removes the '&' prefixes: "&&" is one '&', "&x" underlines x.
PreparedLine StripPrefix(const QString& text, bool keepUnderline)
{
    PreparedLine line;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'&' && keepUnderline && line.underline < 0)
                line.underline = int(line.text.size());
        } else if (text[i] == u'&') {
            continue;
        }
        line.text += text[i];
    }
    return line;
}

// Breaks a paragraph into lines no wider than `width` at spaces; a word wider than the line
// stands alone on its line.
QStringList WrapWords(const Dc& dc, const Font& font, const QString& paragraph, int width)
{
    QStringList lines;
    QString current;
    const QStringList words = paragraph.split(u' ');
    for (int i = 0; i < words.size(); ++i) {
        const QString candidate = current.isEmpty() && i == 0 ? words[i] : current + u' ' + words[i];
        if (!current.isEmpty() && ExtentWidth(dc, font, candidate) > width) {
            lines << current;
            current = words[i];
        } else {
            current = candidate;
        }
    }
    lines << current;
    return lines;
}

QString Ellipsize(const Dc& dc, const Font& font, const QString& text, int width)
{
    if (ExtentWidth(dc, font, text) <= width)
        return text;
    QString dots = QStringLiteral("...");
    for (int keep = int(text.size()) - 1; keep >= 0; --keep) {
        QString candidate = text.left(keep) + dots;
        if (ExtentWidth(dc, font, candidate) <= width || keep == 0)
            return candidate;
    }
    return dots;
}

} // namespace

int DrawText(HDC dc, const QString& input, RECT* rect, UINT format)
{
    Dc* record = FindDc(dc);
    if (!record || !rect)
        return 0;
    auto font = SelectedFont(*record);
    const int lineHeight = font->ascent + font->descent;
    const int width = rect->right - rect->left;
    QString text = input;
    if (format & DT_EXPANDTABS)
        text.replace(u'\t', QStringLiteral("        "));
    std::vector<PreparedLine> lines;
    const bool prefix = !(format & DT_NOPREFIX);
    auto addLine = [&](const QString& raw) {
        lines.push_back(prefix ? StripPrefix(raw, !(format & DT_HIDEPREFIX)) : PreparedLine { raw, -1 });
    };
    if (format & DT_SINGLELINE) {
        QString single = text;
        single.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        single.replace(u'\n', u' ');
        single.replace(u'\r', u' ');
        addLine(single);
    } else {
        QString normalized = text;
        normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        normalized.replace(u'\r', u'\n');
        for (const QString& paragraph : normalized.split(u'\n')) {
            if (format & DT_WORDBREAK) {
                // Prefixes are stripped after wrapping: measure the visible text.
                for (const QString& piece :
                    WrapWords(*record, *font, prefix ? StripPrefix(paragraph, false).text : paragraph, width))
                    lines.push_back(PreparedLine { piece, -1 });
            } else {
                addLine(paragraph);
            }
        }
    }
    if ((format & DT_END_ELLIPSIS) && !lines.empty())
        for (auto& line : lines)
            line.text = Ellipsize(*record, *font, line.text, width);
    int maxWidth = 0;
    for (const auto& line : lines)
        maxWidth = std::max(maxWidth, ExtentWidth(*record, *font, line.text));
    const int total = lineHeight * int(lines.size());
    if (format & DT_CALCRECT) {
        if (!(format & DT_WORDBREAK) || maxWidth > width)
            rect->right = rect->left + maxWidth;
        rect->bottom = rect->top + total;
        return total;
    }
    int y = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            y = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
        else if (format & DT_BOTTOM)
            y = rect->bottom - lineHeight;
    }
    const QRect clipRect(rect->left, rect->top, width, rect->bottom - rect->top);
    const QRect* clip = (format & DT_NOCLIP) ? nullptr : &clipRect;
    for (const auto& line : lines) {
        const int lineWidth = ExtentWidth(*record, *font, line.text);
        int x = rect->left;
        if (format & DT_CENTER)
            x = rect->left + (width - lineWidth) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - lineWidth;
        DrawTextRun(*record, *font, x, y, line.text, clip);
        if (line.underline >= 0) {
            const QFontMetrics metrics(font->font);
            const int from = x + metrics.horizontalAdvance(line.text.left(line.underline));
            const int to = from + metrics.horizontalAdvance(line.text[line.underline]);
            HPEN pen = CreatePen(PS_SOLID, 1, record->state.textColor);
            HGDIOBJ old = SelectObject(dc, pen);
            const POINT saved = record->state.position;
            MoveToEx(dc, from, y + font->ascent + 1, nullptr);
            LineTo(dc, to, y + font->ascent + 1);
            record->state.position = saved;
            SelectObject(dc, old);
            DeleteObject(pen);
        }
        y += lineHeight;
    }
    return (format & DT_SINGLELINE) && (format & (DT_VCENTER | DT_BOTTOM)) ? y - rect->top : total;
}

int DrawText(HDC dc, LPCWSTR text, int count, RECT* rect, UINT format)
{
    if (!text)
        return 0;
    return DrawText(dc, TextOf(text, count), rect, format);
}

BOOL SetTextJustification(HDC dc, int extra, int breakCount)
{
    Dc* record = FindDc(dc);
    if (!record)
        return FALSE;
    record->state.justifyExtra = breakCount > 0 ? extra : 0;
    record->state.justifyCount = std::max(breakCount, 0);
    return TRUE;
}

namespace {

// One member of a context's state: the setters return the previous value, `failure` for a bad context.
template <class T> T Exchange(HDC dc, T DcState::*member, T value, T failure)
{
    Dc* record = FindDc(dc);
    if (!record)
        return failure;
    const T previous = record->state.*member;
    record->state.*member = value;
    return previous;
}

template <class T> T Read(HDC dc, T DcState::*member, T failure)
{
    Dc* record = FindDc(dc);
    return record ? record->state.*member : failure;
}

constexpr UINT kGdiError = 0xFFFFFFFF;

} // namespace

int SetBkMode(HDC dc, int mode)
{
    if (mode != TRANSPARENT && mode != OPAQUE)
        return 0;
    return Exchange(dc, &DcState::bkMode, mode, 0);
}

int GetBkMode(HDC dc)
{
    return Read(dc, &DcState::bkMode, 0);
}
COLORREF SetTextColor(HDC dc, COLORREF color)
{
    return Exchange(dc, &DcState::textColor, color & 0xFFFFFF, CLR_INVALID);
}
COLORREF GetTextColor(HDC dc)
{
    return Read(dc, &DcState::textColor, CLR_INVALID);
}
COLORREF SetBkColor(HDC dc, COLORREF color)
{
    return Exchange(dc, &DcState::bkColor, color & 0xFFFFFF, CLR_INVALID);
}
COLORREF GetBkColor(HDC dc)
{
    return Read(dc, &DcState::bkColor, CLR_INVALID);
}
UINT SetTextAlign(HDC dc, UINT align)
{
    return Exchange(dc, &DcState::textAlign, align, kGdiError);
}
UINT GetTextAlign(HDC dc)
{
    return Read(dc, &DcState::textAlign, kGdiError);
}

namespace {

LPWSTR ChangeCase(LPWSTR text, bool upper)
{
    if (!text)
        return text;
    if (IS_INTRESOURCE(text)) {
        // A single character travels in the low word of the pointer.
        const QChar c(char16_t(reinterpret_cast<uintptr_t>(text)));
        const QChar changed = upper ? c.toUpper() : c.toLower();
        return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(changed.unicode()));
    }
    for (WCHAR* p = text; *p; ++p) {
        const QChar c(*p);
        *p = (upper ? c.toUpper() : c.toLower()).unicode();
    }
    return text;
}

} // namespace

LPWSTR CharUpper(LPWSTR text)
{
    return ChangeCase(text, true);
}
LPWSTR CharLower(LPWSTR text)
{
    return ChangeCase(text, false);
}

namespace taluvo::ui {

QFont QFontOf(HFONT handle)
{
    auto font = FindFont(FontObject(handle));
    if (!font)
        font = FindFont(FontObject(DefaultFont()));
    font->Resolve();
    return font->font;
}

HFONT FontHandleOf(const QFont& qfont)
{
    LOGFONT lf;
    lf.lfHeight = qfont.pixelSize() > 0 ? -qfont.pixelSize() : -MulDiv(int(std::lround(qfont.pointSizeF())), 96, 72);
    lf.lfWeight = qfont.weight();
    lf.lfItalic = qfont.italic();
    lf.lfUnderline = qfont.underline();
    lf.lfStrikeOut = qfont.strikeOut();
    const QString family = qfont.family().left(LF_FACESIZE - 1);
    std::memcpy(lf.lfFaceName, family.utf16(), size_t(family.size()) * sizeof(WCHAR));
    return CreateFontIndirect(&lf);
}

} // namespace taluvo::ui
