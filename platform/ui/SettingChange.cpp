// WM_SETTINGCHANGE: when the desktop's font or colours change (Qt's application font or palette),
// every top-level window hears of it, as Windows tells them of a system setting changed. Child
// controls hear it from their window, as on Windows.
#include "platform/ui/detail/Core.h"

#include <QCoreApplication>
#include <QEvent>

using namespace taluvo::ui::detail;

namespace {

class SettingWatch : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* object, QEvent* event) override
    {
        // Qt sends these to the application object once and to every widget besides.
        if (object != QCoreApplication::instance())
            return false;
        if (event->type() == QEvent::ApplicationFontChange || event->type() == QEvent::ApplicationPaletteChange) {
            for (const auto& record : TopLevelWindows())
                PostMessage(record->hwnd, WM_SETTINGCHANGE, 0, 0);
        }
        return false;
    }
};

} // namespace

namespace taluvo::ui::detail {

void InstallSettingChangeWatch()
{
    auto* app = QCoreApplication::instance();
    app->installEventFilter(new SettingWatch(app));
}

} // namespace taluvo::ui::detail
