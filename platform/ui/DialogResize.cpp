// The layer's side of resizable dialogs: lifting the fixed size a dialog is made with, the track
// sizes the dialog answers in WM_GETMINMAXINFO, and the size grip child.
#include "platform/ui/DialogResize.h"

#include "platform/ui/detail/Core.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSizeGrip>

using namespace taluvo::ui::detail;

namespace {

const QString kGripClass = QStringLiteral("TaluvoSizeGrip");

void RegisterGripClass()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    ClassInfo info;
    info.name = kGripClass;
    info.proc = ::DefWindowProc;
    info.makeWidget = [](WindowRecord&, QWidget* parent) -> QWidget* { return new QSizeGrip(parent); };
    RegisterBuiltinClass(std::move(info));
}

} // namespace

namespace taluvo::ui {

void MakeResizable(HWND dialog, bool sizeGrip)
{
    auto record = Find(dialog);
    QWidget* widget = record ? record->widget.data() : nullptr;
    if (!widget)
        return;
    widget->setMinimumSize(0, 0);
    widget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (record->style & WS_MAXIMIZEBOX)
        widget->setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    // The track sizes are outer sizes; the window's frame is what lies between them and the client.
    MINMAXINFO info;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->availableSize() : QSize(1024, 768);
    info.ptMaxTrackSize = POINT { screenSize.width(), screenSize.height() };
    info.ptMaxSize = info.ptMaxTrackSize;
    SendMessage(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    const QSize frame = widget->frameGeometry().size() - widget->size();
    if (info.ptMinTrackSize.x > 0 || info.ptMinTrackSize.y > 0)
        widget->setMinimumSize(std::max(0, int(info.ptMinTrackSize.x) - frame.width()),
            std::max(0, int(info.ptMinTrackSize.y) - frame.height()));

    if (sizeGrip && !::GetDlgItem(dialog, ATL_IDW_STATUS_BAR)) {
        RegisterGripClass();
        CreateParams params;
        params.className = kGripClass;
        params.style = WS_CHILD | WS_VISIBLE;
        params.x = 0;
        params.y = 0;
        params.width = 16;
        params.height = 16;
        params.parent = dialog;
        params.id = ATL_IDW_STATUS_BAR;
        if (QWidget* grip = WidgetOf(CreateWindowObject(params))) {
            const QSize size = grip->sizeHint();
            grip->setGeometry(
                widget->width() - size.width(), widget->height() - size.height(), size.width(), size.height());
        }
    }
}

} // namespace taluvo::ui
