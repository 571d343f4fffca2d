// The painting path. Qt asks a widget to paint; the layer first asks the window procedure with
// WM_PAINT, so a window implementation or a subclassed control that paints itself between
// BeginPaint and EndPaint is what the screen shows. A control left to paint itself (the procedure
// did not paint) first asks its parent for its colours with the WM_CTLCOLOR* message of its kind
// and honours the brush and the text colour the answer gives. Drawing through GetDC reaches the
// window when the context is released, as drawing on the screen does on Windows.
#include "platform/ui/detail/PaintState.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/GdiInternal.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>

#include <vector>

namespace taluvo::ui::detail {

PaintState& PaintStateOf(WindowRecord& record)
{
    if (!record.paint)
        record.paint = std::make_shared<PaintState>();
    return *record.paint;
}

} // namespace taluvo::ui::detail

using namespace taluvo::ui::detail;

namespace {

// Images that EndPaint produced while the paint filter waited for WM_PAINT.
struct PaintResult {
    HWND hwnd = nullptr;
    QImage image;
};
thread_local std::vector<PaintResult> t_painted;
thread_local int t_paintDepth = 0;
// A grab renders what the windows show: a window shows its last picture again instead of painting.
thread_local int t_grabbing = 0;

QSize ClientSize(const QWidget* widget)
{
    return widget ? widget->size().expandedTo(QSize(1, 1)) : QSize(1, 1);
}

// GDI pixels carry alpha 0; a screen image carries 0xFF.
QImage AsGdiPixels(const QImage& source, const QSize& size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(0);
    QImage from = source.convertToFormat(QImage::Format_ARGB32);
    const int width = std::min(size.width(), from.width());
    const int height = std::min(size.height(), from.height());
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const uint32_t*>(from.constScanLine(y));
        auto* out = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            out[x] = in[x] & 0xFFFFFF;
    }
    return image;
}

void ShowImage(QWidget* widget, const QImage& image)
{
    QPainter painter(widget);
    painter.drawImage(0, 0, image.convertToFormat(QImage::Format_RGB32));
}

// ---------------------------------------------------------------------------------------------
// Control colours

UINT ColorMessageFor(const WindowRecord& record)
{
    const QString& kind = record.className;
    if (kind.compare(QLatin1String("Static"), Qt::CaseInsensitive) == 0)
        return WM_CTLCOLORSTATIC;
    if (kind.compare(QLatin1String("Edit"), Qt::CaseInsensitive) == 0
        || kind.compare(QLatin1String("RICHEDIT"), Qt::CaseInsensitive) == 0) {
        // A read-only or disabled edit looks like a static text and asks as one.
        return (record.style & (ES_READONLY | WS_DISABLED)) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
    }
    if (kind.compare(QLatin1String("Button"), Qt::CaseInsensitive) == 0) {
        const DWORD type = record.style & BS_TYPEMASK;
        return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC;
    }
    if (record.isDialog)
        return WM_CTLCOLORDLG;
    return 0;
}

struct ColorAnswer {
    bool answered = false;
    std::optional<QColor> brush; // none: a hollow brush
    QColor text;
};

ColorAnswer AskColors(const WindowRecord& record, UINT message)
{
    ColorAnswer answer;
    // The dialog colours its own background; a control asks its parent.
    const HWND asked = message == WM_CTLCOLORDLG ? record.hwnd : record.parent;
    if (!asked)
        return answer;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return answer;
    const LRESULT result
        = SendMessage(asked, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(record.hwnd));
    if (auto brush = taluvo::ui::gdi::FindBrush(reinterpret_cast<HGDIOBJ>(result))) {
        answer.answered = true;
        if (!brush->hollow)
            answer.brush = QColor::fromRgb(taluvo::ui::gdi::PixelOf(brush->color));
        answer.text = QColor::fromRgb(taluvo::ui::gdi::PixelOf(GetTextColor(dc)));
    }
    DeleteDC(dc);
    return answer;
}

void SetRole(QWidget* widget, QPalette::ColorRole role, const QColor& color)
{
    QPalette palette = widget->palette();
    if (palette.color(role) == color)
        return;
    palette.setColor(role, color);
    widget->setPalette(palette);
}

// Applies the parent's answer before Qt paints the control: the brush fills the control (an edit:
// its text area), the text colour colours the text. The background mode needs nothing more: a
// control draws its text over the brush it filled. A control whose parent does not answer keeps
// the look of the desktop.
void ApplyColors(WindowRecord& record, QWidget* painted)
{
    const UINT message = ColorMessageFor(record);
    if (!message)
        return;
    PaintState& state = PaintStateOf(record);
    const ColorAnswer answer = AskColors(record, message);
    QWidget* widget = record.widget.data();
    if (!answer.answered) {
        if (state.colored) {
            state.colored = false;
            widget->setPalette(QPalette());
        }
        return;
    }
    state.colored = true;
    const bool edit = qobject_cast<QLineEdit*>(widget) || qobject_cast<QAbstractScrollArea*>(widget);
    if (edit) {
        if (answer.brush)
            SetRole(widget, QPalette::Base, *answer.brush);
        SetRole(widget, QPalette::Text, answer.text);
        return;
    }
    // A transparent control shows what lies under it; only its text takes the answer's colour.
    if (answer.brush && painted == widget && !(record.exStyle & WS_EX_TRANSPARENT)) {
        QPainter painter(widget);
        painter.fillRect(widget->rect(), *answer.brush);
    }
    if (message != WM_CTLCOLORBTN && message != WM_CTLCOLORDLG)
        SetRole(widget, QPalette::WindowText, answer.text);
}

// ---------------------------------------------------------------------------------------------

RecordPtr OwnRecord(QObject* object)
{
    const QVariant value = object->property("taluvo_hwnd");
    return value.isValid() ? Find(reinterpret_cast<HWND>(value.value<quintptr>())) : nullptr;
}

class PaintFilter : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() != QEvent::Paint || !object->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(object);
        auto record = OwnRecord(widget);
        if (!record) {
            // The inner part of a control (an edit's viewport) paints with the control's colours.
            if (auto owner = FromWidget(widget); owner && owner->widget && owner->widget->isAncestorOf(widget))
                ApplyColors(*owner, widget);
            return false;
        }
        if (!record->widget || record->destroying)
            return false;
        ++t_paintDepth;
        const bool done = Paint(*record, widget);
        --t_paintDepth;
        return done;
    }

private:
    static bool Paint(WindowRecord& record, QWidget* widget)
    {
        PaintState& state = PaintStateOf(record);
        if (!state.drawn.isNull()) {
            const QImage drawn = std::move(state.drawn);
            state.drawn = QImage();
            if (drawn.size() == widget->size()) {
                ShowImage(widget, drawn);
                state.shown = drawn;
                return true;
            }
        }
        if (t_grabbing && state.shown.size() == widget->size()) {
            ShowImage(widget, state.shown);
            return true;
        }
        if (state.inPaint)
            return false; // a grab of the window from inside its own WM_PAINT
        state.inPaint = true;
        const size_t mark = t_painted.size();
        const HWND hwnd = record.hwnd;
        SendMessage(hwnd, WM_PAINT, 0, 0);
        state.inPaint = false;
        if (t_painted.size() > mark) {
            const QImage image = t_painted.back().image;
            t_painted.resize(mark);
            if (IsWindow(hwnd)) {
                ShowImage(widget, image);
                state.shown = image;
            }
            return true;
        }
        state.shown = QImage();
        ApplyColors(record, widget);
        return false;
    }
};

} // namespace

namespace taluvo::ui::detail {

void InstallPaintFilter()
{
    auto* app = QCoreApplication::instance();
    app->installEventFilter(new PaintFilter(app));
}

QImage WindowSurface(HWND hwnd)
{
    auto record = Find(hwnd);
    QWidget* widget = record ? record->widget.data() : nullptr;
    const QSize size = ClientSize(widget);
    if (!widget)
        return AsGdiPixels(QImage(), size);
    PaintState& state = PaintStateOf(*record);
    if (state.shown.size() == size)
        return state.shown;
    if (!state.backdrop.isNull() && !widget->isVisible())
        return AsGdiPixels(state.backdrop, size);
    if (state.inPaint)
        return ErasedSurface(hwnd);
    // A control Qt painted: its picture, painted again off screen.
    ++t_grabbing;
    const QImage grabbed = widget->grab().toImage();
    --t_grabbing;
    return AsGdiPixels(grabbed, size);
}

QImage ErasedSurface(HWND hwnd)
{
    auto record = Find(hwnd);
    QWidget* widget = record ? record->widget.data() : nullptr;
    const QSize size = ClientSize(widget);
    if (record && !record->paint)
        PaintStateOf(*record);
    if (record && !record->paint->backdrop.isNull())
        return AsGdiPixels(record->paint->backdrop, size);
    QImage image(size, QImage::Format_ARGB32);
    const QColor background = widget ? widget->palette().color(widget->backgroundRole()) : QColor(Qt::white);
    image.fill(background.rgb() & 0xFFFFFF);
    return image;
}

void ShowDrawnSurface(HWND hwnd, const QImage& image)
{
    auto record = Find(hwnd);
    QWidget* widget = record ? record->widget.data() : nullptr;
    if (!widget || !widget->isVisible())
        return; // drawing on a hidden window is lost, as on the screen
    PaintState& state = PaintStateOf(*record);
    state.drawn = image;
    if (t_paintDepth > 0)
        widget->update();
    else
        widget->repaint();
}

void PaintEnded(HWND hwnd, const QImage& image)
{
    t_painted.push_back(PaintResult { hwnd, image });
}

LRESULT FontMessage(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETFONT)
        return reinterpret_cast<LRESULT>(record.font);
    record.font = reinterpret_cast<HFONT>(wParam);
    if (QWidget* widget = record.widget.data()) {
        widget->setFont(record.font ? taluvo::ui::QFontOf(record.font) : QFont());
        if (LOWORD(lParam))
            widget->update();
    }
    return 0;
}

} // namespace taluvo::ui::detail
